#include "card/CardParser.h"

#include "card/Windows1252.h"

#include <QHash>
#include <QStringDecoder>

#include <cstring>
#include <deque>
#include <memory>
#include <optional>
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

bool equalsNoCase(QByteArrayView a, const char *b)
{
    const auto length = qsizetype(std::strlen(b));
    return a.size() == length && qstrnicmp(a.data(), length, b, length) == 0;
}

bool containsNoCase(QByteArrayView haystack, const char *needle)
{
    const auto length = qsizetype(std::strlen(needle));
    for (qsizetype i = 0; i + length <= haystack.size(); ++i) {
        if (qstrnicmp(haystack.data() + i, length, needle, length) == 0)
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
qsizetype valueColon(QByteArrayView line)
{
    const qsizetype first = line.indexOf(':');
    if (first < 0)
        return -1;
    if (line.first(first).indexOf('"') < 0)
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
    const qsizetype semicolon = namePart.indexOf(';');
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
        const qsizetype eq = param.indexOf('=');
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

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

/// "=XX" becomes the byte XX; any other "=" stays as written.
QByteArray decodeQuotedPrintable(QByteArrayView in)
{
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '=' && i + 2 < in.size()) {
            const int hi = hexValue(in[i + 1]);
            const int lo = hexValue(in[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.append(char(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.append(c);
    }
    return out;
}

/// A decoded line break (CR LF, CR or LF) becomes one space.
void foldLineBreaks(QString &text)
{
    if (!text.contains(u'\r') && !text.contains(u'\n'))
        return;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r') {
            if (i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            out.append(u' ');
        } else if (c == u'\n') {
            out.append(u' ');
        } else {
            out.append(c);
        }
    }
    text = out;
}

QString trimSpaces(const QString &s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && s.at(begin) == u' ')
        ++begin;
    while (end > begin && s.at(end - 1) == u' ')
        --end;
    return (begin == 0 && end == s.size()) ? s : s.sliced(begin, end - begin);
}

QString clean(QString s)
{
    if (s.contains(u'\r'))
        s.remove(u'\r');
    return s;
}

/// Undoes the text escapes: \, \; \: \\ give the character, \n and \N one space;
/// any other backslash stays as written.
QString unescape(const QString &s)
{
    if (!s.contains(u'\\'))
        return s;
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c == u'\\' && i + 1 < s.size()) {
            const QChar next = s.at(i + 1);
            if (next == u',' || next == u';' || next == u':' || next == u'\\') {
                out.append(next);
                ++i;
                continue;
            }
            if (next == u'n' || next == u'N') {
                out.append(u' ');
                ++i;
                continue;
            }
        }
        out.append(c);
    }
    return out;
}

/// Splits a structured value at every ";" that is not escaped by a backslash;
/// the components keep their escapes.
QStringList splitStructured(const QString &s)
{
    QStringList parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c == u'\\') {
            ++i;
        } else if (c == u';') {
            parts.append(s.sliced(start, i - start));
            start = i + 1;
        }
    }
    parts.append(s.sliced(qMin(start, s.size())));
    return parts;
}

/// The decoders of one file, kept so that a charset's name is looked up once.
class Charsets
{
public:
    Charsets(QByteArrayView file, bool unicode) : m_file(file), m_unicode(unicode) {}

    QString decode(QByteArrayView bytes, const QByteArray &charset, bool quotedPrintable)
    {
        // Raw text of a file with a Unicode mark is UTF-8 by now; CHARSET only
        // tells how decoded quoted-printable bytes are to be read.
        if (m_unicode && !quotedPrintable)
            return QString::fromUtf8(bytes);
        if (!charset.isEmpty() && !isUtf8OrAscii(charset)) {
            if (isWindows1252Name(charset))
                return decodeWindows1252(bytes);
            if (QStringDecoder *decoder = decoderFor(charset)) {
                decoder->resetState();
                return decoder->decode(bytes);
            }
        } else if (!charset.isEmpty() && isUtf8Name(charset)) {
            return QString::fromUtf8(bytes);
        }
        if (isValidUtf8(bytes))
            return QString::fromUtf8(bytes);
        return decodeLegacy(bytes);
    }

private:
    static bool isUtf8Name(QByteArrayView name)
    {
        return equalsNoCase(name, "UTF-8") || equalsNoCase(name, "UTF8");
    }

    static bool isUtf8OrAscii(QByteArrayView name)
    {
        return isUtf8Name(name) || equalsNoCase(name, "US-ASCII") || equalsNoCase(name, "ASCII");
    }

    QStringDecoder *decoderFor(const QByteArray &charset)
    {
        const QByteArray key = charset.toLower();
        auto it = m_decoders.find(key);
        if (it == m_decoders.end()) {
            auto decoder = std::make_shared<QStringDecoder>(key.constData(),
                                                            QStringConverter::Flag::Stateless);
            if (!decoder->isValid())
                decoder.reset();
            it = m_decoders.insert(key, decoder);
        }
        return it->get();
    }

