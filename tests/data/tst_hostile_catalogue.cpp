// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exceptions.h"
#include "data/connection.h"
#include "data/data_module.h"
#include "data/engine/sqlite/statement.h"
#include "data/query.h"
#include "tests/support/temp_catalogue.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSet>
#include <QTest>

#include <sqlite3.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// What a hostile file must never change: the folder's names, each entry's kind and, for
// regular files, their bytes.
QStringList folderState(const QString &folder)
{
    QStringList state;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(
             QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        struct stat info;
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        ::lstat(path.constData(), &info);
        QString entry = name + u' ' + QString::number(info.st_mode, 8);
        if (S_ISREG(info.st_mode)) {
            QFile file(dir.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                entry += u' ' + QString::fromLatin1(QCryptographicHash::hash(
                                                        file.readAll(), QCryptographicHash::Sha256)
                                                        .toHex());
        }
        state.append(entry);
    }
    return state;
}

} // namespace

class TestHostileCatalogue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void connectionKeepsEverySaveThroughAPowerCut();
    void hostileShapesAreAnsweredAtOnce_data();
    void hostileShapesAreAnsweredAtOnce();
    void anEndlessStatementIsInterrupted();
    void eachReadOnlyCauseHasItsOwnMessage();
    void aFileReplacedWhileOpenIsNamedSo();
    void aFileInWalModeGoesBackToTheJournal();
    void checkCreatesNothingAndSpeaksPortuguese_data();
    void checkCreatesNothingAndSpeaksPortuguese();
};

void TestHostileCatalogue::connectionKeepsEverySaveThroughAPowerCut()
{
    TempCatalogue cat(TempCatalogue::Content::Sample);
    TADOConnection connection;
    connection.setConnectionString(u"Data Source="_s + cat.path() + u';');
    connection.open();
    const auto pragma = [&](const char *sql) {
        TADOQuery query(u"pragma"_s, &connection);
        query.setSql({QString::fromUtf8(sql)});
        query.open();
        return query.textAt(0, 0);
    };
    // 3 is EXTRA: the folder is synced once the journal is deleted.
    QCOMPARE(pragma("PRAGMA synchronous"), u"3"_s);
    QCOMPARE(pragma("PRAGMA journal_mode"), u"delete"_s);
}

void TestHostileCatalogue::hostileShapesAreAnsweredAtOnce_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<QString>("expected"); // from the program; empty when it opens as usual
    QTest::addColumn<int>("checkExit");
    QTest::addColumn<QString>("checkText");
    QTest::newRow("endless view in place of cds")
        << u"recursive view"_s << u"não é uma tabela"_s << 1 << u"não é uma tabela"_s;
    QTest::newRow("huge cross join in place of softs")
        << u"cross join view"_s << u"não é uma tabela"_s << 1 << u"não é uma tabela"_s;
    QTest::newRow("FIFO") << u"fifo"_s << u"não é um arquivo comum"_s << 1
                          << u"não é um arquivo comum"_s;
    QTest::newRow("device") << u"device"_s << u"não é um arquivo comum"_s << 1
                            << u"não é um arquivo comum"_s;
    QTest::newRow("symbolic link loop")
        << u"loop"_s << u"leva a si mesmo"_s << 1 << u"leva a si mesmo"_s;
    // Values the program still reads and writes back (see the foreign rows test).
    QTest::newRow("oversized value") << u"'%1'"_s.arg(QString(40, u'é')) << QString() << 1
                                     << u"40 caracteres na coluna 'titulo'"_s;
    QTest::newRow("invalid UTF-8")
        << u"CAST(x'41ff42c3' AS TEXT)"_s << QString() << 0 << u"Nenhum problema"_s;
    QTest::newRow("blob") << u"x'00010203fe'"_s << QString() << 0 << u"Nenhum problema"_s;
}

