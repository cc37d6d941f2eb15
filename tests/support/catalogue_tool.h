// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// quivel-catalogue run as a user runs it; the test's target defines QUIVEL_CATALOGUE_TOOL.
struct ToolRun
{
    int exitCode = -1; // -1 when it crashed or did not finish in time
    QString output;    // standard output and error together
};

inline ToolRun runTool(const QStringList &arguments, int timeLimitMs)
{
    QProcess tool;
    tool.start(QStringLiteral(QUIVEL_CATALOGUE_TOOL), arguments);
    tool.waitForFinished(timeLimitMs);
    return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
            QString::fromUtf8(tool.readAllStandardOutput() + tool.readAllStandardError())};
}
