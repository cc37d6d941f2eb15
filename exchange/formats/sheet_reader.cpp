// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/formats/sheet_reader.h"

#include "exchange/formats/table_writer.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QUtf8StringView>
#include <QXmlStreamReader>

#include <csv.h>
#include <unzip.h>

#include <deque>

namespace Exchange {

namespace {

// A row wider than any spreadsheet program makes is a damaged or hostile file.
constexpr int maxColumns = 16384;

[[noreturn]] void failReading(const QString &path, const QString &reason)
{
    throw ExchangeError(QStringLiteral("Não foi possível ler o arquivo '%1' (%2)")
                            .arg(QFileInfo(path).fileName(), reason));
}

bool hasText(const QStringList &cells)
{
    for (const QString &c : cells) {
        if (!c.trimmed().isEmpty())
            return true;
    }
    return false;
}

// A number as users typed it: whole numbers without a decimal point.
QString numberText(const QString &value)
{
    bool ok = false;
    const double d = value.toDouble(&ok);
    if (!ok)
        return value;
    if (d == double(qint64(d)) && d > -1e15 && d < 1e15)
        return QString::number(qint64(d));
    return QString::number(d, 'g', 15);
}

// ----- CSV -----

class CsvReader : public SheetReader
{
public:
    explicit CsvReader(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            failReading(path, file.errorString());
        QByteArray bytes = file.readAll();
        QString encoding = QStringLiteral("UTF-8");
        if (bytes.startsWith("\xEF\xBB\xBF")) {
            bytes.remove(0, 3);
        } else if (!QUtf8StringView(bytes.constData(), bytes.size()).isValidUtf8()) {
            m_cp1252 = true;
            encoding = QStringLiteral("Windows-1252");
        }
        const char separator = guessSeparator(bytes);
        details = QStringLiteral("separado por %1, %2")
                      .arg(separator == '\t' ? QStringLiteral("tabulação")
                                             : QStringLiteral("'%1'").arg(QLatin1Char(separator)),
                           encoding);
        parse(path, bytes, separator);
    }

    bool next(SheetRow &row) override
    {
        while (!m_rows.empty()) {
            row = std::move(m_rows.front());
            m_rows.pop_front();
            if (hasText(row.cells))
                return true;
        }
        return false;
    }

private:
    // The separator that appears most often in the header line, outside quotes.
    static char guessSeparator(const QByteArray &bytes)
    {
        int counts[3] = {};
        const char candidates[3] = {';', ',', '\t'};
        bool quoted = false;
        for (const char c : bytes) {
            if (c == '"')
                quoted = !quoted;
            if (quoted)
                continue;
            if (c == '\n' || c == '\r')
                break;
            for (int i = 0; i < 3; ++i)
                counts[i] += c == candidates[i];
        }
        int best = 0;
        for (int i = 1; i < 3; ++i) {
            if (counts[i] > counts[best])
                best = i;
        }
        return candidates[best];
    }

    QString decode(const char *data, size_t size)
    {
        if (!m_cp1252)
            return QString::fromUtf8(data, qsizetype(size));
        QStringDecoder decoder("windows-1252");
        return decoder.decode(QByteArrayView(data, qsizetype(size)));
    }

    static void onField(void *data, size_t size, void *self)
    {
        auto *reader = static_cast<CsvReader *>(self);
        if (reader->m_current.cells.size() < maxColumns)
            reader->m_current.cells.append(reader->decode(static_cast<const char *>(data), size));
    }

    // Every line break outside quotes ends a row, so blank lines count as the rows a
    // spreadsheet shows; the line feed of a CR LF pair does not end another.
    static void onRowEnd(int terminator, void *self)
    {
        auto *reader = static_cast<CsvReader *>(self);
        const bool pairedFeed = terminator == '\n' && reader->m_lastTerminator == '\r' &&
                                reader->m_current.cells.isEmpty();
        reader->m_lastTerminator = terminator;
        if (pairedFeed)
            return;
        reader->m_current.line = ++reader->m_line;
        reader->m_rows.push_back(std::move(reader->m_current));
        reader->m_current = {};
    }

    void parse(const QString &path, const QByteArray &bytes, char separator)
    {
        csv_parser parser;
        if (csv_init(&parser, CSV_REPALL_NL) != 0)
            failReading(path, QStringLiteral("sem memória"));
        csv_set_delim(&parser, static_cast<unsigned char>(separator));
        // Spaces are part of the values, as in a spreadsheet.
        csv_set_space_func(&parser, [](unsigned char) { return 0; });
        const size_t done =
            csv_parse(&parser, bytes.constData(), size_t(bytes.size()), onField, onRowEnd, this);
        const int error = csv_error(&parser);
        if (done == size_t(bytes.size()))
            csv_fini(&parser, onField, onRowEnd, this);
        csv_free(&parser);
        if (done != size_t(bytes.size()))
            failReading(path, QString::fromUtf8(csv_strerror(error)));
    }

