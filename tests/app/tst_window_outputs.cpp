// Taking results out of the window: clipboard, text file, workbook, editors.

#include "WindowTest.h"
#include "app/Form1.h"
#include "app/SettingsStore.h"
#include "card/NativePath.h"
#include "results/ResultsModel.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

QPushButton *button(QWidget &form, const char *name)
{
    auto *b = form.findChild<QPushButton *>(QString::fromLatin1(name));
    if (!b)
        qFatal("no button %s", name);
    return b;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QByteArray unzipEntry(const QString &archive, const QString &entry)
{
    QProcess unzip;
    unzip.start(u"unzip"_s, {u"-p"_s, archive, entry});
    if (!unzip.waitForFinished(10000) || unzip.exitCode() != 0)
        return {};
    return unzip.readAllStandardOutput();
}

QString xmlText(QString text)
{
    return text.replace(u"&lt;"_s, u"<"_s)
        .replace(u"&gt;"_s, u">"_s)
        .replace(u"&quot;"_s, u"\""_s)
        .replace(u"&amp;"_s, u"&"_s);
}

/// The cells of a workbook's first sheet as "A1=text" in sheet order, read from the file.
QStringList sheetCells(const QString &archive)
{
    QStringList shared;
    static const QRegularExpression item(u"<si>(?:<t[^>]*>(.*?)</t>|<t/>)</si>"_s,
                                         QRegularExpression::DotMatchesEverythingOption);
    const QString strings = QString::fromUtf8(unzipEntry(archive, u"xl/sharedStrings.xml"_s));
    for (const QRegularExpressionMatch &m : item.globalMatch(strings))
        shared.append(xmlText(m.captured(1)));
    QStringList cells;
    static const QRegularExpression cell(
        u"<c r=\"([A-Z]+[0-9]+)\"[^>]*t=\"s\"[^>]*><v>([0-9]+)</v></c>"_s);
    const QString sheet = QString::fromUtf8(unzipEntry(archive, u"xl/worksheets/sheet1.xml"_s));
    for (const QRegularExpressionMatch &m : cell.globalMatch(sheet))
        cells.append(m.captured(1) + u'=' + shared.value(m.captured(2).toInt(), u"<missing>"_s));
    return cells;
}

} // namespace

class TestWindowOutputs final : public WindowTest
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void copyTickedRows();
    void copyEdgeCases_data();
    void copyEdgeCases();
    void saveTextFile();
    void saveFailureKeepsTheOldFile_data();
    void saveFailureKeepsTheOldFile();
    void workbookCells();
    void workbookNeedsTheApplication();
    void openSelectedFile();
    void editorArguments_data();
    void editorArguments();
    void openAllFiles();
    void editorAndNamesNotUtf8_data();
    void editorAndNamesNotUtf8();
    void openManyFilesAsksFirst_data();
    void openManyFilesAsksFirst();

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
    form->results().appendRows(
        {{u"A"_s, u"FirstName"_s, u"Alpha"_s}, {u"BB"_s, u"Emails1"_s, u"x"_s}});
    form->results().setChecked(1, true);
    button(*form, "PushButton8")->click();
    QCOMPARE(m_desktop->clipboard, u"BB\tEmails1  \tx\r\n"_s);
    QCOMPARE(m_desktop->messages.size(), 1);
    QCOMPARE(
        m_desktop->messages.first().text,
        u"Results have been copied to the clipboard.\r\rClick a text area where you normally type "
        "and press Ctrl+V to paste the clipboard."_s);
    QCOMPARE(m_desktop->messages.first().icon, MessageIcon::None);
}

void TestWindowOutputs::copyEdgeCases_data()
{
    QTest::addColumn<bool>("rows");
    QTest::addColumn<bool>("clipboardWorks");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<int>("attempts");
    QTest::newRow("empty table leaves the clipboard") << false << true << u"previous"_s << 0;
    QTest::newRow("no tick gives empty text") << true << true << QString() << 1;
    QTest::newRow("a held clipboard is tried 1000 times, silently")
        << true << false << u"previous"_s << 1000;
}

