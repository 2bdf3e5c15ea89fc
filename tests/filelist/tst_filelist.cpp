// Path rules, the file list model, the folder walk and the intake of paths.

#include "TestFiles.h"
#include "base/NativePath.h"
#include "filelist/AddFolder.h"
#include "filelist/FileListModel.h"
#include "filelist/FolderAdd.h"
#include "filelist/FolderListing.h"
#include "filelist/PathIntake.h"
#include "filelist/PathRules.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <random>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

class TestFileList final : public QObject
{
    Q_OBJECT

private slots:
    void normalizePath_data();
    void normalizePath();
    void fileNameFromPath_data();
    void fileNameFromPath();
    void fileNameBytes_data();
    void fileNameBytes();
    void model();
    void modelOfNames_data();
    void modelOfNames();
    void unsupportedNames_data();
    void unsupportedNames();
    void existenceTests();
    void walkIsBreadthFirst();
    void walkSkipsAndRemoves();
    void walkEndsOnLoopingLinks();
    void listFiles_data();
    void listFiles();
    void addAllExtensions_data();
    void addAllExtensions();
    void oneWalkListsAsTheTwoSteps_data();
    void oneWalkListsAsTheTwoSteps();
    void longListing_data();
    void longListing();
    void asciiNamesSortAsBytes_data();
    void asciiNamesSortAsBytes();
    void intake_data();
    void intake();
    void folderAddBatches_data();
    void folderAddBatches();

private:
    QString makeTree(const QStringList &files);
    QTemporaryDir m_dir;
    int m_trees = 0;
};

/// Makes a tree of files, "name/" folders and "name -> target" links (the target
/// relative to the tree); returns its path.
QString TestFileList::makeTree(const QStringList &files)
{
    const QString root = m_dir.filePath(u"tree%1"_s.arg(++m_trees));
    QDir().mkpath(root);
    for (const QString &file : files) {
        if (const qsizetype arrow = file.indexOf(u" -> "_s); arrow > 0) {
            if (!QFile::link(QDir(root).absoluteFilePath(file.sliced(arrow + 4)),
                             root + u'/' + file.first(arrow)))
                qFatal("cannot link %s", qPrintable(file));
            continue;
        }
        const QString path = root + u'/' + file;
        if (file.endsWith(u'/')) {
            QDir().mkpath(path);
            continue;
        }
        QDir().mkpath(QFileInfo(path).path());
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        out.write("BEGIN:VCARD\nEND:VCARD\n");
    }
    return root;
}

void TestFileList::normalizePath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("normalized");
    QTest::newRow("drive root joined") << u"C:\\\\a.vcf"_s << u"C:\\a.vcf"_s;
    QTest::newRow("three backslashes, one pass") << u"C:\\\\\\a.vcf"_s << u"C:\\\\a.vcf"_s;
    QTest::newRow("four leading backslashes")
        << u"\\\\\\\\server\\share"_s << u"\\\\server\\share"_s;
    QTest::newRow("one leading backslash") << u"\\server\\share"_s << u"\\\\server\\share"_s;
    QTest::newRow("network path with doubled inner parts")
        << u"\\\\\\server\\\\share\\\\a.vcf"_s << u"\\\\server\\share\\a.vcf"_s;
    QTest::newRow("backslashes only") << u"\\\\\\"_s << u"\\\\"_s;
    QTest::newRow("absolute path stays") << u"/home/a"_s << u"/home/a"_s;
    QTest::newRow("two leading slashes") << u"//home/a"_s << u"/home/a"_s;
    QTest::newRow("folder and name joined") << u"/home/cards//a.vcf"_s << u"/home/cards/a.vcf"_s;
    QTest::newRow("three slashes, one pass") << u"/a///b"_s << u"/a//b"_s;
    QTest::newRow("root joined") << u"//a.vcf"_s << u"/a.vcf"_s;
    QTest::newRow("empty") << QString() << QString();
}

void TestFileList::normalizePath()
{
    QFETCH(QString, path);
    QFETCH(QString, normalized);
    QCOMPARE(NormalizePath(path), normalized);
}

