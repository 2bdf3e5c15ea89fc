// The card reader against a careful reference reading of real exporters' files.
//
// The corpus and its reference reading (oracle.json) live outside the project, in the
// shared folder; a clone without them skips every test here.

#include "CardExpect.h"
#include "TestFiles.h"
#include "base/Failure.h"
#include "card/ContactFields.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QTest>

#include <algorithm>
#include <iterator>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

QString oraclePath()
{
    return QStringLiteral(QUILLORY_SHARED_DIR "/corpus/oracle.json");
}

/// A value the reference reading has that the record cannot show, for a reason other
/// than the record's field rules. valuePart is a part of the reference value that is
/// unique within the file's values of that property.
struct ExpectedDifference
{
    QStringView file;
    QStringView property;
    QStringView valuePart;
    QStringView reason;
};

constexpr ExpectedDifference kExpectedDifferences[] = {
    {u"android-vcard/v21_backslash.vcf", u"FN", u"D:E\\\\",
     u"the record undoes \\\\ in 2.1 text as well; the reference keeps 2.1 backslashes"},
    {u"syncevolution/vcard21.vcf", u"NOTE", u"backslash \\\\ backslash",
     u"the record undoes \\\\ in 2.1 text as well; the reference keeps 2.1 backslashes"},
    {u"android-vcard/v21_adr_multiple_line.vcf", u"ADR street", u"Brevern\\",
     u"the raw lines after the street continue it, each backslash before a line end a line "
     u"break; the reference drops those lines and keeps the backslash"},
};

/// One value the reference reading holds for a card. exempt marks a value that the
/// record drops by design because a later property of the card writes the same field.
struct OracleValue
{
    QString property;
    QString value;
    bool exempt = false;
};

struct Tally
{
    qsizetype total = 0;
    qsizetype found = 0;
    qsizetype exempt = 0;
    qsizetype expected = 0;
    qsizetype unexplained = 0;
};

void appendFlattened(const QJsonArray &cards, QList<QJsonObject> &out)
{
    // The reader lists a nested card (2.1 AGENT) right after the card that holds it.
    for (const QJsonValue &card : cards) {
        out.append(card.toObject());
        appendFlattened(card[u"nested_cards"].toArray(), out);
    }
}

QList<QJsonObject> flattenedCards(const QJsonObject &file)
{
    QList<QJsonObject> cards;
    appendFlattened(file[u"cards"].toArray(), cards);
    return cards;
}

qsizetype expectedCardCount(const QJsonObject &file)
{
    // A file without any card (a BOM and nothing else) still gives the record one empty card.
    return std::max<qsizetype>(1, flattenedCards(file).size());
}

/// The components of a structured property in the card's file-ordered list; a value
/// without any ';' is stored as plain text.
QStringList components(const QJsonArray &fields, qsizetype position)
{
    const QJsonValue value = fields.at(position).toArray().at(2);
    if (value.isString())
        return {value.toString()};
    QStringList parts;
    for (const QJsonValue &part : value.toArray())
        parts.append(part.toString());
    return parts;
}

bool anyContains(const QJsonArray &types, QStringView word)
{
    return std::any_of(types.begin(), types.end(), [word](const QJsonValue &type) {
        return type.toString().contains(word, Qt::CaseInsensitive);
    });
}

enum class TelSlot { List, Fax, Mobile, Pager };

TelSlot telSlot(const QJsonArray &types)
{
    // The first kind that applies decides: a work fax fills the fax field.
    if (anyContains(types, u"fax"))
        return TelSlot::Fax;
    if (anyContains(types, u"cell"))
        return TelSlot::Mobile;
    if (anyContains(types, u"pager"))
        return TelSlot::Pager;
    return TelSlot::List;
}

bool anyAfter(const QList<qsizetype> &positions, qsizetype position)
{
    return std::any_of(positions.begin(), positions.end(),
                       [position](qsizetype p) { return p > position; });
}

