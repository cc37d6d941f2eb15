// SPDX-License-Identifier: GPL-3.0-or-later
#include "identify/untrusted_text.h"

#include <QStringDecoder>

namespace Identify {

namespace {

QString fromCodePage1252(QByteArrayView bytes)
{
    QStringDecoder decoder("windows-1252");
    if (decoder.isValid())
        return decoder.decode(bytes);
    return QString::fromLatin1(bytes);
}

} // namespace

QString decodeUntrusted(QByteArrayView bytes)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(QStringDecoder::Utf16, QStringDecoder::Flag::ConvertInitialBom);
        return decoder.decode(bytes);
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return fromCodePage1252(bytes);
}

QString cleanUntrusted(const QString &text)
{
    QString out;
    out.reserve(text.size());
    bool space = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            if (space && !out.isEmpty())
                out += u' ';
            space = false;
            out += c;
            out += text[++i];
            continue;
        }
        if (c.isSpace()) {
            space = true;
            continue;
        }
        switch (c.category()) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Other_Surrogate:
        case QChar::Other_PrivateUse:
        case QChar::Other_NotAssigned:
            continue;
        default:
            break;
        }
        if (space && !out.isEmpty())
            out += u' ';
        space = false;
        out += c;
    }
    return out;
}

CutText cutToSize(const QString &text, int size)
{
    if (text.size() <= size)
        return {text, false};
    qsizetype keep = size - 1;
    // Never split a surrogate pair.
    if (keep > 0 && text[keep - 1].isHighSurrogate())
        --keep;
    return {text.left(keep).trimmed() + u'…', true};
}

} // namespace Identify