void TestFileList::fileNameFromPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::newRow("full path") << u"/home/u/cards/a b.vcf"_s << u"a b.vcf"_s;
    QTest::newRow("no separator") << u"a.vcf"_s << u"a.vcf"_s;
    QTest::newRow("ends with a separator") << u"/home/u/"_s << QString();
    QTest::newRow("backslash is part of a name here") << u"/x/a\\b.vcf"_s << u"a\\b.vcf"_s;
}

void TestFileList::fileNameFromPath()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QCOMPARE(GetFileNameFromPath(path), name);
}

void TestFileList::fileNameBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text"); // null: not UTF-8, only the bytes are compared
    QTest::newRow("ASCII") << QByteArray("cards.vcf") << u"cards.vcf"_s;
    QTest::newRow("UTF-8") << QByteArray("M\xC3\xBCller \xE6\x9D\xB1 \xF0\x9F\x93\x87")
                           << u"Müller 東 📇"_s;
    QTest::newRow("byte-order mark and U+FFFD are names too")
        << QByteArray("\xEF\xBB\xBFx\xEF\xBF\xBD") << u"\uFEFFx\uFFFD"_s;
    QTest::newRow("lone 0xFF") << QByteArray("\xFF") << QString();
    QTest::newRow("Latin-1 byte") << QByteArray("caf\xE9.vcf") << QString();
    QTest::newRow("truncated sequence") << QByteArray("a\xE2\x82") << QString();
    QTest::newRow("encoded surrogate") << QByteArray("\xED\xA0\x80") << QString();
    QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << QString();
    QTest::newRow("past U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << QString();
    QTest::newRow("mixed") << QByteArray("\xF0\x90\x80\x80\xE9\xC3\xA9\x80\xF0\x90") << QString();
}

void TestFileList::fileNameBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    const QString decoded = decodeFileName(bytes);
    QCOMPARE(encodeFileName(decoded), bytes);
    QCOMPARE(hasUndecodableBytes(decoded), text.isNull());
    if (!text.isNull())
        QCOMPARE(decoded, text);
    const QString path = u"/a b/"_s + decoded;
    QCOMPARE(encodeFileName(localFilePath(fileUrl(path))), encodeFileName(path));
}

void TestFileList::model()
{
    FileListModel list;
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(list.headerData(0, Qt::Horizontal).toString(), u" VCF File(s)"_s);
    QVERIFY(!list.ListContainsPath(u"/a.vcf"_s));

    QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);
    list.append(QStringList{u"/a.vcf"_s, u"/b.vcf"_s, u"/a.vcf"_s});
    list.append(u"/C.vcf"_s);
    QCOMPARE(inserted.count(), 2); // one insertion per batch
    QCOMPARE(list.count(), 4);
    QCOMPARE(list.text(1), u"/a.vcf"_s);
    QCOMPARE(list.data(list.index(3)).toString(), u"/C.vcf"_s);

    QVERIFY(list.ListContainsPath(u"/C.vcf"_s));
    QVERIFY(!list.ListContainsPath(u"/c.vcf"_s)); // case-sensitive
    QVERIFY(!list.ListContainsPath(u"/C.vc"_s)); // whole text

    list.exchange(1, 4);
    QCOMPARE(list.paths(), (QStringList{u"/C.vcf"_s, u"/b.vcf"_s, u"/a.vcf"_s, u"/a.vcf"_s}));
    list.exchange(0, 2);
    list.exchange(2, 5);
    list.removeAt(2);
    QCOMPARE(list.paths(), (QStringList{u"/C.vcf"_s, u"/a.vcf"_s, u"/a.vcf"_s}));
    list.removeAt(0);
    list.removeAt(4);
    QCOMPARE(list.count(), 3);
    list.clear();
    QCOMPARE(list.count(), 0);
    list.clear();
}

namespace {

std::shared_ptr<FolderFiles> folderNames(const QString &folder, const QStringList &names)
{
    auto files = std::make_shared<FolderFiles>();
    files->folder = folder;
    for (const QString &name : names) {
        files->starts.push_back(std::uint32_t(files->names.size()));
        files->names.append(name.toLatin1().constData());
        files->names.push_back('\0');
    }
    return files;
}

QStringList listedPaths(const FileList &files)
{
    QStringList paths;
    for (qsizetype i = 0; i < files.size(); ++i)
        paths.append(files.pathAt(i));
    return paths;
}

} // namespace

