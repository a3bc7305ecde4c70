#include "shell/start_up.h"
#include "widgets/error_report.h"

int main(int argc, char **argv)
{
    // Errors that no operation catches reach the general error report.
    kv::Application app(argc, argv);
    return basekvintor::runBaseKvintor(app);
}
