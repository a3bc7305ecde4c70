#pragma once
// The tests window "Тесты": the list of tests, the special tests of the
// current test, its points, and the record actions on whichever list the
// operator works in.

#include "reference/record_toolbar.h"
#include "widgets/child_form.h"

#include <array>

class QCheckBox;
class QGroupBox;
class QToolBar;

namespace kv {
class DataGrid;
class FieldMapper;
class FocusWatch;
class NumberEdit;
}  // namespace kv

namespace basekvintor {

class TDM;
class TestsEditor;

class TFTest : public TChildForm
{
    Q_OBJECT
public:
    explicit TFTest(TDM *dm, QWidget *parent = nullptr);

    TestsEditor *editor() const { return m_editor; }

    // One special test's controls: the box and minutes, seconds, voltage,
    // current, point number.
    struct SpecialGroup {
        QGroupBox *group = nullptr;
        QCheckBox *box = nullptr;
        std::array<kv::NumberEdit *, 5> fields{};
    };

    QToolBar *ToolBar = nullptr;
    RecordActions actions;
    kv::DataGrid *DBTest = nullptr;
    QWidget *PDopTest = nullptr;
    SpecialGroup Sensitivity;  // "Чувствительность"
    SpecialGroup Samochod;     // "Самоход"
    SpecialGroup CountDevice;  // "Счетное устройство"
    QCheckBox *DBCBSensitivity = nullptr;
    QCheckBox *DBCBSamochod = nullptr;
    QCheckBox *DBCBCountDevice = nullptr;
    kv::DataGrid *DBTestPoint = nullptr;
    kv::FieldMapper *Fields = nullptr;

    // Handlers.
    void FormCreate();
    void DBCBSensitivityClick();  // and the other two boxes: their fields follow the box
    void DBCBSensitivityMouseUp();
    void DBTestEnter(kv::DataGrid *grid);
    void DBNumberEditEh1Enter();
    void DBNumberEditEh1Exit();
    void DBTestPointExit();
    void DataSetDelete1Execute();

protected:
    bool event(QEvent *event) override;

private:
    SpecialGroup makeGroup(const QString &title, const QString &prefix);
    void buildPointsGrid();
    bool takeTypedValues();
    void runAction(const std::function<void()> &action);
    void showTest(int row);
    void showPoint(int row);
    void updateActions();
    QList<SpecialGroup *> groups() { return {&Sensitivity, &Samochod, &CountDevice}; }

    TDM *m_dm;
    TestsEditor *m_editor;
    kv::FocusWatch *m_fieldFocus;
    bool m_mainActionAttached = false;
};

}  // namespace basekvintor
