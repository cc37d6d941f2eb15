// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/make-pictures/picture_files.h"

#include <QFile>
#include <QSaveFile>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

namespace {

struct EncoderError
{
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void encoderErrorExit(j_common_ptr cinfo)
{
    auto *err = reinterpret_cast<EncoderError *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Holds no C++ object with a destructor, so the error jump skips nothing.
bool compress(jpeg_compress_struct *cinfo, EncoderError *err, const uchar *rgb, int width,
              int height, qsizetype stride, int quality, unsigned char **out,
              unsigned long *outSize)
{
    if (setjmp(err->jump))
        return false;
    jpeg_mem_dest(cinfo, out, outSize);
    cinfo->image_width = static_cast<JDIMENSION>(width);
    cinfo->image_height = static_cast<JDIMENSION>(height);
    cinfo->input_components = 3;
    cinfo->in_color_space = JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    cinfo->optimize_coding = TRUE;
    // Full chroma resolution: thin edges on small art would bleed colour otherwise.
    for (int c = 0; c < 3; ++c) {
        cinfo->comp_info[c].h_samp_factor = 1;
        cinfo->comp_info[c].v_samp_factor = 1;
    }
    cinfo->write_JFIF_header = TRUE;
    cinfo->density_unit = 1;
    cinfo->X_density = 96;
    cinfo->Y_density = 96;
    jpeg_start_compress(cinfo, TRUE);
    while (cinfo->next_scanline < cinfo->image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + stride * cinfo->next_scanline);
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

void putLe16(QByteArray &b, int v)
{
    b.append(char(v & 0xff));
    b.append(char((v >> 8) & 0xff));
}

void putLe32(QByteArray &b, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xff));
}

QString writeAll(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    file.write(bytes);
    if (!file.commit())
        return file.errorString();
    return {};
}

} // namespace

QString writeJpeg(const QImage &image, const QString &path, int quality)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct cinfo{};
    EncoderError err{};
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = encoderErrorExit;
    jpeg_create_compress(&cinfo);
    unsigned char *out = nullptr;
    unsigned long outSize = 0;
    const bool ok = compress(&cinfo, &err, rgb.constBits(), rgb.width(), rgb.height(),
                             rgb.bytesPerLine(), quality, &out, &outSize);
    jpeg_destroy_compress(&cinfo);
    QByteArray bytes;
    if (ok)
        bytes = QByteArray(reinterpret_cast<const char *>(out), qsizetype(outSize));
    std::free(out);
    if (!ok)
        return QString::fromLocal8Bit(err.message);
    return writeAll(path, bytes);
}

QString writeBmp24(const QImage &image, const QString &path)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    const int w = rgb.width();
    const int h = rgb.height();
    const int rowBytes = (w * 3 + 3) & ~3;
    const quint32 pixelBytes = quint32(rowBytes) * quint32(h);
    QByteArray b;
    b.append("BM");
    putLe32(b, 14 + 40 + pixelBytes);
    putLe32(b, 0);
    putLe32(b, 14 + 40);
    putLe32(b, 40);
    putLe32(b, quint32(w));
    putLe32(b, quint32(h));
    putLe16(b, 1);
    putLe16(b, 24);
    putLe32(b, 0); // BI_RGB
    putLe32(b, pixelBytes);
    putLe32(b, 3780); // 96 dpi in pixels per metre
    putLe32(b, 3780);
    putLe32(b, 0);
    putLe32(b, 0);
    for (int y = h - 1; y >= 0; --y) {
        const uchar *line = rgb.constScanLine(y);
        for (int x = 0; x < w; ++x) {
            b.append(char(line[3 * x + 2]));
            b.append(char(line[3 * x + 1]));
            b.append(char(line[3 * x]));
        }
        for (int pad = w * 3; pad < rowBytes; ++pad)
            b.append('\0');
    }
    return writeAll(path, b);
}

QImage flattenGlyph(const QImage &art, QColor transparent, QColor face)
{
    const QImage src = art.convertToFormat(QImage::Format_ARGB32);
    QImage out(src.size(), QImage::Format_RGB32);
    const QRgb key = transparent.rgb();
    for (int y = 0; y < src.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(src.constScanLine(y));
        auto *dst = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < src.width(); ++x) {
            const int a = qAlpha(in[x]);
            if (a < 72) {
                dst[x] = key;
                continue;
            }
            auto mix = [a](int c, int f) { return (c * a + f * (255 - a) + 127) / 255; };
            QRgb c = qRgb(mix(qRed(in[x]), face.red()), mix(qGreen(in[x]), face.green()),
                          mix(qBlue(in[x]), face.blue()));
            if ((c & 0xffffff) == (key & 0xffffff)) {
                const int nudge = qRed(key) > 127 ? -1 : 1;
                c = qRgb(qRed(c) + nudge, qGreen(c) + nudge, qBlue(c) + nudge);
            }
            dst[x] = c;
        }
    }
    // The loader reads the transparent colour from here, whatever the art does.
    out.setPixel(0, out.height() - 1, key);
    return out;
}
