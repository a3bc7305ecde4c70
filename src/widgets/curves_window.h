#pragma once
// "Кривые погрешности": the error curves of one or more archived records or of
// the running verification. The operator picks the curve (power factor and
// phase set) and the meter to highlight; the special tests are listed beside
// the chart. The chart can be saved as PNG or PDF and printed. A window that
// shows a run is given new sets as readings arrive and keeps the operator's
// choices where they still exist.

#include "protocols/error_curves.h"

#include <QDialog>
#include <QVector>

#include <functional>

class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPrinter;
class QPushButton;

namespace kv {

class CurvesWindow : public QDialog
{
    Q_OBJECT
public:
    static const QString Caption;  // "Кривые погрешности"

    explicit CurvesWindow(QWidget *parent = nullptr);
    ~CurvesWindow() override;

    // Shows these sets; the curve and meter chosen stay chosen when the new
    // sets still hold them.
    void setSets(const QVector<CurveSet> &sets);
    const QVector<CurveSet> &sets() const { return m_sets; }
    // Shows the first curve of set `index`.
    void showSet(int index);
    // Highlights the meter at this position (stand × 10 + place) of the set shown.
    void highlight(int position);
    // A line above the chart (what is shown, or why some meters are not).
    void setNote(const QString &text);

    // The curve shown: its set and group.
    int setIndex() const;
    CurveKey group() const;
    int highlighted() const;
    QChart *chart() const { return m_chart; }

    // The save and print actions. With no path a file dialog asks for one.
    void savePng(const QString &path = {});
    void savePdf(const QString &path = {});
    void print();
    // Chooses the printer: by default the default printer, or the print dialog
    // when there is none. Tests print into a PDF file instead.
    std::function<bool(QPrinter &)> choosePrinter;

    QComboBox *CBCurve = nullptr;
    QComboBox *CBMeter = nullptr;
    QChartView *ChartView = nullptr;
    QPlainTextEdit *MSpecial = nullptr;
    QLabel *LNote = nullptr;
    QPushButton *BPng = nullptr;
    QPushButton *BPdf = nullptr;
    QPushButton *BPrint = nullptr;
    QPushButton *BClose = nullptr;

private:
    void fillCurves();
    void fillMeters();
    void redraw();
    QString askPath(const char *name, const QString &filter, const QString &suffix);
    void save(const QString &path, const char *dialogName, const QString &filter, const QString &suffix,
              const std::function<QString(QChart *, const QString &)> &write);

    QVector<CurveSet> m_sets;
    QChart *m_chart = nullptr;
    bool m_filling = false;
};

}  // namespace kv
