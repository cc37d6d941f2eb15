// SPDX-License-Identifier: GPL-3.0-or-later
// A second program for the lost-update test: adds one to the counter in medium 1's "obs" a
// given number of times, reading the row afresh whenever another program saved first.
#include "core/exceptions.h"
#include "data/connection.h"
#include "data/query.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 2;
    TADOConnection connection;
    connection.setConnectionString(args[1]);
    TADOQuery query(QStringLiteral("ADOQuery1"), &connection);
    query.setSql({QStringLiteral("select * from cds where codigo = 1")});
    try {
        query.open();
        int saved = 0;
        int refused = 0;
        while (saved < args[2].toInt()) {
            query.edit();
            TField *obs = query.fieldByName(QStringLiteral("obs"));
            obs->setAsString(QString::number(obs->asString().toInt() + 1));
            try {
                query.post();
                ++saved;
            } catch (const EOleException &e) {
                if (!e.message().startsWith(QStringLiteral("O registro não foi salvo")) ||
                    ++refused > 100000)
                    throw;
                query.cancel();
                query.refresh();
            }
        }
    } catch (const Exception &e) {
        std::fprintf(stderr, "%s\n", e.message().toUtf8().constData());
        return 1;
    }
    return 0;
}
