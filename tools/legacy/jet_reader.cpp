// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/legacy/jet_reader.h"

#include "catalogue/catalogue_shape.h"
#include "core/exceptions.h"

#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>

// The 1.0 header opens `extern "C"` around glib, so glib must come first.
#include <glib.h>

#include <mdbtools.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr qint64 jetPageSize = 4096;
constexpr int jetVersionOffset = 0x14;

struct HandleCloser
{
    void operator()(MdbHandle *mdb) const { mdb_close(mdb); }
};
struct TableFreer
{
    void operator()(MdbTableDef *table) const { mdb_free_tabledef(table); }
};
using Handle = std::unique_ptr<MdbHandle, HandleCloser>;
using Table = std::unique_ptr<MdbTableDef, TableFreer>;

[[noreturn]] void refuse(const QString &message)
{
    throw Exception(message);
}

[[noreturn]] void damaged(const QString &path, const QString &detail)
{
    refuse(QStringLiteral("O arquivo '%1' está truncado ou danificado (%2)").arg(path, detail));
}

// Looks at the header before libmdb does: libmdb opens an empty or cut file without complaint
// and reads a Jet 3 file's text in whatever code page it assumes.
void checkHeader(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        refuse(QStringLiteral("Não foi possível encontrar o arquivo '%1'").arg(path));
    if (!info.isFile())
        refuse(QStringLiteral("'%1' não é um arquivo").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        refuse(QStringLiteral("Sem permissão para ler o arquivo '%1'").arg(path));
    const qint64 size = file.size();
    if (size == 0)
        refuse(
            QStringLiteral("O arquivo '%1' está vazio; não há catálogo para converter").arg(path));
    const QByteArray header = file.read(jetVersionOffset + 1);
    if (header.startsWith(QByteArrayView("SQLite format 3\0", 16)))
        refuse(
            QStringLiteral("O arquivo '%1' já é um catálogo desta versão; não há o que converter")
                .arg(path));
    const QByteArray signature = header.mid(4, 16);
    if (header.size() < 4 + 16 && !signature.isEmpty() &&
        (QByteArrayView("Standard Jet DB\0", 16).startsWith(signature) ||
         QByteArrayView("Standard ACE DB\0", 16).startsWith(signature))) {
        damaged(path, QStringLiteral("o cabeçalho está incompleto"));
    }
    if (signature != QByteArrayView("Standard Jet DB\0", 16) &&
        signature != QByteArrayView("Standard ACE DB\0", 16)) {
        refuse(QStringLiteral("O arquivo '%1' não é um banco de dados do Access (Jet)").arg(path));
    }
    if (header.size() <= jetVersionOffset)
        damaged(path, QStringLiteral("o cabeçalho está incompleto"));
    if (header.at(jetVersionOffset) == MDB_VER_JET3) {
        refuse(QStringLiteral(
                   "O arquivo '%1' está no formato Jet 3 (Access 97), que a conversão não aceita: "
                   "o Quivel sempre gravou o catálogo no formato Jet 4, e o texto de um arquivo "
                   "Jet 3 está na página de código do computador que o gravou, que o arquivo não "
                   "informa, por isso letras acentuadas não poderiam ser lidas com segurança. "
                   "Abra-o no Access, salve-o no formato Access 2000 ou posterior e converta-o "
                   "de novo")
                   .arg(path));
    }
    if (size % jetPageSize != 0) {
        damaged(path, QStringLiteral("o tamanho, %1 bytes, não é múltiplo das páginas de %2 bytes")
                          .arg(size)
                          .arg(jetPageSize));
    }
}

QString typeName(int type)
{
    switch (type) {
    case MDB_BOOL:
        return QStringLiteral("Sim/Não");
    case MDB_BYTE:
        return QStringLiteral("Byte");
    case MDB_INT:
        return QStringLiteral("Inteiro");
    case MDB_LONGINT:
        return QStringLiteral("Inteiro longo");
    case MDB_MONEY:
        return QStringLiteral("Moeda");
    case MDB_FLOAT:
        return QStringLiteral("Simples");
    case MDB_DOUBLE:
        return QStringLiteral("Duplo");
    case MDB_DATETIME:
        return QStringLiteral("Data/Hora");
    case MDB_BINARY:
        return QStringLiteral("Binário");
    case MDB_TEXT:
        return QStringLiteral("Texto");
    case MDB_OLE:
        return QStringLiteral("Objeto OLE");
    case MDB_MEMO:
        return QStringLiteral("Memorando");
    case MDB_REPID:
        return QStringLiteral("Código de replicação");
    case MDB_NUMERIC:
        return QStringLiteral("Decimal");
    default:
        return QStringLiteral("desconhecido (%1)").arg(type);
    }
}

bool fitsKind(const Legacy::ColumnShape &shape, int type)
{
    if (shape.isText())
        return type == MDB_TEXT || type == MDB_MEMO;
    return type == MDB_BYTE || type == MDB_INT || type == MDB_LONGINT;
}

MdbCatalogEntry *findTable(MdbHandle *mdb, const QString &name)
{
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry) &&
            QString::fromUtf8(entry->object_name).compare(name, Qt::CaseInsensitive) == 0) {
            return entry;
        }
    }
    return nullptr;
}

