// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engine/sqlite/statement.h"

#include "data/engine/sqlite/sqlite_file.h"

#include <sqlite3.h>

namespace {

// Each cause of a refused write has its own text: the remedy differs.
QString describeReadOnly(int resultCode, const QString &path)
{
    switch (resultCode) {
    case SQLITE_READONLY_ROLLBACK:
        return QStringLiteral("Uma gravação interrompida deixou o diário '%1-journal' ao lado do "
                              "catálogo, e ela não pode ser desfeita porque o catálogo ou a sua "
                              "pasta está protegido contra gravação. Permita a gravação e abra o "
                              "catálogo de novo; nada foi alterado")
            .arg(path);
    case SQLITE_READONLY_CANTINIT:
    case SQLITE_READONLY_CANTLOCK:
    case SQLITE_READONLY_RECOVERY:
        return QStringLiteral("O catálogo '%1' está no modo WAL, que precisa criar ou gravar os "
                              "arquivos '%1-wal' e '%1-shm' na pasta dele, e isso não é "
                              "permitido; a alteração não foi salva")
            .arg(path);
    case SQLITE_READONLY_DBMOVED:
        return QStringLiteral("O catálogo '%1' foi apagado, movido ou substituído enquanto estava "
                              "aberto; a alteração não foi salva. Feche o programa e abra-o de "
                              "novo")
            .arg(path);
    case SQLITE_READONLY_DIRECTORY:
        return QStringLiteral("A pasta do catálogo '%1' está protegida contra gravação, e a "
                              "gravação precisa criar um arquivo nela; a alteração não foi salva")
            .arg(path);
    default:
        return QStringLiteral("O catálogo '%1' está protegido contra gravação; a alteração não "
                              "foi salva")
            .arg(path);
    }
}

// The name an engine text gives after "prefix: ", as in "no such table: cds".
QString namedIn(const QString &engineText, QLatin1StringView prefix)
{
    const qsizetype at = engineText.indexOf(prefix);
    return at < 0 ? QString() : engineText.mid(at + prefix.size()).section(u' ', 0, 0);
}

QString describeError(const QString &engineText, const QString &path)
{
    if (const QString table = namedIn(engineText, QLatin1StringView("no such table: "));
        !table.isEmpty())
        return QStringLiteral("O catálogo '%1' não tem a tabela '%2' (%3)")
            .arg(path, table, engineText);
    if (const QString column = namedIn(engineText, QLatin1StringView("no such column: "));
        !column.isEmpty())
        return QStringLiteral("O catálogo '%1' não tem a coluna '%2' (%3)")
            .arg(path, column, engineText);
    if (engineText.contains(QLatin1StringView("unsafe use of")) ||
        engineText.contains(QLatin1StringView("no such function")) ||
        engineText.contains(QLatin1StringView("prohibited in")))
        return QStringLiteral("O catálogo '%1' tem um gatilho, visão ou índice que chama uma "
                              "função que o Quivel não permite em arquivos feitos por outros "
                              "programas; veja-o com o comando quivel-catalogue check \"%1\" "
                              "(%2)")
            .arg(path, engineText);
    if (const QString collation =
            namedIn(engineText, QLatin1StringView("no such collation sequence: "));
        !collation.isEmpty())
        return QStringLiteral("O catálogo '%1' usa a ordenação '%2', que o Quivel não conhece; "
                              "ele não foi criado pelo Quivel (%3)")
            .arg(path, collation, engineText);
    return QStringLiteral("O catálogo '%1' recusou a operação (%2)").arg(path, engineText);
}

QString describeConstraint(int resultCode, const QString &engineText, const QString &path)
{
    QString reason;
    switch (resultCode) {
    case SQLITE_CONSTRAINT_CHECK:
        reason = QStringLiteral("um valor não obedece a uma regra do arquivo, como o tamanho "
                                "máximo de um campo");
        break;
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY:
    case SQLITE_CONSTRAINT_ROWID:
        reason = QStringLiteral("o arquivo não aceita dois registros com o mesmo valor, e ele "
                                "já existe");
        break;
    case SQLITE_CONSTRAINT_NOTNULL:
        reason = QStringLiteral("o arquivo exige um valor num campo deixado vazio");
        break;
    case SQLITE_CONSTRAINT_FOREIGNKEY:
        reason = QStringLiteral("o registro está ligado a outro que falta ou que o usa");
        break;
    case SQLITE_CONSTRAINT_TRIGGER:
        reason = QStringLiteral("um gatilho do arquivo recusou a gravação");
        break;
    default:
        reason = QStringLiteral("o arquivo tem uma regra que a gravação não cumpre");
        break;
    }
    return QStringLiteral("O catálogo '%1' recusou a gravação: %2; nada foi salvo (%3)")
        .arg(path, reason, engineText);
}

QString describe(int resultCode, const QString &engineText, const QString &path, bool writing)
{
    if (path.isEmpty())
        return engineText;
    if ((resultCode & 0xFF) == SQLITE_READONLY)
        return describeReadOnly(resultCode, path);
    switch (resultCode & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("O catálogo '%1' está ocupado por outro programa. Tente de novo em "
                              "alguns instantes")
            .arg(path);
    case SQLITE_FULL:
        return QStringLiteral("Não há espaço em disco para gravar no catálogo '%1'; a alteração "
                              "não foi salva")
            .arg(path);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("O arquivo '%1' está danificado ou não é um catálogo do Quivel (%2)")
            .arg(path, engineText);
    case SQLITE_INTERRUPT:
        if (writing)
            return QStringLiteral("A gravação no catálogo '%1' demorou demais e foi "
                                  "interrompida; nada foi salvo. O arquivo pode estar danificado "
                                  "ou ter sido feito por outro programa")
                .arg(path);
        return QStringLiteral("A leitura do catálogo '%1' demorou demais e foi interrompida; o "
                              "arquivo pode estar danificado ou não ser um catálogo do Quivel")
            .arg(path);
    case SQLITE_IOERR:
        return QStringLiteral("Erro de leitura ou gravação no catálogo '%1' (%2)")
            .arg(path, engineText);
    case SQLITE_CANTOPEN:
        return QStringLiteral("Não foi possível abrir o catálogo '%1' nem criar o diário ao lado "
                              "dele: verifique as permissões do arquivo e da sua pasta (%2)")
            .arg(path, engineText);
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QStringLiteral("Sem permissão para usar o catálogo '%1' (%2)").arg(path, engineText);
    case SQLITE_NOMEM:
        return QStringLiteral("Falta memória para usar o catálogo '%1'; feche outros programas e "
                              "tente de novo")
            .arg(path);
    case SQLITE_TOOBIG:
        return QStringLiteral("Um valor do catálogo '%1' é grande demais para ser lido ou gravado "
                              "(%2)")
            .arg(path, engineText);
    case SQLITE_CONSTRAINT:
        return describeConstraint(resultCode, engineText, path);
    case SQLITE_NOLFS:
        return QStringLiteral("O catálogo '%1' é grande demais para este sistema de arquivos (%2)")
            .arg(path, engineText);
    case SQLITE_PROTOCOL:
    case SQLITE_SCHEMA:
        return QStringLiteral("O catálogo '%1' foi alterado por outro programa durante a operação; "
                              "tente de novo (%2)")
            .arg(path, engineText);
    case SQLITE_ERROR:
        return describeError(engineText, path);
    default:
        return QStringLiteral("Erro interno ao usar o catálogo '%1' (código %2: %3)")
            .arg(path)
            .arg(resultCode)
            .arg(engineText);
    }
}

} // namespace

