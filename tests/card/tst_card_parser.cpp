// How the lines of one card become the 27 fields of a record.

#include "CardExpect.h"
#include "card/CardParser.h"
#include "card/FieldRules.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The same for a vCard 2.1 card.
QByteArray wrap21(const QByteArray &lines)
{
    QByteArray body = lines;
    body.replace("\n", "\r\n");
    return "BEGIN:VCARD\r\nVERSION:2.1\r\n" + body + "END:VCARD\r\n";
}

ContactFields onlyCard(const QByteArray &bytes)
{
    const QList<ContactFields> cards = CardParser::parseBytes(bytes);
    if (cards.size() != 1)
        qWarning("expected one card, got %lld", qlonglong(cards.size()));
    return cards.value(0);
}

void compareFields(const ContactFields &actual, const QVariantMap &expectedValues)
{
    QStringList unknown;
    const ContactFields expected = expectedFields(expectedValues, &unknown);
    QVERIFY2(unknown.isEmpty(), qPrintable(u"unknown field names: "_s + unknown.join(u", "_s)));
    QVERIFY2(actual == expected,
             qPrintable(u"fields differ:"_s + fieldDifferences(actual, expected)));
}

} // namespace

class TestCardParser final : public QObject
{
    Q_OBJECT

private slots:
    void lineEndsCounted();
    void ruledOutValuesWriteTheirFields_data();
    void ruledOutValuesWriteTheirFields();
    void propertyLinesSplitAsTheirParts();
    void nameRules_data();
    void nameRules();
    void telephoneRules_data();
    void telephoneRules();
    void addressRules_data();
    void addressRules();
    void valueRules_data();
    void valueRules();
    void quotedPrintableAndCharsets_data();
    void quotedPrintableAndCharsets();
    void linesAndFolding_data();
    void linesAndFolding();
    void cardBoundaries_data();
    void cardBoundaries();
    void otherCardShapes_data();
    void otherCardShapes();
    void partsParseAsTheWhole_data();
    void partsParseAsTheWhole();
    void cardIdentity_data();
    void cardIdentity();
    void contactName_data();
    void contactName();
};

void TestCardParser::nameRules_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QVariantMap>("expected");

    QTest::newRow("FN after N keeps the formatted name")
        << QByteArray("N:Family;Given;;;\nFN:Given Family\n")
        << QVariantMap{{u"LastName"_s, u"Family"_s}, {u"FirstName"_s, u"Given Family"_s}};
    QTest::newRow("N after FN keeps the given name")
        << QByteArray("FN:Given Family\nN:Family;Given;;;\n")
        << QVariantMap{{u"LastName"_s, u"Family"_s}, {u"FirstName"_s, u"Given"_s}};
    QTest::newRow("empty N leaves FirstName alone")
        << QByteArray("FN:Only Formatted\nN:\n")
        << QVariantMap{{u"FirstName"_s, u"Only Formatted"_s}};
    QTest::newRow("N with one component sets only LastName")
        << QByteArray("N:Solo\n") << QVariantMap{{u"LastName"_s, u"Solo"_s}};
    QTest::newRow("N components are trimmed one by one")
        << QByteArray("N: Doe ; John ;Q;Dr.;Jr.\n")
        << QVariantMap{{u"LastName"_s, u"Doe"_s}, {u"FirstName"_s, u"John"_s}};
    QTest::newRow("escaped semicolon stays inside a component")
        << QByteArray("N:Doe\\;Smith;John\n")
        << QVariantMap{{u"LastName"_s, u"Doe;Smith"_s}, {u"FirstName"_s, u"John"_s}};
    QTest::newRow("trailing space before CR LF is trimmed with the line end gone")
        << QByteArray("FN:Given Family \n") << QVariantMap{{u"FirstName"_s, u"Given Family"_s}};
    QTest::newRow("parameters no longer hide FN")
        << QByteArray("FN;CHARSET=UTF-8:Ann\n") << QVariantMap{{u"FirstName"_s, u"Ann"_s}};
    QTest::newRow("a later FN wins")
        << QByteArray("FN:First\nFN:Second\n") << QVariantMap{{u"FirstName"_s, u"Second"_s}};
}

void TestCardParser::nameRules()
{
    QFETCH(QByteArray, lines);
    QFETCH(QVariantMap, expected);
    compareFields(onlyCard(wrapCard(lines)), expected);
}

void TestCardParser::telephoneRules_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QVariantMap>("expected");

    QTest::newRow("work fax is a fax")
        << QByteArray("TEL;TYPE=WORK,FAX:555\n") << QVariantMap{{u"HomeFax"_s, u"555"_s}};
    QTest::newRow("lower-case work phone")
        << QByteArray("tel;type=work:555\n")
        << QVariantMap{{u"BusinessPhones"_s, QStringList{u"555"_s}}};
    QTest::newRow("work cell is a mobile")
        << QByteArray("TEL;WORK;CELL:0170\n") << QVariantMap{{u"Mobile"_s, u"0170"_s}};
    QTest::newRow("pager") << QByteArray("TEL;TYPE=PAGER:99\n")
                           << QVariantMap{{u"Pager"_s, u"99"_s}};
    QTest::newRow("no type, voice and home are home phones")
        << QByteArray("TEL:1\nTEL;VOICE:2\nTEL;TYPE=HOME:3\n")
        << QVariantMap{{u"HomePhones"_s, QStringList{u"1"_s, u"2"_s, u"3"_s}}};
    QTest::newRow("telephone values are not trimmed")
        << QByteArray("TEL;HOME: 555 1234\n")
        << QVariantMap{{u"HomePhones"_s, QStringList{u" 555 1234"_s}}};
    QTest::newRow("the last fax wins, every fax is HomeFax")
        << QByteArray("TEL;HOME;FAX:1\nTEL;WORK;FAX:2\n") << QVariantMap{{u"HomeFax"_s, u"2"_s}};
    QTest::newRow("a tel URI keeps its scheme")
        << QByteArray("TEL;VALUE=uri;TYPE=\"voice,work\":tel:+1-555-0100;ext=7\n")
        << QVariantMap{{u"BusinessPhones"_s, QStringList{u"tel:+1-555-0100;ext=7"_s}}};
    QTest::newRow("group prefix ignored, work in the group counts as the type")
        << QByteArray("WORK.TEL:+1-418\nitem2.TEL:+1-419\n")
        << QVariantMap{{u"BusinessPhones"_s, QStringList{u"+1-418"_s}},
                       {u"HomePhones"_s, QStringList{u"+1-419"_s}}};
}

