/*
 * run_test.cpp: the real kohelp and koedit, each copied into a temporary
 * tree bin/ beside a script of the test's own in src/, under a private
 * Xvfb display: the arguments the script sees, GuiInit's icon on the
 * frame window, the commands' failures, the fatal report without a
 * display, a missing script, and the help viewer on screen.
 */
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "launcher_util.h"

namespace {

std::string g_display;

class LauncherRun : public ::testing::Test {
protected:
    static void SetUpTestSuite() { g_display = StartXvfb(); }
    static void TearDownTestSuite() { StopXvfb(); }

    void SetUp() override
    {
        root = MakeTempDir();
        ASSERT_FALSE(root.empty());
    }
    void TearDown() override { (void)!system(("rm -rf '" + root + "'").c_str()); }

    void NeedDisplay()
    {
        if (g_display.empty())
            GTEST_SKIP() << "Xvfb is not installed";
    }

    /* Installs launcher ("kohelp" or "koedit") with script as its script. */
    std::string Install(const std::string &launcher, const std::string &script)
    {
        std::string part = launcher == "kohelp" ? "help" : "edit";
        (void)!system(("mkdir -p '" + root + "/bin' '" + root + "/src/" + part + "'").c_str());
        std::string exe = root + "/bin/" + launcher;
        CopyFile(launcher == "kohelp" ? KV_KOHELP : KV_KOEDIT, exe, true);
        if (!script.empty())
            WriteFile(root + "/src/" + part + "/" + part + ".tcl", script);
        return exe;
    }

    std::string root;
};

/* Writes what the script got, one item a line, and ends the program. */
const char kArgvScript[] = R"(
set f [open [file join [file dirname [info script]] seen.txt] w]
fconfigure $f -encoding utf-8
puts $f [info nameofexecutable]
puts $f $argv0
puts $f $argc
foreach a $argv {puts $f <$a>}
close $f
exit 0
)";

struct ArgvCase {
    std::vector<std::string> words;
    std::string expect; /* the argument lines */
};

TEST_F(LauncherRun, ScriptSeesTheExecutableItsPathAndTheWords)
{
    NeedDisplay();
    const ArgvCase cases[] = {
        {{}, "0\n"},
        {{"first topic", "x"}, "2\n<first topic>\n<x>\n"},
        {{""}, "1\n<>\n"},
        {{"ab\"cd"}, "2\n<ab>\n<cd>\n"},
        {{"-x", "t\tab"}, "2\n<-x>\n<t\tab>\n"},
    };
    for (const char *launcher : {"kohelp", "koedit"}) {
        std::string part = std::string(launcher) == "kohelp" ? "help" : "edit";
        std::string exe = Install(launcher, kArgvScript);
        for (const ArgvCase &c : cases) {
            std::vector<std::string> argv = {exe};
            argv.insert(argv.end(), c.words.begin(), c.words.end());
            RunResult r = RunProgram(argv, g_display, 20);
            ASSERT_EQ(r.status, 0) << r.err;
            std::string seen = ReadFile(root + "/src/" + part + "/seen.txt");
            std::string expect = exe + "\n" + root + "/bin/../src/" + part + "/" + part + ".tcl\n" +
                                 c.expect;
            EXPECT_EQ(seen, expect) << launcher;
            (void)!system(("rm -f '" + root + "/src/" + part + "/seen.txt'").c_str());
        }
    }
}

/* The launcher started by a relative name still gives the script its full path. */
TEST_F(LauncherRun, RelativeStartGivesFullNames)
{
    NeedDisplay();
    Install("kohelp", kArgvScript);
    RunResult r = RunProgram({"bin/kohelp", "a b"}, g_display, 20, root);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(root + "/src/help/seen.txt"),
              root + "/bin/kohelp\n" + root + "/bin/../src/help/help.tcl\n1\n<a b>\n");
}

/*
 * Reads _NET_WM_ICON of the frame around a toplevel (Tk's wrapper, the
 * toplevel's parent): width, height, ARGB pixels; empty if the frame's
 * WM_HINTS has no icon pixmap.
 */
