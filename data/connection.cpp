// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/connection.h"

#include "data/exceptions.h"
#include "data/like.h"
#include "data/postgres_backend.h"
#include "data/schema.h"
#include "data/sqlite_backend.h"
#include "data/statement.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace {

// How long a writer waits for another copy of the program to finish its write.
constexpr int busyTimeoutMs = 5000;

// Looks at the file before the engine does, so each kind of wrong file gets its own message.
void checkCatalogueFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw EOleException(QStringLiteral("Não foi possível encontrar o arquivo '%1'").arg(path));
    if (info.isDir())
        throw EOleException(
            QStringLiteral("'%1' é uma pasta, não um arquivo de catálogo").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EOleException(QStringLiteral("Sem permissão para ler o arquivo '%1'").arg(path));
    const QByteArray header = file.read(100);
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
    const QString path = dataSourcePath(m_connectionString);
    if (path.isEmpty())
        throw EOleException(
            QStringLiteral("A cadeia de conexão não indica o arquivo do catálogo (Data Source)"));
    checkCatalogueFile(path);

    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        const QString text =
            db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(db);
        throw EOleException(
            QStringLiteral("Não foi possível abrir o catálogo '%1' (%2)").arg(path, text));
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, busyTimeoutMs);
    registerLike(db);

    // Reading the schema makes the engine look at the whole header now, not at first use.
    int version = 0;
    try {
        Statement statement(db, QStringLiteral("PRAGMA user_version"), path);
        if (statement.step())
            version = int(statement.integer(0));
    } catch (const EngineError &) {
        sqlite3_close(db);
        throw;
    }
    if (version > Schema::version) {
        sqlite3_close(db);
        throw EOleException(QStringLiteral("O catálogo '%1' foi criado por uma versão mais nova "
                                           "do Quivel e não pode ser aberto por esta")
                                .arg(path));
    }
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

void TADOConnection::close()
{
    m_backend.reset();
    if (!m_db)
        return;
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}
