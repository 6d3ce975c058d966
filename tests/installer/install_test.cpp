/*
 * install_test.cpp: the real install program, end to end.  Each test lays
 * out a small distribution in a temporary directory (the installer copied
 * beside install.lst.gz and the files' .gz), runs it with its answers
 * through a pipe and HOME in a temporary directory (so C:\Kovra4.3 is
 * $HOME/.kovra/drive_c/Kovra4.3), and compares both streams exactly.
 * Fixtures are compressed with the kit's own FileCompress.
 */
#include "run_util.h"

namespace {

const std::string kBanner = "\n\nKovra 4 Installation Program\n(c) Kovra Software Foundation\n\n";

std::string question(const std::string &dflt)
{
    return "In which directory do you wan't to install Kovra?\nType CR for default value: " + dflt
           + "\nelse give the complet name (ASCII): ";
}

std::string create_question(const std::string &dir)
{
    return "The directory " + dir + " doesn't yet exist\nDo you want to create it? (y/n) ";
}

std::string closing(const std::string &dir)
{
    return "\n\nInstallation ended with success :-) !\nTo go on: start the program \"" + dir
           + "\\bin\\kohelp\"\nand read the chapter \"Introduction to Kovra\"\nOk? (CR)\n"
             "... and don't worry if windows will prompt : this program might not have installed "
             "correctly\nIt is!!!\n";
}

const std::string kFatalTail = "sorry... (CR)";

struct Entry {
    std::string name, content;
    int mode;
};

/* A distribution and a home directory in one temporary tree. */
class InstallerRunTest : public ::testing::Test {
protected:
    TempDir tmp;
    std::string dist, home, product;

    void SetUp() override
    {
        dist = tmp.path + "/dist";
        home = tmp.path + "/home";
        product = tmp.path + "/product";
        system(("mkdir -p '" + dist + "' '" + home + "'").c_str());
        system(("cp '" KV_INSTALL_EXE "' '" + dist + "/install'").c_str());
    }

    std::string drive(char letter) const { return home + "/.kovra/drive_" + letter; }

    /* Writes the list and the files into product/ and their .gz into dist/. */
    void lay_out(const std::string &list, const std::vector<Entry> &files)
    {
        write_file(product + "/install.lst", list);
        gzip_fixture(product + "/install.lst", dist + "/install.lst.gz");
        for (const Entry &e : files) {
            write_file(product + "/" + e.name, e.content);
            std::string gz = dist + "/" + e.name + ".gz";
            system(("mkdir -p \"$(dirname '" + gz + "')\"").c_str());
            gzip_fixture(product + "/" + e.name, gz);
        }
    }

