// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QComboBox>

class TDataSource;
class TField;
class TFieldDataLink;

// An editable drop-down showing one field of the current record of a data source, with a
// fixed list of suggestions. Typing or choosing from the list puts the record into editing;
// the text is written into the field when the data source asks or when the box loses the
// focus. It sets no length limit of its own. In a .ui file set the string property dataField.
class TDBComboBox : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(QString dataField READ dataField WRITE setDataField)

public:
    explicit TDBComboBox(QWidget *parent = nullptr);
    ~TDBComboBox() override;

    TDataSource *dataSource() const;
    void setDataSource(TDataSource *dataSource);
    QString dataField() const;
    void setDataField(const QString &fieldName);
    TField *field() const;
    bool userModified() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void onUserChange();
    void showField();
    void writeField();
    void applyActive();

    TFieldDataLink *m_link;
    bool m_disabledWhileClosed = false;
};
