#include "tests/support/recorded_sysfs.h"

#include <fstream>

namespace fs = std::filesystem;

void RecordUsbDevice(const fs::path& dir, const char* vendor, const char* product,
                     const char* manufacturer, const char* name, const char* serial) {
    fs::create_directories(dir);
    std::ofstream(dir / "idVendor") << vendor << "\n";
    std::ofstream(dir / "idProduct") << product << "\n";
    std::ofstream(dir / "manufacturer") << manufacturer << "\n";
    std::ofstream(dir / "product") << name << "\n";
    if (*serial != '\0') {
        std::ofstream(dir / "serial") << serial << "\n";
    }
}

void RecordTtyEntry(const fs::path& ttyClass, const std::string& name, const fs::path& device) {
    fs::create_directories(device);
    fs::create_directories(ttyClass / name);
    fs::create_directory_symlink(fs::relative(device, ttyClass / name), ttyClass / name / "device");
}
