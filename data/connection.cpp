// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/connection.h"

#include "data/exceptions.h"
#include "data/like.h"
#include "data/postgres_backend.h"
#include "data/query.h"
#include "data/schema.h"
#include "data/sqlite_backend.h"
#include "data/statement.h"

#include <QFile>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How long a writer waits for another copy of the program to finish its write.
constexpr int busyTimeoutMs = 5000;

// Looks at the file before the engine does, so each kind of wrong file gets its own message
// and nothing but a regular file is ever opened: a FIFO would block the open, a device would
// be read without end.
void checkCatalogueFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::stat(name.constData(), &info) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            throw EOleException(
                QStringLiteral("Não foi possível encontrar o arquivo '%1'").arg(path));
        if (error == ELOOP)
            throw EOleException(QStringLiteral("'%1' é um link simbólico que leva a si mesmo; "
                                               "não é um catálogo do Quivel")
                                    .arg(path));
        throw EOleException(QStringLiteral("Não foi possível ler o arquivo '%1' (%2)")
                                .arg(path, QString::fromLocal8Bit(std::strerror(error))));
    }
    if (S_ISDIR(info.st_mode))
        throw EOleException(
            QStringLiteral("'%1' é uma pasta, não um arquivo de catálogo").arg(path));
    if (!S_ISREG(info.st_mode))
        throw EOleException(QStringLiteral("'%1' não é um arquivo comum (é um dispositivo, um "
                                           "FIFO ou um soquete); não é um catálogo do Quivel")
                                .arg(path));
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw EOleException(QStringLiteral("Sem permissão para ler o arquivo '%1'").arg(path));
    QByteArray header(100, '\0');
    // Checked again on the open file, in case the name was swapped meanwhile.
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    const ssize_t got = regular ? ::read(fd, header.data(), size_t(header.size())) : -1;
    ::close(fd);
    if (!regular || got < 0)
        throw EOleException(QStringLiteral("Não foi possível ler o arquivo '%1'").arg(path));
    header.truncate(got);
    if (header.isEmpty())
        throw EOleException(
            QStringLiteral("O arquivo '%1' está vazio; não é um catálogo do Quivel").arg(path));
    const QByteArray jetSignature = header.mid(4, 15);
    if (jetSignature == "Standard Jet DB" || jetSignature == "Standard ACE DB") {
        throw EOleException(
            QStringLiteral("O arquivo '%1' é um catálogo no formato antigo (Access/Jet). Para "
                           "usá-lo nesta versão, converta-o com o comando: "
                           "quivel-catalogue convert \"%1\"")
                .arg(path));
    }
    if (!header.startsWith(QByteArrayView("SQLite format 3\0", 16)) || header.size() < 100)
        throw EOleException(QStringLiteral("O arquivo '%1' não é um catálogo do Quivel").arg(path));
}

// The catalogue's tables must be plain tables: a view or a virtual table in their place could
// make every read endless.
void checkTablesArePlain(sqlite3 *db, const QString &path)
{
    Statement statement(db,
                        QStringLiteral("SELECT name FROM sqlite_schema WHERE name = ?1 COLLATE "
                                       "NOCASE AND (type <> 'table' OR upper(substr(sql, 1, 14)) "
                                       "= 'CREATE VIRTUAL')"),
                        path);
    for (const Schema::Table &table : Schema::tables) {
        statement.bind(1, Schema::name(table.name));
        if (statement.step())
            throw EOleException(QStringLiteral("O arquivo '%1' não é um catálogo do Quivel: '%2' "
                                               "não é uma tabela")
                                    .arg(path, statement.text(0)));
        statement.reset();
    }
}

std::function<void(TADOConnection::Wait)> &waitObserver()
{
    static std::function<void(TADOConnection::Wait)> observer;
    return observer;
}

int waitForOtherWriter(void *connection, int attempt)
{
    return static_cast<TADOConnection *>(connection)->waitForWriter(attempt);
}

int interruptWhenLate(void *connection)
{
    return static_cast<TADOConnection *>(connection)->goesOn() ? 0 : 1;
}

// Room for the media table in the engine's page cache, and some to spare: the software report's
// join visits a medium for each title in no useful order, and thrashes a cache that cannot hold
// them all. The titles are read in order, so caching more of them buys nothing, and a cache the
// size of the whole catalogue holds that much memory for as long as the program runs.
void sizePageCache(sqlite3 *db, const QString &path)
{
    constexpr qint64 defaultKiB = 2000;
    constexpr qint64 largestKiB = 512 * 1024;
    qint64 mediaKiB = 0;
    try {
        Statement statement(db,
                            QStringLiteral("SELECT sum(pgsize) FROM dbstat WHERE name = '%1' "
                                           "AND aggregate = 1")
                                .arg(Schema::name(Schema::media.name)),
                            path);
        if (statement.step())
            mediaKiB = statement.integer(0) / 1024;
    } catch (const Exception &) {
        // An engine built without its page statistics keeps the default cache.
    }
    const qint64 kib = std::clamp(mediaKiB + mediaKiB / 2 + defaultKiB, defaultKiB, largestKiB);
    const QByteArray pragma = "PRAGMA cache_size = -" + QByteArray::number(kib);
    sqlite3_exec(db, pragma.constData(), nullptr, nullptr, nullptr);
}

