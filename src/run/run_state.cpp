#include "run/run_state.h"

#include "setup/run_setup.h"

#include <algorithm>

namespace kvintor {

void PositionField::SetText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    if (m_changed)
        m_changed(true);
}

void PositionField::SetFontColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    if (m_changed)
        m_changed(false);
}

void PositionField::SetEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (m_changed)
        m_changed(false);
}

RunState::RunState(QObject *parent) : QObject(parent)
{
    for (int s = 1; s <= 5; ++s)
        for (int p = 1; p <= 6; ++p) {
            PositionField &f = StandResults[s].MeterEdit[p];
            f.Tag = 10 * s + p;
            f.m_changed = [this, s, p](bool textChanged) {
                Q_EMIT fieldChanged(s, p);
                if (textChanged)
                    Q_EMIT fieldTextChanged(s, p);
            };
        }
}

bool RunState::Occupied(int stand, int position) const
{
    if (!m_setup || stand < 1 || stand > 5 || position < 1 || position > 6)
        return false;
    return m_setup->StandSetup[stand].positions[position];
}

bool RunState::StandInUse(int stand) const
{
    return m_setup && stand >= 1 && stand <= 5 && m_setup->StandInUse[stand];
}

void RunState::SizeResults(int capacity)
{
    const int n = std::max(capacity, 0);
    for (int s = 1; s <= 5; ++s) {
        StandResultsRecord &r = StandResults[s];
        r.Limits.fill(0, n);
        for (int p = 1; p <= 6; ++p) {
            r.Errors[p].fill(0, n);
            r.Measured[p].fill(false, n);
            r.PointNumbers[p].fill(0, n);
        }
    }
}

bool RunState::ValidPointIndex(int index) const
{
    return index >= 1 && index < StandResults[1].Limits.size();
}

void RunState::ClearResults()
{
    PointStarted = false;
    StatusText.clear();
    for (int s = 1; s <= 5; ++s) {
        StandResultsRecord &r = StandResults[s];
        r.Limits.fill(0);
        for (int p = 1; p <= 6; ++p) {
            r.Errors[p].fill(0);
            r.Measured[p].fill(false);
            r.PointNumbers[p].fill(0);
            r.MeterNumber[p].clear();
            r.SensSeen[p] = 0;
            r.SensVerdict[p] = 0;
            r.CreepSeen[p] = 0;
            r.CreepVerdict[p] = 0;
            r.RegisterVerdict[p] = 0;
            r.PulseCount[p] = 0;
        }
        r.PulsesPerReport = 0;
        r.PulsesPerDivision = 0;
        r.DivisionValue = 0;
    }
    Q_EMIT changed();
}

void RunState::PrepareFields()
{
    for (int s = 1; s <= 5; ++s) {
        StandResultsRecord &r = StandResults[s];
        for (int p = 1; p <= 6; ++p) {
            PositionField &f = r.MeterEdit[p];
            f.SetEnabled(Occupied(s, p));
            f.SetFontColor(Qt::black);
            f.SetText(QString());
        }
        r.ResetButton.Visible = StandInUse(s);
    }
}

void RunState::setUpCommon(const QString &caption)
{
    Caption = caption;
    PointKind = 4;
    CountdownVisible = false;
    ReadyVisible = false;
    NewTestVisible = false;
    PrepareFields();
}

void RunState::SetUpManual()
{
    setUpCommon(QStringLiteral("Ручная проверка"));
    PointVisible = false;
    NextVisible = SelectVisible = false;
    ResultVisible = false;
    NumbersVisible = false;
    Q_EMIT changed();
}

void RunState::SetUpRegulation()
{
    setUpCommon(QStringLiteral("Регулировка"));
    PointVisible = true;
    NextVisible = SelectVisible = true;
    ResultVisible = false;
    NumbersVisible = false;
    Q_EMIT changed();
}

void RunState::SetUpVerification(int rgAuto)
{
    setUpCommon(QStringLiteral("Поверка"));
    const bool byHand = rgAuto == 1;
    PointVisible = true;
    NextVisible = SelectVisible = byHand;
    ResultVisible = byHand;
    NumbersVisible = true;
    Q_EMIT changed();
}

}  // namespace kvintor
