// SPDX-License-Identifier: GPL-3.0-or-later
// Identifying a medium of 200,000 files, a few hundred of them installers, against the
// plainest walk of the same tree: readdir and fstatat on every entry. The two run in turns,
// after one warm-up walk, so both meet the same page cache; the CPU time of each turn is
// the process's. Memory: the peak resident size of a child process identifying trees of
// 50,000 and 200,000 files. Run: build/bench/identify/bench_identify [rounds]
#include "bench/support/ratio_report.h"
#include "identify/identify.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

double cpuMs()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
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
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
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

    std::vector<double> walk, list, identify;
    int titles = 0;
    int notes = 0;
    qint64 seen = 0;
    for (int r = 0; r < rounds; ++r) {
        double start = cpuMs();
        plainWalk(large, true);
        walk.push_back(cpuMs() - start);
        start = cpuMs();
        const Identify::Result result = Identify::identify(large);
        identify.push_back(cpuMs() - start);
        titles = int(result.titles.size());
        seen = result.filesSeen;
        notes = int(result.notes.size());
        start = cpuMs();
        plainWalk(large, false);
        list.push_back(cpuMs() - start);
    }
    std::printf("identify: %lld files seen, %d titles, %d notes\n", static_cast<long long>(seen),
                titles, notes);
    const double walkMin = *std::min_element(walk.begin(), walk.end());
    const double listMin = *std::min_element(list.begin(), list.end());
    const double identifyMin = *std::min_element(identify.begin(), identify.end());
    std::printf("cpu ms over %d rounds: identify min %.1f median %.1f; readdir+fstatat min %.1f "
                "median %.1f; readdir alone min %.1f median %.1f\n",
                rounds, identifyMin, median(identify), walkMin, median(walk), listMin,
                median(list));
    printRatio("identify vs readdir+fstatat, cpu min", identifyMin, walkMin, 1.5, "ms");
    printRatio("identify vs readdir+fstatat, cpu median", median(identify), median(walk), 1.5,
               "ms");
    std::printf("RATIO %-44s %12.3f ms vs %12.3f ms = %6.2fx (readdir without fstatat; "
                "no goal)\n",
                "identify vs readdir alone, cpu median", median(identify), median(list),
                median(identify) / median(list));

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
