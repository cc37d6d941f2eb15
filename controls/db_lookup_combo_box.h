// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractListModel>
#include <QElapsedTimer>
#include <QPointer>
#include <QVariant>
#include <QWidget>

#include <optional>

class QListView;
#include "data/data_source.h"
#include "data/query.h" // TDataSource::dataSet() needs the complete type
class TField;
class TFieldDataLink;

// The rows of a list source's dataset as a list of one field's text, read in place (never
// copied) and reset whenever the dataset changes.
class TLookupListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit TLookupListModel(QObject *parent = nullptr);

    void setListSource(TDataSource *listSource);
    void setListField(const QString &fieldName);
    // Re-reads everything (the dataset opened, closed, saved or deleted records).
    void reload();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // Text of the list field at a record; empty when out of range.
    QString textAt(int row) const;
    // Value of a field at a record, without moving the dataset.
    QVariant valueAt(int row, const QString &fieldName) const;

private:
    int fieldIndex(const QString &fieldName) const;

    QPointer<TDataSource> m_listSource;
    QString m_listField;
    int m_listFieldIndex = -1;
    int m_rows = 0;
};

// A drop-down that stores a key and shows a name: the data field holds a value of the list
// source's key field, and the box shows the list field of the list record with that key.
// Its list is the list source's dataset itself, in its order. Choosing puts the record into
// editing and writes the key. Whenever the key shown changes, the list source's dataset is
// placed on that key's record. Without a data field the box only keeps its own key value.
class TDBLookupComboBox : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString dataField READ dataField WRITE setDataField)
    Q_PROPERTY(QString keyField READ keyField WRITE setKeyField)
    Q_PROPERTY(QString listField READ listField WRITE setListField)
    Q_PROPERTY(int dropDownRows READ dropDownRows WRITE setDropDownRows)

public:
    explicit TDBLookupComboBox(QWidget *parent = nullptr);
    ~TDBLookupComboBox() override;

    TDataSource *dataSource() const;
    void setDataSource(TDataSource *dataSource);
    QString dataField() const;
    void setDataField(const QString &fieldName);
    TDataSource *listSource() const { return m_listSource; }
    void setListSource(TDataSource *listSource);
    QString keyField() const { return m_keyField; }
    void setKeyField(const QString &fieldName);
    QString listField() const { return m_listField; }
    void setListField(const QString &fieldName);
    int dropDownRows() const { return m_dropDownRows; }
    void setDropDownRows(int rows);

    // The key shown (null when none) and the text shown for it.
    QVariant keyValue() const { return m_keyValue; }
    void setKeyValue(const QVariant &value);
    QString text() const { return m_text; }

    // Chooses the list record at a row as the user would; failures propagate.
    void chooseRow(int row);

    bool listVisible() const;
    void dropDown();
    void closeUp();
    QListView *listView();
    TLookupListModel *listModel() const { return m_model; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // The user chose a record, also the one already shown.
    void choiceMade();

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onDataChange();
    void onListChanged();
    void applyKey(const QVariant &key, bool force);
    void updateText();
    void setShownText(const QString &text);
    int rowOfKey(const QVariant &key) const;
    void typeToSelect(const QString &letters);
    void choose(int row);

    TFieldDataLink *m_link;
    QPointer<TDataSource> m_listSource;
    QMetaObject::Connection m_listConnection;
    TLookupListModel *m_model;
    QListView *m_view = nullptr;
    QString m_keyField;
    QString m_listField;
    int m_dropDownRows = 7;

    std::optional<QVariant> m_shownKey; // empty until the first key has been applied
    QVariant m_keyValue;
    QString m_text;

    QString m_search;
    QElapsedTimer m_searchClock;
    bool m_disabledWhileClosed = false;
};

// Two keys are the same when both are null, or equal as numbers or as text.
bool sameKey(const QVariant &a, const QVariant &b);
