// A lab's day with the control program, through its real windows against the
// simulated stands on a pseudo-terminal: a regulation; an automatic
// verification of a test with gapped point numbers and all three special
// tests, ending on the register row, while the database program edits the
// reference data and tries to delete what the run will be saved under; then a
// verification by hand of a shorter test without special tests, which must
// carry nothing over from the first. Every archive row of both runs is
// checked, and no box appears but those the day calls for.

#include "e2e_operator.h"

#include "control/start_up.h"
#include "core/ui.h"
#include "database/connection.h"
#include "demo_data.h"
#include "link/main_window.h"
#include "reference/data_module.h"
#include "reference/reference_delete.h"
#include "reference/tests_editor.h"
#include "reference/types_editor.h"
#include "run/run_windows.h"
#include "setup/data_module.h"
#include "setup/reg_table_window.h"
#include "setup/results_window.h"
#include "setup/run_setup.h"
#include "setup/run_setup_window.h"
#include "stand_server.h"
#include "support/test_env.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace kvintor;
using kvtest::spinUntil;

namespace {

const QString kLongTest = QStringLiteral("Приемка с пропусками");
const QString kShortTest = QStringLiteral("Быстрая");
const QString kTypeName = QStringLiteral("ЭС-1.05");
const QString kTypeVersion = QStringLiteral("1600");

// Two stands of three meters: 1.2 reads beyond 1 % and does not start, 2.3 creeps.
const QString kStands = QStringLiteral(
    "stands = 1 2\npulse_seconds = 0.01\nstart_seconds = 0.2\ncreep_seconds = 0.2\n"
    "meter 1.1 error=0.12\nmeter 1.2 error=1.2 starts=no\nmeter 1.3 error=-0.4\n"
    "meter 2.1 error=0.05\nmeter 2.2 error=-0.3\nmeter 2.3 error=0.3 creeps=yes\n");

QString addTest(QSqlDatabase db, const QString &name, bool special, const QList<QVariantList> &points)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "INSERT INTO TTest (PNameTable, PDescription, PSensitivityCB, PSensitivityN, PSensitivityU, PSensitivityI, "
        "PSensitivityT, PSensitivityTSec, PSamochodCB, PSamochodN, PSamochodU, PSamochodI, PSamochodT, "
        "PSamochodTSec, PCountDeviceCB, PCountDeviceN, PCountDeviceU, PCountDeviceI, PCountDeviceT, "
        "PCountDeviceTSec) VALUES (?, 'день', ?, 50, 100, 0.4, 10, 0, ?, 60, 115, 0, 10, 30, ?, 90, 100, 100, 5, 0)"));
    for (const QVariant &v : QVariantList{name, int(special), int(special), int(special)})
        q.addBindValue(v);
    if (!q.exec())
        return q.lastError().text();
    const QVariant test = q.lastInsertId();
    for (const QVariantList &p : points) {
        QSqlQuery pq(db);
        pq.prepare(QStringLiteral(
            "INSERT INTO TTestPoint (PSecIndex, PNumPoint1, PNumPoint, PPersentU, PPhaseUA, PPhaseUB, PPhaseUC, "
            "PPersentI, PPhaseIA, PPhaseIB, PPhaseIC, PKM, PLC, PCountRotation, PMeasureMax) "
            "VALUES (?, ?, ?, 100, 1, 1, 1, ?, 1, 1, 1, ?, ?, 2, ?)"));
        pq.addBindValue(test);
        pq.addBindValue(p.at(0));
        pq.addBindValue(p.at(0));
        for (int i = 1; i < p.size(); ++i)
            pq.addBindValue(p.at(i));
        if (!pq.exec())
            return pq.lastError().text();
    }
    return {};
}

