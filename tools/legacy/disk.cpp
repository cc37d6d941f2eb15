// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/legacy/disk.h"

#include "data/exceptions.h"

#include <QFile>

#include <cerrno>
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
