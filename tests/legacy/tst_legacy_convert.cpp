// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/catalogue.h"
#include "catalogue/catalogue_check.h"
#include "catalogue/catalogue_shape.h"
#include "core/exceptions.h"
#include "data/connection.h"
#include "data/query.h"
#include "tests/support/failure.h"
#include "tests/support/fixtures.h"
#include "tests/support/temp_catalogue.h"
#include "tools/legacy/convert.h"
#include "tools/legacy/jet_reader.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <sqlite3.h>

using Rows = QList<QList<QVariant>>;

namespace {

// Fixtures are read-only; a copy must be writable like a user's file.
void copyWritable(const QString &from, const QString &to)
{
    QVERIFY(QFile::copy(from, to));
    QVERIFY(QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                          QFile::ReadOther));
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray hashOf(const QString &path)
{
    return QCryptographicHash::hash(fileBytes(path), QCryptographicHash::Sha256).toHex();
}

QStringList folderEntries(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// The rows as the engine holds them: NULL an invalid QVariant, integers qint64, text QString.
Rows sqliteRows(const QString &path, const QString &sql)
{
    sqlite3 *db = nullptr;
    Rows rows;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(db);
        return rows;
    }
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr) == SQLITE_OK) {
        while (sqlite3_step(statement) == SQLITE_ROW) {
            QList<QVariant> row;
            for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                switch (sqlite3_column_type(statement, i)) {
                case SQLITE_NULL:
                    row.append(QVariant());
                    break;
                case SQLITE_INTEGER:
                    row.append(qint64(sqlite3_column_int64(statement, i)));
                    break;
                default:
                    row.append(QString::fromUtf8(
                        reinterpret_cast<const char *>(sqlite3_column_text(statement, i))));
                }
            }
            rows.append(row);
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

QVariant code(qint64 value)
{
    return value;
}

QVariant text(const char *value)
{
    return QString::fromUtf8(value);
}

// What the catalogue fixture holds, read from its rows' bytes: code 3's obs is NULL (its null
// mask clears the bit), code 4's is empty text.
const Rows knownMedia = {
    {code(1), text("Programas 1998"), text("Coleção de utilitários"), text("CD-ROM"),
     text("Estante A")},
    {code(3), text("Música clássica"), QVariant(), text("Áudio"), text("Gaveta 2")},
    {code(4), text("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"), text(""), text("DVD"), text("Caixa «X»")},
    {code(5), text("Мир 漢字 €"), text("não-latin1: € — Ж"), text("CD-R"), QVariant()},
};
const Rows knownTitles = {
    {code(1), text("Editor de texto"), text("Versão 2.0, com manual"), code(1)},
    {code(2), text("Jogo de xadrez"), QVariant(), code(3)},
    {code(3), text("Sem mídia"), text("midia nula"), QVariant()},
};

// QVariant's == would let NULL equal empty text; this does not.
bool sameRows(const Rows &a, const Rows &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype r = 0; r < a.size(); ++r) {
        if (a[r].size() != b[r].size())
            return false;
        for (qsizetype c = 0; c < a[r].size(); ++c) {
            const QVariant &x = a[r][c];
            const QVariant &y = b[r][c];
            if (x.isValid() != y.isValid() || x.typeId() != y.typeId() || x != y)
                return false;
        }
    }
    return true;
}

QString describe(const Rows &rows)
{
    QStringList lines;
    for (const QList<QVariant> &row : rows) {
        QStringList cells;
        for (const QVariant &v : row)
            cells.append(v.isValid() ? QStringLiteral("'%1'").arg(v.toString())
                                     : QStringLiteral("NULL"));
        lines.append(cells.join(u','));
    }
    return lines.join(u'\n');
}

QString schemaOf(const QString &path)
{
    QStringList lines;
    for (const QList<QVariant> &row :
         sqliteRows(path, QStringLiteral("SELECT sql FROM sqlite_master WHERE sql IS NOT NULL "
                                         "ORDER BY name")))
        lines.append(row.first().toString());
    return lines.join(u'\n');
}

