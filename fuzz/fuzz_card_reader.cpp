// Card files of any bytes: prepared, parsed and searched without a crash, and the
// search's shortcuts (skipping files, cards and values that cannot match, parsing a
// file in parts) never lose a row.
//
// Input: byte 0 holds the options (bit 0: ignore case), byte 1 the length of the
// search text (0 to 8), then the search text as UTF-8, then the file's bytes.

#include "card/CardBytes.h"
#include "card/CardParser.h"
#include "search/FieldMatching.h"
#include "search/TextMatcher.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <cstdlib>

namespace {

QList<ResultRow> searchAll(const QList<ContactFields> &cards, const TextMatcher &matcher)
{
    QList<ResultRow> rows;
    for (const ContactFields &card : cards)
        AddFieldMatches(card, QStringLiteral("f.vcf"), matcher, rows);
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const bool ignoreCase = (data[0] & 1) != 0;
    const size_t needleLength = std::min<size_t>(data[1] % 9, size - 2);
    const QString needle = QString::fromUtf8(reinterpret_cast<const char *>(data + 2),
                                             qsizetype(needleLength));
    const QByteArray raw(reinterpret_cast<const char *>(data + 2 + needleLength),
                         qsizetype(size - 2 - needleLength));

    // The list-file reading of the same bytes.
    (void)decodeWholeText(raw);

    const CardBytes prepared = prepareCardBytes(raw);
    const QList<ContactFields> cards = CardParser::parseAll(prepared);
    if (cards.isEmpty())
        std::abort(); // a file always gives at least one card

    if (needle.trimmed().isEmpty())
        return 0;
    const TextMatcher matcher(needle, ignoreCase);
    const QList<ResultRow> expected = searchAll(cards, matcher);

    // Parts cut where a large file is parsed on several threads give the same rows
    // when each part before the last ends outside every card.
    const QList<qsizetype> cuts = CardParser::cutPoints(prepared.bytes, 3);
    if (!cuts.isEmpty()) {
        QList<ContactFields> parts;
        bool outside = true;
        for (qsizetype k = 0; k <= cuts.size(); ++k) {
            bool ended = false;
            CardParser::parseRange(
                prepared, k == 0 ? 0 : cuts.at(k - 1),
                k == cuts.size() ? prepared.bytes.size() : cuts.at(k),
                [&](ContactFields &&card) { parts.append(std::move(card)); }, nullptr, &ended);
            outside = outside && (ended || k == cuts.size());
        }
        if (outside && searchAll(parts, matcher) != expected)
            std::abort(); // parts parsed alone lost or changed a row
    }

    const RawValueFilter filter({needle}, ignoreCase);
    if (!filter.isUsable())
        return 0;
    if (!filter.fileMayContain(prepared.bytes)) {
        if (!expected.isEmpty())
            std::abort(); // the file was skipped although it holds a match
        return 0;
    }
    QList<ContactFields> filtered;
    const qsizetype count = CardParser::parse(
        prepared, [&](ContactFields &&card) { filtered.append(std::move(card)); }, &filter);
    if (count != cards.size() || searchAll(filtered, matcher) != expected)
        std::abort(); // a value or a card was skipped although it holds a match
    return 0;
}
