// SPDX-License-Identifier: GPL-3.0-or-later
// A child process for the reliability tests: changes media at random through the data layer
// and reports on stdout each change before it starts and after its save returned.
//
//   catalogue_writer crash SEED      insert, edit and delete until killed
//   catalogue_writer rival SEED N    N edits and deletes of shared rows, reporting conflicts
#include "core/exceptions.h"
#include "data/connection.h"
#include "data/query.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <random>

namespace {

void say(const char *format, auto... args)
{
    std::printf(format, args...);
    std::fflush(stdout);
}

int crash(TADOQuery &query, std::mt19937 &random)
{
    for (int step = 0;; ++step) {
        const int choice = int(random() % 10);
        if (choice < 5 || query.isEmpty()) {
            const QByteArray title = QByteArray("t") + QByteArray::number(step);
            say("BEGIN insert %s\n", title.constData());
            query.insert();
            query.fieldByName(QStringLiteral("titulo"))->setAsString(QString::fromLatin1(title));
            query.post();
            say("DONE insert %lld %s\n", query.fieldByName(QStringLiteral("codigo"))->asInteger(),
                title.constData());
        } else if (choice < 8) {
            query.setRecNo(int(random() % unsigned(query.recordCount())));
            const qlonglong code = query.fieldByName(QStringLiteral("codigo"))->asInteger();
            const QByteArray title = QByteArray("e") + QByteArray::number(step);
            say("BEGIN edit %lld %s\n", code, title.constData());
            query.edit();
            query.fieldByName(QStringLiteral("titulo"))->setAsString(QString::fromLatin1(title));
            query.post();
            say("DONE edit %lld %s\n", code, title.constData());
        } else {
            query.setRecNo(int(random() % unsigned(query.recordCount())));
            const qlonglong code = query.fieldByName(QStringLiteral("codigo"))->asInteger();
            say("BEGIN delete %lld\n", code);
            query.remove();
            say("DONE delete %lld\n", code);
        }
    }
}

// Edits shared rows against a rival process; each acknowledged edit names the value it
// replaced, so the parent can check that the saved values form one unbroken chain per row.
int rival(TADOQuery &query, std::mt19937 &random, int steps, int id)
{
    for (int step = 0; step < steps; ++step) {
        try {
            query.refresh();
            if (query.isEmpty())
                break;
            query.setRecNo(int(random() % unsigned(query.recordCount())));
            const qlonglong code = query.fieldByName(QStringLiteral("codigo"))->asInteger();
            const QByteArray before =
                query.fieldByName(QStringLiteral("titulo"))->asString().toLatin1();
            if (query.recordCount() > 3 && random() % 100 == 0) {
                query.remove();
                say("DONE delete %lld %s\n", code, before.constData());
                continue;
            }
            const QByteArray after = "p" + QByteArray::number(id) + "s" + QByteArray::number(step);
            query.edit();
            query.fieldByName(QStringLiteral("titulo"))->setAsString(QString::fromLatin1(after));
            query.post();
            say("DONE edit %lld %s %s\n", code, before.constData(), after.constData());
        } catch (const Exception &e) {
            query.cancel();
            say("REFUSED %s\n", e.message().toUtf8().constData());
        }
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 2;
    std::mt19937 random(args[2].toUInt());
    TADOConnection connection;
    connection.setConnectionString(QStringLiteral("Data Source=") + QDir::currentPath() +
                                   QStringLiteral("/quivel.mdb;"));
    TADOQuery query(QStringLiteral("ADOQuery1"), &connection);
    query.setSql({QStringLiteral("select * from cds")});
    try {
        query.open();
        if (args[1] == u"crash")
            return crash(query, random);
        if (args[1] == u"rival" && args.size() == 5)
            return rival(query, random, args[3].toInt(), args[4].toInt());
    } catch (const Exception &e) {
        say("FAILED %s\n", e.message().toUtf8().constData());
        return 1;
    }
    return 2;
}