void TestFileList::modelOfNames_data()
{
    // Steps: "n FOLDER NAME..." a folder's names, "p PATH..." paths, "x A B" an exchange,
    // "r POSITION COUNT" a removal.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("runs"); // of the list handed to a search at the end
    QTest::newRow("names and paths in order") << QStringList{u"n /d/ a b c"_s, u"p /x /y"_s,
                                                             u"n /e/ q"_s, u"p /z"_s}
                                              << 4;
    QTest::newRow("exchanged across sources")
        << QStringList{u"n /d/ a b c"_s, u"p /x /y"_s, u"x 2 5"_s, u"x 1 1"_s} << 5;
    QTest::newRow("a run taken from the middle of a folder")
        << QStringList{u"n /d/ a b c d e"_s, u"r 2 3"_s, u"p /x"_s, u"p /y"_s} << 3;
    QTest::newRow("every entry of a source removed, then more added")
        << QStringList{u"p /x /y"_s, u"n /d/ a"_s, u"r 1 2"_s, u"p /z"_s, u"r 1 1"_s,
                       u"n /d/ a"_s, u"p /w"_s}
        << 3;
    QTest::newRow("the same folder twice") << QStringList{u"n /d/ a b"_s, u"n /d/ a b"_s} << 2;
}

void TestFileList::modelOfNames()
{
    QFETCH(QStringList, steps);
    QFETCH(int, runs);
    FileListModel list;
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QStringList expected;
    for (const QString &step : std::as_const(steps)) {
        QStringList words = step.split(u' ');
        const QString kind = words.takeFirst();
        if (kind == u"n"_s) {
            const QString folder = words.takeFirst();
            FileList files;
            files.append(folderNames(folder, words));
            list.append(files);
            for (const QString &name : std::as_const(words))
                expected.append(folder + name);
        } else if (kind == u"p"_s) {
            list.append(words);
            expected.append(words);
        } else if (kind == u"x"_s) {
            list.exchange(words.at(0).toInt(), words.at(1).toInt());
            if (words.at(0) != words.at(1))
                expected.swapItemsAt(words.at(0).toInt() - 1, words.at(1).toInt() - 1);
        } else {
            list.removeRange(words.at(0).toInt(), words.at(1).toInt());
            expected.remove(words.at(0).toInt() - 1, words.at(1).toInt());
        }
        QCOMPARE(list.paths(), expected);
        QCOMPARE(listedPaths(list.files()), expected);
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QCOMPARE(list.text(i + 1), expected.at(i));
            QCOMPARE(list.data(list.index(int(i))).toString(), expected.at(i));
            QVERIFY(list.ListContainsPath(expected.at(i)));
            QVERIFY(!list.ListContainsPath(expected.at(i) + u'x'));
            QVERIFY(!list.ListContainsPath(expected.at(i).chopped(1)));
        }
    }
    QCOMPARE(qsizetype(list.files().runs().size()), qsizetype(runs));
    // A list handed on holds its files after the model is cleared.
    const FileList handed = list.files();
    list.clear();
    QCOMPARE(listedPaths(handed), expected);
}

void TestFileList::unsupportedNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("unsupported");
    QTest::newRow("plain") << u"Cards 2024"_s << false;
    QTest::newRow("non-ASCII letters") << u"Müller Ærø 東京"_s << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("question mark") << u"what?"_s << true;
    QTest::newRow("tab") << u"a\tb"_s << true;
    QTest::newRow("U+001F") << u"a\u001Fb"_s << true;
    QTest::newRow("U+007F") << u"a\u007Fb"_s << true;
    QTest::newRow("U+009F") << u"a\u009Fb"_s << true;
    QTest::newRow("U+00A0 is fine") << u"a\u00A0b"_s << false;
    QTest::newRow("U+FFFD is a character like any other") << u"a\uFFFDb"_s << false;
    QTest::newRow("bytes that are not UTF-8") << decodeFileName("bad\xFF\x85name") << false;
}

void TestFileList::unsupportedNames()
{
    QFETCH(QString, name);
    QFETCH(bool, unsupported);
    QCOMPARE(HasUnsupportedChars(name), unsupported);
}

