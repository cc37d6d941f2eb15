// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/dialogs.h"

#include "shell/message_window.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

class QtDialogs : public Dialogs
{
public:
    void showMessage(const QString &text) override
    {
        MessageWindow window(text, QApplication::activeWindow());
        window.exec();
    }

    Button messageBox(const QString &text, const QString &caption, int buttons, Icon icon,
                      Button defaultButton) override
    {
        QMessageBox box(QApplication::activeWindow());
        box.setWindowTitle(caption);
        box.setText(text);
        box.setIcon(icon == Icon::Question   ? QMessageBox::Question
                    : icon == Icon::Warning  ? QMessageBox::Warning
                    : icon == Icon::Critical ? QMessageBox::Critical
                                             : QMessageBox::NoIcon);
        // Captions in the user's language; Yes and No keep their Alt keys.
        QPushButton *yes = nullptr;
        QPushButton *no = nullptr;
        QPushButton *ok = nullptr;
        if (buttons & Yes)
            yes = box.addButton(QStringLiteral("&Sim"), QMessageBox::YesRole);
        if (buttons & No)
            no = box.addButton(QStringLiteral("&Não"), QMessageBox::NoRole);
        if (buttons & Ok)
            ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        QPushButton *byDefault = defaultButton == Yes ? yes : defaultButton == No ? no : ok;
        if (byDefault)
            box.setDefaultButton(byDefault);
        box.setEscapeButton(no ? no : ok);
        box.exec();
        const auto *clicked = box.clickedButton();
        if (clicked && clicked == yes)
            return Yes;
        if (clicked && clicked == no)
            return No;
        return Ok;
    }
};

Dialogs *installed = nullptr;

} // namespace

Dialogs::~Dialogs() = default;

Dialogs &Dialogs::current()
{
    static QtDialogs real;
    return installed ? *installed : real;
}

void Dialogs::install(Dialogs *dialogs)
{
    installed = dialogs;
}
