// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/error_handler.h"

#include "core/exceptions.h"
#include "shell/dialogs.h"

#include <QApplication>
#include <QString>

QString withFinalPeriod(const QString &message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + u'.';
    return message;
}

void handleException(std::exception_ptr failure)
{
    QString message;
    try {
        std::rethrow_exception(failure);
    } catch (const EAbort &) {
        return;
    } catch (const ERowConflict &e) {
        // The edit stays on screen until the user chooses; No is the default, so nothing
        // typed is lost by a stray Enter.
        const Dialogs::Button answer = Dialogs::current().messageBox(
            withFinalPeriod(e.message()) +
                QStringLiteral("\n\nDescartar a sua alteração e ver o registro como ele está "
                               "agora no catálogo?\n\nSim: a alteração é descartada e o "
                               "registro é lido de novo.\nNão: a alteração continua na tela, "
                               "sem ser salva; cada nova tentativa de salvá-la será recusada da "
                               "mesma forma."),
            QStringLiteral("Registro alterado ") +
                (e.changedBy().isEmpty() ? QStringLiteral("por outro programa") : e.changedBy()),
            Dialogs::Yes | Dialogs::No, Dialogs::Icon::Warning, Dialogs::No);
        if (answer != Dialogs::Yes)
            return;
        try {
            e.discardAndReload();
            return;
        } catch (const Exception &reloadFailure) {
            message = reloadFailure.message();
        }
    } catch (const Exception &e) {
        message = e.message();
    } catch (const std::exception &e) {
        message = QString::fromLocal8Bit(e.what());
    } catch (...) {
        message = QStringLiteral("Erro desconhecido");
    }
    Dialogs::current().messageBox(withFinalPeriod(message), QApplication::applicationDisplayName(),
                                  Dialogs::Ok, Dialogs::Icon::Critical, Dialogs::Ok);
}

std::function<void()> guarded(std::function<void()> handler)
{
    return [handler = std::move(handler)] {
        try {
            handler();
        } catch (...) {
            handleException(std::current_exception());
        }
    };
}