void TestHostileCatalogue::hostileShapesAreAnsweredAtOnce()
{
    QFETCH(QString, shape);
    QFETCH(QString, expected);
    QFETCH(int, checkExit);
    QFETCH(QString, checkText);
    const bool value = expected.isEmpty();
    TempCatalogue cat(shape.endsWith(u"view") || value ? TempCatalogue::Content::Sample
                                                       : TempCatalogue::Content::None);
    const QByteArray path = QFile::encodeName(cat.path());
    if (shape == u"recursive view") {
        cat.exec(u"DROP TABLE cds; CREATE VIEW cds AS WITH RECURSIVE r(codigo, titulo, obs, "
                 "tipo, local) AS (SELECT 1, 'a', 'b', 'c', 'd' UNION ALL SELECT codigo + 1, "
                 "titulo, obs, tipo, local FROM r) SELECT * FROM r"_s);
    } else if (shape == u"cross join view") {
        cat.exec(u"DROP TABLE softs; CREATE VIEW softs AS SELECT a.codigo AS numero, a.titulo "
                 "AS nome, b.obs AS descricao, c.codigo AS midia FROM cds a, cds b, cds c, cds "
                 "d, cds e"_s);
    } else if (value) {
        cat.exec(u"PRAGMA ignore_check_constraints = 1; UPDATE cds SET titulo = %1 WHERE "
                 "codigo = 3"_s.arg(shape));
    } else if (shape == u"fifo") {
        QCOMPARE(::mkfifo(path.constData(), 0600), 0);
    } else if (shape == u"device") {
        QCOMPARE(::symlink("/dev/zero", path.constData()), 0);
    } else {
        QCOMPARE(::symlink("quivel.mdb", path.constData()), 0);
    }
    const QStringList before = folderState(cat.directory());

    QElapsedTimer clock;
    clock.start();
    QStringList messages;
    {
        CurrentDirectory cd(cat.directory());
        TDm1 dm([&messages](const QString &line) { messages << line; });
    }
    // A bound on a hang, not a speed goal: these used to run without end.
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(messages.size(), value ? 0 : 1);
    if (!value)
        QVERIFY2(messages[0].contains(expected), qPrintable(messages[0]));
    QCOMPARE(folderState(cat.directory()), before);

    QProcess tool;
    tool.start(QStringLiteral(QUIVEL_CATALOGUE_TOOL), {u"check"_s, cat.path()});
    QVERIFY(tool.waitForFinished(30000));
    const QString output = QString::fromUtf8(tool.readAll());
    QCOMPARE(tool.exitCode(), checkExit);
    QVERIFY2(output.contains(checkText), qPrintable(output));
    QCOMPARE(folderState(cat.directory()), before);
}

void TestHostileCatalogue::anEndlessStatementIsInterrupted()
{
    TempCatalogue cat;
    TADOConnection connection;
    connection.setConnectionString(u"Data Source="_s + cat.path() + u';');
    connection.statementTimeLimitMs = 300;
    TADOQuery query(u"ADOQuery1"_s, &connection);
    query.setSql({u"WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) "
                  "SELECT count(*) FROM r"_s});
    try {
        query.open();
        QFAIL("an endless statement ended");
    } catch (const EOleException &e) {
        QVERIFY2(e.message().contains(u"demorou demais e foi interrompida"_s),
                 qPrintable(e.message()));
    }
    QVERIFY(!query.active());
    // The limit is per statement: the next one runs as usual.
    query.setSql({u"SELECT count(*) FROM cds"_s});
    query.open();
    QCOMPARE(query.fieldText(0), u"0"_s);
}

void TestHostileCatalogue::eachReadOnlyCauseHasItsOwnMessage()
{
    const QString path = u"/pasta/quivel.mdb"_s;
    const QList<std::pair<int, QString>> causes = {
        {SQLITE_READONLY, u"está protegido contra gravação"_s},
        {SQLITE_READONLY_ROLLBACK, u"gravação interrompida"_s},
        {SQLITE_READONLY_CANTINIT, u"modo WAL"_s},
        {SQLITE_READONLY_DBMOVED, u"apagado, movido ou substituído"_s},
        {SQLITE_READONLY_DIRECTORY, u"pasta do catálogo"_s},
    };
    QSet<QString> texts;
    for (const auto &[code, fragment] : causes) {
        const QString message =
            EngineError(code, u"attempt to write a readonly database"_s, path).message();
        QVERIFY2(message.contains(fragment) && message.contains(path), qPrintable(message));
        texts.insert(message);
    }
    QCOMPARE(texts.size(), causes.size());
}

