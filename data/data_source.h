// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>

#include <vector>

#include "data/query.h"

class TField;

// A control's side of its tie to a data source: before the dataset saves or leaves the
// record, it asks every link to write what the user typed. A failure propagates, so a value
// that cannot be written stops the save.
class TDataLink
{
public:
    virtual ~TDataLink() = default;
    virtual void updateRecord() = 0;
};

// What record-bound controls bind to. It passes on the dataset's notifications, which the
// dataset withholds while its control updates are suspended.
class TDataSource : public QObject
{
    Q_OBJECT

public:
    explicit TDataSource(QObject *parent = nullptr);
    explicit TDataSource(TADOQuery *dataSet, QObject *parent = nullptr);
    ~TDataSource() override;

    TADOQuery *dataSet() const { return m_dataSet; }
    void setDataSet(TADOQuery *dataSet);

    // Puts the dataset into editing for a control about to change a value: an empty
    // dataset starts a new record instead. Returns false when no editing is possible.
    bool edit();

    void addDataLink(TDataLink *link);
    void removeDataLink(TDataLink *link);
    // Has every link write its control's pending value; the first failure propagates.
    void updateRecord();

Q_SIGNALS:
    // Opened, closed, re-read, records added or removed, or updates resumed.
    void dataSetChanged();
    // The current record moved.
    void dataSetScrolled();
    // A value of the current record changed; null field: the whole record.
    void recordChanged(TField *field);
    void stateChanged();

private:
    QPointer<TADOQuery> m_dataSet;
    QMetaObject::Connection m_connections[4];
    std::vector<TDataLink *> m_links;
};
