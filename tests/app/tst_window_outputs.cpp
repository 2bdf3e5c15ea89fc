// Taking results out of the window: clipboard, text file, workbook, editors.

#include "TestFiles.h"
#include "WindowTest.h"
#include "WorkbookCells.h"
#include "base/NativePath.h"
#include "base/SettingsStore.h"
#include "card/CardParser.h"
#include "filelist/FileListModel.h"
#include "gui/Form1.h"
#include "results/ResultsModel.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

/// Makes row r of the results table the current one, as a click would.
void selectRow(QWidget &form, int r)
{
    auto *view = control<QTableView>(form, "ListView2");
    view->setCurrentIndex(view->model()->index(r, 1));
}

const QString kCopied = u"Results have been copied to the clipboard.\r\rClick a text area where "
                        "you normally type and press Ctrl+V to paste the clipboard."_s;
// %1: the default application's entry that could not be used.
const QString kNoEditor
    = u"No text editor was found. Tried: the default application for text/plain (its entry %1 "
      "could not be used), then gnome-text-editor, gedit, kate, mousepad, xed and pluma on PATH "
      "(none found).\r\rInstall one, such as gedit or mousepad, or set a default application for "
      "plain text."_s;

ResultRow rowAtLine(const QString &file, qint64 line)
{
    return {file, u"T"_s, u"V"_s, {}, {}, CardPlace{1, line}};
}

} // namespace

class TestWindowOutputs final : public WindowTest
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void copyTickedRows();
    void copyFollowsTheFilter();
    void saveTextFile();
    void saveFailureKeepsTheOldFile_data();
    void saveFailureKeepsTheOldFile();
    void workbookCells();
    void workbookValues_data();
    void workbookValues();
    void openSelectedFile();
    void editorArguments_data();
    void editorArguments();
    void openAllFiles();
    void editorAndNamesNotUtf8_data();
    void editorAndNamesNotUtf8();
    void openAtCardLine_data();
    void openAtCardLine();
    void openFirstTickedRow();
    void noEditorSaysSo();
    void saveMatchingCards();
    void findDuplicates();
    void outputsNeverReplaceWhatTheyMayNot_data();
    void outputsNeverReplaceWhatTheyMayNot();

private:
    std::unique_ptr<Form1> start();
    QString writeEditorEntry(const QString &exec, bool terminal = false);
};

void TestWindowOutputs::init()
{
    QVERIFY(makeFixture());
}

void TestWindowOutputs::cleanup()
{
    dropFixture();
}

std::unique_ptr<Form1> TestWindowOutputs::start()
{
    return startWindow(m_dir->filePath(u"program"_s));
}

QString TestWindowOutputs::writeEditorEntry(const QString &exec, bool terminal)
{
    const QString path = m_dir->filePath(u"editor.desktop"_s);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write the entry");
    file.write("[Desktop Action new]\nExec=wrong %U\n\n[Desktop "
               "Entry]\nName=Editor\nType=Application\nExec=");
    file.write(exec.toUtf8());
    file.write(terminal ? "\nTerminal=true\n" : "\nTerminal=false\n");
    return path;
}

void TestWindowOutputs::copyTickedRows()
{
    auto form = start();
    form->results().appendRows({{u"A"_s, u"FirstName"_s, u"Alpha"_s, u"Alpha"_s},
                                {u"BB"_s, u"Emails1"_s, u"x"_s, u"Bo"_s}});
    form->results().setChecked(1, true);
    button(*form, "PushButton8")->click();
    QCOMPARE(m_desktop->clipboard, u"BB\tEmails1  \tx    \tBo\r\n"_s);
    QCOMPARE(m_desktop->messages.size(), 1);
    QCOMPARE(m_desktop->messages.first().text, kCopied);
    QCOMPARE(m_desktop->messages.first().icon, MessageIcon::None);
}

void TestWindowOutputs::copyFollowsTheFilter()
{
    auto form = start();
    form->results().appendRows({{u"A"_s, u"T"_s, u"Alpha"_s},
                                {u"B"_s, u"T"_s, u"Bravo"_s},
                                {u"C"_s, u"T"_s, u"Charlie"_s}});
    form->results().setAllChecked(true);
    QTest::keyClicks(control<QLineEdit>(*form, u"FilterBox"_s), u"r"_s);
    QTRY_COMPARE(control<QTableView>(*form, "ListView2")->model()->rowCount(), 2);
    button(*form, "PushButton8")->click();
    // Alpha, ticked and hidden, stays out.
    QCOMPARE(m_desktop->clipboard, u"B\tT\tBravo  \t\r\nC\tT\tCharlie\t\r\n"_s);
    QCOMPARE(m_desktop->messages.size(), 1);
    QCOMPARE(m_desktop->messages.first().text, kCopied + u"\r\r2 rows copied (filter on)."_s);
}

