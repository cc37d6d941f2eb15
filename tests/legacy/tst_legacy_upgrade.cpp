// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/upgrade.h"
#include "core/exceptions.h"
#include "core/schema.h"
#include "tests/support/catalogue_tool.h"
#include "tests/support/dead_process.h"
#include "tests/support/temp_catalogue.h"

#include <QDir>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr int toolTimeLimitMs = 60000;

QStringList folderEntries(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// A made-up next version: the steps a real one would add to the schema.
constexpr int current = Schema::version;
constexpr int next = Schema::version + 1;
constexpr Schema::Migration addColumn[] = {
    {current,
     "ALTER TABLE cds ADD COLUMN emprestado INTEGER; CREATE INDEX cds_tipo ON cds (tipo);"}};
constexpr Schema::Migration brokenStep[] = {{current, "ALTER TABLE nenhuma ADD COLUMN x INTEGER;"}};
const QString backupName = u"quivel.mdb.v%1-original"_s.arg(current);

} // namespace

class TestLegacyUpgrade : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void runsTheStepsOnACopyAndSwapsItIn();
    void leftoversOfAKilledRunAreRemovedOnceItIsGone();
    void refusesLeavingTheFileUntouched_data();
    void refusesLeavingTheFileUntouched();
    void toolLeavesTheCurrentVersionAlone();
    void toolRefusesANewerVersionAsTheProgramDoes();
    void toolRefusesADamagedFile_data();
    void toolRefusesADamagedFile();
};

void TestLegacyUpgrade::runsTheStepsOnACopyAndSwapsItIn()
{
    TempCatalogue cat(TempCatalogue::Content::Sample);
    const QByteArray before = cat.fileBytes();
    const QString titles = cat.scalar(u"SELECT group_concat(nome, '|') FROM softs"_s);

    const Legacy::UpgradeResult result = Legacy::upgradeCatalogue(cat.path(), addColumn, next);
    QCOMPARE(result.fromVersion, current);
    QCOMPARE(result.toVersion, next);
    QCOMPARE(result.backup, cat.path() + u".v%1-original"_s.arg(current));

    QCOMPARE(cat.scalar(u"PRAGMA user_version"_s), QString::number(next));
    QCOMPARE(cat.scalar(u"SELECT count(*) FROM pragma_table_info('cds') WHERE name = "
                        u"'emprestado'"_s),
             u"1"_s);
    QCOMPARE(cat.scalar(u"SELECT group_concat(nome, '|') FROM softs"_s), titles);
    QCOMPARE(cat.scalar(u"PRAGMA integrity_check"_s), u"ok"_s);
    QFile original(result.backup);
    QVERIFY(original.open(QIODevice::ReadOnly));
    QCOMPARE(original.readAll(), before);
    // Nothing of the copy is left behind.
    QCOMPARE(folderEntries(cat.directory()), (QStringList{u"quivel.mdb"_s, backupName}));
}

