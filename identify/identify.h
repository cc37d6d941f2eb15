// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Reads a mounted medium (a folder) or a disc image and proposes the software titles on it.
// The medium is only read: nothing on it is written, run or mounted.
namespace Identify {

// Why a title was proposed, from the most trusted kind of evidence to the least.
enum class Evidence {
    MsiProperties,  // ProductName of an .msi package
    ProgramVersion, // version resource of an .exe
    DebianControl,  // control fields of a .deb package
    RpmHeader,      // header of an .rpm package
    Autorun,        // label of autorun.inf
    DesktopEntry,   // a .desktop launcher
    AppImage,       // the name of an AppImage
    LibraryVersion, // version resource of a .dll, with no program of the same product
    Folder,         // a top-level folder holding programs none of which named itself
};
// The reason as the user reads it.
QString evidenceText(Evidence evidence);

struct Title
{
    QString name;        // already cut to the catalogue's column size
    QString description; // likewise
    Evidence evidence = Evidence::Folder;
    QString reason;     // why, and what was grouped into it
    QString sourceFile; // the file it came from, relative to the medium
    QStringList files;  // every file grouped into it, sourceFile first
    bool ticked = true;
    bool nameCut = false;
    bool descriptionCut = false;
};

// Something left unread, and why.
struct Note
{
    QString file;
    QString text;
};

struct Progress
{
    qint64 filesSeen = 0;
    int titlesFound = 0; // distinct products named so far
    QString folder;
};

struct Options
{
    // Asked often; true stops the reading at once.
    std::function<bool()> cancelled;
    // Called about ten times a second, from the reading thread.
    std::function<void(const Progress &)> progress;
    // Bounds for each file read: bytes taken from it and time spent on it.
    qint64 maxBytesPerFile = 256 * 1024 * 1024;
    int millisecondsPerFile = 10000;
    // Most entries looked at in one archive or image.
    qint64 maxEntriesPerArchive = 2000000;
};

// What the medium itself suggests for its record.
struct MediumGuess
{
    QString name; // volume label, or the folder's or image's name
    QString type; // "CD", "DVD", "BLURAY", "PENDRIVE" or "HD EXTERNO"
};

struct Result
{
    QList<Title> titles;
    QList<Note> notes;
    MediumGuess medium;
    qint64 filesSeen = 0;
    bool cancelled = false;
};

// Reads a folder, a disc image or archive, or a single installer.
Result identify(const QString &path, const Options &options = {});

// The catalogue's column sizes for what is proposed.
constexpr int titleNameSize = 32;
constexpr int titleDescriptionSize = 255;
constexpr int mediumNameSize = 32;
constexpr int mediumTypeSize = 16;

} // namespace Identify
