// The control program as a whole, as the operator works it: three stands of
// six simulated meters on a pseudo-terminal, the poll, the run setup, the
// test table, every point and special test of an automatic verification, the
// results viewer, the archive save and the group protocol; then the archive
// rows one by one and the protocol workbooks read back by another reader.
// The working folder stays behind for the database program's test.

#include "e2e_operator.h"
#include "database/engine_sql.h"
#include "e2e_support.h"

#include "control/start_up.h"
#include "core/clock.h"
#include "core/ui.h"
#include "database/connection.h"
#include "demo_data.h"
#include "link/main_window.h"
#include "run/run_windows.h"
#include "setup/data_module.h"
#include "setup/protocol_data_window.h"
#include "setup/reg_table_window.h"
#include "setup/results_window.h"
#include "setup/run_setup.h"
#include "setup/run_setup_window.h"
#include "stand_server.h"
#include "support/test_env.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>

using namespace kvintor;

namespace {

QString simulatorConfig()
{
    // Short durations: an error point reports within a few hundredths of a
    // second, the special tests' pulses come after 0.2 s.
    QString text = QStringLiteral("stands = 1 2 3\nabsent = answer\ntime_factor = 1\npulse_seconds = 0.01\n"
                                  "start_seconds = 0.2\ncreep_seconds = 0.2\n");
    for (int s = 1; s <= 3; ++s)
        for (int p = 1; p <= 6; ++p) {
            text += QStringLiteral("meter %1.%2 errors=%3,%4,%5").arg(s).arg(p).arg(e2e::errorOf(s, p, 1)).arg(e2e::errorOf(s, p, 2)).arg(e2e::errorOf(s, p, 3));
            const int place = 10 * s + p;
            if (place == e2e::kCreeps)
                text += QStringLiteral(" creeps=yes");
            if (place == e2e::kDoesNotStart)
                text += QStringLiteral(" starts=no");
            if (place == e2e::kRegisterFault)
                text += QStringLiteral(" register=fault");
            text += QLatin1Char('\n');
        }
    return text;
}

// A fresh working folder with a demo database and the run's test.
QString prepareFolder()
{
    QDir(e2e::runFolder()).removeRecursively();
    if (kvtest::onServer())
        kvtest::dropServerDatabase(e2e::databaseFile());
    if (!QDir().mkpath(e2e::runFolder()))
        return QStringLiteral("cannot make ") + e2e::runFolder();
    QString error = kv::createDatabaseFile(e2e::databaseFile());
    if (!error.isEmpty())
        return error;
    const QString connection = QStringLiteral("e2e-prepare");
    {
        error = kv::openDatabase(e2e::databaseFile(), connection);
        if (!error.isEmpty())
            return error;
        QSqlDatabase db = QSqlDatabase::database(connection);
        error = kv::demo::addReferenceData(db);
        QSqlQuery q(db);
        if (error.isEmpty()) {
            q.prepare(kv::engineSql(q.driver(), QStringLiteral(
                "INSERT INTO TTest (PNameTable, PDescription, PSensitivityCB, PSensitivityN, PSensitivityU, "
                "PSensitivityI, PSensitivityT, PSensitivityTSec, PSamochodCB, PSamochodN, PSamochodU, PSamochodI, "
                "PSamochodT, PSamochodTSec, PCountDeviceCB, PCountDeviceN, PCountDeviceU, PCountDeviceI, "
                "PCountDeviceT, PCountDeviceTSec) VALUES (?, 'Приемка: три точки и три особых теста', "
                "1, ?, 100, 0.4, 10, 0, 1, ?, 115, 0, 10, 30, 1, ?, 100, 100, 5, 0)")));
            for (const QVariant &v : QVariantList{e2e::kTestName, e2e::kSensitivityNumber, e2e::kCreepNumber,
                                                  e2e::kRegisterNumber})
                q.addBindValue(v);
            if (!q.exec())
                error = q.lastError().text();
        }
        const QVariant test = q.lastInsertId();
        for (const e2e::Point &p : e2e::kPoints) {
            if (!error.isEmpty())
                break;
            QSqlQuery pq(db);
            pq.prepare(kv::engineSql(pq.driver(), QStringLiteral(
                "INSERT INTO TTestPoint (PSecIndex, PNumPoint1, PNumPoint, PPersentU, PPhaseUA, PPhaseUB, PPhaseUC, "
                "PPersentI, PPhaseIA, PPhaseIB, PPhaseIC, PKM, PLC, PCountRotation, PMeasureMax) "
                "VALUES (?, ?, ?, ?, 1, 1, 1, ?, 1, 1, 1, ?, ?, ?, ?)")));
            for (const QVariant &v : QVariantList{test, p.number, p.number, p.u, p.i, p.km, p.lc, p.count, p.limit})
                pq.addBindValue(v);
            if (!pq.exec())
                error = pq.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return error;
}

// The operator at every dialog the program shows modally, told apart by its class.
class Operator
{
public:
    Operator(KvintorProgram &program, kv::RecordingUi &ui) : m_p(program), m_ui(ui) {}

    void answerEveryDialog()
    {
        for (int i = 0; i < 200; ++i)
            m_ui.queueDialog([this](QDialog *d) { return answer(d); });
    }

    QStringList seen;        // the dialogs in the order they came
    QStringList unexpected;  // dialogs nobody expected
    QStringList protocols;   // the group protocol's files
    std::function<void(TFView &)> inViewer;

    // The run setup: stands 1..3 whole, the same type on each, the test,
    // results into the protocol automatically.
    int setUp(TProgramm &w)
    {
        RunSetup &s = w.setup();
        for (int st = 1; st <= 3; ++st) {
            w.CheckBoxAll[st]->click();
            QComboBox *types = w.DBLookupComboboxEh[st];
            Dataset *rows = s.dm().ADOTipStend(st);
            int row = -1;
            for (int r = 0; r < rows->count(); ++r)
                if (rows->valueAt(r, QStringLiteral("PTip")).toString() == e2e::kTypeName &&
                    rows->valueAt(r, QStringLiteral("PIdentificator")).toString() == e2e::kTypeVersion)
                    row = r;
            if (row < 0) {
                unexpected << QStringLiteral("no demo type");
                return QDialog::Rejected;
            }
            types->setCurrentIndex(row);
            Q_EMIT types->activated(row);
        }
        QComboBox *tests = w.DBLookupComboboxEh[6];
        Dataset *rows = s.dm().ADOTest1;
        for (int r = 0; r < rows->count(); ++r)
            if (rows->valueAt(r, QStringLiteral("PNameTable")).toString() == e2e::kTestName) {
                tests->setCurrentIndex(r);
                Q_EMIT tests->activated(r);
            }
        w.RGAutoItems[0]->click();
        if (!w.Button1->isEnabled()) {
            unexpected << QStringLiteral("Начать disabled");
            return QDialog::Rejected;
        }
        w.Button1->click();
        return w.result();
    }

    int answer(QDialog *d)
    {
        if (auto *w = qobject_cast<TFdataReport *>(d)) {
            seen << QStringLiteral("Данные для протокола");
            w->CBAuto->setChecked(true);
            w->ENumProt->setText(e2e::kFirstProtocol);
            w->EPPover->setText(e2e::kOrganisation);
            w->EMakerPov->setText(e2e::kVerifier);
            w->ENumUst->setText(QStringLiteral("7"));
            w->ENumSv->setText(QStringLiteral("1234"));
            w->Eot->setText(QStringLiteral("01.01.2026"));
            w->EDo->setText(QStringLiteral("31.12.2026"));
            w->ButtonOK->click();
            return w->result();
        }
        if (auto *w = qobject_cast<TProgramm *>(d)) {
            seen << QStringLiteral("Программа");
            return setUp(*w);
        }
        const int run = e2e::answerRunDialog(d, seen, m_p.Run->Control.PointNumberText);
        if (run >= 0)
            return run;
        if (auto *w = qobject_cast<TfPokas *>(d)) {
            seen << QStringLiteral("Показания");
            return e2e::fillEdits(*w, [](int s, int p) { return QString::number(500 + 10 * s + p); },
                                  &TfPokas::Button2Click);
        }
        if (auto *w = qobject_cast<TFNumber *>(d)) {
            seen << QStringLiteral("Номера");
            return e2e::fillEdits(*w, e2e::meterNumber, &TFNumber::Button1Click);
        }
        if (auto *w = qobject_cast<TFView *>(d)) {
            seen << QStringLiteral("Просмотр");
            w->FormShow();
            if (inViewer)
                inViewer(*w);
            w->Button3->click();
            return QDialog::Rejected;
        }
        unexpected << d->metaObject()->className();
        return QDialog::Rejected;
    }

private:
    KvintorProgram &m_p;
    kv::RecordingUi &m_ui;
};

QString fieldText(TRegul &w, int place)
{
    w.Sync();
    return w.MeterEdit[place / 10][place % 10]->text();
}

}  // namespace

class TestE2EVerification : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { kv::setNowForTests(e2e::fixedNow()); }
    void cleanupTestCase() { kv::setNowForTests(QDateTime()); }

    void threeStandsFromThePollToTheProtocols()
    {
        QCOMPARE(prepareFolder(), QString());
        QVERIFY(QDir::setCurrent(e2e::runFolder()));
        kvtest::TempSettings settings;
        kvstands::ModelConfig config;
        QCOMPARE(kvstands::ParseConfig(simulatorConfig(), &config), QString());
        kvstands::StandServer server(config);
        QCOMPARE(server.OpenPty(), QString());

        kv::ScopedRecordingUi ui;
        KvintorProgram p = startKvintor({QStringLiteral("Kvintor"), QStringLiteral("--port"), server.SlavePath(),
                                         QStringLiteral("--database"), e2e::databaseFile()});
        QVERIFY2(p, qPrintable(ui->texts().join(QLatin1Char('|'))));
        Operator op(p, *ui);
        op.answerEveryDialog();
        TKvintor &main = *p.Kvintor;
        main.show();
        StandLink &link = main.Link();
        QVERIFY(link.Comm1.IsOpen());
        RunControl &run = p.Run->Control;
        TRegul &window = p.Run->Regul;

        // The header of the protocols, typed once.
        main.ADataReport->trigger();

        // The poll. An answer that names no stand (the installation's to the
        // Auto request, the "not there" of stands 4 and 5) leaves the 3 s step
        // running; it expires at once instead.
        QObject::connect(&link, &StandLink::FrameLogged, &link, [&link] {
            QTimer::singleShot(0, &link, [&link] {
                if (link.RunMode == 0 && link.T3.isActive() && link.Comm1.BytesQueued() == 0)
                    link.OnT3Timer();
            });
        });
        main.AReply->trigger();
        QVERIFY(main.LabelWait->isVisible() || !main.AReply->isEnabled());
        QVERIFY2(kvtest::spinUntil([&] { return main.AReply->isEnabled(); }, 20000), "the poll did not end");
        for (int s = 1; s <= 5; ++s)
            QCOMPARE(main.LabelStand[s]->isEnabled(), s <= 3);
        QVERIFY(main.MCheck->isEnabled());
        QVERIFY(!main.LabelWait->isVisible());

        // "Поверка": the setup, the table "с первой точки", then the points.
        main.APover->trigger();
        QCOMPARE(op.seen.mid(0, 3), (QStringList{"Данные для протокола", "Программа", "Таблица"}));
        QVERIFY(window.isVisible());
        QVERIFY(!window.BSelect->isVisible());  // an automatic verification starts only from the first point

        // The three error points end on their own once all eighteen meters reported.
        QVERIFY2(kvtest::spinUntil([&] { return run.PointKind == KindSensitivity; }, 30000),
                 qPrintable(op.seen.join(QLatin1Char(','))));
        QCOMPARE(ui->texts(), QStringList());
        // Sensitivity: every meter but one starts; the test would run its ten minutes.
        QVERIFY(kvtest::spinUntil([&] {
            int seen = 0;
            for (int s = 1; s <= 3; ++s)
                for (int q = 1; q <= 6; ++q)
                    seen += fieldText(window, 10 * s + q) == QStringLiteral("есть");
            return seen == 17;
        }, 10000));
        QCOMPARE(fieldText(window, e2e::kDoesNotStart), QString());
        QVERIFY(run.TTime.isActive());
        run.TTime.stop();
        run.SecondsLeft = 0;
        run.TTimeTimer();

        // Creep: one meter gives a pulse.
        QCOMPARE(run.PointKind, KindCreep);
        QVERIFY(kvtest::spinUntil([&] { return fieldText(window, e2e::kCreeps) == QStringLiteral("есть"); }, 10000));
        QCOMPARE(fieldText(window, 11), QString());
        run.TTime.stop();
        run.SecondsLeft = 0;
        run.TTimeTimer();

        // The register test: readings typed, one division counted by the
        // good registers; the faulty one stops.
        QCOMPARE(run.PointKind, KindRegister);
        QVERIFY(kvtest::spinUntil([&] {
            for (int s = 1; s <= 3; ++s)
                for (int q = 1; q <= 6; ++q)
                    if (10 * s + q != e2e::kRegisterFault &&
                        fieldText(window, 10 * s + q) != QStringLiteral("%1.1").arg(500 + 10 * s + q))
                        return false;
            return true;
        }, 15000));
        QCOMPARE(fieldText(window, e2e::kRegisterFault), QString::number(500 + e2e::kRegisterFault));
        run.TTime.stop();
        run.SecondsLeft = 0;
        run.TTimeTimer();
        window.Sync();
        QVERIFY(window.BReady->isVisible());
        // The operator marks the register that did not count.
        const QList<QAction *> menu = window.PopupActions(e2e::kRegisterFault);
        QVERIFY(menu.contains(window.Anot));
        window.Anot->trigger();
        window.BReady->click();
        QCOMPARE(ui->texts(), QStringList{RunControl::VerificationDoneText});
        window.Sync();
        QVERIFY(window.BTResult->isVisible());
        QCOMPARE(op.seen.mid(3), (QStringList{"Точка 1", "Точка 2", "Точка 3", "Точка 4", "Точка 5", "Предписание",
                                               "Показания", "Точка 6", "Предписание"}));
        op.seen.clear();

        // The results viewer: the stands all fail, each for its own meter;
        // then the archive and the group protocol.
        op.inViewer = [&](TFView &v) {
            QCOMPARE(v.StandModel->rowCount(), 3);
            for (int r = 0; r < 3; ++r) {
                QCOMPARE(v.StandModel->index(r, 0).data().toString(), QStringLiteral("Стенд №%1").arg(r + 1));
                QVERIFY(v.StandModel->cellFails(v.StandModel->index(r, 0)));
            }
            v.DBStend->setCurrentIndex(v.StandModel->index(0, 0));
            QCOMPARE(v.ResultModel->rowCount(), 6);
            QCOMPARE(v.ResultModel->index(0, 1).data().toString(), QStringLiteral("2.1"));
            QVERIFY(v.ResultModel->cellFails(v.ResultModel->index(0, 1)));
            QVERIFY(!v.ResultModel->cellFails(v.ResultModel->index(0, 2)));
            v.Button1->click();
            op.protocols = v.Button2Click();
        };
        window.BTResult->click();
        QCOMPARE(op.seen, (QStringList{"Просмотр", "Номера", "Номера"}));
        QVERIFY(op.unexpected.isEmpty());
        QCOMPARE(ui->texts(), QStringList{RunControl::VerificationDoneText});
        QVERIFY(!run.SaveInBaseEnabled);
        window.BMainMenu->click();
        QVERIFY(!window.isVisible());
        QCOMPARE(ui->texts(), QStringList{RunControl::VerificationDoneText});
        main.close();
        QVERIFY(op.unexpected.isEmpty());

        checkArchive();
        QCOMPARE(op.protocols, (QStringList{e2e::protocolFile(e2e::protocolsFolder(), 1),
                                            e2e::protocolFile(e2e::protocolsFolder(), 2),
                                            e2e::protocolFile(e2e::protocolsFolder(), 3)}));
        for (int s = 1; s <= 3; ++s)
            checkProtocol(s);
    }

private:
    void checkArchive()
    {
        const QString connection = QStringLiteral("e2e-check");
        QCOMPARE(kv::openDatabase(e2e::databaseFile(), connection), QString());
        QSqlDatabase db = QSqlDatabase::database(connection);
        QCOMPARE(kvtest::scalar(db, QStringLiteral("select count(*) from TMeasure")).toInt(), 1);
        QCOMPARE(kvtest::scalar(db, QStringLiteral("select PDate from TMeasure")).toString(),
                 QStringLiteral("2026-03-14 10:30:00"));
        QCOMPARE(kvtest::scalar(db, QStringLiteral("select t.PTip || ' ' || t.PIdentificator || ' / ' || s.PNameTable "
                                                   "from TMeasure m join TTip t on t.PIndex = m.PPointerTip "
                                                   "join TTest s on s.PIndex = m.PPointerTest")).toString(),
                 QStringLiteral("%1 %2 / %3").arg(e2e::kTypeName, e2e::kTypeVersion, e2e::kTestName));

        QSqlQuery meters(db);
        QVERIFY(meters.exec(kv::engineSql(meters.driver(), QStringLiteral("select PIndex, PPosition, PNumber, PSensitivity, PSamochod, PCountDevice, "
                                           "PTotal from TPositionCH order by PPosition"))));
        int count = 0;
        for (int s = 1; s <= 3; ++s)
            for (int q = 1; q <= 6; ++q) {
                QVERIFY(meters.next());
                ++count;
                const int place = 10 * s + q;
                // Sensitivity 1 a pulse seen, 2 none; creep 1 creeps, 2 does
                // not; register 1 norm, 2 fault; total 1 fit, 2 unfit.
                const QString expected = QStringLiteral("%1 %2 %3%4%5 %6")
                                             .arg(place)
                                             .arg(e2e::meterNumber(s, q))
                                             .arg(place == e2e::kDoesNotStart ? 2 : 1)
                                             .arg(place == e2e::kCreeps ? 1 : 2)
                                             .arg(place == e2e::kRegisterFault ? 2 : 1)
                                             .arg(place == e2e::kBeyondLimit || place == e2e::kCreeps ||
                                                          place == e2e::kDoesNotStart || place == e2e::kRegisterFault
                                                      ? 2
                                                      : 1);
                const QString actual = QStringLiteral("%1 %2 %3%4%5 %6")
                                           .arg(meters.value(1).toInt())
                                           .arg(meters.value(2).toString())
                                           .arg(meters.value(3).toInt())
                                           .arg(meters.value(4).toInt())
                                           .arg(meters.value(5).toInt())
                                           .arg(meters.value(6).toInt());
                QCOMPARE(actual, expected);

                // Each error point's reading, its limit, and the test's own point number.
                QSqlQuery errors(db);
                errors.prepare(kv::engineSql(errors.driver(), QStringLiteral(
                    "select PPointNumber, PMeasure, PMeasureMax from TResult where PSecIndex = ? order by PIndex")));
                errors.addBindValue(meters.value(0));
                QVERIFY(errors.exec());
                QStringList got, want;
                while (errors.next())
                    got << QStringLiteral("%1:%2/%3")
                               .arg(errors.value(0).toInt())
                               .arg(errors.value(1).toDouble(), 0, 'f', 2)
                               .arg(errors.value(2).toDouble());
                for (const e2e::Point &pt : e2e::kPoints)
                    want << QStringLiteral("%1:%2/%3").arg(pt.number).arg(e2e::errorText(s, q, pt.number)).arg(pt.limit);
                QCOMPARE(got, want);
            }
        QVERIFY(!meters.next());
        QCOMPARE(count, 18);
        QCOMPARE(kvtest::scalar(db, QStringLiteral("select count(*) from TResult")).toInt(), 54);
        meters.finish();
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connection);
    }

