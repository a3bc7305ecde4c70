// The operator's side of a run: the meter numbers, register readings and
// point parameters dialogs, and the run window's wiring.

#include "run_fixture.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace runtest;

namespace {

// A rig whose run uses positions 1 and 2 of stand 1 and position 6 of stand 3.
struct DialogRig : Rig {
    DialogRig()
    {
        const qlonglong type = addType({});
        const qlonglong test = addTest({{1}});
        choose(ModeVerification, {{1, {1, 2}}, {3, {6}}}, type, test, 1);
        run->SetSetup(&setup);
    }
};

QList<int> enabledEdits(const std::array<QLineEdit *, 31> &edits)
{
    QList<int> out;
    for (int n = 1; n <= 30; ++n)
        if (edits[n]->isEnabled())
            out << n;
    return out;
}

}  // namespace

class TestRunDialogs : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void meterNumbersAreAllRequired()
    {
        DialogRig rig;
        TFNumber &dlg = rig.windows->FNumber;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Номера счетчиков на стендах"));
        dlg.FormShow();
        QCOMPARE(enabledEdits(dlg.Edit), (QList<int>{1, 2, 18}));
        QCOMPARE(dlg.Edits[3][6], dlg.Edit[18]);
        QCOMPARE(dlg.Edit[8]->objectName(), QStringLiteral("Edit8"));

        dlg.Edit[1]->setText(QStringLiteral("0012345"));
        dlg.Edit[18]->setText(QStringLiteral("777"));
        dlg.Button1Click();
        QCOMPARE(rig.ui->texts(), QStringList{QStringLiteral("  Введите все номера счетчиков !  ")});
        QCOMPARE(rig.ui->boxes().at(0).icon, kv::Icon::None);
        QCOMPARE(dlg.result(), 0);
        // The cursor waits in the first empty number.
        QCOMPARE(dlg.focusWidget(), dlg.Edit[2]);
        // What came before the empty edit is already taken.
        QCOMPARE(rig.run->StandResults[1].MeterNumber[1], QStringLiteral("0012345"));
        QVERIFY(rig.run->StandResults[3].MeterNumber[6].isEmpty());

        dlg.Edit[2]->setText(QStringLiteral("0012346"));
        dlg.Button1Click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(rig.run->StandResults[1].MeterNumber[2], QStringLiteral("0012346"));
        QCOMPARE(rig.run->StandResults[3].MeterNumber[6], QStringLiteral("777"));
        QCOMPARE(rig.ui->boxes().size(), 1);

        // No longer than the archive keeps.
        dlg.Edit[1]->clear();
        QTest::keyClicks(dlg.Edit[1], QStringLiteral("12345678901234567890"));
        QCOMPARE(dlg.Edit[1]->text(), QStringLiteral("123456789012345"));

        // Next showing: ticked positions keep their numbers, others lose them.
        rig.setup.positionReleased(2, false);
        rig.setup.positionReleased(rig.setup.boxOf(2, 1), true);
        dlg.FormShow();
        QCOMPARE(enabledEdits(dlg.Edit), (QList<int>{1, 7, 18}));
        QCOMPARE(dlg.Edit[1]->text(), QStringLiteral("123456789012345"));
        QVERIFY(dlg.Edit[2]->text().isEmpty());
        QVERIFY(dlg.Edit[7]->text().isEmpty());
        dlg.Button3Click();
        QVERIFY(dlg.Edit[1]->text().isEmpty() && dlg.Edit[18]->text().isEmpty());

        // "Закрыть" is a cancel.
        dlg.setResult(0);
        dlg.Button2->click();
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }

    void registerReadingKeys()
    {
        QCOMPARE(RegisterReadingKey(QStringLiteral("1"), QLatin1Char(',')), QLatin1Char('.'));
        QCOMPARE(RegisterReadingKey(QStringLiteral("1"), QLatin1Char('.')), QLatin1Char('.'));
        QVERIFY(RegisterReadingKey(QStringLiteral("1.2"), QLatin1Char(',')).isNull());
        QVERIFY(RegisterReadingKey(QStringLiteral("1"), QLatin1Char('a')).isNull());
        QVERIFY(RegisterReadingKey(QStringLiteral("1"), QLatin1Char('-')).isNull());
        QVERIFY(RegisterReadingKey(QStringLiteral("1"), QChar(13)).isNull());
        QCOMPARE(RegisterReadingKey(QStringLiteral("1"), QChar(8)), QChar(8));
        QCOMPARE(RegisterReadingKey(QString(), QLatin1Char('9')), QLatin1Char('9'));

        DialogRig rig;
        TfPokas &dlg = rig.windows->fPokas;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Показания  счетных устройств"));
        dlg.FormShow();
        QCOMPARE(enabledEdits(dlg.Edit), (QList<int>{1, 2, 18}));
        QCOMPARE(dlg.Edit[1]->text(), QStringLiteral("0"));
        QVERIFY(dlg.Edit[3]->text().isEmpty());

        QLineEdit *e = dlg.Edit[1];
        e->clear();
        QTest::keyClicks(e, QStringLiteral("1,2"));
        QCOMPARE(e->text(), QStringLiteral("1.2"));
        QTest::keyClicks(e, QStringLiteral(",x.3"));
        QCOMPARE(e->text(), QStringLiteral("1.23"));
        QTest::keyClick(e, Qt::Key_Backspace);
        QCOMPARE(e->text(), QStringLiteral("1.2"));
        e->setText(QStringLiteral("0120"));
        QTest::keyClick(e, Qt::Key_Return);
        QCOMPARE(e->text(), QStringLiteral("0.012"));

        e->setText(QStringLiteral("12"));
        dlg.Edit1Exit(e);
        QCOMPARE(e->text(), QStringLiteral("12"));
        e->clear();
        dlg.Edit1Exit(e);
        QCOMPARE(e->text(), QStringLiteral("0"));

        // Every enabled field must hold a reading.
        dlg.Edit[18]->clear();
        dlg.Button2Click();
        QCOMPARE(rig.ui->texts(), QStringList{QStringLiteral("  Заполните все поля данных !  ")});
        QCOMPARE(dlg.result(), 0);
        dlg.reject();  // Esc does not leave it either
        QCOMPARE(dlg.result(), 0);
        dlg.Edit[18]->setText(QStringLiteral("5.5"));
        dlg.Edit[2]->setText(QStringLiteral("7"));
        dlg.Button2Click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(rig.run->StandResults[1].MeterEdit[1].Text(), QStringLiteral("0"));
        QCOMPARE(rig.run->StandResults[1].MeterEdit[2].Text(), QStringLiteral("7"));
        QCOMPARE(rig.run->StandResults[3].MeterEdit[6].Text(), QStringLiteral("5.5"));
        QVERIFY(rig.run->StandResults[2].MeterEdit[1].Text().isEmpty());
    }

    void pointParametersConfirmation()
    {
        DialogRig rig;
        TParam_p &dlg = rig.windows->Param_p;
        int purges = 0;
        dlg.Purge = [&] { ++purges; };
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Установите параметры точки"));
        QVERIFY(dlg.RadioButton2->isChecked() && dlg.RadioButton3->isChecked());

        RunControl &run = *rig.run;
        for (int kind : {int(KindRegister), int(KindError)}) {
            run.PointKind = kind;
            run.StandResults[1].MeterEdit[1].SetText(QStringLiteral("1234.5"));
            run.StandResults[1].MeterEdit[1].SetFontColor(Qt::red);
            dlg.setResult(0);
            dlg.Prepare({QStringLiteral("a"), QStringLiteral("b")}, kind == KindRegister);
            dlg.FormShow();
            QCOMPARE(dlg.Memo1->toPlainText(), QStringLiteral("a\nb"));
            QCOMPARE(dlg.RangePanel->isHidden(), kind != KindRegister);
            QCOMPARE(dlg.WindingPanel->isHidden(), kind == KindRegister);
            // Offered only after its wait; then it waits once more before closing.
            QVERIFY(!dlg.BitBtn1->isEnabled());
            QVERIFY(dlg.ShowTimer.isActive());
            dlg.OnShowTimer();
            dlg.BitBtn1Click();
            QVERIFY(dlg.CloseTimer.isActive());
            QCOMPARE(dlg.result(), 0);
            dlg.BitBtn1Click();  // a second press while it waits changes nothing
            dlg.OnCloseTimer();
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QCOMPARE(run.StandResults[1].MeterEdit[1].Text(),
                     kind == KindRegister ? QStringLiteral("1234.5") : QString());
            QCOMPARE(run.StandResults[1].MeterEdit[1].FontColor(), QColor(Qt::black));
        }
        QCOMPARE(purges, 2);

        // The radio states outlive the dialog.
        dlg.RadioButton1->setChecked(true);
        dlg.RadioButton4->setChecked(true);
        TParam_p again(run, *rig.f.dm);
        QVERIFY(again.RadioButton1->isChecked() && !again.RadioButton2->isChecked());
        QVERIFY(again.RadioButton4->isChecked() && !again.RadioButton3->isChecked());
    }

    void runWindowWiring()
    {
        DialogRig rig;
        TRegul &w = rig.windows->Regul;
        RunControl &run = *rig.run;
        run.SetUpVerification(1);
        run.WindowVisible = true;
        run.Changed();
        QVERIFY(w.isVisible());
        QCOMPARE(w.windowTitle(), QStringLiteral("Поверка"));
        QVERIFY(!(w.windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!w.BNext->isHidden() && !w.BTResult->isHidden() && !w.BTNumber->isHidden());
        QVERIFY(w.BReady->isHidden() && w.BNewTest->isHidden() && w.PTime->isHidden());
        QVERIFY(w.Memo2->isHidden());
        QVERIFY(w.MeterEdit[1][2]->isEnabled());
        QVERIFY(!w.MeterEdit[1][3]->isEnabled());
        QVERIFY(!w.ResetButton[1]->isHidden() && w.ResetButton[2]->isHidden());
        QCOMPARE(w.MeterEdit[3][6]->property("tag").toInt(), 36);
        QCOMPARE(w.LTime->text(), QStringLiteral("0 мин  00 сек"));

        // A reading shown in red.
        run.StandResults[1].MeterEdit[2].SetText(QStringLiteral("+1.50"));
        run.StandResults[1].MeterEdit[2].SetFontColor(Qt::red);
        QCOMPARE(w.MeterEdit[1][2]->text(), QStringLiteral("+1.50"));
        QCOMPARE(w.MeterEdit[1][2]->palette().color(QPalette::Text), QColor(Qt::red));

        // The pop-up menu by the kind of point, and the keys of a field.
        run.PointKind = KindError;
        QCOMPARE(w.PopupActions(12), QList<QAction *>{w.AClearCH});
        QCOMPARE(w.AClearCH->text(), QStringLiteral("Сброс счетчика"));
        run.PointKind = KindCreep;
        QCOMPARE(w.PopupActions(36), (QList<QAction *>{w.Anorma, w.Anot}));
        run.PointKind = KindOther;
        QVERIFY(w.PopupActions(11).isEmpty());
        QList<int> cleared, spaced;
        run.Hooks.ClearMeter = [&](int tag) { cleared << tag; };
        run.Hooks.SpaceBar = [&](int tag) { spaced << tag; };
        QTest::keyClick(w.MeterEdit[3][6], Qt::Key_Escape);
        QTest::keyClick(w.MeterEdit[1][1], Qt::Key_Space);
        QCOMPARE(cleared, QList<int>{36});
        QCOMPARE(spaced, QList<int>{11});
        QVERIFY(w.MeterEdit[1][1]->text().isEmpty());

        // "Главное меню" after the run was saved closes without a question.
        run.SaveInBaseEnabled = false;
        w.BMainMenu->click();
        QVERIFY(rig.ui->boxes().isEmpty());
        QVERIFY(!w.isVisible());
        QCOMPARE(rig.link.PendingCommand, QStringLiteral("Exit"));

        // Manual work shows neither the point nor the point buttons.
        run.SetUpManual();
        QCOMPARE(w.windowTitle(), QStringLiteral("Ручная проверка"));
        QVERIFY(w.Memo1->isHidden() && w.LPoint->isHidden() && w.BNext->isHidden() && w.BSelect->isHidden());
        QVERIFY(w.BTNumber->isHidden() && w.BTResult->isHidden());
    }
};

QTEST_MAIN(TestRunDialogs)
#include "test_run_dialogs.moc"
