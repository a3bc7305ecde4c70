#pragma once
// The control program's start-up: the data module, then the main window and
// the other windows in their order, each living until the program ends.

#include <QString>
#include <QStringList>

#include <memory>

namespace kvintor {

class RunLauncher;
class RunWindows;
class RunSetup;
class TAboutBox;
class TDM;
class TFdataReport;
class TFView;
class TKvintor;
class TProgramm;
}  // namespace kvintor
namespace kv {
class DatabaseGuard;
}
namespace kvintor {
class TRegTable;

// Decimal numbers are written and read with "." whatever the regional
// settings say, in Qt's formatting and in the C library's alike.
void UseDecimalPoint();

// The --port PATH (or --port=PATH) argument: a device used instead of the
// checked "Com" item for this start; empty without one.
QString portArgument(const QStringList &arguments);
// The --database PATH argument as given; empty without one.
QString databaseArgument(const QStringList &arguments);

struct KvintorProgram {
    std::unique_ptr<TDM> DM;
    std::unique_ptr<TKvintor> Kvintor;
    std::unique_ptr<RunSetup> Setup;
    std::unique_ptr<TProgramm> Programm;
    std::unique_ptr<TRegTable> RegTable;
    std::unique_ptr<TAboutBox> AboutBox;
    std::unique_ptr<TFdataReport> FdataReport;
    std::unique_ptr<RunLauncher> Launcher;
    std::unique_ptr<RunWindows> Run;  // the run window and its dialogs
    std::unique_ptr<TFView> View;     // the results viewer
    // Tells the operator if the database's locks are ever lost.
    std::unique_ptr<kv::DatabaseGuard> Guard;

    KvintorProgram();
    ~KvintorProgram();  // windows first, the data module last
    KvintorProgram(KvintorProgram &&) noexcept;
    KvintorProgram &operator=(KvintorProgram &&) noexcept;

    explicit operator bool() const { return Kvintor != nullptr; }
};

// Builds the program for `arguments`. A database that cannot be opened, or a
// dataset that fails, has been reported in its box and gives an empty
// program: the caller ends with a non-zero code.
KvintorProgram startKvintor(const QStringList &arguments);

}  // namespace kvintor
