#pragma once
// A run ready to start: a data module over a fresh database with meter types
// and tests made to measure, a run setup with stands, positions and types
// chosen, the stand link, the run's windows, and the operator's answers to
// every dialog scripted through the recording message seam.

#include "setup/setup_fixture.h"
#include "database/engine_sql.h"

#include "core/ui.h"
#include "link/stand_frames.h"
#include "link/stand_link.h"
#include "run/run_windows.h"
#include "setup/reg_table_window.h"
#include "setup/run_launch.h"
#include "setup/run_setup.h"
#include "setup/test_table.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSqlQuery>

#include <memory>

namespace runtest {

using namespace kvintor;

struct TypeSpec {
    QString tip = QStringLiteral("Т-1");
    double rate = 1000;
    int unit = 1;  // 1 pulses per kWh, 2 kWh per pulse, 3 W·s per pulse
    int energy = 1;
    double division = 0.1;
    double unom = 100;
    double inom = 5;
    int phase = 2;
};

// A point row of a test: PNumPoint1, %U, %I, PKM, PLC, count, limit.
struct PointSpec {
    int number;
    int u = 100;
    int i = 100;
    double km = 1;
    int lc = 0;
    int count = 5;
    double limit = 1;
};

class Rig
{
public:
    setuptest::Fixture f;
    kv::ScopedRecordingUi ui;
    StandLink link;
    TRegTable regTable{*f.dm};
    RunSetup setup{*f.dm};
    bool tr1 = true;
    std::unique_ptr<RunWindows> windows;
    RunControl *run = nullptr;
    QList<QByteArray> frames;  // every request queued for the line

    Rig()
    {
        if (!f.startError.isEmpty())
            qFatal("%s", qPrintable(f.startError));
        if (!f.dm->openConnection().isEmpty())
            qFatal("no connection");
        windows = std::make_unique<RunWindows>(link, *f.dm, &regTable, [this] { return tr1; });
        run = &windows->Control;
        QObject::connect(&link, &StandLink::FrameQueued, [this](const QByteArray &b) { frames << b; });
    }

    ~Rig()
    {
        windows.reset();
    }

    qlonglong addType(const TypeSpec &t)
    {
        QSqlQuery q(f.db.db());
        q.prepare(kv::engineSql(q.driver(), QStringLiteral("INSERT INTO TTip (PTip, PIdentificator, PUnom, PInom, PReductRate, PIdentReductRate, "
                                 "PPhase, PEnergy, PCenaDel) VALUES (?,?,?,?,?,?,?,?,?)")));
        for (const QVariant &v : QVariantList{t.tip, t.tip, t.unom, t.inom, t.rate, t.unit, t.phase, t.energy, t.division})
            q.addBindValue(v);
        if (!q.exec())
            qFatal("addType");
        const qlonglong key = q.lastInsertId().toLongLong();
        for (int s = 1; s <= 5; ++s)
            f.dm->ADOTipStend(s)->refresh();
        return key;
    }

    qlonglong addTest(const QList<PointSpec> &points, setuptest::Special sens = {}, setuptest::Special creep = {},
                      setuptest::Special reg = {})
    {
        const qlonglong test = setuptest::addTest(f.db.db(), QStringLiteral("Тест%1").arg(++m_tests), {}, sens, creep, reg);
        for (const PointSpec &p : points) {
            QSqlQuery q(f.db.db());
            q.prepare(kv::engineSql(q.driver(), QStringLiteral(
                "INSERT INTO TTestPoint (PSecIndex, PNumPoint1, PNumPoint, PPersentU, PPhaseUA, PPhaseUB, PPhaseUC, "
                "PPersentI, PPhaseIA, PPhaseIB, PPhaseIC, PKM, PLC, PCountRotation, PMeasureMax) "
                "VALUES (?, ?, ?, ?, 1, 1, 1, ?, 1, 1, 1, ?, ?, ?, ?)")));
            for (const QVariant &v : QVariantList{test, p.number, p.number, p.u, p.i, p.km, p.lc, p.count, p.limit})
                q.addBindValue(v);
            if (!q.exec())
                qFatal("addTest point");
        }
        f.dm->ADOTest1->refresh();
        return test;
    }

