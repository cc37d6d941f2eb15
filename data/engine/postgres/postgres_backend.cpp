// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engine/postgres/postgres_backend.h"

#include "core/exceptions.h"
#include "core/schema.h"
#include "data/engine/schema_objects.h"
#include "data/engine/sql_text.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

#include <libpq-fe.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace {

// Rows read between two looks at whether the reader still wants them.
constexpr int rowsPerCheck = 256;
// How long one wait for the server lasts before the time limit and a stop are looked at.
constexpr int pollMs = 10;
// How long a server is given to take a cancel request and answer it before it is cut off.
constexpr int cancelPatienceMs = 2000;

// A connection of the companion tool, which nobody watches: no stop, no one to wait for. A
// server that says nothing for longer than its own statement limit and some has stopped
// answering, and is given up.
class Unwatched : public EngineWatch
{
public:
    bool goesOn() override { return true; }
    bool waitForWriter(int) override { return false; }
    int silenceLimitMs() const override { return 30000; }
};

// Type numbers fixed by the server's catalogue.
constexpr Oid int8Type = 20, int2Type = 21, int4Type = 23, oidType = 26, float4Type = 700,
              float8Type = 701, numericType = 1700, varcharType = 1043, bpcharType = 1042;

using Result = PgResult;

QString serverText(const PGresult *r, const PGconn *conn)
{
    const char *primary = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    return QString::fromUtf8(primary ? primary : PQerrorMessage(conn)).trimmed();
}

const char *sqlState(const PGresult *r)
{
    const char *state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    return state ? state : "";
}

// ":name" and "?" become "$n"; a name used twice is one parameter.
QString numberParameters(const QString &sql, QStringList &names)
{
    QString out;
    out.reserve(sql.size() + 8);
    qsizetype copied = 0;
    for (const SqlParameter &p : sqlParameters(sql)) {
        out += QStringView(sql).mid(copied, p.begin - copied);
        copied = p.end;
        qsizetype index = -1;
        for (qsizetype k = 0; k < names.size() && !p.name.isEmpty(); ++k) {
            if (names[k].compare(p.name, Qt::CaseInsensitive) == 0)
                index = k;
        }
        if (index < 0) {
            names.append(p.name);
            index = names.size() - 1;
        }
        out += u'$' + QString::number(index + 1);
    }
    out += QStringView(sql).mid(copied);
    return out;
}

// The server folds unquoted names to lower case; the grid shows the titles as written.
QString nameAsWritten(const QString &name, const QString &sql)
{
    static const QRegularExpression alias(QStringLiteral("\\bAS\\s+([^\\s,\"()]+)"),
                                          QRegularExpression::CaseInsensitiveOption |
                                              QRegularExpression::UseUnicodePropertiesOption);
    auto it = alias.globalMatch(sql);
    while (it.hasNext()) {
        const QString written = it.next().captured(1);
        if (written.compare(name, Qt::CaseInsensitive) == 0)
            return written;
    }
    return name;
}

// A refused write and a refused read mean different things to the account.
bool writes(const QByteArray &sql)
{
    const QByteArray verb = sql.trimmed().left(6).toLower();
    return verb == "insert" || verb == "update" || verb == "delete";
}

// The channel on which every program with the catalogue open hears of the others' writes.
constexpr const char *changeChannel = "quivel_alteracoes";

// The table a write names, as the program's writer words it; empty for anything else.
QString writtenTable(const QByteArray &sql)
{
    static const QRegularExpression target(
        QStringLiteral("^\\s*(?:insert\\s+into|update|delete\\s+from)\\s+(?:\\w+\\.)?\"?(\\w+)\"?"),
        QRegularExpression::CaseInsensitiveOption);
    return target.match(QString::fromUtf8(sql)).captured(1);
}

class PostgresStatement : public BackendStatement, public PostgresBackend::Stream
{
public:
    PostgresStatement(PostgresBackend &backend, const QString &original, const QString &sql)
        : m_backend(backend)
        , m_original(original)
        , m_sql(numberParameters(sql, m_names).toUtf8())
        , m_values(size_t(m_names.size()))
        , m_writes(writes(m_sql))
    {
        if (!m_writes)
            return;
        // The written rows' keys come back with the write, for the other programs to hear.
        const QString table = writtenTable(m_sql);
        const QString key = m_backend.keyColumn(table);
        if (key.isEmpty())
            return;
        m_writtenTable = table;
        const QString text = QString::fromUtf8(m_sql).trimmed();
        if (!text.contains(QStringLiteral("RETURNING"), Qt::CaseInsensitive)) {
            m_sql += " RETURNING " + key.toUtf8();
            m_returnsKey = true;
        } else {
            // A write that returns something else is heard of by its table alone.
            static const QRegularExpression returning(QStringLiteral("RETURNING\\s+\"?(\\w+)\"?$"),
                                                      QRegularExpression::CaseInsensitiveOption);
            m_returnsKey = returning.match(text).captured(1).compare(key, Qt::CaseInsensitive) == 0;
        }
    }

    // Prepared on the server once a session, before the first step (prepareRepeated).
    void keepPlan() { m_keepPlan = true; }

    ~PostgresStatement() override
    {
        if (!m_running)
            return;
        m_backend.streamEnded(this);
        // Rows still on their way are not wanted.
        m_backend.stopRunning();
    }

    void bind(int index, const QVariant &value) override
    {
        if (index < 1 || index > int(m_values.size()))
            return;
        m_values[size_t(index - 1)] = value;
    }

    void bind(const QString &name, const QVariant &value) override
    {
        const QString bare = name.startsWith(u':') ? name.mid(1) : name;
        for (qsizetype k = 0; k < m_names.size(); ++k) {
            if (m_names[k].compare(bare, Qt::CaseInsensitive) == 0)
                m_values[size_t(k)] = value;
        }
    }