MdbColumn *columnAt(MdbTableDef *table, unsigned i)
{
    return static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i));
}

Legacy::JetTable readTable(const QString &path, MdbHandle *mdb, MdbCatalogEntry *entry,
                           const Legacy::TableShape &shape)
{
    const Table table(mdb_read_table(entry));
    if (!table || !mdb_read_columns(table.get()))
        damaged(path,
                QStringLiteral("não foi possível ler a definição da tabela '%1'").arg(shape.name));

    // Where each of this version's columns sits among the Jet table's columns.
    std::vector<unsigned> jetIndex;
    for (const Legacy::ColumnShape &column : shape.columns) {
        unsigned i = 0;
        while (i < table->num_cols && QString::fromUtf8(columnAt(table.get(), i)->name)
                                              .compare(column.name, Qt::CaseInsensitive) != 0) {
            ++i;
        }
        if (i == table->num_cols) {
            refuse(QStringLiteral("A tabela '%1' do arquivo '%2' não tem a coluna '%3'")
                       .arg(shape.name, path, column.name));
        }
        const int type = columnAt(table.get(), i)->col_type;
        if (!fitsKind(column, type)) {
            refuse(QStringLiteral("A coluna '%1' da tabela '%2' é do tipo %3, que não pode ser "
                                  "convertida; esta versão espera %4")
                       .arg(column.name, shape.name, typeName(type),
                            column.isText() ? QStringLiteral("texto")
                                            : QStringLiteral("um número inteiro")));
        }
        jetIndex.push_back(i);
    }
    if (table->num_cols > jetIndex.size()) {
        for (unsigned i = 0; i < table->num_cols; ++i) {
            if (std::find(jetIndex.begin(), jetIndex.end(), i) == jetIndex.end()) {
                refuse(
                    QStringLiteral("A tabela '%1' do arquivo '%2' tem a coluna '%3', que esta "
                                   "versão não tem; convertê-la perderia os seus dados")
                        .arg(shape.name, path, QString::fromUtf8(columnAt(table.get(), i)->name)));
            }
        }
    }

    const size_t bindSize = mdb->bind_size;
    std::vector<std::vector<char>> buffers(table->num_cols, std::vector<char>(bindSize + 1));
    std::vector<int> lengths(table->num_cols);
    for (unsigned i = 0; i < table->num_cols; ++i) {
        if (mdb_bind_column(table.get(), int(i) + 1, buffers[i].data(), &lengths[i]) < 0)
            damaged(path, QStringLiteral("não foi possível ler a tabela '%1'").arg(shape.name));
    }

    Legacy::JetTable result;
    result.name = shape.name;
    QSet<qint64> codes;
    std::vector<MdbField> fields(std::max<unsigned>(table->num_cols, MDB_MAX_COLS));
    // A damaged page chain can make the library return rows without end; a table never holds
    // more rows than it records, nor more than its file has room for.
    const qint64 recorded = qint64(table->num_rows);
    if (recorded > QFileInfo(path).size() / 4) {
        damaged(path, QStringLiteral("a tabela '%1' registra %2 linhas, mais do que o arquivo "
                                     "pode conter")
                          .arg(shape.name)
                          .arg(recorded));
    }
    mdb_rewind_table(table.get());
    while (mdb_fetch_row(table.get())) {
        if (result.rows.size() >= recorded) {
            damaged(path, QStringLiteral("a tabela '%1' tem mais linhas do que registra (%2)")
                              .arg(shape.name)
                              .arg(recorded));
        }
        // Bound values show NULL and empty text alike; the cracked row tells them apart.
        int rowStart = 0;
        size_t rowSize = 0;
        if (mdb_find_row(mdb, int(table->cur_row) - 1, &rowStart, &rowSize) != 0 ||
            mdb_crack_row(table.get(), rowStart, rowSize, fields.data()) != int(table->num_cols)) {
            damaged(path,
                    QStringLiteral("um registro da tabela '%1' não pôde ser lido").arg(shape.name));
        }
        QList<QVariant> row;
        for (qsizetype c = 0; c < shape.columns.size(); ++c) {
            const Legacy::ColumnShape &column = shape.columns.at(c);
            const unsigned j = jetIndex[size_t(c)];
            const int length = lengths[j];
            if (fields[j].is_null) {
                if (length > 0)
                    damaged(path, QStringLiteral("um registro da tabela '%1' foi lido de modo "
                                                 "inconsistente")
                                      .arg(shape.name));
                row.append(QVariant());
                continue;
            }
            const QByteArray bytes(buffers[j].data(), std::max(length, 0));
            if (column.isText()) {
                row.append(QString::fromUtf8(bytes));
                continue;
            }
            bool ok = false;
            const qint64 number = bytes.toLongLong(&ok);
            if (!ok)
                damaged(path, QStringLiteral("a coluna '%1' da tabela '%2' tem o valor '%3', "
                                             "que não é um número inteiro")
                                  .arg(column.name, shape.name, QString::fromUtf8(bytes)));
            row.append(number);
        }
        if (!row.first().isValid())
            refuse(QStringLiteral("A tabela '%1' do arquivo '%2' tem um registro sem código ('%3' "
                                  "vazio)")
                       .arg(shape.name, path, shape.key()));
        const qint64 code = row.first().toLongLong();
        if (codes.contains(code))
            refuse(QStringLiteral("A tabela '%1' do arquivo '%2' tem o código %3 repetido")
                       .arg(shape.name, path)
                       .arg(code));
        codes.insert(code);
        for (qsizetype c = 1; c < shape.columns.size(); ++c) {
            if (row.at(c).isValid()) {
                const QString problem = Legacy::lengthProblem(shape.name, code, shape.columns.at(c),
                                                              row.at(c).toString());
                if (!problem.isEmpty())
                    refuse(problem);
            }
        }
        result.rows.append(row);
    }
    // A file cut at a page boundary reads without error but with rows missing.
    if (result.rows.size() != qsizetype(table->num_rows)) {
        damaged(path,
                QStringLiteral("a tabela '%1' registra %2 linhas, mas só %3 puderam ser lidas")
                    .arg(shape.name)
                    .arg(table->num_rows)
                    .arg(result.rows.size()));
    }
    return result;
}

