// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engine/backend.h"

#include "core/exceptions.h"
#include "data/engine/postgres/postgres_backend.h"
#include "data/engine/sqlite/sqlite_backend.h"

#include <QLibrary>

namespace {

// libpq is loaded when a server catalogue is first opened, not at start-up
// (cmake/LazyLibrary.cmake): its absence is told here, where an error can still be shown.
void loadServerLibrary()
{
    static QLibrary library(QStringLiteral("pq"), 5);
    if (!library.isLoaded() && !library.load())
        throw EOleException(
            QStringLiteral("Não foi possível carregar a biblioteca do PostgreSQL (libpq): %1")
                .arg(library.errorString()));
}

} // namespace

SignInCancelled::SignInCancelled()
    : EOleException(QStringLiteral("A entrada no catálogo foi cancelada"))
{}

std::unique_ptr<Backend> Backend::open(const QString &connectionString,
                                       const QString &dataSourcePath, EngineWatch &watch)
{
    if (namesServer(connectionString)) {
        loadServerLibrary();
        return std::make_unique<PostgresBackend>(connectionString, watch);
    }
    const QString path =
        dataSourcePath.isEmpty() ? Backend::dataSourcePath(connectionString) : dataSourcePath;
    if (path.isEmpty())
        throw EOleException(
            QStringLiteral("A cadeia de conexão não indica o arquivo do catálogo (Data Source)"));
    return std::make_unique<SqliteBackend>(path, watch);
}

bool Backend::namesServer(const QString &connectionString)
{
    const QString s = connectionString.trimmed();
    if (s.startsWith(QStringLiteral("postgresql://")) ||
        s.startsWith(QStringLiteral("postgres://")))
        return true;
    // The file's strings are "key=value;" pieces; libpq's keyword strings never hold a ';'.
    // A file's name may hold a '=' ("cat=2024.mdb"): only what libpq reads as its own keywords,
    // and is not one word ending like a catalogue file, names a server.
    if (s.contains(u';') || !s.contains(u'='))
        return false;
    static const QStringList fileEndings{QStringLiteral(".mdb"), QStringLiteral(".db"),
                                         QStringLiteral(".sqlite"), QStringLiteral(".qvl")};
    for (const QString &ending : fileEndings) {
        if (!s.contains(u' ') && s.endsWith(ending, Qt::CaseInsensitive))
            return false;
    }
    return PostgresBackend::isKeywordString(s);
}

QString Backend::dataSourcePath(const QString &connectionString)
{
    static const QString key = QStringLiteral("Data Source=");
    const qsizetype start = connectionString.indexOf(key, 0, Qt::CaseInsensitive);
    if (start < 0)
        return {};
    const qsizetype from = start + key.size();
    const qsizetype end = connectionString.indexOf(u';', from);
    return connectionString.mid(from, end < 0 ? -1 : end - from);
}