    bool m_cp1252 = false;
    std::deque<SheetRow> m_rows;
    SheetRow m_current;
    int m_line = 0;
    int m_lastTerminator = 0;
};

// ----- zip members -----

// Larger members are not spreadsheets a person keeps, but damaged or hostile files.
constexpr qint64 maxMemberSize = qint64(1) << 30;

// One member of a zip file, decompressed and read as XML.
class ZipXml
{
public:
    ZipXml(const QString &zipPath, const QString &member)
    {
        unzFile zip = unzOpen64(QFile::encodeName(zipPath).constData());
        if (!zip)
            failReading(zipPath, QStringLiteral("não é uma planilha: não é um arquivo compactado"));
        const QByteArray name = member.toUtf8();
        int rc = unzLocateFile(zip, name.constData(), 1);
        if (rc != UNZ_OK) {
            unzClose(zip);
            failReading(zipPath, QStringLiteral("não tem '%1'; não é uma planilha").arg(member));
        }
        rc = unzOpenCurrentFile(zip);
        char chunk[65536];
        while (rc == UNZ_OK) {
            const int got = unzReadCurrentFile(zip, chunk, sizeof chunk);
            if (got <= 0) {
                rc = got;
                break;
            }
            m_data.append(chunk, got);
            if (m_data.size() > maxMemberSize) {
                rc = UNZ_BADZIPFILE;
                break;
            }
        }
        // Closing checks the member against its checksum.
        const int closed = unzCloseCurrentFile(zip);
        unzClose(zip);
        if (rc != UNZ_OK || closed != UNZ_OK)
            failReading(zipPath, QStringLiteral("'%1' está danificado").arg(member));
        m_xml.addData(m_data);
    }
    static bool exists(const QString &zipPath, const QString &member)
    {
        unzFile zip = unzOpen64(QFile::encodeName(zipPath).constData());
        if (!zip)
            return false;
        const bool found = unzLocateFile(zip, member.toUtf8().constData(), 1) == UNZ_OK;
        unzClose(zip);
        return found;
    }
    QXmlStreamReader &xml() { return m_xml; }

private:
    QByteArray m_data;
    QXmlStreamReader m_xml;
};

void checkXml(const QString &path, const QXmlStreamReader &xml)
{
    if (xml.hasError() && xml.error() != QXmlStreamReader::PrematureEndOfDocumentError)
        failReading(path, QStringLiteral("XML inválido: %1").arg(xml.errorString()));
    if (xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
        failReading(path, QStringLiteral("o arquivo está incompleto"));
}

void checkZip(const QString &path)
{
    unzFile zip = unzOpen64(QFile::encodeName(path).constData());
    if (!zip)
        failReading(path, QStringLiteral("não é uma planilha: não é um arquivo compactado"));
    unzClose(zip);
}

// ----- XLSX -----

// Text of an element that holds <t> pieces (a shared string, an inline string), skipping
// the phonetic guides.
QString runText(QXmlStreamReader &xml)
{
    QString text;
    const QString end = xml.name().toString();
    int depth = 1;
    bool phonetic = false;
    while (depth > 0 && !xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            ++depth;
            if (xml.name() == u"rPh")
                phonetic = true;
            else if (xml.name() == u"t" && !phonetic)
                text += xml.readElementText(QXmlStreamReader::IncludeChildElements), --depth;
        } else if (xml.isEndElement()) {
            --depth;
            if (xml.name() == u"rPh")
                phonetic = false;
        }
    }
    return text;
}

// "AB12" to the zero-based column 27.
int columnOf(QStringView reference)
{
    int column = 0;
    for (const QChar c : reference) {
        if (c < u'A' || c > u'Z')
            break;
        column = column * 26 + (c.unicode() - u'A' + 1);
        if (column > maxColumns)
            return -1;
    }
    return column - 1;
}

class XlsxReader : public SheetReader
{
public:
    explicit XlsxReader(const QString &path)
        : m_path(path)
    {
        checkZip(path);
        const QString sheet = firstSheet();
        if (ZipXml::exists(path, QStringLiteral("xl/sharedStrings.xml")))
            readSharedStrings();
        m_sheet = std::make_unique<ZipXml>(path, sheet);
    }

