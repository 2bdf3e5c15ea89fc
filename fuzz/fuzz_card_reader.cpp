// Card files of any bytes: prepared, parsed and searched without a crash, and the
// search's shortcuts (skipping files, cards and values that cannot match, parsing a
// file in parts) never lose a row.
//
// Input: byte 0 holds the options (bit 0: ignore case, bit 1: ignore accents, bit 2: phone
// numbers in any format, read in Germany, bit 3: search all properties, bit 4: the search
// text is a regular expression, bit 5: whole words only, bit 6: only chosen fields, bit 7:
// the search text is two texts split at its first line feed, and a card gives rows only
// when it holds both), byte 1 the length of the search text (0 to 8), then the search text
// as UTF-8, then with bit 6 a byte that chooses the fields (see fieldChoice), then the
// file's bytes.

#include "card/CardBytes.h"
#include "card/CardParser.h"
#include "card/CharsetDetection.h"
#include "card/ReadFacts.h"
#include "card/ReadFactsScan.h"
#include "card/Utf8Text.h"
#include "search/FieldMatching.h"
#include "search/TextMatcher.h"

#include <QByteArray>
#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

/// The rows a search finds, as a count and a digest: nothing is held but one card at a
/// time, so that the fuzzer's memory limit measures the reader's memory, not this
/// harness's.
struct Rows
{
    qsizetype count = 0;
    size_t digest = 0;

    Rows &add(const ContactFields &card, const std::vector<TextMatcher> &matchers, bool every,
              const FieldChoice &choice)
    {
        if (every && !std::all_of(matchers.cbegin(), matchers.cend(), [&](const TextMatcher &m) {
                return holdsFieldMatch(card, m, choice);
            }))
            return *this;
        for (const TextMatcher &matcher : matchers) {
            forEachFieldMatch(
                card, matcher,
                [this](const QString &tag, const QString &value) {
                    ++count;
                    digest = qHashMulti(digest, tag, value);
                },
                choice);
        }
        return *this;
    }

    bool operator==(const Rows &) const = default;
};

/// Bits 0 to 2: a group (none, then fieldGroups() in order); bits 3 to 7: a field of
/// searchedContactFields(), CATEGORIES, X-SKYPE or none.
FieldChoice fieldChoice(uint8_t byte)
{
    QStringList names;
    if (const int group = byte & 7; group > 0)
        names.append(fieldGroups().at(group - 1).name);
    if (const std::size_t single = byte >> 3; single < kContactFieldCount)
        names.append(searchedFieldTag(single));
    else if (single == kContactFieldCount)
        names.append(QStringLiteral("CATEGORIES"));
    else if (single == kContactFieldCount + 1)
        names.append(QStringLiteral("x-skype"));
    return FieldChoice::fromNames(names);
}

