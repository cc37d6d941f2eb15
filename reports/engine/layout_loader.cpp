// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports/engine/layout_loader.h"

#include "reports/engine/report_error.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr int layoutVersion = 1;

class LayoutReader
{
public:
    explicit LayoutReader(QString source)
        : m_source(std::move(source))
    {}

    [[noreturn]] void fail(const QString &what) const
    {
        throw ReportError(
            QStringLiteral("Layout de relatório inválido (%1): %2.").arg(m_source, what));
    }

    double number(const QJsonObject &object, QLatin1String key, const QString &owner) const
    {
        const QJsonValue value = object.value(key);
        if (!value.isDouble())
            fail(QStringLiteral("%1 sem o valor numérico \"%2\"").arg(owner, key));
        return value.toDouble();
    }

    double number(const QJsonObject &object, QLatin1String key, const QString &owner,
                  double fallback) const
    {
        return object.contains(key) ? number(object, key, owner) : fallback;
    }

    bool flag(const QJsonObject &object, QLatin1String key, const QString &owner,
              bool fallback) const
    {
        const QJsonValue value = object.value(key);
        if (value.isUndefined())
            return fallback;
        if (!value.isBool())
            fail(QStringLiteral("%1: \"%2\" deve ser true ou false").arg(owner, key));
        return value.toBool();
    }

    QString string(const QJsonObject &object, QLatin1String key, const QString &owner) const
    {
        const QJsonValue value = object.value(key);
        if (!value.isString())
            fail(QStringLiteral("%1 sem o texto \"%2\"").arg(owner, key));
        return value.toString();
    }

    QFont font(const QJsonObject &object, const QString &owner) const
    {
        QFont result(string(object, QLatin1String("family"), owner));
        const double size = number(object, QLatin1String("size"), owner);
        if (size <= 0)
            fail(QStringLiteral("%1: tamanho de fonte inválido").arg(owner));
        result.setPointSizeF(size);
        // The design measured its texts with the font at a whole character height in pixels at
        // 96 dpi (10 pt is 13 pixels, not 13.33); when given, that height sets the size.
        if (object.contains(QLatin1String("height"))) {
            const double height = number(object, QLatin1String("height"), owner);
            if (height <= 0)
                fail(QStringLiteral("%1: altura de fonte inválida").arg(owner));
            result.setPointSizeF(height * 72.0 / 96.0);
        }
        for (const QJsonValue &style : object.value(QLatin1String("style")).toArray()) {
            const QString name = style.toString();
            if (name == QLatin1String("bold"))
                result.setBold(true);
            else if (name == QLatin1String("italic"))
                result.setItalic(true);
            else if (name == QLatin1String("underline"))
                result.setUnderline(true);
            else
                fail(QStringLiteral("%1: estilo de fonte desconhecido \"%2\"").arg(owner, name));
        }
        return result;
    }

    void readText(const QJsonObject &object, TQRCustomLabel &text) const
    {
        const QString alignment = object.value(QLatin1String("alignment")).toString();
        if (alignment.isEmpty() || alignment == QLatin1String("taLeftJustify"))
            text.Alignment = Qt::AlignLeft;
        else if (alignment == QLatin1String("taRightJustify"))
            text.Alignment = Qt::AlignRight;
        else if (alignment == QLatin1String("taCenter"))
            text.Alignment = Qt::AlignHCenter;
        else
            fail(QStringLiteral("%1: alinhamento desconhecido \"%2\"").arg(text.Name, alignment));
        text.AutoSize = flag(object, QLatin1String("autoSize"), text.Name, true);
        text.WordWrap = flag(object, QLatin1String("wordWrap"), text.Name, true);
        text.AutoStretch = flag(object, QLatin1String("autoStretch"), text.Name, false);
        if (object.contains(QLatin1String("font")))
            text.Font = font(object.value(QLatin1String("font")).toObject(), text.Name);
    }

    void readElement(const QJsonObject &object, TQRBand &band) const
    {
        const QString name = string(object, QLatin1String("name"), band.Name);
        const QString kind = string(object, QLatin1String("kind"), name);
        TQRPrintable *element = nullptr;
        if (kind == QLatin1String("TQRLabel")) {
            auto &label = band.add<TQRLabel>(name);
            label.Caption = string(object, QLatin1String("caption"), name);
            readText(object, label);
            element = &label;
        } else if (kind == QLatin1String("TQRDBText")) {
            auto &text = band.add<TQRDBText>(name);
            text.DataField = string(object, QLatin1String("dataField"), name);
            readText(object, text);
            element = &text;
        } else if (kind == QLatin1String("TQRSysData")) {
            auto &sys = band.add<TQRSysData>(name);
            if (string(object, QLatin1String("data"), name) != QLatin1String("qrsDetailCount"))
                fail(QStringLiteral("%1: dado de sistema desconhecido").arg(name));
            sys.Text = object.value(QLatin1String("text")).toString();
            readText(object, sys);
            element = &sys;
        } else if (kind == QLatin1String("TQRImage")) {
            auto &image = band.add<TQRImage>(name);
            image.PicturePath = string(object, QLatin1String("picture"), name);
            element = &image;
        } else if (kind == QLatin1String("TQRHRule")) {
            element = &band.add<TQRHRule>(name);
        } else {
            fail(QStringLiteral("%1: tipo de elemento desconhecido \"%2\"").arg(name, kind));
        }
        element->Left = number(object, QLatin1String("left"), name);
        element->Top = number(object, QLatin1String("top"), name);
        element->Width = number(object, QLatin1String("width"), name);
        element->Height = number(object, QLatin1String("height"), name);
    }

