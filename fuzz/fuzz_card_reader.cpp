// Card files of any bytes: prepared, parsed and searched without a crash, and the
// search's shortcuts (skipping files and values that cannot match) never lose a row.
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

    const RawValueFilter filter({needle}, ignoreCase);
    if (!filter.isUsable())
        return 0;
    if (!filter.fileMayContain(prepared.bytes)) {
        if (!expected.isEmpty())
            std::abort(); // the file was skipped although it holds a match
        return 0;
    }
    QList<ContactFields> filtered;
    CardParser::parse(
        prepared, [&](ContactFields &&card) { filtered.append(std::move(card)); }, &filter);
    if (filtered.size() != cards.size() || searchAll(filtered, matcher) != expected)
        std::abort(); // a value was left undecoded although it holds a match
    return 0;
}
