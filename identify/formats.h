// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "identify/identify.h"
#include "identify/input.h"

#include <optional>

// One reader per format: what a file says about the product it belongs to.
namespace Identify {

struct Finding
{
    Evidence evidence = Evidence::Folder;
    QString product;
    QString version;
    QString publisher;
    QString summary;
    QString file;     // relative to the medium, "/" between folders
    QString launches; // autorun.inf: the file it starts, relative to the medium
};

enum class Kind {
    Other,
    Program,  // .exe
    Library,  // .dll
    Msi,      // .msi
    Deb,      // .deb
    Rpm,      // .rpm
    Desktop,  // .desktop
    Autorun,  // autorun.inf
    AppImage, // .AppImage
    Cab,      // .cab
    Archive,  // .zip, .7z, .iso and other images
};
Kind kindOf(const QString &fileName);
// Kinds that make a folder one that holds programs.
bool isProgramKind(Kind kind);

// Each returns nothing when the file names no product; a damaged or hostile file throws Skip.
std::optional<Finding> readWindowsProgram(Input &input, bool library);
std::optional<Finding> readMsi(Input &input);
std::optional<Finding> readDeb(Input &input);
std::optional<Finding> readRpm(Input &input);
std::optional<Finding> readDesktopEntry(Input &input);
std::optional<Finding> readAutorun(Input &input);
std::optional<Finding> readAppImage(Input &input, const QString &fileName);

} // namespace Identify
