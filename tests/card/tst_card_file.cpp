// Reading a card file by its path: what exists, what reads as one empty card, the
// cards of one file, and files that exist but cannot be read.

#include "CardExpect.h"
#include "base/Failure.h"
#include "base/FileExists.h"
#include "card/CardBlocks.h"
#include "card/CardFile.h"
#include "card/Charsets.h"
#include "card/FileBatch.h"
#include "card/Utf8Text.h"

#include <QDir>
#include <QFile>
#include <QCryptographicHash>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include "TestFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestCardFile final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fileExists_data();
    void fileExists();
    void emptyCards_data();
    void emptyCards();
    void cardsOfOneFile();
    void unreadableFiles_data();
    void unreadableFiles();
    void blocksMakeTheWholeText_data();
    void blocksMakeTheWholeText();
    void batchReadsAsOneByOne();

private:
    QString write(const QString &name, const QByteArray &bytes);
    QTemporaryDir m_dir;
};

QString TestCardFile::write(const QString &name, const QByteArray &bytes)
{
    return writeTestFile(m_dir, name, bytes);
}

void TestCardFile::initTestCase()
{
    QVERIFY(m_dir.isValid());
    write(u"plain.txt"_s, "not a card");
    QVERIFY(QDir(m_dir.path()).mkdir(u"folder.vcf"_s));
    QVERIFY(::mkfifo(QFile::encodeName(m_dir.filePath(u"fifo.vcf"_s)).constData(), 0600) == 0);
}

void TestCardFile::fileExists_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("exists");
    QTest::newRow("regular file") << u"plain.txt"_s << true;
    QTest::newRow("folder") << u"folder.vcf"_s << true;
    QTest::newRow("missing") << u"missing.vcf"_s << false;
    QTest::newRow("path under a regular file") << u"plain.txt/inner.vcf"_s << false;
    QTest::newRow("empty path") << QString() << false;
}

void TestCardFile::fileExists()
{
    QFETCH(QString, name);
    QFETCH(bool, exists);
    QCOMPARE(FileExists(name.isEmpty() ? QString() : m_dir.filePath(name)), exists);
}

void TestCardFile::emptyCards_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("missing file") << u"missing.vcf"_s;
    QTest::newRow("path under a regular file") << u"plain.txt/inner.vcf"_s;
    QTest::newRow("0-byte file") << u"empty.vcf"_s;
    QTest::newRow("text without a card") << u"plain.txt"_s;
}

void TestCardFile::emptyCards()
{
    QFETCH(QString, path);
    write(u"empty.vcf"_s, QByteArray());
    const QList<ContactFields> cards = readCards(m_dir.filePath(path));
    QCOMPARE(cards.size(), 1);
    QVERIFY2(cards.first() == ContactFields{}, qPrintable(fieldDifferences(cards.first(), {})));
}

void TestCardFile::cardsOfOneFile()
{
    const QList<ContactFields> cards = readCards(fixture(u"multi-nested.vcf"_s));
    QStringList names;
    for (const ContactFields &card : cards)
        names.append(card.FirstName);
    QCOMPARE(names,
             (QStringList{u"First Card"_s, u"Outer Card"_s, u"Agent Card"_s, u"Last Card"_s}));
    QCOMPARE(cards.at(0).Emails.toStringList(),
             (QStringList{u"one@example.org"_s, u"two@example.org"_s}));
    QCOMPARE(cards.at(3).Emails.toStringList(),
             (QStringList{u"three@example.org"_s, u"four@example.org"_s}));
    // after the nested card ends
    QCOMPARE(cards.at(1).BusinessPhones.toStringList(), QStringList{u"555 0101"_s});
}

void TestCardFile::unreadableFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder in the file's place") << u"folder.vcf"_s << u"Is a directory"_s;
    QTest::newRow("FIFO in the file's place") << u"fifo.vcf"_s << u"Not a regular file"_s;
}

void TestCardFile::unreadableFiles()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    const QString path = m_dir.filePath(name);
    try {
        readCards(path);
        QFAIL("reading did not fail");
    } catch (const Failure &failure) {
        QVERIFY2(failure.description().contains(path), qPrintable(failure.description()));
        QVERIFY2(failure.description().contains(reason), qPrintable(failure.description()));
    }
}

void TestCardFile::blocksMakeTheWholeText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("blockBytes");
    QByteArray cards;
    for (int i = 0; i < 50; ++i)
        cards += "BEGIN:VCARD\r\nFN:J\xFCrgen " + QByteArray::number(i) + "\r\nNOTE:a\r\n "
            + QByteArray(i % 9, 'b') + "\r\nEND:VCARD\r\n";
    const auto encoded = [](QStringConverter::Encoding encoding, const QByteArray &latin1) {
        QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
        return QByteArray(encoder(QString::fromLatin1(latin1)));
    };
    QTest::newRow("CR LF") << cards << 64;
    QTest::newRow("LF, cut after every card") << QByteArray(cards).replace("\r\n", "\n") << 1;
    QTest::newRow("CRs that a LF may end") << QByteArray(cards).replace("\r\n", "\r\r\r\n")
                                           << 100;
    QTest::newRow("no END line at all") << QByteArray(cards).replace("END:", "X-E:") << 64;
    QTest::newRow("UTF-16 with its mark") << encoded(QStringConverter::Utf16BE, cards) << 300;
    QTest::newRow("UTF-32 with its mark") << encoded(QStringConverter::Utf32LE, cards) << 300;
}