QString connectionFor(const QString &path)
{
    return QStringLiteral("Provider=x;Data Source=%1;Mode=Share Deny None;").arg(path);
}

} // namespace

class TestLegacyConvert : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void convertsEveryRowAsReadAndAsKnown();
    void keepsTheSchemaAndGivesCodesAboveTheHighest();
    void convertsInPlaceKeepingTheOriginal();
    void neverOverwritesAnEarlierBackup();
    void refusesLeavingTheFileUntouched_data();
    void refusesLeavingTheFileUntouched();
    void refusesAnExistingDestination();
    void lengthIsCountedAsTheEngineCounts_data();
    void lengthIsCountedAsTheEngineCounts();
    void checkReportsWithoutChanging_data();
    void checkReportsWithoutChanging();
    void checkExitCodes_data();
    void checkExitCodes();
    void commandInTheProgramsMessageConverts();
};

void TestLegacyConvert::convertsEveryRowAsReadAndAsKnown()
{
    QUIVEL_REQUIRE_FIXTURE(jet, QStringLiteral("catalogue_jet4.mdb"));
    const Legacy::JetCatalogue read = Legacy::readJetCatalogue(jet);
    QVERIFY2(sameRows(read.media.rows, knownMedia), qPrintable(describe(read.media.rows)));
    QVERIFY2(sameRows(read.titles.rows, knownTitles), qPrintable(describe(read.titles.rows)));

    TempCatalogue folder(TempCatalogue::Content::None);
    const QString target = folder.directory() + QStringLiteral("/novo.db");
    const Legacy::ConversionResult result = Legacy::convertJetCatalogue(jet, target);
    QCOMPARE(result.catalogue, target);
    QVERIFY(result.backup.isEmpty());
    QCOMPARE(result.mediaCount, 4);
    QCOMPARE(result.titleCount, 3);

    const Rows media = sqliteRows(target, QStringLiteral("SELECT * FROM cds ORDER BY codigo"));
    // Every title of the old format is software.
    const Rows titles = sqliteRows(
        target, QStringLiteral("SELECT numero, nome, descricao, midia FROM softs ORDER BY numero"));
    QCOMPARE(sqliteRows(target, QStringLiteral("SELECT DISTINCT nome_categoria FROM softs JOIN "
                                               "categorias ON id_categoria = categoria")),
             Rows({{QStringLiteral("Software")}}));
    QVERIFY2(sameRows(media, read.media.rows), qPrintable(describe(media)));
    QVERIFY2(sameRows(titles, read.titles.rows), qPrintable(describe(titles)));
    QCOMPARE(sqliteRows(target, QStringLiteral("SELECT length(titulo) FROM cds WHERE codigo = 4")),
             Rows{{code(32)}});
    QCOMPARE(folderEntries(folder.directory()), QStringList{QStringLiteral("novo.db")});
}

void TestLegacyConvert::keepsTheSchemaAndGivesCodesAboveTheHighest()
{
    QUIVEL_REQUIRE_FIXTURE(jet, QStringLiteral("catalogue_jet4.mdb"));
    TempCatalogue fresh(TempCatalogue::Content::Empty);
    TempCatalogue folder(TempCatalogue::Content::None);
    const QString target = folder.path();
    Legacy::convertJetCatalogue(jet, target);
    QCOMPARE(schemaOf(target), schemaOf(fresh.path()));
    QCOMPARE(folder.scalar(QStringLiteral("PRAGMA user_version")),
             fresh.scalar(QStringLiteral("PRAGMA user_version")));

    // Codes come from the engine, through the program's own layer.
    TADOConnection connection;
    connection.setConnectionString(connectionFor(target));
    TADOQuery media(QStringLiteral("ADOQuery1"), &connection);
    media.setSql({QStringLiteral("select * from cds")});
    media.open();
    media.insert();
    media.fieldByName(QStringLiteral("titulo"))->setAsString(QStringLiteral("Nova mídia"));
    media.post();
    QCOMPARE(media.fieldByName(QStringLiteral("codigo"))->asInteger(), 6);
    TADOQuery titles(QStringLiteral("ADOQuery2"), &connection);
    titles.setSql({QStringLiteral("select * from softs")});
    titles.open();
    titles.insert();
    titles.fieldByName(QStringLiteral("nome"))->setAsString(QStringLiteral("Novo título"));
    titles.post();
    QCOMPARE(titles.fieldByName(QStringLiteral("numero"))->asInteger(), 4);
}

