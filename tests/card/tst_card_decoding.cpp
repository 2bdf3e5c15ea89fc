// From bytes to text: encodings, the Windows-1252 table, and the line reader.

#include "CardExpect.h"
#include "TestFiles.h"
#include "base/Failure.h"
#include "card/ByteSearch.h"
#include "card/CardBytes.h"
#include "card/CardParser.h"
#include "card/RFTSFSO.h"
#include "card/Utf8Text.h"
#include "card/ValueDecoding.h"
#include "card/Windows1252.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <cctype>
#include <cstdlib>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(CardEncoding)

namespace {

QByteArray readFixture(const QString &name)
{
    QFile file(fixture(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(name));
    return file.readAll();
}

} // namespace

class TestCardDecoding final : public QObject
{
    Q_OBJECT

private slots:
    void encodingDetection_data();
    void encodingDetection();
    void unicodeFixtures_data();
    void unicodeFixtures();
    void legacyFixtures();
    void undeclaredCharsets_data();
    void undeclaredCharsets();
    void windows1252Table();
    void utf8Validity_data();
    void utf8Validity();
    void hexDigitsOfEveryByte();
    void byteScansAgreeWithPlainLoops();
    void valueCleanedInOneLook();
    void readFileLines_data();
    void readFileLines();
    void readFileLinesFailure();

private:
    QTemporaryDir m_dir;
};

void TestCardDecoding::encodingDetection_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<CardEncoding>("encoding");
    QTest::addColumn<QByteArray>("prepared"); // what the parser gets: UTF-8 or the raw bytes

    QTest::newRow("FF FE is little-endian UTF-16, mark dropped")
        << QByteArray("\xFF\xFE"
                      "B\0",
                      4)
        << CardEncoding::Utf16LE << QByteArray("B");
    // Its mark begins with UTF-16's; bytes after the last whole code point are dropped.
    QTest::newRow("FF FE 00 00 is little-endian UTF-32")
        << QByteArray("\xFF\xFE\0\0N\0\0\0:\0\0\0\xFC\0\0\0\x00\xF6\x01\0A", 21)
        << CardEncoding::Utf32LE << QByteArray("N:\xC3\xBC\xF0\x9F\x98\x80");
    QTest::newRow("00 00 FE FF is big-endian UTF-32")
        << QByteArray("\0\0\xFE\xFF\0\0\0N\0\0\0:\0\0\0\xFC", 16) << CardEncoding::Utf32BE
        << QByteArray("N:\xC3\xBC");
    QTest::newRow("FE FF is big-endian UTF-16, mark dropped")
        << QByteArray("\xFE\xFF\0B\0\xFC", 6) << CardEncoding::Utf16BE << QByteArray("B\xC3\xBC");
    QTest::newRow("odd last byte of UTF-16 is dropped") << QByteArray("\xFF\xFE"
                                                                      "A\0B",
                                                                      5)
                                                        << CardEncoding::Utf16LE << QByteArray("A");
    QTest::newRow("UTF-16LE without a mark, by its zero bytes")
        << QByteArray("F\0N\0:\0x\0", 8) << CardEncoding::Utf16LE << QByteArray("FN:x");
    QTest::newRow("UTF-16BE without a mark, by its zero bytes")
        << QByteArray("\0F\0N\0:\0x", 8) << CardEncoding::Utf16BE << QByteArray("FN:x");
    // Mostly CJK text: few zero bytes, but VCARD is written in UTF-16 all the same.
    const QString cjk = u"BEGIN:VCARD\r\nFN:王小明\r\nNOTE:"_s + QString(300, QChar(0x6F22))
        + u"\r\nEND:VCARD\r\n"_s;
    QByteArray cjkLe;
    QByteArray cjkBe;
    for (const QChar c : cjk) {
        cjkLe.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
        cjkBe.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
    }
    QTest::newRow("UTF-16LE without a mark, mostly CJK")
        << cjkLe << CardEncoding::Utf16LE << cjk.toUtf8();
    QTest::newRow("UTF-16BE without a mark, mostly CJK")
        << cjkBe << CardEncoding::Utf16BE << cjk.toUtf8();
    // UTF-16 is converted in pieces of 8 MiB: a pair across two of them stays whole.
    const QString split = QString((qsizetype(4) << 20) - 1, u'x') + u"😀\r\n"_s;
    QTest::newRow("UTF-16LE, a surrogate pair across two pieces")
        << QByteArray("\xFF\xFE")
            + QByteArray(reinterpret_cast<const char *>(split.utf16()), split.size() * 2)
        << CardEncoding::Utf16LE << split.toUtf8();
    QTest::newRow("EF BB BF is UTF-8, mark dropped") << QByteArray("\xEF\xBB\xBF"
                                                                   "FN:x")
                                                     << CardEncoding::Utf8Bom << QByteArray("FN:x");
    QTest::newRow("a mark alone") << QByteArray("\xEF\xBB\xBF") << CardEncoding::Utf8Bom
                                  << QByteArray();
    QTest::newRow("lone FE before ASCII is not UTF-16") << QByteArray("\xFE"
                                                                      "FN:x")
                                                        << CardEncoding::Legacy
                                                        << QByteArray("\xFE"
                                                                      "FN:x");
    QTest::newRow("lone FF before ASCII is not UTF-16") << QByteArray("\xFF"
                                                                      "BEGIN")
                                                        << CardEncoding::Legacy
                                                        << QByteArray("\xFF"
                                                                      "BEGIN");
    QTest::newRow("one NUL in an 8-bit file is not UTF-16")
        << QByteArray("BEGIN:VCARD\nFN:a\0b\n", 19) << CardEncoding::Legacy
        << QByteArray("BEGIN:VCARD\nFN:a\0b\n", 19);
    QTest::newRow("one byte") << QByteArray("\0", 1) << CardEncoding::Legacy << QByteArray("\0", 1);
    QTest::newRow("empty") << QByteArray() << CardEncoding::Legacy << QByteArray();
}

