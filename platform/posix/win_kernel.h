/* win_kernel.h: module file name of the POSIX emulation. */
#ifndef KOVRA_PLATFORM_POSIX_WIN_KERNEL_H
#define KOVRA_PLATFORM_POSIX_WIN_KERNEL_H

#include "win_types.h"

/*
 * The full path of the running executable (module must be null) in
 * filename, at most size - 1 characters and a NUL.  Returns the length
 * copied, size when the path had to be cut, or 0 on failure.
 */
DWORD GetModuleFileNameA(HMODULE module, LPSTR filename, DWORD size);

#endif
