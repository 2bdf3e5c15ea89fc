// The window from the keyboard: keys during a search, ticking and sorting the table, the
// buttons' mnemonics; and the room the card pane gets. cardPaneHasRoom also runs on a
// real X server at 200 % (tools/x11-check.sh), where it prints what it measured.

#include "TestFiles.h"
#include "WindowTest.h"
#include "filelist/FileListModel.h"
#include "gui/CardPane.h"
#include "results/ResultsModel.h"
#include "results/ResultsProxyModel.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QTableView>
#include <QTest>
#include <QTextBlock>

using namespace Qt::StringLiterals;

class TestWindowKeys final : public WindowTest
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(makeFixture()); }
    void cleanup() { dropFixture(); }
    void keysDuringASearch();
    void spaceTicksFromAnyCell();
    void sortFromTheContextMenu();
    void mnemonicsPressButtonsAndDoNotCollide();
    void cardPaneHasRoom();
    void columnsFollowTheirContents();

private:
    /// A shown window that has searched the files for "tech".
    std::unique_ptr<Form1> searched(const QStringList &files);
    QStringList cards(int count, const QByteArray &extra = {});
};

QStringList TestWindowKeys::cards(int count, const QByteArray &extra)
{
    QStringList files;
    for (int i = 0; i < count; ++i)
        files.append(writeTestFile(*m_dir, u"card%1.vcf"_s.arg(i),
                                   "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Tech " + QByteArray::number(i)
                                       + "\r\n" + extra + "END:VCARD\r\n"));
    return files;
}

std::unique_ptr<Form1> TestWindowKeys::searched(const QStringList &files)
{
    auto form = startWindow(m_dir->filePath(u"program"_s));
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        qFatal("the window was not shown");
    form->fileList().append(files);
    control<QLineEdit>(*form, u"Text1"_s)->setText(u"tech"_s);
    button(*form, "PushButton7")->click();
    m_desktop->messages.clear(); // "Done."
    return form;
}

void TestWindowKeys::keysDuringASearch()
{
    auto form = startWindow(m_dir->filePath(u"program"_s));
    form->show();
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    form->fileList().append(cards(200));
    auto *text = control<QLineEdit>(*form, u"Text1"_s);
    text->setText(u"tech"_s);
    text->setFocus();
    bool searchingAfterEnter = false;
    qsizetype rowsAtStop = -1;
    connect(&form->results(), &QAbstractItemModel::rowsInserted, this, [&] {
        if (rowsAtStop >= 0)
            return;
        rowsAtStop = form->results().count();
        // Enter in the search box does not stop the run; Esc does.
        QTest::keyClick(text, Qt::Key_Return);
        searchingAfterEnter = button(*form, "PushButton7")->text() == u"Stop Searching"_s;
        QTest::keyClick(text, Qt::Key_Escape);
    });
    QTest::keyClick(text, Qt::Key_Return); // Enter starts a search
    QVERIFY(rowsAtStop > 0);
    QVERIFY(searchingAfterEnter);
    QCOMPARE(form->results().count(), rowsAtStop);
    QVERIFY(control<QLabel>(*form, u"StatusLine"_s)->text().contains(u"Stopped after"_s));
    QVERIFY(m_desktop->messages.isEmpty());
    // Esc with no search running does nothing.
    QTest::keyClick(text, Qt::Key_Escape);
    QVERIFY(m_desktop->messages.isEmpty());
}

void TestWindowKeys::spaceTicksFromAnyCell()
{
    auto form = searched(cards(3));
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    auto *table = control<QTableView>(*form, u"ListView2"_s);
    table->setFocus();
    const auto ticks = [&] {
        QString ticked;
        for (qsizetype r = 0; r < form->results().count(); ++r)
            ticked += form->results().isChecked(r) ? u'x' : u'.';
        return ticked;
    };
    // From each column: the box's own, the value's; the selected rows go together, and
    // a second press unticks them.
    for (int column : {0, 2}) {
        table->setCurrentIndex(table->model()->index(1, column));
        QTest::keyClick(table, Qt::Key_Space);
        QCOMPARE(ticks(), u".x."_s);
        QTest::keyClick(table, Qt::Key_Space);
        QCOMPARE(ticks(), u"..."_s);
    }
    table->selectAll();
    QTest::keyClick(table, Qt::Key_Space);
    QCOMPARE(ticks(), u"xxx"_s);
}

void TestWindowKeys::sortFromTheContextMenu()
{
    auto form = searched(cards(3));
    auto *table = control<QTableView>(*form, u"ListView2"_s);
    QAction *sortBy = table->findChild<QAction *>(u"SortByAction"_s);
    QVERIFY(sortBy && sortBy->menu() && table->actions().contains(sortBy));
    const auto choose = [&](const QString &caption) {
        for (QAction *each : sortBy->menu()->actions()) {
            if (each->text() == caption) {
                each->trigger();
                QTRY_VERIFY(!form->resultsProxy().isArranging());
                return;
            }
        }
        QFAIL(qPrintable(caption));
    };
    const auto contacts = [&] {
        QStringList shown;
        for (int r = 0; r < table->model()->rowCount(); ++r)
            shown.append(table->model()->index(r, 3).data().toString());
        return shown;
    };
    const QStringList found = contacts();
    // As a heading's clicks: ascending, then descending; "Order found" goes back.
    choose(u"Contact"_s);
    QCOMPARE(contacts(), (QStringList{u"Tech 0"_s, u"Tech 1"_s, u"Tech 2"_s}));
    choose(u"Contact"_s);
    QCOMPARE(contacts(), (QStringList{u"Tech 2"_s, u"Tech 1"_s, u"Tech 0"_s}));
    QVERIFY(table->horizontalHeader()->isSortIndicatorShown());
    choose(u"Order found"_s);
    QCOMPARE(contacts(), found);
    QVERIFY(!table->horizontalHeader()->isSortIndicatorShown());
}

