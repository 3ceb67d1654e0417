// Loaded into the program under test (LD_PRELOAD): opening a file whose path contains
// $VARNEL_STUCK never returns, as on a network share that has stopped answering. Every other
// open goes through untouched.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

void holdIfStuck(const char* path) {
    const char* pattern = std::getenv("VARNEL_STUCK");
    if (!path || !pattern || !*pattern || !std::strstr(path, pattern)) return;
    for (;;) pause();
}

template <typename Fn>
Fn next(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

mode_t modeOf(int flags, va_list args) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(args, int)) : 0;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    holdIfStuck(path);
    return next<int (*)(const char*, int, ...)>("open")(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    holdIfStuck(path);
    return next<int (*)(const char*, int, ...)>("open64")(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    holdIfStuck(path);
    return next<int (*)(int, const char*, int, ...)>("openat")(dir, path, flags, mode);
}

}  // extern "C"
