// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <vector>

// Each goal compares a figure with a limit measured in the same run on the same data by the
// plainest code that does the same work, the two run in turn so that a load that comes and goes
// weighs on both alike.

// What a goal is judged on: wall time, the process's CPU time, or the peak resident memory a
// side adds to what was resident before it ran.
enum class Judged { Wall, Cpu, Memory };

// One side of a comparison: `before` and `after` (placing a fresh copy, freeing a result) are
// not timed, `run` is.
struct PairSide
{
    std::function<void()> run;
    std::function<void()> after = [] {};
    std::function<void()> before = [] {};
};

// A ratio printed from an interleaved run: side `figure` over side `limit` (indices into the
// sides), judged on the median of the rounds' ratios; a goal of 0 prints the ratio alone.
struct SideRatio
{
    std::string what;
    size_t figure = 0;
    size_t limit = 1;
    double goal = 0;
    Judged judgedBy = Judged::Wall;
};

struct InterleaveOptions
{
    // One untimed iteration of every side first, so that both meet warm caches.
    bool warmUp = true;
    // Also each side's peak resident memory over what was resident before it (always when a
    // ratio is judged on it): the heap is trimmed and the kernel's peak reset before each run,
    // outside the timing.
    bool peakMemory = false;
};

// Runs the sides in turn, one iteration each, `rounds` times, the first side moving on by one
// each round (with two sides, each goes first in every other round); times each iteration's
// wall and process CPU time and prints, for each ratio and clock, each side's minimum and
// median and the minimum and median of the rounds' ratios, with the load average.
void runInterleaved(const std::vector<PairSide> &sides, const std::vector<SideRatio> &ratios,
                    int rounds, const InterleaveOptions &options = {});

// The usual case: the program's side against the plain side, in pairs.
void runInterleavedPairs(const std::string &what, const PairSide &figure, const PairSide &limit,
                         int pairs, double goal, Judged judgedBy = Judged::Wall);

// Resident memory: the peak since the last reset, and the reset itself (the kernel's peak is
// set back to the current size). Kibibytes.
long peakResidentKib();
long residentKib();
void resetPeakResident();

// Prints a figure that is not a ratio of two interleaved sides (an absolute goal, a
// measurement made once) beside its limit.
void printRatio(const std::string &what, double figure, double limit, double goal,
                const std::string &unit);