void TestFileList::existenceTests()
{
    const QString root = makeTree({u"a.vcf"_s, u"sub/"_s});
    QVERIFY(QFile::link(root + u"/a.vcf"_s, root + u"/link.vcf"_s));
    QVERIFY(QFile::link(root + u"/gone.vcf"_s, root + u"/dangling.vcf"_s));
    QVERIFY(IsAccessibleFile(root + u"/a.vcf"_s));
    QVERIFY(IsAccessibleFile(root + u"/link.vcf"_s));
    QVERIFY(!IsAccessibleFile(root + u"/dangling.vcf"_s));
    QVERIFY(!IsAccessibleFile(root + u"/sub"_s));
    QVERIFY(!IsAccessibleFile(root + u"/a.vcf/x"_s));
    QVERIFY(!IsAccessibleFile(QString()));
    QVERIFY(FolderExists(root + u"/sub"_s));
    QVERIFY(FolderExists(root + u"/sub/"_s));
    QVERIFY(!FolderExists(root + u"/a.vcf"_s));
    QVERIFY(!FolderExists(root + u"/none"_s));
}

void TestFileList::walkIsBreadthFirst()
{
    const QString root = makeTree({u"B/B1/"_s, u"A/A1/deep/"_s, u"A/A2/"_s, u"C/"_s});
    QStringList collection{root + u'/'};
    QStringList read;
    FolderScanHooks hooks;
    hooks.readingFolder = [&](const QString &folder) { read.append(folder); };
    GetSubDirectories2016(collection, true, hooks);
    const QString s = root + u'/';
    const QStringList expected{s,
                               s + u"A/"_s,
                               s + u"B/"_s,
                               s + u"C/"_s,
                               s + u"A/A1/"_s,
                               s + u"A/A2/"_s,
                               s + u"B/B1/"_s,
                               s + u"A/A1/deep/"_s};
    QCOMPARE(collection, expected);
    QCOMPARE(read.size(), expected.size());

    QStringList lone{s + u"C/"_s};
    GetSubDirectories2016(lone, true);
    QCOMPARE(lone, QStringList{s + u"C/"_s});
}

void TestFileList::walkSkipsAndRemoves()
{
    const QString root
        = makeTree({u"ok/inner/"_s, u"bad?name/x/"_s, u"tab\tname/"_s, u"vanish/v1/"_s,
                    u"vanish2/"_s, u"vanish3/"_s, u".hidden/h1/"_s});
    const QString s = root + u'/';
    QStringList collection{s};
    FolderScanHooks hooks;
    // Two folders that disappear just before they are listed, as a refused or removed one
    // would, and one renamed while the folders before it are read.
    hooks.readingFolder = [&](const QString &folder) {
        if (folder.endsWith(u"/vanish/"_s) || folder.endsWith(u"/vanish2/"_s))
            QDir(folder).removeRecursively();
        if (folder.endsWith(u"/ok/"_s))
            QDir(s).rename(u"vanish3"_s, u"renamed"_s);
    };
    int reports = 0;
    hooks.report = [&](const QString &, int, const QString &) { ++reports; };
    QStringList unreadable;
    hooks.folderUnreadable = [&](const QString &folder, int error) {
        QCOMPARE(error, ENOENT);
        unreadable.append(folder);
    };
    GetSubDirectories2016(collection, true, hooks);
    QCOMPARE(collection,
             (QStringList{s, s + u".hidden/"_s, s + u"ok/"_s, s + u".hidden/h1/"_s,
                          s + u"ok/inner/"_s}));
    QCOMPARE(reports, 0);
    // Each is told to a caller that asks; the walk is the same.
    QCOMPARE(unreadable, (QStringList{s + u"vanish/"_s, s + u"vanish2/"_s, s + u"vanish3/"_s}));

    // A path past 260 characters is looked into like any other.
    QString longPath = s;
    while (longPath.size() < 259)
        longPath += u"d"_s;
    QVERIFY(QDir().mkpath(longPath + u"/under"_s));
    QStringList longCollection{longPath + u'/'};
    GetSubDirectories2016(longCollection, true);
    QCOMPARE(longCollection, (QStringList{longPath + u'/', longPath + u"/under/"_s}));
}

