#pragma once
// The four child windows of the main window. The meter types and tests
// windows live with the reference data they edit; the archive and query
// result windows show their data sets in plain grids here and grow their own
// actions on top of this.

#include "reference/tests_window.h"
#include "reference/types_window.h"
#include "shell/child_form.h"

namespace kv {
class DataGrid;
}

namespace basekvintor {

class TDM;

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