void TestWindowOutputs::copyEdgeCases()
{
    QFETCH(bool, rows);
    QFETCH(bool, clipboardWorks);
    QFETCH(QString, clipboard);
    QFETCH(int, attempts);
    auto form = start();
    m_desktop->clipboard = u"previous"_s;
    m_desktop->clipboardWorks = clipboardWorks;
    if (rows)
        form->results().appendRows({{u"A"_s, u"T"_s, u"V"_s}});
    button(*form, "PushButton8")->click();
    QCOMPARE(m_desktop->clipboard, clipboard);
    QCOMPARE(m_desktop->clipboardClears, attempts);
    QCOMPARE(m_desktop->clipboardSets, attempts);
    QCOMPARE(m_desktop->messages.size(), 1); // the confirmation, in every case
}

void TestWindowOutputs::saveTextFile()
{
    auto form = start();
    const QString path = m_dir->filePath(u"results.txt"_s);
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(500, 'x'));
    old.close();
    form->results().appendRows(
        {{u"/c/ä.vcf"_s, u"FirstName"_s, u"Zoë"_s}, {u"/c/b.vcf"_s, QString(), u"v"_s}});
    m_desktop->saveResults.enqueue(path);
    button(*form, "PushButton4")->click();
    QCOMPARE(m_desktop->dialogTitles,
             QStringList{u"Save List|Text Files (*.txt);;All Files (*)"_s});
    const QByteArray expected("File\tTag\t Value\t\r\n/c/\xC3\xA4.vcf\tFirstName\tZo\xC3\xAB\t\r\n"
                              "/c/b.vcf\tv\t\r\n");
    QCOMPARE(readAll(path), expected);
    QVERIFY(m_desktop->messages.isEmpty()); // no message confirms the save
    QCOMPARE(form->MousePointer(), 0);

    button(*form, "PushButton4")->click(); // cancelled: nothing written
    QCOMPARE(readAll(path), expected);

    // An empty table writes an empty file.
    form->results().clear();
    m_desktop->saveResults.enqueue(path);
    button(*form, "PushButton4")->click();
    QCOMPARE(readAll(path), QByteArray());
}

void TestWindowOutputs::saveFailureKeepsTheOldFile_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<rlim_t>("sizeLimit"); // 0: none
    QTest::newRow("missing folder") << u"gone/results.txt"_s << rlim_t(0);
    QTest::newRow("path under a regular file") << u"old.txt/results.txt"_s << rlim_t(0);
    QTest::newRow("a folder in the file's place") << u"folder"_s << rlim_t(0);
    // As when the disk fills up: the write stops part way.
    QTest::newRow("file-size limit over the old file") << u"old.txt"_s << rlim_t(4096);
}

