// The main window, driven through its controls with a scripted desktop.

#include "TestFiles.h"
#include "WindowTest.h"
#include "gui/CardPane.h"
#include "gui/Form1.h"
#include "base/SettingsStore.h"
#include "card/CardFile.h"
#include "gui/TextProgressBar.h"
#include "filelist/FileListModel.h"
#include "results/ResultsModel.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

QRadioButton *option(QWidget &form, int n)
{
    return control<QRadioButton>(form, QByteArray("Option" + QByteArray::number(n)).constData());
}

QString optionsState(QWidget &form)
{
    QString state;
    for (int n = 1; n <= 4; ++n)
        state += option(form, n)->isChecked() ? u'1' : u'0';
    return state;
}

void hover(QWidget *widget)
{
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(widget, &enter);
}

/// Runs a call from inside the next event turn of whatever loop is running.
template<typename F> void soon(QObject *context, F &&call)
{
    QMetaObject::invokeMethod(context, std::forward<F>(call), Qt::QueuedConnection);
}

} // namespace

class TestWindow final : public WindowTest
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void firstStart();
    void controlsAndCaptions();
    void restoringOptions_data();
    void restoringOptions();
    void typingAndFocusSelectModes();
    void makerSiteOnceInAHundred_data();
    void makerSiteOnceInAHundred();
    void searchGivesRowsInOrder();
    void cardPaneFollowsTheSelectedRow();
    void searchRefusals_data();
    void searchRefusals();
    void stopFromInsideTheRun();
    void stopInsideOneLargeFile();
    void pressWhileWindingDownIsRefused();
    void busyRefusalsDuringSearch();
    void fileListRemovals();
    void dragScrollsAtTheEdges();
    void setListButtonsAcrossARestart();
    void setListsComeBackUnchanged_data();
    void setListsComeBackUnchanged();
    void failingStepIsReportedAndHandlerGoesOn();
    void damagedSettingsFile();
    void configFolderBlockedByAFile();
    void filesChangedAfterAdding();
    void pointerFeedback();
    void helpMessage();
    void skinAndPointerFiles();

private:
    std::unique_ptr<Form1> start();
    QString writeCard(const QString &name, const QByteArray &lines);

    QString m_programFolder;
};

void TestWindow::init()
{
    QVERIFY(makeFixture());
    m_programFolder = m_dir->filePath(u"program"_s);
    QDir().mkpath(m_programFolder);
}

void TestWindow::cleanup()
{
    dropFixture();
}

std::unique_ptr<Form1> TestWindow::start()
{
    return startWindow(m_programFolder);
}

QString TestWindow::writeCard(const QString &name, const QByteArray &lines)
{
    return writeTestFile(*m_dir, name, "BEGIN:VCARD\r\nVERSION:3.0\r\n" + lines + "END:VCARD\r\n");
}

void TestWindow::firstStart()
{
    auto form = start();
    QVERIFY(m_desktop->messages.isEmpty());
    QCOMPARE(optionsState(*form), u"0110"_s); // "Ignore case" and "Search for this:"
    QVERIFY(control<QLineEdit>(*form, "Text1")->text().isEmpty());
    QCOMPARE(control<QComboBox>(*form, "Combo1")->count(), 0);
    QCOMPARE(form->fileList().count(), 0);
    QCOMPARE(form->results().count(), 0);
    QCOMPARE(form->windowTitle(), u"Quillory"_s);
    QCOMPARE(form->applicationTitle(), u"Quillory"_s);
    QCOMPARE(form->MousePointer(), 0);
    // Nothing is written at a first start.
    QVERIFY(!QFile::exists(m_dir->filePath(u"settings.ini"_s)));
}

void TestWindow::controlsAndCaptions()
{
    auto form = start();
    const QList<std::pair<const char *, QString>> captions{
        {"PushButton1", u"Add VCF File(s)"_s},
        {"PushButton2", u"Clear List"_s},
        {"PushButton3", u"Open Selected File"_s},
        {"PushButton4", u"Save Results As Text File"_s},
        {"PushButton5", u"Help"_s},
        {"PushButton6", u"Add All VCF File(s) In Folder"_s},
        {"PushButton7", u"Start Searching"_s},
        {"PushButton8", u"Copy Results To Clipboard"_s},
        {"PushButton9", u"Clear List"_s},
        {"PushButton10", u"Load Sample/Example Files"_s},
        {"PushButton11", u"Open All Files"_s},
        {"PushButton12", u"+"_s},
        {"PushButton13", u"Save Results As Excel File"_s},
        {"PushButton14", u"-"_s},
        {"PushButton15", u"Clr"_s},
        {"PushButton16", u"Load"_s},
    };
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    for (const auto &[name, caption] : captions) {
        QPushButton *b = button(*form, name);
        QCOMPARE(b->text(), caption);
        // No caption is clipped at the default size.
        QVERIFY2(b->width() >= b->fontMetrics().horizontalAdvance(caption), name);
    }
    QCOMPARE(control<QGroupBox>(*form, "Frame1")->title(), u"Search Options"_s);
    QCOMPARE(control<QGroupBox>(*form, "Frame2")->title(), u"Case Options"_s);
    QCOMPARE(option(*form, 1)->text(), u"Match case"_s);
    QCOMPARE(option(*form, 2)->text(), u"Ignore case"_s);
    QCOMPARE(option(*form, 3)->text(), u"Search for this:"_s);
    QCOMPARE(option(*form, 4)->text(), u"Search for multiple:"_s);
    QCOMPARE(control<TextProgressBar>(*form, "ProgressBar1")->text(), u"Progress Bar"_s);

    auto *files = control<QTableView>(*form, "ListView1");
    auto *results = control<QTableView>(*form, "ListView2");
    QCOMPARE(files->model()->headerData(0, Qt::Horizontal).toString(), u" VCF File(s)"_s);
    // The columns fill the width, the Value column taking the most.
    QCOMPARE(files->horizontalHeader()->sectionSize(0), files->viewport()->width());
    // Widened by hand, it shows long paths whole beyond the window's edge.
    files->setColumnWidth(0, 2000);
    form->resize(form->width() + 10, form->height());
    QTRY_COMPARE(files->horizontalHeader()->sectionSize(0), 2000);
    const QHeaderView *columns = results->horizontalHeader();
    QCOMPARE(columns->length(), results->viewport()->width());
    for (int k : {0, 1, 3})
        QVERIFY(columns->sectionSize(2) > columns->sectionSize(k));
    QVERIFY(files->toolTip().startsWith(u"Drag and drop files here."_s));
    // The design's size, or more where the fonts need it.
    QVERIFY(form->width() >= 536 && form->height() >= 675);
    QVERIFY(form->width() <= 600);

    // The two lists take the extra height when the window grows, the results with the
    // card pane below them: a fifth to the file list, the rest to the results.
    auto *pane = control<QWidget>(*form, "CardPane");
    const int filesBefore = files->height();
    const int resultsBefore = results->height();
    const int paneBefore = pane->height();
    const int buttonBefore = button(*form, "PushButton7")->height();
    form->resize(536, 1175);
    QTRY_VERIFY(files->height() > filesBefore + 80);
    QVERIFY(results->height() > resultsBefore);
    QVERIFY(results->height() + pane->height() > resultsBefore + paneBefore + 300);
    QCOMPARE(button(*form, "PushButton7")->height(), buttonBefore);
}

