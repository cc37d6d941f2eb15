// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/server/large_server.h"

#include "bench/support/bench_directory.h"
#include "catalogue/catalogue.h"
#include "catalogue/server_catalogue.h"
#include "data/connection.h"

#include <QFileInfo>

#include <cstdio>

bool LargeServer::prepare()
{
    QDir().mkpath(benchDirectory());
    file = benchDirectory() + QStringLiteral("/quivel.mdb");
    if (!QFileInfo::exists(file)) {
        std::printf("Making %s (%d media, %d titles)...\n", qPrintable(file), mediaCount,
                    titleCount);
        Catalogue::createLarge(file, mediaCount, titleCount);
    }
    server = qEnvironmentVariable("QUIVEL_BENCH_SERVER");
    if (server.isEmpty()) {
        own = std::make_unique<TestServer>();
        if (!own->running()) {
            std::fprintf(stderr, "no server: %s\n", qPrintable(own->failure()));
            return false;
        }
        server = own->createDatabase(QStringLiteral("bench"));
    }
    TADOConnection probe;
    probe.setConnectionString(server);
    try {
        probe.open();
    } catch (...) {
        std::printf("Copying %s to the server...\n", qPrintable(file));
        std::fflush(stdout);
        ServerCatalogue::copyFromFile(file, server);
    }
    return true;
}
