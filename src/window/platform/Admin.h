#pragma once

namespace quillon {

// The operating system's answer to the administrator test; one implementation per system,
// picked by the build (platform/Admin*.cpp). Plain C++, so it builds without Qt.
bool CurrentUserIsAdministrator();

} // namespace quillon
