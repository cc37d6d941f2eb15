// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/formats/table_writer.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QUtf8StringView>
#include <QXmlStreamWriter>

#include <xlsxwriter.h>
#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace Exchange {

namespace {

// How many rows pass between two progress calls: often enough for a responsive stop, rarely
// enough to cost nothing.
constexpr qint64 progressEvery = 4096;

[[noreturn]] void failWriting(const QString &path, const QString &reason)
{
    throw ExchangeError(QStringLiteral("Não foi possível gravar o arquivo '%1' (%2)")
                            .arg(QFileInfo(path).fileName(), reason));
}

// The file being written, under a name of its own beside the target; removed unless kept.
class PartialFile
{
public:
    explicit PartialFile(const QString &target)
        : m_target(target)
        , m_path(target + QStringLiteral(".parcial-%1").arg(QCoreApplication::applicationPid()))
    {
        QFile::remove(m_path);
    }
    ~PartialFile()
    {
        if (!m_kept)
            QFile::remove(m_path);
    }
    PartialFile(const PartialFile &) = delete;
    PartialFile &operator=(const PartialFile &) = delete;

    const QString &path() const { return m_path; }

    // Takes the target's place in one step, replacing a file the user chose to overwrite.
    void keep()
    {
        if (std::rename(QFile::encodeName(m_path).constData(),
                        QFile::encodeName(m_target).constData()) != 0)
            failWriting(m_target, QString::fromLocal8Bit(std::strerror(errno)));
        m_kept = true;
    }

private:
    QString m_target;
    QString m_path;
    bool m_kept = false;
};

// Text the XML formats can carry: valid UTF-8 whatever the source held (an engine may store
// any bytes), and none of the control characters XML 1.0 forbids.
QString xmlText(QByteArrayView utf8)
{
    QString text = QString::fromUtf8(utf8);
    for (QChar &c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r')
            c = QChar(0xFFFD);
    }
    return text;
}

bool wholeNumber(QByteArrayView utf8, double &value)
{
    bool ok = false;
    value = QByteArray::fromRawData(utf8.data(), utf8.size()).toDouble(&ok);
    return ok && !utf8.isEmpty();
}

bool stopped(const WriteOptions &options, qint64 rows)
{
    return options.progress && rows % progressEvery == 0 && !options.progress(rows);
}

// ----- CSV -----

class CsvWriter
{
public:
    CsvWriter(const QString &path, char separator)
        : m_path(path)
        , m_separator(separator)
    {
        m_file = std::fopen(QFile::encodeName(path).constData(), "wb");
        if (!m_file)
            failWriting(path, QString::fromLocal8Bit(std::strerror(errno)));
        m_buffer.reserve(bufferSize + 1024);
        m_buffer.append("\xEF\xBB\xBF");
    }
    ~CsvWriter()
    {
        if (m_file)
            std::fclose(m_file);
    }

    // Texts are always quoted, so a reader told to take quoted fields as text keeps "0012"
    // and "=1+1" as they are; numbers never are.
    void field(QByteArrayView text, bool first, bool numeric)
    {
        if (!first)
            m_buffer.push_back(m_separator);
        bool quote = !numeric && !text.isEmpty();
        for (size_t i = 0; !quote && i < size_t(text.size()); ++i) {
            const char c = text[qsizetype(i)];
            quote = c == m_separator || c == '"' || c == '\n' || c == '\r';
        }
        if (!quote) {
            m_buffer.append(text.data(), size_t(text.size()));
            return;
        }
        m_buffer.push_back('"');
        for (char c : text) {
            if (c == '"')
                m_buffer.push_back('"');
            m_buffer.push_back(c);
        }
        m_buffer.push_back('"');
    }

    void endRow()
    {
        m_buffer.append("\r\n");
        if (m_buffer.size() >= bufferSize)
            flush();
    }

    void close()
    {
        flush();
        const bool failed = std::fclose(m_file) != 0;
        m_file = nullptr;
        if (failed)
            failWriting(m_path, QString::fromLocal8Bit(std::strerror(errno)));
    }

private:
    static constexpr size_t bufferSize = 1 << 20;

    void flush()
    {
        if (!m_buffer.empty() &&
            std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_file) != m_buffer.size())
            failWriting(m_path, QString::fromLocal8Bit(std::strerror(errno)));
        m_buffer.clear();
    }

    QString m_path;
    char m_separator;
    std::FILE *m_file = nullptr;
    std::string m_buffer;
};

