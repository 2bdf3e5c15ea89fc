// The settings store and the uniform error report.

#include "ScriptedDesktop.h"
#include "TestFiles.h"
#include "app/CommandLine.h"
#include "app/DesktopOpen.h"
#include "base/ErrorReport.h"
#include "base/NativePath.h"
#include "base/SettingsStore.h"
#include "filelist/AddFolder.h"
#include "results/EditorLaunch.h"
#include "search/SearchSets.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <cstdio>
#include <stdexcept>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// A fresh process reads the file from disk: QSettings caches within a process.
constexpr char kReadSettingSwitch[] = "--read-setting";

QString readInFreshProcess(const QString &file, const QString &key)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(kReadSettingSwitch), file, key});
    if (!child.waitForFinished(10000))
        return u"<child did not finish>"_s;
    return QString::fromUtf8(child.readAllStandardOutput());
}

void failDeepInside()
{
    throw Failure(u"Path not found"_s);
}

} // namespace

class TestApp final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void userStoreStaysInTheConfigFolder();
    void defaults();
    void roundTrip_data();
    void roundTrip();
    void findSetsAcrossARestart();
    void findSetsOfTwoWindows();
    void writeFailures_data();
    void writeFailures();
    void writeRecoversWithEverythingUnsaved();
    void damagedFileIsKeptBeforeTheFirstWrite();
    void textToBooleanConversion_data();
    void textToBooleanConversion();
    void errorText();
    void errorBox();
    void guardGoesOnAfterFailures();
    void locations();
    void desktopHandlerOrder_data();
    void desktopHandlerOrder();
    void nothingOpensTexts_data();
    void nothingOpensTexts();
    void decodedArguments();
    void windowArguments_data();
    void windowArguments();
    void programFolder_data();
    void programFolder();

private:
    QTemporaryDir m_dir;
};

void TestApp::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestApp::userStoreStaysInTheConfigFolder()
{
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    QVERIFY2(!config.isEmpty(), "the test runs with XDG_CONFIG_HOME pointing at a build folder");
    const SettingsStore store;
    QCOMPARE(QFileInfo(store.fileName()).absoluteFilePath(),
             QFileInfo(config + u"/Brenmoor.ini"_s).absoluteFilePath());
}

void TestApp::defaults()
{
    const SettingsStore store(m_dir.filePath(u"defaults.conf"_s));
    QCOMPARE(store.ReadSetting(u"Option1"_s, 0), u"0"_s);
    QCOMPARE(store.ReadSetting(u"Option2"_s, 1), u"1"_s);
    QCOMPARE(store.ReadSetting(u"Extension"_s, u"vcf"_s), u"vcf"_s);
    QCOMPARE(store.ReadSetting(u"Text1"_s, QString()), QString());
}

void TestApp::roundTrip_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("empty") << QString();
    QTest::newRow("comma") << u"a, b"_s;
    QTest::newRow("blanks at both ends") << u"  spaced  "_s;
    QTest::newRow("quotes") << u"\"quoted\" 'too'"_s;
    QTest::newRow("stored search sets") << u"::red::green"_s;
    QTest::newRow("INI punctuation") << u"x=y;z #not a comment [k]"_s;
    QTest::newRow("backslash") << u"C:\\cards\\"_s;
    QTest::newRow("non-ASCII") << u"Zürich € 東京"_s;
    QTest::newRow("the word True") << u"True"_s;
    QTest::newRow("a number") << u"12"_s;
}

void TestApp::roundTrip()
{
    QFETCH(QString, value);
    const QString file = m_dir.filePath(u"roundtrip.conf"_s);
    SettingsStore store(file);
    store.WriteSetting(u"Text1"_s, value);
    store.WriteSetting(u"LastFolder"_s, u"/other"_s);
    QCOMPARE(store.ReadSetting(u"Text1"_s, u"default"_s), value);
    QCOMPARE(readInFreshProcess(file, u"Text1"_s), value);
    QVERIFY(readTestFile(file).contains("[Quillory]"));
}

