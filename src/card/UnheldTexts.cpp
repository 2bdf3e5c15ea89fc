#include "card/UnheldTexts.h"

#include "card/AsciiText.h"
#include "card/CardBytes.h"
#include "card/Charsets.h"
#include "card/ContactFields.h"
#include "card/ValueDecoding.h"

namespace cardreader {

namespace {

void append(const QString &tag, QString text, OtherProperties &others)
{
    if (text.isEmpty())
        return;
    others.tags.append(QStringView(tag));
    others.values.append(std::move(text));
}

/// Calls take(i, component) for every component of a structured value, however many.
template<typename Take> void forEachComponent(QStringView value, Take &&take)
{
    int index = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == u'\\') {
            ++i;
        } else if (c == u';') {
            take(index++, value.sliced(start, i - start));
            start = i + 1;
        }
    }
    take(index, value.sliced(qMin(start, value.size())));
}

/// RFC 6868's escapes of parameter values: ^^ a caret, ^' a double quote, ^n a line break
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

void addUnheldComponents(Prop prop, QStringView value, const QString &tag, OtherProperties &others)
{
    if (prop != Prop::N && prop != Prop::ADR)
        return;
    // The fields read the value with its outer spaces taken off.
    qsizetype begin = 0;
    qsizetype end = value.size();
    while (begin < end && value.at(begin) == u' ')
        ++begin;
    while (end > begin && value.at(end - 1) == u' ')
        --end;
    const QStringView text = value.sliced(begin, end - begin);
    int count = 0;
    forEachComponent(text, [&count](int, QStringView) { ++count; });
    forEachComponent(text, [&](int i, QStringView part) {
        // N: family and given names are fields. ADR: the extended address to the country
        // are, when there are at least three components.
        const bool held = prop == Prop::N ? i < 2 : count >= 3 && i >= 1 && i <= 6;
        if (!held)
            append(tag, clean(trimSpaces(unescape(part.toString()))), others);
    });
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

void addParameterTexts(QByteArrayView namePart, const QByteArray &charset, Charsets &charsets,
                       bool unicode, const QString &tag, OtherProperties &others,
                       const std::function<bool(QByteArrayView)> &mayContain)
{
    const qsizetype semicolon = indexOfByte(namePart, ';');
    if (semicolon < 0)
        return;
    QByteArrayView rest = namePart.sliced(semicolon + 1);
    while (!rest.isEmpty()) {
        // Parameters end at a ";" outside quotes, as parseParams reads them.
        qsizetype end = 0;
        bool quoted = false;
        while (end < rest.size() && (quoted || rest[end] != ';')) {
            if (rest[end] == '"')
                quoted = !quoted;
            ++end;
        }
        const QByteArrayView param = trimmedSpaces(rest.first(end));
        rest = end < rest.size() ? rest.sliced(end + 1) : QByteArrayView();
        const qsizetype eq = indexOfByte(param, '=');
        if (eq < 0 || !isTextParameter(trimmedSpaces(param.first(eq))))
            continue;
        QByteArrayView raw = trimmedSpaces(param.sliced(eq + 1));
        if (raw.size() >= 2 && raw.front() == '"' && raw.back() == '"')
            raw = raw.sliced(1, raw.size() - 2);
        if (mayContain && indexOfByte(raw, '"') < 0 && indexOfByte(raw, '^') < 0
            && indexOfByte(raw, '\\') < 0
            && (unicode
                || ((charset.isEmpty() || isUtf8CompatibleCharset(charset)) && isValidUtf8(raw)))
            && !mayContain(raw))
            continue;
        bool foreign = false;
        QString text = charsets.decode(raw, charset, false, foreign);
        // A value's quotes only enclose it: a quote of its text is written ^'.
        text.remove(u'"');
        text = undoCaretEscapes(std::move(text));
        foldLineBreaks(text);
        append(tag, clean(trimSpaces(unescape(std::move(text)))), others);
    }
}

} // namespace cardreader