bool writeCsv(RowSource &source, const QString &path, const WriteOptions &options)
{
    CsvWriter writer(path, options.separator);
    const QList<Column> columns = source.columns();
    for (qsizetype i = 0; i < columns.size(); ++i)
        writer.field(columns[i].title.toUtf8(), i == 0, false);
    writer.endRow();
    const int count = int(columns.size());
    qint64 rows = 0;
    while (source.next()) {
        for (int i = 0; i < count; ++i)
            writer.field(source.utf8(i), i == 0, columns[i].numeric);
        writer.endRow();
        if (stopped(options, ++rows))
            return false;
    }
    writer.close();
    return true;
}

// ----- HTML -----

void appendEscaped(std::string &out, QByteArrayView text)
{
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out.push_back(c);
        }
    }
}

bool writeHtml(RowSource &source, const QString &path, const WriteOptions &options)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        failWriting(path, file.errorString());
    std::string out;
    const auto flush = [&] {
        if (file.write(out.data(), qint64(out.size())) != qint64(out.size()))
            failWriting(path, file.errorString());
        out.clear();
    };
    const QByteArray title = options.title.toUtf8();
    out += "<!DOCTYPE html>\n<html lang=\"pt-BR\">\n<head>\n<meta charset=\"utf-8\">\n<title>";
    appendEscaped(out, title);
    out += "</title>\n<style>\n"
           "body { font-family: sans-serif; margin: 1em; }\n"
           "table { border-collapse: collapse; }\n"
           "th, td { border: 1px solid #999; padding: 2px 6px; text-align: left; "
           "vertical-align: top; white-space: pre-wrap; }\n"
           "th { background: #ddd; }\n"
           "td.n { text-align: right; }\n"
           "</style>\n</head>\n<body>\n<h1>";
    appendEscaped(out, title);
    out += "</h1>\n<table>\n<thead>\n<tr>";
    const QList<Column> columns = source.columns();
    for (const Column &c : columns) {
        out += "<th>";
        appendEscaped(out, c.title.toUtf8());
        out += "</th>";
    }
    out += "</tr>\n</thead>\n<tbody>\n";
    qint64 rows = 0;
    while (source.next()) {
        out += "<tr>";
        for (int i = 0; i < int(columns.size()); ++i) {
            out += columns[i].numeric ? "<td class=\"n\">" : "<td>";
            const QByteArrayView value = source.utf8(i);
            // Bytes that are not UTF-8 would make the page unreadable as declared.
            if (QUtf8StringView(value.data(), value.size()).isValidUtf8())
                appendEscaped(out, value);
            else
                appendEscaped(out, QString::fromUtf8(value).toUtf8());
            out += "</td>";
        }
        out += "</tr>\n";
        if (out.size() > (1 << 20))
            flush();
        if (stopped(options, ++rows))
            return false;
    }
    out += "</tbody>\n</table>\n</body>\n</html>\n";
    flush();
    if (!file.flush())
        failWriting(path, file.errorString());
    file.close();
    return true;
}

// ----- XLSX -----

// A sheet name as the format allows it: at most 31 characters, none of []:*?/\.
QString sheetName(const QString &title, int number)
{
    QString name = title;
    for (QChar &c : name) {
        if (QStringView(u"[]:*?/\\").contains(c))
            c = u' ';
    }
    name = name.trimmed();
    if (name.isEmpty())
        name = QStringLiteral("Planilha");
    const QString suffix = number > 1 ? QStringLiteral(" (%1)").arg(number) : QString();
    return name.left(31 - suffix.size()) + suffix;
}

class XlsxWriter
{
public:
    XlsxWriter(const QString &path, const QString &title)
        : m_path(path)
        , m_title(title)
    {
        lxw_workbook_options options{};
        // Rows go to a temporary file as they are written, so memory stays flat.
        options.constant_memory = LXW_TRUE;
        options.use_zip64 = LXW_TRUE;
        m_workbook = workbook_new_opt(QFile::encodeName(path).constData(), &options);
        if (!m_workbook)
            failWriting(path, QStringLiteral("a biblioteca de planilhas recusou o arquivo"));
        m_bold = workbook_add_format(m_workbook);
        format_set_bold(m_bold);
    }
    ~XlsxWriter()
    {
        // A workbook not closed writes nothing; closing is how its memory is freed.
        if (m_workbook)
            workbook_close(m_workbook);
    }

