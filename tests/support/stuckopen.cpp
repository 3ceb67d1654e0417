// Loaded into the program under test (LD_PRELOAD): opening a file whose path contains
// $VARNEL_STUCK never returns, as on a network share that has stopped answering.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>

extern "C" int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const bool made = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
    const mode_t mode = made ? mode_t(va_arg(args, int)) : 0;
    va_end(args);
    const char* stuck = std::getenv("VARNEL_STUCK");
    if (stuck && *stuck && std::strstr(path, stuck))
        for (;;) pause();
    return reinterpret_cast<int (*)(const char*, int, ...)>(dlsym(RTLD_NEXT, "open"))(path, flags,
                                                                                      mode);
}
