// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/db_navigator.h"

#include "data/data_source.h"
#include "data/query.h"
#include "shell/error_handler.h"

#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace {

constexpr int pictureSize = 16;

const char16_t *const buttonNames[navigateBtnCount] = {
    u"Primeiro", u"Anterior", u"Próximo", u"Último",   u"Inserir",
    u"Apagar",   u"Editar",   u"Salvar",  u"Cancelar", u"Atualizar"};

// Shapes on a 16 x 16 grid, filled with the brush given.
void drawShape(QPainter &p, TNavigateBtn button, const QColor &colour)
{
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    const auto triangle = [&p](qreal tipX, qreal baseX) {
        const QPointF points[3] = {{tipX, 8}, {baseX, 3.5}, {baseX, 12.5}};
        p.drawPolygon(points, 3);
    };
    switch (button) {
    case nbFirst:
        p.drawRect(QRectF(4, 3.5, 2, 9));
        triangle(6.5, 11.5);
        break;
    case nbPrior:
        triangle(5.5, 10.5);
        break;
    case nbNext:
        triangle(10.5, 5.5);
        break;
    case nbLast:
        triangle(9.5, 4.5);
        p.drawRect(QRectF(10, 3.5, 2, 9));
        break;
    case nbInsert:
        p.drawRect(QRectF(3.5, 7, 9, 2));
        p.drawRect(QRectF(7, 3.5, 2, 9));
        break;
    case nbDelete:
        p.drawRect(QRectF(3.5, 7, 9, 2));
        break;
    case nbEdit: {
        const QPointF points[3] = {{8, 4}, {12.5, 11}, {3.5, 11}};
        p.drawPolygon(points, 3);
        break;
    }
    case nbPost: {
        QPainterPath check;
        check.moveTo(3, 8);
        check.lineTo(6.5, 11.5);
        check.lineTo(13, 4.5);
        p.strokePath(check, QPen(colour, 2.2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        break;
    }
    case nbCancel: {
        const QPen pen(colour, 2.2, Qt::SolidLine, Qt::FlatCap);
        p.setPen(pen);
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    }
    case nbRefresh: {
        // Three quarters of a circle, clockwise from the top, ending in an arrowhead.
        p.setPen(QPen(colour, 2, Qt::SolidLine, Qt::FlatCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(3, 3.5, 9.5, 9.5), 90 * 16, -270 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        const QPointF head[3] = {{7.5, 1.2}, {11.3, 4.2}, {7.5, 7}};
        p.drawPolygon(head, 3);
        break;
    }
    }
}

} // namespace

QPixmap navigatorPicture(TNavigateBtn button, bool enabled)
{
    QPixmap picture(pictureSize, pictureSize);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    if (enabled) {
        drawShape(p, button, Qt::black);
    } else {
        // The classic engraved look: a white copy one pixel down-right under a grey one.
        p.translate(1, 1);
        drawShape(p, button, Qt::white);
        p.translate(-1, -1);
        drawShape(p, button, QColor(128, 128, 128));
    }
    return picture;
}

TDBNavigator::TDBNavigator(QWidget *parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(QStringLiteral("Navegador de registros"));
    for (int i = 0; i < navigateBtnCount; ++i) {
        const auto action = TNavigateBtn(i);
        auto *b = new QToolButton(this);
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRaise(false);
        b->setAccessibleName(QString::fromUtf16(buttonNames[i]));
        QIcon icon;
        icon.addPixmap(navigatorPicture(action, true), QIcon::Normal);
        icon.addPixmap(navigatorPicture(action, false), QIcon::Disabled);
        b->setIcon(icon);
        b->setIconSize(QSize(pictureSize, pictureSize));
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        connect(b, &QToolButton::clicked, this, guarded([this, action] { BtnClick(action); }));
        m_buttons[size_t(i)] = b;
    }
    layoutButtons();
    updateButtons();
}

TDBNavigator::~TDBNavigator() = default;

void TDBNavigator::setDataSource(TDataSource *dataSource)
{
    for (auto &c : m_connections)
        disconnect(c);
    m_dataSource = dataSource;
    if (dataSource) {
        m_connections[0] =
            connect(dataSource, &TDataSource::dataSetChanged, this, &TDBNavigator::updateButtons);
        m_connections[1] =
            connect(dataSource, &TDataSource::dataSetScrolled, this, &TDBNavigator::updateButtons);
        m_connections[2] =
            connect(dataSource, &TDataSource::stateChanged, this, &TDBNavigator::updateButtons);
        m_connections[3] = connect(dataSource, &QObject::destroyed, this, [this] {
            m_dataSource = nullptr;
            updateButtons();
        });
    }
    updateButtons();
}

void TDBNavigator::setVisibleButtons(TNavButtonSet buttons)
{
    m_visible = buttons;
    for (int i = 0; i < navigateBtnCount; ++i)
        m_buttons[size_t(i)]->setVisible(buttons.contains(TNavigateBtn(i)));
    layoutButtons();
}

QToolButton *TDBNavigator::button(TNavigateBtn button) const
{
    return m_visible.contains(button) ? m_buttons[size_t(button)] : nullptr;
}

bool TDBNavigator::BtnClick(TNavigateBtn button)
{
    TADOQuery *dataSet = m_dataSource ? m_dataSource->dataSet() : nullptr;
    if (!dataSet || !dataSet->active())
        return false;
    switch (button) {
    case nbFirst:
        dataSet->first();
        break;
    case nbPrior:
        dataSet->prior();
        break;
    case nbNext:
        dataSet->next();
        break;
    case nbLast:
        dataSet->last();
        break;
    case nbInsert:
        dataSet->insert();
        break;
    case nbDelete:
        dataSet->remove();
        break;
    case nbEdit:
        dataSet->edit();
        break;
    case nbPost:
        dataSet->post();
        break;
    case nbCancel:
        dataSet->cancel();
        break;
    case nbRefresh:
        dataSet->refresh();
        break;
    }
    return true;
}

void TDBNavigator::updateButtons()
{
    const TADOQuery *dataSet = m_dataSource ? m_dataSource->dataSet() : nullptr;
    const bool active = dataSet && dataSet->active();
    const bool canModify = active && dataSet->canModify();
    const bool editing = active && (dataSet->state() == TDataSetState::Edit ||
                                    dataSet->state() == TDataSetState::Insert);
    const bool up = active && !dataSet->bof();
    const bool down = active && !dataSet->eof();
    const bool enabled[navigateBtnCount] = {
        up,
        up,
        down,
        down,
        canModify,
        canModify && !(dataSet->bof() && dataSet->eof()),
        canModify && !editing,
        canModify && editing,
        canModify && editing,
        canModify,
    };
    for (int i = 0; i < navigateBtnCount; ++i)
        m_buttons[size_t(i)]->setEnabled(enabled[i]);
}

// The shown buttons share the width; the first ones take the pixels left over.
void TDBNavigator::layoutButtons()
{
    int shown = 0;
    for (int i = 0; i < navigateBtnCount; ++i)
        shown += m_visible.contains(TNavigateBtn(i)) ? 1 : 0;
    if (shown == 0)
        return;
    const int each = width() / shown;
    int extra = width() - each * shown;
    int x = 0;
    for (int i = 0; i < navigateBtnCount; ++i) {
        if (!m_visible.contains(TNavigateBtn(i)))
            continue;
        const int w = each + (extra > 0 ? 1 : 0);
        extra = std::max(0, extra - 1);
        m_buttons[size_t(i)]->setGeometry(x, 0, w, height());
        x += w;
    }
}

void TDBNavigator::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutButtons();
}
