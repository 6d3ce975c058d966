/*
 * extent_test.cpp: the launcher's command-line splitter, the command line
 * that the POSIX layer rebuilds, the fatal report and the message box.
 */
#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "launcher/extent.h"
#include "launcher_util.h"

static std::vector<std::string> Split(const std::string &line, bool *had_array = nullptr)
{
    std::vector<char> copy(line.begin(), line.end());
    copy.push_back('\0');
    int argc = -1;
    char **argv = nullptr;
    cmd2argv(copy.data(), &argc, &argv);
    EXPECT_EQ(std::string(copy.data()), line) << "the line itself must not change";
    if (had_array)
        *had_array = argv != nullptr;
    std::vector<std::string> words;
    for (int i = 0; i < argc; i++) {
        words.push_back(argv[i]);
        free(argv[i]);
    }
    free(argv);
    return words;
}

struct SplitCase {
    const char *line;
    std::vector<std::string> words;
};

TEST(LauncherCmd2argv, SplitsAsTheRulesSay)
{
    const SplitCase cases[] = {
        {"a  b", {"a", "b"}},
        {"\"x y\" z", {"x y", "z"}},
        {"\"\"", {""}},
        {"\"abc", {"abc"}},
        {"\"a\"b", {"a", "b"}},
        {"ab\"cd ef\"", {"ab", "cd", "ef"}},
        {"a \"", {"a", ""}},
        {" a", {"", "a"}},
        {"a   ", {"a"}},
        {"a\tb\nc\vd\fe\rf", {"a", "b", "c", "d", "e", "f"}},
        {"\"C:\\Kovra 4\\bin\\kohelp.exe\" \"first topic\" x",
         {"C:\\Kovra 4\\bin\\kohelp.exe", "first topic", "x"}},
        {"back\\\"slash", {"back\\", "slash"}},
        {"\xe9t\xe9 \xa0x", {"\xe9t\xe9", "\xa0x"}},
    };
    for (const SplitCase &c : cases)
        EXPECT_EQ(Split(c.line), c.words) << "line: [" << c.line << "]";
}

TEST(LauncherCmd2argv, EmptyLineGivesNoArray)
{
    bool had_array = true;
    EXPECT_TRUE(Split("", &had_array).empty());
    EXPECT_FALSE(had_array);
}

/* The POSIX command line must split back into the words the process got. */
TEST(LauncherCommandLine, RebuiltLineSplitsIntoTheSameWords)
{
    const std::vector<std::vector<std::string>> cases = {
        {"/opt/kovra/bin/kohelp"},
        {"/opt/k ovra/bin/kohelp", "first topic", "x"},
        {"kohelp", "", "tab\there", "a\nb", "plain"},
        {"kohelp", "\xe9t\xe9", " lead", "trail "},
    };
    for (const auto &words : cases) {
        std::vector<char *> argv;
        for (const std::string &w : words)
            argv.push_back(const_cast<char *>(w.c_str()));
        kv_save_args((int)argv.size(), argv.data());
        EXPECT_EQ(Split(GetCommandLineA()), words) << "line: [" << GetCommandLineA() << "]";
    }
}

TEST(LauncherOEMCP, FollowsTheUserLocaleAndKeepsTheProgramLocale)
{
    setlocale(LC_ALL, "C");
    const char *saved = getenv("LC_ALL");
    std::string old = saved ? saved : "";
    struct Case { const char *locale; UINT page; };
    const Case cases[] = {{"C", 437}, {"en_US.UTF-8", 437}, {"de_DE.UTF-8", 850},
                          {"fr_FR.UTF-8", 850}, {"ru_RU.UTF-8", 866}, {"pl_PL.UTF-8", 852}};
    int checked = 0;
    for (const Case &c : cases) {
        /* Only locales that the C library has can be checked. */
        if (!setlocale(LC_CTYPE, c.locale))
            continue;
        setlocale(LC_ALL, "C");
        setenv("LC_ALL", c.locale, 1);
        EXPECT_EQ(GetOEMCP(), c.page) << c.locale;
        EXPECT_STREQ(setlocale(LC_CTYPE, nullptr), "C");
        checked++;
    }
    if (saved)
        setenv("LC_ALL", old.c_str(), 1);
    else
        unsetenv("LC_ALL");
    EXPECT_GE(checked, 1);
}

