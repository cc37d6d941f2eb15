// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/test_server.h"

#include <QDir>
#include <QTcpSocket>
#include <QTest>

class TestTestServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void serverAnswersOnItsSocketOnly();
    void tcpOnLoopbackOnRequest();
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

void TestTestServer::tcpOnLoopbackOnRequest()
{
    TestServer server;
    QUIVEL_REQUIRE_SERVER(server);
    const int port = server.listenOnTcp();
    QVERIFY(port > 0);
    QCOMPARE(server.scalar(QStringLiteral("postgres"), QStringLiteral("show listen_addresses")),
             QStringLiteral("127.0.0.1"));
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    QVERIFY(socket.waitForConnected(5000));
}

QTEST_GUILESS_MAIN(TestTestServer)
#include "tst_test_server.moc"
