// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

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

// Prints a figure that is not a time (memory, for instance) beside its limit.
void printRatio(const std::string &what, double figure, double limit, double goal,
                const std::string &unit);