void TestCardDecoding::encodingDetection()
{
    QFETCH(QByteArray, bytes);
    QFETCH(CardEncoding, encoding);
    QFETCH(QByteArray, prepared);
    QCOMPARE(detectCardEncoding(bytes), encoding);
    const CardBytes result = prepareCardBytes(bytes);
    QCOMPARE(result.encoding, encoding);
    QCOMPARE(result.bytes, prepared);
}

void TestCardDecoding::unicodeFixtures_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("UTF-16LE with mark") << u"utf16le-bom.vcf"_s;
    QTest::newRow("UTF-16BE without mark") << u"utf16be-nomark.vcf"_s;
    QTest::newRow("UTF-16BE with mark and CR line ends") << u"utf16be-mark-cr.vcf"_s;
    QTest::newRow("UTF-8 with mark") << u"utf8-bom.vcf"_s;
}

void TestCardDecoding::unicodeFixtures()
{
    // The same card in four Unicode forms; the first line after the mark is read too.
    QFETCH(QString, file);
    const QList<ContactFields> cards = CardParser::parseBytes(readFixture(file));
    QCOMPARE(cards.size(), 1);
    const ContactFields expected = expectedFields({
        {u"FirstName"_s, u"Jürgen"_s},
        {u"LastName"_s, u"Groß"_s},
        {u"Emails"_s, QStringList{u"jg@example.org"_s}},
        {u"Mobile"_s, u"+49 170 1234567"_s},
    });
    QVERIFY2(cards.first() == expected, qPrintable(fieldDifferences(cards.first(), expected)));

    const QByteArray first = prepareCardBytes("\xFF\xFE" + QByteArray("F\0N\0:\0B\0", 8)).bytes;
    QCOMPARE(CardParser::parseBytes("\xFF\xFE" + QByteArray("F\0N\0:\0B\0", 8)).first().FirstName,
             u"B"_s);
    QCOMPARE(first, QByteArray("FN:B"));
}

void TestCardDecoding::legacyFixtures()
{
    const ContactFields cp1252
        = CardParser::parseBytes(readFixture(u"cp1252-nocharset.vcf"_s)).first();
    QCOMPARE(cp1252.FirstName, u"Käthe Müller"_s);
    QCOMPARE(cp1252.LastName, u"Müller"_s);
    QCOMPARE(cp1252.Notes, u"Straße 5 zweite Zeile €"_s);

    const ContactFields sjis = CardParser::parseBytes(readFixture(u"shift-jis.vcf"_s)).first();
    QCOMPARE(sjis.FirstName, u"安藤 ロイド"_s);
    QCOMPARE(sjis.LastName, u"安藤"_s);
    QCOMPARE(sjis.HomePhones, QStringList{u"0300000000"_s});

    const ContactFields ios = CardParser::parseBytes(readFixture(u"ios-crcrlf.vcf"_s)).first();
    QCOMPARE(ios.FirstName, u"Johnny Appleseed"_s);
    QCOMPARE(ios.Notes, u"A long note that the exporter folded over two lines"_s);
    QCOMPARE(ios.Emails, QStringList{u"johnny@example.com"_s});
}