    RunResult install(const std::string &input, bool keep_open = false)
    {
        return run({dist + "/install"}, input, home, keep_open);
    }
};

const std::vector<Entry> kFiles = {
    {"bin/kohelp", "#!/bin/sh\necho kohelp\n", 0755},
    {"src/help/help.tcl", "# help viewer\nputs help\n", 0644},
    {"src/help/doc/intro.txt", std::string(40000, 'i') + "Introduction to Kovra\n", 0644},
};

const std::string kList = "Kovra test list\r\n"
                          "D \"bin\" \"755\"\r\nD \"src/help\" \"755\"\r\nD \"src/help/doc\" \"750\"\r\n"
                          "F \"bin/kohelp\" \"755\"\r\nF \"src/help/help.tcl\" \"644\"\r\n"
                          "F \"src/help/doc/intro.txt\" \"644\"\r\n";

const std::string kProgress = "-uncompress install.lst\n-open install.lst\n"
                              "-create directory: bin\n-create directory: src/help\n"
                              "-create directory: src/help/doc\n"
                              "-uncompress file: bin/kohelp\n-uncompress file: src/help/help.tcl\n"
                              "-uncompress file: src/help/doc/intro.txt\n";

void expect_installed(const std::string &root, const std::vector<Entry> &files)
{
    for (const Entry &e : files) {
        EXPECT_EQ(read_file(root + "/" + e.name), e.content) << e.name;
        EXPECT_EQ(mode_of(root + "/" + e.name), e.mode) << e.name;
    }
}

TEST_F(InstallerRunTest, EnterAloneInstallsIntoTheDefaultAfterCreating)
{
    lay_out(kList, kFiles);
    RunResult r = install("\ny\n\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kBanner + question("C:\\Kovra4.3") + create_question("C:\\Kovra4.3")
                         + kProgress + closing("C:\\Kovra4.3"));
    EXPECT_EQ(r.err, "");
    std::string root = drive('c') + "/Kovra4.3";
    expect_installed(root, kFiles);
    EXPECT_EQ(mode_of(root), 0755) << "a destination created here gets 755";
    EXPECT_EQ(read_file(root + "/install.lst"), kList);
    EXPECT_EQ(mode_of(root + "/install.lst"), 0644);
    EXPECT_EQ(mode_of(root + "/src/help/doc"), 0750) << "directory modes come from the list";
    EXPECT_EQ(system((root + "/bin/kohelp > /dev/null").c_str()), 0) << "755 makes it runnable";
}

TEST_F(InstallerRunTest, InstallsFilesCompressedByAnOutsideCodec)
{
    lay_out(kList, kFiles);
    for (const Entry &e : kFiles) {
        std::string cmd = "libdeflate-gzip -9 -c '" + product + "/" + e.name + "' > '" + dist + "/"
                          + e.name + ".gz'";
        ASSERT_EQ(system(cmd.c_str()), 0) << cmd;
    }
    RunResult r = install("\ny\n\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    expect_installed(drive('c') + "/Kovra4.3", kFiles);
}

TEST_F(InstallerRunTest, SlashAnswerIsUsedWithBackslashes)
{
    lay_out(kList, kFiles);
    RunResult r = install("D:/Kovra\nY\n\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kBanner + question("C:\\Kovra4.3") + create_question("D:\\Kovra") + kProgress
                         + closing("D:\\Kovra"));
    expect_installed(drive('d') + "/Kovra", kFiles);
}

TEST_F(InstallerRunTest, LongAnswerKeepsItsFirst127Characters)
{
    lay_out(kList, kFiles);
    const std::string answer = "D:/" + std::string(200, 'l');
    const std::string kept = "D:\\" + std::string(124, 'l');
    RunResult r = install(answer + "\ny\n\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kBanner + question("C:\\Kovra4.3") + create_question(kept) + kProgress
                         + closing(kept));
    expect_installed(drive('d') + "/" + std::string(124, 'l'), kFiles);
}

TEST_F(InstallerRunTest, ExistingDirectoryAsksNothingAndKeepsItsMode)
{
    lay_out(kList, kFiles);
    system(("mkdir -p '" + drive('e') + "/Kovra' && chmod 711 '" + drive('e') + "/Kovra'").c_str());
    RunResult r = install("E:/Kovra\n\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kBanner + question("C:\\Kovra4.3") + kProgress + closing("E:\\Kovra"));
    EXPECT_EQ(mode_of(drive('e') + "/Kovra"), 0711);
}

TEST_F(InstallerRunTest, NonAsciiAnswerIsRefusedThenTheDefaultIsOfferedAgain)
{
    lay_out(kList, kFiles);
    RunResult r = install("C:/K\xc3\xb6vra\nD:/Kovra\ny\n\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kBanner + question("C:\\Kovra4.3")
                         + "You must use ASCII characters in the directory name :-<\n"
                           "Kovra does not like other ones, and me neither...\n"
                         + question("C:\\Kovra4.3") + create_question("D:\\Kovra") + kProgress
                         + closing("D:\\Kovra"));
    expect_installed(drive('d') + "/Kovra", kFiles);
    EXPECT_FALSE(exists(drive('c')));
}

TEST_F(InstallerRunTest, NonAsciiAnswerThenEnterTakesTheDefault)
{
    lay_out(kList, kFiles);
    RunResult r = install("\xe9t\xe9\n\ny\n\n");
    EXPECT_EQ(r.status, 0);
    expect_installed(drive('c') + "/Kovra4.3", kFiles);
}

TEST_F(InstallerRunTest, RefusingToCreateEndsWithoutWaiting)
{
    lay_out(kList, kFiles);
    for (const std::string answer : {"n\n", "N\n", "x\n", "\n"}) {
        /* After a letter the pipe stays open: the pending line feed must
         * satisfy FatalError's wait, or the run would hang.  Enter alone
         * leaves nothing pending, so the input is closed. */
        RunResult r = install("\n" + answer, answer != "\n");
        EXPECT_EQ(r.status, 1) << answer;
        EXPECT_EQ(r.out, kBanner + question("C:\\Kovra4.3") + create_question("C:\\Kovra4.3"));
        EXPECT_EQ(r.err, "fatal error: You must provide a directory!\n" + kFatalTail);
        EXPECT_FALSE(exists(drive('c') + "/Kovra4.3"));
    }
}

TEST_F(InstallerRunTest, EndOfInputEndsTheDialogue)
{
    lay_out(kList, kFiles);
    RunResult r = install("");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kBanner + question("C:\\Kovra4.3"));
    EXPECT_EQ(r.err, "fatal error: no directory given: the input has ended\n" + kFatalTail);

    r = install("\n"); /* input ends at the create question */
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "fatal error: You must provide a directory!\n" + kFatalTail);
    EXPECT_FALSE(exists(drive('c') + "/Kovra4.3"));
}

TEST_F(InstallerRunTest, InstallingTwiceReplacesEveryFile)
{
    lay_out(kList, kFiles);
    ASSERT_EQ(install("\ny\n\n").status, 0);
    write_file(drive('c') + "/Kovra4.3/src/help/help.tcl", std::string(100000, 'z'));
    RunResult r = install("\n\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kBanner + question("C:\\Kovra4.3") + kProgress + closing("C:\\Kovra4.3"));
    EXPECT_EQ(r.err, "warning: existing file C:\\Kovra4.3\\install.lst is replaced\n"
                     "warning: existing file C:\\Kovra4.3\\bin\\kohelp is replaced\n"
                     "warning: existing file C:\\Kovra4.3\\src\\help\\help.tcl is replaced\n"
                     "warning: existing file C:\\Kovra4.3\\src\\help\\doc\\intro.txt is replaced\n");
    expect_installed(drive('c') + "/Kovra4.3", kFiles);
}

TEST_F(InstallerRunTest, FileRecordsFirstStillMakeDirectoriesFirst)
{
    const std::string list = "title\nF \"bin/kohelp\" \"755\"\nF \"src/help/help.tcl\" \"644\"\n"
                             "F \"src/help/doc/intro.txt\" \"644\"\nD \"src/help/doc\" \"755\"\n"
                             "D \"bin\" \"755\"\n";
    lay_out(list, kFiles);
    RunResult r = install("\ny\n\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kBanner + question("C:\\Kovra4.3") + create_question("C:\\Kovra4.3")
                         + "-uncompress install.lst\n-open install.lst\n"
                           "-create directory: src/help/doc\n-create directory: bin\n"
                           "-uncompress file: bin/kohelp\n-uncompress file: src/help/help.tcl\n"
                           "-uncompress file: src/help/doc/intro.txt\n"
                         + closing("C:\\Kovra4.3"));
    expect_installed(drive('c') + "/Kovra4.3", kFiles);
}

TEST_F(InstallerRunTest, FileNotInGzipFormatStopsTheRunKeepingEarlierFiles)
{
    lay_out(kList, kFiles);
    write_file(dist + "/src/help/help.tcl.gz", "plain text, no gzip member");
    RunResult r = install("\ny\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, native(dist) + "\\src\\help\\help.tcl.gz: not in gzip format\n"
                     "fatal error: uncompress\n" + kFatalTail);
    std::string root = drive('c') + "/Kovra4.3";
    EXPECT_EQ(read_file(root + "/bin/kohelp"), kFiles[0].content);
    EXPECT_EQ(mode_of(root + "/bin/kohelp"), 0755);
    EXPECT_FALSE(exists(root + "/src/help/help.tcl"));
    EXPECT_FALSE(exists(root + "/src/help/doc/intro.txt"));
}

TEST_F(InstallerRunTest, CorruptDataEndsTheProcessThroughTheEngine)
{
    lay_out(kList, kFiles);
    std::string gz = dist + "/src/help/help.tcl.gz";
    std::string bytes = read_file(gz);
    bytes[bytes.size() - 8] ^= 0x55; /* the CRC-32 of the trailer */
    write_file(gz, bytes);
    RunResult r = install("\ny\n");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, native(dist) + "\\src\\help\\help.tcl.gz: invalid compressed data--crc error\n");
    EXPECT_EQ(read_file(drive('c') + "/Kovra4.3/bin/kohelp"), kFiles[0].content);
    EXPECT_FALSE(exists(drive('c') + "/Kovra4.3/src/help/doc/intro.txt"));
}

TEST_F(InstallerRunTest, MissingListEndsInUncompress)
{
    RunResult r = install("\ny\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, native(dist) + "\\install.lst.gz: No such file or directory\n"
                     "fatal error: uncompress\n" + kFatalTail);
}

TEST_F(InstallerRunTest, NamesLeavingTheDestinationAreRefused)
{
    const std::pair<std::string, std::string> cases[] = {
        {"t\nD \"../escape\" \"755\"\n", "../escape"},
        {"t\nD \"bin\" \"755\"\nF \"bin/../../escape\" \"644\"\n", "bin/../../escape"},
        {"t\nF \"/tmp/escape\" \"644\"\n", "/tmp/escape"},
        {"t\nF \"C:/escape\" \"644\"\n", "C:/escape"},
    };
    for (const auto &c : cases) {
        system(("rm -rf '" + home + "/.kovra'").c_str());
        lay_out(c.first, {});
        RunResult r = install("\ny\n");
        EXPECT_EQ(r.status, 1) << c.second;
        EXPECT_EQ(r.err, "fatal error: install.lst names a path outside the destination: "
                             + c.second + "\n" + kFatalTail);
        EXPECT_EQ(r.out.find("-uncompress file"), std::string::npos);
        EXPECT_FALSE(exists(drive('c') + "/escape"));
        EXPECT_FALSE(exists(home + "/.kovra/drive_c/escape"));
    }
}

TEST_F(InstallerRunTest, ComposedPathOverTheLimitIsRefused)
{
    /* D:\ + 100 characters, then '/' and a name of 160: over 255. */
    std::string dir = "D:/" + std::string(100, 'd');
    std::string name = std::string(160, 'n');
    lay_out("t\nD \"ok\" \"755\"\nD \"" + name + "\" \"755\"\n", {});
    RunResult r = install(dir + "\ny\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "fatal error: path longer than 255 characters: " + native(dir) + "/" + name
                         + "\n" + kFatalTail);
    EXPECT_TRUE(exists(drive('d') + "/" + std::string(100, 'd') + "/ok"));
    EXPECT_EQ(r.out.find("-create directory: " + name), std::string::npos);
}

TEST_F(InstallerRunTest, InstallerDirectoryAtTheLimit)
{
    /* install.lst.gz beside the program makes dir + 15 characters. */
    for (size_t len : {240u, 241u}) {
        std::string deep = tmp.path;
        while (len - deep.size() > 60)
            deep += "/" + std::string(49, 'p');
        deep += "/" + std::string(len - deep.size() - 1, 'q');
        ASSERT_EQ(deep.size(), len);
        lay_out("t\nD \"bin\" \"755\"\n", {});
        system(("mkdir -p '" + deep + "' && cp '" KV_INSTALL_EXE "' '" + deep + "/install' && cp '"
                + dist + "/install.lst.gz' '" + deep + "'")
                   .c_str());
        RunResult r = run({deep + "/install"}, "\ny\n\n", home);
        if (len == 240) {
            EXPECT_EQ(r.status, 0) << r.err;
        } else {
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, "fatal error: path longer than 255 characters: " + deep
                                 + "/install.lst.gz\n" + kFatalTail);
        }
    }
}

