#include "support/system_calls.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>

bool refuseUnnamedFiles = false;
int signalAfterLink = 0;

namespace {

template <typename Call>
Call realCall(const char* name) {
    return reinterpret_cast<Call>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        std::va_list arguments;
        va_start(arguments, flags);
        mode = va_arg(arguments, mode_t);
        va_end(arguments);
    }
    if (refuseUnnamedFiles && (flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return -1;
    }
    static const auto real = realCall<int (*)(const char*, int, ...)>("open");
    return real(path, flags, mode);
}

extern "C" int linkat(int fromDirectory, const char* from, int toDirectory, const char* to, int flags) {
    static const auto real = realCall<int (*)(int, const char*, int, const char*, int)>("linkat");
    const int result = real(fromDirectory, from, toDirectory, to, flags);
    if (signalAfterLink != 0) kill(getpid(), signalAfterLink);
    return result;
}