void TestWindowOutputs::saveTextFile()
{
    auto form = start();
    const QString path = m_dir->filePath(u"results.txt"_s);
    form->results().appendRows({{u"/c/ä.vcf"_s, u"FirstName"_s, u"Zoë"_s, u"Zoë Ek"_s},
                                {u"/c/b.vcf"_s, QString(), u"v"_s}});
    m_desktop->saveResults.enqueue(path);
    button(*form, "PushButton4")->click();
    QCOMPARE(m_desktop->dialogTitles,
             QStringList{u"Save List|Text Files (*.txt);;All Files (*)"_s});
    const QByteArray expected(
        "File\tTag\t Value\tContact\t\r\n/c/\xC3\xA4.vcf\tFirstName\tZo\xC3\xAB\t"
        "Zo\xC3\xAB Ek\t\r\n/c/b.vcf\tv\t\r\n");
    QCOMPARE(readTestFile(path), expected);
    QVERIFY(m_desktop->messages.isEmpty()); // no message confirms the save
    QCOMPARE(form->MousePointer(), 0);

    // The next dialog opens where the last save went, in this window or the next.
    button(*form, "PushButton4")->click(); // cancelled: nothing written
    QCOMPARE(readTestFile(path), expected);
    QCOMPARE(m_desktop->saveStarts.last(), m_dir->filePath(u"Results.txt"_s));
    QCOMPARE(m_settings->ReadSetting(u"ResultsTextFolder"_s, QString()), m_dir->path());

    // An empty table writes nothing, and says so.
    form->results().clear();
    m_desktop->saveResults.enqueue(path);
    button(*form, "PushButton4")->click();
    QCOMPARE(m_desktop->dialogTitles.size(), 2);
    QCOMPARE(m_desktop->messages.size(), 1);
    QCOMPARE(m_desktop->messages.first().text, u"Nothing to save."_s);
    QCOMPARE(readTestFile(path), expected);
}

void TestWindowOutputs::saveFailureKeepsTheOldFile_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<rlim_t>("sizeLimit"); // 0: none
    QTest::addColumn<bool>("asked"); // whether to replace an existing file, answered Yes
    QTest::newRow("missing folder") << u"gone/results.txt"_s << rlim_t(0) << false;
    QTest::newRow("path under a regular file") << u"old.txt/results.txt"_s << rlim_t(0) << false;
    QTest::newRow("a folder in the file's place") << u"folder"_s << rlim_t(0) << false;
    // As when the disk fills up: the write stops part way.
    QTest::newRow("file-size limit over the old file") << u"old.txt"_s << rlim_t(4096) << true;
}

void TestWindowOutputs::saveFailureKeepsTheOldFile()
{
    QFETCH(QString, target);
    QFETCH(rlim_t, sizeLimit);
    QFETCH(bool, asked);
    const QString old = m_dir->filePath(u"old.txt"_s);
    QFile file(old);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("old\r\n");
    file.close();
    QVERIFY(QDir(m_dir->path()).mkdir(u"folder"_s));
    auto form = start();
    form->results().appendRows({{u"A"_s, u"T"_s, QString(20000, u'v')}});
    m_desktop->saveResults.enqueue(m_dir->filePath(target));
    m_desktop->answers.enqueue(MessageAnswer::Yes);
    {
        // A write past the limit fails with EFBIG instead of raising SIGXFSZ.
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &previous) == 0);
        if (sizeLimit != 0) {
            rlimit limited = previous;
            limited.rlim_cur = sizeLimit;
            QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
        }
        button(*form, "PushButton4")->click();
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &previous) == 0);
        std::signal(SIGXFSZ, previousHandler);
    }
    QCOMPARE(m_desktop->messages.size(), asked ? 2 : 1);
    QCOMPARE(m_desktop->messages.last().title, u"Application Error"_s);
    QVERIFY2(m_desktop->messages.last().text.contains(u"Form1.PushButton4_Click at line 112"_s),
             qPrintable(m_desktop->messages.last().text));
    QCOMPARE(readTestFile(old), QByteArray("old\r\n"));
    QCOMPARE(form->MousePointer(), 0); // the step after the failure still ran
    // Nothing half-written is left beside it.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).filter(u"old.txt"_s),
             QStringList{u"old.txt"_s});
}

