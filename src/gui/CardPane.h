#pragma once

#include "results/CardDetails.h"

#include <QThreadPool>
#include <QWidget>

#include <atomic>
#include <memory>
#include <optional>

class QLabel;
class QPlainTextEdit;
class QSplitter;
class QTreeWidget;

/// The card of the selected result row beside the results: its title, the search
/// text that matched, its properties (the one that gave the row marked) and its lines
/// as they stand in the file (the matching lines marked). All of it is plain text.
class CardPane final : public QWidget
{
    Q_OBJECT

public:
    explicit CardPane(QWidget *parent = nullptr);
    ~CardPane() override;

    /// Reads the card of a row on a thread of its own and shows it when read; meanwhile
    /// says that it is being read. The row shown or being read already is not read again.
    void showRow(const ResultRow &row);
    /// Shows the card of a row.
    void showCard(const CardDetails &details);
    /// Shows only a message, such as a file that could not be read.
    void showMessage(const QString &message);
    void clear();

    QTreeWidget *properties() const { return m_properties; }
    QPlainTextEdit *lines() const { return m_lines; }
    QLabel *title() const { return m_title; }
    QLabel *matched() const { return m_matched; }
    QSplitter *splitter() const { return m_splitter; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    /// A card asked for with showRow has been shown, or the reason it cannot be.
    void cardRead();

private:
    /// Drops the read in hand: its result, when it comes, is not shown.
    void dropRead();
    void deliver(quint64 read, const CardDetails &details, const QString &failure);
    /// Scrolls the lines so that the first and the marked one are in view when they fit.
    void placeLines();

    QLabel *m_title;
    QLabel *m_matched;
    QSplitter *m_splitter;
    QTreeWidget *m_properties;
    QPlainTextEdit *m_lines;
    // One read at a time; a read that is no longer wanted is cancelled and not shown.
    QThreadPool m_reader;
    std::optional<ResultRow> m_row; // the row shown or being read
    quint64 m_read = 0; // the number of the latest read
    std::shared_ptr<std::atomic<bool>> m_cancel;
    int m_linesPlacedAt = 0; // the scroll position placeLines chose
};