    void checkProtocol(int s)
    {
        QString error;
        const auto cells = e2e::readWorkbook(e2e::protocolFile(e2e::protocolsFolder(), s), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const QString all = [&] {
            QStringList t;
            for (const QVariant &v : cells)
                t << e2e::cellText(v);
            return t.join(QLatin1Char('|'));
        }();
        QVERIFY2(all.contains(QStringLiteral("ГРУППОВОЙ  ПРОТОКОЛ  ПОВЕРКИ  № %1").arg(e2e::kFirstProtocol.toInt() + s - 1)),
                 qPrintable(all));
        QVERIFY(all.contains(e2e::kOrganisation));
        QVERIFY(all.contains(QStringLiteral("Стенд №%1").arg(s)));
        QVERIFY(all.contains(e2e::kTypeName));

        // The meter numbers under the position numbers 1..6.
        int numbersRow = 0;
        for (int r = 1; r < 60 && !numbersRow; ++r)
            if (e2e::cellText(cells.value(QStringLiteral("G%1").arg(r))) == QStringLiteral("1") &&
                e2e::cellText(cells.value(QStringLiteral("L%1").arg(r))) == QStringLiteral("6"))
                numbersRow = r + 1;
        QVERIFY(numbersRow);
        for (int q = 1; q <= 6; ++q)
            QCOMPARE(e2e::cellText(cells.value(QStringLiteral("%1%2").arg(QLatin1Char('F' + q)).arg(numbersRow))),
                     e2e::meterNumber(s, q));

        const QMap<int, QStringList> rows = e2e::protocolRows(cells);
        QCOMPARE(rows.keys(), (QList<int>{1, 2, 3, 4, 5, 6}));
        for (const e2e::Point &pt : e2e::kPoints) {
            const QStringList &row = rows.value(pt.number);
            QCOMPARE(row.mid(1, 4), (QStringList{QStringLiteral("п"), QString::number(pt.u), QString::number(pt.i),
                                                 QString::number(pt.km) + (pt.lc == 1 ? QStringLiteral("/L") : QString())}));
            for (int q = 1; q <= 6; ++q)
                QCOMPARE(QString::number(row.at(5 + q).toDouble(), 'f', 2), e2e::errorText(s, q, pt.number));
        }
        auto verdicts = [&](int number) { return rows.value(number).mid(6); };
        QStringList sens, creep, reg;
        for (int q = 1; q <= 6; ++q) {
            sens << (10 * s + q == e2e::kDoesNotStart ? QStringLiteral("Нет") : QStringLiteral("Есть"));
            creep << (10 * s + q == e2e::kCreeps ? QStringLiteral("Есть") : QStringLiteral("Нет"));
            reg << (10 * s + q == e2e::kRegisterFault ? QStringLiteral("Нет") : QStringLiteral("Норма"));
        }
        QCOMPARE(verdicts(e2e::kSensitivityNumber), sens);
        QCOMPARE(verdicts(e2e::kCreepNumber), creep);
        QCOMPARE(verdicts(e2e::kRegisterNumber), reg);
    }
};

QTEST_MAIN(TestE2EVerification)
#include "test_e2e_verification.moc"
