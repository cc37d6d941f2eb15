// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QTemporaryDir>

// A PostgreSQL server of the test's own: a fresh cluster in a temporary folder, reached only
// through the Unix socket in that folder, stopped when the object goes. The server refuses to
// run as root, so under root it runs as the system's "postgres" user.
class TestServer
{
public:
    TestServer();
    ~TestServer();
    TestServer(const TestServer &) = delete;
    TestServer &operator=(const TestServer &) = delete;

    bool running() const { return m_running; }
    // Why the server could not be started; empty when it runs.
    QString failure() const { return m_failure; }

    // A new empty database on the server, as a libpq keyword string.
    QString createDatabase(const QString &name);
    QString uri(const QString &database) const;
    // Runs SQL outside the program's layer; throws std::runtime_error on failure.
    void exec(const QString &database, const QString &sql) const;
    QString scalar(const QString &database, const QString &sql) const;

    // Also listens on 127.0.0.1 on a free port; returns the port, or 0 on failure.
    int listenOnTcp();
    // From now on every account but the administrator "quivel" signs in with its password
    // (scram-sha-256), on the socket and on 127.0.0.1, and every statement is logged.
    void requirePasswords();
    QString logPath() const;
    // Serves TLS with a PEM certificate and key; restarts the server. False on failure.
    bool useTls(const QString &certificate, const QString &key);
    void stop();
    bool start();

private:
    bool run(const QString &program, const QStringList &arguments, QString *output = nullptr);

    QTemporaryDir m_dir;
    QString m_binaries;
    QString m_data;
    QString m_asUser; // empty when the test runs unprivileged
    QString m_options;
    bool m_running = false;
    QString m_failure;
};

// Skips a test when no server can be started, except in CI where that is a failure.
#define QUIVEL_REQUIRE_SERVER(server)                                                              \
    do {                                                                                           \
        if (!(server).running()) {                                                                 \
            if (qEnvironmentVariable("CI") == QLatin1String("true"))                               \
                QFAIL(qPrintable((server).failure()));                                             \
            QSKIP(qPrintable((server).failure()));                                                 \
        }                                                                                          \
    } while (false)