std::vector<unsigned long> ReadNetIcon(const std::string &display, unsigned long toplevel)
{
    std::vector<unsigned long> icon;
    Display *d = XOpenDisplay(display.c_str());
    if (!d)
        return icon;
    Window root_w = 0, window = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, (Window)toplevel, &root_w, &window, &children, &count) || window == root_w) {
        XCloseDisplay(d);
        return icon;
    }
    if (children)
        XFree(children);
    Atom type;
    int format;
    unsigned long n = 0, after = 0;
    unsigned char *data = nullptr;
    Atom prop = XInternAtom(d, "_NET_WM_ICON", False);
    if (XGetWindowProperty(d, (Window)window, prop, 0, 4096, False, XA_CARDINAL, &type, &format,
                           &n, &after, &data) == Success && data && format == 32) {
        unsigned long *v = reinterpret_cast<unsigned long *>(data);
        /* Xlib hands 32-bit items in longs, sign-extended on 64-bit hosts. */
        for (unsigned long i = 0; i < n; i++)
            icon.push_back(v[i] & 0xFFFFFFFFul);
    }
    if (data)
        XFree(data);
    XWMHints *hints = XGetWMHints(d, (Window)window);
    if (!hints || !(hints->flags & IconPixmapHint))
        icon.clear();
    if (hints)
        XFree(hints);
    XCloseDisplay(d);
    return icon;
}

/* The first image of an .ico file (4 bits, AND mask) as ARGB pixels, top row first. */
std::vector<unsigned long> DecodeIco(const std::string &ico)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(ico.data());
    std::vector<unsigned long> px;
    if (ico.size() != 22 + 744)
        return px;
    const unsigned char *bmp = p + 22, *pal = bmp + 40, *xr = pal + 64, *ar = xr + 512;
    px.push_back(32);
    px.push_back(32);
    for (int y = 0; y < 32; y++) {
        int row = 31 - y;
        for (int x = 0; x < 32; x++) {
            unsigned idx = (xr[row * 16 + x / 2] >> (x % 2 ? 0 : 4)) & 15u;
            bool clear = (ar[row * 4 + x / 8] >> (7 - x % 8)) & 1;
            const unsigned char *c = pal + idx * 4;
            px.push_back(clear ? 0ul : 0xFF000000ul | (unsigned long)c[2] << 16 |
                                           (unsigned long)c[1] << 8 | c[0]);
        }
    }
    return px;
}

const char kIconScript[] = R"(
wm withdraw .
toplevel .tMain
set f [open [file join [file dirname [info script]] seen.txt] w]
puts $f [catch {GuiInit extra words} r]
puts $f [winfo id .tMain]
puts $f [catch {GuiGetOEMCP} r]$r
puts $f [catch {GuiGetOEMCP x} r]$r
close $f
exit 0
)";

TEST_F(LauncherRun, GuiInitPutsTheExecutablesIconOnTheFrame)
{
    NeedDisplay();
    std::vector<unsigned long> icons[2];
    int k = 0;
    for (const char *launcher : {"kohelp", "koedit"}) {
        std::string part = std::string(launcher) == "kohelp" ? "help" : "edit";
        std::string script = kIconScript;
        /* Keep the window until the test has read its icon. */
        script.replace(script.find("exit 0"), 6, "after 3000 exit");
        std::string exe = Install(launcher, script);
        std::string seen_path = root + "/src/" + part + "/seen.txt";
        pid_t pid = fork();
        if (pid == 0) {
            setenv("DISPLAY", g_display.c_str(), 1);
            execl(exe.c_str(), exe.c_str(), (char *)nullptr);
            _exit(127);
        }
        std::string seen;
        for (int i = 0; i < 200 && seen.size() < 4; i++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
            seen = ReadFile(seen_path);
            if (seen.find("syntax") == std::string::npos)
                seen.clear();
        }
        ASSERT_FALSE(seen.empty()) << "the script did not report";
        std::vector<std::string> lines;
        for (size_t a = 0, b; (b = seen.find('\n', a)) != std::string::npos; a = b + 1)
            lines.push_back(seen.substr(a, b - a));
        ASSERT_EQ(lines.size(), 4u) << seen;
        EXPECT_EQ(lines[0], "0");
        EXPECT_TRUE(lines[2].size() > 1 && lines[2][0] == '0' &&
                    lines[2].find_first_not_of("0123456789") == std::string::npos) << lines[2];
        EXPECT_EQ(lines[3], "1syntax: GuiGetOEMCP");
        icons[k] = ReadNetIcon(g_display, strtoul(lines[1].c_str(), nullptr, 0));
        EXPECT_EQ(icons[k], DecodeIco(ReadFile(std::string(KV_ICON_DIR) + "/" + launcher + ".ico")))
            << launcher << ": frame icon differs from the embedded one";
        int status;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        k++;
    }
    EXPECT_EQ(icons[0].size(), 2u + 32 * 32);
    EXPECT_NE(icons[0], icons[1]) << "the two launchers must have different pictures";
}

