// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports/query_report_dataset.h"

#include "data/exceptions.h"
#include "data/query.h"

QueryReportDataSet::QueryReportDataSet(const TADOQuery &query)
    : m_query(query)
{
    m_stateConnection =
        QObject::connect(&query, &TADOQuery::closed, &query, [this] { m_closedSince = true; });
}

QueryReportDataSet::~QueryReportDataSet()
{
    QObject::disconnect(m_stateConnection);
}

void QueryReportDataSet::checkReadable() const
{
    if (!m_query.active())
        throw EDatabaseError(m_query.name() +
                             QStringLiteral(": Cannot perform this operation on a closed dataset"));
    if (m_closedSince)
        throw EDatabaseError(
            m_query.name() +
            QStringLiteral(": os dados do relatório foram fechados enquanto ele era gerado"));
}

int QueryReportDataSet::recordCount() const
{
    checkReadable();
    return m_query.recordCount();
}

int QueryReportDataSet::fieldIndex(const QString &name) const
{
    checkReadable();
    const TField *field = m_query.findField(name);
    return field ? field->index() : -1;
}

QString QueryReportDataSet::text(int record, int field) const
{
    checkReadable();
    if (field < 0 || field >= m_query.fieldCount())
        return {};
    return m_query.textAt(record, field);
}
