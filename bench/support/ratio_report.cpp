// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/support/ratio_report.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>

namespace {

class CollectingReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median") {
                const double toMs = 1e3 / benchmark::GetTimeUnitMultiplier(run.time_unit);
                times[run.run_name.function_name] = {run.GetAdjustedRealTime() * toMs,
                                                     run.GetAdjustedCPUTime() * toMs};
            }
        }
    }
    struct Times
    {
        double wall; // milliseconds
        double cpu;
    };
    std::map<std::string, Times> times;
};

void printTimeRatio(const std::string &what, const char *clock, double figure, double limit,
                    double goal, bool judged)
{
    const double ratio = limit > 0 ? figure / limit : 0;
    if (judged) {
        std::printf("RATIO %-44s %-4s %10.3f ms vs limit %10.3f ms = %6.2fx (goal <= %.2fx) %s\n",
                    what.c_str(), clock, figure, limit, ratio, goal,
                    ratio <= goal ? "MET" : "NOT MET");
    } else {
        std::printf("RATIO %-44s %-4s %10.3f ms vs limit %10.3f ms = %6.2fx\n", what.c_str(), clock,
                    figure, limit, ratio);
    }
}

} // namespace

void printRatio(const std::string &what, double figure, double limit, double goal,
                const std::string &unit)
{
    const double ratio = limit > 0 ? figure / limit : 0;
    std::printf("RATIO %-44s %12.3f %s vs limit %12.3f %s = %6.2fx (goal <= %.2fx) %s\n",
                what.c_str(), figure, unit.c_str(), limit, unit.c_str(), ratio, goal,
                ratio <= goal ? "MET" : "NOT MET");
}

int runBenchmarksWithRatios(int argc, char **argv, const std::vector<RatioGoal> &goals)
{
    benchmark::Initialize(&argc, argv);
    runInitializedBenchmarksWithRatios(goals);
    benchmark::Shutdown();
    return 0;
}

void runInitializedBenchmarksWithRatios(const std::vector<RatioGoal> &goals)
{
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const RatioGoal &g : goals) {
        const auto figure = reporter.times.find(g.figure);
        const auto limit = reporter.times.find(g.limit);
        if (figure == reporter.times.end() || limit == reporter.times.end())
            continue;
        printTimeRatio(g.figure, "wall", figure->second.wall, limit->second.wall, g.goal,
                       g.judgedBy == RatioGoal::Clock::Wall);
        printTimeRatio(g.figure, "cpu", figure->second.cpu, limit->second.cpu, g.goal,
                       g.judgedBy == RatioGoal::Clock::Cpu);
    }
    std::fflush(stdout);
}
