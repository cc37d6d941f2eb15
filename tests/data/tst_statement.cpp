// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/catalogue.h"
#include "data/engine/sqlite/statement.h"
#include "tests/support/temp_catalogue.h"

#include <QFile>
#include <QTest>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

struct MemoryDatabase
{
    sqlite3 *db = nullptr;
    MemoryDatabase()
    {
        sqlite3_open(":memory:", &db);
        sqlite3_exec(db, "CREATE TABLE t (v)", nullptr, nullptr, nullptr);
    }
    ~MemoryDatabase() { sqlite3_close(db); }
};

} // namespace

class TestStatement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void valuesComeBackAsBound_data();
    void valuesComeBackAsBound();
    void namedParametersAndReuse();
    void failuresCarryTheEngineCodeAndNameTheCatalogue();
    void finalizedOnEveryPathOut();
    void everyResultCodeIsToldInPortuguese_data();
    void everyResultCodeIsToldInPortuguese();
    void engineRefusalsOfRealWritesAreToldInPortuguese_data();
    void engineRefusalsOfRealWritesAreToldInPortuguese();
    void anInterruptedWriteIsNotCalledARead_data();
    void anInterruptedWriteIsNotCalledARead();
};

void TestStatement::valuesComeBackAsBound_data()
{
    QTest::addColumn<QVariant>("bound");
    QTest::addColumn<QVariant>("read");
    QTest::addColumn<QString>("type");
    QTest::newRow("invalid is NULL") << QVariant() << QVariant() << "null";
    QTest::newRow("empty text stays text")
        << QVariant(QString(u""_s)) << QVariant(QString()) << "text";
    QTest::newRow("int") << QVariant(7) << QVariant::fromValue<qlonglong>(7) << "integer";
    QTest::newRow("large") << QVariant::fromValue<qlonglong>(1LL << 40)
                           << QVariant::fromValue<qlonglong>(1LL << 40) << "integer";
    QTest::newRow("real") << QVariant(2.5) << QVariant(2.5) << "real";
    QTest::newRow("accented text")
        << QVariant(u"Ação 漢字 😀"_s) << QVariant(u"Ação 漢字 😀"_s) << "text";
}

void TestStatement::valuesComeBackAsBound()
{
    QFETCH(QVariant, bound);
    QFETCH(QVariant, read);
    QFETCH(QString, type);
    MemoryDatabase m;
    Statement insert(m.db, u"INSERT INTO t VALUES (?)"_s);
    insert.bind(1, bound);
    QCOMPARE(insert.execute(), 1);
    Statement select(m.db, u"SELECT v, typeof(v) FROM t"_s);
    QVERIFY(select.step());
    QCOMPARE(select.text(1), type);
    QCOMPARE(select.isNull(0), type == u"null");
    QCOMPARE(select.value(0), read);
    QVERIFY(!select.step());
}

void TestStatement::namedParametersAndReuse()
{
    MemoryDatabase m;
    Statement insert(m.db, u"INSERT INTO t VALUES (:valor)"_s);
    for (int i = 1; i <= 3; ++i) {
        insert.bind(u"valor"_s, i * 10);
        insert.bind(u"ausente"_s, 99); // not in the statement: ignored
        insert.execute();
        insert.reset();
    }
    Statement sum(m.db, u"SELECT sum(v), count(*) FROM t"_s);
    QVERIFY(sum.step());
    QCOMPARE(sum.integer(0), 60);
    QCOMPARE(sum.integer(1), 3);
}

void TestStatement::failuresCarryTheEngineCodeAndNameTheCatalogue()
{
    MemoryDatabase m;
    try {
        Statement bad(m.db, u"SELECT * FROM nenhuma"_s, u"/tmp/quivel.mdb"_s);
        QFAIL("a statement on a missing table was prepared");
    } catch (const EngineError &e) {
        QCOMPARE(e.resultCode() & 0xFF, SQLITE_ERROR);
        QCOMPARE(e.engineText(), u"no such table: nenhuma"_s);
        QCOMPARE(e.className(), u"EOleException"_s);
    }
    QVERIFY_THROWS_EXCEPTION(EOleException, Statement(m.db, u"  "_s));

    TempCatalogue cat;
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(cat.path()).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_extended_result_codes(db, 1);
    try {
        Statement write(db, u"INSERT INTO cds (titulo) VALUES ('x')"_s, cat.path());
        write.execute();
        QFAIL("a read-only connection wrote");
    } catch (const EngineError &e) {
        QCOMPARE(e.resultCode() & 0xFF, SQLITE_READONLY);
        QVERIFY2(e.message().contains(cat.path()), qPrintable(e.message()));
    }
    sqlite3_close(db);
}

