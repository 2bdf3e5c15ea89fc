#include "card/UnheldTexts.h"

#include "card/AsciiText.h"
#include "card/Charsets.h"
#include "card/ContactFields.h"
#include "card/Utf8Text.h"
#include "card/ValueDecoding.h"

#include <algorithm>

namespace cardreader {

namespace {

// A line's texts past this many share one row, joined by ";": each row costs its tag
// besides its text, and a hostile line may hold millions of short parts.
constexpr int kSeparateTexts = 16;

/// Gathers the texts of one line into others, each its own row up to kSeparateTexts, the
/// rest joined by ";" into one row after them. With mayContain, a text it rules out is
/// left out but still takes its place among the separate ones, and the rest is asked
/// whole, so that the rows kept are those a reading without it gives.
class LineTexts
{
public:
    LineTexts(const QString &tag, OtherProperties &others,
              const std::function<bool(QByteArrayView)> &mayContain)
        : m_tag(tag), m_others(others), m_mayContain(mayContain)
    {}
    ~LineTexts()
    {
        if (!m_rest.isEmpty() && (!m_mayContain || m_mayContain(m_rest.toUtf8())))
            append(std::move(m_rest));
    }
    LineTexts(const LineTexts &) = delete;
    LineTexts &operator=(const LineTexts &) = delete;

    /// True while a text would be a row of its own.
    bool separate() const { return m_count < kSeparateTexts; }

    /// Takes the place of a separate text that mayContain ruled out.
    void skipSeparate() { ++m_count; }

    void add(QString text)
    {
        if (text.isEmpty())
            return;
        if (separate()) {
            ++m_count;
            // Any other text is asked now, whole: a line of many such parameters must not
            // keep a text for each.
            if (!m_mayContain || m_mayContain(text.toUtf8()))
                append(std::move(text));
            return;
        }
        if (!m_rest.isEmpty())
            m_rest.append(u';');
        m_rest.append(text);
    }

private:
    void append(QString text)
    {
        m_others.tags.append(QStringView(m_tag));
        m_others.values.append(std::move(text));
    }

    const QString &m_tag;
    OtherProperties &m_others;
    const std::function<bool(QByteArrayView)> &m_mayContain;
    int m_count = 0;
    QString m_rest;
};

/// True when UTF-8 bytes read as no text once line breaks and outer spaces are taken off
/// (QString::fromUtf8 drops a leading byte-order mark).
bool readsEmpty(QByteArrayView utf8)
{
    if (utf8.startsWith("\xEF\xBB\xBF"))
        utf8 = utf8.sliced(3);
    return std::all_of(utf8.begin(), utf8.end(),
                       [](char c) { return c == ' ' || c == '\r' || c == '\n'; });
}

/// The escapes of parameter values: ^^ a caret, ^' a double quote, ^n a line break
/// (made a blank, as decoded line breaks are).
QString undoCaretEscapes(QString s)
{
    if (!s.contains(u'^'))
        return s;
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        const QChar next = i + 1 < s.size() ? s.at(i + 1) : QChar();
        if (c == u'^' && (next == u'^' || next == u'\'' || next == u'n' || next == u'N')) {
            out.append(next == u'^' ? u'^' : next == u'\'' ? u'"' : u' ');
            ++i;
        } else {
            out.append(c);
        }
    }
    return out;
}

} // namespace

