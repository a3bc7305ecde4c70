// The error curves of a run in progress: built from the running test and the
// run's results, counting the reading a field shows at the current point, and
// the windows that show them follow the run.

#include "run/run_fixture.h"
#include "setup/results_window.h"
#include "setup/run_curves.h"

#include "setup/result_tables.h"
#include "files/report.h"
#include "files/workbook_pictures.h"
#include "widgets/workbook_reader.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>

using namespace kvintor;

namespace {

// Stands 1 (positions 1, 2) and 3 (position 1); points 1 (10 %, cos 1, ±1.5),
// 2 (100 %, cos 1), 3 (100 %, 0.5 L) and a creep test numbered 10.
struct CurvesRun {
    runtest::Rig r;
    RunControl &run = *r.run;

    CurvesRun()
    {
        const qlonglong type = r.addType({});
        const qlonglong test = r.addTest({{1, 100, 10, 1, 0, 5, 1.5}, {2, 100, 100, 1, 0, 5, 1}, {3, 100, 100, 0.5, 1, 5, 1}},
                                         {}, {true, 10, 115, 0, 5, 30});
        r.choose(ModeVerification, {{1, {1, 2}}, {3, {1}}}, type, test);
        r.start(ModeVerification);
        run.SetSetup(&r.setup);
        run.SizeResults(r.f.dm->ADOTestBuf->count() + 1);
    }

    // The results index of the running test's point n.
    int index(int n)
    {
        Dataset *buf = r.f.dm->ADOTestBuf;
        for (int row = 0; row < buf->count(); ++row)
            if (buf->valueAt(row, QStringLiteral("PNumPointBuf")).toInt() == n)
                return buf->valueAt(row, QStringLiteral("PNumPoint")).toInt();
        qFatal("no point %d", n);
        return 0;
    }
    void measure(int stand, int position, int n, long double error, double limit = 1)
    {
        const int i = index(n);
        run.StandResults[stand].Errors[position][i] = error;
        run.StandResults[stand].Measured[position][i] = true;
        run.StandResults[stand].Limits[i] = limit;
    }
    // Point n is in progress.
    void current(int n)
    {
        run.PointStarted = true;
        run.PointKind = KindError;
        run.CurrentRow.PNumPoint = index(n);
    }
};

const kv::CurvePoint &pointOf(const kv::CurveSet &set, int meter, int curve, int point)
{
    return set.meters.at(meter).curves.at(curve).points.at(point);
}

}  // namespace

class TestRunCurves : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void setsPerStandWithGapsAndLiveReadings()
    {
        CurvesRun c;
        c.measure(1, 1, 1, 0.4, 1.5);
        c.measure(1, 1, 3, -1.25);
        c.measure(3, 1, 2, 0);
        c.run.StandResults[1].CreepVerdict[2] = 1;
        c.current(2);
        c.run.StandResults[1].MeterEdit[2].SetText(QStringLiteral("0.7"));

        const QVector<kv::CurveSet> sets = RunCurveSets(*c.r.f.dm, c.run);
        QCOMPARE(sets.size(), 2);
        QVERIFY(sets[0].title().endsWith(QStringLiteral(" — Стенд №1")));
        QVERIFY(sets[1].title().endsWith(QStringLiteral(" — Стенд №3")));
        QCOMPARE(sets[0].groups.size(), 2);  // cos 1 and 0.5L; the creep row is no point
        QCOMPARE(sets[0].meters.size(), 2);
        QCOMPARE(sets[0].meters[0].position, 11);
        // Stored readings with their limits; the field of the point in progress.
        QCOMPARE(*pointOf(sets[0], 0, 0, 0).error, 0.4);
        QCOMPARE(pointOf(sets[0], 0, 0, 0).limit, 1.5);
        QVERIFY(pointOf(sets[0], 0, 1, 0).failing());
        QCOMPARE(*pointOf(sets[0], 1, 0, 1).error, 0.7);
        // Nothing read yet: gaps, not zeros. A stored zero is a reading.
        QVERIFY(!pointOf(sets[0], 0, 0, 1).error);
        QVERIFY(!pointOf(sets[0], 1, 0, 0).error);
        QCOMPARE(*pointOf(sets[1], 0, 0, 1).error, 0.0);
        QCOMPARE(sets[0].meters[1].special.creep, 1);
        // Amperes from the stand's type (5 A).
        QCOMPARE(pointOf(sets[0], 0, 0, 0).amperes, 0.5);
    }

    void runWindowFollowsReadings()
    {
        CurvesRun c;
        RunCurves &curves = c.r.windows->Curves;
        c.current(1);
        c.run.FocusedTag = 31;
        c.r.windows->Regul.BCurves->click();
        kv::CurvesWindow *w = curves.Window();
        QVERIFY(w && w->isVisible());
        QCOMPARE(w->sets()[w->setIndex()].place, QStringLiteral("Стенд №3"));
        QCOMPARE(w->highlighted(), 31);
        QVERIFY(!w->sets()[1].meters[0].curves[0].points[0].error);

        // A reading arrives: one redraw after the pause, choices kept.
        c.run.StandResults[3].MeterEdit[1].SetText(QStringLiteral("-0.3"));
        QVERIFY(curves.TRefresh.isActive());
        curves.OnRefreshTimer();
        QCOMPARE(*w->sets()[1].meters[0].curves[0].points[0].error, -0.3);
        QCOMPARE(w->highlighted(), 31);
        QCOMPARE(w->sets()[w->setIndex()].place, QStringLiteral("Стенд №3"));
        w->close();
        c.run.StandResults[3].MeterEdit[1].SetText(QStringLiteral("-0.2"));
        QVERIFY(!curves.TRefresh.isActive());  // a closed window is not redrawn
    }

    void protocolsCarryEachMetersCurves();
    void templateWithoutThePlaceIsUnchanged();

    void viewerShowsTheSelectedStand()
    {
        CurvesRun c;
        std::unique_ptr<TFView> view = AttachResultsViewer(*c.r.f.dm, c.run, &c.r.windows->FNumber, nullptr);
        view->FormShow();  // the last stand (3) is selected
        int shown = 0;
        view->ShowCurves = [&shown](int stand) { shown = stand; };
        QCOMPARE(view->Button4->text(), QStringLiteral("Кривые погрешности"));
        view->Button4->click();
        QCOMPARE(shown, 3);
        QVERIFY(c.r.f.dm->RMStend->locate(QStringLiteral("PStend"), QStringLiteral("Стенд №1")));
        view->Button4Click();
        QCOMPARE(shown, 1);
    }
};


