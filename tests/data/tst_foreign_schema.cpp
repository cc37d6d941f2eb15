// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/catalogue_check.h"
#include "core/exceptions.h"
#include "data/data_module.h"
#include "tests/support/opened_data_module.h"
#include "tests/support/temp_catalogue.h"

#include <QDir>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Everything a save could change, as one text.
QString contents(const TempCatalogue &cat)
{
    return cat.scalar(u"SELECT group_concat(r, '|') FROM (SELECT codigo || ',' || "
                      "ifnull(titulo, '') || ',' || ifnull(local, '') AS r FROM cds UNION ALL "
                      "SELECT numero || ',' || ifnull(nome, '') || ',' || ifnull(midia, '') "
                      "FROM softs)"_s);
}

// The composite key of a file made elsewhere: two media share code 1.
const QString compositeKey =
    u"CREATE TABLE novo (codigo INTEGER, titulo VARCHAR(32), obs VARCHAR(255), "
    "tipo VARCHAR(16), local VARCHAR(50), PRIMARY KEY (codigo, local));"
    "INSERT INTO novo SELECT * FROM cds;"
    "INSERT INTO novo VALUES (1, 'Gêmea', '', 'CD', 'outro lugar');"
    "DROP TABLE cds; ALTER TABLE novo RENAME TO cds;"_s;

QString runTool(const QStringList &arguments, int *exitCode = nullptr)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral(QUIVEL_CATALOGUE_TOOL), arguments);
    tool.waitForFinished(60000);
    if (exitCode)
        *exitCode = tool.exitCode();
    return QString::fromUtf8(tool.readAll());
}

} // namespace

class TestForeignSchema : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void foreignObjectsStopEveryWrite_data();
    void foreignObjectsStopEveryWrite();
    void harmlessObjectsAreReportedAndSavesGoOn();
    void cleanRemovesThemOnACopyKeepingTheOriginal();
    void aMediumDeletedFirstIsNeverAssigned();
    void aMediumAssignedFirstIsNeverDeleted();
};

void TestForeignSchema::foreignObjectsStopEveryWrite_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("object"); // named in the refusal and by check
    QTest::addColumn<bool>("cleanable");

    QTest::newRow("trigger after update")
        << u"CREATE TRIGGER apaga AFTER UPDATE ON softs BEGIN DELETE FROM softs WHERE numero "
           "<> new.numero; DELETE FROM cds WHERE codigo > 1; END"_s
        << u"apaga"_s << true;
    QTest::newRow("trigger after insert")
        << u"CREATE TRIGGER renomeia AFTER INSERT ON cds BEGIN UPDATE cds SET titulo = 'x'; "
           "DELETE FROM softs; END"_s
        << u"renomeia"_s << true;
    QTest::newRow("trigger before delete")
        << u"CREATE TRIGGER antes BEFORE DELETE ON cds BEGIN DELETE FROM cds; END"_s << u"antes"_s
        << true;
    QTest::newRow("trigger on another table")
        << u"CREATE TABLE registro (x); CREATE TRIGGER outro AFTER INSERT ON registro BEGIN "
           "DELETE FROM softs; END"_s
        << u"outro"_s << true;
    QTest::newRow("view with instead-of trigger")
        << u"CREATE VIEW todos AS SELECT * FROM cds; CREATE TRIGGER pelo INSTEAD OF DELETE ON "
           "todos BEGIN DELETE FROM cds; END"_s
        << u"todos"_s << true;
    QTest::newRow("view over the tables")
        << u"CREATE VIEW juntos AS SELECT * FROM softs JOIN cds ON midia = codigo"_s << u"juntos"_s
        << true;
    QTest::newRow("expression index")
        << u"CREATE INDEX calculado ON cds (length(titulo) + 1)"_s << u"calculado"_s << true;
    QTest::newRow("partial index")
        << u"CREATE INDEX parcial ON softs (nome) WHERE midia > 2"_s << u"parcial"_s << true;
    QTest::newRow("own index name on an expression")
        << u"DROP INDEX softs_midia; CREATE INDEX softs_midia ON softs (midia + 0)"_s
        << u"softs_midia"_s << true;
    QTest::newRow("composite key") << compositeKey << u"chave composta (codigo, local)"_s << false;
    QTest::newRow("text key")
        << u"CREATE TABLE novo (codigo INT PRIMARY KEY, titulo VARCHAR(32), obs VARCHAR(255), "
           "tipo VARCHAR(16), local VARCHAR(50)); INSERT INTO novo SELECT * FROM cds; "
           "DROP TABLE cds; ALTER TABLE novo RENAME TO cds;"_s
        << u"do tipo 'INT'"_s << false;
    QTest::newRow("without rowid")
        << u"CREATE TABLE novo (codigo INTEGER PRIMARY KEY, titulo VARCHAR(32), obs "
           "VARCHAR(255), tipo VARCHAR(16), local VARCHAR(50)) WITHOUT ROWID; INSERT INTO novo "
           "SELECT * FROM cds; DROP TABLE cds; ALTER TABLE novo RENAME TO cds;"_s
        << u"não é o número do registro"_s << false;
    QTest::newRow("unknown collation")
        << u"PRAGMA writable_schema = ON; UPDATE sqlite_schema SET sql = replace(sql, "
           "'titulo VARCHAR(32)', 'titulo VARCHAR(32) COLLATE desconhecida') WHERE name = 'cds'"_s
        << u"ordenação 'desconhecida'"_s << false;
}

