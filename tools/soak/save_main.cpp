// The control program's side of the soak: one verification run of three
// stands of six meters, saved into the archive again and again through the
// run's own save (RunReadings::SaveToArchive, one transaction per save), each
// save under its own meter numbers; --keys-log FILE receives the record keys
// each save made. With --check it instead reads the whole archive, runs the
// engine's integrity check and tells whether every soak record is whole;
// given the saver's keys log and the browser's log, also that every record
// gone was deleted by the browser after it was shown, so a save never shown
// is still whole in the file.
//
//   kvintor-soak-save --database PATH --saves N [--pause-ms MS] [--keys-log F] [--stands 1..5]
//   kvintor-soak-save --database PATH --check [--expect-saves S --deleted D]
//                     [--keys-log F --browse-log G]
//                     [--expect-edit TABLE.FIELD=TEXT ...]

#include "soak_shape.h"
#include "database/engine_sql.h"

#include "control/start_up.h"
#include "core/ui.h"
#include "database/connection.h"
#include "database/database_check.h"
#include "link/stand_link.h"
#include "run/run_windows.h"
#include "setup/data_module.h"
#include "setup/reg_table_window.h"
#include "setup/run_setup.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace kvintor;

namespace {

QTextStream out(stdout);

// Stands in a saved run: the soak's three, or up to five for a benchmark of
// whole 30-meter runs (the check knows the soak's shape only).
int g_stands = soak::kStands;

void printBoxes(kv::RecordingUi &ui, const char *where)
{
    for (const auto &b : ui.boxes())
        out << "box " << where << ": " << b.caption << " | " << b.text << Qt::endl;
}

int findType(TDM &dm, int stand, const QString &tip, const QString &ident)
{
    Dataset *types = dm.ADOTipStend(stand);
    for (int r = 0; r < types->count(); ++r)
        if (types->valueAt(r, QStringLiteral("PTip")).toString() == tip &&
            types->valueAt(r, QStringLiteral("PIdentificator")).toString() == ident)
            return r;
    return -1;
}

int findTest(TDM &dm, const QString &name)
{
    for (int r = 0; r < dm.ADOTest1->count(); ++r)
        if (dm.ADOTest1->valueAt(r, QStringLiteral("PNameTable")).toString() == name)
            return r;
    return -1;
}

// The last record key handed out: keys are never reused, so the records of
// one save are those between this before and after it (only the saver adds).
qint64 lastRecordKey(QSqlDatabase db)
{
    QSqlQuery q(db);
    q.exec(kv::engineSql(q.driver(), QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = 'TMeasure'")));
    return q.next() ? q.value(0).toLongLong() : 0;
}

// `stopAfter` saves made, the file `stopFile` is created (the browser stops
// there, so the saves after it are never shown to it).
int save(const QString &path, int saves, int pauseMs, const QString &keysLog, int stopAfter, const QString &stopFile,
         kv::RecordingUi &ui)
{
    TDM dm;
    if (const QString e = dm.DataModuleCreate(path); !e.isEmpty()) {
        out << "cannot open: " << e << Qt::endl;
        return 2;
    }
    if (const QString e = dm.openConnection(); !e.isEmpty()) {
        out << "cannot open: " << e << Qt::endl;
        return 2;
    }
    StandLink link;
    TRegTable regTable(dm);
    RunSetup setup(dm);
    RunWindows windows(link, dm, &regTable, [] { return true; });
    RunControl &run = windows.Control;

    // The run as the operator sets it up: three stands, every position, one
    // type on stands 1 and 2 and another on stand 3, a verification test.
    std::array<bool, 6> present{};
    for (int s = 1; s <= g_stands; ++s)
        present[size_t(s)] = true;
    setup.RunMode = ModeVerification;
    setup.setStandPresent(present);
    setup.PrepareVerification();
    setup.RGAuto = 1;
    for (int s = 1; s <= g_stands; ++s) {
        for (int p = 1; p <= soak::kPositions; ++p)
            setup.positionReleased(setup.boxOf(s, p), true);
        const int row = findType(dm, s, QStringLiteral("ЭС-1.05"), s == 3 ? QStringLiteral("3200") : QStringLiteral("1600"));
        if (row < 0) {
            out << "the database lacks the demo meter types (kvintor-db create --demo)" << Qt::endl;
            return 2;
        }
        setup.typeChosen(s, row);
    }
    const int test = findTest(dm, QStringLiteral("П1Ф кл.1"));
    if (test < 0) {
        out << "the database lacks the demo tests (kvintor-db create --demo)" << Qt::endl;
        return 2;
    }
    setup.testChosen(test);
    run.SetSetup(&setup);
    for (int s = 1; s <= g_stands; ++s)
        for (int p = 1; p <= soak::kPositions; ++p)
            if (!run.Occupied(s, p) || setup.StandSetup[size_t(s)].typeIndex == 0) {
                out << "stand " << s << " position " << p << " is not in the run" << Qt::endl;
                return 2;
            }
    link.RunMode = ModeVerification;
    run.SizeResults(std::max(setup.RunPointCapacity, soak::kPoints + 1));
    run.PrepareFields();
    printBoxes(ui, "setup");
    if (!ui.boxes().isEmpty())
        return 2;

    // Numbers go on after the soak saves the file already holds.
    int first = 1;
    {
        QSqlQuery q(dm.database());
        q.setForwardOnly(true);
        q.exec(kv::engineSql(q.driver(), QStringLiteral("SELECT PNumber FROM TPositionCH WHERE PNumber LIKE 'SOAK%'")));
        int save = 0, tag = 0;
        while (q.next())
            if (soak::parseMeterNumber(q.value(0).toString(), &save, &tag))
                first = std::max(first, save + 1);
    }

    QFile log(keysLog);
    if (!keysLog.isEmpty() && !log.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        out << "cannot write " << keysLog << Qt::endl;
        return 2;
    }
    QTextStream logged(&log);
    int done = 0, failed = 0, boxes = 0;
    QVector<double> ms;
    QElapsedTimer wall;
    wall.start();
    for (int k = first; k < first + saves; ++k) {
        for (int s = 1; s <= g_stands; ++s)
            for (int p = 1; p <= soak::kPositions; ++p)
                run.StandResults[size_t(s)].MeterNumber[size_t(p)] = soak::meterNumber(k, s, p);
        for (int i = 1; i <= soak::kPoints; ++i) {
            run.PointKind = KindError;
            run.CurrentRow = PointRow();
            run.CurrentRow.PMeasureMax = soak::kLimit;
            run.CurrentRow.PMode = QStringLiteral("п");
            run.CurrentRow.PNumPoint = i;
            run.CurrentRow.PNumPointBuf = i * 10;
            run.PointStarted = true;  // as the start of a point of this run sets it
            for (int s = 1; s <= g_stands; ++s)
                for (int p = 1; p <= soak::kPositions; ++p)
                    run.StandResults[size_t(s)].MeterEdit[size_t(p)].SetText(soak::errorText(k, s * 10 + p, i));
            windows.Readings.StorePointResults();
        }
        const qint64 before = keysLog.isEmpty() ? 0 : lastRecordKey(dm.database());
        QElapsedTimer t;
        t.start();
        const bool ok = windows.Readings.SaveToArchive();
        ms << t.nsecsElapsed() / 1e6;
        if (ok && !keysLog.isEmpty()) {
            logged << k;
            for (qint64 key = before + 1, last = lastRecordKey(dm.database()); key <= last; ++key)
                logged << ' ' << key;
            logged << '\n';
            logged.flush();
        }
        if (ok)
            ++done;
        else
            ++failed;
        if (!ui.boxes().isEmpty()) {
            boxes += int(ui.boxes().size());
            printBoxes(ui, "save");
            ui.clear();
        }
        if (pauseMs > 0)
            QThread::msleep(ulong(pauseMs));
        if ((k - first + 1) % 100 == 0)
            out << "saved " << k - first + 1 << Qt::endl;
        if (!stopFile.isEmpty() && k - first + 1 == stopAfter)
            QFile(stopFile).open(QIODevice::WriteOnly);
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms.isEmpty() ? 0 : ms.at(ms.size() / 2);
    const double worst = ms.isEmpty() ? 0 : ms.last();
    out << "save: saves=" << done << " failed=" << failed << " boxes=" << boxes
        << " seconds=" << QString::number(wall.elapsed() / 1000.0, 'f', 1)
        << " median_ms=" << QString::number(median, 'f', 1) << " max_ms=" << QString::number(worst, 'f', 1)
        << Qt::endl;
    return failed == 0 && boxes == 0 ? 0 : 1;
}

// ---------------------------------------------------------------- check

struct Meter {
    qint64 record = 0;
    int save = 0, tag = 0, position = 0, total = 0;
    int results = 0;
};

// The browser's log: the record keys it was shown and those it deleted.
struct BrowseLog {
    QSet<qint64> shown, deleted;
};

int check(const QString &path, int expectSaves, int deleted, const QString &keysLog, const QString &browseLog,
          const QStringList &edits)
{
    const QString c = QStringLiteral("soak-check");
    if (const QString e = kv::openDatabase(path, c); !e.isEmpty()) {
        out << "cannot open: " << e << Qt::endl;
        return 2;
    }
    QSqlDatabase db = QSqlDatabase::database(c);
    QStringList problems;
    auto count = [&](const QString &sql) {
        QSqlQuery q(db);
        if (!q.exec(sql) || !q.next()) {
            problems << QStringLiteral("query failed: ") + q.lastError().text();
            return -1LL;
        }
        return q.value(0).toLongLong();
    };
    const qint64 orphanMeters = count(QStringLiteral(
        "SELECT count(*) FROM TPositionCH WHERE PSecIndex NOT IN (SELECT PIndex FROM TMeasure)"));
    const qint64 orphanResults = count(QStringLiteral(
        "SELECT count(*) FROM TResult WHERE PSecIndex NOT IN (SELECT PIndex FROM TPositionCH)"));
    const qint64 emptyRecords = count(QStringLiteral(
        "SELECT count(*) FROM TMeasure m WHERE NOT EXISTS (SELECT 1 FROM TPositionCH c WHERE c.PSecIndex = m.PIndex)"));
    if (orphanMeters)
        problems << QStringLiteral("%1 meters without their record").arg(orphanMeters);
    if (orphanResults)
        problems << QStringLiteral("%1 errors without their meter").arg(orphanResults);
    if (emptyRecords)
        problems << QStringLiteral("%1 records without meters").arg(emptyRecords);
    // The engine's full check: pages, b-trees and every index against its table.
    const kv::DatabaseReport integrity = kv::inspectDatabase(db, kv::CheckDepth::Full);
    for (const QString &d : integrity.damage)
        problems << QStringLiteral("integrity_check: ") + d;

    QHash<qint64, Meter> meters;
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.exec(kv::engineSql(q.driver(), QStringLiteral("SELECT PIndex, PSecIndex, PNumber, PPosition, PTotal FROM TPositionCH "
                              "WHERE PNumber LIKE 'SOAK%'")));
        while (q.next()) {
            Meter m;
            m.record = q.value(1).toLongLong();
            if (!soak::parseMeterNumber(q.value(2).toString(), &m.save, &m.tag)) {
                problems << QStringLiteral("meter number %1 unknown").arg(q.value(2).toString());
                continue;
            }
            m.position = q.value(3).toInt();
            m.total = q.value(4).toInt();
            if (m.position != m.tag)
                problems << QStringLiteral("meter %1 at position %2").arg(q.value(2).toString(), QString::number(m.position));
            if (m.total != soak::totalOf(m.save, m.tag))
                problems << QStringLiteral("meter %1 verdict %2").arg(q.value(2).toString(), QString::number(m.total));
            meters.insert(q.value(0).toLongLong(), m);
        }
    }
    qint64 errors = 0;
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.exec(kv::engineSql(q.driver(), QStringLiteral("SELECT r.PSecIndex, r.PPointNumber, r.PMeasure, r.PMeasureMax FROM TResult r "
                              "JOIN TPositionCH c ON r.PSecIndex = c.PIndex WHERE c.PNumber LIKE 'SOAK%'")));
        while (q.next()) {
            ++errors;
            auto it = meters.find(q.value(0).toLongLong());
            if (it == meters.end())
                continue;
            Meter &m = it.value();
            ++m.results;
            const int point = q.value(1).toInt() / 10;
            if (q.value(1).toInt() % 10 != 0 || point < 1 || point > soak::kPoints ||
                std::fabs(q.value(2).toDouble() - soak::errorAt(m.save, m.tag, point)) > 1e-9 ||
                std::fabs(q.value(3).toDouble() - soak::kLimit) > 1e-9)
                problems << QStringLiteral("meter %1 of save %2: error row %3 = %4")
                                .arg(QString::number(m.tag), QString::number(m.save),
                                     QString::number(q.value(1).toInt()), QString::number(q.value(2).toDouble()));
        }
    }
    // Per record: one save, one group of stands, every meter of that group, each whole.
    struct Record {
        int save = -1, group = -1, meters = 0;
        QSet<int> tags;
    };
    QHash<qint64, Record> records;
    for (auto it = meters.cbegin(); it != meters.cend(); ++it) {
        const Meter &m = it.value();
        Record &r = records[m.record];
        const int group = soak::recordOfStand(m.tag / 10);
        if (r.save < 0) {
            r.save = m.save;
            r.group = group;
        } else if (r.save != m.save || r.group != group) {
            problems << QStringLiteral("record %1 mixes saves or stands").arg(m.record);
        }
        ++r.meters;
        if (r.tags.contains(m.tag))
            problems << QStringLiteral("record %1 holds meter %2 twice").arg(QString::number(m.record), QString::number(m.tag));
        r.tags.insert(m.tag);
        if (m.results != soak::kPoints)
            problems << QStringLiteral("meter %1 of save %2 has %3 errors")
                            .arg(QString::number(m.tag), QString::number(m.save), QString::number(m.results));
    }
    QHash<QPair<int, int>, int> perSaveGroup;
    QSet<int> saves;
    for (auto it = records.cbegin(); it != records.cend(); ++it) {
        const Record &r = it.value();
        if (r.meters != soak::metersOfRecord(r.group))
            problems << QStringLiteral("record %1 of save %2 has %3 meters")
                            .arg(QString::number(it.key()), QString::number(r.save), QString::number(r.meters));
        if (++perSaveGroup[{r.save, r.group}] > 1)
            problems << QStringLiteral("save %1 wrote group %2 twice").arg(QString::number(r.save), QString::number(r.group));
        saves.insert(r.save);
    }
    const bool logs = !keysLog.isEmpty() && !browseLog.isEmpty();
    qint64 unseenSaves = 0, unseenRecords = 0, deletedRecords = 0;
    if (logs) {
        // Every record a save made is in the file, or the browser deleted it
        // after it was shown: a save the browser never saw is whole.
        BrowseLog b;
        QFile bf(browseLog);
        if (!bf.open(QIODevice::ReadOnly))
            problems << QStringLiteral("cannot read ") + browseLog;
        while (!bf.atEnd()) {
            const QList<QByteArray> w = bf.readLine().trimmed().split(' ');
            if (w.size() == 2)
                (w.at(0) == "shown" ? b.shown : b.deleted).insert(w.at(1).toLongLong());
        }
        QSet<qint64> present;
        {
            QSqlQuery q(db);
            q.setForwardOnly(true);
            q.exec(kv::engineSql(q.driver(), QStringLiteral("SELECT PIndex FROM TMeasure")));
            while (q.next())
                present.insert(q.value(0).toLongLong());
        }
        QFile kf(keysLog);
        if (!kf.open(QIODevice::ReadOnly))
            problems << QStringLiteral("cannot read ") + keysLog;
        qint64 logged = 0;
        while (!kf.atEnd()) {
            const QList<QByteArray> w = kf.readLine().trimmed().split(' ');
            if (w.size() < 2)
                continue;
            ++logged;
            const int save = w.at(0).toInt();
            if (w.size() - 1 != soak::kRecordsPerSave)
                problems << QStringLiteral("save %1 logged %2 records").arg(QString::number(save), QString::number(w.size() - 1));
            bool seen = false;
            int kept = 0;
            for (int i = 1; i < w.size(); ++i) {
                const qint64 key = w.at(i).toLongLong();
                seen = seen || b.shown.contains(key);
                if (present.contains(key)) {
                    ++kept;
                    if (!records.contains(key))
                        problems << QStringLiteral("record %1 of save %2 holds no soak meter").arg(QString::number(key), QString::number(save));
                    continue;
                }
                ++deletedRecords;
                if (!b.deleted.contains(key))
                    problems << QStringLiteral("record %1 of save %2 is gone, not deleted by the browser").arg(QString::number(key), QString::number(save));
                if (!b.shown.contains(key))
                    problems << QStringLiteral("record %1 of save %2 was deleted unseen").arg(QString::number(key), QString::number(save));
            }
            if (!seen) {
                ++unseenSaves;
                unseenRecords += kept;
                if (kept != w.size() - 1)
                    problems << QStringLiteral("save %1 was never shown, yet lost records").arg(save);
            }
        }
        for (qint64 key : b.deleted)
            if (!b.shown.contains(key))
                problems << QStringLiteral("record %1 deleted though never shown").arg(key);
        if (expectSaves >= 0 && logged != expectSaves)
            problems << QStringLiteral("%1 saves logged, %2 made").arg(QString::number(logged), QString::number(expectSaves));
    }
    if (expectSaves >= 0) {
        for (int s : saves)
            if (s > expectSaves)
                problems << QStringLiteral("record of save %1 beyond the saves made").arg(s);
        if (logs)
            deleted = int(deletedRecords);
        if (records.size() + deleted != qint64(expectSaves) * soak::kRecordsPerSave)
            problems << QStringLiteral("%1 records kept + %2 deleted, %3 saves made")
                            .arg(QString::number(records.size()), QString::number(deleted), QString::number(expectSaves));
    }
    // The other program's last edits, written after any save of this one
    // ended: a write the file lost shows here.
    for (const QString &edit : edits) {
        const int dot = edit.indexOf(QLatin1Char('.')), eq = edit.indexOf(QLatin1Char('='));
        if (dot < 1 || eq < dot) {
            problems << QStringLiteral("bad --expect-edit ") + edit;
            continue;
        }
        QSqlQuery q(db);
        q.prepare(kv::engineSql(q.driver(), QStringLiteral("SELECT count(*) FROM ") + edit.left(dot) + QStringLiteral(" WHERE ") +
                  edit.mid(dot + 1, eq - dot - 1) + QStringLiteral(" = ?")));
        q.addBindValue(edit.mid(eq + 1));
        if (!q.exec() || !q.next() || q.value(0).toInt() < 1)
            problems << QStringLiteral("edit lost: ") + edit;
    }
    out << "check: records=" << records.size() << " meters=" << meters.size() << " errors=" << errors
        << " saves_present=" << saves.size();
    if (logs)
        out << " deleted_records=" << deletedRecords << " saves_never_shown=" << unseenSaves
            << " their_records_kept=" << unseenRecords;
    out << " problems=" << problems.size() << Qt::endl;
    for (int i = 0; i < problems.size() && i < 20; ++i)
        out << "problem: " << problems.at(i) << Qt::endl;
    return problems.isEmpty() ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv)
{
    // A tool run: its settings and windows are nobody's.
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kvintor"));
    UseDecimalPoint();

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption database(QStringLiteral("database"), QStringLiteral("The database file."),
                                      QStringLiteral("path"));
    const QCommandLineOption savesOption(QStringLiteral("saves"), QStringLiteral("Saves to make."),
                                         QStringLiteral("n"), QStringLiteral("1000"));
    const QCommandLineOption pauseOption(QStringLiteral("pause-ms"),
                                         QStringLiteral("Pause between saves (0: back to back)."), QStringLiteral("ms"),
                                         QStringLiteral("0"));
    const QCommandLineOption checkOption(QStringLiteral("check"), QStringLiteral("Check the archive instead."));
    const QCommandLineOption expectOption(QStringLiteral("expect-saves"),
                                          QStringLiteral("Saves reported made (with --check)."), QStringLiteral("n"));
    const QCommandLineOption deletedOption(QStringLiteral("deleted"),
                                           QStringLiteral("Soak records reported deleted (with --check)."),
                                           QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption editOption(QStringLiteral("expect-edit"),
                                        QStringLiteral("TABLE.FIELD=TEXT a row must hold (with --check)."),
                                        QStringLiteral("edit"));
    const QCommandLineOption keysLogOption(QStringLiteral("keys-log"),
                                           QStringLiteral("The record keys of each save (written, or read with --check)."),
                                           QStringLiteral("path"));
    const QCommandLineOption browseLogOption(QStringLiteral("browse-log"),
                                             QStringLiteral("The browser's log of keys shown and deleted (with --check)."),
                                             QStringLiteral("path"));
    const QCommandLineOption stopAfterOption(QStringLiteral("stop-after"),
                                             QStringLiteral("Create --stop-file after this many saves."),
                                             QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption stopFileOption(QStringLiteral("stop-file"), QStringLiteral("The file --stop-after creates."),
                                            QStringLiteral("path"));
    const QCommandLineOption standsOption(QStringLiteral("stands"), QStringLiteral("Stands in each saved run (1 to 5)."),
                                          QStringLiteral("n"), QString::number(soak::kStands));
    parser.addOptions({database, savesOption, pauseOption, checkOption, expectOption, deletedOption, keysLogOption,
                       browseLogOption, stopAfterOption, stopFileOption, editOption, standsOption});
    parser.process(app);
    g_stands = qBound(1, parser.value(standsOption).toInt(), 5);
    if (!parser.isSet(database)) {
        out << "--database PATH is required" << Qt::endl;
        return 2;
    }
    kv::ScopedRecordingUi ui;
    if (parser.isSet(checkOption))
        return check(parser.value(database),
                     parser.isSet(expectOption) ? parser.value(expectOption).toInt() : -1,
                     parser.value(deletedOption).toInt(), parser.value(keysLogOption),
                     parser.value(browseLogOption), parser.values(editOption));
    return save(parser.value(database), parser.value(savesOption).toInt(), parser.value(pauseOption).toInt(),
                parser.value(keysLogOption), parser.value(stopAfterOption).toInt(), parser.value(stopFileOption), *ui);
}