void TestRunCurves::protocolsCarryEachMetersCurves()
{
    QTemporaryDir work;
    const QString before = QDir::currentPath();
    QDir::setCurrent(work.path());
    CurvesRun c;
    c.measure(1, 1, 1, 0.4, 1.5);
    c.measure(1, 2, 2, -0.3);
    c.measure(3, 1, 3, 1.4);  // beyond its limit
    BuildResultTables(*c.r.f.dm, c.run);
    auto number = [](int s, int p) { return QStringLiteral("N%1%2").arg(s).arg(p); };
    StandProtocols::Context context{[] { return kv::ProtocolData(); }, number, {}, {}};
    const QStringList plain = StandProtocols(*c.r.f.dm, context).BuildStandProtocols();
    context.curvePictures = [&c, number](int stand) { return RunCurvePictures(*c.r.f.dm, c.run, stand, number); };
    const QStringList pictured = StandProtocols(*c.r.f.dm, context).BuildStandProtocols();
    QDir::setCurrent(before);
    QVERIFY2(c.r.ui->boxes().isEmpty(), qPrintable(c.r.ui->texts().join(QLatin1Char('\n'))));
    QCOMPARE(plain.size(), 2);
    QCOMPARE(pictured.size(), 2);

    const int meters[] = {2, 1};  // stand 1, stand 3
    for (int k = 0; k < 2; ++k) {
        const QJsonObject a = kvtest::readWorkbook(plain[k]);
        const QJsonObject b = kvtest::readWorkbook(pictured[k]);
        QJsonObject names = b.value(QStringLiteral("names")).toObject();
        // "'Протокол'!$A$37": the place below the signatures, moved down with the table.
        const QString place = names.value(QStringLiteral("KvCurves")).toString();
        QVERIFY(place.startsWith(QStringLiteral("'Протокол'!$A$")));
        const int row = place.section(QLatin1Char('$'), 2).toInt();
        const QJsonArray images = kvtest::sheetOf(b).value(QStringLiteral("images")).toArray();
        QCOMPARE(images.size(), meters[k]);
        QCOMPARE(images[0].toObject().value(QStringLiteral("col")).toInt(), 0);
        QCOMPARE(images[0].toObject().value(QStringLiteral("row")).toInt(), row - 1);
        QCOMPARE(images[0].toObject().value(QStringLiteral("width")).toInt(), 760);
        if (meters[k] == 2)
            QVERIFY(images[1].toObject().value(QStringLiteral("row")).toInt() >= row - 1 + 23);  // below the first
        QVERIFY(kvtest::sheetOf(a).value(QStringLiteral("images")).toArray().isEmpty());
        // The rest is the same workbook; the print area reaches over the pictures.
        for (const char *key : {"cells", "merges", "heights", "widths", "cf", "orientation", "paperSize"})
            QCOMPARE(kvtest::sheetOf(b).value(QLatin1String(key)), kvtest::sheetOf(a).value(QLatin1String(key)));
        QCOMPARE(names, a.value(QStringLiteral("names")).toObject());
        const auto areaEnd = [](const QJsonObject &book) {
            return kvtest::sheetOf(book).value(QStringLiteral("printArea")).toString().section(QLatin1Char('$'), -1).toInt();
        };
        QVERIFY2(areaEnd(b) >= images.last().toObject().value(QStringLiteral("row")).toInt() + 23,
                 qPrintable(kvtest::sheetOf(b).value(QStringLiteral("printArea")).toString()));
        QVERIFY(areaEnd(a) < row);
    }
}

void TestRunCurves::templateWithoutThePlaceIsUnchanged()
{
    const QString path = kv::Report::findTemplate(QStringLiteral("Report.xlsx"));
    QVERIFY(!path.isEmpty());
    kv::WorkbookPackage package = kv::WorkbookPackage::load(path);
    const QByteArray before = package.toBytes();
    kv::CellPlace place;
    QVERIFY(!kv::definedNamePlace(package, kv::kCurvesPlaceName, &place));
    QVERIFY(!kv::placePictures(package, kv::kCurvesPlaceName, {{QByteArray("png"), QSize(10, 10), QStringLiteral("x")}}));
    QCOMPARE(package.toBytes(), before);
}

QTEST_MAIN(TestRunCurves)
#include "test_run_curves.moc"