void TestWindow::restoringOptions_data()
{
    QTest::addColumn<QStringList>("stored"); // Option1..Option4, empty for absent
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("failingStep");
    QTest::newRow("all absent") << QStringList{{}, {}, {}, {}} << u"0110"_s << 0;
    QTest::newRow("match case, multiple")
        << QStringList{u"True"_s, u"False"_s, u"False"_s, u"True"_s} << u"1001"_s << 0;
    QTest::newRow("ignore case, this")
        << QStringList{u"False"_s, u"True"_s, u"True"_s, u"False"_s} << u"0110"_s << 0;
    QTest::newRow("match case, this")
        << QStringList{u"True"_s, u"False"_s, u"True"_s, u"False"_s} << u"1010"_s << 0;
    QTest::newRow("ignore case, multiple")
        << QStringList{u"False"_s, u"True"_s, u"False"_s, u"True"_s} << u"0101"_s << 0;
    QTest::newRow("neither case option")
        << QStringList{u"False"_s, u"False"_s, {}, {}} << u"0010"_s << 0;
    QTest::newRow("neither search option") << QStringList{{}, {}, u"0"_s, u"0"_s} << u"0100"_s << 0;
    QTest::newRow("numbers and any case")
        << QStringList{u"-1"_s, u"0"_s, u"false"_s, u"TRUE"_s} << u"1001"_s << 0;
    QTest::newRow("a bad value reports at its step, the rest is restored")
        << QStringList{u"maybe"_s, QString(), u"False"_s, u"True"_s} << u"0101"_s << 162;
    // Restoring "Match case" stores the pair, so a bad "Option2" after it is never read.
    QTest::newRow("a bad value overwritten before it is read")
        << QStringList{u"True"_s, u"maybe"_s, QString(), QString()} << u"1010"_s << 0;
    QTest::newRow("a bad last value")
        << QStringList{{}, {}, {}, u"sometimes"_s} << u"0110"_s << 168;
}

void TestWindow::restoringOptions()
{
    QFETCH(QStringList, stored);
    QFETCH(QString, state);
    QFETCH(int, failingStep);
    for (int n = 1; n <= 4; ++n) {
        if (!stored.at(n - 1).isNull())
            m_settings->WriteSetting(u"Option%1"_s.arg(n), stored.at(n - 1));
    }
    auto form = start();
    QCOMPARE(optionsState(*form), state);
    if (failingStep == 0) {
        QVERIFY(m_desktop->messages.isEmpty());
        return;
    }
    QCOMPARE(m_desktop->messages.size(), 1);
    QCOMPARE(m_desktop->messages.first().title, u"Application Error"_s);
    QVERIFY2(m_desktop->messages.first().text.startsWith(
                 u"Type mismatch\r\nin Tarnwick2021/08/31.Form1.Form_Load at line %1"_s.arg(
                     failingStep)),
             qPrintable(m_desktop->messages.first().text));
}

