// SPDX-License-Identifier: GPL-3.0-or-later
// Old-format files that send the reading library astray are refused within the time limit.
#include "core/exceptions.h"
#include "tools/legacy/convert.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestLegacyLimits : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void endlessReadIsStoppedAndTheFileKept();
};

void TestLegacyLimits::endlessReadIsStoppedAndTheFileKept()
{
    qputenv("QUIVEL_JET_READ_SECONDS", "3");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quivel.mdb"));
    QVERIFY(QFile::copy(QStringLiteral(QUIVEL_REGRESSIONS "/legacy/endless_properties.mdb"), path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    try {
        Legacy::convertJetCatalogue(path, QString());
        QFAIL("a file that never finishes reading was converted");
    } catch (const Exception &e) {
        QVERIFY2(e.message().contains(QStringLiteral("danificado")), qPrintable(e.message()));
    }
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("quivel.mdb")});
}

QTEST_GUILESS_MAIN(TestLegacyLimits)
#include "tst_legacy_limits.moc"
