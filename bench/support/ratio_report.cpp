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
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median")
                times[run.run_name.function_name] =
                    run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) *
                    1e3;
        }
    }
    std::map<std::string, double> times; // milliseconds
};

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
        printRatio(g.figure, figure->second, limit->second, g.goal, "ms");
    }
    std::fflush(stdout);
}
