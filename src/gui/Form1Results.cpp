#include "gui/Form1.h"

#include "base/Desktop.h"
#include "base/ErrorReport.h"
#include "base/Failure.h"
#include "base/SettingsStore.h"
#include "gui/CardPane.h"
#include "gui/Form1Parts.h"
#include "results/ResultsModel.h"
#include "results/ResultsProxyModel.h"
#include "results/ResultsText.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <iterator>
#include <utility>

using namespace Qt::StringLiterals;

void Form1::restoreCardPane()
{
    const bool shown = textToBoolean(m_settings.ReadSetting(u"CardPane"_s, u"1"_s));
    {
        const QSignalBlocker quiet(ShowCardCheck);
        ShowCardCheck->setChecked(shown);
    }
    // The heights of the table and the pane, as "table,pane" in pixels.
    const QList<int> sizes = storedSizes(m_settings.ReadSetting(u"CardPaneSizes"_s, QString()), 2);
    if (!sizes.isEmpty())
        m_cardPaneSizes = sizes;
    showCardPane(shown);
}

void Form1::storeCardPaneSizes()
{
    // Only the heights below the table are kept; beside it the pane gets its share anew.
    if (m_resultsSplitter->orientation() != Qt::Vertical)
        return;
    const QList<int> sizes = m_resultsSplitter->sizes();
    if (sizes.size() == 2 && sizes.at(1) > 0) {
        m_cardPaneSizes = sizes;
        m_settings.WriteSetting(u"CardPaneSizes"_s, u"%1,%2"_s.arg(sizes.at(0)).arg(sizes.at(1)));
    }
}

void Form1::showCardPane(bool shown)
{
    m_cardPane->setVisible(shown);
    if (!shown)
        return;
    // The heights are set again once the window's layout has made room for the pane.
    const auto restoreSizes = [this] {
        if (!m_cardPaneSizes.isEmpty() && m_cardPane->isVisibleTo(this)
            && m_resultsSplitter->orientation() == Qt::Vertical)
            m_resultsSplitter->setSizes(m_cardPaneSizes);
    };
    restoreSizes();
    QTimer::singleShot(0, this, restoreSizes);
    showSelectedCard();
}

void Form1::showSelectedCard()
{
    if (!m_cardPane->isVisibleTo(this))
        return;
    const qsizetype current = currentSourceRow();
    if (current < 0)
        m_cardPane->clear();
    else
        m_cardPane->showRow(m_shownResults->row(current));
}

void Form1::PushButton2_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton2_Click"_s));
    guard.step(100, [&] { m_shownResults->clear(); });
    m_stoppedText.clear();
    m_filesSearched = -1;
    m_report.reset();
    updateStatusLine();
}

qsizetype Form1::sourceRow(const QModelIndex &index) const
{
    if (!index.isValid())
        return -1;
    const QModelIndex source = m_shownProxy->mapToSource(index);
    return source.isValid() && source.row() < m_shownResults->count() ? source.row() : -1;
}

qsizetype Form1::currentSourceRow() const
{
    return sourceRow(ListView2->currentIndex());
}

QList<qsizetype> Form1::selectedSourceRows() const
{
    // In the table's order, as the user sees them.
    QModelIndexList selected = ListView2->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QList<qsizetype> rows;
    rows.reserve(selected.size());
    for (const QModelIndex &index : std::as_const(selected)) {
        if (const qsizetype row = sourceRow(index); row >= 0)
            rows.append(row);
    }
    return rows;
}

void Form1::sortByColumn(int section)
{
    // Each click on a heading goes on from the order found to ascending, descending and
    // back to the order found; another heading starts ascending.
    int column = section;
    Qt::SortOrder order = Qt::AscendingOrder;
    if (m_shownProxy->sortColumn() == section) {
        if (m_shownProxy->sortOrder() == Qt::AscendingOrder)
            order = Qt::DescendingOrder;
        else
            column = -1;
    }
    sortTable(column, order);
}

void Form1::sortTable(int column, Qt::SortOrder order)
{
    QHeaderView *header = ListView2->horizontalHeader();
    header->setSortIndicatorShown(column >= 0);
    if (column >= 0)
        header->setSortIndicator(column, order);
    m_shownProxy->setSort(column, order);
}

