// Text from outside the program is shown as plain text: tooltips, message and input boxes.

#include "WindowTest.h"
#include "base/PlainToolTip.h"
#include "filelist/FileListModel.h"
#include "gui/CardPane.h"
#include "gui/Form1.h"
#include "gui/QtDesktop.h"
#include "results/ResultsModel.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableView>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>

#include <atomic>
#include <functional>
#include <thread>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

/// Counts the readers of a FIFO without ever leaving one blocked: a thread opens the
/// write end again and again (each open waits for a reader) and closes it at once, so
/// a reader gets an empty file instead of waiting for ever.
class FifoReaders final
{
public:
    explicit FifoReaders(const QString &path) : m_path(QFile::encodeName(path)) {}
    ~FifoReaders() { stop(); }

    bool start()
    {
        if (::mkfifo(m_path.constData(), 0600) != 0)
            return false;
        m_thread = std::thread([this] {
            for (;;) {
                const int fd = ::open(m_path.constData(), O_WRONLY);
                if (fd < 0 && errno == EINTR)
                    continue;
                // Counted before the close, so a reader that got its empty file was counted.
                if (fd >= 0 && !m_stopping)
                    ++m_readers;
                if (fd >= 0)
                    ::close(fd);
                if (fd < 0 || m_stopping)
                    return;
            }
        });
        return true;
    }

    /// Ends the thread, removes the FIFO and returns how many readers came.
    int stop()
    {
        if (m_thread.joinable()) {
            m_stopping = true;
            // A reader of our own, which does not wait, releases the thread's pending open.
            const int fd = ::open(m_path.constData(), O_RDONLY | O_NONBLOCK);
            m_thread.join();
            if (fd >= 0)
                ::close(fd);
            ::unlink(m_path.constData());
        }
        return m_readers;
    }

private:
    QByteArray m_path;
    std::thread m_thread;
    std::atomic<bool> m_stopping = false;
    std::atomic<int> m_readers = 0;
};

/// The text a tooltip label shows for a tooltip: QLabel's own choice between rich and
/// plain text.
QString shownText(const QString &toolTip)
{
    QTextDocument document;
    if (Qt::mightBeRichText(toolTip))
        document.setHtml(toolTip);
    else
        document.setPlainText(toolTip);
    return document.toPlainText();
}

/// Shows the tooltip of a view's item as the pointer resting on it would, and returns
/// the text it shows; empty when no tooltip appears.
QString showToolTip(QAbstractItemView *view, const QModelIndex &index)
{
    QToolTip::showText({}, {}); // none left from before
    QWidget *viewport = view->viewport();
    const QPoint at = view->visualRect(index).center();
    QHelpEvent event(QEvent::ToolTip, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &event);
    return QToolTip::isVisible() ? shownText(QToolTip::text()) : QString();
}

/// Runs call, which shows a modal box, and hands the box to answer from inside the
/// box's own event loop; answer closes it. A box that has not turned up or has not
/// closed after ten seconds is rejected, so the test fails instead of waiting for ever.
/// True when the box was answered in time.
bool answerModalBox(const std::function<void()> &call, const std::function<void(QWidget *)> &answer)
{
    bool answered = false;
    bool timedOut = false;
    const QDeadlineTimer deadline(10000);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        if (QWidget *box = QApplication::activeModalWidget(); box && !answered) {
            answered = true;
            answer(box);
        } else if (deadline.hasExpired()) {
            timedOut = true;
            poll.stop();
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                if (auto *dialog = qobject_cast<QDialog *>(widget); dialog && dialog->isVisible())
                    dialog->reject();
            }
        }
    });
    poll.start(0);
    call();
    poll.stop();
    return answered && !timedOut;
}

} // namespace

class TestPlainText final : public WindowTest
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void toolTipsShowTextLiterally_data();
    void toolTipsShowTextLiterally();
    void windowToolTipsNeverReadAFile();
    void messageBoxShowsTextLiterally_data();
    void messageBoxShowsTextLiterally();
    void inputBoxShowsPromptLiterally_data();
    void inputBoxShowsPromptLiterally();

private:
    /// An <img> naming a FIFO of the test's folder.
    QString imageOfFifo() const { return u"<img src=\""_s + m_dir->filePath(u"fifo"_s) + u"\">"_s; }
};

