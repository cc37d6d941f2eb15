// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engine/sqlite/sqlite_backend.h"

#include "core/exceptions.h"
#include "core/schema.h"
#include "data/engine/schema_objects.h"
#include "data/engine/sqlite/like.h"
#include "data/engine/sqlite/statement.h"

#include <QFile>

#include <QRegularExpression>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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

int waitForOtherWriter(void *watch, int attempt)
{
    return static_cast<EngineWatch *>(watch)->waitForWriter(attempt) ? 1 : 0;
}

int interruptWhenLate(void *watch)
{
    return static_cast<EngineWatch *>(watch)->goesOn() ? 0 : 1;
}

// A file another program left in WAL mode goes back to the rollback journal (see where the
// journal is chosen, in the backend's constructor) when this program may write it and no other
// program has it open; otherwise it stays as it is, which the engine handles too. Nobody is
// waited for: that would delay the start.
void leaveWalMode(sqlite3 *db, EngineWatch &watch)
{
    if (sqlite3_db_readonly(db, "main") != 0)
        return;
    sqlite3_busy_handler(db, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
    sqlite3_busy_handler(db, waitForOtherWriter, &watch);
}

// Declared types as the catalogue writes them: INTEGER, VARCHAR(n), TEXT, REAL.
void classify(const char *declared, RecordStore::Kind &kind, int &size)
{
    const QString decl = QString::fromUtf8(declared ? declared : "").toUpper();
    if (decl.contains(u"INT")) {
        kind = RecordStore::Kind::Integer;
        return;
    }
    if (decl.contains(u"REAL") || decl.contains(u"FLOA") || decl.contains(u"DOUB")) {
        kind = RecordStore::Kind::Real;
        return;
    }
    kind = RecordStore::Kind::Text;
    static const QRegularExpression sizePattern(QStringLiteral("\\((\\d+)\\)"));
    const auto match = sizePattern.match(decl);
    size = match.hasMatch() ? match.captured(1).toInt() : 0;
}

class SqliteStatement : public BackendStatement
{
public:
    SqliteStatement(sqlite3 *db, const QString &sql, const QString &path)
        : m_db(db)
        , m_statement(db, sql, path)
    {}

    void bind(int index, const QVariant &value) override { m_statement.bind(index, value); }
    void bind(const QString &name, const QVariant &value) override
    {
        m_statement.bind(name, value);
    }
    bool step() override { return m_statement.step(); }
    int execute() override { return m_statement.execute(); }
    int columnCount() const override { return m_statement.columnCount(); }
    QVariant value(int column) const override { return m_statement.value(column); }
    QByteArrayView utf8(int column, QByteArray &) const override
    {
        sqlite3_stmt *s = m_statement.handle();
        if (sqlite3_column_type(s, column) == SQLITE_NULL)
            return {};
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(s, column));
        return QByteArrayView(text, sqlite3_column_bytes(s, column));
    }
    void appendRow(RecordStore &store) override
    {
        sqlite3_stmt *s = m_statement.handle();
        for (int column = 0; column < store.columnCount(); ++column) {
            const int type = sqlite3_column_type(s, column);
            if (type == SQLITE_NULL) {
                store.appendNullCell(column);
                continue;
            }
            const RecordStore::Kind kind = store.kind(column);
            if (type == SQLITE_INTEGER && kind != RecordStore::Kind::Text) {
                store.appendIntegerCell(column, sqlite3_column_int64(s, column));
                continue;
            }
            if (type == SQLITE_FLOAT && kind == RecordStore::Kind::Real) {
                store.appendRealCell(column, sqlite3_column_double(s, column));
                continue;
            }
            // Text as the engine writes it, for text columns and for any value that does not
            // fit a number column.
            const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(s, column));
            store.appendUtf8Cell(column, data, data ? size_t(sqlite3_column_bytes(s, column)) : 0);
        }
        store.endRow();
    }

    ResultColumn column(int i) const override
    {
        sqlite3_stmt *s = m_statement.handle();
        ResultColumn c;
        c.name = QString::fromUtf8(sqlite3_column_name(s, i));
        const char *table = sqlite3_column_table_name(s, i);
        const char *origin = sqlite3_column_origin_name(s, i);
        c.table = QString::fromUtf8(table ? table : "");
        c.origin = QString::fromUtf8(origin ? origin : "");
        classify(sqlite3_column_decltype(s, i), c.kind, c.size);
        if (table && origin) {
            int primaryKey = 0;
            int autoInc = 0;
            if (sqlite3_table_column_metadata(m_db, nullptr, table, origin, nullptr, nullptr,
                                              nullptr, &primaryKey, &autoInc) == SQLITE_OK &&
                primaryKey && c.kind == RecordStore::Kind::Integer)
                c.key = true;
        }
        return c;
    }