void TestWindow::typingAndFocusSelectModes()
{
    m_settings->WriteSetting(u"Option3"_s, u"False"_s);
    m_settings->WriteSetting(u"Option4"_s, u"True"_s);
    m_settings->WriteSetting(u"Text1"_s, u"kept"_s);
    auto form = start();
    auto *text = control<QLineEdit>(*form, "Text1");
    // Restoring a stored text is a change: it selects "Search for this:"; the options
    // restored after it select "Search for multiple:" again.
    QCOMPARE(text->text(), u"kept"_s);
    QCOMPARE(optionsState(*form), u"0101"_s);

    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    text->clear();
    QTest::keyClicks(text, u"k"_s);
    QCOMPARE(optionsState(*form), u"0110"_s);
    QCOMPARE(m_settings->ReadSetting(u"Text1"_s, QString()), u"k"_s);
    QCOMPARE(m_settings->ReadSetting(u"Option3"_s, QString()), u"True"_s);
    QCOMPARE(m_settings->ReadSetting(u"Option4"_s, QString()), u"False"_s);
    text->clear();
    QCOMPARE(m_settings->ReadSetting(u"Text1"_s, u"absent"_s), QString());

    // Focus that comes by the keyboard leaves the mode; a click into the list changes it.
    auto *sets = control<QComboBox>(*form, "Combo1");
    sets->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(sets->hasFocus());
    QCOMPARE(optionsState(*form), u"0110"_s);
    text->setFocus(Qt::TabFocusReason);
    QTest::mouseClick(sets, Qt::LeftButton);
    QTRY_COMPARE(optionsState(*form), u"0101"_s);
    if (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
    QCOMPARE(m_settings->ReadSetting(u"Option4"_s, QString()), u"True"_s);
    QVERIFY(text->text().isEmpty());

    QTest::mouseClick(option(*form, 1), Qt::LeftButton);
    QCOMPARE(m_settings->ReadSetting(u"Option1"_s, QString()), u"True"_s);
    QCOMPARE(m_settings->ReadSetting(u"Option2"_s, QString()), u"False"_s);
    QTest::mouseClick(option(*form, 2), Qt::LeftButton);
    QCOMPARE(m_settings->ReadSetting(u"Option1"_s, QString()), u"False"_s);
    QCOMPARE(m_settings->ReadSetting(u"Option2"_s, QString()), u"True"_s);
}

void TestWindow::makerSiteOnceInAHundred_data()
{
    QTest::addColumn<int>("draw");
    QTest::addColumn<bool>("opened");
    QTest::newRow("draw of 7") << 6 << true;
    QTest::newRow("draw of 6") << 5 << false;
    QTest::newRow("draw of 8") << 7 << false;
    QTest::newRow("draw of 100") << 99 << false;
}

void TestWindow::makerSiteOnceInAHundred()
{
    QFETCH(int, draw);
    QFETCH(bool, opened);
    m_desktop->draws.enqueue(draw);
    auto form = start();
    QCOMPARE(m_desktop->openedUrls.size(), opened ? 1 : 0);
    if (opened)
        QCOMPARE(m_desktop->openedUrls.first(), QUrl(u"https://brenmoor.example/"_s));
}

void TestWindow::cardPaneFollowsTheSelectedRow()
{
    // The pane shows the selected row's card as plain text; hiding it and its size
    // are kept for the next start.
    const QString path = m_dir->filePath(u"two.vcf"_s);
    writeTestFile(*m_dir, u"two.vcf"_s,
                  "BEGIN:VCARD\r\nFN:Ann <b>Lee</b>\r\nEMAIL:ann@x\r\nEND:VCARD\r\n"
                  "BEGIN:VCARD\r\nN:Ek;Bo\r\nEMAIL;TYPE=WORK:bo@x\r\nEND:VCARD\r\n");
    auto form = start();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    form->fileList().append(path);
    control<QLineEdit>(*form, "Text1")->setText(u"@x"_s);
    button(*form, "PushButton7")->click();
    QCOMPARE(form->results().count(), 2);
    QCOMPARE(form->results().cell(1, 4), u"Bo Ek"_s);
    CardPane &pane = form->cardPane();
    QCOMPARE(pane.title()->text(), u"Select a row to see the card it comes from."_s);

    auto *results = control<QTableView>(*form, "ListView2");
    results->setCurrentIndex(results->model()->index(1, 2));
    QTRY_COMPARE(pane.title()->text(), u"Card 2, line 5: Bo Ek"_s);
    QCOMPARE(pane.matched()->text(), u"Matched: “@x”"_s);
    QTreeWidgetItem *marked = pane.properties()->currentItem();
    QVERIFY(marked);
    QCOMPARE(marked->text(0) + u'|' + marked->text(1) + u'|' + marked->text(2),
             u"▶ EMAIL|WORK|bo@x"_s);
    QCOMPARE(pane.lines()->toPlainText(),
             u"  5  BEGIN:VCARD\n  6  N:Ek;Bo\n> 7  EMAIL;TYPE=WORK:bo@x\n  8  END:VCARD"_s);
    results->setCurrentIndex(results->model()->index(0, 0));
    QTRY_COMPARE(pane.title()->text(), u"Card 1, line 1: Ann <b>Lee</b>"_s);
    QCOMPARE(pane.title()->textFormat(), Qt::PlainText);

    auto *shown = control<QCheckBox>(*form, "ShowCardCheck");
    auto *splitter = control<QSplitter>(*form, "ResultsSplitter");
    splitter->setSizes({splitter->height() - 150, 150});
    emit splitter->splitterMoved(splitter->height() - 150, 1);
    const QList<int> sizes = splitter->sizes();
    shown->click();
    QVERIFY(!pane.isVisible());
    shown->click();
    QVERIFY(pane.isVisible());
    QCOMPARE(pane.title()->text(), u"Card 1, line 1: Ann <b>Lee</b>"_s);
    shown->click();
    form.reset();

    auto again = start();
    again->show();
    QVERIFY(QTest::qWaitForWindowExposed(again.get()));
    QVERIFY(!control<QCheckBox>(*again, "ShowCardCheck")->isChecked());
    QVERIFY(!again->cardPane().isVisible());
    control<QCheckBox>(*again, "ShowCardCheck")->click();
    QTRY_COMPARE(control<QSplitter>(*again, "ResultsSplitter")->sizes(), sizes);
}

void TestWindow::searchGivesRowsInOrder()
{
    const QString a
        = writeCard(u"a.vcf"_s, "FN:Tech Lead\r\nEMAIL:one@tech.example\r\nEMAIL:two@x\r\n");
    const QString b = writeCard(u"b.vcf"_s, "FN:Nobody\r\n");
    const QString c = writeCard(u"c.vcf"_s, "TITLE:TECHNICIAN\r\nNOTE:tech notes\r\n");
    auto form = start();
    form->fileList().append(QStringList{a, b, c});
    control<QLineEdit>(*form, "Text1")->setText(u"tech"_s);
    auto *bar = control<TextProgressBar>(*form, "ProgressBar1");
    QStringList during;
    connect(&form->results(), &QAbstractItemModel::rowsInserted, this, [&] {
        during.append(u"%1 %2 %3 %4"_s.arg(bar->text())
                          .arg(bar->value())
                          .arg(form->MousePointer())
                          .arg(button(*form, "PushButton7")->text()));
    });
    button(*form, "PushButton7")->click();

    QStringList rows;
    for (qsizetype r = 0; r < form->results().count(); ++r)
        rows.append(QDir(m_dir->path()).relativeFilePath(form->results().cell(r, 1)) + u' '
                    + form->results().cell(r, 2) + u'=' + form->results().cell(r, 3));
    QCOMPARE(rows,
             (QStringList{u"a.vcf Emails1=one@tech.example"_s, u"a.vcf FirstName=Tech Lead"_s,
                          u"c.vcf Notes=tech notes"_s, u"c.vcf Title=TECHNICIAN"_s}));
    // Rows reach the table while the run goes on (at most every 20 ms, the first at once).
    // The bar counts the files before the one in hand and the part of it searched.
    QVERIFY(!during.isEmpty());
    QCOMPARE(during.first(), u"Processing: a.vcf 0 11 Stop Searching"_s);
    QCOMPARE(m_desktop->messages.size(), 1);
    QCOMPARE(m_desktop->messages.first().text, u"Done."_s);
    QCOMPARE(m_desktop->messages.first().title, u"Quillory"_s);
    QCOMPARE(m_desktop->messages.first().icon, MessageIcon::None);
    QCOMPARE(bar->text(), u"Progress Bar"_s);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(form->MousePointer(), 0);
    QCOMPARE(button(*form, "PushButton7")->text(), u"Start Searching"_s);

    // Match case, then a new run replaces the rows.
    QTest::mouseClick(option(*form, 1), Qt::LeftButton);
    button(*form, "PushButton7")->click();
    QCOMPARE(form->results().count(), 2);
}

void TestWindow::searchRefusals_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("multiple");
    QTest::addColumn<bool>("files");
    QTest::addColumn<QString>("message");
    // The session's own test holds the other cases; these show each message.
    QTest::newRow("two blanks") << u"  "_s << false << true << u"You forgot to input search text"_s;
    QTest::newRow("no files") << u"x"_s << false << false << u"No files added."_s;
    QTest::newRow("multiple mode ignores the empty text")
        << QString() << true << true << u"Done."_s;
}

