#pragma once
// The child windows of the main window. The meter types and tests windows
// live with the reference data they edit; the archive window shows its data
// sets in plain grids here and grows its own actions on top of this; the
// query result window is in shell/query_window.h.

#include "reference/tests_window.h"
#include "reference/types_window.h"
#include "shell/child_form.h"
#include "shell/query_window.h"

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

// Help topics of the windows.
inline constexpr int kHelpTip = 4;
inline constexpr int kHelpTest = 5;
inline constexpr int kHelpArchiv = 6;
inline constexpr int kHelpSQL = 7;
inline constexpr int kHelpSQLShape = 9;

}  // namespace basekvintor
