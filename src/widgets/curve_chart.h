#pragma once
// The chart of one curve group (a power factor and phase set) of a CurveSet:
// every meter's errors against the current on a logarithmic current axis
// (per cent of the basic current below, amperes above), the permissible-error
// envelope shaded between its two limit lines, failing readings as red
// points, the chosen meter drawn bold. Also renders the chart to an image,
// a PDF page or a printer, the same picture each time.

#include "protocols/error_curves.h"

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

class QChart;
class QPainter;
class QPrinter;
class QRectF;

namespace kv {

// Colours the tests look for.
inline QColor curveEnvelopeLine() { return QColor(0, 120, 60); }
inline QColor curveEnvelopeFill() { return QColor(205, 235, 215); }
inline QColor curveFailingPoint() { return QColor(255, 0, 0); }
// The line colour of the n-th meter (never red nor the envelope's green).
QColor curveMeterColour(int n);

// A new chart of `group` of `set`; `highlighted` is the position (stand × 10 +
// place) of the meter drawn bold, 0 for none. The caller owns it.
QChart *makeCurveChart(const CurveSet &set, const CurveKey &group, int highlighted);

// Paints `chart` into `target` of a painter (an image, a PDF page, a printer).
void paintCurveChart(QChart *chart, QPainter &painter, const QRectF &target);
// The chart as an image of `size`.
QImage renderCurveChart(QChart *chart, QSize size);

// The chart on one landscape A4 page of a PDF file. Returns "" or the
// operator's text of what went wrong.
QString saveCurvesPdf(QChart *chart, const QString &path);
// The chart as a PNG file of `size`. Returns "" or the operator's text.
QString saveCurvesPng(QChart *chart, const QString &path, QSize size = QSize(1400, 900));
// The chart on a page of the printer (landscape).
QString printCurves(QChart *chart, QPrinter &printer);

// Every group of every meter of `set` as one picture per meter: the meter's
// curves in a grid of small charts, for the protocol. Empty for a meter
// the set does not hold.
QImage meterCurvesPicture(const CurveSet &set, int position, QSize size = QSize(1200, 800));

}  // namespace kv
