// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/query_rows.h"

#include "data/fields.h"
#include "data/query.h"

namespace Exchange {

QueryRows::QueryRows(TADOQuery &query, const QStringList &titles)
    : m_query(query)
    , m_count(query.active() ? query.recordCount() : 0)
{
    const int fields = query.active() ? query.fieldCount() : 0;
    for (int i = 0; i < int(titles.size()) && i < fields; ++i) {
        const TFieldType type = query.field(i)->dataType();
        m_columns.append({titles[i], type == TFieldType::Integer || type == TFieldType::AutoInc});
    }
}

bool QueryRows::next()
{
    if (m_row + 1 >= m_count)
        return false;
    ++m_row;
    return true;
}

QByteArrayView QueryRows::utf8(int column)
{
    std::string_view text;
    if (m_query.utf8At(m_row, column, m_scratch, text))
        return QByteArrayView(text.data(), qsizetype(text.size()));
    m_text = m_query.textAt(m_row, column).toUtf8();
    return m_text;
}

} // namespace Exchange