void TestWindowOutputs::saveFailureKeepsTheOldFile()
{
    QFETCH(QString, target);
    QFETCH(rlim_t, sizeLimit);
    const QString old = m_dir->filePath(u"old.txt"_s);
    QFile file(old);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("old\r\n");
    file.close();
    QVERIFY(QDir(m_dir->path()).mkdir(u"folder"_s));
    auto form = start();
    form->results().appendRows({{u"A"_s, u"T"_s, QString(20000, u'v')}});
    m_desktop->saveResults.enqueue(m_dir->filePath(target));
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
    QCOMPARE(m_desktop->messages.size(), 1);
    QCOMPARE(m_desktop->messages.first().title, u"Application Error"_s);
    QVERIFY2(m_desktop->messages.first().text.contains(u"Form1.PushButton4_Click at line 112"_s),
             qPrintable(m_desktop->messages.first().text));
    QCOMPARE(readAll(old), QByteArray("old\r\n"));
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
    form->results().appendRows({{u"/c/a=b.vcf"_s, u"FirstName"_s, u"Alpha"_s},
                                {u"/c/b.vcf"_s, u"No=tes"_s, u"=1+1"_s},
                                {u"/c/c.vcf"_s, QString(), u"x & <y>"_s}});
    button(*form, "PushButton13")->click();
    QVERIFY(m_desktop->messages.isEmpty());
    QCOMPARE(m_desktop->started.size(), 1);
    const QString workbook = form->exportedWorkbook();
    QCOMPARE(m_desktop->started.first().program, u"/usr/bin/soffice"_s);
    QCOMPARE(m_desktop->started.first().arguments, (QStringList{u"--calc"_s, u"-n"_s, workbook}));
    QVERIFY(!workbook.startsWith(m_dir->path())); // a private temporary place
    QCOMPARE(sheetCells(workbook),
             (QStringList{u"A1=File"_s, u"B1=Tag"_s, u"C1= Value"_s, u"A2=/c/a=b.vcf"_s,
                          u"B2=FirstName"_s, u"C2=Alpha"_s, u"A3=/c/b.vcf"_s, u"B3=Notes"_s,
                          u"C3=1+1"_s, u"A4=/c/c.vcf"_s, u"B4=x & <y>"_s}));
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

void TestWindowOutputs::workbookNeedsTheApplication()
{
    auto form = start();
    form->results().appendRows({{u"A"_s, u"T"_s, u"V"_s}});
    button(*form, "PushButton13")->click();
    QCOMPARE(m_desktop->messages.size(), 2);
    QCOMPARE(m_desktop->messages.at(0).text,
             u"Excel is not installed on this computer. You need to have it "
             "installed to use this software without error."_s);
    QCOMPARE(
        m_desktop->messages.at(1).text,
        u"Excel is not installed on this computer. You need to have it installed to use this feature."_s);
    QVERIFY(m_desktop->started.isEmpty());
    QVERIFY(form->exportedWorkbook().isEmpty());
}

void TestWindowOutputs::openSelectedFile()
{
    m_desktop->textEditorEntry = writeEditorEntry(u"myedit --new-window %U"_s);
    auto form = start();
    button(*form, "PushButton3")->click(); // no rows
    form->results().appendRows({{u"/c/a.vcf"_s, u"T"_s, u"V"_s}, {u"/c/b.vcf"_s, u"T"_s, u"V"_s}});
    button(*form, "PushButton3")->click(); // no selection
    QVERIFY(m_desktop->started.isEmpty());
    auto *view = form->findChild<QTableView *>(u"ListView2"_s);
    view->setCurrentIndex(form->results().index(1, 1));
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
    form->findChild<QTableView *>(u"ListView2"_s)->setCurrentIndex(form->results().index(1, 1));
    button(*form, "PushButton3")->click();
    QCOMPARE(m_desktop->started.size(), handed.isEmpty() ? 0 : 1);
    QCOMPARE(m_desktop->messages.size(), handed.isEmpty() ? 1 : 0);
    if (handed.isEmpty())
        QCOMPARE(m_desktop->messages.first().text, refusal);
}

void TestWindowOutputs::openManyFilesAsksFirst_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("answer"); // -1 no question expected
    QTest::addColumn<int>("started");
    QTest::newRow("20 files open without a question") << 20 << -1 << 20;
    QTest::newRow("21 files, answered No") << 21 << int(MessageAnswer::No) << 0;
    QTest::newRow("21 files, answered Yes") << 21 << int(MessageAnswer::Yes) << 21;
}

void TestWindowOutputs::openManyFilesAsksFirst()
{
    QFETCH(int, files);
    QFETCH(int, answer);
    QFETCH(int, started);
    m_desktop->textEditorEntry = writeEditorEntry(u"ed %f"_s);
    if (answer >= 0)
        m_desktop->answers.enqueue(MessageAnswer(answer));
    auto form = start();
    QList<ResultRow> rows;
    for (int i = 0; i < files; ++i)
        rows.append({u"/c/%1.vcf"_s.arg(i), u"T"_s, u"V"_s});
    form->results().appendRows(rows);
    button(*form, "PushButton11")->click();
    QCOMPARE(m_desktop->messages.size(), answer >= 0 ? 1 : 0);
    if (answer >= 0) {
        QCOMPARE(m_desktop->messages.first().buttons, MessageButtons::YesNo);
        QVERIFY(m_desktop->messages.first().text.contains(u"21 files"_s));
    }
    QCOMPARE(m_desktop->started.size(), started);
}

QTEST_MAIN(TestWindowOutputs)
#include "tst_window_outputs.moc"