void TestCardFile::blocksMakeTheWholeText()
{
    // The blocks, one after the other, are the text read whole; each but the last ends
    // after an END line, and tells where it stands in the text and in the file.
    QFETCH(QByteArray, bytes);
    QFETCH(int, blockBytes);
    const QString path = write(u"blocks.vcf"_s, bytes);
    CardFile file(path);
    const CardBytes whole = file.read();
    CardFile again(path);
    FileDigest digest;
    CardBlockReader reader(again, blockBytes, nullptr, &digest);
    CardBlock block;
    QByteArray joined;
    // Every other block is kept as handed out: the reader must leave those alone, and
    // may fill the room of the others again.
    QList<QByteArray> kept;
    int blocks = 0;
    while (reader.next(block)) {
        ++blocks;
        if (block.last) {
            // Given again (its parts ended inside a card), the last block is the same
            // bytes in the same room: a whole file's worth is not copied.
            const QByteArray bytesBefore
                = QByteArray(block.text.bytes.constData(), block.text.bytes.size());
            const auto room = quintptr(block.text.bytes.constData());
            reader.extend(std::move(block));
            QVERIFY(reader.next(block));
            QVERIFY(block.last);
            QCOMPARE(block.text.bytes, bytesBefore);
            QCOMPARE(quintptr(block.text.bytes.constData()), room);
        }
        QCOMPARE(block.begin, joined.size());
        QCOMPARE(block.text.encoding, whole.encoding);
        if (!whole.isUtf32()) {
            const qint64 units = utf16Length(QByteArrayView(whole.bytes).first(joined.size()));
            QCOMPARE(block.text.fileOffset(0, 0), whole.fileOffset(joined.size(), units));
        }
        if (!block.last)
            QVERIFY(block.text.bytes.endsWith("END:VCARD\r\n") || block.text.bytes.endsWith("END:VCARD\n")
                    || block.text.bytes.endsWith("END:VCARD\r\r\r\n"));
        joined.append(block.text.bytes.constData(), block.text.bytes.size());
        kept.append(blocks % 2 == 0
                        ? block.text.bytes
                        : QByteArray(block.text.bytes.constData(), block.text.bytes.size()));
    }
    QCOMPARE(joined, whole.bytes);
    QCOMPARE(kept.join(), whole.bytes);
    QCOMPARE(reader.markBytes(), whole.markBytes);
    // In pieces, and in one piece with the thread's context used again.
    const QByteArray expected = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    QCOMPARE(digest.toHex(), expected);
    QCOMPARE(FileDigest::of(bytes).toHex(), expected);
    QCOMPARE(blocks > 1, whole.bytes.contains("END:"));
    // The charset of text without one, decided over the blocks as over the whole text.
    setCardBlockBytes(blockBytes);
    const cardreader::LegacyCharset scanned = scanLegacyCharset(file);
    setCardBlockBytes(0);
    cardreader::Charsets charsets(whole.bytes, whole.isUnicode());
    QCOMPARE(scanned.charset, charsets.legacyCharset());
    QCOMPARE(int(scanned.way), int(charsets.legacyWay()));
}

void TestCardFile::batchReadsAsOneByOne()
{
    // Files read many at a time: each file given has the bytes and stamp of a read one by
    // one; any other is left to that read, which tells why. A FIFO whose writer writes
    // nothing must not hold the batch.
    FileBatchReader batch;
    const qsizetype most = FileBatchReader::kMaxFileBytes;
    write(u"batch/small.vcf"_s, "BEGIN:VCARD\r\nFN:Ann\r\nEND:VCARD\r\n");
    write(u"batch/empty.vcf"_s, "");
    write(u"batch/most.vcf"_s, QByteArray(most, 'x'));
    write(u"batch/over.vcf"_s, QByteArray(most + 1, 'x'));
    write(u"batch/caf\u00e9\nline.vcf"_s, "FN:B\r\n");
    const QByteArray folder = QFile::encodeName(m_dir.filePath(u"batch"_s));
    QVERIFY(QDir().mkpath(m_dir.filePath(u"batch/sub.vcf"_s)));
    QCOMPARE(::symlink("small.vcf", QByteArray(folder + "/link.vcf").constData()), 0);
    QCOMPARE(::symlink("sub.vcf", QByteArray(folder + "/dirlink.vcf").constData()), 0);
    QCOMPARE(::mkfifo(QByteArray(folder + "/fifo.vcf").constData(), 0600), 0);
    const int writer = ::open(QByteArray(folder + "/fifo.vcf").constData(), O_RDWR | O_NONBLOCK);
    QVERIFY(writer >= 0);
    const int handle = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    QVERIFY(handle >= 0);
    const QList<QByteArray> given{"small.vcf", "empty.vcf", "most.vcf", "link.vcf",
                                  QFile::encodeName(u"caf\u00e9\nline.vcf"_s)};
    const QList<QByteArray> left{"over.vcf", "sub.vcf", "dirlink.vcf", "fifo.vcf", "gone.vcf"};
    std::vector<FileBatchReader::File> files;
    for (const QByteArray &name : given + left)
        files.push_back({name.constData(), false, {}, 0});
    // Twice: a ring's descriptors are used again after failures. The ring is made at the
    // first batch with a file to read.
    for (int round = 0; round < 2; ++round) {
        batch.read(handle, files);
        if (round == 0 && !batch.usable())
            QSKIP("The system offers no io_uring here: files are read one by one");
        QVERIFY(batch.usable());
        for (std::size_t k = 0; k < files.size(); ++k) {
            const QString path = QFile::decodeName(QByteArray(folder + '/' + files[k].name));
            QCOMPARE(files[k].read, k < std::size_t(given.size()));
            if (!files[k].read)
                continue;
            CardFile file(path);
            QCOMPARE(files[k].bytes, file.readAll());
            QCOMPARE(files[k].stamp, file.stamp());
        }
    }
    ::close(handle);
    ::close(writer);
}

QTEST_GUILESS_MAIN(TestCardFile)
#include "tst_card_file.moc"