void TestWindowOutputs::workbookCells()
{
    auto form = start();
    button(*form, "PushButton13")->click(); // an empty table: nothing at all
    QVERIFY(m_desktop->messages.isEmpty());
    QVERIFY(m_desktop->started.isEmpty());

    m_desktop->programsOnPath = {u"soffice"_s};
    form->results().appendRows({{u"/c/a=b.vcf"_s, u"FirstName"_s, u"Alpha"_s, u"=Al"_s},
                                {u"/c/b.vcf"_s, u"No=tes"_s, u"=1+1"_s},
                                {u"/c/c.vcf"_s, QString(), u"x & <y>"_s, u"C"_s}});
    button(*form, "PushButton13")->click();
    QVERIFY(m_desktop->messages.isEmpty());
    QCOMPARE(m_desktop->started.size(), 1);
    const QString workbook = form->exportedWorkbook();
    QCOMPARE(m_desktop->started.first().program, u"/usr/bin/soffice"_s);
    QCOMPARE(m_desktop->started.first().arguments, (QStringList{u"--calc"_s, u"-n"_s, workbook}));
    QVERIFY(!workbook.startsWith(m_dir->path())); // a private temporary place
    QCOMPARE(
        sheetCells(workbook),
        (QStringList{u"A1=File"_s, u"B1=Tag"_s, u"C1= Value"_s, u"D1=Contact"_s, u"A2=/c/a=b.vcf"_s,
                     u"B2=FirstName"_s, u"C2=Alpha"_s, u"D2==Al"_s, u"A3=/c/b.vcf"_s,
                     u"B3=No=tes"_s, u"C3==1+1"_s, u"A4=/c/c.vcf"_s, u"B4=x & <y>"_s, u"C4=C"_s}));
    const QString sheet = QString::fromUtf8(unzipEntry(workbook, u"xl/worksheets/sheet1.xml"_s));
    QVERIFY2(sheet.contains(u"<col min=\"1\" max=\"1\" width=\"11"_s),
             qPrintable(sheet)); // "/c/a=b.vcf" + 1

    // The next export replaces the file; the old one is gone.
    form->results().clear();
    form->results().appendRows({{u"/c/d.vcf"_s, u"Title"_s, u"Boss"_s}});
    button(*form, "PushButton13")->click();
    QVERIFY(!QFile::exists(workbook));
    QCOMPARE(sheetCells(form->exportedWorkbook()).last(), u"C2=Boss"_s);
    const QString last = form->exportedWorkbook();
    form.reset();
    QVERIFY(!QFile::exists(last)); // and removed when the program ends
}

void TestWindowOutputs::workbookValues_data()
{
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QStringList>("cells"); // as the sheet holds them
    QTest::addColumn<QString>("message"); // empty: none
    const QString v32766(32766, u'v');
    const QString v32767 = v32766 + u'v';
    const QString v40000(40000, u'v');
    const QString one = u"1 value was longer than a cell holds (32,767 characters) and was "
                        "shortened in the workbook."_s;
    QTest::newRow("NUL and other C0 controls; TAB and LF stay")
        << QStringList{u"a"_s + QChar(0) + u'b', u"a"_s + QChar(1) + QChar(0x1F) + u"\tb\nc"_s}
        << QStringList{u"a\uFFFDb"_s, u"a\uFFFD\uFFFD\tb\nc"_s} << QString();
    QTest::newRow("U+FFFE and U+FFFF")
        << QStringList{u"a\uFFFEb\uFFFF"_s} << QStringList{u"a\uFFFDb\uFFFD"_s} << QString();
    QTest::newRow("lone surrogates; a pair stays")
        << QStringList{QChar(0xD800) + u"b"_s + QChar(0xDC00) + u"\U0001F600"_s + QChar(0xD83D)}
        << QStringList{u"\uFFFDb\uFFFD\U0001F600\uFFFD"_s} << QString();
    QTest::newRow("a value that fills a cell")
        << QStringList{v32767} << QStringList{v32767} << QString();
    QTest::newRow("40,000 characters") << QStringList{v40000} << QStringList{v32767} << one;
    QTest::newRow("a pair at the limit is not split")
        << QStringList{v32766 + u"\U0001F600"_s} << QStringList{v32766} << one;
    QTest::newRow("two values shortened")
        << QStringList{v40000, v40000} << QStringList{v32767, v32767}
        << u"2 values were longer than a cell holds (32,767 characters) and were shortened in "
           "the workbook."_s;
}

