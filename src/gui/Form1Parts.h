#pragma once

// What the window's files share: the captions that tell the search's state, how stored
// sizes are read, and a call on a widget's resizing.

#include <QEvent>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

namespace {

const QString kStartSearching = QStringLiteral("Start Searching");
const QString kStopSearching = QStringLiteral("Stop Searching");
const QString kProgressIdle = QStringLiteral("Progress Bar");

/// Whole numbers from a stored "a,b,c" list, each from 1 to 99999; empty when the text
/// is not such a list of count numbers.
inline QList<int> storedSizes(const QString &text, qsizetype count)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != count)
        return {};
    QList<int> sizes;
    for (const QString &part : parts) {
        bool ok = false;
        const int size = part.toInt(&ok);
        if (!ok || size <= 0 || size >= 100000)
            return {};
        sizes.append(size);
    }
    return sizes;
}

/// Calls a function after each resizing of a widget, for as long as the widget lives.
class ResizeWatcher final : public QObject
{
public:
    ResizeWatcher(QObject *watched, std::function<void()> call)
        : QObject(watched), m_call(std::move(call))
    {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            m_call();
        return false;
    }

private:
    std::function<void()> m_call;
};

inline void watchResize(QObject *watched, std::function<void()> call)
{
    new ResizeWatcher(watched, std::move(call));
}

} // namespace
