// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/db_lookup_combo_box.h"

#include "controls/db_edit.h"
#include "controls/field_data_link.h"
#include "controls/shown_text.h"
#include "data/data_source.h"
#include "data/fields.h"
#include "data/query.h"
#include "shell/error_handler.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QListView>
#include <QScreen>
#include <QStyleOptionComboBox>
#include <QStylePainter>

namespace {

constexpr qint64 searchPause = 2000; // ms without a key before typed letters start afresh
constexpr int maxSearchLetters = 32;

bool isIntegral(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

bool isNullValue(const QVariant &v)
{
    return !v.isValid() || v.isNull();
}

} // namespace

bool sameKey(const QVariant &a, const QVariant &b)
{
    if (isNullValue(a) || isNullValue(b))
        return isNullValue(a) == isNullValue(b);
    if (isIntegral(a) && isIntegral(b))
        return a.toLongLong() == b.toLongLong();
    return a.toString() == b.toString();
}

TLookupListModel::TLookupListModel(QObject *parent)
    : QAbstractListModel(parent)
{}

void TLookupListModel::setListSource(TDataSource *listSource)
{
    m_listSource = listSource;
    reload();
}

void TLookupListModel::setListField(const QString &fieldName)
{
    m_listField = fieldName;
    reload();
}

void TLookupListModel::reload()
{
    beginResetModel();
    m_listFieldIndex = fieldIndex(m_listField);
    TADOQuery *dataSet = m_listSource ? m_listSource->dataSet() : nullptr;
    m_rows = m_listFieldIndex >= 0 ? dataSet->recordCount() : 0;
    endResetModel();
}

int TLookupListModel::fieldIndex(const QString &fieldName) const
{
    const TADOQuery *dataSet = m_listSource ? m_listSource->dataSet() : nullptr;
    if (!dataSet || !dataSet->active() || fieldName.isEmpty())
        return -1;
    const TField *f = dataSet->findField(fieldName);
    return f ? f->index() : -1;
}

int TLookupListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

QVariant TLookupListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows ||
        (role != Qt::DisplayRole && role != Qt::AccessibleTextRole))
        return {};
    return textAt(index.row());
}

QString TLookupListModel::textAt(int row) const
{
    if (m_listFieldIndex < 0 || row < 0 || row >= m_rows)
        return {};
    return ShownText::of(*m_listSource->dataSet(), row, m_listFieldIndex);
}

QVariant TLookupListModel::valueAt(int row, const QString &fieldName) const
{
    const int index = fieldIndex(fieldName);
    if (index < 0 || row < 0 || row >= m_rows)
        return {};
    return m_listSource->dataSet()->valueAt(row, index);
}

namespace {

// What a screen reader hears, as from Qt's own combo box: a combo box named by its label (its
// accessible name, else the label it is the buddy of), the shown text as its value, and the
// list as its one child.
class TLookupAccessible : public QAccessibleWidget
{
public:
    explicit TLookupAccessible(TDBLookupComboBox *box)
        : QAccessibleWidget(box, QAccessible::ComboBox)
    {}

    TDBLookupComboBox *box() const { return static_cast<TDBLookupComboBox *>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return box()->text();
        return QAccessibleWidget::text(t);
    }

    int childCount() const override { return 1; }

    QAccessibleInterface *child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(box()->listView()) : nullptr;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child && child->object() == box()->listView() ? 0 : -1;
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = box()->listVisible();
        s.collapsed = !s.expanded;
        s.hasPopup = true;
        return s;
    }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }

    void doAction(const QString &actionName) override
    {
        if (actionName == showMenuAction() || actionName == pressAction())
            box()->listVisible() ? box()->closeUp() : box()->dropDown();
    }
};

QAccessibleInterface *lookupAccessibility(const QString &className, QObject *object)
{
    if (className == QLatin1String("TDBLookupComboBox"))
        return new TLookupAccessible(static_cast<TDBLookupComboBox *>(object));
    return nullptr;
}

} // namespace

