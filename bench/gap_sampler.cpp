#include "gap_sampler.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <execinfo.h>
#include <pthread.h>
#include <ctime>
#include <string>
#include <thread>

namespace {

constexpr int kMaxSamples = 64;
constexpr int kMaxFrames = 40;
constexpr qint64 kSampleEveryNs = 5'000'000;

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

/// The processor time a thread has used, by its clock.
qint64 cpuNs(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

/// "binary(_Zmangled+0x12) [0x...]" with the mangled name made readable, or as it is.
std::string readable(const char *symbol)
{
    const char *open = std::strchr(symbol, '(');
    const char *plus = open ? std::strchr(open, '+') : nullptr;
    if (!open || !plus || plus == open + 1)
        return symbol;
    const std::string mangled(open + 1, plus);
    int status = 0;
    char *name = abi::__cxa_demangle(mangled.c_str(), nullptr, nullptr, &status);
    if (status != 0 || !name)
        return symbol;
    std::string text = name;
    std::free(name);
    if (text.size() > 160)
        text = text.substr(0, 157) + "...";
    return text;
}

} // namespace

struct GapSampler::State
{
    qint64 thresholdNs = 0;
    std::FILE *out = nullptr;
    pthread_t target{};
    clockid_t cpuClock{}; // the target's processor time
    std::atomic<qint64> turnCpuStart{0};
    qint64 longestCpu = 0;
    std::thread watcher;
    std::atomic<bool> ending{false};
    std::atomic<qint64> turnStart{0};
    std::atomic<bool> inFlight{false};
    std::atomic<int> samples{0};
    void *frames[kMaxSamples][kMaxFrames]{};
    int depth[kMaxSamples]{};
    const char *phase = "";
    qint64 begun = 0;
};

namespace {

GapSampler::State *g_state = nullptr;

} // namespace

// Runs on the sampled thread, between two of its instructions: backtrace() is safe here
// once it has been called before (it loads its unwinder on the first call).
static void takeSample(int)
{
    GapSampler::State *state = g_state;
    if (!state)
        return;
    const int at = state->samples.load(std::memory_order_relaxed);
    if (at < kMaxSamples) {
        state->depth[at] = backtrace(state->frames[at], kMaxFrames);
        state->samples.store(at + 1, std::memory_order_release);
    }
    state->inFlight.store(false, std::memory_order_release);
}

GapSampler::GapSampler(qint64 thresholdMs, std::FILE *out) : m_state(new State)
{
    State &state = *m_state;
    state.thresholdNs = thresholdMs * 1'000'000;
    state.out = out;
    state.target = pthread_self();
    pthread_getcpuclockid(state.target, &state.cpuClock);
    state.turnCpuStart = cpuNs(state.cpuClock);
    state.begun = nowNs();
    state.turnStart = state.begun;
    void *warm[4];
    backtrace(warm, 4);
    g_state = m_state;
    struct sigaction action{};
    action.sa_handler = takeSample;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGRTMIN + 3, &action, nullptr);
    state.watcher = std::thread([&state] {
        qint64 lastSample = 0;
        while (!state.ending.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            // A gap counts by the processor time the thread spent in it: on a busy
            // machine its length in time tells how long it waited for a processor.
            const qint64 now = nowNs();
            const qint64 cpu = cpuNs(state.cpuClock) - state.turnCpuStart.load();
            if (cpu < state.thresholdNs || now - lastSample < kSampleEveryNs
                || state.inFlight.load())
                continue;
            lastSample = now;
            state.inFlight = true;
            pthread_kill(state.target, SIGRTMIN + 3);
        }
    });
}

GapSampler::~GapSampler()
{
    phase("");
    m_state->ending = true;
    m_state->watcher.join();
    while (m_state->inFlight.load())
        std::this_thread::yield();
    g_state = nullptr;
    signal(SIGRTMIN + 3, SIG_IGN);
    delete m_state;
}

void GapSampler::phase(const char *name)
{
    if (*m_state->phase)
        std::fprintf(m_state->out, "phase %s longest_cpu_gap_ms %lld\n", m_state->phase,
                     m_state->longestCpu / 1'000'000);
    m_state->phase = name;
    m_state->longestCpu = 0;
}

void GapSampler::turn()
{
    State &state = *m_state;
    const qint64 now = nowNs();
    const qint64 start = state.turnStart.exchange(now);
    const qint64 cpuNow = cpuNs(state.cpuClock);
    const qint64 cpu = cpuNow - state.turnCpuStart.exchange(cpuNow);
    if (cpu > state.longestCpu)
        state.longestCpu = cpu;
    // A sample may still be on its way: it belongs to the gap that just ended.
    while (state.inFlight.load(std::memory_order_acquire))
        std::this_thread::yield();
    const int taken = state.samples.load(std::memory_order_acquire);
    if (cpu >= state.thresholdNs) {
        std::fprintf(state.out, "gap_ms %lld cpu_ms %lld at_ms %lld phase %s samples %d\n",
                     (now - start) / 1'000'000, cpu / 1'000'000, (start - state.begun) / 1'000'000,
                     state.phase, taken);
        for (int s = 0; s < taken; ++s) {
            std::fprintf(state.out, "  sample %d\n", s);
            char **symbols = backtrace_symbols(state.frames[s], state.depth[s]);
            // The first two frames are the signal handler and the signal's return.
            for (int f = 2; f < state.depth[s]; ++f)
                std::fprintf(state.out, "    %s\n",
                             symbols ? readable(symbols[f]).c_str() : "?");
            std::free(symbols);
        }
        std::fflush(state.out);
        state.turnStart = nowNs(); // the writing is not the program's gap
        state.turnCpuStart = cpuNs(state.cpuClock);
    }
    state.samples.store(0, std::memory_order_release);
}
