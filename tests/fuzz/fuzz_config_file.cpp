// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exceptions.h"
#include "info/config_file.h"

#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>

// Each input is written as a config.cfg and read back as the About window does.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString path = QDir::tempPath() + QStringLiteral("/quivel-fuzz-config.cfg");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();
    const QString line = readFirstLine(path);
    // The line never runs past a line feed or a Ctrl+Z and never keeps a carriage return.
    if (line.contains(u'\n') || line.contains(QChar(26)) || line.contains(u'\r'))
        __builtin_trap();
    return 0;
}