    QString decodeLegacy(QByteArrayView bytes)
    {
        if (!m_legacyKnown) {
            m_legacyKnown = true;
            m_legacy = findLegacyCharset();
        }
        if (!m_legacy.isEmpty()) {
            if (QStringDecoder *decoder = decoderFor(m_legacy)) {
                decoder->resetState();
                return decoder->decode(bytes);
            }
        }
        return decodeWindows1252(bytes);
    }

    /// The first CHARSET the file names that is neither UTF-8 nor ASCII and that
    /// can be decoded; empty for Windows-1252.
    QByteArray findLegacyCharset()
    {
        static constexpr char kKey[] = "CHARSET=";
        const qsizetype keyLength = qsizetype(sizeof kKey - 1);
        for (qsizetype i = 0; i + keyLength <= m_file.size(); ++i) {
            if ((m_file[i] | 0x20) != 'c'
                || qstrnicmp(m_file.data() + i, keyLength, kKey, keyLength) != 0)
                continue;
            qsizetype end = i + keyLength;
            if (end < m_file.size() && m_file[end] == '"')
                ++end;
            const qsizetype start = end;
            while (end < m_file.size() && !std::strchr(";:,\" \t\r\n", m_file[end]))
                ++end;
            const QByteArray name = m_file.sliced(start, end - start).toByteArray();
            if (name.isEmpty() || isUtf8OrAscii(name))
                continue;
            if (isWindows1252Name(name))
                return {};
            if (decoderFor(name))
                return name;
        }
        return {};
    }

    QByteArrayView m_file;
    bool m_unicode;
    bool m_legacyKnown = false;
    QByteArray m_legacy;
    QHash<QByteArray, std::shared_ptr<QStringDecoder>> m_decoders;
};

