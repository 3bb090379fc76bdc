#include "platform/Admin.h"

#include <shlobj.h>
#include <windows.h>

namespace quillon {

bool CurrentUserIsAdministrator() {
    return IsUserAnAdmin() != FALSE;
}

} // namespace quillon
