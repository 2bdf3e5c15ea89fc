// Sorts and filters a million result rows as the window would, timing each step and the
// longest gap between the ticks of a 5 ms timer on the main thread meanwhile.
//
//   quillory-bench-arrange [--rows N] [--fill-only]
//
// --fill-only stops after filling the rows, for the peak memory without an arrangement.

#include "results/ResultsModel.h"
#include "results/ResultsProxyModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

/// The longest time between two ticks of a 5 ms timer.
class TickGap final : public QObject
{
public:
    explicit TickGap(QObject *parent) : QObject(parent)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, &TickGap::tick);
        m_timer.start(5);
        m_clock.start();
    }
    void reset()
    {
        m_longest = 0;
        m_clock.restart();
    }
    qint64 longest() const { return qMax(m_longest, m_clock.elapsed()); }

private:
    void tick() { m_longest = qMax(m_longest, m_clock.restart()); }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

/// Rows as a search over many numbered files finds them: a few rows a card, a few cards a
/// file, in batches of 5,000.
void fill(ResultsModel &results, qsizetype count)
{
    static const QString tags[] = {u"FirstName"_s, u"LastName"_s, u"Emails1"_s,
                                   u"Phones1"_s,   u"Notes"_s,    u"Organization"_s};
    quint32 state = 12345;
    const auto next = [&state](quint32 bound) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % bound;
    };
    QList<ResultRow> batch;
    qint64 card = 0;
    for (qsizetype r = 0; r < count;) {
        const QString file = u"/home/user/cards/dir%1/contact%2.vcf"_s.arg(next(100)).arg(r / 6);
        const QString contact = u"Person %1 %2"_s.arg(next(5000)).arg(next(100));
        ++card;
        for (int k = 0; k < 6 && r < count; ++k, ++r) {
            batch.append({file, tags[next(6)], u"value e%1 %2"_s.arg(next(100000)).arg(r), contact,
                          u"e"_s, CardPlace{card, card * 10, 0, 100}});
        }
        if (batch.size() >= 5000) {
            results.appendRows(std::exchange(batch, {}));
        }
    }
    results.appendRows(batch);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    const bool fillOnly = args.removeAll(u"--fill-only"_s) > 0;
    qsizetype rows = 1000000;
    if (const qsizetype at = args.indexOf(u"--rows"_s); at >= 0 && at + 1 < args.size())
        rows = args.at(at + 1).toLongLong();

    ResultsModel results;
    ResultsProxyModel view(results);
    QElapsedTimer clock;
    clock.start();
    fill(results, rows);
    std::printf("fill_ms %lld rows %lld files %lld cards %lld\n", clock.elapsed(),
                qlonglong(results.count()), qlonglong(results.fileCount()),
                qlonglong(results.cardCount()));
    if (fillOnly)
        return 0;

    TickGap gaps(&app);
    struct Step
    {
        const char *name;
        std::function<void()> run;
    };
    const Step steps[] = {
        {"sort File", [&] { view.setSort(0, Qt::AscendingOrder); }},
        {"sort Tag", [&] { view.setSort(1, Qt::AscendingOrder); }},
        {"sort Value", [&] { view.setSort(2, Qt::AscendingOrder); }},
        {"sort Contact", [&] { view.setSort(3, Qt::AscendingOrder); }},
        {"reverse Contact", [&] { view.setSort(3, Qt::DescendingOrder); }},
        {"order found", [&] { view.setSort(-1, Qt::AscendingOrder); }},
        {"filter \"e12\"", [&] { view.setFilter(u"e12"_s, false); }},
        {"filter \"PERSON 12\" ignoring case", [&] { view.setFilter(u"PERSON 12"_s, true); }},
        {"sort File, filtered", [&] { view.setSort(0, Qt::AscendingOrder); }},
        {"no filter, sorted", [&] { view.setFilter(QString(), false); }},
    };
    QTimer::singleShot(0, &app, [&] {
        for (const Step &step : steps) {
            // Let the timer settle, then time the step until the view shows it.
            QEventLoop settle;
            QTimer::singleShot(20, &settle, &QEventLoop::quit);
            settle.exec();
            gaps.reset();
            clock.restart();
            QEventLoop loop;
            QObject::connect(&view, &ResultsProxyModel::arranged, &loop, &QEventLoop::quit);
            step.run();
            if (view.isArranging())
                loop.exec();
            std::printf("%-36s %6lld ms  shown %8lld  longest_gap_ms %lld\n", step.name,
                        clock.elapsed(), qlonglong(view.shownCount()), gaps.longest());
            std::fflush(stdout);
        }
        app.quit();
    });
    return app.exec();
}