void TestFileList::walkEndsOnLoopingLinks()
{
    const QString root = makeTree({u"a/b/"_s, u"a/card.vcf"_s});
    QVERIFY(QFile::link(root + u"/a"_s, root + u"/a/b/back"_s));
    QVERIFY(QFile::link(root, root + u"/a/up"_s));
    QStringList collection{root + u'/'};
    GetSubDirectories2016(collection, true);
    QCOMPARE(collection, (QStringList{root + u'/', root + u"/a/"_s, root + u"/a/b/"_s}));
    QCOMPARE(collectFolderFiles(root, u"vcf"_s), QStringList{root + u"/a/card.vcf"_s});
}

void TestFileList::listFiles_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("extension, any case, hidden included, sorted")
        << u"*.vcf"_s << QStringList{u".hidden.vcf"_s, u"B.VCF"_s, u"a.vcf"_s, u"~tmp.vcf"_s};
    QTest::newRow("every file, with or without a point")
        << u"*.*"_s << QStringList{u".hidden.vcf"_s, u"B.VCF"_s,     u"README"_s,
                                   u"a.vcf"_s,       u"notes.txt"_s, u"~tmp.vcf"_s};
    QTest::newRow("question mark") << u"?.vcf"_s << QStringList{u"B.VCF"_s, u"a.vcf"_s};
    QTest::newRow("no match") << u"*.doc"_s << QStringList{};
}

void TestFileList::listFiles()
{
    QFETCH(QString, pattern);
    QFETCH(QStringList, names);
    static const QString root = makeTree({u"a.vcf"_s, u"B.VCF"_s, u".hidden.vcf"_s, u"~tmp.vcf"_s,
                                          u"notes.txt"_s, u"README"_s, u"folder.vcf/"_s});
    QCOMPARE(ListFilesInFolder(root, pattern), names);
    QCOMPARE(ListFilesInFolder(root + u'/', pattern), names);
}

void TestFileList::addAllExtensions_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QStringList>("files"); // relative to the tree
    QTest::newRow("vcf") << u"vcf"_s << QStringList{u"a.vcf"_s, u"sub/c.vcf"_s};
    QTest::newRow("every file") << u"*"_s << QStringList{u"a.vcf"_s, u"b.txt"_s, u"sub/c.vcf"_s};
    QTest::newRow("txt") << u"txt"_s << QStringList{u"b.txt"_s};
    QTest::newRow("a leading point matches nothing") << u".vcf"_s << QStringList{};
}

void TestFileList::addAllExtensions()
{
    QFETCH(QString, extension);
    QFETCH(QStringList, files);
    static const QString root = makeTree({u"a.vcf"_s, u"b.txt"_s, u"~lock.vcf"_s, u"sub/c.vcf"_s});
    QStringList expected;
    for (const QString &file : files)
        expected.append(root + u'/' + file);
    QCOMPARE(collectFolderFiles(root, extension), expected);
    // A trailing separator on the chosen folder changes nothing.
    QCOMPARE(collectFolderFiles(root + u'/', extension), expected);
}