/// Every non-empty value the reference reading gives for the card in the properties
/// the record keeps, each marked exempt when a field rule drops it.
QList<OracleValue> oracleValues(const QJsonObject &card)
{
    const QJsonArray fields = card[u"fields"].toArray();
    QHash<QString, QList<qsizetype>> positions;
    for (qsizetype i = 0; i < fields.size(); ++i)
        positions[fields.at(i).toArray().at(1).toString().toUpper()].append(i);

    QList<OracleValue> values;
    const auto add = [&values](const QString &property, QString value, bool exempt) {
        if (value.isEmpty())
            return;
        // The reference keeps line breaks inside values; the record shows each as one space
        // and drops the spaces at either end of a value, which takes a closing break with them.
        value.replace(u'\n', u' ');
        qsizetype begin = 0;
        qsizetype end = value.size();
        while (begin < end && value.at(begin) == u' ')
            ++begin;
        while (end > begin && value.at(end - 1) == u' ')
            --end;
        if (begin == end)
            return;
        values.append({property, value.sliced(begin, end - begin), exempt});
    };

    // FN and N both write FirstName, so whichever comes last wins; an N with more than
    // one component writes it even when its given name is empty. Every N writes LastName.
    QList<qsizetype> firstNameWriters = positions.value(u"FN"_s);
    const QList<qsizetype> lastNameWriters = positions.value(u"N"_s);
    for (const qsizetype position : lastNameWriters) {
        if (components(fields, position).size() >= 2)
            firstNameWriters.append(position);
    }

    const QJsonArray fn = card[u"fn"].toArray();
    const QList<qsizetype> fnAt = positions.value(u"FN"_s);
    for (qsizetype i = 0; i < fn.size(); ++i)
        add(u"FN"_s, fn.at(i).toString(), anyAfter(firstNameWriters, fnAt.value(i, -1)));

    // The reference's n is the card's first N.
    if (const QJsonObject n = card[u"n"].toObject(); !n.isEmpty()) {
        const qsizetype at = positions.value(u"N"_s).value(0, -1);
        add(u"N family"_s, n[u"family"].toString(), anyAfter(lastNameWriters, at));
        add(u"N given"_s, n[u"given"].toString(), anyAfter(firstNameWriters, at));
    }

    const QJsonArray org = card[u"org"].toArray();
    for (qsizetype i = 0; i < org.size(); ++i) {
        for (const QJsonValue &component : org.at(i).toArray())
            add(u"ORG"_s, component.toString(), i + 1 < org.size());
    }

    // Single-valued text fields keep the card's last line of their property.
    const std::pair<QString, QString> singles[] = {
        {u"title"_s, u"TITLE"_s}, {u"role"_s, u"ROLE"_s}, {u"nickname"_s, u"NICKNAME"_s},
        {u"bday"_s, u"BDAY"_s},   {u"note"_s, u"NOTE"_s},
    };
    for (const auto &[key, property] : singles) {
        const QJsonArray entries = card[key].toArray();
        for (qsizetype i = 0; i < entries.size(); ++i)
            add(property, entries.at(i).toString(), i + 1 < entries.size());
    }

    for (const QJsonValue &email : card[u"emails"].toArray())
        add(u"EMAIL"_s, email[u"value"].toString(), false);
    for (const QJsonValue &url : card[u"urls"].toArray())
        add(u"URL"_s, url.toString(), false);

    const QJsonArray tels = card[u"tels"].toArray();
    QList<TelSlot> telSlots;
    for (const QJsonValue &tel : tels)
        telSlots.append(telSlot(tel[u"types"].toArray()));
    for (qsizetype i = 0; i < tels.size(); ++i) {
        const bool overwritten = telSlots.at(i) != TelSlot::List
            && std::find(telSlots.begin() + i + 1, telSlots.end(), telSlots.at(i))
                != telSlots.end();
        add(u"TEL"_s, tels.at(i)[u"value"].toString(), overwritten);
    }

    // One business address (types or group name "work") and one home address.
    const QJsonArray adrs = card[u"adrs"].toArray();
    const QList<qsizetype> adrAt = positions.value(u"ADR"_s);
    QList<bool> business;
    for (qsizetype i = 0; i < adrs.size(); ++i) {
        const QString group = fields.at(adrAt.value(i, -1)).toArray().at(0).toString();
        business.append(anyContains(adrs.at(i)[u"types"].toArray(), u"work")
                        || group.contains(u"work"_s, Qt::CaseInsensitive));
    }
    const QString adrParts[] = {u"street"_s, u"city"_s, u"region"_s, u"code"_s, u"country"_s};
    for (qsizetype i = 0; i < adrs.size(); ++i) {
        const bool overwritten
            = std::find(business.begin() + i + 1, business.end(), business.at(i)) != business.end();
        const QJsonObject parts = adrs.at(i)[u"components"].toObject();
        for (const QString &part : adrParts)
            add(u"ADR "_s + part, parts[part].toString(), overwritten);
    }
    return values;
}

