#pragma once

#include "tests/support/environment.h"

#include <cstdlib>
#include <optional>
#include <string>

// Puts the process in a time zone given as a POSIX rule (no zone files needed), and back.
class InTimeZone {
public:
    explicit InTimeZone(const char* rule) {
        if (const char* old = std::getenv(kVariable)) {
            m_old = old;
        }
        test_environment::Set(kVariable, rule);
        test_environment::ReloadTimeZone();
    }
    ~InTimeZone() {
        if (m_old) {
            test_environment::Set(kVariable, *m_old);
        } else {
            test_environment::Unset(kVariable);
        }
        test_environment::ReloadTimeZone();
    }
    InTimeZone(const InTimeZone&) = delete;
    InTimeZone& operator=(const InTimeZone&) = delete;

private:
    static constexpr const char* kVariable = "TZ";
    std::optional<std::string> m_old;
};