    bool step() override
    {
        if (!m_started)
            start();
        if (m_aside)
            return stepAside();
        if (!m_running)
            return false;
        PGconn *conn = m_backend.connection();
        // Rows that arrive faster than the clock is looked at still let the reader stop.
        if (++m_rowsRead % rowsPerCheck == 0)
            m_backend.checkGoesOn();
        m_backend.awaitResult();
        Result r(PQgetResult(conn));
        const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
        if (status == PGRES_SINGLE_TUPLE) {
            if (!m_shape)
                m_shape.reset(PQcopyResult(r.get(), PG_COPYRES_ATTRS));
            if (m_writes && m_written++ == 0 && m_returnsKey)
                m_writtenKey = PQgetvalue(r.get(), 0, 0);
            m_current = std::move(r);
            return true;
        }
        // The last result carries the columns but no row; the one after it is the end.
        while (PGresult *rest = PQgetResult(conn))
            PQclear(rest);
        m_running = false;
        m_backend.streamEnded(this);
        if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
            m_backend.fail(sqlState(r.get()), serverText(r.get(), conn), m_writes);
        if (m_writes && status == PGRES_COMMAND_OK)
            m_written = std::atoi(PQcmdTuples(r.get()));
        announce();
        m_backend.collectChanges();
        if (!m_shape)
            m_shape = std::move(r);
        m_current.reset();
        m_ended = true;
        return false;
    }

    bool waitReady(const QDeadlineTimer &until) override
    {
        if (!m_started)
            start();
        if (m_aside || !m_running)
            return true;
        PGconn *conn = m_backend.connection();
        // Rows already received are parsed without a system call; only an empty buffer waits.
        while (PQisBusy(conn)) {
            m_backend.checkGoesOn();
            const qint64 left = until.remainingTime();
            if (left == 0)
                return false;
            pollfd socket{PQsocket(conn), POLLIN, 0};
            const int wait = left < 0 ? pollMs : int(std::min<qint64>(left, pollMs));
            const int ready = ::poll(&socket, 1, wait);
            if (ready < 0 && errno != EINTR)
                m_backend.fail("08006", QString::fromLocal8Bit(std::strerror(errno)));
            if (ready > 0)
                m_backend.heard();
            if (!PQconsumeInput(conn))
                m_backend.fail("08006", QString::fromUtf8(PQerrorMessage(conn)));
        }
        return true;
    }

    // Another statement needs the connection while rows are still arriving: they are read now
    // and kept here, and the reader goes on with them as if they came from the server.
    void setAside() override
    {
        try {
            while (m_running) {
                m_backend.awaitResult();
                Result r(PQgetResult(m_backend.connection()));
                const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
                if (status == PGRES_SINGLE_TUPLE) {
                    if (!m_shape)
                        m_shape.reset(PQcopyResult(r.get(), PG_COPYRES_ATTRS));
                    appendFrom(r.get(), aside());
                    continue;
                }
                while (PGresult *rest = PQgetResult(m_backend.connection()))
                    PQclear(rest);
                m_running = false;
                if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
                    m_backend.fail(sqlState(r.get()), serverText(r.get(), m_backend.connection()),
                                   m_writes);
                if (!m_shape)
                    m_shape = std::move(r);
                aside();
            }
        } catch (...) {
            // The reader of these rows learns of the failure at its next step; the statement
            // that needed the connection goes on.
            m_running = false;
            m_asideFailure = std::current_exception();
            if (!m_aside)
                m_aside = std::make_unique<RecordStore>(std::vector<RecordStore::Kind>());
        }
    }
    int execute() override
    {
        PGconn *conn = m_backend.handle();
        Parameters p(m_values);
        const QByteArray name = m_backend.preparedName(m_sql, int(p.pointers.size()));
        Result r(
            m_backend.answer(PQsendQueryPrepared(conn, name.constData(), int(p.pointers.size()),
                                                 p.pointers.data(), nullptr, nullptr, 0)));
        const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            // The medium a delete was guarded for got a title from another user meanwhile.
            if (std::strcmp(sqlState(r.get()), "23503") == 0 && m_sql.startsWith("DELETE")) {
                throw EOleException(QStringLiteral("A mídia não foi excluída do catálogo '%1': "
                                                   "outro usuário acabou de cadastrar um título "
                                                   "nela")
                                        .arg(m_backend.displayName()));
            }
            m_backend.fail(sqlState(r.get()), serverText(r.get(), conn), m_writes);
        }
        m_written = std::atoi(PQcmdTuples(r.get()));
        if (m_returnsKey && PQntuples(r.get()) > 0)
            m_writtenKey = PQgetvalue(r.get(), 0, 0);
        announce();
        m_backend.collectChanges();
        return m_written;
    }

    // The statement is prepared unnamed and described, two short round trips, and then runs
    // as prepared: its columns are known while the server works towards the first row.
    bool describeBeforeRows() override
    {
        if (m_started || m_writes || m_keepPlan)
            return false;
        PGconn *conn = m_backend.handle();
        const auto answer = [&](int sent) {
            Result r(m_backend.answer(sent));
            if (PQresultStatus(r.get()) != PGRES_COMMAND_OK)
                m_backend.fail(sqlState(r.get()), serverText(r.get(), conn));
            return r;
        };
        answer(PQsendPrepare(conn, "", m_sql.constData(), int(m_values.size()), nullptr));
        m_shape = answer(PQsendDescribePrepared(conn, ""));
        m_preparedUnnamed = true;
        return true;
    }

    int columnCount() const override { return m_shape ? PQnfields(m_shape.get()) : 0; }

    ResultColumn column(int i) const override
    {
        const PGresult *r = m_shape.get();
        ResultColumn c;
        c.name = nameAsWritten(QString::fromUtf8(PQfname(r, i)), m_original);
        switch (PQftype(r, i)) {
        case int2Type:
        case int4Type:
        case int8Type:
        case oidType:
            c.kind = RecordStore::Kind::Integer;
            break;
        case float4Type:
        case float8Type:
        case numericType:
            c.kind = RecordStore::Kind::Real;
            break;
        case varcharType:
        case bpcharType:
            c.size = PQfmod(r, i) > 4 ? PQfmod(r, i) - 4 : 0;
            break;
        default:
            break;
        }
        if (const auto *table = m_backend.table(PQftable(r, i))) {
            const auto it = table->columns.constFind(PQftablecol(r, i));
            if (it != table->columns.cend()) {
                c.table = table->name;
                c.origin = it->name;
                c.key = it->key && c.kind == RecordStore::Kind::Integer;
            }
        }
        return c;
    }

    QVariant value(int column) const override
    {
        if (m_ended)
            return {};
        QByteArray aside;
        const char *text = nullptr;
        int size = 0;
        if (m_current) {
            if (PQgetisnull(m_current.get(), 0, column))
                return {};
            text = PQgetvalue(m_current.get(), 0, column);
            size = PQgetlength(m_current.get(), 0, column);
        } else if (m_aside && m_asideRow < m_aside->rowCount()) {
            if (m_aside->isNull(m_asideRow, column))
                return {};
            aside = m_aside->bytes(m_asideRow, column);
            text = aside.constData();
            size = int(aside.size());
        } else {
            return {};
        }
        switch (PQftype(m_shape.get(), column)) {
        case int2Type:
        case int4Type:
        case int8Type:
        case oidType:
            return QVariant::fromValue<qlonglong>(std::strtoll(text, nullptr, 10));
        case float4Type:
        case float8Type:
        case numericType:
            return std::strtod(text, nullptr);
        default:
            return QString::fromUtf8(text, size);
        }
    }

    void appendRow(RecordStore &store) override
    {
        if (m_current) {
            appendFrom(m_current.get(), store);
            return;
        }
        for (int c = 0; c < store.columnCount(); ++c) {
            if (m_aside->isNull(m_asideRow, c)) {
                store.appendTextCell(c, nullptr, 0);
                continue;
            }
            const QByteArray bytes = m_aside->bytes(m_asideRow, c);
            store.appendTextCell(c, bytes.constData(), size_t(bytes.size()));
        }
        store.endRow();
    }