void TestCardParser::telephoneRules()
{
    QFETCH(QByteArray, lines);
    QFETCH(QVariantMap, expected);
    compareFields(onlyCard(wrapCard(lines)), expected);
}

void TestCardParser::addressRules_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QVariantMap>("expected");

    const QVariantMap home{{u"HomeAddress1"_s, u"1 Main St"_s},
                           {u"HomeCity"_s, u"Springfield"_s},
                           {u"HomeState"_s, u"IL"_s},
                           {u"HomePostal"_s, u"Zip"_s},
                           {u"HomeCountry"_s, u"USA"_s}};
    QTest::newRow("home address") << QByteArray(
        "ADR;TYPE=HOME:;;1 Main St;Springfield;IL;Zip;USA\n")
                                  << home;
    QTest::newRow("no type is a home address")
        << QByteArray("ADR:;;1 Main St;Springfield;IL;Zip;USA\n") << home;
    QTest::newRow("work in any case is a business address")
        << QByteArray("ADR;type=Work:;;1 Main St;Springfield;IL;Zip;USA\n")
        << QVariantMap{{u"BusinessAddress1"_s, u"1 Main St"_s},
                       {u"BusinessCity"_s, u"Springfield"_s},
                       {u"BusinessState"_s, u"IL"_s},
                       {u"BusinessPostal"_s, u"Zip"_s},
                       {u"BusinessCountry"_s, u"USA"_s}};
    QTest::newRow("extended address goes first")
        << QByteArray("ADR;WORK:;Suite 5;1 Main St;Town;;;\n")
        << QVariantMap{{u"BusinessAddress1"_s, u"Suite 5"_s},
                       {u"BusinessAddress2"_s, u"1 Main St"_s},
                       {u"BusinessCity"_s, u"Town"_s}};
    QTest::newRow("escaped newline in the street")
        << QByteArray("ADR:;;Line one\\nLine two;Town\n")
        << QVariantMap{{u"HomeAddress1"_s, u"Line one Line two"_s}, {u"HomeCity"_s, u"Town"_s}};
    QTest::newRow("upper-case escaped newline and escaped comma")
        << QByteArray("ADR:;;Flat 2\\NHigh St\\, East;Town\n")
        << QVariantMap{{u"HomeAddress1"_s, u"Flat 2 High St, East"_s}, {u"HomeCity"_s, u"Town"_s}};
    QTest::newRow("Address2 survives a later address without extended part")
        << QByteArray("ADR:;Ext;Street;City\nADR:;;Second Street\n")
        << QVariantMap{{u"HomeAddress1"_s, u"Second Street"_s},
                       {u"HomeAddress2"_s, u"Street"_s},
                       {u"HomeCity"_s, u"City"_s}};
    QTest::newRow("too few components set nothing")
        << QByteArray("ADR:PO Box 1;Ext\n") << QVariantMap{};
    QTest::newRow("the post-office box is never stored, extra components ignored")
        << QByteArray("ADR:PO Box 9;;Street;City;Region;123;Land;Extra\n")
        << QVariantMap{{u"HomeAddress1"_s, u"Street"_s},
                       {u"HomeCity"_s, u"City"_s},
                       {u"HomeState"_s, u"Region"_s},
                       {u"HomePostal"_s, u"123"_s},
                       {u"HomeCountry"_s, u"Land"_s}};
    QTest::newRow("components are not trimmed one by one")
        << QByteArray("ADR:;; Street ; City\n")
        << QVariantMap{{u"HomeAddress1"_s, u" Street "_s}, {u"HomeCity"_s, u" City"_s}};
    QTest::newRow("old =0D marker in a street that was not encoded")
        << QByteArray("ADR:;;Line=0DMore;Town\n")
        << QVariantMap{{u"HomeAddress1"_s, u"Line More"_s}, {u"HomeCity"_s, u"Town"_s}};
    QTest::newRow("empty parameter does not hide the address")
        << QByteArray("ADR;HOME;PREF;:;;Lane 12;Village;;98765;Land\n")
        << QVariantMap{{u"HomeAddress1"_s, u"Lane 12"_s},
                       {u"HomeCity"_s, u"Village"_s},
                       {u"HomePostal"_s, u"98765"_s},
                       {u"HomeCountry"_s, u"Land"_s}};
}

void TestCardParser::addressRules()
{
    QFETCH(QByteArray, lines);
    QFETCH(QVariantMap, expected);
    compareFields(onlyCard(wrapCard(lines)), expected);
}