void TestFileList::oneWalkListsAsTheTwoSteps_data()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QString>("extension");
    QTest::newRow("links reach one folder twice, and loop")
        << QStringList{u"A/a.vcf"_s,   u"A/~lock.vcf"_s,      u"A/deep/d.vcf"_s,
                       u"z.vcf"_s,     u"L1 -> A"_s,          u"L2 -> A"_s,
                       u"A/up -> ."_s, u"A/deep/back -> A"_s, u"f.vcf -> z.vcf"_s}
        << u"vcf"_s;
    QTest::newRow("every file, odd names, unsupported folder")
        << QStringList{u".h.vcf"_s,    u"b\\c.vcf"_s,  u"x.txt"_s,         u"sub/~t.txt"_s,
                       u"sub/y.VCF"_s, u"sub/ü.vcf"_s, u"bad?dir/z.vcf"_s, u"empty/"_s}
        << u"*"_s;
    QTest::newRow("nothing matches") << QStringList{u"a.txt"_s, u"sub/b.txt"_s} << u"vcf"_s;
    QTest::newRow("extension in capitals")
        << QStringList{u"a.VcF"_s, u"b.vcf"_s, u"~x.vcf"_s, u"c.vcfx"_s, u"sub/D.VCF"_s}
        << u"VCF"_s;
    QTest::newRow("wildcard extension")
        << QStringList{u"a.vcf"_s, u"b.vbf"_s, u"c.vcx"_s} << u"v?f"_s;
    // Sub-folders beside each other are listed ahead, on two threads, and their files
    // made ready there; a folder whose names cannot be handed on so is listed as paths.
    QTest::newRow("odd names in folders listed ahead")
        << QStringList{u"s1/b\\c.vcf"_s, u"s1/a.vcf"_s, u"s2/\u00fc.vcf"_s, u"s2/b.vcf"_s,
                       u"s3/~x.vcf"_s,   u"s3/C.VCF"_s, u"s4/"_s,           u"s5/e.vcf"_s,
                       u"s6/t.txt"_s,    u"s7/f.vcf"_s, u"s7/d.vcf"_s}
        << u"vcf"_s;
}

// Collecting a tree lists each folder once for its sub-folders and its files; the
// result is what the folder walk and filesInFolders give one after the other.
void TestFileList::oneWalkListsAsTheTwoSteps()
{
    QFETCH(QStringList, tree);
    QFETCH(QString, extension);
    const QString root = makeTree(tree);
    // Separators doubled at the start are kept in the paths as the two steps keep them.
    for (const QString &start : QStringList{root, root + u"//"_s}) {
        QStringList folders{start + u'/'};
        GetSubDirectories2016(folders, true);
        const QStringList expected = filesInFolders(folders, u"*."_s + extension);
        QCOMPARE(collectFolderFiles(start, extension), expected);

        QStringList listed;
        FolderScanHooks hooks;
        hooks.filesListed = [&](const QStringList &files) {
            QVERIFY(!files.isEmpty());
            const QString folder = QFileInfo(files.first()).path();
            for (const QString &file : files)
                QCOMPARE(QFileInfo(file).path(), folder); // one folder's files at a time
            listed += files;
        };
        scanFolderFiles(start, extension, hooks);
        QCOMPARE(listed, expected);

        // Folders handed on as names list the same files, in the same order, and a
        // list made of both kinds gives each path at its place.
        FileList all;
        hooks.filesListed = [&](const QStringList &files) { all.append(files); };
        hooks.folderFilesListed = [&](std::shared_ptr<const FolderFiles> files) {
            QVERIFY(files->size() > 0);
            all.append(std::move(files));
        };
        scanFolderFiles(start, extension, hooks);
        listed.clear();
        for (qsizetype i = 0; i < all.size(); ++i)
            listed.append(all.pathAt(i));
        QCOMPARE(listed, expected);
    }
}

void TestFileList::longListing_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<bool>("beside"); // in a sub-folder beside another: listed ahead
    QTest::newRow("ASCII names") << u"c"_s << false;
    QTest::newRow("names beyond ASCII") << u"é"_s << false;
    QTest::newRow("ASCII names, listed ahead") << u"c"_s << true;
    QTest::newRow("names beyond ASCII, listed ahead") << u"é"_s << true;
}

// A folder of thousands of names is listed in order, with turns for events while it
// is read, not only between folders.
void TestFileList::longListing()
{
    QFETCH(QString, prefix);
    QFETCH(bool, beside);
    constexpr int kFiles = 3000;
    const QString root
        = beside ? makeTree({u"card"_s, u"a/x.vcf"_s, u"big/"_s}) : makeTree({u"card"_s});
    const QString folder = beside ? root + u"/big"_s : root;
    QStringList expected;
    for (int i = 0; i < kFiles; ++i)
        expected.append(folder + u'/' + prefix + QString::number(i * 7919 % kFiles) + u".vcf"_s);
    linkTestFile(root + u"/card"_s, expected);
    std::sort(expected.begin(), expected.end());
    if (beside)
        expected.insert(0, root + u"/a/x.vcf"_s);

    int turns = 0;
    int turnsWhileListing = -1;
    FolderScanHooks hooks;
    hooks.processEvents = [&] { ++turns; };
    hooks.readingFolder = [&](const QString &) { turns = 0; };
    hooks.filesListed = [&](const QStringList &) { turnsWhileListing = turns; };
    QCOMPARE(collectFolderFiles(root, u"vcf"_s, hooks), expected);
    QVERIFY2(turnsWhileListing >= kFiles / 1024, qPrintable(QString::number(turnsWhileListing)));
}

