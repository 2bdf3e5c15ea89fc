// Saving the matching cards: each card as it stands in its file, reading back alike.

#include "base/Failure.h"
#include "base/NativePath.h"
#include "card/CardFile.h"
#include "card/CardParser.h"
#include "card/ContactFields.h"
#include "results/CardExport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "BlockReading.h"
#include "TestFiles.h"

#include <algorithm>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

/// A card of a file as the search saw it: the row it gives and its fields.
struct SearchedCard
{
    ResultRow row;
    ContactFields fields;
};

/// Every card of the file, as rows of a search would name them; its fields with the
/// values of its other properties.
QList<SearchedCard> searchedCards(const QString &path)
{
    QList<SearchedCard> cards;
    CardParser::parse(
        readCardFile(path),
        [&](ContactFields &&fields, const CardParser::Identity &identity) {
            const CardPlace place{identity.number, 0, identity.begin, identity.end};
            cards.append({ResultRow(path, u"Tag"_s, u"value"_s, identity.contact, u"text"_s, place),
                          std::move(fields)});
        },
        nullptr, nullptr, ParseOptions{true});
    return cards;
}

/// The cards of a file written, read as searchedCards reads them.
QList<ContactFields> writtenCards(const QString &path)
{
    QList<ContactFields> cards;
    CardParser::parse(
        readCardFile(path), [&](ContactFields &&card) { cards.append(std::move(card)); }, nullptr,
        nullptr, ParseOptions{true});
    return cards;
}

/// The first field in which two cards differ, for a failure message.
QString firstDifference(const ContactFields &a, const ContactFields &b)
{
    for (const ContactFieldInfo &field : declaredContactFields()) {
        const QString left = field.isList() ? (a.*field.list).join(u'|') : a.*field.text;
        const QString right = field.isList() ? (b.*field.list).join(u'|') : b.*field.text;
        if (left != right || (field.isList() && a.*field.list != b.*field.list))
            return field.name + u": \""_s + left + u"\" read back as \""_s + right + u'"';
    }
    const auto other = [](const ContactFields &card, qsizetype i) {
        return i < card.Others.values.size()
            ? card.Others.tags.value(i) + u'=' + card.Others.values.value(i)
            : QString();
    };
    for (qsizetype i = 0; i < qMax(a.Others.values.size(), b.Others.values.size()); ++i) {
        if (other(a, i) != other(b, i))
            return other(a, i) + u" read back as "_s + other(b, i);
    }
    return {};
}

/// The text as a UTF-16 file with a byte-order mark.
QByteArray utf16le(const QString &text)
{
    QByteArray bytes("\xFF\xFE");
    for (const QChar c : text)
        bytes.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    return bytes;
}

const QByteArray kRemoved = "<removed>";
const QByteArray kFolder = "<folder>";

} // namespace

class TestCardExport final : public QObject
{
    Q_OBJECT

private slots:
    void readsBackAlike_data();
    void readsBackAlike();
    void cards_data();
    void cards();
    void cardsInBlocks_data() { cards_data(); }
    void cardsInBlocks();
    void sameInBlocks_data();
    void sameInBlocks();
    void writeFailures_data();
    void writeFailures();
    void message();
};

void TestCardExport::readsBackAlike_data()
{
    QTest::addColumn<QStringList>("files");
    const QStringList testFiles = filesUnder(cardsDir());
    const QStringList corpus
        = QFileInfo(corpusDir()).isDir() ? filesUnder(corpusDir()) : QStringList();
    QTest::newRow("test files") << testFiles;
    QTest::newRow("real exporters' files") << corpus;
    // Cards of every encoding and legacy charset in one file.
    QTest::newRow("all in one file") << testFiles + corpus;
}

