// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/disk.h"

#include "core/exceptions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

void syncPath(const QString &path, int flags)
{
    const int fd = ::open(Legacy::nativeName(path).constData(), O_RDONLY | O_CLOEXEC | flags);
    if (fd < 0 || ::fsync(fd) != 0) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        throw Exception(QStringLiteral("Não foi possível gravar '%1' no disco (%2)")
                            .arg(path, Legacy::systemError(error)));
    }
    ::close(fd);
}

} // namespace

QString Legacy::systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray Legacy::nativeName(const QString &path)
{
    return QFile::encodeName(path);
}

void Legacy::syncFile(const QString &path)
{
    syncPath(path, 0);
}

void Legacy::syncFolder(const QString &folder)
{
    syncPath(folder, O_DIRECTORY);
}

Legacy::TemporaryFile::TemporaryFile(const QString &target, const QString &purpose)
    : m_path(target +
             QStringLiteral(".%1-%2.tmp").arg(purpose).arg(QCoreApplication::applicationPid()))
{
    discard();
    const QFileInfo info(target);
    const QRegularExpression name(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(info.fileName() + u'.' + purpose) +
        QStringLiteral("-(\\d+)\\.tmp(-journal)?")));
    const QDir folder = info.absoluteDir();
    for (const QString &entry : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const QRegularExpressionMatch match = name.match(entry);
        if (!match.hasMatch())
            continue;
        const pid_t pid = pid_t(match.captured(1).toLongLong());
        if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH)
            QFile::remove(folder.filePath(entry));
    }
}

Legacy::TemporaryFile::~TemporaryFile()
{
    if (!m_released)
        discard();
}

void Legacy::TemporaryFile::discard() const
{
    QFile::remove(m_path);
    QFile::remove(m_path + QStringLiteral("-journal"));
}
