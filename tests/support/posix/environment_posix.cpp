#include "tests/support/environment.h"

#include <cstdlib>
#include <ctime>

namespace test_environment {

void Set(const char* name, const std::string& value) {
    ::setenv(name, value.c_str(), 1);
}

void Unset(const char* name) {
    ::unsetenv(name);
}

void ReloadTimeZone() {
    ::tzset();
}

} // namespace test_environment
