// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

class Backend;
class PostgresBackend;

// Accounts of a server catalogue. The server enforces the rights: each catalogue has two
// roles without login named after its database, "<banco>_consulta" (reads) and
// "<banco>_edicao" (also registers, changes and deletes), and an account is a login role that
// belongs to one of them. Passwords are made into SCRAM verifiers here, so the clear text
// never travels to the server nor lands in its log.
namespace ServerAccounts {

enum class Right { Consult, Edit };

struct Account
{
    QString name;
    Right right = Right::Consult;
};

// The two roles of the catalogue in the database the connection is on.
QString consultRole(PostgresBackend &server);
QString editRole(PostgresBackend &server);

// Whether the catalogue's two roles exist.
bool hasRoles(PostgresBackend &server);

// Makes the two roles when missing and gives them their rights on the catalogue's schema,
// inside the caller's transaction.
void grantRoles(PostgresBackend &server);

// The tool's verbs, each on a connection of its own.
void create(const QString &conninfo, const QString &name, Right right, const QByteArray &password);
void setPassword(const QString &conninfo, const QString &name, const QByteArray &password);
void remove(const QString &conninfo, const QString &name);
QList<Account> list(const QString &conninfo);

// The same on the catalogue the program has open, as the account it signed in with; a file
// has no accounts. The server decides: an account may manage the others when it is a
// superuser or has CREATEROLE (on servers from version 16, with ADMIN OPTION on both of the
// catalogue's roles), and refuses whatever else is tried.
bool mayManage(Backend &catalogue);
void create(Backend &catalogue, const QString &name, Right right, const QByteArray &password);
void remove(Backend &catalogue, const QString &name);
QList<Account> list(Backend &catalogue);

} // namespace ServerAccounts
