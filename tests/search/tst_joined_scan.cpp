// The one-pass judgement of a file's bytes by RawValueFilter: texts, charset and
// encoding names that only joined or decoded lines show, and the cards a skip may pass.

#include "card/CardParser.h"
#include "card/CharsetDetection.h"
#include "card/ReadFacts.h"
#include "card/ReadFactsScan.h"
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
    void gathersWhatAReadingOfItsOwnFinds_data();
    void gathersWhatAReadingOfItsOwnFinds();
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

void TestJoinedScan::gathersWhatAReadingOfItsOwnFinds_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("nonUtf8");
    const QByteArray v21 = "BEGIN:VCARD\r\nVERSION:2.1\r\n";
    QTest::newRow("parameters, base64 and soft breaks")
        << v21 + "TEL;TYPE=HOME:1\r\nNOTE;ENCODING=QUOTED-PRINTABLE:a=3Db=\r\nc\r\n"
              "PHOTO;ENCODING=b:R0lG\r\n ODdh==\r\nEND:VCARD\r\n" + v21 + "END:VCARD\r\n" << false;
    QTest::newRow("values kept as written")
        << v21 + "NOTE;ENCODING=QUOTED-PRINTABLE:1=ZZ\r\nEND:VCARD\r\n"
              + v21 + "NOTE;QUOTED-PRINTABLE:=G\r\nEND:VCARD\r\n" << false;
    QTest::newRow("lower case, LF, no last line end")
        << QByteArray("begin:vcard\nfn:a=b\nend:vcard\nbegin:vCard\nEND:vcard") << false;
    QTest::newRow("VCARD in a value") << v21 + "NOTE:my vcard\r\nEND:VCARD\r\n" << false;
    QTest::newRow("nested and unclosed")
        << v21 + v21 + "END:VCARD\r\nEND:VCARD\r\n" + v21 + "FN:x=\r\n" << false;
    QTest::newRow("UTF-8 of every length")
        << v21 + "FN:\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xED\x9F\xBF\xF4\x8F\xBF\xBF x\r\n"
              "END:VCARD\r\n" << false;
    QTest::newRow("escapes of UTF-8") << v21 + "FN;QUOTED-PRINTABLE:=C3=A9=41\r\nEND:VCARD\r\n" << false;
    QTest::newRow("an escape of Latin-1") << v21 + "FN;QUOTED-PRINTABLE:=E9t=E9\r\nEND:VCARD\r\n" << true;
    QTest::newRow("escape cut short") << v21 + "FN:=E2=82\r\nEND:VCARD\r\n" << true;
    QTest::newRow("escapes inside a run of UTF-8")
        << v21 + "FN:=41=C3=A9=E2=82=AC=F0=9F=98=80 =A9\r\nEND:VCARD\r\n" << true;
    QTest::newRow("escape of a surrogate") << v21 + "FN:=ED=A0=80\r\nEND:VCARD\r\n" << true;
    QTest::newRow("a lone continuation byte") << v21 + "FN:\x80\r\nEND:VCARD\r\n" << true;
    QTest::newRow("overlong") << v21 + "FN:\xC0\xAF \xE0\x80\xAF\r\nEND:VCARD\r\n" << true;
    QTest::newRow("surrogate") << v21 + "FN:\xED\xA0\x80\r\nEND:VCARD\r\n" << true;
    QTest::newRow("past U+10FFFF") << v21 + "FN:\xF4\x90\x80\x80\r\nEND:VCARD\r\n" << true;
    QTest::newRow("cut short at the end") << v21 + "END:VCARD\r\n\xE2\x82" << true;
    QTest::newRow("UTF-8 and its escapes in a long line")
        << v21 + "NOTE;QUOTED-PRINTABLE:" + QByteArray("ab\xE2\x82\xAC=C3=A9").repeated(40)
            + "\r\nEND:VCARD\r\n" << false;
    // The "=" that the value walk passes over at once, and those it must read: escapes of
    // a B, the b of "ENCODING=b", a line that continues a soft break, parameters.
    const QByteArray bEscapes = "NOTE;QUOTED-PRINTABLE:=CE=BF=CE=BA x=Bq\r\nX-A;encoding=bF:1\r\n";
    // (=bF reads as the escape of a lone continuation byte)
    QTest::newRow("escapes of B, and =b") << v21 + bEscapes + "END:VCARD\r\n" << true;
    const QByteArray softBreak = "NOTE;QUOTED-PRINTABLE:a=\r\nb=Zc;X=Y\r\nFN:";
    QTest::newRow("a line after a soft break, with no colon") << v21 + softBreak
            + QByteArray(64, 'x') + "\r\nEND:VCARD\r\n" << false;
    const QByteArray manyEnds = "NOTE;QUOTED-PRINTABLE:a=\r\n\r\n\n\n\n\n\n\n\n\nb=Zc\r\n"
                                "\r\n\r\n\r\n\r\n\r\nTEL;TYPE=x;VALUE=y:1=Q\r\n";
    QTest::newRow("parameters after many line ends") << v21 + manyEnds + "END:VCARD\r\n" << false;
    QTest::newRow("Latin-1 in a long line")
        << v21 + "NOTE:" + QByteArray("abc\xE9").repeated(40) + "\r\nEND:VCARD\r\n" << true;
}

void TestJoinedScan::gathersWhatAReadingOfItsOwnFinds()
{
    // A file the filter rules out is read once: what its pass gathers is what a reading
    // of its own finds, wherever the windows of the pass fall.
    QFETCH(QByteArray, file);
    QFETCH(bool, nonUtf8);
    const RawValueFilter filter({u"qqzzy"_s}, true);
    for (int shift = 0; shift <= 40; ++shift) {
        const CardBytes text{QByteArray(shift, '\n') + file};
        CardFactsGatherer gather(text.bytes);
        QVERIFY(!filter.fileMayContain(text.bytes, nullptr, nullptr, &gather));
        ReadFacts gathered;
        ReadFacts read;
        QCOMPARE(gather.cardFacts(text, gathered), scanCardFacts(text, read));
        QCOMPARE(gathered.cards, read.cards);
        for (std::size_t k = 0; k < ReadFacts::kProblemKinds; ++k) {
            QCOMPARE(gathered.problems[k].count, read.problems[k].count);
            QCOMPARE(gathered.problems[k].first, read.problems[k].first);
        }
        QCOMPARE(gather.hasNonUtf8Text(), nonUtf8);
        QCOMPARE(cardreader::hasNonUtf8Text(text.bytes), nonUtf8);
    }
}

QTEST_MAIN(TestJoinedScan)
#include "tst_joined_scan.moc"