QStringList recordTexts(const ContactFields &fields)
{
    QStringList texts;
    for (const ContactFieldInfo &info : declaredContactFields()) {
        if (info.isList())
            texts.append((fields.*info.list).toStringList());
        else
            texts.append(fields.*info.text);
    }
    return texts;
}

QString describeRecord(const ContactFields &fields)
{
    QStringList shown;
    for (const ContactFieldInfo &info : declaredContactFields()) {
        const QString value
            = info.isList() ? (fields.*info.list).join(u" | "_s) : fields.*info.text;
        if (!value.isEmpty())
            shown.append(QString(info.name) + u"=\""_s + value + u'"');
    }
    return shown.isEmpty() ? u"(empty)"_s : shown.join(u", "_s);
}

qsizetype expectedDifferenceFor(const QString &file, const OracleValue &value)
{
    for (qsizetype i = 0; i < qsizetype(std::size(kExpectedDifferences)); ++i) {
        const ExpectedDifference &entry = kExpectedDifferences[i];
        if (entry.file == file && entry.property == value.property
            && value.value.contains(entry.valuePart))
            return i;
    }
    return -1;
}

} // namespace

class TestCardCorpus final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyFileReads();
    void cardCountsMatch();
    void oracleValuesAreFindable_data();
    void oracleValuesAreFindable();
    void cleanupTestCase();

private:
    QString m_missing;
    QJsonObject m_files;
    Tally m_tally;
    qsizetype m_cardCountMismatches = -1;
};

// QSKIP leaves the calling test function, so it has to be expanded there.
#define SKIP_WITHOUT_CORPUS()                                                                      \
    do {                                                                                           \
        if (!m_missing.isEmpty())                                                                  \
            QSKIP(qPrintable(m_missing));                                                          \
    } while (false)

void TestCardCorpus::initTestCase()
{
    if (!QFileInfo(corpusDir()).isDir()) {
        m_missing = u"corpus folder not found: "_s + QDir::toNativeSeparators(corpusDir());
        return;
    }
    QFile oracle(oraclePath());
    if (!oracle.exists()) {
        m_missing = u"reference reading not found: "_s + QDir::toNativeSeparators(oraclePath());
        return;
    }
    QVERIFY2(oracle.open(QIODevice::ReadOnly), qPrintable(oracle.errorString()));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(oracle.readAll(), &error);
    QVERIFY2(error.error == QJsonParseError::NoError,
             qPrintable(oraclePath() + u": "_s + error.errorString()));
    m_files = document[u"files"].toObject();
    QVERIFY2(!m_files.isEmpty(), qPrintable(oraclePath() + u" lists no files"_s));
}

void TestCardCorpus::everyFileReads()
{
    SKIP_WITHOUT_CORPUS();
    QStringList failures;
    for (const QString &file : m_files.keys()) {
        try {
            readCards(corpusDir() + u'/' + file);
        } catch (const Failure &failure) {
            failures.append(file + u": "_s + failure.description());
        }
    }
    QVERIFY2(failures.isEmpty(),
             qPrintable(u"files that failed to read:\n"_s + failures.join(u'\n')));
}

