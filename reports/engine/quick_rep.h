// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "reports/engine/report_dataset.h"

#include <QFlags>
#include <QFont>
#include <QImage>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

// Lengths are millimetres throughout; font sizes are points.

enum TQRBandType { rbPageHeader, rbTitle, rbColumnHeader, rbDetail, rbSummary, rbPageFooter };

enum TQRSysDataType { qrsDetailCount };

enum TQRZoomState { qrZoomToFit, qrZoomToWidth, qrZoom100 };

enum TQuickRepOption { FirstPageHeader = 0x1, LastPageFooter = 0x2 };
Q_DECLARE_FLAGS(TQuickRepOptions, TQuickRepOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TQuickRepOptions)

class TQuickRep;

// What an element needs to know while it is printed.
struct TQRPrintContext
{
    const ReportDataSet *dataSet = nullptr;
    int record = -1; // -1: the blank detail printed for an empty dataset
};

class TQRPrintable
{
public:
    virtual ~TQRPrintable() = default;
    // A run works on its own copy, so that its pages can be made again after the report goes.
    virtual std::unique_ptr<TQRPrintable> clone() const = 0;

    QString Name;
    double Left = 0;
    double Top = 0;
    double Width = 0;
    double Height = 0;
};

class TQRCustomLabel : public TQRPrintable
{
public:
    Qt::Alignment Alignment = Qt::AlignLeft;
    bool AutoSize = true;
    bool WordWrap = true;
    bool AutoStretch = false;
    // Unset: the report's default font.
    std::optional<QFont> Font;

    virtual QString printedText(const TQRPrintContext &context) const = 0;
};

class TQRLabel : public TQRCustomLabel
{
public:
    QString Caption;

    std::unique_ptr<TQRPrintable> clone() const override
    {
        return std::make_unique<TQRLabel>(*this);
    }
    QString printedText(const TQRPrintContext &) const override { return Caption; }
};

class TQRDBText : public TQRCustomLabel
{
public:
    QString DataField;

    std::unique_ptr<TQRPrintable> clone() const override
    {
        return std::make_unique<TQRDBText>(*this);
    }
    QString printedText(const TQRPrintContext &context) const override;
};

class TQRSysData : public TQRCustomLabel
{
public:
    TQRSysDataType Data = qrsDetailCount;
    QString Text; // printed before the value

    std::unique_ptr<TQRPrintable> clone() const override
    {
        return std::make_unique<TQRSysData>(*this);
    }
    QString printedText(const TQRPrintContext &context) const override;
};

class TQRImage : public TQRPrintable
{
public:
    QImage Picture;
    // Where Picture comes from when it was not set directly; read when a run starts.
    QString PicturePath;

    std::unique_ptr<TQRPrintable> clone() const override
    {
        return std::make_unique<TQRImage>(*this);
    }
};

class TQRHRule : public TQRPrintable
{
public:
    std::unique_ptr<TQRPrintable> clone() const override
    {
        return std::make_unique<TQRHRule>(*this);
    }
};

class TQRBand
{
public:
    TQRBand(QString name, TQRBandType type, double height)
        : Name(std::move(name))
        , BandType(type)
        , Height(height)
    {}

    QString Name;
    TQRBandType BandType;
    double Height;

    template <typename Element> Element &add(const QString &name)
    {
        auto element = std::make_unique<Element>();
        element->Name = name;
        Element &ref = *element;
        m_elements.push_back(std::move(element));
        return ref;
    }

    const std::vector<std::unique_ptr<TQRPrintable>> &elements() const { return m_elements; }

private:
    std::vector<std::unique_ptr<TQRPrintable>> m_elements;
};

struct TQRPage
{
    double Width = 210.0;
    double Length = 297.0;
    double TopMargin = 10.0;
    double BottomMargin = 10.0;
    double LeftMargin = 10.0;
    double RightMargin = 10.0;
    int Columns = 1;
    double ColumnSpace = 0.0;
};

class TQuickRep
{
public:
    TQuickRep();

    QString Name;
    // Opened by the caller before the run; shared with the documents laid out from it, whose
    // pages read it again whenever they are made.
    std::shared_ptr<const ReportDataSet> DataSet;
    TQRPage Page;
    TQuickRepOptions Options = TQuickRepOptions(FirstPageHeader) | LastPageFooter;
    bool PrintIfEmpty = true;
    QFont Font;
    TQRZoomState PrevInitialZoom = qrZoomToFit;
    QString ReportTitle;

    TQRBand &addBand(const QString &name, TQRBandType type, double height);
    // The first band of that type, or nullptr.
    TQRBand *band(TQRBandType type) const;
    const std::vector<std::unique_ptr<TQRBand>> &bands() const { return m_bands; }
    TQRPrintable *findElement(const QString &name) const;

private:
    std::vector<std::unique_ptr<TQRBand>> m_bands;
};