/// hasNonUtf8Text as first written, a check apart from the one-pass one: the whole text
/// as UTF-8, then each run of "=XX" escapes as the bytes it stands for.
bool referenceNonUtf8(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    if (!isValidUtf8(text))
        return true;
    for (qsizetype p = 0; (p = text.indexOf('=', p)) >= 0;) {
        QByteArray run;
        qsizetype q = p;
        for (; text.size() - q >= 3 && text[q] == '='; q += 3) {
            const int hi = hexDigitValue(text[q + 1]);
            const int lo = hexDigitValue(text[q + 2]);
            if (hi < 0 || lo < 0)
                break;
            run.append(char(hi * 16 + lo));
        }
        if (!isValidUtf8(run))
            return true;
        p = q > p ? q : p + 1;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const MatchOptions matchOptions{(data[0] & 1) != 0,  (data[0] & 2) != 0,
                                    (data[0] & 4) != 0,  QStringLiteral("DE"),
                                    (data[0] & 16) != 0, (data[0] & 32) != 0};
    const ParseOptions parseOptions{(data[0] & 8) != 0};
    const size_t needleLength = std::min<size_t>(data[1] % 9, size - 2);
    const QString needle
        = QString::fromUtf8(reinterpret_cast<const char *>(data + 2), qsizetype(needleLength));
    size_t fileStart = 2 + needleLength;
    FieldChoice choice;
    if ((data[0] & 64) != 0 && fileStart < size)
        choice = fieldChoice(data[fileStart++]);
    const QByteArray raw(reinterpret_cast<const char *>(data + fileStart),
                         qsizetype(size - fileStart));

    // The list-file reading of the same bytes.
    (void)decodeWholeText(raw);

    const CardBytes prepared = prepareCardBytes(raw);
    const bool every = (data[0] & 128) != 0;
    const qsizetype cut = every ? needle.indexOf(u'\n') : -1;
    const QStringList texts
        = cut < 0 ? QStringList{needle} : QStringList{needle.first(cut), needle.sliced(cut + 1)};
    std::vector<TextMatcher> search;
    for (const QString &text : texts) {
        if (!text.trimmed().isEmpty())
            search.emplace_back(text, matchOptions);
    }
    if (search.size() < std::size_t(texts.size()))
        search.clear();
    Rows expected;
    // Each card's identity: numbered in order, its bytes inside the text and after the
    // last card's start; its properties can be listed for the card pane.
    std::vector<size_t> contacts;
    qsizetype lastBegin = 0;
    const qsizetype cards = CardParser::parse(
        prepared,
        [&](ContactFields &&card, const CardParser::Identity &identity) {
            expected.add(card, search, every, choice);
            if (identity.number != qint64(contacts.size()) + 1 || identity.begin < lastBegin
                || identity.end < identity.begin || identity.end > prepared.bytes.size())
                std::abort(); // a card's number or bytes are out of place
            lastBegin = identity.begin;
            contacts.push_back(qHash(identity.contact));
            if (contacts.size() <= 4)
                (void)CardParser::properties(prepared, identity.begin, identity.end, 64);
        },
        nullptr, nullptr, parseOptions);
    if (cards < 1)
        std::abort(); // a file always gives at least one card
    if (search.empty())
        return 0;

    // Parts cut where a large file is parsed on several threads give the same rows
    // when each part before the last ends outside every card.
    const QList<qsizetype> cuts = CardParser::cutPoints(prepared.bytes, 3);
    if (!cuts.isEmpty()) {
        Rows parts;
        bool outside = true;
        for (qsizetype k = 0; k <= cuts.size(); ++k) {
            bool ended = false;
            CardParser::parseRange(
                prepared, k == 0 ? 0 : cuts.at(k - 1),
                k == cuts.size() ? prepared.bytes.size() : cuts.at(k),
                [&](ContactFields &&card, const CardParser::Identity &) {
                    parts.add(card, search, every, choice);
                },
                nullptr, &ended, nullptr, parseOptions);
            outside = outside && (ended || k == cuts.size());
        }
        if (outside && parts != expected)
            std::abort(); // parts parsed alone lost or changed a row
    }

    // With both texts needed, a file that cannot hold one of them is skipped.
    if (every) {
        for (const QString &text : texts) {
            if (!RawValueFilter({text}, matchOptions).fileMayContain(prepared.bytes)) {
                if (expected.count != 0)
                    std::abort(); // the file was skipped although it holds a match
                return 0;
            }
        }
    }
    const RawValueFilter filter(texts, matchOptions);
    if (!filter.isUsable())
        return 0;
    CardFactsGatherer gather(prepared.bytes);
    if (!filter.fileMayContain(prepared.bytes, nullptr, nullptr, &gather)) {
        if (expected.count != 0)
            std::abort(); // the file was skipped although it holds a match
        // The facts gathered on the filter's pass are those a reading of their own finds.
        ReadFacts gathered;
        ReadFacts read;
        if (gather.cardFacts(prepared, gathered) != scanCardFacts(prepared, read)
            || gathered.cards != read.cards || gathered.problems != read.problems
            || gather.hasNonUtf8Text() != cardreader::hasNonUtf8Text(prepared.bytes)
            || gather.hasNonUtf8Text() != referenceNonUtf8(prepared.bytes))
            std::abort();
        return 0;
    }
    // The search reads the other properties only when the choice takes some of them in.
    const ParseOptions filteredOptions{parseOptions.otherProperties && choice.wantsOthers()};
    Rows filtered;
    const qsizetype count = CardParser::parse(
        prepared,
        [&](ContactFields &&card, const CardParser::Identity &identity) {
            filtered.add(card, search, every, choice);
            // The contact is read from values the filter rules out too.
            if (identity.number < 1 || identity.number > qint64(contacts.size())
                || contacts[std::size_t(identity.number - 1)] != qHash(identity.contact))
                std::abort();
        },
        &filter, nullptr, filteredOptions);
    if (count != cards || filtered != expected)
        std::abort(); // a value or a card was skipped although it holds a match
    return 0;
}
