#include "card/CardParser.h"

#include "card/ByteSearch.h"
#include "card/Windows1252.h"

#include <QHash>
#include <QStringDecoder>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {

enum class Prop : quint8 {
    None,
    FN,
    N,
    ORG,
    BDAY,
    NICKNAME,
    TITLE,
    ROLE,
    EMAIL,
    URL,
    NOTE,
    ADR,
    TEL,
    Begin,
    End,
};

inline char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 32) : c;
}

/// b is upper case.
inline bool equalsNoCaseN(const char *a, const char *b, qsizetype length)
{
    for (qsizetype i = 0; i < length; ++i) {
        if (upperAscii(a[i]) != b[i])
            return false;
    }
    return true;
}

/// b is an upper-case literal.
bool equalsNoCase(QByteArrayView a, const char *b)
{
    const auto length = qsizetype(std::strlen(b));
    return a.size() == length && equalsNoCaseN(a.data(), b, length);
}

/// needle is an upper-case literal.
bool containsNoCase(QByteArrayView haystack, const char *needle)
{
    const auto length = qsizetype(std::strlen(needle));
    const char first = needle[0];
    for (qsizetype i = 0; i + length <= haystack.size(); ++i) {
        if (upperAscii(haystack[i]) == first && equalsNoCaseN(haystack.data() + i, needle, length))
            return true;
    }
    return false;
}

QByteArrayView trimmedSpaces(QByteArrayView v)
{
    while (!v.isEmpty() && v.front() == ' ')
        v = v.sliced(1);
    while (!v.isEmpty() && v.back() == ' ')
        v.chop(1);
    return v;
}

QByteArrayView trimmedBlanks(QByteArrayView v)
{
    while (!v.isEmpty() && (v.front() == ' ' || v.front() == '\t'))
        v = v.sliced(1);
    while (!v.isEmpty() && (v.back() == ' ' || v.back() == '\t'))
        v.chop(1);
    return v;
}

Prop propFromBaseName(QByteArrayView name)
{
    switch (name.size()) {
    case 1:
        return equalsNoCase(name, "N") ? Prop::N : Prop::None;
    case 2:
        return equalsNoCase(name, "FN") ? Prop::FN : Prop::None;
    case 3:
        if (equalsNoCase(name, "ORG"))
            return Prop::ORG;
        if (equalsNoCase(name, "URL"))
            return Prop::URL;
        if (equalsNoCase(name, "ADR"))
            return Prop::ADR;
        if (equalsNoCase(name, "TEL"))
            return Prop::TEL;
        if (equalsNoCase(name, "END"))
            return Prop::End;
        return Prop::None;
    case 4:
        if (equalsNoCase(name, "BDAY"))
            return Prop::BDAY;
        if (equalsNoCase(name, "ROLE"))
            return Prop::ROLE;
        if (equalsNoCase(name, "NOTE"))
            return Prop::NOTE;
        return Prop::None;
    case 5:
        if (equalsNoCase(name, "TITLE"))
            return Prop::TITLE;
        if (equalsNoCase(name, "EMAIL"))
            return Prop::EMAIL;
        if (equalsNoCase(name, "BEGIN"))
            return Prop::Begin;
        return Prop::None;
    case 8:
        return equalsNoCase(name, "NICKNAME") ? Prop::NICKNAME : Prop::None;
    default:
        return Prop::None;
    }
}

/// Position of the colon that starts the value: the first one outside a
/// double-quoted parameter value. An unbalanced quote falls back to the first colon.
qsizetype indexOfByte(QByteArrayView v, char c)
{
    const void *hit = v.isEmpty() ? nullptr : std::memchr(v.data(), c, std::size_t(v.size()));
    return hit ? static_cast<const char *>(hit) - v.data() : -1;
}

qsizetype lastIndexOfByte(QByteArrayView v, char c)
{
    for (qsizetype i = v.size() - 1; i >= 0; --i) {
        if (v[i] == c)
            return i;
    }
    return -1;
}

qsizetype valueColon(QByteArrayView line)
{
    const qsizetype first = indexOfByte(line, ':');
    if (first < 0)
        return -1;
    if (indexOfByte(line.first(first), '"') < 0)
        return first;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"')
            quoted = !quoted;
        else if (c == ':' && !quoted)
            return i;
    }
    return first;
}

bool isQuotedPrintableLine(QByteArrayView line)
{
    const qsizetype colon = valueColon(line);
    return colon >= 0 && containsNoCase(line.first(colon), "QUOTED-PRINTABLE");
}

struct Params
{
    QByteArray charset;
    bool quotedPrintable = false;
};

