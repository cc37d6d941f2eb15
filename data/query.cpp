// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/query.h"

#include "data/backend.h"
#include "data/connection.h"
#include "data/data_source.h"
#include "data/exceptions.h"
#include "data/write_transaction.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <exception>
#include <optional>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// A slice of a gradual read asked for by its reader, who has other work in the same pass of
// the event loop.
constexpr int readSliceMs = 8;
// A slice read between other events: as long as a report's layout slice, so the two share
// the time evenly, and short enough for the event loop to stay live.
constexpr int backgroundSliceMs = 20;
// Rows read between two looks at the clock.
constexpr int rowsPerClockCheck = 256;

bool compatible(TFieldType wanted, TFieldType actual)
{
    const auto numeric = [](TFieldType t) {
        return t == TFieldType::AutoInc || t == TFieldType::Integer;
    };
    if (numeric(wanted))
        return numeric(actual);
    return wanted == actual;
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    const bool aNull = !a.isValid() || a.isNull();
    const bool bNull = !b.isValid() || b.isNull();
    if (aNull || bNull)
        return aNull == bNull;
    return a == b;
}

// An identifier in SQL, double-quoted so any name is taken as written.
QString quotedIdentifier(const QString &identifier)
{
    QString out = identifier;
    out.replace(u'"', QStringLiteral("\"\""));
    return u'"' + out + u'"';
}

} // namespace

QStringList scanParameterNames(const QString &statement)
{
    QStringList names;
    const qsizetype n = statement.size();
    qsizetype i = 0;
    const auto isNameChar = [](QChar c) { return c.isLetterOrNumber() || c == u'_'; };
    while (i < n) {
        const QChar c = statement[i];
        if (c == u'\'' || c == u'"' || c == u'`' || c == u'[') {
            const QChar close = c == u'[' ? u']' : c;
            ++i;
            while (i < n && statement[i] != close)
                ++i;
            ++i;
            continue;
        }
        if (c == u'-' && i + 1 < n && statement[i + 1] == u'-') {
            while (i < n && statement[i] != u'\n')
                ++i;
            continue;
        }
        if (c == u'/' && i + 1 < n && statement[i + 1] == u'*') {
            const qsizetype end = statement.indexOf(QStringLiteral("*/"), i + 2);
            i = end < 0 ? n : end + 2;
            continue;
        }
        if (c == u':' && i + 1 < n && isNameChar(statement[i + 1]) &&
            (i == 0 || statement[i - 1] != u':')) {
            qsizetype end = i + 1;
            while (end < n && isNameChar(statement[end]))
                ++end;
            const QString name = statement.mid(i + 1, end - i - 1);
            if (!names.contains(name, Qt::CaseInsensitive))
                names.append(name);
            i = end;
            continue;
        }
        ++i;
    }
    return names;
}

TADOQuery::TADOQuery(const QString &name, TADOConnection *connection, QObject *parent)
    : QObject(parent)
    , m_connection(connection)
{
    setObjectName(name);
    // A read left pending (its report closed early) goes on between other events, so its
    // statement never holds the file against other programs for long.
    m_backgroundRead.setInterval(0);
    connect(&m_backgroundRead, &QTimer::timeout, this, [this] {
        if (m_connection->statementRunning())
            return;
        try {
            readSlice(backgroundSliceMs);
        } catch (...) {
            // The query is closed and the result's reader, if any, is handed the failure.
        }
    });
}

TADOQuery::~TADOQuery()
{
    if (m_pending) {
        endPendingRead(std::make_exception_ptr(
            EDatabaseError(name() + QStringLiteral(": a leitura dos dados foi interrompida"))));
    }
    // A pending record is dropped, never saved, when the dataset goes away.
    m_state = TDataSetState::Inactive;
    for (TField *f : m_persistentFields) {
        f->m_dataSet = nullptr;
        f->m_column = -1;
    }
}

void TADOQuery::removeField(TField *field)
{
    std::erase(m_persistentFields, field);
    std::erase(m_fields, field);
}

void TADOQuery::fail(const QString &message) const
{
    throw EDatabaseError(name() + QStringLiteral(": ") + message);
}

