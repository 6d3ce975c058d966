/* win_types.h: the basic Windows types and constants of the POSIX emulation. */
#ifndef KOVRA_PLATFORM_POSIX_WIN_TYPES_H
#define KOVRA_PLATFORM_POSIX_WIN_TYPES_H

#include <cstdint>

#define WINAPI
#define CALLBACK

typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef void *LPVOID;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef uintptr_t ULONG_PTR;
typedef intptr_t LONG_PTR;

typedef void *HANDLE;
typedef struct kv_hwnd *HWND;
typedef struct kv_hicon *HICON;
typedef struct kv_hinstance *HINSTANCE;
typedef HINSTANCE HMODULE;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#endif
