// Filling the lists: the file dialog, a folder's tree, drag and drop, list files, samples.

#include "WindowTest.h"
#include "base/NativePath.h"
#include "base/SettingsStore.h"
#include "filelist/FileListModel.h"
#include "gui/Form1.h"
#include "gui/QtDesktop.h"
#include "gui/TextProgressBar.h"
#include "results/ResultsModel.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSet>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "TestFiles.h"

#include <memory>

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QComboBox *sets(QWidget &form)
{
    return control<QComboBox>(form, "Combo1");
}

/// Sends a drag over and, when it is accepted, the drop; returns whether it was accepted.
bool drop(Form1 &form, QMimeData *data)
{
    QWidget *viewport = control<QTableView>(form, "ListView1")->viewport();
    const QPoint at(10, 10);
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent dropped(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &dropped);
    return true;
}

QMimeData *filesData(const QStringList &paths)
{
    auto *data = new QMimeData;
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls.append(QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

/// Writes a file under a folder by the bytes of its relative path, making the folders
/// on its way, as a name that is not UTF-8 can only be made; returns its full path.
QByteArray writeRaw(const QString &folder, const QByteArray &relative, const QByteArray &bytes)
{
    QByteArray path = QFile::encodeName(folder);
    for (const QByteArray &part : relative.split('/')) {
        if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
            qFatal("cannot make %s", path.constData());
        path += '/' + part;
    }
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || ::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size())
        qFatal("cannot write %s", path.constData());
    ::close(fd);
    return path;
}

/// Removes a tree by its bytes: QDir cannot remove names that are not UTF-8.
void removeRaw(const QString &folder)
{
    ::nftw(
        QFile::encodeName(folder).constData(),
        [](const char *path, const struct stat *, int, FTW *) { return ::remove(path); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

} // namespace

class TestWindowAdding final : public WindowTest
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void addFilesDialog_data();
    void addFilesDialog();
    void addFilesTooMany();
    void addAllCancelled_data();
    void addAllCancelled();
    void addAllTree_data();
    void addAllTree();
    void addAllRemembersAcrossARestart();
    void addAllIsBusyAndSaysWhatItReads();
    void addAllShowsProgressWhileEventsRun_data();
    void addAllShowsProgressWhileEventsRun();
    void dropping();
    void openWith_data();
    void openWith();
    void namesNotUtf8AndLongPaths_data();
    void namesNotUtf8AndLongPaths();
    void loadListFiles();
    void loadEmptyListFileWritesNothing();
    void sampleFiles();
    void searchOverTheSamples();
    void nothingOpensSaysSo();
    void openerThatFindsNoApplication_data();
    void openerThatFindsNoApplication();

private:
    std::unique_ptr<Form1> start(const QString &programFolder = {});
    QString write(const QString &name, const QByteArray &bytes = "BEGIN:VCARD\nFN:x\nEND:VCARD\n");
    QString tree();
};

void TestWindowAdding::init()
{
    QVERIFY(makeFixture());
}

void TestWindowAdding::cleanup()
{
    dropFixture();
}

std::unique_ptr<Form1> TestWindowAdding::start(const QString &programFolder)
{
    return startWindow(programFolder.isEmpty() ? m_dir->filePath(u"program"_s) : programFolder);
}

QString TestWindowAdding::write(const QString &name, const QByteArray &bytes)
{
    return writeTestFile(*m_dir, name, bytes);
}

/// tree/a.vcf, tree/b.txt, tree/~lock.vcf, tree/.hidden.vcf, tree/A/c.vcf, tree/B/d.vcf,
/// tree/A/A1/e.vcf
QString TestWindowAdding::tree()
{
    for (const char *name : {"tree/a.vcf", "tree/b.txt", "tree/~lock.vcf", "tree/.hidden.vcf",
                             "tree/A/c.vcf", "tree/B/d.vcf", "tree/A/A1/e.vcf"})
        write(QString::fromLatin1(name));
    return m_dir->filePath(u"tree"_s);
}

void TestWindowAdding::addFilesDialog_data()
{
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<QStringList>("added");
    QTest::newRow("cancelled") << QStringList{} << QStringList{};
    QTest::newRow("one file kept as handed over")
        << QStringList{u"/cards//one.vcf"_s} << QStringList{u"/cards//one.vcf"_s};
    QTest::newRow("several joined and normalised")
        << QStringList{u"/cards/a.vcf"_s, u"/cards/b b.VCF"_s, u"/c.vcf"_s}
        << QStringList{u"/cards/a.vcf"_s, u"/cards/b b.VCF"_s, u"/c.vcf"_s};
}

void TestWindowAdding::addFilesDialog()
{
    QFETCH(QStringList, chosen);
    QFETCH(QStringList, added);
    auto form = start();
    form->fileList().append(u"/already.vcf"_s);
    m_desktop->openResults.enqueue({chosen, false});
    button(*form, "PushButton1")->click();
    QCOMPARE(m_desktop->dialogTitles,
             QStringList{u"Add File(s) - Hold Ctrl to select multiple files|VCF Files "
                         "(*.vcf);;All Files (*)"_s});
    QCOMPARE(form->fileList().paths(), QStringList{u"/already.vcf"_s} + added);
    QVERIFY(m_desktop->messages.isEmpty());
}

void TestWindowAdding::addFilesTooMany()
{
    auto form = start();
    m_desktop->openResults.enqueue({{u"/a.vcf"_s, u"/b.vcf"_s}, true});
    button(*form, "PushButton1")->click();
    QCOMPARE(form->fileList().count(), 0);
    QCOMPARE(m_desktop->messages.size(), 1);
    QCOMPARE(
        m_desktop->messages.first().text,
        u"You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button."_s);
    QCOMPARE(m_desktop->messages.first().icon, MessageIcon::None);
}

void TestWindowAdding::addAllCancelled_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("storedExtension");
    QTest::addColumn<bool>("folderAsked");
    QTest::newRow("extension question cancelled") << QString() << u"absent"_s << false;
    QTest::newRow("folder picker cancelled") << u"txt"_s << u"txt"_s << true;
}

void TestWindowAdding::addAllCancelled()
{
    QFETCH(QString, extension);
    QFETCH(QString, storedExtension);
    QFETCH(bool, folderAsked);
    auto form = start();
    m_desktop->inputs.enqueue(extension);
    button(*form, "PushButton6")->click();
    QCOMPARE(m_desktop->inputPrompts.size(), 1);
    QCOMPARE(m_desktop->inputPrompts.first(),
             u"Enter file extension to load:\r\r(* for all files, txt for "
             "all txt files, doc for all doc files, etc.)"_s);
    QCOMPARE(m_desktop->inputDefaults.first(), u"vcf"_s);
    QCOMPARE(m_settings->ReadSetting(u"Extension"_s, u"absent"_s), storedExtension);
    QCOMPARE(m_desktop->folderStarts.size(), folderAsked ? 1 : 0);
    QCOMPARE(m_settings->ReadSetting(u"LastFolder"_s, u"absent"_s), u"absent"_s);
    QCOMPARE(form->fileList().count(), 0);
    QCOMPARE(form->MousePointer(), 0);
}

void TestWindowAdding::addAllTree_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("vcf, breadth-first, hidden taken, temporary skipped")
        << u"vcf"_s
        << QStringList{u".hidden.vcf"_s, u"a.vcf"_s, u"A/c.vcf"_s, u"B/d.vcf"_s, u"A/A1/e.vcf"_s};
    QTest::newRow("every file") << u"*"_s
                                << QStringList{u".hidden.vcf"_s, u"a.vcf"_s,   u"b.txt"_s,
                                               u"A/c.vcf"_s,     u"B/d.vcf"_s, u"A/A1/e.vcf"_s};
    QTest::newRow("a leading point matches nothing") << u".vcf"_s << QStringList{};
}