void TestCardCorpus::cardCountsMatch()
{
    SKIP_WITHOUT_CORPUS();
    QStringList mismatches;
    for (auto it = m_files.constBegin(); it != m_files.constEnd(); ++it) {
        QList<ContactFields> cards;
        try {
            cards = readCards(corpusDir() + u'/' + it.key());
        } catch (const Failure &) {
            // everyFileReads reports it; the count of an unread file means nothing.
            continue;
        }
        const qsizetype expected = expectedCardCount(it.value().toObject());
        if (cards.size() != expected)
            mismatches.append(
                u"%1: %2 cards, reference %3"_s.arg(it.key()).arg(cards.size()).arg(expected));
    }
    m_cardCountMismatches = mismatches.size();
    qInfo("files whose card count differs: %lld of %lld", qlonglong(mismatches.size()),
          qlonglong(m_files.size()));
    if (!mismatches.isEmpty())
        QFAIL(qPrintable(u"card counts differ:\n"_s + mismatches.join(u'\n')));
}

void TestCardCorpus::oracleValuesAreFindable_data()
{
    SKIP_WITHOUT_CORPUS();
    QTest::addColumn<QString>("file");
    for (const QString &file : m_files.keys())
        QTest::newRow(qPrintable(file)) << file;
}

void TestCardCorpus::oracleValuesAreFindable()
{
    SKIP_WITHOUT_CORPUS();
    QFETCH(QString, file);

    QList<ContactFields> record;
    try {
        record = readCards(corpusDir() + u'/' + file);
    } catch (const Failure &failure) {
        QFAIL(qPrintable(failure.description()));
    }

    QStringList problems;
    QList<bool> used(std::size(kExpectedDifferences), false);
    const QList<QJsonObject> cards = flattenedCards(m_files[file].toObject());
    for (qsizetype i = 0; i < cards.size(); ++i) {
        const bool inRecord = i < record.size();
        const QStringList texts = inRecord ? recordTexts(record.at(i)) : QStringList();
        bool missing = false;
        for (const OracleValue &value : oracleValues(cards.at(i))) {
            ++m_tally.total;
            // A value that a field rule drops may still be found elsewhere (a name
            // in a note), so findability is counted first.
            if (std::any_of(texts.begin(), texts.end(),
                            [&value](const QString &text) { return text.contains(value.value); })) {
                ++m_tally.found;
            } else if (value.exempt) {
                ++m_tally.exempt;
            } else if (const qsizetype entry = expectedDifferenceFor(file, value); entry >= 0) {
                ++m_tally.expected;
                used[entry] = true;
            } else {
                ++m_tally.unexplained;
                missing = true;
                problems.append(
                    u"card %1 %2: \"%3\" is in no field"_s.arg(i).arg(value.property, value.value));
            }
        }
        if (missing)
            problems.append(u"  card %1 of the record: "_s.arg(i)
                            + (inRecord ? describeRecord(record.at(i)) : u"(no such card)"_s));
    }

    for (qsizetype i = 0; i < qsizetype(std::size(kExpectedDifferences)); ++i) {
        const ExpectedDifference &entry = kExpectedDifferences[i];
        if (entry.file == file && !used.at(i))
            problems.append(u"expected difference no longer seen: %1 \"%2\" (%3)"_s.arg(
                entry.property.toString(), entry.valuePart.toString(), entry.reason.toString()));
    }
    if (!problems.isEmpty())
        QFAIL(qPrintable(u"values the record lacks:\n"_s + problems.join(u'\n')));
}

void TestCardCorpus::cleanupTestCase()
{
    if (!m_missing.isEmpty())
        return;
    qInfo("findable %lld of %lld oracle values (%lld exempt by field rules, %lld expected "
          "differences, %lld unexplained)",
          qlonglong(m_tally.found), qlonglong(m_tally.total), qlonglong(m_tally.exempt),
          qlonglong(m_tally.expected), qlonglong(m_tally.unexplained));
    if (m_cardCountMismatches >= 0)
        qInfo("files whose card count differs: %lld", qlonglong(m_cardCountMismatches));
}

QTEST_GUILESS_MAIN(TestCardCorpus)
#include "tst_card_corpus.moc"