void TestCardParser::valueRules_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QVariantMap>("expected");

    QTest::newRow("URL keeps every colon and is not trimmed")
        << QByteArray("URL: http://example.com:8080/a:b\n")
        << QVariantMap{{u"Urls"_s, QStringList{u" http://example.com:8080/a:b"_s}}};
    QTest::newRow("escaped colon in a URL")
        << QByteArray("URL:http\\://example.com/\n")
        << QVariantMap{{u"Urls"_s, QStringList{u"http://example.com/"_s}}};
    QTest::newRow("NOTE keeps colons")
        << QByteArray("NOTE:Meet at 10:30\n") << QVariantMap{{u"Notes"_s, u"Meet at 10:30"_s}};
    QTest::newRow("ORG keeps colons and semicolons")
        << QByteArray("ORG:A:B;Sales\\;East\n")
        << QVariantMap{{u"Organization"_s, u"A:B;Sales;East"_s}};
    QTest::newRow("ORG with parameters")
        << QByteArray("ORG;CHARSET=UTF-8:Acme\n") << QVariantMap{{u"Organization"_s, u"Acme"_s}};
    QTest::newRow("EMAIL is trimmed, every one kept in order")
        << QByteArray(
               "EMAIL:  a@example.org  \nEMAIL;TYPE=WORK:b@example.org\nEMAIL:a@example.org\n")
        << QVariantMap{{u"Emails"_s,
                        QStringList{u"a@example.org"_s, u"b@example.org"_s, u"a@example.org"_s}}};
    QTest::newRow("group prefix on EMAIL")
        << QByteArray("item1.EMAIL;type=INTERNET:x@example.org\nitem1.X-ABLabel:_$!<Other>!$_\n")
        << QVariantMap{{u"Emails"_s, QStringList{u"x@example.org"_s}}};
    QTest::newRow("colon inside a quoted parameter value")
        << QByteArray("EMAIL;X-LABEL=\"a:b\":x@example.org\n")
        << QVariantMap{{u"Emails"_s, QStringList{u"x@example.org"_s}}};
    QTest::newRow("text escapes undone, unknown backslash kept")
        << QByteArray("NOTE:a\\, b\\; c\\: d\\\\ e\\nf\\Ng\\x\n")
        << QVariantMap{{u"Notes"_s, u"a, b; c: d\\ e f g\\x"_s}};
    QTest::newRow("single-valued fields keep the last value")
        << QByteArray("TITLE:One\nTITLE:Two\nROLE:R1\nROLE:R2\nBDAY:1980-01-01\nNICKNAME:"
                      "Nick\nNOTE:n1\nNOTE:n2\n")
        << QVariantMap{{u"Title"_s, u"Two"_s},
                       {u"Role"_s, u"R2"_s},
                       {u"Birthday"_s, u"1980-01-01"_s},
                       {u"Nickname"_s, u"Nick"_s},
                       {u"Notes"_s, u"n2"_s}};
    QTest::newRow("lower and mixed case names")
        << QByteArray("note:lower\nNickName:Mixed\n")
        << QVariantMap{{u"Notes"_s, u"lower"_s}, {u"Nickname"_s, u"Mixed"_s}};
    QTest::newRow("lines without colon or without name are skipped")
        << QByteArray("FN\n:orphan value\n# comment line\nTITLE:Kept\n")
        << QVariantMap{{u"Title"_s, u"Kept"_s}};
    QTest::newRow("unknown properties set nothing")
        << QByteArray("X-CUSTOM:Hidden\nLABEL:Label text\nGEO:1,2\nPHOTO;ENCODING=b:AAAA\n")
        << QVariantMap{};
    QTest::newRow("old =0D=0A= marker in a note that was not encoded")
        << QByteArray("NOTE:one=0D=0A=two\n") << QVariantMap{{u"Notes"_s, u"one two"_s}};
}

void TestCardParser::valueRules()
{
    QFETCH(QByteArray, lines);
    QFETCH(QVariantMap, expected);
    compareFields(onlyCard(wrapCard(lines)), expected);
}

