// Pyxet: finds and configures Orvex and HWG network devices.
#include "gui/app/application.h"

int main(int argc, char* argv[])
{
    TPyxetApplication app(argc, argv);
    return RunPyxet(app);
}
