#include "system/Files.h"

#include "system/FileWriter.h"
#include "system/Problem.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <random>

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

std::filesystem::path UniqueTemporaryPath(const std::filesystem::path& folder, std::string_view prefix) {
    static std::atomic<std::uint64_t> counter{0};
    std::error_code error;
    std::filesystem::path path;
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::random_device device;
        const std::uint64_t noise =
            (static_cast<std::uint64_t>(device()) << 32) ^ device() ^
            static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        char name[64];
        std::snprintf(name, sizeof name, "%016llx-%llu.tmp", static_cast<unsigned long long>(noise),
                      static_cast<unsigned long long>(counter.fetch_add(1)));
        path = folder / PathFromUtf8(std::string(prefix) + name);
        if (!std::filesystem::exists(path, error)) {
            break;
        }
    }
    return path;
}

bool FolderTakesFiles(const std::filesystem::path& folder) {
    const std::filesystem::path probe = UniqueTemporaryPath(folder, ".quillon-probe-");
    const bool made = static_cast<bool>(std::ofstream(probe, std::ios::binary)); // wide path on Windows
    std::error_code error;
    std::filesystem::remove(probe, error);
    return made;
}

std::optional<std::string> ReadFileStart(const std::filesystem::path& path, std::size_t maxBytes) {
    std::ifstream in(path, std::ios::binary); // wide path on Windows
    if (!in) {
        return std::nullopt;
    }
    std::string content(maxBytes, '\0');
    in.read(content.data(), static_cast<std::streamsize>(maxBytes));
    content.resize(static_cast<std::size_t>(in.gcount()));
    return content;
}

std::optional<std::error_code> WriteFileWhole(const std::filesystem::path& path, std::string_view bytes) {
    FileWriter writer(path);
    std::optional<Problem> problem = writer.Open();
    if (!problem) {
        writer.Append(bytes);
        problem = writer.Commit();
    }
    if (problem) {
        return problem->error;
    }
    return std::nullopt;
}

} // namespace quillon
