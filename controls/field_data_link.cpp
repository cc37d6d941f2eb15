// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/field_data_link.h"

#include "data/data_source.h"
#include "data/fields.h"
#include "data/query.h"
#include "shell/error_handler.h"

#include <QScopedValueRollback>

TFieldDataLink::TFieldDataLink(QObject *parent)
    : QObject(parent)
{}

TFieldDataLink::~TFieldDataLink()
{
    if (m_dataSource)
        m_dataSource->removeDataLink(this);
}

void TFieldDataLink::setDataSource(TDataSource *dataSource)
{
    if (m_dataSource == dataSource)
        return;
    for (auto &c : m_connections)
        disconnect(c);
    if (m_dataSource)
        m_dataSource->removeDataLink(this);
    m_dataSource = dataSource;
    if (dataSource) {
        m_connections[0] =
            connect(dataSource, &TDataSource::dataSetChanged, this, &TFieldDataLink::onDataChange);
        m_connections[1] =
            connect(dataSource, &TDataSource::dataSetScrolled, this, &TFieldDataLink::onDataChange);
        m_connections[2] =
            connect(dataSource, &TDataSource::recordChanged, this, [this](TField *changed) {
                if (!changed || changed == field())
                    onDataChange();
            });
        m_connections[3] =
            connect(dataSource, &TDataSource::stateChanged, this, &TFieldDataLink::onDataChange);
        dataSource->addDataLink(this);
    }
    onDataChange();
}

void TFieldDataLink::setFieldName(const QString &fieldName)
{
    if (m_fieldName == fieldName)
        return;
    m_fieldName = fieldName;
    onDataChange();
}

TField *TFieldDataLink::field() const
{
    if (!active() || m_fieldName.isEmpty())
        return nullptr;
    return m_dataSource->dataSet()->findField(m_fieldName);
}

bool TFieldDataLink::active() const
{
    return m_dataSource && m_dataSource->dataSet() && m_dataSource->dataSet()->active();
}

bool TFieldDataLink::editing() const
{
    if (!active())
        return false;
    const TDataSetState state = m_dataSource->dataSet()->state();
    return state == TDataSetState::Edit || state == TDataSetState::Insert;
}

bool TFieldDataLink::canModify() const
{
    const TField *f = field();
    return f && !f->readOnly() && m_dataSource->dataSet()->canModify();
}

bool TFieldDataLink::edit()
{
    if (!canModify())
        return false;
    const QScopedValueRollback guard(m_inEdit, true);
    return m_dataSource->edit();
}

bool TFieldDataLink::editForUser()
{
    try {
        return edit();
    } catch (...) {
        handleException(std::current_exception());
        return false;
    }
}

void TFieldDataLink::updateRecord()
{
    if (!m_modified || !field() || !m_writer)
        return;
    m_writer();
    m_modified = false;
}

void TFieldDataLink::onDataChange()
{
    const bool nowActive = active();
    if (nowActive != m_wasActive) {
        m_wasActive = nowActive;
        Q_EMIT activeChange();
    }
    if (m_inEdit)
        return;
    m_modified = false;
    Q_EMIT dataChange();
}
