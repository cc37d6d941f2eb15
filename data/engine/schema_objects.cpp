// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engine/schema_objects.h"

#include "core/schema.h"
#include "data/engine/backend.h"
#include "data/engine/sqlite/sqlite_file.h"
#include "data/engine/sqlite/statement.h"

#include <QHash>

namespace {

using SchemaObjects::Finding;

const Schema::Table *programTable(const QString &name)
{
    for (const Schema::Table &table : Schema::tables) {
        if (Schema::name(table.name).compare(name, Qt::CaseInsensitive) == 0)
            return &table;
    }
    return nullptr;
}

bool isProgramIndex(const QString &name)
{
    for (const Schema::Table &table : Schema::tables) {
        for (const Schema::Column &column : table.columns) {
            if (column.indexed &&
                Schema::indexName(table, column).compare(name, Qt::CaseInsensitive) == 0)
                return true;
        }
    }
    return false;
}

QString keyName(const Schema::Table &table)
{
    return Schema::name(table.columns.front().name);
}

Finding refusing(const QString &kind, const QString &name, const QString &table,
                 const QString &what)
{
    return {kind, name, table, true, what};
}

Finding reported(const QString &kind, const QString &name, const QString &table,
                 const QString &what)
{
    return {kind, name, table, false, what};
}

Finding trigger(const QString &name, const QString &table)
{
    return refusing(QStringLiteral("gatilho"), name, table,
                    QStringLiteral("O gatilho '%1' (tabela '%2') não foi criado pelo Quivel e "
                                   "seria executado a cada gravação, podendo alterar ou apagar "
                                   "outros registros")
                        .arg(name, table));
}

Finding view(const QString &name)
{
    return refusing(QStringLiteral("visão"), name, {},
                    QStringLiteral("A visão '%1' não foi criada pelo Quivel").arg(name));
}

Finding computedIndex(const QString &name, const QString &table)
{
    return refusing(QStringLiteral("índice"), name, table,
                    QStringLiteral("O índice '%1' (tabela '%2') não foi criado pelo Quivel e "
                                   "calcula expressões ou condições a cada gravação")
                        .arg(name, table));
}

Finding plainIndex(const QString &name, const QString &table)
{
    return reported(QStringLiteral("índice"), name, table,
                    QStringLiteral("O índice '%1' (tabela '%2') não foi criado pelo Quivel; não "
                                   "impede o uso do catálogo")
                        .arg(name, table));
}

Finding otherTable(const QString &name)
{
    return reported(
        QStringLiteral("tabela"), name, {},
        QStringLiteral("A tabela '%1' não é do Quivel; não impede o uso do catálogo").arg(name));
}

Finding wrongKey(const Schema::Table &table, const QString &actual)
{
    const QString name = Schema::name(table.name);
    return refusing(QStringLiteral("chave"), name, name,
                    QStringLiteral("A tabela '%1' não tem a chave do Quivel (só a coluna '%2', "
                                   "um número inteiro), e sim %3; uma gravação nela poderia "
                                   "alterar vários registros, por isso ela é somente para "
                                   "leitura")
                        .arg(name, keyName(table), actual));
}

// A finding about one table's own definition: it stops writes to that table only, and no
// removal mends it.
bool ofTableDefinition(const Finding &finding)
{
    return finding.kind == u"chave" || finding.kind == u"ordenação";
}

Finding unknownCollation(const QString &table, const QString &column, const QString &collation)
{
    return refusing(QStringLiteral("ordenação"), collation, table,
                    QStringLiteral("A coluna '%1' da tabela '%2' usa a ordenação '%3', que o "
                                   "Quivel não conhece; a tabela é somente para leitura")
                        .arg(column, table, collation));
}

// The key as the table declares it; empty when it is the program's own.
QString keyProblem(const Schema::Table &table, const QStringList &keyColumns, const QString &type,
                   bool keyIndex)
{
    if (keyColumns.isEmpty())
        return QStringLiteral("nenhuma chave");
    if (keyColumns.size() > 1)
        return QStringLiteral("a chave composta (%1)").arg(keyColumns.join(QStringLiteral(", ")));
    if (keyColumns.front().compare(keyName(table), Qt::CaseInsensitive) != 0)
        return QStringLiteral("a coluna '%1' como chave").arg(keyColumns.front());
    // Only a key declared exactly INTEGER, on a table with row numbers, is the row number
    // itself; any other holds values of any kind and lives in an index of its own.
    if (type.compare(QStringLiteral("INTEGER"), Qt::CaseInsensitive) != 0 || keyIndex)
        return QStringLiteral("uma chave '%1' do tipo '%2' que não é o número do registro")
            .arg(keyColumns.front(), type);
    return {};
}

} // namespace