    bool next(SheetRow &row) override
    {
        QXmlStreamReader &xml = m_sheet->xml();
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == u"row") {
                const int number = xml.attributes().value(QStringLiteral("r")).toInt();
                m_line = number > 0 ? number : m_line + 1;
                row.line = m_line;
                row.cells = readRow(xml);
                if (hasText(row.cells))
                    return true;
            }
        }
        checkXml(m_path, xml);
        return false;
    }

private:
    // The workbook's first sheet, through the relationship that names its member.
    QString firstSheet()
    {
        QString id;
        {
            ZipXml workbook(m_path, QStringLiteral("xl/workbook.xml"));
            QXmlStreamReader &xml = workbook.xml();
            while (!xml.atEnd() && id.isEmpty()) {
                xml.readNext();
                if (xml.isStartElement() && xml.name() == u"sheet") {
                    for (const QXmlStreamAttribute &a : xml.attributes()) {
                        if (a.name() == u"id")
                            id = a.value().toString();
                    }
                }
            }
            checkXml(m_path, xml);
        }
        if (id.isEmpty())
            failReading(m_path, QStringLiteral("a pasta de trabalho não tem planilhas"));
        ZipXml relations(m_path, QStringLiteral("xl/_rels/workbook.xml.rels"));
        QXmlStreamReader &xml = relations.xml();
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == u"Relationship" &&
                xml.attributes().value(QStringLiteral("Id")) == id) {
                const QString target = xml.attributes().value(QStringLiteral("Target")).toString();
                return target.startsWith(u'/') ? target.mid(1) : QStringLiteral("xl/") + target;
            }
        }
        checkXml(m_path, xml);
        failReading(m_path, QStringLiteral("a primeira planilha não foi encontrada"));
    }

    void readSharedStrings()
    {
        ZipXml strings(m_path, QStringLiteral("xl/sharedStrings.xml"));
        QXmlStreamReader &xml = strings.xml();
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == u"si")
                m_strings.append(runText(xml));
        }
        checkXml(m_path, xml);
    }

    QStringList readRow(QXmlStreamReader &xml)
    {
        QStringList cells;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isEndElement() && xml.name() == u"row")
                break;
            if (!xml.isStartElement() || xml.name() != u"c")
                continue;
            const QXmlStreamAttributes attributes = xml.attributes();
            int column = columnOf(attributes.value(QStringLiteral("r")));
            if (attributes.value(QStringLiteral("r")).isEmpty())
                column = int(cells.size());
            if (column < 0 || column >= maxColumns)
                failReading(m_path, QStringLiteral("referência de célula inválida"));
            const QString type = attributes.value(QStringLiteral("t")).toString();
            const QString value = cellValue(xml, type);
            while (cells.size() <= column)
                cells.append(QString());
            cells[column] = value;
        }
        return cells;
    }

    QString cellValue(QXmlStreamReader &xml, const QString &type)
    {
        QString value;
        QString inlineText;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isEndElement() && xml.name() == u"c")
                break;
            if (!xml.isStartElement())
                continue;
            if (xml.name() == u"v")
                value = xml.readElementText();
            else if (xml.name() == u"is")
                inlineText = runText(xml);
        }
        if (type == u"s") {
            bool ok = false;
            const int index = value.toInt(&ok);
            if (!ok || index < 0 || index >= m_strings.size())
                failReading(m_path, QStringLiteral("texto compartilhado inexistente"));
            return m_strings[index];
        }
        if (type == u"inlineStr")
            return inlineText;
        if (type == u"str" || type == u"e")
            return value;
        if (type == u"b")
            return value == u"1" ? QStringLiteral("VERDADEIRO") : QStringLiteral("FALSO");
        return value.isEmpty() ? value : numberText(value);
    }

    QString m_path;
    QStringList m_strings;
    std::unique_ptr<ZipXml> m_sheet;
    int m_line = 0;
};

// ----- ODS -----

const QString odfOffice = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
const QString odfTable = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
const QString odfText = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");

// A cell's text: its paragraphs, one per line, with the marked spaces, tabs and breaks.
void appendOdfText(QXmlStreamReader &xml, QString &text)
{
    int depth = 1;
    while (depth > 0 && !xml.atEnd()) {
        xml.readNext();
        if (xml.isCharacters()) {
            text += xml.text();
        } else if (xml.isStartElement()) {
            ++depth;
            const QStringView name = xml.name();
            if (name == u"s") {
                const int count = xml.attributes().value(odfText, QStringLiteral("c")).toInt();
                text += QString(qBound(1, count, 1000), u' ');
            } else if (name == u"tab") {
                text += u'\t';
            } else if (name == u"line-break") {
                text += u'\n';
            } else if (name == u"annotation") {
                xml.skipCurrentElement();
                --depth;
            }
        } else if (xml.isEndElement()) {
            --depth;
        }
    }
}