void TADOQuery::checkActive() const
{
    if (!active())
        fail(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

void TADOQuery::setSql(const QStringList &lines)
{
    close();
    m_sql = lines;
    m_parameterNames = scanParameterNames(statementText());
    m_parameters.clear();
}

void TADOQuery::clearSql()
{
    setSql({});
}

void TADOQuery::addSql(const QString &line)
{
    QStringList lines = m_sql;
    lines.append(line);
    setSql(lines);
}

void TADOQuery::setParameter(const QString &parameterName, const QVariant &value)
{
    for (const QString &known : std::as_const(m_parameterNames)) {
        if (known.compare(parameterName, Qt::CaseInsensitive) == 0) {
            m_parameters.insert(known, value);
            return;
        }
    }
    fail(QStringLiteral("Parameter '%1' not found").arg(parameterName));
}

QVariant TADOQuery::parameter(const QString &parameterName) const
{
    for (auto it = m_parameters.cbegin(); it != m_parameters.cend(); ++it) {
        if (it.key().compare(parameterName, Qt::CaseInsensitive) == 0)
            return it.value();
    }
    return {};
}

void TADOQuery::addField(TField *field)
{
    if (active())
        fail(QStringLiteral("Cannot perform this operation on an open dataset"));
    field->m_dataSet = this;
    m_persistentFields.push_back(field);
}

bool TADOQuery::canModify() const
{
    return active() && !updateTable().isEmpty() && keyColumn() >= 0;
}

void TADOQuery::open()
{
    if (active())
        return;
    if (!m_connection)
        fail(QStringLiteral("Missing Connection or ConnectionString"));
    m_connection->open();
    try {
        runStatement();
        bindFields();
    } catch (...) {
        forgetResult();
        throw;
    }
    browseFromFirst();
    notifyDataSetChanged();
    notifyStateChanged();
}

// A result that failed to open leaves nothing behind.
void TADOQuery::forgetResult()
{
    m_store.reset();
    m_columns.clear();
    m_fields.clear();
    m_automaticFields.clear();
}

// A result just read, browsed from its first record.
void TADOQuery::browseFromFirst()
{
    m_state = TDataSetState::Browse;
    m_position = m_store->rowCount() > 0 ? 0 : -1;
    m_bof = true;
    m_eof = m_store->rowCount() == 0;
    m_modified = false;
}

void TADOQuery::openGradually()
{
    if (active())
        return;
    if (!m_connection)
        fail(QStringLiteral("Missing Connection or ConnectionString"));
    m_connection->open();
    // A server's connection runs one statement at a time: a read left pending would block
    // every other statement, so there the result is read whole.
    if (!m_connection->handle()) {
        open();
        return;
    }
    try {
        std::unique_ptr<BackendStatement> statement;
        {
            const TADOConnection::StatementTimer timer(*m_connection);
            statement = m_connection->backend().prepare(statementText());
            for (auto it = m_parameters.cbegin(); it != m_parameters.cend(); ++it)
                statement->bind(it.key(), it.value());
            const bool row = startResult(*statement, m_columns, m_store);
            bindFields();
            if (row)
                statement->appendRow(*m_store);
            else
                statement.reset();
        }
        if (statement) {
            m_pending = std::move(statement);
            m_growing = std::make_shared<GrowingResult>();
            m_growing->m_query = this;
            m_growing->m_rows = m_store;
            m_connection->addPendingRead(this);
            readSlice(readSliceMs);
            if (m_pending)
                m_backgroundRead.start();
        } else {
            m_store->shrinkToFit();
        }
    } catch (...) {
        if (m_pending)
            endPendingRead(nullptr);
        forgetResult();
        throw;
    }
    browseFromFirst();
    notifyDataSetChanged();
    notifyStateChanged();
}

std::shared_ptr<GrowingResult> TADOQuery::growingResult() const
{
    if (!m_store)
        return nullptr;
    if (m_growing)
        return m_growing;
    auto result = std::make_shared<GrowingResult>();
    result->m_rows = m_store;
    result->m_complete = true;
    return result;
}

namespace {

// A result this large has been read once. What the columns left behind in the heap while
// growing goes back to the system rather than stay with the process beside the rows.
constexpr size_t largeResultBytes = size_t(64) << 20;

void releaseReadMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

} // namespace

void TADOQuery::readSlice(int milliseconds) const
{
    if (!m_pending)
        return;
    RecordStore &store = *m_store;
    try {
        const TADOConnection::StatementTimer timer(*m_connection);
        const QDeadlineTimer slice(milliseconds);
        for (int rows = 1;; ++rows) {
            if (!m_pending->step()) {
                store.shrinkToFit();
                endPendingRead(nullptr);
                if (store.memoryUsage() >= largeResultBytes)
                    releaseReadMemory();
                return;
            }
            m_pending->appendRow(store);
            if (rows == maxRowsPerSlice || (rows % rowsPerClockCheck == 0 && slice.hasExpired()))
                return;
        }
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        endPendingRead(failure);
        // Rows that stopped short are no result: the query closes rather than show them.
        const_cast<TADOQuery *>(this)->close();
        std::rethrow_exception(failure);
    }
}

void TADOQuery::endPendingRead(std::exception_ptr failure) const
{
    m_pending.reset();
    m_connection->removePendingRead(const_cast<TADOQuery *>(this));
    m_backgroundRead.stop();
    if (m_growing) {
        m_growing->m_query = nullptr;
        m_growing->m_failure = failure;
        m_growing->m_complete = !failure;
        m_growing.reset();
    }
}

void TADOQuery::completeRead() const
{
    while (m_pending)
        readSlice(readSliceMs * 8);
}

void GrowingResult::readMore()
{
    if (m_failure)
        std::rethrow_exception(m_failure);
    if (m_query)
        m_query->readSlice(readSliceMs);
}

void TADOQuery::runStatement()
{
    readResult(statementText(), m_parameters, m_columns, m_store, {});
}

namespace {

// Lets a long statement report how far it got and be stopped, from inside the engine's
// steps, so a statement that finds few rows among many is as responsive as one that finds
// many. It rides on the connection's own progress check, which also keeps the time limit.
// Exceptions from the report are carried past the engine, never through it.
class ProgressWatch
{
public:
    ProgressWatch(TADOConnection &connection, const TADOQuery::Progress &progress,
                  const std::shared_ptr<RecordStore> &store)
        : m_connection(connection)
        , m_progress(progress)
        , m_store(store)
    {
        if (m_progress)
            m_connection.setProgressCheck([this] { return check(); });
    }
    ~ProgressWatch()
    {
        if (m_progress)
            m_connection.setProgressCheck({});
    }
    ProgressWatch(const ProgressWatch &) = delete;
    ProgressWatch &operator=(const ProgressWatch &) = delete;

    bool stopped() const { return m_stopped; }
    void rethrow() const
    {
        if (m_failure)
            std::rethrow_exception(m_failure);
    }

private:
    // The connection asks every thousand engine steps; the report wants far fewer calls.
    static constexpr int checksPerReport = 25;

    bool check()
    {
        // A statement run from inside the report shares the connection: it is not watched.
        if (m_reporting || ++m_checks % checksPerReport != 0)
            return !m_stopped;
        m_reporting = true;
        try {
            m_stopped = !m_progress(m_store ? m_store->rowCount() : 0);
        } catch (...) {
            m_failure = std::current_exception();
            m_stopped = true;
        }
        m_reporting = false;
        return !m_stopped;
    }

    TADOConnection &m_connection;
    const TADOQuery::Progress &m_progress;
    const std::shared_ptr<RecordStore> &m_store;
    int m_checks = 0;
    bool m_reporting = false;
    bool m_stopped = false;
    std::exception_ptr m_failure;
};

} // namespace

void TADOQuery::describeResult(const BackendStatement &statement, std::vector<Column> &columns,
                               std::shared_ptr<RecordStore> &store)
{
    const int count = statement.columnCount();
    columns.assign(size_t(count), Column{});
    std::vector<RecordStore::Kind> kinds;
    for (int i = 0; i < count; ++i) {
        const ResultColumn r = statement.column(i);
        Column &c = columns[size_t(i)];
        c.name = r.name;
        c.table = r.table;
        c.origin = r.origin;
        c.kind = r.kind;
        c.size = r.size;
        c.autoInc = r.key;
        c.fieldType = r.key                                  ? TFieldType::AutoInc
                      : r.kind == RecordStore::Kind::Integer ? TFieldType::Integer
                      : r.kind == RecordStore::Kind::Real    ? TFieldType::Float
                                                             : TFieldType::WideString;
        kinds.push_back(c.kind);
    }
    store = std::make_shared<RecordStore>(kinds);
}

bool TADOQuery::startResult(BackendStatement &statement, std::vector<Column> &columns,
                            std::shared_ptr<RecordStore> &store)
{
    // The first step may prepare the statement again when another connection changed the
    // schema, so the columns are read after it.
    const bool row = statement.step();
    describeResult(statement, columns, store);
    return row;
}

bool TADOQuery::readResult(const QString &sql, const QHash<QString, QVariant> &parameters,
                           std::vector<Column> &columns, std::shared_ptr<RecordStore> &store,
                           const Progress &progress) const
{
    // A statement the user watches and can stop has no time limit of its own.
    std::optional<TADOConnection::StatementTimer> timer;
    if (!progress)
        timer.emplace(*m_connection);
    const auto prepared = m_connection->backend().prepare(sql);
    BackendStatement &statement = *prepared;
    ProgressWatch watch(*m_connection, progress, store);
    // A stop asked for by the progress report ends the statement as an interruption.
    const auto step = [&]() -> std::optional<bool> {
        try {
            return statement.step();
        } catch (...) {
            watch.rethrow();
            if (watch.stopped())
                return std::nullopt;
            throw;
        }
    };
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it)
        statement.bind(it.key(), it.value());

    // The first step may prepare the statement again when another connection changed the
    // schema, so the columns are read after it.
    std::optional<bool> row = step();
    if (!row)
        return false;
    describeResult(statement, columns, store);
    while (*row) {
        statement.appendRow(*store);
        row = step();
        if (!row)
            return false;
    }
    store->shrinkToFit();
    if (store->memoryUsage() >= largeResultBytes)
        releaseReadMemory();
    return true;
}

bool TADOQuery::openInSteps(const QStringList &lines, const Progress &progress)
{
    completeRead();
    if (active())
        checkBrowseMode();
    if (!m_connection)
        fail(QStringLiteral("Missing Connection or ConnectionString"));
    m_connection->open();
    std::vector<Column> columns;
    std::shared_ptr<RecordStore> store;
    if (!readResult(lines.join(u'\n'), {}, columns, store, progress))
        return false;

    // Only now does the new result take the place of the old one.
    const bool wasActive = active();
    std::swap(columns, m_columns);
    std::swap(store, m_store);
    auto fields = std::move(m_fields);
    auto automaticFields = std::move(m_automaticFields);
    try {
        bindFields();
    } catch (...) {
        std::swap(columns, m_columns);
        std::swap(store, m_store);
        m_fields = std::move(fields);
        m_automaticFields = std::move(automaticFields);
        throw;
    }
    m_sql = lines;
    m_parameterNames = scanParameterNames(statementText());
    m_parameters.clear();
    m_buffer.clear();
    m_original.clear();
    browseFromFirst();
    notifyDataSetChanged();
    if (!wasActive)
        notifyStateChanged();
    return true;
}

void TADOQuery::bindFields()
{
    m_fields.clear();
    m_automaticFields.clear();
    const auto columnNamed = [this](const QString &fieldName) {
        for (size_t i = 0; i < m_columns.size(); ++i) {
            if (m_columns[i].name.compare(fieldName, Qt::CaseInsensitive) == 0)
                return int(i);
        }
        return -1;
    };
    if (m_persistentFields.empty()) {
        for (size_t i = 0; i < m_columns.size(); ++i) {
            const Column &c = m_columns[i];
            auto field = std::make_unique<TField>(c.name, c.fieldType, c.size);
            field->m_dataSet = this;
            field->m_automatic = true;
            field->m_column = int(i);
            field->m_index = int(i);
            m_fields.push_back(field.get());
            m_automaticFields.push_back(std::move(field));
        }
        return;
    }
    for (TField *f : m_persistentFields) {
        const int column = columnNamed(f->fieldName());
        if (column < 0)
            fail(QStringLiteral("Field '%1' not found").arg(f->fieldName()));
        const Column &c = m_columns[size_t(column)];
        if (!compatible(f->dataType(), c.fieldType)) {
            fail(QStringLiteral("Type mismatch for field '%1', expecting: %2 actual: %3")
                     .arg(f->fieldName(), TField::typeName(f->dataType()),
                          TField::typeName(c.fieldType)));
        }
    }
    for (TField *f : m_persistentFields) {
        f->m_column = columnNamed(f->fieldName());
        f->m_index = int(m_fields.size());
        m_fields.push_back(f);
    }
}

void TADOQuery::close()
{
    if (!active())
        return;
    // A report reading the result gets it whole: nothing it shares is ever cut short.
    completeRead();
    m_state = TDataSetState::Inactive;
    m_store.reset();
    m_columns.clear();
    m_fields.clear();
    m_automaticFields.clear();
    for (TField *f : m_persistentFields) {
        f->m_column = -1;
        f->m_index = -1;
    }
    m_buffer.clear();
    m_original.clear();
    m_modified = false;
    m_position = -1;
    m_bof = m_eof = true;
    notifyDataSetChanged();
    notifyStateChanged();
}

int TADOQuery::recordCount() const
{
    completeRead();
    return m_store ? m_store->rowCount() : 0;
}

TField *TADOQuery::findField(const QString &fieldName) const
{
    for (TField *f : m_fields) {
        if (f->fieldName().compare(fieldName, Qt::CaseInsensitive) == 0)
            return f;
    }
    return nullptr;
}

TField *TADOQuery::fieldByName(const QString &fieldName) const
{
    TField *f = findField(fieldName);
    if (!f)
        fail(QStringLiteral("Field '%1' not found").arg(fieldName));
    return f;
}

QString TADOQuery::fieldText(int index) const
{
    return m_fields[size_t(index)]->asString();
}

QString TADOQuery::textAt(int record, int fieldIndex) const
{
    completeRead();
    if (!m_store || record < 0 || record >= m_store->rowCount())
        return {};
    return m_store->text(record, m_fields[size_t(fieldIndex)]->m_column);
}

bool TADOQuery::utf8At(int record, int fieldIndex, RecordStore::Scratch &scratch,
                       std::string_view &text) const
{
    completeRead();
    if (!m_store || record < 0 || record >= m_store->rowCount())
        return false;
    return m_store->utf8(record, m_fields[size_t(fieldIndex)]->m_column, scratch, text);
}

int TADOQuery::storeColumn(int fieldIndex) const
{
    return m_fields[size_t(fieldIndex)]->m_column;
}

RecordStore &TADOQuery::writableStore()
{
    completeRead();
    if (m_store.use_count() > 1)
        m_store = std::make_shared<RecordStore>(*m_store);
    return *m_store;
}

QVariant TADOQuery::valueAt(int record, int fieldIndex) const
{
    completeRead();
    if (!m_store || record < 0 || record >= m_store->rowCount())
        return {};
    return m_store->value(record, m_fields[size_t(fieldIndex)]->m_column);
}

QVariant TADOQuery::currentValue(int column) const
{
    if (m_state == TDataSetState::Edit || m_state == TDataSetState::Insert)
        return m_buffer[size_t(column)];
    if (!m_store || m_position < 0)
        return {};
    return m_store->value(m_position, column);
}

void TADOQuery::setCurrentValue(TField *field, const QVariant &value)
{
    if (m_state != TDataSetState::Edit && m_state != TDataSetState::Insert)
        fail(QStringLiteral("Dataset not in edit or insert mode"));
    if (field->readOnly())
        fail(QStringLiteral("Field '%1' cannot be modified").arg(field->fieldName()));
    m_buffer[size_t(field->m_column)] = value;
    m_modified = true;
    notifyRecordChanged(field);
}

void TADOQuery::setState(TDataSetState state)
{
    if (m_state == state)
        return;
    m_state = state;
    notifyStateChanged();
}

void TADOQuery::moveTo(int position, bool toFirst, bool toLast)
{
    checkBrowseMode();
    const int count = recordCount();
    m_bof = toFirst;
    m_eof = toLast;
    if (count == 0) {
        m_position = -1;
        m_bof = m_eof = true;
    } else if (position < 0) {
        m_position = 0;
        m_bof = true;
    } else if (position >= count) {
        m_position = count - 1;
        m_eof = true;
    } else {
        m_position = position;
    }
    notifyScrolled();
}

void TADOQuery::first()
{
    checkActive();
    moveTo(0, true, false);
}

void TADOQuery::last()
{
    checkActive();
    moveTo(recordCount() - 1, false, true);
}

void TADOQuery::next()
{
    checkActive();
    moveTo(m_position + 1);
}

void TADOQuery::prior()
{
    checkActive();
    moveTo(m_position - 1);
}

void TADOQuery::setRecNo(int position)
{
    checkActive();
    if (position == m_position && m_state == TDataSetState::Browse)
        return;
    moveTo(qBound(0, position, recordCount() - 1));
}

bool TADOQuery::locate(const QString &fieldName, const QVariant &value)
{
    checkActive();
    const TField *f = fieldByName(fieldName);
    if (!value.isValid() || value.isNull())
        return false;
    const int column = f->m_column;
    const int count = recordCount();
    const bool numeric = m_store->kind(column) == RecordStore::Kind::Integer;
    bool ok = false;
    const qlonglong wanted = numeric ? value.toLongLong(&ok) : 0;
    if (numeric && !ok)
        return false;
    const QString wantedText = numeric ? QString() : value.toString();
    for (int row = 0; row < count; ++row) {
        if (m_store->isNull(row, column))
            continue;
        const bool found = numeric ? m_store->value(row, column).toLongLong() == wanted
                                   : m_store->text(row, column) == wantedText;
        if (found) {
            if (row != m_position || m_state != TDataSetState::Browse)
                moveTo(row);
            return true;
        }
    }
    return false;
}

void TADOQuery::edit()
{
    checkActive();
    if (m_state == TDataSetState::Edit || m_state == TDataSetState::Insert)
        return;
    if (isEmpty()) {
        insert();
        return;
    }
    if (!canModify())
        fail(QStringLiteral("Cannot modify a read-only dataset"));
    m_buffer = m_store->rowValues(m_position);
    m_original = m_buffer;
    m_modified = false;
    setState(TDataSetState::Edit);
}

void TADOQuery::insert()
{
    completeRead();
    checkActive();
    checkBrowseMode();
    if (!canModify())
        fail(QStringLiteral("Cannot modify a read-only dataset"));
    m_buffer.assign(m_columns.size(), QVariant());
    m_original = m_buffer;
    m_modified = false;
    setState(TDataSetState::Insert);
    notifyRecordChanged(nullptr);
}

void TADOQuery::cancel()
{
    if (m_state != TDataSetState::Edit && m_state != TDataSetState::Insert)
        return;
    m_buffer.clear();
    m_original.clear();
    m_modified = false;
    setState(TDataSetState::Browse);
    notifyRecordChanged(nullptr);
}

void TADOQuery::checkBrowseMode()
{
    if (m_state != TDataSetState::Edit && m_state != TDataSetState::Insert)
        return;
    updateRecord();
    if (m_modified)
        post();
    else
        cancel();
}

int TADOQuery::keyColumn() const
{
    for (size_t i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i].autoInc)
            return int(i);
    }
    return -1;
}

