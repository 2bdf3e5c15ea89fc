#include "app/PlainToolTip.h"

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
    return u"<p style=\"white-space:pre-wrap\">"_s + shown.toHtmlEscaped() + u"</p>"_s;
}
