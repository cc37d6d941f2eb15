// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/test_server.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>

#include <libpq-fe.h>

#include <memory>
#include <stdexcept>
#include <unistd.h>

namespace {

// Debian keeps the server's programs per major version; the newest one wins.
QString serverBinaries()
{
    const QDir root(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(),
              [](const QString &a, const QString &b) { return a.toInt() > b.toInt(); });
    for (const QString &v : versions) {
        const QString bin = root.filePath(v + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/initdb")))
            return bin;
    }
    return {};
}

struct ConnectionDeleter
{
    void operator()(PGconn *c) const { PQfinish(c); }
};
struct ResultDeleter
{
    void operator()(PGresult *r) const { PQclear(r); }
};

std::unique_ptr<PGresult, ResultDeleter> runSql(const QString &conninfo, const QString &sql)
{
    std::unique_ptr<PGconn, ConnectionDeleter> c(PQconnectdb(conninfo.toUtf8().constData()));
    if (PQstatus(c.get()) != CONNECTION_OK)
        throw std::runtime_error(PQerrorMessage(c.get()));
    std::unique_ptr<PGresult, ResultDeleter> r(PQexec(c.get(), sql.toUtf8().constData()));
    const auto status = PQresultStatus(r.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw std::runtime_error(PQerrorMessage(c.get()));
    return r;
}

} // namespace

TestServer::TestServer()
    : m_dir(QStringLiteral("/tmp/quivel-pg-XXXXXX"))
{
    m_binaries = serverBinaries();
    if (m_binaries.isEmpty()) {
        m_failure = QStringLiteral("PostgreSQL server programs not found (package postgresql)");
        return;
    }
    if (!m_dir.isValid()) {
        m_failure = QStringLiteral("no temporary folder");
        return;
    }
    m_data = m_dir.filePath(QStringLiteral("data"));
    if (geteuid() == 0) {
        m_asUser = QStringLiteral("postgres");
        QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                QFile::ReadOther | QFile::WriteOther |
                                                QFile::ExeOther);
    }
    QString output;
    if (!run(m_binaries + QStringLiteral("/initdb"),
             {QStringLiteral("-D"), m_data, QStringLiteral("-A"), QStringLiteral("trust"),
              QStringLiteral("-U"), QStringLiteral("quivel"), QStringLiteral("-E"),
              QStringLiteral("UTF8"), QStringLiteral("--locale=C.UTF-8"), QStringLiteral("-N")},
             &output)) {
        m_failure = QStringLiteral("initdb failed: ") + output;
        return;
    }
    // Durability is not what these tests look at; fsync off keeps them quick.
    m_options = QStringLiteral("-k %1 -c listen_addresses='' -c fsync=off").arg(m_dir.path());
    start();
}

TestServer::~TestServer()
{
    stop();
}

bool TestServer::run(const QString &program, const QStringList &arguments, QString *output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (m_asUser.isEmpty()) {
        process.start(program, arguments);
    } else {
        process.start(QStringLiteral("runuser"),
                      QStringList{QStringLiteral("-u"), m_asUser, QStringLiteral("--"), program} +
                          arguments);
    }
    const bool finished = process.waitForFinished(120000);
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool TestServer::start()
{
    QString output;
    m_running = run(m_binaries + QStringLiteral("/pg_ctl"),
                    {QStringLiteral("-D"), m_data, QStringLiteral("-w"), QStringLiteral("-l"),
                     m_dir.filePath(QStringLiteral("server.log")), QStringLiteral("-o"), m_options,
                     QStringLiteral("start")},
                    &output);
    if (m_running) {
        // A test that crashes never reaches the destructor; this stops its server and removes its
        // folder all the same.
        const QString stop =
            QStringLiteral("%1 %2/pg_ctl -D %3 -m immediate stop")
                .arg(m_asUser.isEmpty() ? QString()
                                        : QStringLiteral("runuser -u %1 --").arg(m_asUser),
                     m_binaries, m_data);
        QProcess::startDetached(
            QStringLiteral("sh"),
            {QStringLiteral("-c"),
             QStringLiteral("exec >/dev/null 2>&1 </dev/null; while [ -d /proc/%1 ]; do sleep 1; "
                            "done; [ -f %2/postmaster.pid ] && %3; rm -rf %4")
                 .arg(QCoreApplication::applicationPid())
                 .arg(m_data, stop, m_dir.path())});
    }
    if (!m_running) {
        QFile log(m_dir.filePath(QStringLiteral("server.log")));
        log.open(QIODevice::ReadOnly);
        m_failure =
            QStringLiteral("pg_ctl start failed: ") + output + QString::fromUtf8(log.readAll());
    }
    return m_running;
}

void TestServer::stop()
{
    if (!m_running)
        return;
    run(m_binaries + QStringLiteral("/pg_ctl"),
        {QStringLiteral("-D"), m_data, QStringLiteral("-w"), QStringLiteral("-m"),
         QStringLiteral("immediate"), QStringLiteral("stop")});
    m_running = false;
}

int TestServer::listenOnTcp()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost))
        return 0;
    const int port = probe.serverPort();
    probe.close();
    stop();
    m_options = QStringLiteral("-k %1 -c listen_addresses=127.0.0.1 -p %2 -c fsync=off")
                    .arg(m_dir.path())
                    .arg(port);
    return start() ? port : 0;
}