Params parseParams(QByteArrayView namePart)
{
    Params params;
    const qsizetype semicolon = indexOfByte(namePart, ';');
    if (semicolon < 0)
        return params;
    QByteArrayView rest = namePart.sliced(semicolon + 1);
    while (!rest.isEmpty()) {
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
        if (eq < 0) {
            if (equalsNoCase(param, "QUOTED-PRINTABLE"))
                params.quotedPrintable = true;
            continue;
        }
        const QByteArrayView key = trimmedSpaces(param.first(eq));
        QByteArrayView value = trimmedSpaces(param.sliced(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.sliced(1, value.size() - 2);
        if (equalsNoCase(key, "CHARSET"))
            params.charset = value.toByteArray();
        else if (equalsNoCase(key, "ENCODING") && equalsNoCase(value, "QUOTED-PRINTABLE"))
            params.quotedPrintable = true;
    }
    return params;
}

/// "=XX" becomes the byte XX; any other "=" stays as written.
QByteArray decodeQuotedPrintable(QByteArrayView in)
{
    QByteArray out(in.size(), Qt::Uninitialized);
    char *o = out.data();
    const char *p = in.data();
    const char *const end = p + in.size();
    while (p < end) {
        const char c = *p;
        if (c == '=' && end - p > 2) {
            const int hi = hexDigitValue(p[1]);
            const int lo = hexDigitValue(p[2]);
            if (hi >= 0 && lo >= 0) {
                *o++ = char(hi * 16 + lo);
                p += 3;
                continue;
            }
        }
        *o++ = c;
        ++p;
    }
    out.truncate(o - out.data());
    return out;
}

// The text steps below change a value where it lies, never into a second copy: one
// value may be a file of a gigabyte.

/// A decoded line break (CR LF, CR or LF) becomes one space.
void foldLineBreaks(QString &text)
{
    if (!text.contains(u'\r') && !text.contains(u'\n'))
        return;
    QChar *const begin = text.data();
    QChar *o = begin;
    const QChar *p = begin;
    const QChar *const end = p + text.size();
    while (p < end) {
        const QChar c = *p++;
        if (c == u'\r') {
            if (p < end && *p == u'\n')
                ++p;
            *o++ = u' ';
        } else {
            *o++ = c == u'\n' ? QChar(u' ') : c;
        }
    }
    text.truncate(o - begin);
}

/// foldLineBreaks for the UTF-8 bytes of a text.
void foldLineBreakBytes(QByteArray &bytes)
{
    if (indexOfByte(bytes, '\r') < 0 && indexOfByte(bytes, '\n') < 0)
        return;
    char *o = bytes.data();
    const char *p = bytes.constData();
    const char *const end = p + bytes.size();
    while (p < end) {
        const char c = *p++;
        if (c == '\r' && p < end && *p == '\n')
            ++p;
        *o++ = (c == '\r' || c == '\n') ? ' ' : c;
    }
    bytes.truncate(o - bytes.constData());
}

QString trimSpaces(QString s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && s.at(begin) == u' ')
        ++begin;
    while (end > begin && s.at(end - 1) == u' ')
        --end;
    if (end < s.size())
        s.truncate(end);
    if (begin > 0)
        s.remove(0, begin);
    return s;
}

QString clean(QString s)
{
    if (s.contains(u'\r'))
        s.remove(u'\r');
    return s;
}

/// Undoes the text escapes: \, \; \: \\ give the character, \n and \N one space;
/// any other backslash stays as written.
QString unescape(QString s)
{
    const qsizetype first = s.indexOf(u'\\');
    if (first < 0)
        return s;
    QChar *const begin = s.data();
    QChar *o = begin + first;
    const QChar *p = o;
    const QChar *const end = begin + s.size();
    while (p < end) {
        if (*p == u'\\' && p + 1 < end) {
            const QChar next = p[1];
            if (next == u',' || next == u';' || next == u':' || next == u'\\') {
                *o++ = next;
                p += 2;
                continue;
            }
            if (next == u'n' || next == u'N') {
                *o++ = u' ';
                p += 2;
                continue;
            }
        }
        *o++ = *p++;
    }
    s.truncate(o - begin);
    return s;
}

/// The components of a structured value, split at every ";" that is not escaped
/// by a backslash; the components keep their escapes. Only the first kMaxParts are
/// kept; count says how many there were.
struct Components
{
    static constexpr int kMaxParts = 8;
    QStringView parts[kMaxParts];
    int count = 0;

    QString part(int i) const { return parts[i].toString(); }
};

Components splitStructured(QStringView s)
{
    Components result;
    qsizetype start = 0;
    const auto add = [&](qsizetype end) {
        if (result.count < Components::kMaxParts)
            result.parts[result.count] = s.sliced(start, end - start);
        ++result.count;
    };
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c == u'\\') {
            ++i;
        } else if (c == u';') {
            add(i);
            start = i + 1;
        }
    }
    start = qMin(start, s.size());
    add(s.size());
    return result;
}

/// The decoders of one file, kept so that a charset's name is looked up once.
class Charsets
{
public:
    Charsets(QByteArrayView file, bool unicode) : m_file(file), m_unicode(unicode) {}

    /// The text of the bytes. foreign is set when a charset other than UTF-8 and
    /// Windows-1252 read them: only such a charset can make a line break of bytes that
    /// are none.
    QString decode(QByteArrayView bytes, const QByteArray &charset, bool quotedPrintable,
                   bool &foreign)
    {
        foreign = false;
        // Raw text of a file with a Unicode mark is UTF-8 by now; CHARSET only
        // tells how decoded quoted-printable bytes are to be read.
        if (m_unicode && !quotedPrintable)
            return QString::fromUtf8(bytes);
        if (!charset.isEmpty() && !isUtf8CompatibleCharset(charset)) {
            if (isWindows1252Name(charset))
                return decodeWindows1252(bytes);
            if (QStringDecoder *decoder = decoderFor(charset)) {
                decoder->resetState();
                foreign = true;
                return decoder->decode(bytes);
            }
        } else if (!charset.isEmpty() && isUtf8Name(charset)) {
            return QString::fromUtf8(bytes);
        }
        if (isValidUtf8(bytes))
            return QString::fromUtf8(bytes);
        return decodeLegacy(bytes, foreign);
    }

    /// The charset that text without one is read with when it is not UTF-8; empty
    /// for Windows-1252.
    const QByteArray &legacyCharset()
    {
        if (!m_legacyKnown) {
            m_legacyKnown = true;
            m_legacy = findLegacyCharset();
        }
        return m_legacy;
    }

    static bool isUtf8Name(QByteArrayView name)
    {
        return equalsNoCase(name, "UTF-8") || equalsNoCase(name, "UTF8");
    }

private:
    QStringDecoder *decoderFor(const QByteArray &charset)
    {
        const QByteArray key = charset.toLower();
        auto it = m_decoders.find(key);
        if (it == m_decoders.end()) {
            // A file may name a new charset on every line: the cache is kept small, and
            // a name it dropped is merely looked up again.
            if (m_decoders.size() >= kMaxDecoders)
                m_decoders.clear();
            auto decoder = std::make_shared<QStringDecoder>(key.constData(),
                                                            QStringConverter::Flag::Stateless);
            if (!decoder->isValid())
                decoder.reset();
            it = m_decoders.insert(key, decoder);
        }
        return it->get();
    }

    QString decodeLegacy(QByteArrayView bytes, bool &foreign)
    {
        legacyCharset();
        if (!m_legacy.isEmpty()) {
            if (QStringDecoder *decoder = decoderFor(m_legacy)) {
                decoder->resetState();
                foreign = true;
                return decoder->decode(bytes);
            }
        }
        return decodeWindows1252(bytes);
    }

    /// True when the charset reads ASCII text as ASCII: only such a charset can read the
    /// lines of a file that name none (not UTF-16, UTF-7 or EBCDIC).
    bool isAsciiCompatible(const QByteArray &charset)
    {
        const QByteArray key = charset.toLower();
        if (const auto known = m_asciiCompatible.constFind(key); known != m_asciiCompatible.cend())
            return *known;
        bool compatible = false;
        if (QStringDecoder *decoder = decoderFor(charset)) {
            QByteArray ascii("\t\n\r");
            for (char c = ' '; c < 0x7F; ++c)
                ascii.append(c);
            decoder->resetState();
            compatible = QString(decoder->decode(ascii)) == QString::fromLatin1(ascii);
        }
        if (m_asciiCompatible.size() >= kMaxDecoders)
            m_asciiCompatible.clear();
        m_asciiCompatible.insert(key, compatible);
        return compatible;
    }

