#include "setup/run_curves.h"

#include "protocols/text_convert.h"
#include "run/run_control.h"
#include "setup/data_module.h"
#include "setup/run_setup.h"
#include "widgets/curve_chart.h"
#include "widgets/curves_window.h"
#include "core/ui.h"

#include <QBuffer>

namespace kvintor {

namespace {

kv::CurveTestPoint pointOf(const RecordTable &t, int row)
{
    auto v = [&t, row](const char *field) { return t.valueAt(row, QLatin1String(field)); };
    kv::CurveTestPoint p;
    p.number = v("PNumPointBuf").toInt();
    p.percentU = v("PPersentU").toDouble();
    p.percentI = v("PPersentI").toDouble();
    p.phases = (v("PPhaseIA").toBool() ? kv::PhaseA : 0) | (v("PPhaseIB").toBool() ? kv::PhaseB : 0)
               | (v("PPhaseIC").toBool() ? kv::PhaseC : 0);
    p.powerFactor = v("PKM").toDouble();
    p.loadCharacter = v("PLC").toInt();
    p.limit = v("PMeasureMax").toDouble();
    return p;
}

}  // namespace

QVector<kv::CurveSet> RunCurveSets(const TDM &dm, const RunControl &run)
{
    QVector<kv::CurveSet> sets;
    const RunSetup *setup = run.Setup();
    const RecordTable *buf = dm.ADOTestBuf;
    if (!setup || !buf)
        return sets;

    // The error rows, and where each keeps its results (PNumPoint).
    QVector<kv::CurveTestPoint> points;
    QVector<int> resultIndex;
    for (int row = 0; row < buf->count(); ++row) {
        const int index = buf->valueAt(row, QStringLiteral("PNumPoint")).toInt();
        if (index == 0 || buf->valueAt(row, QStringLiteral("PMode")).toString().trimmed() != QStringLiteral("п"))
            continue;
        points.append(pointOf(*buf, row));
        resultIndex.append(index);
    }
    // The point in progress: its readings are still only in the fields.
    const bool live = run.PointStarted && run.PointKind == 0 && run.CurrentRow.PNumPoint != 0;

    for (int s = 1; s <= 5; ++s) {
        if (!run.StandInUse(s))
            continue;
        const StandSetupRecord &stand = setup->StandSetup[s];
        const StandResultsRecord &r = run.StandResults[s];
        kv::CurveSource source;
        source.type.type = stand.typeText;
        source.type.designation = stand.designation;
        source.type.unom = stand.Unom;
        source.type.inom = stand.Inom;
        source.type.scheme = stand.Scheme;
        source.test = setup->testText;
        source.place = QStringLiteral("Стенд №") + QString::number(s);
        source.points = points;
        for (int p = 1; p <= 6; ++p) {
            if (!run.Occupied(s, p))
                continue;
            kv::CurveMeterSource m;
            m.position = 10 * s + p;
            m.number = r.MeterNumber[p];
            m.special = {r.SensVerdict[p], r.CreepVerdict[p], r.RegisterVerdict[p]};
            for (int k = 0; k < points.size(); ++k) {
                const int i = resultIndex[k];
                if (live && i == run.CurrentRow.PNumPoint) {
                    const QString text = r.MeterEdit[p].Text().trimmed();
                    if (!text.isEmpty())
                        m.readings.append({points[k].number, double(kv::TextToNumber(text)), qQNaN()});
                    continue;
                }
                if (r.Measured[p].value(i))
                    m.readings.append({points[k].number, double(r.Errors[p].value(i)), double(r.Limits.value(i))});
            }
            source.meters.append(m);
        }
        sets.append(kv::BuildCurves(source));
    }
    return sets;
}

QList<kv::WorkbookPicture> RunCurvePictures(const TDM &dm, const RunControl &run, int stand,
                                            const std::function<QString(int, int)> &meterNumber)
{
    QList<kv::WorkbookPicture> pictures;
    const QString place = QStringLiteral("Стенд №") + QString::number(stand);
    for (kv::CurveSet set : RunCurveSets(dm, run)) {
        if (set.place != place)
            continue;
        for (kv::MeterCurves &m : set.meters)
            if (meterNumber)
                m.number = meterNumber(stand, m.position % 10);
        for (const kv::MeterCurves &m : set.meters) {
            const QSize size(760, 460);
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            kv::meterCurvesPicture(set, m.position, size).save(&buffer, "PNG");
            pictures.append({png, size, QStringLiteral("Кривые погрешности ") + m.label()});
        }
    }
    return pictures;
}

RunCurves::RunCurves(const TDM &dm, const RunControl &run, QWidget *windowParent, QObject *parent)
    : QObject(parent), m_dm(dm), m_run(run), m_windowParent(windowParent)
{
    TRefresh.setSingleShot(true);
    TRefresh.setInterval(RefreshDelayMs);
    connect(&TRefresh, &QTimer::timeout, this, &RunCurves::OnRefreshTimer);
    connect(&run, &RunState::changed, this, &RunCurves::followRun);
    connect(&run, &RunState::fieldTextChanged, this, &RunCurves::followRun);
}

RunCurves::~RunCurves()
{
    delete m_window.data();
}

void RunCurves::followRun()
{
    if (m_window && m_window->isVisible() && !TRefresh.isActive())
        TRefresh.start();
}

void RunCurves::OnRefreshTimer()
{
    TRefresh.stop();
    if (m_window)
        m_window->setSets(RunCurveSets(m_dm, m_run));
}

void RunCurves::Show(int stand, int position, bool modal)
{
    if (!m_window) {
        m_window = new kv::CurvesWindow(m_windowParent);
        m_window->setWindowFlag(Qt::Window);
    }
    const QVector<kv::CurveSet> sets = RunCurveSets(m_dm, m_run);
    m_window->setSets(sets);
    const QString place = QStringLiteral("Стенд №") + QString::number(stand);
    for (int i = 0; i < sets.size(); ++i)
        if (sets[i].place == place)
            m_window->showSet(i);
    if (position != 0)
        m_window->highlight(position);
    if (modal) {
        kv::ui().execDialog(m_window);
        return;
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

}  // namespace kvintor
