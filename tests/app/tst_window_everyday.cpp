// The window for everyday use: the keyboard, the fit on the screen, the results table's
// sorting, filter, commands and counts, and what is kept across a restart.

#include "TestFiles.h"
#include "WindowTest.h"
#include "filelist/FileListModel.h"
#include "gui/CardPane.h"
#include "gui/PathDelegate.h"
#include "results/ResultsModel.h"
#include "results/ResultsProxyModel.h"
#include "results/ResultsText.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace {

QTableView *table(QWidget &form)
{
    return control<QTableView>(form, u"ListView2"_s);
}

/// The table's cells of one column as shown, top to bottom.
QStringList shownColumn(QWidget &form, int column)
{
    QStringList cells;
    const QAbstractItemModel *model = table(form)->model();
    for (int r = 0; r < model->rowCount(); ++r)
        cells.append(model->index(r, column).data().toString());
    return cells;
}

/// True when a comes before b in reading order: wholly above it, or on the same line
/// and to its left.
bool readsBefore(QWidget &form, QWidget *a, QWidget *b)
{
    const QRect first(a->mapTo(&form, QPoint(0, 0)), a->size());
    const QRect second(b->mapTo(&form, QPoint(0, 0)), b->size());
    if (first.bottom() < second.top())
        return true;
    return first.top() <= second.bottom() && first.left() < second.left();
}

void pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
}

} // namespace

class TestWindowEveryday final : public WindowTest
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(makeFixture()); }
    void cleanup() { dropFixture(); }
    void startsReadyToType_data();
    void startsReadyToType();
    void tabFollowsTheWindow();
    void everyControlIsNamed();
    void fitsTheScreen();
    void longPathsKeepTheFileName_data();
    void longPathsKeepTheFileName();
    void deleteRemovesEverySelectedFile_data();
    void deleteRemovesEverySelectedFile();
    void headerClicksSort();
    void filterShowsMatchingRows_data();
    void filterShowsMatchingRows();
    void tableCommands();
    void cardPaneReadsOffTheWindowThread();
    void countsUnderTheResults();
    void layoutComesBack_data();
    void layoutComesBack();
    void settingsOfTwoWindows();

private:
    std::unique_ptr<Form1> shownWindow();
    /// A window that has searched files of a few cards for "tech".
    std::unique_ptr<Form1> searchedWindow();
};

std::unique_ptr<Form1> TestWindowEveryday::shownWindow()
{
    auto form = startWindow(m_dir->filePath(u"program"_s));
    form->show();
    form->activateWindow();
    if (!QTest::qWaitForWindowActive(form.get()))
        qFatal("the window did not become active");
    return form;
}