TEST_F(InstallerRunTest, InstallerPathTooLongForFindExec)
{
    std::string deep = tmp.path;
    while (deep.size() < 260)
        deep += "/" + std::string(40, 'q');
    system(("mkdir -p '" + deep + "' && cp '" KV_INSTALL_EXE "' '" + deep + "/install'").c_str());
    RunResult r = run({deep + "/install"}, "\n", home);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kBanner);
    EXPECT_EQ(r.err, "fatal error: can't find directory of installation program\n" + kFatalTail);
}

/* ---- mkdist, then install ----------------------------------------------- */

RunResult mkdist(const std::vector<std::string> &args, const std::string &home)
{
    std::vector<std::string> argv = {KV_MKDIST_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, "", home);
}

TEST_F(InstallerRunTest, MkdistThenInstallGivesTheProductTree)
{
    std::string big;
    for (int i = 0; i < 20000; i++)
        big += "word" + std::to_string(i % 337) + (i % 13 ? " " : "\n");
    const std::vector<Entry> files = {
        {"bin/kohelp", "#!/bin/sh\necho help\n", 0755},
        {"bin/koedit", "#!/bin/sh\necho edit\n", 0755},
        {"src/help/help.tcl", "puts help\n", 0644},
        {"src/help/doc/intro.txt", big, 0644},
        {"src/help/doc/empty.txt", "", 0600},
        {"src/edit/edit.tcl", std::string(1, '\0') + "binary\xff\x01", 0644},
    };
    std::string list = "Kovra\r\nD \"bin\" \"755\"\r\nD \"src/help/doc\" \"755\"\r\n"
                       "D \"src/edit\" \"755\"\r\n";
    for (const Entry &e : files) {
        char mode[8];
        snprintf(mode, sizeof mode, "%o", e.mode);
        list += "F \"" + e.name + "\" \"" + mode + "\"\r\n";
        write_file(product + "/" + e.name, e.content);
    }
    write_file(product + "/install.lst", list);
    std::string out = tmp.path + "/made";
    RunResult m = mkdist({"--verify", product, out}, home);
    ASSERT_EQ(m.status, 0) << m.err;
    EXPECT_NE(m.out.find("  src/help/doc/intro.txt: " + std::to_string(big.size()) + " -> "),
              std::string::npos)
        << m.out;
    EXPECT_NE(m.out.find("verified 7 files and the installer\n"), std::string::npos) << m.out;
    EXPECT_NE(m.out.find("7 files, "), std::string::npos) << m.out;
    EXPECT_TRUE(exists(out + "/install.lst.gz"));
    EXPECT_EQ(read_file(out + "/install"), read_file(KV_INSTALL_EXE));
    EXPECT_FALSE(exists(out + "/.mkdist-verify.tmp"));

    RunResult r = run({out + "/install"}, "\ny\n\n", home);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::string root = drive('c') + "/Kovra4.3";
    expect_installed(root, files);
    EXPECT_EQ(read_file(root + "/install.lst"), list);
}