void TestFileList::asciiNamesSortAsBytes_data()
{
    QTest::addColumn<QByteArray>("prefix"); // shared by every name
    QTest::addColumn<int>("longest"); // of the rest
    QTest::newRow("short names, some the start of others") << QByteArray() << 4;
    QTest::newRow("a long shared start") << QByteArray("contact-export-") << 12;
    QTest::newRow("differing only far past the shared start") << QByteArray("IMG_") << 30;
}

// Names sorted as numbers of their bytes after a shared start come in the order of their
// bytes.
void TestFileList::asciiNamesSortAsBytes()
{
    QFETCH(QByteArray, prefix);
    QFETCH(int, longest);
    std::mt19937 random(7);
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i) {
        std::string name = prefix.toStdString();
        const int length = int(random() % unsigned(longest + 1));
        for (int k = 0; k < length; ++k)
            name += k < 10 && longest > 20 ? 'a' : "ab0~"[random() % 4];
        names.push_back(name);
    }
    folderwalk::ListedNames listed;
    std::string arena;
    for (const std::string &name : names) {
        listed.spans.emplace_back(arena.size(), name.size());
        arena += name;
    }
    folderwalk::sortAsciiNames(arena, listed);
    std::sort(names.begin(), names.end());
    QVERIFY(listed.sorted);
    for (std::size_t i = 0; i < names.size(); ++i)
        QCOMPARE(arena.substr(listed.spans[i].first, listed.spans[i].second), names[i]);
}

void TestFileList::intake_data()
{
    QTest::addColumn<QStringList>("named"); // relative to the tree unless absolute
    QTest::addColumn<bool>("missingTold"); // false: a missing path goes with the files
    QTest::addColumn<bool>("folderStarts");
    QTest::addColumn<int>("stopAfter"); // events before the intake is stopped; -1 never
    QTest::addColumn<QStringList>("events");
    const QStringList mixed{u"a.vcf"_s, u"gone"_s, u"b.vcf"_s, u"sub"_s, u"a.vcf"_s};
    QTest::newRow("files together, a folder after them, missing told at once")
        << mixed << true << true << -1
        << QStringList{u"missing gone"_s, u"files a.vcf b.vcf"_s, u"folder sub"_s,
                       u"files a.vcf"_s};
    QTest::newRow("missing untold: kept with the files")
        << mixed << false << true << -1
        << QStringList{u"files a.vcf gone b.vcf"_s, u"folder sub"_s, u"files a.vcf"_s};
    QTest::newRow("stopped after a folder: later files left out")
        << mixed << true << true << 3
        << QStringList{u"missing gone"_s, u"files a.vcf b.vcf"_s, u"folder sub"_s};
    QTest::newRow("a trailing separator taken off, the root kept")
        << QStringList{u"sub/"_s, u"/"_s} << true << true << -1
        << QStringList{u"folder sub"_s, u"folder /"_s};
    QTest::newRow("folders as named") << QStringList{u"sub/"_s, u"sub//"_s} << true << false << -1
                                      << QStringList{u"folder sub/"_s, u"folder sub//"_s};
    QTest::newRow("a path under a file, and an empty one, name nothing")
        << QStringList{u"a.vcf/x"_s, QString()} << true << true << -1
        << QStringList{u"missing a.vcf/x"_s, u"missing "_s};
}

