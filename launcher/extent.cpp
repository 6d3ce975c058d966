/*
 * extent.cpp: the launcher's start-up routines and its Tcl commands.
 *
 * cmd2argv splits a Windows command line into words, TclInit prepares the
 * interpreter that Tk_MainEx runs the script in, Panic is the one way out
 * on a fatal failure, and GuiInit / GuiGetOEMCP are the commands the
 * script calls back into.  Failures are thrown as constant texts.
 */
#include "launcher/extent.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#ifndef _WIN32
#include <tk.h>
#endif

/* White space as isspace() has it in the "C" locale; bytes >= 0x80 never. */
static bool is_blank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

void cmd2argv(char *line, int *argc, char ***argv)
{
    char *copy = strdup(line);
    if (!copy)
        throw "error: strdup";
    char **words = nullptr;
    int count = 0;
    char *p = copy;
    while (*p != '\0') {
        char **grown = (char **)realloc(words, (size_t)(count + 1) * sizeof *words);
        if (!grown) {
            free(words);
            free(copy);
            throw "error: realloc";
        }
        words = grown;
        char *word;
        if (*p == '"') {
            word = ++p;
            while (*p != '\0' && *p != '"')
                p++;
        } else {
            word = p;
            while (*p != '\0' && *p != '"' && !is_blank(*p))
                p++;
        }
        if (*p != '\0')
            *p++ = '\0';
        while (is_blank(*p))
            p++;
        words[count++] = word;
    }
    for (int i = 0; i < count; i++) {
        char *dup = strdup(words[i]);
        if (!dup) {
            for (int j = 0; j < i; j++)
                free(words[j]);
            free(words);
            free(copy);
            throw "error: strdup";
        }
        words[i] = dup;
    }
    free(copy);
    *argc = count;
    *argv = words;
}

int TclInit(Tcl_Interp *interp)
{
    /* Tk_MainEx's frames lie between here and WinMain: report directly. */
    if (Tcl_Init(interp) == TCL_ERROR)
        Panic("%s", Tcl_GetStringResult(interp));
    if (Tk_Init(interp) == TCL_ERROR)
        Panic("%s", Tcl_GetStringResult(interp));
    Tcl_StaticPackage(interp, "Tk", Tk_Init, Tk_SafeInit);
    Tcl_CreateCommand(interp, "GuiInit", GuiInit, nullptr, nullptr);
    Tcl_CreateCommand(interp, "GuiGetOEMCP", GuiGetOEMCP, nullptr, nullptr);
    return TCL_OK;
}

void Panic(const char *format, ...)
{
    char message[1024];
    va_list args;
    va_start(args, format);
    /* A longer message is cut at the buffer's end. */
    vsnprintf(message, sizeof message, format, args);
    va_end(args);
    MessageBeep(MB_ICONEXCLAMATION);
    MessageBoxA(nullptr, message, "Fatal Error", MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
    ExitProcess(1);
}

int GuiInit(ClientData, Tcl_Interp *interp, int, const char *[])
{
    try {
        SetIcon(interp, ".tMain", "MAIN_ICON");
    } catch (const char *text) {
        Tcl_AppendResult(interp, text, (char *)nullptr);
        return TCL_ERROR;
    }
    return TCL_OK;
}

int GuiGetOEMCP(ClientData, Tcl_Interp *interp, int argc, const char *[])
{
    if (argc != 1) {
        Tcl_AppendResult(interp, "syntax: GuiGetOEMCP", (char *)nullptr);
        return TCL_ERROR;
    }
    char page[16];
    snprintf(page, sizeof page, "%u", GetOEMCP());
    Tcl_SetResult(interp, page, TCL_VOLATILE);
    return TCL_OK;
}

void SetIcon(Tcl_Interp *interp, const char *path, const char *icon)
{
    char command[256];
    long id = 0;
    /* A path too long for the buffer cannot name a window: no handle. */
    if (strlen(path) <= sizeof command - sizeof "winfo id  ") {
        snprintf(command, sizeof command, "winfo id %s ", path);
        Tcl_Eval(interp, command);
        if (Tcl_GetLongFromObj(nullptr, Tcl_GetObjResult(interp), &id) != TCL_OK)
            id = 0;
    }
    HWND window = reinterpret_cast<HWND>((LONG_PTR)id);
    DWORD deadline = GetTickCount() + 5000;
    for (;;) {
        Tcl_DoOneEvent(TCL_DONT_WAIT);
        DWORD now = GetTickCount();
        HWND frame = window ? GetParent(window) : nullptr;
        if (frame) {
            HICON hicon = LoadIconA(GetModuleHandleA(nullptr), icon);
            if (!hicon)
                throw "error: load icon";
#ifdef _WIN64
            /* The class slot is pointer-sized on 64-bit Windows. */
            SetClassLongPtrA(frame, GCLP_HICON, (LONG_PTR)hicon);
#else
            SetClassLongA(frame, GCL_HICON, (LONG)(LONG_PTR)hicon);
#endif
            return;
        }
        if (now >= deadline)
            throw "error: id toplevel window";
    }
}

void CreateConsole(Tcl_Interp *interp)
{
    Tk_InitConsoleChannels(interp);
    if (Tk_CreateConsoleWindow(interp) == TCL_ERROR)
        throw "error: create console";
    if (Tcl_Eval(interp, "console show") == TCL_ERROR)
        throw "error: create console";
}
