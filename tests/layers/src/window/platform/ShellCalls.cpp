#include <shellapi.h> // the window's platform folder may call the operating system too
#include <unistd.h>