    /// The first CHARSET the file names that is neither UTF-8 nor ASCII, that can be
    /// decoded and that reads ASCII as ASCII; empty for Windows-1252.
    QByteArray findLegacyCharset()
    {
        static const ByteSearch key("charset=", true);
        const qsizetype keyLength = 8;
        for (qsizetype i = 0;; i += keyLength) {
            const qsizetype hit = key.indexIn(m_file.sliced(i));
            if (hit < 0)
                break;
            i += hit;
            qsizetype end = i + keyLength;
            if (end < m_file.size() && m_file[end] == '"')
                ++end;
            const qsizetype start = end;
            while (end < m_file.size() && !std::strchr(";:,\" \t\r\n", m_file[end]))
                ++end;
            const QByteArrayView name = m_file.sliced(start, end - start);
            if (name.isEmpty() || isUtf8CompatibleCharset(name))
                continue;
            if (isWindows1252Name(name))
                return {};
            if (isAsciiCompatible(name.toByteArray()))
                return name.toByteArray();
        }
        return {};
    }

    static constexpr qsizetype kMaxDecoders = 64;

    QByteArrayView m_file;
    bool m_unicode;
    bool m_legacyKnown = false;
    QByteArray m_legacy;
    QHash<QByteArray, std::shared_ptr<QStringDecoder>> m_decoders;
    QHash<QByteArray, bool> m_asciiCompatible;
};

/// Applies one recognised property line to the fields of its card. A value ruled out
/// by the search's filter writes empty text to the fields it would write; a structured
/// one comes with its text all the same, for its shape.
void applyProperty(Prop prop, QByteArrayView namePart, QString value, bool wasQuotedPrintable,
                   bool ruledOut, ContactFields &f)
{
    switch (prop) {
    case Prop::FN:
        f.FirstName = clean(trimSpaces(unescape(std::move(value))));
        return;
    case Prop::ORG:
        f.Organization = clean(trimSpaces(unescape(std::move(value))));
        return;
    case Prop::BDAY:
        f.Birthday = clean(trimSpaces(unescape(std::move(value))));
        return;
    case Prop::NICKNAME:
        f.Nickname = clean(trimSpaces(unescape(std::move(value))));
        return;
    case Prop::TITLE:
        f.Title = clean(trimSpaces(unescape(std::move(value))));
        return;
    case Prop::ROLE:
        f.Role = clean(trimSpaces(unescape(std::move(value))));
        return;
    case Prop::EMAIL:
        f.Emails.append(clean(trimSpaces(unescape(std::move(value)))));
        return;
    case Prop::URL:
        f.Urls.append(clean(unescape(std::move(value))));
        return;
    case Prop::NOTE: {
        QString note = unescape(std::move(value));
        // The old hand-made quoted-printable rule, for values that were not decoded.
        if (!wasQuotedPrintable && note.contains(u'='))
            note.replace(QStringLiteral("=0D=0A="), QStringLiteral(" "));
        f.Notes = trimSpaces(clean(std::move(note)));
        return;
    }
    case Prop::N: {
        const QString trimmed = trimSpaces(std::move(value));
        const Components parts = splitStructured(trimmed);
        const auto part = [&](int i) {
            return ruledOut ? QString() : clean(trimSpaces(unescape(parts.part(i))));
        };
        f.LastName = part(0);
        if (parts.count >= 2)
            f.FirstName = part(1);
        return;
    }
    case Prop::ADR: {
        const bool work = containsNoCase(namePart, "WORK");
        QString &address1 = work ? f.BusinessAddress1 : f.HomeAddress1;
        QString &address2 = work ? f.BusinessAddress2 : f.HomeAddress2;
        QString &city = work ? f.BusinessCity : f.HomeCity;
        QString &state = work ? f.BusinessState : f.HomeState;
        QString &postal = work ? f.BusinessPostal : f.HomePostal;
        QString &country = work ? f.BusinessCountry : f.HomeCountry;
        const QString trimmed = trimSpaces(std::move(value));
        const Components parts = splitStructured(trimmed);
        const auto part
            = [&](int i) { return ruledOut ? QString() : clean(unescape(parts.part(i))); };
        const auto line = [wasQuotedPrintable](QString s) {
            if (!wasQuotedPrintable && s.contains(u'='))
                s.replace(QStringLiteral("=0D"), QStringLiteral(" "));
            return s;
        };
        const int count = parts.count;
        if (count >= 3) {
            const QString extended = part(1);
            // A ruled-out value has no line break or escape that could empty a part.
            if (ruledOut ? !parts.parts[1].isEmpty() : !extended.isEmpty()) {
                address1 = line(extended);
                address2 = line(part(2));
            } else {
                address1 = line(part(2));
            }
        }
        if (count >= 4)
            city = part(3);
        if (count >= 5)
            state = part(4);
        if (count >= 6)
            postal = part(5);
        if (count >= 7)
            country = part(6);
        return;
    }
    case Prop::TEL: {
        QString number = clean(unescape(std::move(value)));
        if (containsNoCase(namePart, "FAX"))
            f.HomeFax = std::move(number);
        else if (containsNoCase(namePart, "CELL"))
            f.Mobile = std::move(number);
        else if (containsNoCase(namePart, "PAGER"))
            f.Pager = std::move(number);
        else if (containsNoCase(namePart, "WORK"))
            f.BusinessPhones.append(std::move(number));
        else
            f.HomePhones.append(std::move(number));
        return;
    }
    case Prop::None:
    case Prop::Begin:
    case Prop::End:
        return;
    }
}

/// The contact name of a card, read from its values as they come: FN as decoded, else
/// the given and family names of N (those present), else ORG, else the first EMAIL,
/// else the first TEL. Each is taken from its first non-empty line.
class ContactName
{
public:
    /// True when a value of prop may still decide the name.
    bool wants(Prop prop) const
    {
        switch (prop) {
        case Prop::FN:
            return m_fn.isEmpty();
        case Prop::N:
            return !m_haveN;
        case Prop::ORG:
            return m_org.isEmpty();
        case Prop::EMAIL:
            return m_email.isEmpty();
        case Prop::TEL:
            return m_tel.isEmpty();
        default:
            return false;
        }
    }

    /// Takes the decoded text of a line that the name wants, read as the fields read it.
    void take(Prop prop, const QString &text)
    {
        switch (prop) {
        case Prop::FN:
            m_fn = clean(trimSpaces(unescape(text)));
            return;
        case Prop::N: {
            const QString trimmed = trimSpaces(text);
            const Components parts = splitStructured(trimmed);
            const auto part = [&](int i) { return clean(trimSpaces(unescape(parts.part(i)))); };
            const QString family = part(0);
            const QString given = parts.count >= 2 ? part(1) : QString();
            m_n = given.isEmpty() || family.isEmpty() ? QString(given + family)
                                                      : QString(given + u' ' + family);
            m_haveN = !m_n.isEmpty();
            return;
        }
        case Prop::ORG:
            m_org = clean(trimSpaces(unescape(text)));
            return;
        case Prop::EMAIL:
            m_email = clean(trimSpaces(unescape(text)));
            return;
        case Prop::TEL:
            m_tel = clean(unescape(text));
            return;
        default:
            return;
        }
    }

