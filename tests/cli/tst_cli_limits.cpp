// quillory-search at its limits: hostile card files stay within time and memory, and an
// output that cannot be written is an error, never a success over a cut output.

#include "HostileShapes.h"
#include "TestFiles.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Each run is cut off after this long: linear work on these files takes a fraction of a
// second, so only a reader whose work grows faster than its input comes near it.
constexpr int kHangSeconds = 120;

enum class Sink { Null, Full, ClosedPipe, SizeLimit };

struct Exit
{
    int status = -1; // -1: did not end in time; -2: ended by a signal
    long peakKiB = 0;
    QByteArray err;
};

/// Runs the tool with its output going to sink and its errors to a file, and reports its
/// exit status and peak memory. Started by hand rather than by QProcess: the peak
/// memory comes with wait4, and the output's kind and file-size limit are set between
/// fork and exec.
Exit runTool(const QStringList &arguments, Sink sink, const QString &errFile)
{
    std::vector<QByteArray> bytes{QByteArray(QUILLORY_SEARCH_BIN)};
    for (const QString &argument : arguments)
        bytes.push_back(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &each : bytes)
        argv.push_back(each.data());
    argv.push_back(nullptr);
    const QByteArray errPath = QFile::encodeName(errFile);
    const char *outPath = sink == Sink::Full ? "/dev/full" : "/dev/null";
    const QByteArray limitedPath = QFile::encodeName(errFile + u".out"_s);

    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only calls that are safe after fork, up to exec.
        int out = -1;
        if (sink == Sink::ClosedPipe) {
            int ends[2];
            if (::pipe(ends) != 0)
                ::_exit(120);
            ::close(ends[0]);
            out = ends[1];
        } else if (sink == Sink::SizeLimit) {
            out = ::open(limitedPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const rlimit limit{4096, 4096};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        } else {
            out = ::open(outPath, O_WRONLY);
        }
        const int err = ::open(errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0)
            ::_exit(121);
        ::execv(argv[0], argv.data());
        ::_exit(122);
    }
    Exit exit;
    if (pid < 0)
        return exit;
    int status = 0;
    rusage usage{};
    for (int waited = 0;; waited += 10) {
        const pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
        if (done == pid)
            break;
        if (waited >= kHangSeconds * 1000) {
            ::kill(pid, SIGKILL);
            ::wait4(pid, &status, 0, &usage);
            exit.err = readTestFile(errFile);
            return exit;
        }
        ::usleep(10000);
    }
    exit.status = WIFEXITED(status) ? WEXITSTATUS(status) : -2;
    exit.peakKiB = usage.ru_maxrss;
    exit.err = readTestFile(errFile);
    return exit;
}

bool underAddressSanitizer()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return false;
}

} // namespace

class TestCliLimits final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void hostileFilesStayBounded_data();
    void hostileFilesStayBounded();
    void failedWritesAreErrors_data();
    void failedWritesAreErrors();

private:
    QTemporaryDir m_dir;
};

void TestCliLimits::hostileFilesStayBounded_data()
{
    QTest::addColumn<QByteArray>("shape");
    QTest::addColumn<QStringList>("mode");
    QTest::addColumn<int>("megabytes");

    const QStringList dump{u"--dump"_s};
    const QStringList search{u"-e"_s, u"e"_s};
    // Memory: cards that never end or nest without end, a card of a million
    // properties, a million rows in one card.
    QTest::newRow("cards that never end, --dump") << QByteArray("begin-only") << dump << 4;
    QTest::newRow("cards that never end, search") << QByteArray("begin-only") << search << 8;
    QTest::newRow("cards nested without end, --dump") << QByteArray("nested") << dump << 8;
    QTest::newRow("cards nested without end, search") << QByteArray("nested") << search << 8;
    QTest::newRow("a million phones, --dump") << QByteArray("many-phones") << dump << 16;
    QTest::newRow("a million phones nested, --dump") << QByteArray("nested-phones") << dump << 16;
    QTest::newRow("every value a row") << QByteArray("many-emails") << search << 8;
    QTest::newRow("END lines the skipper passes, --dump") << QByteArray("end-blank") << dump << 8;
    // Time: shapes that once made the reader go back over bytes it had passed. At this
    // size such a reader takes many minutes; a linear one, a second at most.
    QTest::newRow("folds ending in = without a colon")
        << QByteArray("fold-equals-no-colon") << search << 32;
    QTest::newRow("folds ending in = after a quote, --dump")
        << QByteArray("fold-equals-quote") << dump << 32;
    QTest::newRow("END with a blank") << QByteArray("end-blank") << search << 32;
    QTest::newRow("END with a parameter") << QByteArray("end-param") << search << 32;
    QTest::newRow("folded END") << QByteArray("end-folded") << search << 32;
    QTest::newRow("a run of lone CRs, --dump") << QByteArray("cr-run") << dump << 32;
    // The reading report looks at every "=" of a file the search rules out.
    const QStringList report{u"--report"_s, m_dir.filePath(u"reading.json"_s), u"-e"_s, u"zq_xj"_s};
    QTest::newRow("parameters without a colon, --report")
        << QByteArray("params-no-colon") << report << 32;
    QTest::newRow("a chain of soft line breaks, --report")
        << QByteArray("equals-chain") << report << 32;
    // The match options: marks sorted by their class, a value folded whole, a whole
    // value handed to libphonenumber.
    const QStringList accents{u"--ignore-accents"_s, u"-e"_s, u"e"_s};
    const QStringList phone{u"--phone"_s, u"--region"_s, u"DE"_s, u"-e"_s,
                            QString::fromLatin1(kHostilePhoneText)};
    QTest::newRow("a flood of marks on one letter") << QByteArray("mark-flood") << accents << 32;
    QTest::newRow("letters that decompose into three")
        << QByteArray("three-part-letters") << accents << 32;
    QTest::newRow("one long telephone value") << QByteArray("phone-long-value") << phone << 16;
    QTest::newRow("telephone values of a thousand plus signs")
        << QByteArray("phone-plus-signs") << phone << 16;
    // The card export: cards nested without end once took minutes at this size; a card
    // taken out costs a few dozen bytes while the export runs.
    const QStringList exported{u"-e"_s, u"e"_s, u"--export-cards"_s, m_dir.filePath(u"out.vcf"_s)};
    // Searched in parts: each nested card's row once went over the rest of the file.
    QTest::newRow("cards nested without end, searched in parts")
        << QByteArray("nested-export") << search << 32;
    QTest::newRow("cards nested without end, exported")
        << QByteArray("nested-export") << exported << 8;
    QTest::newRow("many small cards, exported")
        << QByteArray("small-cards-export") << exported << 32;
    QTest::newRow("legacy cards, exported") << QByteArray("legacy-cards-export") << exported << 16;
}

