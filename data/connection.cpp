// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/connection.h"

#include "core/exceptions.h"
#include "data/engine/backend.h"
#include "data/query.h"

#include <QThread>

#include <algorithm>

namespace {

// How long a writer waits for another copy of the program to finish its write.
constexpr int busyTimeoutMs = 5000;
constexpr int busyPollMs = 20;

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
    m_backend.reset();
}

QString TADOConnection::accentFreeLike(const QString &text, const QString &pattern) const
{
    if (!m_backend)
        throw EOleException(QStringLiteral("O catálogo não está aberto"));
    return m_backend->accentFreeLike(text, pattern);
}
