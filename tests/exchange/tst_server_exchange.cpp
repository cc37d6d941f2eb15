// SPDX-License-Identifier: GPL-3.0-or-later
// Export, import and backup on a catalogue on a PostgreSQL server, against the same catalogue
// in a file.
#include "catalogue/catalogue.h"
#include "catalogue/file_backup.h"
#include "catalogue/server_catalogue.h"
#include "core/exceptions.h"
#include "data/connection.h"
#include "exchange/catalogue_exchange.h"
#include "exchange/title_import.h"
#include "tests/support/test_server.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestServerExchange : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void exportIsTheSameAsFromTheFile();
    void importInOneTransaction();
    void backupToAFileAndNoRestoreOnTheServer();

private:
    std::unique_ptr<TestServer> m_server;
    QTemporaryDir m_dir;
    QString m_file;
};

void TestServerExchange::initTestCase()
{
    m_server = std::make_unique<TestServer>();
    QUIVEL_REQUIRE_SERVER(*m_server);
    m_file = m_dir.filePath(u"amostra.mdb"_s);
    Catalogue::createSample(m_file);
}

void TestServerExchange::exportIsTheSameAsFromTheFile()
{
    const QString server = m_server->createDatabase(u"exportacao"_s);
    ServerCatalogue::copyFromFile(m_file, server);
    for (const char *suffix : {"csv", "html"}) {
        const QString fromFile = m_dir.filePath(u"arquivo."_s + QLatin1String(suffix));
        const QString fromServer = m_dir.filePath(u"servidor."_s + QLatin1String(suffix));
        {
            TADOConnection connection;
            Exchange::openCatalogue(connection, m_file);
            QVERIFY(Exchange::exportCatalogue(connection, fromFile));
        }
        TADOConnection connection;
        Exchange::openCatalogue(connection, server);
        QVERIFY(Exchange::exportCatalogue(connection, fromServer));
        QVERIFY(fileBytes(fromFile).size() > 10000);
        QCOMPARE(fileBytes(fromServer), fileBytes(fromFile));
    }
}

void TestServerExchange::importInOneTransaction()
{
    const QString server = m_server->createDatabase(u"importacao"_s);
    ServerCatalogue::copyFromFile(m_file, server);
    QByteArray list = "Nome;Mídia;Tipo\n";
    for (int i = 0; i < 300; ++i)
        list += "Título " + QByteArray::number(i) + ";Nova mídia;DVD\n";
    list += ";Nova mídia;DVD\n";
    const QString path = m_dir.filePath(u"lista.csv"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(list);
    file.close();

    TADOConnection connection;
    Exchange::openCatalogue(connection, server);
    const Exchange::TitleImport import(path);
    Exchange::ImportMapping mapping = import.guessMapping();
    mapping.createMedia = true;
    const Exchange::ImportPlan plan = import.plan(connection.backend(), mapping);
    QCOMPARE(int(plan.titles.size()), 300);
    QCOMPARE(int(plan.problems.size()), 1);
    QCOMPARE(plan.problems.front().line, 302);

    const auto count = [&](const QString &table) {
        return m_server->scalar(u"importacao"_s, u"SELECT count(*) FROM quivel."_s + table);
    };
    const QString titles = count(u"softs"_s);
    const QString media = count(u"cds"_s);
    QVERIFY(!Exchange::applyImport(connection, plan, [](qint64 written) { return written < 100; }));
    QCOMPARE(count(u"softs"_s), titles);
    QCOMPARE(count(u"cds"_s), media);

    QVERIFY(Exchange::applyImport(connection, plan));
    QCOMPARE(count(u"softs"_s).toInt(), titles.toInt() + 300);
    QCOMPARE(count(u"cds"_s).toInt(), media.toInt() + 1);
    QCOMPARE(m_server->scalar(u"importacao"_s,
                              u"SELECT count(*) FROM quivel.softs s JOIN quivel.cds c ON c.codigo "
                              "= s.midia WHERE c.titulo = 'Nova mídia' AND c.tipo = 'DVD'"_s),
             u"300"_s);
}

void TestServerExchange::backupToAFileAndNoRestoreOnTheServer()
{
    const QString server = m_server->createDatabase(u"copia"_s);
    ServerCatalogue::copyFromFile(m_file, server);
    const QString backup = m_dir.filePath(u"copia-do-servidor.mdb"_s);
    const Exchange::BackupResult result = Exchange::backupCatalogue(server, backup);
    QCOMPARE(result.titles, FileBackup::counts(m_file).titles);
    QCOMPARE(result.media, FileBackup::counts(m_file).media);
    QCOMPARE(FileBackup::check(backup), QStringList());
    QVERIFY_THROWS_EXCEPTION(Exception, Exchange::restoreCatalogue(backup, server));
}

QTEST_GUILESS_MAIN(TestServerExchange)
#include "tst_server_exchange.moc"
