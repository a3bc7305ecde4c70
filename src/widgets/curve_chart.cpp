#include "widgets/curve_chart.h"

#include <QAreaSeries>
#include <QChart>
#include <QCoreApplication>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace kv {

namespace {

// The range of the current axis: a little beyond the points so none sits on the frame.
constexpr double kMargin = 1.25;
// The envelope reaches a little past the first and last points (a group of one
// point still shows its limits).
constexpr double kEnvelopeReach = 1.12;

QLineSeries *line(QChart *chart, const QColor &colour, qreal width)
{
    auto *s = new QLineSeries(chart);
    QPen pen(colour);
    pen.setWidthF(width);
    s->setPen(pen);
    return s;
}

void hideFromLegend(QChart *chart, QAbstractSeries *series)
{
    const QList<QLegendMarker *> markers = chart->legend()->markers(series);
    for (QLegendMarker *m : markers)
        m->setVisible(false);
}

void attach(QChart *chart, QAbstractSeries *series, QAbstractAxis *x, QAbstractAxis *y)
{
    chart->addSeries(series);
    series->attachAxis(x);
    series->attachAxis(y);
}

}  // namespace

QColor curveMeterColour(int n)
{
    static const QColor palette[] = {QColor(31, 90, 180),  QColor(230, 130, 20), QColor(130, 60, 170),
                                     QColor(120, 80, 40),  QColor(0, 150, 170),  QColor(200, 60, 150),
                                     QColor(90, 90, 90),   QColor(150, 150, 0)};
    return palette[std::size_t(n) % (sizeof palette / sizeof palette[0])];
}

QChart *makeCurveChart(const CurveSet &set, const CurveKey &group, int highlighted)
{
    auto *chart = new QChart;
    chart->setTitle(set.title() + QStringLiteral("<br>") + group.text());
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setBackgroundBrush(Qt::white);
    chart->setAnimationOptions(QChart::NoAnimation);

    // Ranges over the group's points and readings.
    double lo = 0, hi = 0, span = 0;
    bool any = false;
    for (const MeterCurves &m : set.meters) {
        const Curve *c = m.curve(group);
        if (!c)
            continue;
        for (const CurvePoint &p : c->points) {
            if (p.percentI <= 0)
                continue;
            lo = any ? std::min(lo, p.percentI) : p.percentI;
            hi = any ? std::max(hi, p.percentI) : p.percentI;
            any = true;
            span = std::max(span, std::fabs(p.limit));
            if (p.error)
                span = std::max(span, std::fabs(*p.error));
        }
    }
    if (!any) {
        lo = 5;
        hi = 100;
    }
    if (span <= 0)
        span = 1;

    auto *x = new QLogValueAxis;
    x->setBase(10);
    x->setLabelFormat(QStringLiteral("%g"));
    x->setTitleText(QStringLiteral("I, % Iб"));
    x->setRange(lo / kMargin, hi * kMargin);
    x->setMinorTickCount(8);
    chart->addAxis(x, Qt::AlignBottom);

    auto *y = new QValueAxis;
    y->setTitleText(QStringLiteral("δ, %"));
    y->setRange(-span * 1.3, span * 1.3);
    y->setTickCount(9);
    y->applyNiceNumbers();
    y->setLabelFormat(QStringLiteral("%.2g"));
    chart->addAxis(y, Qt::AlignLeft);

    if (set.type.inom > 0) {
        auto *amps = new QLogValueAxis;
        amps->setBase(10);
        amps->setLabelFormat(QStringLiteral("%g"));
        amps->setTitleText(QStringLiteral("I, А"));
        amps->setRange(set.amperes(lo / kMargin), set.amperes(hi * kMargin));
        amps->setMinorTickCount(8);
        amps->setGridLineVisible(false);
        chart->addAxis(amps, Qt::AlignTop);
    }

    // The envelope: a band between +limit and -limit, stepping at each point.
    const QVector<EnvelopeStep> steps = set.envelope(group);
    if (!steps.isEmpty()) {
        auto *upper = line(chart, curveEnvelopeLine(), 2);
        auto *lower = line(chart, curveEnvelopeLine(), 2);
        for (int i = 0; i < steps.size(); ++i) {
            const EnvelopeStep &s = steps[i];
            if (s.fromPercent <= 0)
                continue;
            const double from = i == 0 ? s.fromPercent / kEnvelopeReach : s.fromPercent;
            const double to = i + 1 == steps.size() ? std::max(s.toPercent, s.fromPercent) * kEnvelopeReach : s.toPercent;
            upper->append(from, s.limit);
            upper->append(to, s.limit);
            lower->append(from, -s.limit);
            lower->append(to, -s.limit);
        }
        auto *band = new QAreaSeries(upper, lower);
        band->setName(QStringLiteral("Допуск"));
        band->setBrush(curveEnvelopeFill());
        QPen border(curveEnvelopeLine());
        border.setWidthF(2);
        band->setPen(border);
        attach(chart, band, x, y);
    }

    auto *failing = new QScatterSeries(chart);
    failing->setMarkerSize(11);
    failing->setColor(curveFailingPoint());
    failing->setBorderColor(curveFailingPoint());

    for (int n = 0; n < set.meters.size(); ++n) {
        const MeterCurves &m = set.meters[n];
        const bool bold = highlighted != 0 && m.position == highlighted;
        QColor colour = curveMeterColour(n);
        if (highlighted != 0 && !bold)
            colour.setAlpha(120);
        const qreal width = bold ? 4 : 2;

        // The legend entry, even for a meter with no reading in this group.
        // Lines draw their own points: a series fewer per meter keeps a
        // 30-meter chart quick.
        auto lineOf = [&] {
            QLineSeries *s = line(chart, colour, width);
            s->setPointsVisible(true);
            s->setMarkerSize(bold ? 9 : 7);
            return s;
        };
        QLineSeries *named = lineOf();
        named->setName(m.label());
        attach(chart, named, x, y);
        bool namedUsed = false;

        const Curve *c = m.curve(group);
        QLineSeries *run = nullptr;
        if (c) {
            for (const CurvePoint &p : c->points) {
                if (p.percentI <= 0)
                    continue;
                if (!p.error) {
                    run = nullptr;  // a gap: the line breaks here
                    continue;
                }
                if (!run) {
                    if (namedUsed) {
                        run = lineOf();
                        attach(chart, run, x, y);
                        hideFromLegend(chart, run);
                    } else {
                        run = named;
                    }
                    namedUsed = true;
                }
                run->append(p.percentI, *p.error);
                if (p.failing())
                    failing->append(p.percentI, *p.error);
            }
        }
    }
    attach(chart, failing, x, y);
    hideFromLegend(chart, failing);
    return chart;
}