QList<Finding> SchemaObjects::inspectFile(SqliteFile &file)
{
    QList<Finding> findings;
    Statement objects(file,
                      QStringLiteral("SELECT type, name, tbl_name, "
                                     "upper(substr(ltrim(sql), 1, 14)) = 'CREATE VIRTUAL' "
                                     "FROM sqlite_schema WHERE substr(name, 1, 7) <> 'sqlite_' "
                                     "ORDER BY type, name"));
    Statement indexShape(file,
                         QStringLiteral("SELECT (SELECT count(*) FROM pragma_index_xinfo(?1) "
                                        "WHERE cid = -2) + (SELECT count(*) FROM "
                                        "pragma_index_list(?2) WHERE name = ?1 AND partial)"));
    while (objects.step()) {
        const QString type = objects.text(0);
        const QString name = objects.text(1);
        const QString table = objects.text(2);
        if (type == u"trigger") {
            findings.append(trigger(name, table));
        } else if (type == u"view") {
            findings.append(view(name));
        } else if (type == u"index") {
            indexShape.bind(1, name);
            indexShape.bind(2, table);
            const bool computed = indexShape.step() && indexShape.integer(0) > 0;
            indexShape.reset();
            if (computed)
                findings.append(computedIndex(name, table));
            else if (!isProgramIndex(name))
                findings.append(plainIndex(name, table));
        } else if (type == u"table" && !programTable(name)) {
            findings.append(otherTable(name));
        }
    }

    Statement key(file, QStringLiteral("SELECT name, type FROM pragma_table_info(?1) WHERE pk > 0 "
                                       "ORDER BY pk"));
    Statement keyIndex(file, QStringLiteral("SELECT count(*) FROM pragma_index_list(?1) "
                                            "WHERE origin = 'pk'"));
    Statement exists(file, QStringLiteral("SELECT count(*) FROM sqlite_schema WHERE type = 'table' "
                                          "AND name = ?1 COLLATE NOCASE"));
    for (const Schema::Table &table : Schema::tables) {
        const QString name = Schema::name(table.name);
        exists.bind(1, name);
        const bool present = exists.step() && exists.integer(0) > 0;
        exists.reset();
        if (!present)
            continue; // reported as missing where the table is read
        QStringList columns;
        QString type;
        key.bind(1, name);
        while (key.step()) {
            columns.append(key.text(0));
            type = key.text(1);
        }
        key.reset();
        keyIndex.bind(1, name);
        const bool indexed = keyIndex.step() && keyIndex.integer(0) > 0;
        keyIndex.reset();
        if (const QString problem = keyProblem(table, columns, type, indexed); !problem.isEmpty())
            findings.append(wrongKey(table, problem));
        // A collation the engine lacks fails every write that compares the column.
        for (const Schema::Column &column : table.columns) {
            const SqliteFile::ColumnFacts facts = file.columnFacts(name, Schema::name(column.name));
            if (!facts.found || facts.collation.isEmpty())
                continue;
            const QString &collationName = facts.collation;
            static const QStringList builtIn{QStringLiteral("BINARY"), QStringLiteral("NOCASE"),
                                             QStringLiteral("RTRIM")};
            if (!builtIn.contains(collationName, Qt::CaseInsensitive))
                findings.append(unknownCollation(name, Schema::name(column.name), collationName));
        }
    }
    return findings;
}