    QString text() const
    {
        for (const QString *candidate : {&m_fn, &m_n, &m_org, &m_email, &m_tel}) {
            if (!candidate->isEmpty())
                return *candidate;
        }
        return {};
    }

private:
    QString m_fn;
    QString m_n;
    bool m_haveN = false;
    QString m_org;
    QString m_email;
    QString m_tel;
};

/// The fields of a card being read, with what its identity needs.
struct CardState
{
    ContactFields fields;
    ContactName name;
    qsizetype begin = 0;
};

bool isLineEndByte(char c)
{
    return c == '\r' || c == '\n';
}

/// The position after the line end at p: CR* LF, or a lone CR.
qsizetype afterLineEnd(QByteArrayView data, qsizetype p)
{
    qsizetype k = p;
    while (k < data.size() && data[k] == '\r')
        ++k;
    return (k < data.size() && data[k] == '\n') ? k + 1 : p + 1;
}

/// afterLineEnd for a loop over every line end of some bytes. A run of CRs that no LF
/// follows is made of lone CRs, each a line end of its own: the run's extent is kept,
/// so that the run is scanned once, not once for each of its CRs.
class LineEnds
{
public:
    explicit LineEnds(QByteArrayView data) : m_data(data) {}

    qsizetype after(qsizetype p)
    {
        // LF and CR LF first: most files end every line so.
        const qsizetype n = m_data.size();
        if (m_data[p] == '\n')
            return p + 1;
        if (p + 1 < n && m_data[p + 1] == '\n')
            return p + 2;
        if (p < m_runStart || p >= m_runEnd) {
            qsizetype k = p;
            while (k < m_data.size() && m_data[k] == '\r')
                ++k;
            m_runStart = p;
            m_runEnd = k;
        }
        return (m_runEnd < m_data.size() && m_data[m_runEnd] == '\n') ? m_runEnd + 1 : p + 1;
    }

private:
    QByteArrayView m_data;
    qsizetype m_runStart = 0;
    qsizetype m_runEnd = 0;
};

const ByteSearch &endLineSearch()
{
    static const ByteSearch search("end:vcard", true);
    return search;
}

/// Where the END:VCARD line that starts at start ends, when that line stands on its
/// own: it starts a physical line that does not continue a soft line break, holds only
/// blanks after VCARD and is not continued by a fold. -1 otherwise.
qsizetype plainEndLineEnd(QByteArrayView data, qsizetype start)
{
    const qsizetype n = data.size();
    if (start == 0 || !isLineEndByte(data[start - 1]))
        return -1;
    qsizetype before = start - 1;
    while (before >= 0 && isLineEndByte(data[before]))
        --before;
    if (before >= 0 && data[before] == '=')
        return -1;
    qsizetype end = start + 9;
    while (end < n && (data[end] == ' ' || data[end] == '\t'))
        ++end;
    if (end == n)
        return end;
    if (!isLineEndByte(data[end]))
        return -1;
    end = afterLineEnd(data, end);
    if (end < n && (data[end] == ' ' || data[end] == '\t'))
        return -1;
    return end;
}

/// The next place at or after a position where a text occurs in some bytes. The answer
/// holds for every position up to the place found, so a walk that asks again from
/// further on does not search the same bytes again.
class NextOccurrence
{
public:
    NextOccurrence(QByteArrayView data, const ByteSearch &search) : m_data(data), m_search(search)
    {}

    /// The position, or the size of the bytes when there is none.
    qsizetype from(qsizetype position)
    {
        if (position < m_from || position > m_at) {
            const qsizetype hit = m_search.indexIn(m_data.sliced(position));
            m_from = position;
            m_at = hit < 0 ? m_data.size() : position + hit;
        }
        return m_at;
    }

private:
    QByteArrayView m_data;
    const ByteSearch &m_search;
    qsizetype m_from = 0;
    qsizetype m_at = -1;
};

/// Follows whether a logical line that grows by folds is quoted-printable, without
/// reading it again from its start at every fold: the colon that starts the value (see
/// valueColon) is found by one scan that goes on where it stopped.
class QuotedPrintableLine
{
public:
    void reset() { *this = QuotedPrintableLine(); }

    /// The line was cut back to size bytes (a soft break's "=" taken off).
    void cutTo(qsizetype size) { m_scanned = qMin(m_scanned, size); }

    bool is(QByteArrayView line)
    {
        for (; m_scanned < line.size(); ++m_scanned) {
            const char c = line[m_scanned];
            if (c == '"') {
                m_quoted = !m_quoted;
                if (m_firstColon < 0)
                    m_quoteBeforeColon = true;
            } else if (c == ':') {
                if (m_firstColon < 0)
                    m_firstColon = m_scanned;
                if (!m_quoted && m_unquotedColon < 0)
                    m_unquotedColon = m_scanned;
            }
            if (m_unquotedColon >= 0 && (m_firstColon == m_unquotedColon || m_quoteBeforeColon))
                break; // the colon can no longer move
        }
        qsizetype colon = m_firstColon;
        if (m_quoteBeforeColon && m_unquotedColon >= 0)
            colon = m_unquotedColon;
        if (colon != m_colon) {
            m_colon = colon;
            m_qp = colon >= 0 && containsNoCase(line.first(colon), "QUOTED-PRINTABLE");
        }
        return m_qp;
    }

private:
    qsizetype m_scanned = 0;
    qsizetype m_firstColon = -1;
    qsizetype m_unquotedColon = -1;
    bool m_quoted = false;
    bool m_quoteBeforeColon = false;
    qsizetype m_colon = -1;
    bool m_qp = false;
};

/// The parts of a logical line that name a property the parser knows.
struct PropertyLine
{
    Prop prop = Prop::None;
    QByteArrayView namePart;
    QByteArrayView value;
};

/// A property's name without its parameters and its group prefix ("item1.").
QByteArrayView propertyBaseName(QByteArrayView namePart)
{
    QByteArrayView base = namePart;
    if (const qsizetype semicolon = indexOfByte(base, ';'); semicolon >= 0)
        base = base.first(semicolon);
    base = trimmedSpaces(base);
    if (const qsizetype dot = lastIndexOfByte(base, '.'); dot >= 0)
        base = trimmedSpaces(base.sliced(dot + 1));
    return base;
}

/// Splits a logical line at its value's colon; false when it names no known property.
bool splitPropertyLine(QByteArrayView line, PropertyLine &out)
{
    const qsizetype colon = valueColon(line);
    if (colon < 0)
        return false;
    const QByteArrayView namePart = line.first(colon);
    if (trimmedSpaces(namePart).isEmpty())
        return false;
    out.prop = propFromBaseName(propertyBaseName(namePart));
    out.namePart = namePart;
    out.value = line.sliced(colon + 1);
    return out.prop != Prop::None;
}

