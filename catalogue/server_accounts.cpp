// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/server_accounts.h"

#include "catalogue/server_transaction.h"
#include "core/exceptions.h"
#include "core/schema.h"
#include "data/engine/postgres/postgres_backend.h"

#include <libpq-fe.h>

#include <memory>

namespace {

using Result = PgResult;

// Names of roles always travel quoted: an account may be called anything.
QByteArray identifier(PostgresBackend &server, const QString &name)
{
    const QByteArray utf8 = name.toUtf8();
    char *quoted = PQescapeIdentifier(server.handle(), utf8.constData(), size_t(utf8.size()));
    if (!quoted)
        server.fail("", QString::fromUtf8(PQerrorMessage(server.handle())));
    const QByteArray out(quoted);
    PQfreemem(quoted);
    return out;
}

QByteArray literal(PostgresBackend &server, const QByteArray &text)
{
    char *quoted = PQescapeLiteral(server.handle(), text.constData(), size_t(text.size()));
    if (!quoted)
        server.fail("", QString::fromUtf8(PQerrorMessage(server.handle())));
    const QByteArray out(quoted);
    PQfreemem(quoted);
    return out;
}

QString roleName(PostgresBackend &server, const char *suffix)
{
    const QString database = QString::fromUtf8(PQdb(server.handle()));
    const QString name = database + QLatin1String(suffix);
    // The server cuts longer names, and the two roles could end up the same.
    if (name.toUtf8().size() > 63) {
        throw Exception(QStringLiteral("O nome do banco '%1' é longo demais para os papéis de "
                                       "acesso do catálogo")
                            .arg(database));
    }
    return name;
}

bool roleExists(PostgresBackend &server, const QString &name)
{
    const Result r = server.query("SELECT count(*) FROM pg_catalog.pg_roles WHERE rolname = " +
                                  literal(server, name.toUtf8()));
    return PQgetvalue(r.get(), 0, 0)[0] != '0';
}

// An account of this catalogue: a login role in one of its two roles.
bool isAccount(PostgresBackend &server, const QString &name)
{
    const Result r =
        server.query("SELECT count(*) FROM pg_catalog.pg_auth_members m JOIN pg_catalog.pg_roles g "
                     "ON g.oid = m.roleid JOIN pg_catalog.pg_roles u ON u.oid = m.member "
                     "WHERE u.rolname = " +
                     literal(server, name.toUtf8()) + " AND g.rolname IN (" +
                     literal(server, ServerAccounts::consultRole(server).toUtf8()) + ", " +
                     literal(server, ServerAccounts::editRole(server).toUtf8()) + ")");
    return PQgetvalue(r.get(), 0, 0)[0] != '0';
}

void checkName(const QString &name)
{
    if (name.trimmed().isEmpty() || name.toUtf8().size() > 63)
        throw Exception(QStringLiteral("O nome da conta deve ter de 1 a 63 caracteres"));
}

void storePassword(PostgresBackend &server, const QString &role, const QByteArray &target,
                   const QByteArray &password)
{
    if (password.isEmpty())
        throw Exception(QStringLiteral("A senha não pode ser vazia"));
    // The verifier is made here; the server receives only it.
    char *verifier = PQencryptPasswordConn(server.handle(), password.constData(),
                                           role.toUtf8().constData(), "scram-sha-256");
    if (!verifier) {
        throw Exception(QStringLiteral("Não foi possível preparar a senha para o servidor '%1'")
                            .arg(server.displayName()));
    }
    const QByteArray sql = "ALTER ROLE " + target + " PASSWORD " + literal(server, verifier);
    PQfreemem(verifier);
    server.query(sql);
}

} // namespace

bool ServerAccounts::hasRoles(PostgresBackend &server)
{
    return roleExists(server, consultRole(server)) && roleExists(server, editRole(server));
}

QString ServerAccounts::consultRole(PostgresBackend &server)
{
    return roleName(server, "_consulta");
}

