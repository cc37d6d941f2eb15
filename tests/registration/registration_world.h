// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/data_module.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_catalogue.h"

#include <QApplication>
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

// Shows a window and makes it the active one, so keys and shortcuts reach it.
inline bool showActive(QWidget &window)
{
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}