void TestWindowKeys::mnemonicsPressButtonsAndDoNotCollide()
{
    auto form = startWindow(m_dir->filePath(u"program"_s));
    form->show();
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    QMap<QKeySequence, QString> taken;
    for (const QPushButton *each : form->findChildren<QPushButton *>()) {
        if (each->shortcut().isEmpty())
            continue;
        QVERIFY2(!taken.contains(each->shortcut()), qPrintable(each->objectName()));
        taken.insert(each->shortcut(), each->objectName());
    }
    for (const QLabel *label : form->findChildren<QLabel *>()) {
        const QKeySequence key = QKeySequence::mnemonic(label->text());
        QVERIFY2(key.isEmpty() || !taken.contains(key), qPrintable(label->objectName()));
    }
    QVERIFY(taken.size() >= 10);
    // The caption stays the design's; Alt and the letter press the button.
    QPushButton *help = button(*form, "PushButton5");
    QCOMPARE(help->text(), u"Help"_s);
    QTest::keyClick(control<QLineEdit>(*form, u"Text1"_s), Qt::Key_H, Qt::AltModifier);
    QTRY_COMPARE(m_desktop->messages.size(), 1); // a shortcut's click comes a moment later
}

void TestWindowKeys::cardPaneHasRoom()
{
    // A card longer than the pane at any scale, matched on its 30th line.
    QByteArray lines;
    for (int i = 0; i < 40; ++i)
        lines += "NOTE:line " + QByteArray::number(i) + (i == 27 ? " tech" : "") + "\r\n";
    const QStringList files = cards(1, lines);
    auto form = searched(files);
    auto *table = control<QTableView>(*form, u"ListView2"_s);
    QSignalSpy read(&form->cardPane(), &CardPane::cardRead);
    table->setCurrentIndex(table->model()->index(1, 2)); // the note's row
    QVERIFY(read.wait());
    QTest::qWait(50); // the pane places its lines after a resize in the next turn

    auto *results = control<QSplitter>(*form, u"ResultsSplitter"_s);
    const QWidget &pane = form->cardPane();
    const QPlainTextEdit *text = form->cardPane().lines();
    const QRect marked = text->cursorRect();
    qInfo("window %dx%d, results %dx%d, pane %dx%d %s, lines %d px high", form->width(),
          form->height(), results->width(), results->height(), pane.width(), pane.height(),
          results->orientation() == Qt::Horizontal ? "beside" : "below",
          text->viewport()->height());
    // A third of the results area at the least, and room for a few lines.
    QVERIFY(pane.width() * pane.height() * 3 >= results->width() * results->height());
    QVERIFY(text->viewport()->height() >= 3 * text->fontMetrics().height());
    // The marked line in view; the card's first line too when both fit.
    QVERIFY(text->textCursor().block().text().contains(u"line 27 tech"_s));
    QVERIFY(text->viewport()->rect().contains(marked));
    const int first = text->cursorForPosition(QPoint(0, 0)).blockNumber();
    const int fit = text->viewport()->height() / text->fontMetrics().lineSpacing();
    QCOMPARE(first == 0, fit > text->textCursor().blockNumber());
}

void TestWindowKeys::columnsFollowTheirContents()
{
    const QString contact = u"Tech Bjørn Sørensen"_s;
    auto form
        = searched({writeTestFile(*m_dir, u"bjorn-soren.vcf"_s,
                                  "BEGIN:VCARD\r\nFN:" + contact.toUtf8() + "\r\nEND:VCARD\r\n")});
    auto *table = control<QTableView>(*form, u"ListView2"_s);
    const int contactWidth = table->fontMetrics().horizontalAdvance(contact);
    const auto width = [&](int column) { return table->columnWidth(column); };
    // Wide: the contact whole; narrow: File, Tag and Contact within their shares, and
    // Value keeps the most.
    form->resize(1600, form->height());
    QTRY_VERIFY(width(3) > contactWidth);
    form->resize(form->minimumWidth(), form->height());
    QTRY_VERIFY(width(3) < contactWidth);
    QVERIFY(width(0) + width(1) + width(3) < table->viewport()->width() * 2 / 3);
    // A width the user sets stays, and is kept for the next start.
    table->horizontalHeader()->resizeSection(3, 300);
    form->resize(1600, form->height());
    QTest::qWait(150);
    QCOMPARE(width(3), 300);
    form->close();
    QVERIFY(m_settings->ReadSetting(u"ResultsColumns"_s, QString()).endsWith(u",300"_s));
}

QTEST_MAIN(TestWindowKeys)
#include "tst_window_keys.moc"