// The one table a result's columns come from, or empty when it joins or computes.
QString TADOQuery::updateTable() const
{
    QString table;
    for (const Column &c : m_columns) {
        if (c.table.isEmpty())
            return {};
        if (!table.isEmpty() && table != c.table)
            return {};
        table = c.table;
    }
    return table;
}

void TADOQuery::checkSizes() const
{
    for (const TField *f : m_fields) {
        const int limit = f->size() > 0 ? f->size() : m_columns[size_t(f->m_column)].size;
        if (limit <= 0 || f->dataType() != TFieldType::WideString)
            continue;
        // A value stored longer by another program blocks nothing until the user changes it.
        if (sameValue(m_buffer[size_t(f->m_column)], m_original[size_t(f->m_column)]))
            continue;
        const QVariant v = m_buffer[size_t(f->m_column)];
        // Characters as the catalogue counts them: code points, not UTF-16 units.
        const qsizetype length = v.isNull() ? 0 : v.toString().toUcs4().size();
        if (length > limit) {
            fail(QStringLiteral("O campo '%1' aceita no máximo %2 caracteres, e o texto digitado "
                                "tem %3; nada foi salvo")
                     .arg(f->fieldName())
                     .arg(limit)
                     .arg(length));
        }
    }
}

void TADOQuery::post()
{
    if (m_state != TDataSetState::Edit && m_state != TDataSetState::Insert)
        fail(QStringLiteral("Dataset not in edit or insert mode"));
    updateRecord();
    checkSizes();
    if (m_state == TDataSetState::Insert)
        postInsert();
    else
        postEdit();
    m_original.clear();
    m_buffer.clear();
    m_modified = false;
    setState(TDataSetState::Browse);
    notifyDataSetChanged();
}

