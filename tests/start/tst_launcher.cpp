// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The launcher becomes the program beside it; a stand-in program says it was reached.
struct Launcher
{
    QTemporaryDir bin;
    QTemporaryDir home;
    QTemporaryDir config;
    QProcess process;

    Launcher()
    {
        QFile::copy(QStringLiteral(QUIVEL_START_TOOL), bin.filePath(u"quivel-start"_s));
        QFile::setPermissions(bin.filePath(u"quivel-start"_s),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile program(bin.filePath(u"quivel"_s));
        program.open(QIODevice::WriteOnly);
        program.write("#!/bin/sh\necho \"programa iniciado em $(pwd)\"\n");
        program.close();
        program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void start()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QUIVEL_HOME"_s, home.path());
        env.insert(u"XDG_CONFIG_HOME"_s, config.path());
        env.remove(u"QUIVEL_DATABASE"_s);
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        process.setProcessEnvironment(env);
        process.start(bin.filePath(u"quivel-start"_s), {});
        process.waitForStarted();
    }

    // Output until `text` appears or the time runs out.
    QString waitFor(const QString &text, int milliseconds = 20000)
    {
        QString output;
        QDeadlineTimer deadline(milliseconds);
        while (!output.contains(text) && !deadline.hasExpired()) {
            process.waitForReadyRead(100);
            output += QString::fromLocal8Bit(process.readAllStandardOutput());
            output += QString::fromLocal8Bit(process.readAllStandardError());
        }
        return output;
    }

    ~Launcher()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
};

enum class Special { Fifo, DevZero };

void makeSpecial(const QString &path, Special kind)
{
    const QByteArray name = QFile::encodeName(path);
    if (kind == Special::Fifo)
        QCOMPARE(::mkfifo(name.constData(), 0600), 0);
    else
        QCOMPARE(::symlink("/dev/zero", name.constData()), 0);
}

bool stillSpecial(const QString &path, Special kind)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return kind == Special::Fifo ? S_ISFIFO(info.st_mode) : S_ISLNK(info.st_mode);
}

} // namespace

class TestLauncher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void specialFilesNeverHoldTheStart_data();
    void specialFilesNeverHoldTheStart();
    void aSpecialSettingsFileIsNamedInAWindow_data();
    void aSpecialSettingsFileIsNamedInAWindow();
};

void TestLauncher::specialFilesNeverHoldTheStart_data()
{
    QTest::addColumn<QString>("file"); // under the catalogue folder, or the server setting
    QTest::addColumn<int>("kind");
    QTest::newRow("catalogue FIFO") << u"quivel.mdb"_s << int(Special::Fifo);
    QTest::newRow("catalogue /dev/zero") << u"quivel.mdb"_s << int(Special::DevZero);
    QTest::newRow("server setting FIFO") << u"servidor"_s << int(Special::Fifo);
    QTest::newRow("server setting /dev/zero") << u"servidor"_s << int(Special::DevZero);
}

// The catalogue is the program's to judge, with its own message: the launcher only must not
// hang before it, nor replace what the user put there.
void TestLauncher::specialFilesNeverHoldTheStart()
{
    QFETCH(QString, file);
    QFETCH(int, kind);
    Launcher launcher;
    QString path = launcher.home.filePath(file);
    if (file == u"servidor") {
        QVERIFY(QDir(launcher.config.path()).mkpath(u"quivel"_s));
        path = launcher.config.filePath(u"quivel/servidor"_s);
    }
    makeSpecial(path, Special(kind));
    launcher.start();
    const QString output = launcher.waitFor(u"programa iniciado"_s);
    QVERIFY2(output.contains(u"programa iniciado em "_s + launcher.home.path()),
             qPrintable(output));
    QVERIFY(launcher.process.waitForFinished(10000));
    QVERIFY(stillSpecial(path, Special(kind)));
}

void TestLauncher::aSpecialSettingsFileIsNamedInAWindow_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("FIFO") << int(Special::Fifo);
    QTest::newRow("/dev/zero") << int(Special::DevZero);
}

void TestLauncher::aSpecialSettingsFileIsNamedInAWindow()
{
    QFETCH(int, kind);
    Launcher launcher;
    const QString path = launcher.home.filePath(u"config.cfg"_s);
    makeSpecial(path, Special(kind));
    launcher.start();
    // The window's text goes to the error output as the window opens.
    const QString output = launcher.waitFor(u"janela Sobre"_s);
    QVERIFY2(output.contains(u"'%1' não é um arquivo comum"_s.arg(path)), qPrintable(output));
    QVERIFY2(output.contains(u"a versão não foi gravada nele"_s), qPrintable(output));
    QVERIFY(stillSpecial(path, Special(kind)));
}

QTEST_GUILESS_MAIN(TestLauncher)
#include "tst_launcher.moc"
