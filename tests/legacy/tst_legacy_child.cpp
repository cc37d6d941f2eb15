// SPDX-License-Identifier: GPL-3.0-or-later
// The conversion's reading child: it dies with the conversion, never holds its lock, and keeps
// the library's endless warnings to a summary.
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString endless = QStringLiteral(QUIVEL_REGRESSIONS "/legacy/endless_properties.mdb");

// The children of a process, from the kernel's own list.
QList<pid_t> childrenOf(qint64 pid)
{
    QFile file(u"/proc/%1/task/%1/children"_s.arg(pid));
    QList<pid_t> children;
    if (!file.open(QIODevice::ReadOnly))
        return children;
    for (const QByteArray &word : file.readAll().split(' ')) {
        if (!word.trimmed().isEmpty())
            children.append(pid_t(word.trimmed().toInt()));
    }
    return children;
}

// Gone, or a zombie nobody has reaped yet: it runs no more and holds no file.
bool ended(pid_t pid)
{
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close < 0 || text.mid(close + 2, 1) == "Z" || text.mid(close + 2, 1) == "X";
}

bool lockIsFree(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    const bool free = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fd >= 0)
        ::close(fd);
    return free;
}

} // namespace

class TestLegacyChild : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aKilledConversionLeavesNoReaderAndNoLock_data();
    void aKilledConversionLeavesNoReaderAndNoLock();
    void endlessWarningsAreSummedUp();
};

void TestLegacyChild::aKilledConversionLeavesNoReaderAndNoLock_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("afterMs"); // how long the child has been reading
    QTest::newRow("KILL at once") << int(SIGKILL) << 0;
    QTest::newRow("KILL while reading") << int(SIGKILL) << 500;
    QTest::newRow("TERM while reading") << int(SIGTERM) << 500;
    QTest::newRow("INT while reading") << int(SIGINT) << 500;
}

void TestLegacyChild::aKilledConversionLeavesNoReaderAndNoLock()
{
    QFETCH(int, signal);
    QFETCH(int, afterMs);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"quivel.mdb"_s);
    QVERIFY(QFile::copy(endless, path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);

    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QUIVEL_JET_READ_SECONDS"_s, u"60"_s);
    tool.setProcessEnvironment(env);
    // As from a terminal: the output stays open after the tool is gone.
    tool.setStandardOutputFile(QProcess::nullDevice());
    tool.setStandardErrorFile(QProcess::nullDevice());
    tool.start(QStringLiteral(QUIVEL_CATALOGUE_TOOL), {u"convert"_s, path});
    QVERIFY(tool.waitForStarted());
    QList<pid_t> children;
    QDeadlineTimer deadline(10000);
    while (children.isEmpty() && !deadline.hasExpired()) {
        children = childrenOf(tool.processId());
        if (children.isEmpty())
            QThread::msleep(1);
    }
    QCOMPARE(children.size(), 1);
    const pid_t reader = children.front();
    QThread::msleep(afterMs);
    QVERIFY(!ended(reader));
    // The child holds no lock of its own: the conversion's goes with the conversion.
    if (afterMs > 0)
        QVERIFY(!lockIsFree(path));

    ::kill(pid_t(tool.processId()), signal);
    QVERIFY(tool.waitForFinished(5000));
    QDeadlineTimer gone(2000);
    while (!ended(reader) && !gone.hasExpired())
        QThread::msleep(5);
    QVERIFY2(ended(reader), "the reading child outlived the conversion");
    QVERIFY(lockIsFree(path));
}

void TestLegacyChild::endlessWarningsAreSummedUp()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"quivel.mdb"_s);
    QVERIFY(QFile::copy(endless, path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QUIVEL_JET_READ_SECONDS"_s, u"3"_s);
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral(QUIVEL_CATALOGUE_TOOL), {u"convert"_s, path});
    QVERIFY(tool.waitForFinished(30000));
    QCOMPARE(tool.exitCode(), 1);
    const QByteArray errors = tool.readAllStandardError();
    QVERIFY2(errors.size() < 2000, errors.left(2000).constData());
    QVERIFY2(errors.contains("a biblioteca de leitura deu mais de"), errors.constData());
    QVERIFY2(errors.contains("não foi alterado"), errors.constData());
}

QTEST_GUILESS_MAIN(TestLegacyChild)
#include "tst_legacy_child.moc"
