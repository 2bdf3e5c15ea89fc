#include "card/LogicalLines.h"

#include "card/ByteSearch.h"

#include <algorithm>
#include <cstring>

namespace cardreader {

qint64 countLineEnds(QByteArrayView bytes)
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

QByteArray joinedLines(QByteArrayView bytes)
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

} // namespace cardreader
