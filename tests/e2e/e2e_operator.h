#pragma once
// The operator's answers to the control program's dialogs that every
// end-to-end run of it gives alike.

#include "run/current_window.h"
#include "setup/meter_numbers_window.h"
#include "setup/point_parameters_window.h"
#include "setup/reg_table_window.h"
#include "setup/register_readings_window.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>

#include <functional>

namespace e2e {

// "Таблица проведения теста": from the first point.
inline int fromTheFirstPoint(kvintor::TRegTable &w)
{
    w.setResult(0);
    w.Button1Click();
    return w.result();
}

// The point's parameters: the reference meter's 5 A range, confirmed once
// "Установлено" is offered.
inline int confirmThePoint(kvintor::TParam_p &w)
{
    w.setResult(0);
    w.FormShow();
    w.RadioButton2->setChecked(true);
    w.OnShowTimer();
    w.BitBtn1Click();
    w.OnCloseTimer();
    return w.result();
}

// The prescription, "Готово".
inline int prescriptionDone(kvintor::TFCurrent &w)
{
    w.Button1->click();
    return w.result();
}

// The dialogs of a run that every operator answers alike, noted in `seen`:
// the test table, a point's parameters (`point` is its number), the
// prescription. -1 for any other dialog.
inline int answerRunDialog(QDialog *d, QStringList &seen, const QString &point)
{
    if (auto *w = qobject_cast<kvintor::TRegTable *>(d)) {
        seen << QStringLiteral("Таблица");
        return fromTheFirstPoint(*w);
    }
    if (auto *w = qobject_cast<kvintor::TParam_p *>(d)) {
        seen << QStringLiteral("Точка ") + point;
        return confirmThePoint(*w);
    }
    if (auto *w = qobject_cast<kvintor::TFCurrent *>(d)) {
        seen << QStringLiteral("Предписание");
        return prescriptionDone(*w);
    }
    return -1;
}

// Every enabled edit of a stand-by-position dialog (register readings,
// meter numbers) gets text(s, p); then its OK.
template <typename Dialog>
int fillEdits(Dialog &w, const std::function<QString(int, int)> &text, void (Dialog::*ok)())
{
    w.setResult(0);
    w.FormShow();
    for (int s = 1; s <= 5; ++s)
        for (int p = 1; p <= 6; ++p)
            if (w.Edits[s][p]->isEnabled())
                w.Edits[s][p]->setText(text(s, p));
    (w.*ok)();
    return w.result();
}

}  // namespace e2e