void TestCardParser::quotedPrintableAndCharsets_data()
{
    QTest::addColumn<QByteArray>("card");
    QTest::addColumn<QVariantMap>("expected");

    QTest::newRow("quoted-printable in UTF-8")
        << wrapCard("FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:G=C3=BCnther\n")
        << QVariantMap{{u"FirstName"_s, u"Günther"_s}};
    QTest::newRow("bare QUOTED-PRINTABLE parameter, Latin-1 charset")
        << wrapCard("N;CHARSET=ISO-8859-1;QUOTED-PRINTABLE:M=FCller;Hans\n")
        << QVariantMap{{u"LastName"_s, u"Müller"_s}, {u"FirstName"_s, u"Hans"_s}};
    QTest::newRow("soft line break with a flush-left continuation")
        << wrap21("NOTE;ENCODING=QUOTED-PRINTABLE:First=0D=0A=\nSecond line=\n continued\n")
        << QVariantMap{{u"Notes"_s, u"First Second line continued"_s}};
    // From 3.0 on a line break and a blank fold a line, also after a soft line break.
    QTest::newRow("3.0: a blank after a soft line break is a fold")
        << wrapCard("NOTE;ENCODING=QUOTED-PRINTABLE:fo=\n lded=\n \nTITLE:t\n")
        << QVariantMap{{u"Notes"_s, u"folded"_s}, {u"Title"_s, u"t"_s}};
    // A soft line break with no line after it (a blank line, the end of the file) leaves
    // no "=" behind.
    QTest::newRow("soft line break before a blank line")
        << wrapCard("NOTE;ENCODING=QUOTED-PRINTABLE:Met at the fair=\n\nTITLE:Boss\n")
        << QVariantMap{{u"Notes"_s, u"Met at the fair"_s}, {u"Title"_s, u"Boss"_s}};
    QTest::newRow("soft line break at the end of the file")
        << QByteArray("BEGIN:VCARD\nFN;ENCODING=QUOTED-PRINTABLE:Ann=")
        << QVariantMap{{u"FirstName"_s, u"Ann"_s}};
    // A charset that does not read ASCII as ASCII on one line is not the file's legacy one.
    QTest::newRow("UTF-16 on one line leaves the others Windows-1252")
        << wrapCard("NOTE;CHARSET=UTF-16:\nFN:M\xFCller\n")
        << QVariantMap{{u"FirstName"_s, u"Müller"_s}};
    QTest::newRow("an ASCII-compatible charset on one line reads the others")
        << wrapCard("NOTE;CHARSET=UTF-16:\nTITLE;CHARSET=KOI8-R:a\nFN:\xF0\xC5\xD4\xD2\n")
        << QVariantMap{{u"FirstName"_s, u"Петр"_s}, {u"Title"_s, u"a"_s}};
    QTest::newRow("a decoded line break is one space")
        << wrapCard("NOTE;ENCODING=QUOTED-PRINTABLE:a=0D=0Ab=0Ac=0Dd\n")
        << QVariantMap{{u"Notes"_s, u"a b c d"_s}};
    QTest::newRow("a line break decoded from a charset is one space")
        << wrapCard("FN;CHARSET=UTF-7:a+AA0ACg-b\nNOTE;CHARSET=UTF-7:c+AAo-d\n")
        << QVariantMap{{u"FirstName"_s, u"a b"_s}, {u"Notes"_s, u"c d"_s}};
    QTest::newRow("encoded escape splits after decoding")
        << wrapCard("N;ENCODING=QUOTED-PRINTABLE:A=5C;B;C\n")
        << QVariantMap{{u"LastName"_s, u"A;B"_s}, {u"FirstName"_s, u"C"_s}};
    QTest::newRow("invalid quoted-printable is kept as written")
        << wrapCard("NOTE;ENCODING=QUOTED-PRINTABLE:100=% and =G1\n")
        << QVariantMap{{u"Notes"_s, u"100=% and =G1"_s}};
    QTest::newRow("CHARSET names the line's charset")
        << wrapCard("FN;CHARSET=windows-1251:\xCF\xF0\xE8\xE2\xE5\xF2\n")
        << QVariantMap{{u"FirstName"_s, u"Привет"_s}};
    QTest::newRow("Shift_JIS, where a trail byte is a backslash")
        << wrapCard("FN;CHARSET=SHIFT_JIS:\x83\x5C\x83\x74\x83\x67\n")
        << QVariantMap{{u"FirstName"_s, u"ソフト"_s}};
    QTest::newRow("unknown CHARSET falls back to UTF-8")
        << wrapCard("FN;CHARSET=blabla:Z\xC3\xBCrich\n")
        << QVariantMap{{u"FirstName"_s, u"Zürich"_s}};
    QTest::newRow("8-bit line without CHARSET reads as Windows-1252")
        << wrapCard("FN:Caf\xE9 \x80\x81\n") << QVariantMap{{u"FirstName"_s, u"Café €\u0081"_s}};
    QTest::newRow("8-bit line takes the legacy charset the file names elsewhere")
        << wrapCard("FN:\xB1\xE6\nNOTE;CHARSET=ISO-8859-2:x\n")
        << QVariantMap{{u"FirstName"_s, u"ąć"_s}, {u"Notes"_s, u"x"_s}};
    QTest::newRow("valid UTF-8 line in a file that names a legacy charset")
        << wrapCard("FN:\xC4\x85\nNOTE;CHARSET=ISO-8859-2:\xB1\n")
        << QVariantMap{{u"FirstName"_s, u"ą"_s}, {u"Notes"_s, u"ą"_s}};
    QTest::newRow("fold that splits a UTF-8 character")
        << wrapCard("FN:Z\xC3\n \xBCrich\n") << QVariantMap{{u"FirstName"_s, u"Zürich"_s}};
    QTest::newRow("UTF-8 with a mark ignores a wrong CHARSET on raw text")
        << QByteArray("\xEF\xBB\xBF") + wrapCard("FN;CHARSET=ISO-8859-1:J\xC3\xBCrgen\n")
        << QVariantMap{{u"FirstName"_s, u"Jürgen"_s}};
}

void TestCardParser::quotedPrintableAndCharsets()
{
    QFETCH(QByteArray, card);
    QFETCH(QVariantMap, expected);
    compareFields(onlyCard(card), expected);
}

void TestCardParser::linesAndFolding_data()
{
    QTest::addColumn<QByteArray>("card");
    QTest::addColumn<QVariantMap>("expected");

    const QByteArray lines("FN:Ann Lee\nEMAIL:ann@example.org\nNOTE:one\n two\n");
    const QVariantMap expected{{u"FirstName"_s, u"Ann Lee"_s},
                               {u"Emails"_s, QStringList{u"ann@example.org"_s}},
                               {u"Notes"_s, u"onetwo"_s}};
    QTest::newRow("CR LF") << wrapCard(lines, "\r\n") << expected;
    QTest::newRow("LF") << wrapCard(lines, "\n") << expected;
    QTest::newRow("lone CR") << wrapCard(lines, "\r") << expected;
    QTest::newRow("CR CR LF") << wrapCard(lines, "\r\r\n") << expected;
    QTest::newRow("fold with a tab removes one character")
        << wrapCard("NOTE:one\n\t two\n") << QVariantMap{{u"Notes"_s, u"one two"_s}};
    QTest::newRow("a fold continues the name part too")
        << wrapCard("EMA\n IL:split@example.org\n")
        << QVariantMap{{u"Emails"_s, QStringList{u"split@example.org"_s}}};
    QTest::newRow("a blank line ends folding")
        << wrapCard("NOTE:one\n\n two:three\n") << QVariantMap{{u"Notes"_s, u"one"_s}};
    // A line without a colon that starts no property continues the value before it, as
    // an escaped line break; a backslash before the line end is that line break.
    QTest::newRow("a raw line continues an address")
        << wrapCard("ADR;HOME:;;Street 1\\\nStreet 2;City;;12345;Country\n")
        << QVariantMap{{u"HomeAddress1"_s, u"Street 1 Street 2"_s},
                       {u"HomeCity"_s, u"City"_s},
                       {u"HomePostal"_s, u"12345"_s},
                       {u"HomeCountry"_s, u"Country"_s}};
    QTest::newRow("raw lines continue a note")
        << wrapCard("NOTE:one\\\\\ntwo\nthree\nEMAIL:a@example.org\n")
        << QVariantMap{{u"Notes"_s, u"one\\ two three"_s},
                       {u"Emails"_s, QStringList{u"a@example.org"_s}}};
    QTest::newRow("a raw line that starts a property, or a comment, continues nothing")
        << wrapCard("NOTE:one\nTITLE;broken\n# comment\nEM\n")
        << QVariantMap{{u"Notes"_s, u"one"_s}};
    QTest::newRow("no line end after the last line")
        << QByteArray("BEGIN:VCARD\nFN:Last") << QVariantMap{{u"FirstName"_s, u"Last"_s}};
}

