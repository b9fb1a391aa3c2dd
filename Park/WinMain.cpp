// Park's entry point: read the command line, then wait or signal. The exit code is Run's result.
#include "Park/ParkModule.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    CParkModule module = {};
    module.ParseCommandLine(GetCommandLineW());
    return static_cast<int>(module.Run());
}