void TestForeignSchema::foreignObjectsStopEveryWrite()
{
    QFETCH(QString, setup);
    QFETCH(QString, object);
    QFETCH(bool, cleanable);
    TempCatalogue cat(TempCatalogue::Content::Sample);
    cat.exec(setup);
    const QString before = contents(cat);
    Opened opened = openDataModule(cat.directory());
    QVERIFY2(opened.messages.isEmpty(), qPrintable(opened.messages.join(u'\n')));
    TDm1 &dm = *opened.dm;

    const auto refused = [&](const std::function<void()> &write) {
        try {
            write();
        } catch (const EOleException &e) {
            QVERIFY2(e.message().contains(object), qPrintable(e.message()));
            QVERIFY2(e.message().contains(u"nada foi salvo"_s), qPrintable(e.message()));
            QVERIFY2(e.message().contains(cleanable ? u"quivel-catalogue clean"_s
                                                    : u"quivel-catalogue check"_s),
                     qPrintable(e.message()));
            return;
        }
        QFAIL("a write went through");
    };
    // Every table with a wrong key is refused; a foreign object refuses writes to both.
    const bool titlesRefused = cleanable;
    if (titlesRefused) {
        dm.ADOQuery2.edit();
        dm.ADOQuery2descricao.setAsString(u"nova descrição"_s);
        refused([&] { dm.ADOQuery2.post(); });
        QCOMPARE(dm.ADOQuery2.state(), TDataSetState::Edit);
        QCOMPARE(dm.ADOQuery2descricao.asString(), u"nova descrição"_s);
        dm.ADOQuery2.cancel();
    }
    dm.ADOQuery1.edit();
    dm.ADOQuery1titulo.setAsString(u"Renomeada"_s);
    refused([&] { dm.ADOQuery1.post(); });
    QCOMPARE(dm.ADOQuery1.state(), TDataSetState::Edit);
    dm.ADOQuery1.cancel();
    dm.ADOQuery1.insert();
    dm.ADOQuery1titulo.setAsString(u"Nova"_s);
    refused([&] { dm.ADOQuery1.post(); });
    dm.ADOQuery1.cancel();
    dm.ADOQuery1.last();
    refused([&] { dm.ADOQuery1.remove(); });
    opened.dm.reset();
    QCOMPARE(contents(cat), before);

    const QStringList problems = Legacy::checkCatalogue(cat.path());
    QVERIFY2(problems.join(u'\n').contains(object), qPrintable(problems.join(u'\n')));

    // clean removes what it can, on a copy; a wrong key or collation it names and keeps.
    int exitCode = -1;
    const QString output = runTool({u"clean"_s, cat.path()}, &exitCode);
    QCOMPARE(exitCode, cleanable ? 0 : 1);
    QVERIFY2(output.contains((cleanable ? u"Removido: "_s : u"Não removido: "_s)) &&
                 output.contains(object),
             qPrintable(output));
    if (cleanable)
        QVERIFY(!Legacy::checkCatalogue(cat.path()).join(u'\n').contains(object));
    else
        QCOMPARE(contents(cat), before);
}