private:
    // Values as text, the server converting them to each parameter's type.
    struct Parameters
    {
        explicit Parameters(const std::vector<QVariant> &values)
        {
            texts.reserve(values.size());
            for (const QVariant &v : values) {
                if (!v.isValid() || v.isNull()) {
                    texts.emplace_back();
                    pointers.push_back(nullptr);
                    continue;
                }
                texts.push_back(v.toString().toUtf8());
                pointers.push_back(texts.back().constData());
            }
        }
        std::vector<QByteArray> texts;
        std::vector<const char *> pointers;
    };

    void start()
    {
        m_started = true;
        PGconn *conn = m_backend.handle();
        Parameters p(m_values);
        // A repeated read is prepared once a session and planned once. Others are not: a
        // prepared `select *` would fail once another program's upgrade adds a column.
        bool sent = false;
        if (m_keepPlan)
            sent = PQsendQueryPrepared(conn, m_backend.preparedName(m_sql, 0).constData(), 0,
                                       nullptr, nullptr, nullptr, 0);
        else if (m_preparedUnnamed)
            sent = PQsendQueryPrepared(conn, "", int(p.pointers.size()), p.pointers.data(), nullptr,
                                       nullptr, 0);
        else
            sent = PQsendQueryParams(conn, m_sql.constData(), int(p.pointers.size()), nullptr,
                                     p.pointers.data(), nullptr, nullptr, 0);
        if (!sent)
            m_backend.fail("08006", QString::fromUtf8(PQerrorMessage(conn)));
        m_backend.heard();
        m_running = true;
        PQsetSingleRowMode(conn);
        m_backend.streamStarted(this);
    }

    void announce()
    {
        if (!m_writes || m_written == 0 || m_writtenTable.isEmpty())
            return;
        m_backend.announce(m_writtenTable, m_written == 1 ? m_writtenKey : QByteArray());
    }

    // Every value as the server's text, as the rows first arrived.
    RecordStore &aside()
    {
        if (!m_aside) {
            const int columns = m_shape ? PQnfields(m_shape.get()) : 0;
            m_aside = std::make_unique<RecordStore>(
                std::vector<RecordStore::Kind>(size_t(columns), RecordStore::Kind::Text));
        }
        return *m_aside;
    }

    bool stepAside()
    {
        m_current.reset();
        if (++m_asideRow < m_aside->rowCount())
            return true;
        if (m_asideFailure)
            std::rethrow_exception(std::exchange(m_asideFailure, nullptr));
        m_ended = true;
        return false;
    }

    static void appendFrom(const PGresult *r, RecordStore &store)
    {
        for (int c = 0; c < store.columnCount(); ++c) {
            if (PQgetisnull(r, 0, c))
                store.appendTextCell(c, nullptr, 0);
            else
                store.appendTextCell(c, PQgetvalue(r, 0, c), size_t(PQgetlength(r, 0, c)));
        }
        store.endRow();
    }

    PostgresBackend &m_backend;
    QString m_original;
    QStringList m_names;
    QByteArray m_sql;
    std::vector<QVariant> m_values;
    Result m_current;                     // the row just read from the server
    Result m_shape;                       // the result's columns, without rows
    std::unique_ptr<RecordStore> m_aside; // rows read early for another statement's sake
    int m_asideRow = -1;
    std::exception_ptr m_asideFailure;
    int m_rowsRead = 0;
    QString m_writtenTable;  // the table a write names
    QByteArray m_writtenKey; // the key of the first row it wrote
    int m_written = 0;       // rows it wrote
    bool m_returnsKey = false;
    bool m_started = false;
    bool m_running = false;
    bool m_ended = false;
    bool m_writes;
    bool m_keepPlan = false;
    bool m_preparedUnnamed = false; // described before it ran
};

} // namespace

QString PostgresBackend::describe(const QString &conninfo)
{
    PQconninfoOption *options = PQconninfoParse(conninfo.toUtf8().constData(), nullptr);
    if (!options)
        return QStringLiteral("?");
    QString host;
    QString db;
    QString user;
    for (const PQconninfoOption *o = options; o->keyword; ++o) {
        const QString value = QString::fromUtf8(o->val ? o->val : "");
        if (std::strcmp(o->keyword, "host") == 0)
            host = value;
        else if (std::strcmp(o->keyword, "dbname") == 0)
            db = value;
        else if (std::strcmp(o->keyword, "user") == 0)
            user = value;
    }
    PQconninfoFree(options);
    if (db.isEmpty())
        db = user.isEmpty() ? qEnvironmentVariable("PGDATABASE") : user;
    return (host.isEmpty() ? QStringLiteral("localhost") : host) + u'/' + db;
}

bool PostgresBackend::isKeywordString(const QString &text)
{
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(text.toUtf8().constData(), &error);
    PQfreemem(error);
    if (!options)
        return false;
    PQconninfoFree(options);
    return true;
}

PostgresBackend::PostgresBackend(const QString &conninfo, EngineWatch &watch, ConnectOnly)
    : m_conninfo(conninfo)
    , m_watch(watch)
{
    connect();
}

