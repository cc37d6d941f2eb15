// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/error_handler.h"

#include "data/exceptions.h"
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
