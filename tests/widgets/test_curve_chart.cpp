#include "protocols/archive_curves.h"
#include "support/curves_run.h"
#include "support/test_env.h"
#include "widgets/curve_chart.h"
#include "widgets/curves_window.h"
#include "core/ui.h"

#include <QApplication>
#include <QChart>
#include <QComboBox>
#include <QFile>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

namespace {

using curvestest::key;

bool near(QColor a, QColor b, int tolerance = 40)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) <= tolerance;
}

// The colour `want` within `radius` pixels of the value's place.
bool colourAround(const QImage &image, QChart *chart, QPointF value, QColor want, int radius = 2)
{
    const QPointF at = chart->mapToPosition(value, chart->series().constFirst());
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if (near(image.pixelColor(int(std::lround(at.x())) + dx, int(std::lround(at.y())) + dy), want))
                return true;
    return false;
}

}  // namespace

class TestCurveChart : public QObject
{
    Q_OBJECT
    kvtest::TempDatabase *m_db = nullptr;
    kv::CurveSet m_set;

private Q_SLOTS:
    void initTestCase()
    {
        m_db = new kvtest::TempDatabase(QStringLiteral("chart"));
        curvestest::fill(m_db->db());
        QString error;
        QVERIFY2(kv::ReadArchiveCurves(m_db->db(), 1, {}, &m_set, &error), qPrintable(error));
    }
    void cleanupTestCase() { delete m_db; }

    void envelopeLinesWhereTheLimitsAre_data()
    {
        QTest::addColumn<double>("percentI");
        QTest::addColumn<double>("limit");
        QTest::newRow("5 % to 10 %: ±1.5") << 7.0 << 1.5;
        QTest::newRow("10 % to 100 %: ±1.0") << 31.6 << 1.0;
        QTest::newRow("100 % to 1200 %: ±1.0") << 346.0 << 1.0;
    }
    void envelopeLinesWhereTheLimitsAre()
    {
        QFETCH(double, percentI);
        QFETCH(double, limit);
        std::unique_ptr<QChart> chart(kv::makeCurveChart(m_set, key(7, 1, 0), 11));
        const QImage image = kv::renderCurveChart(chart.get(), QSize(1400, 900));
        QVERIFY(colourAround(image, chart.get(), {percentI, limit}, kv::curveEnvelopeLine()));
        QVERIFY(colourAround(image, chart.get(), {percentI, -limit}, kv::curveEnvelopeLine()));
        // Inside the band it is shaded; outside it is not.
        QVERIFY(colourAround(image, chart.get(), {percentI, limit / 2}, kv::curveEnvelopeFill(), 0));
        QVERIFY(!colourAround(image, chart.get(), {percentI, limit * 1.2}, kv::curveEnvelopeFill(), 0));
        QVERIFY(!colourAround(image, chart.get(), {percentI, limit * 1.2}, kv::curveEnvelopeLine(), 0));
    }

    void failingPointIsRed()
    {
        std::unique_ptr<QChart> chart(kv::makeCurveChart(m_set, key(7, 0.5, 1), 0));
        const QImage image = kv::renderCurveChart(chart.get(), QSize(1400, 900));
        QVERIFY(colourAround(image, chart.get(), {100, 1.2}, kv::curveFailingPoint(), 1));
        // A reading inside its limit is drawn in its meter's colour.
        QVERIFY(!colourAround(image, chart.get(), {10, 0.5}, kv::curveFailingPoint(), 3));
        QVERIFY(colourAround(image, chart.get(), {10, 0.5}, kv::curveMeterColour(0), 1));
    }