TDBLookupComboBox::TDBLookupComboBox(QWidget *parent)
    : QWidget(parent)
    , m_link(new TFieldDataLink(this))
    , m_model(new TLookupListModel(this))
{
    static const bool accessible = (QAccessible::installFactory(&lookupAccessibility), true);
    Q_UNUSED(accessible);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    connect(m_link, &TFieldDataLink::dataChange, this, &TDBLookupComboBox::onDataChange);
    connect(m_link, &TFieldDataLink::activeChange, this, &TDBLookupComboBox::onDataChange);
}

TDBLookupComboBox::~TDBLookupComboBox() = default;

// The drop-down list is made the first time it is needed, not with the box: most boxes are on
// screen long before anyone opens them, and a window that holds one paints sooner.
QListView *TDBLookupComboBox::listView()
{
    if (m_view)
        return m_view;
    m_view = new QListView(this);
    m_view->setWindowFlags(Qt::Popup);
    m_view->setAttribute(Qt::WA_NoMouseReplay);
    m_view->setModel(m_model);
    m_view->setUniformItemSizes(true);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view->setMouseTracking(true);
    m_view->installEventFilter(this);
    connect(m_view, &QAbstractItemView::entered, this,
            [this](const QModelIndex &index) { m_view->setCurrentIndex(index); });
    connect(m_view, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
        closeUp();
        choose(index.row());
    });
    return m_view;
}

TDataSource *TDBLookupComboBox::dataSource() const
{
    return m_link->dataSource();
}

void TDBLookupComboBox::setDataSource(TDataSource *dataSource)
{
    m_link->setDataSource(dataSource);
}

QString TDBLookupComboBox::dataField() const
{
    return m_link->fieldName();
}

void TDBLookupComboBox::setDataField(const QString &fieldName)
{
    m_link->setFieldName(fieldName);
}

void TDBLookupComboBox::setListSource(TDataSource *listSource)
{
    disconnect(m_listConnection);
    m_listSource = listSource;
    m_model->setListSource(listSource);
    if (listSource) {
        m_listConnection = connect(listSource, &TDataSource::dataSetChanged, this,
                                   &TDBLookupComboBox::onListChanged);
    }
    onListChanged();
}

void TDBLookupComboBox::setKeyField(const QString &fieldName)
{
    m_keyField = fieldName;
    onListChanged();
}

void TDBLookupComboBox::setListField(const QString &fieldName)
{
    m_listField = fieldName;
    m_model->setListField(fieldName);
    onListChanged();
}

void TDBLookupComboBox::setDropDownRows(int rows)
{
    m_dropDownRows = std::max(1, rows);
}

void TDBLookupComboBox::setKeyValue(const QVariant &value)
{
    applyKey(value, false);
}

bool TDBLookupComboBox::listVisible() const
{
    return m_view && m_view->isVisible();
}

// Bound to a data field, the key is the field's; otherwise the box keeps its own.
void TDBLookupComboBox::onDataChange()
{
    const bool bound = m_link->dataSource() && !m_link->fieldName().isEmpty();
    disableWhileClosed(this, bound && !m_link->active(), m_disabledWhileClosed);
    if (!bound)
        return;
    const TField *f = m_link->field();
    applyKey(f ? f->value() : QVariant(), false);
}

void TDBLookupComboBox::onListChanged()
{
    m_model->reload();
    if (!m_shownKey)
        applyKey(m_keyValue, false);
    else
        updateText();
}

