#include "gui/Form1.h"

#include "app/WindowTexts.h"
#include "base/ErrorReport.h"
#include "results/DuplicateRows.h"
#include "results/ResultsModel.h"
#include "results/ResultsProxyModel.h"
#include "search/Duplicates.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QScopeGuard>
#include <QHBoxLayout>
#include <QToolButton>
#include <QTableView>
#include <QTimer>

using namespace Qt::StringLiterals;

void Form1::makeDuplicatesTable()
{
    m_duplicates = new ResultsModel(this);
    m_duplicates->setObjectName(u"Duplicates"_s);
    m_duplicates->setCaptions(duplicateCaptions());
    m_duplicatesProxy = new ResultsProxyModel(*m_duplicates, this);
    m_duplicatesProxy->setObjectName(u"DuplicatesView"_s);
    m_shownResults = m_results;
    m_shownProxy = m_proxy;
    // A switch over the one table: it shows the rows found or the duplicates' cards. Two
    // buttons of the filter's height take no row of their own.
    m_resultsTabs = new QWidget(m_background);
    m_resultsTabs->setObjectName(u"ResultsTabs"_s);
    auto *switches = new QHBoxLayout(m_resultsTabs);
    switches->setContentsMargins(0, 0, 0, 0);
    switches->setSpacing(0);
    const auto makeTab = [&](const QString &name, const QString &caption, bool shows) {
        auto *tab = new QToolButton(m_resultsTabs);
        tab->setObjectName(name);
        tab->setText(caption);
        tab->setCheckable(true);
        tab->setAutoExclusive(true);
        tab->setChecked(!shows);
        switches->addWidget(tab);
        connect(tab, &QToolButton::clicked, this, [this, shows] { showDuplicates(shows); });
        return tab;
    };
    ResultsTab = makeTab(u"ResultsTab"_s, u"Results"_s, false);
    DuplicatesTab = makeTab(u"DuplicatesTab"_s, u"Duplicates"_s, true);
}

void Form1::showDuplicates(bool shown)
{
    (shown ? DuplicatesTab : ResultsTab)->setChecked(true);
    if (shown == showsDuplicates())
        return;
    m_shownResults = shown ? m_duplicates : m_results;
    m_shownProxy = shown ? m_duplicatesProxy : m_proxy;
    disconnect(m_currentRowWatch);
    QItemSelectionModel *before = ListView2->selectionModel();
    ListView2->setModel(m_shownProxy);
    delete before;
    m_currentRowWatch = connect(ListView2->selectionModel(), &QItemSelectionModel::currentRowChanged,
                                this, [this] { showSelectedCard(); });
    QHeaderView *columns = ListView2->horizontalHeader();
    columns->setSectionResizeMode(2, QHeaderView::Stretch);
    columns->setSortIndicatorShown(m_shownProxy->sortColumn() >= 0);
    if (m_shownProxy->sortColumn() >= 0)
        columns->setSortIndicator(m_shownProxy->sortColumn(), m_shownProxy->sortOrder());
    // The filter typed applies to the table shown.
    applyFilter();
    fitColumnsSoon();
    updateStatusLine();
    showSelectedCard();
}

QString Form1::duplicatesStatus() const
{
    if (m_duplicateGroups < 0)
        return {};
    const QLocale locale;
    QString text = m_duplicateGroups == 0
        ? u"No duplicate contacts found"_s
        : u"%1 %2 of duplicate contacts, %3 cards"_s.arg(
              locale.toString(m_duplicateGroups),
              m_duplicateGroups == 1 ? u"group"_s : u"groups"_s,
              locale.toString(m_duplicates->count()));
    if (!m_filterBox->text().isEmpty() && m_duplicateGroups > 0)
        text += u", %1 shown"_s.arg(locale.toString(m_duplicatesProxy->shownCount()));
    if (!m_stoppedText.isEmpty())
        text += u". "_s + m_stoppedText;
    return text;
}

OutputRows Form1::duplicateRowsToSave() const
{
    const OutputRows shown = m_duplicatesProxy->outputRows();
    std::vector<quint32> ticked;
    for (qsizetype i = 0; i < shown.count(*m_duplicates); ++i) {
        if (m_duplicates->isChecked(shown.at(i)))
            ticked.push_back(quint32(shown.at(i)));
    }
    if (ticked.empty())
        return shown;
    return OutputRows(std::move(ticked), m_duplicates->count(), true, shown.sorted());
}

void Form1::FindDuplicatesButton_Click()
{
    // A press while a search runs stops it, as "Stop Searching" does.
    if (isSearching()) {
        if (m_session.press() == SearchSession::Press::Stop)
            PushButton7_Click();
        return;
    }
    m_duplicateFinder = std::make_unique<DuplicateFinder>();
    const auto done = qScopeGuard([this] { m_duplicateFinder.reset(); });
    const qsizetype before = m_duplicateGroups;
    m_duplicateGroups = -2; // a search that starts says so
    PushButton7_Click();
    if (m_duplicateGroups == -2) {
        // Refused: nothing was searched, the duplicates shown stay.
        m_duplicateGroups = before;
        return;
    }
    if (m_closing)
        return;
    Guard guard(m_desktop, formLocation(u"FindDuplicatesButton_Click"_s));
    guard.step(100, [&] {
        QList<ResultRow> rows;
        qsizetype count = 0;
        {
            const DuplicateGroups groups = m_duplicateFinder->groups();
            rows = duplicateRows(groups);
            count = groups.size();
        }
        m_duplicateFinder.reset();
        m_duplicates->clear();
        m_duplicates->appendRows(std::move(rows));
        m_duplicateGroups = count;
    });
    guard.step(102, [&] { showDuplicates(true); });
    updateStatusLine();
}
