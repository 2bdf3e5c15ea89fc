// The cards of a file read a block at a time are dumped as they are of the file read whole.

#include "cli/DumpCommand.h"

#include "BlockReading.h"
#include "TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

/// What a dump of the paths gives: its exit status, its output and its messages.
struct Dumped
{
    int status = 0;
    QByteArray out;
    QByteArray err;
};

QByteArray contents(std::FILE *file)
{
    std::rewind(file);
    QByteArray bytes;
    char buffer[65536];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        bytes.append(buffer, qsizetype(got));
    std::fclose(file);
    return bytes;
}

Dumped dump(const QStringList &paths)
{
    std::FILE *out = std::tmpfile();
    std::FILE *err = std::tmpfile();
    if (!out || !err)
        qFatal("cannot make a temporary file");
    const int status = runDump(paths, out, err);
    return {status, contents(out), contents(err)};
}

} // namespace

class TestCliDumpBlocks final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameInBlocks_data();
    void sameInBlocks();

private:
    QTemporaryDir m_dir;
    QStringList m_cutFiles;
};

void TestCliDumpBlocks::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QList<QByteArray> cut = blockCutFiles();
    for (qsizetype i = 0; i < cut.size(); ++i)
        m_cutFiles.append(writeTestFile(m_dir, u"%1.vcf"_s.arg(i), cut.at(i)));
    // A folder and a missing file among them are named as a file read whole names them.
    QVERIFY(QDir(m_dir.path()).mkdir(u"folder.vcf"_s));
    m_cutFiles.insert(2, m_dir.filePath(u"folder.vcf"_s));
    m_cutFiles.insert(4, m_dir.filePath(u"missing.vcf"_s));
}

void TestCliDumpBlocks::sameInBlocks_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<qsizetype>("blockBytes");
    const QStringList corpus
        = QFileInfo(corpusDir()).isDir() ? filesUnder(corpusDir()) : QStringList();
    QTest::newRow("test files, smallest blocks") << filesUnder(cardsDir()) << kSmallestBlock;
    QTest::newRow("real exporters' files, smallest blocks") << corpus << kSmallestBlock;
    QTest::newRow("real exporters' files, 4 KiB blocks") << corpus << qsizetype(4096);
    QTest::newRow("cut shapes, smallest blocks") << m_cutFiles << kSmallestBlock;
    QTest::newRow("cut shapes, 128-byte blocks") << m_cutFiles << qsizetype(128);
}

void TestCliDumpBlocks::sameInBlocks()
{
    QFETCH(QStringList, files);
    QFETCH(qsizetype, blockBytes);
    if (files.isEmpty())
        QSKIP(qPrintable(u"corpus folder not found: "_s + corpusDir()));
    const Dumped whole = dump(files);
    QVERIFY(!whole.out.isEmpty());
    const BlockSize blocks(blockBytes);
    const Dumped inBlocks = dump(files);
    QCOMPARE(inBlocks.err, whole.err);
    QCOMPARE(inBlocks.status, whole.status);
    const QList<QByteArray> wholeLines = whole.out.split('\n');
    const QList<QByteArray> blockLines = inBlocks.out.split('\n');
    for (qsizetype i = 0; i < qMin(wholeLines.size(), blockLines.size()); ++i)
        QCOMPARE(blockLines.at(i), wholeLines.at(i));
    QCOMPARE(blockLines.size(), wholeLines.size());
}

QTEST_GUILESS_MAIN(TestCliDumpBlocks)
#include "tst_cli_dump_blocks.moc"
