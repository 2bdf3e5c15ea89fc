// The properties outside the 27 fields, read when a search takes in every property, and
// text values written in base64.

#include "CardExpect.h"
#include "card/CardParser.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QList<ContactFields> parseCards(const QByteArray &file, bool otherProperties)
{
    QList<ContactFields> cards;
    CardParser::parse(
        prepareCardBytes(file), [&](ContactFields &&card) { cards.append(std::move(card)); },
        nullptr, nullptr, ParseOptions{otherProperties});
    return cards;
}

/// The card's other properties as "TAG=value".
QStringList others(const ContactFields &card)
{
    QStringList found;
    for (qsizetype i = 0; i < card.Others.values.size(); ++i)
        found.append(card.Others.tags.value(i) + u'=' + card.Others.values.value(i));
    return found;
}

} // namespace

class TestCardProperties final : public QObject
{
    Q_OBJECT

private slots:
    void otherProperties_data();
    void otherProperties();
    void base64TextValues_data();
    void base64TextValues();
    void paneReadsEachCardAlike_data();
    void paneReadsEachCardAlike();
};

void TestCardProperties::otherProperties_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("cards"); // each card's other properties, joined by " | "

    QTest::newRow("Google: categories, labelled items, escapes")
        << QByteArray("BEGIN:VCARD\nVERSION:3.0\nFN:Ann Lee\nCATEGORIES:VIP,Family\n"
                      "item1.X-ABDATE:2010-06-12\nitem1.X-ABLabel:_$!<Anniversary>!$_\nNOTE:n\n"
                      "X-PHONETIC-LAST-NAME:Lee\\, Ann \nEND:VCARD\n")
        << QStringList{u"CATEGORIES=VIP,Family | X-ABDATE=2010-06-12 | "
                       "X-ABLABEL=_$!<Anniversary>!$_ | X-PHONETIC-LAST-NAME=Lee, Ann"_s};
    QTest::newRow("iCloud: parameters and case of the name")
        << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann\r\n"
                      "IMPP;X-SERVICE-TYPE=jabber;type=pref:xmpp:ann@jabber.example\r\n"
                      "x-socialprofile;type=twitter:https://twitter.com/ann\r\n"
                      "RELATED;TYPE=spouse:urn:uuid:03a0e51f\r\nEND:VCARD\r\n")
        << QStringList{u"IMPP=xmpp:ann@jabber.example | IMPP=jabber | "
                       "X-SOCIALPROFILE=https://twitter.com/ann"
                       " | RELATED=urn:uuid:03a0e51f"_s};
    QTest::newRow("Android: custom rows, quoted-printable")
        << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\n"
                      "X-ANDROID-CUSTOM:vnd.android.cursor.item/nickname;Annie;1;;;;;;\r\n"
                      "X-PHONETIC-FIRST-NAME;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BC=\r\n"
                      "ller\r\nEND:VCARD\r\n")
        << QStringList{u"X-ANDROID-CUSTOM=vnd.android.cursor.item/nickname;Annie;1;;;;;; | "
                       "X-PHONETIC-FIRST-NAME=Müller"_s};
    QTest::newRow("Outlook and vCard 4: Skype, gender, anniversary, place, label")
        << QByteArray("BEGIN:VCARD\nVERSION:4.0\nX-SKYPE:ann.lee\nGENDER:F\nANNIVERSARY:20100612\n"
                      "GEO:geo:52.52,13.40\nLABEL;TYPE=WORK:Main St. 1\\nBerlin\nEND:VCARD\n")
        << QStringList{u"X-SKYPE=ann.lee | GENDER=F | ANNIVERSARY=20100612 | "
                       "GEO=geo:52.52,13.40 | LABEL=Main St. 1 Berlin"_s};
    QTest::newRow("binary data is left out, the address of a picture is not")
        << wrapCard(
               "PHOTO;ENCODING=b;TYPE=JPEG;X-CROP=clip 0 0:/9j/4AAQSkZJRg==\n"
               "PHOTO:data:image/png;base64,iVBORw0KGgo=\nLOGO;ENCODING=BASE64;PNG:iVBORw0KGgo=\n"
               "KEY;ENCODING=b:mQINBF\nSOUND;BASE64:UklGRg==\n"
               "PHOTO;VALUE=uri:https://example.com/ann.jpg\n"
               "X-MS-CARDPICTURE;TYPE=JPEG;ENCODING=BASE64:/9j/4AAQSkZJRgABAQ==\n")
        << QStringList{u"PHOTO=https://example.com/ann.jpg"_s};
    QTest::newRow("BEGIN, END and VERSION are not searched, nor empty values")
        << QByteArray("BEGIN:VCARD\nVERSION:4.0\nBEGIN:VCALENDAR\nX-EMPTY:\nX-BLANK: \n"
                      "END:VCALENDAR\nKIND:individual\nEND:VCARD\n")
        << QStringList{u"KIND=individual"_s};
    // The parts of the 27 fields' lines that no field holds, among the other properties.
    QTest::newRow("N: additional names, prefixes, suffixes, escapes")
        << wrapCard(
               "CATEGORIES:a\nN:Doe;John;Paul\\, Jo;Dr.;M.Sc.;extra;;more\nN:Lee;Ann;;;\nX-B:b\n")
        << QStringList{u"CATEGORIES=a | N=Paul, Jo | N=Dr. | N=M.Sc. | N=extra | N=more | X-B=b"_s};
    QTest::newRow("ADR: PO box, components past the country, one or two components")
        << wrapCard("ADR;TYPE=HOME:PO Box 7;;Main St. 1;Town;;12345;Land;Extra 1;Extra 2\n"
                    "ADR;X-custom:pobox;street\nADR:alone\nADR:; ;;Town;;;\n")
        << QStringList{u"ADR=PO Box 7 | ADR=Extra 1 | ADR=Extra 2 | ADR=pobox | ADR=street | "
                       "ADR=alone"_s};
    // Parameters that tell how a line is read are left out; the others are text.
    QTest::newRow("parameters: quoted, escaped, of any property")
        << wrapCard(
               "ADR;TYPE=work;LABEL=\"Main St. 1^nBerlin ^'Mitte^' a^^b\";GEO=\"geo:52.5,13.4\";"
               "PREF=1:;;Main St. 1;Berlin;;;\n"
               "N;SORT-AS=\"Doe,John\";LANGUAGE=en;ALTID=1:Doe;John;;;\n"
               "item1.ADR;LABEL=Elm St. 2\\nParis;CHARSET=UTF-8;VALUE=text:;;Elm St. 2;Paris\n"
               "X-IM;X-SERVICE-TYPE=Skype;TYPE=home;X-EMPTY=\"\":live:ann\nTEL;HOME;X-A=1:5\n")
        << QStringList{u"ADR=Main St. 1 Berlin \"Mitte\" a^b | ADR=geo:52.5,13.4 | N=Doe,John | "
                       "ADR=Elm St. 2 Paris | X-IM=live:ann | X-IM=Skype | TEL=1"_s};
    // Each row costs its tag: a hostile line of a million parts gives a few.
    QByteArray many = "X-P";
    QByteArray components = "ADR:PO;;;;;;";
    QStringList manyRows{u"X-P=v"_s};
    QStringList componentRows{u"ADR=PO"_s};
    for (int i = 1; i <= 18; ++i) {
        many += ";P" + QByteArray::number(i) + "=t" + QByteArray::number(i);
        components += ";c" + QByteArray::number(i);
        if (i <= 16)
            manyRows.append(u"X-P=t"_s + QString::number(i));
        if (i <= 15)
            componentRows.append(u"ADR=c"_s + QString::number(i));
    }
    manyRows << u"X-P=t17;t18"_s << componentRows << u"ADR=c16;c17;c18"_s;
    QTest::newRow("a line's texts past the sixteenth in one row")
        << wrapCard(many + ":v\n" + components + "\n") << QStringList{manyRows.join(u" | "_s)};
    // Lines outside every card make a card only with a property of the 27 fields.
    QTest::newRow("nested cards and lines outside every card")
        << QByteArray("X-LOOSE:alone\nBEGIN:VCARD\nX-A:outer 1\nBEGIN:VCARD\nX-B:inner\n"
                      "END:VCARD\nX-C:outer 2\nEND:VCARD\nX-D:before\nTEL:1\nX-E:after\n")
        << QStringList{u"X-A=outer 1 | X-C=outer 2"_s, u"X-B=inner"_s, u"X-D=before | X-E=after"_s};
}

