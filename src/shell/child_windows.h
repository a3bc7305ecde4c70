#pragma once
// The child windows of the main window. The meter types, tests and archive
// windows live with the data they show; the query result window is in
// shell/query_window.h.

#include "reference/archive_window.h"
#include "reference/tests_window.h"
#include "reference/types_window.h"
#include "shell/child_form.h"
#include "shell/query_window.h"

namespace basekvintor {

// Help topics of the windows.
inline constexpr int kHelpTip = 4;
inline constexpr int kHelpTest = 5;
inline constexpr int kHelpArchiv = 6;
inline constexpr int kHelpSQL = 7;
inline constexpr int kHelpSQLShape = 9;

}  // namespace basekvintor