void TestWindow::searchRefusals()
{
    QFETCH(QString, text);
    QFETCH(bool, multiple);
    QFETCH(bool, files);
    QFETCH(QString, message);
    auto form = start();
    form->results().appendRows({{u"old"_s, u"Tag"_s, u"kept"_s}});
    if (files)
        form->fileList().append(writeCard(u"r.vcf"_s, "FN:x\r\n"));
    control<QLineEdit>(*form, "Text1")->setText(text);
    if (multiple)
        option(*form, 4)->setChecked(true);
    button(*form, "PushButton7")->click();
    QCOMPARE(m_desktop->messages.size(), 1);
    QCOMPARE(m_desktop->messages.first().text, message);
    QCOMPARE(button(*form, "PushButton7")->text(), u"Start Searching"_s);
    // A refused press leaves the last results; a run clears them.
    QCOMPARE(form->results().count(), message == u"Done."_s ? 0 : 1);
}

void TestWindow::stopFromInsideTheRun()
{
    QStringList files;
    for (int i = 0; i < 200; ++i)
        files.append(
            writeCard(u"many%1.vcf"_s.arg(i), "FN:Tech " + QByteArray::number(i) + "\r\n"));
    auto form = start();
    form->fileList().append(files);
    control<QLineEdit>(*form, "Text1")->setText(u"tech"_s);
    qsizetype rowsAtStop = -1;
    connect(&form->results(), &QAbstractItemModel::rowsInserted, this, [&] {
        if (rowsAtStop >= 0)
            return;
        rowsAtStop = form->results().count();
        button(*form, "PushButton7")->click(); // the stop press, while the run goes on
        QCOMPARE(button(*form, "PushButton7")->text(), u"Start Searching"_s);
        QCOMPARE(control<TextProgressBar>(*form, "ProgressBar1")->text(), u"Progress Bar"_s);
    });
    button(*form, "PushButton7")->click();
    // The file in hand was finished; no later file was read.
    QVERIFY(rowsAtStop > 0);
    QCOMPARE(form->results().count(), rowsAtStop);
    QCOMPARE(control<TextProgressBar>(*form, "ProgressBar1")->text(), u"Progress Bar"_s);
    QVERIFY(m_desktop->messages.isEmpty()); // no "Done." after a stop
    // The status line says that the results are incomplete.
    QVERIFY2(control<QLabel>(*form, "StatusLine")
                 ->text()
                 .endsWith(u". Stopped after %1 of 200 files"_s.arg(form->results().fileCount())),
             qPrintable(control<QLabel>(*form, "StatusLine")->text()));
    QVERIFY(!form->isSearching());
    QCOMPARE(form->MousePointer(), 0);
}