void TestHostileCatalogue::aFileReplacedWhileOpenIsNamedSo()
{
    TempCatalogue cat(TempCatalogue::Content::Sample);
    TADOConnection connection;
    connection.setConnectionString(u"Data Source="_s + cat.path() + u';');
    TADOQuery query(u"ADOQuery1"_s, &connection);
    query.setSql({u"select * from cds"_s});
    query.open();
    const QString copy = cat.path() + u".copia"_s;
    QVERIFY(QFile::copy(cat.path(), copy));
    QCOMPARE(
        ::rename(QFile::encodeName(copy).constData(), QFile::encodeName(cat.path()).constData()),
        0);
    query.edit();
    query.fieldByName(u"titulo"_s)->setAsString(u"novo"_s);
    try {
        query.post();
        QFAIL("a save into a replaced file succeeded");
    } catch (const EOleException &e) {
        QVERIFY2(e.message().contains(u"apagado, movido ou substituído"_s),
                 qPrintable(e.message()));
    }
    QCOMPARE(query.state(), TDataSetState::Edit);
}

void TestHostileCatalogue::aFileInWalModeGoesBackToTheJournal()
{
    TempCatalogue cat(TempCatalogue::Content::Sample);
    QCOMPARE(cat.scalar(u"PRAGMA journal_mode = WAL"_s), u"wal"_s);
    {
        TADOConnection connection;
        connection.setConnectionString(u"Data Source="_s + cat.path() + u';');
        connection.open();
        TADOQuery query(u"q"_s, &connection);
        query.setSql({u"select * from cds"_s});
        query.open();
        query.edit();
        query.fieldByName(u"titulo"_s)->setAsString(u"novo"_s);
        query.post();
        QVERIFY(!QFile::exists(cat.path() + u"-wal"_s));
    }
    QCOMPARE(cat.scalar(u"PRAGMA journal_mode"_s), u"delete"_s);
    QCOMPARE(cat.scalar(u"SELECT count(*) FROM cds WHERE titulo = 'novo'"_s), u"1"_s);
    QCOMPARE(QDir(cat.directory()).entryList(QDir::Files), QStringList{u"quivel.mdb"_s});
}

void TestHostileCatalogue::checkCreatesNothingAndSpeaksPortuguese_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("expected");
    QTest::newRow("leftover journal") << u"journal"_s << 1 << u"gravação interrompida"_s;
    QTest::newRow("WAL mode") << u"wal"_s << 0 << u"Nenhum problema"_s;
}

void TestHostileCatalogue::checkCreatesNothingAndSpeaksPortuguese()
{
    QFETCH(QString, shape);
    QFETCH(int, exitCode);
    QFETCH(QString, expected);
    TempCatalogue cat(TempCatalogue::Content::Sample);
    if (shape == u"journal") {
        // Not empty and not starting with a zero byte: the engine takes it for a hot journal.
        QFile journal(cat.path() + u"-journal"_s);
        QVERIFY(journal.open(QIODevice::WriteOnly));
        journal.write(QByteArray(512, '\xd9'));
    } else {
        QCOMPARE(cat.scalar(u"PRAGMA journal_mode = WAL"_s), u"wal"_s);
    }
    const QStringList before = folderState(cat.directory());
    QProcess tool;
    tool.start(QStringLiteral(QUIVEL_CATALOGUE_TOOL), {u"check"_s, cat.path()});
    QVERIFY(tool.waitForFinished(30000));
    const QString output = QString::fromUtf8(tool.readAll());
    QCOMPARE(tool.exitCode(), exitCode);
    QVERIFY2(output.contains(expected), qPrintable(output));
    QVERIFY2(!output.contains(u"readonly"_s), qPrintable(output));
    QCOMPARE(folderState(cat.directory()), before);
}

QTEST_GUILESS_MAIN(TestHostileCatalogue)
#include "tst_hostile_catalogue.moc"
