#pragma once

// Card file shapes that once cost the reader more than linear time or memory, for the
// growth benchmark and the tests of hostile input.

#include <QByteArray>

#include <array>
#include <cstddef>

/// The match option that a shape is hard on, beside reading it.
enum class HostileOption { None, IgnoreAccents, PhoneNumbers };

/// A file shape that once cost more than linear time or memory: a head, a unit repeated
/// until the file is as long as asked ("%d" in it counts up), and a tail.
struct HostileShape
{
    const char *name;
    const char *head;
    const char *unit;
    const char *tail;
    HostileOption option = HostileOption::None;
};

/// The search text for the phone shapes, read in Germany: its national number, 30901,
/// stands in their values in other forms, so that each of them is weighed as a number.
inline constexpr char kHostilePhoneText[] = "+4930901";

/// A telephone line of a thousand plus signs before a number of another country.
inline constexpr auto kPlusSignsLine = [] {
    constexpr char head[] = "TEL:";
    constexpr char tail[] = "1 30901\r\n";
    constexpr std::size_t signs = 1000;
    std::array<char, sizeof head - 1 + signs + sizeof tail> line{};
    std::size_t at = 0;
    for (std::size_t i = 0; i + 1 < sizeof head; ++i)
        line[at++] = head[i];
    for (std::size_t i = 0; i < signs; ++i)
        line[at++] = '+';
    for (std::size_t i = 0; i < sizeof tail; ++i)
        line[at++] = tail[i];
    return line;
}();

