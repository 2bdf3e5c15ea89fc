// Small files read ahead of their search by threads of their own: the same rows, failures
// and reading facts as files read by their search, in list order, and a stop on the way.

#include "TestFiles.h"
#include "card/CardFile.h"
#include "search/FileSearch.h"
#include "search/ReadAhead.h"
#include "search/SearchRun.h"

#include <QDir>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

/// Everything a run tells, one line each, in the order told.
class TellingListener final : public SearchListener
{
public:
    QStringList told;
    int stopAtFile = -1;
    SearchRun *run = nullptr;

    void fileStarted(qsizetype index, const FileRef &) override
    {
        if (index == stopAtFile)
            run->requestStop();
    }
    bool rows(QList<ResultRow> &&rows) override
    {
        for (const ResultRow &row : rows)
            told.append(u"row %1 %2 %3 #%4 @%5"_s.arg(row.File, row.Tag, row.Value)
                            .arg(row.Card.number)
                            .arg(row.Card.file));
        return true;
    }
    void fileFailed(qsizetype index, FileFailure kind, const QString &description) override
    {
        told.append(u"failed %1 %2 %3"_s.arg(index).arg(int(kind)).arg(description));
    }
    void fileRead(qsizetype index, const ReadFacts &facts) override
    {
        told.append(u"read %1 %2 bytes, not read %3, changed %4, cards %5, %6"_s.arg(index)
                        .arg(facts.bytes)
                        .arg(int(facts.notRead))
                        .arg(facts.changedWhileRead)
                        .arg(facts.cards)
                        .arg(QString::fromLatin1(facts.sha256.toHex())));
    }
};

} // namespace

class TestReadAhead final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void heldBytesAreSearchedAsRead();
    void sameAsReadByTheSearch_data();
    void sameAsReadByTheSearch();
    void readersOnDemandWaitForAWake();

private:
    QStringList search(int threads, bool live, bool always = true, int stopAtFile = -1,
                       qsizetype *done = nullptr, bool byPath = false);

    QTemporaryDir m_dir;
    std::shared_ptr<FolderFiles> m_listed;
};

void TestReadAhead::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // A folder's list of names as a walk makes it: many small files of a few kinds, a
    // large one (left to its search), a folder and names that vanished.
    QStringList kinds;
    for (int i = 0; i < 5; ++i) {
        QByteArray cards;
        for (int k = 0; k <= i; ++k)
            cards += "BEGIN:VCARD\nFN:Person " + QByteArray::number(k)
                + "\nNOTE:" + (k % 2 ? "tech" : "none") + "\nEND:VCARD\n";
        kinds.append(writeTestFile(m_dir, u"kinds/kind%1.vcf"_s.arg(i), cards));
    }
    QByteArray large;
    while (large.size() <= ReadAhead::kMaxFileBytes)
        large += "BEGIN:VCARD\nFN:Nobody\nEND:VCARD\n";
    writeTestFile(m_dir, u"list/large.vcf"_s, large + "BEGIN:VCARD\nNOTE:tech\nEND:VCARD\n");
    QVERIFY(QDir().mkpath(m_dir.filePath(u"list/folder.vcf"_s)));
    auto listed = std::make_shared<FolderFiles>();
    listed->folder = m_dir.filePath(u"list/"_s);
    for (int i = 0; i < 3000; ++i) {
        QString name = u"f%1.vcf"_s.arg(i);
        if (i % 997 == 5)
            name = u"large.vcf"_s;
        else if (i % 401 == 7)
            name = u"folder.vcf"_s;
        else if (i % 503 == 9)
            name = u"vanished%1.vcf"_s.arg(i);
        else
            linkTestFile(kinds.at((i * 7 + i / 13) % kinds.size()), {listed->folder + name});
        listed->starts.push_back(std::uint32_t(listed->names.size()));
        listed->names += name.toStdString();
        listed->names += '\0';
    }
    m_listed = listed;
    // Read in the list's folder, it would give the other file's rows.
    writeTestFile(m_dir, u"lisx/f1.vcf"_s, "BEGIN:VCARD\nFN:Tech Elsewhere\nEND:VCARD\n");
}

QStringList TestReadAhead::search(int threads, bool live, bool always, int stopAtFile,
                                  qsizetype *done, bool byPath)
{
    SearchRun run({threads, live, true, true, true, always});
    SearchCriteria criteria;
    criteria.text = u"TECH"_s;
    run.setCriteria(criteria);
    if (!byPath) {
        run.addFiles(m_listed);
    } else {
        // The same files by their paths, runs of one folder broken by files of another and
        // by paths that name no file in a folder.
        // lisx/f1.vcf: a name of the list in a folder of the same length.
        const QStringList odd{m_dir.filePath(u"kinds/kind1.vcf"_s),
                              m_dir.filePath(u"lisx/f1.vcf"_s),
                              u"kind1.vcf"_s,
                              m_dir.filePath(u"list/"_s),
                              m_dir.filePath(u"list/f1.vcf"_s) + QChar(0),
                              m_dir.filePath(u"kinds/kind2.vcf/inner.vcf"_s),
                              QString()};
        QStringList paths;
        for (qsizetype i = 0; i < m_listed->size(); ++i) {
            paths.append(m_listed->path(i));
            if (i % 37 == 11)
                paths.append(odd.at(i % odd.size()));
        }
        run.addFiles(paths);
    }
    TellingListener listener;
    listener.run = &run;
    listener.stopAtFile = stopAtFile;
    const bool completed = run.run(listener);
    if (done)
        *done = run.filesDone();
    if (completed != (stopAtFile < 0))
        listener.told.append(u"completed %1"_s.arg(completed));
    return listener.told;
}

