// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "identify/formats.h"

#include <QHash>

#include <vector>

namespace Identify {

// What one reading gathered, small whatever the number of files: the findings of the files
// that name a product, the .cab files beside them and the top-level folders with programs.
struct Facts
{
    std::vector<Finding> findings;
    QHash<QString, QStringList> cabsByFolder;
    QStringList programFolders; // in the order met
    QStringList foldersWithFindings;
};

// One title per product: files naming the same product are one title, under the most
// trusted of them; an installer takes the .cab files of its folder; autorun.inf confirms
// the title of the program it starts, or names one of its own; a top-level folder holding
// programs none of which named a product becomes a title of its own, the weakest kind.
QList<Title> groupTitles(const Facts &facts);

// The folder part of a relative path ("" at the medium's root).
QString folderOf(const QString &file);
// The first folder of a relative path ("" for a file at the root).
QString topFolderOf(const QString &file);

} // namespace Identify
