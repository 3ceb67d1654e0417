#include "system/jobs.h"

namespace forms {

namespace {

// How long callers wait for the file system, and what tests put in its way.
struct FileSystemAccess {
    std::chrono::milliseconds wait{700};
    FileSystemHook hook;
};

FileSystemAccess& access() {
    static FileSystemAccess a;
    return a;
}

}  // namespace

void SetFileSystemHook(FileSystemHook hook) { access().hook = std::move(hook); }

void SetFileSystemWait(int milliseconds) {
    access().wait = std::chrono::milliseconds(milliseconds > 0 ? milliseconds : 700);
}

namespace jobs {
std::chrono::milliseconds FileSystemWait() { return access().wait; }
FileSystemHook Hook() { return access().hook; }
}  // namespace jobs

}  // namespace forms
