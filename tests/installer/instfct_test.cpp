/*
 * instfct_test.cpp: the installer's utility unit in-process: the install
 * list readers on a table of list texts, the name check, the path and
 * directory routines, the file routines and FatalError (in a child).
 */
#include "installer/instfct.h"

#include "run_util.h"

#include <utility>

namespace {

typedef std::vector<std::pair<std::string, int>> Records;

/* Reads every record of one letter from text, mode starting at start. */
Records read_all(const std::string &text, bool dirs, int size, int start)
{
    FILE *f = tmpfile();
    fwrite(text.data(), 1, text.size(), f);
    rewind(f);
    Records got;
    std::vector<char> name((size_t)size + 8, 'X');
    int mode = start;
    while (dirs ? GetNextDir(f, name.data(), size, &mode) : GetNextFile(f, name.data(), size, &mode))
        got.emplace_back(name.data(), mode);
    fclose(f);
    return got;
}

struct ListCase {
    const char *what;
    std::string text;
    bool dirs;
    int size;
    Records expected;
};

constexpr int KEPT = -7; /* the mode before the first record */

const ListCase kListCases[] = {
    {"valid list, files", "Kovra\r\nD \"bin\" \"755\"\r\nD \"src/help\" \"755\"\r\n"
     "F \"bin/kohelp.exe\" \"755\"\r\nF \"src/help/help.tcl\" \"644\"\r\n", false, 512,
     {{"bin/kohelp.exe", 0755}, {"src/help/help.tcl", 0644}}},
    {"valid list, directories", "Kovra\r\nD \"bin\" \"755\"\r\nD \"src/help\" \"755\"\r\n"
     "F \"bin/kohelp.exe\" \"755\"\r\nF \"src/help/help.tcl\" \"644\"\r\n", true, 512,
     {{"bin", 0755}, {"src/help", 0755}}},
    {"first line is never a record", "F \"a\" \"644\"\nF \"b\" \"600\"\n", false, 512,
     {{"b", 0600}}},
    {"blank-led and lower-case lines are ignored",
     "t\n F \"a\" \"644\"\nf \"b\" \"644\"\nF \"c\" \"640\"\n", false, 512, {{"c", 0640}}},
    {"blank inside a name", "t\nF \"my file.txt\" \"644\"\n", false, 512, {{"my file.txt", 0644}}},
    {"line without a quote takes the next quoted texts",
     "t\nF nothing here\nD \"x\" \"700\"\nF \"y\" \"644\"\n", false, 512,
     {{"x", 0700}, {"y", 0644}}},
    {"empty lines and CR LF runs", "t\n\n\r\n\r\rF \"a\" \"644\"\n", false, 512, {{"a", 0644}}},
    {"CR alone as line break", "t\rF \"a\" \"644\"\rF \"b\" \"755\"", false, 512,
     {{"a", 0644}, {"b", 0755}}},
    {"end of file inside the mode drops the record", "t\nF \"a\" \"644\"\nF \"b\" \"64", false,
     512, {{"a", 0644}}},
    {"end of file inside the name", "t\nF \"a\" \"644\"\nF \"bcd", false, 512, {{"a", 0644}}},
    {"modes 7 and empty keep the previous", "t\nF \"a\" \"7\"\nF \"b\" \"\"\nF \"c\" \"x1\"\n",
     false, 512, {{"a", 07}, {"b", 07}, {"c", 07}}},
    {"no earlier mode", "t\nF \"a\" \"\"\n", false, 512, {{"a", KEPT}}},
    {"a sign is not an octal digit", "t\nD \"a\" \"750\"\nD \"b\" \"-7\"\nD \"c\" \" +7\"\n", true,
     512, {{"a", 0750}, {"b", 0750}, {"c", 0750}}},
    {"four-digit mode: file reader takes three", "t\nF \"c\" \"0755\"\nF \"d\" \"644\"\n", false,
     512, {{"c", 075}, {"d", 0644}}},
    {"four-digit mode: directory reader takes four", "t\nD \"c\" \"0755\"\nD \"d\" \"644\"\n",
     true, 512, {{"c", 0755}, {"d", 0644}}},
    {"directory reader skips file records", "t\nF \"f\" \"644\"\nD \"d\" \"711\"\n", true, 512,
     {{"d", 0711}}},
    {"name of size - 1 characters keeps its mode", "t\nF \"abc\" \"640\"\n", false, 4,
     {{"abc", 0640}}},
    {"longer name is cut and its mode not read", "t\nF \"abcd\" \"640\"\nF \"e\" \"600\"\n", false,
     4, {{"abc", KEPT}, {"e", 0600}}},
    {"much longer name is cut", "t\nF \"abcdefgh\" \"640\"\n", false, 4, {{"abc", KEPT}}},
    {"empty list", "", false, 512, {}},
    {"title only", "Kovra install list\r\n", true, 512, {}},
};

TEST(InstallListReaders, TableOfLists)
{
    for (const ListCase &c : kListCases)
        EXPECT_EQ(read_all(c.text, c.dirs, c.size, KEPT), c.expected) << c.what;
}

TEST(InstallListReaders, ProductListReadsAsShipped)
{
    std::string text = read_file(std::string(KOVRA_SOURCE_DIR) + "/product/install.lst");
    Records dirs = read_all(text, true, 512, KEPT);
    Records files = read_all(text, false, 512, KEPT);
    Records want_dirs = {{"bin", 0755}, {"src", 0755}, {"src/help", 0755},
                         {"src/help/doc", 0755}, {"src/edit", 0755}};
    Records want_files = {{"bin/kohelp", 0755}, {"bin/koedit", 0755},
                          {"src/help/help.tcl", 0644}, {"src/edit/edit.tcl", 0644},
                          {"src/help/doc/intro.txt", 0644},
                          {"src/help/doc/installing.txt", 0644},
                          {"src/help/doc/viewer.txt", 0644}, {"src/help/doc/editor.txt", 0644}};
    EXPECT_EQ(dirs, want_dirs);
    EXPECT_EQ(files, want_files);
}

TEST(InstfctSafeListName, RefusesNamesLeavingTheTree)
{
    const std::pair<const char *, int> cases[] = {
        {"bin", 1}, {"src/help/doc", 1}, {"a..b", 1}, {"..a", 1}, {".hidden", 1},
        {"a/./b", 1}, {"my file", 1}, {"../x", 0}, {"a/../b", 0}, {"a/..", 0},
        {"..", 0}, {"/etc/passwd", 0}, {"\\x", 0}, {"C:x", 0}, {"c:/x", 0},
        {"a\\..\\b", 0}, {"a/. ./b", 0}, {"a/.../b", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SafeListName(c.first), c.second) << c.first;
}

TEST(InstfctPaths, NativeNameTurnsSlashesInPlace)
{
    char path[] = "C:/a/b\\c/";
    NativeName(path);
    EXPECT_STREQ(path, "C:\\a\\b\\c\\");
}

/* HOME points at a temporary directory, so drive paths land inside it. */
class InstfctDriveTest : public ::testing::Test {
protected:
    TempDir home;
    std::string old_home;
    void SetUp() override
    {
        const char *h = getenv("HOME");
        old_home = h ? h : "";
        setenv("HOME", home.path.c_str(), 1);
    }
    void TearDown() override { setenv("HOME", old_home.c_str(), 1); }
    std::string drive_c() const { return home.path + "/.kovra/drive_c"; }
};

TEST_F(InstfctDriveTest, MakeComposedDirCreatesEveryLevel)
{
    char path[] = "C:/a/b/c";
    EXPECT_EQ(MakeComposedDir(path), 1);
    EXPECT_STREQ(path, "C:\\a\\b\\c");
    EXPECT_TRUE(exists(drive_c() + "/a/b/c"));
    char again[] = "C:/a/b/c";
    EXPECT_EQ(MakeComposedDir(again), 1) << "existing levels are passed over";
    char t[] = "C:/a/b";
    EXPECT_EQ(TestDirWrite(t), 1);
    EXPECT_STREQ(t, "C:\\a\\b");
    char missing[] = "C:/nothing/here";
    EXPECT_EQ(TestDirWrite(missing), 0);
    EXPECT_STREQ(missing, "C:\\nothing\\here");
}

TEST_F(InstfctDriveTest, MakeComposedDirFailsUnderAFile)
{
    write_file(drive_c() + "/plain", "x");
    char path[] = "C:/plain/sub";
    EXPECT_EQ(MakeComposedDir(path), 0);
}

TEST_F(InstfctDriveTest, TestFileRead)
{
    write_file(drive_c() + "/d/f.txt", "x");
    char yes[] = "C:/d/f.txt", no[] = "C:/d/g.txt";
    EXPECT_EQ(TestFileRead(yes), 1);
    EXPECT_EQ(TestFileRead(no), 0);
    EXPECT_STREQ(yes, "C:\\d\\f.txt");
    EXPECT_STREQ(no, "C:\\d\\g.txt");
}

TEST_F(InstfctDriveTest, FileCopyCopiesAndReportsFailure)
{
    std::string content(70000, 'k');
    content += "end";
    write_file(drive_c() + "/src.bin", content);
    char src[] = "C:/src.bin", dst[] = "C:/dst.bin";
    EXPECT_EQ(FileCopy(src, dst), 0);
    EXPECT_STREQ(src, "C:\\src.bin");
    EXPECT_STREQ(dst, "C:\\dst.bin");
    EXPECT_EQ(read_file(drive_c() + "/dst.bin"), content);

    char none[] = "C:/none.bin", dst2[] = "C:/dst2.bin";
    EXPECT_NE(FileCopy(none, dst2), 0);
    EXPECT_FALSE(exists(drive_c() + "/dst2.bin"));
}

TEST_F(InstfctDriveTest, FileCopyRefusesACommandThatDoesNotFit)
{
    /* "copy" + 2 blanks + 249 characters of paths is the most that fits. */
    std::string name(120, 'n');
    write_file(drive_c() + "/" + name, "data");
    std::string fit_src = "C:/" + name, fit_dst = "C:/" + std::string(123, 'm');
    ASSERT_EQ(fit_src.size() + fit_dst.size(), 249u);
    std::vector<char> s(fit_src.begin(), fit_src.end()), d(fit_dst.begin(), fit_dst.end());
    s.push_back('\0');
    d.push_back('\0');
    EXPECT_EQ(FileCopy(s.data(), d.data()), 0);
    EXPECT_EQ(read_file(drive_c() + "/" + std::string(123, 'm')), "data");

    std::string long_dst = "C:/" + std::string(124, 'o');
    std::vector<char> s2(fit_src.begin(), fit_src.end()), d2(long_dst.begin(), long_dst.end());
    s2.push_back('\0');
    d2.push_back('\0');
    EXPECT_NE(FileCopy(s2.data(), d2.data()), 0);
    EXPECT_FALSE(exists(drive_c() + "/" + std::string(124, 'o')));
    EXPECT_FALSE(exists(drive_c() + "/" + std::string(123, 'o')));
}

TEST_F(InstfctDriveTest, CompressThenUncompressRoundTrip)
{
    std::string content;
    for (int i = 0; i < 5000; i++)
        content += "line " + std::to_string(i * 7919 % 1000) + " of the Kovra help\n";
    write_file(drive_c() + "/a/b.txt", content);
    char src[] = "C:/a/b.txt", gz[] = "C:/a/b.txt.gz";
    EXPECT_EQ(FileCompress(src, gz), 0);
    EXPECT_STREQ(src, "C:\\a\\b.txt");
    EXPECT_STREQ(gz, "C:\\a\\b.txt.gz");
    EXPECT_LT(read_file(drive_c() + "/a/b.txt.gz").size(), content.size() / 4);

    char gz2[] = "C:/a/b.txt.gz", out[] = "C:/a/c.txt";
    EXPECT_EQ(FileUnCompress(gz2, out), 0);
    EXPECT_STREQ(gz2, "C:\\a\\b.txt.gz");
    EXPECT_STREQ(out, "C:\\a\\c.txt");
    EXPECT_EQ(read_file(drive_c() + "/a/c.txt"), content);

    char src3[] = "C:/a/b.txt", gz3[] = "C:/a/b.txt.gz";
    EXPECT_EQ(FileCompress(src3, gz3), 2) << "an existing destination is replaced";
    char gz4[] = "C:/a/b.txt.gz", out4[] = "C:/a/c.txt";
    EXPECT_EQ(FileUnCompress(gz4, out4), 2);
    EXPECT_EQ(read_file(drive_c() + "/a/c.txt"), content);
}

TEST(InstfctFindExec, GivesTheRunningProgram)
{
    char *self = FindExec();
    ASSERT_NE(self, nullptr);
    char real[PATH_MAX];
    ASSERT_TRUE(realpath("/proc/self/exe", real));
    EXPECT_STREQ(self, real);
    free(self);
}

/* Runs body in a child with stdin "input" and returns its stderr and status. */
template <class Body> RunResult in_child(const std::string &input, Body body)
{
    RunResult r;
    char err_tmpl[] = "/tmp/kv-cerr-XXXXXX";
    int err_fd = mkstemp(err_tmpl);
    int p[2];
    if (err_fd < 0 || pipe(p) != 0)
        abort();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(p[0], 0);
        dup2(err_fd, 2);
        close(p[1]);
        body();
        _exit(99);
    }
    close(p[0]);
    if (write(p[1], input.data(), input.size()) != (ssize_t)input.size())
        abort();
    close(p[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = read_file(err_tmpl);
    unlink(err_tmpl);
    close(err_fd);
    return r;
}

TEST(InstfctFatalError, PrintsWaitsAndExitsWithOne)
{
    RunResult r = in_child("\n", [] { FatalError("can't find install.lst"); });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "fatal error: can't find install.lst\nsorry... (CR)");
}

TEST_F(InstfctDriveTest, UncompressFailureEndsInFatalError)
{
    write_file(drive_c() + "/bad.gz", "this is not gzip data");
    RunResult r = in_child("\n", [] {
        char src[] = "C:/bad.gz", dst[] = "C:/bad";
        FileUnCompress(src, dst);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "C:\\bad.gz: not in gzip format\nfatal error: uncompress\nsorry... (CR)");
    EXPECT_FALSE(exists(drive_c() + "/bad"));
}

TEST_F(InstfctDriveTest, CompressFailureEndsInFatalError)
{
    RunResult r = in_child("\n", [] {
        char src[] = "C:/missing.txt", dst[] = "C:/missing.txt.gz";
        FileCompress(src, dst);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("C:\\missing.txt: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\nfatal error: compress\nsorry... (CR)"), std::string::npos) << r.err;
}

} // namespace
