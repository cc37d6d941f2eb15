// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/record_store.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVariant>

#include <memory>

// What a result column is made of: enough for fields and for writing a row back.
struct ResultColumn
{
    QString name;
    QString table;  // base table, empty for an expression
    QString origin; // column name in the base table
    RecordStore::Kind kind = RecordStore::Kind::Text;
    int size = 0;     // limited text only
    bool key = false; // numbered by the engine itself
};

// One statement of a backend. Parameters are ":name" or "?"; the first step() runs the
// statement, after which the columns are known.
class BackendStatement
{
public:
    virtual ~BackendStatement() = default;

    // Parameters count from 1. An invalid or null value binds NULL.
    virtual void bind(int index, const QVariant &value) = 0;
    // A name the statement does not use is ignored.
    virtual void bind(const QString &name, const QVariant &value) = 0;

    // True while a row is ready, false once the statement is done.
    virtual bool step() = 0;
    // Runs a statement that returns no rows; returns how many rows it changed.
    virtual int execute() = 0;

    virtual int columnCount() const = 0;
    virtual ResultColumn column(int index) const = 0;
    // The current row's value: invalid for NULL, qlonglong, double or QString.
    virtual QVariant value(int column) const = 0;
    // The current row's value as UTF-8 text, valid until the next step; a null view for
    // NULL. An engine that keeps text as UTF-8 hands it over without a copy; others make it
    // in scratch.
    virtual QByteArrayView utf8(int column, QByteArray &scratch) const
    {
        const QVariant v = value(column);
        if (v.isNull())
            return {};
        scratch = v.toString().toUtf8();
        return scratch;
    }
    // Appends the current row to a store laid out by this statement's columns.
    virtual void appendRow(RecordStore &store) = 0;
};

// The engine that holds the catalogue: the file or a server. Windows and reports never see
// which; only the connection and the queries talk to it.
class Backend
{
public:
    virtual ~Backend() = default;

    virtual std::unique_ptr<BackendStatement> prepare(const QString &sql) = 0;
    // The key the engine gave the row the last INSERT on this connection made.
    virtual qint64 lastInsertKey() = 0;
    // The comparison that holds when both sides are equal or both are NULL.
    virtual QString sameValueOperator() const = 0;
    // A text column as compared with the row's stored bytes (TADOQuery::storedValue).
    virtual QString storedText(const QString &column) const { return column; }
    // How messages name the catalogue: the file's path, or server/database.
    virtual QString displayName() const = 0;
};
