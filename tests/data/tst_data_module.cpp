// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/catalogue.h"
#include "core/exceptions.h"
#include "data/data_module.h"
#include "tests/support/opened_data_module.h"
#include "tests/support/temp_catalogue.h"
#include "tests/support/unprivileged.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

QList<bool> activeQueries(TDm1 &dm)
{
    return {dm.ADOQuery1.active(), dm.ADOQuery2.active(), dm.ADOQuery3.active(),
            dm.ADOQuery4.active(), dm.ADOQuery5.active(), dm.ADOQuery6.active()};
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace

class TestDataModule : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void connectionStringHasItsFourteenPieces();
    void opensFiveQueriesOnAGoodCatalogue();
    void opensInAFolderWhoseNameHoldsSeparators_data();
    void opensInAFolderWhoseNameHoldsSeparators();
    void missingFileIsReportedInOneLine();
    void badFilesFailClearlyAndStayUnchanged_data();
    void badFilesFailClearlyAndStayUnchanged();
    void missingTableStopsTheOpeningOrder();
    void missingColumnNamesQueryAndField();
    void readOnlyFileBrowsesButRefusesSaves();
};

void TestDataModule::connectionStringHasItsFourteenPieces()
{
    QCOMPARE(Catalogue::connectionString(QStringLiteral("/home/ana/mídias")),
             QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data "
                            "Source=/home/ana/mídias/quivel.mdb;Mode=Share Deny None;Jet "
                            "OLEDB:Database Password=\"\";Jet OLEDB:Engine Type=5;Jet "
                            "OLEDB:Database Locking Mode=1;Jet OLEDB:Global Partial Bulk "
                            "Ops=2;Jet OLEDB:Global Bulk Transactions=1;Jet OLEDB:New Database "
                            "Password=\"\";Jet OLEDB:Create System Database=False;Jet "
                            "OLEDB:Encrypt Database=False;Jet OLEDB:Compact Without Replica "
                            "Repair=False;Jet OLEDB:SFP=False;"));
    // At the root the separator stands twice, as the directory text is not normalised.
    QCOMPARE(Backend::dataSourcePath(Catalogue::connectionString(QStringLiteral("/"))),
             QStringLiteral("//quivel.mdb"));
}

void TestDataModule::opensFiveQueriesOnAGoodCatalogue()
{
    TempCatalogue cat(TempCatalogue::Content::Sample);
    Opened opened = openDataModule(cat.directory());
    QVERIFY2(opened.messages.isEmpty(), qPrintable(opened.messages.join(u'\n')));
    QCOMPARE(activeQueries(*opened.dm), QList<bool>({true, true, true, true, false, true}));
    TDm1 &dm = *opened.dm;
    QCOMPARE(dm.ADOQuery1.recordCount(), 40);
    QCOMPARE(dm.ADOQuery1.field(4), &dm.ADOQuery1local);
    QCOMPARE(dm.ADOQuery2midia.dataType(), TFieldType::Integer);
    QCOMPARE(dm.ADOQuery4.recordCount(),
             cat.scalar(QStringLiteral("select count(*) from softs where midia = 1")).toInt());
    QCOMPARE(dm.DataSource5.dataSet(), &dm.ADOQuery5);
    QCOMPARE(dm.DataSource3.dataSet(), nullptr);
}

void TestDataModule::opensInAFolderWhoseNameHoldsSeparators_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("semicolon") << QStringLiteral("cópia;antiga");
    QTest::newRow("equals") << QStringLiteral("versão=2");
    QTest::newRow("both") << QStringLiteral("a;Mode=Read;b");
}

void TestDataModule::opensInAFolderWhoseNameHoldsSeparators()
{
    QFETCH(QString, folder);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString directory = root.filePath(folder);
    QVERIFY(QDir().mkpath(directory));
    Catalogue::createSample(Catalogue::filePath(directory));

    Opened opened = openDataModule(directory);
    QVERIFY2(opened.messages.isEmpty(), qPrintable(opened.messages.join(u'\n')));
    QCOMPARE(activeQueries(*opened.dm), QList<bool>({true, true, true, true, false, true}));
    // The string is the one the program always built, the folder's name and all.
    QCOMPARE(opened.dm->ADOConnection1.connectionString(), Catalogue::connectionString(directory));
    QCOMPARE(opened.dm->ADOConnection1.path(), Catalogue::filePath(directory));
}