// The working folder: demo reference data and the day's two tests. Point
// numbers of the long test have gaps (10, 20, 40); its special tests are 50,
// 60 and 90, so the register test is its last row.
QString prepare(const QString &folder)
{
    const QString file = folder + QStringLiteral("/KvintorDB.sqlite");
    QString error = kv::createDatabaseFile(file);
    if (!error.isEmpty())
        return error;
    const QString connection = QStringLiteral("lab-prepare");
    {
        error = kv::openDatabase(file, connection);
        QSqlDatabase db = QSqlDatabase::database(connection);
        if (error.isEmpty())
            error = kv::demo::addReferenceData(db);
        // number, I %, power factor, load kind, limit
        if (error.isEmpty())
            error = addTest(db, kLongTest, true,
                            {{10, 100, 1, 0, 1.0}, {20, 10, 0.5, 1, 1.5}, {40, 5, 1, 0, 1.5}});
        if (error.isEmpty())
            error = addTest(db, kShortTest, false, {{1, 100, 1, 0, 1.0}, {2, 50, 1, 0, 1.0}});
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return error;
}

// The operator at every modal dialog of the control program.
class Operator
{
public:
    Operator(KvintorProgram &program, kv::RecordingUi &ui) : m_p(program), m_ui(ui)
    {
        for (int i = 0; i < 300; ++i)
            m_ui.queueDialog([this](QDialog *d) { return answer(d); });
    }

    QString test;
    bool automatic = true;
    QStringList seen, unexpected;
    std::function<void(TFView &)> inViewer;

private:
    int setUp(TProgramm &w)
    {
        w.setResult(0);
        for (int st = 1; st <= 2; ++st) {
            // Positions 1..3 of the stand carry meters, 4..6 are empty.
            for (int pos = 1; pos <= 6; ++pos) {
                QCheckBox *box = w.C[(st - 1) * 6 + pos];
                if (box->isChecked() != (pos <= 3))
                    box->click();
            }
            Dataset *rows = w.setup().dm().ADOTipStend(st);
            for (int r = 0; r < rows->count(); ++r)
                if (rows->valueAt(r, QStringLiteral("PTip")).toString() == kTypeName &&
                    rows->valueAt(r, QStringLiteral("PIdentificator")).toString() == kTypeVersion) {
                    w.DBLookupComboboxEh[st]->setCurrentIndex(r);
                    Q_EMIT w.DBLookupComboboxEh[st]->activated(r);
                }
        }
        Dataset *tests = w.setup().dm().ADOTest1;
        for (int r = 0; r < tests->count(); ++r)
            if (tests->valueAt(r, QStringLiteral("PNameTable")).toString() == test) {
                w.DBLookupComboboxEh[6]->setCurrentIndex(r);
                Q_EMIT w.DBLookupComboboxEh[6]->activated(r);
            }
        w.RGAutoItems[automatic ? 0 : 1]->click();
        w.Button1->click();
        return w.result();
    }

    int answer(QDialog *d)
    {
        if (auto *w = qobject_cast<TProgramm *>(d)) {
            seen << QStringLiteral("Программа");
            return setUp(*w);
        }
        const int run = e2e::answerRunDialog(d, seen, m_p.Run->Control.PointNumberText);
        if (run >= 0)
            return run;
        if (auto *w = qobject_cast<TfPokas *>(d)) {
            seen << QStringLiteral("Показания");
            return e2e::fillEdits(*w, [](int s, int p) { return QString::number(700 + 10 * s + p); },
                                  &TfPokas::Button2Click);
        }
        if (auto *w = qobject_cast<TFNumber *>(d)) {
            seen << QStringLiteral("Номера");
            return e2e::fillEdits(*w, [this](int s, int p) { return test.left(1) + QString::number(10 * s + p); },
                                  &TFNumber::Button1Click);
        }
        if (auto *w = qobject_cast<TFView *>(d)) {
            seen << QStringLiteral("Просмотр");
            w->FormShow();
            if (inViewer)
                inViewer(*w);
            return QDialog::Rejected;
        }
        unexpected << d->metaObject()->className();
        return QDialog::Rejected;
    }

    KvintorProgram &m_p;
    kv::RecordingUi &m_ui;
};

QString fieldText(TRegul &w, int place)
{
    w.Sync();
    return w.MeterEdit[place / 10][place % 10]->text();
}

bool everyField(TRegul &w, const std::function<bool(int place, const QString &)> &ok)
{
    for (int s = 1; s <= 2; ++s)
        for (int p = 1; p <= 3; ++p)
            if (!ok(10 * s + p, fieldText(w, 10 * s + p)))
                return false;
    return true;
}

// The special test's time runs out.
void timeIsUp(RunControl &run)
{
    run.TTime.stop();
    run.SecondsLeft = 0;
    run.TTimeTimer();
}

}  // namespace