void TestLegacyConvert::convertsInPlaceKeepingTheOriginal()
{
    QUIVEL_REQUIRE_FIXTURE(jet, QStringLiteral("catalogue_jet4.mdb"));
    TempCatalogue folder(TempCatalogue::Content::None);
    copyWritable(jet, folder.path());
    const QString backupName = Catalogue::fileName() + QStringLiteral(".jet-original");

    const Legacy::ConversionResult result = Legacy::convertJetCatalogue(folder.path(), {});
    QCOMPARE(result.backup, QDir(folder.directory()).canonicalPath() + u'/' + backupName);
    QCOMPARE(folderEntries(folder.directory()), (QStringList{Catalogue::fileName(), backupName}));
    QCOMPARE(hashOf(result.backup), hashOf(jet));
    QVERIFY(folder.fileBytes().startsWith("SQLite format 3"));

    TADOConnection connection;
    connection.setConnectionString(connectionFor(folder.path()));
    TADOQuery query(QStringLiteral("ADOQuery1"), &connection);
    query.setSql({QStringLiteral("select * from cds")});
    query.open();
    QCOMPARE(query.recordCount(), 4);
    QCOMPARE(query.fieldCount(), 5);
    query.last();
    QCOMPARE(query.fieldByName(QStringLiteral("titulo"))->asString(), QStringLiteral("Мир 漢字 €"));
    QVERIFY(query.fieldByName(QStringLiteral("local"))->isNull());

    // Converted once, the file is refused the second time and stays as it is.
    const QByteArray converted = hashOf(folder.path());
    QVERIFY(failureOf([&] {
                Legacy::convertJetCatalogue(folder.path(), folder.path());
            }).contains(QStringLiteral("já é um catálogo desta versão")));
    QCOMPARE(hashOf(folder.path()), converted);
    QCOMPARE(folderEntries(folder.directory()), (QStringList{Catalogue::fileName(), backupName}));
}

void TestLegacyConvert::neverOverwritesAnEarlierBackup()
{
    QUIVEL_REQUIRE_FIXTURE(jet, QStringLiteral("catalogue_jet4.mdb"));
    TempCatalogue folder(TempCatalogue::Content::None);
    copyWritable(jet, folder.path());
    const QString earlier = folder.path() + QStringLiteral(".jet-original");
    {
        QFile file(earlier);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("an earlier backup");
    }
    const Legacy::ConversionResult result = Legacy::convertJetCatalogue(folder.path(), {});
    QVERIFY2(result.backup.endsWith(QStringLiteral("quivel.mdb.jet-original-2")),
             qPrintable(result.backup));
    QCOMPARE(fileBytes(earlier), QByteArray("an earlier backup"));
    QCOMPARE(hashOf(result.backup), hashOf(jet));
}