void TestWindowOutputs::workbookValues()
{
    QFETCH(QStringList, values);
    QFETCH(QStringList, cells);
    QFETCH(QString, message);
    m_desktop->programsOnPath = {u"soffice"_s};
    auto form = start();
    QList<ResultRow> rows;
    QStringList expected{u"A1=File"_s, u"B1=Tag"_s, u"C1= Value"_s};
    for (qsizetype i = 0; i < values.size(); ++i) {
        rows.append({u"/c/a.vcf"_s, u"Notes"_s, values.at(i)});
        const QString row = QString::number(i + 2);
        expected << u"A"_s + row + u"=/c/a.vcf"_s << u"B"_s + row + u"=Notes"_s
                 << u"C"_s + row + u'=' + cells.at(i);
    }
    form->results().appendRows(rows);
    button(*form, "PushButton13")->click();
    QCOMPARE(sheetCells(form->exportedWorkbook()), expected);
    QCOMPARE(m_desktop->started.size(), 1);
    QCOMPARE(m_desktop->messages.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) {
        QCOMPARE(m_desktop->messages.first().text, message);
        QCOMPARE(m_desktop->messages.first().buttons, MessageButtons::Ok);
        QCOMPARE(m_desktop->messages.first().icon, MessageIcon::None);
        QCOMPARE(m_desktop->messages.first().title, u"Quillory"_s);
    }
    QCOMPARE(form->MousePointer(), 0);
}

void TestWindowOutputs::openSelectedFile()
{
    m_desktop->textEditorEntry = writeEditorEntry(u"myedit --new-window %U"_s);
    auto form = start();
    button(*form, "PushButton3")->click(); // no rows
    form->results().appendRows({{u"/c/a.vcf"_s, u"T"_s, u"V"_s}, {u"/c/b.vcf"_s, u"T"_s, u"V"_s}});
    button(*form, "PushButton3")->click(); // no selection
    QVERIFY(m_desktop->started.isEmpty());
    auto *view = control<QTableView>(*form, "ListView2");
    view->setCurrentIndex(view->model()->index(1, 1));
    button(*form, "PushButton3")->click();
    QCOMPARE(m_desktop->started.size(), 1);
    QCOMPARE(m_desktop->started.first().program, u"myedit"_s);
    QCOMPARE(m_desktop->started.first().arguments, (QStringList{u"--new-window"_s, u"/c/b.vcf"_s}));
    QVERIFY(m_desktop->messages.isEmpty());
}

void TestWindowOutputs::editorArguments_data()
{
    QTest::addColumn<QString>("exec");
    QTest::addColumn<bool>("terminal");
    QTest::addColumn<QStringList>("onPath");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("before"); // the arguments before the path
    QTest::newRow("field code %F")
        << u"gedit %F"_s << false << QStringList{} << u"gedit"_s << QStringList{};
    QTest::newRow("no field code: the path goes last")
        << u"mousepad"_s << false << QStringList{} << u"mousepad"_s << QStringList{};
    QTest::newRow("quoted program, other codes dropped")
        << u"\"/opt/my editor/bin/ed\" --icon %i %f"_s << false << QStringList{}
        << u"/opt/my editor/bin/ed"_s << QStringList{u"--icon"_s};
    QTest::newRow("terminal editor") << u"vim %f"_s << true << QStringList{}
                                     << u"x-terminal-emulator"_s << QStringList{u"-e"_s, u"vim"_s};
    QTest::newRow("no desktop entry: a known editor on PATH")
        << QString() << false << QStringList{u"kate"_s, u"pluma"_s} << u"/usr/bin/kate"_s
        << QStringList{};
}

void TestWindowOutputs::editorArguments()
{
    QFETCH(QString, exec);
    QFETCH(bool, terminal);
    QFETCH(QStringList, onPath);
    QFETCH(QString, program);
    QFETCH(QStringList, before);
    if (!exec.isEmpty())
        m_desktop->textEditorEntry = writeEditorEntry(exec, terminal);
    m_desktop->programsOnPath = onPath;
    auto form = start();
    // Spaces, quotes, a dollar sign and a semicolon reach the editor as one argument.
    const QString path = u"/cards/it's \"odd\" $HOME; rm -rf x.vcf"_s;
    form->results().appendRows({{path, u"T"_s, u"V"_s}});
    button(*form, "PushButton11")->click();
    QCOMPARE(m_desktop->started.size(), 1);
    QCOMPARE(m_desktop->started.first().program, program);
    QCOMPARE(m_desktop->started.first().arguments, before + QStringList{path});
}

