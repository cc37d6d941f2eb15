// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/query.h"

#include "core/exceptions.h"
#include "data/connection.h"
#include "data/data_source.h"
#include "data/row_writer.h"

#include <algorithm>
#include <exception>

namespace {

// A slice of a gradual read asked for by its reader, who has other work in the same pass of
// the event loop.
constexpr int readSliceMs = 8;
// A slice read between other events: as long as a report's layout slice, so the two share
// the time evenly, and short enough for the event loop to stay live.
constexpr int backgroundSliceMs = 20;
TFieldType fieldType(const ResultColumn &column)
{
    if (column.key)
        return TFieldType::AutoInc;
    switch (column.kind) {
    case RecordStore::Kind::Integer:
        return TFieldType::Integer;
    case RecordStore::Kind::Real:
        return TFieldType::Float;
    case RecordStore::Kind::Text:
        break;
    }
    return TFieldType::WideString;
}

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

} // namespace

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
    try {
        m_pending = std::make_unique<ResultReader>(*m_connection, statementText(), m_parameters);
        // The first row at once, so the reader has the columns and something to show.
        ResultReader::Limits firstRow;
        firstRow.maxRows = 1;
        if (m_pending->read(firstRow) == ResultReader::Outcome::Complete) {
            m_columns = m_pending->columns();
            m_store = m_pending->rows();
            m_pending.reset();
        } else {
            m_columns = m_pending->columns();
            m_store = m_pending->rows();
            m_growing = std::make_shared<GrowingResult>();
            m_growing->m_query = this;
            m_growing->m_rows = m_store;
            m_connection->addPendingRead(this);
        }
        bindFields();
        readSlice(readSliceMs);
        if (m_pending)
            m_backgroundRead.start();
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

void TADOQuery::readSlice(int milliseconds, int maxRows)
{
    if (!m_pending)
        return;
    try {
        ResultReader::Limits limits;
        limits.slice = QDeadlineTimer(milliseconds);
        limits.maxRows = maxRows ? maxRows : maxRowsPerSlice;
        const ResultReader::Outcome outcome = m_pending->read(limits);
        if (outcome == ResultReader::Outcome::Complete)
            endPendingRead(nullptr);
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        endPendingRead(failure);
        // Rows that stopped short are no result: the query closes rather than show them.
        close();
        std::rethrow_exception(failure);
    }
}

void TADOQuery::endPendingRead(std::exception_ptr failure)
{
    m_pending.reset();
    m_connection->removePendingRead(this);
    m_backgroundRead.stop();
    if (m_growing) {
        m_growing->m_query = nullptr;
        m_growing->m_failure = failure;
        m_growing->m_complete = !failure;
        m_growing.reset();
    }
}

void TADOQuery::completeRead()
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
    ResultReader reader(*m_connection, statementText(), m_parameters);
    reader.read({});
    m_columns = reader.columns();
    m_store = reader.rows();
}

bool TADOQuery::openInSteps(const QStringList &lines, const Parameters &parameters,
                            const Progress &progress)
{
    completeRead();
    if (active())
        checkBrowseMode();
    if (!m_connection)
        fail(QStringLiteral("Missing Connection or ConnectionString"));
    m_connection->open();
    ResultReader reader(*m_connection, lines.join(u'\n'), parameters);
    ResultReader::Limits stepped;
    stepped.progress = progress;
    if (reader.read(stepped) == ResultReader::Outcome::Stopped)
        return false;
    std::vector<ResultColumn> columns = reader.columns();
    std::shared_ptr<RecordStore> store = reader.rows();

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
    m_parameters = parameters;
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
            const ResultColumn &c = m_columns[i];
            auto field = std::make_unique<TField>(c.name, fieldType(c), c.size);
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
        const TFieldType actual = fieldType(m_columns[size_t(column)]);
        if (!compatible(f->dataType(), actual)) {
            fail(QStringLiteral("Type mismatch for field '%1', expecting: %2 actual: %3")
                     .arg(f->fieldName(), TField::typeName(f->dataType()),
                          TField::typeName(actual)));
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

int TADOQuery::recordCount()
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

QString TADOQuery::textAt(int record, int fieldIndex)
{
    completeRead();
    if (!m_store || record < 0 || record >= m_store->rowCount())
        return {};
    return m_store->text(record, m_fields[size_t(fieldIndex)]->m_column);
}

bool TADOQuery::utf8At(int record, int fieldIndex, RecordStore::Scratch &scratch,
                       std::string_view &text)
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

QVariant TADOQuery::valueAt(int record, int fieldIndex)
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
    for (const TField *f : m_fields) {
        if (f->defaultValue().isValid() && f->m_column >= 0)
            m_buffer[size_t(f->m_column)] = f->defaultValue();
    }
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
        if (m_columns[i].key)
            return int(i);
    }
    return -1;
}