void TestWindow::stopInsideOneLargeFile()
{
    // One export of many cards, then one more file. Events run while the export is read,
    // so a stop press acts inside it: the rows found so far stay, the rest of the export
    // and the next file are not searched.
    constexpr int kCards = 700000;
    QByteArray cards;
    for (int i = 0; i < kCards; ++i)
        cards += "BEGIN:VCARD\r\nFN:Tech " + QByteArray::number(i) + "\r\nEND:VCARD\r\n";
    const QString large = writeTestFile(*m_dir, u"export.vcf"_s, cards);
    const QString next = writeCard(u"next.vcf"_s, "FN:Tech next\r\n");
    auto form = start();
    form->fileList().append({large, next});
    control<QLineEdit>(*form, "Text1")->setText(u"tech"_s);
    qsizetype rowsAtStop = -1;
    connect(&form->results(), &QAbstractItemModel::rowsInserted, this, [&] {
        if (rowsAtStop < 0) {
            rowsAtStop = form->results().count();
            button(*form, "PushButton7")->click();
        }
    });
    button(*form, "PushButton7")->click();
    QVERIFY(rowsAtStop > 0);
    QVERIFY2(form->results().count() < kCards,
             qPrintable(QString::number(form->results().count())));
    QCOMPARE(form->results().row(form->results().count() - 1).File, large);
    QVERIFY(m_desktop->messages.isEmpty()); // a stopped run says no "Done."
    QVERIFY(!form->isSearching());
    QCOMPARE(button(*form, "PushButton7")->text(), u"Start Searching"_s);
}

void TestWindow::pressWhileWindingDownIsRefused()
{
    const QString card = writeCard(u"wind.vcf"_s, "FN:Tech\r\n");
    auto form = start();
    form->fileList().append(QStringList(5, card));
    control<QLineEdit>(*form, "Text1")->setText(u"tech"_s);
    QPushButton *start = button(*form, "PushButton7");
    // Two presses in the first event turn of the run: the first stops it, the second
    // comes while it winds down.
    soon(start, [start] { start->click(); });
    soon(start, [start] { start->click(); });
    start->click();
    QCOMPARE(form->results().count(), 1);
    QVERIFY(m_desktop->messages.isEmpty());
    QCOMPARE(start->text(), u"Start Searching"_s);
    // Once the old run has left its loop, a press starts a new run.
    start->click();
    QCOMPARE(form->results().count(), 5);
}

void TestWindow::busyRefusalsDuringSearch()
{
    const QString card = writeCard(u"busy.vcf"_s, "FN:Tech\r\n");
    auto form = start();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    form->fileList().append(QStringList(3, card));
    auto *list = control<QTableView>(*form, "ListView1");
    list->setCurrentIndex(form->fileList().index(0));
    control<QLineEdit>(*form, "Text1")->setText(u"tech"_s);
    bool added = false;
    soon(list, [&] {
        QVERIFY(form->isBusy());
        QTest::keyClick(list, Qt::Key_Delete);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        button(*form, "PushButton9")->click();
        form->fileList().append(card); // appending is not refused, but waits for the next run
        added = true;
    });
    button(*form, "PushButton7")->click();
    QVERIFY(added);
    QCOMPARE(form->fileList().count(), 4);
    QCOMPARE(form->results().count(), 3);
    button(*form, "PushButton9")->click();
    QCOMPARE(form->fileList().count(), 0);
}

void TestWindow::fileListRemovals()
{
    auto form = start();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    auto *list = control<QTableView>(*form, "ListView1");
    QTest::keyClick(list, Qt::Key_Delete); // an empty list stays empty
    form->fileList().append(QStringList{u"/1.vcf"_s, u"/2.vcf"_s, u"/3.vcf"_s, u"/4.vcf"_s});
    QTest::keyClick(list, Qt::Key_Delete); // nothing selected
    QCOMPARE(form->fileList().count(), 4);
    list->setCurrentIndex(form->fileList().index(1));
    QTest::keyClick(list, Qt::Key_A);
    QCOMPARE(form->fileList().count(), 4);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(form->fileList().paths(), (QStringList{u"/1.vcf"_s, u"/3.vcf"_s, u"/4.vcf"_s}));
    // A double-click anywhere removes the selected entry, not the one under the pointer.
    list->setCurrentIndex(form->fileList().index(2));
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                       QPoint(5, list->viewport()->height() - 3));
    QCOMPARE(form->fileList().paths(), (QStringList{u"/1.vcf"_s, u"/3.vcf"_s}));

    // Dragging carries an entry step by step; equal texts are never exchanged.
    form->fileList().clear();
    form->fileList().append(QStringList{u"/a"_s, u"/b"_s, u"/c"_s, u"/c"_s});
    QWidget *viewport = list->viewport();
    const auto centre
        = [&](int row) { return list->visualRect(form->fileList().index(row)).center(); };
    QTest::mousePress(viewport, Qt::LeftButton, {}, centre(2));
    QTest::mouseMove(viewport, centre(3));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, centre(3));
    QCOMPARE(form->fileList().paths(), (QStringList{u"/a"_s, u"/b"_s, u"/c"_s, u"/c"_s}));
    QTest::mousePress(viewport, Qt::LeftButton, {}, centre(0));
    QTest::mouseMove(viewport, centre(1));
    QTest::mouseMove(viewport, centre(2));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, centre(2));
    QCOMPARE(form->fileList().paths(), (QStringList{u"/b"_s, u"/c"_s, u"/a"_s, u"/c"_s}));
    // Without a button held down, moving exchanges nothing.
    QTest::mouseMove(viewport, centre(0));
    QCOMPARE(form->fileList().paths(), (QStringList{u"/b"_s, u"/c"_s, u"/a"_s, u"/c"_s}));

    button(*form, "PushButton9")->click();
    QCOMPARE(form->fileList().count(), 0);
    form->results().appendRows({{u"f"_s, u"t"_s, u"v"_s}});
    button(*form, "PushButton2")->click();
    QCOMPARE(form->results().count(), 0);
    button(*form, "PushButton2")->click();
    QVERIFY(m_desktop->messages.isEmpty());
}

