// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/row_writer.h"

#include "core/exceptions.h"
#include "data/connection.h"
#include "data/engine/sql_text.h"
#include "data/write_transaction.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>

namespace {

// One write: pending reads finished first, so they never see the connection's own change,
// then one statement in its own transaction, within the time limit.
class Write
{
public:
    Write(TADOConnection &connection, const QString &table, const QString &sql)
        : m_timer((connection.completePendingReads(), connection))
        , m_transaction(connection, table)
        , m_statement(connection.backend().prepare(sql))
    {}
    BackendStatement &operator*() const { return *m_statement; }
    BackendStatement *operator->() const { return m_statement.get(); }
    WriteTransaction &transaction() { return m_transaction; }

    // Keeps the write when it changed exactly one row and the guard holds.
    int finish(int rows, const QString &keyColumn, const QVariant &key,
               const RowWriter::Guard &guard)
    {
        if (rows > 1)
            m_transaction.refuseSeveralRows(rows);
        if (rows != 1)
            return rows;
        if (!guard.condition.isEmpty())
            m_transaction.require(keyColumn, key, guard.condition, guard.message);
        m_statement.reset();
        m_transaction.commit();
        return rows;
    }

private:
    TADOConnection::StatementTimer m_timer;
    WriteTransaction m_transaction;
    std::unique_ptr<BackendStatement> m_statement;
};

// A NUL cannot be kept: the server cuts the text there and the file would hand it to other
// programs cut. It is refused before anything is written, naming the field.
void refuseNul(const std::vector<ResultColumn> &columns, const std::vector<QVariant> &values,
               const std::vector<int> &written)
{
    for (int c : written) {
        const QVariant &v = values[size_t(c)];
        if (v.typeId() == QMetaType::QString && v.toString().contains(QChar(u'\0'))) {
            throw EOleException(QStringLiteral("O campo '%1' contém um caractere nulo, que o "
                                               "catálogo não aceita; apague-o e salve de novo. "
                                               "Nada foi salvo")
                                    .arg(columns[size_t(c)].name));
        }
    }
}

} // namespace

RowWriter::RowWriter(TADOConnection &connection, const std::vector<ResultColumn> &columns)
    : m_connection(connection)
    , m_table(tableOf(columns))
    , m_quotedTable(quotedIdentifier(m_table))
    , m_columns(columns)
    , m_key(keyColumnOf(columns))
{}

QString RowWriter::tableOf(const std::vector<ResultColumn> &columns)
{
    QString table;
    for (const ResultColumn &c : columns) {
        if (c.table.isEmpty())
            return {};
        if (!table.isEmpty() && table != c.table)
            return {};
        table = c.table;
    }
    return table;
}

int RowWriter::keyColumnOf(const std::vector<ResultColumn> &columns)
{
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].key)
            return int(i);
    }
    return -1;
}

RowWriter::Guard RowWriter::guardFor(const Guard &guard, const std::vector<int> &written) const
{
    if (guard.condition.isEmpty() || guard.column.isEmpty())
        return guard;
    const bool writesColumn = std::any_of(written.begin(), written.end(), [&](int c) {
        return m_columns[size_t(c)].origin.compare(guard.column, Qt::CaseInsensitive) == 0;
    });
    return writesColumn ? guard : Guard{};
}

QString RowWriter::column(int index) const
{
    return quotedIdentifier(m_columns[size_t(index)].origin);
}

QString RowWriter::matchCondition(int index) const
{
    const Backend &backend = m_connection.backend();
    const QString name = column(index);
    const QString left =
        m_columns[size_t(index)].kind == RecordStore::Kind::Text ? backend.storedText(name) : name;
    return left + u' ' + backend.sameValueOperator() + QStringLiteral(" ?");
}

