#pragma once
// What a run does with the meters' readings: the stands' results frames turned
// into the position fields and the special tests' observations, the colouring
// of error readings against the point's limit, the stand and meter resets,
// the operator's marks, the early end of a point once every meter reported,
// fixing a point's readings into the run's results when it is left, and the
// archive save with a verdict per meter. Widget-free: RunControl's hooks and
// the stand link call in; tests drive it directly.

#include <QByteArray>
#include <QString>

#include <functional>

namespace kvintor {

class RunControl;
class TDM;
class TFCurrent;
struct StandResultsRecord;

class RunReadings
{
public:
    static const QString StoreFailedText;  // "Ошибка сохранения данных!"

    // Installs itself into the run's hooks and follows its fields' texts.
    // `current` is the prescription dialog (may be null: nothing is shown).
    RunReadings(RunControl &run, TDM &dm, TFCurrent *current = nullptr);

    // A results frame of `stand`, from its "/" to its 0x03.
    void HandleStandReport(int stand, const QByteArray &frame);

    // Red when the reading at (stand, position) is beyond the point's limit.
    void ColourField(int stand, int position);

    void ResetStand(int stand);
    void ClearMeter(int tag);

    // After a results frame of a verification: the point ends early in
    // automatic mode once every occupied meter answered.
    void AChangePov();
    void AChangeSens();
    void AChangeSam();

    // The operator's marks on a field during the special tests.
    void MarkNorma(int tag);
    void MarkNot(int tag);
    void SpaceBar(int tag);
    // A sensitivity or creep test ran out in a verification by hand.
    void FinishSpecialTest(int kind);
    void Prescription(bool end);

    void StorePointResults();
    // The whole run into TMeasure, TPositionCH and TResult, or nothing at all.
    // A refusal is told in Russian with its cause; the run stays as it was,
    // for protocols and for another try.
    // Returns the number of meters written, or -1.
    int SaveToArchive();
    // What the operator reads when the archive refused the run: a Russian
    // sentence naming the cause, then the engine's own text.
    static QString SaveFailedText(const QString &engineText);

private:
    bool everyOccupied(const QString &text, bool anyText) const;
    void Mark(int tag, bool norma);
    // Every occupied position of the stands in use, stand by stand.
    void forEachOccupied(const std::function<void(StandResultsRecord &, int position)> &visit);

    RunControl &m_run;
    TDM &m_dm;
    TFCurrent *m_current;
};

}  // namespace kvintor