// Compares a column with the current row's stored value (storedValue), text as its bytes.
QString TADOQuery::matchCondition(int column) const
{
    const Backend &backend = m_connection->backend();
    const QString name = quotedIdentifier(m_columns[size_t(column)].origin);
    const QString left =
        m_store->kind(column) == RecordStore::Kind::Text ? backend.storedText(name) : name;
    return left + u' ' + backend.sameValueOperator() + QStringLiteral(" ?");
}

QVariant TADOQuery::storedValue(int column) const
{
    if (m_store->isNull(m_position, column))
        return {};
    if (m_store->kind(column) == RecordStore::Kind::Text)
        return m_store->bytes(m_position, column);
    return m_store->value(m_position, column);
}

void TADOQuery::postInsert()
{
    Backend &backend = m_connection->backend();
    const int key = keyColumn();
    QStringList names;
    std::vector<int> columns;
    for (size_t i = 0; i < m_columns.size(); ++i) {
        const QVariant &v = m_buffer[i];
        if (int(i) == key || !v.isValid() || v.isNull())
            continue;
        names.append(quotedIdentifier(m_columns[i].origin));
        columns.push_back(int(i));
    }
    QString sql = QStringLiteral("INSERT INTO %1").arg(quotedIdentifier(updateTable()));
    if (names.isEmpty()) {
        sql += QStringLiteral(" DEFAULT VALUES");
    } else {
        QStringList marks;
        marks.fill(QStringLiteral("?"), names.size());
        sql += QStringLiteral(" (%1) VALUES (%2)").arg(names.join(u','), marks.join(u','));
    }
    m_connection->completePendingReads();
    const TADOConnection::StatementTimer timer(*m_connection);
    WriteTransaction transaction(*m_connection, updateTable());
    const auto prepared = backend.prepare(sql);
    BackendStatement &statement = *prepared;
    for (size_t i = 0; i < columns.size(); ++i)
        statement.bind(int(i) + 1, m_buffer[size_t(columns[i])]);
    if (const int rows = statement.execute(); rows > 1)
        transaction.refuseSeveralRows(rows);
    const auto newKey = QVariant::fromValue<qlonglong>(backend.lastInsertKey());
    if (saveGuarded(columns))
        transaction.require(m_columns[size_t(key)].origin, newKey, m_saveGuard.condition,
                            m_saveGuard.message);
    transaction.commit();
    m_buffer[size_t(key)] = newKey;

    const int at = m_position < 0 ? 0 : m_position;
    writableStore().insertRow(at, m_buffer);
    m_position = at;
    m_bof = m_eof = false;
}