void TestLegacyConvert::refusesLeavingTheFileUntouched_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<qint64>("keepBytes"); // -1 keeps the whole fixture
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");

    QTest::newRow("Jet 4 without tables") << "jackcess_emptyJet4.mdb" << qint64(-1) << QByteArray()
                                          << "não tem as tabelas 'cds' e 'softs'";
    QTest::newRow("Jet 4 with other tables")
        << "mdbreader_V2000_no-password.mdb" << qint64(-1) << QByteArray()
        << "não tem as tabelas 'cds' e 'softs'";
    QTest::newRow("Jet 3") << "jackcess_testV1997_JET3.mdb" << qint64(-1) << QByteArray()
                           << "está no formato Jet 3 (Access 97)";
    // Cut at a page boundary libmdb reads on without complaint, with rows missing.
    QTest::newRow("cut at a page boundary")
        << "catalogue_jet4.mdb" << qint64(131072) << QByteArray()
        << "a tabela 'softs' registra 3 linhas, mas só 0 puderam ser lidas";
    QTest::newRow("cut inside a page") << "catalogue_jet4.mdb" << qint64(100000) << QByteArray()
                                       << "não é múltiplo das páginas de 4096 bytes";
    QTest::newRow("cut inside the header") << "catalogue_jet4.mdb" << qint64(10) << QByteArray()
                                           << "está truncado ou danificado (o cabeçalho";
    QTest::newRow("empty") << QString() << qint64(0) << QByteArray() << "está vazio";
    QTest::newRow("not Jet") << QString() << qint64(0) << QByteArray("codigo;titulo\n1;Programas\n")
                             << "não é um banco de dados do Access (Jet)";
}

void TestLegacyConvert::refusesLeavingTheFileUntouched()
{
    QFETCH(QString, fixture);
    QFETCH(qint64, keepBytes);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);

    QByteArray bytes = content;
    if (!fixture.isEmpty()) {
        QUIVEL_REQUIRE_FIXTURE(path, fixture);
        bytes = fileBytes(path);
        if (keepBytes >= 0)
            bytes.truncate(keepBytes);
    }
    TempCatalogue folder(TempCatalogue::Content::None);
    {
        QFile file(folder.path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), qint64(bytes.size()));
    }
    const QByteArray before = hashOf(folder.path());

    // In place and to another file alike.
    for (const QString &target : {QString(), folder.directory() + QStringLiteral("/novo.db")}) {
        const QString failure =
            failureOf([&] { Legacy::convertJetCatalogue(folder.path(), target); });
        QVERIFY2(failure.contains(message), qPrintable(failure));
        QCOMPARE(hashOf(folder.path()), before);
        QCOMPARE(folderEntries(folder.directory()), QStringList{Catalogue::fileName()});
    }
}

void TestLegacyConvert::refusesAnExistingDestination()
{
    QUIVEL_REQUIRE_FIXTURE(jet, QStringLiteral("catalogue_jet4.mdb"));
    TempCatalogue existing(TempCatalogue::Content::Sample);
    const QByteArray before = hashOf(existing.path());
    QVERIFY(failureOf([&] {
                Legacy::convertJetCatalogue(jet, existing.path());
            }).contains(QStringLiteral("já existe")));
    QCOMPARE(hashOf(existing.path()), before);
    QCOMPARE(folderEntries(existing.directory()), QStringList{Catalogue::fileName()});
}

// No fixture holds an over-long value and libmdb cannot write Jet files faithfully, so the
// length rule is tested where every row passes through it, and against the engine's own
// CHECK, which must agree.
void TestLegacyConvert::lengthIsCountedAsTheEngineCounts_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message");

    const QString fits;
    QTest::newRow("32 letters in titulo") << "cds" << 1 << QString(32, u'Ç') << fits;
    QTest::newRow("33 letters in titulo")
        << "cds" << 1 << QString(33, u'a')
        << "O registro de código 7 da tabela 'cds' tem 33 caracteres na coluna 'titulo', e esta "
           "versão aceita no máximo 32";
    QTest::newRow("31 letters and one outside the BMP")
        << "cds" << 1 << QString(31, u'x') + QString::fromUcs4(U"\U0001F4BF") << fits;
    QTest::newRow("16 in tipo") << "cds" << 3 << QStringLiteral("HD EXTERNO 12345") << fits;
    QTest::newRow("17 in tipo") << "cds" << 3 << QStringLiteral("HD EXTERNO 123456")
                                << "tem 17 caracteres na coluna 'tipo', e esta versão aceita no "
                                   "máximo 16";
    QTest::newRow("256 in descricao")
        << "softs" << 2 << QString(256, u'€')
        << "O registro de código 7 da tabela 'softs' tem 256 caracteres na coluna 'descricao'";
}

