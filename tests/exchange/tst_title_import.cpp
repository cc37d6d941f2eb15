// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exceptions.h"
#include "data/connection.h"
#include "exchange/catalogue_exchange.h"
#include "exchange/title_import.h"
#include "tests/exchange/office.h"
#include "tests/support/temp_catalogue.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString longName = QString(33, QChar(u'N'));
const QString longDescription = QString(256, QChar(u'd'));

// Errors on chosen lines, each of one kind; lines 2, 8 and 9 are good (8 and 9 only when
// missing media may be created).
QByteArray fixtureCsv()
{
    const QStringList lines{
        u"Nome;Descrição;Mídia;Tipo"_s,
        u"Zork;Texto;Jogos CD 01;CD"_s,
        u";sem nome;Jogos CD 01;CD"_s,
        longName + u";;Jogos CD 01;CD"_s,
        u"Doom;;Jogos CD 01;DISQUETE"_s,
        u"Tetris;de novo;jogos cd 01;"_s,
        u"Zork;outra vez;Jogos CD 01;cd"_s,
        u"Quake;\"com ; e \"\"aspas\"\"\";Mídia Nova;DVD"_s,
        u"Quake II;;Mídia Nova;"_s,
        u"Pac-Man;;Repetida;CD"_s,
        u"Pong;;Caixa azul;CD"_s,
        u"Myst;;;CD"_s,
        u"Longa;"_s + longDescription + u";Caixa azul;"_s,
    };
    return lines.join(u"\r\n"_s).toUtf8() + "\r\n";
}

void fillCatalogue(const TempCatalogue &catalogue)
{
    catalogue.exec(u"INSERT INTO cds (codigo, titulo, obs, tipo, local) VALUES "
                   "(1, 'Jogos CD 01', NULL, 'CD', 'Sala'),"
                   "(2, 'Caixa azul', NULL, 'DVD', 'Cofre'),"
                   "(3, 'Repetida', NULL, 'CD', NULL),"
                   "(4, 'Repetida', NULL, 'CD', NULL);"
                   "INSERT INTO softs (numero, nome, descricao, midia) VALUES "
                   "(1, 'Tetris', 'Blocos', 1);"_s);
}

// Everything the catalogue holds, codes and counters included.
QString dump(const TempCatalogue &catalogue)
{
    return catalogue.scalar(
        u"SELECT (SELECT group_concat(codigo || '|' || ifnull(titulo, '') || "
        "'|' || ifnull(tipo, ''), ';') FROM cds) || '#' || (SELECT "
        "group_concat(numero || '|' || ifnull(nome, '') || '|' || "
        "ifnull(descricao, '') || '|' || midia, ';') FROM softs) || '#' || "
        "(SELECT ifnull(group_concat(name || seq), '') FROM sqlite_sequence)"_s);
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(bytes);
    return path;
}

} // namespace

class TestTitleImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void planListsEveryBadLine_data();
    void planListsEveryBadLine();
    void guessesColumnsByTheirTitles_data();
    void guessesColumnsByTheirTitles();
    void writesValidLinesWithNewCodes();
    void stopMidImportLeavesCatalogueAsItWas();
    void failureMidImportLeavesCatalogueAsItWas();
    void commandLineSimulatesAndRefuses();

private:
    QTemporaryDir m_files;
    QString m_csv;
    bool m_office = false;
};

// The spreadsheets are written by LibreOffice from the CSV, as a user's would be.
void TestTitleImport::initTestCase()
{
    m_csv = writeFile(m_files, u"lista.csv"_s, fixtureCsv());
    QVERIFY(!m_csv.isEmpty());
    m_office = !Office::libreOffice().isEmpty();
    if (!m_office)
        return;
    const QString filter = u"CSV:59,34,76,1"_s;
    QString failure = Office::convert({m_csv}, u"xlsx"_s, m_files.path(), filter);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    failure = Office::convert({m_csv}, u"ods"_s, m_files.path(), filter);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TestTitleImport::planListsEveryBadLine_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("createMedia");
    QTest::addColumn<QList<int>>("goodLines");
    QTest::addColumn<int>("newMedia");
    for (const char *format : {"csv", "xlsx", "ods"}) {
        QTest::addRow("%s, creating media", format)
            << QString::fromLatin1(format) << true << QList<int>{2, 8, 9} << 1;
        QTest::addRow("%s, not creating media", format)
            << QString::fromLatin1(format) << false << QList<int>{2} << 0;
    }
}

