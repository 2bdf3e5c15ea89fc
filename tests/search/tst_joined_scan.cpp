// The one-pass judgement of a file's bytes by RawValueFilter: texts, charset and
// encoding names that only joined or decoded lines show, and the cards a skip may pass.

#include "card/CardParser.h"
#include "search/MatchOptions.h"
#include "search/TextMatcher.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestJoinedScan : public QObject
{
    Q_OBJECT

private slots:
    void judgesJoinedLines_data();
    void judgesJoinedLines();
    void skipsAsTheParseReads_data();
    void skipsAsTheParseReads();
};

namespace {

QByteArray cardOf(const QByteArray &lines)
{
    return "BEGIN:VCARD\r\nFN:Ann\r\n" + lines + "END:VCARD\r\n";
}

} // namespace

void TestJoinedScan::judgesJoinedLines_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<bool>("mayContain");
    const QString tech = u"tech"_s;
    QTest::newRow("soft line break inside") << QByteArray("NOTE:te=\r\nch\r\n") << tech << true;
    QTest::newRow("soft line break, blank dropped")
        << QByteArray("NOTE:te=\r\n ch\r\n") << tech << true;
    QTest::newRow("soft line break, two blanks")
        << QByteArray("NOTE:te=\r\n  ch\r\n") << tech << false;
    QTest::newRow("fold inside") << QByteArray("NOTE:te\r\n ch\r\n") << tech << true;
    QTest::newRow("fold keeps the second blank")
        << QByteArray("NOTE:te\r\n  ch\r\n") << tech << false;
    QTest::newRow("fold after CR CR LF") << QByteArray("NOTE:te\r\r\n\tch\r\n") << tech << true;
    // A fold joins a text only where the bytes on its sides stand side by side in it.
    QTest::newRow("fold after the first letter") << QByteArray("NOTE:t\r\n ech\r\n") << tech << true;
    QTest::newRow("fold in capitals") << QByteArray("NOTE:xT\r\n ECHx\r\n") << tech << true;
    QTest::newRow("fold between bytes of no pair")
        << QByteArray("NOTE:tex\r\n ch\r\n") << tech << false;
    QTest::newRow("fold before the blank of a text")
        << QByteArray("NOTE:Ann\r\n  Tech\r\n") << u"ann tech"_s << true;
    QTest::newRow("escape split by a fold") << QByteArray("NOTE:te=6\r\n 3h\r\n") << tech << true;
    QTest::newRow("base64 folded on every line")
        << QByteArray("PHOTO;ENCODING=b:QUJD\r\n REVG\r\n R0hJ\r\n SktM\r\n") << tech << false;
    QTest::newRow("escapes make it") << QByteArray("NOTE:=54=45ch\r\n") << tech << true;
    QTest::newRow("escape after a soft line break")
        << QByteArray("NOTE:te=\r\n=63h\r\n") << tech << true;
    QTest::newRow("escape split by a soft line break")
        << QByteArray("NOTE:te=6=\r\n3h\r\n") << tech << true;
    QTest::newRow("escapes of other letters")
        << QByteArray("NOTE:=41=42 tec=0D=0Ah\r\n") << tech << false;
    QTest::newRow("a long run before")
        << QByteArray("NOTE:" + QByteArray("=41").repeated(200) + "te=\r\nch\r\n") << tech << true;
    QTest::newRow("a long run, other text")
        << QByteArray("NOTE:" + QByteArray("=41").repeated(200) + "te=\r\ncx\r\n") << tech << false;
    QTest::newRow("charset named plainly") << QByteArray("N;CHARSET=UTF-8:x\r\n") << tech << false;
    QTest::newRow("charset that may hide text")
        << QByteArray("N;CHARSET=SHIFT_JIS:x\r\n") << tech << true;
    QTest::newRow("charset name joined by a fold")
        << QByteArray("N;CHA\r\n RSET=SHIFT_JIS:x\r\n") << tech << true;
    QTest::newRow("charset name joined by a soft line break")
        << QByteArray("N;CHARSET=UT=\r\nF-7:x\r\n") << tech << true;
    QTest::newRow("charset value grown by a fold")
        << QByteArray("N;CHARSET=UTF-8\r\n 7:x\r\n") << tech << true;
    QTest::newRow("base64 named across a fold")
        << QByteArray("NOTE;ENCO\r\n DING=b:VGVjaA==\r\n") << tech << true;
    QTest::newRow("base64 named across a soft line break: the parser keeps two lines")
        << QByteArray("NOTE;ENCO=\r\nDING=b:VGVjaA==\r\n") << tech << false;
    QTest::newRow("quoted-printable only")
        << QByteArray("NOTE;ENCODING=QUOTED-PRINTABLE:a=\r\nb\r\n") << tech << false;
    // With case ignored, the Kelvin sign folds to k.
    QTest::newRow("trigger in escapes") << QByteArray("NOTE:=E2=84=AA\r\n") << u"k"_s << true;
    QTest::newRow("trigger split by a soft line break")
        << QByteArray("NOTE:\xE2\x84=\r\n\xAA\r\n") << u"k"_s << true;
    QTest::newRow("trigger half escaped") << QByteArray("NOTE:=E2\x84\xAA\r\n") << u"k"_s << true;
    QTest::newRow("other letters outside ASCII")
        << QByteArray("NOTE:Jos\xC3\xA9 =C3=B8\r\n") << u"k"_s << false;
}

