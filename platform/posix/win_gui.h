/*
 * win_gui.h: the user-interface services of the POSIX emulation (launchers).
 *
 * Windows are X11 windows: an HWND holds the X window id.  Icons come from
 * the .ico images that the executable embeds under a resource name
 * (kv_register_icon, called from generated code); an HICON is a small
 * number that fits the LONG of SetClassLongA.  Message boxes write their
 * text to standard error and, when an X display can be opened, show a
 * modal box that closes on its OK button, Return, Escape or space.
 */
#ifndef KOVRA_PLATFORM_POSIX_WIN_GUI_H
#define KOVRA_PLATFORM_POSIX_WIN_GUI_H

#include <cstddef>

#include "win_types.h"

#define MB_OK 0x00000000u
#define MB_ICONERROR 0x00000010u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_TASKMODAL 0x00002000u
#define MB_SETFOREGROUND 0x00010000u
#define IDOK 1
#define GCL_HICON (-14)

/* The program's command line, rebuilt from the words kv_save_args saved. */
LPSTR GetCommandLineA(void);
/* Saves the process's arguments; called by the program entry first. */
void kv_save_args(int argc, char **argv);

BOOL MessageBeep(UINT type);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
[[noreturn]] void ExitProcess(UINT code);

/* The executable itself for a null name; other modules are not known. */
HMODULE GetModuleHandleA(LPCSTR name);
/* The icon group registered under name, or null. */
HICON LoadIconA(HINSTANCE module, LPCSTR name);
/* Makes an embedded .ico image (icon directory and one image) loadable. */
void kv_register_icon(const char *name, const unsigned char *ico, size_t size);

/* The frame window (Tk's wrapper) of a window, null while it has none. */
HWND GetParent(HWND window);
/* GCL_HICON only: puts the icon on the frame window; returns 0. */
DWORD SetClassLongA(HWND window, int index, LONG value);

UINT GetOEMCP(void);
/* The OEM code page of a locale name such as "de_DE.UTF-8"; 437 if unknown. */
UINT kv_oem_code_page(const char *locale);
DWORD GetTickCount(void);

#endif
