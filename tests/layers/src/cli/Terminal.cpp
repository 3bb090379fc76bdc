#include <Windows.h>  // Windows outside src/system and src/window/platform, in any case
#include <csignal>    // the standard library's: allowed anywhere
#include <signal.h>   // the standard library's: allowed anywhere
#include <sys/stat.h> // POSIX outside src/system and src/window/platform
#include <unistd.h>   // POSIX outside src/system and src/window/platform
