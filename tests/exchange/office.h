// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

// The real programs that read spreadsheets, run as a user would: LibreOffice converting
// files, and Python's openpyxl and csv reading them.
namespace Office {

inline QString libreOffice()
{
    const QString path = QStandardPaths::findExecutable(QStringLiteral("libreoffice"));
    return path.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("soffice")) : path;
}

// Debian's own Python, which python3-openpyxl installs into, whatever else is on PATH.
inline QString python()
{
    const QString system = QStringLiteral("/usr/bin/python3");
    return QFileInfo::exists(system) ? system : QStringLiteral("python3");
}

inline bool hasOpenpyxl()
{
    QProcess python;
    python.start(Office::python(), {QStringLiteral("-c"), QStringLiteral("import openpyxl")});
    return python.waitForFinished(60000) && python.exitStatus() == QProcess::NormalExit &&
           python.exitCode() == 0;
}

// Converts files in one run of LibreOffice into outDir, with its own profile so that runs
// of other tests do not meet. Empty on success, else what LibreOffice said.
inline QString convert(const QStringList &files, const QString &filter, const QString &outDir,
                       const QString &inputFilter = {})
{
    static QTemporaryDir profile;
    QStringList args{QStringLiteral("-env:UserInstallation=file://") + profile.path(),
                     QStringLiteral("--headless"), QStringLiteral("--norestore")};
    if (!inputFilter.isEmpty())
        args << QStringLiteral("--infilter=") + inputFilter;
    args << QStringLiteral("--convert-to") << filter << QStringLiteral("--outdir") << outDir;
    args << files;
    QProcess office;
    office.setProcessChannelMode(QProcess::MergedChannels);
    office.start(libreOffice(), args);
    if (!office.waitForFinished(240000)) {
        office.kill();
        office.waitForFinished();
        return QStringLiteral("LibreOffice did not finish");
    }
    for (const QString &file : files) {
        const QString base = QFileInfo(file).completeBaseName();
        const QString suffix = filter.section(u':', 0, 0);
        if (!QFileInfo::exists(QDir(outDir).filePath(base + u'.' + suffix)))
            return QString::fromUtf8(office.readAll());
    }
    return {};
}

// LibreOffice's CSV: ';' between fields, '"' around texts, UTF-8, from the first line.
inline QString csvExportFilter()
{
    return QStringLiteral("csv:Text - txt - csv (StarCalc):59,34,76,1");
}

// Every cell as [type, text], read by Python (openpyxl for .xlsx, csv for .csv).
inline QJsonArray readWithPython(const QString &file, char separator = ';')
{
    QProcess python;
    python.start(Office::python(), {QStringLiteral(QUIVEL_TEST_SOURCE_DIR "/read_table.py"), file,
                                    QString(QLatin1Char(separator))});
    if (!python.waitForFinished(120000) || python.exitCode() != 0) {
        qWarning("%s", python.readAllStandardError().constData());
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
}

} // namespace Office