    TQRBandType bandType(const QString &name, const QString &owner) const
    {
        static const std::pair<QLatin1String, TQRBandType> types[] = {
            {QLatin1String("rbPageHeader"), rbPageHeader},
            {QLatin1String("rbTitle"), rbTitle},
            {QLatin1String("rbColumnHeader"), rbColumnHeader},
            {QLatin1String("rbDetail"), rbDetail},
            {QLatin1String("rbSummary"), rbSummary},
            {QLatin1String("rbPageFooter"), rbPageFooter},
        };
        for (const auto &[typeName, type] : types) {
            if (name == typeName)
                return type;
        }
        fail(QStringLiteral("%1: tipo de banda desconhecido \"%2\"").arg(owner, name));
    }

    std::unique_ptr<TQuickRep> read(const QByteArray &json) const
    {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(json, &error);
        if (error.error != QJsonParseError::NoError)
            fail(QStringLiteral("JSON mal formado na posição %1 (%2)")
                     .arg(error.offset)
                     .arg(error.errorString()));
        const QJsonObject root = document.object();
        if (root.value(QLatin1String("format")).toString() != QLatin1String("quivel-report-layout"))
            fail(QStringLiteral("não é um layout de relatório"));
        if (root.value(QLatin1String("version")).toInt() != layoutVersion)
            fail(QStringLiteral("versão de layout não suportada"));

        auto report = std::make_unique<TQuickRep>();
        report->Name = string(root, QLatin1String("name"), m_source);
        report->ReportTitle = root.value(QLatin1String("reportTitle")).toString();
        report->PrintIfEmpty = flag(root, QLatin1String("printIfEmpty"), report->Name, true);
        const QString zoom = root.value(QLatin1String("prevInitialZoom")).toString();
        if (zoom == QLatin1String("qrZoomToWidth"))
            report->PrevInitialZoom = qrZoomToWidth;
        else if (zoom == QLatin1String("qrZoom100"))
            report->PrevInitialZoom = qrZoom100;
        else
            report->PrevInitialZoom = qrZoomToFit;

        const QJsonObject page = root.value(QLatin1String("page")).toObject();
        const QString pageOwner = QStringLiteral("page");
        TQRPage &p = report->Page;
        p.Width = number(page, QLatin1String("width"), pageOwner);
        p.Length = number(page, QLatin1String("length"), pageOwner);
        p.TopMargin = number(page, QLatin1String("topMargin"), pageOwner, 0);
        p.BottomMargin = number(page, QLatin1String("bottomMargin"), pageOwner, 0);
        p.LeftMargin = number(page, QLatin1String("leftMargin"), pageOwner, 0);
        p.RightMargin = number(page, QLatin1String("rightMargin"), pageOwner, 0);
        p.Columns = int(number(page, QLatin1String("columns"), pageOwner, 1));
        p.ColumnSpace = number(page, QLatin1String("columnSpace"), pageOwner, 0);

        report->Options = {};
        for (const QJsonValue &option : root.value(QLatin1String("options")).toArray()) {
            if (option.toString() == QLatin1String("FirstPageHeader"))
                report->Options |= FirstPageHeader;
            else if (option.toString() == QLatin1String("LastPageFooter"))
                report->Options |= LastPageFooter;
            else
                fail(QStringLiteral("opção desconhecida \"%1\"").arg(option.toString()));
        }
        if (root.contains(QLatin1String("font")))
            report->Font = font(root.value(QLatin1String("font")).toObject(), report->Name);

        for (const QJsonValue &value : root.value(QLatin1String("bands")).toArray()) {
            const QJsonObject object = value.toObject();
            const QString name = string(object, QLatin1String("name"), report->Name);
            TQRBand &band =
                report->addBand(name, bandType(string(object, QLatin1String("type"), name), name),
                                number(object, QLatin1String("height"), name));
            for (const QJsonValue &element : object.value(QLatin1String("elements")).toArray())
                readElement(element.toObject(), band);
        }
        return report;
    }

private:
    QString m_source;
};

} // namespace

std::unique_ptr<TQuickRep> parseReportLayout(const QByteArray &json, const QString &source)
{
    return LayoutReader(source).read(json);
}

std::unique_ptr<TQuickRep> loadReportLayout(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ReportError(QStringLiteral("Não foi possível abrir o layout de relatório %1: %2.")
                              .arg(path, file.errorString()));
    return parseReportLayout(file.readAll(), path);
}
