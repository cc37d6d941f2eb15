// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/connection.h"

#include "core/exceptions.h"
#include "data/engine/backend.h"
#include "data/query.h"

#include <QThread>
#include <QTimer>

#include <algorithm>

namespace {

// How long a writer waits for another copy of the program to finish its write.
constexpr int busyTimeoutMs = 5000;
constexpr int busyPollMs = 20;
// How soon changes heard while a statement ran are looked at again.
constexpr int changeRetryMs = 50;

std::function<void(TADOConnection::Wait)> &waitObserver()
{
    static std::function<void(TADOConnection::Wait)> observer;
    return observer;
}

} // namespace

TADOConnection::TADOConnection(QObject *parent)
    : QObject(parent)
{}

TADOConnection::~TADOConnection()
{
    close();
}

void TADOConnection::setConnectionString(const QString &connectionString)
{
    if (connected())
        throw EDatabaseError(QStringLiteral("Operation not allowed on an open connection"));
    m_connectionString = connectionString;
    m_dataSourcePath.clear();
}

void TADOConnection::setConnectionString(const QString &connectionString,
                                         const QString &dataSourcePath)
{
    setConnectionString(connectionString);
    m_dataSourcePath = dataSourcePath;
}

void TADOConnection::open()
{
    if (connected())
        return;
    // A file made to hang its reader is given up on like any statement.
    const StatementTimer timer(*this);
    m_backend = Backend::open(m_connectionString, m_dataSourcePath, *this);
    m_path = m_backend->displayName();
    watchChanges();
}

void TADOConnection::watchChanges()
{
    const int socket = m_backend ? m_backend->changeSocket() : -1;
    if (m_changeNotifier && int(m_changeNotifier->socket()) == socket)
        return;
    if (m_changeNotifier) {
        // This may run from the notifier's own signal.
        m_changeNotifier->setEnabled(false);
        m_changeNotifier.release()->deleteLater();
    }
    if (socket < 0)
        return;
    m_changeNotifier = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
    connect(m_changeNotifier.get(), &QSocketNotifier::activated, this, [this] {
        // Read at once, even while a statement runs, so the socket does not stay readable.
        for (CatalogueChange &change : m_backend->takeChanges())
            m_heard.append(std::move(change));
        if (!m_heard.isEmpty())
            changesHeard();
        else
            watchChanges();
    });
}

void TADOConnection::changesHeard()
{
    if (m_deliveryQueued)
        return;
    m_deliveryQueued = true;
    QMetaObject::invokeMethod(this, &TADOConnection::deliverChanges, Qt::QueuedConnection);
}

void TADOConnection::deliverChanges()
{
    m_deliveryQueued = false;
    if (!m_backend)
        return;
    if (busy()) {
        // Asked from inside a statement's progress report: after the statement, then.
        m_deliveryQueued = true;
        QTimer::singleShot(changeRetryMs, this, &TADOConnection::deliverChanges);
        return;
    }
    for (CatalogueChange &change : m_backend->takeChanges())
        m_heard.append(std::move(change));
    watchChanges();
    if (m_heard.isEmpty())
        return;
    Q_EMIT catalogueChanged(std::exchange(m_heard, {}));
}

namespace {
TADOConnection::SignIn &signInHook()
{
    static TADOConnection::SignIn hook;
    return hook;
}
} // namespace

void TADOConnection::setSignIn(SignIn signIn)
{
    signInHook() = std::move(signIn);
}

bool TADOConnection::signIn(const QString &server, const QString &reason, QString &user,
                            QByteArray &password)
{
    // The user's typing has no time limit.
    m_deadline = QDeadlineTimer::Forever;
    const bool given = signInHook() && signInHook()(server, reason, user, password);
    m_deadline = QDeadlineTimer(statementTimeLimitMs);
    return given;
}

void TADOConnection::changeOwnPassword(const QByteArray &password)
{
    if (!m_backend)
        throw EOleException(QStringLiteral("O catálogo não está aberto"));
    const StatementTimer timer(*this);
    m_backend->changeOwnPassword(password);
}

void TADOConnection::checkMayWrite()
{
    if (!m_backend)
        return;
    const StatementTimer timer(*this);
    if (!m_backend->mayWrite())
        throw EOleException(readOnlyAccountText());
}

TADOConnection::StatementTimer::StatementTimer(TADOConnection &connection)
    : m_connection(connection)
    , m_previous(connection.m_deadline)
{
    m_connection.m_deadline = QDeadlineTimer(m_connection.statementTimeLimitMs);
}

TADOConnection::StatementTimer::~StatementTimer()
{
    m_connection.m_deadline = m_previous;
    m_connection.endWait();
    // A statement may have reconnected to the server, on another socket.
    if (m_connection.m_changeNotifier)
        m_connection.watchChanges();
}

void TADOConnection::setWaitObserver(std::function<void(Wait)> observer)
{
    waitObserver() = std::move(observer);
}

bool TADOConnection::waitForWriter(int attempt)
{
    if (attempt == 0 || !m_waiting.isValid()) {
        m_waiting.start();
        if (waitObserver())
            waitObserver()(Wait::Started);
    }
    if (m_waiting.elapsed() >= busyTimeoutMs)
        return false;
    QThread::msleep(busyPollMs);
    if (waitObserver())
        waitObserver()(Wait::Waiting);
    return true;
}

void TADOConnection::endWait()
{
    if (!m_waiting.isValid())
        return;
    m_waiting.invalidate();
    if (waitObserver())
        waitObserver()(Wait::Ended);
}

void TADOConnection::addPendingRead(TADOQuery *query)
{
    m_pendingReads.push_back(query);
}

void TADOConnection::removePendingRead(TADOQuery *query)
{
    std::erase(m_pendingReads, query);
}

void TADOConnection::completePendingReads()
{
    // Each completion takes its query off the list, or closes it on failure.
    while (!m_pendingReads.empty())
        m_pendingReads.back()->completeRead();
}

void TADOConnection::close()
{
    // A statement must not outlive its engine. A read that fails here has closed its query,
    // so nothing shows a partial result as complete; closing goes on.
    while (!m_pendingReads.empty()) {
        try {
            m_pendingReads.back()->completeRead();
        } catch (...) {
        }
    }
    m_changeNotifier.reset();
    m_heard.clear();
    m_backend.reset();
}

QString TADOConnection::accentFreeLike(const QString &text, const QString &pattern) const
{
    if (!m_backend)
        throw EOleException(QStringLiteral("O catálogo não está aberto"));
    return m_backend->accentFreeLike(text, pattern);
}
