#include "system/Files.h"

namespace quillon {

std::filesystem::path PathFromUtf8(std::string_view utf8) {
    // The char8_t form is read as UTF-8 on every system; plain char would go through the ANSI
    // code page on Windows.
    std::u8string text(utf8.size(), u8'\0');
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        text[i] = static_cast<char8_t>(utf8[i]);
    }
    return std::filesystem::path(text);
}

std::string PathToUtf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    std::string out(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        out[i] = static_cast<char>(text[i]);
    }
    return out;
}

} // namespace quillon