void TestWindowAdding::addAllTree()
{
    QFETCH(QString, extension);
    QFETCH(QStringList, files);
    const QString root = tree();
    auto form = start();
    m_desktop->inputs.enqueue(extension);
    m_desktop->folderResults.enqueue(root);
    button(*form, "PushButton6")->click();
    QStringList relative;
    for (const QString &path : form->fileList().paths())
        relative.append(QDir(root).relativeFilePath(path));
    QCOMPARE(relative, files);
    for (const QString &path : form->fileList().paths())
        QVERIFY2(!path.contains(u"//"_s), qPrintable(path));

    // A second press adds every file again.
    m_desktop->inputs.enqueue(extension);
    m_desktop->folderResults.enqueue(root + u'/');
    button(*form, "PushButton6")->click();
    QCOMPARE(form->fileList().count(), 2 * files.size());
    QVERIFY(m_desktop->messages.isEmpty());
}

void TestWindowAdding::addAllRemembersAcrossARestart()
{
    const QString root = tree();
    {
        auto form = start();
        m_desktop->inputs.enqueue(u"txt"_s);
        m_desktop->folderResults.enqueue(root);
        button(*form, "PushButton6")->click();
        QCOMPARE(m_desktop->folderStarts, QStringList{QString()});
    }
    auto form = start();
    m_desktop->inputs.enqueue(QString()); // cancelled: the stored extension stays
    button(*form, "PushButton6")->click();
    m_desktop->inputs.enqueue(u"vcf"_s);
    button(*form, "PushButton6")->click(); // folder picker cancelled
    QCOMPARE(m_desktop->inputDefaults, (QStringList{u"vcf"_s, u"txt"_s, u"txt"_s}));
    QCOMPARE(m_desktop->folderStarts, (QStringList{QString(), root}));
    QCOMPARE(m_settings->ReadSetting(u"Extension"_s, QString()), u"vcf"_s);
    QCOMPARE(m_settings->ReadSetting(u"LastFolder"_s, QString()), root);
}

