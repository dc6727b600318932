// Memory that comes from malloc, calloc or realloc, held by a smart pointer that gives it back
// with free.
#pragma once

#include <cstdlib>
#include <memory>

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// An array of T from malloc/calloc/realloc, or one object of T, released with free.
template <typename T>
using FreeBuffer = std::unique_ptr<T, FreeDeleter>;
