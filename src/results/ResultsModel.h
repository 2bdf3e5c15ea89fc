#pragma once

#include "search/ResultRow.h"
#include "results/ResultCounts.h"
#include "results/RowBlocks.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>

#include <span>
#include <vector>

/// The results table: columns "File", "Tag", " Value", "Contact" and, when several texts
/// were searched, "Search text"; a tick per row (on the first column), rows appended in
/// batches.
class ResultsModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int kColumnCount = 5;
    /// The column of the search text that found a row, from 1.
    static constexpr int kSearchTextColumn = 5;

    class Snapshot;

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    /// The caption of column k, from 1.
    static QString columnCaption(int k);
    /// The caption of column k of this table: columnCaption(k) unless captions were set.
    QString caption(int k) const
    {
        return k >= 1 && k <= m_captions.size() ? m_captions.at(k - 1) : columnCaption(k);
    }
    /// Captions of this table's columns in their order, for a table of other rows.
    void setCaptions(const QStringList &captions) { m_captions = captions; }

    qsizetype count() const { return qsizetype(m_rows.size()); }
    /// Row r from 0.
    ResultRow row(qsizetype r) const;
    /// Cell k (1 File, 2 Tag, 3 Value, 4 Contact, 5 Search text) of row r from 0.
    const QString &cell(qsizetype r, int k) const;
    /// The number of row r's search text in textCounts().
    quint32 textOf(qsizetype r) const { return entryAt(r).text; }
    bool isChecked(qsizetype r) const { return entryAt(r).checked; }
    void setChecked(qsizetype r, bool checked);
    /// Ticks or unticks the given rows, with one dataChanged over the rows that changed.
    void setChecked(std::span<const quint32> rows, bool checked);
    /// Ticks or unticks every row, with one dataChanged.
    void setAllChecked(bool checked);

    /// The number of distinct files among the rows.
    qsizetype fileCount() const { return m_counts.files(); }
    /// The number of distinct cards among the rows (a card of a file listed twice counts once).
    qsizetype cardCount() const { return m_counts.cards(); }
    /// The rows, cards and files each search text found, in the order of the texts
    /// searched, those that found nothing included.
    QList<ResultCounts::PerText> textCounts() const { return m_counts.perText(); }

    /// Empties the table for a search of these texts, in their order.
    void setSearchTexts(const QStringList &texts);
    /// True when several texts are searched: the rows show which one found them.
    bool showsSearchText() const { return m_searchTexts.size() > 1; }
    /// The columns the table and the outputs show: 4, or 5 with the search text.
    int shownColumnCount() const { return showsSearchText() ? kColumnCount : kColumnCount - 1; }

    /// The rows as they stand now, for reading on another thread while this one appends
    /// rows, ticks them or clears the table.
    Snapshot snapshot() const;

    /// Appends rows at the end, unticked, in one insertion.
    void appendRows(QList<ResultRow> rows);
    /// Appends the rows of each batch in turn, in one insertion.
    void appendBatches(std::vector<QList<ResultRow>> batches);
    /// Removes every row; the texts searched stay.
    void clear();

signals:
    /// The texts searched changed, and with them perhaps the columns shown.
    void searchTextsChanged();

private:
    /// A row's cells of its own; what it shares with the other rows of its card (the
    /// contact and the card's place) and of its search text is held once, in m_cards
    /// and m_texts, so that a million rows take little more than their cells.
    struct Entry
    {
        QString file;
        QString tag;
        QString value;
        quint32 card = 0;
        quint32 text = 0;
        bool checked = false;
    };
    /// Row r, or std::out_of_range.
    const Entry &entryAt(qsizetype r) const;
    struct Card
    {
        QString contact;
        CardPlace place;
    };
    // Blocks grow without moving what they hold: a million rows never stall an insertion
    // while they are copied to a larger block, and a worker thread can read the rows of
    // a snapshot while rows are appended.
    RowBlocks<Entry> m_rows;
    RowBlocks<Card> m_cards;
    QStringList m_searchTexts;
    // The counts, and the search texts the rows' numbers name.
    ResultCounts m_counts;
    QStringList m_captions;
};

/// The first count() rows of the model at the time the snapshot was taken. Its cells
/// stay readable, from any thread, until the snapshot is destroyed, whatever the model
/// does meanwhile; the ticks are not part of it.
class ResultsModel::Snapshot final
{
public:
    Snapshot() = default;

    qsizetype count() const { return m_count; }
    /// Cell k (1 File, 2 Tag, 3 Value, 4 Contact, 5 Search text) of row r from 0.
    const QString &cell(qsizetype r, int k) const;
    /// The number of row r's search text.
    quint32 textOf(qsizetype r) const;
    /// The columns the table showed.
    int columnCount() const { return m_columns; }

private:
    friend class ResultsModel;
    RowBlocks<Entry>::Blocks m_rows;
    RowBlocks<Card>::Blocks m_cards;
    QStringList m_texts;
    qsizetype m_count = 0;
    int m_columns = kColumnCount - 1;
};