    // The stands and positions used, each stand with the given type.
    void choose(int mode, const QList<QPair<int, QList<int>>> &stands, qlonglong type, qlonglong test = 0,
                int rgAuto = 1)
    {
        std::array<bool, 6> present{};
        for (const auto &s : stands)
            present[s.first] = true;
        setup.RunMode = mode;
        setup.setStandPresent(present);
        if (mode == ModeVerification)
            setup.PrepareVerification();
        else if (mode == ModeRegulation)
            setup.PrepareRegulation();
        else
            setup.PrepareManual(tr1);
        setup.RGAuto = rgAuto;
        for (const auto &s : stands) {
            for (int p : s.second)
                setup.positionReleased(setup.boxOf(s.first, p), true);
            Dataset *types = f.dm->ADOTipStend(s.first);
            if (!types->locate(QStringLiteral("PIndex"), type))
                qFatal("type");
            setup.typeChosen(s.first, types->recNo());
        }
        if (test) {
            if (!f.dm->ADOTest1->locate(QStringLiteral("PIndex"), test))
                qFatal("test");
            setup.testChosen(f.dm->ADOTest1->recNo());
        }
    }

    RunStart start(int mode)
    {
        RunStart r;
        r.RunMode = mode;
        r.setup = &setup;
        r.dm = f.dm.get();
        if (mode == ModeVerification)
            r.table = FillVerificationTable(*f.dm, setup.RGAuto);
        else if (mode == ModeRegulation)
            r.table = FillRegulationTable(*f.dm);
        return r;
    }

    // ---- the operator's answers, in the order the dialogs come ----
    // "Таблица проведения теста": start at row `row` (0-based; -1 the first).
    void pickRow(int row = -1)
    {
        ui->queueDialog([this, row](QDialog *d) {
            auto *t = qobject_cast<TRegTable *>(d);
            if (!t)
                qFatal("expected the test table, got %s", qPrintable(d->objectName()));
            if (row < 0) {
                t->Button1Click();
            } else {
                f.dm->ADOTestBuf->setCurrent(row);
                t->Button2Click();
            }
            return t->result();
        });
    }
    void cancelTable()
    {
        ui->queueDialog([](QDialog *d) {
            if (!qobject_cast<TRegTable *>(d))
                qFatal("expected the test table");
            return int(QDialog::Rejected);
        });
    }
    // "Установите параметры точки": confirmed after its waits; `range1A` picks
    // "1A" of the reference meter, `winding25A` "2,5A" of the transformer.
    // `whileOpen` runs while the dialog is shown, before it is confirmed.
    void confirmPoint(bool range1A = false, bool winding25A = false, QStringList *memo = nullptr,
                      std::function<void()> whileOpen = {})
    {
        ui->queueDialog([range1A, winding25A, memo, whileOpen](QDialog *d) {
            auto *p = qobject_cast<TParam_p *>(d);
            if (!p)
                qFatal("expected the point parameters, got %s", qPrintable(d->objectName()));
            p->setResult(0);
            p->FormShow();
            (range1A ? p->RadioButton1 : p->RadioButton2)->setChecked(true);
            (winding25A ? p->RadioButton4 : p->RadioButton3)->setChecked(true);
            p->BitBtn1Click();  // not offered yet
            p->OnShowTimer();
            if (whileOpen)
                whileOpen();
            p->BitBtn1Click();
            p->OnCloseTimer();
            if (memo)
                *memo = p->Memo1->toPlainText().split(QLatin1Char('\n'));
            return p->result();
        });
    }
    // "Номера счетчиков на стендах": every enabled edit gets a number, typed
    // as `typed` when one is given.
    void enterNumbers(bool accept = true, const QString &typed = QString())
    {
        ui->queueDialog([accept, typed](QDialog *d) {
            auto *n = qobject_cast<TFNumber *>(d);
            if (!n)
                qFatal("expected the meter numbers");
            if (!accept)
                return int(QDialog::Rejected);
            n->setResult(0);
            n->FormShow();
            for (int e = 1; e <= 30; ++e)
                if (n->Edit[e]->isEnabled())
                    n->Edit[e]->setText(typed.isNull() ? QStringLiteral("N%1").arg(e) : typed);
            n->Button1Click();
            return n->result();
        });
    }

    // Every queued request goes out at once, the waits between bytes skipped.
    void flush()
    {
        for (int i = 0; i < 100000 && link.Transmitter.Busy(); ++i)
            link.Transmitter.OnStepTimer();
    }

    // The sequencer's pacing timer expires: the pending "Next" starts the point.
    void step() { link.OnT02Timer(); }

    QList<QByteArray> setupFrames() const
    {
        QList<QByteArray> out;
        for (const QByteArray &b : frames)
            if (b.size() > 4 && b.at(2) == frame::SOH && b.at(4) == frame::STX)
                out << b;
        return out;
    }

private:
    int m_tests = 0;
};

}  // namespace runtest