PostgresBackend::PostgresBackend(const QString &conninfo, EngineWatch &watch)
    : PostgresBackend(conninfo, watch, ConnectOnly{})
{
    try {
        checkCatalogue();
    } catch (...) {
        PQfinish(m_conn);
        m_conn = nullptr;
        throw;
    }
}

std::unique_ptr<PostgresBackend> PostgresBackend::connectOnly(const QString &conninfo)
{
    return std::unique_ptr<PostgresBackend>(
        new PostgresBackend(conninfo, unwatched(), ConnectOnly{}));
}

EngineWatch &PostgresBackend::unwatched()
{
    static Unwatched nobody;
    return nobody;
}

PostgresBackend::~PostgresBackend()
{
    PQfinish(m_conn);
}

namespace {

// The waits a session sets for itself, like the file's: a statement gives up after 20 s and a
// row another program holds after 5 s. A server that never answers the connection is given
// 10 s unless the address says otherwise.
constexpr const char *defaultConnectTimeout = "10";
constexpr const char *sessionLimits = "SET statement_timeout TO '20s'; SET lock_timeout TO '5s'";

bool knownSslMode(const QString &mode)
{
    static const QStringList modes{QStringLiteral("disable"),   QStringLiteral("allow"),
                                   QStringLiteral("prefer"),    QStringLiteral("require"),
                                   QStringLiteral("verify-ca"), QStringLiteral("verify-full")};
    return modes.contains(mode);
}

// The SQLSTATE of a failed start-up: the verbose error text carries it after the severity,
// which is in the server's language while the code is not. Every code holds a digit; a
// five-letter severity word does not.
QString startupState(const QString &error)
{
    static const QRegularExpression code(
        QStringLiteral(":\\s+((?=[A-Z]{0,4}[0-9])[0-9A-Z]{5}):\\s"));
    const auto match = code.match(error);
    return match.hasMatch() ? match.captured(1) : QString();
}

} // namespace

