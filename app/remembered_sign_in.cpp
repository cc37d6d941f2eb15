// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/remembered_sign_in.h"

#include "app/password_store.h"
#include "data/engine/backend.h"

RememberedSignIn::RememberedSignIn(Ask ask)
    : m_ask(std::move(ask))
{}

RememberedSignIn::~RememberedSignIn()
{
    dropPending();
}

// The server is named "host/database", as every message names it.
RememberedSignIn::Key RememberedSignIn::keyOf(const QString &server, const QString &account)
{
    const qsizetype slash = server.lastIndexOf(u'/');
    if (slash < 0)
        return {server, QString(), account};
    return {server.left(slash), server.mid(slash + 1), account};
}

void RememberedSignIn::dropPending()
{
    m_pendingPassword.fill('\0');
    m_pendingPassword.clear();
    m_pending = false;
}

bool RememberedSignIn::operator()(const QString &server, const QString &reason, QString &user,
                                  QByteArray &password)
{
    const bool storeAnswers = PasswordStore::available();
    // Asked again after the kept password was tried: the server refused it.
    if (m_usedKept) {
        PasswordStore::forget(m_kept.server, m_kept.database, m_kept.account);
        m_usedKept = false;
    }
    if (!m_lookedUp && storeAnswers && !user.isEmpty()) {
        m_lookedUp = true;
        const Key key = keyOf(server, user);
        QByteArray kept = PasswordStore::lookup(key.server, key.database, key.account);
        if (!kept.isEmpty()) {
            m_usedKept = true;
            m_kept = key;
            password = kept;
            kept.fill('\0');
            return true;
        }
    }
    bool remember = false;
    dropPending();
    if (!m_ask(server, reason, user, password, storeAnswers, remember))
        throw SignInCancelled();
    if (remember && storeAnswers) {
        m_pending = true;
        m_pendingKey = keyOf(server, user);
        m_pendingPassword = password;
        m_pendingPassword.detach();
    }
    return true;
}

void RememberedSignIn::accepted()
{
    m_usedKept = false;
    if (m_pending) {
        PasswordStore::store(m_pendingKey.server, m_pendingKey.database, m_pendingKey.account,
                             m_pendingPassword);
    }
    dropPending();
}
