#include "setup/run_setup.h"

#include "core/settings.h"
#include "core/ui.h"
#include "protocols/text_convert.h"
#include "setup/data_module.h"

#include <algorithm>

namespace kvintor {

namespace {

const QString kGroupBoxes = QStringLiteral("CH");
const QString kGroupChoices = QStringLiteral("DB");

// A plain message box carries the program's title.
void plainMessage(const QString &text)
{
    kv::ui().message(nullptr, QStringLiteral("Kvintor"), text, kv::Icon::None, QMessageBox::Ok, QMessageBox::Ok);
}

qlonglong storedIndex(const QString &key)
{
    bool ok = false;
    const qlonglong v = kv::settingText(kGroupChoices, key, QStringLiteral("0")).trimmed().toLongLong(&ok);
    return ok ? v : 0;
}

}  // namespace

double pulsesPerKWh(double constant, int unitCode)
{
    if (!(constant > 0))
        return 0;
    switch (unitCode) {
    case 2: return 1.0 / constant;
    case 3: return 3600000.0 / constant;
    default: return constant;
    }
}

RunSetup::RunSetup(TDM &dm, QObject *parent) : QObject(parent), m_dm(dm)
{
}

void RunSetup::prepareRun(const QString &title)
{
    caption = title;
    revolutionsVisible = false;
    handleVisible = false;
    autoVisible = false;
    testVisible = true;
    for (int s = 1; s <= 5; ++s) {
        StandInUse[s] = false;
        if (!StandPresent[s]) {
            StandSetup[s].positions.fill(false);
            StandSetup[s].all = false;
            clearType(s);
        }
    }
    recomputeMaxConstant();
}

void RunSetup::PrepareRegulation()
{
    prepareRun(QStringLiteral("Регулировка"));
    Q_EMIT changed();
}

void RunSetup::PrepareVerification()
{
    prepareRun(QStringLiteral("Поверка"));
    autoVisible = true;
    Q_EMIT changed();
}

void RunSetup::PrepareManual(bool transformerTr1)
{
    prepareRun(QStringLiteral("Ручная проверка"));
    handleVisible = true;
    handleReferenceMeter = transformerTr1;
    testVisible = false;
    revolutionsVisible = true;
    for (int s = 1; s <= 5; ++s)
        if (!StandPresent[s])
            StandSetup[s].revolutions = kAutomatic;
    Q_EMIT changed();
}

void RunSetup::FormShow()
{
    for (int s = 1; s <= 5; ++s) {
        StandSetupRecord &st = StandSetup[s];
        st.all = StandPresent[s];
        for (int p = 1; p <= 6; ++p) {
            st.positions[p] = StandPresent[s] &&
                              kv::settingFlag(kGroupBoxes, QStringLiteral("C%1").arg(boxOf(s, p)), false);
            if (!st.positions[p])
                st.all = false;
        }
        // The remembered choices are read again below and checked against each
        // other in stand order, never against a choice of an earlier showing.
        clearType(s);
    }
    UpdateStandsInUse();
    for (int s = 1; s <= 5; ++s) {
        if (!StandInUse[s])
            continue;
        const qlonglong tip = storedIndex(QStringLiteral("Tip%1").arg(s));
        Dataset *types = m_dm.ADOTipStend(s);
        // A type deleted meanwhile is forgotten without a word.
        if (tip != 0 && types && types->locate(QStringLiteral("PIndex"), tip))
            typeChosen(s, types->recNo());
    }
    recomputeMaxConstant();
    const qlonglong test = storedIndex(QStringLiteral("Test1"));
    if (test != 0) {
        if (m_dm.ADOTest1->locate(QStringLiteral("PIndex"), test)) {
            testChosen(m_dm.ADOTest1->recNo());
        } else {
            testText.clear();
            testIndex = 0;
        }
    }
    Q_EMIT changed();
}

void RunSetup::FormClose()
{
    const QVariant test = m_dm.ADOTest1->value(QStringLiteral("PIndex"));
    kv::setSettingText(kGroupChoices, QStringLiteral("Test1"), QString::number(test.isNull() ? 0 : test.toLongLong()));
    for (int s = 1; s <= 5; ++s) {
        for (int p = 1; p <= 6; ++p)
            kv::setSettingFlag(kGroupBoxes, QStringLiteral("C%1").arg(boxOf(s, p)), StandSetup[s].positions[p]);
        kv::setSettingText(kGroupChoices, QStringLiteral("Tip%1").arg(s),
                           QString::number(hasType(s) ? StandSetup[s].typeIndex : 0));
    }
    kv::saveSettings();
}

void RunSetup::UpdateStandsInUse()
{
    updateInUse();
}

void RunSetup::updateInUse()
{
    startEnabled = false;
    for (int s = 1; s <= 5; ++s) {
        StandInUse[s] = std::any_of(StandSetup[s].positions.begin() + 1, StandSetup[s].positions.end(),
                                    [](bool b) { return b; });
        if (StandInUse[s])
            startEnabled = true;
    }
    recomputeMaxConstant();
}

void RunSetup::positionReleased(int box, bool ticked)
{
    if (box < 1 || box > 30)
        return;
    const int s = (box - 1) / 6 + 1;
    const int p = (box - 1) % 6 + 1;
    StandSetupRecord &st = StandSetup[s];
    st.positions[p] = ticked;
    st.all = std::all_of(st.positions.begin() + 1, st.positions.end(), [](bool b) { return b; });
    updateInUse();
    Q_EMIT changed();
}

void RunSetup::allReleased(int stand, bool ticked)
{
    if (stand < 1 || stand > 5)
        return;
    StandSetupRecord &st = StandSetup[stand];
    st.all = ticked;
    for (int p = 1; p <= 6; ++p)
        st.positions[p] = ticked;
    updateInUse();
    Q_EMIT changed();
}

void RunSetup::clearType(int stand)
{
    StandSetupRecord &st = StandSetup[stand];
    st.typeText.clear();
    st.designation.clear();
    st.typeIndex = 0;
    st.Unom = 0;
    st.Inom = 0;
    st.Scheme = 0;
    st.constant = 0;
    st.energy = 0;
}

void RunSetup::recomputeMaxConstant()
{
    // Only this run's meters count: a constant kept from an earlier run would
    // make the countdown too short for this run's slowest meter.
    MaxConstant = 0;
    for (int s = 1; s <= 5; ++s)
        if (StandInUse[s] && hasType(s))
            MaxConstant = std::max(MaxConstant, StandSetup[s].constant);
}

bool RunSetup::mismatch(int s)
{
    const StandSetupRecord &me = StandSetup[s];
    for (int t = 1; t <= 5; ++t) {
        if (t == s || !StandInUse[t] || !hasType(t))
            continue;
        const StandSetupRecord &other = StandSetup[t];
        QString what;
        if (other.Unom != 0 && other.Unom != me.Unom)
            what = QStringLiteral(" не соответствуют номинальные напряжения");
        else if (other.Inom != 0 && other.Inom != me.Inom)
            what = QStringLiteral(" не соответствуют номинальные токи");
        else if (other.Scheme != 0 && other.Scheme != me.Scheme)
            what = QStringLiteral(" не соответствуют схемы включения");
        if (!what.isEmpty()) {
            plainMessage(QStringLiteral("У счетчиков на стендах %1 и %2").arg(QString::number(s), QString::number(t)) + what);
            return true;
        }
    }
    return false;
}

void RunSetup::typeChosen(int stand, int row)
{
    if (stand < 1 || stand > 5)
        return;
    Dataset *types = m_dm.ADOTipStend(stand);
    if (row < 0 || !types || !types->setCurrent(row)) {
        clearType(stand);  // closed empty: the stand has no type
        recomputeMaxConstant();
        Q_EMIT changed();
        return;
    }
    StandSetupRecord &st = StandSetup[stand];
    st.Unom = types->value(QStringLiteral("PUnom")).toDouble();
    st.Inom = types->value(QStringLiteral("PInom")).toDouble();
    st.Scheme = types->value(QStringLiteral("PPhase")).toInt();
    const double constant = types->value(QStringLiteral("PReductRate")).toDouble();
    const int unit = types->value(QStringLiteral("PIdentReductRate")).toInt();
    if (mismatch(stand)) {
        clearType(stand);
        recomputeMaxConstant();
        Q_EMIT changed();
        return;
    }
    st.typeText = types->value(QStringLiteral("PTip")).toString();
    st.designation = types->value(QStringLiteral("PIdentificator")).toString();
    st.typeIndex = types->value(QStringLiteral("PIndex")).toLongLong();
    st.constant = pulsesPerKWh(constant, unit);
    st.energy = types->value(QStringLiteral("PEnergy")).toInt();
    RunScheme = st.Scheme;
    RunUnom = st.Unom;
    RunInom = st.Inom;
    RunEnergy = st.energy;
    recomputeMaxConstant();
    Q_EMIT changed();
}

void RunSetup::testChosen(int row)
{
    Dataset *tests = m_dm.ADOTest1;
    if (row < 0 || !tests->setCurrent(row)) {
        testText.clear();
        testIndex = 0;
        Q_EMIT changed();
        return;
    }
    testText = tests->value(QStringLiteral("PNameTable")).toString();
    testIndex = tests->value(QStringLiteral("PIndex")).toLongLong();
    if (RunMode == ModeVerification && !testText.isEmpty()) {
        QString error;
        const int n = m_dm.testPointCount(int(testIndex), &error);
        if (n < 0)
            kv::ui().error(nullptr, QStringLiteral("Ошибка"), QStringLiteral("Ошибка запроса к базе данных !!!"));
        else
            RunPointCapacity = n + 4;
    }
    Q_EMIT changed();
}

void RunSetup::revolutionKey(int stand, QChar key)
{
    if (stand < 1 || stand > 5)
        return;
    QString &text = StandSetup[stand].revolutions;
    if (key == QChar(8)) {
        if (text == kAutomatic)
            text.clear();
        else
            text.chop(1);
    } else if (key == QChar(13)) {
        // Enter passes and changes nothing.
    } else if (key >= QLatin1Char('0') && key <= QLatin1Char('9')) {
        if (text == kAutomatic)
            text = key;
        else if (text.size() < 2)
            text += key;
    } else {
        text = kAutomatic;
    }
    Q_EMIT changed();
}

void RunSetup::revolutionExit(int stand)
{
    if (stand < 1 || stand > 5)
        return;
    QString &text = StandSetup[stand].revolutions;
    if (text != kAutomatic && kv::TextToNumber(text) < 1)
        text = kAutomatic;
    Q_EMIT changed();
}

bool RunSetup::Start()
{
    if ((RunMode == ModeRegulation || RunMode == ModeVerification) && testText.isEmpty()) {
        plainMessage(QStringLiteral("  Не выбран тест !"));
        return false;
    }
    for (int s = 1; s <= 5; ++s)
        if (StandInUse[s] && !hasType(s)) {
            plainMessage(QStringLiteral("  Не выбран тип счетчика для стенда №%1  ").arg(s));
            return false;
        }
    // A stand taken back into use keeps the type it had; only the stands of
    // this run have been compared so far, so the run's types are compared
    // once more before it starts. The operator's choices stay as they are.
    for (int s = 1; s <= 5; ++s)
        if (StandInUse[s] && hasType(s) && mismatch(s))
            return false;
    return true;
}

void RunSetup::Clear()
{
    for (int s = 1; s <= 5; ++s)
        clearType(s);
    recomputeMaxConstant();
    Q_EMIT changed();
}

}  // namespace kvintor