void TestWindow::dragScrollsAtTheEdges()
{
    auto form = start();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QStringList paths;
    for (int i = 0; i < 60; ++i)
        paths.append(u"/%1.vcf"_s.arg(i, 2, 10, QChar(u'0')));
    form->fileList().append(paths);
    auto *list = control<QTableView>(*form, "ListView1");
    QWidget *viewport = list->viewport();
    const auto centre
        = [&](int row) { return list->visualRect(form->fileList().index(row)).center(); };
    const int lastVisible = list->indexAt(QPoint(1, viewport->height() - 2)).row();
    QVERIFY(lastVisible > 1 && lastVisible < 50);

    // Carrying the first entry down: nothing scrolls until it reaches the last visible row.
    QTest::mousePress(viewport, Qt::LeftButton, {}, centre(0));
    for (int row = 1; row < lastVisible; ++row)
        QTest::mouseMove(viewport, centre(row));
    QCOMPARE(list->verticalScrollBar()->value(), 0);
    QTest::mouseMove(viewport, centre(lastVisible));
    QVERIFY(list->verticalScrollBar()->value() > 0);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, centre(lastVisible));
    QCOMPARE(form->fileList().text(lastVisible + 1), u"/00.vcf"_s);

    // And up again: the first visible row scrolls the one above it into view.
    const int top = list->indexAt(QPoint(1, 1)).row();
    QVERIFY(top > 0);
    QTest::mousePress(viewport, Qt::LeftButton, {}, centre(top + 1));
    QTest::mouseMove(viewport, centre(top));
    QVERIFY(list->indexAt(QPoint(1, 1)).row() < top);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, centre(top));
}

void TestWindow::setListButtonsAcrossARestart()
{
    {
        auto form = start();
        auto *sets = control<QComboBox>(*form, "Combo1");
        m_desktop->inputs.enqueue(u"a"_s);
        button(*form, "PushButton12")->click();
        m_desktop->inputs.enqueue(u"b::c"_s);
        button(*form, "PushButton12")->click();
        QCOMPARE(m_desktop->inputPrompts, (QStringList{u"Enter set:"_s, u"Enter set:"_s}));
        QCOMPARE(m_desktop->inputDefaults.first(), u"search for this"_s);
        QCOMPARE(sets->count(), 2);
        QCOMPARE(m_settings->ReadSetting(u"FindSets"_s, QString()), u"[\"a\",\"b::c\"]"_s);
        button(*form, "PushButton12")->click(); // cancelled: the unchanged list is written again
        QCOMPARE(sets->count(), 2);
        QCOMPARE(optionsState(*form), u"0110"_s); // the set buttons select no mode
    }
    {
        auto form = start();
        auto *sets = control<QComboBox>(*form, "Combo1");
        QCOMPARE(sets->count(), 2); // "b::c" came back as it was
        QCOMPARE(sets->itemText(1), u"b::c"_s);
        sets->setCurrentIndex(0);
        button(*form, "PushButton14")->click();
        QCOMPARE(m_settings->ReadSetting(u"FindSets"_s, QString()), u"[\"b::c\"]"_s);

        m_desktop->answers.enqueue(MessageAnswer::No);
        button(*form, "PushButton15")->click();
        QCOMPARE(sets->count(), 1);
        QCOMPARE(m_desktop->messages.last().text, u"Are you sure you want to clear this list??"_s);
        QCOMPARE(m_desktop->messages.last().buttons, MessageButtons::YesNo);
        m_desktop->answers.enqueue(MessageAnswer::Yes);
        button(*form, "PushButton15")->click();
        QCOMPARE(sets->count(), 0);
        QCOMPARE(m_settings->ReadSetting(u"FindSets"_s, u"absent"_s), QString());
    }
    {
        auto form = start();
        QCOMPARE(control<QComboBox>(*form, "Combo1")->count(), 0);
        m_desktop->inputs.enqueue(QString());
        button(*form, "PushButton12")->click(); // cancelled with an empty list: nothing written
        QCOMPARE(m_settings->ReadSetting(u"FindSets"_s, u"absent"_s), QString());
    }
}

void TestWindow::setListsComeBackUnchanged_data()
{
    QTest::addColumn<QString>("stored"); // "FindSets" before the first start; null for none
    QTest::addColumn<QStringList>("added"); // with "+"
    QTest::addColumn<QString>("written"); // "FindSets" after the additions
    QTest::addColumn<QStringList>("loaded"); // the list after a restart
    const auto add = [](const char *name, const QStringList &entries, const QString &written) {
        QTest::newRow(name) << QString() << entries << written << entries;
    };
    add("plain entries keep the :: form", {u"a"_s, u"b c"_s}, u"::a::b c"_s);
    add("a colon alone keeps the :: form", {u":"_s}, u":::"_s);
    add("Note: then next", {u"Note:"_s, u"next"_s}, u"[\"Note:\",\"next\"]"_s);
    add("an entry holding ::", {u"a::b"_s}, u"[\"a::b\"]"_s);
    add("two colons alone", {u"::"_s}, u"[\"::\"]"_s);
    add("x: then :y", {u"x:"_s, u":y"_s}, u"[\"x:\",\":y\"]"_s);
    add("spaces, quotes and a comma", {u"  \"quoted\", 'too'  "_s, u"::"_s},
        u"[\"  \\\"quoted\\\", 'too'  \",\"::\"]"_s);
    QTest::newRow("added to a stored list")
        << u"::old"_s << QStringList{u"a::b"_s} << u"[\"old\",\"a::b\"]"_s
        << QStringList{u"old"_s, u"a::b"_s};

    // Values stored before, or by hand, load by the old rule.
    const auto load = [](const char *name, const QString &stored, const QStringList &loaded) {
        QTest::newRow(name) << stored << QStringList{} << stored << loaded;
    };
    load("the :: form", u"::a::b"_s, {u"a"_s, u"b"_s});
    load("a:, b in the :: form", u"::a:::b"_s, {u"a"_s, u":b"_s});
    load("written by hand", u"a::b"_s, {u"a"_s, u"b"_s});
    load("empty", u""_s, {});
    load("JSON that is not all strings", u"[1,\"a\"]"_s, {u"[1,\"a\"]"_s});
    load("unfinished JSON", u"[\"a::b\""_s, {u"[\"a"_s, u"b\""_s});
}

