// SPDX-License-Identifier: GPL-3.0-or-later
// Identifying a medium of 200,000 files, a few hundred of them installers, against the
// plainest walk of the same tree: readdir and fstatat on every entry. The sides run in turns,
// the first side moving on each round, after one warm-up run of each, so all meet the same
// page cache; the CPU time of each turn is the process's, and judges the goal. Memory: the peak
// resident size of a child process identifying trees of 50,000 and 200,000 files. Run:
// build/bench/identify/bench_identify [rounds]
#include "bench/support/ratio_report.h"
#include "identify/identify.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int topFolders = 200;
constexpr int subFolders = 10;

// files / (topFolders * subFolders) files in each leaf folder; one leaf in seven holds an
// installer (a program with a version resource, an .msi or a .deb, made by the test build).
bool makeTree(const QString &root, int files, int *installers)
{
    const QString fixtures = QStringLiteral(IDENTIFY_FIXTURES "/files/");
    const QStringList kinds{QStringLiteral("setup.exe"), QStringLiteral("planilha.msi"),
                            QStringLiteral("visor-fotos_3.2-1_all.deb")};
    const int perLeaf = files / (topFolders * subFolders);
    *installers = 0;
    int leaf = 0;
    for (int t = 0; t < topFolders; ++t) {
        for (int s = 0; s < subFolders; ++s, ++leaf) {
            const QString folder = QStringLiteral("%1/Produto%2/parte%3").arg(root).arg(t).arg(s);
            if (!QDir().mkpath(folder))
                return false;
            const QByteArray base = QFile::encodeName(folder);
            int made = 0;
            if (leaf % 7 == 0) {
                const QString kind = kinds[(leaf / 7) % kinds.size()];
                if (!QFile::copy(fixtures + kind, folder + u'/' + kind))
                    return false;
                ++*installers;
                ++made;
            }
            for (; made < perLeaf; ++made) {
                const QByteArray name =
                    base + "/dados" + QByteArray::number(made) + (made % 3 == 0 ? ".txt" : ".bin");
                const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
                if (fd < 0)
                    return false;
                ::close(fd);
            }
        }
    }
    return true;
}

// The plainest walk: every entry listed and stat'ed, folders entered.
long plainWalk(int dirFd, bool statEach)
{
    long entries = 0;
    DIR *dir = ::fdopendir(dirFd);
    if (!dir)
        return 0;
    while (const dirent *e = ::readdir(dir)) {
        if (e->d_name[0] == '.' && (e->d_name[1] == 0 || (e->d_name[1] == '.' && !e->d_name[2])))
            continue;
        ++entries;
        bool folder = e->d_type == DT_DIR;
        if (statEach || e->d_type == DT_UNKNOWN) {
            struct stat st
            {
            };
            if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            folder = S_ISDIR(st.st_mode);
        }
        if (folder) {
            const int child =
                ::openat(::dirfd(dir), e->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0)
                entries += plainWalk(child, statEach);
        }
    }
    ::closedir(dir);
    return entries;
}

long plainWalk(const QString &root, bool statEach)
{
    return plainWalk(::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY), statEach);
}

// Peak resident size, in KiB, of a fresh process of this program that identifies root: a
// forked child would reuse the heap its parent already grew.
long childPeakKiB(const char *self, const QString &root, int *titles)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        const QByteArray path = QFile::encodeName(root);
        ::execl(self, self, "--identify-once", path.constData(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    char answer[32] = {};
    (void)!::read(pipeFds[0], answer, sizeof answer - 1);
    ::close(pipeFds[0]);
    *titles = atoi(answer);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--identify-once") == 0) {
        std::printf("%d\n", int(Identify::identify(QFile::decodeName(argv[2])).titles.size()));
        return 0;
    }
    // scripts/bench.sh passes every benchmark Google Benchmark's options: those are not a count.
    const bool counted = argc > 1 && std::strncmp(argv[1], "--", 2) != 0;
    const int rounds = counted ? std::max(1, atoi(argv[1])) : 7;
    QTemporaryDir place;
    const QString large = place.filePath(QStringLiteral("grande"));
    const QString small = place.filePath(QStringLiteral("pequena"));
    int installers = 0;
    int smallInstallers = 0;
    std::printf("Making a tree of 200,000 files...\n");
    std::fflush(stdout);
    if (!makeTree(large, 200000, &installers) || !makeTree(small, 50000, &smallInstallers)) {
        std::fprintf(stderr, "could not make the trees in %s\n", qPrintable(place.path()));
        return 1;
    }
    const long entries = plainWalk(large, true); // warm-up: both sides meet a warm cache
    std::printf("%ld entries, %d installers\n", entries, installers);

    int titles = 0;
    int notes = 0;
    qint64 seen = 0;
    runInterleaved({{[&] {
                        const Identify::Result result = Identify::identify(large);
                        titles = int(result.titles.size());
                        seen = result.filesSeen;
                        notes = int(result.notes.size());
                    }},
                    {[&] { plainWalk(large, true); }},
                    {[&] { plainWalk(large, false); }}},
                   {{"identify vs readdir+fstatat", 0, 1, 1.5, Judged::Cpu},
                    // readdir without fstatat: no goal
                    {"identify vs readdir alone", 0, 2}},
                   rounds);
    std::printf("identify: %lld files seen, %d titles, %d notes\n", static_cast<long long>(seen),
                titles, notes);

    int smallTitles = 0;
    int largeTitles = 0;
    const char *self = "/proc/self/exe";
    const QByteArray program = QFile::encodeName(QCoreApplication::applicationFilePath());
    if (!program.isEmpty())
        self = program.constData();
    const long smallPeak = childPeakKiB(self, small, &smallTitles);
    const long largePeak = childPeakKiB(self, large, &largeTitles);
    std::printf("peak resident: %ld KiB for 50,000 files (%d titles), %ld KiB for 200,000 files "
                "(%d titles)\n",
                smallPeak, smallTitles, largePeak, largeTitles);
    printRatio("memory, 200,000 files vs 50,000", double(largePeak), double(smallPeak), 1.1, "KiB");
    return 0;
}
