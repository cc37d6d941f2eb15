// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/file_backup.h"
#include "core/exceptions.h"
#include "exchange/catalogue_exchange.h"
#include "tests/support/temp_catalogue.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestBackup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void backupWhileAnotherProgramWritesThenRestore();
    void restoreRefusesWhatIsNoCatalogue_data();
    void restoreRefusesWhatIsNoCatalogue();
    void backupNeverReplacesAFile();
};

void TestBackup::backupWhileAnotherProgramWritesThenRestore()
{
    const QString sqlite = QStandardPaths::findExecutable(u"sqlite3"_s);
    if (sqlite.isEmpty())
        QSKIP("sqlite3 is not installed (scripts/install-deps.sh installs it)");
    TempCatalogue catalogue;
    catalogue.exec(u"INSERT INTO cds (codigo, titulo, tipo) VALUES (1, 'Mídia', 'CD')"_s);
    constexpr int writes = 3000;
    // Another program saving one title at a time, each save its own transaction.
    QByteArray script = ".timeout 20000\n";
    for (int i = 0; i < writes; ++i)
        script += "INSERT INTO softs (nome, descricao, midia) VALUES ('t" + QByteArray::number(i) +
                  "', 'gravado por outro programa', 1);\n";
    QProcess writer;
    writer.start(sqlite, {catalogue.path()});
    QVERIFY(writer.waitForStarted());
    writer.write(script);
    writer.closeWriteChannel();

    QTemporaryDir dir;
    QList<Exchange::BackupResult> backups;
    while (writer.state() == QProcess::Running && backups.size() < 50) {
        const QString path = dir.filePath(u"copia-%1.qv"_s.arg(backups.size()));
        backups << Exchange::backupCatalogue(catalogue.path(), path);
        // Each copy is whole and holds exactly what its snapshot held.
        QCOMPARE(FileBackup::check(path), QStringList());
        const FileBackup::Counts counts = FileBackup::counts(path);
        QCOMPARE(counts.titles, backups.last().titles);
        QCOMPARE(counts.media, qint64(1));
        QTest::qWait(20);
    }
    // A writer that finished during the backups is done; waiting on it would report false.
    QVERIFY(writer.state() == QProcess::NotRunning || writer.waitForFinished(120000));
    QCOMPARE(writer.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(writer.readAllStandardError()), QString());
    // No save of the other program was lost to a backup's lock.
    QCOMPARE(catalogue.scalar(u"SELECT count(*) FROM softs"_s), QString::number(writes));

    const auto taken = std::find_if(backups.cbegin(), backups.cend(), [](const auto &b) {
        return b.titles > 0 && b.titles < writes;
    });
    QVERIFY2(taken != backups.cend(), "no backup was taken while the other program wrote");

    const Exchange::BackupResult restored =
        Exchange::restoreCatalogue(taken->path, catalogue.path());
    QCOMPARE(restored.titles, taken->titles);
    QCOMPARE(catalogue.scalar(u"SELECT count(*) FROM softs"_s), QString::number(taken->titles));
    QCOMPARE(FileBackup::check(catalogue.path()), QStringList());
    // The catalogue as it was before the restore is kept beside it, whole.
    QVERIFY(restored.path.startsWith(catalogue.path() + u".antes-da-restauracao-"_s));
    QCOMPARE(FileBackup::counts(restored.path).titles, qint64(writes));
    QCOMPARE(FileBackup::check(restored.path), QStringList());
}

void TestBackup::restoreRefusesWhatIsNoCatalogue_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::newRow("text") << QByteArray("não é um catálogo") << u"não pode ser restaurada"_s;
    QTest::newRow("empty") << QByteArray() << u"não pode ser restaurada"_s;
}

void TestBackup::restoreRefusesWhatIsNoCatalogue()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    TempCatalogue catalogue(TempCatalogue::Content::Sample);
    const QByteArray before = catalogue.fileBytes();
    QTemporaryDir dir;
    const QString path = dir.filePath(u"falsa.qv"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    try {
        Exchange::restoreCatalogue(path, catalogue.path());
        QFAIL("restored");
    } catch (const Exception &e) {
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
    }
    QCOMPARE(catalogue.fileBytes(), before);
    QCOMPARE(QDir(catalogue.directory()).entryList(QDir::Files), QStringList{u"quivel.mdb"_s});
}

void TestBackup::backupNeverReplacesAFile()
{
    TempCatalogue catalogue(TempCatalogue::Content::Sample);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"existente"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("meu");
    file.close();
    QVERIFY_THROWS_EXCEPTION(Exception, Exchange::backupCatalogue(catalogue.path(), path));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("meu"));
}

QTEST_GUILESS_MAIN(TestBackup)
#include "tst_backup.moc"
