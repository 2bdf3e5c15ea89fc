// Drives the real window offscreen for the benchmarks: adds a folder's tree, presses
// "Start Searching", and optionally copies and saves the results, printing how long
// each took and the longest gap between two turns of the event loop. With --soak N it
// searches N times in a row, copying, saving and exporting a workbook between
// searches, and prints the resident memory after each search. With --stop-after MS it
// presses "Stop Searching" that long after the start and prints how long the run took
// to end after the press. With --sort it then clicks the File heading three times
// (ascending, descending, the order found) and types a filter, printing how long each
// took until the table showed it and the longest gap between event turns meanwhile.
// With --add-all the folder is added as a user adds it, by "Add All VCF File(s) In
// Folder" answered with "vcf" and the folder, and the add is timed on its own; with
// --no-search the driver ends after the adding. With --gap-report MS every gap between
// event turns longer than MS is written to the standard error with the stacks of the
// event loop's thread taken every 5 ms of it (see gap_sampler.h).
//
//   quillory-bench-window [--copy] [--save FILE] [--startup] [--soak N] [--stop-after MS]
//                         [--sort] [--add-all] [--no-search] [--gap-report MS] TEXT FOLDER

#include "gap_sampler.h"

#include "base/Desktop.h"
#include "base/SettingsStore.h"
#include "filelist/AddFolder.h"
#include "filelist/FileListModel.h"
#include "gui/Form1.h"
#include "results/ResultsModel.h"
#include "results/ResultsProxyModel.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <QFile>

#include <cstdio>
#include <memory>

