#include "base/ErrorReport.h"

#include "base/Desktop.h"

using namespace Qt::StringLiterals;

QString locationText(const QString &projectTag, const QString &module, const QString &procedure)
{
    return u"in "_s + projectTag + u"2021/08/31."_s + module + u'.' + procedure + u' ';
}

QString formLocation(const QString &procedure)
{
    return locationText(u"Tarnwick"_s, u"Form1"_s, procedure);
}

QString applicationErrorText(const QString &location, int step, const QString &description)
{
    return description + u"\r\n"_s + location + u"at line "_s + QString::number(step) + u"\r\r"_s
        + u"Please email screenshot of this message to "_s + QString::fromUtf16(kSupportEmail);
}

void ShowApplicationError(Desktop &desktop, const QString &location, int step,
                          const QString &description)
{
    desktop.message(applicationErrorText(location, step, description), u"Application Error"_s,
                    MessageButtons::Ok, MessageIcon::Warning);
}

Guard::Guard(Desktop &desktop, QString location)
    : m_reporter([&desktop](const QString &where, int step, const QString &description) {
          ShowApplicationError(desktop, where, step, description);
      }),
      m_location(std::move(location))
{}

Guard::Guard(Reporter reporter, QString location)
    : m_reporter(std::move(reporter)), m_location(std::move(location))
{}

void Guard::report(const QString &description)
{
    // A failure while the report itself is shown is not guarded further.
    if (m_reporter)
        m_reporter(m_location, m_step, description);
}