void TestWindowOutputs::openAllFiles()
{
    m_desktop->textEditorEntry = writeEditorEntry(u"ed %f"_s);
    auto form = start();
    button(*form, "PushButton11")->click();
    QCOMPARE(m_desktop->messages.size(), 1);
    QCOMPARE(m_desktop->messages.first().text, u"Nothing to open."_s);
    form->results().appendRows({{u"/c/a.vcf"_s, u"T"_s, u"1"_s},
                                {u"/c/b.vcf"_s, u"T"_s, u"2"_s},
                                {u"/c/a.vcf"_s, u"T"_s, u"3"_s},
                                {u"/c/A.vcf"_s, u"T"_s, u"4"_s}});
    button(*form, "PushButton11")->click();
    QStringList opened;
    for (const auto &call : std::as_const(m_desktop->started))
        opened.append(call.arguments.last());
    QCOMPARE(opened, (QStringList{u"/c/a.vcf"_s, u"/c/b.vcf"_s, u"/c/A.vcf"_s}));
    QCOMPARE(m_desktop->messages.size(), 1);
    QCOMPARE(form->MousePointer(), 0);
}

void TestWindowOutputs::editorAndNamesNotUtf8_data()
{
    QTest::addColumn<QString>("exec"); // empty: no desktop entry, gedit on PATH
    QTest::addColumn<QString>("handed"); // the argument for the name; empty: reported
    QTest::newRow("%U takes an address") << u"myedit %U"_s << u"file:///c/caf%E9.vcf"_s;
    QTest::newRow("%f: reported by name") << u"myedit %f"_s << QString();
    QTest::newRow("known editor: reported by name") << QString() << QString();
}

void TestWindowOutputs::editorAndNamesNotUtf8()
{
    QFETCH(QString, exec);
    QFETCH(QString, handed);
    if (!exec.isEmpty())
        m_desktop->textEditorEntry = writeEditorEntry(exec);
    m_desktop->programsOnPath = {u"gedit"_s};
    auto form = start();
    const QString name = decodeFileName("/c/caf\xE9.vcf");
    form->results().appendRows({{u"/c/a.vcf"_s, u"T"_s, u"1"_s}, {name, u"T"_s, u"2"_s}});
    const QString refusal
        = u"This file cannot be handed to the editor, because its name is not valid UTF-8:\r\r"
          "/c/caf\\xE9.vcf"_s;

    button(*form, "PushButton11")->click();
    QStringList opened;
    for (const auto &call : std::as_const(m_desktop->started))
        opened.append(call.arguments.last());
    QCOMPARE(opened,
             handed.isEmpty() ? QStringList{u"/c/a.vcf"_s} : (QStringList{u"/c/a.vcf"_s, handed}));
    QCOMPARE(m_desktop->messages.size(), handed.isEmpty() ? 1 : 0);
    if (handed.isEmpty())
        QCOMPARE(m_desktop->messages.first().text, refusal);

    m_desktop->started.clear();
    m_desktop->messages.clear();
    selectRow(*form, 1);
    button(*form, "PushButton3")->click();
    QCOMPARE(m_desktop->started.size(), handed.isEmpty() ? 0 : 1);
    QCOMPARE(m_desktop->messages.size(), handed.isEmpty() ? 1 : 0);
    if (handed.isEmpty())
        QCOMPARE(m_desktop->messages.first().text, refusal);
}

