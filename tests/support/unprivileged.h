// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

// File permissions do not bind the superuser. When the suite runs as root, a test of them
// runs again as the unprivileged user "nobody", in a child process: this test executable,
// asked for the one function (and data row, as "function:row"). The executable is copied to
// a folder that user can reach, wherever the build lives, and the child's temporary files go
// to a folder it may write. True when the child passed that test; its output goes to
// `output`.
inline bool runAsUnprivilegedUser(const QByteArray &function, const QByteArray &dataTag,
                                  QByteArray *output)
{
    QTemporaryDir place;
    *output = "no folder could be prepared for the unprivileged user";
    if (!place.isValid())
        return false;
    const auto everyone = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                          QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    const QString program = place.filePath(QStringLiteral("test"));
    const QString temporary = place.filePath(QStringLiteral("tmp"));
    if (!QFile::setPermissions(place.path(), everyone) ||
        !QFile::copy(QCoreApplication::applicationFilePath(), program) ||
        !QFile::setPermissions(program, everyone) || !QDir().mkdir(temporary) ||
        !QFile::setPermissions(temporary, everyone | QFile::WriteGroup | QFile::WriteOther))
        return false;

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), temporary);
    environment.insert(QStringLiteral("HOME"), temporary);
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(temporary);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("setpriv"),
                {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                 QStringLiteral("--clear-groups"), QStringLiteral("--"), program,
                 QString::fromLocal8Bit(dataTag.isEmpty() ? function : function + ':' + dataTag)});
    const bool finished = child.waitForFinished(120000);
    *output = child.readAll();
    if (!finished || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return false;
    const QByteArray passLine = "::" + function + '(' + dataTag + ')';
    for (const QByteArray &line : output->split('\n')) {
        if (line.startsWith("PASS") && line.contains(passLine))
            return true;
    }
    return false;
}

// Ends the calling test function: as root, with the outcome of the same test run as an
// unprivileged user; does nothing for anyone else.
#define QUIVEL_RUN_UNPRIVILEGED()                                                                  \
    if (::geteuid() == 0) {                                                                        \
        QByteArray output;                                                                         \
        const bool passed =                                                                        \
            runAsUnprivilegedUser(QTest::currentTestFunction(), QTest::currentDataTag(), &output); \
        QVERIFY2(passed, output.constData());                                                      \
        return;                                                                                    \
    }