void TestCardProperties::otherProperties()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, cards);
    const QList<ContactFields> all = parseCards(file, true);
    QStringList found;
    for (const ContactFields &card : all)
        found.append(others(card).join(u" | "_s));
    QCOMPARE(found, cards);
    // Asked for nothing more, the parse gives the same cards without them.
    QList<ContactFields> fieldsOnly = all;
    for (ContactFields &card : fieldsOnly)
        card.Others = {};
    QCOMPARE(parseCards(file, false), fieldsOnly);
}

void TestCardProperties::base64TextValues_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QVariantMap>("fields");
    QTest::addColumn<QStringList>("others");
    QTest::addColumn<QStringList>("shown"); // the card pane's properties, but VERSION

    QTest::newRow("vCard 2.1 BASE64 with CHARSET, structured")
        << QByteArray("N;CHARSET=UTF-8;BASE64:TcO8bGxlcjtBbm5h\n")
        << QVariantMap{{u"LastName"_s, u"Müller"_s}, {u"FirstName"_s, u"Anna"_s}} << QStringList{}
        << QStringList{u"N=Müller; Anna"_s};
    QTest::newRow("ENCODING=b read in its charset")
        << QByteArray("NOTE;ENCODING=b;CHARSET=SHIFT_JIS:g1yDdINn\n")
        << QVariantMap{{u"Notes"_s, u"ソフト"_s}} << QStringList{} << QStringList{u"NOTE=ソフト"_s};
    QTest::newRow("decoded line breaks become blanks")
        << QByteArray("TITLE;ENCODING=B:bGluZSBvbmUNCmxpbmUgdHdv\n")
        << QVariantMap{{u"Title"_s, u"line one line two"_s}} << QStringList{}
        << QStringList{u"TITLE=line one line two"_s};
    QTest::newRow("folded, indented base64")
        << QByteArray("FN;ENCODING=BASE64:QW5u\n  YSBM\n  ZWU=\n")
        << QVariantMap{{u"FirstName"_s, u"Anna Lee"_s}} << QStringList{}
        << QStringList{u"FN=Anna Lee"_s};
    QTest::newRow("not base64: read as written")
        << QByteArray("ROLE;ENCODING=b:Chief (acting)\n")
        << QVariantMap{{u"Role"_s, u"Chief (acting)"_s}} << QStringList{}
        << QStringList{u"ROLE=Chief (acting)"_s};
    QTest::newRow("another property, escapes undone after decoding")
        << QByteArray("X-NOTE;ENCODING=b:VGVjaFwsIGxlYWQ=\n") << QVariantMap{}
        << QStringList{u"X-NOTE=Tech, lead"_s} << QStringList{u"X-NOTE=Tech, lead"_s};
    QTest::newRow("a photo stays as written")
        << QByteArray("PHOTO;ENCODING=b;TYPE=JPEG:dGVjaA==\n") << QVariantMap{} << QStringList{}
        << QStringList{u"PHOTO=dGVjaA=="_s};
}