inline constexpr HostileShape kHostileShapes[] = {
    {"begin-only", "", "BEGIN:VCARD\r\n", ""},
    {"nested", "", "BEGIN:VCARD\r\nN:Doe;Jane\r\nEMAIL:jane@example.org\r\n", ""},
    {"many-phones", "BEGIN:VCARD\r\n", "TEL:1\r\n", "END:VCARD\r\n"},
    {"many-emails", "BEGIN:VCARD\r\n", "EMAIL:someone@example.org\r\n", "END:VCARD\r\n"},
    {"nested-phones", "BEGIN:VCARD\r\nBEGIN:VCARD\r\n", "TEL:1\r\n", "END:VCARD\r\nEND:VCARD\r\n"},
    {"fold-equals-no-colon", "NOTE\r\n", " x=\r\n", ""},
    {"fold-equals-quote", "NOTE;X=\"\r\n", " x=\r\n", ""},
    {"fold-endless", "NOTE:a\r\n", " bcdefgh\r\n", ""},
    {"soft-breaks", "NOTE;ENCODING=QUOTED-PRINTABLE:a=\r\n", "bcdefgh=\r\n", ""},
    // A line of parameters without a colon, and lines that each end in "=": the reading
    // report's look at "=" signs once walked back over the line at each of them.
    {"params-no-colon", "BEGIN:VCARD\r\nX-A", ";a=z", "\r\nEND:VCARD\r\n"},
    {"equals-chain", "BEGIN:VCARD\r\nNOTE", "=z=\r\n", "x\r\nEND:VCARD\r\n"},
    {"quote-lines", "BEGIN:VCARD\r\n", "TEL;X=\"a:1\r\n", "END:VCARD\r\n"},
    {"no-colon", "", "no colon on this line\r\n", ""},
    {"no-colon-card", "BEGIN:VCARD\r\n", "no colon on this line\r\n", "END:VCARD\r\n"},
    {"end-blank", "", "BEGIN:VCARD\r\nFN:a\r\nEND: VCARD\r\n", ""},
    {"end-param", "", "BEGIN:VCARD\r\nFN:a\r\nEND;X=1:VCARD\r\n", ""},
    {"end-folded", "", "BEGIN:VCARD\r\nFN:a\r\nEND:VC\r\n ARD\r\n", ""},
    {"end-in-value", "", "BEGIN:VCARD\r\nNOTE:x END:VCARD\r\n", ""},
    {"cr-run", "BEGIN:VCARD\r\nFN:a", "\r", ""},
    {"lf-run", "BEGIN:VCARD\r\nFN:a", "\n", ""},
    {"long-line", "NOTE:", "abcdefgh", "\r\n"},
    {"semicolons", "BEGIN:VCARD\r\nADR:", ";", "\r\nEND:VCARD\r\n"},
    {"backslashes", "BEGIN:VCARD\r\nNOTE:", "\\", "\r\nEND:VCARD\r\n"},
    {"parameters", "BEGIN:VCARD\r\nTEL", ";TYPE=WORK", ":1\r\nEND:VCARD\r\n"},
    {"charsets", "BEGIN:VCARD\r\n", "FN;CHARSET=X-%d:a\r\n", "END:VCARD\r\n"},
    {"other-properties", "BEGIN:VCARD\r\n", "item1.X-A;TYPE=b:e\r\n", "END:VCARD\r\n"},
    // One field written over without end: every value it held is kept, and each is a row.
    {"written-over", "BEGIN:VCARD\r\n", "NOTE:e%d\r\n", "NOTE:x\r\nEND:VCARD\r\n"},
    // The same inside another card: the parts of a file parsed on several threads end
    // inside the outer one, and the file is parsed again whole.
    {"nested-written-over", "BEGIN:VCARD\r\nFN:outer\r\nBEGIN:VCARD\r\n", "NOTE:e%d\r\n",
     "NOTE:x\r\nEND:VCARD\r\nEND:VCARD\r\n"},
    {"base64-text", "BEGIN:VCARD\r\n", "NOTE;ENCODING=b:ZWVlZQ==\r\n", "END:VCARD\r\n"},
    {"base64-long", "BEGIN:VCARD\r\nX-B;ENCODING=b:", "ZWVlZWVl\r\n ", "\r\nEND:VCARD\r\n"},
    {"legacy-lines", "BEGIN:VCARD\r\n", "NOTE:\xe9t\xe9 \xe0 Z\xfcrich\r\n", "END:VCARD\r\n"},
    // U+0301 and U+0323, marks of two classes, on one letter without end.
    {"mark-flood", "BEGIN:VCARD\r\nFN:a", "\xcc\x81\xcc\xa3", "\r\nEND:VCARD\r\n",
     HostileOption::IgnoreAccents},
    // U+0390, a letter that decomposes into three and folds into three.
    {"three-part-letters", "BEGIN:VCARD\r\nFN:", "\xce\x90", "\r\nEND:VCARD\r\n",
     HostileOption::IgnoreAccents},
    // A run of letters that fold to the text's between quoted-printable escapes: the
    // file test once walked the whole run again at each of its letters.
    {"letters-between-escapes",
     "BEGIN:VCARD\r\nNOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:=C3=A9", "\xc3\xa9",
     "=C3=A9\r\nEND:VCARD\r\n", HostileOption::IgnoreAccents},
    {"phone-long-value", "BEGIN:VCARD\r\nTEL:", "+1 30901 or ", "\r\nEND:VCARD\r\n",
     HostileOption::PhoneNumbers},
    {"phone-plus-signs", "BEGIN:VCARD\r\n", kPlusSignsLine.data(), "END:VCARD\r\n",
     HostileOption::PhoneNumbers},
    {"raw-value-lines", "BEGIN:VCARD\r\nNOTE;X=\"a:b\r\n", "no colon here\\\r\n", "END:VCARD\r\n"},
    {"raw-and-folded-lines", "BEGIN:VCARD\r\nNOTE;X=\"a:b\r\n", " x\r\nraw\r\n", "END:VCARD\r\n"},
    {"escaped-agents", "BEGIN:VCARD\r\n", "AGENT:BEGIN:VCARD\\nFN:e\\nEND:VCARD\r\n",
     "END:VCARD\r\n"},
    {"escaped-agent-long", "BEGIN:VCARD\r\nAGENT:BEGIN:VCARD", "\\nFN:e\\nBEGIN:VCARD",
     "\r\nEND:VCARD\r\n"},
    {"agent-begins", "", "BEGIN:VCARD\r\nAGENT:BEGIN:VCARD\r\nFN:e\r\n", ""},
    {"glued-cards", "", "BEGIN:VCARD\r\nFN:e\r\nEND:VCARDBEGIN:VCARD\r\n", ""},
    // Parts and parameters that no field holds, each a row with all properties.
    {"many-parameters", "BEGIN:VCARD\r\nADR", ";LABEL=e", ":;;street;city\r\nEND:VCARD\r\n"},
    {"many-components", "BEGIN:VCARD\r\nN:e;e", ";e", "\r\nEND:VCARD\r\n"},
    // Shapes of the card export: every card matches "e" and is written out.
    {"nested-export", "", "BEGIN:VCARD\r\nFN:e\r\n", ""},
    {"small-cards-export", "", "BEGIN:VCARD\r\nFN:e\r\nEND:VCARD\r\n", ""},
    {"legacy-cards-export", "", "BEGIN:VCARD\r\nFN:Andr\xe9 e\r\nEND:VCARD\r\n", ""},
};

/// A file of the shape, about bytes long.
inline QByteArray hostileShape(const HostileShape &shape, qint64 bytes)
{
    QByteArray out = shape.head;
    const QByteArray tail = shape.tail;
    const QByteArray unit = shape.unit;
    const bool counted = unit.contains("%d");
    out.reserve(bytes + unit.size() + tail.size() + 32);
    for (qint64 i = 0; out.size() + tail.size() < bytes; ++i) {
        if (counted)
            out += QByteArray(unit).replace("%d", QByteArray::number(i));
        else
            out += unit;
    }
    out.append(tail);
    return out;
}

/// The text a search of the shape looks for: the phone number for the phone shapes.
inline const char *hostileSearchText(const HostileShape &shape)
{
    return shape.option == HostileOption::PhoneNumbers ? kHostilePhoneText : "e";
}

/// The shape of that name, or null.
inline const HostileShape *findHostileShape(QByteArrayView name)
{
    for (const HostileShape &shape : kHostileShapes) {
        if (name == shape.name)
            return &shape;
    }
    return nullptr;
}
