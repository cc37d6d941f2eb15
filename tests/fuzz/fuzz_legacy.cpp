// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exceptions.h"
#include "tools/legacy/jet_reader.h"

#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>

// Each input is written as a file and read as an old-format catalogue would be, in this
// process: the program's reading child is a safety net for the user, and the fuzzer, which
// sets its own time and memory limits, must see the code it exercises.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString path = QDir::tempPath() + QStringLiteral("/quivel-fuzz-legacy.mdb");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();
    try {
        Legacy::readJetCatalogueInProcess(path);
    } catch (const Exception &) {
    }
    return 0;
}
