// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/startup.h"

#include "app/main_window.h"
#include "app/remembered_sign_in.h"
#include "app/sign_in_window.h"
#include "catalogue/catalogue.h"
#include "catalogue/upgrade.h"
#include "core/exceptions.h"
#include "data/connection.h"
#include "data/data_module.h"
#include "data/engine/backend.h"
#include "registration/media_window.h"
#include "registration/software_window.h"
#include "reports/report_run.h"
#include "resources/picture_resources.h"
#include "shell/application.h"
#include "shell/dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QSessionManager>

#include <memory>

namespace {

// A failure outside the message loop that nothing else caught ends the program, as a
// platform's fatal error report would.
int fatal(const QString &className, const QString &message)
{
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QMessageBox box(
        QMessageBox::Critical, QStringLiteral("Application Error"),
        QStringLiteral("Exception %1 in module %2.\n%3").arg(className, program, message));
    box.exec();
    return 1;
}

// A file of an older version is upgraded before anything reads it, and the user is told once,
// on the start that did it. A server's catalogue is left to the companion tool.
void upgradeOlderCatalogue()
{
    const QString directory = QDir::currentPath();
    if (Backend::namesServer(Catalogue::chosenConnectionString(directory)))
        return;
    const QString path = Catalogue::filePath(directory);
    QString text;
    Dialogs::Icon icon = Dialogs::Icon::None;
    try {
        text = Legacy::upgradeForUser(path);
    } catch (const Exception &e) {
        text = QStringLiteral("Não foi possível atualizar o catálogo '%1' para esta versão do "
                              "Quivel: %2.\n\nO arquivo não foi alterado.")
                   .arg(path, e.message());
        icon = Dialogs::Icon::Warning;
    }
    if (!text.isEmpty())
        Dialogs::current().messageBox(text, QStringLiteral("Quivel"), Dialogs::Ok, icon,
                                      Dialogs::Ok);
}

} // namespace

int runQuivel(int argc, char **argv)
{
    Application app(argc, argv);
    initQuivelResources();
    initReports();
    app.setWindowIcon(QIcon(QStringLiteral(":/pictures/icon.png")));
    // A server that asks for a password gets the one the desktop keeps for it, or asks the
    // user, in a window of the program's own.
    auto signIn = std::make_shared<RememberedSignIn>(
        [](const QString &server, const QString &reason, QString &user, QByteArray &password,
           bool offerRemember, bool &remember) {
            return SignInWindow::ask(server, reason, user, password, offerRemember, &remember);
        });
    TADOConnection::setSignIn(
        [signIn](const QString &server, const QString &reason, QString &user,
                 QByteArray &password) { return (*signIn)(server, reason, user, password); });
    try {
        upgradeOlderCatalogue();
        auto Form1 = std::make_unique<TForm1>();
        auto Dm1 = std::make_unique<TDm1>(
            [](const QString &line) { Dialogs::current().showMessage(line); });
        if (Dm1->ADOConnection1.connected())
            signIn->accepted();
        Form1->bindDataModule(*Dm1);
        // The registration windows start hidden: they are made once the main window is on
        // screen (the software window places the shared media list on its first title's
        // medium then, before any click).
        std::unique_ptr<TForm2> Form2;
        std::unique_ptr<TForm3> Form3;
        Form1->setRegistrationWindowMaker([&Form1, &Form2, &Form3, &Dm1] {
            Form2 = std::make_unique<TForm2>(*Dm1);
            Form3 = std::make_unique<TForm3>(*Dm1);
            Form1->setRegistrationWindows(Form2.get(), Form3.get());
        });

        // Logging out asks about pending records as the close does; going back keeps the
        // session.
        QObject::connect(&app, &QGuiApplication::commitDataRequest, Form1.get(),
                         [form1 = Form1.get()](QSessionManager &manager) {
                             const bool mayAsk = manager.allowsInteraction();
                             const bool mayEnd = form1->settleBeforeExit(mayAsk);
                             if (mayAsk)
                                 manager.release();
                             if (!mayEnd)
                                 manager.cancel();
                         });

        Form1->show();
        const int code = app.exec();

        // Windows go before the data module they are bound to; closing its queries drops
        // any record still pending.
        Form3.reset();
        Form2.reset();
        Form1.reset();
        Dm1.reset();
        return code;
    } catch (const SignInCancelled &) {
        return 0; // the user chose not to sign in: nothing went wrong
    } catch (const Exception &e) {
        return fatal(e.className(), e.message());
    } catch (const std::exception &e) {
        return fatal(QStringLiteral("Exception"), QString::fromLocal8Bit(e.what()));
    }
}
