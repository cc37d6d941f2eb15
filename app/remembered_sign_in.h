// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// The program's answer when a server asks for an account's password: first the one kept in
// the desktop's secret store for that server, database and account, without showing anything;
// then the "Entrar no catálogo" window. A password the user asks to remember is kept only once
// the server accepted it, and a kept one the server refuses is forgotten.
class RememberedSignIn
{
public:
    // Shows the window: false when the user gave up. `offerRemember` says whether the tick may
    // be shown; `remember` comes back ticked or not.
    using Ask = std::function<bool(const QString &server, const QString &reason, QString &user,
                                   QByteArray &password, bool offerRemember, bool &remember)>;
    explicit RememberedSignIn(Ask ask);
    ~RememberedSignIn();

    // The connection's sign-in hook; throws SignInCancelled when the user gives up.
    bool operator()(const QString &server, const QString &reason, QString &user,
                    QByteArray &password);
    // The catalogue opened: the password the user asked to remember is kept now.
    void accepted();

private:
    struct Key
    {
        QString server;
        QString database;
        QString account;
    };
    static Key keyOf(const QString &server, const QString &account);
    void dropPending();

    Ask m_ask;
    bool m_lookedUp = false;
    bool m_usedKept = false;
    Key m_kept;
    bool m_pending = false;
    Key m_pendingKey;
    QByteArray m_pendingPassword;
};
