// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports/engine/report_error.h"
#include "reports/engine/report_file.h"

#include <QByteArray>
#include <QGuiApplication>

#include <cstddef>
#include <cstdint>

namespace {

// A file of the first format measures its wrapped texts as it is read, and fonts need a
// QGuiApplication: one, on no screen, for the whole run.
void ensureApplication()
{
    if (QGuiApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_report_file";
    static char *argv[] = {name, nullptr};
    static QGuiApplication *application = new QGuiApplication(argc, argv);
    Q_UNUSED(application);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ensureApplication();
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
