#pragma once

#include "results/CardDetails.h"

#include <QWidget>

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

private:
    QLabel *m_title;
    QLabel *m_matched;
    QSplitter *m_splitter;
    QTreeWidget *m_properties;
    QPlainTextEdit *m_lines;
};
