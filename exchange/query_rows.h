// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/engine/record_store.h"
#include "exchange/formats/row_source.h"

#include <QByteArray>
#include <QStringList>

class TADOQuery;

namespace Exchange {

// The open result of a query as a grid shows it: the given titles over its fields, in order,
// rows in the query's order. The query is not moved.
class QueryRows : public RowSource
{
public:
    QueryRows(TADOQuery &query, const QStringList &titles);

    QList<Column> columns() const override { return m_columns; }
    bool next() override;
    QByteArrayView utf8(int column) override;
    qint64 rowCount() const override { return m_count; }

private:
    TADOQuery &m_query;
    QList<Column> m_columns;
    int m_count = 0;
    int m_row = -1;
    RecordStore::Scratch m_scratch;
    QByteArray m_text;
};

} // namespace Exchange