void TestWindowAdding::addAllIsBusyAndSaysWhatItReads()
{
    const QString root = tree();
    auto form = start();
    auto *bar = control<TextProgressBar>(*form, "ProgressBar1");
    QSet<QString> seen;
    connect(&form->fileList(), &QAbstractItemModel::rowsInserted, this,
            [&] { seen.insert(u"%1 %2"_s.arg(form->MousePointer()).arg(bar->text())); });
    m_desktop->inputs.enqueue(u"vcf"_s);
    m_desktop->folderResults.enqueue(root);
    button(*form, "PushButton6")->click();
    QVERIFY(!seen.isEmpty());
    for (const QString &state : std::as_const(seen))
        QVERIFY2(state.startsWith(u"11 Scanning: "_s), qPrintable(state));
    QCOMPARE(bar->text(), u"Progress Bar"_s);
    QCOMPARE(form->MousePointer(), 0);
}

void TestWindowAdding::addAllShowsProgressWhileEventsRun_data()
{
    QTest::addColumn<int>("inA"); // files in cards/a
    QTest::addColumn<int>("inB"); // files in cards/b, the last folder read
    QTest::addColumn<bool>("closed"); // the window is closed at the first turn of events
    QTest::addColumn<QString>("inserting"); // the bar when the last files go into the list
    QTest::addColumn<QString>("after"); // the bar when the press is over
    QTest::newRow("a few thousand files")
        << 3000 << 2 << false << u"Scanning: b (3,002 files)"_s << u"Progress Bar"_s;
    QTest::newRow("one file") << 0 << 1 << false << u"Scanning: b (1 file)"_s << u"Progress Bar"_s;
    // The scan ends in the folder it was reading: nothing more is read or added.
    QTest::newRow("closing the window ends it")
        << 3000 << 2 << true << QString() << u"Scanning: cards"_s;
}

