// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/form_layout.h"

#include <QApplication>
#include <QDynamicPropertyChangeEvent>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QScreen>
#include <QScrollArea>
#include <QStyleOption>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include <optional>

namespace {

int designPixels(qreal points)
{
    return qRound(points * 96.0 / 72.0);
}

void applyDesignFont(QWidget *widget)
{
    // A grid's title font is a font of its own, given in points like the widget's.
    const QVariant title = widget->property("titleFont");
    if (title.typeId() == QMetaType::QFont) {
        QFont font = title.value<QFont>();
        if (font.pointSizeF() > 0) {
            font.setPixelSize(designPixels(font.pointSizeF()));
            widget->setProperty("titleFont", font);
        }
    }
    QFont font = widget->font();
    const QVariant pixels = widget->property("pixelSize");
    if (pixels.isValid())
        font.setPixelSize(pixels.toInt());
    else if (font.pointSizeF() > 0)
        font.setPixelSize(designPixels(font.pointSizeF()));
    else
        return;
    widget->setFont(font);
}

const char *const designFontsAsSetName = "quivelDesignFontsAsSet";

// See installDesignFonts. Every change of a widget's font or of its "pixelSize" passes here,
// including the ones this makes (they find the font already right).
class DesignFonts : public QObject
{
public:
    DesignFonts(const QStringList &families, QObject *parent)
        : QObject(parent)
    {
        for (const QString &family : families)
            m_installed.insert(family, std::nullopt);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if ((type != QEvent::FontChange && type != QEvent::DynamicPropertyChange) ||
            !watched->isWidgetType())
            return false;
        auto *widget = static_cast<QWidget *>(watched);
        QFont font = widget->font();
        if (type == QEvent::DynamicPropertyChange) {
            if (static_cast<QDynamicPropertyChangeEvent *>(event)->propertyName() != "pixelSize")
                return false;
            const QVariant pixels = widget->property("pixelSize");
            if (!pixels.isValid() || font.pixelSize() == pixels.toInt() || !inMarkedWindow(widget))
                return false;
            font.setPixelSize(pixels.toInt());
        } else {
            const QString installed = installedFamily(font.family());
            if (installed.isEmpty())
                return false;
            font.setFamilies({installed});
        }
        widget->setFont(font);
        return false;
    }

private:
    // The mark is looked for up to the widget's own window: a dialog over a marked window is
    // not marked.
    static bool inMarkedWindow(const QWidget *widget)
    {
        for (; widget; widget = widget->parentWidget()) {
            if (widget->property(designFontsAsSetName).toBool())
                return true;
            if (widget->isWindow())
                return false;
        }
        return false;
    }

    // Empty for a family that is not a design family or has no installed substitute.
    QString installedFamily(const QString &family)
    {
        const auto found = m_installed.find(family);
        if (found == m_installed.end())
            return {};
        if (!found->has_value()) {
            QString installed;
            for (const QString &substitute : QFont::substitutes(family)) {
                if (QFontDatabase::hasFamily(substitute)) {
                    installed = substitute;
                    break;
                }
            }
            *found = installed;
        }
        return **found;
    }

    QHash<QString, std::optional<QString>> m_installed;
};

// Draws a group box's frame as an etched line and nothing else: the style's own frame lays a
// translucent tint over the box's colour, which must show exactly as set.
class PanelStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override
    {
        if (element != PE_FrameGroupBox) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        const int top = option->fontMetrics.height() / 2;
        const QRect frame = option->rect.adjusted(0, top, -1, -1);
        painter->save();
        painter->setPen(option->palette.color(QPalette::Mid));
        painter->drawRect(frame.adjusted(0, 0, -1, -1));
        painter->setPen(option->palette.color(QPalette::Light));
        painter->drawRect(frame.adjusted(1, 1, 0, 0));
        painter->restore();
    }
};

// The frame margins of the windows already placed, for a window the window manager has not
// framed yet: all windows of the program have the same kind of frame.
QMargins g_lastFrame;

// Read from the window system each time: Qt learns a new frame without telling the widget.
// While the window manager is still taking a window in, Qt may report a frame with negative
// margins; that is no frame yet.
QMargins frameMargins(const QWidget *window)
{
    const QWindow *handle = window->windowHandle();
    if (!handle)
        return {};
    const QMargins frame = handle->frameMargins();
    if (frame.left() < 0 || frame.top() < 0 || frame.right() < 0 || frame.bottom() < 0)
        return {};
    return frame;
}

const QString scrollName = QStringLiteral("quivelFitOnScreen");

// The window's contents at their designed size inside a scroll area that fills the window:
// done once, the first time the window is found too large for the screen.
QScrollArea *scrollContents(QWidget *window)
{
    if (auto *scroll = window->findChild<QScrollArea *>(scrollName, Qt::FindDirectChildrenOnly))
        return scroll;
    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("quivelContent"));
    content->setFixedSize(window->size());
    content->setBackgroundRole(window->backgroundRole());
    content->setAutoFillBackground(true);
    const auto children = window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *child : children) {
        if (child->isWindow())
            continue;
        const bool shown = !child->isHidden();
        const QRect where = child->geometry();
        child->setParent(content);
        child->setGeometry(where);
        child->setVisible(shown);
    }
    auto *scroll = new QScrollArea(window);
    scroll->setObjectName(scrollName);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setBackgroundRole(window->backgroundRole());
    scroll->setWidget(content);
    auto *layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);
    scroll->show();
    return scroll;
}