qint64 RowWriter::insert(const std::vector<QVariant> &values, const Guard &guard)
{
    QStringList names;
    std::vector<int> columns;
    for (size_t i = 0; i < m_columns.size(); ++i) {
        const QVariant &v = values[i];
        if (int(i) == m_key || !v.isValid() || v.isNull())
            continue;
        names.append(column(int(i)));
        columns.push_back(int(i));
    }
    refuseNul(m_columns, values, columns);
    QString sql = QStringLiteral("INSERT INTO %1").arg(m_quotedTable);
    if (names.isEmpty()) {
        sql += QStringLiteral(" DEFAULT VALUES");
    } else {
        QStringList marks;
        marks.fill(QStringLiteral("?"), names.size());
        sql += QStringLiteral(" (%1) VALUES (%2)").arg(names.join(u','), marks.join(u','));
    }
    // The key comes back from the INSERT itself: no second statement can fail after the row
    // is stored, and none can see another session's key.
    sql += QStringLiteral(" RETURNING %1").arg(column(m_key));
    Write statement(m_connection, m_table, sql);
    for (size_t i = 0; i < columns.size(); ++i)
        statement->bind(int(i) + 1, values[size_t(columns[i])]);
    if (!statement->step())
        throw EOleException(QStringLiteral("O registro não foi salvo"));
    const qint64 key = statement->value(0).toLongLong();
    int rows = 1;
    while (statement->step())
        ++rows;
    statement.finish(rows, m_columns[size_t(m_key)].origin, key, guardFor(guard, columns));
    return key;
}

int RowWriter::update(const std::vector<QVariant> &values, const std::vector<QVariant> &stored,
                      const std::vector<int> &changed, const Guard &guard)
{
    QStringList assignments;
    QStringList conditions{QStringLiteral("%1 = ?").arg(column(m_key))};
    for (int c : changed) {
        assignments.append(QStringLiteral("%1 = ?").arg(column(c)));
        conditions.append(matchCondition(c));
    }
    refuseNul(m_columns, values, changed);
    const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                            .arg(m_quotedTable, assignments.join(QStringLiteral(", ")),
                                 conditions.join(QStringLiteral(" AND ")));
    Write statement(m_connection, m_table, sql);
    int index = 1;
    for (int c : changed)
        statement->bind(index++, values[size_t(c)]);
    statement->bind(index++, stored[size_t(m_key)]);
    for (int c : changed)
        statement->bind(index++, stored[size_t(c)]);
    return statement.finish(statement->execute(), m_columns[size_t(m_key)].origin,
                            stored[size_t(m_key)], guardFor(guard, changed));
}

int RowWriter::remove(const std::vector<QVariant> &stored, const QString &condition)
{
    QStringList conditions;
    for (size_t i = 0; i < m_columns.size(); ++i) {
        conditions.append(int(i) == m_key ? QStringLiteral("%1 = ?").arg(column(int(i)))
                                          : matchCondition(int(i)));
    }
    if (!condition.isEmpty())
        conditions.append(u'(' + condition + u')');
    const QString sql = QStringLiteral("DELETE FROM %1 WHERE %2")
                            .arg(m_quotedTable, conditions.join(QStringLiteral(" AND ")));
    Write statement(m_connection, m_table, sql);
    for (size_t i = 0; i < stored.size(); ++i)
        statement->bind(int(i) + 1, stored[i]);
    return statement.finish(statement->execute(), {}, {}, {});
}

bool RowWriter::conditionRefuses(const QVariant &key, const QString &condition)
{
    const TADOConnection::StatementTimer timer(m_connection);
    const auto statement =
        m_connection.backend().prepare(QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ? AND NOT (%3)")
                                           .arg(m_quotedTable, column(m_key), condition));
    statement->bind(1, key);
    return statement->step();
}

QString RowWriter::changedBy(const std::vector<QVariant> &stored) const
{
    const RowChange change = m_connection.backend().lastChange(m_table, stored[size_t(m_key)]);
    if (!change.known())
        return {};
    const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    const QString time = brazil.toString(change.when, QStringLiteral("HH:mm"));
    if (change.when.date() == QDate::currentDate())
        return QStringLiteral("por %1 às %2").arg(change.account, time);
    return QStringLiteral("por %1 em %2 às %3")
        .arg(change.account, brazil.toString(change.when, QStringLiteral("dd/MM/yyyy")), time);
}
