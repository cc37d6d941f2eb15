// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/exit_question.h"

#include "data/query.h"
#include "shell/dialogs.h"
#include "shell/error_handler.h"

#include <QLocale>

using namespace Qt::StringLiterals;

namespace {

enum Answer { SaveAndExit, ExitWithoutSaving, GoBack };

bool pending(const PendingRecord &record)
{
    if (!record.dataSet)
        return false;
    const TDataSetState state = record.dataSet->state();
    return state == TDataSetState::Edit || state == TDataSetState::Insert;
}

QString question(const QStringList &windows)
{
    const QString names = QLocale(QLocale::Portuguese, QLocale::Brazil).createSeparatedList([&] {
        QStringList quoted;
        for (const QString &w : windows)
            quoted << u'"' + w + u'"';
        return quoted;
    }());
    return (windows.size() == 1 ? u"A janela %1 tem um registro alterado que ainda não foi "
                                  u"salvo."_s
                                : u"As janelas %1 têm registros alterados que ainda não foram "
                                  u"salvos."_s)
               .arg(names) +
           u"\n\nDeseja salvar antes de sair?"_s;
}

} // namespace

bool settlePendingRecords(const QList<PendingRecord> &records, bool mayAsk)
{
    QList<PendingRecord> open;
    QStringList windows;
    for (const PendingRecord &record : records) {
        if (pending(record)) {
            open << record;
            windows << record.window;
        }
    }
    if (open.isEmpty())
        return true;

    int answer = SaveAndExit;
    if (mayAsk) {
        answer = Dialogs::current().choose(
            question(windows), u"Sair do Quivel"_s,
            {u"&Salvar e sair"_s, u"Sair sem sal&var"_s, u"V&oltar"_s}, GoBack, GoBack);
    }
    switch (answer) {
    case SaveAndExit:
        for (const PendingRecord &record : open) {
            try {
                record.dataSet->post();
            } catch (...) {
                if (mayAsk) {
                    handleException(std::current_exception());
                    return false;
                }
            }
        }
        return true;
    case ExitWithoutSaving:
        // Dropped now, so a later close (the session's) finds nothing left to ask about.
        for (const PendingRecord &record : open)
            record.dataSet->cancel();
        return true;
    default:
        return false;
    }
}
