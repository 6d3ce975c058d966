/*
 * wine_commands.cpp: TclInit, the commands GuiGetOEMCP and GuiInit, and
 * CreateConsole, against the Tcl doubles and real Windows windows.  The
 * test program carries kohelp's resources, so MAIN_ICON loads as in the
 * launcher; GuiInit must give the frame window's class that icon.
 */
#include <cstdio>
#include <cstring>

#include "tcl_doubles.h"
#include "wine_check.h"

namespace {

std::string Join(const std::vector<std::string> &calls)
{
    std::string out;
    for (const std::string &c : calls)
        out += c + "; ";
    return out;
}

/* A frame window and the toplevel's own window inside it, as Tk makes them. */
struct Windows {
    HWND Frame = nullptr;
    HWND Inner = nullptr;
};

Windows MakeWindows(bool inner_is_child)
{
    static bool registered = false;
    HINSTANCE self = GetModuleHandleA(nullptr);
    if (!registered) {
        WNDCLASSA frame = {};
        frame.lpfnWndProc = DefWindowProcA;
        frame.hInstance = self;
        frame.lpszClassName = "KvTestFrame";
        WNDCLASSA inner = frame;
        inner.lpszClassName = "KvTestInner";
        registered = RegisterClassA(&frame) && RegisterClassA(&inner);
    }
    Windows w;
    w.Frame = CreateWindowA("KvTestFrame", "frame", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                            nullptr, nullptr, self, nullptr);
    if (inner_is_child)
        w.Inner = CreateWindowA("KvTestInner", "", WS_CHILD, 0, 0, 100, 50, w.Frame, nullptr,
                                self, nullptr);
    else
        w.Inner = CreateWindowA("KvTestInner", "", WS_OVERLAPPED, 0, 0, 100, 50, nullptr,
                                nullptr, self, nullptr);
    return w;
}

void DropWindows(Windows &w)
{
    DestroyWindow(w.Inner);
    DestroyWindow(w.Frame);
}

Windows Late; /* for the case in which the frame comes after a few events */

void AdoptOnThirdEvent(int call)
{
    if (call == 3) {
        SetWindowLongPtrA(Late.Inner, GWL_STYLE, WS_CHILD);
        SetParent(Late.Inner, Late.Frame);
    }
}

/* Windows need a display; without one the window cases fail at once. */
bool Made(const Windows &w, const char *name)
{
    if (w.Frame && w.Inner)
        return true;
    Check(false, name, "no window could be created (no display?)");
    return false;
}

std::string Number(HWND window)
{
    return std::to_string((long)(LONG_PTR)window);
}

/* GuiInit on a toplevel whose frame window exists: the class gets the icon. */
void IconOnTheFrame(HICON icon)
{
    Windows w = MakeWindows(true);
    if (!Made(w, "GuiInit gives the frame window's class MAIN_ICON"))
        return;
    Tcl_Interp in;
    in.EvalReply = Number(w.Inner);
    const char *words[] = {"GuiInit", "extra", "words"};
    ResetTclLog();
    int ok = GuiInit(nullptr, &in, 3, words);
    HICON set = reinterpret_cast<HICON>(GetClassLongPtrA(w.Frame, GCLP_HICON));
    Check(w.Inner && ok == TCL_OK && in.Evals.size() == 1 && in.Evals[0] == "winfo id .tMain " &&
              TclLog.Events >= 1 && TclLog.EventFlags == TCL_DONT_WAIT && set == icon &&
              icon != nullptr,
          "GuiInit gives the frame window's class MAIN_ICON",
          "status " + std::to_string(ok) + ", evals " + Join(in.Evals) + ", events " +
              std::to_string(TclLog.Events));
    /* The icon belongs to the class: a further window of it shows it too. */
    HWND other = CreateWindowA("KvTestFrame", "other", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                               nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    Check(reinterpret_cast<HICON>(GetClassLongPtrA(other, GCLP_HICON)) == icon,
          "a further window of the frame's class has the icon");
    DestroyWindow(other);
    SetClassLongPtrA(w.Frame, GCLP_HICON, 0);
    DropWindows(w);
}

/* The frame window turns up after a few events. */
void IconOnALateFrame(HICON icon)
{
    Late = MakeWindows(false);
    if (!Made(Late, "GuiInit waits, handling events, until the frame window exists"))
        return;
    Tcl_Interp in;
    in.EvalReply = Number(Late.Inner);
    ResetTclLog();
    TclLog.OnEvent = AdoptOnThirdEvent;
    int ok = GuiInit(nullptr, &in, 1, nullptr);
    HICON set = reinterpret_cast<HICON>(GetClassLongPtrA(Late.Frame, GCLP_HICON));
    Check(ok == TCL_OK && TclLog.Events == 3 && set == icon,
          "GuiInit waits, handling events, until the frame window exists",
          "status " + std::to_string(ok) + ", events " + std::to_string(TclLog.Events));
    SetClassLongPtrA(Late.Frame, GCLP_HICON, 0);
    DropWindows(Late);
}

/* An icon group that the executable does not hold. */
void IconNotThere()
{
    Windows w = MakeWindows(true);
    if (!Made(w, "SetIcon of an icon group that is not there throws"))
        return;
    Tcl_Interp in;
    in.EvalReply = Number(w.Inner);
    bool thrown = false;
    try {
        SetIcon(&in, ".tMain", "NO_SUCH_ICON");
    } catch (const char *text) {
        thrown = strcmp(text, "error: load icon") == 0;
    }
    Check(thrown, "SetIcon of an icon group that is not there throws \"error: load icon\"");
    DropWindows(w);
}

} // namespace

void TestCommands()
{
    /* TclInit: Tcl, Tk, Tk as a static package, the two commands. */
    ResetTclLog();
    Tcl_Interp interp;
    int status = TclInit(&interp);
    std::string want = "Tcl_Init; Tk_Init; Tcl_StaticPackage Tk; Tcl_CreateCommand GuiInit; "
                       "Tcl_CreateCommand GuiGetOEMCP; ";
    Check(status == TCL_OK && Join(TclLog.Calls) == want && TclLog.Commands[0] == GuiInit &&
              TclLog.Commands[1] == GuiGetOEMCP && TclLog.PackageInit == Tk_Init &&
              TclLog.PackageSafeInit == Tk_SafeInit,
          "TclInit initialises Tcl and Tk and registers both commands", Join(TclLog.Calls));

    /* GuiGetOEMCP. */
    {
        Tcl_Interp in;
        const char *words[] = {"GuiGetOEMCP", "x"};
        ResetTclLog();
        int ok = GuiGetOEMCP(nullptr, &in, 1, words);
        Check(ok == TCL_OK && in.Result == std::to_string(GetOEMCP()) &&
                  Join(TclLog.Calls) == "Tcl_SetResult volatile; ",
              "GuiGetOEMCP gives the OEM code page " + std::to_string(GetOEMCP()), in.Result);
        Tcl_Interp bad;
        bad.Result = "before ";
        ok = GuiGetOEMCP(nullptr, &bad, 2, words);
        Check(ok == TCL_ERROR && bad.Result == "before syntax: GuiGetOEMCP",
              "GuiGetOEMCP with an argument fails with its syntax", bad.Result);
    }

    /* GuiInit sets MAIN_ICON on the frame window's class. */
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), "MAIN_ICON");
    Check(icon != nullptr, "MAIN_ICON loads from the program's resources");
    IconOnTheFrame(icon);
    IconOnALateFrame(icon);
    IconNotThere();
    {
        /* No toplevel: the query fails, no frame ever turns up. */
        Tcl_Interp in;
        in.EvalReply = "bad window path name \".tMain\"";
        in.EvalStatus = TCL_ERROR;
        ResetTclLog();
        DWORD start = GetTickCount();
        int ok = GuiInit(nullptr, &in, 1, nullptr);
        DWORD spent = GetTickCount() - start;
        Check(ok == TCL_ERROR &&
                  in.Result == "bad window path name \".tMain\"error: id toplevel window" &&
                  spent >= 4900 && TclLog.Events > 1,
              "GuiInit without .tMain fails after the deadline, result appended",
              in.Result + " after " + std::to_string(spent) + " ms");
    }
    {
        /* A window path too long for the command buffer names no window. */
        Tcl_Interp in;
        in.EvalReply = "1";
        std::string path = "." + std::string(300, 'w');
        ResetTclLog();
        TclLog.OnEvent = [](int) {};
        bool thrown = false;
        try {
            SetIcon(&in, path.c_str(), "MAIN_ICON");
        } catch (const char *text) {
            thrown = strcmp(text, "error: id toplevel window") == 0;
        }
        Check(thrown && in.Evals.empty(), "SetIcon of an overlong path evaluates nothing and fails");
    }

    /* CreateConsole. */
    struct ConsoleCase {
        const char *Name;
        int WindowStatus, ShowStatus;
        bool Throws;
        const char *Calls;
    };
    const ConsoleCase consoles[] = {
        {"CreateConsole opens and shows the console", TCL_OK, TCL_OK, false,
         "Tk_InitConsoleChannels; Tk_CreateConsoleWindow; "},
        {"CreateConsole throws when the window cannot be made", TCL_ERROR, TCL_OK, true,
         "Tk_InitConsoleChannels; Tk_CreateConsoleWindow; "},
        {"CreateConsole throws when console show fails", TCL_OK, TCL_ERROR, true,
         "Tk_InitConsoleChannels; Tk_CreateConsoleWindow; "},
    };
    for (const ConsoleCase &c : consoles) {
        Tcl_Interp in;
        in.ConsoleStatus = c.WindowStatus;
        in.EvalStatus = c.ShowStatus;
        ResetTclLog();
        bool thrown = false;
        try {
            CreateConsole(&in);
        } catch (const char *text) {
            thrown = strcmp(text, "error: create console") == 0;
        }
        bool shown = in.Evals.size() == 1 && in.Evals[0] == "console show";
        Check(thrown == c.Throws && Join(TclLog.Calls) == c.Calls && (shown || c.WindowStatus != TCL_OK),
              c.Name, Join(TclLog.Calls));
    }
}
