// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exceptions.h"
#include "info/config_file.h"
#include "tests/support/unprivileged.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

class TestConfigFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstLine_data();
    void firstLine();
    void failures_data();
    void failures();
    void tooManyOpenFiles();

private:
    QTemporaryDir m_dir;
};

void TestConfigFile::firstLine_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("line");

    QTest::newRow("CR LF") << QByteArray("1.0.0\r\n") << QStringLiteral("1.0.0");
    QTest::newRow("several lines")
        << QByteArray("2.1\nsegunda\nterceira\n") << QStringLiteral("2.1");
    QTest::newRow("no line feed") << QByteArray("3.0 beta") << QStringLiteral("3.0 beta");
    QTest::newRow("lone CRs dropped") << QByteArray("a\rb\r\r\nc") << QStringLiteral("ab");
    QTest::newRow("Ctrl+Z ends the text")
        << QByteArray("4.2\x1a resto\nx") << QStringLiteral("4.2");
    QTest::newRow("empty file") << QByteArray() << QString();
    QTest::newRow("empty first line") << QByteArray("\r\n1.0") << QString();
    QTest::newRow("spaces kept") << QByteArray("  1.0  \n") << QStringLiteral("  1.0  ");
    QTest::newRow("Windows-1252") << QByteArray("Vers\xe3o \x80 \x93x\x94 \x81")
                                  << QStringLiteral("Versão € “x” \u0081");
    QTest::newRow("NUL is text") << QByteArray("a\0b\n", 4) << QStringView(u"a\0b", 3).toString();
    QTest::newRow("UTF-8") << QByteArray("Versão 2 — “beta” 漢\r\n")
                           << QStringLiteral("Versão 2 — “beta” 漢");
    QTest::newRow("UTF-8 with byte order mark")
        << QByteArray("\xef\xbb\xbfVersão\n") << QStringLiteral("Versão");
    QTest::newRow("1252 that merely starts like UTF-8")
        << QByteArray("\xc3\xa3 e \xe3") << QStringLiteral("Ã£ e ã");
    QTest::newRow("40,000 accented characters kept whole")
        << QString(40000, u'ç').toUtf8() + "\nresto" << QString(40000, u'ç');
    const QByteArray longLine(100000, 'v');
    QTest::newRow("longer than a read") << longLine + "\r\nfim" << QString::fromLatin1(longLine);
}

void TestConfigFile::firstLine()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, line);
    const QString path = m_dir.filePath(QStringLiteral("config.cfg"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();
    QCOMPARE(readFirstLine(path), line);
}

void TestConfigFile::failures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");

    QTest::newRow("missing file") << m_dir.filePath(QStringLiteral("nada.cfg"))
                                  << QStringLiteral("File not found");
    QTest::newRow("missing directory")
        << m_dir.filePath(QStringLiteral("sumiu/config.cfg")) << QStringLiteral("Invalid filename");
    QTest::newRow("a directory") << m_dir.path() << QStringLiteral("I/O error 21");
    QTest::newRow("a FIFO") << m_dir.filePath(QStringLiteral("fifo.cfg"))
                            << QStringLiteral("I/O error 22");
    QTest::newRow("a device") << QStringLiteral("/dev/zero") << QStringLiteral("I/O error 22");
    QTest::newRow("access denied")
        << m_dir.filePath(QStringLiteral("fechado.cfg")) << QStringLiteral("File access denied");
}

void TestConfigFile::failures()
{
    QFETCH(QString, path);
    QFETCH(QString, message);
    if (message == QLatin1String("File access denied")) {
        QUIVEL_RUN_UNPRIVILEGED();
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("1.0\n");
        file.close();
        QVERIFY(file.setPermissions({}));
    }
    if (path.endsWith(QLatin1String("fifo.cfg")))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    try {
        readFirstLine(path);
        QFAIL("no EInOutError");
    } catch (const EInOutError &e) {
        QCOMPARE(e.message(), message);
        QCOMPARE(e.className(), QStringLiteral("EInOutError"));
    }
}

void TestConfigFile::tooManyOpenFiles()
{
    const QString path = m_dir.filePath(QStringLiteral("config.cfg"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("1.0\n");
    file.close();

    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 64;
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> taken;
    const int base = ::open("/dev/null", O_RDONLY);
    QVERIFY(base >= 0);
    taken.push_back(base);
    for (int fd; (fd = dup(base)) >= 0;)
        taken.push_back(fd);
    QString message;
    try {
        readFirstLine(path);
    } catch (const EInOutError &e) {
        message = e.message();
    }
    for (int fd : taken)
        close(fd);
    setrlimit(RLIMIT_NOFILE, &saved);
    QCOMPARE(message, QStringLiteral("Too many open files"));
}

QTEST_GUILESS_MAIN(TestConfigFile)
#include "tst_config_file.moc"