void TestCardDecoding::undeclaredCharsets_data()
{
    // A short card as old phones and mail programs wrote it: no CHARSET on its lines,
    // unless extra names one. The values are read in readIn (empty: writtenIn).
    QTest::addColumn<QByteArray>("writtenIn");
    QTest::addColumn<QByteArray>("readIn");
    QTest::addColumn<QByteArray>("extra");
    QTest::addColumn<QStringList>("values"); // family, given, ORG, street, city, NOTE

    const auto row = [](const char *name, const char *charset, const char *values) {
        QTest::newRow(name) << QByteArray(charset) << QByteArray() << QByteArray()
                            << QString::fromUtf8(values).split(u'|');
    };
    // ソ and 能 end in the byte of a backslash.
    row("Japanese in Shift_JIS", "Shift_JIS",
        "山田|太郎|ソフト開発株式会社|西新宿2-8-1|新宿区|"
        "来週の会議について連絡すること。能登の出身");
    row("simplified Chinese in GBK", "GBK",
        "王|伟|华为技术有限公司|建国路88号|北京市朝阳区|下周一开会，请回电话");
    row("traditional Chinese in Big5", "Big5",
        "陳|志明|中華電信|信義路五段7號|台北市信義區|大學同學，週末請勿打擾");
    row("Russian in Windows-1251", "windows-1251",
        "Иванов|Сергей|Газпром|ул. Ленина, д. 5|Москва|Позвонить после обеда");
    row("Russian in KOI8-R", "KOI8-R",
        "Смирнова|Ольга|Сбербанк|Невский проспект, д. 28|Санкт-Петербург|День рождения в мае");
    row("Polish in ISO-8859-2", "ISO-8859-2",
        "Wiśniewska|Małgorzata|Łódzkie Zakłady|ul. Świętokrzyska 12|Kraków|Zadzwonić w przyszłym "
        "tygodniu");
    row("Czech in ISO-8859-2", "ISO-8859-2",
        "Dvořák|Jiří|Škoda Auto|Křižíkova 8|Praha|Narozeniny v květnu, žádné dárky");
    row("German in Windows-1252", "windows-1252",
        "Müller|Jürgen|Bäckerei Schäfer GmbH|Hauptstraße 5|München|Rückruf erwünscht, 120 € "
        "pro Stück");
    // ICU alone reads this one as ISO-8859-2: ñ becomes ń.
    row("Spanish and French in Windows-1252", "windows-1252",
        "Núñez|Ana|Café Lumière|Calle Mayor 4|Málaga|Cumpleaños en diciembre");
    // What a file names wins over what its text looks like.
    QTest::newRow("a charset the file names")
        << QByteArray("windows-1251") << QByteArray("KOI8-R")
        << QByteArray("TITLE;CHARSET=KOI8-R:x\r\n")
        << u"Иванов|Сергей|Газпром|ул. Ленина, д. 5|Москва|Позвонить после обеда"_s.split(u'|');
}

void TestCardDecoding::undeclaredCharsets()
{
    QFETCH(QByteArray, writtenIn);
    QFETCH(QByteArray, readIn);
    QFETCH(QByteArray, extra);
    QFETCH(QStringList, values);
    const QString card
        = u"BEGIN:VCARD\r\nVERSION:2.1\r\nN:%1;%2;;;\r\nFN:%2 %1\r\nORG:%3\r\n"
          "TEL;CELL:+49 170 1234567\r\nADR;HOME:;;%4;%5;;10115;\r\nNOTE:%6\r\n"_s.arg(
              values[0], values[1], values[2], values[3], values[4], values[5]);
    QStringEncoder encoder(writtenIn.constData());
    const QByteArray bytes = QByteArray(encoder.encode(card)) + extra + "END:VCARD\r\n";
    QVERIFY(!encoder.hasError());
    if (!readIn.isEmpty()) {
        QStringDecoder decoder(readIn.constData());
        for (QString &value : values)
            value = decoder.decode(QByteArray(QStringEncoder(writtenIn.constData()).encode(value)));
    }
    values[1] += u' ' + values[0]; // FirstName is FN's text
    const ContactFields fields = CardParser::parseBytes(bytes).first();
    const QStringList read{fields.LastName,     fields.FirstName, fields.Organization,
                           fields.HomeAddress1, fields.HomeCity,  fields.Notes};
    QCOMPARE(read, values);
}