std::unique_ptr<Form1> TestWindowEveryday::searchedWindow()
{
    QStringList files;
    // Numbered names sort by number, not by character.
    for (const auto &[name, cards] : {std::pair{"card10.vcf", "FN:Tech Ten\r\nNOTE:more tech\r\n"},
                                      std::pair{"card9.vcf", "FN:Nine\r\nTITLE:tech lead\r\n"},
                                      std::pair{"card2.vcf", "FN:Two\r\nNOTE:TECH support\r\n"}})
        files.append(
            writeTestFile(*m_dir, QString::fromLatin1(name),
                          QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\n") + cards + "END:VCARD\r\n"));
    auto form = shownWindow();
    form->fileList().append(files);
    control<QLineEdit>(*form, u"Text1"_s)->setText(u"tech"_s);
    control<QPushButton>(*form, u"PushButton7"_s)->click();
    m_desktop->messages.clear(); // "Done."
    return form;
}

void TestWindowEveryday::startsReadyToType_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::newRow("a text and no files") << u"tech"_s << u"No files added."_s;
    QTest::newRow("no text") << QString() << u"You forgot to input search text"_s;
}

void TestWindowEveryday::startsReadyToType()
{
    // The search box has the focus, and Enter in it does what Start does.
    QFETCH(QString, typed);
    QFETCH(QString, message);
    auto form = shownWindow();
    auto *text = control<QLineEdit>(*form, u"Text1"_s);
    QCOMPARE(QApplication::focusWidget(), text);
    QTest::keyClicks(QApplication::focusWidget(), typed);
    QCOMPARE(text->text(), typed);
    pressKey(Qt::Key_Return);
    QCOMPARE(m_desktop->messages.size(), 1);
    QCOMPARE(m_desktop->messages.first().text, message);
}

void TestWindowEveryday::tabFollowsTheWindow()
{
    auto form = searchedWindow();
    auto *text = control<QLineEdit>(*form, u"Text1"_s);
    auto *sets = control<QComboBox>(*form, u"Combo1"_s);
    sets->addItem(u"a set"_s);
    text->setFocus(Qt::OtherFocusReason);
    // Once round the window: every stop reads after the one before, both tables are
    // left, and passing the set list does not switch to searching the sets.
    QList<QWidget *> visited{text};
    for (int i = 0; i < 60 && (visited.size() == 1 || visited.last() != text); ++i) {
        pressKey(Qt::Key_Tab);
        visited.append(QApplication::focusWidget());
    }
    QCOMPARE(visited.last(), text);
    QVERIFY(control<QRadioButton>(*form, u"Option3"_s)->isChecked());
    for (const QString &name : {u"ListView1"_s, u"ListView2"_s, u"Combo1"_s, u"FilterBox"_s,
                                u"PushButton7"_s, u"SaveCardsButton"_s, u"PushButton5"_s})
        QVERIFY2(visited.contains(control(*form, name)), qPrintable(name));
    const qsizetype wrap = visited.indexOf(control(*form, u"ListView1"_s));
    for (qsizetype i = 1; i < visited.size() - 1; ++i) {
        if (i != wrap)
            QVERIFY2(readsBefore(*form, visited.at(i - 1), visited.at(i)),
                     qPrintable(visited.at(i - 1)->objectName() + u" then "_s
                                + visited.at(i)->objectName()));
    }
    // Shift+Tab goes back the same way.
    for (qsizetype i = visited.size() - 2; i >= 0; --i) {
        pressKey(Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), visited.at(i));
    }
    // A click into the set list, or choosing a set, still means searching the sets.
    QTest::mouseClick(sets, Qt::LeftButton);
    QTRY_VERIFY(control<QRadioButton>(*form, u"Option4"_s)->isChecked());
    if (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
    control<QRadioButton>(*form, u"Option3"_s)->setChecked(true);
    emit sets->activated(0);
    QVERIFY(control<QRadioButton>(*form, u"Option4"_s)->isChecked());

    // Enter presses a button that has the keyboard focus.
    auto *help = control<QPushButton>(*form, u"PushButton5"_s);
    help->setFocus(Qt::TabFocusReason);
    pressKey(Qt::Key_Return);
    QCOMPARE(m_desktop->messages.size(), 1);
}

void TestWindowEveryday::everyControlIsNamed()
{
    auto form = shownWindow();
    for (QWidget *widget : form->findChildren<QWidget *>()) {
        const bool control = (widget->focusPolicy() & Qt::TabFocus) && widget->isVisible()
            && !widget->objectName().isEmpty();
        if (!control && widget->objectName() != u"StatusLine"_s)
            continue;
        QVERIFY2(!widget->accessibleName().isEmpty(), qPrintable(widget->objectName()));
        QVERIFY2(!widget->accessibleDescription().isEmpty(), qPrintable(widget->objectName()));
    }
}

void TestWindowEveryday::fitsTheScreen()
{
    auto form = shownWindow();
    const QRect room = form->screen()->availableGeometry();
    QVERIFY(room.contains(form->frameGeometry()) || form->size() == form->minimumSize());
    QVERIFY(form->minimumHeight() <= room.height());
    QVERIFY(form->minimumWidth() <= room.width());
    // Every control can be seen, and the lists take the extra height.
    const int filesBefore = control(*form, u"ListView1"_s)->height();
    const int tableBefore = table(*form)->height();
    form->resize(form->width(), form->height() + 200);
    QTRY_VERIFY(control(*form, u"ListView1"_s)->height() > filesBefore);
    QVERIFY(table(*form)->height() > tableBefore);
    for (QPushButton *button : form->findChildren<QPushButton *>()) {
        // Command1 is never shown; the counts per text only after a search of several.
        if (button->objectName() == u"Command1"_s || button->objectName() == u"TextCountsButton"_s)
            continue;
        QVERIFY2(button->isVisible()
                     && form->rect().contains(
                         QRect(button->mapTo(form.get(), QPoint(0, 0)), button->size())),
                 qPrintable(button->objectName()));
        QVERIFY2(button->width() >= button->fontMetrics().horizontalAdvance(button->text()),
                 qPrintable(button->objectName()));
    }
}

void TestWindowEveryday::longPathsKeepTheFileName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("room"); // as wide as this text
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    const QString path = u"/home/user/contacts/exports/alice-nguyen.vcf"_s;
    QTest::newRow("fits") << path << path << path << path;
    QTest::newRow("folder shortened")
        << path << u"/home/user/alice-nguyen.vcf"_s << u"/h"_s << u"…/alice-nguyen.vcf"_s;
    // Cut at the right as the other columns are, still telling that there is a folder.
    QTest::newRow("name alone too wide") << path << u"alice-nguy"_s << u"…/al"_s << u"…"_s;
    QTest::newRow("no folder") << u"alice-nguyen.vcf"_s << u"alice-ng"_s << u"al"_s << u"…"_s;
}

