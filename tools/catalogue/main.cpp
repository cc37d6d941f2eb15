// SPDX-License-Identifier: GPL-3.0-or-later
// quivel-catalogue: makes catalogue files for a first run, for tests and for benchmarks.
#include "data/catalogue.h"
#include "data/exceptions.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

namespace {

int usage()
{
    std::fputs("Uso:\n"
               "  quivel-catalogue create ARQUIVO        cria um catálogo vazio\n"
               "  quivel-catalogue sample ARQUIVO        cria um catálogo com dados de exemplo\n"
               "  quivel-catalogue large ARQUIVO MÍDIAS TÍTULOS\n"
               "                                         cria um catálogo grande para medições\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2)
        return usage();
    const QString &verb = args[0];
    const QString &path = args[1];
    try {
        if (verb == u"create" && args.size() == 2) {
            Catalogue::createEmpty(path);
        } else if (verb == u"sample" && args.size() == 2) {
            Catalogue::createSample(path);
        } else if (verb == u"large" && args.size() == 4) {
            bool mediaOk = false;
            bool titlesOk = false;
            const int media = args[2].toInt(&mediaOk);
            const int titles = args[3].toInt(&titlesOk);
            if (!mediaOk || !titlesOk || media < 1 || titles < 0)
                return usage();
            Catalogue::createLarge(path, media, titles);
        } else {
            return usage();
        }
    } catch (const Exception &e) {
        std::fprintf(stderr, "quivel-catalogue: %s\n", e.message().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
