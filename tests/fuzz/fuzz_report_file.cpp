// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports/engine/report_error.h"
#include "reports/engine/report_file.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        const ReportDocument document = reportFromBytes(bytes, QStringLiteral("fuzz"));
        // What loads saves in one canonical form, which loads and saves to itself.
        const QByteArray saved = reportToBytes(document);
        if (reportToBytes(reportFromBytes(saved, QStringLiteral("fuzz"))) != saved)
            __builtin_trap();
    } catch (const ReportError &) {
    }
    return 0;
}