void TestWindowEveryday::longPathsKeepTheFileName()
{
    QFETCH(QString, path);
    QFETCH(QString, room);
    QFETCH(QString, start);
    QFETCH(QString, end);
    const QFontMetrics metrics(QApplication::font());
    const QString elided = elidedPath(metrics, path, metrics.horizontalAdvance(room));
    QVERIFY(metrics.horizontalAdvance(elided) <= metrics.horizontalAdvance(room));
    // The exact cut depends on the font: what must stay is compared.
    QVERIFY2(elided.startsWith(start) && elided.endsWith(end), qPrintable(elided));
}

void TestWindowEveryday::deleteRemovesEverySelectedFile_data()
{
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QStringList>("left");
    QTest::newRow("one") << QList<int>{1} << QStringList{u"a"_s, u"c"_s, u"d"_s, u"e"_s};
    QTest::newRow("apart") << QList<int>{0, 2, 4} << QStringList{u"b"_s, u"d"_s};
    QTest::newRow("a run and one") << QList<int>{1, 2, 4} << QStringList{u"a"_s, u"d"_s};
    QTest::newRow("all") << QList<int>{0, 1, 2, 3, 4} << QStringList{};
}

void TestWindowEveryday::deleteRemovesEverySelectedFile()
{
    QFETCH(QList<int>, selected);
    QFETCH(QStringList, left);
    auto form = shownWindow();
    form->fileList().append({u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s});
    auto *files = control<QTableView>(*form, u"ListView1"_s);
    files->setFocus();
    for (int row : std::as_const(selected))
        files->selectionModel()->select(form->fileList().index(row), QItemSelectionModel::Select);
    QTest::keyClick(files, Qt::Key_Delete);
    QCOMPARE(form->fileList().paths(), left);
}

void TestWindowEveryday::headerClicksSort()
{
    auto form = searchedWindow();
    const QStringList found = shownColumn(*form, 0);
    QCOMPARE(found.size(), 4);
    QHeaderView *header = table(*form)->horizontalHeader();
    const auto clickHeading = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, 5));
        QTRY_VERIFY(!form->resultsProxy().isArranging());
    };
    const auto names = [&] {
        QStringList shown;
        for (const QString &path : shownColumn(*form, 0))
            shown.append(QFileInfo(path).fileName());
        return shown;
    };
    // Natural and stable, both ways: card10's two rows keep the order found.
    clickHeading(0);
    QCOMPARE(names(),
             (QStringList{u"card2.vcf"_s, u"card9.vcf"_s, u"card10.vcf"_s, u"card10.vcf"_s}));
    QCOMPARE(shownColumn(*form, 2).mid(2), (QStringList{u"Tech Ten"_s, u"more tech"_s}));
    clickHeading(0);
    QCOMPARE(names(),
             (QStringList{u"card10.vcf"_s, u"card10.vcf"_s, u"card9.vcf"_s, u"card2.vcf"_s}));
    QCOMPARE(shownColumn(*form, 2).mid(0, 2), (QStringList{u"Tech Ten"_s, u"more tech"_s}));
    clickHeading(0);
    QCOMPARE(shownColumn(*form, 0), found);
    QVERIFY(!header->isSortIndicatorShown());
    // Ticks belong to rows: a row ticked while sorted is the same row after.
    clickHeading(1);
    const int title = int(shownColumn(*form, 1).indexOf(u"Title"_s));
    table(*form)->model()->setData(table(*form)->model()->index(title, 0), Qt::Checked,
                                   Qt::CheckStateRole);
    clickHeading(1);
    clickHeading(1);
    for (qsizetype r = 0; r < form->results().count(); ++r)
        QCOMPARE(form->results().isChecked(r), form->results().cell(r, 2) == u"Title"_s);
}

