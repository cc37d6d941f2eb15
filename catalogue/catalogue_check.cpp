// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/catalogue_check.h"

#include "catalogue/server_catalogue.h"
#include "data/engine/backend.h"

#include "catalogue/catalogue_shape.h"

#include "core/schema.h"
#include "data/engine/schema_objects.h"
#include "data/engine/sqlite/sqlite_file.h"
#include "data/engine/sqlite/statement.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <cerrno>
#include <functional>
#include <optional>
#include <sys/stat.h>

namespace {

// The file as the check reads it: read-only, through an untrusted schema, each query with a
// time limit.
class ReadOnlyDatabase
{
public:
    explicit ReadOnlyDatabase(const QString &path)
        : m_file(path, options(path))
    {
        m_file.stopWhen([this] { return m_deadline.hasExpired(); });
    }

    SqliteFile &file() { return m_file; }

    // Runs `sql`, handing each row to `row`; returns the engine's error text, empty on success.
    QString query(const QString &sql, const std::function<void(const Statement &)> &row)
    {
        m_deadline = QDeadlineTimer(timeLimitMs);
        try {
            Statement statement(m_file, sql);
            while (statement.step())
                row(statement);
        } catch (const EngineError &e) {
            return describe(e);
        }
        return {};
    }

private:
    // Long enough for the integrity check of a very large catalogue.
    static constexpr int timeLimitMs = 120000;

    // A file in WAL mode with no WAL beside it has nothing outside the file: opened as
    // immutable, the engine creates no -wal or -shm file next to it.
    static SqliteFile::Options options(const QString &path)
    {
        SqliteFile::Options options = SqliteFile::Option::ReadOnly;
        options |= SqliteFile::Option::UntrustedSchema;
        if (walModeWithoutWal(path))
            options |= SqliteFile::Option::Immutable;
        return options;
    }

    static bool walModeWithoutWal(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray header = file.read(20);
        return header.size() == 20 && header.at(18) == 2 &&
               !QFileInfo::exists(path + QStringLiteral("-wal"));
    }

    static QString describe(const EngineError &e)
    {
        if (e.leftUnfinishedWrite())
            return QStringLiteral("uma gravação interrompida deixou um diário ao lado do arquivo, "
                                  "e a verificação, que não grava nada, não pode desfazê-la; "
                                  "abra o catálogo uma vez no Quivel para desfazê-la");
        if (e.wasInterrupted())
            return QStringLiteral("a leitura demorou demais e foi interrompida");
        return e.engineText();
    }

