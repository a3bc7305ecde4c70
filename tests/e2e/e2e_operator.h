#pragma once
// The operator's answers to the control program's dialogs that every
// end-to-end run of it gives alike.

#include "run/current_window.h"
#include "setup/point_parameters_window.h"
#include "setup/reg_table_window.h"

#include <QPushButton>
#include <QRadioButton>

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

}  // namespace e2e