void TestCardParser::linesAndFolding()
{
    QFETCH(QByteArray, card);
    QFETCH(QVariantMap, expected);
    compareFields(onlyCard(card), expected);
}

void TestCardParser::cardBoundaries_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("firstNames"); // FirstName of each card, in card order

    QTest::newRow("empty text gives one empty card") << QByteArray() << QStringList{QString()};
    QTest::newRow("text without a known property gives one empty card")
        << QByteArray("hello world\nVERSION:3.0\nX-FOO:bar\n") << QStringList{QString()};
    QTest::newRow("two cards") << QByteArray(
        "BEGIN:VCARD\nFN:A\nEND:VCARD\nBEGIN:VCARD\nFN:B\nEND:VCARD\n")
                               << QStringList{u"A"_s, u"B"_s};
    QTest::newRow("nested cards follow their parent in BEGIN order")
        << QByteArray("BEGIN:VCARD\nFN:Parent\nBEGIN:VCARD\nFN:Nest1\nEND:VCARD\n"
                      "BEGIN:VCARD\nFN:Nest2\nEND:VCARD\nTITLE:after nest\nEND:VCARD\n")
        << QStringList{u"Parent"_s, u"Nest1"_s, u"Nest2"_s};
    QTest::newRow("lines outside cards with a known property form a card")
        << QByteArray("FN:Loose\nBEGIN:VCARD\nFN:Inside\nEND:VCARD\nX-JUNK:1\nTEL:5\n")
        << QStringList{u"Loose"_s, u"Inside"_s, QString()};
    QTest::newRow("outside lines without a known property form none")
        << QByteArray("PRODID:x\nBEGIN:VCARD\nFN:Only\nEND:VCARD\nX-A:1\n")
        << QStringList{u"Only"_s};
    QTest::newRow("missing END runs to the end of the file")
        << QByteArray("BEGIN:VCARD\nFN:Open\nTITLE:t\n") << QStringList{u"Open"_s};
    QTest::newRow("missing BEGIN")
        << QByteArray("FN:NoBegin\nEND:VCARD\nBEGIN:VCARD\nFN:Next\nEND:VCARD\n")
        << QStringList{u"NoBegin"_s, u"Next"_s};
    QTest::newRow("stray END between cards is ignored")
        << QByteArray("BEGIN:VCARD\nFN:A\nEND:VCARD\nEND:VCARD\nBEGIN:VCARD\nFN:B\nEND:VCARD\n")
        << QStringList{u"A"_s, u"B"_s};
    QTest::newRow("group, case and blanks around BEGIN") << QByteArray(
        "home.begin:vcard \nFN:Grouped\nhome.end:VCARD\nBegin: VCard\t\nFN:Mixed\nEnd:vCard\n")
                                                         << QStringList{u"Grouped"_s, u"Mixed"_s};
    QTest::newRow("BEGIN of another object is no card")
        << QByteArray("BEGIN:VCARD\nFN:Card\nBEGIN:VEVENT\nTITLE:t\nEND:VEVENT\nEND:VCARD\n")
        << QStringList{u"Card"_s};
}

void TestCardParser::cardBoundaries()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, firstNames);
    QStringList actual;
    for (const ContactFields &card : CardParser::parseBytes(file))
        actual.append(card.FirstName);
    QCOMPARE(actual, firstNames);
}

void TestCardParser::otherCardShapes_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QVariantList>("cards"); // the fields of each card, in card order

    const QVariantMap holder{{u"FirstName"_s, u"Holder"_s},
                             {u"Emails"_s, QStringList{u"h@example.org"_s}}};
    const QVariantMap agent{{u"FirstName"_s, u"Agent"_s}};
    const QByteArray agentLines("FN:Agent\r\nEND:VCARD\r\nEMAIL:h@example.org\r\n");
    QTest::newRow("2.1 agent begun on its AGENT line")
        << wrap21("FN:Holder\nAGENT:BEGIN:VCARD\n" + agentLines) << QVariantList{holder, agent};
    QTest::newRow("2.1 agent begun on the line after AGENT")
        << wrap21("FN:Holder\nAGENT:\nBEGIN:VCARD\n" + agentLines) << QVariantList{holder, agent};
    QTest::newRow("3.0 agent as an escaped card")
        << wrapCard("FN:Holder\nAGENT:BEGIN:VCARD\\nFN:Agent\\, Jr.\\nN:Name\\;A\\nEND:VCARD\\n\n"
                    "EMAIL:h@example.org\n")
        << QVariantList{holder, QVariantMap{{u"FirstName"_s, u"A"_s}, {u"LastName"_s, u"Name"_s}}};
    // The escaped card's own END lines close no more than it, and it ends with its line.
    QTest::newRow("escaped agent without an END")
        << wrapCard("FN:Holder\nAGENT:BEGIN:VCARD\\nFN:Agent\nEMAIL:h@example.org\n")
        << QVariantList{holder, agent};
    QTest::newRow("escaped agent with END lines to spare")
        << wrapCard("FN:Holder\nAGENT:BEGIN:VCARD\\nFN:Agent\\nEND:VCARD\\nEND:VCARD\\nEND:VCARD\n"
                    "EMAIL:h@example.org\n")
        << QVariantList{holder, agent};
    QTest::newRow("two files joined without a line end")
        << QByteArray("BEGIN:VCARD\r\nFN:Holder\r\nEMAIL:h@example.org\r\nEND:VCARDBEGIN:VCARD\r\n"
                      "FN:Agent\r\nEND:VCARD\r\n")
        << QVariantList{holder, agent};
}

