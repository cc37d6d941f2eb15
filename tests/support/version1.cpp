// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/version1.h"

#include <QFile>
#include <QStringList>

#include <sqlite3.h>

#include <stdexcept>

namespace {

// The first version's DDL as it wrote it, kept here as a fixture: the program's own schema
// has moved on since.
constexpr char version1Ddl[] = R"(CREATE TABLE cds (
  codigo INTEGER PRIMARY KEY AUTOINCREMENT,
  titulo VARCHAR(32) CHECK (length(titulo) <= 32),
  obs VARCHAR(255) CHECK (length(obs) <= 255),
  tipo VARCHAR(16) CHECK (length(tipo) <= 16),
  local VARCHAR(50) CHECK (length(local) <= 50)
);
CREATE TABLE softs (
  numero INTEGER PRIMARY KEY AUTOINCREMENT,
  nome VARCHAR(32) CHECK (length(nome) <= 32),
  descricao VARCHAR(255) CHECK (length(descricao) <= 255),
  midia INTEGER
);
CREATE INDEX softs_midia ON softs (midia);
PRAGMA user_version = 1;
)";

struct Database
{
    explicit Database(const QString &path)
    {
        if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db));
    }
    ~Database() { sqlite3_close(db); }
    void exec(const QString &sql) const
    {
        char *error = nullptr;
        if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string text = error ? error : "?";
            sqlite3_free(error);
            throw std::runtime_error(text);
        }
    }
    sqlite3 *db = nullptr;
};

QString quoted(const QString &text)
{
    return u'\'' + QString(text).replace(u'\'', QStringLiteral("''")) + u'\'';
}

} // namespace

void writeVersion1Copy(const QString &source, const QString &target)
{
    if (QFile::exists(target))
        throw std::runtime_error("the version-1 copy's file exists already");
    Database db(target);
    db.exec(QString::fromUtf8(version1Ddl));
    db.exec(QStringLiteral("ATTACH %1 AS novo; BEGIN;"
                           "INSERT INTO cds (codigo, titulo, obs, tipo, local) "
                           "SELECT codigo, titulo, obs, tipo, local FROM novo.cds ORDER BY codigo;"
                           "INSERT INTO softs (numero, nome, descricao, midia) "
                           "SELECT numero, nome, descricao, midia FROM novo.softs ORDER BY numero;"
                           "DELETE FROM main.sqlite_sequence;"
                           "INSERT INTO main.sqlite_sequence (name, seq) SELECT name, seq FROM "
                           "novo.sqlite_sequence WHERE name IN ('cds', 'softs');"
                           "COMMIT; DETACH novo;")
                .arg(quoted(source)));
}

QString tableDump(const QString &path, const QString &table, const QString &columns)
{
    Database db(path);
    QStringList quotedColumns;
    for (const QString &column : columns.split(u','))
        quotedColumns << QStringLiteral("quote(%1)").arg(column.trimmed());
    const QString sql = QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                            .arg(quotedColumns.join(QStringLiteral(" || '|' || ")), table,
                                 columns.section(u',', 0, 0));
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db.db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db.db));
    QString dump;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        dump +=
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
        dump += u'\n';
    }
    sqlite3_finalize(statement);
    return dump;
}