void TestTitleImport::planListsEveryBadLine()
{
    QFETCH(QString, file);
    QFETCH(bool, createMedia);
    QFETCH(QList<int>, goodLines);
    QFETCH(int, newMedia);
    if (file != u"csv" && !m_office)
        QSKIP("LibreOffice is not installed (scripts/install-deps.sh installs it)");
    TempCatalogue catalogue;
    fillCatalogue(catalogue);
    TADOConnection connection;
    Exchange::openCatalogue(connection, catalogue.path());

    const Exchange::TitleImport import(m_files.filePath(u"lista."_s + file));
    QCOMPARE(import.headers(), (QStringList{u"Nome"_s, u"Descrição"_s, u"Mídia"_s, u"Tipo"_s}));
    QCOMPARE(import.lineCount(), 12);
    Exchange::ImportMapping mapping = import.guessMapping();
    mapping.createMedia = createMedia;
    const Exchange::ImportPlan plan = import.plan(connection.backend(), mapping);

    QList<int> lines;
    for (const Exchange::PlannedTitle &t : plan.titles)
        lines << t.line;
    QCOMPARE(lines, goodLines);
    QCOMPARE(int(plan.newMedia.size()), newMedia);
    QCOMPARE(plan.titles.front().name, u"Zork"_s);

    QMap<int, QString> reasons;
    for (const Exchange::ImportProblem &p : plan.problems)
        reasons.insert(p.line, p.reason);
    QMap<int, QString> expected{
        {3, u"falta o nome do título"_s},
        {4, u"o nome tem 33 caracteres; o máximo é 32"_s},
        {5, u"tipo de mídia desconhecido: 'DISQUETE'"_s},
        {6, u"o título 'Tetris' já existe na mídia 'Jogos CD 01'"_s},
        {7, u"repete o título 'Zork' da linha 2 na mesma mídia"_s},
        {10, u"há 2 mídias chamadas 'Repetida'"_s},
        {11, u"a mídia 'Caixa azul' é do tipo 'DVD', não 'CD'"_s},
        {12, u"falta a mídia"_s},
        {13, u"a descrição tem 256 caracteres; o máximo é 255"_s},
    };
    if (!createMedia) {
        expected.insert(8, u"a mídia 'Mídia Nova' não existe no catálogo"_s);
        expected.insert(9, u"a mídia 'Mídia Nova' não existe no catálogo"_s);
    }
    QCOMPARE(reasons.keys(), expected.keys());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QVERIFY2(reasons[it.key()].startsWith(it.value()),
                 qPrintable(u"line %1: %2"_s.arg(it.key()).arg(reasons[it.key()])));
    const QStringList described = Exchange::describePlan(plan);
    QVERIFY(described.contains(u"Linha 3: falta o nome do título."_s));
}

void TestTitleImport::guessesColumnsByTheirTitles_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QList<int>>("columns");
    QTest::newRow("search export")
        << QByteArray("CODIGO;APLICATIVO;DESCRIÇÃO;MÍDIA;TIPO_MÍDIA") << QList<int>{1, 2, 3, 4};
    QTest::newRow("catalogue export")
        << QByteArray("Código;Aplicativo;Descrição;Código da mídia;Mídia;Tipo;Local")
        << QList<int>{1, 2, 4, 5};
    QTest::newRow("unknown titles") << QByteArray("A;B;C") << QList<int>{-1, -1, -1, -1};
}

void TestTitleImport::guessesColumnsByTheirTitles()
{
    QFETCH(QByteArray, header);
    QFETCH(QList<int>, columns);
    QTemporaryDir dir;
    const Exchange::TitleImport import(writeFile(dir, u"t.csv"_s, header + "\n1;2;3\n"));
    const Exchange::ImportMapping mapping = import.guessMapping();
    QCOMPARE((QList<int>{mapping.column.begin(), mapping.column.end()}), columns);
}

void TestTitleImport::writesValidLinesWithNewCodes()
{
    TempCatalogue catalogue;
    fillCatalogue(catalogue);
    // Codes are never reused: a deleted medium's code stays taken.
    catalogue.exec(u"INSERT INTO cds (codigo, titulo) VALUES (9, 'Apagada');"
                   "DELETE FROM cds WHERE codigo = 9;"_s);
    TADOConnection connection;
    Exchange::openCatalogue(connection, catalogue.path());
    const Exchange::TitleImport import(m_csv);
    Exchange::ImportMapping mapping = import.guessMapping();
    mapping.createMedia = true;
    const Exchange::ImportPlan plan = import.plan(connection.backend(), mapping);
    QVERIFY(Exchange::applyImport(connection, plan));

    QCOMPARE(catalogue.scalar(u"SELECT count(*) FROM softs"_s), u"4"_s);
    QCOMPARE(catalogue.scalar(u"SELECT codigo || tipo FROM cds WHERE titulo = 'Mídia Nova'"_s),
             u"10DVD"_s);
    QCOMPARE(catalogue.scalar(u"SELECT group_concat(numero || nome || midia, ',') FROM softs "
                              "WHERE numero > 1"_s),
             u"2Zork1,3Quake10,4Quake II10"_s);
    QCOMPARE(catalogue.scalar(u"SELECT descricao FROM softs WHERE nome = 'Quake'"_s),
             u"com ; e \"aspas\""_s);
    // The same file again finds every title already there.
    const Exchange::ImportPlan again = import.plan(connection.backend(), mapping);
    QVERIFY(again.titles.empty());
}