void TestCardParser::otherCardShapes()
{
    QFETCH(QByteArray, file);
    QFETCH(QVariantList, cards);
    const QList<ContactFields> parsed = CardParser::parseBytes(file);
    QCOMPARE(parsed.size(), cards.size());
    for (qsizetype i = 0; i < cards.size(); ++i)
        compareFields(parsed.at(i), cards.at(i).toMap());
}

void TestCardParser::partsParseAsTheWhole_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("eachPartEndsOutside");
    const auto card = [](int i) -> QByteArray {
        return "BEGIN:VCARD\r\nFN:Person " + QByteArray::number(i)
            + "\r\nNOTE;ENCODING=QUOTED-PRINTABLE:a=\r\n b\r\nEND:VCARD\r\n";
    };
    QByteArray plain;
    for (int i = 0; i < 60; ++i)
        plain += card(i);
    QTest::newRow("plain cards") << plain << true;
    // A card that holds the others: the END lines near the cuts close inner cards.
    QTest::newRow("cards nested across the cuts")
        << QByteArray("BEGIN:VCARD\r\nFN:Outer\r\n" + plain + "END:VCARD\r\n") << false;
    // Lines after an END line, outside every card, are a card of their own.
    QByteArray loose;
    for (int i = 0; i < 60; ++i)
        loose += card(i) + "TITLE:loose " + QByteArray::number(i) + "\r\n";
    QTest::newRow("lines outside every card") << loose << true;
    // An END line continued by a fold, or by a soft line break, does not end a card.
    QByteArray folded;
    for (int i = 0; i < 60; ++i)
        folded += "BEGIN:VCARD\r\nFN:P" + QByteArray::number(i)
            + "\r\nNOTE;ENCODING=QUOTED-PRINTABLE:x=\r\nEND:VCARD\r\nEND:VCARD\r\n X\r\n"
              "END:VCARD\r\n";
    QTest::newRow("END lines that do not stand on their own") << folded << true;
    // Other properties outside every card wait for a property of the fields to make a card
    // of them: a part that ends with them held does not end outside.
    QByteArray held;
    for (int i = 0; i < 60; ++i)
        held += "X-LOOSE:" + QByteArray::number(i) + "\r\nEND:VCARD\r\n";
    QTest::newRow("other properties held outside every card") << held + "TITLE:t\r\n" << false;
}

void TestCardParser::partsParseAsTheWhole()
{
    // A large file is parsed in parts at once; the parts must give the whole file's
    // cards, with their other properties, whenever each part before the last ends outside
    // every card.
    QFETCH(QByteArray, file);
    QFETCH(bool, eachPartEndsOutside);
    const CardBytes text = prepareCardBytes(file);
    const ParseOptions options{true};
    QList<ContactFields> whole;
    CardParser::parse(
        text, [&](ContactFields &&card) { whole.append(std::move(card)); }, nullptr, nullptr,
        options);
    const QList<qsizetype> cuts = CardParser::cutPoints(text.bytes, 4);
    QCOMPARE(cuts.size(), 3);
    QList<ContactFields> joined;
    bool allOutside = true;
    for (qsizetype k = 0; k <= cuts.size(); ++k) {
        const qsizetype from = k == 0 ? 0 : cuts.at(k - 1);
        const qsizetype to = k == cuts.size() ? text.bytes.size() : cuts.at(k);
        // Every cut follows a line that reads END:VCARD, with no fold after it.
        if (k < cuts.size()) {
            QVERIFY(QByteArrayView(text.bytes).first(to).endsWith("END:VCARD\r\n"));
            QVERIFY(text.bytes.at(to) != ' ');
        }
        bool outside = false;
        CardParser::parseRange(
            text, from, to,
            [&](ContactFields &&card, const CardParser::Identity &) {
                joined.append(std::move(card));
            },
            nullptr, &outside, nullptr, options);
        if (k < cuts.size())
            allOutside = allOutside && outside;
    }
    QCOMPARE(allOutside, eachPartEndsOutside);
    if (allOutside)
        QVERIFY(joined == whole);
}

namespace {

/// Rules out every value, as a search for a text that no value holds does, and the
/// cards that hold a text.
class NothingMatches final : public CardParser::ValueFilter
{
public:
    explicit NothingMatches(QByteArray skipCardsWith = "\x01") : m_skip(std::move(skipCardsWith)) {}
    bool mayContain(QByteArrayView) const override { return false; }
    bool cardMayContain(QByteArrayView card, const std::function<QByteArray()> &,
                        QByteArray &) const override
    {
        return !card.contains(m_skip);
    }

private:
    QByteArray m_skip;
};

/// Each card of the bytes as "number line contact: its bytes".
QStringList identities(const QByteArray &file, const CardParser::ValueFilter *filter = nullptr)
{
    const CardBytes text = prepareCardBytes(file);
    QStringList cards;
    CardParser::parse(
        text,
        [&](ContactFields &&, const CardParser::Identity &card) {
            const qint64 line
                = CardParser::countLineEnds(QByteArrayView(text.bytes).first(card.begin)) + 1;
            cards.append(u"%1 %2 %3: "_s.arg(card.number).arg(line).arg(card.contact)
                         + QString::fromUtf8(text.bytes.mid(card.begin, card.end - card.begin)));
        },
        filter);
    return cards;
}

} // namespace

