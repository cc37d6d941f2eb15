// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/test_server.h"

#include <QString>

#include <memory>

// The server benchmarks' catalogue: 1,000,000 titles on 100,000 media, made once as a file in
// the benchmarks' folder, and copied once into the database QUIVEL_BENCH_SERVER names or into
// one on a server started here, kept in `own`. Returns the file's path and the server's
// connection string; prepare() is false when no server could be started (said on stderr).
struct LargeServer
{
    static constexpr int mediaCount = 100000;
    static constexpr int titleCount = 1000000;

    QString file;
    QString server;
    std::unique_ptr<TestServer> own;

    bool prepare();
};
