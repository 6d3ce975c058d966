/*
 * tcl_doubles.h: the Tcl and Tk routines that the launcher calls, as test
 * doubles for the Wine test program, which runs without tcl84.dll.
 *
 * The doubles keep one record of what the launcher asked for (TclLog) and
 * answer from settings that a case puts into its interpreter.  Everything
 * runs on the test program's main thread.
 */
#ifndef KOVRA_TESTS_WINDOWS_TCL_DOUBLES_H
#define KOVRA_TESTS_WINDOWS_TCL_DOUBLES_H

#include <string>
#include <vector>

#include "launcher/extent.h"

/* The double's interpreter: its string result and what Tcl_Eval answers. */
struct Tcl_Interp {
    std::string Result;
    std::string EvalReply;      /* Tcl_Eval sets it as the result ... */
    int EvalStatus = TCL_OK;    /* ... and returns this */
    int InitStatus = TCL_OK;    /* what Tcl_Init and Tk_Init return */
    int ConsoleStatus = TCL_OK; /* what Tk_CreateConsoleWindow returns */
    std::vector<std::string> Evals;
};

struct TclRecord {
    std::vector<std::string> Calls; /* routine names (and key arguments), in order */
    int Events = 0;                 /* Tcl_DoOneEvent calls */
    int EventFlags = -1;            /* flags of the last one */
    void (*OnEvent)(int call) = nullptr; /* runs inside each Tcl_DoOneEvent */
    Tcl_CmdProc *Commands[2] = {nullptr, nullptr}; /* GuiInit, GuiGetOEMCP */
    Tcl_PackageInitProc *PackageInit = nullptr;
    Tcl_PackageInitProc *PackageSafeInit = nullptr;
    Tcl_PanicProc *PanicProc = nullptr;
    std::string FoundExecutable;      /* Tcl_FindExecutable's argument */
    std::vector<std::string> TkArgv;  /* what Tk_MainEx was given */
};

extern TclRecord TclLog;

/* Clears the record. */
void ResetTclLog();

#endif
