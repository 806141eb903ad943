#include "command_line.h"
#include "supply_app.h"

#include <iostream>

int main(int argc, char** argv) {
    const CommandLineRequest request = ReadCommandLine(argc, argv, std::cout, std::cerr);
    if (request.exitCode) {
        return *request.exitCode;
    }
    CSupplyApp app(argc, argv);
    app.UseLanguage(request.language);
    app.InitInstance();
    return 0;
}