void TestWindowAdding::addAllShowsProgressWhileEventsRun()
{
    QFETCH(int, inA);
    QFETCH(int, inB);
    QFETCH(bool, closed);
    QFETCH(QString, inserting);
    QFETCH(QString, after);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const auto restoreLocale = qScopeGuard([] { QLocale::setDefault(QLocale::system()); });
    QDir().mkpath(m_dir->filePath(u"cards/a"_s));
    QStringList names;
    for (int i = 0; i < inA; ++i)
        names.append(m_dir->filePath(u"cards/a/%1.vcf"_s.arg(i)));
    for (int i = 0; i < inB; ++i)
        names.append(m_dir->filePath(u"cards/b/%1.vcf"_s.arg(i)));
    linkTestFile(write(u"card.vcf"_s), names);
    auto form = start();
    auto *bar = control<TextProgressBar>(*form, "ProgressBar1");
    // A zero timer fires at every turn of events: what it sees is what the window shows.
    QStringList seen;
    QTimer turns;
    connect(&turns, &QTimer::timeout, this, [&] {
        if (!form->isAdding())
            return;
        seen.append(bar->text());
        if (closed)
            form->close();
    });
    turns.start(0);
    QString lastInsert;
    connect(&form->fileList(), &QAbstractItemModel::rowsInserted, this,
            [&] { lastInsert = bar->text(); });
    m_desktop->inputs.enqueue(u"vcf"_s);
    m_desktop->folderResults.enqueue(m_dir->filePath(u"cards"_s));
    button(*form, "PushButton6")->click();
    turns.stop();

    QVERIFY(!seen.isEmpty());
    QCOMPARE(seen.first(), u"Scanning: cards"_s); // at once, before the first folder is read
    for (const QString &text : std::as_const(seen))
        QVERIFY2(text.startsWith(u"Scanning: "_s), qPrintable(text));
    QCOMPARE(lastInsert, inserting);
    QCOMPARE(form->fileList().count(), closed ? 0 : inA + inB);
    QVERIFY(!form->isAdding());
    QCOMPARE(bar->text(), after);
}

void TestWindowAdding::dropping()
{
    const QString root = tree();
    const QString other = write(u"other/x.vcf"_s);
    write(u"other/~x.vcf"_s);
    const QString readme = write(u"readme.txt"_s, "not a card");
    auto form = start();

    QMimeData text;
    text.setText(u"a selection from an editor"_s);
    QVERIFY(!drop(*form, &text)); // the no-drop effect
    QCOMPARE(form->fileList().count(), 0);

    std::unique_ptr<QMimeData> files(filesData({readme, m_dir->filePath(u"missing.vcf"_s)}));
    QVERIFY(drop(*form, files.get()));
    QCOMPARE(form->fileList().paths(), (QStringList{readme, m_dir->filePath(u"missing.vcf"_s)}));

    form->fileList().clear();
    std::unique_ptr<QMimeData> folders(filesData({root, m_dir->filePath(u"other"_s)}));
    QVERIFY(drop(*form, folders.get()));
    QStringList relative;
    for (const QString &path : form->fileList().paths())
        relative.append(QDir(m_dir->path()).relativeFilePath(path));
    QCOMPARE(
        relative,
        (QStringList{u"tree/.hidden.vcf"_s, u"tree/a.vcf"_s, u"tree/b.txt"_s, u"tree/A/c.vcf"_s,
                     u"tree/B/d.vcf"_s, u"tree/A/A1/e.vcf"_s, u"other/x.vcf"_s}));
    QCOMPARE(form->MousePointer(), 0);
    QVERIFY(m_desktop->messages.isEmpty());
}

void TestWindowAdding::openWith_data()
{
    QTest::addColumn<QString>("storedExtension"); // empty: none stored
    QTest::addColumn<QStringList>("named"); // below the test folder
    QTest::addColumn<QStringList>("added"); // below the test folder
    QTest::addColumn<QStringList>("missing"); // named in the message, below the test folder
    QTest::newRow("nothing named: nothing added, nothing said")
        << QString() << QStringList{} << QStringList{} << QStringList{};
    QTest::newRow("a folder with vcf when nothing is stored")
        << QString() << QStringList{u"tree/"_s}
        << QStringList{u"tree/.hidden.vcf"_s, u"tree/a.vcf"_s, u"tree/A/c.vcf"_s, u"tree/B/d.vcf"_s,
                       u"tree/A/A1/e.vcf"_s}
        << QStringList{};
    QTest::newRow("a folder with the stored extension")
        << u"txt"_s << QStringList{u"tree"_s} << QStringList{u"tree/b.txt"_s} << QStringList{};
    QTest::newRow("files as named, in order, each time named, around a folder")
        << u"txt"_s
        << QStringList{u"tree/A/c.vcf"_s, u"tree/~lock.vcf"_s, u"tree"_s, u"tree/A/c.vcf"_s}
        << QStringList{u"tree/A/c.vcf"_s, u"tree/~lock.vcf"_s, u"tree/b.txt"_s, u"tree/A/c.vcf"_s}
        << QStringList{};
    QTest::newRow("paths that do not exist are named, the others added")
        << QString() << QStringList{u"gone.vcf"_s, u"tree/a.vcf"_s, u"tree/gone/"_s}
        << QStringList{u"tree/a.vcf"_s} << QStringList{u"gone.vcf"_s, u"tree/gone/"_s};
}

