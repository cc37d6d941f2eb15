// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/sqlite_backend.h"

#include "data/statement.h"

#include <QRegularExpression>

#include <sqlite3.h>

namespace {

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
    void appendRow(RecordStore &store) override { store.appendFromStatement(m_statement.handle()); }

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

SqliteBackend::SqliteBackend(sqlite3 *db, const QString &path)
    : m_db(db)
    , m_path(path)
{}

std::unique_ptr<BackendStatement> SqliteBackend::prepare(const QString &sql)
{
    return std::make_unique<SqliteStatement>(m_db, sql, m_path);
}

qint64 SqliteBackend::lastInsertKey()
{
    return sqlite3_last_insert_rowid(m_db);
}
