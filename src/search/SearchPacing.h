#pragma once

#include <QtGlobal>

#include <chrono>
#include <functional>

/// Milliseconds on a clock that only goes forward; tests give their own.
using PaceClock = std::function<qint64()>;

/// The steady clock of the system, in milliseconds.
qint64 steadyMilliseconds();

/// Tells when something done from time to time is due again: at once the first time,
/// then once its interval has passed since it was last done.
class Pace final
{
public:
    explicit Pace(std::chrono::milliseconds interval, PaceClock clock = steadyMilliseconds)
        : m_interval(interval.count()), m_clock(std::move(clock))
    {}

    bool due() const { return !m_done || m_clock() - m_last >= m_interval; }
    /// Counts from now.
    void done()
    {
        m_last = m_clock();
        m_done = true;
    }

private:
    qint64 m_interval;
    PaceClock m_clock;
    qint64 m_last = 0;
    bool m_done = false;
};

/// How often a search that a window shows lets the window's events run and repaints.
struct SearchPacing
{
    /// Events run for the file in hand when this long has passed since they last ran: a
    /// turn costs a few microseconds, as much as searching a small file, and a stop
    /// press still ends the run at the next file.
    static constexpr std::chrono::milliseconds kEvents{5};
    /// The bar is repainted at most this often: a repaint costs a fraction of a
    /// millisecond, and the files are searched on the same processors.
    static constexpr std::chrono::milliseconds kRepaint{50};
    /// The rows found are put in the table at most this often: the table and its header
    /// take every row found since, the longest work between two event turns when the
    /// rows come fast (at half a million rows a second, 10,000 rows in 20 ms).
    static constexpr std::chrono::milliseconds kRows{20};
    /// A run that stays live waits at most this long for a file's rows before it lets
    /// the events run again.
    static constexpr std::chrono::milliseconds kLiveWait{20};

    explicit SearchPacing(const PaceClock &clock = steadyMilliseconds)
        : events(kEvents, clock), progress(kRepaint, clock), rows(kRows, clock)
    {}

    Pace events;
    Pace progress;
    Pace rows;
};
