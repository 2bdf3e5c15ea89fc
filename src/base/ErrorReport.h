#pragma once

#include <QString>

#include <exception>
#include <functional>
#include <new>

#include "base/Failure.h"

class Desktop;

/// The maker's support address shown in every error report.
inline constexpr auto kSupportEmail = u"support@brenmoor.example";

/// "in " + tag + "2021/08/31." + module + "." + procedure + " ".
QString locationText(const QString &projectTag, const QString &module, const QString &procedure);
/// The location text of a procedure of the main window.
QString formLocation(const QString &procedure);

/// The text of the "Application Error" box.
QString applicationErrorText(const QString &location, int step, const QString &description);

/// Shows the "Application Error" box and returns when the user has closed it.
void ShowApplicationError(Desktop &desktop, const QString &location, int step,
                          const QString &description);

/// The guard of a procedure with numbered steps: a step that fails is reported
/// with its number, and the procedure goes on with the next step.
class Guard final
{
public:
    using Reporter
        = std::function<void(const QString &location, int step, const QString &description)>;

    /// Reports through the "Application Error" box.
    Guard(Desktop &desktop, QString location);
    Guard(Reporter reporter, QString location);

    /// Runs one step; returns false when it failed (and was reported).
    template<typename Step> bool step(int number, Step &&run)
    {
        m_step = number;
        try {
            run();
            return true;
        } catch (const Failure &failure) {
            report(failure.description());
        } catch (const std::bad_alloc &) {
            report(QStringLiteral("Out of memory"));
        } catch (const std::exception &error) {
            report(QString::fromLocal8Bit(error.what()));
        }
        return false;
    }

    /// Reports a failure found outside the steps as the failure of step number.
    void fail(int number, const QString &description)
    {
        m_step = number;
        report(description);
    }

    int currentStep() const { return m_step; }
    const QString &location() const { return m_location; }

private:
    void report(const QString &description);

    Reporter m_reporter;
    QString m_location;
    int m_step = 0;
};