/// Follows the card boundaries of one file and hands finished cards out in the
/// order of their BEGIN lines.
///
/// Only the first card not yet handed out (the front) is held as fields. A card nested
/// in it has to wait until the front is handed out; its lines are kept meanwhile as
/// places in the file (a line joined from several as its bytes) and read into fields
/// when its turn comes. So cards that never end, or nest without end, cost a few bytes
/// for each of their lines, not a record each.
class CardCollector
{
public:
    /// Reads the lines up to end; the charset rules look at the whole file.
    CardCollector(const CardBytes &text, qsizetype end, const CardParser::PlacedSink &sink,
                  const CardParser::ValueFilter *filter)
        : m_data(QByteArrayView(text.bytes).first(end)), m_charsets(text.bytes, text.isUnicode()),
          m_sink(sink), m_filter(filter), m_unicode(text.isUnicode()),
          m_vcards(m_data, vcardSearch())
    {}

    /// True when no card is open and no line outside every card is held.
    bool isOutsideEveryCard() const { return m_open.empty() && !m_outside; }

    /// Takes one logical line: start is where it starts in the file's bytes, end where
    /// its last line end ends, joined whether it was joined from several. Returns where
    /// reading goes on when the card this line begins was skipped whole, else -1.
    qsizetype line(QByteArrayView line, qsizetype start, qsizetype end, bool joined)
    {
        const qsizetype offset = joined ? -1 : start;
        PropertyLine property;
        const bool known = splitPropertyLine(line, property);
        const bool boundary = known && (property.prop == Prop::Begin || property.prop == Prop::End)
            && equalsNoCase(trimmedBlanks(property.value), "VCARD");
        if (m_open.empty() && m_runStart < 0 && !(boundary && property.prop == Prop::Begin))
            m_runStart = start;
        if (!known)
            return -1;
        if (property.prop == Prop::Begin || property.prop == Prop::End) {
            if (!boundary)
                return -1;
            if (property.prop == Prop::End) {
                this->end(end);
                return -1;
            }
            if (const qsizetype resume = skipCard(line, offset); resume >= 0)
                return resume;
            begin(start);
            return -1;
        }
        if (!m_open.empty() && m_open.back() != m_firstSequence) {
            keep(m_pending[std::size_t(m_open.back() - m_firstSequence)], line, offset);
            return -1;
        }
        apply(property, m_open.empty() ? outside() : front());
        return -1;
    }

    /// Hands out what is left; returns the number of cards.
    qint64 finish()
    {
        for (Pending &pending : m_pending) {
            if (!pending.complete)
                pending.end = m_data.size();
            pending.complete = true;
        }
        m_open.clear();
        flush();
        emitOutside(m_data.size());
        if (m_emitted == 0) {
            ContactFields empty;
            m_sink(std::move(empty), CardParser::Identity{1, m_data.size(), m_data.size(), {}});
            ++m_emitted;
        }
        return m_emitted;
    }

    /// The number of cards handed out or skipped so far.
    qint64 emitted() const { return m_emitted; }

private:
    static constexpr quint32 kNone = 0xFFFFFFFFu;
    // A kept line's place with this bit set is in m_keptBytes, else in the file.
    static constexpr quint32 kKeptBit = 0x80000000u;

    /// A card begun but not yet handed out; its lines, unless it is the front, are a
    /// chain of KeptLine entries.
    struct Pending
    {
        quint32 head = kNone;
        quint32 tail = kNone;
        bool complete = false;
        qsizetype begin = 0;
        qsizetype end = 0;
    };

    struct KeptLine
    {
        quint32 place;
        quint32 next;
    };

    static const ByteSearch &vcardSearch()
    {
        static const ByteSearch search("vcard", true);
        return search;
    }

    CardState &outside()
    {
        if (!m_outside) {
            m_outside.emplace();
            m_outside->begin = m_runStart;
        }
        return *m_outside;
    }

    CardState &front()
    {
        if (!m_front)
            m_front.emplace();
        return *m_front;
    }

    void keep(Pending &card, QByteArrayView line, qsizetype offset)
    {
        quint32 place = 0;
        if (offset >= 0 && offset < qsizetype(kKeptBit)) {
            place = quint32(offset); // a physical line: it runs to the next line end
        } else {
            if (m_keptBytes.size() >= qsizetype(kKeptBit))
                throw std::length_error("too many joined lines in nested cards");
            place = quint32(m_keptBytes.size()) | kKeptBit;
            const auto length = quint32(line.size());
            m_keptBytes.append(reinterpret_cast<const char *>(&length), sizeof length);
            m_keptBytes.append(line);
        }
        if (m_kept.size() >= std::size_t(kNone))
            throw std::length_error("too many lines in nested cards");
        const auto index = quint32(m_kept.size());
        m_kept.push_back({place, kNone});
        if (card.tail == kNone)
            card.head = index;
        else
            m_kept[card.tail].next = index;
        card.tail = index;
    }

    QByteArrayView keptLine(quint32 place) const
    {
        if (place & kKeptBit) {
            const qsizetype at = qsizetype(place & ~kKeptBit);
            quint32 length = 0;
            std::memcpy(&length, m_keptBytes.constData() + at, sizeof length);
            return QByteArrayView(m_keptBytes).sliced(at + qsizetype(sizeof length), length);
        }
        const char *begin = m_data.data() + place;
        return QByteArrayView(begin, nextLineEnd(begin, m_data.data() + m_data.size()));
    }

    /// Reads the kept lines of the card that has just become the front into its fields.
    void takeKeptLines(const Pending &card)
    {
        for (quint32 i = card.head; i != kNone; i = m_kept[i].next) {
            PropertyLine property;
            if (splitPropertyLine(keptLine(m_kept[i].place), property))
                apply(property, front());
        }
    }

    /// A card outside every other one that the filter rules out is counted without
    /// being parsed or handed out, when its extent is plain: it ends at the first
    /// END:VCARD line after its BEGIN line, and no other line in between begins or ends
    /// a card. The place of the next VCARD text is remembered between cards, so no byte is
    /// searched twice however the cards are written.
    qsizetype skipCard(QByteArrayView line, qsizetype offset)
    {
        if (!m_filter || offset < 0 || !m_open.empty())
            return -1;
        // The first VCARD text after the BEGIN line must be the END line's own: any other
        // (a BEGIN or END line, or a value that looks like one) ends the skip at once.
        const qsizetype from = offset + line.size();
        const qsizetype vcard = m_vcards.from(from);
        if (vcard == m_data.size() || vcard - 4 < from
            || !equalsNoCaseN(m_data.data() + vcard - 4, "END:", 4))
            return -1;
        const qsizetype hit = vcard - 4;
        if (hit != m_endLineAt) {
            m_endLineAt = hit;
            m_endLineEnd = plainEndLineEnd(m_data, hit);
        }
        const qsizetype end = m_endLineEnd;
        if (end < 0)
            return -1;
        const QByteArrayView card = m_data.sliced(offset, end - offset);
        QByteArray lines;
        if (m_filter->cardMayContain(
                card, [this] { return m_charsets.legacyCharset(); }, lines))
            return -1;
        // Every BEGIN and END line names VCARD: the card's own two must be the only ones
        // also once its lines are joined.
        if (lines.isNull())
            lines = CardParser::joinedLines(card);
        qsizetype found = 0;
        for (qsizetype at = 0; found <= 2;) {
            const qsizetype next = vcardSearch().indexIn(QByteArrayView(lines).sliced(at));
            if (next < 0)
                break;
            ++found;
            at += next + 5;
        }
        if (found != 2)
            return -1;
        emitOutside(offset);
        m_runStart = -1;
        ++m_emitted; // no row can come of it: it is counted, not handed out
        return end;
    }