void TestCardExport::readsBackAlike()
{
    QFETCH(QStringList, files);
    if (files.isEmpty())
        QSKIP(qPrintable(u"corpus folder not found: "_s + corpusDir()));
    MatchingCards matching;
    QList<SearchedCard> searched;
    for (const QString &file : std::as_const(files)) {
        for (SearchedCard &card : searchedCards(file)) {
            matching.add(card.row);
            searched.append(std::move(card));
        }
    }
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"cards.vcf"_s);
    const SavedCards saved = SaveMatchingCards(matching, path);
    QCOMPARE(saved.problems, QList<CardExportProblem>());
    QCOMPARE(saved.written, searched.size());
    const QList<ContactFields> back = writtenCards(path);
    for (qsizetype i = 0; i < qMin(back.size(), searched.size()); ++i) {
        const SearchedCard &card = searched.at(i);
        QVERIFY2(back.at(i) == card.fields,
                 qPrintable(u"card %1 of %2: "_s.arg(card.row.Card.number).arg(card.row.File)
                            + firstDifference(card.fields, back.at(i))));
    }
    QCOMPARE(back.size(), searched.size());
}

void TestCardExport::cards_data()
{
    QTest::addColumn<QList<QByteArray>>("searched"); // the files f0.vcf, f1.vcf, ... then
    QTest::addColumn<QList<QByteArray>>("now"); // and at the save, where they changed
    QTest::addColumn<QStringList>("rows"); // "file:card" in row order
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<QStringList>("problems"); // "file: reason"

    const QByteArray next = "BEGIN:VCARD\nFN:Next\nEND:VCARD\n";
    QTest::newRow("nested cards cut out of their parents, each taken out on its own")
        << QList<QByteArray>{"BEGIN:VCARD\nFN:A\nAGENT:\nBEGIN:VCARD\nFN:B\nBEGIN:VCARD\nFN:C\n"
                             "END:VCARD\nTEL:2\nEND:VCARD\nTEL:1\nEND:VCARD\n"}
        << QList<QByteArray>{} << QStringList{u"0:2"_s, u"0:1"_s}
        << QByteArray("BEGIN:VCARD\nFN:B\nTEL:2\nEND:VCARD\nBEGIN:VCARD\nFN:A\nAGENT:\nTEL:1\n"
                      "END:VCARD\n")
        << QStringList{};
    // An agent begun on its AGENT line leaves that line to its holder; an escaped agent is
    // written as the card it holds; two cards joined without a line end come apart.
    QTest::newRow("agents and joined cards taken out on their own")
        << QList<QByteArray>{"BEGIN:VCARD\nFN:A\nAGENT:BEGIN:VCARD\nFN:B\nEND:VCARD\nTEL:1\n"
                             "AGENT:BEGIN:VCARD\\nFN:C\\, Jr.\\nEND:VCARD\nEND:VCARDBEGIN:VCARD\n"
                             "FN:D\nEND:VCARD\n"}
        << QList<QByteArray>{} << QStringList{u"0:1"_s, u"0:2"_s, u"0:3"_s, u"0:4"_s}
        << QByteArray("BEGIN:VCARD\nFN:A\nAGENT:\r\nTEL:1\nEND:VCARD\r\nBEGIN:VCARD\nFN:B\n"
                      "END:VCARD\nBEGIN:VCARD\r\nFN:C, Jr.\r\nEND:VCARD\r\nBEGIN:VCARD\nFN:D\n"
                      "END:VCARD\n")
        << QStringList{};
    QTest::newRow("a card without END and a last line without line end")
        << QList<QByteArray>{"BEGIN:VCARD\nFN:Open", next} << QList<QByteArray>{}
        << QStringList{u"0:1"_s, u"1:1"_s} << "BEGIN:VCARD\nFN:Open\r\nEND:VCARD\r\n" + next
        << QStringList{};
    QTest::newRow("an END line without line end")
        << QList<QByteArray>{"BEGIN:VCARD\nFN:A\nEND:VCARD", next} << QList<QByteArray>{}
        << QStringList{u"0:1"_s, u"1:1"_s} << "BEGIN:VCARD\nFN:A\nEND:VCARD\r\n" + next
        << QStringList{};
    QTest::newRow("a card without END around a nested card")
        << QList<QByteArray>{"BEGIN:VCARD\nFN:Open\nBEGIN:VCARD\nFN:In\nEND:VCARD\nNOTE:after\n"}
        << QList<QByteArray>{} << QStringList{u"0:1"_s, u"0:2"_s}
        << QByteArray("BEGIN:VCARD\nFN:Open\nNOTE:after\nEND:VCARD\r\nBEGIN:VCARD\nFN:In\n"
                      "END:VCARD\n")
        << QStringList{};
    QTest::newRow("a soft line break where a card without END ends")
        << QList<QByteArray>{"BEGIN:VCARD\nNOTE;QUOTED-PRINTABLE:a=", next} << QList<QByteArray>{}
        << QStringList{u"0:1"_s, u"1:1"_s}
        << "BEGIN:VCARD\nNOTE;QUOTED-PRINTABLE:a=\r\n\r\nEND:VCARD\r\n" + next << QStringList{};
    QTest::newRow("files without cards framed as cards")
        << QList<QByteArray>{"FN:Loose\nTEL:1\n", "FN:Other", " FN:Blank first\n"}
        << QList<QByteArray>{} << QStringList{u"0:1"_s, u"1:1"_s, u"2:1"_s}
        << QByteArray("BEGIN:VCARD\r\nFN:Loose\nTEL:1\nEND:VCARD\r\nBEGIN:VCARD\r\nFN:Other\r\n"
                      "END:VCARD\r\nBEGIN:VCARD\r\n\r\n FN:Blank first\nEND:VCARD\r\n")
        << QStringList{};
    QTest::newRow("lines outside every card, with an END line that ends nothing")
        << QList<QByteArray>{"NOTE:lead\nEND:VCARD\nBEGIN:VCARD\nFN:In\nEND:VCARD\nNOTE:tail\n"}
        << QList<QByteArray>{} << QStringList{u"0:1"_s, u"0:3"_s, u"0:2"_s}
        << QByteArray("BEGIN:VCARD\r\nNOTE:lead\nEND:VCARD\r\nBEGIN:VCARD\r\nNOTE:tail\n"
                      "END:VCARD\r\nBEGIN:VCARD\nFN:In\nEND:VCARD\n")
        << QStringList{};
    QTest::newRow("a UTF-16 file whose CHARSET its text does not follow")
        << QList<QByteArray>{utf16le(u"BEGIN:VCARD\r\nFN;CHARSET=ISO-8859-1:Jürgen\r\n"
                                     "END:VCARD\r\n"_s)}
        << QList<QByteArray>{} << QStringList{u"0:1"_s}
        << QByteArray("BEGIN:VCARD\r\nFN;CHARSET=ISO-8859-1;CHARSET=UTF-8:J\xC3\xBCrgen\r\n"
                      "END:VCARD\r\n")
        << QStringList{};
    // Text without a CHARSET that is not UTF-8 is read in the first charset its file names:
    // the file written names others.
    QTest::newRow("Windows-1252 and KOI8-R cards in one file")
        << QList<QByteArray>{"BEGIN:VCARD\r\nN;CHARSET=KOI8-R:\xF0\xC5\xD4\xD2\xCF\xD7\r\n"
                             "FN:\xE9\xD7\xC1\xCE\r\nEND:VCARD\r\n",
                             "BEGIN:VCARD\r\nFN:K\xE4the\r\nNOTE;ENCODING=QUOTED-PRINTABLE:Stra="
                             "DFe\r\n"
                             "ORG:ASCII only\r\nEND:VCARD\r\n"}
        << QList<QByteArray>{} << QStringList{u"1:1"_s, u"0:1"_s}
        << QByteArray("BEGIN:VCARD\r\nFN;CHARSET=windows-1252:K\xE4the\r\n"
                      "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=windows-1252:Stra=DFe\r\n"
                      "ORG:ASCII only\r\nEND:VCARD\r\n"
                      "BEGIN:VCARD\r\nN;CHARSET=KOI8-R:\xF0\xC5\xD4\xD2\xCF\xD7\r\n"
                      "FN;CHARSET=KOI8-R:\xE9\xD7\xC1\xCE\r\nEND:VCARD\r\n")
        << QStringList{};
    // A base64 text value reads as the file's legacy charset too.
    QTest::newRow("base64 text and another property in Windows-1252, beside KOI8-R")
        << QList<QByteArray>{"BEGIN:VCARD\r\nN;CHARSET=KOI8-R:\xF0\xC5\xD4\xD2\xCF\xD7\r\n"
                             "END:VCARD\r\n",
                             "BEGIN:VCARD\r\nFN:Ann\r\nNOTE;ENCODING=b:U3RyYd9l\r\n"
                             "X-CITY:K\xF6ln\r\nEND:VCARD\r\n"}
        << QList<QByteArray>{} << QStringList{u"0:1"_s, u"1:1"_s}
        << QByteArray("BEGIN:VCARD\r\nN;CHARSET=KOI8-R:\xF0\xC5\xD4\xD2\xCF\xD7\r\n"
                      "END:VCARD\r\nBEGIN:VCARD\r\nFN:Ann\r\n"
                      "NOTE;ENCODING=b;CHARSET=windows-1252:U3RyYd9l\r\n"
                      "X-CITY;CHARSET=windows-1252:K\xF6ln\r\nEND:VCARD\r\n")
        << QStringList{};
    QTest::newRow("a card in several rows, rows not in file order")
        << QList<QByteArray>{"BEGIN:VCARD\nFN:A\nEND:VCARD\nBEGIN:VCARD\nFN:B\nEND:VCARD\n", next}
        << QList<QByteArray>{} << QStringList{u"0:2"_s, u"0:2"_s, u"1:1"_s, u"0:1"_s, u"0:2"_s}
        << "BEGIN:VCARD\nFN:B\nEND:VCARD\n" + next + "BEGIN:VCARD\nFN:A\nEND:VCARD\n"
        << QStringList{};

    const QByteArray ann = "BEGIN:VCARD\nFN:Ann\nEND:VCARD\n";
    const auto changed = [&](const char *name, const QByteArray &now, const QString &reason) {
        QTest::newRow(name) << QList<QByteArray>{ann, next} << QList<QByteArray>{now, next}
                            << QStringList{u"0:1"_s, u"1:1"_s} << next
                            << QStringList{u"0: "_s + reason};
    };
    changed("another contact at the same place", "BEGIN:VCARD\nFN:Bob\nEND:VCARD\n",
            u"changed since the search"_s);
    changed("the same contact at another place", "BEGIN:VCARD\nVERSION:3.0\nFN:Ann\nEND:VCARD\n",
            u"changed since the search"_s);
    changed("a file cut short", "BEGIN:VCARD\nFN:Ann", u"changed since the search"_s);
    changed("a file removed", kRemoved, u"No such file or directory"_s);
    changed("a folder in the file's place", kFolder, u"Is a directory"_s);
    QTest::newRow("every card left out: no file")
        << QList<QByteArray>{ann} << QList<QByteArray>{kRemoved} << QStringList{u"0:1"_s}
        << QByteArray() << QStringList{u"0: No such file or directory"_s};
}

