#pragma once
// The database program's start-up: the main window, the data module, then the
// child windows in their order, maximizing again the first of types, tests and
// archive that comes up maximized.

#include <QStringList>

class QApplication;

#include <memory>

namespace basekvintor {

class TDM;
class TFExpert;
class TFTip;
class TFTest;
class TFArchiv;
class TFSQL;
class TFSQLShape;
class TProtocolBuilders;
}  // namespace basekvintor
namespace kv {
class DatabaseGuard;
}
namespace basekvintor {

struct BaseProgram {
    std::unique_ptr<TFExpert> FExpert;
    std::unique_ptr<TDM> DM;
    TFTip *FTip = nullptr;
    TFTest *FTest = nullptr;
    TFArchiv *FArchiv = nullptr;
    TFSQL *FSQL = nullptr;
    TFSQLShape *FSQLShape = nullptr;  // hidden modal dialog, owned by the main window
    // The protocols of the archive's current record, run by the main window's actions.
    std::unique_ptr<TProtocolBuilders> Builders;
    // Tells the operator if the database's locks are ever lost.
    std::unique_ptr<kv::DatabaseGuard> Guard;

    BaseProgram();
    ~BaseProgram();  // the children go with the main window, then the data module
    BaseProgram(BaseProgram &&) noexcept;
};

// Builds the program for `arguments` (--database PATH). A database that cannot
// be opened, or a data set that fails, has been reported in its box and gives
// an empty program (FExpert null): the caller ends with a non-zero code.
BaseProgram startBaseKvintor(const QStringList &arguments);

// The whole program: starts it and runs the message loop until the main
// window closes. Returns the exit code (1 when the start failed).
int runBaseKvintor(QApplication &app);
// The same with the arguments prepared by the caller (a menu start's).
int runBaseKvintor(QApplication &app, const QStringList &arguments);

}  // namespace basekvintor
