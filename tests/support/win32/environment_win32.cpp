#include "tests/support/environment.h"

#include <cstdlib>
#include <ctime>

namespace test_environment {

// The C library keeps its own copy of the environment, which getenv() and the time functions
// read: it is the one to change.
void Set(const char* name, const std::string& value) {
    ::_putenv_s(name, value.c_str());
}

void Unset(const char* name) {
    ::_putenv_s(name, "");
}

void ReloadTimeZone() {
    ::_tzset();
}

} // namespace test_environment
