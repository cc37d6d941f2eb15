// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

// The catalogue's tables as the converter and the checker see them, drawn from the schema:
// the columns in their order, with the maximum length of each text column.
namespace Legacy {

struct ColumnShape
{
    QString name;
    int maxLength = 0;    // 0 for an integer column
    QString declaredType; // as the file's DDL declares it
    bool isText() const { return maxLength > 0; }
};

struct TableShape
{
    QString name;
    QList<ColumnShape> columns; // the key first
    const QString &key() const { return columns.first().name; }
};

const QList<TableShape> &catalogueTables();
// The tables as the first version had them: the shape of an Access/Jet catalogue.
const QList<TableShape> &firstVersionTables();

// Characters as SQLite's length() counts them (code points), which is what the columns'
// CHECK constraints limit.
int characterCount(const QString &text);

// Empty when the value fits its column; otherwise the refusal, naming the table, the row's
// code and the column.
QString lengthProblem(const QString &table, qint64 code, const ColumnShape &column,
                      const QString &value);

} // namespace Legacy
