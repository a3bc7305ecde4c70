#pragma once
// The four child windows of the main window. Here each shows its data sets in
// plain grids; the meter types, tests, archive and query result windows grow
// their own editors and actions on top of this.

#include "shell/child_form.h"

namespace kv {
class DataGrid;
}

namespace basekvintor {

class TDM;

class TFTip : public TChildForm
{
    Q_OBJECT
public:
    explicit TFTip(TDM *dm, QWidget *parent = nullptr);
    kv::DataGrid *DBTip;
};

class TFTest : public TChildForm
{
    Q_OBJECT
public:
    explicit TFTest(TDM *dm, QWidget *parent = nullptr);
    kv::DataGrid *DBTest;
    kv::DataGrid *DBTestPoint;
};

class TFArchiv : public TChildForm
{
    Q_OBJECT
public:
    explicit TFArchiv(TDM *dm, QWidget *parent = nullptr);
    kv::DataGrid *DBTest;
    kv::DataGrid *DBPosition;
    kv::DataGrid *DBResult;
};

class TFSQL : public TChildForm
{
    Q_OBJECT
public:
    explicit TFSQL(TDM *dm, QWidget *parent = nullptr);
    kv::DataGrid *DBGridSQL;
};

// Help topics of the windows.
inline constexpr int kHelpTip = 4;
inline constexpr int kHelpTest = 5;
inline constexpr int kHelpArchiv = 6;
inline constexpr int kHelpSQL = 7;
inline constexpr int kHelpSQLShape = 9;

}  // namespace basekvintor
