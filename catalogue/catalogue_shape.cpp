// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/catalogue_shape.h"

#include "core/schema.h"

namespace {

QList<Legacy::TableShape> shapesOf(int version)
{
    QList<Legacy::TableShape> shapes;
    for (const Schema::Table &table : Schema::tables) {
        if (table.since > version)
            continue;
        Legacy::TableShape shape{Schema::name(table.name), {}};
        for (const Schema::Column &column : table.columns) {
            if (column.since > version)
                continue;
            shape.columns.append({Schema::name(column.name),
                                  column.type == Schema::Type::Text ? column.size : 0,
                                  Schema::sqliteType(column)});
        }
        shapes.append(shape);
    }
    return shapes;
}

} // namespace

const QList<Legacy::TableShape> &Legacy::catalogueTables()
{
    static const QList<TableShape> tables = shapesOf(Schema::version);
    return tables;
}

const QList<Legacy::TableShape> &Legacy::firstVersionTables()
{
    static const QList<TableShape> tables = shapesOf(1);
    return tables;
}

int Legacy::characterCount(const QString &text)
{
    int count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        ++count;
    }
    return count;
}

QString Legacy::lengthProblem(const QString &table, qint64 code, const ColumnShape &column,
                              const QString &value)
{
    if (!column.isText())
        return {};
    const int length = characterCount(value);
    if (length <= column.maxLength)
        return {};
    return QStringLiteral("O registro de código %1 da tabela '%2' tem %3 caracteres na coluna "
                          "'%4', e esta versão aceita no máximo %5")
        .arg(code)
        .arg(table)
        .arg(length)
        .arg(column.name)
        .arg(column.maxLength);
}