void TestForeignSchema::harmlessObjectsAreReportedAndSavesGoOn()
{
    TempCatalogue cat(TempCatalogue::Content::Sample);
    cat.exec(u"CREATE TABLE anotacoes (texto); CREATE INDEX por_nome ON softs (nome)"_s);
    Opened opened = openDataModule(cat.directory());
    TDm1 &dm = *opened.dm;
    dm.ADOQuery1.edit();
    dm.ADOQuery1titulo.setAsString(u"Renomeada"_s);
    dm.ADOQuery1.post();
    opened.dm.reset();
    QCOMPARE(cat.scalar(u"SELECT count(*) FROM cds WHERE titulo = 'Renomeada'"_s), u"1"_s);
    const QString report = Legacy::checkCatalogue(cat.path()).join(u'\n');
    QVERIFY2(report.contains(u"'anotacoes'"_s) && report.contains(u"'por_nome'"_s),
             qPrintable(report));
    QVERIFY2(report.contains(u"não impede o uso"_s), qPrintable(report));
}

void TestForeignSchema::cleanRemovesThemOnACopyKeepingTheOriginal()
{
    TempCatalogue cat(TempCatalogue::Content::Sample);
    cat.exec(u"CREATE TRIGGER apaga AFTER UPDATE ON softs BEGIN DELETE FROM softs; END;"
             "CREATE VIEW juntos AS SELECT * FROM softs; CREATE TRIGGER pela INSTEAD OF INSERT "
             "ON juntos BEGIN DELETE FROM cds; END; CREATE INDEX calculado ON cds (abs(codigo));"
             "CREATE TABLE anotacoes (texto)"_s);
    const QByteArray original = cat.fileBytes();
    int exitCode = -1;
    const QString output = runTool({u"clean"_s, cat.path()}, &exitCode);
    QCOMPARE(exitCode, 0);
    QVERIFY2(output.contains(u"apaga"_s) && output.contains(u"juntos"_s) &&
                 output.contains(u"calculado"_s),
             qPrintable(output));
    const QStringList kept = QDir(cat.directory()).entryList({u"quivel.mdb.*"_s}, QDir::Files);
    QCOMPARE(kept.size(), 1);
    QFile keptFile(QDir(cat.directory()).filePath(kept.front()));
    QVERIFY(keptFile.open(QIODevice::ReadOnly));
    QCOMPARE(keptFile.readAll(), original);
    QCOMPARE(cat.scalar(u"SELECT group_concat(name) FROM sqlite_schema WHERE type IN "
                        "('trigger', 'view') OR name = 'calculado'"_s),
             QString());
    // What did no harm stays.
    QCOMPARE(cat.scalar(u"SELECT count(*) FROM sqlite_schema WHERE name = 'anotacoes'"_s), u"1"_s);

    Opened opened = openDataModule(cat.directory());
    opened.dm->ADOQuery2.edit();
    opened.dm->ADOQuery2nome.setAsString(u"Salvo"_s);
    opened.dm->ADOQuery2.post();
    opened.dm.reset();
    QCOMPARE(cat.scalar(u"SELECT count(*) FROM softs"_s).toInt() > 1, true);

    // A second clean finds nothing to do and changes nothing.
    const QByteArray cleaned = cat.fileBytes();
    runTool({u"clean"_s, cat.path()}, &exitCode);
    QCOMPARE(exitCode, 0);
    QCOMPARE(cat.fileBytes(), cleaned);
}