QString ServerAccounts::editRole(PostgresBackend &server)
{
    return roleName(server, "_edicao");
}

void ServerAccounts::grantRoles(PostgresBackend &server)
{
    const QString consultName = consultRole(server);
    const QString editName = editRole(server);
    for (const QString &name : {consultName, editName}) {
        if (!roleExists(server, name))
            server.query("CREATE ROLE " + identifier(server, name) + " NOLOGIN");
    }
    const QByteArray consult = identifier(server, consultName);
    const QByteArray edit = identifier(server, editName);
    server.query("GRANT USAGE ON SCHEMA quivel TO " + consult + ", " + edit);
    server.query("GRANT SELECT ON ALL TABLES IN SCHEMA quivel TO " + consult + ", " + edit);
    server.query("GRANT INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA quivel TO " + edit);
    server.query("GRANT USAGE, SELECT ON ALL SEQUENCES IN SCHEMA quivel TO " + edit);
    // The version is the upgrade's, made by the catalogue's owner.
    server.query("REVOKE INSERT, UPDATE, DELETE ON quivel.versao FROM " + edit);
    // Who changed what is the server's to write; the accounts only read it.
    const Result changes = server.query("SELECT pg_catalog.to_regclass('quivel." +
                                        QByteArray(Schema::serverChangesTable.data(),
                                                   qsizetype(Schema::serverChangesTable.size())) +
                                        "') IS NOT NULL");
    if (PQgetvalue(changes.get(), 0, 0)[0] == 't') {
        server.query("REVOKE INSERT, UPDATE, DELETE, TRUNCATE ON quivel." +
                     QByteArray(Schema::serverChangesTable.data(),
                                qsizetype(Schema::serverChangesTable.size())) +
                     " FROM " + edit);
    }
    // Tables a later upgrade adds get the same rights.
    server.query("ALTER DEFAULT PRIVILEGES IN SCHEMA quivel GRANT SELECT ON TABLES TO " + consult +
                 ", " + edit);
    server.query("ALTER DEFAULT PRIVILEGES IN SCHEMA quivel GRANT INSERT, UPDATE, DELETE ON "
                 "TABLES TO " +
                 edit);
    server.query("ALTER DEFAULT PRIVILEGES IN SCHEMA quivel GRANT USAGE, SELECT ON SEQUENCES "
                 "TO " +
                 edit);
}

namespace {

PostgresBackend &server(Backend &catalogue)
{
    auto *postgres = dynamic_cast<PostgresBackend *>(&catalogue);
    if (!postgres)
        throw Exception(QStringLiteral("Um catálogo em arquivo não tem contas"));
    return *postgres;
}

void createOn(PostgresBackend &server, const QString &name, ServerAccounts::Right right,
              const QByteArray &password)
{
    checkName(name);
    ServerTransaction transaction(server);
    if (roleExists(server, name)) {
        throw Exception(QStringLiteral("A conta '%1' já existe no servidor '%2'; nada foi alterado")
                            .arg(name, server.displayName()));
    }
    const QString group = right == ServerAccounts::Right::Edit
                              ? ServerAccounts::editRole(server)
                              : ServerAccounts::consultRole(server);
    // A catalogue made before the roles existed gets them from its first account.
    if (!roleExists(server, group))
        ServerAccounts::grantRoles(server);
    const QByteArray target = identifier(server, name);
    server.query("CREATE ROLE " + target + " LOGIN IN ROLE " + identifier(server, group));
    storePassword(server, name, target, password);
    transaction.commit();
}

void removeFrom(PostgresBackend &server, const QString &name)
{
    checkName(name);
    if (!isAccount(server, name)) {
        throw Exception(QStringLiteral("A conta '%1' não é uma conta do catálogo '%2'")
                            .arg(name, server.displayName()));
    }
    if (name == QString::fromUtf8(PQuser(server.handle()))) {
        throw Exception(QStringLiteral("A conta '%1' está em uso e não pode ser removida por ela "
                                       "mesma; nada foi alterado")
                            .arg(name));
    }
    server.query("DROP ROLE " + identifier(server, name));
}

QList<ServerAccounts::Account> listOf(PostgresBackend &server)
{
    const QByteArray edit = literal(server, ServerAccounts::editRole(server).toUtf8());
    const Result r =
        server.query("SELECT u.rolname, bool_or(g.rolname = " + edit +
                     ") FROM pg_catalog.pg_auth_members m JOIN pg_catalog.pg_roles g ON g.oid = "
                     "m.roleid JOIN pg_catalog.pg_roles u ON u.oid = m.member WHERE u.rolcanlogin "
                     "AND g.rolname IN (" +
                     literal(server, ServerAccounts::consultRole(server).toUtf8()) + ", " + edit +
                     ") GROUP BY u.rolname ORDER BY u.rolname");
    QList<ServerAccounts::Account> accounts;
    for (int row = 0; row < PQntuples(r.get()); ++row) {
        accounts.append({QString::fromUtf8(PQgetvalue(r.get(), row, 0)),
                         PQgetvalue(r.get(), row, 1)[0] == 't' ? ServerAccounts::Right::Edit
                                                               : ServerAccounts::Right::Consult});
    }
    return accounts;
}

} // namespace