void TestCardParser::cardIdentity_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("cards");
    QTest::newRow("cards one after another, any line ends")
        << QByteArray("\r\nBEGIN:VCARD\r\nFN:A\r\nEND:VCARD\r\nBEGIN:VCARD\rFN:B\r\rEND:VCARD\r"
                      "BEGIN:VCARD\nFN:C\r\r\nEND:VCARD")
        << QStringList{u"1 2 A: BEGIN:VCARD\r\nFN:A\r\nEND:VCARD\r\n"_s,
                       u"2 5 B: BEGIN:VCARD\rFN:B\r\rEND:VCARD\r"_s,
                       u"3 9 C: BEGIN:VCARD\nFN:C\r\r\nEND:VCARD"_s};
    // Nested cards come in the order of their BEGIN lines; a parent's bytes hold them.
    QTest::newRow("nested")
        << QByteArray("BEGIN:VCARD\nFN:Outer\nBEGIN:VCARD\nFN:Inner\nEND:VCARD\nNOTE:x\n"
                      "END:VCARD\n")
        << QStringList{u"1 1 Outer: BEGIN:VCARD\nFN:Outer\nBEGIN:VCARD\nFN:Inner\nEND:VCARD\n"
                       u"NOTE:x\nEND:VCARD\n"_s,
                       u"2 3 Inner: BEGIN:VCARD\nFN:Inner\nEND:VCARD\n"_s};
    // Lines outside every card begin at their first line and end where a card begins.
    QTest::newRow("lines outside every card")
        << QByteArray("X-A:1\nFN:Loose\nBEGIN:VCARD\nFN:In\nEND:VCARD\n\nTITLE:after\n")
        << QStringList{u"1 1 Loose: X-A:1\nFN:Loose\n"_s,
                       u"2 3 In: BEGIN:VCARD\nFN:In\nEND:VCARD\n"_s, u"3 7 : TITLE:after\n"_s};
    // A folded BEGIN line begins where its first line does; an unended card runs to the end.
    QTest::newRow("folded BEGIN, no END")
        << QByteArray("BEGIN:VCARD\nFN:A\nEND:VCARD\nBEGIN:VC\n ARD\nFN:B\n")
        << QStringList{u"1 1 A: BEGIN:VCARD\nFN:A\nEND:VCARD\n"_s,
                       u"2 4 B: BEGIN:VC\n ARD\nFN:B\n"_s};
    // A card begun inside a line begins where its BEGIN stands; an escaped card is its line.
    QTest::newRow("agent begun on its AGENT line")
        << QByteArray("BEGIN:VCARD\nFN:H\nAGENT:BEGIN:VCARD\nFN:A\nEND:VCARD\nEND:VCARD\n")
        << QStringList{u"1 1 H: BEGIN:VCARD\nFN:H\nAGENT:BEGIN:VCARD\nFN:A\nEND:VCARD\n"
                       u"END:VCARD\n"_s,
                       u"2 3 A: BEGIN:VCARD\nFN:A\nEND:VCARD\n"_s};
    QTest::newRow("escaped agent")
        << QByteArray("BEGIN:VCARD\nFN:H\nAGENT:BEGIN:VCARD\\nFN:A\\nEND:VCARD\nEND:VCARD\n")
        << QStringList{u"1 1 H: BEGIN:VCARD\nFN:H\nAGENT:BEGIN:VCARD\\nFN:A\\nEND:VCARD\n"
                       u"END:VCARD\n"_s,
                       u"2 3 A: AGENT:BEGIN:VCARD\\nFN:A\\nEND:VCARD\n"_s};
    QTest::newRow("joined without a line end")
        << QByteArray("BEGIN:VCARD\nFN:A\nEND:VCARDBEGIN:VCARD\nFN:B\nEND:VCARD\n")
        << QStringList{u"1 1 A: BEGIN:VCARD\nFN:A\nEND:VCARD"_s,
                       u"2 3 B: BEGIN:VCARD\nFN:B\nEND:VCARD\n"_s};
    QTest::newRow("a card a filter skips is still counted")
        << QByteArray("BEGIN:VCARD\nFN:Skip\nEND:VCARD\nBEGIN:VCARD\nFN:B\nEND:VCARD\n")
        << QStringList{u"2 4 B: BEGIN:VCARD\nFN:B\nEND:VCARD\n"_s};
}

void TestCardParser::cardIdentity()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, cards);
    const NothingMatches skipping("Skip");
    QCOMPARE(identities(file, &skipping), cards);
}

void TestCardParser::contactName_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QString>("contact");
    QTest::newRow("FN as decoded, before N")
        << QByteArray("N:Lee;Ann\nFN;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:Zo=C3=AB\\, Ek\n")
        << u"Zoë, Ek"_s;
    QTest::newRow("the first FN that is not empty")
        << QByteArray("FN:\nFN:First\nFN:Second\n") << u"First"_s;
    QTest::newRow("given and family names of N")
        << QByteArray("FN: \nN:Lee;Ann;Mary;Dr.;\n") << u"Ann Lee"_s;
    QTest::newRow("only the family name") << QByteArray("N:Lee\n") << u"Lee"_s;
    QTest::newRow("only the given name") << QByteArray("N:;Ann\n") << u"Ann"_s;
    QTest::newRow("ORG, then e-mail, then telephone")
        << QByteArray("TEL:+1 555\nEMAIL:a@x\nORG:Acme;Sales\nN:;;;\n") << u"Acme, Sales"_s;
    QTest::newRow("ORG as written: escapes undone, empty units left out")
        << QByteArray("ORG:;\nORG: ABC\\, Inc.\\; Co ;; Sales;\n") << u"ABC, Inc.; Co, Sales"_s;
    QTest::newRow("N: names of several values")
        << QByteArray("N:Lee\\, Jr.;Ann,Mary;;;\n") << u"Ann Mary Lee, Jr."_s;
    QTest::newRow("the first e-mail")
        << QByteArray("TEL:+1 555\nEMAIL;TYPE=WORK:a@x\nEMAIL:b@x\n") << u"a@x"_s;
    QTest::newRow("the first telephone, fax or not")
        << QByteArray("TEL;TYPE=FAX:+1 555\nTEL:+1 666\n") << u"+1 555"_s;
    QTest::newRow("none") << QByteArray("TITLE:Boss\nNOTE:x\n") << QString();
    QTest::newRow("FN before every other choice")
        << QByteArray("FN:Zoe\nTEL:+1 555\nEMAIL:a@x\nORG:Acme\nN:Lee;Ann\n") << u"Zoe"_s;
    QTest::newRow("an empty FN and an empty N leave the later choices")
        << QByteArray("FN:\nN:;;\nTEL:+1 555\nEMAIL:a@x\nFN:\n") << u"a@x"_s;
    QTest::newRow("a late FN over an earlier N and e-mail")
        << QByteArray("EMAIL:a@x\nN:Lee;Ann\nORG:Acme\nFN:Zoe\n") << u"Zoe"_s;
}

