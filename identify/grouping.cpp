// SPDX-License-Identifier: GPL-3.0-or-later
#include "identify/grouping.h"

#include "identify/untrusted_text.h"

#include <QSet>

#include <algorithm>

namespace Identify {

namespace {

QString productKey(const QString &product)
{
    return product.simplified().toCaseFolded();
}

QString fileKey(const QString &file)
{
    return file.toCaseFolded();
}

struct Group
{
    Finding primary;
    QStringList files;
    int sameProduct = 1;
    int cabs = 0;
    bool confirmedByAutorun = false;
};

QString describe(const Finding &f)
{
    QStringList parts;
    if (!f.summary.isEmpty() && f.summary.compare(f.product, Qt::CaseInsensitive) != 0)
        parts << f.summary;
    if (!f.version.isEmpty())
        parts << QStringLiteral("versão %1").arg(f.version);
    if (!f.publisher.isEmpty())
        parts << f.publisher;
    if (!f.file.isEmpty())
        parts << QStringLiteral("arquivo %1").arg(f.file);
    return parts.join(QStringLiteral("; "));
}

Title makeTitle(const Group &group)
{
    Title t;
    const CutText name = cutToSize(cleanUntrusted(group.primary.product), titleNameSize);
    const CutText description =
        cutToSize(cleanUntrusted(describe(group.primary)), titleDescriptionSize);
    t.name = name.text;
    t.nameCut = name.cut;
    t.description = description.text;
    t.descriptionCut = description.cut;
    t.evidence = group.primary.evidence;
    t.sourceFile = group.primary.file;
    t.files = group.files;
    QStringList reason{evidenceText(t.evidence)};
    if (group.sameProduct > 1)
        reason << QStringLiteral("o mesmo produto em %1 arquivos").arg(group.sameProduct);
    if (group.cabs > 0)
        reason << QStringLiteral("com %1 arquivo(s) .cab da mesma pasta").arg(group.cabs);
    if (group.confirmedByAutorun)
        reason << QStringLiteral("iniciado pelo autorun.inf");
    t.reason = reason.join(QStringLiteral("; "));
    // A library alone seldom is the product the medium is for.
    t.ticked = t.evidence != Evidence::LibraryVersion;
    return t;
}

} // namespace

QString folderOf(const QString &file)
{
    const qsizetype slash = file.lastIndexOf(u'/');
    return slash < 0 ? QString() : file.left(slash);
}

QString topFolderOf(const QString &file)
{
    const qsizetype slash = file.indexOf(u'/');
    return slash < 0 ? QString() : file.left(slash);
}

QList<Title> groupTitles(const Facts &facts)
{
    std::vector<const Finding *> ordered;
    std::vector<const Finding *> autoruns;
    for (const Finding &f : facts.findings)
        (f.evidence == Evidence::Autorun ? autoruns : ordered).push_back(&f);
    // The most trusted first; among equals, the one nearest the medium's root (an installer
    // rather than its copy inside a zip).
    std::stable_sort(ordered.begin(), ordered.end(), [](const Finding *a, const Finding *b) {
        if (a->evidence != b->evidence)
            return a->evidence < b->evidence;
        return a->file.count(u'/') < b->file.count(u'/');
    });

    std::vector<Group> groups;
    QHash<QString, size_t> byProduct;
    QHash<QString, size_t> byFile;
    for (const Finding *f : ordered) {
        const QString key = productKey(f->product);
        const auto found = byProduct.constFind(key);
        if (found != byProduct.constEnd()) {
            Group &g = groups[*found];
            g.files << f->file;
            ++g.sameProduct;
            byFile.insert(fileKey(f->file), *found);
            continue;
        }
        byProduct.insert(key, groups.size());
        byFile.insert(fileKey(f->file), groups.size());
        groups.push_back({*f, {f->file}});
    }

    // An installer's .cab files sit in its folder; they belong to it, not to a title each.
    QSet<QString> cabFoldersTaken;
    for (Group &g : groups) {
        if (g.primary.evidence != Evidence::MsiProperties &&
            g.primary.evidence != Evidence::ProgramVersion)
            continue;
        const QString folder = folderOf(g.primary.file);
        if (cabFoldersTaken.contains(folder))
            continue;
        const QStringList cabs = facts.cabsByFolder.value(folder);
        if (cabs.isEmpty())
            continue;
        cabFoldersTaken.insert(folder);
        g.files << cabs;
        g.cabs = int(cabs.size());
    }

    for (const Finding *autorun : autoruns) {
        const auto started = byFile.constFind(fileKey(autorun->launches));
        if (!autorun->launches.isEmpty() && started != byFile.constEnd()) {
            groups[*started].confirmedByAutorun = true;
            groups[*started].files << autorun->file;
            continue;
        }
        if (autorun->product.isEmpty() || byProduct.contains(productKey(autorun->product)))
            continue;
        byProduct.insert(productKey(autorun->product), groups.size());
        Finding f = *autorun;
        if (!f.launches.isEmpty())
            f.summary = QStringLiteral("inicia %1").arg(f.launches);
        groups.push_back({f, {f.file}});
    }

    QList<Title> titles;
    for (const Group &g : groups)
        titles << makeTitle(g);

    for (const QString &folder : facts.programFolders) {
        if (facts.foldersWithFindings.contains(folder))
            continue;
        Finding f;
        f.evidence = Evidence::Folder;
        f.product = folder;
        f.summary = QStringLiteral("programas na pasta %1").arg(folder);
        Group g{f, {folder + u'/'}};
        titles << makeTitle(g);
    }
    return titles;
}

} // namespace Identify
