#pragma once

#include "results/OutputRows.h"
#include "results/ResultsModel.h"
#include "results/RowOrder.h"

#include <QAbstractProxyModel>
#include <QString>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

class ValueMatcher;

/// The results as the table shows them: filtered by a text and sorted by a column in
/// natural order, or as found. Rows appended to the results appear at once, in their
/// place. A new filter or order over many rows is worked out on a worker thread from a
/// snapshot of the results; the view keeps its old arrangement until the new one is
/// ready, so the event loop never waits for it.
class ResultsProxyModel final : public QAbstractProxyModel
{
    Q_OBJECT

public:
    /// Up to this many rows a new filter or order is applied at once, on this thread.
    static constexpr qsizetype kArrangeAtOnceRows = 10000;

    explicit ResultsProxyModel(ResultsModel &source, QObject *parent = nullptr);
    ~ResultsProxyModel() override;

    /// Shows only the rows that hold text in any cell, letter case folded as the
    /// search's "Ignore case" folds it when ignoreCase; an empty text shows every row.
    void setFilter(const QString &text, bool ignoreCase);
    QString filterText() const { return m_wanted.filter; }
    /// Shows only the rows that the search text numbered text (in the results' text
    /// counts) found, as well as the filter; -1 shows those of every text.
    void setTextFilter(qint64 text);
    qint64 textFilter() const { return m_wanted.text; }
    /// Sorts by column (0 File to 4 Search text), stable and in natural order; column -1
    /// shows the rows in the order they were found.
    void setSort(int column, Qt::SortOrder order);
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const { return m_wanted.column; }
    Qt::SortOrder sortOrder() const { return m_wanted.order; }

    /// True while a worker works out a filter or order that the view does not show yet.
    bool isArranging() const { return m_arranging; }
    /// Waits, without turning the event loop, until the view shows its filter and order;
    /// false when that took longer than msecs.
    bool waitForArranged(int msecs = 60000);

    /// Ticks or unticks every row shown, with one dataChanged of the results.
    void tickShown(bool ticked);
    qsizetype shownCount() const;
    /// The rows an output takes: those shown, in their order, while a filter or a sort is
    /// shown; else every row as found. What is shown is taken, also while a worker is
    /// still working out another arrangement.
    OutputRows outputRows() const;

    QModelIndex mapToSource(const QModelIndex &proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex &sourceIndex) const override;
    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex &idx) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

signals:
    /// A worker started on a new filter or order.
    void arranging();
    /// The view shows its filter and order (after a worker, or at once for few rows).
    void arranged();

private:
    struct Criteria
    {
        QString filter;
        bool ignoreCase = false;
        int column = -1;
        Qt::SortOrder order = Qt::AscendingOrder;
        std::shared_ptr<const ValueMatcher> matcher; // none without a filter
        qint64 text = -1; // the search text whose rows are shown, -1 for all

        bool filters() const { return matcher != nullptr || text >= 0; }
        bool sorts() const { return column >= 0; }
        bool isIdentity() const { return !filters() && !sorts(); }
        bool arrangesAs(const Criteria &other) const;
        RowArrangement arrangement() const { return {matcher.get(), column, order, text}; }
    };
    using Rows = ShownRows;

    qsizetype sourceRow(qsizetype viewRow) const;
    qsizetype viewRow(qsizetype sourceRow) const;

    void rearrange();
    void startJob();
    void stopJob();
    void jobDone(quint64 generation, Rows rows, qsizetype covered);
    void apply(Rows rows, const Criteria &criteria);
    void settle();

    void sourceRowsAboutToBeInserted(const QModelIndex &parent, int first, int last);
    void sourceRowsInserted(const QModelIndex &parent, int first, int last);
    void sourceDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                           const QList<int> &roles);
    void sourceAboutToBeReset();
    void sourceReset();

    ResultsModel &m_source;
    Criteria m_wanted; // what the caller asked for
    Criteria m_applied; // what m_rows shows
    Rows m_rows; // view row -> source row; unused while m_applied is the identity
    bool m_arranging = false;

    std::thread m_worker;
    std::shared_ptr<std::atomic_bool> m_cancel;
    quint64 m_generation = 0; // results of other generations are stale
};
