// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/application.h"

#include "shell/dialogs.h"
#include "shell/error_handler.h"
#include "shell/form_layout.h"

#include <QAccessibleWidget>
#include <QDialog>
#include <QFont>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QPushButton>
#include <QTranslator>

namespace {

class EnterClicksButtons : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto *button = qobject_cast<QPushButton *>(watched);
        if (!button || !button->isEnabled())
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (!enter || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        button->click();
        return true;
    }
};

QAccessibleInterface *windowAccessibility(const QString &className, QObject *object)
{
    // Qt's own classes keep Qt's interfaces; only the program's windows are looked at, and
    // only under their own class name, so their controls are untouched.
    if (className.startsWith(u'Q') || !object->isWidgetType() ||
        className != QLatin1String(object->metaObject()->className()))
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (!widget->isWindow())
        return nullptr;
    return new QAccessibleWidget(widget, qobject_cast<QDialog *>(widget) ? QAccessible::Dialog
                                                                         : QAccessible::Window);
}

} // namespace

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    // The title is the application's name, not a display name: Qt would append a display
    // name to every window's caption.
    setApplicationName(QStringLiteral("Quivel"));
    setQuitOnLastWindowClosed(false);
    installFontSubstitutions();
    installDesignFonts(*this, {QStringLiteral("MS Sans Serif"), QStringLiteral("Tahoma")});
    installQtTranslations(*this);
    installEnterClicksButtons(*this);
    installWindowAccessibility();
    installCatalogueWaitFeedback();
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        handleException(std::current_exception());
        return false;
    }
}

void installFontSubstitutions()
{
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
    QFont::insertSubstitutions(QStringLiteral("Tahoma"),
                               {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
    QFont::insertSubstitution(QStringLiteral("Comic Sans MS"), QStringLiteral("Comic Neue"));
    QFont::insertSubstitution(QStringLiteral("Calibri"), QStringLiteral("Carlito"));
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
}

bool installQtTranslations(QCoreApplication &app)
{
    // The user's language is Brazilian Portuguese whatever the session's locale says.
    auto *translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"),
                          QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

void installEnterClicksButtons(QCoreApplication &app)
{
    app.installEventFilter(new EnterClicksButtons(&app));
}

void installWindowAccessibility()
{
    QAccessible::installFactory(&windowAccessibility);
}
