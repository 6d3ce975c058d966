/*
 * installer_limits_test.cpp: the installer's buffers at their limits and
 * one character past them.  The list readers with the installer's 512-byte
 * name buffer (names of 511 characters); and the real install program:
 * the 127-character answer, the 254 characters that FindExec's 255-byte
 * buffer gives, and paths composed from list names at 255 characters.
 */
#include "run_util.h"

#include <cstdio>

namespace {

/* ---- List readers ---------------------------------------------------- */

struct Record {
    std::string name;
    int mode;
    bool operator==(const Record &o) const { return name == o.name && mode == o.mode; }
};

std::ostream &operator<<(std::ostream &os, const Record &r)
{
    return os << "{" << r.name.size() << " chars, " << std::oct << r.mode << std::dec << "}";
}

constexpr int KEPT = -3;

/* Reads every record into a heap block of exactly LIST_BUF_SIZE bytes. */
std::vector<Record> read_list(const std::string &text, bool dirs)
{
    FILE *list = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
    EXPECT_NE(list, nullptr);
    std::vector<Record> out;
    if (!list)
        return out;
    char *name = static_cast<char *>(malloc(LIST_BUF_SIZE));
    int mode = KEPT;
    while (dirs ? GetNextDir(list, name, LIST_BUF_SIZE, &mode)
                : GetNextFile(list, name, LIST_BUF_SIZE, &mode))
        out.push_back({name, mode});
    free(name);
    fclose(list);
    return out;
}

} // namespace

TEST(ListNameLimit, FiveHundredElevenCharactersAndOneMore)
{
    for (bool dirs : {false, true}) {
        const char letter = dirs ? 'D' : 'F';
        for (size_t len : {511u, 512u}) {
            const std::string name(len, 'n');
            std::string text = "t\n";
            text += letter + std::string(" \"") + name + "\" \"640\"\n";
            text += letter + std::string(" \"b\" \"600\"\n");
            std::vector<Record> want;
            if (len == 511)
                want = {{name, 0640}, {"b", 0600}};
            else /* cut at 511; its closing quote opens the mode, so 640 is not read */
                want = {{std::string(511, 'n'), KEPT}, {"b", 0600}};
            EXPECT_EQ(read_list(text, dirs), want) << letter << " " << len;
        }
    }
}

/* ---- The install program --------------------------------------------- */

namespace {

const std::string kFatalTail = "sorry... (CR)";

class InstallLimits : public ::testing::Test {
protected:
    TempDir tmp;
    std::string dist, home;

    void SetUp() override
    {
        dist = tmp.path + "/dist";
        home = tmp.path + "/home";
        ASSERT_EQ(system(("mkdir -p '" + dist + "' '" + home + "'").c_str()), 0);
        ASSERT_EQ(system(("cp '" KV_INSTALL_EXE "' '" + dist + "/install'").c_str()), 0);
    }

    std::string drive(char letter) const { return home + "/.kovra/drive_" + letter; }

    /* The list and each file's .gz in dist/, through the kit's own compressor. */
    void lay_out(const std::string &list, const std::vector<std::string> &files)
    {
        const std::string product = tmp.path + "/product";
        write_file(product + "/install.lst", list);
        gzip_fixture(product + "/install.lst", dist + "/install.lst.gz");
        for (const std::string &f : files) {
            write_file(product + "/" + f, "content of a file\n");
            std::string gz = dist + "/" + f + ".gz";
            write_file(gz, "");
            gzip_fixture(product + "/" + f, gz);
        }
    }

    RunResult install(const std::string &input) { return run({dist + "/install"}, input, home); }
};

/* A relative name of exactly len characters, in components of at most 100. */
std::string name_of_length(size_t len, char fill)
{
    std::string n;
    while (len - n.size() > 101)
        n += std::string(100, fill) + "/";
    return n + std::string(len - n.size(), fill);
}

/* The directories along a relative name, as list records of mode 755. */
std::string parent_records(const std::string &name)
{
    std::string records;
    for (size_t p = name.find('/'); p != std::string::npos; p = name.find('/', p + 1))
        records += "D \"" + name.substr(0, p) + "\" \"755\"\n";
    return records;
}

} // namespace

