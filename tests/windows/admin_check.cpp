// Runs the window's administrator test on Windows. Wine answers as for an administrator, so the
// program fails when the test is not wired to the system's answer (the refusal path is covered
// by the window tests with the fake platform).
#include "platform/Admin.h"

#include <cstdio>

int main() {
    const bool administrator = quillon::CurrentUserIsAdministrator();
    std::printf("administrator: %s\n", administrator ? "yes" : "no");
    return administrator ? 0 : 1;
}