Legacy::JetCatalogue readInThisProcess(const QString &path)
{
    using namespace Legacy;
    checkHeader(path);
    const Handle mdb(mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS));
    if (!mdb)
        refuse(QStringLiteral("Não foi possível abrir o arquivo '%1'").arg(path));
    if (!mdb_read_catalog(mdb.get(), MDB_TABLE))
        damaged(path, QStringLiteral("a lista de tabelas não pôde ser lida"));

    const TableShape &mediaShape = firstVersionTables().at(0);
    const TableShape &titleShape = firstVersionTables().at(1);
    MdbCatalogEntry *media = findTable(mdb.get(), mediaShape.name);
    MdbCatalogEntry *titles = findTable(mdb.get(), titleShape.name);
    if (!media && !titles)
        refuse(QStringLiteral("O arquivo '%1' não tem as tabelas 'cds' e 'softs'; não é um "
                              "catálogo do Quivel")
                   .arg(path));
    if (!media || !titles)
        refuse(QStringLiteral("O arquivo '%1' não tem a tabela '%2'; não é um catálogo do Quivel")
                   .arg(path, media ? titleShape.name : mediaShape.name));

    JetCatalogue catalogue;
    catalogue.media = readTable(path, mdb.get(), media, mediaShape);
    catalogue.titles = readTable(path, mdb.get(), titles, titleShape);
    return catalogue;
}

