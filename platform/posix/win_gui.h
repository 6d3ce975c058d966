/* win_gui.h: the user-interface services of the POSIX emulation (launchers). */
#ifndef KOVRA_PLATFORM_POSIX_WIN_GUI_H
#define KOVRA_PLATFORM_POSIX_WIN_GUI_H

#include "win_types.h"

#endif
