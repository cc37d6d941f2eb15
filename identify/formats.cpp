// SPDX-License-Identifier: GPL-3.0-or-later
#include "identify/formats.h"

#include "identify/untrusted_text.h"

#include <LIEF/PE.hpp>
#include <LIEF/logging.hpp>
#include <archive.h>
#include <archive_entry.h>
#include <libmsi.h>
#include <rpm/header.h>
#include <rpm/rpmio.h>
#include <rpm/rpmlib.h>
#include <rpm/rpmlog.h>
#include <rpm/rpmts.h>

#include <QRegularExpression>

#include <cstring>
#include <memory>
#include <mutex>
#include <unistd.h>
#include <utility>

namespace Identify {

namespace {

constexpr qint64 headerBytes = 4096;
constexpr qint64 maxResourceBytes = 16 * 1024 * 1024;
constexpr qint64 maxTextBytes = 64 * 1024;

QString fromUtf16(const std::u16string &text)
{
    return cleanUntrusted(QString::fromStdU16String(text));
}

QString clean(const char *text)
{
    return text ? cleanUntrusted(decodeUntrusted(QByteArrayView(text, qsizetype(strlen(text)))))
                : QString();
}

// The version strings of the first language that names a product.
std::optional<Finding> versionStrings(const LIEF::PE::Binary &binary, bool library)
{
    if (!binary.has_resources() || !binary.resources_manager().has_version())
        return std::nullopt;
    const LIEF::PE::ResourceVersion version = binary.resources_manager().version();
    if (!version.has_string_file_info())
        return std::nullopt;
    for (const LIEF::PE::LangCodeItem &language : version.string_file_info().langcode_items()) {
        Finding f;
        for (const auto &[key, value] : language.items()) {
            const QString name = QString::fromStdU16String(key);
            if (name == u"ProductName")
                f.product = fromUtf16(value);
            else if (name == u"FileDescription")
                f.summary = fromUtf16(value);
            else if (name == u"CompanyName")
                f.publisher = fromUtf16(value);
            else if (name == u"ProductVersion")
                f.version = fromUtf16(value);
        }
        if (f.product.isEmpty())
            f.product = f.summary;
        if (f.product.isEmpty())
            continue;
        f.evidence = library ? Evidence::LibraryVersion : Evidence::ProgramVersion;
        return f;
    }
    return std::nullopt;
}

// The sections as the library keeps them. Its iterator throws the library's own exception type
// from inline code, which would make the program refer to the library's data and so load the
// library as the program starts; the list itself needs nothing of the library.
struct SectionList : LIEF::PE::it_const_sections
{
    explicit SectionList(LIEF::PE::it_const_sections &&sections)
        : LIEF::PE::it_const_sections(std::move(sections))
    {}
    const LIEF::PE::sections_t &all() const { return container_; }
};

std::unique_ptr<LIEF::PE::Binary> parsePe(const std::vector<uint8_t> &bytes)
{
    try {
        return LIEF::PE::Parser::parse(bytes, "");
    } catch (const std::exception &e) {
        throw Skip{
            QStringLiteral("programa do Windows danificado (%1)").arg(clean(e.what()).left(120))};
    }
}

// Fields of a Debian control paragraph: "Name: value", continuation lines indented.
QHash<QString, QString> controlFields(const QString &text)
{
    QHash<QString, QString> fields;
    QString current;
    for (const QString &line : text.split(u'\n')) {
        if (line.isEmpty())
            break;
        if (line.front().isSpace()) {
            continue; // the long description: the synopsis is enough
        }
        const qsizetype colon = line.indexOf(u':');
        if (colon <= 0)
            continue;
        current = line.left(colon).trimmed();
        fields.insert(current, line.mid(colon + 1).trimmed());
    }
    return fields;
}

QString withoutAddress(const QString &person)
{
    const qsizetype at = person.indexOf(u'<');
    return (at < 0 ? person : person.left(at)).trimmed();
}

// Key and value lines of an INI-like text, group names lower-cased.
template <typename Visit> void iniLines(const QString &text, Visit visit)
{
    QString group;
    for (QString line : text.split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            group = line.mid(1, line.size() - 2).trimmed().toLower();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            continue;
        visit(group, line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
}

QString readText(Input &input)
{
    return decodeUntrusted(input.read(0, maxTextBytes));
}

} // namespace

Kind kindOf(const QString &fileName)
{
    const QString lower = fileName.toLower();
    const qsizetype dot = lower.lastIndexOf(u'.');
    if (lower == u"autorun.inf")
        return Kind::Autorun;
    if (dot < 0)
        return Kind::Other;
    const QStringView ext = QStringView(lower).mid(dot + 1);
    if (ext == u"exe")
        return Kind::Program;
    if (ext == u"dll")
        return Kind::Library;
    if (ext == u"msi")
        return Kind::Msi;
    if (ext == u"deb")
        return Kind::Deb;
    if (ext == u"rpm")
        return Kind::Rpm;
    if (ext == u"desktop")
        return Kind::Desktop;
    if (ext == u"appimage")
        return Kind::AppImage;
    if (ext == u"cab")
        return Kind::Cab;
    if (ext == u"zip" || ext == u"7z" || ext == u"iso" || ext == u"udf")
        return Kind::Archive;
    return Kind::Other;
}

bool isProgramKind(Kind kind)
{
    return kind == Kind::Program || kind == Kind::Msi || kind == Kind::Deb || kind == Kind::Rpm ||
           kind == Kind::AppImage;
}

std::optional<Finding> readWindowsProgram(Input &input, bool library)
{
    static const bool quiet = (LIEF::Logger::disable(), true);
    Q_UNUSED(quiet);
    const QByteArray header = input.read(0, headerBytes);
    std::vector<uint8_t> bytes(header.begin(), header.end());
    if (!LIEF::PE::is_pe(bytes))
        throw Skip{QStringLiteral("não é um programa do Windows (cabeçalho PE ausente)")};
    // The headers name the section of the resources; only it is read, in place, and the
    // rest is left as zeros: the version resource needs nothing else.
    const auto headers = parsePe(bytes);
    if (!headers)
        throw Skip{QStringLiteral("programa do Windows com cabeçalho danificado")};
    const LIEF::PE::DataDirectory &directory =
        headers->data_directory(LIEF::PE::DATA_DIRECTORY::RESOURCE_TABLE);
    if (directory.RVA() == 0 || directory.size() == 0)
        return std::nullopt;
    const LIEF::PE::Section *section = nullptr;
    const SectionList sections(std::as_const(*headers).sections());
    for (const LIEF::PE::Section *s : sections.all()) {
        if (s && directory.RVA() >= s->virtual_address() &&
            directory.RVA() <
                s->virtual_address() + std::max(s->virtual_size(), s->sizeof_raw_data()))
            section = s;
    }
    if (!section)
        throw Skip{QStringLiteral("a tabela de recursos aponta para fora das seções do programa")};
    const qint64 offset = section->pointerto_raw_data();
    const qint64 length = section->sizeof_raw_data();
    if (input.size() >= 0 && offset + length > input.size())
        throw Skip{QStringLiteral("a tabela de recursos aponta para além do fim do arquivo "
                                  "(arquivo truncado ou danificado)")};
    if (length > maxResourceBytes)
        throw Skip{QStringLiteral("seção de recursos grande demais")};
    bytes.assign(size_t(offset + length), 0);
    std::memcpy(bytes.data(), header.constData(),
                size_t(std::min<qint64>(header.size(), qint64(bytes.size()))));
    const qint64 from = std::max<qint64>(offset, header.size());
    if (from < offset + length) {
        const QByteArray resources = input.read(from, offset + length - from);
        if (resources.size() < offset + length - from)
            throw Skip{QStringLiteral("a tabela de recursos aponta para além do fim do arquivo "
                                      "(arquivo truncado ou danificado)")};
        std::memcpy(bytes.data() + from, resources.constData(), size_t(resources.size()));
    }
    const auto binary = parsePe(bytes);
    if (!binary)
        throw Skip{QStringLiteral("programa do Windows danificado")};
    try {
        return versionStrings(*binary, library);
    } catch (const std::exception &e) {
        throw Skip{
            QStringLiteral("recurso de versão danificado (%1)").arg(clean(e.what()).left(120))};
    }
}

std::optional<Finding> readMsi(Input &input)
{
    // The library only opens paths: the package is handed over as a memory file, so the
    // medium's file is read once, by us, without touching its access time.
    const int fd = copyToMemoryFile(input);
    if (fd < 0)
        throw Skip{QStringLiteral("sem memória para ler o pacote")};
    const QByteArray path = "/proc/self/fd/" + QByteArray::number(fd);
    GError *error = nullptr;
    LibmsiDatabase *db =
        libmsi_database_new(path.constData(), LIBMSI_DB_FLAGS_READONLY, nullptr, &error);
    ::close(fd); // the library holds its own descriptor from here on
    if (!db) {
        const QString message = error ? clean(error->message) : QString();
        g_clear_error(&error);
        throw Skip{QStringLiteral("pacote MSI ilegível (%1)").arg(message.left(120))};
    }
    Finding f;
    f.evidence = Evidence::MsiProperties;
    LibmsiQuery *query = libmsi_query_new(db, "SELECT `Property`, `Value` FROM `Property`", &error);
    if (query && libmsi_query_execute(query, nullptr, &error)) {
        while (LibmsiRecord *record = libmsi_query_fetch(query, nullptr)) {
            gchar *key = libmsi_record_get_string(record, 1);
            gchar *value = libmsi_record_get_string(record, 2);
            const QByteArrayView name(key ? key : "");
            if (name == "ProductName")
                f.product = clean(value);
            else if (name == "Manufacturer")
                f.publisher = clean(value);
            else if (name == "ProductVersion")
                f.version = clean(value);
            g_free(key);
            g_free(value);
            g_object_unref(record);
        }
        libmsi_query_close(query, nullptr);
    }
    const QString message = error ? clean(error->message) : QString();
    g_clear_error(&error);
    if (query)
        g_object_unref(query);
    g_object_unref(db);
    if (f.product.isEmpty()) {
        if (!message.isEmpty())
            throw Skip{QStringLiteral("pacote MSI sem tabela de propriedades legível (%1)")
                           .arg(message.left(120))};
        return std::nullopt;
    }
    return f;
}

std::optional<Finding> readDeb(Input &input)
{
    QString error;
    struct archive *outer =
        input.openArchive([](struct archive *a) { archive_read_support_format_ar(a); }, &error);
    if (!outer)
        throw Skip{QStringLiteral("pacote Debian ilegível (%1)").arg(error)};
    const auto freeOuter = qScopeGuard([outer] { archive_read_free(outer); });
    struct archive_entry *entry = nullptr;
    for (int members = 0; members < 8; ++members) {
        const int status = archive_read_next_header(outer, &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status < ARCHIVE_WARN) {
            input.rethrowStop();
            throw Skip{QStringLiteral("pacote Debian danificado (%1)")
                           .arg(clean(archive_error_string(outer)))};
        }
        const QByteArray name = archive_entry_pathname(entry);
        if (!name.startsWith("control.tar"))
            continue;
        MemberInput member(outer, archive_entry_size(entry), &input);
        member.budget = input.budget;
        struct archive *inner = member.openArchive(
            [](struct archive *a) {
                archive_read_support_format_tar(a);
                archive_read_support_filter_all(a);
            },
            &error);
        if (!inner)
            throw Skip{QStringLiteral("controle do pacote Debian ilegível (%1)").arg(error)};
        const auto freeInner = qScopeGuard([inner] { archive_read_free(inner); });
        for (int files = 0; files < 64; ++files) {
            const int innerStatus = archive_read_next_header(inner, &entry);
            if (innerStatus == ARCHIVE_EOF)
                break;
            if (innerStatus < ARCHIVE_WARN) {
                member.rethrowStop();
                input.rethrowStop();
                throw Skip{QStringLiteral("controle do pacote Debian danificado (%1)")
                               .arg(clean(archive_error_string(inner)))};
            }
            const QByteArrayView path(archive_entry_pathname(entry));
            if (path != "./control" && path != "control")
                continue;
            MemberInput control(inner, archive_entry_size(entry), &member);
            control.budget = input.budget;
            const auto fields = controlFields(readText(control));
            Finding f;
            f.evidence = Evidence::DebianControl;
            f.product = cleanUntrusted(fields.value(QStringLiteral("Package")));
            f.version = cleanUntrusted(fields.value(QStringLiteral("Version")));
            f.summary = cleanUntrusted(fields.value(QStringLiteral("Description")));
            f.publisher =
                cleanUntrusted(withoutAddress(fields.value(QStringLiteral("Maintainer"))));
            if (f.product.isEmpty())
                return std::nullopt;
            return f;
        }
        break;
    }
    throw Skip{QStringLiteral("pacote Debian sem arquivo de controle")};
}

std::optional<Finding> readRpm(Input &input)
{
    // The lead, signature and header come first; the payload after them is never read.
    constexpr qint64 headerLimit = 16 * 1024 * 1024;
    const int copy = copyToMemoryFile(input, headerLimit);
    if (copy < 0)
        throw Skip{QStringLiteral("sem memória para ler o pacote")};
    // The library keeps its configuration and log in process-wide state.
    static std::mutex library;
    const std::lock_guard lock(library);
    static const bool configured = [] {
        rpmlogSetMask(RPMLOG_UPTO(RPMLOG_EMERG));
        return rpmReadConfigFiles(nullptr, nullptr) == 0;
    }();
    if (!configured) {
        ::close(copy);
        throw Skip{QStringLiteral("a biblioteca de pacotes RPM não pôde ser iniciada")};
    }
    ::lseek(copy, 0, SEEK_SET);
    FD_t fd = fdDup(copy);
    ::close(copy);
    rpmts ts = rpmtsCreate();
    // The medium's packages are described, never installed: their signatures do not matter.
    rpmtsSetVSFlags(ts, RPMVSF_MASK_NODIGESTS | RPMVSF_MASK_NOSIGNATURES);
    Header header = nullptr;
    const rpmRC rc = rpmReadPackageFile(ts, fd, "pacote", &header);
    Fclose(fd);
    rpmtsFree(ts);
    if (rc != RPMRC_OK && rc != RPMRC_NOKEY && rc != RPMRC_NOTTRUSTED) {
        headerFree(header);
        throw Skip{QStringLiteral("pacote RPM ilegível ou danificado")};
    }
    Finding f;
    f.evidence = Evidence::RpmHeader;
    f.product = clean(headerGetString(header, RPMTAG_NAME));
    const QString version = clean(headerGetString(header, RPMTAG_VERSION));
    const QString release = clean(headerGetString(header, RPMTAG_RELEASE));
    f.version = release.isEmpty() ? version : version + u'-' + release;
    f.summary = clean(headerGetString(header, RPMTAG_SUMMARY));
    f.publisher = clean(headerGetString(header, RPMTAG_VENDOR));
    headerFree(header);
    if (f.product.isEmpty())
        return std::nullopt;
    return f;
}

std::optional<Finding> readDesktopEntry(Input &input)
{
    Finding f;
    f.evidence = Evidence::DesktopEntry;
    QString localName;
    QString localComment;
    bool application = false;
    bool hidden = false;
    iniLines(readText(input), [&](const QString &group, const QString &key, const QString &value) {
        if (group != u"desktop entry")
            return;
        if (key == u"Type")
            application = value == u"Application";
        else if (key == u"Name")
            f.product = cleanUntrusted(value);
        else if (key == u"Name[pt_BR]" || (key == u"Name[pt]" && localName.isEmpty()))
            localName = cleanUntrusted(value);
        else if (key == u"Comment")
            f.summary = cleanUntrusted(value);
        else if (key == u"Comment[pt_BR]" || (key == u"Comment[pt]" && localComment.isEmpty()))
            localComment = cleanUntrusted(value);
        else if (key == u"NoDisplay" || key == u"Hidden")
            hidden = hidden || value == u"true";
    });
    if (!localName.isEmpty())
        f.product = localName;
    if (!localComment.isEmpty())
        f.summary = localComment;
    if (!application || hidden || f.product.isEmpty())
        return std::nullopt;
    return f;
}

std::optional<Finding> readAutorun(Input &input)
{
    Finding f;
    f.evidence = Evidence::Autorun;
    iniLines(readText(input), [&](const QString &group, const QString &key, const QString &value) {
        if (group != u"autorun")
            return;
        const QString name = key.toLower();
        if (name == u"label")
            f.product = cleanUntrusted(value);
        else if (name == u"open" || (name == u"shellexecute" && f.launches.isEmpty())) {
            QString target = cleanUntrusted(value);
            // The program, without its arguments; quoted when it holds spaces.
            if (target.startsWith(u'"'))
                target = target.mid(1).section(u'"', 0, 0);
            else if (const qsizetype exe = target.toLower().indexOf(u".exe"); exe > 0)
                target = target.left(exe + 4);
            target.replace(u'\\', u'/');
            while (target.startsWith(u'/') || target.startsWith(u"./"))
                target.remove(0, target.startsWith(u'/') ? 1 : 2);
            f.launches = target;
        }
    });
    if (f.product.isEmpty() && f.launches.isEmpty())
        return std::nullopt;
    return f;
}

std::optional<Finding> readAppImage(Input &input, const QString &fileName)
{
    const QByteArray magic = input.read(0, 11);
    if (magic.size() < 11 ||
        !magic.startsWith("\x7f"
                          "ELF") ||
        magic.mid(8, 2) != "AI")
        throw Skip{QStringLiteral("não é uma AppImage (assinatura ausente)")};
    // "Name-1.2.3-x86_64.AppImage": the words before the first that starts with a digit.
    QString base = fileName.left(fileName.size() - int(qstrlen(".AppImage")));
    const QStringList parts = base.split(QRegularExpression(QStringLiteral("[-_ ]")));
    Finding f;
    f.evidence = Evidence::AppImage;
    QStringList name;
    for (const QString &part : parts) {
        if (!part.isEmpty() && part.front().isDigit()) {
            f.version = part;
            break;
        }
        name << part;
    }
    f.product = cleanUntrusted(name.join(u' '));
    if (f.product.isEmpty())
        f.product = cleanUntrusted(base);
    return f;
}

} // namespace Identify
