/* Preloaded into the program by end-to-end tests to stand in for file systems and mistakes
 * that a test machine does not have:
 *   TRELVANE_SHIM_NO_TMPFILE=1    open(O_TMPFILE) fails with EOPNOTSUPP, as on NFS, CIFS or
 *                                 most FUSE file systems, so every PDF gets a temporary name;
 *   TRELVANE_SHIM_NEVER_WRITE=P   opening the path P for writing aborts the program, so a test
 *                                 sees at once any attempt to change a file it must not. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef int (*open_function)(const char*, int, ...);
typedef int (*openat_function)(int, const char*, int, ...);

static int refused(const char* path, int flags) {
#ifdef O_TMPFILE
    if ((flags & O_TMPFILE) == O_TMPFILE) {
        const char* no_tmpfile = getenv("TRELVANE_SHIM_NO_TMPFILE");
        if (no_tmpfile != NULL && strcmp(no_tmpfile, "1") == 0) {
            errno = EOPNOTSUPP;
            return 1;
        }
    }
#endif
    const char* never = getenv("TRELVANE_SHIM_NEVER_WRITE");
    if (never != NULL && path != NULL && strcmp(path, never) == 0 &&
        (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND)) != 0) {
        static const char message[] = "file_system_shim: a protected file was opened for writing\n";
        (void)!write(STDERR_FILENO, message, sizeof message - 1);
        abort();
    }
    return 0;
}

/* dlsym gives an object pointer; ISO C has no conversion to a function pointer, so the bytes
 * are copied into one. */
typedef void (*any_function)(void);
static any_function next_symbol(const char* name) {
    void* symbol = dlsym(RTLD_NEXT, name);
    any_function function = NULL;
    memcpy(&function, &symbol, sizeof function);
    return function;
}

static mode_t mode_of(int flags, va_list args) {
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, mode_t) : 0;
}

#define DEFINE_OPEN(name)                             \
    int name(const char* path, int flags, ...) {      \
        va_list args;                                 \
        va_start(args, flags);                        \
        const mode_t mode = mode_of(flags, args);     \
        va_end(args);                                 \
        if (refused(path, flags))                     \
            return -1;                                \
        static open_function next = NULL;             \
        if (next == NULL)                             \
            next = (open_function)next_symbol(#name); \
        return next(path, flags, mode);               \
    }

#define DEFINE_OPENAT(name)                               \
    int name(int dir, const char* path, int flags, ...) { \
        va_list args;                                     \
        va_start(args, flags);                            \
        const mode_t mode = mode_of(flags, args);         \
        va_end(args);                                     \
        if (refused(path, flags))                         \
            return -1;                                    \
        static openat_function next = NULL;               \
        if (next == NULL)                                 \
            next = (openat_function)next_symbol(#name);   \
        return next(dir, path, flags, mode);              \
    }

DEFINE_OPEN(open)
DEFINE_OPEN(open64)
DEFINE_OPENAT(openat)
DEFINE_OPENAT(openat64)
