// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/support/ratio_report.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <string>
#include <vector>

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

double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double wallMs()
{
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double minimum(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

double loadAverage()
{
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

long statusKib(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ':';
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0)
            return std::atol(line.c_str() + prefix.size());
    }
    return -1;
}

} // namespace

long peakResidentKib()
{
    return statusKib("VmHWM");
}

long residentKib()
{
    return statusKib("VmRSS");
}

void resetPeakResident()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

void runInterleavedPairs(const std::string &what, const PairSide &figure, const PairSide &limit,
                         int pairs, double goal, RatioGoal::Clock judgedBy)
{
    const double loadBefore = loadAverage();
    for (const PairSide *side : {&figure, &limit}) {
        side->run();
        side->after();
    }
    // [side][clock]: wall, then CPU.
    std::vector<double> times[2][2];
    for (int pair = 0; pair < pairs; ++pair) {
        int index = 0;
        for (const PairSide *side : {&figure, &limit}) {
            const double wall = wallMs();
            const double cpu = processCpuMs();
            side->run();
            times[index][1].push_back(processCpuMs() - cpu);
            times[index][0].push_back(wallMs() - wall);
            side->after();
            ++index;
        }
    }
    for (int clock = 0; clock < 2; ++clock) {
        std::vector<double> ratios;
        for (int pair = 0; pair < pairs; ++pair) {
            const double plain = times[1][clock][size_t(pair)];
            if (plain > 0)
                ratios.push_back(times[0][clock][size_t(pair)] / plain);
        }
        const bool judged = int(judgedBy) == clock;
        const double ratio = median(ratios);
        std::printf("RATIO %-44s %-4s %9.3f / %9.3f ms vs limit %9.3f / %9.3f ms (min / "
                    "median) = %5.2f / %5.2fx over %d pairs, load %.2f-%.2f",
                    what.c_str(), clock == 0 ? "wall" : "cpu", minimum(times[0][clock]),
                    median(times[0][clock]), minimum(times[1][clock]), median(times[1][clock]),
                    minimum(ratios), ratio, pairs, loadBefore, loadAverage());
        if (judged)
            std::printf(" (goal <= %.2fx on the median) %s", goal,
                        ratio <= goal ? "MET" : "NOT MET");
        std::printf("\n");
    }
    std::fflush(stdout);
}

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
