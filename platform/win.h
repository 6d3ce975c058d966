/*
 * win.h: the Windows kernel and user services that the programs call.
 *
 * On Windows this is <windows.h> itself.  On POSIX hosts it declares our
 * own small emulation of exactly the calls the code makes, with the same
 * names and parameter lists; platform/posix/ implements them.
 */
#ifndef KOVRA_PLATFORM_WIN_H
#define KOVRA_PLATFORM_WIN_H

#ifdef _WIN32
#include <windows.h>
#else
#include "posix/win_types.h"
#include "posix/win_kernel.h"
#include "posix/win_gui.h"
#include "posix/win_thread.h"
#endif

#endif