void TestWindowEveryday::filterShowsMatchingRows_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<bool>("matchCase");
    QTest::addColumn<QStringList>("values");
    QTest::newRow("any column, any case") << u"NINE"_s << false << QStringList{u"tech lead"_s};
    QTest::newRow("the case option applies") << u"TECH"_s << true << QStringList{u"TECH support"_s};
    QTest::newRow("the file column")
        << u"card10"_s << false << QStringList{u"Tech Ten"_s, u"more tech"_s};
    QTest::newRow("nothing") << u"zzz"_s << false << QStringList{};
}

void TestWindowEveryday::filterShowsMatchingRows()
{
    QFETCH(QString, filter);
    QFETCH(bool, matchCase);
    QFETCH(QStringList, values);
    auto form = searchedWindow();
    if (matchCase)
        control<QRadioButton>(*form, u"Option1"_s)->setChecked(true);
    table(*form)->setCurrentIndex(table(*form)->model()->index(0, 2)); // card10's "Tech Ten"
    QTest::keyClicks(control<QLineEdit>(*form, u"FilterBox"_s), filter);
    QTRY_COMPARE(shownColumn(*form, 2), values);
    // The card pane follows the selected row out of the table, or keeps it.
    QTRY_COMPARE(control<QLabel>(form->cardPane(), u"CardTitle"_s)->text().startsWith(u"Card 1,"_s),
                 values.contains(u"Tech Ten"_s));
    QTRY_VERIFY(
        control<QLabel>(*form, u"StatusLine"_s)->text().contains(u"%1 shown"_s.arg(values.size())));
    // "Tick all shown" ticks only those; "Untick all" every row.
    control<QAction>(*table(*form), u"TickAllShownAction"_s)->trigger();
    for (qsizetype r = 0; r < form->results().count(); ++r)
        QCOMPARE(form->results().isChecked(r), values.contains(form->results().cell(r, 3)));
    control<QAction>(*table(*form), u"UntickAllAction"_s)->trigger();
    for (qsizetype r = 0; r < form->results().count(); ++r)
        QVERIFY(!form->results().isChecked(r));
    // Emptying the filter shows every row again.
    control<QLineEdit>(*form, u"FilterBox"_s)->clear();
    QTRY_COMPARE(shownColumn(*form, 2).size(), 4);
}

