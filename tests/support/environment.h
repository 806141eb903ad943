#pragma once

#include <string>

// The process's environment, as tests change it for the code under test.
namespace test_environment {

void Set(const char* name, const std::string& value);
void Unset(const char* name);
// Has the C library take up TZ again.
void ReloadTimeZone();

} // namespace test_environment
