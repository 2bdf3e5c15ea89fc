#include "gui/Form1.h"

#include "base/PlainToolTip.h"
#include "results/ResultsModel.h"
#include "results/ResultsProxyModel.h"

#include <QDialog>
#include <QHeaderView>
#include <QLocale>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

void Form1::buildTextCounts()
{
    m_countsButton = new QPushButton(u"Counts per text"_s, m_background);
    m_countsButton->setObjectName(u"TextCountsButton"_s);
    m_countsButton->setFlat(true);
    m_countsButton->setAutoDefault(false);
    m_countsButton->hide();
    connect(m_countsButton, &QPushButton::clicked, this,
            [this] { unguarded(u"TextCountsButton_Click"_s, [&] { showTextCounts(); }); });
    m_countsRefresh = new QTimer(this);
    m_countsRefresh->setSingleShot(true);
    m_countsRefresh->setInterval(200);
    connect(m_countsRefresh, &QTimer::timeout, this, &Form1::refreshTextCounts);
    const auto refreshSoon = [this] {
        if (m_countsWindow && m_countsWindow->isVisible() && !m_countsRefresh->isActive())
            m_countsRefresh->start();
    };
    connect(m_results, &QAbstractItemModel::rowsInserted, this, refreshSoon);
    connect(m_results, &QAbstractItemModel::modelReset, this, refreshSoon);
    connect(m_results, &ResultsModel::searchTextsChanged, this, &Form1::searchTextsChanged);
    searchTextsChanged();
}

void Form1::searchTextsChanged()
{
    const bool several = m_results->showsSearchText();
    // Hiding or showing a column resizes it: that is no width set by the user.
    m_fittingColumns = true;
    ListView2->setColumnHidden(ResultsModel::kSearchTextColumn - 1, !several);
    m_fittingColumns = false;
    // A hidden column sorts nothing the user can see.
    if (!several && m_proxy->sortColumn() == ResultsModel::kSearchTextColumn - 1)
        sortTable(-1, Qt::AscendingOrder);
    m_countsButton->setVisible(several);
    if (!several && m_countsWindow)
        m_countsWindow->hide();
    if (m_countsWindow && m_countsWindow->isVisible())
        refreshTextCounts();
    fitColumnsSoon();
}

void Form1::showTextCounts()
{
    if (!m_countsWindow) {
        // A window of its own that does not hold up the main one: the table follows the
        // entry chosen while both stay usable.
        m_countsWindow = new QDialog(this);
        m_countsWindow->setObjectName(u"TextCountsWindow"_s);
        m_countsWindow->setWindowTitle(u"Counts per text"_s);
        m_countsWindow->setModal(false);
        m_countsList = new QTableWidget(0, 4, m_countsWindow);
        m_countsList->setObjectName(u"TextCountsList"_s);
        m_countsList->setHorizontalHeaderLabels(
            {u"Search text"_s, u"Rows"_s, u"Cards"_s, u"Files"_s});
        m_countsList->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_countsList->setSelectionMode(QAbstractItemView::SingleSelection);
        m_countsList->setEditTriggers(QAbstractItemView::NoEditTriggers);
        m_countsList->setWordWrap(false);
        m_countsList->verticalHeader()->hide();
        m_countsList->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
        m_countsList->setAccessibleName(u"Counts per text"_s);
        m_countsList->setAccessibleDescription(
            u"The first row shows every row of the table; another shows only its text's."_s);
        auto *layout = new QVBoxLayout(m_countsWindow);
        layout->addWidget(m_countsList);
        connect(m_countsList, &QTableWidget::currentCellChanged, this,
                [this](int row) { filterByCountsRow(row); });
        // Closed, it leaves no filter behind that nothing on the screen tells of.
        connect(m_countsWindow, &QDialog::finished, this, [this] { m_proxy->setTextFilter(-1); });
        const int line = fontMetrics().height();
        m_countsWindow->resize(line * 28, line * 14);
    }
    refreshTextCounts();
    m_countsWindow->show();
    m_countsWindow->raise();
    m_countsWindow->activateWindow();
}

void Form1::refreshTextCounts()
{
    m_countsRefresh->stop();
    if (!m_countsList)
        return;
    // Quiet: the current row is set to the filter shown, not the other way round.
    const QSignalBlocker quiet(m_countsList);
    const QList<ResultCounts::PerText> counts = m_results->textCounts();
    m_countsList->setRowCount(int(counts.size()) + 1);
    const QLocale locale;
    const auto setRow = [&](int row, const QString &text, qsizetype rows, qsizetype cards,
                            qsizetype files, bool nothing) {
        const QStringList cells{text, locale.toString(rows), locale.toString(cards),
                                locale.toString(files)};
        for (int c = 0; c < int(cells.size()); ++c) {
            QTableWidgetItem *item = m_countsList->item(row, c);
            if (!item) {
                item = new QTableWidgetItem;
                m_countsList->setItem(row, c, item);
            }
            item->setText(cells.at(c));
            if (c > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            // A text that found nothing is greyed and in italics, and says so.
            QFont font = m_countsList->font();
            font.setItalic(nothing);
            item->setFont(font);
            item->setForeground(nothing ? palette().brush(QPalette::Disabled, QPalette::Text)
                                        : palette().brush(QPalette::Active, QPalette::Text));
            const QString note = nothing ? u"Found nothing"_s : QString();
            item->setData(Qt::AccessibleDescriptionRole, note);
            // A text from a list file is shown as it stands, never as markup.
            item->setToolTip(c == 0 ? plainToolTip(nothing ? text + u"\n"_s + note : text)
                                    : QString());
        }
    };
    setRow(0, u"All rows"_s, m_results->count(), m_results->cardCount(), m_results->fileCount(),
           false);
    for (qsizetype t = 0; t < counts.size(); ++t) {
        const ResultCounts::PerText &one = counts.at(t);
        setRow(int(t) + 1, one.text, one.rows, one.cards, one.files, one.rows == 0);
    }
    const qint64 shown = m_proxy->textFilter();
    m_countsList->setCurrentCell(shown >= 0 && shown < counts.size() ? int(shown) + 1 : 0, 0);
}

void Form1::filterByCountsRow(int row)
{
    // Row 0 stands for every text, row k for the text numbered k - 1.
    m_proxy->setTextFilter(row > 0 ? row - 1 : -1);
    updateStatusLine();
}
