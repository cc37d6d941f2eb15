// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/db_edit.h"

#include "controls/field_data_link.h"
#include "data/fields.h"
#include "shell/error_handler.h"

#include <QKeyEvent>
#include <QValidator>

qsizetype characterCount(QStringView text)
{
    qsizetype count = text.size();
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i].isHighSurrogate() && text[i + 1].isLowSurrogate()) {
            --count;
            ++i;
        }
    }
    return count;
}

// The box's length limit in characters, where QLineEdit's own counts UTF-16 units and cuts
// inside a character. An edit that would pass the limit keeps only as many of the characters
// it inserts before the cursor as fit; a value already longer (stored by another program) may
// be shortened or changed in place, never lengthened.
class CharacterLimit : public QValidator
{
public:
    explicit CharacterLimit(TDBEdit *box)
        : QValidator(box)
        , m_box(box)
    {}

    State validate(QString &input, int &pos) const override
    {
        if (m_box->m_limit <= 0)
            return Acceptable;
        const qsizetype allowed =
            std::max<qsizetype>(m_box->m_limit, characterCount(m_box->m_accepted));
        qsizetype excess = characterCount(input) - allowed;
        if (excess <= 0)
            return Acceptable;
        // Removes whole characters just before the cursor, where the edit inserted them.
        qsizetype end = pos;
        qsizetype start = end;
        while (excess > 0 && start > 0) {
            --start;
            if (start > 0 && input[start].isLowSurrogate() && input[start - 1].isHighSurrogate())
                --start;
            --excess;
        }
        if (excess > 0)
            return Invalid;
        input.remove(start, end - start);
        pos = int(start);
        return Acceptable;
    }

private:
    TDBEdit *m_box;
};

bool isEditingKey(const QKeyEvent *event)
{
    if (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut) ||
        event->matches(QKeySequence::DeleteEndOfWord) ||
        event->matches(QKeySequence::DeleteStartOfWord))
        return true;
    if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete)
        return true;
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString text = event->text();
    return !text.isEmpty() && text.at(0).isPrint();
}

void disableWhileClosed(QWidget *control, bool closed, bool &disabledByUs)
{
    if (closed && control->isEnabled()) {
        control->setEnabled(false);
        disabledByUs = true;
    } else if (!closed && disabledByUs) {
        control->setEnabled(true);
        disabledByUs = false;
    }
}

TDBEdit::TDBEdit(QWidget *parent)
    : QLineEdit(parent)
    , m_link(new TFieldDataLink(this))
{
    connect(m_link, &TFieldDataLink::dataChange, this, &TDBEdit::showField);
    m_link->setWriter([this] { writeField(); });
    connect(m_link, &TFieldDataLink::activeChange, this, &TDBEdit::applyActive);
    connect(this, &QLineEdit::textEdited, this, &TDBEdit::onTextEdited);
    connect(this, &QLineEdit::textChanged, this, [this](const QString &now) { m_accepted = now; });
    setValidator(new CharacterLimit(this));
    applyActive();
    showField();
}

TDBEdit::~TDBEdit() = default;

TDataSource *TDBEdit::dataSource() const
{
    return m_link->dataSource();
}

void TDBEdit::setDataSource(TDataSource *dataSource)
{
    m_link->setDataSource(dataSource);
    applyActive();
}

QString TDBEdit::dataField() const
{
    return m_link->fieldName();
}

void TDBEdit::setDataField(const QString &fieldName)
{
    m_link->setFieldName(fieldName);
    applyActive();
}

TField *TDBEdit::field() const
{
    return m_link->field();
}

bool TDBEdit::userModified() const
{
    return m_link->isModified();
}

void TDBEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        m_link->setModified(false);
        showField();
        selectAll();
        event->accept();
        return;
    }
    if (isEditingKey(event) && !isReadOnly() && !m_link->editForUser()) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

// Paste or cut from the context menu, drops and undo reach here without a key press.
void TDBEdit::onTextEdited()
{
    // The link keeps the new record's refresh away from the text just typed.
    if (!m_link->editing() && !m_link->editForUser()) {
        showField();
        return;
    }
    m_link->setModified(true);
}

void TDBEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    guarded([this] { m_link->updateRecord(); })();
}

void TDBEdit::showField()
{
    const TField *f = m_link->field();
    const QString value = f ? f->asString() : QString();
    if (text() != value)
        setText(value);
    applyActive();
}

void TDBEdit::writeField()
{
    TField *f = m_link->field();
    if (!f || f->readOnly())
        return;
    // Typing that ends where it began changes nothing in the record.
    if (text() == f->asString())
        return;
    f->setAsString(text());
}

void TDBEdit::applyActive()
{
    const TField *f = m_link->field();
    m_limit = f && f->dataType() == TFieldType::WideString && f->size() > 0 ? f->size() : 0;
    // The characters are limited by the validator; this only keeps QLineEdit from cutting.
    if (maxLength() != 32767)
        setMaxLength(32767);
    setReadOnly(!m_link->canModify());
    // An unbound box stays as its window made it.
    disableWhileClosed(this, m_link->dataSource() && !f, m_disabledWhileClosed);
}