class TestE2ELabDay : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void aDayOfRegulationAndTwoVerifications()
    {
        QTemporaryDir folder;
        QCOMPARE(prepare(folder.path()), QString());
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(folder.path()));
        kvtest::TempSettings settings;
        kvstands::ModelConfig config;
        QCOMPARE(kvstands::ParseConfig(kStands, &config), QString());
        kvstands::StandServer server(config);
        QCOMPARE(server.OpenPty(), QString());

        kv::ScopedRecordingUi ui;
        KvintorProgram p = startKvintor({QStringLiteral("Kvintor"), QStringLiteral("--port"), server.SlavePath()});
        QVERIFY2(p, qPrintable(ui->texts().join(QLatin1Char('|'))));
        Operator op(p, *ui);
        TKvintor &main = *p.Kvintor;
        main.show();
        StandLink &link = main.Link();
        RunControl &run = p.Run->Control;
        TRegul &window = p.Run->Regul;
        // What a failure shows: the dialogs so far, the boxes, the six fields.
        auto state = [&] {
            QStringList fields;
            for (int place : {11, 12, 13, 21, 22, 23})
                fields << fieldText(window, place);
            return op.seen.join(QLatin1Char(',')) + QLatin1Char(' ') + ui->texts().join(QLatin1Char('|')) +
                   QLatin1Char(' ') + fields.join(QLatin1Char('/'));
        };

        // The poll; an answer naming no stand lets the 3 s step expire at once.
        QObject::connect(&link, &StandLink::FrameLogged, &link, [&link] {
            QTimer::singleShot(0, &link, [&link] {
                if (link.RunMode == 0 && link.T3.isActive() && link.Comm1.BytesQueued() == 0)
                    link.OnT3Timer();
            });
        });
        main.AReply->trigger();
        QVERIFY2(spinUntil([&] { return main.AReply->isEnabled(); }, 20000), "the poll did not end");
        QVERIFY(main.MCheck->isEnabled());

        // ---- a regulation of the short test: the first point's readings, then away.
        op.test = kShortTest;
        main.ARegul->trigger();
        QVERIFY(window.isVisible());
        QVERIFY2(spinUntil([&] { return everyField(window, [](int, const QString &t) { return !t.isEmpty(); }); },
                           10000),
                 qPrintable(state()));
        window.BMainMenu->click();
        QVERIFY(!window.isVisible());
        QCOMPARE(ui->texts(), QStringList());

        // ---- the long verification, automatic.
        op.test = kLongTest;
        op.automatic = true;
        op.seen.clear();
        main.APover->trigger();
        QVERIFY(window.isVisible());
        QVERIFY2(spinUntil([&] { return run.PointKind == KindSensitivity; }, 30000), qPrintable(state()));
        QVERIFY(spinUntil([&] {
            return everyField(window, [](int place, const QString &t) { return place == 12 || t == QStringLiteral("есть"); });
        }, 10000));
        timeIsUp(run);

        // Meanwhile the database program: the run's type and test stay; an
        // unused type goes; a point of the short test gets a wider limit.
        QCOMPARE(run.PointKind, int(KindCreep));
        databaseProgramEdits(folder.path() + QStringLiteral("/KvintorDB.sqlite"), *ui);

        QVERIFY(spinUntil([&] { return fieldText(window, 23) == QStringLiteral("есть"); }, 10000));
        timeIsUp(run);
        QCOMPARE(run.PointKind, int(KindRegister));
        QVERIFY(spinUntil([&] {
            return everyField(window, [](int place, const QString &t) { return t != QString::number(700 + place); });
        }, 15000));
        timeIsUp(run);
        window.Sync();
        QVERIFY(window.BReady->isVisible());
        window.BReady->click();
        QCOMPARE(ui->texts(), QStringList{RunControl::VerificationDoneText});
        QCOMPARE(op.seen, (QStringList{"Программа", "Таблица", "Точка 1", "Точка 2", "Точка 3", "Точка 4", "Точка 5",
                                       "Предписание", "Показания", "Точка 6", "Предписание"}));
        // Saved from the results viewer, whose rows carry the test's own numbers.
        op.inViewer = [&](TFView &v) {
            QStringList numbers;
            for (int r = 0; r < p.DM->RMResult->count(); ++r)
                numbers << p.DM->RMResult->valueAt(r, QStringLiteral("N")).toString();
            QCOMPARE(numbers, (QStringList{"10", "20", "40", "50", "60", "90"}));
            v.Button1->click();
        };
        window.BTResult->click();
        QVERIFY(!run.SaveInBaseEnabled);
        const QString saved = QStringLiteral("Результаты поверки записаны в архив, счетчиков: ");
        QVERIFY2(window.LStatus->text().startsWith(saved), qPrintable(window.LStatus->text()));
        window.BMainMenu->click();
        QVERIFY(!window.isVisible());
        QVERIFY2(main.LStatus->text().startsWith(saved), qPrintable(main.LStatus->text()));

        // ---- the short verification, point by point, left with "Главное меню".
        op.test = kShortTest;
        op.automatic = false;
        op.inViewer = nullptr;
        op.seen.clear();
        ui->clear();
        main.APover->trigger();
        QVERIFY(window.isVisible());
        QVERIFY(!main.LStatus->text().startsWith(saved));
        for (int point = 1; point <= 2; ++point) {
            QVERIFY(spinUntil([&] { return everyField(window, [](int, const QString &t) { return !t.isEmpty(); }); },
                              10000));
            if (point == 1)
                window.BNext->click();
        }
        ui->queueAnswer(QMessageBox::Yes);
        window.BMainMenu->click();
        QVERIFY(!window.isVisible());
        QCOMPARE(ui->texts(), QStringList{QStringLiteral("Сохранить результаты поверки в базе данных ?")});
        // The save made on the way out is reported where the operator lands.
        QVERIFY2(main.LStatus->text().startsWith(saved), qPrintable(main.LStatus->text()));
        QCOMPARE(op.seen, (QStringList{"Программа", "Таблица", "Точка 1", "Точка 2", "Номера"}));
        QVERIFY2(op.unexpected.isEmpty(), qPrintable(op.unexpected.join(QLatin1Char(','))));
        main.close();
        p = KvintorProgram();
        checkArchive(folder.path() + QStringLiteral("/KvintorDB.sqlite"));
        QDir::setCurrent(previous);
    }

