#pragma once
// The meter types window "Типы счетчиков": the list of types, the parameters
// of the current type, and the record actions.

#include "reference/record_toolbar.h"
#include "widgets/child_form.h"

class QLabel;
class QLineEdit;
class QToolBar;

namespace kv {
class CodeBox;
class DataGrid;
class FieldMapper;
class NumberEdit;
}  // namespace kv

namespace basekvintor {

class TDM;
class TypesEditor;

class TFTip : public TChildForm
{
    Q_OBJECT
public:
    explicit TFTip(TDM *dm, QWidget *parent = nullptr);

    TypesEditor *editor() const { return m_editor; }

    QToolBar *ToolBar = nullptr;
    RecordActions actions;
    kv::DataGrid *DBTip = nullptr;
    // The "Параметры:" panel.
    QLineEdit *DBEditMaker = nullptr;
    kv::NumberEdit *DBEditClassT = nullptr;
    kv::NumberEdit *DBEditReductRate = nullptr;
    QLabel *LCena = nullptr;
    kv::CodeBox *DBIdentReductRate = nullptr;
    kv::NumberEdit *DBEditUnom = nullptr;
    kv::NumberEdit *DBEditInom = nullptr;
    kv::NumberEdit *DBEditImax = nullptr;
    kv::NumberEdit *DBEditCenaDel = nullptr;
    kv::CodeBox *DBEnergy = nullptr;
    kv::CodeBox *DBPhase = nullptr;
    kv::FieldMapper *Fields = nullptr;

    // Handlers.
    void FormCreate();
    void DBTipTitleBtnClick(int column);
    void DataSetFirst1Update();
    void DataSetDelete1Execute();

protected:
    bool event(QEvent *event) override;

private:
    void buildPanel(QWidget *panel);
    // Puts typed values into the record; false when an editor refused its text.
    bool takeTypedValues();
    void runAction(const std::function<void()> &action);
    void showRow(int row);
    void updateActions();

    TDM *m_dm;
    TypesEditor *m_editor;
    bool m_mainActionAttached = false;
};

}  // namespace basekvintor
