#pragma once

#include "card/AsciiText.h"

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

// How the line reader continues a logical line beyond folds and soft line breaks: a raw
// line that continues a value, and a blank after a soft line break that a later version
// folds away.
namespace cardreader {

/// True when a physical line that holds no colon may continue the value of the logical
/// line before it though it is not folded (a street or a note written over raw lines): it
/// is no comment ("#"), and it neither starts with the name of a property that the reader
/// knows nor is the start of one (a property line cut short, as "E" at a file's end).
bool mayContinueValue(QByteArrayView physical);

/// How a logical line takes the lines that continue its value (see mayContinueValue):
/// not at all (no property, or BEGIN or END), as text, or as base64 (as written).
enum class Continuation : quint8 { None, Text, Base64 };

/// The continuation of a logical line whose value's colon (see valueColon) is at colon.
Continuation continuationOf(QByteArrayView line, qsizetype colon);

/// Appends a line that continues a value to the logical line. Text joins with an escaped
/// line break ("\n"); a backslash that escapes the line end is that line break.
void appendContinuation(QByteArray &line, QByteArrayView physical, Continuation how);

/// One pass over the start of a physical line: whether it holds a colon, and which of
/// the names that SoftBreakFolding follows its property's base name (after a group,
/// before the parameters) is. A quote, or a name that ends with the line, leaves the
/// answer to the reader's own rules (Unknown).
struct NameScan
{
    static bool isNameStop(char c)
    {
        // ':' ';' '.' '"' are the bytes 0x3A 0x3B 0x2E 0x22.
        static constexpr bool kStops[128]
            = {false, false, false, false, false, false, false, false, false, false, false, false,
               false, false, false, false, false, false, false, false, false, false, false, false,
               false, false, false, false, false, false, false, false, false, false, true,  false,
               false, false, false, false, false, false, false, false, false, false, true,  false,
               false, false, false, false, false, false, false, false, false, false, true,  true};
        const auto u = static_cast<unsigned char>(c);
        return u < 60 && kStops[u];
    }

    enum class Name : quint8 { Other, Unknown, Version, Begin, End, Agent };

    bool hasColon = false;
    Name name = Name::Unknown;
    qsizetype colon = -1; ///< where the value starts when no parameter comes before it

    explicit NameScan(QByteArrayView physical)
    {
        const char *const start = physical.data();
        const char *p = start;
        const char *const end = p + physical.size();
        const char *base = p;
        // One test a byte for the usual name bytes: it runs on every line.
        for (;; ++p) {
            while (p < end && !isNameStop(*p))
                ++p;
            if (p == end || *p == ':' || *p == ';')
                break;
            if (*p == '"') {
                hasColon = indexOfByte(physical, ':') >= 0;
                return;
            }
            base = p + 1; // after a group's "."
        }
        if (p == end)
            return; // no colon; a fold may still bring the name's end
        hasColon = *p == ':' || indexOfByte(QByteArrayView(p, end), ':') >= 0;
        if (*p == ':')
            colon = p - start;
        while (base < p && *base == ' ')
            ++base;
        while (p > base && p[-1] == ' ')
            --p;
        const QByteArrayView baseName(base, p);
        const char first = baseName.isEmpty() ? '\0' : upperAscii(baseName.front());
        name = first == 'V' && equalsNoCase(baseName, "VERSION") ? Name::Version
            : first == 'B' && equalsNoCase(baseName, "BEGIN")    ? Name::Begin
            : first == 'E' && equalsNoCase(baseName, "END")      ? Name::End
            : first == 'A' && equalsNoCase(baseName, "AGENT")    ? Name::Agent
                                                                 : Name::Other;
    }
};

/// Follows, line by line, the rule for a blank after a soft line break: VERSION 3.0 and
/// later fold such a line (the blank goes), 2.1 keeps the blank, as does a card that names
/// no version. Each card has its own, so that a card's lines read alike in its file and
/// on their own; a card nested in another (a BEGIN line, an AGENT that begins a card)
/// takes one bit while it is open.
class SoftBreakFolding
{
public:
    bool folds() const { return m_open.empty() ? m_outside : m_open.back(); }

    /// Takes a logical line, whose first physical line NameScan read as scan.
    void follow(QByteArrayView line, const NameScan &scan)
    {
        if (scan.name == NameScan::Name::Other)
            return;
        if (scan.name == NameScan::Name::Unknown || scan.colon < 0)
            return followSlowly(line);
        follow(scan.name, trimmedBlanks(line.sliced(scan.colon + 1)));
    }
    /// Reading goes on after a card outside every other that was skipped whole.
    void skippedCard()
    {
        m_open.clear();
        m_outside = false;
    }

private:
    void followSlowly(QByteArrayView line);
    void follow(NameScan::Name name, QByteArrayView value);

    std::vector<bool> m_open;
    bool m_outside = false;
};

} // namespace cardreader