// A new key places the list's dataset on its record; a failure to get there (a pending
// record there that cannot be saved) leaves the dataset where it was and shows nothing.
void TDBLookupComboBox::applyKey(const QVariant &key, bool force)
{
    m_keyValue = key;
    if (!force && m_shownKey && sameKey(*m_shownKey, key))
        return;
    TADOQuery *list = m_listSource ? m_listSource->dataSet() : nullptr;
    if (!list || !list->active() || m_keyField.isEmpty() || m_listField.isEmpty()) {
        setShownText(QString());
        return;
    }
    m_shownKey = key;
    bool located = false;
    if (!isNullValue(key)) {
        try {
            located = list->locate(m_keyField, key);
        } catch (...) {
            located = false;
        }
    }
    setShownText(located ? m_model->textAt(list->recNo()) : QString());
}

void TDBLookupComboBox::updateText()
{
    const int row = rowOfKey(m_keyValue);
    setShownText(row >= 0 ? m_model->textAt(row) : QString());
}

void TDBLookupComboBox::setShownText(const QString &text)
{
    const bool changed = text != m_text;
    m_text = text;
    update();
    if (changed && QAccessible::isActive()) {
        QAccessibleValueChangeEvent value(this, text);
        QAccessible::updateAccessibility(&value);
    }
}

int TDBLookupComboBox::rowOfKey(const QVariant &key) const
{
    TADOQuery *list = m_listSource ? m_listSource->dataSet() : nullptr;
    if (isNullValue(key) || !list || !list->active() || m_keyField.isEmpty())
        return -1;
    const TField *keyField = list->findField(m_keyField);
    if (!keyField)
        return -1;
    const int count = m_model->rowCount();
    const int current = list->recNo();
    if (current >= 0 && current < count && sameKey(list->valueAt(current, keyField->index()), key))
        return current;
    for (int row = 0; row < count; ++row) {
        if (sameKey(list->valueAt(row, keyField->index()), key))
            return row;
    }
    return -1;
}

void TDBLookupComboBox::chooseRow(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    const QVariant key = m_model->valueAt(row, m_keyField);
    if (m_link->dataSource() && !m_link->fieldName().isEmpty()) {
        if (!m_link->edit())
            return;
        if (TField *f = m_link->field())
            f->setValue(key);
    } else {
        setKeyValue(key);
    }
    Q_EMIT choiceMade();
}

// Choices come from the user's keys and clicks, where no failure may escape.
void TDBLookupComboBox::choose(int row)
{
    guarded([this, row] { chooseRow(row); })();
}

void TDBLookupComboBox::typeToSelect(const QString &letters)
{
    if (!m_searchClock.isValid() || m_searchClock.elapsed() > searchPause)
        m_search.clear();
    m_searchClock.restart();
    const QString wanted = m_search + letters;
    if (wanted.size() > maxSearchLetters)
        return;
    const int count = m_model->rowCount();
    for (int row = 0; row < count; ++row) {
        if (m_model->textAt(row).startsWith(wanted, Qt::CaseInsensitive)) {
            m_search = wanted;
            choose(row);
            return;
        }
    }
}

void TDBLookupComboBox::dropDown()
{
    const int count = m_model->rowCount();
    if (listVisible() || count == 0 || !isEnabled())
        return;
    m_search.clear();
    QListView *view = listView();
    view->setFont(font());
    view->setPalette(palette());
    const int rows = std::min(m_dropDownRows, count);
    const int rowHeight = std::max(view->sizeHintForRow(0), fontMetrics().height());
    const int frame = view->frameWidth();
    const QSize size(width(), rows * rowHeight + 2 * frame);
    QPoint at = mapToGlobal(QPoint(0, height()));
    if (const QScreen *s = screen()) {
        const QRect available = s->availableGeometry();
        if (at.y() + size.height() > available.bottom() + 1)
            at.setY(mapToGlobal(QPoint(0, 0)).y() - size.height());
    }
    view->setGeometry(QRect(at, size));
    const int current = rowOfKey(m_keyValue);
    const QModelIndex index = m_model->index(std::max(current, 0));
    view->setCurrentIndex(index);
    view->scrollTo(index, QAbstractItemView::PositionAtTop);
    view->show();
    view->setFocus();
    update();
}

