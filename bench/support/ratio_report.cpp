// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/support/ratio_report.h"

#include <malloc.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace {

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

void runInterleaved(const std::vector<PairSide> &sides, const std::vector<SideRatio> &ratios,
                    int rounds, const InterleaveOptions &options)
{
    const bool memory =
        options.peakMemory || std::any_of(ratios.begin(), ratios.end(), [](const SideRatio &r) {
            return r.judgedBy == Judged::Memory;
        });
    const double loadBefore = loadAverage();
    if (options.warmUp) {
        for (const PairSide &side : sides) {
            side.before();
            side.run();
            side.after();
        }
    }
    // [side][what]: wall, CPU, then peak memory.
    std::vector<std::array<std::vector<double>, 3>> figures(sides.size());
    for (int round = 0; round < rounds; ++round) {
        for (size_t step = 0; step < sides.size(); ++step) {
            const size_t index = (size_t(round) + step) % sides.size();
            const PairSide &side = sides[index];
            side.before();
            long residentBefore = 0;
            if (memory) {
                malloc_trim(0);
                residentBefore = residentKib();
                resetPeakResident();
            }
            const double wall = wallMs();
            const double cpu = processCpuMs();
            side.run();
            figures[index][1].push_back(processCpuMs() - cpu);
            figures[index][0].push_back(wallMs() - wall);
            if (memory)
                figures[index][2].push_back(double(peakResidentKib() - residentBefore) / 1024.0);
            side.after();
        }
    }
    const double loadAfter = loadAverage();
    const char *const names[] = {"wall", "cpu", "peak"};
    for (const SideRatio &r : ratios) {
        for (int what = 0; what < (memory ? 3 : 2); ++what) {
            const std::vector<double> &figure = figures[r.figure][size_t(what)];
            const std::vector<double> &limit = figures[r.limit][size_t(what)];
            std::vector<double> ratiosOfRounds;
            for (size_t round = 0; round < figure.size(); ++round) {
                if (limit[round] > 0)
                    ratiosOfRounds.push_back(figure[round] / limit[round]);
            }
            const double ratio = median(ratiosOfRounds);
            const char *unit = what == 2 ? "MiB" : "ms";
            std::printf("RATIO %-44s %-4s %9.3f / %9.3f %s vs limit %9.3f / %9.3f %s (min / "
                        "median) = %5.2f / %5.2fx over %d %s, load %.2f-%.2f",
                        r.what.c_str(), names[what], minimum(figure), median(figure), unit,
                        minimum(limit), median(limit), unit, minimum(ratiosOfRounds), ratio, rounds,
                        sides.size() == 2 ? "pairs" : "rounds", loadBefore, loadAfter);
            if (r.goal > 0 && int(r.judgedBy) == what)
                std::printf(" (goal <= %.2fx on the median) %s", r.goal,
                            ratio <= r.goal ? "MET" : "NOT MET");
            std::printf("\n");
        }
    }
    std::fflush(stdout);
}

void runInterleavedPairs(const std::string &what, const PairSide &figure, const PairSide &limit,
                         int pairs, double goal, Judged judgedBy)
{
    runInterleaved({figure, limit}, {{what, 0, 1, goal, judgedBy}}, pairs);
}

void printRatio(const std::string &what, double figure, double limit, double goal,
                const std::string &unit)
{
    const double ratio = limit > 0 ? figure / limit : 0;
    std::printf("RATIO %-44s %12.3f %s vs limit %12.3f %s = %6.2fx (goal <= %.2fx) %s\n",
                what.c_str(), figure, unit.c_str(), limit, unit.c_str(), ratio, goal,
                ratio <= goal ? "MET" : "NOT MET");
}
