#include "ScriptedListener.h"
#include "TestFiles.h"

#include "search/Duplicates.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray card(const QByteArray &lines)
{
    return "BEGIN:VCARD\r\nVERSION:3.0\r\n" + lines + "END:VCARD\r\n";
}

/// Each group as "file:card@line file:card@line = shared | shared", the files by name,
/// "(weak)" after a group held by names alone.
QStringList describe(const DuplicateGroups &groups)
{
    QStringList out;
    for (qsizetype g = 0; g < groups.size(); ++g) {
        const DuplicateGroup group = groups.group(g);
        QStringList cards;
        for (const DuplicateCard &card : group.cards)
            cards.append(QFileInfo(card.file).fileName() + u':' + QString::number(card.place.number)
                         + u'@' + QString::number(card.place.line));
        out.append(cards.join(u' ') + u" = "_s + group.shared.join(u" | "_s)
                   + (group.weak ? u" (weak)"_s : QString()));
    }
    return out;
}

/// The groups of duplicates among the files, searched on threads threads, among the
/// cards that match text when one is given.
QStringList groupsOf(const QList<QByteArray> &files, const QString &text = {}, int threads = 1)
{
    QTemporaryDir dir;
    QStringList paths;
    for (qsizetype i = 0; i < files.size(); ++i)
        paths.append(writeTestFile(dir, QString(QChar(char16_t(u'a' + i))) + u".vcf"_s, files.at(i)));
    ScriptedListener listener;
    listener.threads = threads;
    listener.criteria.mode = text.isEmpty() ? SearchCriteria::Mode::None : SearchCriteria::Mode::This;
    listener.criteria.text = text;
    listener.criteria.region = u"DE"_s;
    listener.criteria.duplicates = true;
    listener.search(paths);
    return describe(listener.duplicates.groups());
}

} // namespace

class TestDuplicates final : public QObject
{
    Q_OBJECT

private slots:
    void pairs_data();
    void pairs();
    void groups_data();
    void groups();
    void largeFileInParts();
};

// Two cards, each in a file of its own: the group they make, if any.
void TestDuplicates::pairs_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<QString>("group");

    const QString mobile = u"a.vcf:1@1 b.vcf:1@1 = +49 176 12345678 (Mobile)"_s;
    // Phone numbers in their spellings, read in Germany.
    QTest::newRow("national and international")
        << card("FN:A\r\nTEL;TYPE=CELL:0176 12345678\r\n")
        << card("FN:B\r\nTEL;TYPE=CELL:+49 176 12345678\r\n") << mobile;
    QTest::newRow("international call prefix")
        << card("FN:A\r\nTEL;TYPE=CELL:0049 (176) 1234-5678\r\n")
        << card("FN:B\r\nTEL;TYPE=CELL:+49-176-12345678\r\n") << mobile;
    QTest::newRow("tel: URI")
        << card("FN:A\r\nTEL;TYPE=CELL:0176/12345678\r\n")
        << card("FN:B\r\nTEL;VALUE=uri;TYPE=cell:tel:+49-176-1234-5678\r\n") << mobile;
    QTest::newRow("other fields")
        << card("FN:A\r\nTEL;TYPE=HOME:0176 12345678\r\nTEL;TYPE=HOME:030 1234567\r\n")
        << card("FN:B\r\nTEL;TYPE=CELL:+49 176 12345678\r\n")
        << u"a.vcf:1@1 b.vcf:1@1 = +49 176 12345678 (HomePhones1, Mobile)"_s;
    // E-mail addresses: case and blanks aside.
    QTest::newRow("upper-case e-mail")
        << card("FN:A\r\nEMAIL:Anna.Schmidt@Example.ORG\r\n")
        << card("FN:B\r\nEMAIL;TYPE=work: anna.schmidt@example.org \r\n")
        << u"a.vcf:1@1 b.vcf:1@1 = anna.schmidt@example.org (Emails)"_s;
    // Names: a weaker match, in either order, accents and case aside.
    QTest::newRow("name without accents")
        << card("FN:Jürgen Müller\r\n") << card("FN:Jurgen MULLER\r\n")
        << u"a.vcf:1@1 b.vcf:1@1 = Jürgen Müller (same name, weaker) (weak)"_s;
    QTest::newRow("name in either order")
        << card("N:Müller;Jürgen;;;\r\nFN:Jürgen Müller\r\n") << card("FN:Müller Jürgen\r\n")
        << u"a.vcf:1@1 b.vcf:1@1 = Jürgen Müller (same name, weaker) (weak)"_s;
    QTest::newRow("N alone against FN")
        << card("N:Schmidt;Anna;;;\r\n") << card("FN:Anna Schmidt\r\n")
        << u"a.vcf:1@1 b.vcf:1@1 = Anna Schmidt (same name, weaker) (weak)"_s;
    // A work number shared under the same name joins; see the row of another name below.
    QTest::newRow("work number, same name")
        << card("FN:Anna Schmidt\r\nTEL;TYPE=WORK:+49 30 1234500\r\n")
        << card("FN:Anna Schmidt\r\nTEL;TYPE=WORK:030 1234500\r\n")
        << u"a.vcf:1@1 b.vcf:1@1 = +49 30 1234500 (BusinessPhones) | "
           "Anna Schmidt (same name, weaker)"_s;

    // Cards that are not the same contact.
    QTest::newRow("last seven digits alike")
        << card("FN:A\r\nTEL;TYPE=CELL:+49 30 2345678\r\n")
        << card("FN:B\r\nTEL;TYPE=CELL:+49 40 2345678\r\n") << QString();
    QTest::newRow("company switchboard, names differ")
        << card("FN:Anna Schmidt\r\nTEL;TYPE=WORK:+49 30 1234500\r\n")
        << card("FN:Bernd Meier\r\nTEL;TYPE=WORK:+49 30 1234500\r\n") << QString();
    QTest::newRow("a number in a value too long to be one")
        << card("FN:A\r\nTEL;TYPE=CELL:0176 12345678" + QByteArray(240, ' ') + "x\r\n")
        << card("FN:B\r\nTEL;TYPE=CELL:+49 176 12345678\r\n") << QString();
    QTest::newRow("number too short")
        << card("FN:A\r\nTEL:110\r\n") << card("FN:B\r\nTEL:110\r\n") << QString();
    QTest::newRow("a name of one word")
        << card("FN:Mama\r\n") << card("FN:Mama\r\n") << QString();
    QTest::newRow("not an address") << card("FN:A\r\nEMAIL:none\r\n")
                                    << card("FN:B\r\nEMAIL:none\r\n") << QString();
}

