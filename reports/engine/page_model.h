// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QImage>
#include <QLineF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QTextLayout>

#include <memory>
#include <vector>

// A laid-out report: what each page shows, in millimetres from the page's top-left corner.
// Painting, printing, the preview's search and the report file all read this and nothing else.

struct PageText
{
    QRectF rect; // already clipped to the printable area
    QString text;
    QFont font; // family, point size and style; the size is in points whatever the device
    Qt::Alignment alignment = Qt::AlignLeft;
    // Set where the text did not fit its rectangle and was wrapped to fit: text then holds the
    // whole lines that fit, one per '\n', the last one ending in "…" where more was cut, and
    // painting sets each on its own line. Text is always cut when the page is made, never
    // when it is painted.
    bool wordWrap = false;
    QString element; // the layout element that printed it
    // On a page made to be painted, where the text is one left-aligned line as it stands: the
    // text as shaped to measure it (see ShapedLine), so that painting does not shape it again.
    // Null otherwise; the text is then painted from its string.
    std::shared_ptr<const QTextLayout> shaped;
};

struct PagePicture
{
    QRectF rect; // the picture is drawn at the rectangle's size, clipped to it
    QImage image;
    QString element;
};

struct PageLine
{
    QLineF line;
    double width = 0; // pen width; 0 is the thinnest line the device draws
    QString element;
};

struct ReportPage
{
    std::vector<PagePicture> pictures;
    std::vector<PageLine> lines;
    std::vector<PageText> texts;
};

// Makes a document's pages again from what their layout kept of them.
class PageMaker
{
public:
    virtual ~PageMaker() = default;

    virtual int pageCount() const = 0;
    virtual ReportPage page(int index) const = 0;
    // The same page made to be painted at once: it may also carry what painting would otherwise
    // work out again (see PageText::shaped).
    virtual ReportPage pageToPaint(int index) const { return page(index); }
    // False only where no text of the page can contain text (case aside): a look at what the
    // page prints, cheaper than making it.
    virtual bool mayContain(int index, const QString &text) const = 0;
};

// A report laid out from a dataset keeps only which band went where on each page, and makes a
// page again, by the code that laid it out, each time it is painted, searched or saved; so a
// long report costs a few bytes a band rather than its texts. A report read from a file keeps
// its pages as they were stored.
class ReportDocument
{
public:
    QString title;
    QSizeF pageSize{210.0, 297.0};

    int pageCount() const { return m_maker ? m_maker->pageCount() : int(m_pages.size()); }
    // Throws what the dataset throws when a made page reads it.
    ReportPage page(int index) const
    {
        return m_maker ? m_maker->page(index) : m_pages.at(size_t(index));
    }
    ReportPage pageToPaint(int index) const
    {
        return m_maker ? m_maker->pageToPaint(index) : m_pages.at(size_t(index));
    }
    bool pageMayContain(int index, const QString &text) const
    {
        return m_maker ? m_maker->mayContain(index, text) : true;
    }

    // A page kept as it is; not for a document whose pages are made.
    void appendPage(ReportPage page) { m_pages.push_back(std::move(page)); }
    void reservePages(size_t count) { m_pages.reserve(count); }
    void setPageMaker(std::shared_ptr<const PageMaker> maker) { m_maker = std::move(maker); }

private:
    std::vector<ReportPage> m_pages;
    std::shared_ptr<const PageMaker> m_maker;
};