void TestWindow::setListsComeBackUnchanged()
{
    QFETCH(QString, stored);
    QFETCH(QStringList, added);
    QFETCH(QString, written);
    QFETCH(QStringList, loaded);
    if (!stored.isNull())
        m_settings->WriteSetting(u"FindSets"_s, stored);
    {
        auto form = start();
        for (const QString &entry : std::as_const(added)) {
            m_desktop->inputs.enqueue(entry);
            button(*form, "PushButton12")->click();
        }
        QCOMPARE(m_settings->ReadSetting(u"FindSets"_s, QString()), written);
    }
    // A new start over the same file, through a new store.
    m_settings = std::make_unique<SettingsStore>(m_dir->filePath(u"settings.ini"_s));
    auto form = start();
    QCOMPARE(comboEntries(*form), loaded);
    QVERIFY(m_desktop->messages.isEmpty());
}

void TestWindow::failingStepIsReportedAndHandlerGoesOn()
{
    // A folder where the settings file should be: every write fails.
    const QString blocked = m_dir->filePath(u"blocked.ini"_s);
    QVERIFY(QDir().mkpath(blocked));
    SettingsStore settings(blocked);
    Form1 form(*m_desktop, settings, m_programFolder);
    m_desktop->inputs.enqueue(u"entry"_s);
    button(form, "PushButton12")->click();
    QCOMPARE(control<QComboBox>(form, "Combo1")->count(), 1); // step 102 ran
    QCOMPARE(m_desktop->messages.size(), 1);
    QVERIFY2(m_desktop->messages.first().text.contains(
                 u"in Tarnwick2021/08/31.Form1.PushButton12_Click at line 104\r\r"_s),
             qPrintable(m_desktop->messages.first().text));
    // An unguarded handler reports too, and its work goes on.
    control<QLineEdit>(form, "Text1")->setText(u"x"_s);
    QCOMPARE(m_desktop->messages.size(), 2);
    QVERIFY(m_desktop->messages.last().text.contains(u"Form1.Text1_Change at line 100"_s));
    QVERIFY(option(form, 3)->isChecked());
}

void TestWindow::damagedSettingsFile()
{
    // Binary garbage around a readable section, with an option that is no Boolean.
    QByteArray bytes("\x00\xff\xfe[\x01garbage=\n\xc3(\n", 14);
    bytes
        += "\n[Quillory]\nText1=kept\nOption1=maybe\nOption3=False\nOption4=True\nExtension=txt\n";
    bytes += QByteArray(300, '\x9c') + "\n[broken\n";
    const QString path = writeTestFile(*m_dir, u"damaged.ini"_s, bytes);
    auto settings = std::make_unique<SettingsStore>(path);
    {
        Form1 form(*m_desktop, *settings, m_programFolder);
        // The bad option is reported at its step; the rest is restored.
        QCOMPARE(m_desktop->messages.size(), 1);
        QVERIFY(m_desktop->messages.first().text.contains(u"Form_Load at line 162"_s));
        QCOMPARE(control<QLineEdit>(form, "Text1")->text(), u"kept"_s);
        QCOMPARE(optionsState(form), u"0101"_s);
        // The window keeps working and its writes land.
        const QString card = writeCard(u"k.vcf"_s, "FN:kept here\r\n");
        form.fileList().append(QStringList{card});
        control<QLineEdit>(form, "Text1")->setText(u"kept here"_s);
        button(form, "PushButton7")->click();
        QCOMPARE(form.results().count(), 1);
    }
    settings.reset();
    // The damaged bytes are kept aside whole, and nothing readable was lost.
    QCOMPARE(readTestFile(path + u".damaged"_s), bytes);
    const SettingsStore reread(path);
    QCOMPARE(reread.ReadSetting(u"Text1"_s, QString()), u"kept here"_s);
    QCOMPARE(reread.ReadSetting(u"Extension"_s, QString()), u"txt"_s);
}

void TestWindow::configFolderBlockedByAFile()
{
    // A regular file stands where the configuration folder should be.
    const QString config = writeTestFile(*m_dir, u"config"_s, "not a folder");
    SettingsStore settings(config + u"/Brenmoor.ini"_s);
    Form1 form(*m_desktop, settings, m_programFolder);
    QVERIFY(m_desktop->messages.isEmpty()); // reading finds the defaults
    auto *text = control<QLineEdit>(form, "Text1");
    QTest::keyClicks(text, u"tech"_s);
    // One box for the whole word, not one per keystroke.
    QCOMPARE(m_desktop->messages.size(), 1);
    QVERIFY(m_desktop->messages.first().text.contains(u"Form1.Text1_Change at line 100"_s));
    const QString card = writeCard(u"t.vcf"_s, "TITLE:tech lead\r\n");
    form.fileList().append(QStringList{card});
    button(form, "PushButton7")->click();
    QCOMPARE(form.results().count(), 1);
    QCOMPARE(m_desktop->messages.last().text, u"Done."_s);

    // Once the folder can be made the next keystroke stores the whole text, and a
    // new failure is reported again.
    QVERIFY(QFile::remove(config));
    QTest::keyClicks(text, u"s"_s);
    QCOMPARE(SettingsStore(config + u"/Brenmoor.ini"_s).ReadSetting(u"Text1"_s, QString()),
             u"techs"_s);
    QVERIFY(QDir(config).removeRecursively());
    writeTestFile(*m_dir, u"config"_s, "a file again");
    const qsizetype before = m_desktop->messages.size();
    QTest::keyClicks(text, u"!"_s);
    // A key soon after another is written once the typing pauses.
    QTRY_COMPARE(m_desktop->messages.size(), before + 1);
}