void TestWindowAdding::openWith()
{
    QFETCH(QString, storedExtension);
    QFETCH(QStringList, named);
    QFETCH(QStringList, added);
    QFETCH(QStringList, missing);
    tree();
    if (!storedExtension.isEmpty())
        m_settings->WriteSetting(u"Extension"_s, storedExtension);
    auto form = start();
    QStringList paths;
    for (const QString &path : std::as_const(named))
        paths.append(m_dir->filePath(path));
    form->openPaths(paths);
    QStringList relative;
    for (const QString &path : form->fileList().paths())
        relative.append(QDir(m_dir->path()).relativeFilePath(path));
    QCOMPARE(relative, added);
    if (missing.isEmpty()) {
        QVERIFY(m_desktop->messages.isEmpty());
    } else {
        QCOMPARE(m_desktop->messages.size(), 1);
        QStringList lines;
        for (const QString &path : std::as_const(missing))
            lines.append(m_dir->filePath(path));
        QCOMPARE(m_desktop->messages.first().text, u"File not found:\r\r"_s + lines.join(u'\r'));
    }
    QCOMPARE(form->MousePointer(), 0);
    QCOMPARE(control<TextProgressBar>(*form, "ProgressBar1")->text(), u"Progress Bar"_s);
    QCOMPARE(m_settings->ReadSetting(u"Extension"_s, u"absent"_s),
             storedExtension.isEmpty() ? u"absent"_s : storedExtension);
}

void TestWindowAdding::namesNotUtf8AndLongPaths_data()
{
    QTest::addColumn<QByteArray>("card"); // below tree/, as bytes
    QTest::addColumn<QByteArray>("dropped"); // below tree/; empty: added with Add All
    const QByteArray folder(50, 'f');
    const QByteArray deep = QByteArray(folder + '/').repeated(8) + "deep.vcf";
    QTest::newRow("file name, Add All") << QByteArray("caf\xE9.vcf") << QByteArray();
    QTest::newRow("folder name, Add All") << QByteArray("d\xFF\x85/card.vcf") << QByteArray();
    QTest::newRow("path past 260 characters, Add All") << deep << QByteArray();
    QTest::newRow("file name, dropped") << QByteArray("caf\xE9.vcf") << QByteArray("caf\xE9.vcf");
    QTest::newRow("folder name, dropped")
        << QByteArray("d\xFF\x85/card.vcf") << QByteArray("d\xFF\x85");
}

void TestWindowAdding::namesNotUtf8AndLongPaths()
{
    QFETCH(QByteArray, card);
    QFETCH(QByteArray, dropped);
    const QString root = m_dir->filePath(u"tree"_s);
    const auto removeTree = qScopeGuard([&] { removeRaw(root); });
    const QByteArray path = writeRaw(root, card, "BEGIN:VCARD\nFN:Needle One\nEND:VCARD\n");
    auto form = start();
    if (dropped.isEmpty()) {
        m_desktop->inputs.enqueue(u"vcf"_s);
        m_desktop->folderResults.enqueue(root);
        button(*form, "PushButton6")->click();
    } else {
        const QByteArray encoded = QByteArray(QFile::encodeName(root) + '/' + dropped);
        std::unique_ptr<QMimeData> data(new QMimeData);
        data->setUrls({QUrl::fromEncoded("file://" + encoded.toPercentEncoding("/"))});
        QVERIFY(drop(*form, data.get()));
    }
    QCOMPARE(form->fileList().count(), 1);
    QCOMPARE(encodeFileName(form->fileList().text(1)), path);

    control<QLineEdit>(*form, "Text1")->setText(u"needle"_s);
    button(*form, "PushButton7")->click();
    QCOMPARE(m_desktop->messages.last().text, u"Done."_s);
    QCOMPARE(form->results().count(), 1);
    QCOMPARE(encodeFileName(form->results().cell(0, 1)), path);
    QCOMPARE(form->results().cell(0, 3), u"Needle One"_s);
    QCOMPARE(m_desktop->messages.size(), 1);
}