void TestPlainText::init()
{
    QVERIFY(makeFixture());
}

void TestPlainText::cleanup()
{
    QToolTip::showText({}, {});
    dropFixture();
}

void TestPlainText::toolTipsShowTextLiterally_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    const QString markup = u"<img src=\"/nonexistent/x.png\"> &amp; <b>bold</b>"_s;
    QTest::newRow("markup") << markup << markup;
    QTest::newRow("blanks and tabs") << u"  a \t  b  "_s << u"  a \t  b  "_s;
    QTest::newRow("line breaks") << u"<i>a\r\nb\rc\nd"_s << u"<i>a\nb\nc\nd"_s;
    QTest::newRow("empty: no tooltip") << QString() << QString();
    const QString limit(kToolTipLimit, u'x');
    QTest::newRow("at the limit") << limit << limit;
    QTest::newRow("a million characters")
        << QString(1000000, u'<') << QString(kToolTipLimit, u'<') + u'…';
    // A character outside the BMP is never cut in two.
    QTest::newRow("cut before a surrogate pair") << limit.first(kToolTipLimit - 1)
            + u"\U0001F600y"_s << limit.first(kToolTipLimit - 1) + u'…';
}

void TestPlainText::toolTipsShowTextLiterally()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    FileListModel files;
    files.append(text);
    ResultsModel results;
    results.appendRows({{text, text, text, text, text}});
    QList<QModelIndex> items{files.index(0)};
    for (int column = 0; column < ResultsModel::kColumnCount; ++column)
        items.append(results.index(0, column));
    for (const QModelIndex &item : std::as_const(items)) {
        QCOMPARE(item.data(Qt::DisplayRole).toString(), text);
        QCOMPARE(shownText(item.data(Qt::ToolTipRole).toString()), shown);
    }
}

void TestPlainText::windowToolTipsNeverReadAFile()
{
    FifoReaders readers(m_dir->filePath(u"fifo"_s));
    QVERIFY(readers.start());
    // A folder and a value that each hold an <img> of the FIFO.
    const QString card = m_dir->filePath(imageOfFifo() + u"/card.vcf"_s);
    QVERIFY(QDir().mkpath(QFileInfo(card).path()));
    QFile file(card);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:x\r\nNOTE:" + imageOfFifo().toUtf8()
               + "  &amp;\r\nEND:VCARD\r\n");
    file.close();

    auto form = startWindow(m_dir->filePath(u"program"_s));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    form->fileList().append(card);
    control<QLineEdit>(*form, "Text1")->setText(u"img"_s);
    button(*form, "PushButton7")->click();
    QCOMPARE(form->results().count(), 1);
    const QString value = form->results().cell(0, 3);
    QVERIFY(value.startsWith(imageOfFifo()));

    auto *files = control<QTableView>(*form, "ListView1");
    auto *results = control<QTableView>(*form, "ListView2");
    QCOMPARE(showToolTip(files, files->model()->index(0, 0)), card);
    QCOMPARE(showToolTip(results, results->model()->index(0, 2)), value);
    QCOMPARE(showToolTip(results, results->model()->index(0, 0)), card);

    // The card pane: its labels, the value's tooltip and the lines.
    CardPane &pane = form->cardPane();
    results->setCurrentIndex(results->model()->index(0, 2));
    QTRY_COMPARE(pane.title()->text(), u"Card 1, line 1: x"_s);
    QTreeWidget *properties = pane.properties();
    QCOMPARE(properties->topLevelItemCount(), 3);
    QCOMPARE(properties->currentItem()->text(2), value);
    const QModelIndex note = properties->currentIndex().siblingAtColumn(2);
    QCOMPARE(showToolTip(properties, note), value);
    QCOMPARE(pane.matched()->text(), u"Matched: “img”"_s);
    for (const QLabel *label : pane.findChildren<QLabel *>())
        QCOMPARE(label->textFormat(), Qt::PlainText);
    QToolTip::showText({}, {});
    QCOMPARE(readers.stop(), 0);
}