TEST_F(InstallerRunTest, StagedProductInstallsAsListed)
{
    /* The product tree that the build stages for its dist target. */
    const std::string staged = std::string(KOVRA_BINARY_DIR) + "/product";
    ASSERT_TRUE(exists(staged + "/install.lst")) << "build the product_tree target";
    std::string out = tmp.path + "/made";
    RunResult m = mkdist({"--verify", staged, out}, home);
    ASSERT_EQ(m.status, 0) << m.err;
    RunResult r = run({out + "/install"}, "\ny\n\n", home);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string root = drive('c') + "/Kovra4.3";
    const std::pair<const char *, int> expected[] = {
        {"bin/kohelp", 0755}, {"bin/koedit", 0755}, {"src/help/help.tcl", 0644},
        {"src/edit/edit.tcl", 0644}, {"src/help/doc/intro.txt", 0644},
        {"src/help/doc/installing.txt", 0644}, {"src/help/doc/viewer.txt", 0644},
        {"src/help/doc/editor.txt", 0644},
    };
    for (const auto &e : expected) {
        EXPECT_EQ(read_file(root + "/" + e.first), read_file(staged + "/" + e.first)) << e.first;
        EXPECT_GT(read_file(root + "/" + e.first).size(), 0u) << e.first;
        EXPECT_EQ(mode_of(root + "/" + e.first), e.second) << e.first;
    }
    for (const char *dir : {"bin", "src", "src/help", "src/help/doc", "src/edit"})
        EXPECT_EQ(mode_of(root + "/" + dir), 0755) << dir;
    EXPECT_NE(r.out.find("start the program \"C:\\Kovra4.3\\bin\\kohelp\""), std::string::npos);
}

