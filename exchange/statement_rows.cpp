// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/statement_rows.h"

#include "data/engine/backend.h"

namespace Exchange {

StatementRows::StatementRows(Backend &backend, QList<Column> columns, QStringList statements)
    : m_backend(backend)
    , m_columns(std::move(columns))
    , m_statements(std::move(statements))
{}

StatementRows::~StatementRows() = default;

bool StatementRows::next()
{
    for (;;) {
        if (!m_current) {
            if (m_next >= m_statements.size())
                return false;
            m_current = m_backend.prepare(m_statements[m_next++]);
        }
        if (m_current->step())
            return true;
        m_current.reset();
    }
}

QByteArrayView StatementRows::utf8(int column)
{
    return m_current->utf8(column, m_scratch);
}

} // namespace Exchange
