/* kernel.cpp: the module file name of win_kernel.h on a POSIX host. */
#include "win_kernel.h"

#include <cstring>
#include <limits.h>
#include <unistd.h>

DWORD GetModuleFileNameA(HMODULE module, LPSTR filename, DWORD size)
{
    if (module != nullptr || size == 0)
        return 0;
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return 0;
    path[n] = '\0';
    size_t len = (size_t)n;
    if (len >= size) {
        memcpy(filename, path, size - 1);
        filename[size - 1] = '\0';
        return size;
    }
    memcpy(filename, path, len + 1);
    return (DWORD)len;
}
