#include "search/TextMatcher.h"

#include "card/CharsetDetection.h"
#include "card/Utf8Text.h"
#include "card/Windows1252.h"
#include "search/PatternMatching.h"
#include "search/PhoneMatcher.h"
#include "search/WordMatching.h"

#include <cstring>
#include <optional>

TextMatcher::TextMatcher(const QString &needle, bool ignoreCase)
    : TextMatcher(needle, MatchOptions{ignoreCase, false, false, {}})
{}

TextMatcher::TextMatcher(const QString &needle, const MatchOptions &options) : m_needle(needle)
{
    const TextFolding folding{options.ignoreCase, options.ignoreAccents};
    if (options.regularExpression) {
        // A pattern is matched against the value as written, phone numbers too.
        m_text = makePatternMatcher(needle, folding, options.wholeWords);
        return;
    }
    // Whole words ask more of a value that holds the text: the filter's judgement of
    // values and files by the text alone still holds.
    m_text = options.wholeWords ? makeWholeWordMatcher(needle, folding)
                                : makeTextMatcher(needle, folding);
    if (options.phoneNumbers && PhoneMatcher::looksLikePhoneNumber(needle)) {
        m_phone = std::make_shared<PhoneMatcher>(
            needle, options.region.isEmpty() ? PhoneMatcher::systemRegion() : options.region);
    }
}

RawValueFilter::RawValueFilter(const QStringList &texts, bool ignoreCase)
    : RawValueFilter(texts, MatchOptions{ignoreCase, false, false, {}})
{}

RawValueFilter::RawValueFilter(const QStringList &texts, const MatchOptions &options)
{
    if (!options.regularExpression) {
        prepare(texts, options);
        return;
    }
    // Every match of a pattern holds one of its literals in some letter case, so the
    // literals are looked for as texts are when case is ignored.
    if (const std::optional<QStringList> literals = patternLiterals(texts, options.ignoreAccents)) {
        prepare(*literals, MatchOptions{true, options.ignoreAccents, false, {}});
    } else {
        m_usable = false;
        m_fileUsable = false;
    }
}

void RawValueFilter::prepare(const QStringList &texts, const MatchOptions &options)
{
    const TextFolding folding{options.ignoreCase, options.ignoreAccents};
    AsciiSet chars{};
    std::vector<QByteArray> needles;
    for (const QString &text : texts) {
        // A phone number's digits may stand apart in a value, and the same number may
        // be written with other digits (a trunk prefix, a country code).
        const bool phone = options.phoneNumbers && PhoneMatcher::looksLikePhoneNumber(text);
        const QString form = foldedText(text, folding);
        bool ascii = !form.isEmpty() && !phone;
        QByteArray needle;
        needle.reserve(form.size());
        for (const QChar c : form) {
            const char16_t u = c.unicode();
            if (u >= 0x80) {
                ascii = false;
                break;
            }
            needle.append(char(u));
            chars[u / 64] |= quint64(1) << (u % 64);
        }
        if (!ascii) {
            m_usable = false;
            m_fileUsable = false;
            return;
        }
        for (const char c : needle) {
            // What escapes and markers could make; "^" and a quote also in parameters.
            if (std::strchr(" \t\r\n\\,;:=^\"", c))
                m_fileUsable = false;
        }
        m_searches.emplace_back(needle, options.ignoreCase);
        needles.push_back(needle);
    }
    m_usable = !m_searches.empty();
    m_fileUsable = m_fileUsable && m_usable;
    if (m_usable && !folding.isIdentity())
        m_triggers = FoldingTriggers(folding, chars);
    if (m_fileUsable) {
        m_fileScan = JoinedScan(needles, options.ignoreCase, m_triggers, false);
        m_cardScan = JoinedScan(needles, options.ignoreCase, m_triggers, true);
    }
}

bool RawValueFilter::containsNeedle(QByteArrayView text) const
{
    for (const ByteSearch &search : m_searches) {
        if (search.indexIn(text) >= 0)
            return true;
    }
    return false;
}

