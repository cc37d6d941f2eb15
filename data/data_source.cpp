// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/data_source.h"

#include "data/query.h"

#include <algorithm>

TDataSource::TDataSource(QObject *parent)
    : QObject(parent)
{}

TDataSource::TDataSource(TADOQuery *dataSet, QObject *parent)
    : QObject(parent)
{
    setDataSet(dataSet);
}

TDataSource::~TDataSource()
{
    if (m_dataSet)
        m_dataSet->detachDataSource(this);
}

void TDataSource::setDataSet(TADOQuery *dataSet)
{
    for (auto &c : m_connections)
        disconnect(c);
    if (m_dataSet)
        m_dataSet->detachDataSource(this);
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
        dataSet->attachDataSource(this);
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

void TDataSource::addDataLink(TDataLink *link)
{
    if (std::find(m_links.begin(), m_links.end(), link) == m_links.end())
        m_links.push_back(link);
}

void TDataSource::removeDataLink(TDataLink *link)
{
    std::erase(m_links, link);
}

void TDataSource::updateRecord()
{
    // A link may go away while another writes (a control closing on a notification).
    const std::vector<TDataLink *> links = m_links;
    for (TDataLink *link : links) {
        if (std::find(m_links.begin(), m_links.end(), link) != m_links.end())
            link->updateRecord();
    }
}
