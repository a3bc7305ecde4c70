#pragma once
// What the operator chooses before a run: the occupied positions and the meter
// type of each stand, the test, the revolutions or the protocol mode; the rules
// that keep those choices consistent, and the values the run reads from them.
// The window TProgramm shows this state and forwards the operator's actions.

#include <QObject>
#include <QString>

#include <array>

namespace kvintor {

class TDM;

inline const QString kAutomatic = QStringLiteral("Автоматически");

// RunMode of the control program.
enum RunModeCode { ModePoll = 0, ModeRegulation = 1, ModeVerification = 2, ModeManual = 3 };

struct StandSetupRecord {
    std::array<bool, 7> positions{};  // [1..6]: a meter sits there
    bool all = false;                 // "Все"
    QString typeText;                 // the type lookup's text; empty: no type
    QString designation;              // "Обозначение"
    qlonglong typeIndex = 0;          // PIndex of the accepted type, 0 without
    QString revolutions = kAutomatic; // "Количество оборотов"
    // Of the accepted type; all 0 while the stand has none.
    double Unom = 0;
    double Inom = 0;
    int Scheme = 0;
    double constant = 0;  // pulses per kWh
    int energy = 0;
};

// A meter constant in pulses (revolutions) per kWh from its value and unit code:
// 2 kWh per pulse, 3 watt-seconds per pulse, any other code is pulses per kWh.
// A constant that is not positive gives 0.
double pulsesPerKWh(double constant, int unitCode);

class RunSetup : public QObject
{
    Q_OBJECT
public:
    explicit RunSetup(TDM &dm, QObject *parent = nullptr);

    TDM &dm() const { return m_dm; }

    // Inputs from the main window: the stands that answered the last poll
    // ([1..5]) and the kind of run.
    void setStandPresent(const std::array<bool, 6> &present) { StandPresent = present; }
    int RunMode = ModePoll;

    void PrepareRegulation();
    void PrepareVerification();
    // `transformerTr1`: the main window's "И561" is checked (else "671111.104").
    void PrepareManual(bool transformerTr1);
    void FormShow();
    void FormClose();

    void positionReleased(int box, bool ticked);  // box 1..30: C1MouseUp
    void allReleased(int stand, bool ticked);     // CheckBox7MouseUp
    // Close-up of stand s's type lookup on `row` of its type dataset; -1: closed empty.
    void typeChosen(int stand, int row);
    // Close-up of the test lookup on `row` of ADOTest1; -1: closed empty.
    void testChosen(int row);
    // A key typed into stand s's revolution edit; the edit's text is revolutions.
    void revolutionKey(int stand, QChar key);
    void revolutionExit(int stand);
    // "Начать": true when the window may close with OK; else a message was shown.
    bool Start();
    // "Очистить".
    void Clear();
    void UpdateStandsInUse();

    bool hasType(int stand) const { return !StandSetup[stand].typeText.isEmpty(); }
    int boxOf(int stand, int position) const { return (stand - 1) * 6 + position; }

    std::array<StandSetupRecord, 6> StandSetup;  // [1..5]
    std::array<bool, 6> StandPresent{};
    std::array<bool, 6> StandInUse{};

    // What the window shows.
    QString caption = QStringLiteral("Регулировка - автоматическая");
    bool testVisible = true;         // "Тест" and its lookup
    bool revolutionsVisible = false; // the five "Количество оборотов"
    bool autoVisible = true;         // RGAuto
    bool handleVisible = false;      // PHandle
    bool handleReferenceMeter = true;  // PHandle shows "Предел по току" 1A/5A, else "Вторичная обмотка" 1A/2,5A
    bool startEnabled = false;
    QString testText;
    qlonglong testIndex = 0;
    int RGAuto = 1;  // "Занести в протокол": 0 "Автоматически", 1 "Вручную"
    bool RadioButton1 = false, RadioButton2 = true;  // "1A" / "5A" of the reference meter
    bool RadioButton3 = true, RadioButton4 = false;  // "1A" / "2,5A" of the transformer

    // Published for the run.
    int RunScheme = 0;
    double RunUnom = 0;
    double RunInom = 0;
    int RunEnergy = 0;
    double MaxConstant = 0;
    // Entries the run's per-point result lists need: the test's points + 4.
    int RunPointCapacity = 0;

Q_SIGNALS:
    void changed();

private:
    void prepareRun(const QString &title);
    void updateInUse();
    void clearType(int stand);
    void recomputeMaxConstant();
    bool mismatch(int stand);

    TDM &m_dm;
};

}  // namespace kvintor
