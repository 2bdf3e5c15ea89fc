#include "base/PlainToolTip.h"

using namespace Qt::StringLiterals;

QString plainToolTip(const QString &text)
{
    if (text.isEmpty())
        return {};
    QString shown = text.first(qMin(text.size(), kToolTipLimit));
    if (shown.size() < text.size()) {
        if (shown.back().isHighSurrogate())
            shown.chop(1);
        shown += u'…';
    }
    // The texts use bare CRs as line breaks too.
    shown.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
    // Qt wraps a rich tooltip at about a third of its width: short lines are kept whole,
    // and only a tip with long lines may wrap them.
    qsizetype longest = 0;
    for (const QStringView line : QStringView(shown).tokenize(u'\n'))
        longest = qMax(longest, line.size());
    const QString style = longest <= kToolTipLineLength ? u"pre"_s : u"pre-wrap"_s;
    return u"<p style=\"white-space:"_s + style + u"\">"_s + shown.toHtmlEscaped() + u"</p>"_s;
}
