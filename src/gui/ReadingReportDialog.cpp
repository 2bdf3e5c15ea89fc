#include "gui/ReadingReportDialog.h"

#include "base/PlainToolTip.h"
#include "search/SearchReport.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

enum Column { FileColumn, FoundColumn, LineColumn, CardsColumn, CharsetColumn, ColumnCount };

QTableWidgetItem *textItem(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

/// A number that sorts as one; empty when it is none.
QTableWidgetItem *numberItem(qint64 number)
{
    auto *item = textItem({});
    if (number > 0)
        item->setData(Qt::DisplayRole, qlonglong(number));
    return item;
}

QString charsetText(const ReadFacts &facts)
{
    if (facts.charsetWay == ReadFacts::CharsetWay::None)
        return {};
    QString text = facts.charset.isEmpty() ? u"UTF-8"_s : QString::fromLatin1(facts.charset);
    text += u" ("_s + SearchReport::charsetWayName(facts.charsetWay);
    if (!facts.detector.isEmpty())
        text += u", "_s + QString::fromLatin1(facts.detector);
    return text + u')';
}

} // namespace

ReadingReportDialog::ReadingReportDialog(const SearchReport &report, OpenFile open,
                                         std::function<void(const QByteArray &)> save,
                                         QWidget *parent)
    : QDialog(parent), m_report(report), m_open(std::move(open))
{
    setObjectName(u"ReadingReport"_s);
    setWindowTitle(u"Reading Report"_s);
    auto *summary = new QLabel(report.summary(), this);
    summary->setObjectName(u"ReportSummary"_s);
    summary->setTextFormat(Qt::PlainText);
    summary->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(summary);
    if (report.stopped() && !report.stoppedAt().isEmpty()) {
        auto *where = new QLabel(
            (report.stoppedInsideFile() ? u"Stopped in: "_s : u"Stopped before: "_s)
                + report.stoppedAt(),
            this);
        where->setTextFormat(Qt::PlainText);
        where->setWordWrap(true);
        layout->addWidget(where);
    }

    m_table = new QTableWidget(int(report.files().size()), ColumnCount, this);
    m_table->setObjectName(u"ReportFiles"_s);
    m_table->setHorizontalHeaderLabels({u"File"_s, u"Found"_s, u"Line"_s, u"Cards"_s,
                                        u"Charset"_s});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->hide();
    m_table->setWordWrap(false);
    int row = 0;
    for (const SearchReport::File &file : report.files()) {
        auto *name = textItem(file.path);
        name->setToolTip(plainToolTip(file.failure.isEmpty() ? file.path : file.failure));
        m_table->setItem(row, FileColumn, name);
        m_table->setItem(row, FoundColumn, textItem(SearchReport::foundText(file)));
        m_table->setItem(row, LineColumn, numberItem(file.firstLine()));
        m_table->setItem(row, CardsColumn, numberItem(file.facts.cards));
        m_table->setItem(row, CharsetColumn, textItem(charsetText(file.facts)));
        ++row;
    }
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(FileColumn, Qt::AscendingOrder);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->resizeColumnsToContents();
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table, 1);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton *openButton = buttons->addButton(u"Open File"_s, QDialogButtonBox::ActionRole);
    openButton->setObjectName(u"ReportOpen"_s);
    QPushButton *saveButton = buttons->addButton(u"Save Report…"_s, QDialogButtonBox::ActionRole);
    saveButton->setObjectName(u"ReportSave"_s);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(openButton, &QPushButton::clicked, this, [this] { openCurrent(); });
    connect(saveButton, &QPushButton::clicked, this,
            [this, save = std::move(save)] { save(m_report.toJson()); });
    connect(m_table, &QTableWidget::itemActivated, this, [this] { openCurrent(); });
    resize(900, 420);
}

void ReadingReportDialog::openCurrent()
{
    const int row = m_table->currentRow();
    if (row < 0)
        return;
    const QTableWidgetItem *file = m_table->item(row, FileColumn);
    const QTableWidgetItem *line = m_table->item(row, LineColumn);
    m_open(file->text(), line->data(Qt::DisplayRole).toLongLong());
}
