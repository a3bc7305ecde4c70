#pragma once
// For running a whole program unattended (tests of the built executables,
// benchmarks): with KVINTOR_UI_LOG naming a file, every message box is
// appended to that file as one line "icon<TAB>caption<TAB>text" and answered
// with its default button, and every modal dialog is logged and rejected, so
// nothing waits for an operator who is not there.

#include <QString>

namespace kv {

// Installs the logging seam when KVINTOR_UI_LOG is set; returns whether it did.
bool installUiLogFromEnvironment();

// With KVINTOR_UI_ACTIONS naming actions ("ASaveAS,AExport"), triggers each,
// in order, once the event loop runs; then writes KVINTOR_UI_ACTIONS_DONE.
void triggerActionsFromEnvironment();

// With KVINTOR_READY_FILE naming a file, writes it once the event loop runs
// with the windows shown, that is when the program answers the operator; a
// start that fails never gets there.
void announceReadyFromEnvironment();

// For the README's pictures: with KVINTOR_UI_SHOTS naming a folder, every
// named window is grabbed into FOLDER/<program>-<name>.png once it is first
// shown and laid out, and the folder's file <program>.command (the program's
// executable name) is carried out and removed as soon as it appears: one line
// "action NAME", "click NAME|TEXT", "dblclick NAME", "choose NAME ROW",
// "type NAME TEXT", "focus NAME", "show NAME", "size NAME W H",
// "shot NAME FILE", "reject" or "close NAME" (NAME may be "OUTER/NAME").
// Returns whether it was installed.
bool installShotsFromEnvironment();

// The word written for an icon: "none", "information", "warning", "error", "question".
QString iconName(int icon);

}  // namespace kv