namespace {

/// Charsets whose ASCII bytes stay the same ASCII text and whose other bytes are read as
/// FoldingTriggers reads single bytes.
bool isPlainCharset(QByteArrayView name)
{
    const QByteArrayView trimmed = name.trimmed();
    return isUtf8CompatibleCharset(trimmed) || isWindows1252Name(trimmed)
        || trimmed.compare("iso-8859-1", Qt::CaseInsensitive) == 0
        || trimmed.compare("latin1", Qt::CaseInsensitive) == 0;
}

/// True when the text names a charset that is not plain anywhere: the parameter
/// CHARSET, blanks allowed before its "=", as the parser reads parameters.
bool namesOtherCharset(QByteArrayView text)
{
    static const ByteSearch key("charset", true);
    const qsizetype n = text.size();
    for (qsizetype at = 0;;) {
        const qsizetype hit = key.indexIn(text.sliced(at));
        if (hit < 0)
            return false;
        at += hit + 7;
        qsizetype p = at;
        while (p < n && (text[p] == ' ' || text[p] == '\t'))
            ++p;
        if (p == n || text[p] != '=')
            continue;
        qsizetype start = p + 1;
        if (start < n && text[start] == '"')
            ++start;
        qsizetype stop = start;
        while (stop < n && !std::strchr(";:,\" \t\r\n", text[stop]))
            ++stop;
        if (!isPlainCharset(text.sliced(start, stop - start)))
            return true;
    }
}

/// The text with every "=XX" read as its byte, as quoted-printable values are
/// decoded; null when the text holds none.
QByteArray decodeHexPairs(QByteArrayView text)
{
    QByteArray out;
    char *o = nullptr;
    const char *p = text.data();
    const char *const end = p + text.size();
    const char *copied = p; // the bytes before it are in out
    while (true) {
        const auto *eq = static_cast<const char *>(std::memchr(p, '=', std::size_t(end - p)));
        if (!eq || end - eq < 3)
            break;
        const int hi = hexDigitValue(eq[1]);
        const int lo = hexDigitValue(eq[2]);
        if (hi < 0 || lo < 0) {
            p = eq + 1;
            continue;
        }
        if (!o) {
            out.resize(text.size());
            o = out.data();
        }
        std::memcpy(o, copied, std::size_t(eq - copied));
        o += eq - copied;
        *o++ = char(hi * 16 + lo);
        p = copied = eq + 3;
    }
    if (!o)
        return {};
    std::memcpy(o, copied, std::size_t(end - copied));
    o += end - copied;
    out.truncate(o - out.constData());
    return out;
}

} // namespace

namespace {

// A large file is tested in blocks of about this size, so that the test can be cancelled
// between two of them.
constexpr qsizetype kBlockBytes = qsizetype(4) << 20;

/// True when the test holds for a block of the bytes, or when cancel is set. The bytes
/// of each block tested are added to told when it is given.
template<typename Test>
bool anyBlock(QByteArrayView bytes, const std::atomic<bool> *cancel, Test &&test,
              std::atomic<qint64> *told = nullptr)
{
    for (qsizetype at = 0; at < bytes.size();) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return true;
        const qsizetype end
            = bytes.size() - at > kBlockBytes ? joinedBlockEnd(bytes, at + kBlockBytes) : bytes.size();
        if (test(bytes.sliced(at, end - at)))
            return true;
        if (told)
            told->fetch_add(end - at, std::memory_order_relaxed);
        at = end;
    }
    return false;
}

} // namespace