void TestWindowEveryday::tableCommands()
{
    auto form = searchedWindow();
    m_desktop->programsOnPath = {u"mousepad"_s};
    QTableView *view = table(*form);
    view->setFocus();
    view->selectionModel()->setCurrentIndex(view->model()->index(1, 2),
                                            QItemSelectionModel::ClearAndSelect
                                                | QItemSelectionModel::Rows);
    view->selectionModel()->select(view->model()->index(3, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(m_desktop->clipboard, clipboardText(form->results(), {1, 3}));
    QCOMPARE(m_desktop->clipboard.count(u"\r\n"_s), 2);
    control<QAction>(*view, u"CopyValueAction"_s)->trigger();
    QCOMPARE(m_desktop->clipboard, form->results().cell(1, 3));
    control<QAction>(*view, u"OpenCardAction"_s)->trigger();
    QCOMPARE(m_desktop->started.size(), 1);
    QVERIFY(m_desktop->started.first().arguments.contains(form->results().cell(1, 1)));
    control<QCheckBox>(*form, u"ShowCardCheck"_s)->setChecked(false);
    control<QAction>(*view, u"ShowContactAction"_s)->trigger();
    QVERIFY(form->cardPane().isVisible());
    QVERIFY(m_desktop->messages.isEmpty());
}

void TestWindowEveryday::cardPaneReadsOffTheWindowThread()
{
    auto form = searchedWindow();
    CardPane &pane = form->cardPane();
    QSignalSpy read(&pane, &CardPane::cardRead);
    QTableView *view = table(*form);
    const auto select = [&](int r) { view->setCurrentIndex(view->model()->index(r, 2)); };
    const auto file = [&](int r) { return view->model()->index(r, 0).data().toString(); };
    const int last = view->model()->rowCount() - 1;
    QVERIFY(file(0) != file(last));
    // The card is read while the window goes on; a read overtaken by another is dropped.
    select(0);
    QCOMPARE(pane.title()->text(), u"Reading the card…"_s);
    select(last);
    QTRY_COMPARE(read.count(), 1);
    QVERIFY(pane.lines()->toPlainText().contains(view->model()->index(last, 2).data().toString()));
    const QString title = pane.title()->text();
    QVERIFY(title.startsWith(u"Card 1, line 1"_s));
    select(last); // the card shown is not read again
    QCOMPARE(pane.title()->text(), title);

    // A card put in front of the first row's card: the pane says so and shows nothing.
    const QString path = file(0);
    const QByteArray bytes = readTestFile(path);
    QVERIFY(bytes.startsWith("BEGIN:VCARD"));
    writeTestFile(*m_dir, QFileInfo(path).fileName(),
                  "BEGIN:VCARD\r\nFN:Added\r\nEND:VCARD\r\n" + bytes);
    select(0);
    QTRY_COMPARE(read.count(), 2);
    QVERIFY(pane.title()->text().contains(u"This file has changed since the search"_s));
    QCOMPARE(pane.properties()->topLevelItemCount(), 0);
    QCOMPARE(pane.lines()->toPlainText(), QString());
}

void TestWindowEveryday::countsUnderTheResults()
{
    auto form = searchedWindow();
    auto *status = control<QLabel>(*form, u"StatusLine"_s);
    QCOMPARE(status->text(), u"4 rows from 3 files and 3 cards"_s);
    // A sort or a filter changes what is shown, not what was found.
    QTest::keyClicks(control<QLineEdit>(*form, u"FilterBox"_s), u"card10"_s);
    QTRY_COMPARE(status->text(), u"4 rows from 3 files and 3 cards, 2 shown"_s);
    control<QPushButton>(*form, u"PushButton2"_s)->click();
    QCOMPARE(status->text(), QString());
    // A search that finds nothing says so under the table as well as in its message.
    control<QLineEdit>(*form, u"Text1"_s)->setText(u"zebra"_s);
    control<QPushButton>(*form, u"PushButton7"_s)->click();
    QCOMPARE(m_desktop->messages.size(), 1);
    QCOMPARE(status->text(), u"No rows found in 3 files"_s);
    control<QPushButton>(*form, u"PushButton2"_s)->click();
    QCOMPARE(status->text(), QString());
}

void TestWindowEveryday::layoutComesBack_data()
{
    QTest::addColumn<QString>("columns");
    QTest::addColumn<bool>("kept");
    QTest::newRow("as stored") << QString() << true;
    QTest::newRow("damaged widths") << u"80,x,90"_s << false;
    QTest::newRow("too few widths") << u"80,90"_s << false;
}

void TestWindowEveryday::layoutComesBack()
{
    QFETCH(QString, columns);
    QFETCH(bool, kept);
    QSize size;
    {
        auto form = shownWindow();
        size = form->size() + QSize(40, 30);
        form->resize(size);
        table(*form)->setColumnWidth(0, 77);
        table(*form)->setColumnWidth(3, 66);
        form->close();
    }
    if (!columns.isEmpty())
        m_settings->WriteSetting(u"ResultsColumns"_s, columns);
    auto form = shownWindow();
    QCOMPARE(form->size(), size);
    QCOMPARE(table(*form)->columnWidth(0) == 77, kept);
    QCOMPARE(table(*form)->columnWidth(3) == 66, kept);
}

void TestWindowEveryday::settingsOfTwoWindows()
{
    const QString path = m_dir->filePath(u"settings.ini"_s);
    const auto fileHolds
        = [&path](const QByteArray &line) { return readTestFile(path).contains(line); };
    m_settings->WriteSetting(u"FindSets"_s, u"::a"_s);
    auto form = shownWindow();
    SettingsStore otherSettings(path);
    Form1 other(*m_desktop, otherSettings, m_dir->filePath(u"program"_s));
    // Each window adds a set and the other's stays; a removal removes only its entry.
    m_desktop->inputs.enqueue(u"b"_s);
    control<QPushButton>(*form, u"PushButton12"_s)->click();
    m_desktop->inputs.enqueue(u"c"_s);
    control<QPushButton>(other, u"PushButton12"_s)->click();
    QVERIFY(fileHolds("FindSets=::a::b::c\n"));
    control<QComboBox>(other, u"Combo1"_s)->setCurrentIndex(0);
    control<QPushButton>(other, u"PushButton14"_s)->click();
    QVERIFY(fileHolds("FindSets=::b::c\n"));

    // The search text is written at its first key and then once the typing pauses, or
    // when the window closes.
    auto *text = control<QLineEdit>(*form, u"Text1"_s);
    QTest::keyClicks(text, u"tec"_s);
    QVERIFY(fileHolds("Text1=t\n"));
    QTRY_VERIFY(fileHolds("Text1=tec\n"));
    QTest::keyClicks(text, u"hs"_s);
    QVERIFY(fileHolds("Text1=tech\n"));
    form->close();
    QVERIFY(fileHolds("Text1=techs\n"));
}

QTEST_MAIN(TestWindowEveryday)
#include "tst_window_everyday.moc"
