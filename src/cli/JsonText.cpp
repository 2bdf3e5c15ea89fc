#include "cli/JsonText.h"

using namespace Qt::StringLiterals;

namespace {

bool loneSurrogate(QStringView text, qsizetype i)
{
    const QChar c = text.at(i);
    if (c.isHighSurrogate())
        return i + 1 == text.size() || !text.at(i + 1).isLowSurrogate();
    if (c.isLowSurrogate())
        return i == 0 || !text.at(i - 1).isHighSurrogate();
    return false;
}

} // namespace

void appendJsonString(QString &out, QStringView text, const std::function<void()> &writeIfLong)
{
    out.append(u'"');
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        // What is made so far may be written, unless that would part a surrogate pair.
        if ((i & (kJsonPiece - 1)) == kJsonPiece - 1
            && !(c.isLowSurrogate() && text.at(i - 1).isHighSurrogate()))
            writeIfLong();
        switch (c.unicode()) {
        case u'"':
            out.append(u"\\\""_s);
            break;
        case u'\\':
            out.append(u"\\\\"_s);
            break;
        case u'\n':
            out.append(u"\\n"_s);
            break;
        case u'\r':
            out.append(u"\\r"_s);
            break;
        case u'\t':
            out.append(u"\\t"_s);
            break;
        default:
            if (c.unicode() < 0x20 || loneSurrogate(text, i))
                out.append(u"\\u%1"_s.arg(uint(c.unicode()), 4, 16, QChar(u'0')));
            else
                out.append(c);
        }
    }
    out.append(u'"');
}
