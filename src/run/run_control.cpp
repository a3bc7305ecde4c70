#include "run/run_control.h"

#include "core/error_report.h"
#include "core/ui.h"
#include "setup/data_module.h"
#include "setup/meter_numbers_window.h"
#include "setup/point_parameters_window.h"
#include "setup/reg_table_window.h"
#include "setup/register_readings_window.h"
#include "setup/run_launch.h"
#include "setup/run_setup.h"

#include <QRadioButton>

#include <algorithm>

namespace kvintor {

const QString RunControl::PointSetupFailedText = QStringLiteral("Ошибка установки параметров измерения!");
const QString RunControl::StandSetupFailedText = QStringLiteral("Ошибка установки параметров стенда!");
QString RunControl::SavedText(int meters)
{
    return QStringLiteral("Результаты поверки записаны в архив, счетчиков: ") + QString::number(meters);
}

const QString RunControl::CountdownFailedText = QStringLiteral("Ошибка вычисления времени ответа от стенда!");
const QString RunControl::VerificationDoneText = QStringLiteral("Поверка счетчиков завешена!");

namespace {

// A step of a point's start that cannot go on; its message says which.
struct StepFailed {
};

}  // namespace

RunControl::RunControl(StandLink &link, TDM &dm, QObject *parent) : RunState(parent), m_link(link), m_dm(dm)
{
    TTime.setInterval(1000);
    TTime.setSingleShot(true);
    TTime.setTimerType(Qt::PreciseTimer);
    connect(&TTime, &QTimer::timeout, this, &RunControl::onCountdownTimer);
}

RunControl::~RunControl()
{
    stopCountdown();
}

int RunControl::RGAuto() const
{
    return setup() ? setup()->RGAuto : 1;
}

bool RunControl::transformerTr1() const
{
    return TransformerTr1 ? TransformerTr1() : true;
}

void RunControl::showPlain(const QString &caption, const QString &text)
{
    kv::ui().message(nullptr, caption, text, kv::Icon::None, QMessageBox::Ok, QMessageBox::Ok);
}

bool RunControl::lastRow() const
{
    const RecordTable *rows = m_dm.ADOTestBuf;
    return !rows || rows->recNo() < 0 || rows->value(QStringLiteral("PNumPoint1")).toInt() == rows->count();
}

void RunControl::storePointResults()
{
    if (Hooks.StorePointResults)
        Hooks.StorePointResults();
}

// ---------------------------------------------------------------- start of a run

void RunControl::Begin(const RunStart &run)
{
    stopCountdown();
    // Nothing of the previous run's last point belongs to this one.
    SetSetup(run.setup);
    m_link.RunMode = run.RunMode;
    m_types = run.setup ? ChosenTypes(*run.setup) : std::array<StandTypeValues, 6>{};
    m_selectPointVisible = run.table.selectPointVisible;
    NextEnabled = false;
    SaveInBaseEnabled = false;
    MarksEnabled = true;
    PointMemo.clear();
    PointNumberText.clear();
    CountdownText = kvintor::CountdownText(0);
    CountdownVisible = false;
    switch (run.RunMode) {
    case ModeManual:
        SetUpManual();
        WindowVisible = true;
        Changed();
        StartManual();
        break;
    case ModeRegulation:
        SetUpRegulation();
        WindowVisible = true;
        Changed();
        ASelectPoint();
        break;
    case ModeVerification:
        SetUpVerification(RGAuto());
        // Every results index of the running test must fit, whatever the setup counted.
        SizeResults(std::max(run.setup ? run.setup->RunPointCapacity : 0, run.table.rows + 4));
        ClearResults();
        claimRun();
        WindowVisible = true;
        Changed();
        ASelectPoint();
        break;
    default: break;
    }
    if (run.RunMode != ModeVerification)
        m_claim.release();
}

void RunControl::claimRun()
{
    if (!setup())
        return;
    QList<qint64> tips;
    for (int s = 1; s <= 5; ++s)
        if (setup()->StandInUse[s])
            tips << setup()->StandSetup[s].typeIndex;
    const QString error = m_claim.claim(m_dm.database(), tips, setup()->testIndex);
    if (!error.isEmpty())
        kv::ui().warning(nullptr, QStringLiteral("Kvintor"),
                         QStringLiteral("Тип счетчика и тест этой поверки не защищены от удаления в программе "
                                        "BaseKvintor до записи поверки в архив.\n") +
                             error);
}

// ---------------------------------------------------------------- actions

void RunControl::ANextPoint()
{
    if (!NextEnabled)
        return;
    stopCountdown();
    if (Verification())
        storePointResults();
    m_dm.ADOTestBuf->next();
    NextEnabled = !lastRow();
    Changed();
    m_link.PendingCommand = QStringLiteral("Next");
    m_link.RunQueue();
}

void RunControl::ASelectPoint()
{
    AEndTest();
    if (Verification())
        storePointResults();
    if (!RegTable)
        return;
    RegTable->setSelectPointVisible(m_selectPointVisible);
    if (kv::ui().execDialog(RegTable) != QDialog::Accepted)
        return;
    NextEnabled = !lastRow();
    Changed();
    m_link.PendingCommand = QStringLiteral("Next");
    m_link.T02.start();
}

void RunControl::AEndTest()
{
    stopCountdown();
    m_link.PendingCommand = QStringLiteral("Exit");
    m_link.T02.stop();
    m_link.T02.start();
}

void RunControl::AReadySU()
{
    if (NextEnabled) {
        ANextPoint();
    } else {
        kv::ui().information(nullptr, QStringLiteral("Поверка"), VerificationDoneText);
        ASaveInRecord();
    }
    ReadyVisible = false;
    Changed();
}

void RunControl::AnewTest()
{
    if (!RegTable)
        return;
    RegTable->setSelectPointVisible(m_selectPointVisible);
    // The finished run is emptied only once the operator has chosen where the
    // new one starts: cancelling keeps its results for the archive.
    if (kv::ui().execDialog(RegTable) != QDialog::Accepted)
        return;
    ClearResults();
    claimRun();
    NextEnabled = !lastRow();
    m_link.PendingCommand = QStringLiteral("Next");
    m_link.T02.start();
    NewTestVisible = false;
    SetUpVerification(RGAuto());
}

void RunControl::ASaveInRecord()
{
    if (Automatic()) {
        NewTestVisible = true;
        ResultVisible = true;
        Changed();
    }
}

void RunControl::BTResult()
{
    storePointResults();
    if (Hooks.ShowResults)
        Hooks.ShowResults();
}

void RunControl::BTNumber()
{
    if (FNumber)
        kv::ui().execDialog(FNumber);
}

void RunControl::ASaveInBase()
{
    if (!SaveInBaseEnabled || !FNumber)
        return;
    if (kv::ui().execDialog(FNumber) != QDialog::Accepted)
        return;
    const int saved = Hooks.SaveToArchive ? Hooks.SaveToArchive() : -1;
    if (saved >= 0) {
        SaveInBaseEnabled = false;
        StatusText = SavedText(saved);
        // In the archive now: the archive's own references keep the type and test.
        m_claim.release();
        Changed();
    }
}

bool RunControl::MainMenu()
{
    AEndTest();
    if (Verification() && SaveInBaseEnabled) {
        const auto answer = kv::ui().message(nullptr, QStringLiteral("Выход из режима поверки"),
                                             QStringLiteral("Сохранить результаты поверки в базе данных ?"),
                                             kv::Icon::Question,
                                             QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
        if (answer == QMessageBox::Cancel)
            return false;
        if (answer == QMessageBox::Yes) {
            storePointResults();
            ASaveInBase();
            // Not saved (numbers dialog closed, the archive refused): the
            // results would be lost with the window, so it stays.
            if (SaveInBaseEnabled)
                return false;
        }
    }
    WindowVisible = false;
    m_claim.release();
    Changed();
    return true;
}

void RunControl::AutoAdvance()
{
    if (!Automatic())
        return;
    if (NextEnabled) {
        ANextPoint();
        return;
    }
    m_link.PendingCommand = QStringLiteral("Exit");
    stopCountdown();
    kv::ui().information(nullptr, QStringLiteral("Поверка"), VerificationDoneText);
    ASaveInRecord();
}

void RunControl::AClearCH()
{
    if (Hooks.ClearMeter && FocusedTag)
        Hooks.ClearMeter(FocusedTag);
}

void RunControl::Anorma()
{
    if (MarksEnabled && Hooks.MarkNorma && FocusedTag)
        Hooks.MarkNorma(FocusedTag);
}

void RunControl::Anot()
{
    if (MarksEnabled && Hooks.MarkNot && FocusedTag)
        Hooks.MarkNot(FocusedTag);
}

void RunControl::SpaceBar()
{
    if (Hooks.SpaceBar && FocusedTag)
        Hooks.SpaceBar(FocusedTag);
}

void RunControl::ResetStand(int stand)
{
    if (Hooks.ResetStand)
        Hooks.ResetStand(stand);
}

// ---------------------------------------------------------------- a point

void RunControl::StartPoint()
{
    CurrentRow = PointRow();
    Quantities = PointQuantities();
    // Each step reports its own failure; the next step still runs.
    const struct {
        bool (RunControl::*step)();
        const QString &failure;
    } steps[] = {{&RunControl::pointSetUp, PointSetupFailedText},
                 {&RunControl::standSetUp, StandSetupFailedText},
                 {&RunControl::countdown, CountdownFailedText}};
    for (const auto &s : steps) {
        bool ok = false;
        try {
            ok = (this->*s.step)();
        } catch (...) {
            ok = false;
        }
        if (!ok)
            showPlain(QStringLiteral("Kvintor"), s.failure);
    }
    Changed();
}

bool RunControl::pointSetUp()
{
    SaveInBaseEnabled = Verification();
    const RecordTable *rows = m_dm.ADOTestBuf;
    if (!rows || !rows->active() || rows->recNo() < 0) {
        PointKind = KindOther;
        return false;
    }
    CurrentRow = PointRow::fromCurrent(*rows);
    PointStarted = true;
    PointNumberText = QString::number(CurrentRow.PNumPoint1);
    PointKind = PointKindOf(CurrentRow.PMode);
    // A reading left from the point before must not stand for this one: an
    // automatic verification would end the new point at its first report and
    // store the old error under the new point.
    for (int s = 1; s <= 5; ++s)
        for (int p = 1; p <= 6; ++p) {
            PositionField &f = StandResults[s].MeterEdit[p];
            f.SetText(QString());
            f.SetFontColor(Qt::black);
        }
    if (Verification())
        CountdownVisible = Automatic() || PointKind != KindError;
    Changed();
    if (PointKind == KindRegister) {
        if (Hooks.Prescription)
            Hooks.Prescription(false);
        if (fPokas)
            kv::ui().execDialog(fPokas);
    }
    return true;
}

bool RunControl::standSetUp()
{
    for (int s = 1; s <= 5; ++s) {
        StandResultsRecord &r = StandResults[s];
        for (int p = 1; p <= 6; ++p) {
            if (PointKind == KindSensitivity) {
                r.SensSeen[p] = 0;
                r.SensVerdict[p] = 0;
            } else if (PointKind == KindCreep) {
                r.CreepSeen[p] = 0;
                r.CreepVerdict[p] = 0;
            } else if (PointKind == KindRegister) {
                r.RegisterVerdict[p] = 0;
                r.PulseCount[p] = 0;
            }
        }
    }
    if (!setup())
        return false;
    const RunElectrics electrics{setup()->RunScheme, setup()->RunUnom, setup()->RunInom, setup()->RunEnergy};
    Quantities = ComputePointQuantities(CurrentRow, PointKind, electrics);
    PointMemo = PointDescription(Quantities, PointKind);
    Changed();
    Q_EMIT pointDescribed();

    const bool tr1 = transformerTr1();
    if (Param_p) {
        Param_p->Prepare(PointMemo, tr1);
        // The operator confirms that the source is set; there is no other way out.
        if (kv::ui().execDialog(Param_p) != QDialog::Accepted)
            return false;
    }
    // A row of no known kind has no test letter: the stands are not told anything.
    if (TestLetter(PointKind) == 0)
        return true;
    const double factor = TransformerFactor(tr1, Param_p && Param_p->RadioButton1->isChecked(),
                                            Param_p && Param_p->RadioButton4->isChecked());
    const QList<StandSetupFrame> frames =
        PointSetupFrames(PointKind, Quantities.count, m_types, setup()->StandInUse, factor);
    if (PointKind == KindRegister)
        for (const StandSetupFrame &f : frames) {
            StandResultsRecord &r = StandResults[f.stand];
            r.DivisionValue = f.division.DivisionValue;
            r.PulsesPerDivision = f.division.PulsesPerDivision;
            r.PulsesPerReport = f.division.PulsesPerReport;
        }
    sendFrames(frames, StandPauseMs, false);
    return true;
}

void RunControl::sendFrames(const QList<StandSetupFrame> &frames, int pauseMs, bool keepReplyWatchdog)
{
    m_link.CommandQueue.clear();
    QList<int> stands;
    for (const StandSetupFrame &f : frames) {
        stands << f.stand;
        m_link.SendFrame(f.frame);
        if (pauseMs > 0)
            m_link.SendPause(pauseMs);
    }
    // The stands are asked for results in turn once the last set-up is on the line.
    m_link.QueueCollection(stands, keepReplyWatchdog);
}

bool RunControl::countdown()
{
    if (!Verification())
        return true;
    std::optional<int> seconds;
    if (PointKind == KindError) {
        if (!Automatic())
            return true;
        CountdownHeading = HeadingAnswer;
        if (setup())
            seconds = ErrorPointSeconds(CurrentRow.PCountRotation, setup()->MaxConstant, setup()->RunScheme,
                                        Quantities.cosPhi, Quantities.U, Quantities.I);
    } else if (PointKind >= KindSensitivity && PointKind <= KindRegister) {
        MarksEnabled = false;
        CountdownHeading = HeadingAdditionalTest;
        seconds = SpecialTestSeconds(CurrentRow.PCountRotation, CurrentRow.PMeasureMax);
    } else {
        return true;
    }
    Changed();
    if (!seconds)
        return false;
    SecondsLeft = *seconds;
    CountdownText = kvintor::CountdownText(SecondsLeft);
    // Counted from the moment the last stand has its set-up: with five stands
    // the frames and their pauses take two seconds of the point's time.
    const quint64 serial = m_countdownSerial;
    m_link.SendThen([this, serial] {
        if (serial == m_countdownSerial)
            startCountdown();
    });
    return true;
}

void RunControl::startCountdown()
{
    m_ticks = 0;
    m_countdownRunning = true;
    m_countdownClock.start();
    TTime.start(1000);
}

void RunControl::stopCountdown()
{
    TTime.stop();
    m_countdownRunning = false;
    ++m_countdownSerial;
}

int RunControl::NextTickDelay(int ticks, qint64 elapsedMs)
{
    return int(std::max<qint64>(0, qint64(ticks + 1) * 1000 - elapsedMs));
}

void RunControl::onCountdownTimer()
{
    const quint64 serial = m_countdownSerial;
    ++m_ticks;
    TTimeTimer();
    if (serial == m_countdownSerial && m_countdownRunning)
        TTime.start(NextTickDelay(m_ticks, m_countdownClock.elapsed()));
}

void RunControl::TTimeTimer()
{
    if (SecondsLeft <= 0) {
        stopCountdown();
        MarksEnabled = true;
        Changed();
        if (Automatic()) {
            if (PointKind == KindRegister) {
                if (Hooks.Prescription)
                    Hooks.Prescription(true);
                AEndTest();
                ReadyVisible = true;
                Changed();
                return;
            }
            AutoAdvance();
        } else {
            if (PointKind == KindRegister) {
                if (Hooks.Prescription)
                    Hooks.Prescription(true);
                AEndTest();
                return;
            }
            if (PointKind == KindSensitivity || PointKind == KindCreep) {
                if (Hooks.FinishSpecialTest)
                    Hooks.FinishSpecialTest(PointKind);
                else
                    AEndTest();
                return;
            }
        }
    } else {
        --SecondsLeft;
    }
    CountdownText = kvintor::CountdownText(SecondsLeft);
    CountdownVisible = true;
    Changed();
}

// ---------------------------------------------------------------- manual work

void RunControl::StartManual()
{
    PointKind = KindError;
    m_link.CommandQueue.clear();
    try {
        if (!setup())
            throw StepFailed();
        const bool tr1 = transformerTr1();
        const double factor = TransformerFactor(tr1, setup()->RadioButton1, setup()->RadioButton4);
        std::array<QString, 6> revolutions;
        for (int s = 1; s <= 5; ++s)
            revolutions[s] = setup()->StandSetup[s].revolutions;
        sendFrames(ManualSetupFrames(m_types, setup()->StandInUse, revolutions, factor), 0, true);
    } catch (...) {
        showPlain(QStringLiteral("Kvintor"), StandSetupFailedText);
    }
    Changed();
}

// ---------------------------------------------------------------- reports

void RunControl::HandleStandReport(int stand, const QByteArray &frame)
{
    if (Hooks.StandReport)
        Hooks.StandReport(stand, frame);
}

}  // namespace kvintor