TEST_F(InstallLimits, AnswerOfOneHundredTwentySevenCharactersAndOneMore)
{
    lay_out("t\nD \"bin\" \"755\"\n", {});
    const std::string kept = std::string(124, 'l');
    for (size_t len : {127u, 128u}) {
        /* D:/ and letters: 127 characters are kept whole, a 128th is dropped. */
        const std::string answer = "D:/" + std::string(len - 3, 'l');
        RunResult r = install(answer + "\ny\n\n");
        EXPECT_EQ(r.status, 0) << len << ": " << r.err;
        EXPECT_NE(r.out.find("The directory D:\\" + kept + " doesn't yet exist\n"), std::string::npos)
            << len;
        EXPECT_NE(r.out.find("start the program \"D:\\" + kept + "\\bin\\kohelp\""), std::string::npos)
            << len;
        EXPECT_TRUE(exists(drive('d') + "/" + kept + "/bin")) << len;
        EXPECT_FALSE(exists(drive('d') + "/" + kept + "l")) << len;
        ASSERT_EQ(system(("rm -rf '" + drive('d') + "'").c_str()), 0);
    }
}

TEST_F(InstallLimits, ProgramPathOfTwoHundredFiftyFourCharactersAndOneMore)
{
    lay_out("t\nD \"bin\" \"755\"\n", {});
    for (size_t len : {254u, 255u}) {
        /* The program's full path: a directory, then "/install". */
        std::string deep = tmp.path + "/p" + std::to_string(len);
        while (len - 8 - deep.size() > 60)
            deep += "/" + std::string(50, 'p');
        deep += "/" + std::string(len - 8 - deep.size() - 1, 'q');
        const std::string program = deep + "/install";
        ASSERT_EQ(program.size(), len);
        ASSERT_EQ(system(("mkdir -p '" + deep + "' && cp '" KV_INSTALL_EXE "' '" + program + "'").c_str()),
                  0);
        RunResult r = run({program}, "\ny\n\n", home);
        EXPECT_EQ(r.status, 1) << len;
        if (len == 254) { /* found whole; the list beside it makes a path too long */
            EXPECT_EQ(r.err, "fatal error: path longer than 255 characters: " + deep
                                 + "/install.lst.gz\n" + kFatalTail);
        } else {
            EXPECT_EQ(r.err, "fatal error: can't find directory of installation program\n" + kFatalTail);
        }
    }
}

TEST_F(InstallLimits, DirectoryPathComposedOfTwoHundredFiftyFiveCharactersAndOneMore)
{
    /* Destination D:\o: "D:\o" + "/" + name. */
    for (size_t len : {255u, 256u}) {
        const std::string name = name_of_length(len - 5, 'a');
        lay_out("t\n" + parent_records(name) + "D \"" + name + "\" \"755\"\n", {});
        RunResult r = install("D:/o\ny\n\n");
        const bool created = exists(drive('d') + "/o/" + name);
        if (len == 255) {
            EXPECT_EQ(r.status, 0) << len << ": " << r.err;
            EXPECT_NE(r.out.find("-create directory: " + name + "\n"), std::string::npos) << len;
            EXPECT_TRUE(created) << len;
        } else {
            EXPECT_EQ(r.status, 1) << len;
            EXPECT_EQ(r.err, "fatal error: path longer than 255 characters: D:\\o/" + name + "\n"
                                 + kFatalTail) << len;
            EXPECT_EQ(r.out.find("-create directory: " + name + "\n"), std::string::npos) << len;
            EXPECT_FALSE(created) << len;
        }
        ASSERT_EQ(system(("rm -rf '" + drive('d') + "'").c_str()), 0);
    }
}

TEST_F(InstallLimits, SourcePathComposedOfTwoHundredFiftyFiveCharactersAndOneMore)
{
    /* Source: the directory of the program, "/", the name and ".gz". */
    for (size_t len : {255u, 256u}) {
        const std::string name = name_of_length(len - dist.size() - 4, 'f');
        ASSERT_EQ((dist + "/" + name + ".gz").size(), len);
        lay_out("t\n" + parent_records(name) + "F \"" + name + "\" \"644\"\n", {name});
        RunResult r = install("D:/o\ny\n\n");
        const std::string installed = drive('d') + "/o/" + name;
        if (len == 255) {
            EXPECT_EQ(r.status, 0) << len << ": " << r.err;
            EXPECT_EQ(read_file(installed), "content of a file\n") << len;
        } else {
            EXPECT_EQ(r.status, 1) << len;
            EXPECT_EQ(r.err, "fatal error: path longer than 255 characters: " + dist + "/" + name
                                 + ".gz\n" + kFatalTail) << len;
            EXPECT_FALSE(exists(installed)) << len;
        }
        ASSERT_EQ(system(("rm -rf '" + drive('d') + "' '" + dist + "/" + name.substr(0, 100) + "'").c_str()), 0);
    }
}
