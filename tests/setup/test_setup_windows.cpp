#include "setup_fixture.h"

#include "core/settings.h"
#include "core/ui.h"
#include "setup/protocol_data_window.h"
#include "setup/reg_table_window.h"
#include "setup/run_launch.h"
#include "setup/run_setup.h"
#include "setup/run_setup_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QPushButton>
#include <QTableView>

#include <optional>

using namespace kvintor;

namespace {

const std::array<bool, 6> kStands1And3 = {false, true, false, true, false, false};

// Picks a lookup row as the operator would: the close-up reports the row.
void pick(QComboBox *box, int row)
{
    Q_EMIT box->activated(row);
}

}  // namespace

class TestSetupWindows : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void verificationFromSetupToHandOff()
    {
        setuptest::Fixture f;
        kv::ScopedRecordingUi ui;
        RunSetup setup(*f.dm);
        TProgramm window(setup);
        RunLauncher launcher(*f.dm, setup, window);
        std::optional<RunStart> handed;
        launcher.onRunReady = [&](const RunStart &run) { handed = run; };
        f.dm->closeConnection();  // as after the database program was started

        ui->queueDialog([&](QDialog *dialog) {
            auto *w = qobject_cast<TProgramm *>(dialog);
            w->show();
            [&] {
                QCOMPARE(w->windowTitle(), QStringLiteral("Поверка"));
                QVERIFY(w->GroupBox[1]->isEnabled() && !w->GroupBox[2]->isEnabled());
                QVERIFY(w->RGAuto->isVisible() && !w->PHandle->isVisible() && !w->Edit[1]->isVisible());
                QVERIFY(!w->Button1->isEnabled());
                QTest::mouseClick(w->C[15], Qt::LeftButton);  // stand 3, position 3
                QVERIFY(w->Button1->isEnabled());
                w->CheckBoxAll[1]->click();
                QVERIFY(w->C[6]->isChecked());
                pick(w->DBLookupComboboxEh[1], setuptest::typeRow(*f.dm, 1, QStringLiteral("ЭС-1.05"), QStringLiteral("3200")));
                QCOMPARE(w->DBEditEh[1]->text(), QStringLiteral("3200"));
                QCOMPARE(w->DBLookupComboboxEh[1]->currentText(), QStringLiteral("ЭС-1.05"));
                pick(w->DBLookupComboboxEh[3], setuptest::typeRow(*f.dm, 3, QStringLiteral("ЭТТ-3.57")));
                QCOMPARE(ui->boxes().size(), 1);  // 57.7 V against 230 V
                QVERIFY(w->DBLookupComboboxEh[3]->currentText().isEmpty());
                pick(w->DBLookupComboboxEh[3], setuptest::typeRow(*f.dm, 3, QStringLiteral("ЭС-1.05И")));
                pick(w->DBLookupComboboxEh[6], setuptest::testRow(*f.dm, QStringLiteral("Регулировка")));
                w->RGAutoItems[0]->click();
                QTest::mouseClick(w->Button1, Qt::LeftButton);
            }();
            return w->result();
        });
        QVERIFY(launcher.start(ModeVerification, kStands1And3, true));
        QVERIFY(handed.has_value());
        QCOMPARE(handed->RunMode, int(ModeVerification));
        QCOMPARE(handed->table.rows, 3);
        QVERIFY(!handed->table.selectPointVisible);  // "Автоматически"
        QCOMPARE(handed->setup->MaxConstant, 3200.0);
        QCOMPARE(handed->setup->RunPointCapacity, 7);
        QVERIFY(handed->setup->StandInUse[1] && handed->setup->StandInUse[3] && !handed->setup->StandInUse[2]);
        QCOMPARE(f.dm->ADOTestBuf->recNo(), 0);
        QCOMPARE(f.dm->ADOTestBuf->value(QStringLiteral("PMode")).toString(), QStringLiteral("п"));
        // Stored on closing.
        QCOMPARE(kv::settingText(QStringLiteral("CH"), QStringLiteral("C15")), QStringLiteral("1"));
        QCOMPARE(kv::settingText(QStringLiteral("DB"), QStringLiteral("Tip1")),
                 f.dm->ADOTipStend1->value(QStringLiteral("PIndex")).toString());
    }

    void cancelledOrEmptyRunsDoNotStart()
    {
        setuptest::Fixture f;
        kv::ScopedRecordingUi ui;
        RunSetup setup(*f.dm);
        TProgramm window(setup);
        RunLauncher launcher(*f.dm, setup, window);
        int handed = 0;
        launcher.onRunReady = [&](const RunStart &) { ++handed; };

        // "Главное меню" still stores the choices.
        ui->queueDialog([&](QDialog *dialog) {
            auto *w = qobject_cast<TProgramm *>(dialog);
            w->show();
            QTest::mouseClick(w->C[2], Qt::LeftButton);
            QTest::mouseClick(w->Button3, Qt::LeftButton);
            return w->result();
        });
        QVERIFY(!launcher.start(ModeRegulation, kStands1And3, true));
        QCOMPARE(handed, 0);
        QCOMPARE(kv::settingText(QStringLiteral("CH"), QStringLiteral("C2")), QStringLiteral("1"));

        // A test with neither points nor special tests.
        const qlonglong empty = setuptest::addTest(f.db.db(), QStringLiteral("Пустой"), {});
        f.dm->closeConnection();
        ui->queueDialog([&](QDialog *dialog) -> int {
            auto *w = qobject_cast<TProgramm *>(dialog);
            w->show();
            if (!w->C[2]->isChecked())  // restored
                return QDialog::Rejected;
            pick(w->DBLookupComboboxEh[1], setuptest::typeRow(*f.dm, 1, QStringLiteral("ЭС-1.05И")));
            if (!f.dm->ADOTest1->locate(QStringLiteral("PIndex"), empty))
                return QDialog::Rejected;
            pick(w->DBLookupComboboxEh[6], f.dm->ADOTest1->recNo());
            QTest::mouseClick(w->Button1, Qt::LeftButton);
            return w->result();
        });
        QVERIFY(!launcher.start(ModeRegulation, kStands1And3, true));
        QCOMPARE(handed, 0);
        QCOMPARE(ui->texts(), QStringList{QStringLiteral("  Тест не содержит ни одной точки !")});

        // The database cannot be opened for the run.
        ui->clear();
        f.dm->closeConnection();
        kvtest::execOrFail(f.db.db(), QStringLiteral("DROP TABLE TTestBuf"));
        QVERIFY(!launcher.start(ModeManual, kStands1And3, true));
        QCOMPARE(ui->boxes().size(), 1);
        QCOMPARE(ui->boxes().at(0).icon, kv::Icon::Error);
        QVERIFY(ui->boxes().at(0).text.contains(QStringLiteral("TTestBuf")));
        QCOMPARE(ui->dialogsShown(), 2);
    }

    void manualRevolutionEdits()
    {
        setuptest::Fixture f;
        RunSetup setup(*f.dm);
        TProgramm window(setup);
        setup.setStandPresent(kStands1And3);
        setup.RunMode = ModeManual;
        setup.PrepareManual(false);
        window.syncFromSetup();
        window.show();
        QVERIFY(window.Edit[1]->isVisible() && !window.DBLookupComboboxEh[6]->isVisible());
        QVERIFY(window.LabelWinding1->isVisible() && !window.LabelRange1->isVisible());
        QVERIFY(window.RadioButton3->isChecked());
        window.RadioButton4->click();
        QVERIFY(setup.RadioButton4 && !setup.RadioButton3);

        window.Edit[1]->setFocus();
        QTest::keyClicks(window.Edit[1], QStringLiteral("15"));
        QCOMPARE(window.Edit[1]->text(), QStringLiteral("15"));
        QTest::keyClick(window.Edit[1], Qt::Key_A);
        QCOMPARE(window.Edit[1]->text(), kAutomatic);
        QTest::keyClick(window.Edit[1], Qt::Key_0);
        QCOMPARE(window.Edit[1]->text(), QStringLiteral("0"));
        QFocusEvent leave(QEvent::FocusOut);  // leaving the edit
        QApplication::sendEvent(window.Edit[1], &leave);
        QCOMPARE(window.Edit[1]->text(), kAutomatic);
        QCOMPARE(setup.StandSetup[1].revolutions, kAutomatic);
    }

    void testTableDialog()
    {
        setuptest::Fixture f;
        QVERIFY(f.dm->ADOTest1->locate(QStringLiteral("PNameTable"), QStringLiteral("П1Ф кл.1")));
        QCOMPARE(f.dm->openConnection(), QString());
        const TestTableFill fill = FillVerificationTable(*f.dm, 1);
        QVERIFY(fill.rows > 10);
        TRegTable dialog(*f.dm);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Таблица проведения теста"));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowSystemMenuHint));
        dialog.setSelectPointVisible(fill.selectPointVisible);
        dialog.show();
        QVERIFY(dialog.Button2->isVisible());
        QCOMPARE(dialog.grid()->model()->rowCount(), fill.rows);
        QCOMPARE(dialog.grid()->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("№ Точки"));

        // The last row chosen in the grid is where the run starts.
        dialog.grid()->selectRow(fill.rows - 1);
        QCOMPARE(f.dm->ADOTestBuf->recNo(), fill.rows - 1);
        QTest::mouseClick(dialog.Button2, Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(f.dm->ADOTestBuf->value(QStringLiteral("PNumPoint1")).toInt(), fill.rows);

        dialog.show();
        dialog.grid()->selectRow(4);
        QTest::mouseClick(dialog.Button1, Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(f.dm->ADOTestBuf->recNo(), 0);

        dialog.show();
        QTest::mouseClick(dialog.Button3, Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        dialog.setSelectPointVisible(false);
        dialog.show();
        QVERIFY(!dialog.Button2->isVisible());
    }

    void protocolDataDialog()
    {
        kvtest::TempSettings settings;
        TFdataReport dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Данные для протокола"));
        QVERIFY(!dialog.CBAuto->isChecked());
        QCOMPARE(dialog.ENumProt->text(), QStringLiteral("0"));
        QCOMPARE(dialog.ENumUst->text(), QStringLiteral("0"));
        QCOMPARE(dialog.EDo->text(), QStringLiteral("0"));
        QVERIFY(dialog.EPPover->text().isEmpty());

        dialog.show();
        dialog.ENumProt->clear();
        QTest::keyClicks(dialog.ENumProt, QStringLiteral("4x1,"));
        QCOMPARE(dialog.ENumProt->text(), QStringLiteral("41"));
        QTest::keyClick(dialog.ENumProt, Qt::Key_Backspace);
        QTest::keyClick(dialog.ENumProt, Qt::Key_1);
        QCOMPARE(dialog.ENumProt->text(), QStringLiteral("41"));
        dialog.EPPover->setText(QStringLiteral("ЦСМ"));
        dialog.CBAuto->setChecked(true);
        dialog.close();  // the close box stores as OK does
        settings.restart();
        QCOMPARE(kv::settingText(kv::kProtocolDataGroup, QStringLiteral("enumProt")), QStringLiteral("41"));
        QCOMPARE(kv::settingText(kv::kProtocolDataGroup, QStringLiteral("PPover")), QStringLiteral("ЦСМ"));
        QCOMPARE(kv::settingText(kv::kProtocolDataGroup, QStringLiteral("eautoInc")), QStringLiteral("1"));

        // Shown again: the settings are read anew.
        kv::setSettingText(kv::kProtocolDataGroup, QStringLiteral("enumProt"), QStringLiteral("41"));
        dialog.ENumProt->setText(QStringLiteral("junk"));
        dialog.show();
        QCOMPARE(dialog.ENumProt->text(), QStringLiteral("41"));
        dialog.AdvanceProtocolNumber();
        QCOMPARE(dialog.ENumProt->text(), QStringLiteral("42"));
        QCOMPARE(kv::settingText(kv::kProtocolDataGroup, QStringLiteral("enumProt")), QStringLiteral("42"));
        dialog.CBAuto->setChecked(false);
        dialog.AdvanceProtocolNumber();
        QCOMPARE(dialog.ENumProt->text(), QStringLiteral("42"));
        QTest::mouseClick(dialog.ButtonOK, Qt::LeftButton);
        QCOMPARE(kv::settingText(kv::kProtocolDataGroup, QStringLiteral("eautoInc")), QStringLiteral("0"));
    }
};

QTEST_MAIN(TestSetupWindows)
#include "test_setup_windows.moc"