void TestLegacyConvert::lengthIsCountedAsTheEngineCounts()
{
    QFETCH(QString, table);
    QFETCH(int, column);
    QFETCH(QString, value);
    QFETCH(QString, message);

    const auto &tables = Legacy::catalogueTables();
    const Legacy::TableShape &shape = table == u"cds" ? tables.at(0) : tables.at(1);
    const QString problem = Legacy::lengthProblem(table, 7, shape.columns.at(column), value);
    if (message.isEmpty())
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    else
        QVERIFY2(problem.contains(message), qPrintable(problem));

    TempCatalogue catalogue;
    bool engineAccepted = true;
    try {
        catalogue.exec(QStringLiteral("INSERT INTO %1 (%2) VALUES ('%3')")
                           .arg(table, shape.columns.at(column).name, value));
    } catch (const std::exception &) {
        engineAccepted = false;
    }
    QCOMPARE(engineAccepted, problem.isEmpty());
}

void TestLegacyConvert::checkReportsWithoutChanging_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("problems");

    QTest::newRow("clean sample") << QString() << QStringList();
    QTest::newRow("orphan title and over-long values")
        << QStringLiteral(
               "PRAGMA ignore_check_constraints = 1;"
               "INSERT INTO cds (codigo, titulo) VALUES (900, '%1');"
               "INSERT INTO softs (numero, nome, descricao, midia) "
               "VALUES (901, 'Órfão', 'curta', 777);"
               "INSERT INTO softs (numero, nome, midia) VALUES (902, 'Sem mídia', NULL);")
               .arg(QString(40, u'é'))
        << QStringList{
               QStringLiteral("O registro de código 900 da tabela 'cds' tem 40 caracteres na "
                              "coluna 'titulo', que aceita no máximo 32"),
               QStringLiteral("O título 901 ('Órfão') está na mídia 777, que não existe; não "
                              "aparece nas buscas nem no relatório"),
               QStringLiteral("O título 902 ('Sem mídia') não tem mídia; não aparece nas buscas "
                              "nem no relatório")};
    QTest::newRow("missing column")
        << QStringLiteral("CREATE TABLE t (codigo INTEGER PRIMARY KEY AUTOINCREMENT, "
                          "titulo VARCHAR(32), obs VARCHAR(255), tipo VARCHAR(16));"
                          "INSERT INTO t SELECT codigo, titulo, obs, tipo FROM cds;"
                          "DROP TABLE cds; ALTER TABLE t RENAME TO cds;")
        << QStringList{QStringLiteral("A tabela 'cds' não tem a coluna 'local'")};
    QTest::newRow("column of another type")
        << QStringLiteral("CREATE TABLE t (numero INTEGER PRIMARY KEY AUTOINCREMENT, "
                          "nome VARCHAR(32), descricao VARCHAR(255), midia TEXT, "
                          "categoria INTEGER NOT NULL DEFAULT 1);"
                          "DROP TABLE softs; ALTER TABLE t RENAME TO softs;")
        << QStringList{QStringLiteral("A coluna 'midia' da tabela 'softs' é do tipo 'TEXT'; "
                                      "deveria ser INTEGER")};
    QTest::newRow("missing table")
        << "DROP TABLE softs;" << QStringList{QStringLiteral("Falta a tabela 'softs'")};
    QTest::newRow("title of a kind that does not exist")
        << "UPDATE softs SET categoria = 77 WHERE numero = 5;"
        << QStringList{QStringLiteral("O título 5 ('VLC 1.4') é da categoria 77, que não "
                                      "existe")};
    QTest::newRow("older version")
        << "PRAGMA user_version = 1;"
        << QStringList{QStringLiteral("O catálogo é da versão 1; atualize-o com o comando: "
                                      "quivel-catalogue upgrade \"%1\"")};
}

