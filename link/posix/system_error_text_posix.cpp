#include "link/system_error_text.h"

#include <cstring>

namespace pelmora {

std::string SystemErrorText(int error) {
    return std::strerror(error);
}

} // namespace pelmora