// Two copies of the program on one file: A deletes a medium B still shows, then B assigns it.
void TestForeignSchema::aMediumDeletedFirstIsNeverAssigned()
{
    TempCatalogue cat(TempCatalogue::Content::Sample);
    cat.exec(u"INSERT INTO cds (titulo) VALUES ('Sem títulos')"_s);
    const int medium = cat.scalar(u"SELECT max(codigo) FROM cds"_s).toInt();
    Opened a = openDataModule(cat.directory());
    Opened b = openDataModule(cat.directory());
    QVERIFY(a.dm->ADOQuery1.locate(u"codigo"_s, medium));
    a.dm->ADOQuery1.remove();

    b.dm->ADOQuery2.first();
    const QString title = b.dm->ADOQuery2numero.asString();
    const QString midiaBefore = cat.scalar(u"SELECT midia FROM softs WHERE numero = "_s + title);
    b.dm->ADOQuery2.edit();
    b.dm->ADOQuery2midia.setValue(QVariant::fromValue<qlonglong>(medium));
    try {
        b.dm->ADOQuery2.post();
        QFAIL("a title was saved onto a deleted medium");
    } catch (const EOleException &e) {
        QVERIFY2(e.message().startsWith(u"A mídia escolhida para este software não existe mais"_s),
                 qPrintable(e.message()));
    }
    QCOMPARE(b.dm->ADOQuery2.state(), TDataSetState::Edit);
    QCOMPARE(b.dm->ADOQuery2midia.asInteger(), medium);
    QCOMPARE(cat.scalar(u"SELECT midia FROM softs WHERE numero = "_s + title), midiaBefore);

    // A new title onto the deleted medium is refused alike.
    b.dm->ADOQuery2.cancel();
    b.dm->ADOQuery2.insert();
    b.dm->ADOQuery2nome.setAsString(u"Novo"_s);
    b.dm->ADOQuery2midia.setValue(QVariant::fromValue<qlonglong>(medium));
    QVERIFY_THROWS_EXCEPTION(EOleException, b.dm->ADOQuery2.post());
    QCOMPARE(b.dm->ADOQuery2.state(), TDataSetState::Insert);
    QCOMPARE(cat.scalar(u"SELECT count(*) FROM softs WHERE midia = "_s + QString::number(medium)),
             u"0"_s);
}

// The other order: B assigns the medium first, then A's delete, from its stale count, runs.
void TestForeignSchema::aMediumAssignedFirstIsNeverDeleted()
{
    TempCatalogue cat(TempCatalogue::Content::Sample);
    cat.exec(u"INSERT INTO cds (titulo) VALUES ('Sem títulos')"_s);
    const int medium = cat.scalar(u"SELECT max(codigo) FROM cds"_s).toInt();
    Opened a = openDataModule(cat.directory());
    Opened b = openDataModule(cat.directory());
    b.dm->ADOQuery2.first();
    b.dm->ADOQuery2.edit();
    b.dm->ADOQuery2midia.setValue(QVariant::fromValue<qlonglong>(medium));
    b.dm->ADOQuery2.post();

    QVERIFY(a.dm->ADOQuery1.locate(u"codigo"_s, medium));
    QVERIFY_THROWS_EXCEPTION(ERowInUse, a.dm->ADOQuery1.remove());
    QCOMPARE(cat.scalar(u"SELECT count(*) FROM cds WHERE codigo = "_s + QString::number(medium)),
             u"1"_s);
}

QTEST_GUILESS_MAIN(TestForeignSchema)
#include "tst_foreign_schema.moc"
