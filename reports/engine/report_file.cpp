// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports/engine/report_file.h"

#include "reports/engine/report_error.h"
#include "reports/engine/text_metrics.h"

#include <QBuffer>
#include <QDataStream>
#include <QFile>
#include <QHash>
#include <QSaveFile>

#include <array>

namespace {

constexpr char magic[8] = {'Q', 'V', 'R', 'E', 'P', 'O', 'R', 'T'};
constexpr qsizetype headerSize = 8 + 2 + 2 + 4 + 4;
constexpr auto streamVersion = QDataStream::Qt_6_0;

// Smallest encodings of one item, so that a count can be checked against the bytes left
// before anything is allocated for it.
constexpr qint64 minPictureBytes = 4 * 8 + 4 + 4;
constexpr qint64 minLineBytes = 5 * 8 + 4;
constexpr qint64 minTextBytes = 4 * 8 + 4 + 4 + 8 + 1 + 4 + 1 + 4;
constexpr qint64 minPageBytes = 3 * 4;
constexpr qint64 minImageBytes = 4;

quint32 crc32(const QByteArray &data)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : data)
        crc = table[(crc ^ quint8(byte)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

enum FontFlag : quint8 { fontBold = 1, fontItalic = 2, fontUnderline = 4 };

void writeRect(QDataStream &out, const QRectF &rect)
{
    out << rect.x() << rect.y() << rect.width() << rect.height();
}

class PayloadReader
{
public:
    PayloadReader(const QByteArray &payload, QString source, quint16 version)
        : m_source(std::move(source))
        , m_version(version)
    {
        m_buffer.setData(payload);
        m_buffer.open(QIODevice::ReadOnly);
        m_in.setDevice(&m_buffer);
        m_in.setVersion(streamVersion);
    }

    [[noreturn]] void corrupt() const
    {
        throw ReportError(
            QStringLiteral("O arquivo de relatório %1 está corrompido.").arg(m_source));
    }

    template <typename T> T read()
    {
        T value{};
        m_in >> value;
        if (m_in.status() != QDataStream::Ok)
            corrupt();
        return value;
    }

    QRectF rect()
    {
        const double x = read<double>(), y = read<double>();
        const double w = read<double>(), h = read<double>();
        if (!qIsFinite(x) || !qIsFinite(y) || !qIsFinite(w) || !qIsFinite(h))
            corrupt();
        return QRectF(x, y, w, h);
    }

    quint32 count(qint64 minItemBytes)
    {
        const auto n = read<quint32>();
        if (qint64(n) * minItemBytes > m_buffer.bytesAvailable())
            corrupt();
        return n;
    }

    ReportDocument document()
    {
        ReportDocument doc;
        doc.title = read<QString>();
        const double width = read<double>(), height = read<double>();
        if (!(width > 0 && height > 0 && width < 10000 && height < 10000))
            corrupt();
        doc.pageSize = QSizeF(width, height);

        std::vector<QImage> images(count(minImageBytes));
        for (QImage &image : images) {
            image = QImage::fromData(read<QByteArray>(), "PNG");
            if (image.isNull())
                corrupt();
        }
        const quint32 pageCount = count(minPageBytes);
        doc.reservePages(pageCount);
        for (quint32 p = 0; p < pageCount; ++p) {
            ReportPage page;
            page.pictures.resize(count(minPictureBytes));
            for (PagePicture &picture : page.pictures) {
                picture.rect = rect();
                const auto index = read<quint32>();
                if (index >= images.size())
                    corrupt();
                picture.image = images[index];
                picture.element = read<QString>();
            }
            page.lines.resize(count(minLineBytes));
            for (PageLine &line : page.lines) {
                const QRectF r = rect();
                line.line = QLineF(r.topLeft(), r.bottomRight());
                line.width = read<double>();
                line.element = read<QString>();
            }
            page.texts.resize(count(minTextBytes));
            for (PageText &text : page.texts) {
                text.rect = rect();
                text.text = read<QString>();
                text.font = QFont(read<QString>());
                const double size = read<double>();
                if (!(size > 0 && size < 1000))
                    corrupt();
                text.font.setPointSizeF(size);
                const auto flags = read<quint8>();
                text.font.setBold(flags & fontBold);
                text.font.setItalic(flags & fontItalic);
                text.font.setUnderline(flags & fontUnderline);
                text.alignment = Qt::Alignment(read<quint32>());
                text.wordWrap = read<bool>();
                text.element = read<QString>();
                // The first format kept a wrapped text whole, cut only when painted. No text
                // reaches past its page, so nor does the box it is cut to.
                if (text.wordWrap && m_version < 2)
                    text.text = fittedText(
                        text.font, text.text,
                        text.rect.size().boundedTo(doc.pageSize).expandedTo(QSizeF(0, 0)), true);
            }
            doc.appendPage(std::move(page));
        }
        if (!m_in.atEnd())
            corrupt();
        return doc;
    }

private:
    QBuffer m_buffer;
    QDataStream m_in;
    QString m_source;
    quint16 m_version;
};

} // namespace

QByteArray reportToBytes(const ReportDocument &document)
{
    QByteArray payload;
    {
        QDataStream out(&payload, QIODevice::WriteOnly);
        out.setVersion(streamVersion);
        out << document.title << document.pageSize.width() << document.pageSize.height();

        // Pictures are shared between pages (the logo heads every one): stored once, ahead of
        // the pages, which are written as they are made, one at a time.
        QHash<qint64, quint32> imageIndex;
        std::vector<QImage> images;
        QByteArray pages;
        QDataStream pagesOut(&pages, QIODevice::WriteOnly);
        pagesOut.setVersion(streamVersion);
        pagesOut << quint32(document.pageCount());
        for (int p = 0; p < document.pageCount(); ++p) {
            const ReportPage page = document.page(p);
            pagesOut << quint32(page.pictures.size());
            for (const PagePicture &picture : page.pictures) {
                if (!imageIndex.contains(picture.image.cacheKey())) {
                    imageIndex.insert(picture.image.cacheKey(), quint32(images.size()));
                    images.push_back(picture.image);
                }
                writeRect(pagesOut, picture.rect);
                pagesOut << imageIndex.value(picture.image.cacheKey()) << picture.element;
            }
            pagesOut << quint32(page.lines.size());
            for (const PageLine &line : page.lines) {
                writeRect(pagesOut, QRectF(line.line.p1(), line.line.p2()));
                pagesOut << line.width << line.element;
            }
            pagesOut << quint32(page.texts.size());
            for (const PageText &text : page.texts) {
                writeRect(pagesOut, text.rect);
                const quint8 flags = (text.font.bold() ? fontBold : 0) |
                                     (text.font.italic() ? fontItalic : 0) |
                                     (text.font.underline() ? fontUnderline : 0);
                pagesOut << text.text << text.font.family() << text.font.pointSizeF() << flags
                         << quint32(text.alignment.toInt()) << text.wordWrap << text.element;
            }
        }

        out << quint32(images.size());
        for (const QImage &image : images) {
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            out << png;
        }
        out.writeRawData(pages.constData(), int(pages.size()));
    }

    QByteArray bytes;
    QDataStream header(&bytes, QIODevice::WriteOnly);
    header.writeRawData(magic, sizeof magic);
    header << reportFileVersion << quint16(0) << quint32(payload.size()) << crc32(payload);
    return bytes + payload;
}

ReportDocument reportFromBytes(const QByteArray &bytes, const QString &source)
{
    if (bytes.size() < qsizetype(sizeof magic) || !bytes.startsWith(QByteArrayView(magic, 8)))
        throw ReportError(
            QStringLiteral("O arquivo %1 não é um relatório salvo pelo Quivel.").arg(source));
    if (bytes.size() < headerSize)
        throw ReportError(
            QStringLiteral("O arquivo de relatório %1 está incompleto (truncado).").arg(source));

    QDataStream header(bytes);
    header.skipRawData(sizeof magic);
    quint16 version = 0, reserved = 0;
    quint32 length = 0, checksum = 0;
    header >> version >> reserved >> length >> checksum;
    if (version < 1 || version > reportFileVersion)
        throw ReportError(QStringLiteral("O arquivo de relatório %1 está no formato %2, que esta "
                                         "versão do Quivel não sabe ler (formato %3).")
                              .arg(source)
                              .arg(version)
                              .arg(reportFileVersion));
    if (bytes.size() - headerSize < qsizetype(length))
        throw ReportError(
            QStringLiteral("O arquivo de relatório %1 está incompleto (truncado).").arg(source));
    const QByteArray payload = bytes.mid(headerSize);
    if (payload.size() != qsizetype(length) || crc32(payload) != checksum)
        throw ReportError(QStringLiteral("O arquivo de relatório %1 está corrompido.").arg(source));
    return PayloadReader(payload, source, version).document();
}

void saveReportFile(const ReportDocument &document, const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(reportToBytes(document)) < 0 ||
        !file.commit())
        throw ReportError(QStringLiteral("Não foi possível gravar o arquivo de relatório %1: %2.")
                              .arg(path, file.errorString()));
}

ReportDocument loadReportFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ReportError(QStringLiteral("Não foi possível abrir o arquivo de relatório %1: %2.")
                              .arg(path, file.errorString()));
    return reportFromBytes(file.readAll(), path);
}