private:
    void databaseProgramEdits(const QString &file, kv::RecordingUi &ui)
    {
        const QString connection = QStringLiteral("lab-base");
        QCOMPARE(kv::openDatabase(file, connection), QString());
        {
            basekvintor::TDM dm(QStringLiteral("lab-base-dm"));
            dm.useConnection(connection);
            QVERIFY(dm.DataModuleCreate());
            QSqlDatabase db = QSqlDatabase::database(connection);
            const qlonglong type = kvtest::scalar(db, QStringLiteral("select PIndex from TTip where PTip = '") +
                                                          kTypeName + QStringLiteral("' and PIdentificator = '") +
                                                          kTypeVersion + QStringLiteral("'"))
                                       .toLongLong();
            const qlonglong unused =
                kvtest::scalar(db, QStringLiteral("select max(PIndex) from TTip where PIndex <> %1").arg(type))
                    .toLongLong();
            basekvintor::TypesEditor types(&dm);
            types.FormCreate();
            ui.queueAnswer(QMessageBox::Yes);
            const basekvintor::DeleteResult kept = types.DataSetDelete1Execute({dm.ADOTip->rowOfKey(type)}, nullptr);
            QCOMPARE(kept.deleted, 0);
            ui.queueAnswer(QMessageBox::Yes);
            const basekvintor::DeleteResult gone = types.DataSetDelete1Execute({dm.ADOTip->rowOfKey(unused)}, nullptr);
            QCOMPARE(gone.deleted, 1);

            basekvintor::TestsEditor tests(&dm);
            const qlonglong longTest = kvtest::scalar(db, QStringLiteral("select PIndex from TTest where "
                                                                         "PNameTable = '") + kLongTest +
                                                              QStringLiteral("'"))
                                           .toLongLong();
            ui.queueAnswer(QMessageBox::Yes);
            QCOMPARE(tests.DataSetDelete1Execute({dm.ADOTest->rowOfKey(longTest)}, nullptr).deleted, 0);
            kvtest::execOrFail(db, QStringLiteral("UPDATE TTestPoint SET PMeasureMax = 2.5 WHERE PNumPoint1 = 2 AND "
                                                  "PSecIndex = (SELECT PIndex FROM TTest WHERE PNameTable = '") +
                                       kShortTest + QStringLiteral("')"));
            QCOMPARE(ui.texts(), (QStringList{basekvintor::kDeleteQuestion, basekvintor::kTipInRun,
                                              basekvintor::kDeleteQuestion, basekvintor::kDeleteQuestion,
                                              basekvintor::kTestInRun}));
            ui.clear();
        }
        QSqlDatabase::removeDatabase(connection);
    }

    void checkArchive(const QString &file)
    {
        const QString connection = QStringLiteral("lab-check");
        QCOMPARE(kv::openDatabase(file, connection), QString());
        {
            QSqlDatabase db = QSqlDatabase::database(connection);
            QCOMPARE(kvtest::scalar(db, QStringLiteral("select group_concat(s.PNameTable, '|') from "
                                                       "(select * from TMeasure order by PIndex) m join TTest s "
                                                       "on s.PIndex = m.PPointerTest")).toString(),
                     kLongTest + QLatin1Char('|') + kShortTest);
            // Place, number, sensitivity, creep, register, verdict.
            const QString meters = QStringLiteral(
                "select group_concat(PPosition || ':' || PNumber || ':' || PSensitivity || PSamochod || PCountDevice "
                "|| ':' || PTotal, ' ') from (select * from TPositionCH where PSecIndex = %1 order by PPosition)");
            const QVariant first = kvtest::scalar(db, QStringLiteral("select min(PIndex) from TMeasure"));
            const QVariant second = kvtest::scalar(db, QStringLiteral("select max(PIndex) from TMeasure"));
            QCOMPARE(kvtest::scalar(db, meters.arg(first.toLongLong())).toString(),
                     QStringLiteral("11:П11:121:1 12:П12:221:2 13:П13:121:1 21:П21:121:1 22:П22:121:1 "
                                    "23:П23:111:2"));
            // Nothing of the first run's special tests reaches the second.
            QCOMPARE(kvtest::scalar(db, meters.arg(second.toLongLong())).toString(),
                     QStringLiteral("11:Б11:000:0 12:Б12:000:2 13:Б13:000:0 21:Б21:000:0 22:Б22:000:0 "
                                    "23:Б23:000:0"));
            const QString errors = QStringLiteral(
                "select group_concat(c.PPosition || '@' || r.PPointNumber || '=' || r.PMeasure || '/' || "
                "r.PMeasureMax, ' ') from (select * from TResult order by PIndex) r join TPositionCH c "
                "on r.PSecIndex = c.PIndex where c.PSecIndex = %1");
            QCOMPARE(kvtest::scalar(db, errors.arg(first.toLongLong())).toString(),
                     QStringLiteral("11@10=0.12/1.0 11@20=0.12/1.5 11@40=0.12/1.5 12@10=1.2/1.0 12@20=1.2/1.5 "
                                    "12@40=1.2/1.5 13@10=-0.4/1.0 13@20=-0.4/1.5 13@40=-0.4/1.5 21@10=0.05/1.0 "
                                    "21@20=0.05/1.5 21@40=0.05/1.5 22@10=-0.3/1.0 22@20=-0.3/1.5 22@40=-0.3/1.5 "
                                    "23@10=0.3/1.0 23@20=0.3/1.5 23@40=0.3/1.5"));
            // The limit widened in the database program during the first run counts in the second.
            QCOMPARE(kvtest::scalar(db, errors.arg(second.toLongLong())).toString(),
                     QStringLiteral("11@1=0.12/1.0 11@2=0.12/2.5 12@1=1.2/1.0 12@2=1.2/2.5 13@1=-0.4/1.0 "
                                    "13@2=-0.4/2.5 21@1=0.05/1.0 21@2=0.05/2.5 22@1=-0.3/1.0 22@2=-0.3/2.5 "
                                    "23@1=0.3/1.0 23@2=0.3/2.5"));
            db.close();
        }
        QSqlDatabase::removeDatabase(connection);
    }
};

QTEST_MAIN(TestE2ELabDay)
#include "test_e2e_lab_day.moc"