void TestApp::findSetsAcrossARestart()
{
    const QString file = m_dir.filePath(u"sets.conf"_s);
    SettingsStore store(file);
    StoreFindSets(store, {u"a"_s, u"b, c"_s});
    QCOMPARE(readInFreshProcess(file, u"FindSets"_s), u"::a::b, c"_s);
    QCOMPARE(LoadFindSets(SettingsStore(file)), (QStringList{u"a"_s, u"b, c"_s}));
    // The JSON form, with its quotes and commas, reads back from the file itself.
    const QStringList colons{u"Note:"_s, u"next \"x\", y"_s};
    StoreFindSets(store, colons);
    QCOMPARE(findSetsFromText(readInFreshProcess(file, u"FindSets"_s)), colons);
    StoreFindSets(store, {});
    QCOMPARE(LoadFindSets(SettingsStore(file)), QStringList{});
}

void TestApp::findSetsOfTwoWindows()
{
    const QString file = m_dir.filePath(u"two.conf"_s);
    SettingsStore first(file);
    StoreFindSets(first, {u"a"_s, u"b"_s});
    SettingsStore second(file);
    const QStringList loaded = LoadFindSets(second);
    StoreFindSets(first, {u"a"_s, u"b"_s, u"c"_s}, {u"a"_s, u"b"_s});
    QCOMPARE(StoreFindSets(second, {u"b"_s, u"d"_s}, loaded),
             (QStringList{u"b"_s, u"c"_s, u"d"_s}));
    // Another program rewrote the file: it is read again before the merge.
    writeTestFile(m_dir, u"two.conf"_s, "[Quillory]\nFindSets=::x::b::c::d\n");
    QCOMPARE(StoreFindSets(first, {u"a"_s, u"b"_s, u"c"_s, u"e"_s}, {u"a"_s, u"b"_s, u"c"_s}),
             (QStringList{u"x"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s}));
    QCOMPARE(findSetsFromText(readInFreshProcess(file, u"FindSets"_s)),
             (QStringList{u"x"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s}));
}

void TestApp::writeFailures_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("a folder in the file's place") << u"folder.conf"_s;
    QTest::newRow("path under a regular file") << u"plain.conf/inner.conf"_s;
}

void TestApp::writeFailures()
{
    QFETCH(QString, file);
    QDir(m_dir.path()).mkdir(u"folder.conf"_s);
    SettingsStore(m_dir.filePath(u"plain.conf"_s)).WriteSetting(u"Text1"_s, u"kept"_s);
    SettingsStore store(m_dir.filePath(file));
    QVERIFY_THROWS_EXCEPTION(Failure, store.WriteSetting(u"Text1"_s, u"x"_s));
    QCOMPARE(SettingsStore(m_dir.filePath(u"plain.conf"_s)).ReadSetting(u"Text1"_s, QString()),
             u"kept"_s);
}

void TestApp::writeRecoversWithEverythingUnsaved()
{
    const QString blocker = writeTestFile(m_dir, u"blocker"_s, {});
    const QString path = blocker + u"/Brenmoor.ini"_s;
    SettingsStore store(path);
    QVERIFY_THROWS_EXCEPTION(Failure, store.WriteSetting(u"Text1"_s, u"typed"_s));
    QCOMPARE(store.ReadSetting(u"Text1"_s, QString()), u"typed"_s); // still what the user set
    QVERIFY(QFile::remove(blocker));
    // The next write succeeds, and takes the earlier value with it.
    store.WriteSetting(u"Option1"_s, u"True"_s);
    QCOMPARE(readInFreshProcess(path, u"Text1"_s), u"typed"_s);
    QCOMPARE(readInFreshProcess(path, u"Option1"_s), u"True"_s);
    // A failure after a success is a failure again.
    QVERIFY(QDir(blocker).removeRecursively());
    writeTestFile(m_dir, u"blocker"_s, {});
    QVERIFY_THROWS_EXCEPTION(Failure, store.WriteSetting(u"Text1"_s, u"again"_s));
}