namespace {

/// Answers every box with OK or Yes, an input box with the prepared answer or its
/// default, and every dialog with the prepared path.
class QuietDesktop final : public Desktop
{
public:
    QString savePath;
    QString folder;
    QString inputAnswer;
    MessageAnswer message(const QString &, const QString &, MessageButtons b, MessageIcon) override
    {
        return b == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Yes;
    }
    QString inputBox(const QString &, const QString &, const QString &d) override
    {
        return inputAnswer.isEmpty() ? d : inputAnswer;
    }
    OpenFilesResult openFileNames(const QString &, const QString &) override { return {}; }
    SaveFileResult saveFileName(const QString &, const QString &, const QString &) override
    {
        return {savePath, {}};
    }
    QString browseForFolder(const QString &, const QString &) override { return folder; }
    bool clearClipboard() override { return true; }
    bool setClipboardText(const QString &text) override
    {
        clipboardSize = text.size();
        return true;
    }
    bool startProgram(const QString &, const QStringList &) override { return true; }
    bool openUrl(const QUrl &) override { return true; }
    QString findProgram(const QString &) override { return spreadsheet; }
    QString defaultApplicationEntry(const QString &) override { return {}; }
    int randomBelow(int bound) override { return bound - 1; }
    qsizetype clipboardSize = 0;
    QString spreadsheet; // the program a workbook export "starts"; none when empty
};

/// Measures the longest time between two turns of the event loop.
class GapMeter final : public QObject
{
public:
    explicit GapMeter(QObject *parent, qint64 reportMs = -1) : QObject(parent)
    {
        if (reportMs >= 0)
            m_sampler = std::make_unique<GapSampler>(reportMs, stderr);
        auto *dispatcher = QAbstractEventDispatcher::instance();
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &GapMeter::turn);
        connect(dispatcher, &QAbstractEventDispatcher::awake, this, &GapMeter::turn);
        m_clock.start();
    }
    void reset()
    {
        m_longest = 0;
        m_clock.restart();
        if (m_sampler)
            m_sampler->turn(); // what came before is the phase before's
    }
    void turn()
    {
        m_longest = qMax(m_longest, m_clock.restart());
        if (m_sampler)
            m_sampler->turn();
    }
    qint64 longest() const { return m_longest; }
    void phase(const char *name)
    {
        if (m_sampler)
            m_sampler->phase(name);
    }

private:
    std::unique_ptr<GapSampler> m_sampler;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

/// The resident set of this process, in KiB.
long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer started;
    started.start();
    QApplication app(argc, argv);
    QStringList args = QApplication::arguments().mid(1);
    const bool copy = args.removeAll(QStringLiteral("--copy")) > 0;
    const bool startupOnly = args.removeAll(QStringLiteral("--startup")) > 0;
    const bool sort = args.removeAll(QStringLiteral("--sort")) > 0;
    const bool addAll = args.removeAll(QStringLiteral("--add-all")) > 0;
    const bool noSearch = args.removeAll(QStringLiteral("--no-search")) > 0;
    QString save;
    if (const qsizetype at = args.indexOf(QStringLiteral("--save"));
        at >= 0 && at + 1 < args.size()) {
        save = args.at(at + 1);
        args.remove(at, 2);
    }
    int soakRounds = 0;
    if (const qsizetype at = args.indexOf(QStringLiteral("--soak"));
        at >= 0 && at + 1 < args.size()) {
        soakRounds = args.at(at + 1).toInt();
        args.remove(at, 2);
    }
    qint64 gapReport = -1;
    if (const qsizetype at = args.indexOf(QStringLiteral("--gap-report"));
        at >= 0 && at + 1 < args.size()) {
        gapReport = args.at(at + 1).toLongLong();
        args.remove(at, 2);
    }
    int stopAfter = -1;
    if (const qsizetype at = args.indexOf(QStringLiteral("--stop-after"));
        at >= 0 && at + 1 < args.size()) {
        stopAfter = args.at(at + 1).toInt();
        args.remove(at, 2);
    }
    QTemporaryDir config;
    QuietDesktop desktop;
    desktop.savePath = save;
    SettingsStore settings(config.filePath(QStringLiteral("settings.ini")));
    Form1 window(desktop, settings, QApplication::applicationDirPath());
    window.show();
    if (startupOnly) {
        // The time until the window is shown and the event loop has run once.
        QTimer::singleShot(0, &app, [&] {
            std::printf("startup_ms %lld\n", started.elapsed());
            app.quit();
        });
        return app.exec();
    }
    if (args.size() != 2) {
        std::fputs("usage: quillory-bench-window [--copy] [--save FILE] [--startup] [--soak N] "
                   "[--stop-after MS] [--sort] [--add-all] [--no-search] [--gap-report MS] "
                   "TEXT FOLDER\n",
                   stderr);
        return 2;
    }
    GapMeter gaps(&app, gapReport);
    QElapsedTimer clock;
    // With --add-all the list is filled by pressing "Add All" once events run, timed from
    // the press to the end of its handler; otherwise at once, before the window runs.
    const auto addAllFiles = [&] {
        desktop.inputAnswer = QStringLiteral("vcf");
        desktop.folder = args.at(1);
        // The window is painted before the press, as it is when a person presses.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        gaps.reset();
        gaps.phase("add");
        clock.start();
        window.findChild<QPushButton *>(QStringLiteral("PushButton6"))->click();
        gaps.turn(); // the stretch from the handler's last turn to its end counts too
        std::printf("add_ms %lld files %lld add_gap_ms %lld\n", clock.elapsed(),
                    qlonglong(window.fileList().count()), gaps.longest());
        std::fflush(stdout);
        desktop.inputAnswer.clear();
    };
    if (!addAll)
        window.fileList().append(collectFolderFiles(args.at(1), QStringLiteral("vcf")));
    window.findChild<QLineEdit *>(QStringLiteral("Text1"))->setText(args.at(0));
    if (soakRounds > 0) {
        desktop.spreadsheet = QStringLiteral("/bin/true"); // never started: startProgram is a stub
        QTimer::singleShot(0, &app, [&] {
            if (addAll)
                addAllFiles();
            auto *start = window.findChild<QPushButton *>(QStringLiteral("PushButton7"));
            for (int round = 1; round <= soakRounds; ++round) {
                start->click();
                for (qsizetype r = 0; r < window.results().count(); r += 2)
                    window.results().setChecked(r, true);
                window.findChild<QPushButton *>(QStringLiteral("PushButton8"))->click();
                if (!save.isEmpty())
                    window.findChild<QPushButton *>(QStringLiteral("PushButton4"))->click();
                window.findChild<QPushButton *>(QStringLiteral("PushButton13"))->click();
                std::printf("round %d rows %lld rss_kib %ld\n", round,
                            qlonglong(window.results().count()), residentKiB());
                std::fflush(stdout);
            }
            app.quit();
        });
        return app.exec();
    }
    QElapsedTimer sinceStop;
    auto *button = window.findChild<QPushButton *>(QStringLiteral("PushButton7"));
    QTimer::singleShot(0, &app, [&] {
        if (addAll)
            addAllFiles();
        if (noSearch) {
            app.quit();
            return;
        }
        // Set after the add, so that the stop falls in the search.
        if (stopAfter >= 0) {
            QTimer::singleShot(stopAfter, &app, [&] {
                sinceStop.start();
                button->click();
            });
        }
        gaps.reset();
        gaps.phase("search");
        clock.start();
        button->click();
        gaps.turn();
        std::printf("search_ms %lld rows %lld files %lld longest_gap_ms %lld\n", clock.elapsed(),
                    qlonglong(window.results().count()), qlonglong(window.fileList().count()),
                    gaps.longest());
        if (sinceStop.isValid())
            std::printf("stop_to_end_ms %lld\n", sinceStop.elapsed());
        if (copy) {
            gaps.phase("ticking"); // the driver's own work
            for (qsizetype r = 0; r < window.results().count(); ++r)
                window.results().setChecked(r, true);
            gaps.reset();
            gaps.phase("copy");
            clock.restart();
            window.findChild<QPushButton *>(QStringLiteral("PushButton8"))->click();
            gaps.turn();
            std::printf("copy_ms %lld longest_gap_ms %lld clipboard_chars %lld\n", clock.elapsed(),
                        gaps.longest(), qlonglong(desktop.clipboardSize));
        }
        if (!save.isEmpty()) {
            gaps.reset();
            gaps.phase("save");
            clock.restart();
            window.findChild<QPushButton *>(QStringLiteral("PushButton4"))->click();
            gaps.turn();
            std::printf("save_ms %lld longest_gap_ms %lld\n", clock.elapsed(), gaps.longest());
        }
        if (sort) {
            ResultsProxyModel &view = window.resultsProxy();
            // Waits with events running until the table shows what was asked for.
            const auto arranged = [&](const char *what) {
                while (view.isArranging())
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
                std::printf("%s_ms %lld longest_gap_ms %lld\n", what, clock.elapsed(),
                            gaps.longest());
            };
            auto *header
                = window.findChild<QTableView *>(QStringLiteral("ListView2"))->horizontalHeader();
            for (const char *what : {"sort_ascending", "sort_descending", "sort_found"}) {
                gaps.reset();
                clock.restart();
                emit header->sectionClicked(0);
                arranged(what);
            }
            gaps.reset();
            clock.restart();
            window.findChild<QLineEdit *>(QStringLiteral("FilterBox"))
                ->setText(QStringLiteral("9"));
            // The filter waits a moment after the last key; that wait is part of the time.
            while (!view.isArranging() && view.shownCount() == window.results().count()
                   && clock.elapsed() < 1000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            arranged("filter");
            std::printf("shown %lld\n", qlonglong(view.shownCount()));
        }
        std::fflush(stdout);
        app.quit();
    });
    return app.exec();
}
