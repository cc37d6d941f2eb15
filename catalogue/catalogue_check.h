// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

namespace Legacy {

// Looks a catalogue over without changing it (the file is opened read-only): the engine's
// integrity check, both tables with their columns in order, titles whose medium does not
// exist and values longer than their column. Returns one line per problem; empty when clean.
QStringList checkCatalogue(const QString &path);

} // namespace Legacy

namespace Catalogue {

// The one check of a catalogue, whatever holds it: a file path or a server address. One line
// per problem; empty when nothing is wrong. Failures to reach the catalogue are thrown.
QStringList check(const QString &target);

} // namespace Catalogue
