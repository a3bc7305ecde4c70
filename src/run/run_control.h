#pragma once
// The logic of the run window TRegul: the per-mode set-ups, the point
// sequence with its actions, the start of each point (what it demands, the
// operator's confirmation, the stands' set-up, the collection of results) and
// the countdown. The window only draws the state and forwards the operator.
//
// The readings, verdicts, special tests and the archive save plug in through
// Hooks; the stand link hands the results frames and the start of a point in
// through StandReportSink.

#include "database/run_claim.h"
#include "link/stand_link.h"
#include "run/point_parameters.h"
#include "run/run_state.h"
#include "run/stand_setup_frames.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>

#include <array>
#include <functional>

namespace kvintor {

class TDM;
class TFNumber;
class TParam_p;
class TRegTable;
class TfPokas;
struct RunStart;

class RunControl : public RunState, public StandReportSink
{
    Q_OBJECT
public:
    // Message texts of the three guarded steps of a point's start.
    static const QString PointSetupFailedText;   // "Ошибка установки параметров измерения!"
    static const QString StandSetupFailedText;   // "Ошибка установки параметров стенда!"
    static const QString CountdownFailedText;    // "Ошибка вычисления времени ответа от стенда!"
    static const QString VerificationDoneText;   // "Поверка счетчиков завешена!"
    // The status line after an archive save of `meters` meters.
    static QString SavedText(int meters);
    static constexpr int StandPauseMs = 300;

    RunControl(StandLink &link, TDM &dm, QObject *parent = nullptr);
    ~RunControl() override;

    StandLink &Link() const { return m_link; }

    // The dialogs the run opens (not owned; any may be null in tests that do
    // not reach it).
    TRegTable *RegTable = nullptr;
    TFNumber *FNumber = nullptr;
    TfPokas *fPokas = nullptr;
    TParam_p *Param_p = nullptr;
    // The main window's current transformer: "И561" checked (else "671111.104").
    std::function<bool()> TransformerTr1;

    // What the readings, special tests, results viewer and archive save do.
    struct RunHooks {
        // Fixes the readings of the point being left into StandResults.
        std::function<void()> StorePointResults;
        // Writes the run into the archive; true when it was written.
        // Returns how many meters went into the archive, or -1 when nothing was saved.
        std::function<int()> SaveToArchive;
        // A results frame of a stand, whole.
        std::function<void(int stand, const QByteArray &frame)> StandReport;
        // "Результат поверки": the results viewer, modally.
        std::function<void()> ShowResults;
        // The prescription before (false) or after (true) a register test.
        std::function<void(bool end)> Prescription;
        // A sensitivity or creep test ran out in a verification by hand.
        std::function<void(int kind)> FinishSpecialTest;
        // The pop-up menu and keys on the position field with this tag.
        std::function<void(int tag)> ClearMeter;  // "Сброс счетчика", Esc
        std::function<void(int tag)> MarkNorma;   // "Норма"
        std::function<void(int tag)> MarkNot;     // "Нет"
        std::function<void(int tag)> SpaceBar;
        // A stand's "Сброс".
        std::function<void(int stand)> ResetStand;
    } Hooks;

    // ---- modes ----
    int RunMode() const { return m_link.RunMode; }
    // "Занести в протокол": 0 "Автоматически", 1 "Вручную".
    int RGAuto() const;
    bool Verification() const { return RunMode() == 2; }
    bool Automatic() const { return Verification() && RGAuto() == 0; }

    // The hand-off from the run setup: sets the window up for the mode,
    // shows it, and starts: manual work at once, the other modes with the
    // choice of the starting point.
    void Begin(const RunStart &run);

    // ---- actions ----
    void ANextPoint();
    void ASelectPoint();
    void AEndTest();
    void AReadySU();
    void AnewTest();
    void ASaveInRecord();
    void BTResult();
    void BTNumber();
    void ASaveInBase();
    // "Главное меню": true when the window closes.
    bool MainMenu();
    void AutoAdvance();

    // The pop-up menu offers "Сброс счетчика" (error points) or "Норма" and
    // "Нет" (the three special tests).
    bool ClearMeterOffered() const { return PointKind == KindError; }
    bool MarksOffered() const { return PointKind >= KindSensitivity && PointKind <= KindRegister; }
    int FocusedTag = 0;  // the position field the menu and keys work on
    void AClearCH();
    void Anorma();
    void Anot();
    void SpaceBar();
    void ResetStand(int stand);

    // ---- points ----
    // The start of the current row of the running test.
    void StartPoint();
    // Manual work: every stand in use set up once, then the collection.
    void StartManual();
    // The current row's quantities, kept for the countdown and the description.
    PointRow CurrentRow;
    PointQuantities Quantities;

    // The countdown: a tick every second, started once the point's set-up
    // frames and their pauses are on the line, so the last stand gets the
    // point's whole time. Each tick is timed from the start on a monotonic
    // clock, so late ticks do not add up and early ones do not shorten it.
    QTimer TTime;
    // One tick (tests call it instead of waiting).
    void TTimeTimer();
    // Delay until the next tick when `ticks` ticks are done `elapsedMs` after the start.
    static int NextTickDelay(int ticks, qint64 elapsedMs);
    bool CountdownRunning() const { return m_countdownRunning; }

    // The types and test of an unsaved verification, kept from deletion by
    // the database program until the run is saved or left.
    const kv::RunClaim &Claim() const { return m_claim; }

    // StandReportSink
    void HandleStandReport(int stand, const QByteArray &frame) override;
    void StartCurrentPoint() override { StartPoint(); }

Q_SIGNALS:
    // Asks the window to show the point memo lines.
    void pointDescribed();

private:
    void startCountdown();
    void stopCountdown();
    void onCountdownTimer();
    void claimRun();
    bool pointSetUp();
    bool standSetUp();
    bool countdown();
    void sendFrames(const QList<StandSetupFrame> &frames, int pauseMs, bool keepReplyWatchdog);
    void storePointResults();
    bool lastRow() const;
    bool transformerTr1() const;
    void showPlain(const QString &caption, const QString &text);

    StandLink &m_link;
    TDM &m_dm;
    RunSetup *setup() const { return Setup(); }
    std::array<StandTypeValues, 6> m_types{};
    bool m_selectPointVisible = true;
    QElapsedTimer m_countdownClock;
    int m_ticks = 0;
    bool m_countdownRunning = false;
    // Changes whenever a countdown stops: a start still waiting for the line
    // belongs to a point that has been left.
    quint64 m_countdownSerial = 0;
    kv::RunClaim m_claim;
};

}  // namespace kvintor