int readLimitSeconds()
{
    const int fromEnv = qEnvironmentVariableIntValue("QUIVEL_JET_READ_SECONDS");
    return fromEnv > 0 ? fromEnv : 300;
}

// The library's warnings on a damaged file can run to hundreds of megabytes: the child writes
// them into a file of at most this size, and only a summary of it reaches the user.
constexpr rlim_t warningBytes = 64 * 1024;

// The child's pipe to the parent, at a fixed descriptor once every other one is closed.
constexpr int childChannel = 3;

// Runs first in the child: it must not outlive its parent, must not hold the parent's files
// (the conversion lock among them) and gets limits of its own.
void prepareChild(pid_t parent, int channel, int warnings)
{
    // A parent killed outright cannot kill its child: the kernel does, even when the parent
    // died before this line.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        ::_exit(3);
    ::setpgid(0, 0);
    if (::dup2(channel, childChannel) < 0 || ::dup2(warnings, STDERR_FILENO) < 0 ||
        ::dup2(warnings, STDOUT_FILENO) < 0)
        ::_exit(3);
    ::close_range(childChannel + 1, ~0U, 0);
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (devNull >= 0)
        ::dup2(devNull, STDIN_FILENO);

#if !defined(__SANITIZE_ADDRESS__) && !QT_HAS_FEATURE(address_sanitizer)
    const rlimit memory{rlim_t(4) << 30, rlim_t(4) << 30};
    ::setrlimit(RLIMIT_AS, &memory);
#endif
    // A little past the parent's own limit, in case the parent is stopped meanwhile.
    const rlim_t seconds = rlim_t(readLimitSeconds()) + 2;
    const rlimit cpu{seconds, seconds + 1};
    ::setrlimit(RLIMIT_CPU, &cpu);
    // Writes past the limit fail instead of killing the child.
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit output{warningBytes, warningBytes};
    ::setrlimit(RLIMIT_FSIZE, &output);
    const rlimit core{0, 0};
    ::setrlimit(RLIMIT_CORE, &core);
}

// The child's process group, killed and reaped on every way out of the parent's wait.
class ReaderChild
{
public:
    explicit ReaderChild(pid_t pid)
        : m_pid(pid)
    {
        // Set from both sides, so neither order of the two calls leaves a window.
        ::setpgid(pid, pid);
    }
    ~ReaderChild()
    {
        if (m_pid <= 0)
            return;
        ::kill(-m_pid, SIGKILL);
        ::kill(m_pid, SIGKILL);
        wait();
    }
    ReaderChild(const ReaderChild &) = delete;
    ReaderChild &operator=(const ReaderChild &) = delete;

    // The child's status once it has ended.
    int wait()
    {
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        ::kill(-m_pid, SIGKILL); // anything the child left in its group
        m_pid = -1;
        return status;
    }
    void kill() const { ::kill(-m_pid, SIGKILL); }

private:
    pid_t m_pid;
};

