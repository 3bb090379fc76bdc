#pragma once

#include <QString>

#include <string_view>

namespace quillon {

// The core speaks UTF-8; the window speaks QString.
inline QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace quillon
