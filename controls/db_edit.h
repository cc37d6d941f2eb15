// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLineEdit>

class TDataSource;
class TField;
class TFieldDataLink;

// A single-line box showing one field of the current record of a data source. What the user
// types puts the record into editing and is written into the field when the data source asks
// (before a save) or when the box loses the focus; text set by the program is never taken
// for typing. Esc shows the field's value again. The box accepts at most as many characters
// (code points, as the catalogue counts them) as a text field holds, never cuts one in two, and
// shows a longer value stored by another program whole. In a .ui file set the string property
// dataField.
class TDBEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(QString dataField READ dataField WRITE setDataField)

public:
    explicit TDBEdit(QWidget *parent = nullptr);
    ~TDBEdit() override;

    TDataSource *dataSource() const;
    void setDataSource(TDataSource *dataSource);
    QString dataField() const;
    void setDataField(const QString &fieldName);
    // The bound field of the open dataset; null while closed or not found.
    TField *field() const;
    // The user changed the text since the box last showed or wrote the field.
    bool userModified() const;
    // The characters the bound text field holds; 0 for no limit.
    int characterLimit() const { return m_limit; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void onTextEdited();
    void showField();
    void writeField();
    void applyActive();

    TFieldDataLink *m_link;
    bool m_disabledWhileClosed = false;
    int m_limit = 0;    // characters the field holds; 0 for no limit
    QString m_accepted; // the text as it stood before the edit being checked
    friend class CharacterLimit;
};

// Characters of a text as the catalogue counts them: code points, a surrogate pair being one.
qsizetype characterCount(QStringView text);

// Whether a key press would change the text of a box (typing, Backspace, Delete, paste, cut).
bool isEditingKey(const QKeyEvent *event);

// Disables a bound control while its dataset is closed and enables it again when it opens,
// leaving alone a control that its window disabled.
void disableWhileClosed(QWidget *control, bool closed, bool &disabledByUs);
