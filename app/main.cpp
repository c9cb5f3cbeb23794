#include "app/Program.h"
#include "platform/Backend.h"
#include "platform/SdlBackend.h"

int main() {
    SdlBackend backend;
    activeBackend = &backend;
    const int exitCode = RunProgram();
    activeBackend = nullptr;
    return exitCode;
}