bool RawValueFilter::fileMayContain(QByteArrayView bytes, const std::atomic<bool> *cancel,
                                    std::atomic<qint64> *scanned,
                                    CardFactsGatherer *gather) const
{
    if (!m_fileUsable)
        return true;
    QByteArray lines;
    std::optional<QByteArray> legacy;
    const std::function<QByteArray()> legacyCharset = [&] {
        if (!legacy)
            legacy = CardParser::legacyCharset(bytes);
        return *legacy;
    };
    const std::function<bool(QByteArrayView)> judgeLines = [&](QByteArrayView region) {
        return joinedMayContain(region, legacyCharset, lines);
    };
    bool nonAscii = false;
    const auto found = [&](QByteArrayView block) {
        return m_fileScan.run(block, judgeLines, nonAscii, gather) == JoinedScan::Verdict::Found;
    };
    if (anyBlock(bytes, cancel, found, scanned))
        return true;
    // Lines that are not UTF-8 are read in the file's legacy charset, whose bytes the
    // triggers do not know unless it is a plain one: such a file is judged as a whole.
    if (nonAscii) {
        const QByteArray charset = legacyCharset();
        if (!charset.isEmpty() && !isPlainCharset(charset))
            return fileMayContainSlowly(bytes, cancel);
    }
    return false;
}

bool RawValueFilter::fileMayContainSlowly(QByteArrayView bytes,
                                          const std::atomic<bool> *cancel) const
{
    if (anyBlock(bytes, cancel, [this](QByteArrayView block) { return containsNeedle(block); }))
        return true;
    QByteArray lines;
    std::optional<QByteArray> legacy;
    const std::function<QByteArray()> legacyCharset = [&] {
        if (!legacy)
            legacy = CardParser::legacyCharset(bytes);
        return *legacy;
    };
    return anyBlock(bytes, cancel, [&](QByteArrayView block) {
        return joinedMayContain(block, legacyCharset, lines);
    });
}

bool RawValueFilter::cardMayContain(QByteArrayView card,
                                    const std::function<QByteArray()> &legacyCharset,
                                    QByteArray &lines) const
{
    if (!m_fileUsable)
        return true;
    const std::function<bool(QByteArrayView)> judgeLines = [&](QByteArrayView region) {
        return joinedMayContain(region, legacyCharset, lines);
    };
    bool nonAscii = false;
    if (m_cardScan.run(card, judgeLines, nonAscii) == JoinedScan::Verdict::Found)
        return true;
    lines = QByteArray(); // the scan judged every VCARD the lines could make
    // Only text that is not UTF-8 is read in the legacy charset, and finding that charset
    // reads the whole file: a card of ASCII alone (the scan tells, with triggers) or of
    // UTF-8 throughout, its escapes too, is judged without it.
    if ((!m_triggers.isEmpty() && !nonAscii) || !cardreader::hasNonUtf8Text(card))
        return false;
    const QByteArray legacy = legacyCharset();
    return !legacy.isEmpty() && !isPlainCharset(legacy);
}

bool RawValueFilter::joinedMayContain(QByteArrayView bytes,
                                      const std::function<QByteArray()> &legacyCharset,
                                      QByteArray &lines) const
{
    // The search text is looked for in the logical lines, as written (every value that
    // is not quoted-printable) and with "=XX" read as its byte (those that are).
    lines = CardParser::joinedLines(bytes);
    // A charset that could turn bytes into other ASCII text, or a text value in base64,
    // rules the filter out.
    if (namesOtherCharset(lines) || containsNeedle(lines)
        || CardParser::holdsBase64Text(bytes, lines))
        return true;
    const QByteArray decoded = decodeHexPairs(lines);
    if (!decoded.isNull() && containsNeedle(decoded))
        return true;
    const QByteArrayView last = decoded.isNull() ? QByteArrayView(lines) : decoded;
    if (m_triggers.isEmpty() || !hasNonAscii(last))
        return false;
    if (m_triggers.inRawBytes(last))
        return true;
    // Lines that are not UTF-8 are read in the file's legacy charset: the triggers know
    // the single bytes of the plain ones only. A card's reader knows that charset already.
    const QByteArray legacy = legacyCharset();
    return !legacy.isEmpty() && !isPlainCharset(legacy) && !isValidUtf8(last);
}

bool RawValueFilter::mayContain(QByteArrayView value) const
{
    if (!m_usable || containsNeedle(value))
        return true;
    return !m_triggers.isEmpty() && hasNonAscii(value) && m_triggers.inUtf8(value);
}