void TestCliLimits::hostileFilesStayBounded()
{
    QFETCH(QByteArray, shape);
    QFETCH(QStringList, mode);
    QFETCH(int, megabytes);

    // Under AddressSanitizer the reader runs many times slower and its memory is not its
    // own: the files are smaller there, for the sanitizer's checks alone.
    const qint64 bytes = (qint64(megabytes) << 20) / (underAddressSanitizer() ? 8 : 1);
    const HostileShape *found = findHostileShape(shape);
    QVERIFY(found);
    const QString path
        = writeTestFile(m_dir, QString::fromLatin1(shape) + u".vcf"_s, hostileShape(*found, bytes));
    const Exit exit = runTool(mode + QStringList{path}, Sink::Null, m_dir.filePath(u"err"_s));
    QFile::remove(path);
    QVERIFY2(exit.status != -1, "did not finish");
    QVERIFY2(exit.status == 0 || exit.status == 1, exit.err.constData());
    if (underAddressSanitizer())
        return; // its shadow memory and quarantine are not the tool's
    // Within 4 x the file's size + 64 MiB, the promise for any input.
    const long budgetKiB = long(4 * bytes / 1024 + 64 * 1024);
    QVERIFY2(exit.peakKiB <= budgetKiB,
             qPrintable(u"peak %1 KiB, budget %2 KiB"_s.arg(exit.peakKiB).arg(budgetKiB)));
}

void TestCliLimits::failedWritesAreErrors_data()
{
    QTest::addColumn<QStringList>("mode");
    QTest::addColumn<int>("sink");
    QTest::addColumn<int>("error");

    for (const auto &[label, mode] : {std::pair{"search", QStringList{u"-e"_s, u"e"_s}},
                                      std::pair{"--dump", QStringList{u"--dump"_s}}}) {
        QTest::addRow("%s to a full disk", label) << mode << int(Sink::Full) << ENOSPC;
        QTest::addRow("%s to a closed pipe", label) << mode << int(Sink::ClosedPipe) << EPIPE;
        QTest::addRow("%s over a file-size limit", label) << mode << int(Sink::SizeLimit) << EFBIG;
    }
    // The report of every file is written in pieces after the run: a piece refused fails it.
    QVERIFY(QDir(m_dir.path()).mkpath(u"many"_s));
    for (int i = 0; i < 100; ++i)
        writeTestFile(m_dir, u"many/%1.vcf"_s.arg(i), "BEGIN:VCARD\r\nFN:A\r\nEND:VCARD\r\n");
    QTest::newRow("--report --hash over a file-size limit")
        << QStringList{u"--hash"_s, u"--report"_s, m_dir.filePath(u"report.json"_s), u"-e"_s,
                       u"zzqq"_s, m_dir.filePath(u"many"_s)}
        << int(Sink::SizeLimit) << EFBIG;
}

void TestCliLimits::failedWritesAreErrors()
{
    QFETCH(QStringList, mode);
    QFETCH(int, sink);
    QFETCH(int, error);

    // More output than any buffer holds, so the failure shows during the run and not only
    // at its end.
    QByteArray cards;
    for (int i = 0; i < 20000; ++i)
        cards += "BEGIN:VCARD\r\nFN:Person " + QByteArray::number(i) + "\r\nEND:VCARD\r\n";
    const QString path = writeTestFile(m_dir, u"many.vcf"_s, cards);
    const Exit exit = runTool(mode + QStringList{path}, Sink(sink), m_dir.filePath(u"err"_s));
    QCOMPARE(exit.status, 2);
    QVERIFY2(exit.err.contains(std::strerror(error)), exit.err.constData());
    // A report cut short is not left behind.
    QVERIFY(!QFile::exists(m_dir.filePath(u"report.json"_s)));
}

QTEST_GUILESS_MAIN(TestCliLimits)
#include "tst_cli_limits.moc"