bool TADOQuery::saveGuarded(const std::vector<int> &columns) const
{
    if (m_saveGuard.condition.isEmpty())
        return false;
    return std::any_of(columns.begin(), columns.end(), [this](int c) {
        return m_columns[size_t(c)].origin.compare(m_saveGuard.column, Qt::CaseInsensitive) == 0;
    });
}

void TADOQuery::postEdit()
{
    Backend &backend = m_connection->backend();
    const int key = keyColumn();
    QStringList assignments;
    QStringList conditions{
        QStringLiteral("%1 = ?").arg(quotedIdentifier(m_columns[size_t(key)].origin))};
    std::vector<int> changed;
    for (size_t i = 0; i < m_columns.size(); ++i) {
        if (sameValue(m_buffer[i], m_original[i]))
            continue;
        assignments.append(QStringLiteral("%1 = ?").arg(quotedIdentifier(m_columns[i].origin)));
        conditions.append(matchCondition(int(i)));
        changed.push_back(int(i));
    }
    if (changed.empty())
        return;
    // The original values in the WHERE clause make a row changed by another copy of the
    // program miss, so its change is never overwritten unseen.
    const QString sql =
        QStringLiteral("UPDATE %1 SET %2 WHERE %3")
            .arg(quotedIdentifier(updateTable()), assignments.join(QStringLiteral(", ")),
                 conditions.join(QStringLiteral(" AND ")));
    m_connection->completePendingReads();
    const TADOConnection::StatementTimer timer(*m_connection);
    WriteTransaction transaction(*m_connection, updateTable());
    const auto prepared = backend.prepare(sql);
    BackendStatement &statement = *prepared;
    int index = 1;
    for (int c : changed)
        statement.bind(index++, m_buffer[size_t(c)]);
    statement.bind(index++, m_original[size_t(key)]);
    for (int c : changed)
        statement.bind(index++, storedValue(c));
    const int rows = statement.execute();
    if (rows > 1)
        transaction.refuseSeveralRows(rows);
    if (rows != 1) {
        // Saving again would be refused again: the way out is to drop the edit and re-read.
        throw ERowConflict(QStringLiteral("O registro não foi salvo: ele foi alterado ou apagado "
                                          "por outro programa depois de lido"),
                           [this] {
                               cancel();
                               refresh();
                           });
    }
    if (saveGuarded(changed))
        transaction.require(m_columns[size_t(key)].origin, m_original[size_t(key)],
                            m_saveGuard.condition, m_saveGuard.message);
    transaction.commit();
    // Unchanged values keep the bytes they had, valid text or not.
    std::vector<QVariant> row = m_buffer;
    for (size_t i = 0; i < row.size(); ++i) {
        if (std::find(changed.begin(), changed.end(), int(i)) == changed.end())
            row[i] = storedValue(int(i));
    }
    writableStore().replaceRow(m_position, row);
}