TEST_F(InstallerRunTest, WindowsStagingNamesTheLaunchersWithTheirSuffix)
{
    const std::string stage = tmp.path + "/stage";
    std::string cmd = std::string("'" KV_CMAKE_COMMAND "' -DSRC='") + KOVRA_SOURCE_DIR
                      + "/product' -DDST='" + stage + "' -DEXE_SUFFIX=.exe -DLAUNCHERS= -P '"
                      + KOVRA_SOURCE_DIR + "/product/stage.cmake'";
    ASSERT_EQ(system(cmd.c_str()), 0) << cmd;
    std::string list = read_file(stage + "/install.lst");
    EXPECT_NE(list.find("\r\nF \"bin/kohelp.exe\" \"755\"\r\n"), std::string::npos) << list;
    EXPECT_NE(list.find("\r\nF \"bin/koedit.exe\" \"755\"\r\n"), std::string::npos) << list;
    EXPECT_EQ(list.find("\"bin/kohelp\""), std::string::npos);
    for (const char *name : {"bin/kohelp.exe", "bin/koedit.exe", "src/help/help.tcl",
                             "src/edit/edit.tcl", "src/help/doc/intro.txt"})
        EXPECT_GT(read_file(stage + "/" + name).size(), 0u) << name;
    EXPECT_FALSE(exists(stage + "/CMakeLists.txt"));
}

