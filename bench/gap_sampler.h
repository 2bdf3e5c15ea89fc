#pragma once

#include <QtGlobal>

#include <cstdio>

// Tells what the event loop's thread does during a long gap between two turns: a
// watcher thread interrupts it every few milliseconds of a gap in which it has used
// more processor time than a threshold, and takes its stack; at the next turn the gap's
// length, its processor time, its start and the stacks taken are written out, one frame
// a line ("binary(+offset)", for addr2line -f -C -e binary offset; or a symbol where the
// binary exports one). Gaps are judged by processor time so that a busy machine, where
// the thread waits for a processor, does not hide the program's own long turns; the
// longest of each phase is written when the phase ends.
class GapSampler final
{
public:
    /// Samples gaps longer than thresholdMs of the calling thread, which must be the one
    /// that calls turn(). Writes to out.
    GapSampler(qint64 thresholdMs, std::FILE *out);
    ~GapSampler();
    GapSampler(const GapSampler &) = delete;
    GapSampler &operator=(const GapSampler &) = delete;

    /// The event loop turned: a gap past the threshold is written out.
    void turn();
    /// A name for what follows ("add", "search"), written with each gap.
    void phase(const char *name);

    struct State; // shared with the signal handler

private:
    State *m_state;
};
