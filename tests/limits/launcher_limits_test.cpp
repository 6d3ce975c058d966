/*
 * launcher_limits_test.cpp: the launcher's buffers at their limits and one
 * character past them: Panic's 1024-byte message (1023 characters shown,
 * a longer one cut), and SetIcon's 256-byte command "winfo id PATH ",
 * which takes window paths of up to 245 characters; a longer path names
 * no window and is never handed to Tcl.
 */
#include "launcher/extent.h"
#include "launcher_util.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

TEST(PanicLimit, OneThousandTwentyThreeCharactersAndOneMore)
{
    for (size_t len : {1023u, 1024u}) {
        /* The last character differs, so a cut shows where it falls. */
        std::string text = std::string(len - 1, 'x') + "y";
        int status = -1;
        std::string err = PanicReport(text, &status);
        EXPECT_EQ(status, 1) << len;
        const std::string shown = len == 1023 ? text : std::string(1023, 'x');
        EXPECT_EQ(err, "Fatal Error: " + shown + "\n") << len;
    }
}

namespace {

/*
 * A Tcl interpreter without Tk whose "winfo" notes the path it is asked
 * about and answers with a window id that the test chose.
 */
struct FakeWinfo {
    Tcl_Interp *interp = Tcl_CreateInterp();
    ~FakeWinfo() { Tcl_DeleteInterp(interp); }
    void answer(unsigned long id)
    {
        std::string script = "set ::asked {}\nproc winfo {what path} {"
                             " lappend ::asked $what $path; return " + std::to_string(id) + " }";
        ASSERT_EQ(Tcl_Eval(interp, script.c_str()), TCL_OK) << Tcl_GetStringResult(interp);
    }
    std::string asked() const { return Tcl_GetVar(interp, "asked", TCL_GLOBAL_ONLY); }
};

} // namespace

TEST(SetIconLimit, WindowPathOfTwoHundredFortyFiveCharactersAndOneMore)
{
    std::string display = StartXvfb();
    if (display.empty())
        GTEST_SKIP() << "Xvfb is not installed";
    setenv("DISPLAY", display.c_str(), 1);
    /* A frame with a window in it, as Tk makes for a toplevel. */
    Display *d = XOpenDisplay(display.c_str());
    ASSERT_NE(d, nullptr);
    Window frame = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 64, 64, 0, 0, 0);
    Window inner = XCreateSimpleWindow(d, frame, 0, 0, 32, 32, 0, 0, 0);
    XSync(d, False);

    for (size_t len : {245u, 246u}) {
        const std::string path = "." + std::string(len - 1, 'w');
        FakeWinfo tcl;
        tcl.answer(inner);
        std::string thrown;
        try {
            /* No icon of that name exists in this program. */
            SetIcon(tcl.interp, path.c_str(), "NO_SUCH_ICON");
        } catch (const char *text) {
            thrown = text;
        }
        if (len == 245) {
            /* The whole path reached Tcl, and the frame of its window was found. */
            EXPECT_EQ(tcl.asked(), "id " + path);
            EXPECT_EQ(thrown, "error: load icon");
        } else {
            EXPECT_EQ(tcl.asked(), "");
            EXPECT_EQ(thrown, "error: id toplevel window");
        }
    }
    XDestroyWindow(d, frame);
    XCloseDisplay(d);
    StopXvfb();
}