TEST_F(InstallerRunTest, MkdistRefusesBadListsBeforeWriting)
{
    struct Bad {
        std::string list;
        std::string message;
    };
    write_file(product + "/bin/kohelp", "x");
    const Bad cases[] = {
        {"t\nD \"bin\" \"755\"\nF \"bin/kohelp\" \"755\"\nF \"bin/missing\" \"755\"\n",
         "mkdist: missing or unreadable file: " + product + "/bin/missing\n"},
        {"t\nD \"bin\" \"755\"\nF \"bin/../../x\" \"644\"\n",
         "mkdist: install.lst names a file outside the product tree: bin/../../x\n"},
        {"t\nD \"../up\" \"755\"\nF \"bin/kohelp\" \"755\"\n",
         "mkdist: install.lst names a directory outside the product tree: ../up\n"},
        {"t\nD \"bin\" \"755\"\n", "mkdist: " + product + "/install.lst names no file\n"},
        {"F \"bin/kohelp\" \"755\"\n", "mkdist: " + product + "/install.lst names no file\n"},
        {"t\nF \"bin/kohelp\" \"755\"\n",
         "mkdist: no directory record makes the directory of bin/kohelp\n"},
    };
    std::string out = tmp.path + "/made";
    for (const Bad &c : cases) {
        write_file(product + "/install.lst", c.list);
        RunResult m = mkdist({product, out}, home);
        EXPECT_EQ(m.status, 1) << c.list;
        EXPECT_EQ(m.err, c.message);
        EXPECT_FALSE(exists(out)) << "nothing is written for a refused list";
    }
    RunResult m = mkdist({tmp.path + "/none", out}, home);
    EXPECT_EQ(m.status, 1);
    EXPECT_EQ(m.err, "mkdist: can't open " + tmp.path + "/none/install.lst\n");
    m = mkdist({product}, home);
    EXPECT_EQ(m.status, 1);
    EXPECT_EQ(m.err, "usage: mkdist [--verify] [--installer PATH] PRODUCT_DIR DIST_DIR\n");
}

TEST_F(InstallerRunTest, MkdistCopiesTheNamedInstaller)
{
    write_file(product + "/install.lst", "t\nF \"a.txt\" \"644\"\n");
    write_file(product + "/a.txt", "a");
    write_file(tmp.path + "/win/install.exe", "MZ windows installer");
    std::string out = tmp.path + "/made";
    RunResult m = mkdist({"--installer", tmp.path + "/win/install.exe", product, out}, home);
    ASSERT_EQ(m.status, 0) << m.err;
    EXPECT_EQ(read_file(out + "/install.exe"), "MZ windows installer");
    EXPECT_FALSE(exists(out + "/install"));
    EXPECT_TRUE(exists(out + "/a.txt.gz"));
}

} // namespace