void TestTitleImport::stopMidImportLeavesCatalogueAsItWas()
{
    TempCatalogue catalogue;
    fillCatalogue(catalogue);
    QByteArray many = "Nome;Mídia\n";
    for (int i = 0; i < 500; ++i)
        many += "Título " + QByteArray::number(i) + ";Nova " + QByteArray::number(i % 7) + "\n";
    QTemporaryDir dir;
    const Exchange::TitleImport import(writeFile(dir, u"muitos.csv"_s, many));
    TADOConnection connection;
    Exchange::openCatalogue(connection, catalogue.path());
    Exchange::ImportMapping mapping = import.guessMapping();
    mapping.createMedia = true;
    const Exchange::ImportPlan plan = import.plan(connection.backend(), mapping);
    QCOMPARE(int(plan.titles.size()), 500);
    const QString before = dump(catalogue);
    qint64 stoppedAt = 0;
    const bool done = Exchange::applyImport(connection, plan, [&stoppedAt](qint64 written) {
        stoppedAt = written;
        return written < 200;
    });
    QVERIFY(!done);
    QVERIFY(stoppedAt >= 200 && stoppedAt < 507);
    QCOMPARE(dump(catalogue), before);
    // The connection is usable afterwards, and the full import then goes through.
    QVERIFY(Exchange::applyImport(connection, plan));
    QCOMPARE(catalogue.scalar(u"SELECT count(*) FROM softs"_s), u"501"_s);
}

void TestTitleImport::failureMidImportLeavesCatalogueAsItWas()
{
    TempCatalogue catalogue;
    fillCatalogue(catalogue);
    catalogue.exec(u"CREATE TRIGGER falha BEFORE INSERT ON softs WHEN NEW.nome = 'Quake II' "
                   "BEGIN SELECT RAISE(ABORT, 'recusado pelo teste'); END;"_s);
    TADOConnection connection;
    Exchange::openCatalogue(connection, catalogue.path());
    const Exchange::TitleImport import(m_csv);
    Exchange::ImportMapping mapping = import.guessMapping();
    mapping.createMedia = true;
    const Exchange::ImportPlan plan = import.plan(connection.backend(), mapping);
    const QString before = dump(catalogue);
    QVERIFY_THROWS_EXCEPTION(Exception, Exchange::applyImport(connection, plan));
    QCOMPARE(dump(catalogue), before);
}

void TestTitleImport::commandLineSimulatesAndRefuses()
{
    TempCatalogue catalogue;
    fillCatalogue(catalogue);
    const QString before = dump(catalogue);
    QProcess tool;
    tool.start(QStringLiteral(QUIVEL_CATALOGUE_TOOL),
               {u"import"_s, catalogue.path(), m_csv, u"--simular"_s, u"--criar-midias"_s});
    QVERIFY(tool.waitForFinished(60000));
    const QString out = QString::fromUtf8(tool.readAllStandardOutput());
    QCOMPARE(tool.exitCode(), 1);
    QVERIFY2(out.contains(u"3 título(s) e 1 mídia(s) nova(s) serão adicionados"_s),
             qPrintable(out));
    QVERIFY(out.contains(u"Linha 12: falta a mídia."_s));
    QVERIFY(out.contains(u"Simulação: nada foi gravado."_s));
    QCOMPARE(dump(catalogue), before);

    // Without --simular, lines that cannot go in stop the whole import...
    tool.start(QStringLiteral(QUIVEL_CATALOGUE_TOOL),
               {u"import"_s, catalogue.path(), m_csv, u"--criar-midias"_s});
    QVERIFY(tool.waitForFinished(60000));
    QCOMPARE(tool.exitCode(), 1);
    QCOMPARE(dump(catalogue), before);
    // ...unless told to take the valid ones.
    tool.start(QStringLiteral(QUIVEL_CATALOGUE_TOOL),
               {u"import"_s, catalogue.path(), m_csv, u"--criar-midias"_s, u"--validas"_s});
    QVERIFY(tool.waitForFinished(60000));
    QCOMPARE(tool.exitCode(), 0);
    QCOMPARE(catalogue.scalar(u"SELECT count(*) FROM softs"_s), u"4"_s);
}

QTEST_GUILESS_MAIN(TestTitleImport)
#include "tst_title_import.moc"
