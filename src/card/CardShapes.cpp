#include "card/CardShapes.h"

#include "card/AsciiText.h"

namespace cardreader {

namespace {

bool isAgent(const PropertyLine &property)
{
    return property.prop == Prop::None && !property.namePart.isEmpty()
        && equalsNoCase(propertyBaseName(property.namePart), "AGENT");
}

bool startsWithNoCase(QByteArrayView text, const char *prefix)
{
    const auto length = qsizetype(std::strlen(prefix));
    return text.size() >= length && equalsNoCaseN(text.data(), prefix, length);
}

} // namespace

qsizetype gluedBeginAt(QByteArrayView line, const PropertyLine &property)
{
    if (property.prop != Prop::End)
        return -1;
    const QByteArrayView value = trimmedBlanks(property.value);
    if (!equalsNoCase(value, "VCARDBEGIN:VCARD"))
        return -1;
    return value.data() + 5 - line.data();
}

qsizetype agentBeginAt(QByteArrayView line, const PropertyLine &property)
{
    if (!isAgent(property))
        return -1;
    const QByteArrayView value = trimmedBlanks(property.value);
    if (!equalsNoCase(value, "BEGIN:VCARD"))
        return -1;
    return value.data() - line.data();
}

bool isEscapedAgent(const PropertyLine &property)
{
    if (!isAgent(property))
        return false;
    const QByteArrayView value = trimmedBlanks(property.value);
    return startsWithNoCase(value, "BEGIN:VCARD\\N");
}

QByteArray unescapedCard(QByteArrayView value)
{
    QByteArray out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\' && i + 1 < value.size()) {
            const char next = value[i + 1];
            if (next == 'n' || next == 'N') {
                out.append("\r\n", 2);
                ++i;
                continue;
            }
            if (next == ',' || next == ';' || next == ':' || next == '\\') {
                out.append(next);
                ++i;
                continue;
            }
        }
        out.append(c);
    }
    return out;
}

} // namespace cardreader
