// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "identify/identify.h"

class TADOConnection;

// Puts what was identified into the catalogue.
namespace Identify {

// The medium the titles go to: one already in the catalogue (code > 0) or a new one.
struct MediumChoice
{
    int code = 0;
    QString name;
    QString type;
};

struct Saved
{
    int mediumCode = 0;
    QStringList added;
    QStringList alreadyThere; // ticked, but the medium held a title of that name
};

// The names of the titles the catalogue holds on a medium.
QStringList titlesOnMedium(TADOConnection &connection, int mediumCode);

// Whether the medium's titles hold this name, as the catalogue compares names for this.
bool holdsName(const QStringList &existing, const QString &name);

// Saves the medium (when new) and the ticked titles in one transaction: all or nothing. A
// title whose name the medium already holds is not added again. Errors are the data layer's.
Saved save(TADOConnection &connection, const MediumChoice &medium, const QList<Title> &titles);

} // namespace Identify
