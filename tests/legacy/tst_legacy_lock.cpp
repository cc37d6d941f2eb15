// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exceptions.h"
#include "tests/support/dead_process.h"
#include "tools/legacy/convert.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString fixture()
{
    return qEnvironmentVariable("QUIVEL_FIXTURES") + u"/legacy/catalogue_jet4.mdb"_s;
}

QStringList folderEntries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace

class TestLegacyLock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY2(QFile::exists(fixture()), qPrintable(u"missing fixture "_s + fixture()));
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(u"quivel.mdb"_s);
        QFile::remove(m_path);
        QVERIFY(QFile::copy(fixture(), m_path));
        QVERIFY(QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner));
    }
    void cleanup()
    {
        for (const QString &entry : folderEntries(m_dir.path()))
            QFile::remove(m_dir.filePath(entry));
    }
    void aSecondConversionOfTheSameFileIsRefused();
    void leftoversOfAKilledRunAreRemovedOnceItIsGone();

private:
    QTemporaryDir m_dir;
    QString m_path;
};

void TestLegacyLock::aSecondConversionOfTheSameFileIsRefused()
{
    QFile original(m_path);
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray before = original.readAll();
    // The lock another conversion would hold.
    const int held = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
    QCOMPARE(::flock(held, LOCK_EX | LOCK_NB), 0);
    try {
        Legacy::convertJetCatalogue(m_path, QString());
        QFAIL("a second conversion ran beside the first");
    } catch (const Exception &e) {
        QVERIFY2(e.message().contains(u"já está sendo convertido por outro processo"_s),
                 qPrintable(e.message()));
    }
    try {
        Legacy::convertJetCatalogue(m_path, m_dir.filePath(u"outro.db"_s));
        QFAIL("a second conversion to another name ran beside the first");
    } catch (const Exception &) {
    }
    ::close(held);
    QCOMPARE(folderEntries(m_dir.path()), QStringList{u"quivel.mdb"_s});
    original.seek(0);
    QCOMPARE(original.readAll(), before);

    // Once the first is done, the file converts.
    const Legacy::ConversionResult result = Legacy::convertJetCatalogue(m_path, QString());
    QCOMPARE(result.backup, m_path + Legacy::backupSuffix());
}

void TestLegacyLock::leftoversOfAKilledRunAreRemovedOnceItIsGone()
{
    const QString dead = u"quivel.mdb.convert-%1.tmp"_s.arg(deadPid());
    const QString alive = u"quivel.mdb.convert-%1.tmp"_s.arg(::getppid());
    for (const QString &name : {dead, dead + u"-journal"_s, alive}) {
        QFile file(m_dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("resto");
    }
    Legacy::convertJetCatalogue(m_path, QString());
    QCOMPARE(folderEntries(m_dir.path()),
             (QStringList{u"quivel.mdb"_s, alive, u"quivel.mdb.jet-original"_s}));
}

QTEST_GUILESS_MAIN(TestLegacyLock)
#include "tst_legacy_lock.moc"