void TestApp::damagedFileIsKeptBeforeTheFirstWrite()
{
    // The fault lies outside the program's own section, which reads cleanly.
    const QByteArray bytes(":::a::::b:\n[Quillory]\nText1=kept\n");
    const QString path = writeTestFile(m_dir, u"damaged-elsewhere.ini"_s, bytes);
    {
        SettingsStore store(path);
        QCOMPARE(store.ReadSetting(u"Text1"_s, QString()), u"kept"_s);
        store.WriteSetting(u"Option1"_s, u"True"_s);
        store.WriteSetting(u"Option2"_s, u"False"_s);
    }
    QCOMPARE(readTestFile(path + u".damaged"_s), bytes);
    QVERIFY(!QFile::exists(path + u".damaged-2"_s)); // one copy per damage
    QCOMPARE(readInFreshProcess(path, u"Text1"_s), u"kept"_s);
    QCOMPARE(readInFreshProcess(path, u"Option2"_s), u"False"_s);
}

void TestApp::textToBooleanConversion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("result"); // 1 true, 0 false, -1 type mismatch
    QTest::newRow("True") << u"True"_s << 1;
    QTest::newRow("false in lower case") << u"false"_s << 0;
    QTest::newRow("TRUE") << u"TRUE"_s << 1;
    QTest::newRow("blanks around") << u" False "_s << 0;
    QTest::newRow("zero") << u"0"_s << 0;
    QTest::newRow("one") << u"1"_s << 1;
    QTest::newRow("minus one") << u"-1"_s << 1;
    QTest::newRow("fraction") << u"0.5"_s << 1;
    QTest::newRow("zero point zero") << u"0.0"_s << 0;
    QTest::newRow("maybe") << u"maybe"_s << -1;
    QTest::newRow("empty") << QString() << -1;
    QTest::newRow("yes") << u"yes"_s << -1;
    QTest::newRow("Truex") << u"Truex"_s << -1;
}

void TestApp::textToBooleanConversion()
{
    QFETCH(QString, text);
    QFETCH(int, result);
    if (result < 0) {
        try {
            textToBoolean(text);
            QFAIL("no failure");
        } catch (const Failure &failure) {
            QCOMPARE(failure.description(), u"Type mismatch"_s);
        }
        return;
    }
    QCOMPARE(textToBoolean(text), result == 1);
    QCOMPARE(booleanText(result == 1), result == 1 ? u"True"_s : u"False"_s);
}

void TestApp::errorText()
{
    const QString text
        = applicationErrorText(formLocation(u"PushButton10_Click"_s), 100, u"File not found"_s);
    QCOMPARE(text,
             u"File not found\r\nin Tarnwick2021/08/31.Form1.PushButton10_Click at line 100\r\r"
             "Please email screenshot of this message to support@brenmoor.example"_s);
    QCOMPARE(text.count(u"\r\n"_s), 1);
    QCOMPARE(text.count(u'\r'), 3);
}

void TestApp::errorBox()
{
    ScriptedDesktop desktop;
    ShowApplicationError(desktop, folderScanLocation(), 150, u"boom"_s);
    QCOMPARE(desktop.messages.size(), 1);
    QCOMPARE(desktop.messages.first().title, u"Application Error"_s);
    QCOMPARE(desktop.messages.first().icon, MessageIcon::Warning);
    QCOMPARE(desktop.messages.first().buttons, MessageButtons::Ok);
    QVERIFY(desktop.messages.first().text.contains(
        u"in Osterlin2021/08/31.AddFolder.GetSubDirectories2016 at line 150"_s));
}