void TestCardParser::contactName()
{
    // The name is read also from values that a search filter rules out: the rows of a
    // card name it whatever text they matched.
    QFETCH(QByteArray, lines);
    QFETCH(QString, contact);
    const NothingMatches filter;
    for (const CardParser::ValueFilter *with :
         {static_cast<const CardParser::ValueFilter *>(nullptr),
          static_cast<const CardParser::ValueFilter *>(&filter)}) {
        const QStringList cards = identities(wrapCard(lines), with);
        QCOMPARE(cards.size(), 1);
        QCOMPARE(cards.first().section(u':', 0, 0), u"1 1 "_s + contact);
    }
}

QTEST_GUILESS_MAIN(TestCardParser)
void TestCardParser::lineEndsCounted()
{
    // Line ends as the reader sees them (LF, CR LF, a lone CR; a run of CRs before an LF
    // is one), counted a block at a time: every mix, at every offset of a block.
    const auto expected = [](QByteArrayView bytes) {
        qint64 count = 0;
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == '\n')
                ++count;
            else if (bytes[i] == '\r') {
                qsizetype j = i;
                while (j < bytes.size() && bytes[j] == '\r')
                    ++j;
                if (j == bytes.size() || bytes[j] != '\n')
                    count += j - i;
                i = j - 1;
            }
        }
        return count;
    };
    QRandomGenerator random(17);
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes(random.bounded(round % 3 ? 90 : 300), 'x');
        for (char &c : bytes)
            c = "\r\nxx"[random.bounded(round % 2 ? 3 : 5)];
        QCOMPARE(CardParser::countLineEnds(bytes), expected(bytes));
    }
}

void TestCardParser::ruledOutValuesWriteTheirFields_data()
{
    QTest::addColumn<QByteArray>("line");
    for (const char *line :
         {"FN:A", "ORG:A;B", "BDAY:1", "NICKNAME:A", "TITLE:A", "ROLE:A", "EMAIL:a@b", "URL:u",
          "NOTE:a=0Db", "TEL;FAX:1", "TEL;TYPE=cell:1", "TEL;PAGER:1", "TEL;WORK:1", "TEL:1",
          "N:", "N:A", "N: A ; ", "N:A;B;C", "ADR:", "ADR:;;", "ADR;WORK:;x;", "ADR:; ;S",
          "ADR:;;S;C", "ADR: ;x;S;C;R;P;Y;Z", "ADR;type=work:;;;;;;;;;", "X-A:1"})
        QTest::newRow(line) << QByteArray(line);
}

void TestCardParser::ruledOutValuesWriteTheirFields()
{
    // A value ruled out writes empty text to the very fields its text would: over fields
    // that all hold a text, what is emptied and what is kept as written over tell which.
    QFETCH(QByteArray, line);
    const qsizetype colon = line.indexOf(':');
    const QByteArrayView namePart = QByteArrayView(line).first(colon);
    const QByteArrayView value = QByteArrayView(line).sliced(colon + 1);
    const cardreader::Prop prop = cardreader::propFromBaseName(cardreader::propertyBaseName(namePart));
    ContactFields full;
    for (const ContactFieldInfo &field : declaredContactFields()) {
        if (field.isList())
            (full.*field.list).append(u"x"_s);
        else
            full.*field.text = u"x"_s;
    }
    ContactFields general = full;
    // The general rules read a ruled-out value's text for a structured value's shape only.
    const bool structured = prop == cardreader::Prop::N || prop == cardreader::Prop::ADR;
    cardreader::applyProperty(prop, namePart, structured ? QString::fromUtf8(value) : QString(),
                              false, true, general);
    ContactFields fast = full;
    cardreader::applyRuledOutProperty(prop, namePart, value, fast);
    QCOMPARE(fast, general);
    QCOMPARE(fast.Overwritten, general.Overwritten);
}

void TestCardParser::propertyLinesSplitAsTheirParts()
{
    // A line splits at its value's colon (quotes, groups and blanks in every mix) into the
    // property its base name names, as those parts read on their own.
    using namespace cardreader;
    QRandomGenerator random(5);
    const char *pieces[] = {"N", "fn", "TEL", "x", ".", ";", ":", "\"", " ", "=", "a.b"};
    for (int round = 0; round < 20000; ++round) {
        QByteArray line;
        for (int i = random.bounded(9); i > 0; --i)
            line += pieces[random.bounded(int(std::size(pieces)))];
        PropertyLine split;
        const bool known = splitPropertyLine(line, split);
        const qsizetype colon = valueColon(line);
        const QByteArrayView namePart = QByteArrayView(line).first(qMax(colon, qsizetype(0)));
        const bool named = colon >= 0 && !trimmedSpaces(namePart).isEmpty();
        const Prop prop = named ? propFromBaseName(propertyBaseName(namePart)) : Prop::None;
        QVERIFY2(known == (prop != Prop::None) && split.prop == prop, line.constData());
        QVERIFY2(split.namePart == (named ? namePart : QByteArrayView()), line.constData());
        QVERIFY2(split.value == (named ? QByteArrayView(line).sliced(colon + 1) : QByteArrayView()),
                 line.constData());
    }
}

#include "tst_card_parser.moc"