void paintCurveChart(QChart *chart, QPainter &painter, const QRectF &target)
{
    // A scene of its own sized to the target, so the layout is the target's
    // and not whatever view the chart is shown in.
    QGraphicsScene scene;
    QGraphicsItem *parent = chart->parentItem();
    QGraphicsScene *previous = chart->scene();
    const QRectF geometry = chart->geometry();
    if (previous)
        previous->removeItem(chart);
    scene.addItem(chart);
    chart->setGeometry(QRectF(QPointF(0, 0), target.size()));
    // The chart lays itself out on a posted request; the picture needs it now.
    if (chart->layout())
        chart->layout()->activate();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    scene.setSceneRect(chart->geometry());
    scene.render(&painter, target, scene.sceneRect());
    scene.removeItem(chart);
    if (previous) {
        previous->addItem(chart);
        chart->setParentItem(parent);
        chart->setGeometry(geometry);
    }
}

QImage renderCurveChart(QChart *chart, QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    paintCurveChart(chart, painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

QString saveCurvesPng(QChart *chart, const QString &path, QSize size)
{
    if (!renderCurveChart(chart, size).save(path, "PNG"))
        return QStringLiteral("Не удалось сохранить рисунок в файл ") + path + QLatin1Char('.');
    return {};
}

namespace {

// Fills the page's paintable rectangle keeping the chart's 3:2 shape.
void paintOnPage(QChart *chart, QPainter &painter, const QRectF &page)
{
    QSizeF size(1400, 900);
    size.scale(page.size(), Qt::KeepAspectRatio);
    painter.save();
    painter.translate(page.topLeft());
    painter.scale(size.width() / 1400.0, size.height() / 900.0);
    paintCurveChart(chart, painter, QRectF(0, 0, 1400, 900));
    painter.restore();
}

}  // namespace

QString saveCurvesPdf(QChart *chart, const QString &path)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageOrientation(QPageLayout::Landscape);
    writer.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
    writer.setTitle(chart->title());
    writer.setCreator(QStringLiteral("Kvintor"));
    QPainter painter;
    if (!painter.begin(&writer))
        return QStringLiteral("Не удалось создать файл ") + path + QLatin1Char('.');
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect page = writer.pageLayout().paintRectPixels(writer.resolution());
    paintOnPage(chart, painter, QRectF(QPointF(0, 0), QSizeF(page.size())));
    if (!painter.end())
        return QStringLiteral("Не удалось записать файл ") + path + QLatin1Char('.');
    return {};
}

QString printCurves(QChart *chart, QPrinter &printer)
{
    printer.setPageOrientation(QPageLayout::Landscape);
    QPainter painter;
    if (!painter.begin(&printer))
        return QStringLiteral("Не удалось начать печать: принтер недоступен.");
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    paintOnPage(chart, painter, QRectF(QPointF(0, 0), QSizeF(page.size())));
    painter.end();
    return {};
}

QImage meterCurvesPicture(const CurveSet &set, int position, QSize size)
{
    CurveSet one = set;
    one.meters.clear();
    for (const MeterCurves &m : set.meters)
        if (m.position == position)
            one.meters.append(m);
    if (one.meters.isEmpty())
        return {};
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    const int count = std::max(1, int(one.groups.size()));
    const int columns = count == 1 ? 1 : count <= 4 ? 2 : 3;
    const int rows = (count + columns - 1) / columns;
    const QSizeF cell(double(size.width()) / columns, double(size.height()) / rows);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < one.groups.size(); ++i) {
        QChart *chart = makeCurveChart(one, one.groups[i], 0);
        chart->legend()->hide();
        chart->setTitle(one.meters[0].label() + QStringLiteral("<br>") + one.groups[i].text());
        paintCurveChart(chart, painter, QRectF(QPointF((i % columns) * cell.width(), (i / columns) * cell.height()), cell));
        delete chart;
    }
    return image;
}

}  // namespace kv