void TestStatement::finalizedOnEveryPathOut()
{
    sqlite3 *db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_extended_result_codes(db, 1);
    sqlite3_exec(db, "CREATE TABLE t (v INTEGER CHECK (v < 3))", nullptr, nullptr, nullptr);
    {
        Statement unstepped(db, u"SELECT 1"_s);
        Statement halfRead(db, u"SELECT 1 UNION ALL SELECT 2"_s);
        QVERIFY(halfRead.step());
    }
    try {
        Statement failing(db, u"INSERT INTO t VALUES (5)"_s);
        failing.execute();
        QFAIL("the CHECK did not hold");
    } catch (const EngineError &e) {
        QCOMPARE(e.resultCode(), SQLITE_CONSTRAINT_CHECK);
    }
    // A statement left behind would make the close fail with SQLITE_BUSY.
    QCOMPARE(sqlite3_close(db), SQLITE_OK);
}

// Every result code the engine can give a connection on open, read and write, primary and
// extended: each reaches the user as Portuguese naming the catalogue, never as the engine's
// English alone.
void TestStatement::everyResultCodeIsToldInPortuguese_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("writing");
    QTest::addColumn<QString>("expected");
    const struct
    {
        const char *name;
        int code;
        bool writing;
        const char *expected;
    } cases[] = {
        {"ERROR", SQLITE_ERROR, false, "recusou a operação"},
        {"INTERNAL", SQLITE_INTERNAL, false, "Erro interno"},
        {"PERM", SQLITE_PERM, true, "Sem permissão"},
        {"ABORT", SQLITE_ABORT, true, "Erro interno"},
        {"BUSY", SQLITE_BUSY, true, "ocupado por outro programa"},
        {"BUSY_SNAPSHOT", SQLITE_BUSY_SNAPSHOT, false, "ocupado por outro programa"},
        {"LOCKED", SQLITE_LOCKED, true, "ocupado por outro programa"},
        {"NOMEM", SQLITE_NOMEM, false, "Falta memória"},
        {"READONLY", SQLITE_READONLY, true, "protegido contra gravação"},
        {"READONLY_DIRECTORY", SQLITE_READONLY_DIRECTORY, true, "pasta do catálogo"},
        {"READONLY_DBMOVED", SQLITE_READONLY_DBMOVED, true, "apagado, movido ou substituído"},
        {"INTERRUPT on read", SQLITE_INTERRUPT, false, "A leitura do catálogo"},
        {"INTERRUPT on write", SQLITE_INTERRUPT, true, "A gravação no catálogo"},
        {"IOERR", SQLITE_IOERR, true, "Erro de leitura ou gravação"},
        {"IOERR_FSYNC", SQLITE_IOERR_FSYNC, true, "Erro de leitura ou gravação"},
        {"IOERR_SHORT_READ", SQLITE_IOERR_SHORT_READ, false, "Erro de leitura ou gravação"},
        {"CORRUPT", SQLITE_CORRUPT, false, "danificado"},
        {"CORRUPT_INDEX", SQLITE_CORRUPT_INDEX, false, "danificado"},
        {"NOTFOUND", SQLITE_NOTFOUND, false, "Erro interno"},
        {"FULL", SQLITE_FULL, true, "Não há espaço em disco"},
        {"CANTOPEN", SQLITE_CANTOPEN, false, "permissões do arquivo e da sua pasta"},
        {"CANTOPEN_ISDIR", SQLITE_CANTOPEN_ISDIR, false, "permissões do arquivo e da sua pasta"},
        {"PROTOCOL", SQLITE_PROTOCOL, true, "alterado por outro programa"},
        {"SCHEMA", SQLITE_SCHEMA, false, "alterado por outro programa"},
        {"TOOBIG", SQLITE_TOOBIG, true, "grande demais"},
        {"CONSTRAINT", SQLITE_CONSTRAINT, true, "recusou a gravação"},
        {"CONSTRAINT_CHECK", SQLITE_CONSTRAINT_CHECK, true, "regra do arquivo"},
        {"CONSTRAINT_UNIQUE", SQLITE_CONSTRAINT_UNIQUE, true, "mesmo valor"},
        {"CONSTRAINT_PRIMARYKEY", SQLITE_CONSTRAINT_PRIMARYKEY, true, "mesmo valor"},
        {"CONSTRAINT_NOTNULL", SQLITE_CONSTRAINT_NOTNULL, true, "campo deixado vazio"},
        {"CONSTRAINT_FOREIGNKEY", SQLITE_CONSTRAINT_FOREIGNKEY, true, "ligado a outro"},
        {"CONSTRAINT_TRIGGER", SQLITE_CONSTRAINT_TRIGGER, true, "gatilho do arquivo"},
        {"MISMATCH", SQLITE_MISMATCH, true, "Erro interno"},
        {"MISUSE", SQLITE_MISUSE, false, "Erro interno"},
        {"NOLFS", SQLITE_NOLFS, true, "grande demais para este sistema"},
        {"AUTH", SQLITE_AUTH, false, "Sem permissão"},
        {"RANGE", SQLITE_RANGE, false, "Erro interno"},
        {"NOTADB", SQLITE_NOTADB, false, "não é um catálogo do Quivel"},
    };
    for (const auto &c : cases)
        QTest::newRow(c.name) << c.code << c.writing << QString::fromUtf8(c.expected);
}