void TestPlainText::messageBoxShowsTextLiterally_data()
{
    QTest::addColumn<MessageButtons>("buttons");
    QTest::addColumn<MessageAnswer>("answer");
    QTest::addColumn<int>("defaultButton");
    QTest::newRow("OK") << MessageButtons::Ok << MessageAnswer::Ok << int(QMessageBox::Ok);
    QTest::newRow("Yes and No") << MessageButtons::YesNo << MessageAnswer::Yes
                                << int(QMessageBox::Yes);
    QTest::newRow("Yes and No, No the default")
        << MessageButtons::YesNoDefaultNo << MessageAnswer::Yes << int(QMessageBox::No);
}

void TestPlainText::messageBoxShowsTextLiterally()
{
    QFETCH(MessageButtons, buttons);
    QFETCH(MessageAnswer, answer);
    QFETCH(int, defaultButton);
    FifoReaders readers(m_dir->filePath(u"fifo"_s));
    QVERIFY(readers.start());
    QtDesktop desktop;
    QWidget window;
    window.setGeometry(300, 200, 500, 400);
    window.show();
    desktop.setWindow(&window);
    QPoint offCentre; // of the box from the window's centre
    int shownDefault = QMessageBox::NoButton;
    const QString text = imageOfFifo() + u": No such file\r\nin Form1\r\rPlease"_s;
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    QString title;
    MessageAnswer given = MessageAnswer::No;
    QVERIFY(answerModalBox(
        [&] {
            given = desktop.message(text, u"Application Error"_s, buttons, MessageIcon::Warning);
        },
        [&](QWidget *widget) {
            auto *box = qobject_cast<QMessageBox *>(widget);
            const auto *label = box ? box->findChild<QLabel *>(u"qt_msgbox_label"_s) : nullptr;
            if (label) {
                shown = label->text();
                format = label->textFormat();
            }
            title = widget->windowTitle();
            offCentre = widget->frameGeometry().center() - window.frameGeometry().center();
            if (box) {
                // The button that Enter presses.
                for (QAbstractButton *button : box->buttons()) {
                    if (const auto *push = qobject_cast<QPushButton *>(button);
                        push && push->isDefault())
                        shownDefault = box->standardButton(button);
                }
                box->button(buttons == MessageButtons::Ok ? QMessageBox::Ok : QMessageBox::Yes)
                    ->click();
            }
        }));
    QVERIFY2(offCentre.manhattanLength() < 20,
             qPrintable(u"%1,%2"_s.arg(offCentre.x()).arg(offCentre.y())));
    QCOMPARE(shownDefault, defaultButton);
    QCOMPARE(format, Qt::PlainText);
    QCOMPARE(shown, imageOfFifo() + u": No such file\nin Form1\n\nPlease"_s);
    QCOMPARE(title, u"Application Error"_s);
    QCOMPARE(given, answer);
    QCOMPARE(readers.stop(), 0);
}

void TestPlainText::inputBoxShowsPromptLiterally_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("answer");
    QTest::newRow("accepted") << true << u"typed <b>"_s;
    QTest::newRow("cancelled") << false << QString();
}

void TestPlainText::inputBoxShowsPromptLiterally()
{
    QFETCH(bool, accept);
    QFETCH(QString, answer);
    FifoReaders readers(m_dir->filePath(u"fifo"_s));
    QVERIFY(readers.start());
    QtDesktop desktop;
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    QString proposed;
    QString given = u"<not returned>"_s;
    QVERIFY(answerModalBox(
        [&] {
            given = desktop.inputBox(imageOfFifo() + u"\rEnter set:"_s, u"Quillory"_s, u"<i>"_s);
        },
        [&](QWidget *widget) {
            auto *dialog = qobject_cast<QInputDialog *>(widget);
            const auto *label = dialog ? dialog->findChild<QLabel *>() : nullptr;
            if (label) {
                shown = label->text();
                format = label->textFormat();
            }
            if (!dialog)
                return;
            proposed = dialog->textValue();
            dialog->setTextValue(u"typed <b>"_s);
            accept ? dialog->accept() : dialog->reject();
        }));
    QCOMPARE(format, Qt::PlainText);
    QCOMPARE(shown, imageOfFifo() + u"\nEnter set:"_s);
    QCOMPARE(proposed, u"<i>"_s);
    QCOMPARE(given, answer);
    QCOMPARE(readers.stop(), 0);
}

QTEST_MAIN(TestPlainText)
#include "tst_plain_text.moc"
