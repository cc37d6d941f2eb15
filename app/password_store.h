// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// Server passwords kept in the desktop's secret store (the Secret Service, through libsecret),
// never in a file of the program's: each under the server, the database and the account.
namespace PasswordStore {

// Whether a secret store answers on the desktop's session bus. Asked once per program; no
// bus, or a bus with no store on it, says no, so nothing is offered that cannot be kept.
bool available();

// The password kept for this server, database and account; empty when none is.
QByteArray lookup(const QString &server, const QString &database, const QString &account);
// Keeps it, replacing one kept before; false when the store refused.
bool store(const QString &server, const QString &database, const QString &account,
           const QByteArray &password);
void forget(const QString &server, const QString &database, const QString &account);

} // namespace PasswordStore
