#include "command_line.h"
#include "supply_app.h"

#include <iostream>

int main(int argc, char** argv) {
    if (const auto exitCode = ReadCommandLine(argc, argv, std::cout, std::cerr)) {
        return *exitCode;
    }
    CSupplyApp app(argc, argv);
    app.InitInstance();
    return 0;
}
