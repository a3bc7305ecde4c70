#pragma once
// The child windows of the main window (their help topics and allowed
// actions are in widgets/main_actions.h). The meter types, tests and archive
// windows live with the data they show; the query result window is in
// shell/query_window.h.

#include "reference/archive_window.h"
#include "reference/tests_window.h"
#include "reference/types_window.h"
#include "shell/query_window.h"
#include "widgets/child_form.h"