EngineError::EngineError(int resultCode, const QString &engineText, const QString &catalogue,
                         bool writing)
    : EOleException(describe(resultCode, engineText, catalogue, writing))
    , m_resultCode(resultCode)
    , m_engineText(engineText)
{}

bool EngineError::wasInterrupted() const
{
    return (m_resultCode & 0xFF) == SQLITE_INTERRUPT;
}

bool EngineError::leftUnfinishedWrite() const
{
    return m_resultCode == SQLITE_READONLY_ROLLBACK || m_resultCode == SQLITE_READONLY_RECOVERY;
}

Statement::Statement(sqlite3 *db, const QString &sql, const QString &catalogue)
    : m_db(db)
    , m_catalogue(catalogue)
{
    const QByteArray text = sql.toUtf8();
    const int rc =
        sqlite3_prepare_v2(db, text.constData(), int(text.size()), &m_statement, nullptr);
    if (rc != SQLITE_OK)
        fail(rc);
    if (!m_statement)
        throw EOleException(QStringLiteral("O comando SQL está vazio"));
}

Statement::Statement(SqliteFile &file, const QString &sql)
    : Statement(file.handle(), sql, file.path())
{}

Statement::~Statement()
{
    sqlite3_finalize(m_statement);
}

void Statement::fail(int resultCode) const
{
    const QString text = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db))
                              : QString::fromUtf8(sqlite3_errstr(resultCode));
    throw EngineError(resultCode, text, m_catalogue,
                      m_statement && !sqlite3_stmt_readonly(m_statement));
}

void Statement::bind(int index, const QVariant &value)
{
    int rc = SQLITE_OK;
    if (!value.isValid() || value.isNull()) {
        rc = sqlite3_bind_null(m_statement, index);
    } else {
        switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
            rc = sqlite3_bind_int64(m_statement, index, value.toLongLong());
            break;
        case QMetaType::Double:
            rc = sqlite3_bind_double(m_statement, index, value.toDouble());
            break;
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            rc = sqlite3_bind_blob(m_statement, index, bytes.isEmpty() ? "" : bytes.constData(),
                                   int(bytes.size()), SQLITE_TRANSIENT);
            break;
        }
        default: {
            // Never a null pointer: that would bind NULL where the value is empty text.
            const QByteArray text = value.toString().toUtf8();
            rc = sqlite3_bind_text(m_statement, index, text.isEmpty() ? "" : text.constData(),
                                   int(text.size()), SQLITE_TRANSIENT);
            break;
        }
        }
    }
    if (rc != SQLITE_OK)
        fail(rc);
}

void Statement::bind(const QString &name, const QVariant &value)
{
    const int index = sqlite3_bind_parameter_index(m_statement, (u':' + name).toUtf8().constData());
    if (index > 0)
        bind(index, value);
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    fail(rc);
}

int Statement::execute()
{
    while (step()) {
    }
    return sqlite3_changes(m_db);
}

void Statement::reset()
{
    sqlite3_reset(m_statement);
}

int Statement::columnCount() const
{
    return sqlite3_column_count(m_statement);
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

qint64 Statement::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

QString Statement::text(int column) const
{
    const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    return QString::fromUtf8(data, sqlite3_column_bytes(m_statement, column));
}

QByteArrayView Statement::utf8(int column) const
{
    if (sqlite3_column_type(m_statement, column) == SQLITE_NULL)
        return {};
    const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    return QByteArrayView(data, sqlite3_column_bytes(m_statement, column));
}

QVariant Statement::value(int column) const
{
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return QVariant::fromValue<qlonglong>(integer(column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(m_statement, column);
    default:
        return text(column);
    }
}