void TestLegacyConvert::checkReportsWithoutChanging()
{
    QFETCH(QString, sql);
    QFETCH(QStringList, problems);

    TempCatalogue catalogue(TempCatalogue::Content::Sample);
    if (!sql.isEmpty())
        catalogue.exec(sql);
    const QByteArray before = catalogue.fileBytes();
    for (QString &problem : problems)
        problem.replace(QStringLiteral("%1"), catalogue.path());
    QCOMPARE(Legacy::checkCatalogue(catalogue.path()), problems);
    QCOMPARE(catalogue.fileBytes(), before);
    QCOMPARE(folderEntries(catalogue.directory()), QStringList{Catalogue::fileName()});
}

void TestLegacyConvert::checkExitCodes_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("extraArguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");

    QTest::newRow("clean") << QString() << QStringList() << 0 << "Nenhum problema encontrado";
    QTest::newRow("orphan") << "INSERT INTO softs (nome, midia) VALUES ('x', 12345)"
                            << QStringList() << 1 << "1 problema(s) encontrado(s)";
    QTest::newRow("usage") << QString() << QStringList{QStringLiteral("demais")} << 2 << "Uso:";
}

void TestLegacyConvert::checkExitCodes()
{
    QFETCH(QString, sql);
    QFETCH(QStringList, extraArguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);

    TempCatalogue catalogue(TempCatalogue::Content::Sample);
    if (!sql.isEmpty())
        catalogue.exec(sql);
    const QByteArray before = catalogue.fileBytes();
    QProcess tool;
    tool.start(QStringLiteral(QUIVEL_CATALOGUE_TOOL),
               QStringList{QStringLiteral("check"), catalogue.path()} + extraArguments);
    QVERIFY(tool.waitForFinished(30000));
    const QString printed =
        QString::fromUtf8(tool.readAllStandardOutput() + tool.readAllStandardError());
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), exitCode);
    QVERIFY2(printed.contains(output), qPrintable(printed));
    QCOMPARE(catalogue.fileBytes(), before);
}

// The program tells the user which command converts a Jet catalogue; that very command must.
void TestLegacyConvert::commandInTheProgramsMessageConverts()
{
    QUIVEL_REQUIRE_FIXTURE(jet, QStringLiteral("catalogue_jet4.mdb"));
    TempCatalogue folder(TempCatalogue::Content::None);
    copyWritable(jet, folder.path());

    TADOConnection connection;
    connection.setConnectionString(connectionFor(folder.path()));
    const QString message = failureOf([&] { connection.open(); });
    const QString prefix = QStringLiteral("converta-o com o comando: ");
    QVERIFY2(message.contains(prefix), qPrintable(message));
    const QString command = message.mid(message.indexOf(prefix) + prefix.size());
    const QStringList words = QProcess::splitCommand(command);
    QCOMPARE(words, (QStringList{QStringLiteral("quivel-catalogue"), QStringLiteral("convert"),
                                 folder.path()}));

    QProcess tool;
    tool.start(QStringLiteral(QUIVEL_CATALOGUE_TOOL), words.mid(1));
    QVERIFY(tool.waitForFinished(30000));
    QVERIFY2(tool.exitCode() == 0, tool.readAllStandardError().constData());
    QVERIFY(QString::fromUtf8(tool.readAllStandardOutput())
                .contains(QStringLiteral("O original foi guardado em")));
    connection.open();
    TADOQuery query(QStringLiteral("ADOQuery1"), &connection);
    query.setSql({QStringLiteral("select * from softs")});
    query.open();
    QCOMPARE(query.recordCount(), 3);
}

QTEST_GUILESS_MAIN(TestLegacyConvert)
#include "tst_legacy_convert.moc"
