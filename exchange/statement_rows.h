// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "exchange/formats/row_source.h"

#include <QByteArray>
#include <QStringList>

#include <memory>

class Backend;
class BackendStatement;

namespace Exchange {

// The rows of one or more statements run one after the other, read as they are written: a
// catalogue of any size passes through a few rows of memory.
class StatementRows : public RowSource
{
public:
    StatementRows(Backend &backend, QList<Column> columns, QStringList statements);
    ~StatementRows() override;

    QList<Column> columns() const override { return m_columns; }
    bool next() override;
    QByteArrayView utf8(int column) override;
    qint64 rowCount() const override { return m_rowCount; }
    void setRowCount(qint64 count) { m_rowCount = count; }

private:
    Backend &m_backend;
    QList<Column> m_columns;
    QStringList m_statements;
    int m_next = 0;
    std::unique_ptr<BackendStatement> m_current;
    QByteArray m_scratch;
    qint64 m_rowCount = -1;
};

} // namespace Exchange