void TestCardExport::cards()
{
    QFETCH(QList<QByteArray>, searched);
    QFETCH(QList<QByteArray>, now);
    QFETCH(QStringList, rows);
    QFETCH(QByteArray, written);
    QFETCH(QStringList, problems);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QList<QList<SearchedCard>> files;
    for (qsizetype f = 0; f < searched.size(); ++f)
        files.append(searchedCards(writeTestFile(dir, u"f%1.vcf"_s.arg(f), searched.at(f))));
    for (qsizetype f = 0; f < now.size(); ++f) {
        const QString path = dir.filePath(u"f%1.vcf"_s.arg(f));
        if (now.at(f) == searched.at(f))
            continue;
        QVERIFY(QFile::remove(path));
        if (now.at(f) == kFolder)
            QVERIFY(QDir().mkdir(path));
        else if (now.at(f) != kRemoved)
            writeTestFile(dir, u"f%1.vcf"_s.arg(f), now.at(f));
    }
    MatchingCards matching;
    QList<ContactFields> expected; // the cards written, as they read in their files
    for (const QString &row : std::as_const(rows)) {
        const qsizetype f = row.section(u':', 0, 0).toInt();
        const SearchedCard &card = files.at(f).at(row.section(u':', 1).toInt() - 1);
        const qsizetype before = matching.size();
        matching.add(card.row);
        if (matching.size() > before && problems.filter(u"%1: "_s.arg(f)).isEmpty())
            expected.append(card.fields);
    }
    const QString path = dir.filePath(u"out/cards.vcf"_s);
    QVERIFY(QDir().mkpath(dir.filePath(u"out"_s)));
    const SavedCards saved = SaveMatchingCards(matching, path, nullptr, WhenNoCard::WriteNothing);
    QStringList reported;
    for (const CardExportProblem &problem : saved.problems)
        reported.append(QFileInfo(problem.file).baseName().sliced(1) + u": "_s + problem.reason);
    QCOMPARE(reported, problems);
    QCOMPARE(saved.written, expected.size());
    QCOMPARE(saved.leftOut, matching.size() - expected.size());
    QCOMPARE(QFile::exists(path), !expected.isEmpty());
    if (!expected.isEmpty()) {
        QCOMPARE(readTestFile(path), written);
        QCOMPARE(writtenCards(path), expected);
    }
}