    // A new sheet with the header row, when there is none or the current one is full.
    void startSheet(const QList<Column> &columns)
    {
        ++m_sheets;
        const QByteArray name = sheetName(m_title, m_sheets).toUtf8();
        m_sheet = workbook_add_worksheet(m_workbook, name.constData());
        if (!m_sheet)
            failWriting(m_path, QStringLiteral("não foi possível criar a planilha"));
        m_row = 0;
        for (int i = 0; i < int(columns.size()); ++i)
            check(worksheet_write_string(m_sheet, 0, lxw_col_t(i),
                                         columns[i].title.toUtf8().constData(), m_bold));
        worksheet_freeze_panes(m_sheet, 1, 0);
        m_row = 1;
    }

    bool full() const { return m_row >= LXW_ROW_MAX; }

    void number(int column, double value)
    {
        check(worksheet_write_number(m_sheet, m_row, lxw_col_t(column), value, nullptr));
    }

    // Always a string cell: a value starting with "=", "+", "-" or "@" stays text.
    void text(int column, QByteArrayView value)
    {
        if (value.isEmpty())
            return;
        m_scratch.assign(value.data(), size_t(value.size()));
        bool clean = QUtf8StringView(value.data(), value.size()).isValidUtf8();
        for (char c : value) {
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
                clean = false;
        }
        if (!clean)
            m_scratch = xmlText(value).toStdString();
        check(
            worksheet_write_string(m_sheet, m_row, lxw_col_t(column), m_scratch.c_str(), nullptr));
    }

    void endRow() { ++m_row; }

    void close()
    {
        const lxw_error error = workbook_close(m_workbook);
        m_workbook = nullptr;
        if (error != LXW_NO_ERROR)
            failWriting(m_path, QString::fromUtf8(lxw_strerror(error)));
    }

private:
    void check(lxw_error error)
    {
        if (error != LXW_NO_ERROR)
            failWriting(m_path, QString::fromUtf8(lxw_strerror(error)));
    }

    QString m_path;
    QString m_title;
    lxw_workbook *m_workbook = nullptr;
    lxw_worksheet *m_sheet = nullptr;
    lxw_format *m_bold = nullptr;
    lxw_row_t m_row = 0;
    int m_sheets = 0;
    std::string m_scratch;
};

bool writeXlsx(RowSource &source, const QString &path, const WriteOptions &options)
{
    XlsxWriter writer(path, options.title);
    const QList<Column> columns = source.columns();
    writer.startSheet(columns);
    qint64 rows = 0;
    while (source.next()) {
        // Past the format's last row the rows go on in another sheet.
        if (writer.full())
            writer.startSheet(columns);
        for (int i = 0; i < int(columns.size()); ++i) {
            const QByteArrayView value = source.utf8(i);
            double number = 0;
            if (columns[i].numeric && wholeNumber(value, number))
                writer.number(i, number);
            else
                writer.text(i, value);
        }
        writer.endRow();
        if (stopped(options, ++rows))
            return false;
    }
    writer.close();
    return true;
}

// ----- ODS -----

const QString officeNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
const QString tableNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
const QString textNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
const QString manifestNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:manifest:1.0");
const QString odsMimeType = QStringLiteral("application/vnd.oasis.opendocument.spreadsheet");

// A cell's text as paragraphs: the format collapses runs of spaces and drops line breaks
// inside a paragraph, so each line is a paragraph and repeated spaces and tabs are marked.
void writeOdfText(QXmlStreamWriter &xml, const QString &text)
{
    for (const QStringView line : QStringView(text).split(u'\n')) {
        xml.writeStartElement(textNs, QStringLiteral("p"));
        QString run;
        qsizetype i = 0;
        while (i < line.size()) {
            const QChar c = line[i];
            if (c == u'\t') {
                xml.writeCharacters(run);
                run.clear();
                xml.writeEmptyElement(textNs, QStringLiteral("tab"));
                ++i;
                continue;
            }
            if (c == u' ') {
                qsizetype end = i;
                while (end < line.size() && line[end] == u' ')
                    ++end;
                qsizetype marked = end - i;
                // One space between words is kept as it is; any other is marked.
                if (i > 0 && line[i - 1] != u'\t') {
                    run += u' ';
                    --marked;
                }
                if (marked > 0) {
                    xml.writeCharacters(run);
                    run.clear();
                    xml.writeEmptyElement(textNs, QStringLiteral("s"));
                    if (marked > 1)
                        xml.writeAttribute(textNs, QStringLiteral("c"), QString::number(marked));
                }
                i = end;
                continue;
            }
            run += c;
            ++i;
        }
        xml.writeCharacters(run);
        xml.writeEndElement();
    }
}

