// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>

#include "data/query.h"

class TField;

// What record-bound controls bind to. It passes on the dataset's notifications, which the
// dataset withholds while its control updates are suspended.
class TDataSource : public QObject
{
    Q_OBJECT

public:
    explicit TDataSource(QObject *parent = nullptr);
    explicit TDataSource(TADOQuery *dataSet, QObject *parent = nullptr);

    TADOQuery *dataSet() const { return m_dataSet; }
    void setDataSet(TADOQuery *dataSet);

    // Puts the dataset into editing for a control about to change a value: an empty
    // dataset starts a new record instead. Returns false when no editing is possible.
    bool edit();

Q_SIGNALS:
    // Opened, closed, re-read, records added or removed, or updates resumed.
    void dataSetChanged();
    // The current record moved.
    void dataSetScrolled();
    // A value of the current record changed; null field: the whole record.
    void recordChanged(TField *field);
    void stateChanged();
    // Controls holding typed text write it into their fields now.
    void updateData();

private:
    QPointer<TADOQuery> m_dataSet;
    QMetaObject::Connection m_connections[5];
};
