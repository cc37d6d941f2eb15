// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/catalogue_address.h"

#include <QString>

#include <functional>

class SqliteFile;

// How a new catalogue file is made for a first run, for tests and for benchmarks; its name and
// connection string are in data/catalogue_address.h.
namespace Catalogue {

// Builds a catalogue in a temporary file beside the target inside one transaction, then links
// it into place, so an existing file is never replaced and a failure leaves nothing behind.
void createWith(const QString &path, const std::function<void(SqliteFile &)> &fill);

// Each refuses to replace an existing file and leaves nothing behind when it fails.
void createEmpty(const QString &path);
void createSample(const QString &path);
// Deterministic filler for benchmarks: media named "Mídia N", titles spread over them.
void createLarge(const QString &path, int mediaCount, int titleCount);

} // namespace Catalogue
