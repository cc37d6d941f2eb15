// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/exceptions.h"

#include <QString>

class TQuickRep;

// A failure of the report engine (a layout it cannot read, a field the dataset lacks), carried
// in the program's own exception family so the general error handler shows its message.
class EReportError : public Exception
{
public:
    using Exception::Exception;
    QString className() const override { return QStringLiteral("EReportError"); }
};

// Wires the engine to the program once: the compiled-in pictures (the logo), JPEG decoding by
// the project's libjpeg loader, and the preview's messages through the dialog seam. Start-up
// calls it; the report forms call it too, so a form always prints its logo. Later calls do
// nothing, so a handler installed afterwards (by a test) stays.
void initReports();

// The engine's Preview, behind the program's boundary: shows the preview of a report and returns
// when its window has been closed. The report's dataset must be open. Fails with the program's
// exceptions only: the engine's own failures arrive as EReportError, the dataset's as they were
// raised.
void previewWithProgramErrors(const TQuickRep &report);

// Runs work, turning the engine's ReportError into EReportError.
template <typename Work> decltype(auto) withReportErrors(Work &&work);

namespace reportsDetail {
[[noreturn]] void rethrowAsProgramError();
}

template <typename Work> decltype(auto) withReportErrors(Work &&work)
{
    try {
        return work();
    } catch (...) {
        reportsDetail::rethrowAsProgramError();
    }
}