// What the library said, as one line: how many warnings, and the first.
QString summariseWarnings(int fd)
{
    QByteArray text(qsizetype(warningBytes), '\0');
    const ssize_t got = ::pread(fd, text.data(), size_t(text.size()), 0);
    text.truncate(got > 0 ? got : 0);
    const QList<QByteArray> lines = text.trimmed().split('\n');
    if (text.trimmed().isEmpty())
        return {};
    const bool cut = text.size() >= qsizetype(warningBytes);
    QString first = QString::fromUtf8(lines.first().trimmed()).left(200);
    return QStringLiteral(
               "a biblioteca de leitura deu %1%2 aviso(s); o primeiro, nas palavras dela: \"%3\"")
        .arg(cut ? QStringLiteral("mais de ") : QString())
        .arg(lines.size())
        .arg(first);
}

} // namespace

Legacy::JetCatalogue Legacy::readJetCatalogueInProcess(const QString &path)
{
    return readInThisProcess(path);
}

// The old-format library trusts the file: a damaged one can send it into an endless loop, make
// it take all memory or print warnings without end. It therefore reads in a child process with
// limits of its own, and only the rows it read come back.
Legacy::JetCatalogue Legacy::readJetCatalogue(const QString &path)
{
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0)
        refuse(QStringLiteral("Não foi possível iniciar a leitura do arquivo '%1'").arg(path));
    const int warnings = ::memfd_create("quivel-avisos", MFD_CLOEXEC);
    const pid_t parent = ::getpid();
    const pid_t pid = warnings < 0 ? -1 : ::fork();
    if (pid < 0) {
        ::close(channel[0]);
        ::close(channel[1]);
        if (warnings >= 0)
            ::close(warnings);
        refuse(QStringLiteral("Não foi possível iniciar a leitura do arquivo '%1'").arg(path));
    }
    if (pid == 0) {
        prepareChild(parent, channel[1], warnings);
        QByteArray bytes;
        QDataStream out(&bytes, QIODevice::WriteOnly);
        try {
            const JetCatalogue catalogue = readInThisProcess(path);
            out << quint8(0) << catalogue.media.name << catalogue.media.rows
                << catalogue.titles.name << catalogue.titles.rows;
        } catch (const Exception &e) {
            out << quint8(1) << e.message();
        }
        qsizetype written = 0;
        while (written < bytes.size()) {
            const ssize_t n =
                ::write(childChannel, bytes.constData() + written, size_t(bytes.size() - written));
            if (n <= 0)
                ::_exit(2);
            written += n;
        }
        ::_exit(0);
    }

    ReaderChild child(pid);
    ::close(channel[1]);
    QByteArray bytes;
    QElapsedTimer clock;
    clock.start();
    const qint64 limit = qint64(readLimitSeconds()) * 1000;
    bool timedOut = false;
    for (;;) {
        pollfd wait{channel[0], POLLIN, 0};
        const int ready = ::poll(&wait, 1, int(qMax<qint64>(0, limit - clock.elapsed())));
        if (ready == 0) {
            timedOut = true;
            break;
        }
        if (ready < 0 && errno == EINTR)
            continue;
        char buffer[65536];
        const ssize_t n = ready > 0 ? ::read(channel[0], buffer, sizeof buffer) : -1;
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    ::close(channel[0]);
    if (timedOut)
        child.kill();
    const int status = child.wait();
    const QString said = summariseWarnings(warnings);
    ::close(warnings);
    const auto withWarnings = [&](const QString &detail) {
        return said.isEmpty() ? detail : detail + QStringLiteral("; ") + said;
    };
    if (timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        damaged(path,
                withWarnings(timedOut ? QStringLiteral("a leitura não terminou em %1 segundos")
                                            .arg(readLimitSeconds())
                                      : QStringLiteral("a leitura esgotou a memória ou o tempo "
                                                       "de processador, ou foi interrompida")));
    }
    QDataStream in(bytes);
    quint8 outcome = 0;
    in >> outcome;
    if (outcome == 1) {
        QString message;
        in >> message;
        throw Exception(message);
    }
    JetCatalogue catalogue;
    in >> catalogue.media.name >> catalogue.media.rows >> catalogue.titles.name >>
        catalogue.titles.rows;
    if (in.status() != QDataStream::Ok)
        damaged(path, withWarnings(QStringLiteral("a leitura foi interrompida")));
    catalogue.warnings = said;
    return catalogue;
}
