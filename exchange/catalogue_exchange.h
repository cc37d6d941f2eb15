// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "exchange/formats/table_writer.h"

#include <QString>

#include <memory>

class Backend;
class TADOConnection;

namespace Exchange {

class StatementRows;

// The whole catalogue as one table: every title with its medium, in the order of their codes,
// then the media that hold no title.
std::unique_ptr<StatementRows> catalogueRows(Backend &catalogue);

// Writes the whole catalogue into path, in the format its extension names; false when
// progress stopped it.
bool exportCatalogue(TADOConnection &connection, const QString &path,
                     const WriteOptions &options = {});

// Opens the catalogue a command line names: a file path, or a server's URI or keyword string.
void openCatalogue(TADOConnection &connection, const QString &catalogue);

struct BackupResult
{
    QString path;
    qint64 media = 0;
    qint64 titles = 0;
};

// A consistent copy of the catalogue (file or server) into a new file, checked once made.
BackupResult backupCatalogue(const QString &catalogue, const QString &destination);

// Puts the copy in backup in place of the catalogue file, after keeping the catalogue as it
// was in a new file beside it, whose path comes back. A server is refused.
BackupResult restoreCatalogue(const QString &backup, const QString &catalogue);

} // namespace Exchange