void TestJoinedScan::judgesJoinedLines()
{
    QFETCH(QByteArray, lines);
    QFETCH(QString, needle);
    QFETCH(bool, mayContain);
    const QByteArray card = cardOf(lines);
    const RawValueFilter filter({needle}, true);
    QCOMPARE(filter.fileMayContain(card), mayContain);
    // Behind a large first block too: the file is judged in blocks.
    const QByteArray large = cardOf(QByteArray("NOTE:a\r\n").repeated(600000)) + card;
    QCOMPARE(filter.fileMayContain(large), mayContain);
    // A card may be judged more warily (a long run is not read for VCARD), never less.
    QByteArray joined;
    if (mayContain)
        QVERIFY(filter.cardMayContain(
            card, [] { return QByteArray(); }, joined));
}

void TestJoinedScan::skipsAsTheParseReads_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("BEGIN made by a soft line break")
        << QByteArray("BEGIN:VCARD\nFN:Ann\nBEG=\nIN:VCARD\nFN:Bo\nEND:VCARD\nEND:VCARD\n");
    QTest::newRow("VCARD made by a fold")
        << QByteArray("BEGIN:VCARD\nFN:Ann\nBEGIN:VC\n ARD\nFN:Bo\nEND:VCARD\nEND:VCARD\n");
    QTest::newRow("two VCARDs on the BEGIN line")
        << QByteArray("BEGIN:VCARD\nFN:Ann\nEND:VCARD\nVCARD.BEGIN:VCARD\nFN:Bo\nEND:VCARD\n");
    QTest::newRow("plain cards") << QByteArray("BEGIN:VCARD\nFN:Ann\nEND:VCARD\n"
                                               "BEGIN:VCARD\nFN:Bo=\n b\nEND:VCARD\n");
}

void TestJoinedScan::skipsAsTheParseReads()
{
    QFETCH(QByteArray, file);
    const CardBytes text = prepareCardBytes(file);
    const RawValueFilter filter({u"zzz"_s}, true);
    const auto count = [&](const CardParser::ValueFilter *with) {
        return CardParser::parse(
            text, [](ContactFields &&, const CardParser::Identity &) {}, with);
    };
    QCOMPARE(count(&filter), count(nullptr));
}

QTEST_MAIN(TestJoinedScan)
#include "tst_joined_scan.moc"