void TestApp::guardGoesOnAfterFailures()
{
    ScriptedDesktop desktop;
    Guard guard(desktop, formLocation(u"PushButton4_Click"_s));
    QStringList ran;
    QVERIFY(guard.step(100, [&] { ran.append(u"100"_s); }));
    QVERIFY(!guard.step(102, [&] { throw Failure(u"first"_s); }));
    for (int i = 0; i < 3; ++i) {
        // A failure inside a loop reports for that turn, and the loop goes on.
        guard.step(104, [&] {
            if (i == 1)
                throw std::runtime_error("second");
            ran.append(u"104"_s);
        });
    }
    guard.step(124, [] { failDeepInside(); });
    guard.step(126, [] { throw std::bad_alloc(); });
    QCOMPARE(ran, (QStringList{u"100"_s, u"104"_s, u"104"_s}));
    QCOMPARE(desktop.messages.size(), 4);
    const QStringList expected{
        u"first\r\nin Tarnwick2021/08/31.Form1.PushButton4_Click at line 102"_s,
        u"second\r\nin Tarnwick2021/08/31.Form1.PushButton4_Click at line 104"_s,
        u"Path not found\r\nin Tarnwick2021/08/31.Form1.PushButton4_Click at line 124"_s,
        u"Out of memory\r\nin Tarnwick2021/08/31.Form1.PushButton4_Click at line 126"_s};
    for (qsizetype i = 0; i < expected.size(); ++i)
        QVERIFY2(desktop.messages.at(i).text.startsWith(expected.at(i)),
                 qPrintable(desktop.messages.at(i).text));
    QCOMPARE(guard.currentStep(), 126);
}

void TestApp::locations()
{
    QCOMPARE(formLocation(u"Form_Load"_s), u"in Tarnwick2021/08/31.Form1.Form_Load "_s);
    QCOMPARE(folderScanLocation(), u"in Osterlin2021/08/31.AddFolder.GetSubDirectories2016 "_s);
}

void TestApp::desktopHandlerOrder_data()
{
    QTest::addColumn<QStringList>("onPath");
    QTest::addColumn<QStringList>("notStarting");
    QTest::addColumn<QString>("startedLast"); // the handler that opens; empty for none
    QTest::addColumn<int>("attempts");
    QTest::newRow("xdg-open first") << QStringList{u"kde-open"_s, u"gio"_s, u"xdg-open"_s}
                                    << QStringList{} << u"/usr/bin/xdg-open"_s << 1;
    QTest::newRow("gio when xdg-open is missing")
        << QStringList{u"gio"_s, u"kde-open5"_s} << QStringList{} << u"/usr/bin/gio"_s << 1;
    QTest::newRow("on past one that does not start")
        << QStringList{u"xdg-open"_s, u"kde-open"_s} << QStringList{u"/usr/bin/xdg-open"_s}
        << u"/usr/bin/kde-open"_s << 2;
    QTest::newRow("none on PATH") << QStringList{} << QStringList{} << QString() << 0;
}

void TestApp::desktopHandlerOrder()
{
    QFETCH(QStringList, onPath);
    QFETCH(QStringList, notStarting);
    QFETCH(QString, startedLast);
    QFETCH(int, attempts);
    ScriptedDesktop desktop;
    desktop.programsOnPath = onPath;
    desktop.programsNotStarting = notStarting;
    // A folder's name goes percent-encoded, so its bytes survive as an argument.
    const QUrl folder = QUrl::fromLocalFile(u"/c/my cards/"_s);
    QCOMPARE(OpenWithDesktop(desktop, folder), !startedLast.isEmpty());
    QCOMPARE(desktop.started.size(), attempts);
    if (attempts == 0)
        return;
    const auto &last = desktop.started.last();
    QCOMPARE(last.program, startedLast);
    const QStringList before
        = startedLast.endsWith(u"gio"_s) ? QStringList{u"open"_s} : QStringList{};
    QCOMPARE(last.arguments, before + QStringList{u"file:///c/my%20cards/"_s});
}