    void legendTitleAndGaps()
    {
        std::unique_ptr<QChart> chart(kv::makeCurveChart(m_set, key(7, 1, 0), 12));
        kv::renderCurveChart(chart.get(), QSize(1400, 900));
        QStringList legend;
        const QList<QLegendMarker *> markers = chart->legend()->markers();
        for (QLegendMarker *m : markers)
            if (m->isVisible())
                legend << m->label();
        QCOMPARE(legend, QStringList({"Допуск", "Счетчик 1001 (11)", "Счетчик 1002 (12)", "Позиция 13"}));
        QVERIFY(chart->title().contains(QStringLiteral("ЦЭ-3 Т1 — Кривая")));
        QVERIFY(chart->title().contains(QStringLiteral("cos φ 1, все фазы")));
        // Meter 1002 has no reading at 10 %: its line stops at 5 % and starts again at 100 %.
        QList<QList<double>> runs;
        const QColor colour = kv::curveMeterColour(1);
        for (QAbstractSeries *s : chart->series()) {
            auto *line = qobject_cast<QLineSeries *>(s);
            if (!line || line->metaObject() != &QLineSeries::staticMetaObject || line->pen().color().rgb() != colour.rgb())
                continue;
            QList<double> xs;
            for (const QPointF &p : line->points())
                xs << p.x();
            runs << xs;
        }
        QCOMPARE(runs, QList<QList<double>>({{5}, {100, 1200}}));
        // The highlighted meter is drawn bold.
        for (QAbstractSeries *s : chart->series())
            if (s->name() == QStringLiteral("Счетчик 1002 (12)"))
                QCOMPARE(qobject_cast<QLineSeries *>(s)->pen().widthF(), 4.0);
    }

    void exportsAndPrint()
    {
        kv::ScopedRecordingUi ui;
        QTemporaryDir dir;
        kv::CurvesWindow window;
        window.setSets({m_set});
        const QString png = dir.filePath(QStringLiteral("curves.png"));
        const QString pdf = dir.filePath(QStringLiteral("curves.pdf"));
        const QString printed = dir.filePath(QStringLiteral("printed.pdf"));
        window.savePng(png);
        window.savePdf(pdf);
        window.choosePrinter = [&](QPrinter &printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(printed);
            return true;
        };
        window.print();
        QCOMPARE(ui->boxes().size(), 0);
        QCOMPARE(QImage(png).size(), QSize(1400, 900));
        for (const QString &path : {pdf, printed}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QVERIFY(f.read(5) == "%PDF-");
            QVERIFY(f.size() > 2000);
        }
        // A place that cannot be written is told, in Russian.
        window.savePng(dir.filePath(QStringLiteral("нет/curves.png")));
        QCOMPARE(ui->boxes().size(), 1);
        QVERIFY(ui->boxes()[0].text.startsWith(QStringLiteral("Не удалось сохранить рисунок")));
    }

    void windowKeepsChoicesAcrossUpdates()
    {
        kv::CurvesWindow window;
        window.setSets({m_set});
        QCOMPARE(window.CBCurve->count(), 7);
        window.CBCurve->setCurrentIndex(2);  // 0.8C
        window.highlight(12);
        QVERIFY(window.MSpecial->toPlainText().contains(QStringLiteral("Чувствительность: нет")));
        // A reading arrives: the same curve and meter stay chosen.
        kv::CurveSet later = m_set;
        later.meters[2].curves[2].points[0].error = 0.3;
        window.setSets({later});
        QCOMPARE(window.group().text(), QStringLiteral("cos φ 0.8C, все фазы"));
        QCOMPARE(window.highlighted(), 12);
        // Two records: each curve names its record.
        window.setSets({m_set, m_set});
        QCOMPARE(window.CBCurve->count(), 14);
        QVERIFY(window.CBCurve->itemText(7).startsWith(QStringLiteral("ЦЭ-3 Т1 — Кривая: ")));
        window.setSets({});
        QVERIFY(!window.BPng->isEnabled());
    }

    void meterPictureForTheProtocol()
    {
        const QImage picture = kv::meterCurvesPicture(m_set, 11, QSize(900, 600));
        QCOMPARE(picture.size(), QSize(900, 600));
        bool red = false;
        for (int y = 0; y < picture.height() && !red; ++y)
            for (int x = 0; x < picture.width() && !red; ++x)
                red = near(picture.pixelColor(x, y), kv::curveFailingPoint(), 10);
        QVERIFY(red);  // meter 1001's reading beyond its limit
        QVERIFY(kv::meterCurvesPicture(m_set, 99).isNull());
    }
};

QTEST_MAIN(TestCurveChart)
#include "test_curve_chart.moc"