void TestLegacyUpgrade::leftoversOfAKilledRunAreRemovedOnceItIsGone()
{
    TempCatalogue cat(TempCatalogue::Content::Sample);
    const QString dead = u"quivel.mdb.upgrade-%1.tmp"_s.arg(deadPid());
    const QString alive = u"quivel.mdb.upgrade-%1.tmp"_s.arg(::getppid());
    // Another command's leftover is not the upgrade's to remove.
    const QString converting = u"quivel.mdb.convert-%1.tmp"_s.arg(deadPid());
    for (const QString &name : {dead, dead + u"-journal"_s, alive, converting}) {
        QFile file(QDir(cat.directory()).filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("resto");
    }
    Legacy::upgradeCatalogue(cat.path(), addColumn, next);
    QCOMPARE(folderEntries(cat.directory()),
             (QStringList{u"quivel.mdb"_s, converting, alive, backupName}));
}

void TestLegacyUpgrade::refusesLeavingTheFileUntouched_data()
{
    QTest::addColumn<QString>("setUp");
    QTest::addColumn<int>("steps"); // 0 none, 1 a working one, 2 a broken one
    QTest::addColumn<int>("newest");
    QTest::addColumn<QString>("message");
    QTest::newRow("newer version")
        << u"PRAGMA user_version = %1"_s.arg(next) << 1 << current << u"versão mais nova"_s;
    QTest::newRow("no step from its version")
        << u"PRAGMA user_version = 0"_s << 1 << current << u"versão 0, que esta versão"_s;
    QTest::newRow("no step at all")
        << QString() << 0 << next << u"versão %1, que esta versão"_s.arg(current);
    QTest::newRow("failing step") << QString() << 2 << next << u"no such table: nenhuma"_s;
}

void TestLegacyUpgrade::refusesLeavingTheFileUntouched()
{
    QFETCH(QString, setUp);
    QFETCH(int, steps);
    QFETCH(int, newest);
    QFETCH(QString, message);
    TempCatalogue cat(TempCatalogue::Content::Sample);
    if (!setUp.isEmpty())
        cat.exec(setUp);
    const QByteArray before = cat.fileBytes();
    const std::span<const Schema::Migration> migrations =
        steps == 0   ? std::span<const Schema::Migration>()
        : steps == 1 ? std::span<const Schema::Migration>(addColumn)
                     : std::span<const Schema::Migration>(brokenStep);
    try {
        Legacy::upgradeCatalogue(cat.path(), migrations, newest);
        QFAIL("the upgrade was not refused");
    } catch (const Exception &e) {
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
    }
    QCOMPARE(cat.fileBytes(), before);
    QCOMPARE(folderEntries(cat.directory()), QStringList{u"quivel.mdb"_s});
}

void TestLegacyUpgrade::toolLeavesTheCurrentVersionAlone()
{
    TempCatalogue cat(TempCatalogue::Content::Sample);
    const QByteArray before = cat.fileBytes();
    const ToolRun run = runTool({u"upgrade"_s, cat.path()}, toolTimeLimitMs);
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.output.contains(u"já está na versão %1; nada foi alterado"_s.arg(Schema::version)),
             qPrintable(run.output));
    QCOMPARE(cat.fileBytes(), before);
    QCOMPARE(folderEntries(cat.directory()), QStringList{u"quivel.mdb"_s});
}

void TestLegacyUpgrade::toolRefusesANewerVersionAsTheProgramDoes()
{
    TempCatalogue cat(TempCatalogue::Content::Sample);
    cat.exec(u"PRAGMA user_version = %1"_s.arg(Schema::version + 1));
    const QByteArray before = cat.fileBytes();
    const ToolRun run = runTool({u"upgrade"_s, cat.path()}, toolTimeLimitMs);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.output.contains(u"foi criado por uma versão mais nova do Quivel"_s),
             qPrintable(run.output));
    QVERIFY2(run.output.contains(u"não foi alterado"_s), qPrintable(run.output));
    // check tells the same, where it used to find nothing wrong.
    const ToolRun check = runTool({u"check"_s, cat.path()}, toolTimeLimitMs);
    QCOMPARE(check.exitCode, 1);
    QVERIFY2(check.output.contains(u"foi criado por uma versão mais nova do Quivel"_s),
             qPrintable(check.output));
    QCOMPARE(cat.fileBytes(), before);
    QCOMPARE(folderEntries(cat.directory()), QStringList{u"quivel.mdb"_s});
}

void TestLegacyUpgrade::toolRefusesADamagedFile_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("truncated") << u"truncated"_s;
    QTest::newRow("malformed page") << u"malformed"_s;
}

// A damaged file is never called up to date.
void TestLegacyUpgrade::toolRefusesADamagedFile()
{
    QFETCH(QString, damage);
    TempCatalogue cat(TempCatalogue::Content::Sample);
    const int pageSize = cat.scalar(u"PRAGMA page_size"_s).toInt();
    QByteArray bytes = cat.fileBytes();
    if (damage == u"truncated") {
        bytes.truncate(bytes.size() / 2);
    } else {
        // The last page's b-tree header: a page type no b-tree has.
        bytes[bytes.size() - pageSize] = '\x7f';
    }
    {
        QFile file(cat.path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    const ToolRun run = runTool({u"upgrade"_s, cat.path()}, toolTimeLimitMs);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.output.contains(u"danificado"_s) || run.output.contains(u"integridade"_s),
             qPrintable(run.output));
    QVERIFY2(!run.output.contains(u"já está na versão"_s), qPrintable(run.output));
    QCOMPARE(cat.fileBytes(), bytes);
    QCOMPARE(folderEntries(cat.directory()), QStringList{u"quivel.mdb"_s});
}

QTEST_GUILESS_MAIN(TestLegacyUpgrade)
#include "tst_legacy_upgrade.moc"
