// SPDX-License-Identifier: GPL-3.0-or-later
// Catalogues of the first version, made before titles had kinds, brought to this one.
#include "catalogue/catalogue.h"
#include "catalogue/catalogue_check.h"
#include "catalogue/upgrade.h"
#include "core/exceptions.h"
#include "core/schema.h"
#include "data/connection.h"
#include "tests/support/fixtures.h"
#include "tests/support/temp_catalogue.h"
#include "tests/support/version1.h"
#include "tools/legacy/convert.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

const QString mediaColumns = u"codigo, titulo, obs, tipo, local"_s;
const QString titleColumns = u"numero, nome, descricao, midia"_s;

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList folderEntries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// What a table looks like to the program and the checker: its columns, types, NOT NULL and
// default, and its indexes.
QString shapeOf(const QString &path)
{
    QString shape;
    for (const char *table : {"cds", "softs", "categorias"}) {
        shape += tableDump(path, u"pragma_table_info('%1')"_s.arg(QLatin1String(table)),
                           u"cid, name, type, \"notnull\", dflt_value, pk"_s);
        shape += tableDump(path, u"pragma_index_list('%1')"_s.arg(QLatin1String(table)),
                           u"name, \"unique\""_s);
    }
    return shape;
}

// A catalogue of this version made the way a row asks, in `path`.
void makeSource(const QString &kind, const QString &path)
{
    if (kind == u"sample") {
        Catalogue::createSample(path);
    } else if (kind == u"large") {
        Catalogue::createLarge(path, 2000, 60000);
    } else {
        const QString jet = legacyFixturePath(u"catalogue_jet4.mdb"_s);
        if (jet.isEmpty())
            return;
        Legacy::convertJetCatalogue(jet, path);
    }
}

} // namespace

class TestKindsUpgrade : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void upgradeKeepsEveryRowAndMakesEveryTitleSoftware_data();
    void upgradeKeepsEveryRowAndMakesEveryTitleSoftware();
    void killedUpgradeLeavesTheOriginalIntact();
    void programOpensOnlyThisVersion_data();
    void programOpensOnlyThisVersion();
    void upgradeForUserTellsOnce();
};

void TestKindsUpgrade::upgradeKeepsEveryRowAndMakesEveryTitleSoftware_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("sample") << u"sample"_s;
    QTest::newRow("large") << u"large"_s;
    QTest::newRow("converted legacy fixture") << u"legacy"_s;
}

void TestKindsUpgrade::upgradeKeepsEveryRowAndMakesEveryTitleSoftware()
{
    QFETCH(QString, kind);
    TempCatalogue fresh(TempCatalogue::Content::None);
    makeSource(kind, fresh.path());
    if (!QFile::exists(fresh.path())) {
        QUIVEL_REQUIRE_FIXTURE(jet, u"catalogue_jet4.mdb"_s);
    }
    TempCatalogue old(TempCatalogue::Content::None);
    writeVersion1Copy(fresh.path(), old.path());
    QCOMPARE(old.scalar(u"PRAGMA user_version"_s), u"1"_s);
    const QByteArray before = old.fileBytes();
    const QString media = tableDump(old.path(), u"cds"_s, mediaColumns);
    const QString titles = tableDump(old.path(), u"softs"_s, titleColumns);
    const QString counters = tableDump(old.path(), u"sqlite_sequence"_s, u"name, seq"_s);
    QVERIFY(!titles.isEmpty());

    const Legacy::UpgradeResult result = Legacy::upgradeCatalogue(old.path());

    QCOMPARE(result.fromVersion, 1);
    QCOMPARE(result.toVersion, Schema::version);
    QCOMPARE(old.scalar(u"PRAGMA user_version"_s), QString::number(Schema::version));
    QCOMPARE(tableDump(old.path(), u"cds"_s, mediaColumns), media);
    QCOMPARE(tableDump(old.path(), u"softs"_s, titleColumns), titles);
    QCOMPARE(old.scalar(u"SELECT count(*) FROM softs JOIN categorias ON id_categoria = categoria "
                        "WHERE nome_categoria = 'Software'"_s),
             old.scalar(u"SELECT count(*) FROM softs"_s));
    QCOMPARE(old.scalar(u"SELECT group_concat(nome_categoria, '|') FROM (SELECT nome_categoria "
                        "FROM categorias ORDER BY id_categoria)"_s),
             u"Software|Jogo|Filme|Música|Documento|Outros"_s);
    // The counters carry on, so no new row gets a code already given.
    QCOMPARE(tableDump(old.path(), u"sqlite_sequence"_s, u"name, seq"_s),
             u"'categorias'|6\n"_s + counters);
    // The same catalogue as one made new, to the program and to the checker.
    QCOMPARE(shapeOf(old.path()), shapeOf(fresh.path()));
    QCOMPARE(Legacy::checkCatalogue(old.path()), Legacy::checkCatalogue(fresh.path()));
    QCOMPARE(tableDump(old.path(), u"softs"_s, titleColumns + u", categoria"_s),
             tableDump(fresh.path(), u"softs"_s, titleColumns + u", categoria"_s));

    QCOMPARE(result.backup, old.path() + u".v1-original"_s);
    QCOMPARE(bytesOf(result.backup), before);
    QCOMPARE(folderEntries(old.directory()),
             (QStringList{u"quivel.mdb"_s, u"quivel.mdb.v1-original"_s}));
}

