#include "filelist/NamePatterns.h"

using namespace Qt::StringLiterals;

bool HasUnsupportedChars(const QString &name)
{
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == u'?')
            return true;
    }
    return false;
}

bool isTemporaryFileName(const QString &name)
{
    return name.startsWith(u'~');
}

namespace folderwalk {

namespace {

QChar folded(QChar c)
{
    if (c.unicode() < 0x80)
        return (c >= u'A' && c <= u'Z') ? QChar(c.unicode() + 32) : c;
    return c.toCaseFolded();
}

/// "*.*" matches names without a point too.
QString effectivePattern(const QString &pattern)
{
    return pattern == u"*.*"_s ? u"*"_s : pattern;
}

/// The end a pattern of the form "*" + literal text asks for, or a null view.
QStringView literalTail(QStringView pattern)
{
    if (!pattern.startsWith(u'*'))
        return {};
    const QStringView tail = pattern.sliced(1);
    return (tail.contains(u'*') || tail.contains(u'?')) ? QStringView() : tail;
}

bool endsWithFolded(QStringView name, QStringView tail)
{
    if (name.size() < tail.size())
        return false;
    const QStringView end = name.sliced(name.size() - tail.size());
    for (qsizetype i = 0; i < tail.size(); ++i) {
        if (folded(tail.at(i)) != folded(end.at(i)))
            return false;
    }
    return true;
}

bool wildcardMatch(QStringView pattern, QStringView name)
{
    qsizetype p = 0;
    qsizetype n = 0;
    qsizetype starAt = -1;
    qsizetype resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size()
            && (pattern.at(p) == u'?' || folded(pattern.at(p)) == folded(name.at(n)))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern.at(p) == u'*') {
            starAt = p++;
            resumeAt = n;
        } else if (starAt >= 0) {
            p = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern.at(p) == u'*')
        ++p;
    return p == pattern.size();
}

} // namespace

void keepMatching(QStringList &names, const QString &pattern)
{
    const QString filter = effectivePattern(pattern);
    // The common "*.ext" compares the name's end alone.
    const QStringView tail = literalTail(filter);
    names.removeIf([&](const QString &name) {
        return tail.isNull() ? !wildcardMatch(filter, name) : !endsWithFolded(name, tail);
    });
}

bool asciiEnding(const QString &pattern, std::string &ending)
{
    const QString filter = effectivePattern(pattern);
    const QStringView tail = literalTail(filter);
    if (tail.isNull())
        return false;
    ending.clear();
    for (const QChar c : tail) {
        if (c.unicode() >= 0x80)
            return false;
        ending += char(folded(c).unicode());
    }
    return true;
}

} // namespace folderwalk