void TestWindowAdding::loadListFiles()
{
    const QString first = write(u"lists/first.txt"_s, "a\r\n\r\n   \r\n x \r\n\t\r\nb");
    const QString second = write(u"lists/second.txt"_s, "second\n");
    auto form = start();
    sets(*form)->addItem(u"kept"_s);
    m_desktop->openResults.enqueue(
        {{first, m_dir->filePath(u"lists/missing.txt"_s), second}, false});
    button(*form, "PushButton16")->click();
    QCOMPARE(
        m_desktop->dialogTitles.first(),
        u"Load List(s) - Hold Ctrl to select multiple list files|Text Files (*.txt);;All Files (*)"_s);
    QCOMPARE(comboEntries(*form),
             (QStringList{u"kept"_s, u"a"_s, u" x "_s, u"\t"_s, u"b"_s, u"second"_s}));
    QCOMPARE(m_desktop->messages.size(), 1);
    QCOMPARE(m_desktop->messages.first().text, u"File not found"_s);
    QCOMPARE(m_settings->ReadSetting(u"FindSets"_s, QString()), u"::kept::a:: x ::\t::b::second"_s);
    QCOMPARE(form->MousePointer(), 0);

    // The same file again: every line twice.
    m_desktop->openResults.enqueue({{second}, false});
    button(*form, "PushButton16")->click();
    QCOMPARE(comboEntries(*form).count(u"second"_s), 2);
}

void TestWindowAdding::loadEmptyListFileWritesNothing()
{
    const QString empty = write(u"empty.txt"_s, "");
    auto form = start();
    m_desktop->openResults.enqueue({{empty}, false});
    button(*form, "PushButton16")->click();
    QCOMPARE(sets(*form)->count(), 0);
    QCOMPARE(m_settings->ReadSetting(u"FindSets"_s, u"absent"_s), u"absent"_s);
    button(*form, "PushButton16")->click(); // cancelled
    QCOMPARE(m_settings->ReadSetting(u"FindSets"_s, u"absent"_s), u"absent"_s);
}

void TestWindowAdding::sampleFiles()
{
    const QString program = m_dir->filePath(u"program"_s);
    write(u"program/Samples/b.vcf"_s);
    write(u"program/Samples/a.vcf"_s);
    write(u"program/Samples/sub/ignored.vcf"_s);
    m_settings->WriteSetting(u"Option3"_s, u"False"_s);
    m_settings->WriteSetting(u"Option4"_s, u"True"_s);
    auto form = start(program);
    form->fileList().append(program + u"/Samples/A.vcf"_s); // another case: not the same path
    m_desktop->answers.enqueue(MessageAnswer::Yes);
    button(*form, "PushButton10")->click();
    m_desktop->answers.enqueue(MessageAnswer::No);
    button(*form, "PushButton10")->click();
    QCOMPARE(form->fileList().paths(),
             (QStringList{program + u"/Samples/A.vcf"_s, program + u"/Samples/a.vcf"_s,
                          program + u"/Samples/b.vcf"_s}));
    QCOMPARE(m_desktop->messages.size(), 2);
    QVERIFY(m_desktop->messages.first().text.startsWith(
        u"Would you like this software to open the folder"_s));
    QCOMPARE(m_desktop->messages.first().buttons, MessageButtons::YesNo);
    QCOMPARE(m_desktop->openedUrls, QList<QUrl>{QUrl::fromLocalFile(program + u"/Samples/"_s)});
    QCOMPARE(control<QLineEdit>(*form, "Text1")->text(), u"tech"_s);
    QVERIFY(control<QRadioButton>(*form, "Option3")->isChecked());
    QCOMPARE(m_settings->ReadSetting(u"Text1"_s, QString()), u"tech"_s);

    // Without a samples folder the question is still asked.
    auto bare = start(m_dir->filePath(u"nothing-here"_s));
    button(*bare, "PushButton10")->click();
    QCOMPARE(bare->fileList().count(), 0);
    QCOMPARE(m_desktop->messages.size(), 3);
}

