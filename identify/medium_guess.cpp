// SPDX-License-Identifier: GPL-3.0-or-later
#include "identify/medium_guess.h"

#include "identify/untrusted_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <blkid.h>

namespace Identify {

namespace {

MediumGuess finish(QString name, QString type, const QString &fallback)
{
    name = cleanUntrusted(name);
    if (name.isEmpty())
        name = cleanUntrusted(fallback);
    return {cutToSize(name, mediumNameSize).text, type};
}

// Whether the block device behind /dev/NAME sits on a USB bus or says it is removable.
bool removableDevice(const QString &device)
{
    if (!device.startsWith(u"/dev/"))
        return false;
    const QString name = device.mid(5);
    const QString sys = QStringLiteral("/sys/class/block/") + name;
    const QString real = QFileInfo(sys).canonicalFilePath();
    if (real.contains(u"/usb"))
        return true;
    for (const QString &path : {sys + QStringLiteral("/removable"),
                                QFileInfo(real).path() + QStringLiteral("/removable")}) {
        QFile flag(path);
        if (flag.open(QIODevice::ReadOnly) && flag.read(1) == "1")
            return true;
    }
    return false;
}

} // namespace

QString discTypeForSize(qint64 bytes)
{
    constexpr qint64 mib = 1024 * 1024;
    if (bytes <= 900 * mib)
        return QStringLiteral("CD");
    if (bytes <= 8700 * mib)
        return QStringLiteral("DVD");
    return QStringLiteral("BLURAY");
}

MediumGuess guessImage(int fd, qint64 size, const QString &fileName)
{
    QString label;
    QString type;
    if (blkid_probe probe = blkid_new_probe()) {
        if (blkid_probe_set_device(probe, fd, 0, 0) == 0) {
            blkid_probe_enable_superblocks(probe, 1);
            blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE);
            if (blkid_do_safeprobe(probe) == 0) {
                const char *value = nullptr;
                size_t length = 0;
                if (blkid_probe_lookup_value(probe, "LABEL", &value, &length) == 0 && value)
                    label = decodeUntrusted(QByteArrayView(value, qsizetype(strlen(value))));
                if (blkid_probe_lookup_value(probe, "TYPE", &value, &length) == 0 && value)
                    type = QString::fromLatin1(value);
            }
        }
        blkid_free_probe(probe);
    }
    const bool disc = type == u"iso9660" || type == u"udf";
    const QString base = QFileInfo(fileName).completeBaseName();
    return finish(label, disc ? discTypeForSize(size) : QStringLiteral("HD EXTERNO"), base);
}

MediumGuess guessFolder(const QString &path)
{
    const QStorageInfo storage(path);
    const QString canonical = QFileInfo(path).canonicalFilePath();
    const bool volumeRoot = storage.isValid() && storage.rootPath() == canonical;
    const QString fileSystem = QString::fromLatin1(storage.fileSystemType());
    QString type;
    if (fileSystem == u"iso9660" || fileSystem == u"udf")
        type = discTypeForSize(storage.bytesTotal());
    else if (removableDevice(QString::fromLocal8Bit(storage.device())))
        type = QStringLiteral("PENDRIVE");
    else
        type = QStringLiteral("HD EXTERNO");
    const QString label = volumeRoot ? storage.name() : QString();
    return finish(label, type, QDir(canonical).dirName());
}

} // namespace Identify