void TestDataModule::missingFileIsReportedInOneLine()
{
    QTemporaryDir empty;
    Opened opened = openDataModule(empty.path());
    QCOMPARE(opened.messages.size(), 1);
    QCOMPARE(opened.messages[0],
             QStringLiteral("EOleExceptionerro gerado, com mensagem: Não foi possível encontrar "
                            "o arquivo '%1/quivel.mdb'")
                 .arg(empty.path()));
    QCOMPARE(activeQueries(*opened.dm), QList<bool>(6, false));
    QVERIFY(!QFile::exists(empty.filePath(QStringLiteral("quivel.mdb"))));
    // A later open tries again and fails the same way.
    QVERIFY_THROWS_EXCEPTION(EOleException, opened.dm->ADOQuery5.open());
}

void TestDataModule::badFilesFailClearlyAndStayUnchanged_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    QByteArray jet(2048, '\0');
    jet.replace(4, 15, "Standard Jet DB");
    QByteArray truncated;
    {
        TempCatalogue sample(TempCatalogue::Content::Sample);
        truncated = sample.fileBytes().left(3000);
    }
    QTest::newRow("empty") << QByteArray() << QStringLiteral("está vazio");
    QTest::newRow("garbage") << QByteArray(4096, 'x') << QStringLiteral("não é um catálogo");
    QTest::newRow("old format") << jet << QStringLiteral("quivel-catalogue convert");
    QTest::newRow("truncated") << truncated << QStringLiteral("danificado");
}

void TestDataModule::badFilesFailClearlyAndStayUnchanged()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quivel.mdb"));
    writeFile(path, content);
    Opened opened = openDataModule(dir.path());
    QCOMPARE(opened.messages.size(), 1);
    QVERIFY2(opened.messages[0].startsWith(QStringLiteral("EOleExceptionerro gerado")),
             qPrintable(opened.messages[0]));
    QVERIFY2(opened.messages[0].contains(expected), qPrintable(opened.messages[0]));
    QVERIFY2(opened.messages[0].contains(path), qPrintable(opened.messages[0]));
    opened.dm.reset();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("quivel.mdb")});
}

void TestDataModule::missingTableStopsTheOpeningOrder()
{
    TempCatalogue cat(TempCatalogue::Content::Sample);
    cat.exec(QStringLiteral("DROP TABLE softs"));
    Opened opened = openDataModule(cat.directory());
    QCOMPARE(opened.messages.size(), 1);
    QVERIFY2(opened.messages[0].startsWith(
                 QStringLiteral("EOleExceptionerro gerado, com mensagem: O catálogo '") +
                 cat.path() + QStringLiteral("' não tem a tabela 'softs' (no such table: softs)")),
             qPrintable(opened.messages[0]));
    QCOMPARE(activeQueries(*opened.dm), QList<bool>({true, false, false, false, false, false}));
}

void TestDataModule::missingColumnNamesQueryAndField()
{
    TempCatalogue cat(TempCatalogue::Content::Sample);
    cat.exec(QStringLiteral("ALTER TABLE cds DROP COLUMN local"));
    Opened opened = openDataModule(cat.directory());
    QCOMPARE(opened.messages,
             QStringList{QStringLiteral(
                 "EDatabaseErrorerro gerado, com mensagem: ADOQuery1: Field 'local' not found")});
    QCOMPARE(activeQueries(*opened.dm), QList<bool>(6, false));
}

void TestDataModule::readOnlyFileBrowsesButRefusesSaves()
{
    QUIVEL_RUN_UNPRIVILEGED();
    TempCatalogue cat(TempCatalogue::Content::Sample);
    const QByteArray before = cat.fileBytes();
    QFile::setPermissions(cat.path(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    Opened opened = openDataModule(cat.directory());
    QVERIFY(opened.messages.isEmpty());
    TDm1 &dm = *opened.dm;
    dm.ADOQuery1.edit();
    dm.ADOQuery1titulo.setAsString(QStringLiteral("novo nome"));
    try {
        dm.ADOQuery1.post();
        QFAIL("a save into a read-only catalogue succeeded");
    } catch (const EOleException &e) {
        QVERIFY2(e.message().contains(QStringLiteral("protegido contra gravação")),
                 qPrintable(e.message()));
    }
    QCOMPARE(dm.ADOQuery1.state(), TDataSetState::Edit);
    opened.dm.reset();
    QCOMPARE(cat.fileBytes(), before);
}

QTEST_GUILESS_MAIN(TestDataModule)
#include "tst_data_module.moc"