void TADOQuery::remove()
{
    checkActive();
    if (m_state == TDataSetState::Insert) {
        cancel();
        return;
    }
    if (isEmpty())
        fail(QStringLiteral("Cannot perform this operation on an empty dataset"));
    if (!canModify())
        fail(QStringLiteral("Cannot modify a read-only dataset"));

    // The stored row is matched as the engine holds it, so a value that is no valid text
    // (invalid UTF-8, a blob) still finds its row.
    Backend &backend = m_connection->backend();
    const int key = keyColumn();
    QStringList conditions;
    std::vector<int> columns;
    for (size_t i = 0; i < m_columns.size(); ++i) {
        conditions.append(int(i) == key
                              ? QStringLiteral("%1 = ?").arg(quotedIdentifier(m_columns[i].origin))
                              : matchCondition(int(i)));
        columns.push_back(int(i));
    }
    if (!m_deleteGuard.isEmpty())
        conditions.append(u'(' + m_deleteGuard + u')');
    const QString sql =
        QStringLiteral("DELETE FROM %1 WHERE %2")
            .arg(quotedIdentifier(updateTable()), conditions.join(QStringLiteral(" AND ")));
    m_connection->completePendingReads();
    const TADOConnection::StatementTimer timer(*m_connection);
    WriteTransaction transaction(*m_connection, updateTable());
    const auto prepared = backend.prepare(sql);
    BackendStatement &statement = *prepared;
    for (size_t i = 0; i < columns.size(); ++i)
        statement.bind(int(i) + 1, storedValue(columns[i]));
    const int rows = statement.execute();
    if (rows > 1)
        transaction.refuseSeveralRows(rows);
    if (rows != 1) {
        if (!m_deleteGuard.isEmpty()) {
            const auto guard = backend.prepare(
                QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ? AND NOT (%3)")
                    .arg(quotedIdentifier(updateTable()),
                         quotedIdentifier(m_columns[size_t(key)].origin), m_deleteGuard));
            guard->bind(1, storedValue(key));
            if (guard->step())
                throw ERowInUse(name() +
                                QStringLiteral(": o registro é usado por outros registros"));
        }
        throw EOleException(QStringLiteral(
            "O registro não foi apagado: ele foi alterado ou apagado por outro programa depois "
            "de lido. Atualize a lista para ver os dados atuais"));
    }
    transaction.commit();
    m_buffer.clear();
    m_original.clear();
    m_modified = false;
    writableStore().removeRow(m_position);
    const int count = recordCount();
    if (m_position >= count)
        m_position = count - 1;
    m_bof = m_position <= 0;
    m_eof = count == 0;
    setState(TDataSetState::Browse);
    notifyDataSetChanged();
}

