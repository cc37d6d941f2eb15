// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports/report_run.h"

#include "reports/engine/picture_loader.h"
#include "reports/engine/preview/report_preview.h"
#include "reports/engine/report_error.h"
#include "resources/jpeg_image.h"
#include "resources/picture_resources.h"
#include "shell/dialogs.h"

namespace {

// The preview refuses a save, a load or a search through the same box as every refusal.
void showReportMessage(QWidget *, const QString &message)
{
    showRefusal(message, QStringLiteral("Quivel"));
}

// And asks its questions the way the program asks every confirmation.
bool askReportQuestion(QWidget *, const QString &question)
{
    return askYesNo(question, QStringLiteral("Quivel")) == Dialogs::Yes;
}

} // namespace

void initReports()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    initQuivelResources();
    setPictureDecoder(&loadJpeg);
    setReportMessageHandler(&showReportMessage);
    setReportQuestionHandler(&askReportQuestion);
}

namespace reportsDetail {

void rethrowAsProgramError()
{
    try {
        throw;
    } catch (const ReportError &error) {
        throw EReportError(error.message());
    }
}

} // namespace reportsDetail

void previewWithProgramErrors(const TQuickRep &report)
{
    withReportErrors([&report] { Preview(report); });
}
