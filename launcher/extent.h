/*
 * extent.h: the launcher's utility unit.
 *
 * Start-up (command-line splitting, Tcl/Tk initialisation, the fatal
 * report), the Tcl commands GuiInit and GuiGetOEMCP with the window icon,
 * and the thread, event and pipe utilities offered to code built with the
 * launcher.  Failures are reported by throwing a pointer to a constant,
 * NUL-terminated text.
 */
#ifndef KOVRA_LAUNCHER_EXTENT_H
#define KOVRA_LAUNCHER_EXTENT_H

#include <atomic>
#ifdef _WIN32
#include "launcher/windows/tcltk.h" /* no Windows build of Tcl/Tk here */
#else
#include <tcl.h>
#endif

#include "platform/win.h"

/* ---- Start-up --------------------------------------------------------- */

/* Splits line into words; throws "error: strdup", "error: realloc". */
void cmd2argv(char *line, int *argc, char ***argv);
/* Tk's application initialisation: Tcl, Tk and the two commands. */
int TclInit(Tcl_Interp *interp);
/* Beeps, shows the message in a "Fatal Error" box, exits with code 1. */
[[noreturn]] void Panic(const char *format, ...);

/* ---- Tcl commands and the window icon --------------------------------- */

int GuiInit(ClientData data, Tcl_Interp *interp, int argc, const char *argv[]);
int GuiGetOEMCP(ClientData data, Tcl_Interp *interp, int argc, const char *argv[]);
void SetIcon(Tcl_Interp *interp, const char *path, const char *icon);
void CreateConsole(Tcl_Interp *interp);

/* ---- Threads, events and pipes ---------------------------------------- */

/* A byte ring with one writing and one reading thread, and no lock. */
struct PIPE {
    std::atomic<int> ReadIndex;  /* next byte to read; written by the reader */
    std::atomic<int> WriteIndex; /* next byte to write; written by the writer */
    HANDLE Event;                /* auto-reset, signalled after each write */
    int Size;                    /* bytes in Data; holds at most Size - 1 */
    char *Data;
};

extern DWORD IdMainThread;
extern CRITICAL_SECTION CSection;

void CreateThread(void (*routine)(void *), void *text, void **handle);
void WaitEndThread(void *handle);
void CreateNotifier();
void Notify();
void DeleteNotifier();
void *CreateEventA();
void DeleteEvent(void *event);
int WaitForEvent(void *event, unsigned ms);
PIPE *CreatePipe(int size);
void DeletePipe(PIPE *pipe);
bool EmptyPipe(PIPE *pipe);
bool FullPipe(PIPE *pipe);
void ReadPipe(PIPE *pipe, char *dst, int len);
void WritePipe(PIPE *pipe, const char *src, int len);
void FlushPipe(PIPE *pipe);

#endif