QString SchemaObjects::serverInspection()
{
    QStringList programTables;
    for (const Schema::Table &table : Schema::tables)
        programTables << u'\'' + Schema::name(table.name) + u'\'';
    // One round trip, as it runs before every save: triggers; rules, which rewrite every write
    // to their table as a trigger does; every relation, with the table of an index and
    // whether it computes; and the key columns of the program's tables. The schema's relations
    // are found once, as scanning the server's list of relations is most of the cost.
    return QStringLiteral(
               "WITH own AS MATERIALIZED (SELECT c.oid, c.relname, c.relkind "
               "FROM pg_catalog.pg_class c WHERE c.relnamespace = (SELECT n.oid "
               "FROM pg_catalog.pg_namespace n WHERE n.nspname = 'quivel') AND c.relkind <> 'c') "
               "SELECT 't', t.tgname::text, o.relname::text, fn.nspname::text || '.' || "
               "f.proname::text, '' FROM own o "
               "JOIN pg_catalog.pg_trigger t ON t.tgrelid = o.oid "
               "JOIN pg_catalog.pg_proc f ON f.oid = t.tgfoid "
               "JOIN pg_catalog.pg_namespace fn ON fn.oid = f.pronamespace "
               "WHERE NOT t.tgisinternal "
               "UNION ALL SELECT 'r', r.rulename::text, o.relname::text, '', '' FROM own o "
               "JOIN pg_catalog.pg_rewrite r ON r.ev_class = o.oid WHERE o.relkind IN ('r', 'p') "
               "UNION ALL SELECT 'c', o.relname::text, COALESCE(t.relname::text, ''), "
               "o.relkind::text, (i.indexprs IS NOT NULL OR i.indpred IS NOT NULL)::text "
               "FROM own o LEFT JOIN pg_catalog.pg_index i ON i.indexrelid = o.oid "
               "LEFT JOIN pg_catalog.pg_class t ON t.oid = i.indrelid "
               "UNION ALL SELECT 'k', o.relname::text, COALESCE(a.attname::text, ''), "
               "COALESCE(pg_catalog.format_type(a.atttypid, NULL), ''), '' FROM own o "
               "LEFT JOIN pg_catalog.pg_constraint k ON k.conrelid = o.oid AND k.contype = 'p' "
               "LEFT JOIN pg_catalog.pg_attribute a ON a.attrelid = o.oid AND "
               "a.attnum = ANY (k.conkey) "
               "WHERE o.relkind = 'r' AND o.relname IN (%1) "
               "ORDER BY 1, 2, 3")
        .arg(programTables.join(u','));
}

QList<Finding> SchemaObjects::inspectServer(Backend &backend)
{
    const QString changes = Schema::name(Schema::serverChangesTable);
    QStringList ownRelations{Schema::name(Schema::serverVersionTable), changes,
                             changes + QStringLiteral("_pkey")};
    QStringList ownComputed;
    // Who changed what is recorded by the program's own triggers, each on its table and
    // calling the program's function, which only the catalogue's owner can replace.
    QStringList ownTriggers;
    for (const Schema::Table &table : {Schema::media, Schema::titles}) {
        ownTriggers << Schema::serverChangesTrigger(table) + u'.' + Schema::name(table.name) +
                           QStringLiteral(".quivel.") + Schema::name(Schema::serverChangesFunction);
    }
    for (const Schema::Table &table : Schema::tables) {
        const QString name = Schema::name(table.name);
        ownRelations << name << name + QStringLiteral("_pkey")
                     << name + u'_' + keyName(table) + QStringLiteral("_seq");
        for (const Schema::Column &column : table.columns) {
            if (column.indexed)
                ownRelations << Schema::indexName(table, column);
            // A name unique whatever its letters' case is kept by an index on its folded form.
            if (column.distinct)
                ownComputed << Schema::indexName(table, column);
        }
    }
    const auto statement = backend.prepareRepeated(serverInspection());

    QList<Finding> findings;
    struct Key
    {
        bool present = false;
        QStringList columns;
        QString type;
    };
    QHash<QString, Key> keys;
    while (statement->step()) {
        const auto text = [&](int column) { return statement->value(column).toString(); };
        const QString row = text(0);
        const QString name = text(1);
        const QString table = text(2);
        if (row == u"t") {
            if (!ownTriggers.contains(name + u'.' + table + u'.' + text(3)))
                findings.append(trigger(name, table));
        } else if (row == u"r") {
            findings.append(refusing(QStringLiteral("regra"), name, table,
                                     QStringLiteral("A regra '%1' (tabela '%2') não foi criada "
                                                    "pelo Quivel e mudaria cada gravação")
                                         .arg(name, table)));
        } else if (row == u"c") {
            const QString kind = text(3);
            if (kind == u"v" || kind == u"m")
                findings.append(view(name));
            else if ((kind == u"i" || kind == u"I") && text(4) == u"true") {
                if (!ownComputed.contains(name))
                    findings.append(computedIndex(name, table));
            } else if (ownRelations.contains(name))
                continue;
            else if (kind == u"i" || kind == u"I")
                findings.append(plainIndex(name, table));
            else if (kind != u"S")
                findings.append(otherTable(name));
        } else if (row == u"k") {
            Key &key = keys[name];
            key.present = true;
            if (!table.isEmpty()) {
                key.columns.append(table);
                key.type = text(3);
            }
        }
    }
    for (const Schema::Table &table : Schema::tables) {
        const Key key = keys.value(Schema::name(table.name));
        if (!key.present)
            continue;
        // The server's integer types hold nothing but integers.
        const bool integer = key.type == u"integer" || key.type == u"bigint";
        if (const QString problem = keyProblem(
                table, key.columns, integer ? QStringLiteral("INTEGER") : key.type, false);
            !problem.isEmpty())
            findings.append(wrongKey(table, problem));
    }
    return findings;
}

