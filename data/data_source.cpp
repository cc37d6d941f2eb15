// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/data_source.h"

#include "data/query.h"

TDataSource::TDataSource(QObject *parent)
    : QObject(parent)
{}

TDataSource::TDataSource(TADOQuery *dataSet, QObject *parent)
    : QObject(parent)
{
    setDataSet(dataSet);
}

void TDataSource::setDataSet(TADOQuery *dataSet)
{
    for (auto &c : m_connections)
        disconnect(c);
    m_dataSet = dataSet;
    if (dataSet) {
        m_connections[0] =
            connect(dataSet, &TADOQuery::dataSetChanged, this, &TDataSource::dataSetChanged);
        m_connections[1] =
            connect(dataSet, &TADOQuery::dataSetScrolled, this, &TDataSource::dataSetScrolled);
        m_connections[2] =
            connect(dataSet, &TADOQuery::recordChanged, this, &TDataSource::recordChanged);
        m_connections[3] =
            connect(dataSet, &TADOQuery::stateChanged, this, &TDataSource::stateChanged);
        m_connections[4] =
            connect(dataSet, &TADOQuery::updateRecord, this, &TDataSource::updateData);
    }
    Q_EMIT dataSetChanged();
}

bool TDataSource::edit()
{
    if (!m_dataSet || !m_dataSet->active())
        return false;
    if (m_dataSet->state() == TDataSetState::Browse)
        m_dataSet->edit();
    return m_dataSet->state() == TDataSetState::Edit || m_dataSet->state() == TDataSetState::Insert;
}
