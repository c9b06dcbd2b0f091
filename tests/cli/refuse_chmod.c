/* Preloaded into tembrel-cli by the tests: fchmod refuses one permission mode (octal, in
 * TEMBREL_TEST_REFUSED_MODE) with EPERM, as file systems without Unix permissions do. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>

int fchmod(int fd, mode_t mode) {
    static int (*real)(int, mode_t);
    if (real == NULL)
        real = (int (*)(int, mode_t))dlsym(RTLD_NEXT, "fchmod");
    const char* refused = getenv("TEMBREL_TEST_REFUSED_MODE");
    if (refused != NULL && (mode & 07777) == (mode_t)strtol(refused, NULL, 8)) {
        errno = EPERM;
        return -1;
    }
    return real(fd, mode);
}