void ServerAccounts::create(const QString &conninfo, const QString &name, Right right,
                            const QByteArray &password)
{
    const auto server = PostgresBackend::connectOnly(conninfo);
    createOn(*server, name, right, password);
}

void ServerAccounts::setPassword(const QString &conninfo, const QString &name,
                                 const QByteArray &password)
{
    checkName(name);
    const auto server = PostgresBackend::connectOnly(conninfo);
    if (!isAccount(*server, name)) {
        throw Exception(QStringLiteral("A conta '%1' não é uma conta do catálogo '%2'")
                            .arg(name, server->displayName()));
    }
    storePassword(*server, name, identifier(*server, name), password);
}

void ServerAccounts::remove(const QString &conninfo, const QString &name)
{
    const auto server = PostgresBackend::connectOnly(conninfo);
    removeFrom(*server, name);
}

QList<ServerAccounts::Account> ServerAccounts::list(const QString &conninfo)
{
    const auto server = PostgresBackend::connectOnly(conninfo);
    return listOf(*server);
}

bool ServerAccounts::mayManage(Backend &catalogue)
{
    auto *postgres = dynamic_cast<PostgresBackend *>(&catalogue);
    if (!postgres)
        return false;
    PostgresBackend &server = *postgres;
    // From version 16 CREATEROLE alone no longer lets an account give out membership in roles
    // it was not given with ADMIN OPTION.
    const Result r = server.query(
        "SELECT r.rolsuper OR (r.rolcreaterole AND (pg_catalog.current_setting("
        "'server_version_num')::integer < 160000 OR (pg_catalog.pg_has_role(r.oid, "
        "c.oid, 'USAGE WITH ADMIN OPTION') AND pg_catalog.pg_has_role(r.oid, e.oid, "
        "'USAGE WITH ADMIN OPTION')))) FROM pg_catalog.pg_roles r "
        "LEFT JOIN pg_catalog.pg_roles c ON c.rolname = " +
        literal(server, consultRole(server).toUtf8()) +
        " LEFT JOIN pg_catalog.pg_roles e ON e.rolname = " +
        literal(server, editRole(server).toUtf8()) + " WHERE r.rolname = CURRENT_USER");
    return PQntuples(r.get()) == 1 && PQgetvalue(r.get(), 0, 0)[0] == 't';
}

void ServerAccounts::create(Backend &catalogue, const QString &name, Right right,
                            const QByteArray &password)
{
    createOn(server(catalogue), name, right, password);
}

void ServerAccounts::remove(Backend &catalogue, const QString &name)
{
    removeFrom(server(catalogue), name);
}

QList<ServerAccounts::Account> ServerAccounts::list(Backend &catalogue)
{
    return listOf(server(catalogue));
}