    void begin(qsizetype start)
    {
        if (m_open.empty()) {
            emitOutside(start);
            m_runStart = -1;
        }
        m_pending.emplace_back();
        m_pending.back().begin = start;
        m_open.push_back(m_firstSequence + qint64(m_pending.size()) - 1);
    }

    void end(qsizetype lineEnd)
    {
        if (m_open.empty())
            return; // a stray END outside every card
        Pending &card = m_pending[std::size_t(m_open.back() - m_firstSequence)];
        card.complete = true;
        card.end = lineEnd;
        m_open.pop_back();
        flush();
    }

    void flush()
    {
        while (!m_pending.empty() && m_pending.front().complete) {
            CardState &card = front();
            const Pending &place = m_pending.front();
            m_sink(std::move(card.fields),
                   CardParser::Identity{m_emitted + 1, place.begin, place.end, card.name.text()});
            m_front.reset();
            ++m_emitted;
            m_pending.pop_front();
            ++m_firstSequence;
            if (m_pending.empty()) {
                m_kept.clear();
                m_keptBytes.clear();
            } else {
                takeKeptLines(m_pending.front());
            }
        }
    }

    /// Hands out the card of the lines outside every card, which end at end.
    void emitOutside(qsizetype end)
    {
        if (!m_outside)
            return;
        m_sink(std::move(m_outside->fields),
               CardParser::Identity{m_emitted + 1, m_outside->begin, end, m_outside->name.text()});
        ++m_emitted;
        m_outside.reset();
    }

    /// Applies one property line to the fields of its card. A value ruled out by the
    /// search's filter writes empty text to the fields it would write; a structured one
    /// comes with its text all the same, for its shape.
    void apply(const PropertyLine &property, CardState &card)
    {
        const Prop prop = property.prop;
        ContactFields &fields = card.fields;
        const Params params = parseParams(property.namePart);
        // A value the contact name still wants is decoded whatever the filter says.
        const bool forName = card.name.wants(prop);
        if (m_filter && !forName) {
            QByteArray decoded;
            QByteArrayView plain;
            if (plainText(prop, property.value, params, plain, decoded)
                && !m_filter->mayContain(plain)) {
                // A structured value keeps its shape: which of its parts are empty decides
                // which fields it writes.
                const bool structured = prop == Prop::N || prop == Prop::ADR;
                applyProperty(prop, property.namePart,
                              structured ? QString::fromLatin1(plain) : QString(), false, true,
                              fields);
                return;
            }
        }
        QString text;
        bool foreign = false;
        if (params.quotedPrintable) {
            text = m_charsets.decode(decodeQuotedPrintable(property.value), params.charset, true,
                                     foreign);
        } else {
            text = m_charsets.decode(property.value, params.charset, false, foreign);
        }
        // A line break that decoding made (quoted-printable, or a charset such as UTF-7)
        // becomes a blank, so that no value spans lines in what is written out. The raw
        // bytes of a line hold none.
        if (params.quotedPrintable || foreign)
            foldLineBreaks(text);
        if (forName)
            card.name.take(prop, text);
        applyProperty(prop, property.namePart, std::move(text), params.quotedPrintable, false,
                      fields);
    }

    /// The UTF-8 bytes of the value's text as it is decoded, quoted-printable undone
    /// and decoded line breaks made blanks, when they can be told without decoding it:
    /// no escape, no charset but UTF-8's kind, valid UTF-8, none of the old hand-made
    /// quoted-printable markers. decoded holds the bytes made for quoted-printable.
    bool plainText(Prop prop, QByteArrayView value, const Params &params, QByteArrayView &text,
                   QByteArray &decoded) const
    {
        const bool utf8Charset
            = params.charset.isEmpty() || isUtf8CompatibleCharset(params.charset);
        if (params.quotedPrintable) {
            if (!utf8Charset)
                return false;
            decoded = decodeQuotedPrintable(value);
            if (indexOfByte(decoded, '\\') >= 0 || !isValidUtf8(decoded))
                return false;
            foldLineBreakBytes(decoded);
            text = decoded;
            return true;
        }
        if (indexOfByte(value, '\\') >= 0)
            return false;
        if ((prop == Prop::NOTE || prop == Prop::ADR) && value.indexOf("=0D") >= 0)
            return false;
        // Text of a file with a Unicode mark is taken as UTF-8 whatever its charset.
        if (!m_unicode && (!utf8Charset || !isValidUtf8(value)))
            return false;
        text = value;
        return true;
    }

    QByteArrayView m_data;
    Charsets m_charsets;
    const CardParser::PlacedSink &m_sink;
    const CardParser::ValueFilter *m_filter;
    bool m_unicode;
    std::deque<Pending> m_pending;
    std::optional<CardState> m_front; // the fields of m_pending.front()
    // Deques grow by blocks, never by copying all they hold to a larger block: a file of
    // nested cards would otherwise need twice their upkeep for a moment.
    std::deque<KeptLine> m_kept;
    QByteArray m_keptBytes; // kept lines joined from several: length, then the bytes
    std::deque<qint64> m_open; // sequence numbers of the open cards, innermost last
    qint64 m_firstSequence = 0; // sequence number of m_pending.front()
    std::optional<CardState> m_outside;
    qsizetype m_runStart = -1; // where the lines outside every card began, or -1
    qint64 m_emitted = 0;
    NextOccurrence m_vcards;
    qsizetype m_endLineAt = -1;
    qsizetype m_endLineEnd = -1;
};

