// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/query.h"

#include "core/exceptions.h"
#include "data/connection.h"
#include "data/data_source.h"
#include "data/row_writer.h"

#include <algorithm>
#include <exception>

TADOQuery::TADOQuery(const QString &name, TADOConnection *connection, QObject *parent)
    : QObject(parent)
    , m_connection(connection)
    , m_fields(this)
{
    setObjectName(name);
}

TADOQuery::~TADOQuery()
{
    if (m_pending) {
        endPendingRead(std::make_exception_ptr(
            EDatabaseError(name() + QStringLiteral(": a leitura dos dados foi interrompida"))));
    }
    // A pending record is dropped, never saved, when the dataset goes away.
    m_state = TDataSetState::Inactive;
}

void TADOQuery::removeField(TField *field)
{
    m_fields.forget(field);
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
    m_text.setLines(lines);
}

void TADOQuery::clearSql()
{
    setSql({});
}

void TADOQuery::addSql(const QString &line)
{
    setSql(m_text.lines() + QStringList{line});
}

void TADOQuery::setParameter(const QString &parameterName, const QVariant &value)
{
    if (!m_text.setParameter(parameterName, value))
        fail(QStringLiteral("Parameter '%1' not found").arg(parameterName));
}

void TADOQuery::addField(TField *field)
{
    if (active())
        fail(QStringLiteral("Cannot perform this operation on an open dataset"));
    m_fields.declare(field);
}

bool TADOQuery::canModify() const
{
    return active() && RowWriter::canWrite(m_columns);
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
        m_fields.bind(m_columns);
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
    m_fields.unbind();
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
        m_pending =
            std::make_unique<GradualRead>(*m_connection, *this, m_text.text(), m_text.parameters());
        m_columns = m_pending->columns();
        m_store = m_pending->rows();
        if (m_pending->finished())
            m_pending.reset();
        m_fields.bind(m_columns);
        readSlice(GradualRead::readerSliceMs);
        if (m_pending)
            m_pending->readInBackground();
    } catch (...) {
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
    return m_pending ? m_pending->growing() : GrowingResult::whole(m_store);
}

void TADOQuery::readSlice(int milliseconds, int maxRows)
{
    if (!m_pending)
        return;
    try {
        if (m_pending->read(milliseconds, maxRows ? maxRows : maxRowsPerSlice))
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
    if (!m_pending)
        return;
    m_pending->end(failure);
    m_pending.reset();
}

void TADOQuery::completeRead()
{
    while (m_pending)
        readSlice(GradualRead::readerSliceMs * 8);
}

void TADOQuery::runStatement()
{
    ResultReader reader(*m_connection, m_text.text(), m_text.parameters());
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
    ResultFields::Binding binding = m_fields.take();
    try {
        m_fields.bind(m_columns);
    } catch (...) {
        std::swap(columns, m_columns);
        std::swap(store, m_store);
        m_fields.restore(std::move(binding));
        throw;
    }
    m_text.setLines(lines, parameters);
    m_buffer.clear();
    m_original.clear();
    browseFromFirst();
    notifyDataSetChanged();
    if (!wasActive)
        notifyStateChanged();
    return true;
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
    m_fields.unbind();
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
    return m_fields.find(fieldName);
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
    return field(index)->asString();
}

QString TADOQuery::textAt(int record, int fieldIndex)
{
    completeRead();
    if (!m_store || record < 0 || record >= m_store->rowCount())
        return {};
    return m_store->text(record, field(fieldIndex)->m_column);
}

bool TADOQuery::utf8At(int record, int fieldIndex, RecordStore::Scratch &scratch,
                       std::string_view &text)
{
    completeRead();
    if (!m_store || record < 0 || record >= m_store->rowCount())
        return false;
    return m_store->utf8(record, field(fieldIndex)->m_column, scratch, text);
}

int TADOQuery::storeColumn(int fieldIndex) const
{
    return field(fieldIndex)->m_column;
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
    return m_store->value(record, field(fieldIndex)->m_column);
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
    completeRead();
    const int row = m_store->findRow(f->m_column, value);
    if (row < 0)
        return false;
    if (row != m_position || m_state != TDataSetState::Browse)
        moveTo(row);
    return true;
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
    for (const TField *f : m_fields.all()) {
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

void TADOQuery::post()
{
    if (m_state != TDataSetState::Edit && m_state != TDataSetState::Insert)
        fail(QStringLiteral("Dataset not in edit or insert mode"));
    updateRecord();
    m_fields.checkLengths(m_columns, m_buffer, m_original);
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

RowWriter TADOQuery::writer()
{
    return RowWriter(*m_connection, m_columns);
}

void TADOQuery::postInsert()
{
    m_buffer[size_t(RowWriter::keyColumnOf(m_columns))] =
        QVariant::fromValue<qlonglong>(writer().insert(m_buffer, m_saveGuard));
    const int at = m_position < 0 ? 0 : m_position;
    writableStore().insertRow(at, m_buffer);
    m_position = at;
    m_bof = m_eof = false;
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
    const std::vector<QVariant> stored = m_store->storedRow(m_position);
    RowWriter rows = writer();
    if (rows.update(m_buffer, stored, changed, m_saveGuard) != 1) {
        // Saving again would be refused again: the way out is to drop the edit and re-read.
        const QString by = rows.changedBy(stored);
        throw ERowConflict(
            by.isEmpty() ? QStringLiteral("O registro não foi salvo: ele foi alterado ou "
                                          "apagado por outro programa depois de lido")
                         : QStringLiteral("O registro não foi salvo: ele foi alterado %1 "
                                          "depois de lido")
                               .arg(by),
            [this] {
                cancel();
                refresh();
            },
            by);
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
    const std::vector<QVariant> stored = m_store->storedRow(m_position);
    if (rows.remove(stored, m_deleteGuard) != 1) {
        if (!m_deleteGuard.isEmpty() &&
            rows.conditionRefuses(stored[size_t(RowWriter::keyColumnOf(m_columns))], m_deleteGuard))
            throw ERowInUse(name() + QStringLiteral(": o registro é usado por outros registros"));
        const QString by = rows.changedBy(stored);
        if (!by.isEmpty()) {
            throw EOleException(QStringLiteral("O registro não foi apagado: ele foi alterado %1 "
                                               "depois de lido. Atualize a lista para ver os "
                                               "dados atuais")
                                    .arg(by));
        }
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
    const int key = RowWriter::keyColumnOf(m_columns);
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