void TestStatement::everyResultCodeIsToldInPortuguese()
{
    QFETCH(int, code);
    QFETCH(bool, writing);
    QFETCH(QString, expected);
    const QString path = u"/home/ana/quivel.mdb"_s;
    const QString engineText = QString::fromUtf8(sqlite3_errstr(code));
    const QString message = EngineError(code, engineText, path, writing).message();
    QVERIFY2(message.contains(expected), qPrintable(message));
    QVERIFY2(message.contains(path), qPrintable(message));
    QVERIFY2(!message.startsWith(engineText), qPrintable(message));
}

// The same for the engine's own wording of real refusals, which name what failed.
void TestStatement::engineRefusalsOfRealWritesAreToldInPortuguese_data()
{
    QTest::addColumn<QString>("schema");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expected");
    QTest::newRow("CHECK") << u"CREATE TABLE t (v CHECK (length(v) <= 2))"_s
                           << u"INSERT INTO t VALUES ('abc')"_s << u"regra do arquivo"_s;
    QTest::newRow("UNIQUE") << u"CREATE TABLE t (v UNIQUE); INSERT INTO t VALUES (1)"_s
                            << u"INSERT INTO t VALUES (1)"_s << u"mesmo valor"_s;
    QTest::newRow("NOT NULL") << u"CREATE TABLE t (v NOT NULL)"_s
                              << u"INSERT INTO t VALUES (NULL)"_s << u"campo deixado vazio"_s;
    QTest::newRow("refused function")
        << u"CREATE TABLE t (v); CREATE TABLE u (w); CREATE TRIGGER g AFTER INSERT ON t BEGIN "
           "INSERT INTO u VALUES (load_extension('x')); END"_s
        << u"INSERT INTO t VALUES (1)"_s << u"função que o Quivel não permite"_s;
    QTest::newRow("unknown function")
        << u"CREATE TABLE t (v)"_s << u"INSERT INTO t VALUES (nenhuma(1))"_s
        << u"função que o Quivel não permite"_s;
    QTest::newRow("unrecognized token")
        << u"CREATE TABLE t (v)"_s << u"SELECT * FROM t WHERE v = 'a"_s << u"recusou a operação"_s;
    QTest::newRow("missing table")
        << u"CREATE TABLE t (v)"_s << u"SELECT * FROM nada"_s << u"não tem a tabela 'nada'"_s;
}

void TestStatement::engineRefusalsOfRealWritesAreToldInPortuguese()
{
    QFETCH(QString, schema);
    QFETCH(QString, sql);
    QFETCH(QString, expected);
    sqlite3 *db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_extended_result_codes(db, 1);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_exec(db, schema.toUtf8().constData(), nullptr, nullptr, nullptr);
    QString message;
    try {
        Statement statement(db, sql, u"c.mdb"_s);
        statement.execute();
    } catch (const EngineError &e) {
        message = e.message();
    }
    sqlite3_close(db);
    QVERIFY2(message.contains(expected), qPrintable(message));
    QVERIFY2(message.startsWith(u"O catálogo 'c.mdb'"_s), qPrintable(message));
}

void TestStatement::anInterruptedWriteIsNotCalledARead_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expected");
    const QString endless = u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "_s;
    QTest::newRow("read") << endless + u"SELECT count(*) FROM n"_s << u"A leitura"_s;
    QTest::newRow("insert") << endless + u"INSERT INTO t SELECT i FROM n"_s << u"A gravação"_s;
    QTest::newRow("update") << u"UPDATE t SET v = (WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
                               "SELECT i + 1 FROM n) SELECT count(*) FROM n)"_s
                            << u"A gravação"_s;
}

void TestStatement::anInterruptedWriteIsNotCalledARead()
{
    QFETCH(QString, sql);
    QFETCH(QString, expected);
    MemoryDatabase memory;
    sqlite3_exec(memory.db, "INSERT INTO t VALUES (1)", nullptr, nullptr, nullptr);
    int calls = 0;
    sqlite3_progress_handler(
        memory.db, 1000, [](void *count) { return ++*static_cast<int *>(count) > 100 ? 1 : 0; },
        &calls);
    QString message;
    try {
        Statement(memory.db, sql, u"c.mdb"_s).execute();
    } catch (const EngineError &e) {
        QCOMPARE(e.resultCode(), SQLITE_INTERRUPT);
        message = e.message();
    }
    QVERIFY2(message.startsWith(expected), qPrintable(message));
}

QTEST_GUILESS_MAIN(TestStatement)
#include "tst_statement.moc"
