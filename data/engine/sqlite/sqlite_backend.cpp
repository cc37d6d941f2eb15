// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engine/sqlite/sqlite_backend.h"

#include "core/exceptions.h"
#include "core/schema.h"
#include "data/engine/schema_objects.h"
#include "data/engine/sqlite/like.h"
#include "data/engine/sqlite/sqlite_file.h"
#include "data/engine/sqlite/statement.h"

#include <QFile>

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
void checkTablesArePlain(SqliteFile &file)
{
    Statement statement(file,
                        QStringLiteral("SELECT name FROM sqlite_schema WHERE name = ?1 COLLATE "
                                       "NOCASE AND (type <> 'table' OR upper(substr(sql, 1, 14)) "
                                       "= 'CREATE VIRTUAL')"));
    for (const Schema::Table &table : Schema::tables) {
        statement.bind(1, Schema::name(table.name));
        if (statement.step())
            throw EOleException(QStringLiteral("O arquivo '%1' não é um catálogo do Quivel: '%2' "
                                               "não é uma tabela")
                                    .arg(file.path(), statement.text(0)));
        statement.reset();
    }
}

// Room for the media table in the engine's page cache, and some to spare: the software report's
// join visits a medium for each title in no useful order, and thrashes a cache that cannot hold
// them all. The titles are read in order, so caching more of them buys nothing, and a cache the
// size of the whole catalogue holds that much memory for as long as the program runs.
void sizePageCache(SqliteFile &file)
{
    constexpr qint64 defaultKiB = 2000;
    constexpr qint64 largestKiB = 512 * 1024;
    qint64 mediaKiB = 0;
    try {
        Statement statement(file, QStringLiteral("SELECT sum(pgsize) FROM dbstat WHERE name = '%1' "
                                                 "AND aggregate = 1")
                                      .arg(Schema::name(Schema::media.name)));
        if (statement.step())
            mediaKiB = statement.integer(0) / 1024;
    } catch (const Exception &) {
        // An engine built without its page statistics keeps the default cache.
    }
    const qint64 kib = std::clamp(mediaKiB + mediaKiB / 2 + defaultKiB, defaultKiB, largestKiB);
    file.run(QStringLiteral("PRAGMA cache_size = -%1").arg(kib));
}

int waitForOtherWriter(void *watch, int attempt)
{
    return static_cast<EngineWatch *>(watch)->waitForWriter(attempt) ? 1 : 0;
}

// A file another program left in WAL mode goes back to the rollback journal (see where the
// journal is chosen, in the backend's constructor) when this program may write it and no other
// program has it open; otherwise it stays as it is, which the engine handles too. Nobody is
// waited for: that would delay the start.
void leaveWalMode(SqliteFile &file, EngineWatch &watch)
{
    if (file.isReadOnly())
        return;
    sqlite3_busy_handler(file.handle(), nullptr, nullptr);
    try {
        file.run(QStringLiteral("PRAGMA journal_mode = DELETE"));
    } catch (const Exception &) {
        // Another program has the file open: it stays in WAL mode.
    }
    sqlite3_busy_handler(file.handle(), waitForOtherWriter, &watch);
}

// The n of the first "(n)" in a declared type, 0 if none. A scan, not a regular expression:
// compiling one cost the program's start a fifth of a millisecond.
int declaredSize(QStringView decl)
{
    for (qsizetype open = decl.indexOf(u'('); open >= 0; open = decl.indexOf(u'(', open + 1)) {
        qsizetype end = open + 1;
        while (end < decl.size() && decl[end] >= u'0' && decl[end] <= u'9')
            ++end;
        if (end > open + 1 && end < decl.size() && decl[end] == u')')
            return decl.sliced(open + 1, end - open - 1).toInt();
    }
    return 0;
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
    size = declaredSize(decl);
}

class SqliteStatement : public BackendStatement
{
public:
    SqliteStatement(SqliteFile &file, const QString &sql)
        : m_file(file)
        , m_statement(file, sql)
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
        return m_statement.utf8(column);
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
        if (table && origin && c.kind == RecordStore::Kind::Integer)
            c.key = m_file.columnFacts(c.table, c.origin).primaryKey;
        return c;
    }

private:
    SqliteFile &m_file;
    Statement m_statement;
};

} // namespace

SqliteBackend::SqliteBackend(const QString &path, EngineWatch &watch)
    : m_path(path)
{
    checkCatalogueFile(path);
    m_file = std::make_unique<SqliteFile>(path, SqliteFile::Option::OneThread |
                                                    SqliteFile::Option::UntrustedSchema);
    sqlite3 *db = m_file->handle();
    // The wait runs on the interface thread: the watch shows it and keeps windows painted.
    sqlite3_busy_handler(db, waitForOtherWriter, &watch);
    m_file->stopWhen([&watch] { return !watch.goesOn(); });
    registerLike(db, [&watch] { return watch.goesOn(); });

    // Reading the schema makes the engine look at the whole header now, not at first use.
    const int version = m_file->userVersion();
    checkTablesArePlain(*m_file);
    sizePageCache(*m_file);
    // The rollback journal keeps the catalogue one file, which read-only media and network
    // folders handle; WAL needs its companion files writable and shared memory that network
    // folders do not give. EXTRA syncs the folder once the journal is deleted, so a power cut
    // right after a save cannot bring the journal back and undo the save.
    Statement(*m_file, QStringLiteral("PRAGMA synchronous = EXTRA")).execute();
    if (version > Schema::version) {
        throw EOleException(QStringLiteral("O catálogo '%1' foi criado por uma versão mais nova "
                                           "do Quivel e não pode ser aberto por esta")
                                .arg(path));
    }
    // The program and its launcher upgrade a file before it gets here; one that is still
    // older (opened some other way) lacks what the windows read.
    if (version < Schema::version) {
        throw EOleException(QStringLiteral("O catálogo '%1' é da versão %2, anterior a esta do "
                                           "Quivel; atualize-o com o comando: quivel-catalogue "
                                           "upgrade \"%1\"")
                                .arg(path)
                                .arg(version));
    }
    // Once the reads above are finished, and only in a file the program uses: the change needs
    // the file to itself.
    leaveWalMode(*m_file, watch);
}

SqliteBackend::~SqliteBackend() = default;

std::unique_ptr<BackendStatement> SqliteBackend::prepare(const QString &sql)
{
    return std::make_unique<SqliteStatement>(*m_file, sql);
}

void SqliteBackend::run(const QString &sql)
{
    m_file->run(sql);
}

bool SqliteBackend::inTransaction() const
{
    return m_file->inTransaction();
}

QString SqliteBackend::writeRefusal(const QString &table)
{
    return SchemaObjects::writeRefusal(SchemaObjects::inspectFile(*m_file), table, m_path);
}
