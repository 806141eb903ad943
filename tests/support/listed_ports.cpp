#include "listed_ports.h"

#include "environment.h"
#include "port_list.h"

ListedPorts::ListedPorts(const std::string& entries) {
    test_environment::Set(pelmora::kPortsVariable, entries);
}

ListedPorts::~ListedPorts() {
    test_environment::Unset(pelmora::kPortsVariable);
}
