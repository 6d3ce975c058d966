/*
 * wine_cmdline.cpp: cmd2argv on a table of command lines, and the
 * start-up in WinMain on real Windows command lines: the test program
 * starts itself as a child with a chosen command line, the child runs
 * WinMain (Tk_MainEx being a double) and prints the Tk argument vector.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tcl_doubles.h"
#include "wine_check.h"

/* The launcher's start-up, as kohelp has it. */
#define KV_SCRIPT_TAIL "../src/help/help.tcl"
#include "launcher/entry.inc"

namespace {

struct SplitCase {
    const char *Name;
    const char *Line;
    std::vector<std::string> Words;
};

std::string Show(const std::vector<std::string> &words)
{
    std::string out = std::to_string(words.size()) + " words:";
    for (const std::string &w : words)
        out += " <" + w + ">";
    return out;
}

} // namespace

void TestCmd2argv()
{
    const SplitCase cases[] = {
        {"two blanks between words", "a  b", {"a", "b"}},
        {"quoted word keeps its blank", "\"x y\" z", {"x y", "z"}},
        {"two quotes give one empty word", "\"\"", {""}},
        {"quote left open to the end", "\"abc", {"abc"}},
        {"word right after a closing quote", "\"a\"b", {"a", "b"}},
        {"quote ending an unquoted word is consumed", "ab\"cd ef\"", {"ab", "cd", "ef"}},
        {"quote at the end gives an empty word", "a \"", {"a", ""}},
        {"leading blank gives an empty first word", " a", {"", "a"}},
        {"trailing blanks give no word", "a   ", {"a"}},
        {"tab, line feed, vertical tab, form feed, return separate", "a\tb\nc\vd\fe\rf",
         {"a", "b", "c", "d", "e", "f"}},
        {"bytes from 0x80 are not white space", "\xa0x\x85 \xff", {"\xa0x\x85", "\xff"}},
        {"backslash has no meaning", "a\\\"b \"c\\\" d\\\\", {"a\\", "b", "c\\", "d\\\\"}},
        {"quoted program path and words", "\"C:\\Kovra 4.3\\bin\\kohelp.exe\" \"first topic\" x",
         {"C:\\Kovra 4.3\\bin\\kohelp.exe", "first topic", "x"}},
    };
    for (const SplitCase &c : cases) {
        std::string name = std::string("cmd2argv: ") + c.Name;
        std::vector<char> line(c.Line, c.Line + strlen(c.Line) + 1);
        int argc = -1;
        char **argv = nullptr;
        try {
            cmd2argv(line.data(), &argc, &argv);
        } catch (const char *text) {
            Check(false, name, std::string("threw ") + text);
            continue;
        }
        std::vector<std::string> got;
        bool inside = false; /* a word that points into the line itself */
        for (int i = 0; i < argc; i++) {
            got.emplace_back(argv[i]);
            inside |= argv[i] >= line.data() && argv[i] < line.data() + line.size();
        }
        bool same = got == c.Words && argv != nullptr && !inside;
        Check(same && strcmp(line.data(), c.Line) == 0, name,
              same ? "the line was modified" : "got " + Show(got) + ", want " + Show(c.Words));
        for (int i = 0; i < argc; i++)
            free(argv[i]);
        free(argv);
    }

    char empty[] = "";
    int argc = -1;
    char **argv = reinterpret_cast<char **>(&argc);
    cmd2argv(empty, &argc, &argv);
    Check(argc == 0 && argv == nullptr, "cmd2argv: empty line gives count 0 and no array");
}

/* ---- Start-up ----------------------------------------------------------- */

/* The child: WinMain on this process's command line, the record on stdout. */
int RunStartupChild()
{
    ResetTclLog();
    int status = WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), 0);
    printf("status=%d\n", status);
    printf("find=%s\n", TclLog.FoundExecutable.c_str());
    for (const std::string &call : TclLog.Calls)
        printf("call=%s\n", call.c_str());
    for (const std::string &arg : TclLog.TkArgv)
        printf("argv=%s\n", arg.c_str());
    printf("panic=%s\n", TclLog.PanicProc == Panic ? "Panic" : "other");
    return 0;
}

namespace {

/* Runs the test program as the start-up child with the command line given. */
bool RunChild(const std::string &command, std::string &out)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read_end, write_end;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0))
        return false;
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = write_end;
    start.hStdError = write_end;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    SetEnvironmentVariableA("KV_STARTUP_CHILD", "1");
    BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &start, &process);
    SetEnvironmentVariableA("KV_STARTUP_CHILD", nullptr);
    CloseHandle(write_end);
    if (!started) {
        CloseHandle(read_end);
        return false;
    }
    char chunk[512];
    DWORD got;
    while (ReadFile(read_end, chunk, sizeof chunk, &got, nullptr) && got > 0)
        out.append(chunk, got);
    CloseHandle(read_end);
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    std::string plain;
    for (char c : out)
        if (c != '\r')
            plain += c;
    out = plain;
    return true;
}

struct StartupCase {
    const char *Name;
    const char *Words;                     /* the command line after the program */
    std::vector<std::string> ScriptWords;  /* Tk's argument entries 2 and later */
};

} // namespace

void TestStartup(const char *)
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string full = self;
    for (char &c : full)
        if (c == '\\')
            c = '/';
    std::string script = full.substr(0, full.rfind('/') + 1) + KV_SCRIPT_TAIL;

    const StartupCase cases[] = {
        {"program name alone gives two entries", "", {}},
        {"quoted word with a blank and a plain word", " \"first topic\" x", {"first topic", "x"}},
        {"two quotes and ab\"cd", " \"\" ab\"cd", {"", "ab", "cd"}},
    };
    for (const StartupCase &c : cases) {
        std::string name = std::string("start-up: ") + c.Name;
        std::string typed = std::string(self);
        std::string out;
        if (!RunChild("\"" + typed + "\"" + c.Words, out)) {
            Check(false, name, "the child could not be started");
            continue;
        }
        std::string want = "status=0\nfind=" + typed +
                           "\ncall=Tcl_FindExecutable\ncall=Tcl_GetNameOfExecutable"
                           "\ncall=Tcl_SetPanicProc\ncall=Tcl_CreateInterp\ncall=Tk_MainEx\n"
                           "argv=" + full + "\nargv=" + script + "\n";
        for (const std::string &w : c.ScriptWords)
            want += "argv=" + w + "\n";
        want += "panic=Panic\n";
        Check(out == want, name, "child printed\n" + out + "want\n" + want);
    }
}