void TADOQuery::refresh()
{
    completeRead();
    checkActive();
    checkBrowseMode();
    const int key = keyColumn();
    const QVariant currentKey =
        key >= 0 && m_position >= 0 ? m_store->value(m_position, key) : QVariant();
    const int oldPosition = m_position;
    auto oldStore = std::move(m_store);
    try {
        runStatement();
    } catch (...) {
        m_store = std::move(oldStore);
        throw;
    }
    const int count = recordCount();
    m_position = count == 0 ? -1 : qBound(0, oldPosition, count - 1);
    if (currentKey.isValid()) {
        for (int row = 0; row < count; ++row) {
            if (m_store->value(row, key) == currentKey) {
                m_position = row;
                break;
            }
        }
    }
    m_bof = m_position <= 0;
    m_eof = count == 0;
    notifyDataSetChanged();
}

void TADOQuery::disableControls()
{
    if (m_disableCount++ == 0)
        m_stateWhenDisabled = m_state;
}

void TADOQuery::enableControls()
{
    if (m_disableCount == 0)
        return;
    if (--m_disableCount > 0)
        return;
    if (m_state != m_stateWhenDisabled)
        Q_EMIT stateChanged();
    Q_EMIT dataSetChanged();
}

void TADOQuery::notifyDataSetChanged()
{
    if (m_disableCount == 0)
        Q_EMIT dataSetChanged();
}

void TADOQuery::notifyStateChanged()
{
    if (m_disableCount == 0)
        Q_EMIT stateChanged();
}

void TADOQuery::notifyScrolled()
{
    if (m_disableCount == 0)
        Q_EMIT dataSetScrolled();
}

void TADOQuery::notifyRecordChanged(TField *field)
{
    if (m_disableCount == 0)
        Q_EMIT recordChanged(field);
}

void TADOQuery::attachDataSource(TDataSource *source)
{
    if (std::find(m_dataSources.begin(), m_dataSources.end(), source) == m_dataSources.end())
        m_dataSources.push_back(source);
}

void TADOQuery::detachDataSource(TDataSource *source)
{
    std::erase(m_dataSources, source);
}

void TADOQuery::updateRecord()
{
    const std::vector<TDataSource *> sources = m_dataSources;
    for (TDataSource *source : sources) {
        if (std::find(m_dataSources.begin(), m_dataSources.end(), source) != m_dataSources.end())
            source->updateRecord();
    }
}