private:
    sqlite3 *m_db;
    Statement m_statement;
};

} // namespace

SqliteBackend::SqliteBackend(const QString &path, EngineWatch &watch)
    : m_path(path)
{
    checkCatalogueFile(path);

    // The program reaches its catalogue from one thread only, so the engine's lock on every
    // call to the connection is pure cost.
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &m_db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString text =
            m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(m_db);
        throw EOleException(
            QStringLiteral("Não foi possível abrir o catálogo '%1' (%2)").arg(path, text));
    }
    sqlite3_extended_result_codes(m_db, 1);
    // The wait runs on the interface thread: the watch shows it and keeps windows painted.
    sqlite3_busy_handler(m_db, waitForOtherWriter, &watch);
    // Views and triggers of a file made elsewhere may call no function with side effects.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_progress_handler(m_db, 1000, interruptWhenLate, &watch);
    registerLike(m_db, [&watch] { return watch.goesOn(); });

    // Reading the schema makes the engine look at the whole header now, not at first use.
    int version = 0;
    try {
        Statement statement(m_db, QStringLiteral("PRAGMA user_version"), path);
        if (statement.step())
            version = int(statement.integer(0));
        checkTablesArePlain(m_db, path);
        sizePageCache(m_db, path);
        // The rollback journal keeps the catalogue one file, which read-only media and
        // network folders handle; WAL needs its companion files writable and shared memory
        // that network folders do not give. EXTRA syncs the folder once the journal is
        // deleted, so a power cut right after a save cannot bring the journal back and undo
        // the save.
        Statement(m_db, QStringLiteral("PRAGMA synchronous = EXTRA"), path).execute();
    } catch (const Exception &) {
        sqlite3_close(m_db);
        throw;
    }
    if (version > Schema::version) {
        sqlite3_close(m_db);
        throw EOleException(QStringLiteral("O catálogo '%1' foi criado por uma versão mais nova "
                                           "do Quivel e não pode ser aberto por esta")
                                .arg(path));
    }
    // The program and its launcher upgrade a file before it gets here; one that is still
    // older (opened some other way) lacks what the windows read.
    if (version < Schema::version) {
        sqlite3_close(m_db);
        throw EOleException(QStringLiteral("O catálogo '%1' é da versão %2, anterior a esta do "
                                           "Quivel; atualize-o com o comando: quivel-catalogue "
                                           "upgrade \"%1\"")
                                .arg(path)
                                .arg(version));
    }
    // Once the reads above are finished, and only in a file the program uses: the change needs
    // the file to itself.
    leaveWalMode(m_db, watch);
}

SqliteBackend::~SqliteBackend()
{
    sqlite3_close_v2(m_db);
}

std::unique_ptr<BackendStatement> SqliteBackend::prepare(const QString &sql)
{
    return std::make_unique<SqliteStatement>(m_db, sql, m_path);
}

void SqliteBackend::run(const QString &sql)
{
    const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw EngineError(rc, QString::fromUtf8(sqlite3_errmsg(m_db)), m_path, true);
}

bool SqliteBackend::inTransaction() const
{
    return !sqlite3_get_autocommit(m_db);
}

QString SqliteBackend::writeRefusal(const QString &table)
{
    return SchemaObjects::writeRefusal(SchemaObjects::inspectFile(m_db, m_path), table, m_path);
}