// One member of the zip file being written, as a device for the XML writer; the text goes to
// the compressor in large pieces as it is made.
class ZipMember : public QIODevice
{
public:
    ZipMember(zipFile zip, const char *name, const QString &path, bool stored = false,
              bool large = false)
        : m_zip(zip)
        , m_path(path)
    {
        zip_fileinfo info{};
        const int rc = zipOpenNewFileInZip64(zip, name, &info, nullptr, 0, nullptr, 0, nullptr,
                                             stored ? 0 : Z_DEFLATED,
                                             stored ? 0 : Z_DEFAULT_COMPRESSION, large ? 1 : 0);
        if (rc != ZIP_OK)
            failWriting(path, QStringLiteral("erro %1 do compactador").arg(rc));
        QIODevice::open(QIODevice::WriteOnly);
        m_buffer.reserve(bufferSize);
    }

    void finish()
    {
        flush();
        QIODevice::close();
        const int rc = zipCloseFileInZip(m_zip);
        if (rc != ZIP_OK)
            failWriting(m_path, QStringLiteral("erro %1 do compactador").arg(rc));
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        m_buffer.append(data, size_t(size));
        if (m_buffer.size() >= bufferSize)
            flush();
        return size;
    }

private:
    static constexpr size_t bufferSize = 1 << 18;

    void flush()
    {
        if (!m_buffer.empty() &&
            zipWriteInFileInZip(m_zip, m_buffer.data(), unsigned(m_buffer.size())) != ZIP_OK)
            failWriting(m_path, QStringLiteral("não foi possível compactar os dados"));
        m_buffer.clear();
    }

    zipFile m_zip;
    QString m_path;
    std::string m_buffer;
};

// The zip file itself, closed on every way out.
class ZipArchive
{
public:
    explicit ZipArchive(const QString &path)
        : m_path(path)
        , m_zip(zipOpen64(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE))
    {
        if (!m_zip)
            failWriting(path, QStringLiteral("não foi possível criar o arquivo compactado"));
    }
    ~ZipArchive()
    {
        if (m_zip)
            zipClose(m_zip, nullptr);
    }
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    zipFile handle() const { return m_zip; }
    void close()
    {
        const int rc = zipClose(m_zip, nullptr);
        m_zip = nullptr;
        if (rc != ZIP_OK)
            failWriting(m_path, QStringLiteral("erro %1 do compactador").arg(rc));
    }

private:
    QString m_path;
    zipFile m_zip;
};

