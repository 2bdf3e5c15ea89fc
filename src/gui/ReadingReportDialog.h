#pragma once

#include "search/SearchReport.h"

#include <QDialog>

#include <functional>

class QTableWidget;

/// The reading report of the last search: its summary above a sortable table of the
/// files with something to say. A row opens its file at the line concerned; the report
/// can be saved as JSON. The texts of files are shown as plain text.
class ReadingReportDialog final : public QDialog
{
public:
    using OpenFile = std::function<void(const QString &path, qint64 line)>;

    /// save is handed the report as JSON to save.
    ReadingReportDialog(const SearchReport &report, OpenFile open,
                        std::function<void(const QByteArray &)> save, QWidget *parent = nullptr);

private:
    void openCurrent();

    const SearchReport m_report;
    QTableWidget *m_table = nullptr;
    OpenFile m_open;
};
