// The contact record: loading by path, reuse for many files, cards, and files
// that exist but cannot be read.

#include "CardExpect.h"
#include "base/Failure.h"
#include "card/FileExists.h"
#include "card/clsVCF.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "TestFiles.h"

#include <sys/stat.h>

using namespace Qt::StringLiterals;

class TestCardRecord final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void newRecordIsEmpty();
    void fileExists_data();
    void fileExists();
    void emptyRecords_data();
    void emptyRecords();
    void reuseReplacesEveryField();
    void sameFileIsReadAgain();
    void cardsOfOneFile();
    void unreadableFiles_data();
    void unreadableFiles();

private:
    QString write(const QString &name, const QByteArray &bytes);
    QTemporaryDir m_dir;
};

QString TestCardRecord::write(const QString &name, const QByteArray &bytes)
{
    return writeTestFile(m_dir, name, bytes);
}

void TestCardRecord::initTestCase()
{
    QVERIFY(m_dir.isValid());
    write(u"plain.txt"_s, "not a card");
    QVERIFY(QDir(m_dir.path()).mkdir(u"folder.vcf"_s));
    QVERIFY(::mkfifo(QFile::encodeName(m_dir.filePath(u"fifo.vcf"_s)).constData(), 0600) == 0);
}

void TestCardRecord::newRecordIsEmpty()
{
    const clsVCF record;
    QVERIFY(record.Filename().isEmpty());
    QCOMPARE(record.CardCount(), 1);
    QVERIFY(record.Fields() == ContactFields{});
    QVERIFY(record.Emails().isEmpty());
    QVERIFY(record.Pager().isEmpty());
}

void TestCardRecord::fileExists_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("exists");
    QTest::newRow("regular file") << u"plain.txt"_s << true;
    QTest::newRow("folder") << u"folder.vcf"_s << true;
    QTest::newRow("missing") << u"missing.vcf"_s << false;
    QTest::newRow("path under a regular file") << u"plain.txt/inner.vcf"_s << false;
    QTest::newRow("empty path") << QString() << false;
}

void TestCardRecord::fileExists()
{
    QFETCH(QString, name);
    QFETCH(bool, exists);
    QCOMPARE(FileExists(name.isEmpty() ? QString() : m_dir.filePath(name)), exists);
}

void TestCardRecord::emptyRecords_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("missing file") << u"missing.vcf"_s;
    QTest::newRow("path under a regular file") << u"plain.txt/inner.vcf"_s;
    QTest::newRow("0-byte file") << u"empty.vcf"_s;
    QTest::newRow("text without a card") << u"plain.txt"_s;
}

void TestCardRecord::emptyRecords()
{
    QFETCH(QString, path);
    write(u"empty.vcf"_s, QByteArray());
    clsVCF record;
    record.setFilename(m_dir.filePath(u"plain.txt"_s));
    const QString full = m_dir.filePath(path);
    write(u"full.vcf"_s, "BEGIN:VCARD\nFN:Earlier\nEMAIL:e@example.org\nEND:VCARD\n");
    record.setFilename(m_dir.filePath(u"full.vcf"_s));
    record.setFilename(full);
    QCOMPARE(record.Filename(), full);
    QCOMPARE(record.CardCount(), 1);
    QVERIFY2(record.Fields() == ContactFields{}, qPrintable(fieldDifferences(record.Fields(), {})));
}

void TestCardRecord::reuseReplacesEveryField()
{
    const QString first
        = write(u"first.vcf"_s,
                "BEGIN:VCARD\nFN:Ann\nNICKNAME:Annie\nORG:Acme\nEMAIL:a@x\nEMAIL:b@x\n"
                "EMAIL:c@x\nADR;WORK:;Suite;Street;City;;;\nTEL;CELL:1\nEND:VCARD\n");
    const QString second = write(u"second.vcf"_s, "BEGIN:VCARD\nFN:Bob\nEND:VCARD\n");
    clsVCF record;
    record.setFilename(first);
    QCOMPARE(record.Emails().size(), 3);
    QCOMPARE(record.Nickname(), u"Annie"_s);
    record.setFilename(second);
    const ContactFields expected = expectedFields({{u"FirstName"_s, u"Bob"_s}});
    QVERIFY2(record.Fields() == expected, qPrintable(fieldDifferences(record.Fields(), expected)));
}

void TestCardRecord::sameFileIsReadAgain()
{
    const QString path = write(u"again.vcf"_s, "BEGIN:VCARD\nFN:Before\nEND:VCARD\n");
    clsVCF record;
    record.setFilename(path);
    QCOMPARE(record.FirstName(), u"Before"_s);
    write(u"again.vcf"_s, "BEGIN:VCARD\nFN:After\nEND:VCARD\n");
    record.setFilename(path);
    QCOMPARE(record.FirstName(), u"After"_s);
}

void TestCardRecord::cardsOfOneFile()
{
    clsVCF record;
    record.setFilename(QStringLiteral(QUILLORY_TEST_DATA "/cards/multi-nested.vcf"));
    QCOMPARE(record.CardCount(), 4);
    QStringList names;
    QList<QStringList> emails;
    for (qsizetype i = 0; i < record.CardCount(); ++i) {
        record.SelectCard(i);
        QCOMPARE(record.CurrentCard(), i);
        names.append(record.FirstName());
        emails.append(record.Emails());
    }
    QCOMPARE(names,
             (QStringList{u"First Card"_s, u"Outer Card"_s, u"Agent Card"_s, u"Last Card"_s}));
    QCOMPARE(emails.at(0), (QStringList{u"one@example.org"_s, u"two@example.org"_s}));
    QCOMPARE(emails.at(3), (QStringList{u"three@example.org"_s, u"four@example.org"_s}));
    record.SelectCard(1);
    QCOMPARE(record.BusinessPhones(), QStringList{u"555 0101"_s}); // after the nested card ends
    record.SelectCard(99);
    QCOMPARE(record.CurrentCard(), 1);

    // A new file starts again at its first card.
    record.setFilename(QStringLiteral(QUILLORY_TEST_DATA "/cards/shift-jis.vcf"));
    QCOMPARE(record.CardCount(), 1);
    QCOMPARE(record.CurrentCard(), 0);
}

void TestCardRecord::unreadableFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder in the file's place") << u"folder.vcf"_s << u"Is a directory"_s;
    QTest::newRow("FIFO in the file's place") << u"fifo.vcf"_s << u"Not a regular file"_s;
}

void TestCardRecord::unreadableFiles()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    const QString earlier = write(u"earlier.vcf"_s, "BEGIN:VCARD\nFN:Earlier\nEND:VCARD\n");
    clsVCF record;
    record.setFilename(earlier);
    const QString path = m_dir.filePath(name);
    try {
        record.setFilename(path);
        QFAIL("reading did not fail");
    } catch (const Failure &failure) {
        QVERIFY2(failure.description().contains(path), qPrintable(failure.description()));
        QVERIFY2(failure.description().contains(reason), qPrintable(failure.description()));
    }
    QCOMPARE(record.Filename(), path);
    QVERIFY(record.Fields() == ContactFields{}); // nothing of the earlier file remains
}

QTEST_GUILESS_MAIN(TestCardRecord)
#include "tst_card_record.moc"
