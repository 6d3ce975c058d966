/*
 * tcl_doubles.cpp: test doubles of the Tcl and Tk routines the launcher
 * calls, so that the Wine test program links and runs without tcl84.dll
 * and tk84.dll.  They record the calls and answer from the interpreter's
 * settings; see tcl_doubles.h.
 */
#include "tcl_doubles.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>

TclRecord TclLog;

void ResetTclLog()
{
    TclLog = TclRecord();
}

extern "C" {

void Tcl_FindExecutable(const char *argv0)
{
    TclLog.Calls.push_back("Tcl_FindExecutable");
    TclLog.FoundExecutable = argv0 ? argv0 : "(null)";
}

/* As the Windows Tcl library does: the module's own file name. */
const char *Tcl_GetNameOfExecutable(void)
{
    static char name[MAX_PATH];
    TclLog.Calls.push_back("Tcl_GetNameOfExecutable");
    if (GetModuleFileNameA(nullptr, name, sizeof name) == 0)
        return nullptr;
    return name;
}

void Tcl_SetPanicProc(Tcl_PanicProc *proc)
{
    TclLog.Calls.push_back("Tcl_SetPanicProc");
    TclLog.PanicProc = proc;
}

Tcl_Interp *Tcl_CreateInterp(void)
{
    TclLog.Calls.push_back("Tcl_CreateInterp");
    return new Tcl_Interp;
}

int Tcl_Init(Tcl_Interp *interp)
{
    TclLog.Calls.push_back("Tcl_Init");
    return interp->InitStatus;
}

void Tcl_StaticPackage(Tcl_Interp *, const char *name, Tcl_PackageInitProc *init,
                       Tcl_PackageInitProc *safe_init)
{
    TclLog.Calls.push_back(std::string("Tcl_StaticPackage ") + name);
    TclLog.PackageInit = init;
    TclLog.PackageSafeInit = safe_init;
}

Tcl_Command Tcl_CreateCommand(Tcl_Interp *, const char *name, Tcl_CmdProc *proc,
                              ClientData data, Tcl_CmdDeleteProc *delete_proc)
{
    std::string call = std::string("Tcl_CreateCommand ") + name;
    if (data != nullptr || delete_proc != nullptr)
        call += " (with client data or delete routine)";
    TclLog.Calls.push_back(call);
    if (std::string(name) == "GuiInit")
        TclLog.Commands[0] = proc;
    else if (std::string(name) == "GuiGetOEMCP")
        TclLog.Commands[1] = proc;
    return reinterpret_cast<Tcl_Command>(proc);
}

const char *Tcl_GetStringResult(Tcl_Interp *interp)
{
    return interp->Result.c_str();
}

int Tcl_Eval(Tcl_Interp *interp, const char *script)
{
    interp->Evals.push_back(script);
    interp->Result = interp->EvalReply;
    return interp->EvalStatus;
}

/* The object result is the interpreter's string result. */
Tcl_Obj *Tcl_GetObjResult(Tcl_Interp *interp)
{
    return reinterpret_cast<Tcl_Obj *>(interp);
}

int Tcl_GetLongFromObj(Tcl_Interp *, Tcl_Obj *obj, long *value)
{
    const std::string &text = reinterpret_cast<Tcl_Interp *>(obj)->Result;
    char *end = nullptr;
    errno = 0;
    long number = strtol(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || errno != 0)
        return TCL_ERROR;
    *value = number;
    return TCL_OK;
}

int Tcl_DoOneEvent(int flags)
{
    TclLog.EventFlags = flags;
    int call = ++TclLog.Events;
    if (TclLog.OnEvent)
        TclLog.OnEvent(call);
    return 0;
}

void Tcl_AppendResult(Tcl_Interp *interp, ...)
{
    va_list args;
    va_start(args, interp);
    while (const char *text = va_arg(args, const char *))
        interp->Result += text;
    va_end(args);
}

void Tcl_SetResult(Tcl_Interp *interp, char *text, Tcl_FreeProc *free_proc)
{
    TclLog.Calls.push_back(free_proc == TCL_VOLATILE ? "Tcl_SetResult volatile"
                                                     : "Tcl_SetResult not volatile");
    interp->Result = text;
}

void Tk_MainEx(int argc, char **argv, Tcl_AppInitProc *, Tcl_Interp *interp)
{
    TclLog.Calls.push_back(interp ? "Tk_MainEx" : "Tk_MainEx without interpreter");
    for (int i = 0; i < argc; i++)
        TclLog.TkArgv.push_back(argv[i]);
}

int Tk_Init(Tcl_Interp *interp)
{
    TclLog.Calls.push_back("Tk_Init");
    return interp->InitStatus;
}

int Tk_SafeInit(Tcl_Interp *)
{
    return TCL_OK;
}

void Tk_InitConsoleChannels(Tcl_Interp *)
{
    TclLog.Calls.push_back("Tk_InitConsoleChannels");
}

int Tk_CreateConsoleWindow(Tcl_Interp *interp)
{
    TclLog.Calls.push_back("Tk_CreateConsoleWindow");
    return interp->ConsoleStatus;
}

}