// A file another program left in WAL mode goes back to the rollback journal (see where the
// journal is chosen, in TADOConnection::open) when this program may write it and no other
// program has it open; otherwise it stays as it is, which the engine handles too. Nobody is
// waited for: that would delay the start.
void leaveWalMode(sqlite3 *db, TADOConnection *connection)
{
    if (sqlite3_db_readonly(db, "main") != 0)
        return;
    sqlite3_busy_handler(db, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
    sqlite3_busy_handler(db, waitForOtherWriter, connection);
}

} // namespace

void throwEngineError(sqlite3 *db, int resultCode, const QString &path)
{
    const QString engineText =
        db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(resultCode));
    throw EngineError(resultCode, engineText, path);
}

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

QString TADOConnection::dataSourcePath(const QString &connectionString)
{
    static const QString key = QStringLiteral("Data Source=");
    const qsizetype start = connectionString.indexOf(key, 0, Qt::CaseInsensitive);
    if (start < 0)
        return {};
    const qsizetype from = start + key.size();
    const qsizetype end = connectionString.indexOf(u';', from);
    return connectionString.mid(from, end < 0 ? -1 : end - from);
}

void TADOConnection::open()
{
    if (connected())
        return;
    if (PostgresBackend::isServerString(m_connectionString)) {
        openServer();
        return;
    }
    const QString path =
        m_dataSourcePath.isEmpty() ? dataSourcePath(m_connectionString) : m_dataSourcePath;
    if (path.isEmpty())
        throw EOleException(
            QStringLiteral("A cadeia de conexão não indica o arquivo do catálogo (Data Source)"));
    checkCatalogueFile(path);

    // The program reaches its catalogue from one thread only, so the engine's lock on every
    // call to the connection is pure cost.
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString text =
            db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(db);
        throw EOleException(
            QStringLiteral("Não foi possível abrir o catálogo '%1' (%2)").arg(path, text));
    }
    sqlite3_extended_result_codes(db, 1);
    // The wait runs on the interface thread: the observer shows it and keeps windows painted.
    sqlite3_busy_handler(db, waitForOtherWriter, this);
    // Views and triggers of a file made elsewhere may call no function with side effects.
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_progress_handler(db, 1000, interruptWhenLate, this);
    registerLike(db, [this] { return goesOn(); });

    // Reading the schema makes the engine look at the whole header now, not at first use.
    int version = 0;
    try {
        const StatementTimer timer(*this);
        Statement statement(db, QStringLiteral("PRAGMA user_version"), path);
        if (statement.step())
            version = int(statement.integer(0));
        checkTablesArePlain(db, path);
        sizePageCache(db, path);
        // The rollback journal keeps the catalogue one file, which read-only media and
        // network folders handle; WAL needs its companion files writable and shared memory
        // that network folders do not give. EXTRA syncs the folder once the journal is
        // deleted, so a power cut right after a save cannot bring the journal back and undo
        // the save.
        Statement(db, QStringLiteral("PRAGMA synchronous = EXTRA"), path).execute();
    } catch (const Exception &) {
        sqlite3_close(db);
        throw;
    }
    if (version > Schema::version) {
        sqlite3_close(db);
        throw EOleException(QStringLiteral("O catálogo '%1' foi criado por uma versão mais nova "
                                           "do Quivel e não pode ser aberto por esta")
                                .arg(path));
    }
    // Once the reads above are finished, and only in a file the program uses: the change needs
    // the file to itself.
    leaveWalMode(db, this);
    m_db = db;
    m_path = path;
    m_backend = std::make_unique<SqliteBackend>(db, path);
}

void TADOConnection::openServer()
{
    auto backend = std::make_unique<PostgresBackend>(m_connectionString);
    m_path = backend->displayName();
    m_backend = std::move(backend);
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

int TADOConnection::waitForWriter(int attempt)
{
    if (attempt == 0 || !m_waiting.isValid()) {
        m_waiting.start();
        if (waitObserver())
            waitObserver()(Wait::Started);
    }
    if (m_waiting.elapsed() >= busyTimeoutMs)
        return 0;
    sqlite3_sleep(20);
    if (waitObserver())
        waitObserver()(Wait::Waiting);
    return 1;
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
    if (!m_db)
        return;
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}