void TestDuplicates::pairs()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(QString, group);
    QCOMPARE(groupsOf({first, second}), group.isEmpty() ? QStringList() : QStringList{group});
}

// Several cards and files: how the groups join, and in what order they come.
void TestDuplicates::groups_data()
{
    QTest::addColumn<QList<QByteArray>>("files");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("groups");

    const QByteArray a = card("FN:Anna Schmidt\r\nTEL;TYPE=CELL:0176 12345678\r\n");
    const QByteArray b = card("FN:A. Schmidt\r\nTEL;TYPE=CELL:+49 176 12345678\r\n"
                              "EMAIL:anna@example.org\r\n");
    const QByteArray c = card("FN:Mrs Schmidt\r\nEMAIL:ANNA@example.org\r\n");
    const QByteArray other = card("FN:Otto Normal\r\nTEL;TYPE=CELL:+49 171 7654321\r\n");
    QTest::newRow("a chain joins three")
        << QList<QByteArray>{a + other, b, c} << QString()
        << QStringList{u"a.vcf:1@1 b.vcf:1@1 c.vcf:1@1 = +49 176 12345678 (Mobile) | "
                       "anna@example.org (Emails)"_s};
    QTest::newRow("a pair in one file")
        << QList<QByteArray>{other + a + other.left(0) + b} << QString()
        << QStringList{u"a.vcf:2@6 a.vcf:3@11 = +49 176 12345678 (Mobile)"_s};
    QTest::newRow("larger groups first")
        << QList<QByteArray>{card("FN:Jürgen Müller\r\n") + card("FN:Muller Jurgen\r\n"), a, b, c}
        << QString()
        << QStringList{u"b.vcf:1@1 c.vcf:1@1 d.vcf:1@1 = +49 176 12345678 (Mobile) | "
                       "anna@example.org (Emails)"_s,
                       u"a.vcf:1@1 a.vcf:2@5 = Jürgen Müller (same name, weaker) (weak)"_s};
    // With a search text only the cards that match it take part.
    QTest::newRow("only matching cards")
        << QList<QByteArray>{a, b, c} << u"Schmidt"_s
        << QStringList{u"a.vcf:1@1 b.vcf:1@1 c.vcf:1@1 = +49 176 12345678 (Mobile) | "
                       "anna@example.org (Emails)"_s};
    QTest::newRow("a card left out breaks the chain")
        << QList<QByteArray>{a, b, c} << u"176"_s
        << QStringList{u"a.vcf:1@1 b.vcf:1@1 = +49 176 12345678 (Mobile)"_s};
}

void TestDuplicates::groups()
{
    QFETCH(QList<QByteArray>, files);
    QFETCH(QString, text);
    QFETCH(QStringList, groups);
    QCOMPARE(groupsOf(files, text), groups);
    QCOMPARE(groupsOf(files, text, 2), groups);
}

// A file large enough is parsed in parts at once: its cards keep their numbers and lines.
void TestDuplicates::largeFileInParts()
{
    const QByteArray pair = card("FN:Anna Schmidt\r\nEMAIL:anna@example.org\r\n");
    const QByteArray filler = flatTestCards(qsizetype(12) << 20);
    const QByteArray file
        = pair + filler + pair + QByteArray(filler).replace("Person", "Someone") + pair;
    const QStringList whole = groupsOf({file}, {}, 1);
    QCOMPARE(whole.size(), 1);
    QVERIFY(whole.at(0).startsWith(u"a.vcf:1@1 a.vcf:"_s));
    QCOMPARE(groupsOf({file}, {}, 3), whole);
}

QTEST_GUILESS_MAIN(TestDuplicates)
#include "tst_duplicates.moc"
