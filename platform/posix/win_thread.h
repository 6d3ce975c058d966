/* win_thread.h: threads, events and thread messages of the POSIX emulation. */
#ifndef KOVRA_PLATFORM_POSIX_WIN_THREAD_H
#define KOVRA_PLATFORM_POSIX_WIN_THREAD_H

#include "win_types.h"

#endif
