// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

#include "data/data_source.h"
#include "data/query.h" // TDataSource::dataSet() needs the complete type
class TField;

// The tie between one control and one field of a data source. It turns the source's
// notifications into "show the field again" and "write your value now", and keeps the
// control's own refresh away while the control itself is putting the record into editing.
class TFieldDataLink : public QObject, public TDataLink
{
    Q_OBJECT

public:
    // How the control writes its value into the field; a failure propagates to the save.
    using Writer = std::function<void()>;

    explicit TFieldDataLink(QObject *parent = nullptr);
    ~TFieldDataLink() override;

    void setWriter(Writer writer) { m_writer = std::move(writer); }

    TDataSource *dataSource() const { return m_dataSource; }
    void setDataSource(TDataSource *dataSource);
    const QString &fieldName() const { return m_fieldName; }
    void setFieldName(const QString &fieldName);

    // The field of the open dataset with that name; null while closed or not found.
    TField *field() const;
    bool active() const;
    bool editing() const;
    // Whether the user may change the field: open, updatable, the field writable.
    bool canModify() const;

    // Puts the record into editing for a change the user is making (an empty dataset starts a
    // new record). The control is not refreshed meanwhile, so what it holds survives.
    // Returns false when no change is possible; the dataset's failures propagate.
    bool edit();
    // The same from inside key handling, where no failure may escape: the general error
    // handler reports it and false refuses the key.
    bool editForUser();

    // The user changed the control's value since it last showed or wrote the field.
    bool isModified() const { return m_modified; }
    void setModified(bool modified) { m_modified = modified; }

    // The control writes its value into the field now, when the user changed it. A value
    // that cannot be written propagates and stays pending in the control.
    void updateRecord() override;

Q_SIGNALS:
    // Show the field's value of the current record (it also ends any pending change).
    void dataChange();
    // The dataset opened or closed, or the link changed.
    void activeChange();

private:
    void onDataChange();

    QPointer<TDataSource> m_dataSource;
    QString m_fieldName;
    QMetaObject::Connection m_connections[4];
    Writer m_writer;
    bool m_inEdit = false;
    bool m_modified = false;
    bool m_wasActive = false;
};
