// SPDX-License-Identifier: GPL-3.0-or-later
// Kills in-place conversions at random moments: the catalogue's name must always hold either
// the untouched original or the complete new catalogue, and a rerun must finish the job.
// QUIVEL_LONG_TESTS=1 makes the run long.
#include "catalogue/catalogue.h"
#include "catalogue/catalogue_check.h"
#include "tests/support/fixtures.h"
#include "tests/support/temp_catalogue.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <chrono>
#include <thread>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool runConversion(const QString &folder)
{
    QProcess tool;
    tool.setWorkingDirectory(folder);
    tool.start(QStringLiteral(QUIVEL_CATALOGUE_TOOL),
               {QStringLiteral("convert"), Catalogue::fileName()});
    return tool.waitForFinished(30000) && tool.exitStatus() == QProcess::NormalExit &&
           tool.exitCode() == 0;
}

} // namespace

class TestLegacyKill : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedConversionLeavesOriginalOrComplete();
};

void TestLegacyKill::killedConversionLeavesOriginalOrComplete()
{
    QUIVEL_REQUIRE_FIXTURE(jet, QStringLiteral("catalogue_jet4.mdb"));
    const QByteArray original = fileBytes(jet);
    const int kills = qEnvironmentVariableIntValue("QUIVEL_LONG_TESTS") == 1 ? 500 : 20;

    TempCatalogue folder(TempCatalogue::Content::None);
    const QString backup = folder.path() + QStringLiteral(".jet-original");
    const auto reset = [&] {
        QDir dir(folder.directory());
        for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden))
            QVERIFY(dir.remove(name));
        QFile file(folder.path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(original), qint64(original.size()));
    };
    // The converted fixture's only finding is its title without a medium.
    const QStringList convertedFindings = {
        QStringLiteral("O título 3 ('Sem mídia') não tem mídia; não aparece nas buscas nem no "
                       "relatório")};
    const auto isComplete = [&] {
        return Legacy::checkCatalogue(folder.path()) == convertedFindings &&
               folder.scalar(QStringLiteral("SELECT count(*) FROM cds")) == u"4" &&
               folder.scalar(QStringLiteral("SELECT count(*) FROM softs")) == u"3" &&
               fileBytes(backup) == original;
    };

    reset();
    QElapsedTimer timer;
    timer.start();
    QVERIFY(runConversion(folder.directory()));
    const qint64 fullRunUs = timer.nsecsElapsed() / 1000;
    QVERIFY(isComplete());

    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    int keptOriginal = 0;
    int completed = 0;
    for (int i = 0; i < kills; ++i) {
        reset();
        QProcess tool;
        tool.setWorkingDirectory(folder.directory());
        tool.start(QStringLiteral(QUIVEL_CATALOGUE_TOOL),
                   {QStringLiteral("convert"), Catalogue::fileName()});
        QVERIFY(tool.waitForStarted());
        const qint64 delayUs = qint64(random.bounded(quint32(fullRunUs * 12 / 10 + 1)));
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
        tool.kill();
        QVERIFY(tool.waitForFinished(30000));

        const QByteArray now = fileBytes(folder.path());
        const QString where =
            QStringLiteral("kill %1 after %2 µs (seed %3)").arg(i).arg(delayUs).arg(seed);
        if (now == original) {
            ++keptOriginal;
            QVERIFY2(!QFileInfo::exists(backup) || fileBytes(backup) == original,
                     qPrintable(where));
            // Whatever an interrupted run left beside it, a new run finishes the conversion.
            QVERIFY2(runConversion(folder.directory()), qPrintable(where));
        } else {
            ++completed;
        }
        QVERIFY2(isComplete(), qPrintable(where));
    }
    qInfo("%d kills: %d left the original, %d the new catalogue (full run %lld µs, seed %u)", kills,
          keptOriginal, completed, fullRunUs, seed);
}

QTEST_GUILESS_MAIN(TestLegacyKill)
#include "tst_legacy_kill.moc"