void TestCardExport::cardsInBlocks()
{
    const BlockSize blocks(kSmallestBlock);
    cards();
}

void TestCardExport::sameInBlocks_data()
{
    QTest::addColumn<qsizetype>("blockBytes");
    QTest::addColumn<int>("order"); // of the rows: 0 the files', -1 its reverse, k > 0 every k-th
    QTest::addColumn<int>("every"); // only every n-th card has a row
    QTest::newRow("smallest blocks") << kSmallestBlock << 0 << 1;
    // Blocks without a card wanted are only counted.
    QTest::newRow("smallest blocks, every 9th card") << kSmallestBlock << 0 << 9;
    // Cards found before their turn are held, and those past the budget taken out by
    // further reads of the file.
    QTest::newRow("smallest blocks, rows reversed") << kSmallestBlock << -1 << 1;
    QTest::newRow("smallest blocks, rows shuffled") << kSmallestBlock << 7 << 1;
    QTest::newRow("4 KiB blocks, rows shuffled") << qsizetype(4096) << 3 << 2;
}

void TestCardExport::sameInBlocks()
{
    QFETCH(qsizetype, blockBytes);
    QFETCH(int, order);
    QFETCH(int, every);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList files = filesUnder(cardsDir());
    if (QFileInfo(corpusDir()).isDir())
        files += filesUnder(corpusDir());
    const QList<QByteArray> cut = blockCutFiles();
    for (qsizetype i = 0; i < cut.size(); ++i)
        files.append(writeTestFile(dir, u"cut/%1.vcf"_s.arg(i), cut.at(i)));
    // Each file's rows in the order asked.
    MatchingCards matching;
    for (const QString &file : std::as_const(files)) {
        QList<SearchedCard> cards;
        const QList<SearchedCard> all = searchedCards(file);
        for (qsizetype i = every - 1; i < all.size(); i += every)
            cards.append(all.at(i));
        if (order < 0)
            std::reverse(cards.begin(), cards.end());
        const qsizetype stride = qMax(order, 1);
        for (qsizetype start = 0; start < stride; ++start) {
            for (qsizetype i = start; i < cards.size(); i += stride)
                matching.add(cards.at(i).row);
        }
    }
    const auto save = [&](const QString &name) {
        const SavedCards saved = SaveMatchingCards(matching, dir.filePath(name));
        return std::pair(saved, readTestFile(dir.filePath(name)));
    };
    const auto [whole, wholeBytes] = save(u"whole.vcf"_s);
    QCOMPARE(whole.problems, QList<CardExportProblem>());
    QCOMPARE(whole.written, matching.size());
    const BlockSize blocks(blockBytes);
    const auto [inBlocks, blockBytesWritten] = save(u"blocks.vcf"_s);
    QCOMPARE(inBlocks.problems, whole.problems);
    QCOMPARE(inBlocks.written, whole.written);
    const auto differ = std::mismatch(wholeBytes.begin(), wholeBytes.end(),
                                      blockBytesWritten.begin(), blockBytesWritten.end());
    QVERIFY2(blockBytesWritten == wholeBytes,
             qPrintable(u"first difference at byte %1"_s.arg(differ.first - wholeBytes.begin())));
}

