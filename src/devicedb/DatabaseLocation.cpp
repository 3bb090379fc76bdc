#include "devicedb/DatabaseLocation.h"

#include "system/Files.h"

#include <system_error>

namespace quillon {

std::filesystem::path UserDatabasePath() {
    const std::filesystem::path folder = UserDataDirectory();
    return folder.empty() ? folder : folder / "tacdex.csv";
}

bool DatabaseFilePresent(const std::filesystem::path& path) {
    if (path.empty()) {
        return false;
    }
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::symlink_status(path, error);
    // A path that cannot even be looked at (a folder that may not be searched) may hide a file.
    return status.type() != std::filesystem::file_type::not_found;
}

std::filesystem::path DefaultDatabasePath(const std::filesystem::path& programDirectory) {
    const std::filesystem::path user = UserDatabasePath();
    return DatabaseFilePresent(user) ? user : programDirectory / "tacdex.csv";
}

} // namespace quillon
