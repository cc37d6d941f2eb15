// SPDX-License-Identifier: GPL-3.0-or-later
// Draws every picture the program compiles in and writes it into the folder given.
#include "tools/make-pictures/art.h"
#include "tools/make-pictures/picture_files.h"

#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTextStream>

#include <functional>

namespace {

// The icon in the sizes a desktop's icon theme looks for, and as SVG for any other size.
int writeDesktopIcons(const QString &folder, QTextStream &err)
{
    const QDir out(folder);
    if (!out.exists() && !QDir().mkpath(out.path())) {
        err << "cannot create " << out.path() << '\n';
        return 1;
    }
    int failures = 0;
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        const QString path = out.filePath(QStringLiteral("%1.png").arg(size));
        if (!drawAppIcon(size).convertToFormat(QImage::Format_ARGB32).save(path, "PNG")) {
            err << path << ": PNG writer failed\n";
            ++failures;
        }
    }
    QSaveFile svg(out.filePath(QStringLiteral("scalable.svg")));
    if (!svg.open(QIODevice::WriteOnly) || svg.write(appIconSvg().toUtf8()) < 0 || !svg.commit()) {
        err << svg.fileName() << ": " << svg.errorString() << '\n';
        ++failures;
    }
    return failures;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() != 2 && args.size() != 3) {
        err << "usage: make-pictures OUTPUT_FOLDER [ICON_FOLDER]\n";
        return 2;
    }
    const QDir out(args.at(1));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        err << "cannot create " << out.path() << '\n';
        return 1;
    }

    // The button face the glyph edges are blended over: the light grey of a push button.
    const QColor face(239, 239, 239);
    const QColor white(255, 255, 255);
    const QColor black(0, 0, 0);
    struct Job
    {
        QString file;
        std::function<QString(const QString &)> write;
    };
    auto jpeg = [](QImage (*draw)()) {
        return [draw](const QString &path) { return writeJpeg(draw(), path, 92); };
    };
    auto glyph = [face](QImage (*draw)(), QColor transparent) {
        return [=](const QString &path) {
            return writeBmp24(flattenGlyph(draw(), transparent, face), path);
        };
    };
    const Job jobs[] = {
        {QStringLiteral("icon.png"),
         [](const QString &path) {
             const QImage icon = drawAppIcon().convertToFormat(QImage::Format_ARGB32);
             return icon.save(path, "PNG") ? QString() : QStringLiteral("PNG writer failed");
         }},
        {QStringLiteral("media_banner.jpg"), jpeg(drawMediaBanner)},
        {QStringLiteral("software_banner.jpg"), jpeg(drawSoftwareBanner)},
        {QStringLiteral("logo.jpg"), jpeg(drawLogo)},
        {QStringLiteral("new.bmp"), glyph(drawNewGlyph, white)},
        {QStringLiteral("save.bmp"), glyph(drawSaveGlyph, white)},
        {QStringLiteral("delete.bmp"), glyph(drawDeleteGlyph, white)},
        {QStringLiteral("close_door.bmp"), glyph(drawCloseDoorGlyph, white)},
        {QStringLiteral("refresh.bmp"), glyph(drawRefreshGlyph, white)},
        {QStringLiteral("search.bmp"), glyph(drawSearchGlyph, black)},
        {QStringLiteral("ok.bmp"), glyph(drawOkGlyph, white)},
    };
    int failures = 0;
    for (const Job &job : jobs) {
        const QString path = out.filePath(job.file);
        const QString problem = job.write(path);
        if (!problem.isEmpty()) {
            err << path << ": " << problem << '\n';
            ++failures;
        }
    }
    if (args.size() == 3)
        failures += writeDesktopIcons(args.at(2), err);
    return failures == 0 ? 0 : 1;
}
