// "Кривые погрешности" of the database program: from the archive window for
// the current record and the current meter, and from the query result for
// every meter it names, with the cap and its message.

#include "reference/archive_curves_view.h"
#include "reference/archive_window.h"
#include "reference/data_module.h"
#include "shell/query_window.h"
#include "support/curves_run.h"
#include "widgets/data_grid.h"
#include "core/ui.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>

using namespace basekvintor;

namespace {

struct Archive {
    kvtest::TempSettings settings;
    kvtest::TempDatabase db{QStringLiteral("archive-curves")};
    TDM dm{QStringLiteral("dm-archive-curves")};

    Archive()
    {
        curvestest::fill(db.db());
        dm.useConnection(db.connectionName());
        if (!dm.DataModuleCreate())
            qFatal("data module did not open");
    }
};

int meterCount(const kv::CurvesWindow *w)
{
    int n = 0;
    for (const kv::CurveSet &s : w->sets())
        n += int(s.meters.size());
    return n;
}

}  // namespace

class TestArchiveCurves : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void recordAndMeterFromTheArchiveWindow()
    {
        kv::ScopedRecordingUi ui;
        Archive a;
        TFArchiv window(&a.dm);
        const int record = a.dm.ADOMeasure->rowOfKey(1);
        window.DBTest->setCurrentRow(record);
        window.DBPosition->setCurrentRow(1);  // meter 12
        window.ACurves->trigger();
        kv::CurvesWindow *w = window.Curves->Window();
        QVERIFY(w && w->isVisible());
        QCOMPARE(meterCount(w), 3);
        QCOMPARE(w->highlighted(), 12);
        QCOMPARE(w->CBCurve->count(), 7);

        window.ACurvesMeter->trigger();
        QCOMPARE(meterCount(w), 1);
        QCOMPARE(w->sets()[0].meters[0].number, QStringLiteral("1002"));
        QCOMPARE(ui->boxes().size(), 0);

        // The record was deleted by the other program meanwhile: told, in Russian.
        kvtest::execOrFail(a.db.db(), QStringLiteral("DELETE FROM TMeasure WHERE PIndex = 1"));
        window.ACurves->trigger();
        QCOMPARE(ui->boxes().size(), 1);
        QVERIFY(ui->boxes()[0].text.startsWith(QStringLiteral("Запись архива не найдена")));
    }

    void metersOfAQueryResult()
    {
        kv::ScopedRecordingUi ui;
        Archive a;
        TFSQL window(&a.dm);
        // Without the numbers nothing tells the meters apart.
        QCOMPARE(a.dm.ADOSQL->open(QStringLiteral("Select TPositionCH.PPosition From TPositionCH")), QString());
        window.ACurves->trigger();
        QCOMPARE(ui->texts(), QStringList{ArchiveCurves::NoNumbersText});
        ui->clear();

        QCOMPARE(a.dm.ADOSQL->open(QStringLiteral(
                     "Select TPositionCH.PNumber ,TResult.PMeasure From (TPositionCH INNER JOIN TResult ON "
                     "TPositionCH.PIndex = TResult.PSecIndex)")),
                 QString());
        QCOMPARE(window.resultNumbers(), QStringList({"1001", "1002", "2001"}));
        window.ACurves->trigger();
        QCOMPARE(ui->boxes().size(), 0);
        kv::CurvesWindow *w = window.Curves->Window();
        QCOMPARE(w->sets().size(), 2);  // one per record
        QCOMPARE(meterCount(w), 3);
        QVERIFY(w->CBCurve->itemText(0).startsWith(QStringLiteral("ЦЭ-3 Т1 — Кривая: ")));

        // Beyond the cap: the first ones, and a message saying how many were found.
        for (int i = 0; i < ArchiveCurves::kMaxMeters; ++i)
            kvtest::execOrFail(a.db.db(), QStringLiteral("INSERT INTO TPositionCH (PSecIndex, PPosition, PNumber, "
                                                         "PSensitivity, PSamochod, PCountDevice, PTotal) "
                                                         "VALUES (2, 22, '2001', 0, 0, 0, 0)"));
        window.ACurves->trigger();
        QCOMPARE(ui->texts(), QStringList{ArchiveCurves::TooManyText(33)});
        QCOMPARE(meterCount(w), ArchiveCurves::kMaxMeters);
        QCOMPARE(w->LNote->text(), ArchiveCurves::TooManyText(33));
    }
};

QTEST_MAIN(TestArchiveCurves)
#include "test_archive_curves.moc"
