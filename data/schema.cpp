// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/schema.h"

#include <QStringList>

QString Schema::sqliteType(const Column &column)
{
    switch (column.type) {
    case Type::Key:
    case Type::Integer:
        return QStringLiteral("INTEGER");
    case Type::Text:
        break;
    }
    return QStringLiteral("VARCHAR(%1)").arg(column.size);
}

QString Schema::sqliteDdl()
{
    QString ddl;
    QStringList indexes;
    for (const Table &table : tables) {
        const QString tableName = name(table.name);
        QStringList definitions;
        for (const Column &c : table.columns) {
            const QString columnName = name(c.name);
            QString definition = columnName + u' ' + sqliteType(c);
            if (c.type == Type::Key)
                definition += QStringLiteral(" PRIMARY KEY AUTOINCREMENT");
            // The engine keeps any length in a VARCHAR; the CHECK makes the size hold.
            if (c.type == Type::Text)
                definition +=
                    QStringLiteral(" CHECK (length(%1) <= %2)").arg(columnName).arg(c.size);
            definitions.append(QStringLiteral("  ") + definition);
            if (c.indexed)
                indexes.append(
                    QStringLiteral("CREATE INDEX %1_%2 ON %1 (%2);\n").arg(tableName, columnName));
        }
        ddl += QStringLiteral("CREATE TABLE %1 (\n%2\n);\n")
                   .arg(tableName, definitions.join(QStringLiteral(",\n")));
    }
    ddl += indexes.join(QString());
    ddl += QStringLiteral("PRAGMA user_version = %1;\n").arg(version);
    return ddl;
}
