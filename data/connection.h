// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "data/engine/backend.h"

class TADOQuery;

enum class TCursorLocation { UseClient, UseServer };
enum class TConnectMode {
    Unknown,
    Read,
    Write,
    ReadWrite,
    ShareDenyRead,
    ShareDenyWrite,
    ShareExclusive,
    ShareDenyNone
};

// The one connection to the catalogue. A file is named by the "Data Source=" piece of the
// connection string; it is opened read-write (read-only when the file is write protected)
// and never created. A libpq URI or keyword string names a catalogue on a server instead.
class TADOConnection : public QObject, public EngineWatch
{
    Q_OBJECT

public:
    explicit TADOConnection(QObject *parent = nullptr);
    ~TADOConnection() override;

    QString connectionString() const { return m_connectionString; }
    // Only while not connected.
    void setConnectionString(const QString &connectionString);
    // The same, with the catalogue's path as it was put into the string: a path may itself
    // hold ";" or "=", which no reading of the string can tell from the pieces around it.
    void setConnectionString(const QString &connectionString, const QString &dataSourcePath);

    void open();
    void close();

    // Asks the user for a server account and password (EngineWatch::signIn); set by the
    // program, which owns the windows. Without it, only what libpq finds is tried.
    using SignIn = std::function<bool(const QString &server, const QString &reason, QString &user,
                                      QByteArray &password)>;
    static void setSignIn(SignIn signIn);
    bool signIn(const QString &server, const QString &reason, QString &user,
                QByteArray &password) override;
    // The server account in use; empty for a file or when closed.
    QString account() const { return m_backend ? m_backend->account() : QString(); }
    void changeOwnPassword(const QByteArray &password);
    // Throws the read-only account's message when the account may not change the catalogue.
    void checkMayWrite();
    bool connected() const { return m_backend != nullptr; }

    TCursorLocation cursorLocation = TCursorLocation::UseClient;
    bool loginPrompt = true;
    TConnectMode mode = TConnectMode::Unknown;
    QString provider;
    bool keepConnection = true;

    // Longest time one statement may run before the engine interrupts it, so that no file,
    // however made, can freeze the program.
    int statementTimeLimitMs = 20000;

    // Gives the statements run while it lives the time limit above.
    class StatementTimer
    {
    public:
        explicit StatementTimer(TADOConnection &connection);
        ~StatementTimer();
        StatementTimer(const StatementTimer &) = delete;
        StatementTimer &operator=(const StatementTimer &) = delete;

    private:
        TADOConnection &m_connection;
        QDeadlineTimer m_previous;
    };
    bool pastDeadline() const { return m_deadline.hasExpired(); }

    // While set, asked now and then as a statement runs; false interrupts the statement.
    void setProgressCheck(std::function<bool()> check) { m_progressCheck = std::move(check); }
    // Whether the running statement may go on: within its time limit and not stopped.
    bool goesOn() override { return !pastDeadline() && (!m_progressCheck || m_progressCheck()); }

    // A statement with a progress check is running: the engine forbids running another on
    // the connection from inside its check.
    bool statementRunning() const { return bool(m_progressCheck); }

    // Queries still reading a result (TADOQuery::openGradually). A write reads them to the
    // end first, so a pending read never sees the connection's own changes.
    void addPendingRead(TADOQuery *query);
    void removePendingRead(TADOQuery *query);
    void completePendingReads();

    // A statement waiting for another program to finish its write: told when the wait
    // starts, at every moment of it (about 50 times a second) and when it ends, so the
    // interface can show it and keep painting. One observer for every connection.
    enum class Wait { Started, Waiting, Ended };
    static void setWaitObserver(std::function<void(Wait)> observer);
    bool waitForWriter(int attempt) override;

    // Whether a statement is under way: a change heard now waits until it ends.
    bool busy() const { return statementRunning() || !m_deadline.isForever(); }
    void changesHeard() override;

    // A condition: `text` matches the LIKE `pattern` whatever the case and accents.
    QString accentFreeLike(const QString &text, const QString &pattern) const;
    // For the data-access layer: the open engine, file or server.
    Backend &backend() const { return *m_backend; }
    QString path() const { return m_path; }

Q_SIGNALS:
    // Other programs changed the catalogue (a server's only: a file is not watched). Sent from
    // the event loop, never while a statement runs, so the receiver may read at once.
    void catalogueChanged(const QList<CatalogueChange> &changes);

private:
    // Follows the engine's socket for changes: a reconnection gives it another.
    void watchChanges();
    void deliverChanges();

    std::unique_ptr<Backend> m_backend;
    std::unique_ptr<QSocketNotifier> m_changeNotifier;
    QList<CatalogueChange> m_heard; // taken from the engine, not yet sent
    bool m_deliveryQueued = false;
    QString m_connectionString;
    QString m_dataSourcePath; // empty: read from the "Data Source=" piece
    QString m_path;
    QDeadlineTimer m_deadline{QDeadlineTimer::Forever};
    std::function<bool()> m_progressCheck;
    std::vector<TADOQuery *> m_pendingReads;
    QElapsedTimer m_waiting; // valid while a statement waits for another writer
    void endWait();
};