/// Splits the bytes into physical lines (CR* LF, or a lone CR) and joins folded
/// lines and quoted-printable soft line breaks into logical lines. The consumer takes
/// the line, where it starts, where its last line end ends and whether it was joined,
/// and returns where reading goes on when it skips ahead, else -1; when cancel is set,
/// reading stops at the next line.
template<typename Consumer>
void forEachLogicalLine(QByteArrayView data, Consumer &&consume, const std::atomic<bool> *cancel)
{
    QByteArray joined;
    QByteArrayView current;
    bool haveCurrent = false;
    bool isJoined = false;
    bool softBreak = false; // the current line is quoted-printable and ends in "="
    qsizetype currentEnd = 0; // where the current line's last line end ends
    QuotedPrintableLine quotedPrintable;

    const qsizetype n = data.size();
    const char *const base = data.data();
    const auto view = [&]() { return isJoined ? QByteArrayView(joined) : current; };
    const auto makeJoined = [&]() {
        if (!isJoined) {
            joined.resize(0);
            joined.append(current);
            isJoined = true;
            quotedPrintable.reset();
        }
    };
    // Hands the current line out; returns where reading goes on when the consumer
    // skips ahead, else -1.
    const auto flush = [&]() -> qsizetype {
        qsizetype resume = -1;
        if (haveCurrent) {
            // A soft line break that nothing follows (a blank line, the end) joins nothing:
            // its "=" goes.
            if (softBreak) {
                makeJoined();
                joined.chop(1);
            }
            resume = consume(view(), current.data() - base, currentEnd, isJoined);
        }
        haveCurrent = false;
        isJoined = false;
        softBreak = false;
        return resume;
    };

    // The next CR and LF at or after pos, each searched for again only once passed,
    // so a file without one of them is not scanned over and over.
    qsizetype nextCr = -1;
    qsizetype nextLf = -1;
    const auto next = [&](qsizetype &cached, char c, qsizetype from) {
        if (cached < from && cached != n) {
            const void *hit = std::memchr(base + from, c, std::size_t(n - from));
            cached = hit ? static_cast<const char *>(hit) - base : n;
        }
        return cached;
    };
    LineEnds lineEnds(data);
    qsizetype pos = 0;
    while (pos < n) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return;
        const qsizetype end = qMin(next(nextCr, '\r', pos), next(nextLf, '\n', pos));
        const QByteArrayView physical = data.sliced(pos, end - pos);
        pos = end < n ? lineEnds.after(end) : n;

        if (physical.isEmpty()) {
            // A blank line ends folding and soft line breaks.
            if (const qsizetype resume = flush(); resume >= 0)
                pos = resume;
            continue;
        }
        if (haveCurrent && softBreak) {
            makeJoined();
            joined.chop(1);
            quotedPrintable.cutTo(joined.size());
            joined.append(physical);
            softBreak = physical.back() == '=';
            currentEnd = pos;
            continue;
        }
        if (haveCurrent && (physical.front() == ' ' || physical.front() == '\t')) {
            makeJoined();
            joined.append(physical.sliced(1));
            softBreak = joined.endsWith('=') && quotedPrintable.is(joined);
            currentEnd = pos;
            continue;
        }
        if (const qsizetype resume = flush(); resume >= 0) {
            pos = resume; // this physical line lies in what was skipped
            continue;
        }
        haveCurrent = true;
        current = physical;
        currentEnd = pos;
        softBreak = physical.back() == '=' && isQuotedPrintableLine(physical);
    }
    flush();
}

} // namespace

qsizetype CardParser::parse(const CardBytes &text, const Sink &sink, const ValueFilter *filter,
                            const std::atomic<bool> *cancel)
{
    return parse(
        text, [&sink](ContactFields &&card, const Identity &) { sink(std::move(card)); }, filter,
        cancel);
}

qsizetype CardParser::parse(const CardBytes &text, const PlacedSink &sink,
                            const ValueFilter *filter, const std::atomic<bool> *cancel)
{
    return parseRange(text, 0, text.bytes.size(), sink, filter, nullptr, cancel);
}

qint64 CardParser::countLineEnds(QByteArrayView bytes)
{
    const char *const begin = bytes.data();
    const char *const end = begin + bytes.size();
    qint64 count = std::count(begin, end, '\n');
    // A run of CRs is one line end with the LF after it, else each CR is one.
    for (const char *p = begin; p < end;) {
        const void *cr = std::memchr(p, '\r', std::size_t(end - p));
        if (!cr)
            break;
        const char *run = static_cast<const char *>(cr);
        p = run;
        while (p < end && *p == '\r')
            ++p;
        if (p == end || *p != '\n')
            count += p - run;
    }
    return count;
}

qsizetype CardParser::parseRange(const CardBytes &text, qsizetype from, qsizetype to,
                                 const PlacedSink &sink, const ValueFilter *filter,
                                 bool *endedOutside, const std::atomic<bool> *cancel)
{
    CardCollector collector(text, to, sink, filter);
    forEachLogicalLine(
        QByteArrayView(text.bytes).sliced(from, to - from),
        [&](QByteArrayView line, qsizetype start, qsizetype end, bool joined) {
            const qsizetype resume = collector.line(line, from + start, from + end, joined);
            return resume < 0 ? resume : resume - from;
        },
        cancel);
    if (cancel && cancel->load(std::memory_order_relaxed))
        return qsizetype(collector.emitted()); // cards not yet ended are left out
    if (endedOutside)
        *endedOutside = collector.isOutsideEveryCard();
    return qsizetype(collector.finish());
}

QList<qsizetype> CardParser::cutPoints(QByteArrayView bytes, int parts)
{
    QList<qsizetype> cuts;
    for (int k = 1; k < parts; ++k) {
        qsizetype from = qMax(bytes.size() / parts * k, cuts.isEmpty() ? 0 : cuts.last());
        qsizetype cut = -1;
        while (cut < 0) {
            const qsizetype hit = endLineSearch().indexIn(bytes.sliced(from));
            if (hit < 0)
                return cuts;
            cut = plainEndLineEnd(bytes, from + hit);
            from += hit + 1;
        }
        if (cut >= bytes.size())
            return cuts;
        cuts.append(cut);
    }
    return cuts;
}

QList<ContactFields> CardParser::parseAll(const CardBytes &text)
{
    QList<ContactFields> cards;
    parse(text, [&](ContactFields &&card) { cards.append(std::move(card)); });
    return cards;
}

QList<ContactFields> CardParser::parseBytes(QByteArray raw)
{
    return parseAll(prepareCardBytes(std::move(raw)));
}

QByteArray CardParser::joinedLines(QByteArrayView bytes)
{
    QByteArray out(bytes.size(), Qt::Uninitialized);
    char *o = out.data();
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    LineEnds lineEnds(bytes);
    while (p < end) {
        const char *lineEnd = nextLineEnd(p, end);
        const std::size_t run = std::size_t(lineEnd - p);
        std::memcpy(o, p, run);
        o += run;
        if (lineEnd == end)
            break;
        const bool softBreak = run > 0 && lineEnd[-1] == '=';
        const char *next = bytes.data() + lineEnds.after(lineEnd - bytes.data());
        if (softBreak) {
            --o; // the next line continues this one, "=" dropped
            p = next;
            continue;
        }
        if (next < end && (*next == ' ' || *next == '\t')) {
            p = next + 1; // a fold
            continue;
        }
        *o++ = '\n';
        p = next;
    }
    out.truncate(o - out.constData());
    return out;
}

