// SPDX-License-Identifier: GPL-3.0-or-later
// Binds the stubs of a library loaded on first use (cmake/LazyLibrary.cmake): opens the
// library by its soname and points every stub's slot at the real function.
#include <dlfcn.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

// Laid out by the generated stubs file.
struct LazyLibrary
{
    const char *soname;
    void **slots;
    const char *const *names;
    std::size_t count;
    void *handle;
};

[[noreturn]] void cannotBind(const LazyLibrary &library, const char *what)
{
    // A stub has no way to report an error to its caller; the package depends on the library,
    // so this means a broken installation.
    std::fprintf(stderr, "Quivel: não foi possível carregar a biblioteca %s: %s\n", library.soname,
                 what);
    std::abort();
}

} // namespace

extern "C" void *quivel_lazy_bind(LazyLibrary *library, std::size_t index)
{
    static std::mutex binding;
    const std::lock_guard lock(binding);
    if (!library->handle) {
        void *handle = dlopen(library->soname, RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            cannotBind(*library, dlerror());
        for (std::size_t i = 0; i < library->count; ++i) {
            // A name the installed version no longer has keeps its binding stub, so only a
            // call of that very function fails.
            if (void *function = dlsym(handle, library->names[i]))
                std::atomic_ref(library->slots[i]).store(function, std::memory_order_release);
        }
        library->handle = handle;
    }
    void *function = dlsym(library->handle, library->names[index]);
    if (!function)
        cannotBind(*library, library->names[index]);
    return function;
}