TEST(LauncherOEMCP, LocaleNamesGiveTheirCodePages)
{
    struct Case { const char *locale; UINT page; };
    const Case cases[] = {
        {"C", 437}, {"POSIX", 437}, {"C.UTF-8", 437}, {"", 437}, {"en_US.UTF-8", 437},
        {"en_US", 437}, {"en_GB.UTF-8", 850}, {"de_DE.UTF-8", 850}, {"de_CH", 850},
        {"fr_FR.ISO-8859-1", 850}, {"pt_BR.UTF-8", 850}, {"pl_PL.UTF-8", 852},
        {"cs_CZ", 852}, {"ru_RU.KOI8-R", 866}, {"uk_UA.UTF-8", 866}, {"el_GR.UTF-8", 737},
        {"tr_TR.UTF-8", 857}, {"he_IL.UTF-8", 862}, {"ja_JP.UTF-8", 932},
        {"zh_CN.UTF-8", 936}, {"zh_TW.UTF-8", 950}, {"ko_KR.UTF-8", 949},
        {"ca_ES@valencia", 850}, {"english", 437}, {"deu", 437},
    };
    for (const Case &c : cases)
        EXPECT_EQ(kv_oem_code_page(c.locale), c.page) << "[" << c.locale << "]";
}

/* Runs Panic in a child without a display: the text on stderr, exit code 1. */
TEST(LauncherPanic, ShowsThePercentTextVerbatimAndExitsWithOne)
{
    int status = -1;
    std::string err = PanicReport("100% sure: %d %s", &status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err, "Fatal Error: 100% sure: %d %s\n");
}

TEST(LauncherPanic, LongMessageIsCutNotOverrun)
{
    int status = -1;
    std::string err = PanicReport(std::string(5000, 'x'), &status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err, "Fatal Error: " + std::string(1023, 'x') + "\n");
}

/* The box opens on the display with its caption as title and closes on Return. */
TEST(LauncherMessageBox, OpensOnTheDisplayAndClosesOnReturn)
{
    std::string display = StartXvfb();
    if (display.empty())
        GTEST_SKIP() << "Xvfb is not installed";
    if (system("command -v xdotool >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xdotool is not installed";
    pid_t pid = fork();
    if (pid == 0) {
        setenv("DISPLAY", display.c_str(), 1);
        int n = MessageBoxA(nullptr, "line one\nline two", "Kovra Box Test", MB_ICONERROR);
        _exit(n == IDOK ? 0 : 3);
    }
    std::string find = "DISPLAY=" + display +
                       " xdotool search --onlyvisible --name '^Kovra Box Test$' >/dev/null 2>&1";
    /* Generous bounds (about 30 s each): a loaded machine maps windows slowly. */
    bool seen = false;
    for (int i = 0; i < 600 && !seen; i++) {
        seen = system(find.c_str()) == 0;
        if (!seen)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(seen) << "no box titled with the caption";
    int status = -1;
    EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "the box must wait for the user";
    std::string key = "DISPLAY=" + display +
                      " xdotool search --onlyvisible --name '^Kovra Box Test$' windowfocus --sync key Return";
    pid_t done = 0;
    for (int i = 0; i < 600 && done == 0; i++) {
        if (i % 10 == 0)
            (void)!system(key.c_str());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        done = waitpid(pid, &status, WNOHANG);
    }
    if (done == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    ASSERT_EQ(done, pid) << "Return did not close the box";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    StopXvfb();
}