QList<CardParser::Property> CardParser::properties(const CardBytes &text, qsizetype begin,
                                                   qsizetype end, qsizetype limit)
{
    QList<Property> found;
    const QByteArrayView bytes = QByteArrayView(text.bytes).sliced(begin, end - begin);
    Charsets charsets(text.bytes, text.isUnicode());
    int depth = 0;
    bool first = true;
    int ownDepth = 0; // 1 for a card, 0 for lines outside every card
    forEachLogicalLine(
        bytes,
        [&](QByteArrayView line, qsizetype start, qsizetype lineEnd, bool) -> qsizetype {
            if (found.size() >= limit)
                return bytes.size();
            const qsizetype colon = valueColon(line);
            if (colon < 0 || trimmedSpaces(line.first(colon)).isEmpty())
                return -1;
            const QByteArrayView namePart = line.first(colon);
            const QByteArrayView rawValue = line.sliced(colon + 1);
            const QByteArrayView base = propertyBaseName(namePart);
            const Prop prop = propFromBaseName(base);
            const bool boundary = (prop == Prop::Begin || prop == Prop::End)
                && equalsNoCase(trimmedBlanks(rawValue), "VCARD");
            if (first) {
                first = false;
                ownDepth = boundary && prop == Prop::Begin ? 1 : 0;
            }
            if (boundary) {
                depth += prop == Prop::Begin ? 1 : -1;
                return -1;
            }
            if (depth != ownDepth)
                return -1;
            Property property;
            property.name = QString::fromLatin1(base).toUpper();
            property.begin = begin + start;
            property.end = begin + lineEnd;
            const Params params = parseParams(namePart);
            // The parameters: TYPE's values, and those written without a value.
            if (const qsizetype semicolon = indexOfByte(namePart, ';'); semicolon >= 0) {
                const QList<QByteArray> list
                    = namePart.sliced(semicolon + 1).toByteArray().split(';');
                for (const QByteArray &param : list) {
                    const QByteArrayView p = trimmedSpaces(param);
                    const qsizetype eq = indexOfByte(p, '=');
                    if (eq < 0) {
                        if (!p.isEmpty() && !equalsNoCase(p, "QUOTED-PRINTABLE"))
                            property.types.append(QString::fromUtf8(p));
                    } else if (equalsNoCase(trimmedSpaces(p.first(eq)), "TYPE")) {
                        const QList<QByteArray> types = p.sliced(eq + 1).toByteArray().split(',');
                        for (const QByteArray &type : types)
                            property.types.append(
                                QString::fromUtf8(trimmedSpaces(type)).remove(u'"'));
                    }
                }
            }
            bool foreign = false;
            QString decoded = params.quotedPrintable
                ? charsets.decode(decodeQuotedPrintable(rawValue), params.charset, true, foreign)
                : charsets.decode(rawValue, params.charset, false, foreign);
            if (params.quotedPrintable || foreign)
                foldLineBreaks(decoded);
            if (prop == Prop::N || prop == Prop::ADR || prop == Prop::ORG) {
                const QString trimmed = trimSpaces(decoded);
                const Components parts = splitStructured(trimmed);
                QStringList shown;
                for (int i = 0; i < qMin(parts.count, Components::kMaxParts); ++i) {
                    QString part = clean(trimSpaces(unescape(parts.part(i))));
                    if (!part.isEmpty())
                        shown.append(part);
                }
                property.value = shown.join(u"; ");
            } else {
                property.value = clean(trimSpaces(unescape(decoded)));
            }
            if (prop != Prop::None && prop != Prop::Begin && prop != Prop::End)
                applyProperty(prop, namePart, std::move(decoded), params.quotedPrintable, false,
                              property.fields);
            found.append(std::move(property));
            return -1;
        },
        nullptr);
    return found;
}

namespace {

/// The CHARSET that makes a property line read in any file without a byte-order mark as
/// it reads in its own file (see Charsets::decode); empty when it reads so already.
QByteArray ownCharset(const PropertyLine &property, bool unicode,
                      const std::function<QByteArray()> &legacyCharset)
{
    const Params params = parseParams(property.namePart);
    const QByteArray &charset = params.charset;
    const bool utf8 = !charset.isEmpty() && Charsets::isUtf8Name(charset);
    if (unicode && !params.quotedPrintable) {
        // Here it is UTF-8 whatever it names; elsewhere only when it names no other
        // charset and is valid UTF-8.
        if (utf8
            || ((charset.isEmpty() || isUtf8CompatibleCharset(charset))
                && isValidUtf8(property.value)))
            return {};
        return QByteArrayLiteral("UTF-8");
    }
    const QByteArray decoded
        = params.quotedPrintable ? decodeQuotedPrintable(property.value) : QByteArray();
    if (utf8 || isValidUtf8(params.quotedPrintable ? QByteArrayView(decoded) : property.value))
        return {};
    if (!charset.isEmpty() && !isUtf8CompatibleCharset(charset)
        && (isWindows1252Name(charset)
            || QStringDecoder(charset.toLower().constData(), QStringConverter::Flag::Stateless)
                   .isValid()))
        return {};
    // Read in the file's legacy charset, which another file may not share.
    const QByteArray legacy = legacyCharset();
    return legacy.isEmpty() ? QByteArrayLiteral("windows-1252") : legacy;
}

} // namespace

QByteArray CardParser::legacyCharset(QByteArrayView text)
{
    return Charsets(text, false).legacyCharset();
}

void CardParser::forEachLine(const CardBytes &text, qsizetype from, qsizetype to,
                             const std::function<QByteArray()> &legacyCharset,
                             const std::function<void(const Line &)> &take)
{
    std::optional<QByteArray> legacy;
    const std::function<QByteArray()> legacyOnce = [&] {
        if (!legacy)
            legacy = legacyCharset();
        return *legacy;
    };
    forEachLogicalLine(
        QByteArrayView(text.bytes).sliced(from, to - from),
        [&](QByteArrayView lineText, qsizetype start, qsizetype end, bool) -> qsizetype {
            Line line;
            line.text = lineText;
            line.begin = from + start;
            line.end = from + end;
            line.colon = valueColon(lineText);
            PropertyLine property;
            if (splitPropertyLine(lineText, property)) {
                if (property.prop != Prop::Begin && property.prop != Prop::End) {
                    line.kind = Line::Kind::Property;
                    line.ownCharset = ownCharset(property, text.isUnicode(), legacyOnce);
                } else if (equalsNoCase(trimmedBlanks(property.value), "VCARD")) {
                    line.kind = property.prop == Prop::Begin ? Line::Kind::Begin : Line::Kind::End;
                }
            }
            take(line);
            return -1;
        },
        nullptr);
}
