// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class SignInWindow;
}

// "Entrar no catálogo": account and password for a server that asks for them, with the
// server's name and why it asks. The password stays in the window only until it is read.
// "Lembrar a senha" is offered only where the desktop has a secret store to keep it in.
class SignInWindow : public QDialog
{
    Q_OBJECT

public:
    SignInWindow(const QString &server, const QString &reason, const QString &user,
                 bool offerRemember = false, QWidget *owner = nullptr);
    ~SignInWindow() override;

    QString account() const;
    // The password typed, taken out of the window.
    QByteArray takePassword();
    // Whether the user asked for the password to be remembered.
    bool remember() const;

    // Shows the window; false when the user gave up (Esc or "Cancelar").
    static bool ask(const QString &server, const QString &reason, QString &user,
                    QByteArray &password, bool offerRemember = false, bool *remember = nullptr);

private:
    std::unique_ptr<Ui::SignInWindow> m_ui;
};
