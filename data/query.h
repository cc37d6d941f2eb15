// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/engine/record_store.h"
#include "data/engine/sql_text.h"
#include "data/fields.h"
#include "data/gradual_read.h"
#include "data/query_text.h"
#include "data/result_reader.h"
#include "data/row_writer.h"

#include <QObject>
#include <QStringList>

#include <exception>
#include <functional>
#include <memory>
#include <vector>

class TADOConnection;
class TDataSource;
class TADOQuery;

enum class TDataSetState { Inactive, Browse, Edit, Insert };

// A query whose open result is a static copy of its rows, browsable both ways, with an
// exact record count. A result of one table's columns can be edited record by record; each
// save and delete is written at once, guarded against rows changed by another process.
class TADOQuery : public QObject
{
    Q_OBJECT

public:
    TADOQuery(const QString &name, TADOConnection *connection, QObject *parent = nullptr);
    ~TADOQuery() override;

    QString name() const { return objectName(); }
    TADOConnection *connection() const { return m_connection; }

    // Statement. Any change closes the query first.
    const QStringList &sql() const { return m_text.lines(); }
    void setSql(const QStringList &lines);
    void clearSql();
    void addSql(const QString &line);
    QString statementText() const { return m_text.text(); }
    QStringList parameterNames() const { return m_text.parameterNames(); }
    using Parameters = QueryText::Parameters;
    void setParameter(const QString &name, const QVariant &value);
    // The value given to a parameter; invalid when none was given.
    QVariant parameter(const QString &name) const { return m_text.parameter(name); }

    // Declares a persistent field; the dataset then exposes exactly its persistent fields.
    void addField(TField *field);
    // Called by a persistent field that goes away before its dataset.
    void removeField(TField *field);

    void open();
    // Opens with only the first rows read; the rest follow in short slices from the event loop
    // or as growingResult()'s reader asks for them. Every other use of the query, and any
    // write on the connection, first reads the rest, so only that reader sees a partial result.
    void openGradually();
    // The result as it grows, for a reader that knows it may be partial. Null when the query
    // is closed.
    std::shared_ptr<GrowingResult> growingResult() const;
    bool readPending() const { return m_pending != nullptr; }
    // A bound on the rows of one slice of a gradual read, besides its time; 0 for none.
    int maxRowsPerSlice = 0;
    // Reads every row still pending. A failure closes the query and is thrown.
    void completeRead();
    using Progress = ResultReader::Progress;
    // Runs lines with their parameters in place of the statement, reporting progress. The
    // open result, if any, stays until the new one is complete: a statement that is stopped
    // or fails leaves the dataset as it was. Returns false when progress stopped it.
    bool openInSteps(const QStringList &lines, const Parameters &parameters,
                     const Progress &progress);
    void close();
    bool active() const { return m_state != TDataSetState::Inactive; }
    TDataSetState state() const { return m_state; }
    bool canModify() const;

    // Like every use of the query but its growing result's reader, reads the rest of a
    // gradual open first.
    int recordCount();
    bool isEmpty() { return recordCount() == 0; }
    // Zero-based position of the current record; -1 when there is none.
    int recNo() const { return m_position; }
    void setRecNo(int position);
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }
    void first();
    void last();
    void next();
    void prior();
    bool locate(const QString &fieldName, const QVariant &value);

    int fieldCount() const { return int(m_fields.all().size()); }
    TField *field(int index) const { return m_fields.all()[size_t(index)]; }
    TField *findField(const QString &fieldName) const;
    TField *fieldByName(const QString &fieldName) const;
    QString fieldText(int index) const;

    // Random access for grids and lists, without moving the current record.
    QString textAt(int record, int fieldIndex);
    QVariant valueAt(int record, int fieldIndex);
    // textAt's text as UTF-8, without making a QString (see RecordStore::utf8). False when
    // the field's values are not served this way; textAt still gives them.
    bool utf8At(int record, int fieldIndex, RecordStore::Scratch &scratch, std::string_view &text);

    // An SQL condition on the current row's table that must hold for a delete: checked by the
    // DELETE itself, so no other program can make it false between a check and the delete.
    // A delete it stops throws ERowInUse.
    void setDeleteGuard(const QString &condition) { m_deleteGuard = condition; }
    // An SQL condition on the current row's table that must hold after a save that writes
    // `column`, checked in the save's own transaction; a save it stops is undone and throws
    // `message`, the edit kept.
    void setSaveGuard(const QString &column, const QString &condition, const QString &message)
    {
        m_saveGuard = {column, condition, message};
    }

    void edit();
    void insert();
    void post();
    void cancel();
    void remove();
    void refresh();
    bool modified() const { return m_modified; }
    // Brings an edited or inserted record back to browsing: saved when changed, dropped
    // when untouched.
    void checkBrowseMode();

    // While suspended, no notification reaches the data sources; resuming sends one data
    // change, after a state change when the state differs from the one at suspension.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disableCount > 0; }

    size_t memoryUsage()
    {
        completeRead();
        return m_store ? m_store->memoryUsage() : 0;
    }

    // The open result as it stands, shared rather than copied: a later edit, close or reopen
    // of the query leaves it untouched (an edit copies the rows first while a snapshot lives).
    // Null when the query is closed.
    std::shared_ptr<const RecordStore> resultSnapshot()
    {
        completeRead();
        return m_store;
    }
    // The snapshot's column behind a field of the open result.
    int storeColumn(int fieldIndex) const;

Q_SIGNALS:
    void dataSetChanged();
    void dataSetScrolled();
    void recordChanged(TField *field);
    void stateChanged();

private:
    friend class TField;
    friend class TDataSource;
    friend class GrowingResult;
    friend class GradualRead;

    [[noreturn]] void fail(const QString &message) const;
    void checkActive() const;
    // Reads the statement whole into the result.
    void runStatement();
    // Reads pending rows for about `milliseconds`, each slice within the statement time limit.
    void readSlice(int milliseconds, int maxRows = 0);
    void endPendingRead(std::exception_ptr failure);
    void forgetResult();
    void browseFromFirst();
    void setState(TDataSetState state);
    void moveTo(int position, bool toFirst = false, bool toLast = false);
    void notifyDataSetChanged();
    void notifyStateChanged();
    void notifyScrolled();
    void notifyRecordChanged(TField *field);
    void attachDataSource(TDataSource *source);
    void detachDataSource(TDataSource *source);
    // Has the bound controls write what the user typed; a failure propagates.
    void updateRecord();

    QVariant currentValue(int column) const;
    void setCurrentValue(TField *field, const QVariant &value);
    RowWriter writer();
    void postInsert();
    void postEdit();

    TADOConnection *m_connection;
    QueryText m_text;

    ResultFields m_fields;

    std::vector<ResultColumn> m_columns;
    // Copied before a change while a snapshot shares it.
    RecordStore &writableStore();

    std::shared_ptr<RecordStore> m_store;
    TDataSetState m_state = TDataSetState::Inactive;
    int m_position = -1;
    bool m_bof = true;
    bool m_eof = true;

    std::vector<QVariant> m_buffer;   // the record being edited or inserted
    std::vector<QVariant> m_original; // its values as read
    bool m_modified = false;
    int m_disableCount = 0;
    TDataSetState m_stateWhenDisabled = TDataSetState::Inactive;
    std::vector<TDataSource *> m_dataSources;
    QString m_deleteGuard;
    RowWriter::Guard m_saveGuard;

    // The read of a gradual open while rows remain.
    std::unique_ptr<GradualRead> m_pending;
};
