#include "gui/CardPane.h"

#include "base/Failure.h"
#include "base/PlainToolTip.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QTextBlock>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// Marks the property and the lines that gave the row; the lines' mark is ASCII, so that
// it keeps the columns of a fixed-width font.
const QString kMark = u"▶ "_s;
const QString kNoMark = u"   "_s;
const QString kLineMark = u"> "_s;
const QString kNoLineMark = u"  "_s;

QLabel *plainLabel(QWidget *parent, const QString &name)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    return label;
}

} // namespace

CardPane::CardPane(QWidget *parent)
    : QWidget(parent), m_title(plainLabel(this, u"CardTitle"_s)),
      m_matched(plainLabel(this, u"CardMatched"_s)),
      m_splitter(new QSplitter(Qt::Horizontal, this)), m_properties(new QTreeWidget(m_splitter)),
      m_lines(new QPlainTextEdit(m_splitter))
{
    setObjectName(u"CardPane"_s);
    m_splitter->setObjectName(u"CardPaneSplitter"_s);
    m_properties->setObjectName(u"CardProperties"_s);
    m_properties->setRootIsDecorated(false);
    m_properties->setUniformRowHeights(true);
    m_properties->setHeaderLabels({u"Property"_s, u"Types"_s, u"Value"_s});
    m_properties->header()->setSectionResizeMode(QHeaderView::Interactive);
    m_properties->setAccessibleName(u"Card properties"_s);
    m_properties->setAccessibleDescription(
        u"Every property of the card: name, types and value; the row's own is marked."_s);
    m_lines->setObjectName(u"CardLines"_s);
    m_lines->setAccessibleName(u"Card lines"_s);
    m_lines->setAccessibleDescription(
        u"The card's lines as they stand in the file; the matching ones are marked."_s);
    // Tab moves on to the next control; the lines are read, not edited.
    m_lines->setTabChangesFocus(true);
    m_lines->setReadOnly(true);
    m_lines->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_lines->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_lines->viewport()->installEventFilter(this);
    m_splitter->addWidget(m_properties);
    m_splitter->addWidget(m_lines);
    m_splitter->setChildrenCollapsible(false);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_title);
    layout->addWidget(m_matched);
    layout->addWidget(m_splitter, 1);
    m_reader.setMaxThreadCount(1);
    clear();
}

CardPane::~CardPane()
{
    // The read in hand ends at its next piece; its result is posted to this pane, and
    // dropped with it.
    dropRead();
    m_reader.clear();
    m_reader.waitForDone();
}

void CardPane::clear()
{
    dropRead();
    showMessage(u"Select a row to see the card it comes from."_s);
}

void CardPane::dropRead()
{
    if (m_cancel)
        m_cancel->store(true);
    m_cancel.reset();
    m_row.reset();
    ++m_read;
}

void CardPane::showRow(const ResultRow &row)
{
    if (m_row == row)
        return;
    dropRead();
    m_row = row;
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    showMessage(u"Reading the card…"_s);
    m_reader.clear(); // reads not yet started are no longer wanted
    m_reader.start([this, row, read = m_read, cancel = m_cancel] {
        if (cancel->load())
            return;
        CardDetails details;
        QString failure;
        try {
            details = readCardDetails(row, cancel.get());
        } catch (const Failure &error) {
            failure = error.description();
        } catch (const std::exception &error) {
            failure = QString::fromLocal8Bit(error.what());
        } catch (...) {
            failure = u"the card could not be read."_s;
        }
        if (cancel->load())
            return;
        QMetaObject::invokeMethod(
            this, [this, read, details, failure] { deliver(read, details, failure); },
            Qt::QueuedConnection);
    });
}

void CardPane::deliver(quint64 read, const CardDetails &details, const QString &failure)
{
    if (read != m_read)
        return; // the selection has moved on
    m_cancel.reset();
    if (failure.isEmpty())
        showCard(details);
    else
        showMessage(u"The card cannot be shown: "_s + failure);
    emit cardRead();
}

void CardPane::showMessage(const QString &message)
{
    m_title->setText(message);
    m_matched->clear();
    m_matched->hide();
    m_properties->clear();
    m_lines->clear();
}

void CardPane::showCard(const CardDetails &details)
{
    m_title->setText(details.note.isEmpty() ? details.title
                                            : details.title + u"\n"_s + details.note);
    m_matched->setText(u"Matched: “%1”"_s.arg(details.searchText));
    m_matched->show();

    m_properties->clear();
    QList<QTreeWidgetItem *> items;
    QTreeWidgetItem *matchedItem = nullptr;
    for (const CardDetails::Property &property : details.properties) {
        auto *item = new QTreeWidgetItem(
            {(property.matched ? kMark : kNoMark) + property.name, property.types, property.value});
        // Escaped: a value's markup, such as an <img>, must not be laid out or loaded.
        item->setToolTip(2, plainToolTip(property.value));
        if (property.matched) {
            QFont bold = item->font(0);
            bold.setBold(true);
            for (int column = 0; column < 3; ++column)
                item->setFont(column, bold);
            matchedItem = item;
        }
        items.append(item);
    }
    m_properties->addTopLevelItems(items);
    m_properties->resizeColumnToContents(0);
    m_properties->resizeColumnToContents(1);
    if (matchedItem) {
        m_properties->setCurrentItem(matchedItem);
        m_properties->scrollToItem(matchedItem);
    }

    // Each line numbered as in the file; the matching lines marked and highlighted.
    const int digits = int(QString::number(details.firstLine + details.lines.size()).size());
    QString text;
    for (qsizetype i = 0; i < details.lines.size(); ++i) {
        text += (details.matchedLines.contains(i) ? kLineMark : kNoLineMark)
            + u"%1  "_s.arg(details.firstLine + i, digits) + details.lines.at(i);
        if (i + 1 < details.lines.size())
            text += u'\n';
    }
    m_lines->setPlainText(text);
    QList<QTextEdit::ExtraSelection> marks;
    for (const qsizetype i : details.matchedLines) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(m_lines->document()->findBlockByNumber(int(i)));
        mark.format.setBackground(palette().color(QPalette::Highlight).lighter(170));
        mark.format.setProperty(QTextFormat::FullWidthSelection, true);
        marks.append(mark);
    }
    m_lines->setExtraSelections(marks);
    const int marked = details.matchedLines.isEmpty() ? 0 : int(details.matchedLines.first());
    m_lines->setTextCursor(QTextCursor(m_lines->document()->findBlockByNumber(marked)));
    placeLines();
}

void CardPane::placeLines()
{
    // The card's first line at the top, moved up only as far as the marked line needs
    // to come into view.
    QScrollBar *bar = m_lines->verticalScrollBar();
    bar->setValue(0);
    m_lines->ensureCursorVisible();
    m_linesPlacedAt = bar->value();
}

bool CardPane::eventFilter(QObject *watched, QEvent *event)
{
    // A new height places the lines again, unless the user has scrolled them.
    if (watched == m_lines->viewport() && event->type() == QEvent::Resize
        && m_lines->verticalScrollBar()->value() == m_linesPlacedAt)
        QMetaObject::invokeMethod(this, &CardPane::placeLines, Qt::QueuedConnection);
    return QWidget::eventFilter(watched, event);
}
