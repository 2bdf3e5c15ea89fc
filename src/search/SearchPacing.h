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

    bool due() const { return dueAt(m_clock()); }
    /// As due(), at now as read from its clock: a caller that asks several paces at once
    /// reads the clock once (a read costs tens of nanoseconds, a million files' worth).
    bool dueAt(qint64 now) const { return !m_done || now - m_last >= m_interval; }
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
    /// The bar and the table are repainted at most this often: a repaint of the table
    /// costs about 2 ms, of the bar a fraction of that, and the files are searched on
    /// the same processors.
    static constexpr std::chrono::milliseconds kRepaint{50};
    /// When rows come fast, those found are put in the table sooner, once this many wait
    /// and this long has passed: the table and its header take them all in one turn, the
    /// longest work between two event turns (at half a million rows a second, 25,000 in
    /// 50 ms).
    static constexpr qsizetype kManyRows = 8192;
    static constexpr std::chrono::milliseconds kManyRowsWait{20};
    /// A run that stays live waits at most this long for a file's rows before it lets
    /// the events run again.
    static constexpr std::chrono::milliseconds kLiveWait{20};

    explicit SearchPacing(const PaceClock &clock = steadyMilliseconds)
        : events(kEvents, clock), progress(kRepaint, clock), rows(kRepaint, clock),
          manyRows(kManyRowsWait, clock), m_clock(clock)
    {}

    /// The time on the paces' clock, for their dueAt.
    qint64 now() const { return m_clock(); }

    Pace events;
    Pace progress;
    Pace rows;
    Pace manyRows; ///< the wait of kManyRows; done when the rows are
    /// Whether count rows waiting are due to be put in the table.
    bool rowsDue(qsizetype count) const { return rowsDueAt(count, now()); }
    bool rowsDueAt(qsizetype count, qint64 now) const
    {
        return rows.dueAt(now) || (count >= kManyRows && manyRows.dueAt(now));
    }
    void rowsDone()
    {
        rows.done();
        manyRows.done();
    }

private:
    PaceClock m_clock;
};
