// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/db_combo_box.h"

#include "controls/db_edit.h"
#include "controls/field_data_link.h"
#include "data/fields.h"
#include "shell/error_handler.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QLineEdit>

namespace {

// Qt's combo box on Linux gives a screen reader its text as the name and leaves the label to
// a relation few readers follow: this one is named by its label (its accessible name, else
// the label it is the buddy of), with the text as its value. Its children are the list and
// the edit box, which carries the text interface, as in Qt's own.
class TComboAccessible : public QAccessibleWidget
{
public:
    explicit TComboAccessible(TDBComboBox *box)
        : QAccessibleWidget(box, QAccessible::ComboBox)
    {}

    TDBComboBox *box() const { return static_cast<TDBComboBox *>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return box()->currentText();
        return QAccessibleWidget::text(t);
    }

    int childCount() const override { return 2; }

    QAccessibleInterface *child(int index) const override
    {
        if (index == 0)
            return QAccessible::queryAccessibleInterface(box()->view());
        if (index == 1)
            return QAccessible::queryAccessibleInterface(box()->lineEdit());
        return nullptr;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child)
            return -1;
        if (child->object() == box()->view())
            return 0;
        return child->object() == box()->lineEdit() ? 1 : -1;
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = box()->view()->isVisible();
        s.collapsed = !s.expanded;
        s.hasPopup = true;
        s.editable = true;
        return s;
    }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }

    void doAction(const QString &actionName) override
    {
        if (actionName == showMenuAction() || actionName == pressAction())
            box()->view()->isVisible() ? box()->hidePopup() : box()->showPopup();
    }
};

QAccessibleInterface *comboAccessibility(const QString &className, QObject *object)
{
    if (className == QLatin1String("TDBComboBox"))
        return new TComboAccessible(static_cast<TDBComboBox *>(object));
    return nullptr;
}

} // namespace

TDBComboBox::TDBComboBox(QWidget *parent)
    : QComboBox(parent)
    , m_link(new TFieldDataLink(this))
{
    static const bool accessible = (QAccessible::installFactory(&comboAccessibility), true);
    Q_UNUSED(accessible);
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // The item list is fixed; completion would change the text behind the user's back.
    setCompleter(nullptr);
    connect(m_link, &TFieldDataLink::dataChange, this, &TDBComboBox::showField);
    m_link->setWriter([this] { writeField(); });
    connect(m_link, &TFieldDataLink::activeChange, this, &TDBComboBox::applyActive);
    connect(lineEdit(), &QLineEdit::textEdited, this, &TDBComboBox::onUserChange);
    connect(this, &QComboBox::textActivated, this, &TDBComboBox::onUserChange);
    showField();
}

TDBComboBox::~TDBComboBox() = default;

TDataSource *TDBComboBox::dataSource() const
{
    return m_link->dataSource();
}

void TDBComboBox::setDataSource(TDataSource *dataSource)
{
    m_link->setDataSource(dataSource);
    applyActive();
}

QString TDBComboBox::dataField() const
{
    return m_link->fieldName();
}

void TDBComboBox::setDataField(const QString &fieldName)
{
    m_link->setFieldName(fieldName);
    applyActive();
}

TField *TDBComboBox::field() const
{
    return m_link->field();
}

bool TDBComboBox::userModified() const
{
    return m_link->isModified();
}

// The combo box hands its keys to its line edit itself, so they are seen here.
void TDBComboBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        m_link->setModified(false);
        showField();
        lineEdit()->selectAll();
        event->accept();
        return;
    }
    if (isEditingKey(event) && !lineEdit()->isReadOnly() && !m_link->editForUser()) {
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

// Typing, or choosing from the list with the mouse, the arrow keys or the wheel.
void TDBComboBox::onUserChange()
{
    if (!m_link->editing() && !m_link->editForUser()) {
        showField();
        return;
    }
    m_link->setModified(true);
}

void TDBComboBox::focusOutEvent(QFocusEvent *event)
{
    QComboBox::focusOutEvent(event);
    guarded([this] { m_link->updateRecord(); })();
}

void TDBComboBox::showField()
{
    const TField *f = m_link->field();
    const QString value = f ? f->asString() : QString();
    if (currentText() != value) {
        const QSignalBlocker block(this);
        setCurrentIndex(findText(value, Qt::MatchFixedString | Qt::MatchCaseSensitive));
        setEditText(value);
    }
    applyActive();
}

void TDBComboBox::writeField()
{
    TField *f = m_link->field();
    if (!f || f->readOnly())
        return;
    f->setAsString(currentText());
}

void TDBComboBox::applyActive()
{
    const TField *f = m_link->field();
    lineEdit()->setReadOnly(!m_link->canModify());
    disableWhileClosed(this, m_link->dataSource() && !f, m_disabledWhileClosed);
}
