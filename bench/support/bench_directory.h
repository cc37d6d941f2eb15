// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>

// Where the benchmarks keep the large catalogues they make once and reuse: QUIVEL_BENCH_DIR,
// or quivel-bench in the temporary folder.
inline QString benchDirectory()
{
    const QByteArray fromEnv = qgetenv("QUIVEL_BENCH_DIR");
    return fromEnv.isEmpty() ? QDir::tempPath() + QStringLiteral("/quivel-bench")
                             : QString::fromLocal8Bit(fromEnv);
}
