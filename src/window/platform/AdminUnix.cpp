#include "platform/Admin.h"

#include <grp.h>
#include <unistd.h>

#include <array>
#include <vector>

namespace quillon {

// Administrative rights here mean root, or membership of one of the groups that distributions
// give sudo rights to.
bool CurrentUserIsAdministrator() {
    if (geteuid() == 0) {
        return true;
    }
    std::vector<gid_t> groups;
    const int count = getgroups(0, nullptr);
    if (count > 0) {
        groups.resize(static_cast<std::size_t>(count));
        const int read = getgroups(count, groups.data());
        groups.resize(read > 0 ? static_cast<std::size_t>(read) : 0);
    }
    groups.push_back(getegid());

    constexpr std::array kAdminGroups{"sudo", "wheel", "admin"};
    for (const char* name : kAdminGroups) {
        const group* entry = getgrnam(name);
        if (entry == nullptr) {
            continue;
        }
        for (const gid_t gid : groups) {
            if (gid == entry->gr_gid) {
                return true;
            }
        }
    }
    return false;
}

} // namespace quillon
