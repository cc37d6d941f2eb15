// SPDX-License-Identifier: GPL-3.0-or-later
#include <QFile>
#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

extern "C" {
struct lazy_probe_pair
{
    long first, second, third;
};
long lazy_probe_integers(long a, long b, long c, long d, long e, long f, long g, long h);
double lazy_probe_doubles(double a, double b, double c, double d, double e, double f, double g,
                          double h, double i, int scale);
double lazy_probe_sum_of(int count, ...);
lazy_probe_pair lazy_probe_pair(long first, double second);
int lazy_probe_calls();
}

namespace {

bool probeLoaded()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        qFatal("cannot read /proc/self/maps");
    return maps.readAll().contains("liblazy_probe.so");
}

} // namespace

class LazyLibraryTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(!probeLoaded()); }

    // Runs first: several threads make the first call at once; each gets its own answer and
    // the library is bound once.
    void firstCallsFromSeveralThreadsAtOnce()
    {
        constexpr int threads = 8;
        std::atomic<int> waiting = threads;
        std::vector<long> answers(threads);
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([&, t] {
                --waiting;
                while (waiting.load() > 0) {
                }
                answers[size_t(t)] = lazy_probe_integers(t, 1, 2, 3, 4, 5, 6, 7);
            });
        }
        for (std::thread &worker : workers)
            worker.join();
        QVERIFY(probeLoaded());
        for (int t = 0; t < threads; ++t)
            QCOMPARE(answers[size_t(t)], 76543210L + t);
        QCOMPARE(lazy_probe_calls(), threads);
    }

    void argumentsAndResultsPassThrough()
    {
        // Six integers in registers, two on the stack.
        QCOMPARE(lazy_probe_integers(1, 2, 3, 4, 5, 6, 7, 8), 87654321L);
        QCOMPARE(lazy_probe_integers(-1, 0, 0, 0, 0, 0, 0, -9), -90000001L);
        // Eight doubles in vector registers, a ninth on the stack, an integer in a register.
        QCOMPARE(lazy_probe_doubles(1, 1, 1, 1, 1, 1, 1, 1, 0.5, 2), 81.0);
        QCOMPARE(lazy_probe_doubles(0, 0, 0, 0, 0, 0, 0, 0.25, 1, 4), 44.0);
        // Variadic, whose callee reads the count of vector registers.
        QCOMPARE(lazy_probe_sum_of(3, 0.5, 1.25, 2.0), 3.75);
        QCOMPARE(lazy_probe_sum_of(0), 0.0);
        // A result returned in memory the caller provides.
        const struct lazy_probe_pair pair = lazy_probe_pair(7, 1.5);
        QCOMPARE(pair.first, 7L);
        QCOMPARE(pair.second, 3L);
        QCOMPARE(pair.third, 21L);
    }
};

QTEST_GUILESS_MAIN(LazyLibraryTest)
#include "tst_lazy_library.moc"
