#include "widgets/grid_print.h"

#include "core/clock.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <cmath>

namespace kv {

namespace {

// Screen pixels the grid's widths are given in, per inch.
constexpr double kScreenDpi = 96.0;
constexpr double kGridFontPixels = 12.0;  // 9 pt on screen
constexpr double kCellPadding = 3.0;
constexpr int kDefaultColumnWidth = 80;
const QColor kTitleFill(0xE4, 0xE4, 0xE4);
const QColor kRuleColour(0x60, 0x60, 0x60);

QFont pointFont(const QString &family, double points, bool bold)
{
    QFont f(family);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

struct Layout {
    QList<double> widths;  // logical (screen) units, stretched to fill the page
    double logicalWidth = 0;
    double scale = 1;      // device units per logical unit
};

Layout layoutColumns(const GridPrintJob &job, double pageWidth, double deviceDpi)
{
    Layout l;
    for (int c = 0; c < job.titles.size(); ++c) {
        const int w = c < job.widths.size() ? job.widths.at(c) : 0;
        l.widths << double(w > 0 ? w : kDefaultColumnWidth);
    }
    for (double w : l.widths)
        l.logicalWidth += w;
    // A narrow grid keeps its natural size and its columns widen to the page;
    // a wide one shrinks to fit.
    const double natural = pageWidth / (deviceDpi / kScreenDpi);
    if (l.logicalWidth > 0 && l.logicalWidth < natural) {
        const double k = natural / l.logicalWidth;
        for (double &w : l.widths)
            w *= k;
        l.logicalWidth = natural;
    }
    l.scale = l.logicalWidth > 0 ? pageWidth / l.logicalWidth : 1;
    return l;
}

Qt::Alignment horizontal(const GridPrintJob &job, int c)
{
    const Qt::Alignment a = c < job.alignments.size() ? job.alignments.at(c) : Qt::AlignLeft;
    const Qt::Alignment h = a & Qt::AlignHorizontal_Mask;
    return h ? h : Qt::AlignLeft;
}

double rowHeight(const QFontMetricsF &fm, const Layout &l, const QStringList &cells)
{
    double h = fm.height();
    for (int c = 0; c < l.widths.size(); ++c) {
        const QString text = c < cells.size() ? cells.at(c) : QString();
        if (text.isEmpty())
            continue;
        const QRectF r = fm.boundingRect(QRectF(0, 0, std::max(1.0, l.widths.at(c) - 2 * kCellPadding), 1e9),
                                         Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text);
        h = std::max(h, r.height());
    }
    return h + 2 * kCellPadding;
}

}  // namespace

QString pageHeaderText(int page) { return QStringLiteral("Страница. ") + QString::number(page); }

QString printFontFamily()
{
    const QStringList families = QFontDatabase::families();
    for (const QString &f : {QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")})
        if (families.contains(f, Qt::CaseInsensitive))
            return f;
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

PrintOutcome printGrid(QPrinter &printer, const GridPrintJob &job, const PrintProgress &progress)
{
    PrintOutcome out;
    printer.setColorMode(QPrinter::Color);
    printer.setPageMargins(QMarginsF(2, 2, 2, 2), QPageLayout::Millimeter);

    QPainter p;
    if (!p.begin(&printer)) {
        out.error = QStringLiteral("Не удается начать печать: принтер недоступен.");
        return out;
    }
    const QString family = printFontFamily();
    const double dpi = printer.resolution();
    const QRectF area(0, 0, printer.width(), printer.height());
    const Layout layout = layoutColumns(job, area.width(), dpi);

    QFont gridFont(family);
    gridFont.setPixelSize(int(kGridFontPixels));
    QFont titleRowFont = gridFont;
    titleRowFont.setBold(true);
    const QFontMetricsF gridMetrics(gridFont, &printer);
    const QFontMetricsF titleMetrics(titleRowFont, &printer);

    const int total = int(job.rows.size()) * 2 + 1;
    int done = 0;
    auto step = [&](int n) {
        done += n;
        if (progress && !progress(std::min(done, total), total))
            out.cancelled = true;
        return !out.cancelled;
    };

    // Row heights first, in logical units.
    QList<double> heights;
    heights.reserve(job.rows.size());
    for (int r = 0; r < job.rows.size(); ++r) {
        heights << rowHeight(gridMetrics, layout, job.rows.at(r));
        if ((r + 1) % 500 == 0 && !step(500)) {
            printer.abort();
            return out;
        }
    }
    step(int(job.rows.size() % 500));
    const double titleRowHeight = rowHeight(titleMetrics, layout, job.titles) * layout.scale;

    const QFont headerFont = pointFont(family, 8, false);
    const QFont productFont = pointFont(family, 14, true);
    const QFont captionFont = pointFont(family, 10, true);
    const QFont dateFont = pointFont(family, 8, true);
    const double mm = dpi / 25.4;

    double y = 0;
    int page = 0;
    auto newPage = [&] {
        if (page > 0)
            printer.newPage();
        ++page;
        p.setPen(Qt::black);
        p.setFont(headerFont);
        const QFontMetricsF fm(headerFont, &printer);
        p.drawText(QRectF(area.left(), area.top(), area.width(), fm.height()), Qt::AlignHCenter | Qt::AlignTop,
                   pageHeaderText(page));
        y = area.top() + fm.height() + 0.8 * mm;
        QPen rule(Qt::black);
        rule.setWidthF(0.25 * mm);
        p.setPen(rule);
        p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        y += 0.7 * mm;
        p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        y += 2 * mm;
    };
    auto centredLine = [&](const QFont &font, const QString &text) {
        p.setFont(font);
        p.setPen(Qt::black);
        const QFontMetricsF fm(font, &printer);
        p.drawText(QRectF(area.left(), y, area.width(), fm.height()), Qt::AlignHCenter | Qt::AlignTop, text);
        y += fm.height() + 1.5 * mm;
    };
    auto drawRow = [&](const QStringList &cells, double height, const QFont &font, const QColor &fill) {
        const double s = layout.scale;
        p.save();
        p.translate(area.left(), y);
        p.scale(s, s);
        const double h = height / s;
        QPen line(kRuleColour);
        line.setWidthF(0.5);
        double x = 0;
        p.setFont(font);
        for (int c = 0; c < layout.widths.size(); ++c) {
            const double w = layout.widths.at(c);
            const QRectF cell(x, 0, w, h);
            if (fill.isValid())
                p.fillRect(cell, fill);
            p.setPen(line);
            p.drawRect(cell);
            p.setPen(Qt::black);
            p.drawText(cell.adjusted(kCellPadding, kCellPadding, -kCellPadding, -kCellPadding),
                       int(horizontal(job, c) | Qt::AlignTop | Qt::TextWordWrap), c < cells.size() ? cells.at(c) : QString());
            x += w;
        }
        p.restore();
        y += height;
    };

    newPage();
    centredLine(productFont, job.productName);
    if (!job.title.isEmpty())
        centredLine(captionFont, job.title);
    y += 1 * mm;
    drawRow(job.titles, titleRowHeight, titleRowFont, kTitleFill);

    for (int r = 0; r < job.rows.size(); ++r) {
        const double h = heights.at(r) * layout.scale;
        if (y + h > area.bottom() && y > area.top()) {
            newPage();
            drawRow(job.titles, titleRowHeight, titleRowFont, kTitleFill);
        }
        drawRow(job.rows.at(r), h, gridFont, r < job.rowColours.size() ? job.rowColours.at(r) : QColor());
        if ((r + 1) % 200 == 0 && !step(200)) {
            printer.abort();
            p.end();
            out.pages = page;
            return out;
        }
    }

    const QFontMetricsF dm(dateFont, &printer);
    y += 1.5 * mm;
    if (y + dm.height() > area.bottom())
        newPage();
    p.setFont(dateFont);
    p.setPen(Qt::black);
    p.drawText(QRectF(area.left(), y, area.width(), dm.height()), Qt::AlignLeft | Qt::AlignTop,
               kv::shortDateText(job.date));
    if (!p.end())
        out.error = QStringLiteral("Не удается завершить печать.");
    out.pages = page;
    step(total);
    return out;
}

}  // namespace kv