// The one table a result's columns come from, or empty when it joins or computes.
QString TADOQuery::updateTable() const
{
    QString table;
    for (const ResultColumn &c : m_columns) {
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

QVariant TADOQuery::storedValue(int column) const
{
    if (m_store->isNull(m_position, column))
        return {};
    if (m_store->kind(column) == RecordStore::Kind::Text)
        return m_store->bytes(m_position, column);
    return m_store->value(m_position, column);
}

std::vector<QVariant> TADOQuery::storedRow() const
{
    std::vector<QVariant> row;
    for (size_t i = 0; i < m_columns.size(); ++i)
        row.push_back(storedValue(int(i)));
    return row;
}

RowWriter TADOQuery::writer()
{
    return RowWriter(*m_connection, updateTable(), m_columns, keyColumn());
}

void TADOQuery::postInsert()
{
    std::vector<int> written;
    for (size_t i = 0; i < m_columns.size(); ++i) {
        if (m_buffer[i].isValid() && !m_buffer[i].isNull())
            written.push_back(int(i));
    }
    const RowWriter::Guard guard = saveGuardFor(written);
    m_buffer[size_t(keyColumn())] =
        QVariant::fromValue<qlonglong>(writer().insert(m_buffer, guard));
    const int at = m_position < 0 ? 0 : m_position;
    writableStore().insertRow(at, m_buffer);
    m_position = at;
    m_bof = m_eof = false;
}

RowWriter::Guard TADOQuery::saveGuardFor(const std::vector<int> &columns) const
{
    if (m_saveGuard.condition.isEmpty())
        return {};
    const bool writesColumn = std::any_of(columns.begin(), columns.end(), [this](int c) {
        return m_columns[size_t(c)].origin.compare(m_saveGuard.column, Qt::CaseInsensitive) == 0;
    });
    if (!writesColumn)
        return {};
    return {m_saveGuard.condition, m_saveGuard.message};
}

void TADOQuery::postEdit()
{
    std::vector<int> changed;
    for (size_t i = 0; i < m_columns.size(); ++i) {
        if (!sameValue(m_buffer[i], m_original[i]))
            changed.push_back(int(i));
    }
    if (changed.empty())
        return;
    const std::vector<QVariant> stored = storedRow();
    if (writer().update(m_buffer, stored, changed, saveGuardFor(changed)) != 1) {
        // Saving again would be refused again: the way out is to drop the edit and re-read.
        throw ERowConflict(QStringLiteral("O registro não foi salvo: ele foi alterado ou apagado "
                                          "por outro programa depois de lido"),
                           [this] {
                               cancel();
                               refresh();
                           });
    }
    // Unchanged values keep the bytes they had, valid text or not.
    std::vector<QVariant> row = stored;
    for (int c : changed)
        row[size_t(c)] = m_buffer[size_t(c)];
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
    RowWriter rows = writer();
    const std::vector<QVariant> stored = storedRow();
    if (rows.remove(stored, m_deleteGuard) != 1) {
        if (!m_deleteGuard.isEmpty() &&
            rows.conditionRefuses(stored[size_t(keyColumn())], m_deleteGuard))
            throw ERowInUse(name() + QStringLiteral(": o registro é usado por outros registros"));
        throw EOleException(QStringLiteral(
            "O registro não foi apagado: ele foi alterado ou apagado por outro programa depois "
            "de lido. Atualize a lista para ver os dados atuais"));
    }
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