void TestWindowOutputs::openAtCardLine_data()
{
    QTest::addColumn<QString>("exec"); // empty: no desktop entry
    QTest::addColumn<QStringList>("onPath");
    QTest::addColumn<QString>("path");
    QTest::addColumn<qint64>("line");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    const QString a = u"/c/a.vcf"_s;
    const QString notUtf8 = decodeFileName("/c/caf\xE9.vcf");
    const QString address = u"file:///c/caf%E9.vcf"_s;
    const QString code = u"/usr/share/code/code"_s;
    QTest::newRow("gedit") << u"gedit %U"_s << QStringList{} << a << qint64(12) << u"gedit"_s
                           << QStringList{u"+12"_s, a};
    QTest::newRow("gnome-text-editor by its full path")
        << u"/usr/bin/gnome-text-editor %U"_s << QStringList{} << a << qint64(12)
        << u"/usr/bin/gnome-text-editor"_s << QStringList{u"+12"_s, a};
    QTest::newRow("xed") << u"xed %U"_s << QStringList{} << a << qint64(3) << u"xed"_s
                         << QStringList{u"+3"_s, a};
    QTest::newRow("pluma") << u"pluma %U"_s << QStringList{} << a << qint64(3) << u"pluma"_s
                           << QStringList{u"+3"_s, a};
    QTest::newRow("kate") << u"kate -b %U"_s << QStringList{} << a << qint64(12) << u"kate"_s
                          << QStringList{u"-b"_s, u"--line"_s, u"12"_s, a};
    QTest::newRow("mousepad found on PATH")
        << QString() << QStringList{u"mousepad"_s} << a << qint64(12) << u"/usr/bin/mousepad"_s
        << QStringList{u"--line"_s, u"12"_s, a};
    QTest::newRow("code") << code + u" --unity-launch %F"_s << QStringList{} << a << qint64(12)
                          << code << QStringList{u"--unity-launch"_s, u"--goto"_s, a + u":12"_s};
    QTest::newRow("code, a colon in the name: no line")
        << code + u" %F"_s << QStringList{} << u"/c/2024:05:x.vcf"_s << qint64(12) << code
        << QStringList{u"/c/2024:05:x.vcf"_s};
    QTest::newRow("unknown editor: no line")
        << u"myedit %f"_s << QStringList{} << a << qint64(12) << u"myedit"_s << QStringList{a};
    QTest::newRow("line 1") << u"gedit %U"_s << QStringList{} << a << qint64(1) << u"gedit"_s
                            << QStringList{u"+1"_s, a};
    QTest::newRow("line 0: no line")
        << u"gedit %U"_s << QStringList{} << a << qint64(0) << u"gedit"_s << QStringList{a};
    QTest::newRow("%U, name not UTF-8: address at the line")
        << u"gedit %U"_s << QStringList{} << notUtf8 << qint64(12) << u"gedit"_s
        << QStringList{u"+12"_s, address};
    QTest::newRow("code %U, name not UTF-8: address, no line")
        << code + u" %U"_s << QStringList{} << notUtf8 << qint64(12) << code
        << QStringList{address};
}

void TestWindowOutputs::openAtCardLine()
{
    QFETCH(QString, exec);
    QFETCH(QStringList, onPath);
    QFETCH(QString, path);
    QFETCH(qint64, line);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    if (!exec.isEmpty())
        m_desktop->textEditorEntry = writeEditorEntry(exec);
    m_desktop->programsOnPath = onPath;
    auto form = start();
    form->results().appendRows({rowAtLine(u"/c/other.vcf"_s, 40), rowAtLine(path, line)});
    selectRow(*form, 1);
    button(*form, "PushButton3")->click();
    QCOMPARE(m_desktop->started.size(), 1);
    QCOMPARE(m_desktop->started.first().program, program);
    QCOMPARE(m_desktop->started.first().arguments, arguments);
    QVERIFY(m_desktop->messages.isEmpty());
}

void TestWindowOutputs::openFirstTickedRow()
{
    m_desktop->textEditorEntry = writeEditorEntry(u"gedit %U"_s);
    auto form = start();
    form->results().appendRows(
        {rowAtLine(u"/c/a.vcf"_s, 1), rowAtLine(u"/c/b.vcf"_s, 5), rowAtLine(u"/c/c.vcf"_s, 9)});
    form->results().setChecked(2, true);
    form->results().setChecked(1, true);
    button(*form, "PushButton3")->click();
    // A highlighted row comes before the ticked ones.
    selectRow(*form, 0);
    button(*form, "PushButton3")->click();
    QCOMPARE(m_desktop->started.size(), 2);
    QCOMPARE(m_desktop->started.at(0).arguments, (QStringList{u"+5"_s, u"/c/b.vcf"_s}));
    QCOMPARE(m_desktop->started.at(1).arguments, (QStringList{u"+1"_s, u"/c/a.vcf"_s}));
}

void TestWindowOutputs::noEditorSaysSo()
{
    // An entry whose command names no program is no editor: the file is never run.
    m_desktop->textEditorEntry = writeEditorEntry(u"%f"_s);
    auto form = start();
    QList<ResultRow> rows;
    for (int i = 0; i < 21; ++i)
        rows.append(rowAtLine(u"/c/%1.vcf"_s.arg(i), 1));
    form->results().appendRows(rows);
    selectRow(*form, 0);
    button(*form, "PushButton3")->click();
    // Once for all the files, and nothing asked about opening 21 editors.
    button(*form, "PushButton11")->click();
    QVERIFY(m_desktop->started.isEmpty());
    QCOMPARE(m_desktop->messages.size(), 2);
    for (const auto &message : std::as_const(m_desktop->messages)) {
        QCOMPARE(message.text, kNoEditor.arg(m_desktop->textEditorEntry));
        QCOMPARE(message.buttons, MessageButtons::Ok);
    }
}

