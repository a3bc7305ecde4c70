#include "shell/main_window.h"
#include "shell/start_up.h"
#include "widgets/error_report.h"

int main(int argc, char **argv)
{
    // Errors that no operation catches reach the general error report.
    kv::Application app(argc, argv);
    basekvintor::BaseProgram program = basekvintor::startBaseKvintor(app.arguments());
    if (!program.FExpert)
        return 1;
    return app.exec();
}