/// Applies one recognised property line to the fields of its card.
void applyProperty(Prop prop, QByteArrayView namePart, QString value, bool wasQuotedPrintable,
                   ContactFields &f)
{
    switch (prop) {
    case Prop::FN:
        f.FirstName = clean(trimSpaces(unescape(value)));
        return;
    case Prop::ORG:
        f.Organization = clean(trimSpaces(unescape(value)));
        return;
    case Prop::BDAY:
        f.Birthday = clean(trimSpaces(unescape(value)));
        return;
    case Prop::NICKNAME:
        f.Nickname = clean(trimSpaces(unescape(value)));
        return;
    case Prop::TITLE:
        f.Title = clean(trimSpaces(unescape(value)));
        return;
    case Prop::ROLE:
        f.Role = clean(trimSpaces(unescape(value)));
        return;
    case Prop::EMAIL:
        f.Emails.append(clean(trimSpaces(unescape(value))));
        return;
    case Prop::URL:
        f.Urls.append(clean(unescape(value)));
        return;
    case Prop::NOTE: {
        QString note = unescape(value);
        // The old hand-made quoted-printable rule, for values that were not decoded.
        if (!wasQuotedPrintable)
            note.replace(QStringLiteral("=0D=0A="), QStringLiteral(" "));
        f.Notes = trimSpaces(clean(note));
        return;
    }
    case Prop::N: {
        const QStringList parts = splitStructured(trimSpaces(value));
        f.LastName = clean(trimSpaces(unescape(parts.at(0))));
        if (parts.size() >= 2)
            f.FirstName = clean(trimSpaces(unescape(parts.at(1))));
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
        QStringList parts = splitStructured(trimSpaces(value));
        for (QString &part : parts)
            part = clean(unescape(part));
        const auto line = [wasQuotedPrintable](QString s) {
            if (!wasQuotedPrintable)
                s.replace(QStringLiteral("=0D"), QStringLiteral(" "));
            return s;
        };
        const qsizetype count = parts.size();
        if (count >= 3) {
            if (!parts.at(1).isEmpty()) {
                address1 = line(parts.at(1));
                address2 = line(parts.at(2));
            } else {
                address1 = line(parts.at(2));
            }
        }
        if (count >= 4)
            city = parts.at(3);
        if (count >= 5)
            state = parts.at(4);
        if (count >= 6)
            postal = parts.at(5);
        if (count >= 7)
            country = parts.at(6);
        return;
    }
    case Prop::TEL: {
        QString number = clean(unescape(value));
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

/// Follows the card boundaries of one file and hands finished cards out in the
/// order of their BEGIN lines.
class CardCollector
{
public:
    CardCollector(const CardBytes &text, const CardParser::Sink &sink)
        : m_charsets(text.bytes, text.isUnicode()), m_sink(sink)
    {}

    void line(QByteArrayView line)
    {
        const qsizetype colon = valueColon(line);
        if (colon < 0)
            return;
        const QByteArrayView namePart = line.first(colon);
        const QByteArrayView value = line.sliced(colon + 1);
        if (trimmedSpaces(namePart).isEmpty())
            return;
        QByteArrayView base = namePart;
        if (const qsizetype semicolon = base.indexOf(';'); semicolon >= 0)
            base = base.first(semicolon);
        base = trimmedSpaces(base);
        if (const qsizetype dot = base.lastIndexOf('.'); dot >= 0)
            base = trimmedSpaces(base.sliced(dot + 1));
        const Prop prop = propFromBaseName(base);
        if (prop == Prop::None)
            return;
        if (prop == Prop::Begin || prop == Prop::End) {
            if (equalsNoCase(trimmedBlanks(value), "VCARD")) {
                prop == Prop::Begin ? begin() : end();
                return;
            }
            return;
        }
        const Params params = parseParams(namePart);
        QString text;
        if (params.quotedPrintable) {
            text = m_charsets.decode(decodeQuotedPrintable(value), params.charset, true);
            foldLineBreaks(text);
        } else {
            text = m_charsets.decode(value, params.charset, false);
        }
        applyProperty(prop, namePart, std::move(text), params.quotedPrintable, target());
    }

    void finish()
    {
        for (Pending &pending : m_pending)
            pending.complete = true;
        m_open.clear();
        flush();
        emitOutside();
        if (m_emitted == 0) {
            ContactFields empty;
            m_sink(std::move(empty));
        }
    }

private:
    struct Pending
    {
        ContactFields fields;
        bool complete = false;
    };

    ContactFields &target()
    {
        if (!m_open.empty())
            return m_pending[std::size_t(m_open.back() - m_firstSequence)].fields;
        if (!m_outside)
            m_outside.emplace();
        return *m_outside;
    }

    void begin()
    {
        if (m_open.empty())
            emitOutside();
        m_pending.emplace_back();
        m_open.push_back(m_firstSequence + qint64(m_pending.size()) - 1);
    }

    void end()
    {
        if (m_open.empty())
            return; // a stray END outside every card
        m_pending[std::size_t(m_open.back() - m_firstSequence)].complete = true;
        m_open.pop_back();
        flush();
    }

    void flush()
    {
        while (!m_pending.empty() && m_pending.front().complete) {
            m_sink(std::move(m_pending.front().fields));
            ++m_emitted;
            m_pending.pop_front();
            ++m_firstSequence;
        }
    }

    void emitOutside()
    {
        if (!m_outside)
            return;
        m_sink(std::move(*m_outside));
        ++m_emitted;
        m_outside.reset();
    }

    Charsets m_charsets;
    const CardParser::Sink &m_sink;
    std::deque<Pending> m_pending;
    std::vector<qint64> m_open; // sequence numbers of the open cards, innermost last
    qint64 m_firstSequence = 0; // sequence number of m_pending.front()
    std::optional<ContactFields> m_outside;
    qint64 m_emitted = 0;
};

/// Splits the bytes into physical lines (CR* LF, or a lone CR) and joins folded
/// lines and quoted-printable soft line breaks into logical lines.
template<typename Consumer> void forEachLogicalLine(QByteArrayView data, Consumer &&consume)
{
    QByteArray joined;
    QByteArrayView current;
    bool haveCurrent = false;
    bool isJoined = false;
    bool softBreak = false; // the current line is quoted-printable and ends in "="

    const auto view = [&]() { return isJoined ? QByteArrayView(joined) : current; };
    const auto flush = [&]() {
        if (haveCurrent)
            consume(view());
        haveCurrent = false;
        isJoined = false;
        softBreak = false;
    };
    const auto makeJoined = [&]() {
        if (!isJoined) {
            joined.resize(0);
            joined.append(current);
            isJoined = true;
        }
    };

    const qsizetype n = data.size();
    qsizetype pos = 0;
    while (pos < n) {
        qsizetype end = pos;
        while (end < n && data[end] != '\n' && data[end] != '\r')
            ++end;
        const QByteArrayView physical = data.sliced(pos, end - pos);
        if (end < n) {
            qsizetype k = end;
            while (k < n && data[k] == '\r')
                ++k;
            pos = (k < n && data[k] == '\n') ? k + 1 : end + 1;
        } else {
            pos = n;
        }

        if (physical.isEmpty()) {
            flush(); // a blank line ends folding and soft line breaks
            continue;
        }
        if (haveCurrent && softBreak) {
            makeJoined();
            joined.chop(1);
            joined.append(physical);
            softBreak = physical.back() == '=';
            continue;
        }
        if (haveCurrent && (physical.front() == ' ' || physical.front() == '\t')) {
            makeJoined();
            joined.append(physical.sliced(1));
            softBreak = joined.endsWith('=') && isQuotedPrintableLine(joined);
            continue;
        }
        flush();
        haveCurrent = true;
        current = physical;
        softBreak = physical.back() == '=' && isQuotedPrintableLine(physical);
    }
    flush();
}

} // namespace

void CardParser::parse(const CardBytes &text, const Sink &sink)
{
    CardCollector collector(text, sink);
    forEachLogicalLine(text.bytes, [&](QByteArrayView line) { collector.line(line); });
    collector.finish();
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