void TestWindowOutputs::saveMatchingCards()
{
    auto form = start();
    button(*form, "SaveCardsButton")->click();
    QCOMPARE(m_desktop->messages.size(), 1);
    QCOMPARE(m_desktop->messages.first().text, u"Nothing to save."_s);
    QVERIFY(m_desktop->dialogTitles.isEmpty());

    // Rows of the second card of a file, and of a file removed since the search.
    const QByteArray bob = "BEGIN:VCARD\nFN:Bob\nEND:VCARD\n";
    const QString cards = m_dir->filePath(u"cards.vcf"_s);
    const QString gone = m_dir->filePath(u"gone.vcf"_s);
    for (const QString &path : {cards, gone}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("BEGIN:VCARD\nFN:Ann\nEND:VCARD\n" + bob);
    }
    QList<ResultRow> rows;
    CardParser::parse(
        CardBytes{"BEGIN:VCARD\nFN:Ann\nEND:VCARD\n" + bob},
        [&](ContactFields &&, const CardParser::Identity &card) {
            if (card.number == 2) {
                const CardPlace place{card.number, 4, card.begin, card.end};
                for (const QString &path : {cards, cards, gone})
                    rows.append({path, u"FirstName"_s, u"Bob"_s, card.contact, u"bob"_s, place});
            }
        });
    form->results().appendRows(rows);
    QVERIFY(QFile::remove(gone));
    const QString path = m_dir->filePath(u"saved.vcf"_s);
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(500, 'x'));
    old.close();
    m_desktop->messages.clear();
    m_desktop->saveResults.enqueue(path);
    m_desktop->answers.enqueue(MessageAnswer::Yes);
    button(*form, "SaveCardsButton")->click();
    QCOMPARE(m_desktop->dialogTitles, QStringList{u"Save Matching Cards|vCard Files (*.vcf)"_s});
    QCOMPARE(readTestFile(path), bob);
    QCOMPARE(m_desktop->messages.size(), 2);
    QCOMPARE(m_desktop->messages.first().text,
             u"saved.vcf already exists.\r\rDo you want to replace it?"_s);
    QCOMPARE(m_desktop->messages.first().buttons, MessageButtons::YesNoDefaultNo);
    QCOMPARE(m_desktop->messages.last().text,
             u"1 card has been saved to saved.vcf. 1 card was left out.\r\rCards of these files "
             "could not be taken out:\r"_s
                 + gone + u": No such file or directory"_s);
    QCOMPARE(form->MousePointer(), 0);

    // The table's context menu has the same command.
    auto *view = control<QTableView>(*form, "ListView2");
    QVERIFY(view);
    QCOMPARE(view->contextMenuPolicy(), Qt::ActionsContextMenu);
    auto *save = view->findChild<QAction *>(u"SaveMatchingCardsAction"_s);
    QVERIFY(save && view->actions().contains(save));
    QCOMPARE(save->text(), u"Save Matching Cards As vCard File"_s);
    save->trigger();
    QCOMPARE(m_desktop->dialogTitles.size(), 2); // asked, and cancelled
    QCOMPARE(m_desktop->messages.size(), 2);
}

