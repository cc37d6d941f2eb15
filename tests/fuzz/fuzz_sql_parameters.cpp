// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/query.h"

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString statement =
        QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList names = scanParameterNames(statement);
    // Every name found is really in the text, after a colon.
    for (const QString &name : names) {
        if (name.isEmpty() || !statement.contains(u':' + name, Qt::CaseInsensitive))
            __builtin_trap();
    }
    return 0;
}