void TestFileList::intake()
{
    QFETCH(QStringList, named);
    QFETCH(bool, missingTold);
    QFETCH(bool, folderStarts);
    QFETCH(int, stopAfter);
    QFETCH(QStringList, events);
    static const QString root = makeTree({u"a.vcf"_s, u"b.vcf"_s, u"sub/"_s}) + u'/';
    QStringList paths;
    for (const QString &path : named)
        paths.append(path.isEmpty() || path.startsWith(u'/') ? path : root + path);
    QStringList seen;
    const auto shown
        = [](QString path) { return path.startsWith(root) ? path.mid(root.size()) : path; };
    PathIntake intake;
    intake.files = [&](const QStringList &files) {
        QStringList names;
        for (const QString &file : files)
            names.append(shown(file));
        seen.append(u"files "_s + names.join(u' '));
    };
    intake.folder = [&](const QString &folder) { seen.append(u"folder "_s + shown(folder)); };
    if (missingTold)
        intake.missing = [&](const QString &path) { seen.append(u"missing "_s + shown(path)); };
    intake.stopped = [&] { return seen.size() == stopAfter; };
    intake.folderStarts = folderStarts;
    QCOMPARE(takePaths(paths, intake), stopAfter < 0);
    QCOMPARE(seen, events);
}

void TestFileList::folderAddBatches_data()
{
    QTest::addColumn<bool>("turns"); // one turn at once, the next only after an hour
    QTest::addColumn<bool>("names"); // folders of ASCII names asked for as names
    QTest::addColumn<bool>("closeAtTurn");
    QTest::addColumn<bool>("list"); // the files asked for as one list at each turn
    // "p" paths, "n" names, and how many; a list's runs in brackets
    QTest::addColumn<QString>("batches");
    QTest::newRow("no turns: each folder as listed")
        << false << false << false << false << u"p1 p2 p2"_s;
    QTest::newRow("no turns, ASCII folders as names")
        << false << true << false << false << u"n1 n2 p2"_s;
    QTest::newRow("turns: files wait for the next or the end, as paths")
        << true << true << false << false << u"p5"_s;
    QTest::newRow("turns, as a list: ASCII folders as names")
        << true << false << false << true << u"[n1 n2 p2]"_s;
    QTest::newRow("closed at the first turn: nothing handed")
        << true << false << true << false << QString();
    QTest::newRow("closed at the first turn, as a list: nothing handed")
        << true << false << true << true << QString();
}

void TestFileList::folderAddBatches()
{
    QFETCH(bool, turns);
    QFETCH(bool, names);
    QFETCH(bool, closeAtTurn);
    QFETCH(bool, list);
    QFETCH(QString, batches);
    static const QString root = makeTree(
        {u"a.vcf"_s, u"A/b.vcf"_s, u"A/c.vcf"_s, u"A/x.txt"_s, u"é/d.vcf"_s, u"é/é.vcf"_s});
    QStringList handed;
    FileList all;
    bool closed = false;
    qsizetype lastFound = -1;
    FolderAddSink sink;
    sink.files = [&](const QStringList &files) {
        handed.append(u"p"_s + QString::number(files.size()));
        all.append(files);
    };
    if (names) {
        sink.folderFiles = [&](std::shared_ptr<const FolderFiles> files) {
            handed.append(u"n"_s + QString::number(files->size()));
            all.append(std::move(files));
        };
    }
    if (list) {
        sink.list = [&](const FileList &files) {
            QStringList runs;
            for (const FileList::Run &run : files.runs())
                runs.append((run.folder ? u"n"_s : u"p"_s) + QString::number(run.count));
            handed.append(u'[' + runs.join(u' ') + u']');
            all.append(files);
        };
    }
    int turnsTaken = 0;
    if (turns) {
        sink.turn = [&] {
            ++turnsTaken;
            closed = closeAtTurn;
        };
    }
    sink.progress = [&](const QString &, qsizetype found) { lastFound = found; };
    sink.cancelled = [&] { return closed; };
    FolderAdd add(std::move(sink), turns ? 3'600'000 : 0);
    add.scan(root, u"vcf"_s);
    add.finish();
    QCOMPARE(handed.join(u' '), batches);
    QCOMPARE(turnsTaken, turns ? 1 : 0);
    QStringList listed;
    for (qsizetype i = 0; i < all.size(); ++i)
        listed.append(all.pathAt(i));
    QCOMPARE(listed, closeAtTurn ? QStringList() : collectFolderFiles(root, u"vcf"_s));
    QCOMPARE(lastFound, listed.size());
}

QTEST_GUILESS_MAIN(TestFileList)
#include "tst_filelist.moc"