// "Find Duplicate Contacts" without a search text: the groups show in the table, whose
// outputs then serve them; a search shows its rows again.
void TestWindowOutputs::findDuplicates()
{
    auto form = start();
    const QByteArray ann = "BEGIN:VCARD\nFN:Ann\nEMAIL:ann@example.org\nEND:VCARD\n";
    const QByteArray otto = "BEGIN:VCARD\nFN:Otto\nEMAIL:otto@example.org\nEND:VCARD\n";
    const QByteArray annB = "BEGIN:VCARD\nFN:Ann B.\nEMAIL: ANN@Example.org\nEND:VCARD\n";
    const QString first = writeTestFile(*m_dir, u"a.vcf"_s, otto + ann);
    const QString second = writeTestFile(*m_dir, u"b.vcf"_s, annB);
    form->fileList().append({first, second});
    control<QLineEdit>(*form, "Text1")->clear();
    button(*form, "FindDuplicatesButton")->click();
    QCOMPARE(m_desktop->messages.size(), 1);
    QCOMPARE(m_desktop->messages.first().text, u"Done."_s);
    QVERIFY(form->showsDuplicates());
    const ResultsModel &groups = form->duplicates();
    QCOMPARE(groups.count(), 2);
    QCOMPARE(groups.row(0), ResultRow(first, u"1, card 2"_s, u"ann@example.org (Emails)"_s,
                                      u"Ann"_s, {}, groups.row(0).Card));
    QCOMPARE(groups.cell(1, 1), second);
    QCOMPARE(control<QTableView>(*form, "ListView2")->model()->headerData(2, Qt::Horizontal),
             u"Shared"_s);
    QCOMPARE(form->results().count(), 0);

    // The ticked card alone is saved, as it stands in its file.
    form->duplicates().setChecked(1, true);
    const QString saved = m_dir->filePath(u"saved.vcf"_s);
    m_desktop->saveResults.enqueue(saved);
    button(*form, "SaveCardsButton")->click();
    QCOMPARE(readTestFile(saved), annB);

    // A search shows its rows; the duplicates stay for the switch.
    control<QLineEdit>(*form, "Text1")->setText(u"otto"_s);
    button(*form, "PushButton7")->click();
    QVERIFY(!form->showsDuplicates());
    QCOMPARE(form->results().count(), 2);
    QCOMPARE(form->duplicates().count(), 2);
    auto *action = control<QTableView>(*form, "ListView2")->findChild<QAction *>(u"FindDuplicatesAction"_s);
    QVERIFY(action);
    action->trigger(); // among the cards that match "otto": none shares anything
    QVERIFY(form->showsDuplicates());
    QCOMPARE(form->duplicates().count(), 0);
}

void TestWindowOutputs::outputsNeverReplaceWhatTheyMayNot_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("target"); // in the temporary folder
    QTest::addColumn<QString>("reason");
    const QString input = u"this is one of the files searched; choose another file."_s;
    const QString device = u"this is a device, not a regular file; choose another file."_s;
    const QString fifo = u"this is a FIFO (named pipe), not a regular file; choose another file."_s;
    for (const char *button : {"PushButton4", "SaveCardsButton"}) {
        QTest::addRow("%s, the file searched", button)
            << QString::fromLatin1(button) << u"book.vcf"_s << input;
        QTest::addRow("%s, a link to it", button)
            << QString::fromLatin1(button) << u"link.vcf"_s << input;
        QTest::addRow("%s, a file listed since", button)
            << QString::fromLatin1(button) << u"listed.vcf"_s << input;
        QTest::addRow("%s, a device", button)
            << QString::fromLatin1(button) << u"/dev/null"_s << device;
        QTest::addRow("%s, a FIFO", button) << QString::fromLatin1(button) << u"fifo"_s << fifo;
    }
}

void TestWindowOutputs::outputsNeverReplaceWhatTheyMayNot()
{
    QFETCH(QString, button);
    QFETCH(QString, target);
    QFETCH(QString, reason);
    const QByteArray book = "BEGIN:VCARD\nFN:Ann\nEND:VCARD\nBEGIN:VCARD\nFN:Bob\nEND:VCARD\n";
    const QString bookPath = writeTestFile(*m_dir, u"book.vcf"_s, book);
    const QString listed = writeTestFile(*m_dir, u"listed.vcf"_s, book);
    QVERIFY(QFile::link(bookPath, m_dir->filePath(u"link.vcf"_s)));
    QCOMPARE(::mkfifo(QFile::encodeName(m_dir->filePath(u"fifo"_s)).constData(), 0600), 0);
    const QString path = QDir(m_dir->path()).absoluteFilePath(target);
    struct stat before
    {
    };
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);

    auto form = start();
    form->fileList().append(bookPath);
    control<QLineEdit>(*form, "Text1")->setText(u"ann"_s);
    ::button(*form, "PushButton7")->click();
    QCOMPARE(form->results().count(), 1);
    form->fileList().append(listed);
    m_desktop->messages.clear();
    m_desktop->saveResults.enqueue(path);
    ::button(*form, button.toLatin1().constData())->click();
    // Said at once, with no question about replacing it.
    QCOMPARE(m_desktop->messages.size(), 1);
    QCOMPARE(m_desktop->messages.first().text, path + u": "_s + reason);
    struct stat after
    {
    };
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &after), 0);
    QCOMPARE(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(readTestFile(bookPath), book);
    QCOMPARE(form->MousePointer(), 0);
}

QTEST_MAIN(TestWindowOutputs)
#include "tst_window_outputs.moc"