bool writeOds(RowSource &source, const QString &path, const WriteOptions &options)
{
    ZipArchive zip(path);
    {
        // First and uncompressed, so the file announces its type at a fixed place.
        ZipMember mimetype(zip.handle(), "mimetype", path, true);
        mimetype.write(odsMimeType.toLatin1());
        mimetype.finish();
    }
    {
        ZipMember manifest(zip.handle(), "META-INF/manifest.xml", path);
        QXmlStreamWriter xml(&manifest);
        xml.writeStartDocument();
        xml.writeNamespace(manifestNs, QStringLiteral("manifest"));
        xml.writeStartElement(manifestNs, QStringLiteral("manifest"));
        xml.writeAttribute(manifestNs, QStringLiteral("version"), QStringLiteral("1.2"));
        const auto entry = [&xml](const QString &full, const QString &type) {
            xml.writeEmptyElement(manifestNs, QStringLiteral("file-entry"));
            xml.writeAttribute(manifestNs, QStringLiteral("full-path"), full);
            xml.writeAttribute(manifestNs, QStringLiteral("media-type"), type);
        };
        entry(QStringLiteral("/"), odsMimeType);
        entry(QStringLiteral("content.xml"), QStringLiteral("text/xml"));
        xml.writeEndDocument();
        manifest.finish();
    }
    ZipMember content(zip.handle(), "content.xml", path, false, true);
    QXmlStreamWriter xml(&content);
    xml.writeStartDocument();
    xml.writeNamespace(officeNs, QStringLiteral("office"));
    xml.writeNamespace(tableNs, QStringLiteral("table"));
    xml.writeNamespace(textNs, QStringLiteral("text"));
    xml.writeStartElement(officeNs, QStringLiteral("document-content"));
    xml.writeAttribute(officeNs, QStringLiteral("version"), QStringLiteral("1.2"));
    xml.writeStartElement(officeNs, QStringLiteral("body"));
    xml.writeStartElement(officeNs, QStringLiteral("spreadsheet"));
    xml.writeStartElement(tableNs, QStringLiteral("table"));
    xml.writeAttribute(tableNs, QStringLiteral("name"), sheetName(options.title, 1));

    const QList<Column> columns = source.columns();
    xml.writeStartElement(tableNs, QStringLiteral("table-row"));
    for (const Column &c : columns) {
        xml.writeStartElement(tableNs, QStringLiteral("table-cell"));
        xml.writeAttribute(officeNs, QStringLiteral("value-type"), QStringLiteral("string"));
        writeOdfText(xml, c.title);
        xml.writeEndElement();
    }
    xml.writeEndElement();
    qint64 rows = 0;
    while (source.next()) {
        xml.writeStartElement(tableNs, QStringLiteral("table-row"));
        for (int i = 0; i < int(columns.size()); ++i) {
            const QByteArrayView value = source.utf8(i);
            xml.writeStartElement(tableNs, QStringLiteral("table-cell"));
            double number = 0;
            if (columns[i].numeric && wholeNumber(value, number)) {
                const QString text = QString::fromUtf8(value);
                xml.writeAttribute(officeNs, QStringLiteral("value-type"), QStringLiteral("float"));
                xml.writeAttribute(officeNs, QStringLiteral("value"), text);
                writeOdfText(xml, text);
            } else if (!value.isEmpty()) {
                xml.writeAttribute(officeNs, QStringLiteral("value-type"),
                                   QStringLiteral("string"));
                writeOdfText(xml, xmlText(value));
            }
            xml.writeEndElement();
        }
        xml.writeEndElement();
        if (stopped(options, ++rows))
            return false;
    }
    xml.writeEndDocument();
    if (xml.hasError())
        failWriting(path, QStringLiteral("erro ao escrever o XML"));
    content.finish();
    zip.close();
    return true;
}

} // namespace

std::optional<Format> formatOf(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"csv")
        return Format::Csv;
    if (suffix == u"xlsx")
        return Format::Xlsx;
    if (suffix == u"ods")
        return Format::Ods;
    if (suffix == u"html" || suffix == u"htm")
        return Format::Html;
    return std::nullopt;
}

QString extensionOf(Format format)
{
    switch (format) {
    case Format::Csv:
        return QStringLiteral("csv");
    case Format::Xlsx:
        return QStringLiteral("xlsx");
    case Format::Ods:
        return QStringLiteral("ods");
    case Format::Html:
        break;
    }
    return QStringLiteral("html");
}

QStringList formatFilters()
{
    return {QStringLiteral("Planilha do Excel (*.xlsx)"),
            QStringLiteral("Planilha do LibreOffice (*.ods)"),
            QStringLiteral("Texto separado por ponto e vírgula (*.csv)"),
            QStringLiteral("Texto separado por vírgula (*.csv)"),
            QStringLiteral("Página da web (*.html)")};
}

std::optional<Format> formatOfFilter(const QString &filter)
{
    const qsizetype star = filter.lastIndexOf(QLatin1String("*."));
    if (star < 0)
        return std::nullopt;
    return formatOf(QStringLiteral("x.") + filter.mid(star + 2).chopped(1));
}

bool writeTable(RowSource &source, const QString &path, const WriteOptions &options)
{
    const std::optional<Format> format = formatOf(path);
    if (!format) {
        throw ExchangeError(QStringLiteral("O arquivo '%1' não termina em .xlsx, .ods, .csv ou "
                                           ".html; não sei em que formato gravá-lo")
                                .arg(QFileInfo(path).fileName()));
    }
    return writeTable(source, path, *format, options);
}

bool writeTable(RowSource &source, const QString &path, Format format, const WriteOptions &options)
{
    if (options.separator != ';' && options.separator != ',')
        throw ExchangeError(QStringLiteral("O separador do CSV deve ser ';' ou ','"));
    PartialFile partial(path);
    bool complete = false;
    switch (format) {
    case Format::Csv:
        complete = writeCsv(source, partial.path(), options);
        break;
    case Format::Xlsx:
        complete = writeXlsx(source, partial.path(), options);
        break;
    case Format::Ods:
        complete = writeOds(source, partial.path(), options);
        break;
    case Format::Html:
        complete = writeHtml(source, partial.path(), options);
        break;
    }
    if (!complete)
        return false;
    partial.keep();
    return true;
}

} // namespace Exchange
