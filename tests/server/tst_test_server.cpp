// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/test_server.h"

#include <QDir>
#include <QTest>

class TestTestServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void serverAnswersOnItsSocketOnly();
};

void TestTestServer::serverAnswersOnItsSocketOnly()
{
    TestServer server;
    QUIVEL_REQUIRE_SERVER(server);
    server.createDatabase(QStringLiteral("probe"));
    QCOMPARE(server.scalar(QStringLiteral("probe"), QStringLiteral("select current_database()")),
             QStringLiteral("probe"));
    QCOMPARE(server.scalar(QStringLiteral("probe"), QStringLiteral("show listen_addresses")),
             QString());
    QCOMPARE(server.scalar(QStringLiteral("probe"), QStringLiteral("show server_encoding")),
             QStringLiteral("UTF8"));
}

QTEST_GUILESS_MAIN(TestTestServer)
#include "tst_test_server.moc"
