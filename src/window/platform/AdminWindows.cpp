#include "Platform.h"

#include <windows.h>
#include <shlobj.h>

namespace quillon {

bool CurrentUserIsAdministrator() {
    return IsUserAnAdmin() != FALSE;
}

} // namespace quillon
