/*
 * tcltk.h: the calls into the Tcl 8.4 and Tk 8.4 DLLs that the launcher
 * makes on Windows, declared from the way the launcher uses them.
 *
 * The interpreter and its objects stay opaque: the launcher only hands
 * their pointers back to the libraries.  Every routine here is exported
 * by tcl84.dll or tk84.dll with the C calling convention and is listed in
 * tcl84.def or tk84.def beside this header, from which the build makes
 * the import libraries.
 */
#ifndef KOVRA_LAUNCHER_WINDOWS_TCLTK_H
#define KOVRA_LAUNCHER_WINDOWS_TCLTK_H

extern "C" {

typedef struct Tcl_Interp Tcl_Interp;
typedef struct Tcl_Obj Tcl_Obj;
typedef struct Tcl_Command_ *Tcl_Command;
typedef void *ClientData;

/* Results of commands and of the libraries' routines. */
#define TCL_OK 0
#define TCL_ERROR 1

/* Tcl_DoOneEvent: handle a pending event if there is one, do not wait. */
#define TCL_DONT_WAIT (1 << 1)

typedef int Tcl_CmdProc(ClientData data, Tcl_Interp *interp, int argc, const char *argv[]);
typedef void Tcl_CmdDeleteProc(ClientData data);
typedef int Tcl_AppInitProc(Tcl_Interp *interp);
typedef int Tcl_PackageInitProc(Tcl_Interp *interp);
typedef void Tcl_PanicProc(const char *format, ...);
typedef void Tcl_FreeProc(char *block);

/* Tcl_SetResult: the library copies the text before the call returns. */
#define TCL_VOLATILE ((Tcl_FreeProc *)1)

/* ---- tcl84.dll -------------------------------------------------------- */

void Tcl_FindExecutable(const char *argv0);
const char *Tcl_GetNameOfExecutable(void);
void Tcl_SetPanicProc(Tcl_PanicProc *proc);
Tcl_Interp *Tcl_CreateInterp(void);
int Tcl_Init(Tcl_Interp *interp);
void Tcl_StaticPackage(Tcl_Interp *interp, const char *name, Tcl_PackageInitProc *init,
                       Tcl_PackageInitProc *safe_init);
Tcl_Command Tcl_CreateCommand(Tcl_Interp *interp, const char *name, Tcl_CmdProc *proc,
                              ClientData data, Tcl_CmdDeleteProc *delete_proc);
const char *Tcl_GetStringResult(Tcl_Interp *interp);
int Tcl_Eval(Tcl_Interp *interp, const char *script);
Tcl_Obj *Tcl_GetObjResult(Tcl_Interp *interp);
int Tcl_GetLongFromObj(Tcl_Interp *interp, Tcl_Obj *obj, long *value);
int Tcl_DoOneEvent(int flags);
/* Appends each text up to a null pointer to the interpreter's result. */
void Tcl_AppendResult(Tcl_Interp *interp, ...);
void Tcl_SetResult(Tcl_Interp *interp, char *text, Tcl_FreeProc *free_proc);

/* ---- tk84.dll --------------------------------------------------------- */

void Tk_MainEx(int argc, char **argv, Tcl_AppInitProc *init, Tcl_Interp *interp);
int Tk_Init(Tcl_Interp *interp);
int Tk_SafeInit(Tcl_Interp *interp);
void Tk_InitConsoleChannels(Tcl_Interp *interp);
int Tk_CreateConsoleWindow(Tcl_Interp *interp);

}

#endif