// The size a window was designed at: its own, or its contents' once they scroll.
QSize designedSize(const QWidget *window)
{
    if (auto *scroll = window->findChild<QScrollArea *>(scrollName, Qt::FindDirectChildrenOnly))
        return scroll->widget()->size();
    return window->size();
}

// A fixed-size window larger than the screen's free area (a large scale factor on a small
// screen) becomes as large as the area allows, its contents scrolling at their own size; a
// window that fits is left as designed.
void fitOnScreen(QWidget *window, const QMargins &frame, const QRect &available)
{
    if (window->minimumSize() != window->maximumSize())
        return;
    const QSize designed = designedSize(window);
    const QSize room(available.width() - frame.left() - frame.right(),
                     available.height() - frame.top() - frame.bottom());
    if (designed.width() <= room.width() && designed.height() <= room.height()) {
        if (window->size() != designed)
            window->setFixedSize(designed);
        return;
    }
    scrollContents(window);
    window->setFixedSize(designed.boundedTo(room.expandedTo(QSize(200, 150))));
}

// Where a window's frame goes: centred on the free area, but never with its title bar above
// or left of it.
QRect placedFrame(const QWidget *window, const QMargins &frame, const QRect &available)
{
    QRect outer = QRect(QPoint(0, 0), window->size()).marginsAdded(frame);
    outer.moveCenter(available.center());
    outer.moveTop(qMax(outer.top(), available.top()));
    outer.moveLeft(qMax(outer.left(), available.left()));
    return outer;
}

void placeCentred(QWidget *window, const QMargins &frame)
{
    const QScreen *screen = window->screen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    fitOnScreen(window, frame, available);
    // Placed by its inside, which stays where it is put when the frame comes around it.
    window->setGeometry(placedFrame(window, frame, available).marginsRemoved(frame));
}

const QString recentreName = QStringLiteral("quivelRecentreWhenFramed");

// Centres a window once more when its frame turns out other than the one it was centred by, or
// the window manager placed it by a rule of its own. The window manager frames a window only
// after it is shown, and no event tells the widget when, so this looks for a short while.
class RecentreWhenFramed : public QObject
{
public:
    explicit RecentreWhenFramed(QWidget *window)
        : QObject(window)
        , m_window(window)
    {
        setObjectName(recentreName);
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, [this] { look(); });
        m_timer.start();
    }

private:
    void look()
    {
        const QMargins frame = frameMargins(m_window);
        const bool lastLook = ++m_looks >= 100; // two seconds: a frameless window stays so
        if (frame.isNull() && !lastLook)
            return;
        if (!frame.isNull()) {
            g_lastFrame = frame;
            // The real frame may leave a large window less room than the one assumed.
            const QSize before = m_window->size();
            if (const QScreen *screen = m_window->screen())
                fitOnScreen(m_window, frame, screen->availableGeometry());
            const bool resized = m_window->size() != before;
            // A window manager may also have placed the window by its own rule.
            const QWindow *handle = m_window->windowHandle();
            if (m_window->isVisible() &&
                (resized || handle->frameGeometry() != centredFrame(frame))) {
                if (!lastLook) {
                    placeCentred(m_window, frame);
                    return; // and look again
                }
            }
        }
        m_timer.stop();
        deleteLater();
    }

    QRect centredFrame(const QMargins &frame) const
    {
        if (const QScreen *screen = m_window->screen())
            return placedFrame(m_window, frame, screen->availableGeometry());
        return QRect(QPoint(0, 0), m_window->size()).marginsAdded(frame);
    }

    QWidget *m_window;
    QTimer m_timer;
    int m_looks = 0;
};

} // namespace

void finishFormLayout(QWidget *root)
{
    // Parents first (findChildren lists a parent before its children), so that a child
    // without a font of its own inherits its parent's pixel height.
    applyDesignFont(root);
    const QList<QWidget *> children = root->findChildren<QWidget *>();
    for (QWidget *child : children)
        applyDesignFont(child);

    const QList<QLabel *> labels = root->findChildren<QLabel *>();
    for (QLabel *label : labels) {
        if (label->pixmap().isNull() && !label->wordWrap())
            label->resize(label->sizeHint().width(), label->height());
    }
}

QObject *installDesignFonts(QCoreApplication &app, const QStringList &families)
{
    auto *filter = new DesignFonts(families, &app);
    app.installEventFilter(filter);
    return filter;
}

void setDesignFontsAsSet(QWidget *root)
{
    root->setProperty(designFontsAsSetName, true);
}

void setFixedFrame(QWidget *window)
{
    // A dialog stays a dialog to the window manager.
    const Qt::WindowFlags type = window->windowType() == Qt::Dialog ? Qt::Dialog : Qt::Window;
    window->setWindowFlags(type | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    window->setFixedSize(window->size());
}

void centreOnDesktop(QWidget *window)
{
    QMargins frame = frameMargins(window);
    if (!frame.isNull())
        g_lastFrame = frame;
    else
        frame = g_lastFrame;
    placeCentred(window, frame);
    if (!window->findChild<QObject *>(recentreName, Qt::FindDirectChildrenOnly))
        new RecentreWhenFramed(window);
}

void drawPanelsFlat(const QList<QGroupBox *> &boxes)
{
    static QPointer<PanelStyle> style;
    if (!style) {
        style = new PanelStyle;
        style->setParent(qApp);
    }
    for (QGroupBox *box : boxes)
        box->setStyle(style);
}