void TestApp::nothingOpensTexts_data()
{
    QTest::addColumn<QString>("entry"); // the default text editor's Exec line; empty for none
    QTest::addColumn<QStringList>("onPath");
    QTest::addColumn<QString>("url"); // empty for the text editor
    QTest::addColumn<QString>("text"); // ENTRY stands for the entry's path

    const QString editors = u"gnome-text-editor, gedit, kate, mousepad, xed and pluma on PATH "
                            "(none found).\r\rInstall one, such as gedit or mousepad, or set a "
                            "default application for plain text."_s;
    QTest::newRow("no default editor")
        << QString() << QStringList{u"xdg-open"_s} << QString()
        << u"No text editor was found. Tried: the default application for text/plain (none is "
           "set), then "_s
            + editors;
    QTest::newRow("default editor unusable")
        << u"%f"_s << QStringList{} << QString()
        << u"No text editor was found. Tried: the default application for text/plain (its entry "
           "ENTRY could not be used), then "_s
            + editors;
    QTest::newRow("folder, no handler")
        << QString() << QStringList{u"gedit"_s} << u"file:///c/Samples/"_s
        << u"The folder /c/Samples/ could not be opened. Tried: xdg-open (not found), gio open "
           "(not found), kde-open5 (not found), kde-open (not found).\r\rInstall xdg-utils, or "
           "open the folder in a file manager."_s;
    QTest::newRow("address, handlers that do not start")
        << QString() << QStringList{u"xdg-open"_s, u"kde-open"_s} << u"https://brenmoor.example/"_s
        << u"The web address https://brenmoor.example/ could not be opened. Tried: xdg-open (did "
           "not open it), gio open (not found), kde-open5 (not found), kde-open (did not open it)."
           "\r\rSet a default web browser, or open the address in a web browser."_s;
    QTest::newRow("folder, no application for it")
        << QString() << QStringList{u"xdg-open"_s} << u"file:///c/Samples/"_s
        << u"The folder /c/Samples/ could not be opened. Tried: xdg-open (did not open it), gio "
           "open (not found), kde-open5 (not found), kde-open (not found).\r\rSet a file manager "
           "as the default application for folders, or open the folder in a file manager."_s;
}

void TestApp::nothingOpensTexts()
{
    QFETCH(QString, entry);
    QFETCH(QStringList, onPath);
    QFETCH(QString, url);
    QFETCH(QString, text);
    ScriptedDesktop desktop;
    desktop.programsOnPath = onPath;
    if (!url.isEmpty()) {
        desktop.programsNotStarting = {u"/usr/bin/xdg-open"_s, u"/usr/bin/kde-open"_s};
        QVERIFY(!OpenWithDesktop(desktop, QUrl(url)));
        QCOMPARE(notOpenedText(desktop, QUrl(url)), text);
        return;
    }
    if (!entry.isEmpty()) {
        desktop.textEditorEntry = writeTestFile(m_dir, u"ed.desktop"_s,
                                                "[Desktop Entry]\nExec=" + entry.toUtf8() + '\n');
    }
    QString defaultEntry;
    QVERIFY(!findTextEditor(desktop, &defaultEntry));
    QCOMPARE(noEditorText(defaultEntry),
             QString(text).replace(u"ENTRY"_s, desktop.textEditorEntry));
}

