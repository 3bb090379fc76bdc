#pragma once

// The user's data folder, where an imported tacdex.csv is read before the one beside the program:
// every test program points it at an empty folder of its own before its first test, so that a
// developer's own import never changes a result. Tests of the user's database set their own.
#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace quillon::testing {

// Points the user's data folder at `folder` (XDG_DATA_HOME; APPDATA on Windows) for this process
// and every program it starts. An empty path leaves the variable unset.
inline void SetUserDataFolder(const std::filesystem::path& folder) {
#ifdef _WIN32
    ::SetEnvironmentVariableW(L"APPDATA", folder.empty() ? nullptr : folder.c_str());
#else
    if (folder.empty()) {
        ::unsetenv("XDG_DATA_HOME");
    } else {
        ::setenv("XDG_DATA_HOME", folder.c_str(), 1);
    }
#endif
}

// The folder the programs then use: XDG_DATA_HOME/quillon or APPDATA\Quillon.
inline std::filesystem::path UserDatabaseIn(const std::filesystem::path& folder) {
#ifdef _WIN32
    return folder / "Quillon" / "tacdex.csv";
#else
    return folder / "quillon" / "tacdex.csv";
#endif
}

// The empty folder of this test program, made once.
inline const std::filesystem::path& EmptyUserDataFolder() {
    static const TempDir folder;
    return folder.path();
}

// Sets the user's data folder of a test and puts the empty one back at its end.
class UserDataFolder {
public:
    explicit UserDataFolder(const std::filesystem::path& folder) { SetUserDataFolder(folder); }
    ~UserDataFolder() { SetUserDataFolder(EmptyUserDataFolder()); }
    UserDataFolder(const UserDataFolder&) = delete;
    UserDataFolder& operator=(const UserDataFolder&) = delete;
};

inline const bool kUserDataFolderIsEmpty = (SetUserDataFolder(EmptyUserDataFolder()), true);

} // namespace quillon::testing
