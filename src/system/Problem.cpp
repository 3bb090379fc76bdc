#include "system/Problem.h"

namespace quillon {

std::string SystemErrorText(const std::error_code& error) {
    return error ? error.message() : std::string("unknown error");
}

std::string SystemErrorText(int errnoValue) {
    return SystemErrorText(ErrnoCode(errnoValue));
}

std::error_code ErrnoCode(int errnoValue) {
    return errnoValue == 0 ? std::error_code() : std::error_code(errnoValue, std::generic_category());
}

} // namespace quillon