void TestApp::decodedArguments()
{
    // Both programs take every byte of every argument, the program's name first.
    const QList<QByteArray> bytes{"quillory-search", "caf\xE9.vcf", "", "M\xC3\xBCller",
                                  "d\xFF\x85/"};
    std::vector<const char *> argv;
    for (const QByteArray &argument : bytes)
        argv.push_back(argument.constData());
    const QStringList decoded = decodeArguments(int(argv.size()), argv.data());
    QCOMPARE(decoded.size(), bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        QCOMPARE(encodeFileName(decoded.at(i)), bytes.at(i));
    QCOMPARE(decoded.at(3), u"M\u00FCller"_s);
}

void TestApp::windowArguments_data()
{
    using Action = WindowCommandLine::Action;
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Action>("action");
    QTest::addColumn<QStringList>("paths"); // or, for an error, the error text
    QTest::newRow("none: the window starts as ever")
        << QStringList{} << Action::Run << QStringList{};
    QTest::newRow("absolute, relative and cleaned, in the order given")
        << QStringList{u"/cards/a.vcf"_s, u"b.vcf"_s, u"./sub//../c d/"_s, u"/"_s} << Action::Run
        << QStringList{u"/cards/a.vcf"_s, u"/home/u/b.vcf"_s, u"/home/u/c d"_s, u"/"_s};
    QTest::newRow("empty arguments ignored")
        << QStringList{QString(), u"a.vcf"_s} << Action::Run << QStringList{u"/home/u/a.vcf"_s};
    QTest::newRow("a name not UTF-8 keeps its bytes")
        << QStringList{decodeFileName("caf\xe9.vcf")} << Action::Run
        << QStringList{decodeFileName("/home/u/caf\xe9.vcf")};
    QTest::newRow("help") << QStringList{u"a.vcf"_s, u"--help"_s} << Action::Help << QStringList{};
    QTest::newRow("short help") << QStringList{u"-h"_s} << Action::Help << QStringList{};
    QTest::newRow("help wins over an unknown option")
        << QStringList{u"--frobnicate"_s, u"--help"_s} << Action::Help << QStringList{};
    QTest::newRow("version") << QStringList{u"--version"_s} << Action::Version << QStringList{};
    QTest::newRow("unknown option")
        << QStringList{u"a.vcf"_s, u"--frobnicate"_s, u"-x"_s} << Action::Error
        << QStringList{u"unknown option --frobnicate"_s};
    QTest::newRow("after --, options are paths")
        << QStringList{u"--"_s, u"--version"_s, u"-x.vcf"_s, u"--"_s} << Action::Run
        << QStringList{u"/home/u/--version"_s, u"/home/u/-x.vcf"_s, u"/home/u/--"_s};
    QTest::newRow("a lone dash is a path")
        << QStringList{u"-"_s} << Action::Run << QStringList{u"/home/u/-"_s};
}

void TestApp::windowArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(WindowCommandLine::Action, action);
    QFETCH(QStringList, paths);
    const WindowCommandLine parsed = parseWindowArguments(arguments, u"/home/u"_s);
    QCOMPARE(parsed.action, action);
    if (action == WindowCommandLine::Action::Error)
        QCOMPARE(QStringList{parsed.error}, paths);
    else
        QCOMPARE(parsed.paths, paths);
}

void TestApp::programFolder_data()
{
    QTest::addColumn<QStringList>("folders"); // made below a fresh folder
    QTest::addColumn<QString>("binary");
    QTest::addColumn<QString>("expected");
    QTest::newRow("installed in <prefix>/bin")
        << QStringList{u"usr/bin"_s, u"usr/share/quillory/Samples"_s} << u"usr/bin"_s
        << u"usr/share/quillory"_s;
    QTest::newRow("a build: the resources beside the binary")
        << QStringList{u"build/src/Samples"_s, u"build/share/quillory"_s} << u"build/src"_s
        << u"build/src"_s;
    QTest::newRow("neither: the binary's folder")
        << QStringList{u"opt/bin"_s} << u"opt/bin"_s << u"opt/bin"_s;
}

void TestApp::programFolder()
{
    QFETCH(QStringList, folders);
    QFETCH(QString, binary);
    QFETCH(QString, expected);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    for (const QString &folder : std::as_const(folders))
        QVERIFY(QDir(root.path()).mkpath(folder));
    QCOMPARE(programFolderFor(root.filePath(binary)), root.filePath(expected));
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], kReadSettingSwitch) == 0) {
        const SettingsStore store(QString::fromLocal8Bit(argv[2]));
        std::fputs(
            store.ReadSetting(QString::fromLocal8Bit(argv[3]), u"<absent>"_s).toUtf8().constData(),
            stdout);
        return 0;
    }
    TestApp test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_app.moc"
