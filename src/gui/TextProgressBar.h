#pragma once

#include <QProgressBar>

/// A progress bar that shows its text exactly as set: QProgressBar would take
/// "%p", "%v" and "%m" in a file name for its placeholders.
class TextProgressBar final : public QProgressBar
{
    Q_OBJECT

public:
    using QProgressBar::QProgressBar;

    QString text() const override { return m_text; }
    void setText(const QString &text)
    {
        m_text = text;
        update();
    }

private:
    QString m_text;
};
