#include "card/LineContinuation.h"

#include "card/PropertyLine.h"

#include <cstring>

namespace cardreader {

bool mayContinueValue(QByteArrayView physical)
{
    if (physical.front() == '#')
        return false;
    // A name longer than this is no property's, whatever group stands before it.
    constexpr qsizetype kLongestName = 64;
    const QByteArrayView head = physical.first(qMin(physical.size(), kLongestName + 1));
    const qsizetype semicolon = indexOfByte(head, ';');
    if (semicolon < 0 && head.size() > kLongestName)
        return true;
    const QByteArrayView name = propertyBaseName(semicolon >= 0 ? head.first(semicolon) : head);
    if (name.isEmpty())
        return true;
    if (propFromBaseName(name) != Prop::None)
        return false;
    for (const char *known : {"FN", "ORG", "BDAY", "NICKNAME", "TITLE", "ROLE", "EMAIL", "URL",
                              "NOTE", "ADR", "TEL", "BEGIN", "END"}) {
        const auto length = qsizetype(std::strlen(known));
        if (name.size() < length && equalsNoCaseN(name.data(), known, name.size()))
            return false;
    }
    return true;
}

Continuation continuationOf(QByteArrayView line, qsizetype colon)
{
    if (colon < 0)
        return Continuation::None;
    const QByteArrayView namePart = line.first(colon);
    if (trimmedSpaces(namePart).isEmpty())
        return Continuation::None;
    const Prop prop = propFromBaseName(propertyBaseName(namePart));
    if (prop == Prop::Begin || prop == Prop::End)
        return Continuation::None;
    const Params params = parseParams(namePart);
    return params.base64 && !params.quotedPrintable ? Continuation::Base64 : Continuation::Text;
}

void appendContinuation(QByteArray &line, QByteArrayView physical, Continuation how)
{
    if (how == Continuation::Text) {
        qsizetype backslashes = 0;
        while (backslashes < line.size() && line[line.size() - 1 - backslashes] == '\\')
            ++backslashes;
        if (backslashes % 2 == 1)
            line.chop(1);
        line.append("\\n", 2);
    }
    line.append(physical);
}

void SoftBreakFolding::followSlowly(QByteArrayView line)
{
    // The card reader finds the boundaries so too.
    const qsizetype colon = valueColon(line);
    if (colon < 0)
        return;
    const QByteArrayView base = propertyBaseName(line.first(colon));
    const NameScan::Name name = equalsNoCase(base, "VERSION") ? NameScan::Name::Version
        : equalsNoCase(base, "BEGIN")                         ? NameScan::Name::Begin
        : equalsNoCase(base, "END")                           ? NameScan::Name::End
        : equalsNoCase(base, "AGENT")                         ? NameScan::Name::Agent
                                                              : NameScan::Name::Other;
    follow(name, trimmedBlanks(line.sliced(colon + 1)));
}

void SoftBreakFolding::follow(NameScan::Name name, QByteArrayView value)
{
    switch (name) {
    case NameScan::Name::Version: {
        const bool later = !value.isEmpty() && value.front() >= '3' && value.front() <= '9';
        if (m_open.empty())
            m_outside = later;
        else
            m_open.back() = later;
        break;
    }
    case NameScan::Name::Begin:
        if (equalsNoCase(value, "VCARD"))
            m_open.push_back(false);
        break;
    case NameScan::Name::End:
        if (equalsNoCase(value, "VCARD") || equalsNoCase(value, "VCARDBEGIN:VCARD")) {
            if (!m_open.empty())
                m_open.pop_back();
            if (m_open.empty())
                m_outside = false;
            if (value.size() > 5)
                m_open.push_back(false); // the next card begins on the same line
        }
        break;
    case NameScan::Name::Agent:
        if (equalsNoCase(value, "BEGIN:VCARD"))
            m_open.push_back(false);
        break;
    case NameScan::Name::Other:
    case NameScan::Name::Unknown:
        break;
    }
}

} // namespace cardreader