    SqliteFile m_file;
    QDeadlineTimer m_deadline;
};

// A problem of the file as a whole, found before the engine is asked.
QString fileProblem(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return errno == ELOOP
                   ? QStringLiteral("'%1' é um link simbólico que leva a si mesmo").arg(path)
                   : QStringLiteral("Não foi possível encontrar o arquivo '%1'").arg(path);
    // Only a regular file: a FIFO would block the read, a device would never end it.
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("'%1' não é um arquivo comum").arg(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("Sem permissão para ler o arquivo '%1'").arg(path);
    const QByteArray header = file.read(100);
    if (header.isEmpty())
        return QStringLiteral("O arquivo '%1' está vazio; não é um catálogo do Quivel").arg(path);
    const QByteArray jetSignature = header.mid(4, 15);
    if (jetSignature == "Standard Jet DB" || jetSignature == "Standard ACE DB") {
        return QStringLiteral("O arquivo '%1' é um catálogo no formato antigo (Access/Jet); "
                              "converta-o com o comando: quivel-catalogue convert \"%1\"")
            .arg(path);
    }
    if (!header.startsWith(QByteArrayView("SQLite format 3\0", 16)) || header.size() < 100)
        return QStringLiteral("O arquivo '%1' não é um catálogo do Quivel").arg(path);
    return {};
}

const QString &expectedType(const Legacy::ColumnShape &column)
{
    return column.declaredType;
}

} // namespace

QStringList Legacy::checkCatalogue(const QString &path)
{
    if (const QString problem = fileProblem(path); !problem.isEmpty())
        return {problem};
    std::optional<ReadOnlyDatabase> opened;
    try {
        opened.emplace(path);
    } catch (const SqliteFile::OpenError &e) {
        return {e.message()};
    }
    ReadOnlyDatabase &db = *opened;

    QStringList problems;
    const auto failed = [&](const QString &error) {
        if (!error.isEmpty())
            problems.append(QStringLiteral("Erro ao ler o catálogo: %1").arg(error));
        return !error.isEmpty();
    };

    QStringList integrity;
    if (failed(db.query(QStringLiteral("PRAGMA integrity_check"),
                        [&](const Statement &s) { integrity.append(s.text(0)); }))) {
        return problems;
    }
    if (integrity != QStringList{QStringLiteral("ok")}) {
        for (const QString &line : std::as_const(integrity))
            problems.append(QStringLiteral("Integridade: %1").arg(line));
    }

    qint64 version = 0;
    if (failed(db.query(QStringLiteral("PRAGMA user_version"),
                        [&](const Statement &s) { version = s.integer(0); }))) {
        return problems;
    }
    if (version > Schema::version)
        problems.append(QStringLiteral("O catálogo foi criado por uma versão mais nova do Quivel "
                                       "(%1) e não pode ser aberto por esta (%2)")
                            .arg(version)
                            .arg(Schema::version));

    // What the program refuses to write, or writes around, found by the code that refuses it.
    try {
        problems.append(SchemaObjects::describe(SchemaObjects::inspectFile(db.file())));
    } catch (const EngineError &e) {
        failed(e.engineText());
        return problems;
    }
    if (version < Schema::version) {
        problems.append(QStringLiteral("O catálogo é da versão %1; atualize-o com o comando: "
                                       "quivel-catalogue upgrade \"%2\"")
                            .arg(version)
                            .arg(path));
        return problems;
    }

    QStringList usableTables;
    for (const TableShape &table : catalogueTables()) {
        QString kind;
        if (failed(db.query(QStringLiteral("SELECT CASE WHEN type = 'table' AND upper(substr(sql, "
                                           "1, 14)) <> 'CREATE VIRTUAL' THEN '' ELSE type END "
                                           "FROM sqlite_schema WHERE name = '%1' COLLATE NOCASE")
                                .arg(table.name),
                            [&](const Statement &s) { kind = s.text(0); }))) {
            return problems;
        }
        // Reading a view or a virtual table in its place might never end.
        if (!kind.isEmpty()) {
            problems.append(QStringLiteral("'%1' não é uma tabela").arg(table.name));
            continue;
        }
        QList<std::pair<QString, QString>> columns; // name, declared type
        if (failed(db.query(QStringLiteral("PRAGMA table_info(%1)").arg(table.name),
                            [&](const Statement &s) {
                                columns.append({s.text(1), s.text(2)});
                            }))) {
            return problems;
        }
        if (columns.isEmpty()) {
            problems.append(QStringLiteral("Falta a tabela '%1'").arg(table.name));
            continue;
        }
        bool usable = true;
        for (qsizetype i = 0; i < table.columns.size(); ++i) {
            const ColumnShape &column = table.columns.at(i);
            const qsizetype at =
                std::find_if(columns.cbegin(), columns.cend(),
                             [&](const auto &c) {
                                 return c.first.compare(column.name, Qt::CaseInsensitive) == 0;
                             }) -
                columns.cbegin();
            if (at == columns.size()) {
                problems.append(QStringLiteral("A tabela '%1' não tem a coluna '%2'")
                                    .arg(table.name, column.name));
                usable = false;
                continue;
            }
            if (at != i)
                problems.append(QStringLiteral("A coluna '%1' da tabela '%2' está na posição %3; "
                                               "deveria estar na %4")
                                    .arg(column.name, table.name)
                                    .arg(at + 1)
                                    .arg(i + 1));
            if (columns.at(at).second.compare(expectedType(column), Qt::CaseInsensitive) != 0)
                problems.append(
                    QStringLiteral("A coluna '%1' da tabela '%2' é do tipo '%3'; "
                                   "deveria ser %4")
                        .arg(column.name, table.name, columns.at(at).second, expectedType(column)));
        }
        if (columns.size() > table.columns.size())
            problems.append(QStringLiteral("A tabela '%1' tem %2 colunas; deveria ter %3")
                                .arg(table.name)
                                .arg(columns.size())
                                .arg(table.columns.size()));
        if (!usable)
            continue;
        usableTables.append(table.name);
        for (const ColumnShape &column : table.columns) {
            if (!column.isText())
                continue;
            // length() counts characters, as the columns' CHECK constraints do.
            const QString sql = QStringLiteral("SELECT %1, length(%2) FROM %3 WHERE length(%2) > "
                                               "%4 ORDER BY %1")
                                    .arg(table.key(), column.name, table.name)
                                    .arg(column.maxLength);
            if (failed(db.query(sql, [&](const Statement &s) {
                    problems.append(QStringLiteral("O registro de código %1 da tabela '%2' tem %3 "
                                                   "caracteres na coluna '%4', que aceita no "
                                                   "máximo %5")
                                        .arg(s.text(0), table.name, s.text(1), column.name)
                                        .arg(column.maxLength));
                }))) {
                return problems;
            }
        }
    }

    if (usableTables.contains(QStringLiteral("softs")) &&
        usableTables.contains(QStringLiteral("categorias"))) {
        failed(db.query(QStringLiteral("SELECT numero, nome, categoria FROM softs WHERE categoria "
                                       "NOT IN (SELECT id_categoria FROM categorias) ORDER BY "
                                       "numero"),
                        [&](const Statement &s) {
                            problems.append(QStringLiteral("O título %1 ('%2') é da categoria %3, "
                                                           "que não existe")
                                                .arg(s.text(0), s.text(1), s.text(2)));
                        }));
    }
    if (usableTables.contains(QStringLiteral("softs")) &&
        usableTables.contains(QStringLiteral("cds"))) {
        failed(db.query(QStringLiteral("SELECT numero, nome, midia FROM softs WHERE midia IS NULL "
                                       "OR midia NOT IN (SELECT codigo FROM cds) ORDER BY numero"),
                        [&](const Statement &s) {
                            const QString title =
                                QStringLiteral("O título %1 ('%2')").arg(s.text(0), s.text(1));
                            problems.append(
                                s.isNull(2)
                                    ? QStringLiteral("%1 não tem mídia; não aparece nas buscas "
                                                     "nem no relatório")
                                          .arg(title)
                                    : QStringLiteral("%1 está na mídia %2, que não existe; não "
                                                     "aparece nas buscas nem no relatório")
                                          .arg(title, s.text(2)));
                        }));
    }
    return problems;
}

QStringList Catalogue::check(const QString &target)
{
    return Backend::namesServer(target) ? ServerCatalogue::check(target)
                                        : Legacy::checkCatalogue(target);
}
