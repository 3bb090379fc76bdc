#include <sys/stat.h> // the system module wraps the operating system
#include <unistd.h>
#include <windows.h>
