#pragma once

#include <QElapsedTimer>

#include <functional>

/// Lets pending window events run from inside a long loop about every 20 ms,
/// not once per item: the window stays live and a million items stay fast.
class EventPump final
{
public:
    explicit EventPump(std::function<void()> process = {}, qint64 intervalMs = 20)
        : m_process(std::move(process)), m_intervalMs(intervalMs)
    {
        m_timer.start();
    }

    /// Cheap to call per item; runs the events when the interval has passed.
    void tick()
    {
        if (m_process && m_timer.elapsed() >= m_intervalMs) {
            m_process();
            m_timer.restart();
        }
    }

private:
    std::function<void()> m_process;
    qint64 m_intervalMs;
    QElapsedTimer m_timer;
};