void TestWindow::filesChangedAfterAdding()
{
    const QString good = writeCard(u"good.vcf"_s, "FN:tech good\r\n");
    const QString folder = writeCard(u"folder.vcf"_s, "FN:tech\r\n");
    const QString fifo = writeCard(u"fifo.vcf"_s, "FN:tech\r\n");
    const QString large = writeCard(u"large.vcf"_s, "FN:tech\r\n");
    auto form = start();
    form->fileList().append(QStringList{folder, fifo, large, u"/dev/null"_s, good});
    // Between adding and searching: a folder, a FIFO and a sparse file over the size
    // limit take the cards' places.
    QVERIFY(QFile::remove(folder) && QDir().mkdir(folder));
    QVERIFY(QFile::remove(fifo) && ::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    {
        QFile file(large);
        QVERIFY(file.open(QIODevice::ReadWrite) && file.resize(kMaxReadableFileSize + 1));
    }
    control<QLineEdit>(*form, "Text1")->setText(u"tech"_s);
    button(*form, "PushButton7")->click();

    // Each is reported at its step, in list order, and the run goes on to the end.
    const QStringList reasons{u"Is a directory"_s, u"Not a regular file"_s, u"File too large"_s,
                              u"Not a regular file"_s};
    const QStringList paths{folder, fifo, large, u"/dev/null"_s};
    QCOMPARE(m_desktop->messages.size(), reasons.size() + 1);
    for (qsizetype i = 0; i < reasons.size(); ++i) {
        const QString &text = m_desktop->messages.at(i).text;
        QVERIFY2(text.startsWith(paths.at(i)) && text.contains(reasons.at(i))
                     && text.contains(u"Form1.PushButton7_Click at line 142"_s),
                 qPrintable(text));
    }
    QCOMPARE(m_desktop->messages.last().text, u"Done."_s);
    QCOMPARE(form->results().count(), 1);
    QCOMPARE(form->results().cell(0, 1), good);
}

void TestWindow::pointerFeedback()
{
    const QString card = writeCard(u"hover.vcf"_s, "FN:Tech\r\n");
    auto form = start();
    hover(button(*form, "PushButton1"));
    QCOMPARE(form->MousePointer(), 99);
    hover(control<QLineEdit>(*form, "Text1")); // no handler of its own: stays
    QCOMPARE(form->MousePointer(), 99);
    hover(control<QGroupBox>(*form, "Frame1"));
    QCOMPARE(form->MousePointer(), 0);
    hover(button(*form, "PushButton16"));
    hover(control<QTableView>(*form, "ListView2")->viewport());
    QCOMPARE(form->MousePointer(), 0);

    form->fileList().append(card);
    control<QLineEdit>(*form, "Text1")->setText(u"tech"_s);
    QList<int> during;
    soon(form.get(), [&] {
        hover(button(*form, "PushButton1"));
        during.append(form->MousePointer()); // busy stays over other buttons
        hover(control<QGroupBox>(*form, "Frame2"));
        during.append(form->MousePointer());
        hover(button(*form, "PushButton7"));
        during.append(form->MousePointer()); // the hand over "Stop Searching"
    });
    button(*form, "PushButton7")->click();
    QCOMPARE(during, (QList<int>{11, 11, 99}));
    QCOMPARE(form->MousePointer(), 0);
}

void TestWindow::helpMessage()
{
    auto form = start();
    button(*form, "PushButton5")->click();
    QCOMPARE(m_desktop->messages.size(), 1);
    QCOMPARE(
        m_desktop->messages.first().text,
        u"Make sure the Word file is not password protected before using.\r\rQuestions? Please "
        "contact Team Brenmoor at https://brenmoor.example/contact"_s);
    QCOMPARE(m_desktop->messages.first().title, u"Quillory"_s);
    QCOMPARE(m_desktop->messages.first().icon, MessageIcon::None);
    QCOMPARE(m_desktop->messages.first().buttons, MessageButtons::Ok);
}

void TestWindow::skinAndPointerFiles()
{
    QVERIFY(QDir().mkpath(m_programFolder + u"/x"_s));
    QFile skin(m_programFolder + u"/x/o.cjs"_s);
    QVERIFY(skin.open(QIODevice::WriteOnly));
    skin.write("QPushButton { font-weight: bold; }");
    skin.close();
    QFile hand(m_programFolder + u"/HAND-M.CUR"_s);
    QVERIFY(hand.open(QIODevice::WriteOnly));
    hand.write("not an image"); // a damaged pointer file is no failure either
    hand.close();
    auto form = start();
    QVERIFY(m_desktop->messages.isEmpty());
    QCOMPARE(form->styleSheet(), u"QPushButton { font-weight: bold; }"_s);
    const QColor face = form->palette().color(QPalette::Button);
    QCOMPARE(option(*form, 1)->palette().color(QPalette::Window), face);
    QCOMPARE(control<QGroupBox>(*form, "Frame1")->palette().color(QPalette::Window), face);
    hover(button(*form, "PushButton1"));
    QCOMPARE(form->MousePointer(), 99);
    QCOMPARE(form->cursor().shape(), Qt::PointingHandCursor);
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