void Form1::tickCurrentRows()
{
    const QModelIndex current = ListView2->currentIndex();
    if (!current.isValid())
        return;
    const QModelIndex box = current.siblingAtColumn(0);
    const bool ticked = box.data(Qt::CheckStateRole).value<Qt::CheckState>() != Qt::Checked;
    QModelIndexList rows = ListView2->selectionModel()->selectedRows();
    if (!rows.contains(box))
        rows = {box};
    for (const QModelIndex &row : std::as_const(rows))
        m_shownProxy->setData(row, ticked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
}

namespace {

// The columns are fitted once changes to the table have paused this long.
constexpr int kColumnFitDelayMs = 100;

} // namespace

void Form1::fitColumnsSoon()
{
    m_nextColumnFit = 0;
    m_columnFit->start(kColumnFitDelayMs);
}

void Form1::fitColumns()
{
    m_columnFit->stop();
    if (m_columnsSizedByHand)
        return;
    // As wide as the heading and the rows near the view need (a hundred of them are
    // read), within a share of the table each. Measuring a column reads the texts of
    // those rows: one column is measured a turn, so that the window's events run in
    // between.
    static constexpr std::pair<int, int> kShares[]{{0, 30}, {1, 15}, {3, 20}, {4, 15}};
    const auto [column, share] = kShares[m_nextColumnFit];
    m_nextColumnFit = (m_nextColumnFit + 1) % std::size(kShares);
    if (m_nextColumnFit != 0)
        m_columnFit->start(0);
    if (ListView2->isColumnHidden(column))
        return;
    const int room = ListView2->viewport()->width();
    QHeaderView *header = ListView2->horizontalHeader();
    const QAbstractItemView *view = ListView2;
    const int wanted = qMax(header->sectionSizeHint(column), view->sizeHintForColumn(column));
    m_fittingColumns = true;
    ListView2->setColumnWidth(column,
                              qMax(header->minimumSectionSize(), qMin(wanted, room * share / 100)));
    m_fittingColumns = false;
}

void Form1::arrangeResults()
{
    // Below a table that is far wider than high, the pane would show a line or two: it
    // goes beside the table then, with the card's properties above its lines.
    const QSize area = m_resultsSplitter->size();
    const bool beside = m_resultsSplitter->orientation() == Qt::Horizontal;
    const bool wanted
        = beside ? area.width() * 2 > area.height() * 5 : area.width() > area.height() * 3;
    if (wanted == beside)
        return;
    m_resultsSplitter->setOrientation(wanted ? Qt::Horizontal : Qt::Vertical);
    QSplitter *inner = m_cardPane->splitter();
    inner->setOrientation(wanted ? Qt::Vertical : Qt::Horizontal);
    // The lines, which show the marked one in its place, get the larger part; in a pane
    // of a few lines they get it all, and the properties can be drawn out again.
    const bool few = area.height() < 16 * fontMetrics().height();
    inner->setCollapsible(0, wanted && few);
    inner->setStretchFactor(1, wanted ? 2 : 1);
    inner->setSizes({wanted && few ? 0 : 1, wanted ? 2 : 1});
    if (wanted)
        m_resultsSplitter->setSizes({area.width() * 11 / 20, area.width() * 9 / 20});
    else if (!m_cardPaneSizes.isEmpty())
        m_resultsSplitter->setSizes(m_cardPaneSizes);
    else
        m_resultsSplitter->setSizes({area.height() * 3 / 5, area.height() * 2 / 5});
}

void Form1::applyFilter()
{
    m_filterDelay->stop();
    m_shownProxy->setFilter(m_filterBox->text(), !Option1->isChecked());
}

void Form1::updateStatusLine()
{
    if (showsDuplicates()) {
        m_statusLine->setText(duplicatesStatus());
        return;
    }
    const qsizetype rows = m_shownResults->count();
    const auto counted = [](qsizetype n, const QString &one, const QString &many) {
        return u"%1 %2"_s.arg(QLocale().toString(n), n == 1 ? one : many);
    };
    QString text;
    if (rows == 0 && m_filesSearched >= 0) {
        // A run that found nothing says so here too, not only in its closing message.
        text = m_stoppedText.isEmpty()
            ? u"No rows found in "_s + counted(m_filesSearched, u"file"_s, u"files"_s)
            : u"No rows found. "_s + m_stoppedText;
    } else if (rows > 0 || !m_stoppedText.isEmpty()) {
        text = counted(rows, u"row"_s, u"rows"_s) + u" from "_s
            + counted(m_shownResults->fileCount(), u"file"_s, u"files"_s) + u" and "_s
            + counted(m_shownResults->cardCount(), u"card"_s, u"cards"_s);
        if (!m_filterBox->text().isEmpty() || m_shownProxy->textFilter() >= 0)
            text += u", %1 shown"_s.arg(QLocale().toString(m_shownProxy->shownCount()));
        if (!m_stoppedText.isEmpty())
            text += u". "_s + m_stoppedText;
    }
    if (m_shownProxy->isArranging())
        text += (text.isEmpty() ? u""_s : u". "_s) + u"Sorting…"_s;
    m_statusLine->setText(text);
    updateReportButton();
}

void Form1::copyToClipboard(const QString &procedure, const QString &text)
{
    Guard guard(m_desktop, formLocation(procedure));
    guard.step(100, [&] {
        if (!SetClipboardText(m_desktop, text))
            throw Failure(u"The clipboard cannot be written."_s);
    });
}

void Form1::copySelectedRows()
{
    const QList<qsizetype> rows = selectedSourceRows();
    if (!rows.isEmpty())
        copyToClipboard(u"CopyRows"_s, clipboardText(*m_shownResults, rows));
}

void Form1::copyCurrentValue()
{
    if (const qsizetype row = currentSourceRow(); row >= 0)
        copyToClipboard(u"CopyValue"_s, m_shownResults->cell(row, 3));
}

void Form1::openCurrentCard()
{
    if (const qsizetype row = currentSourceRow(); row >= 0)
        openRowInEditor(u"OpenCard"_s, row);
}

void Form1::showCurrentContact()
{
    if (currentSourceRow() < 0)
        return;
    ShowCardCheck->setChecked(true);
    showSelectedCard();
    m_cardPane->setFocus(Qt::OtherFocusReason);
}