void TDBLookupComboBox::closeUp()
{
    if (m_view)
        m_view->hide();
    update();
}

bool TDBLookupComboBox::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_view || watched != m_view)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::Hide) {
        update();
    } else if (event->type() == QEvent::MouseButtonPress ||
               event->type() == QEvent::MouseButtonDblClick) {
        // A scroll area ignores presses on itself, so the popup would never see one outside it
        // and stay open: a click elsewhere closes the list and chooses nothing.
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (!m_view->rect().contains(mouse->position().toPoint())) {
            closeUp();
            return true;
        }
    } else if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            const int row = m_view->currentIndex().row();
            closeUp();
            if (row >= 0)
                choose(row);
            return true;
        }
        case Qt::Key_Escape:
        case Qt::Key_F4:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            closeUp();
            return true;
        case Qt::Key_Up:
        case Qt::Key_Down:
            if (key->modifiers() & Qt::AltModifier) {
                closeUp();
                return true;
            }
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TDBLookupComboBox::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    const bool alt = event->modifiers() & Qt::AltModifier;
    if ((alt && (key == Qt::Key_Up || key == Qt::Key_Down)) || key == Qt::Key_F4) {
        listVisible() ? closeUp() : dropDown();
        return;
    }
    if ((key == Qt::Key_Up || key == Qt::Key_Down) && !alt) {
        const int count = m_model->rowCount();
        if (count == 0)
            return;
        const int row = rowOfKey(m_keyValue);
        const int target =
            row < 0 ? 0 : std::clamp(row + (key == Qt::Key_Up ? -1 : 1), 0, count - 1);
        choose(target);
        return;
    }
    if (key == Qt::Key_Backspace || key == Qt::Key_Escape) {
        m_search.clear();
        return;
    }
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint() &&
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        typeToSelect(text);
        return;
    }
    QWidget::keyPressEvent(event);
}

void TDBLookupComboBox::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    listVisible() ? closeUp() : dropDown();
}

void TDBLookupComboBox::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    update();
}

void TDBLookupComboBox::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    update();
}

// Drawn as an editable drop-down: a white field with the text, and the arrow button. With
// the focus and the list closed the text is shown selected.
void TDBLookupComboBox::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    QStyleOptionComboBox opt;
    opt.initFrom(this);
    opt.editable = true;
    opt.frame = true;
    opt.subControls = QStyle::SC_All;
    if (listVisible())
        opt.state |= QStyle::State_On;
    p.drawComplexControl(QStyle::CC_ComboBox, opt);
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this);
    const QPalette::ColorGroup group = isEnabled() ? QPalette::Normal : QPalette::Disabled;
    p.fillRect(field, palette().brush(group, QPalette::Base));
    QRect textRect = field.adjusted(2, 0, -1, 0);
    const QString shown = fontMetrics().elidedText(m_text, Qt::ElideRight, textRect.width() - 2);
    QColor pen = palette().color(group, QPalette::Text);
    if (hasFocus() && !listVisible() && isEnabled()) {
        const QRect selected(textRect.left(), textRect.top() + 1,
                             fontMetrics().horizontalAdvance(shown) + 2, textRect.height() - 2);
        p.fillRect(shown.isEmpty() ? textRect.adjusted(0, 1, 0, -1) : selected,
                   palette().brush(QPalette::Highlight));
        pen = palette().color(QPalette::HighlightedText);
    }
    p.setPen(pen);
    p.drawText(textRect.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, shown);
}

QSize TDBLookupComboBox::sizeHint() const
{
    QStyleOptionComboBox opt;
    opt.initFrom(this);
    opt.editable = true;
    const QSize text(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 16,
                     fontMetrics().height());
    return style()->sizeFromContents(QStyle::CT_ComboBox, &opt, text, this);
}

QSize TDBLookupComboBox::minimumSizeHint() const
{
    return sizeHint();
}