void TestReadAhead::heldBytesAreSearchedAsRead()
{
    // A file changed after it was read ahead is searched as read, with the stamp of the
    // bytes read, so that what is shown later knows it changed since.
    const QString path
        = writeTestFile(m_dir, u"held.vcf"_s, "BEGIN:VCARD\nFN:Tech One\nEND:VCARD\n");
    SearchCriteria criteria;
    criteria.text = u"tech"_s;
    const FileSearch search(criteria, 1, true);
    FolderHandle folder;
    const auto runParts = [](std::size_t count, const std::function<void(std::size_t)> &part) {
        for (std::size_t k = 0; k < count; ++k)
            part(k);
    };
    const auto searchFile = [&](FileBytes *read, ReadFacts &facts) {
        QList<ResultRow> found;
        const auto rows = [&](QList<ResultRow> &&batch) { found += batch; };
        const FileSearch::Failures failures = search.run(FileRef{path}, folder, rows, nullptr,
                                                         runParts, nullptr, nullptr, &facts, read);
        return failures.readFailure ? QList<ResultRow>{} : found;
    };
    FileBytes read;
    QVERIFY(search.readAhead(FileRef{path}, folder, nullptr, true, ReadAhead::kMaxFileBytes, read));
    writeTestFile(m_dir, u"held.vcf"_s,
                  "BEGIN:VCARD\nFN:Tech One\nEND:VCARD\nBEGIN:VCARD\nFN:Tech Two\nEND:VCARD\n");
    ReadFacts asRead;
    ReadFacts now;
    const QList<ResultRow> held = searchFile(&read, asRead);
    const QList<ResultRow> fresh = searchFile(nullptr, now);
    QCOMPARE(held.size(), 1);
    QCOMPARE(fresh.size(), 2);
    QVERIFY(held.first().Card.file != fresh.first().Card.file);
    QCOMPARE(asRead.bytes, 34);
    QCOMPARE(now.bytes, 68);
    QCOMPARE(asRead.cards, 1);
    // One over the bound is not read ahead.
    FileBytes large;
    QVERIFY(!search.readAhead(FileRef{path}, folder, nullptr, true, 67, large));
    QVERIFY(large.text.bytes.isEmpty() && !large.failure);
}

void TestReadAhead::sameAsReadByTheSearch_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<bool>("live");
    QTest::addColumn<int>("stopAtFile");
    QTest::addColumn<bool>("always");
    QTest::addColumn<bool>("byPath"); // the files given by their paths
    QTest::newRow("three workers") << 3 << false << -1 << true << false;
    QTest::newRow("two workers, live") << 2 << true << -1 << true << false;
    QTest::newRow("two workers, stopped") << 2 << false << 1700 << true << false;
    QTest::newRow("two workers, live, stopped") << 2 << true << 1200 << true << false;
    QTest::newRow("two workers, readers on demand") << 2 << false << -1 << false << false;
    QTest::newRow("files by path, read in batches") << 2 << false << -1 << false << true;
}

void TestReadAhead::sameAsReadByTheSearch()
{
    // One thread reads each file as it searches it: the rows, failures and facts of a run
    // with readers ahead must be the same, in the same order; a stopped run's a start of them.
    QFETCH(int, threads);
    QFETCH(bool, live);
    QFETCH(int, stopAtFile);
    QFETCH(bool, always);
    QFETCH(bool, byPath);
    const QStringList expected = search(1, false, true, -1, nullptr, byPath);
    QVERIFY(expected.size() > 3000);
    qsizetype done = 0;
    const QStringList got = search(threads, live, always, stopAtFile, &done, byPath);
    if (stopAtFile < 0) {
        QCOMPARE(got, expected);
        return;
    }
    QVERIFY(done <= stopAtFile + 1);
    QVERIFY(done >= stopAtFile);
    QCOMPARE(got, expected.first(got.size()));
}

void TestReadAhead::readersOnDemandWaitForAWake()
{
    // Files in memory are read by their searchers: readers on demand read none until a
    // searcher's read waited for the disk, and then read ahead.
    SearchCriteria criteria;
    criteria.text = u"tech"_s;
    const FileSearch search(criteria, 1, true);
    FileList files;
    files.append(m_listed);
    ReadAhead ahead(search, files, 0, false, nullptr, 4, true);
    QThread::msleep(20);
    for (qsizetype i = 0; i < 100; ++i)
        QVERIFY(!ahead.take(i));
    // A batch claimed while the readers rest is its searchers' own, also once they wake;
    // the readers go on after it.
    QVERIFY(!ahead.claim(100, 50));
    ahead.wake();
    QThread::msleep(50);
    for (qsizetype i = 100; i < 150; ++i)
        QVERIFY(!ahead.take(i));
    bool readAhead = false;
    for (qsizetype i = 150; i < 3000 && !readAhead; ++i) {
        readAhead = ahead.claim(i, 1) && ahead.take(i).has_value();
        QThread::msleep(2);
    }
    QVERIFY(readAhead);
}

QTEST_GUILESS_MAIN(TestReadAhead)
#include "tst_read_ahead.moc"