void addUnheldComponents(Prop prop, QString value, const QString &tag, OtherProperties &others)
{
    if (prop != Prop::N && prop != Prop::ADR)
        return;
    // The fields read the value with its outer spaces taken off.
    const QStringView text = trimmedSpaces(value);
    const auto add = [&](QString part) {
        QString shown = cleanValue(std::move(part));
        // Separators alone, in the rest, say nothing.
        if (std::any_of(shown.cbegin(), shown.cend(),
                        [](QChar c) { return c != u';' && c != u' '; })) {
            others.tags.append(QStringView(tag));
            others.values.append(std::move(shown));
        }
    };
    // N: family and given names are fields. ADR: the extended address to the country are,
    // when there are at least three components; else no field is written.
    int separate = 0;
    qsizetype start = 0;
    for (int i = 0; start <= text.size(); ++i) {
        const qsizetype partStart = start;
        qsizetype partEnd = start;
        while (partEnd < text.size() && text.at(partEnd) != u';')
            partEnd += text.at(partEnd) == u'\\' ? 2 : 1;
        partEnd = qMin(partEnd, text.size());
        start = partEnd + 1;
        const bool held = prop == Prop::N
            ? i < 2
            : i >= 1 && i <= 6 && (i >= 2 || start <= text.size()); // a third comes
        if (held)
            continue;
        if (separate < kSeparateTexts) {
            ++separate;
            add(text.sliced(partStart, partEnd - partStart).toString());
            continue;
        }
        // The rest as written, made where it lies: it may be nearly all of a gigabyte.
        const qsizetype begin = text.data() - value.constData();
        value.truncate(begin + text.size());
        value.remove(0, begin + partStart);
        add(std::move(value));
        return;
    }
}

bool isTextParameter(QByteArrayView name)
{
    // What tells how the line is read, typed, ordered or tied to other lines; a desktop
    // address book's slot of the value on its form.
    static constexpr const char *kSyntax[] = {
        "TYPE",  "ENCODING", "CHARSET",  "VALUE",    "PREF",
        "PID",   "ALTID",    "CALSCALE", "LANGUAGE", "MEDIATYPE",
        "INDEX", "LEVEL",    "CC",       "CONTEXT",  "X-EVOLUTION-UI-SLOT",
    };
    for (const char *syntax : kSyntax) {
        if (equalsNoCase(name, syntax))
            return false;
    }
    return !name.isEmpty();
}

bool hasTextParameter(QByteArrayView namePart)
{
    bool found = false;
    forEachParameter(namePart, [&found](QByteArrayView param) {
        const qsizetype eq = indexOfByte(param, '=');
        found = found || (eq >= 0 && isTextParameter(trimmedSpaces(param.first(eq))));
    });
    return found;
}

void addParameterTexts(QByteArrayView namePart, const QByteArray &charset, Charsets &charsets,
                       bool unicode, const QString &tag, OtherProperties &others,
                       const std::function<bool(QByteArrayView)> &mayContain)
{
    if (indexOfByte(namePart, ';') < 0)
        return;
    LineTexts texts(tag, others, mayContain);
    forEachParameter(namePart, [&](QByteArrayView param) {
        const qsizetype eq = indexOfByte(param, '=');
        if (eq < 0 || !isTextParameter(trimmedSpaces(param.first(eq))))
            return;
        QByteArrayView raw = trimmedSpaces(param.sliced(eq + 1));
        if (raw.size() >= 2 && raw.front() == '"' && raw.back() == '"')
            raw = raw.sliced(1, raw.size() - 2);
        // Bytes that are the text as they stand are asked before they are decoded; past
        // the separate ones, a text is part of the rest and asked with it.
        if (mayContain && texts.separate() && indexOfByte(raw, '"') < 0 && indexOfByte(raw, '^') < 0
            && indexOfByte(raw, '\\') < 0
            && (unicode
                || ((charset.isEmpty() || isUtf8CompatibleCharset(charset)) && isValidUtf8(raw)))
            && !mayContain(raw)) {
            if (!readsEmpty(raw))
                texts.skipSeparate();
            return;
        }
        bool foreign = false;
        QString text = charsets.decode(raw, charset, false, foreign);
        // A value's quotes only enclose it: a quote of its text is written ^'.
        text.remove(u'"');
        text = undoCaretEscapes(std::move(text));
        foldLineBreaks(text);
        texts.add(cleanValue(std::move(text)));
    });
}

} // namespace cardreader