void TestCardProperties::base64TextValues()
{
    QFETCH(QByteArray, lines);
    QFETCH(QVariantMap, fields);
    QFETCH(QStringList, others);
    QFETCH(QStringList, shown);
    const QByteArray file = wrapCard(lines);
    const QList<ContactFields> cards = parseCards(file, true);
    QCOMPARE(cards.size(), 1);
    ContactFields expected = expectedFields(fields);
    expected.Others = cards.first().Others;
    QVERIFY2(cards.first() == expected,
             qPrintable(u"fields differ:"_s + fieldDifferences(cards.first(), expected)));
    QCOMPARE(::others(cards.first()), others);
    const CardBytes text = prepareCardBytes(file);
    QStringList properties;
    for (const CardParser::Property &property :
         CardParser::properties(text, 0, text.bytes.size(), 100)) {
        if (property.name != u"VERSION"_s)
            properties.append(property.name + u'=' + property.value);
    }
    QCOMPARE(properties, shown);
}

void TestCardProperties::paneReadsEachCardAlike_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("cards"); // each card's properties as the pane shows them

    QTest::newRow("agents, joined cards, raw value lines")
        << QByteArray("BEGIN:VCARD\r\nFN:A\r\nAGENT:BEGIN:VCARD\r\nFN:B\r\nEND:VCARD\r\n"
                      "AGENT:BEGIN:VCARD\\nFN:C\\nNOTE:c\\, d\\nEND:VCARD\r\nNOTE:one\\\r\n"
                      "two\r\nEND:VCARDBEGIN:VCARD\r\nFN:D\r\nEND:VCARD\r\n")
        << QStringList{u"FN=A | NOTE=one two"_s, u"FN=B"_s, u"FN=C | NOTE=c, d"_s, u"FN=D"_s};
    QTest::newRow("3.0 folds after a soft line break, a card without a version does not")
        << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nNOTE;QUOTED-PRINTABLE:a=\r\n b\r\n"
                      "BEGIN:VCARD\r\nNOTE;QUOTED-PRINTABLE:c=\r\n d\r\nEND:VCARD\r\n"
                      "NOTE;QUOTED-PRINTABLE:e=\r\n f\r\nEND:VCARD\r\n")
        << QStringList{u"NOTE=ab | NOTE=ef"_s, u"NOTE=c d"_s};
}

void TestCardProperties::paneReadsEachCardAlike()
{
    // The pane reads a card from its own bytes, the parse from the whole file.
    QFETCH(QByteArray, file);
    QFETCH(QStringList, cards);
    const CardBytes text = prepareCardBytes(file);
    QStringList shown;
    CardParser::parse(text, [&](ContactFields &&, const CardParser::Identity &card) {
        QStringList properties;
        for (const CardParser::Property &property :
             CardParser::properties(text, card.begin, card.end, 100)) {
            if (property.name != u"VERSION"_s)
                properties.append(property.name + u'=' + property.value);
        }
        shown.append(properties.join(u" | "_s));
    });
    QCOMPARE(shown, cards);
}

QTEST_GUILESS_MAIN(TestCardProperties)
#include "tst_card_properties.moc"