void TestCardDecoding::windows1252Table()
{
    QByteArray all(256, Qt::Uninitialized);
    for (int i = 0; i < 256; ++i)
        all[i] = char(i);
    const QString text = decodeWindows1252(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(QSet<QChar>(text.cbegin(), text.cend()).size(),
             256); // one character per byte, none shared
    QCOMPARE(text.at(0x41), QChar(u'A'));
    QCOMPARE(text.at(0x80), QChar(u'€'));
    QCOMPARE(text.at(0x81), QChar(0x0081));
    QCOMPARE(text.at(0x8D), QChar(0x008D));
    QCOMPARE(text.at(0x92), QChar(u'’'));
    QCOMPARE(text.at(0x9F), QChar(u'Ÿ'));
    QCOMPARE(text.at(0xA0), QChar(0x00A0));
    QCOMPARE(text.at(0xE9), QChar(u'é'));
    QCOMPARE(text.at(0xFF), QChar(u'ÿ'));
    // A UTF-8 mark read byte by byte, as a file that was never decoded shows it.
    QCOMPARE(decodeWindows1252("\xEF\xBB\xBFZ\xC3\xBCrich"), u"ï»¿ZÃ¼rich"_s);
    QVERIFY(isWindows1252Name(" Windows-1252"));
    QVERIFY(isWindows1252Name("CP1252"));
    QVERIFY(!isWindows1252Name("windows-1251"));
}

void TestCardDecoding::utf8Validity_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    QTest::newRow("ASCII") << QByteArray("plain") << true;
    QTest::newRow("two, three and four bytes")
        << QByteArray("\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80") << true;
    QTest::newRow("highest code point") << QByteArray("\xF4\x8F\xBF\xBF") << true;
    QTest::newRow("above the highest code point") << QByteArray("\xF4\x90\x80\x80") << false;
    QTest::newRow("overlong two bytes") << QByteArray("\xC0\xAF") << false;
    QTest::newRow("overlong three bytes") << QByteArray("\xE0\x80\xAF") << false;
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << false;
    QTest::newRow("cut at the end") << QByteArray("ab\xE2\x82") << false;
    QTest::newRow("lone continuation byte") << QByteArray("\x80") << false;
    QTest::newRow("Latin-1 letter") << QByteArray("Caf\xE9") << false;
    // Long ASCII runs are checked many bytes at a time: a wrong byte just past each step.
    const QByteArray run(40, 'a');
    for (const qsizetype at : {8, 31, 32, 39}) {
        QTest::addRow("lone continuation byte after %lld ASCII bytes", qlonglong(at))
            << run.first(at) + "\x80" + run << false;
        QTest::addRow("sequence cut by ASCII after %lld ASCII bytes", qlonglong(at))
            << run.first(at) + "\xE2\x82" + run << false;
        QTest::addRow("valid letter after %lld ASCII bytes", qlonglong(at))
            << run.first(at) + "\xC3\xBC" + run << true;
    }
}

void TestCardDecoding::utf8Validity()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    QCOMPARE(isValidUtf8(bytes), valid);
}

void TestCardDecoding::hexDigitsOfEveryByte()
{
    // Only 0-9, a-f and A-F are digits: not the bytes a case bit turns into them.
    for (int b = 0; b < 256; ++b) {
        const char c = char(b);
        const bool digit = std::isxdigit(b) != 0;
        const int expected = digit ? int(std::strtol(QByteArray(1, c).constData(), nullptr, 16)) : -1;
        QCOMPARE(hexDigitValue(c), expected);
    }
}

void TestCardDecoding::readFileLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("0-byte file is one empty line") << QByteArray() << QStringList{QString()};
    QTest::newRow("LF after the last line") << QByteArray("a\nb\n") << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("CR LF, blank lines kept")
        << QByteArray("a\r\n\r\n   \r\nb") << QStringList{u"a"_s, QString(), u"   "_s, u"b"_s};
    QTest::newRow("lone CR ends a line") << QByteArray("a\rb") << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("tab and blanks stay")
        << QByteArray("\t\n x \n") << QStringList{u"\t"_s, u" x "_s};
    QTest::newRow("UTF-8 text") << QByteArray("Zürich\n") << QStringList{u"Zürich"_s};
    QTest::newRow("8-bit text reads as Windows-1252")
        << QByteArray("Z\xFCrich\x80\n") << QStringList{u"Zürich€"_s};
    QTest::newRow("UTF-16 with mark") << QByteArray("\xFF\xFE"
                                                    "a\0\n\0b\0",
                                                    8)
                                      << QStringList{u"a"_s, u"b"_s};
}