class OdsReader : public SheetReader
{
public:
    explicit OdsReader(const QString &path)
        : m_path(path)
    {
        checkZip(path);
        m_content = std::make_unique<ZipXml>(path, QStringLiteral("content.xml"));
        QXmlStreamReader &xml = m_content->xml();
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == u"table" && xml.namespaceUri() == odfTable)
                return;
        }
        checkXml(path, xml);
        failReading(path, QStringLiteral("a planilha não tem tabelas"));
    }

    bool next(SheetRow &row) override
    {
        if (m_repeat > 0) {
            --m_repeat;
            row = m_repeated;
            row.line = ++m_line;
            return true;
        }
        QXmlStreamReader &xml = m_content->xml();
        while (!m_done && !xml.atEnd()) {
            xml.readNext();
            if (xml.isEndElement() && xml.name() == u"table") {
                m_done = true; // only the first sheet
                break;
            }
            if (!xml.isStartElement() || xml.name() != u"table-row")
                continue;
            const int repeat = qMax(
                1,
                xml.attributes().value(odfTable, QStringLiteral("number-rows-repeated")).toInt());
            row.cells = readRow(xml);
            if (!hasText(row.cells)) {
                // Blank rows, often a million of them at the end, are only counted.
                m_line += repeat;
                continue;
            }
            row.line = ++m_line;
            if (repeat > 1) {
                m_repeated = row;
                m_repeat = qMin(repeat - 1, 1 << 20);
            }
            return true;
        }
        checkXml(m_path, xml);
        return false;
    }

private:
    QStringList readRow(QXmlStreamReader &xml)
    {
        QStringList cells;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isEndElement() && xml.name() == u"table-row")
                break;
            if (!xml.isStartElement() ||
                (xml.name() != u"table-cell" && xml.name() != u"covered-table-cell"))
                continue;
            const QXmlStreamAttributes attributes = xml.attributes();
            const int repeat = qMax(
                1, attributes.value(odfTable, QStringLiteral("number-columns-repeated")).toInt());
            const QString type =
                attributes.value(odfOffice, QStringLiteral("value-type")).toString();
            QString text;
            bool firstParagraph = true;
            int depth = 1;
            while (depth > 0 && !xml.atEnd()) {
                xml.readNext();
                if (xml.isStartElement()) {
                    if (xml.name() == u"p" || xml.name() == u"h") {
                        if (!firstParagraph)
                            text += u'\n';
                        firstParagraph = false;
                        appendOdfText(xml, text);
                    } else {
                        xml.skipCurrentElement();
                    }
                } else if (xml.isEndElement()) {
                    --depth;
                }
            }
            if (type == u"float" || type == u"percentage" || type == u"currency")
                text = numberText(attributes.value(odfOffice, QStringLiteral("value")).toString());
            // Empty cells repeated to the sheet's edge are padding, not columns.
            const int count = text.isEmpty() ? qMin(repeat, maxColumns) : qMin(repeat, 1024);
            for (int i = 0; i < count && cells.size() < maxColumns; ++i)
                cells.append(text);
        }
        while (!cells.isEmpty() && cells.last().isEmpty())
            cells.removeLast();
        return cells;
    }

    QString m_path;
    std::unique_ptr<ZipXml> m_content;
    SheetRow m_repeated;
    int m_repeat = 0;
    int m_line = 0;
    bool m_done = false;
};

} // namespace

std::unique_ptr<SheetReader> SheetReader::open(const QString &path)
{
    if (!QFileInfo(path).isFile())
        failReading(path, QStringLiteral("o arquivo não existe"));
    const std::optional<Format> format = formatOf(path);
    if (format == Format::Csv || QFileInfo(path).suffix().toLower() == u"txt")
        return std::make_unique<CsvReader>(path);
    if (format == Format::Xlsx)
        return std::make_unique<XlsxReader>(path);
    if (format == Format::Ods)
        return std::make_unique<OdsReader>(path);
    throw ExchangeError(QStringLiteral("O arquivo '%1' não termina em .xlsx, .ods ou .csv; não "
                                       "sei lê-lo")
                            .arg(QFileInfo(path).fileName()));
}

} // namespace Exchange