void TestWindowAdding::nothingOpensSaysSo()
{
    // The maker's page at start-up and the samples folder, with no handler that starts.
    m_desktop->urlsOpen = false;
    m_desktop->programsOnPath = {u"gio"_s};
    m_desktop->draws.enqueue(6);
    const QString program = m_dir->filePath(u"program"_s);
    auto form = start(program);
    m_desktop->answers.enqueue(MessageAnswer::Yes);
    button(*form, "PushButton10")->click();
    const QString tried = u" could not be opened. Tried: xdg-open (not found), gio open (did not "
                          "open it), kde-open5 (not found), kde-open (not found).\r\r"_s;
    QCOMPARE(m_desktop->messages.size(), 3);
    QCOMPARE(m_desktop->messages.at(0).text,
             u"The web address https://brenmoor.example/"_s + tried
                 + u"Set a default web browser, or open the address in a web browser."_s);
    QCOMPARE(m_desktop->messages.at(0).title, u"Quillory"_s);
    QCOMPARE(m_desktop->messages.at(2).text,
             u"The folder "_s + program + u"/Samples/"_s + tried
                 + u"Set a file manager as the default application for folders, or open the "
                   "folder in a file manager."_s);
    QCOMPARE(m_desktop->messages.at(2).title, u"Quillory"_s);
    QCOMPARE(m_desktop->messages.at(2).buttons, MessageButtons::Ok);
}

void TestWindowAdding::openerThatFindsNoApplication_data()
{
    QTest::addColumn<QByteArray>("script"); // empty: no such program
    QTest::addColumn<bool>("opened");
    QTest::newRow("hands the address on") << QByteArray("exit 0") << true;
    QTest::newRow("no application for it, as xdg-open says") << QByteArray("exit 3") << false;
    QTest::newRow("runs the application itself") << QByteArray("exec sleep 4") << true;
    QTest::newRow("does not start") << QByteArray() << false;
}

void TestWindowAdding::openerThatFindsNoApplication()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, opened);
    const QString opener = m_dir->filePath(u"opener"_s);
    if (!script.isEmpty()) {
        write(u"opener"_s, "#!/bin/sh\n" + script + '\n');
        QVERIFY(QFile::setPermissions(opener, QFile::ReadOwner | QFile::ExeOwner));
    }
    QtDesktop desktop;
    QCOMPARE(desktop.runOpener(opener, {m_dir->filePath(u"program/Samples/"_s)}), opened);
}

void TestWindowAdding::searchOverTheSamples()
{
    auto form = start(QStringLiteral(QUILLORY_RESOURCES_DIR));
    button(*form, "PushButton10")->click();
    QVERIFY(form->fileList().count() >= 10);
    button(*form, "PushButton7")->click();
    QCOMPARE(m_desktop->messages.last().text, u"Done."_s);
    QSet<QString> files;
    QSet<QString> tags;
    for (qsizetype r = 0; r < form->results().count(); ++r) {
        files.insert(form->results().cell(r, 1));
        tags.insert(form->results().cell(r, 2));
        QVERIFY(form->results().cell(r, 3).contains(u"tech"_s, Qt::CaseInsensitive));
    }
    QVERIFY2(files.size() >= 6, qPrintable(QStringList(files.cbegin(), files.cend()).join(u'\n')));
    QVERIFY2(tags.size() >= 5, qPrintable(QStringList(tags.cbegin(), tags.cend()).join(u' ')));
}

QTEST_MAIN(TestWindowAdding)
#include "tst_window_adding.moc"
