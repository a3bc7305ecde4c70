#pragma once
// What the run window shows and keeps, without its widgets: one display field
// per meter position, every meter's observations and results for the whole
// run, the kind of the current point, the countdown and which buttons the
// operator has. TRegul draws this state; the run's logic and the stand
// reports change it.

#include <QColor>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>
#include <functional>

namespace kvintor {

class RunSetup;

// The read-only field of the meter at (stand, position): its text, its font
// colour, and whether it takes part (white and enabled) or not (menu colour,
// disabled). Every change is announced to the run state.
class PositionField
{
public:
    int Tag = 0;  // 10 × stand + position

    const QString &Text() const { return m_text; }
    void SetText(const QString &text);
    QColor FontColor() const { return m_color; }
    void SetFontColor(const QColor &color);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);

private:
    friend class RunState;
    QString m_text;
    QColor m_color = Qt::black;
    bool m_enabled = false;
    std::function<void(bool textChanged)> m_changed;
};

struct ResetButtonState {
    bool Visible = false;
};

// Everything the run keeps per stand; positions are indexed 1..6, the
// per-point lists by the point's results index PNumPoint (from 1).
struct StandResultsRecord {
    std::array<PositionField, 7> MeterEdit;
    ResetButtonState ResetButton;
    std::array<QString, 7> MeterNumber;
    // Sensitivity: 0 none, 1 marked as no pulse, 3 pulse seen; verdict 0 not tested, 1 passed, 2 failed.
    std::array<quint8, 7> SensSeen{};
    std::array<quint8, 7> SensVerdict{};
    // Creep: 0 none, 1 marked as no creep, 3 creep seen; verdict 0 not tested, 1 crept, 2 did not.
    std::array<quint8, 7> CreepSeen{};
    std::array<quint8, 7> CreepVerdict{};
    // Register: 0 not tested, 1 "Норма", 2 "Нет".
    std::array<quint8, 7> RegisterVerdict{};
    int PulsesPerDivision = 0;
    std::array<int, 7> PulseCount{};
    int PulsesPerReport = 0;
    double DivisionValue = 0;
    QVector<long double> Limits;
    std::array<QVector<long double>, 7> Errors;
    std::array<QVector<bool>, 7> Measured;
    std::array<QVector<int>, 7> PointNumbers;
};

class RunState : public QObject
{
    Q_OBJECT
public:
    // Countdown headings.
    enum Heading { HeadingAnswer, HeadingAdditionalTest };

    explicit RunState(QObject *parent = nullptr);

    // The run setup the run reads: occupied positions, stands in use, the
    // choices and published values. Not owned; set when a run starts.
    void SetSetup(RunSetup *setup) { m_setup = setup; }
    RunSetup *Setup() const { return m_setup; }
    // The run setup marked (s, p) as holding a meter.
    bool Occupied(int stand, int position) const;
    bool StandInUse(int stand) const;

    // ---- run state ----
    int PointKind = 4;
    // A point of this run has started. Until then the run has nothing to fix
    // into its results: the row the previous run ended on is no part of it.
    bool PointStarted = false;
    int SecondsLeft = 0;
    std::array<StandResultsRecord, 6> StandResults;  // [1..5]

    // Sizes every per-point list to `capacity` entries (indexes 0..capacity-1;
    // 0 unused), all zero.
    void SizeResults(int capacity);
    // An index PNumPoint may take in the per-point lists.
    bool ValidPointIndex(int index) const;
    // Empties every observation, verdict and result of the run; no point of
    // it has started.
    void ClearResults();

    // The mode set-ups: caption, what is shown, PointKind 4, fields prepared.
    // `rgAuto`: the run setup's "Занести в протокол" (0 "Автоматически", 1 "Вручную").
    void SetUpManual();
    void SetUpRegulation();
    void SetUpVerification(int rgAuto);
    // Occupied fields white and enabled, others disabled; all emptied, black.
    void PrepareFields();

    // ---- what the window shows ----
    QString Caption;
    bool PointVisible = false;  // the point memo, "Точка номер" and its number
    QString PointNumberText;
    QStringList PointMemo;
    bool CountdownVisible = false;
    Heading CountdownHeading = HeadingAnswer;
    QString CountdownText = QStringLiteral("0 мин  00 сек");
    bool NextVisible = false;  // "Следующая точка"
    bool NextEnabled = false;
    bool SelectVisible = false;  // "Выбор точки"
    bool ResultVisible = false;  // "Результат поверки"
    bool NumbersVisible = false; // "Номера счетчиков "
    bool ReadyVisible = false;   // "Готово"
    bool NewTestVisible = false; // "Повторить поверку"
    bool SaveInBaseEnabled = false;  // ASaveInBase
    bool MarksEnabled = true;        // "Норма" and "Нет"
    // What the last action of the run came to, for the status lines: empty
    // until something worth saying happened.
    QString StatusText;
    bool WindowVisible = false;

    // Tells the window to show the state again.
    void Changed() { Q_EMIT changed(); }

Q_SIGNALS:
    void changed();
    // A position field changed; textChanged when its text did.
    void fieldChanged(int stand, int position);
    void fieldTextChanged(int stand, int position);

private:
    void setUpCommon(const QString &caption);

    RunSetup *m_setup = nullptr;
};

}  // namespace kvintor
