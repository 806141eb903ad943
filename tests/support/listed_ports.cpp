#include "tests/support/listed_ports.h"

#include "link/port_list.h"
#include "tests/support/environment.h"

ListedPorts::ListedPorts(const std::string& entries) {
    test_environment::Set(pelmora::kPortsVariable, entries);
}

ListedPorts::~ListedPorts() {
    test_environment::Unset(pelmora::kPortsVariable);
}