void TestCardDecoding::readFileLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QVERIFY(m_dir.isValid());
    const QString path
        = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_'));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    QCOMPARE(ReadFileLines(path), lines);
}

void TestCardDecoding::readFileLinesFailure()
{
    // The reader does not test for existence itself: its caller does, and a failure surfaces.
    QVERIFY(m_dir.isValid());
    QVERIFY_THROWS_EXCEPTION(Failure, ReadFileLines(m_dir.filePath(u"missing.txt"_s)));
    QVERIFY_THROWS_EXCEPTION(Failure, ReadFileLines(m_dir.path()));
}

QTEST_GUILESS_MAIN(TestCardDecoding)
namespace {

qsizetype plainIndexOf(QByteArrayView text, QByteArrayView needle, bool ignoreCase)
{
    const auto fold
        = [&](char c) { return (ignoreCase && c >= 'A' && c <= 'Z') ? char(c + 32) : c; };
    for (qsizetype i = 0; i + needle.size() <= text.size(); ++i) {
        qsizetype j = 0;
        while (j < needle.size() && fold(text[i + j]) == needle[j])
            ++j;
        if (j == needle.size())
            return i;
    }
    return -1;
}

} // namespace

void TestCardDecoding::byteScansAgreeWithPlainLoops()
{
    // Texts around the 16- and 32-byte blocks the scans work in, made of few letters so
    // that near misses are common, with bytes outside ASCII and line ends among them.
    QRandomGenerator random(20261208);
    const QByteArray alphabet("aAbBtTeE=\r\n\xC3\xA9\xFF:");
    for (int round = 0; round < 20000; ++round) {
        QByteArray text(qsizetype(random.bounded(round % 4 ? 70 : 200)), Qt::Uninitialized);
        for (char &c : text)
            c = alphabet.at(random.bounded(alphabet.size()));
        const bool ignoreCase = random.bounded(2) == 1;
        QByteArray needle(qsizetype(1 + random.bounded(6)), Qt::Uninitialized);
        for (char &c : needle) {
            c = alphabet.at(random.bounded(alphabet.size()));
            if (ignoreCase && c >= 'A' && c <= 'Z')
                c = char(c + 32);
        }
        // A needle taken from the text itself, so that hits are common too.
        if (round % 2 == 0 && text.size() >= needle.size()) {
            needle = text.sliced(random.bounded(text.size() - needle.size() + 1), needle.size());
            if (ignoreCase)
                needle = needle.toLower();
        }
        const QByteArray context = text.toPercentEncoding() + " / " + needle.toPercentEncoding();
        QVERIFY2(ByteSearch(needle, ignoreCase).indexIn(text)
                     == plainIndexOf(text, needle, ignoreCase),
                 context.constData());
        const qsizetype from = text.isEmpty() ? 0 : random.bounded(text.size());
        const char *end = text.constData() + text.size();
        const char *lineEnd = text.constData() + from;
        while (lineEnd < end && *lineEnd != '\r' && *lineEnd != '\n')
            ++lineEnd;
        QVERIFY2(nextLineEnd(text.constData() + from, end) == lineEnd, context.constData());
        bool nonAscii = false;
        for (const char c : text)
            nonAscii = nonAscii || static_cast<unsigned char>(c) >= 0x80;
        QCOMPARE(hasNonAscii(text), nonAscii);
    }
}

void TestCardDecoding::valueCleanedInOneLook()
{
    // The one-look clean-up of a value gives what its steps one after another give:
    // escapes, CRs and blanks in every mix, at either end too.
    using namespace cardreader;
    QRandomGenerator random(11);
    const char16_t *pieces[] = {u"\\", u"n", u";", u" ", u"\r", u"a", u"\\,", u"\u00e9", u"\\\\"};
    for (int round = 0; round < 5000; ++round) {
        QString value;
        for (int i = random.bounded(8); i > 0; --i)
            value += QStringView(pieces[random.bounded(int(std::size(pieces)))]);
        const QString trimmed = clean(trimSpaces(unescape(value)));
        QCOMPARE(cleanValue(value), trimmed);
        QCOMPARE(cleanValue(QStringView(value)), trimmed);
        QCOMPARE(cleanUntrimmed(value), clean(unescape(value)));
    }
}

#include "tst_card_decoding.moc"
