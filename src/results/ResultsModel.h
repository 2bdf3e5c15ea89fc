#pragma once

#include "results/ResultRow.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QStringList>

#include <deque>

/// The results table: columns "File", "Tag", " Value" and "Contact", a tick per row
/// (on the first column), rows appended in batches.
class ResultsModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int kColumnCount = 4;

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

    qsizetype count() const { return qsizetype(m_rows.size()); }
    /// Row r from 0.
    ResultRow row(qsizetype r) const;
    /// Cell k (1 File, 2 Tag, 3 Value, 4 Contact) of row r from 0.
    const QString &cell(qsizetype r, int k) const;
    bool isChecked(qsizetype r) const { return m_rows.at(std::size_t(r)).checked; }
    void setChecked(qsizetype r, bool checked);

    /// Appends rows at the end, unticked, in one insertion.
    void appendRows(QList<ResultRow> rows);
    void clear();

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
    struct Card
    {
        QString contact;
        CardPlace place;
    };
    // Deques grow without moving what they hold: a million rows never stall an
    // insertion while they are copied to a larger block.
    std::deque<Entry> m_rows;
    std::deque<Card> m_cards;
    QStringList m_texts;
    QHash<QString, quint32> m_textIds;
};