void TestCardExport::writeFailures_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<rlim_t>("sizeLimit"); // 0: none
    QTest::newRow("path under a regular file") << u"old.vcf/cards.vcf"_s << rlim_t(0);
    QTest::newRow("a folder in the file's place") << u"folder"_s << rlim_t(0);
    // As when the disk fills up: the write stops part way.
    QTest::newRow("file-size limit over the old file") << u"old.vcf"_s << rlim_t(4096);
    QTest::newRow("a name that is not UTF-8") << u"caf\xDCE9.vcf"_s << rlim_t(0);
    // A regular file put in their place would take the device's or the reader's data.
    QTest::newRow("a FIFO") << u"fifo"_s << rlim_t(0);
    QTest::newRow("a device") << u"/dev/null"_s << rlim_t(0);
    QTest::newRow("a link to a device") << u"null-link"_s << rlim_t(0);
}

void TestCardExport::writeFailures()
{
    QFETCH(QString, target);
    QFETCH(rlim_t, sizeLimit);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString old = writeTestFile(dir, u"old.vcf"_s, "old\r\n");
    QVERIFY(QDir(dir.path()).mkdir(u"folder"_s));
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(u"fifo"_s)).constData(), 0600), 0);
    QVERIFY(QFile::link(u"/dev/null"_s, dir.filePath(u"null-link"_s)));
    MatchingCards matching;
    const QString source
        = writeTestFile(dir, u"source/big.vcf"_s,
                        "BEGIN:VCARD\nFN:Big\nNOTE:" + QByteArray(20000, 'n') + "\nEND:VCARD\n");
    for (const SearchedCard &card : searchedCards(source))
        matching.add(card.row);
    const QString path = QDir(dir.path()).absoluteFilePath(target);
    struct stat before
    {
    };
    const bool existed = ::stat(QFile::encodeName(path).constData(), &before) == 0;
    // A write past the limit fails with EFBIG instead of raising SIGXFSZ.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &previous) == 0);
    if (sizeLimit != 0) {
        rlimit limited = previous;
        limited.rlim_cur = sizeLimit;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
    }
    QString failure;
    try {
        SaveMatchingCards(matching, path);
    } catch (const Failure &error) {
        failure = error.description();
    }
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &previous) == 0);
    std::signal(SIGXFSZ, previousHandler);
    QVERIFY2(failure.startsWith(displayFileName(path) + u": "_s),
             qPrintable(u"failure: "_s + failure));
    QCOMPARE(readTestFile(old), QByteArray("old\r\n"));
    // Nothing half-written is left, nor a file under another name.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::NoSymLinks), QStringList{u"old.vcf"_s});
    struct stat after
    {
    };
    if (existed) {
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &after), 0);
        QCOMPARE(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
        QCOMPARE(after.st_ino, before.st_ino);
    }
}

void TestCardExport::message()
{
    QCOMPARE(savedCardsText({1, {}}, u"a.vcf"_s), u"1 card has been saved to a.vcf."_s);
    QCOMPARE(savedCardsText({2, {}}, u"a.vcf"_s, u" (filter on)"_s),
             u"2 cards have been saved to a.vcf (filter on)."_s);
    QCOMPARE(savedCardsText({0,
                             {{u"/c/x.vcf"_s, u"changed since the search"_s},
                              {u"/c/y\xDCFF.vcf"_s, u"Is a directory"_s}},
                             2},
                            u"%1.vcf"_s),
             u"No card has been saved, and %1.vcf has not been written. 2 cards were left out."
             "\r\rCards of these files could not be taken out:"
             "\r/c/x.vcf: changed since the search\r/c/y\\xFF.vcf: Is a directory"_s);
}

QTEST_GUILESS_MAIN(TestCardExport)
#include "tst_card_export.moc"
