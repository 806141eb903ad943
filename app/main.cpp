#include "supply_app.h"

int main(int argc, char** argv) {
    CSupplyApp app(argc, argv);
    app.InitInstance();
    return 0;
}
