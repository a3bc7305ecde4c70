// Bytes from the line during a run: through the frame receiver, the link's
// reply handling and the run's readings (RunReadings over a verification in
// progress on a real database), then the point's readings fixed and, now and
// then, the run saved to the archive. Every box goes to a recorder, so
// nothing waits for an operator.
//
// The first two bytes choose the run's state: mode, point kind, automatic or
// by hand, whether a next point exists, the pulse counting of a register
// test, a save; the rest is the line.

#include "control/start_up.h"
#include "core/ui.h"
#include "database/connection.h"
#include "demo_data.h"
#include "link/stand_link.h"
#include "run/run_windows.h"
#include "setup/data_module.h"
#include "setup/reg_table_window.h"
#include "setup/run_setup.h"
#include "setup/test_table.h"

#include <QApplication>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cmath>
#include <cstdint>
#include <memory>

using namespace kvintor;

namespace {

QApplication *app = nullptr;
kv::RecordingUi *boxes = nullptr;
TDM *dm = nullptr;
StandLink *link = nullptr;
RunSetup *setup = nullptr;
RunWindows *windows = nullptr;
int capacity = 0;
int tableRows = 0;
int saves = 0;

// Stand 1 full, stand 2 half, stand 3 one meter, stands 4 and 5 empty: a
// report may name any position, only occupied ones may take it.
bool occupiedInSetup(int s, int p) { return s == 1 || (s == 2 && p <= 3) || (s == 3 && p == 6); }

// What the run queued goes out at once, the waits between bytes skipped.
void flush()
{
    for (int i = 0; i < 100000 && link->Transmitter.Busy(); ++i)
        link->Transmitter.OnStepTimer();
}

void fail(const char *what)
{
    fprintf(stderr, "fuzz_stand_reports: %s\n", what);
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QTemporaryDir folder;
    qputenv("XDG_CONFIG_HOME", folder.path().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app = new QApplication(*argc, *argv);
    UseDecimalPoint();
    auto recorder = std::make_unique<kv::RecordingUi>();
    boxes = recorder.get();
    kv::setUi(std::move(recorder));

    const QString path = folder.filePath(QStringLiteral("KvintorDB.sqlite"));
    if (!kv::createDatabaseFile(path).isEmpty() || !kv::openDatabase(path, QStringLiteral("made")).isEmpty())
        fail("no database");
    {
        QSqlDatabase made = QSqlDatabase::database(QStringLiteral("made"));
        if (!kv::demo::addReferenceData(made).isEmpty())
            fail("no reference data");
        made.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("made"));

    dm = new TDM;
    if (!dm->DataModuleCreate(path).isEmpty() || !dm->openConnection().isEmpty())
        fail("no data module");
    link = new StandLink;
    auto *regTable = new TRegTable(*dm);
    setup = new RunSetup(*dm);
    windows = new RunWindows(*link, *dm, regTable, [] { return true; });

    std::array<bool, 6> present{};
    for (int s = 1; s <= 3; ++s)
        present[size_t(s)] = true;
    setup->RunMode = ModeVerification;
    setup->setStandPresent(present);
    setup->PrepareVerification();
    for (int s = 1; s <= 3; ++s) {
        for (int p = 1; p <= 6; ++p)
            if (occupiedInSetup(s, p))
                setup->positionReleased(setup->boxOf(s, p), true);
        Dataset *types = dm->ADOTipStend(s);
        if (!types->locate(QStringLiteral("PTip"), QStringLiteral("ЭС-1.05")))
            fail("no type");
        setup->typeChosen(s, types->recNo());
    }
    if (!dm->ADOTest1->locate(QStringLiteral("PNameTable"), QStringLiteral("П1Ф кл.1")))
        fail("no test");
    setup->testChosen(dm->ADOTest1->recNo());
    setup->RGAuto = 0;
    const TestTableFill table = FillVerificationTable(*dm, setup->RGAuto);
    if (!table.ok)
        fail("no test table");
    tableRows = dm->ADOTestBuf->count();
    capacity = setup->RunPointCapacity;
    RunControl &run = windows->Control;
    run.SetSetup(setup);
    for (int s = 1; s <= 5; ++s)
        for (int p = 1; p <= 6; ++p)
            if (run.Occupied(s, p) != occupiedInSetup(s, p))
                fail("setup");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t a = data[0], b = data[1];
    const QByteArray line(reinterpret_cast<const char *>(data) + 2, int(size - 2));
    RunControl &run = windows->Control;
    RunReadings &readings = windows->Readings;

    // The run's state for this input.
    boxes->clear();
    link->ResetQueue();
    flush();
    link->Receiver.WaitingForStart = false;
    link->Receiver.FrameText.clear();
    link->AwaitAck = a & 0x40;
    static const int modes[] = {ModeVerification, ModeVerification, ModeRegulation, ModeManual};
    link->RunMode = modes[a & 3];
    setup->RGAuto = (a >> 2) & 1;
    run.SizeResults(capacity);
    run.ClearResults();
    run.PrepareFields();
    run.WindowVisible = true;
    run.PointKind = (a >> 3) % 5;
    run.CurrentRow = PointRow();
    run.CurrentRow.PMeasureMax = (b & 7) * 0.5;
    run.CurrentRow.PMode = run.PointKind == KindError         ? QStringLiteral("п")
                           : run.PointKind == KindSensitivity ? QStringLiteral("ч")
                           : run.PointKind == KindCreep       ? QStringLiteral("с")
                                                              : QStringLiteral("с/у");
    run.CurrentRow.PNumPoint = run.PointKind == KindError ? 1 + (b >> 3) % (capacity + 1) : 0;
    run.CurrentRow.PNumPointBuf = 10 * run.CurrentRow.PNumPoint;
    run.NextEnabled = a & 0x80;
    if (tableRows > 0)
        dm->ADOTestBuf->setCurrent(int(b) % tableRows);
    for (int s = 1; s <= 5; ++s) {
        StandResultsRecord &r = run.StandResults[size_t(s)];
        r.PulsesPerReport = b & 3;
        r.PulsesPerDivision = (b >> 2) & 7;
        r.DivisionValue = 0.1;
        for (int p = 1; p <= 6; ++p)
            r.MeterNumber[size_t(p)] = QStringLiteral("N%1").arg(s * 10 + p);
    }

    for (char byte : line)
        link->Receiver.Feed(byte);
    // A whole frame as the line's last bytes may have left it unfinished.
    link->HandleFrame(line);

    // Only occupied positions take readings.
    for (int s = 1; s <= 5; ++s)
        for (int p = 1; p <= 6; ++p)
            if (!occupiedInSetup(s, p) && !run.StandResults[size_t(s)].MeterEdit[size_t(p)].Text().isEmpty())
                fail("a reading at an empty position");

    readings.StorePointResults();
    for (int s = 1; s <= 5; ++s)
        for (int p = 1; p <= 6; ++p)
            for (long double e : run.StandResults[size_t(s)].Errors[size_t(p)])
                if (!std::isfinite(double(e)))
                    fail("an error reading that is no number");

    // Now and then the archive save, whatever the readings.
    if ((b & 0xF0) == 0xF0 && link->RunMode == ModeVerification) {
        if (!readings.SaveToArchive() && boxes->boxes().isEmpty())
            fail("a save failed without a word");
        // Keep the archive small: every few hundred saves it starts again.
        if (++saves % 200 == 0) {
            QSqlQuery q(dm->database());
            q.exec(QStringLiteral("DELETE FROM TMeasure"));
            dm->ADOMeasure->refresh();
        }
    }
    flush();
    link->ResetQueue();
    run.TTime.stop();
    return 0;
}