TEST_F(LauncherRun, GuiInitWithoutMainWindowFailsAfterFiveSeconds)
{
    NeedDisplay();
    std::string exe = Install("kohelp", "puts [catch GuiInit r]|$r\nexit 0\n");
    RunResult r = RunProgram({exe}, g_display, 20);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 2), "1|");
    const std::string tail = "error: id toplevel window\n";
    ASSERT_GE(r.out.size(), tail.size());
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail) << r.out;
    EXPECT_GE(r.seconds, 4.9); /* it gives up only after its deadline; RunProgram bounds the rest */
}

TEST_F(LauncherRun, FailingTkInitEndsInFatalErrorWithCodeOne)
{
    std::string exe = Install("koedit", "exit 0\n");
    RunResult r = RunProgram({exe}, "", 20);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Fatal Error: no display name and no $DISPLAY environment variable\n");
}

TEST_F(LauncherRun, MissingScriptGivesTksReport)
{
    NeedDisplay();
    std::string exe = Install("kohelp", "");
    RunResult r = RunProgram({exe}, g_display, 20);
    EXPECT_FALSE(r.timed_out);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("couldn't read file \"" + root + "/bin/../src/help/help.tcl\""),
              std::string::npos) << r.err;
}

/* Starts the product's help viewer with words; true once a window titled title shows. */
bool HelpShows(const std::string &root, const std::string &exe, const std::vector<std::string> &words,
               const std::string &title, pid_t *child)
{
    (void)!system(("cp -r '" KOVRA_SOURCE_DIR "/product/src/help' '" + root + "/src/'").c_str());
    pid_t pid = fork();
    if (pid == 0) {
        setenv("DISPLAY", g_display.c_str(), 1);
        std::vector<char *> argv = {const_cast<char *>(exe.c_str())};
        for (const std::string &w : words)
            argv.push_back(const_cast<char *>(w.c_str()));
        argv.push_back(nullptr);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    std::string find = "DISPLAY=" + g_display + " xdotool search --onlyvisible --name '^" + title +
                       "$' >/dev/null 2>&1";
    bool seen = false;
    for (int i = 0; i < 200 && !seen; i++) {
        seen = system(find.c_str()) == 0;
        if (!seen)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (child) {
        *child = pid;
    } else {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    return seen;
}

/* A topic named on the command line opens at once: by title or file name. */
TEST_F(LauncherRun, HelpViewerOpensTheNamedTopic)
{
    NeedDisplay();
    if (system("command -v xdotool >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xdotool is not installed";
    std::string exe = Install("kohelp", "");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"The file editor"}, "The file editor - Kovra Help"},
        {{"installing"}, "Installing Kovra - Kovra Help"},
        {{"no such topic"}, "Introduction to Kovra - Kovra Help"},
    };
    for (const auto &c : cases)
        EXPECT_TRUE(HelpShows(root, exe, c.first, c.second, nullptr)) << c.second;
}

/* The product's help viewer opens at the introduction. */
TEST_F(LauncherRun, HelpViewerShowsTheIntroduction)
{
    NeedDisplay();
    if (system("command -v xdotool >/dev/null 2>&1 && command -v import >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xdotool or ImageMagick is not installed";
    std::string exe = Install("kohelp", "");
    (void)!system(("cp -r '" KOVRA_SOURCE_DIR "/product/src/help' '" + root + "/src/'").c_str());
    pid_t pid = fork();
    if (pid == 0) {
        setenv("DISPLAY", g_display.c_str(), 1);
        execl(exe.c_str(), exe.c_str(), (char *)nullptr);
        _exit(127);
    }
    std::string find = "DISPLAY=" + g_display +
                       " xdotool search --onlyvisible --name '^Introduction to Kovra - Kovra Help$'"
                       " >/dev/null 2>&1";
    bool seen = false;
    for (int i = 0; i < 200 && !seen; i++) {
        seen = system(find.c_str()) == 0;
        if (!seen)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(seen) << "no window shows the introduction";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::string png = std::string(KOVRA_BINARY_DIR) + "/launcher_help_viewer.png";
    ASSERT_EQ(system(("DISPLAY=" + g_display + " import -window root '" + png + "'").c_str()), 0);
    /* The selected first list entry: Tk's grey selection band at the list's top. */
    std::string probe = "convert '" + png + "' -format '%[pixel:p{20,45}] %[pixel:p{400,600}]' info:";
    FILE *f = popen(probe.c_str(), "r");
    char buf[128] = "";
    if (f) {
        if (!fgets(buf, sizeof buf, f))
            buf[0] = '\0';
        pclose(f);
    }
    std::string colours = buf;
    EXPECT_NE(colours.find(' '), std::string::npos) << colours;
    std::string listed = colours.substr(0, colours.find(' '));
    std::string outside = colours.substr(colours.find(' ') + 1);
    EXPECT_NE(listed, outside) << "the window is not drawn: " << colours;
    kill(pid, SIGTERM);
    int status;
    waitpid(pid, &status, 0);
}

} // namespace

namespace {

/* Runs the product's editor on file, appends text at its end, saves, ends. */
RunResult EditAndSave(const std::string &root, const std::string &exe, const std::string &file,
                      const std::string &append)
{
    std::string script = "source {" KOVRA_SOURCE_DIR "/product/src/edit/edit.tcl}\n"
                         "update\n"
                         ".tMain.text insert {end - 1 char} \"" + append + "\"\n"
                         "if {![Save .tMain]} {exit 3}\n"
                         "puts $Enc(.tMain)\n"
                         "exit 0\n";
    WriteFile(root + "/src/edit/edit.tcl", script);
    return RunProgram({exe, file}, g_display, 20);
}

TEST_F(LauncherRun, EditorKeepsEachFilesCharacterSetAndLineEnds)
{
    NeedDisplay();
    std::string exe = Install("koedit", "exit 0\n");
    struct Case {
        const char *name, *before, *append, *after, *encoding;
    };
    /* The tests run in the "C" locale, whose OEM code page is 437. */
    const Case cases[] = {
        {"oem.txt", "caf\x82\r\nna\x8bve\r\n", "\\u00fc", "caf\x82\r\nna\x8bve\r\n\x81", "cp437"},
        {"utf8.txt", "caf\xc3\xa9\nna\xc3\xafve\n", "\\u00fc", "caf\xc3\xa9\nna\xc3\xafve\n\xc3\xbc",
         "utf-8"},
        {"new.txt", nullptr, "\\u00e9t\\u00e9", "\xc3\xa9t\xc3\xa9", "utf-8"},
    };
    for (const Case &c : cases) {
        std::string file = root + "/" + c.name;
        if (c.before)
            WriteFile(file, c.before);
        RunResult r = EditAndSave(root, exe, file, c.append);
        ASSERT_EQ(r.status, 0) << c.name << ": " << r.err;
        EXPECT_EQ(r.out, std::string(c.encoding) + "\n") << c.name;
        EXPECT_EQ(ReadFile(file), c.after) << c.name;
    }
}

} // namespace
