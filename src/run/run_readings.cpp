#include "run/run_readings.h"

#include "core/clock.h"
#include "core/error_report.h"
#include "core/ui.h"
#include "database/connection.h"
#include "database/database_check.h"
#include "database/text_length.h"
#include "link/stand_frames.h"
#include "protocols/text_convert.h"
#include "run/current_window.h"
#include "run/run_control.h"
#include "setup/data_module.h"
#include "setup/run_setup.h"

#include <QtGlobal>

#include <cmath>
#include <stdexcept>

namespace kvintor {

const QString RunReadings::StoreFailedText = QStringLiteral("Ошибка сохранения данных!");

namespace {

const QString Seen = QStringLiteral("есть");
const QString NotSeen = QStringLiteral("нет");

// A row the archive refused; carries the engine's reason.
struct SaveFailed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void post(RecordTable &table)
{
    const QString reason = table.post();
    if (!reason.isEmpty())
        throw SaveFailed(reason.toStdString());
}

bool isPositionDigit(char c)
{
    return c >= '1' && c <= '6';
}

}  // namespace

RunReadings::RunReadings(RunControl &run, TDM &dm, TFCurrent *current) : m_run(run), m_dm(dm), m_current(current)
{
    auto &h = m_run.Hooks;
    h.StorePointResults = [this] { StorePointResults(); };
    h.SaveToArchive = [this] { return SaveToArchive(); };
    h.StandReport = [this](int s, const QByteArray &f) { HandleStandReport(s, f); };
    h.Prescription = [this](bool end) { Prescription(end); };
    h.FinishSpecialTest = [this](int kind) { FinishSpecialTest(kind); };
    h.ClearMeter = [this](int tag) { ClearMeter(tag); };
    h.MarkNorma = [this](int tag) { MarkNorma(tag); };
    h.MarkNot = [this](int tag) { MarkNot(tag); };
    h.SpaceBar = [this](int tag) { SpaceBar(tag); };
    h.ResetStand = [this](int s) { ResetStand(s); };
    QObject::connect(&m_run, &RunState::fieldTextChanged, &m_run,
                     [this](int s, int p) { ColourField(s, p); });
}

// ---------------------------------------------------------------- reports

void RunReadings::HandleStandReport(int s, const QByteArray &F)
{
    if (s < 1 || s > 5)
        return;
    const int mode = m_run.RunMode();
    StandResultsRecord &r = m_run.StandResults[s];
    const int n = F.size();
    // Positions counted from 1 as the stands count them: F[i] is F.at(i - 1).
    auto at = [&](int i) -> char { return i >= 1 && i <= n ? F.at(i - 1) : '\0'; };
    for (int i = 5; i <= n; ++i) {
        if (at(i) == 'Q' && at(i - 1) == ' ' && isPositionDigit(at(i + 1))) {
            const int p = at(i + 1) - '0';
            if (m_run.PointKind == KindSensitivity && m_run.Occupied(s, p)) {
                r.SensSeen[p] = 3;
                r.MeterEdit[p].SetText(Seen);
            }
        }
        if (at(i) == ' ' && at(i - 2) == ' ' && isPositionDigit(at(i - 1))) {
            const int p = at(i - 1) - '0';
            if (!m_run.Occupied(s, p))
                continue;
            // A group cut short by the end of the frame keeps what it has.
            const QString v = QString::fromLatin1(F.mid(i, 5));
            PositionField &field = r.MeterEdit[p];
            if (mode == ModeRegulation || mode == ModeVerification) {
                if (m_run.PointKind == KindError) {
                    field.SetText(v);
                } else if (m_run.PointKind == KindCreep) {
                    r.CreepSeen[p] = 3;
                    field.SetText(Seen);
                    field.SetFontColor(Qt::red);
                } else if (m_run.PointKind == KindRegister) {
                    r.PulseCount[p] += r.PulsesPerReport;
                    if (r.PulsesPerDivision > 0 && r.PulseCount[p] >= r.PulsesPerDivision) {
                        r.PulseCount[p] -= r.PulsesPerDivision;
                        field.SetText(kv::NumberToText(kv::TextToNumber(field.Text()) + r.DivisionValue));
                    }
                }
            } else if (mode == ModeManual) {
                field.SetText(v);
            }
        }
    }
    if (mode != ModeVerification)
        return;
    switch (m_run.PointKind) {
    case KindSensitivity: AChangeSens(); break;
    case KindCreep: AChangeSam(); break;
    case KindError: AChangePov(); break;
    default: break;
    }
}

bool RunReadings::everyOccupied(const QString &text, bool anyText) const
{
    bool any = false;
    for (int s = 1; s <= 5; ++s) {
        if (!m_run.StandInUse(s))
            continue;
        for (int p = 1; p <= 6; ++p) {
            if (!m_run.Occupied(s, p))
                continue;
            any = true;
            const QString &t = m_run.StandResults[s].MeterEdit[p].Text();
            if (anyText ? t.isEmpty() : t != text)
                return false;
        }
    }
    // A run without meters never ends a point early.
    return any;
}

void RunReadings::AChangePov()
{
    if (m_run.Automatic() && everyOccupied(QString(), true))
        m_run.AutoAdvance();
}

void RunReadings::AChangeSens()
{
    if (m_run.Automatic() && everyOccupied(Seen, false))
        m_run.AutoAdvance();
}

void RunReadings::AChangeSam()
{
    if (m_run.Automatic() && everyOccupied(Seen, false))
        m_run.AutoAdvance();
}

// ---------------------------------------------------------------- readings

void RunReadings::ColourField(int s, int p)
{
    const int mode = m_run.RunMode();
    if (!(mode == ModeRegulation || (mode == ModeVerification && m_run.PointKind == KindError)))
        return;
    PositionField &field = m_run.StandResults[s].MeterEdit[p];
    const double v = std::fabs(kv::TextToNumber(field.Text()));
    field.SetFontColor(v > m_run.CurrentRow.PMeasureMax ? QColor(Qt::red) : QColor(Qt::black));
}

void RunReadings::ResetStand(int s)
{
    if (m_run.PointKind != KindError || s < 1 || s > 5)
        return;
    for (int p = 1; p <= 6; ++p)
        m_run.StandResults[s].MeterEdit[p].SetText(QString());
    StandLink &link = m_run.Link();
    link.AwaitAck = true;
    link.PendingCommand = QStringLiteral("CST") + QString::number(s);
    link.T02.start();
    link.T03.start();
}

void RunReadings::ClearMeter(int tag)
{
    const int s = tag / 10, p = tag % 10;
    if (!m_run.Occupied(s, p))
        return;
    StandLink &link = m_run.Link();
    link.AwaitAck = true;
    m_run.StandResults[s].MeterEdit[p].SetText(QString());
    link.PendingCommand = QString::fromLatin1(MeterResetRequest(s, p));
    link.T02.start();
    link.T03.start();
}

// ---------------------------------------------------------------- special tests

void RunReadings::MarkNorma(int tag) { Mark(tag, true); }

void RunReadings::MarkNot(int tag) { Mark(tag, false); }

void RunReadings::Mark(int tag, bool norma)
{
    const int s = tag / 10, p = tag % 10;
    if (!m_run.Occupied(s, p))
        return;
    StandResultsRecord &r = m_run.StandResults[s];
    PositionField &field = r.MeterEdit[p];
    switch (m_run.PointKind) {
    case KindSensitivity:
        // Passing means the meter was seen to start.
        r.SensSeen[p] = norma ? 3 : 1;
        field.SetText(norma ? Seen : NotSeen);
        break;
    case KindCreep:
        // Passing means the meter was seen to stand still.
        r.CreepSeen[p] = norma ? 1 : 3;
        field.SetText(norma ? NotSeen : Seen);
        break;
    case KindRegister:
        r.RegisterVerdict[p] = norma ? 1 : 2;
        break;
    default: return;
    }
    field.SetFontColor(norma ? Qt::black : Qt::red);
}

void RunReadings::SpaceBar(int tag)
{
    if (m_run.PointKind != KindRegister || !m_run.MarksEnabled)
        return;
    const int s = tag / 10, p = tag % 10;
    if (!m_run.Occupied(s, p))
        return;
    if (m_run.StandResults[s].MeterEdit[p].FontColor() == QColor(Qt::black))
        MarkNot(tag);
    else
        MarkNorma(tag);
}

void RunReadings::FinishSpecialTest(int kind)
{
    m_run.AEndTest();
    const bool sens = kind == KindSensitivity;
    kv::ui().information(nullptr, QStringLiteral("Поверка"),
                         sens ? QStringLiteral("Тест чувствительности закончен")
                              : QStringLiteral("Тест самохода закончен"));
    for (int s = 1; s <= 5; ++s)
        for (int p = 1; p <= 6; ++p) {
            if (!m_run.Occupied(s, p))
                continue;
            StandResultsRecord &r = m_run.StandResults[s];
            PositionField &field = r.MeterEdit[p];
            const bool seen = (sens ? r.SensSeen[p] : r.CreepSeen[p]) == 3;
            field.SetText(seen ? Seen : NotSeen);
            // A pulse seen is good news; creep seen is not.
            field.SetFontColor(seen == sens ? QColor(Qt::black) : QColor(Qt::red));
        }
    m_run.Changed();
}

void RunReadings::Prescription(bool end)
{
    if (!m_current)
        return;
    m_current->ShowText(end);
    kv::ui().execDialog(m_current);
}

// ---------------------------------------------------------------- results

void RunReadings::forEachOccupied(const std::function<void(StandResultsRecord &, int)> &visit)
{
    for (int s = 1; s <= 5; ++s) {
        if (!m_run.StandInUse(s))
            continue;
        for (int p = 1; p <= 6; ++p)
            if (m_run.Occupied(s, p))
                visit(m_run.StandResults[s], p);
    }
}

void RunReadings::StorePointResults()
{
    if (!m_run.Verification() || !m_run.PointStarted)
        return;
    try {
        const PointRow &row = m_run.CurrentRow;
        const int i = row.PNumPoint;
        if (i != 0) {
            if (!m_run.ValidPointIndex(i))
                throw std::out_of_range("point index");
            forEachOccupied([&](StandResultsRecord &r, int p) {
                const QString &text = r.MeterEdit[p].Text();
                r.Errors[p][i] = kv::TextToNumber(text);
                // The test's own number: the protocols look results up by it.
                r.PointNumbers[p][i] = row.PNumPointBuf;
                r.Measured[p][i] = !text.isEmpty();
                r.Limits[i] = row.PMeasureMax;
            });
        }
        const int kind = PointKindOf(row.PMode);
        forEachOccupied([&](StandResultsRecord &r, int p) {
            if (kind == KindRegister && r.RegisterVerdict[p] == 0)
                r.RegisterVerdict[p] = 1;
            else if (kind == KindCreep)
                r.CreepVerdict[p] = r.CreepSeen[p] == 3 ? 1 : 2;
            else if (kind == KindSensitivity)
                r.SensVerdict[p] = r.SensSeen[p] == 3 ? 1 : 2;
        });
    } catch (...) {
        kv::ui().message(nullptr, QStringLiteral("Kvintor"), StoreFailedText, kv::Icon::None, QMessageBox::Ok,
                         QMessageBox::Ok);
    }
}

int RunReadings::SaveToArchive()
{
    if (!m_run.Verification() || !m_run.Setup())
        return -1;
    const RunSetup &setup = *m_run.Setup();
    Dataset *measure = m_dm.ADOMeasure;
    Dataset *meters = m_dm.ADOPositionCH;
    Dataset *results = m_dm.ADOResult;
    if (!measure || !meters || !results)
        return -1;
    kv::Transaction transaction(m_dm.database());
    try {
        if (!transaction.begin())
            throw SaveFailed(transaction.errorText().toStdString());
        struct Entry {
            qlonglong tip, test, key;
        };
        QVector<Entry> entries;
        int saved = 0;
        const QDateTime when = kv::now();
        for (int s = 1; s <= 5; ++s) {
            if (!m_run.StandInUse(s))
                continue;
            const qlonglong tip = setup.StandSetup[s].typeIndex;
            const qlonglong test = setup.testIndex;
            qlonglong key = -1;
            for (const Entry &e : entries)
                if (e.tip == tip && e.test == test)
                    key = e.key;
            if (key >= 0) {
                if (!measure->locate(QStringLiteral("PIndex"), key))
                    throw SaveFailed("verification record lost");
            } else {
                measure->append();
                measure->setValue(QStringLiteral("PDate"), when);
                measure->setValue(QStringLiteral("PPointerTip"), tip);
                measure->setValue(QStringLiteral("PPointerTest"), test);
                post(*measure);
                key = measure->value(QStringLiteral("PIndex")).toLongLong();
                entries.push_back({tip, test, key});
            }
            const StandResultsRecord &r = m_run.StandResults[s];
            for (int p = 1; p <= 6; ++p) {
                if (!m_run.Occupied(s, p))
                    continue;
                int total = 1;
                if (r.SensVerdict[p] == 2 || r.CreepVerdict[p] == 1 || r.RegisterVerdict[p] == 2)
                    total = 2;
                else if (r.SensVerdict[p] == 0 && r.CreepVerdict[p] == 0 && r.RegisterVerdict[p] == 0)
                    total = 0;
                for (int i = 1; i < r.Errors[p].size(); ++i)
                    if (r.Measured[p].value(i) && std::fabs(double(r.Errors[p][i])) > std::fabs(double(r.Limits.value(i))))
                        total = 2;
                // The verdict is known before the meter's row goes in, so it is
                // written once, whole.
                meters->append();
                meters->setValue(QStringLiteral("PSecIndex"), key);
                meters->setValue(QStringLiteral("PPosition"), s * 10 + p);
                meters->setValue(QStringLiteral("PNumber"), kv::leftCharacters(r.MeterNumber[p], 15));
                meters->setValue(QStringLiteral("PSensitivity"), r.SensVerdict[p]);
                meters->setValue(QStringLiteral("PSamochod"), r.CreepVerdict[p]);
                meters->setValue(QStringLiteral("PCountDevice"), r.RegisterVerdict[p]);
                meters->setValue(QStringLiteral("PTotal"), total);
                post(*meters);
                ++saved;
                const qlonglong meter = meters->value(QStringLiteral("PIndex")).toLongLong();
                for (int i = 1; i < r.Errors[p].size(); ++i) {
                    if (!r.Measured[p].value(i))
                        continue;
                    results->append();
                    results->setValue(QStringLiteral("PSecIndex"), meter);
                    results->setValue(QStringLiteral("PPointNumber"), r.PointNumbers[p].value(i));
                    results->setValue(QStringLiteral("PMeasure"), double(r.Errors[p][i]));
                    results->setValue(QStringLiteral("PMeasureMax"), double(r.Limits.value(i)));
                    post(*results);
                }
            }
        }
        if (!transaction.commit())
            throw SaveFailed(transaction.errorText().toStdString());
        return saved;
    } catch (const std::exception &e) {
        transaction.rollback();
        // The datasets still hold the rows the rollback took back.
        for (Dataset *d : {results, meters, measure})
            d->cancel();
        measure->refresh();
        meters->refresh();
        results->refresh();
        kv::ui().error(nullptr, QStringLiteral("Kvintor"), SaveFailedText(QString::fromStdString(e.what())));
        return -1;
    }
}

QString RunReadings::SaveFailedText(const QString &engineText)
{
    const QString engine = engineText.toLower();
    QString cause;
    if (engine.contains(QLatin1String("foreign key")))
        cause = QStringLiteral("тип счетчика или тест этой поверки удален из базы данных");
    else if (engine.contains(QLatin1String("locked")) || engine.contains(QLatin1String("busy")) || kv::isBusyText(engineText))
        cause = QStringLiteral("база данных занята другой программой");
    else if (engine.contains(QLatin1String("disk is full")) || engine.contains(QLatin1String("no space")))
        cause = QStringLiteral("на диске с базой данных нет места");
    else if (engine.contains(QLatin1String("readonly")) || engine.contains(QLatin1String("read-only")) ||
             engine.contains(QLatin1String("read only")))
        cause = QStringLiteral("база данных доступна только для чтения");
    else if (engine.contains(QLatin1String("not open")) || engine.contains(QLatin1String("unable to open")))
        cause = QStringLiteral("нет соединения с базой данных");
    else
        cause = QStringLiteral("база данных отказала в записи");
    return QStringLiteral("Поверка не записана в архив: ") + cause +
           QStringLiteral(".\nРезультаты поверки сохранены в программе: можно сделать протоколы и "
                          "повторить запись в архив.\n\n") +
           engineText;
}

}  // namespace kvintor
