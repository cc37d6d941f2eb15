// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <vector>

// Each goal compares a figure with a limit measured in the same run on the same data by the
// plainest code that does the same work.
struct RatioGoal
{
    enum class Clock { Wall, Cpu };
    std::string figure; // benchmark name of Quivel's way
    std::string limit;  // benchmark name of the plain way
    double goal;        // the ratio figure / limit must stay at or under this
    Clock judgedBy = Clock::Wall;
};

// Runs the registered benchmarks, then prints two lines per goal, wall and CPU time (CPU of
// the whole process for benchmarks that measure it, else of the running thread): both times,
// the ratio and, on the clock that judges the goal, whether it is met. Returns 0 when all
// ran.
int runBenchmarksWithRatios(int argc, char **argv, const std::vector<RatioGoal> &goals);

// The same for a program that has called benchmark::Initialize itself.
void runInitializedBenchmarksWithRatios(const std::vector<RatioGoal> &goals);

// One side of an interleaved pair: `run` is timed, `after` (freeing a result, say) is not.
struct PairSide
{
    std::function<void()> run;
    std::function<void()> after = [] {};
};

// Runs the program's side and the plain side in turn, one iteration each, `pairs` times, so a
// load that comes and goes weighs on both alike; times each iteration's wall and process CPU
// time and prints, per clock, each side's minimum and median and the minimum and median of the
// pairs' ratios, with the load average; the goal is judged on the median ratio of the clock
// given. One untimed iteration of each side first.
void runInterleavedPairs(const std::string &what, const PairSide &figure, const PairSide &limit,
                         int pairs, double goal,
                         RatioGoal::Clock judgedBy = RatioGoal::Clock::Wall);

// Resident memory: the peak since the last reset, and the reset itself (the kernel's peak is
// set back to the current size). Kibibytes.
long peakResidentKib();
long residentKib();
void resetPeakResident();

// Prints a figure that is not a time (memory, for instance) beside its limit.
void printRatio(const std::string &what, double figure, double limit, double goal,
                const std::string &unit);