void TestKindsUpgrade::killedUpgradeLeavesTheOriginalIntact()
{
    TempCatalogue fresh(TempCatalogue::Content::None);
    Catalogue::createLarge(fresh.path(), 5000, 200000);
    TempCatalogue timing(TempCatalogue::Content::None);
    writeVersion1Copy(fresh.path(), timing.path());
    const QByteArray original = timing.fileBytes();

    const auto startUpgrade = [](QProcess &tool, const QString &path) {
        tool.start(QStringLiteral(QUIVEL_CATALOGUE_TOOL), {u"upgrade"_s, path});
        return tool.waitForStarted();
    };
    QElapsedTimer clock;
    clock.start();
    {
        QProcess tool;
        QVERIFY(startUpgrade(tool, timing.path()));
        QVERIFY(tool.waitForFinished(120000));
        QCOMPARE(tool.exitCode(), 0);
    }
    const qint64 whole = clock.elapsed();

    int keptOld = 0;
    int upgraded = 0;
    for (int step = 0; step < 10; ++step) {
        TempCatalogue copy(TempCatalogue::Content::None);
        QVERIFY(QFile::copy(timing.path() + u".v1-original"_s, copy.path()));
        QProcess tool;
        QVERIFY(startUpgrade(tool, copy.path()));
        // From at once to just past the time a whole run takes.
        QTest::qSleep(int(whole * step / 8));
        ::kill(pid_t(tool.processId()), SIGKILL);
        QVERIFY(tool.waitForFinished(10000));

        // Either the original as it was, or the upgraded catalogue with the original beside it.
        const int version = copy.scalar(u"PRAGMA user_version"_s).toInt();
        if (version == 1) {
            ++keptOld;
            QCOMPARE(copy.fileBytes(), original);
        } else {
            ++upgraded;
            QCOMPARE(version, Schema::version);
            QCOMPARE(bytesOf(copy.path() + u".v1-original"_s), original);
            QCOMPARE(Legacy::checkCatalogue(copy.path()), QStringList());
        }
        // A later run finishes the job and leaves nothing of the killed one.
        const Legacy::UpgradeResult again = Legacy::upgradeCatalogue(copy.path());
        QCOMPARE(again.toVersion, Schema::version);
        QCOMPARE(Legacy::checkCatalogue(copy.path()), QStringList());
        for (const QString &entry : folderEntries(copy.directory()))
            QVERIFY2(!entry.endsWith(u".tmp"_s), qPrintable(entry));
    }
    qInfo("upgrade of 200,000 titles: %lld ms; killed runs left the original %d times and the "
          "upgraded catalogue %d times",
          whole, keptOld, upgraded);
    QVERIFY(keptOld > 0);
}

void TestKindsUpgrade::programOpensOnlyThisVersion_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("message"); // empty: opens
    QTest::newRow("older") << 1
                           << u"é da versão 1, anterior a esta do Quivel; atualize-o com "
                              "o comando: quivel-catalogue upgrade"_s;
    QTest::newRow("this one") << Schema::version << QString();
    QTest::newRow("newer") << Schema::version + 1
                           << u"foi criado por uma versão mais nova do Quivel e não pode ser "
                              "aberto por esta"_s;
}

void TestKindsUpgrade::programOpensOnlyThisVersion()
{
    QFETCH(int, version);
    QFETCH(QString, message);
    TempCatalogue catalogue(TempCatalogue::Content::Sample);
    catalogue.exec(u"PRAGMA user_version = %1"_s.arg(version));
    const QByteArray before = catalogue.fileBytes();
    TADOConnection connection;
    connection.setConnectionString(Catalogue::connectionString(catalogue.directory()),
                                   catalogue.path());
    QString failure;
    try {
        connection.open();
    } catch (const Exception &e) {
        failure = e.message();
    }
    if (message.isEmpty()) {
        QCOMPARE(failure, QString());
        QVERIFY(connection.connected());
    } else {
        QVERIFY2(failure.contains(message), qPrintable(failure));
        QVERIFY(!connection.connected());
    }
    connection.close();
    QCOMPARE(catalogue.fileBytes(), before);
}

void TestKindsUpgrade::upgradeForUserTellsOnce()
{
    TempCatalogue fresh(TempCatalogue::Content::None);
    Catalogue::createSample(fresh.path());
    TempCatalogue folder(TempCatalogue::Content::None);
    writeVersion1Copy(fresh.path(), folder.path());

    const QString notice = Legacy::upgradeForUser(folder.path());
    QVERIFY2(notice.contains(u"foi atualizado para a versão %1"_s.arg(Schema::version)),
             qPrintable(notice));
    QVERIFY2(notice.contains(folder.path() + u".v1-original"_s), qPrintable(notice));
    QVERIFY2(notice.contains(u"\"Software\""_s), qPrintable(notice));
    QCOMPARE(Legacy::upgradeForUser(folder.path()), QString()); // nothing more to say
    QCOMPARE(Legacy::fileVersion(folder.path()), Schema::version);

    // A catalogue of a newer version is refused as it stands.
    folder.exec(u"PRAGMA user_version = %1"_s.arg(Schema::version + 1));
    QCOMPARE(Legacy::upgradeForUser(folder.path()), QString());
    QCOMPARE(Legacy::fileVersion(folder.path()), Schema::version + 1);
    // No catalogue at all, or one of the old Access format: nothing for the upgrade to do.
    QCOMPARE(Legacy::fileVersion(folder.directory() + u"/nenhum.mdb"_s), -1);
}

QTEST_GUILESS_MAIN(TestKindsUpgrade)
#include "tst_kinds_upgrade.moc"
