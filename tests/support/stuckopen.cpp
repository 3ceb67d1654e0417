// Loaded into the program under test (LD_PRELOAD): opening a file whose path contains
// $VARNEL_STUCK never returns, as on a network share that has stopped answering. The mode comes
// where the calling convention puts open's optional third argument.
#include <dlfcn.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern "C" int open(const char* path, int flags, mode_t mode) {
    const char* stuck = std::getenv("VARNEL_STUCK");
    if (stuck && *stuck && std::strstr(path, stuck))
        for (;;) pause();
    return reinterpret_cast<int (*)(const char*, int, ...)>(dlsym(RTLD_NEXT, "open"))(path, flags,
                                                                                      mode);
}