void TestServer::requirePasswords()
{
    QFile hba(m_data + QStringLiteral("/pg_hba.conf"));
    if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("pg_hba.conf cannot be written");
    hba.write("local all quivel trust\n"
              "local all all scram-sha-256\n"
              "host all quivel 127.0.0.1/32 trust\n"
              "host all all 127.0.0.1/32 scram-sha-256\n");
    hba.close();
    exec(QStringLiteral("postgres"), QStringLiteral("ALTER SYSTEM SET log_statement = 'all'"));
    exec(QStringLiteral("postgres"), QStringLiteral("SELECT pg_reload_conf()"));
}

bool TestServer::useTls(const QString &certificate, const QString &key)
{
    const QString cert = m_dir.filePath(QStringLiteral("server.crt"));
    const QString privateKey = m_dir.filePath(QStringLiteral("server.key"));
    QFile::remove(cert);
    QFile::remove(privateKey);
    if (!QFile::copy(certificate, cert) || !QFile::copy(key, privateKey))
        return false;
    // The server refuses a key others may read.
    QFile::setPermissions(privateKey, QFile::ReadOwner | QFile::WriteOwner);
    if (!m_asUser.isEmpty() &&
        QProcess::execute(QStringLiteral("chown"), {m_asUser, cert, privateKey}) != 0)
        return false;
    stop();
    m_options +=
        QStringLiteral(" -c ssl=on -c ssl_cert_file=%1 -c ssl_key_file=%2").arg(cert, privateKey);
    return start();
}

QString TestServer::logPath() const
{
    return m_dir.filePath(QStringLiteral("server.log"));
}

QString TestServer::uri(const QString &database) const
{
    const QString port = m_options.contains(QStringLiteral(" -p "))
                             ? m_options.section(QStringLiteral(" -p "), 1).section(u' ', 0, 0)
                             : QStringLiteral("5432");
    return QStringLiteral("host=%1 port=%2 user=quivel dbname=%3")
        .arg(m_dir.path(), port, database);
}

QString TestServer::createDatabase(const QString &name)
{
    exec(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE \"%1\"").arg(name));
    return uri(name);
}

void TestServer::exec(const QString &database, const QString &sql) const
{
    runSql(uri(database), sql);
}

QString TestServer::scalar(const QString &database, const QString &sql) const
{
    const auto r = runSql(uri(database), sql);
    if (PQntuples(r.get()) == 0 || PQgetisnull(r.get(), 0, 0))
        return {};
    return QString::fromUtf8(PQgetvalue(r.get(), 0, 0));
}
