/*
 * fuzz_cmd2argv.cpp: fuzz target of the launcher's command-line splitter.
 * The input up to its first NUL is the line.  The words must be those of
 * the splitting rules, worked out here on a std::string as a second
 * opinion, and the line itself must come back unchanged.
 */
#include "launcher/extent.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

[[noreturn]] static void fail(const char *what)
{
    fprintf(stderr, "fuzz target: %s\n", what);
    abort();
}

static bool blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

/* The rules: a word is quoted up to the next quote, or runs to a quote or a blank. */
static std::vector<std::string> expected_words(const std::string &line)
{
    std::vector<std::string> words;
    size_t p = 0, n = line.size();
    while (p < n) {
        std::string w;
        if (line[p] == '"') {
            for (p++; p < n && line[p] != '"'; p++)
                w += line[p];
        } else {
            for (; p < n && line[p] != '"' && !blank(line[p]); p++)
                w += line[p];
        }
        if (p < n)
            p++;
        while (p < n && blank(line[p]))
            p++;
        words.push_back(w);
    }
    return words;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string line(reinterpret_cast<const char *>(data), size);
    line = line.substr(0, line.find('\0'));
    /* A heap block of exactly the line and its NUL, so a read past it shows. */
    char *copy = static_cast<char *>(malloc(line.size() + 1));
    memcpy(copy, line.c_str(), line.size() + 1);
    int argc = -1;
    char **argv = nullptr;
    try {
        cmd2argv(copy, &argc, &argv);
    } catch (const char *text) {
        fail(text);
    }
    if (line != copy)
        fail("the line was changed");
    std::vector<std::string> want = expected_words(line);
    if (argc != (int)want.size())
        fail("word count differs from the rules");
    if ((argc == 0) != (argv == nullptr))
        fail("array present without words, or missing with words");
    for (int i = 0; i < argc; i++) {
        if (want[(size_t)i] != argv[i])
            fail("word differs from the rules");
        free(argv[i]);
    }
    free(argv);
    free(copy);
    return 0;
}