namespace {

// Connects as the address says, or as the account the user typed, waiting at most
// `timeoutSeconds` for the server.
PGconn *connectAs(const QByteArray &info, const QString &user, const QByteArray &password,
                  int timeoutSeconds, bool &timedOut, ConnStatusType &reached)
{
    // The address is expanded first; its own connect_timeout, coming later, wins over the
    // default. The account and the password typed by the user go as parameters of their own,
    // never into a string that could be shown or logged.
    const QByteArray account = user.toUtf8();
    std::vector<const char *> keys{"connect_timeout", "dbname"};
    std::vector<const char *> values{defaultConnectTimeout, info.constData()};
    if (!account.isEmpty()) {
        keys.push_back("user");
        values.push_back(account.constData());
    }
    if (!password.isEmpty()) {
        keys.push_back("password");
        values.push_back(password.constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    pg_conn *conn = PQconnectStartParams(keys.data(), values.data(), 1);
    // Verbose errors carry the SQLSTATE, which is not in any one language.
    PQsetErrorVerbosity(conn, PQERRORS_VERBOSE);
    timedOut = false;
    reached = CONNECTION_STARTED;
    if (PQstatus(conn) == CONNECTION_BAD)
        return conn;
    // libpq's own wait honours connect_timeout only when it blocks; this one waits on the
    // socket itself and gives up at the same limit.
    QDeadlineTimer deadline(timeoutSeconds > 0 ? qint64(timeoutSeconds) * 1000 : -1);
    PostgresPollingStatusType polling = PGRES_POLLING_WRITING;
    while (polling != PGRES_POLLING_OK && polling != PGRES_POLLING_FAILED) {
        pollfd socket{PQsocket(conn), short(polling == PGRES_POLLING_READING ? POLLIN : POLLOUT),
                      0};
        const int ready = ::poll(&socket, 1, 50);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0) {
            reached = PQstatus(conn);
            polling = PQconnectPoll(conn);
            continue;
        }
        if (deadline.hasExpired()) {
            timedOut = true;
            break;
        }
    }
    return conn;
}

} // namespace

void PostgresBackend::connect()
{
    const QByteArray info = m_conninfo.toUtf8();
    // A keyword string that is not even well formed gets no further than this.
    char *parseError = nullptr;
    PQconninfoOption *options = PQconninfoParse(info.constData(), &parseError);
    if (!options) {
        PQfreemem(parseError);
        throw EOleException(QStringLiteral("O endereço do servidor do catálogo em QUIVEL_DATABASE "
                                           "não é válido"));
    }
    QString sslMode;
    int timeoutSeconds = std::atoi(defaultConnectTimeout);
    for (const PQconninfoOption *o = options; o->keyword; ++o) {
        if (!o->val)
            continue;
        if (std::strcmp(o->keyword, "sslmode") == 0)
            sslMode = QString::fromUtf8(o->val);
        else if (std::strcmp(o->keyword, "connect_timeout") == 0)
            timeoutSeconds = std::atoi(o->val);
    }
    PQconninfoFree(options);
    m_name = describe(m_conninfo);
    if (!sslMode.isEmpty() && !knownSslMode(sslMode)) {
        throw EOleException(QStringLiteral("O endereço do servidor do catálogo '%1' pede uma "
                                           "segurança (sslmode) desconhecida: '%2'. Use disable, "
                                           "prefer, require, verify-ca ou verify-full")
                                .arg(m_name, sslMode));
    }

    QString user;
    QByteArray password;
    bool timedOut = false;
    ConnStatusType reached = CONNECTION_STARTED;
    m_conn = connectAs(info, user, password, timeoutSeconds, timedOut, reached);
    // Asked of the user when libpq had no password, or the server refused the one typed.
    for (int tries = 0; !timedOut && PQstatus(m_conn) != CONNECTION_OK && tries < 3; ++tries) {
        // Also a wrong password from .pgpass or PGPASSWORD: the user may type the right one.
        const bool refused = startupState(QString::fromUtf8(PQerrorMessage(m_conn))) == u"28P01";
        if (!PQconnectionNeedsPassword(m_conn) && !refused)
            break;
        if (user.isEmpty())
            user = QString::fromUtf8(PQuser(m_conn) ? PQuser(m_conn) : "");
        const QString name = describe(m_conninfo);
        const QString reason =
            refused ? QStringLiteral("O servidor não aceitou a conta ou a senha; tente de novo")
                    : QStringLiteral("O servidor pede a senha da conta");
        // Whoever asks throws SignInCancelled when the user gives up.
        bool given = false;
        try {
            given = m_watch.signIn(name, reason, user, password);
        } catch (...) {
            PQfinish(m_conn);
            m_conn = nullptr;
            throw;
        }
        if (!given)
            break; // nobody to ask: the refusal below says what happened
        PQfinish(m_conn);
        m_conn = connectAs(info, user, password, timeoutSeconds, timedOut, reached);
        password.fill('\0');
    }
    if (!timedOut && PQstatus(m_conn) == CONNECTION_OK) {
        const QString host = QString::fromUtf8(PQhost(m_conn) ? PQhost(m_conn) : "");
        const QString db = QString::fromUtf8(PQdb(m_conn) ? PQdb(m_conn) : "");
        m_name = (host.isEmpty() ? QStringLiteral("localhost") : host) + u'/' + db;
        PQsetErrorVerbosity(m_conn, PQERRORS_DEFAULT);
        startSession();
        return;
    }
    const QString error = QString::fromUtf8(PQerrorMessage(m_conn));
    const bool needsPassword = PQconnectionNeedsPassword(m_conn);
    PQfinish(m_conn);
    m_conn = nullptr;
    if (timedOut) {
        throw EOleException(
            QStringLiteral("O servidor do catálogo '%1' não respondeu em %2 %3; "
                           "verifique se o servidor está ligado e acessível")
                .arg(m_name)
                .arg(timeoutSeconds)
                .arg(timeoutSeconds == 1 ? QStringLiteral("segundo") : QStringLiteral("segundos")));
    }
    const QString state = startupState(error);
    if (state == u"3D000")
        throw EOleException(QStringLiteral("O catálogo '%1' não existe no servidor").arg(m_name));
    if (needsPassword || state.startsWith(u"28")) {
        throw EOleException(QStringLiteral("O servidor recusou o acesso ao catálogo '%1': usuário "
                                           "ou senha não aceitos")
                                .arg(m_name));
    }
    if (state == u"53300" || state == u"57P03") {
        throw EOleException(QStringLiteral("O servidor do catálogo '%1' não está aceitando "
                                           "conexões agora. Tente de novo em alguns instantes")
                                .arg(m_name));
    }
    // A failure while the secure channel was being set up is the certificate's or the key's.
    if (state.isEmpty() && reached == CONNECTION_SSL_STARTUP) {
        throw EOleException(QStringLiteral("Não foi possível estabelecer uma conexão segura com o "
                                           "servidor do catálogo '%1': o servidor não a oferece, "
                                           "ou o certificado não foi aceito ou não foi "
                                           "encontrado")
                                .arg(m_name));
    }
    throw EOleException(QStringLiteral("Não foi possível conectar ao servidor do catálogo '%1'; "
                                       "verifique se o servidor está ligado e acessível")
                            .arg(m_name));
}

QString PostgresBackend::account() const
{
    return QString::fromUtf8(PQuser(m_conn) ? PQuser(m_conn) : "");
}

bool PostgresBackend::mayWrite()
{
    if (m_mayWrite < 0) {
        reconnectIfLost();
        const Result r = query("SELECT COALESCE(pg_catalog.has_table_privilege("
                               "pg_catalog.to_regclass('quivel.cds'), 'INSERT'), true)");
        m_mayWrite = PQgetvalue(r.get(), 0, 0)[0] == 't' ? 1 : 0;
    }
    return m_mayWrite == 1;
}

void PostgresBackend::changeOwnPassword(const QByteArray &password)
{
    if (password.isEmpty())
        throw EOleException(QStringLiteral("A senha não pode ser vazia"));
    reconnectIfLost();
    // The verifier is made here; the clear password never travels nor reaches the server's log.
    char *verifier =
        PQencryptPasswordConn(m_conn, password.constData(), PQuser(m_conn), "scram-sha-256");
    if (!verifier) {
        throw EOleException(
            QStringLiteral("Não foi possível preparar a senha para o servidor '%1'").arg(m_name));
    }
    char *quoted = PQescapeLiteral(m_conn, verifier, std::strlen(verifier));
    PQfreemem(verifier);
    if (!quoted)
        fail("", serverText(nullptr, m_conn));
    const QByteArray sql = QByteArray("ALTER ROLE CURRENT_USER PASSWORD ") + quoted;
    PQfreemem(quoted);
    query(sql);
}

void PostgresBackend::startSession()
{
    // The server's notices are for its administrator, not for the program's output.
    PQsetNoticeProcessor(
        m_conn, [](void *, const char *) {}, nullptr);
    PQsetClientEncoding(m_conn, "UTF8");
    execute(QStringLiteral("SET search_path TO quivel, pg_catalog; "
                           "SET standard_conforming_strings TO on; LISTEN %1; ")
                .arg(QLatin1String(changeChannel)) +
            QLatin1String(sessionLimits));
    // The catalogue's tables, read once: result columns are traced back to them while
    // their rows are still arriving, when no other command can run.
    m_tables.clear();
    const Result r =
        query("SELECT c.oid, c.relname, a.attnum, a.attname, a.attidentity <> '' OR "
              "COALESCE(pg_catalog.starts_with(pg_catalog.pg_get_expr(d.adbin, d.adrelid), "
              "'nextval('), false) "
              "FROM pg_catalog.pg_class c "
              "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
              "JOIN pg_catalog.pg_attribute a ON a.attrelid = c.oid "
              "LEFT JOIN pg_catalog.pg_attrdef d ON d.adrelid = c.oid AND d.adnum = a.attnum "
              "WHERE n.nspname = 'quivel' AND c.relkind = 'r' AND a.attnum > 0 "
              "AND NOT a.attisdropped");
    for (int row = 0; row < PQntuples(r.get()); ++row) {
        Table &t = m_tables[unsigned(std::strtoul(PQgetvalue(r.get(), row, 0), nullptr, 10))];
        t.name = QString::fromUtf8(PQgetvalue(r.get(), row, 1));
        t.columns.insert(std::atoi(PQgetvalue(r.get(), row, 2)),
                         {QString::fromUtf8(PQgetvalue(r.get(), row, 3)),
                          PQgetvalue(r.get(), row, 4)[0] == 't'});
    }
}

void PostgresBackend::checkCatalogue()
{
    try {
        checkTables();
    } catch (const EOleException &) {
        if (std::strcmp(m_lastState, "42501") != 0)
            throw;
        throw EOleException(QStringLiteral("Sem permissão para ler o catálogo '%1' no servidor; "
                                           "peça ao administrador do servidor acesso às tabelas "
                                           "do Quivel")
                                .arg(m_name));
    }
}

void PostgresBackend::checkTables()
{
    Result r = query("SELECT pg_catalog.to_regclass('quivel.cds') IS NOT NULL AND "
                     "pg_catalog.to_regclass('quivel.softs') IS NOT NULL AND "
                     "pg_catalog.to_regclass('quivel.versao') IS NOT NULL");
    if (PQgetvalue(r.get(), 0, 0)[0] != 't') {
        throw EOleException(QStringLiteral("O catálogo '%1' no servidor não tem as tabelas do "
                                           "Quivel; crie-as com o comando quivel-catalogue create")
                                .arg(m_name));
    }
    r = query("SELECT max(versao) FROM quivel.versao");
    const int version = std::atoi(PQgetvalue(r.get(), 0, 0));
    if (version > Schema::version) {
        throw EOleException(QStringLiteral("O catálogo '%1' foi criado por uma versão mais nova "
                                           "do Quivel e não pode ser aberto por esta")
                                .arg(m_name));
    }
    // A server's catalogue is shared: it is upgraded once, on purpose, not by whichever
    // program happens to open it first.
    if (version < Schema::version) {
        throw EOleException(
            QStringLiteral("O catálogo '%1' no servidor é da versão %2, anterior a esta do "
                           "Quivel. Feche o Quivel em todos os computadores que o usam e "
                           "atualize-o com o comando:\n\nquivel-catalogue upgrade ENDEREÇO\n\n"
                           "com o mesmo endereço dado em QUIVEL_DATABASE.")
                .arg(m_name)
                .arg(version));
    }
}

void PostgresBackend::reconnectIfLost()
{
    // A server that went away while the connection sat idle has left it readable at its end:
    // its last words, then the end of the stream. Reading all of that now finds out before a
    // statement is sent into nothing.
    const bool seenBefore = m_lost;
    const PGTransactionStatusType before = PQtransactionStatus(m_conn);
    for (int reads = 0; reads < 8 && !m_lost; ++reads) {
        pollfd socket{PQsocket(m_conn), POLLIN, 0};
        if (::poll(&socket, 1, 0) <= 0)
            break;
        if (PQconsumeInput(m_conn) != 1 || PQstatus(m_conn) != CONNECTION_OK)
            m_lost = true;
    }
    if (!m_lost && PQstatus(m_conn) == CONNECTION_OK)
        return;
    m_lost = true;
    // Inside a transaction a new session would not carry on the same work: that is said.
    if (!seenBefore && (before == PQTRANS_INTRANS || before == PQTRANS_INERROR)) {
        throw EOleException(QStringLiteral("A conexão com o servidor do catálogo '%1' foi "
                                           "perdida; a operação não foi concluída. Tente de novo "
                                           "quando o servidor estiver acessível")
                                .arg(m_name));
    }
    PQreset(m_conn);
    if (PQstatus(m_conn) != CONNECTION_OK) {
        throw EOleException(QStringLiteral("Não foi possível conectar ao servidor do catálogo "
                                           "'%1'; verifique se o servidor está ligado e acessível")
                                .arg(m_name));
    }
    m_lost = false;
    m_prepared.clear(); // the new session has none of them
    startSession();
}

void PostgresBackend::run(const QString &sql)
{
    reconnectIfLost();
    // The transaction's announcements go with its commit, in the same round trip.
    const QString verb = sql.trimmed().section(u' ', 0, 0).toUpper();
    if (verb == u"COMMIT" || verb == u"END")
        execute(QString::fromUtf8(announcements()) + sql);
    else
        execute(sql);
    if (verb == u"BEGIN" || verb == u"ROLLBACK")
        m_announcements.clear();
}

void PostgresBackend::execute(const QString &sql)
{
    query(sql.toUtf8());
    collectChanges();
}

QString PostgresBackend::keyColumn(const QString &tableName) const
{
    for (const Table &t : m_tables) {
        if (t.name.compare(tableName, Qt::CaseInsensitive) != 0)
            continue;
        for (const TableColumn &c : t.columns) {
            if (c.key)
                return c.name;
        }
    }
    return {};
}

void PostgresBackend::announce(const QString &tableName, const QByteArray &key)
{
    // Inside a transaction the others hear once, at its commit, of each table it wrote: of the
    // row when it wrote one, of the table when it wrote several.
    if (PQtransactionStatus(m_conn) == PQTRANS_INTRANS) {
        const auto it = m_announcements.constFind(tableName);
        m_announcements.insert(tableName,
                               it == m_announcements.cend() || *it == key ? key : QByteArray());
        return;
    }
    m_announcements.clear();
    m_announcements.insert(tableName, key);
    // A courtesy to the others: the write itself has succeeded, and whatever broke here the
    // next statement finds out.
    try {
        PQclear(exec(announcements().constData()));
    } catch (...) {
    }
}

// Table names and keys are letters, digits and '_': they need no quoting.
QByteArray PostgresBackend::announcements()
{
    QByteArray sql;
    for (auto it = m_announcements.cbegin(); it != m_announcements.cend(); ++it) {
        const QByteArray payload =
            it.value().isEmpty() ? it.key().toUtf8() : it.key().toUtf8() + ':' + it.value();
        sql +=
            QByteArray("SELECT pg_catalog.pg_notify('") + changeChannel + "', '" + payload + "'); ";
    }
    m_announcements.clear();
    return sql;
}

bool PostgresBackend::gatherNotifies()
{
    bool heard = false;
    while (PGnotify *n = PQnotifies(m_conn)) {
        // The program hears its own writes too; those its windows already show.
        if (n->be_pid != PQbackendPID(m_conn) && std::strcmp(n->relname, changeChannel) == 0) {
            const QString payload = QString::fromUtf8(n->extra);
            const qsizetype colon = payload.indexOf(u':');
            CatalogueChange change;
            change.table = colon < 0 ? payload : payload.left(colon);
            if (colon >= 0)
                change.key = payload.mid(colon + 1).toLongLong();
            m_changes.push_back(change);
            heard = true;
        }
        PQfreemem(n);
    }
    return heard;
}

void PostgresBackend::collectChanges()
{
    if (gatherNotifies())
        m_watch.changesHeard();
}

int PostgresBackend::changeSocket() const
{
    return m_conn && PQstatus(m_conn) == CONNECTION_OK ? PQsocket(m_conn) : -1;
}

std::vector<CatalogueChange> PostgresBackend::takeChanges()
{
    // Reading never disturbs a statement whose rows are arriving: libpq keeps them. A server
    // that went away leaves the connection bad, for the next statement to reconnect.
    if (m_conn && PQstatus(m_conn) == CONNECTION_OK && PQconsumeInput(m_conn))
        gatherNotifies();
    return std::exchange(m_changes, {});
}

void PostgresBackend::fail(const char *state, const QString &text, bool writing) const
{
    std::strncpy(m_lastState, state, sizeof m_lastState - 1);
    // libpq's own failures carry no SQLSTATE: the link to the server is gone.
    if (PQstatus(m_conn) == CONNECTION_BAD || *state == '\0' || std::strncmp(state, "08", 2) == 0 ||
        std::strncmp(state, "57P", 3) == 0) {
        m_lost = true;
        throw EOleException(QStringLiteral("A conexão com o servidor do catálogo '%1' foi "
                                           "perdida; a operação não foi concluída. Tente de novo "
                                           "quando o servidor estiver acessível")
                                .arg(m_name));
    }
    if (std::strcmp(state, "22001") == 0 || std::strcmp(state, "23514") == 0) {
        throw EOleException(QStringLiteral("O servidor do catálogo '%1' recusou um texto maior "
                                           "que o campo aceita; nada foi salvo (%2)")
                                .arg(m_name, text));
    }
    // The server's rights decide; the program only says what they mean.
    if (std::strcmp(state, "42501") == 0 && writing)
        throw EOleException(readOnlyAccountText());
    if (std::strcmp(state, "55P03") == 0 || std::strcmp(state, "40P01") == 0) {
        throw EOleException(QStringLiteral("O catálogo '%1' está ocupado por outro programa. "
                                           "Tente de novo em alguns instantes")
                                .arg(m_name));
    }
    if (std::strcmp(state, "23503") == 0) {
        // The same words as the program's own guard, which the server's key backs up.
        throw EOleException(QStringLiteral("A mídia escolhida para este software não existe mais: "
                                           "ela foi apagada por outro programa. Escolha outra "
                                           "mídia e salve de novo; nada foi salvo"));
    }
    if (std::strcmp(state, "57014") == 0) {
        throw EOleException(QStringLiteral("O servidor do catálogo '%1' demorou demais para "
                                           "responder, e o comando foi interrompido")
                                .arg(m_name));
    }
    if (std::strcmp(state, "42501") == 0) {
        throw EOleException(
            QStringLiteral("Sua conta não tem acesso ao catálogo '%1' no servidor").arg(m_name));
    }
    if (std::strncmp(state, "23", 2) == 0) {
        throw EOleException(QStringLiteral("O servidor do catálogo '%1' recusou a gravação: ela "
                                           "não cumpre uma regra das tabelas; nada foi salvo (%2)")
                                .arg(m_name, text));
    }
    throw EOleException(
        QStringLiteral("O servidor do catálogo '%1' recusou a operação (%2)").arg(m_name, text));
}

const PostgresBackend::Table *PostgresBackend::table(unsigned oid) const
{
    const auto it = m_tables.constFind(oid);
    return it == m_tables.cend() ? nullptr : &*it;
}

// The file gives a plain one-table read in the order of its key, and the windows' lists show
// rows in that order; the server promises no order at all, and an updated row moves.
QString PostgresBackend::inFileOrder(const QString &sql) const
{
    static const QRegularExpression plain(
        QStringLiteral("^\\s*select\\b.*?\\bfrom\\s+(\\w+)\\s*(,|\\bwhere\\b|;|$)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression ordered(
        QStringLiteral("\\b(order\\s+by|group\\s+by|having|union|intersect|except|limit|offset|"
                       "distinct|for\\s+update|count|sum|min|max|avg)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    const auto match = plain.match(sql);
    if (!match.hasMatch() || ordered.match(sql).hasMatch())
        return sql;
    const QString tableName = match.captured(1);
    for (const Table &t : m_tables) {
        if (t.name.compare(tableName, Qt::CaseInsensitive) != 0)
            continue;
        for (const TableColumn &c : t.columns) {
            if (!c.key)
                continue;
            QString body = sql.trimmed();
            while (body.endsWith(u';'))
                body.chop(1);
            return body + QStringLiteral("\nORDER BY %1.%2").arg(t.name, c.name);
        }
    }
    return sql;
}

std::unique_ptr<BackendStatement> PostgresBackend::prepareRepeated(const QString &sql)
{
    auto statement = prepare(sql);
    static_cast<PostgresStatement &>(*statement).keepPlan();
    return statement;
}

std::unique_ptr<BackendStatement> PostgresBackend::prepare(const QString &sql)
{
    reconnectIfLost();
    if (sql.trimmed().isEmpty())
        throw EOleException(QStringLiteral("O comando SQL está vazio"));
    const QString verb = sql.trimmed().section(u' ', 0, 0).toUpper();
    if ((verb == u"COMMIT" || verb == u"END") && !m_announcements.isEmpty())
        execute(QString::fromUtf8(announcements()));
    else if (verb == u"BEGIN" || verb == u"ROLLBACK")
        m_announcements.clear();
    return std::make_unique<PostgresStatement>(*this, sql, inFileOrder(sql));
}

QByteArray PostgresBackend::preparedName(const QByteArray &sql, int parameterCount)
{
    const auto it = m_prepared.constFind(sql);
    if (it != m_prepared.cend())
        return *it;
    const QByteArray name = "quivel_" + QByteArray::number(m_prepared.size() + 1);
    Result r(PQprepare(handle(), name.constData(), sql.constData(), parameterCount, nullptr));
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK)
        fail(sqlState(r.get()), serverText(r.get(), m_conn));
    m_prepared.insert(sql, name);
    return name;
}

void PostgresBackend::streamStarted(Stream *stream)
{
    m_streaming = stream;
}

void PostgresBackend::streamEnded(Stream *stream)
{
    if (m_streaming == stream)
        m_streaming = nullptr;
}

pg_conn *PostgresBackend::handle()
{
    // The server answers one command at a time: rows of a read still arriving are taken in
    // first, and their reader finds them here.
    if (Stream *stream = std::exchange(m_streaming, nullptr))
        stream->setAside();
    return m_conn;
}

void PostgresBackend::heard()
{
    const int limit = m_watch.silenceLimitMs();
    m_silence = limit < 0 || m_silenceLifted ? QDeadlineTimer(QDeadlineTimer::Forever)
                                             : QDeadlineTimer(limit);
}

void PostgresBackend::liftSilenceLimit(bool lifted)
{
    m_silenceLifted = lifted;
    heard();
}

void PostgresBackend::checkGoesOn()
{
    if (m_watch.goesOn() && !m_silence.hasExpired())
        return;
    stopRunning();
    throw EOleException(QStringLiteral("O servidor do catálogo '%1' demorou demais para "
                                       "responder, e o comando foi interrompido")
                            .arg(m_name));
}

PGresult *PostgresBackend::exec(const char *sql, int parameterCount, const char *const *values)
{
    PGconn *conn = handle();
    return answer(parameterCount > 0 ? PQsendQueryParams(conn, sql, parameterCount, nullptr, values,
                                                         nullptr, nullptr, 0)
                                     : PQsendQuery(conn, sql));
}

void PgResultFree::operator()(pg_result *r) const
{
    PQclear(r);
}

PgResult PostgresBackend::query(const QByteArray &sql)
{
    Result r(exec(sql.constData()));
    const ExecStatusType status = PQresultStatus(r.get());
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
        fail(sqlState(r.get()), serverText(r.get(), m_conn));
    return r;
}

PGresult *PostgresBackend::answer(int sent)
{
    if (!sent)
        fail("08006", QString::fromUtf8(PQerrorMessage(m_conn)));
    heard();
    // As PQexec: the first failure, else the last result.
    Result kept;
    for (;;) {
        awaitResult();
        Result r(PQgetResult(m_conn));
        if (!r)
            break;
        const ExecStatusType status = PQresultStatus(kept.get());
        if (!kept || (status != PGRES_FATAL_ERROR && status != PGRES_NONFATAL_ERROR))
            kept = std::move(r);
    }
    return kept.release();
}

void PostgresBackend::stopRunning()
{
    // The server stops the statement and answers with an error, which is drained here: the
    // connection is then ready for the next statement. A server that does not answer in a
    // moment (its process stopped, the network gone) is cut off at this end instead, so
    // nothing waits on it: the session ends, and the next statement starts a new one.
    const QDeadlineTimer patience(cancelPatienceMs);
    if (askToCancel(patience) && drainResults(patience))
        return;
    ::shutdown(PQsocket(m_conn), SHUT_RDWR);
    while (PGresult *r = PQgetResult(m_conn)) // the end of the stream, at once
        PQclear(r);
    m_lost = true;
}

bool PostgresBackend::askToCancel(const QDeadlineTimer &until)
{
    PGcancel *cancel = PQgetCancel(m_conn);
    if (!cancel)
        return false;
    // libpq waits for the server to take the request, without a time limit of its own: the
    // wait happens on a thread that is left to it when the server does not take it in time.
    auto taken = std::make_shared<std::promise<void>>();
    std::future<void> answer = taken->get_future();
    std::thread([cancel, taken] {
        char error[256];
        PQcancel(cancel, error, sizeof error);
        PQfreeCancel(cancel);
        taken->set_value();
    }).detach();
    return answer.wait_for(std::chrono::milliseconds(std::max<qint64>(0, until.remainingTime()))) ==
           std::future_status::ready;
}

bool PostgresBackend::drainResults(const QDeadlineTimer &until)
{
    for (;;) {
        while (PQisBusy(m_conn)) {
            if (until.hasExpired())
                return false;
            pollfd socket{PQsocket(m_conn), POLLIN, 0};
            const int wait = int(std::min<qint64>(until.remainingTime(), pollMs));
            if (::poll(&socket, 1, wait) < 0 && errno != EINTR)
                return false;
            if (!PQconsumeInput(m_conn))
                return true; // the connection broke: nothing more will come
        }
        PGresult *r = PQgetResult(m_conn);
        if (!r)
            return true;
        PQclear(r);
    }
}

void PostgresBackend::awaitResult()
{
    // Waiting on the socket rather than in libpq keeps the time limit and a stop working while
    // the server works.
    while (PQisBusy(m_conn)) {
        pollfd socket{PQsocket(m_conn), POLLIN, 0};
        const int ready = ::poll(&socket, 1, pollMs);
        if (ready < 0 && errno != EINTR)
            fail("08006", QString::fromLocal8Bit(std::strerror(errno)));
        if (ready > 0)
            heard();
        if (!PQconsumeInput(m_conn))
            fail("08006", QString::fromUtf8(PQerrorMessage(m_conn)));
        checkGoesOn();
    }
}

// The file's steps in built-in functions, so no extension is needed on the server: the
// canonical decomposition, the combining diacritical marks taken out, composed again. A text
// of ASCII alone (as many bytes as characters) is its own result, and skips those steps, ten
// times the cost of the search itself. LIKE is the catalogue's own operator, which already
// ignores case.
QString PostgresBackend::accentFreeLike(const QString &text, const QString &pattern) const
{
    const auto bare = [](const QString &value) {
        return QStringLiteral("(CASE WHEN pg_catalog.octet_length((%1)::text) = "
                              "pg_catalog.length((%1)::text) THEN (%1)::text ELSE "
                              "pg_catalog.normalize(pg_catalog.regexp_replace(pg_catalog.normalize("
                              "(%1)::text, 'NFD'), '[\\u0300-\\u036f]', '', 'g'), 'NFC') END)")
            .arg(value);
    };
    return bare(text) + QStringLiteral(" LIKE ") + bare(pattern);
}

bool PostgresBackend::inTransaction() const
{
    const PGTransactionStatusType status = PQtransactionStatus(m_conn);
    return status == PQTRANS_INTRANS || status == PQTRANS_INERROR || status == PQTRANS_ACTIVE;
}

QString PostgresBackend::writeRefusal(const QString &table)
{
    return SchemaObjects::writeRefusal(SchemaObjects::inspectServer(*this), table, m_name, true);
}