QString SchemaObjects::writeRefusal(const QList<Finding> &findings, const QString &table,
                                    const QString &catalogue, bool server)
{
    for (const Finding &finding : findings) {
        if (!finding.refusesWrites)
            continue;
        if (ofTableDefinition(finding)) {
            if (finding.table.compare(table, Qt::CaseInsensitive) != 0)
                continue;
            return QStringLiteral("%1; nada foi salvo. Veja o que há no catálogo com o comando: "
                                  "quivel-catalogue check \"%2\"")
                .arg(finding.description, catalogue);
        }
        const QString remedy =
            server ? QStringLiteral("Para usá-lo, peça ao administrador do servidor que remova "
                                    "esses objetos do esquema quivel; o comando "
                                    "quivel-catalogue check lista todos eles")
                   : QStringLiteral("Para usá-lo, remova esses objetos com o comando: "
                                    "quivel-catalogue clean \"%1\" (o original fica guardado ao "
                                    "lado)")
                         .arg(catalogue);
        return QStringLiteral("O Quivel não grava no catálogo '%1' enquanto ele tiver objetos "
                              "que não criou. %2; nada foi salvo. %3")
            .arg(catalogue, finding.description, remedy);
    }
    return {};
}

QStringList SchemaObjects::describe(const QList<Finding> &findings, bool server)
{
    QStringList lines;
    for (const Finding &finding : findings) {
        if (!finding.refusesWrites || ofTableDefinition(finding))
            lines.append(finding.description);
        else
            lines.append(finding.description +
                         (server ? QStringLiteral("; o Quivel não grava neste catálogo enquanto "
                                                  "ele existir")
                                 : QStringLiteral("; o Quivel não grava neste catálogo enquanto "
                                                  "ele existir (remova-o com quivel-catalogue "
                                                  "clean)")));
    }
    return lines;
}

QStringList SchemaObjects::removalStatements(const QList<Finding> &findings)
{
    const auto quoted = [](QString name) {
        return u'"' + name.replace(u'"', QStringLiteral("\"\"")) + u'"';
    };
    // Triggers first: dropping a view drops the triggers on it, and a second drop would fail.
    QStringList triggers;
    QStringList others;
    for (const Finding &finding : findings) {
        if (!finding.refusesWrites)
            continue;
        if (finding.kind == u"gatilho")
            triggers.append(QStringLiteral("DROP TRIGGER %1").arg(quoted(finding.name)));
        else if (finding.kind == u"visão")
            others.append(QStringLiteral("DROP VIEW %1").arg(quoted(finding.name)));
        else if (finding.kind == u"índice")
            others.append(QStringLiteral("DROP INDEX %1").arg(quoted(finding.name)));
    }
    return triggers + others;
}
