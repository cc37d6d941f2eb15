// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/data_module.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_catalogue.h"

#include "controls/db_lookup_combo_box.h"
#include "controls/glyph_button.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

// Four media and three titles: "Beta" (2) and "Bravo" (3) hold software, "Alfa" (1) and
// "Charlie" (4) hold none; "Órfão" refers to a medium that does not exist.
inline QString registrationSeed()
{
    return QStringLiteral(
        "INSERT INTO cds (titulo, tipo, local, obs) VALUES ('Alfa', 'CD', 'Sala', 'a'),"
        " ('Beta', 'DVD', 'Quarto', 'b'), ('Bravo', 'CD', 'Cofre', NULL),"
        " ('Charlie', 'HD EXTERNO', 'Mochila', 'c');"
        "INSERT INTO softs (nome, descricao, midia) VALUES ('Editor', 'texto', 2),"
        " ('Jogo', 'diversão', 3), ('Órfão', 'sem mídia', 99);");
}

// A catalogue, the data module over it and the fake dialog seam, ready for one window.
struct RegistrationWorld
{
    explicit RegistrationWorld(const QString &seed = registrationSeed())
        : seeded((catalogue.exec(seed), true))
    {}

    QString count(const QString &table) const
    {
        return catalogue.scalar(QStringLiteral("SELECT count(*) FROM ") + table);
    }

    TempCatalogue catalogue;
    bool seeded;
    CurrentDirectory here{catalogue.directory()};
    QStringList startupMessages;
    TDm1 dm{[this](const QString &line) { startupMessages << line; }};
    FakeDialogs dialogs;
};

template <typename T> T *control(QWidget &window, const char *name)
{
    T *w = window.findChild<T *>(QString::fromLatin1(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}

// What a bound control shows, whichever kind it is.
inline QString shownText(QWidget *control)
{
    if (auto *edit = qobject_cast<QLineEdit *>(control))
        return edit->text();
    if (auto *combo = qobject_cast<QComboBox *>(control))
        return combo->currentText();
    if (auto *lookup = qobject_cast<TDBLookupComboBox *>(control))
        return lookup->text();
    qFatal("no shown text for %s", qPrintable(control->objectName()));
}

// A screen reader names a bound control by its label and reads what it shows as its value.
inline void checkHeardByLabel(QWidget &window, const char *name, const QString &label)
{
    auto *widget = control<QWidget>(window, name);
    QAccessibleInterface *heard = QAccessible::queryAccessibleInterface(widget);
    QVERIFY(heard);
    QCOMPARE(heard->text(QAccessible::Name), label);
    QVERIFY2(!shownText(widget).isEmpty(), name);
    QCOMPARE(heard->text(QAccessible::Value), shownText(widget));
}

// Shows a window and makes it the active one, so keys and shortcuts reach it.
inline bool showActive(QWidget &window)
{
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

inline void clickButton(QWidget &window, const char *button)
{
    control<TBitBtn>(window, button)->click();
}

// Types at the end of a box, as the user would.
inline void typeAtEnd(QLineEdit *box, const QString &text)
{
    box->setFocus();
    box->end(false);
    QTest::keyClicks(box, text);
}

// The question both record windows ask before deleting, No the default.
inline void checkDeleteQuestion(const FakeDialogs::Box &box)
{
    QCOMPARE(box.text, QStringLiteral("Deseja APAGAR este registro?"));
    QCOMPARE(box.caption, QStringLiteral("Confirmação de exclusão de registro"));
    QCOMPARE(box.buttons, int(Dialogs::Yes | Dialogs::No));
    QCOMPARE(box.defaultButton, Dialogs::No);
    QCOMPARE(box.icon, Dialogs::Icon::Question);
}
