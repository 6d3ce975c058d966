/*
 * fuzz_install_list.cpp: fuzz target of the install list readers.  The
 * first byte picks the name buffer's size (from 1 byte to the installer's
 * 512), the rest is the list.  Both readers go through the whole list
 * into a heap block of exactly that size, so that a name that does not
 * stop at size - 1 characters overruns where the sanitizer sees it.
 */
#include "installer/instfct.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

[[noreturn]] static void fail(const char *what)
{
    fprintf(stderr, "fuzz target: %s\n", what);
    abort();
}

static void read_all(const std::vector<char> &text, int size, bool dirs)
{
    FILE *list = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
    if (!list)
        fail("fmemopen");
    char *name = static_cast<char *>(malloc((size_t)size));
    int mode = -1;
    size_t records = 0;
    while (dirs ? GetNextDir(list, name, size, &mode) : GetNextFile(list, name, size, &mode)) {
        if (memchr(name, '\0', (size_t)size) == nullptr)
            fail("name without its NUL inside the buffer");
        /* A directory mode field gives at most four octal digits, a file's three. */
        if (mode != -1 && (mode < 0 || mode > (dirs ? 07777 : 0777)))
            fail("mode out of range");
        SafeListName(name);
        /* Every record takes at least its letter, a line break and four quotes. */
        if (++records > text.size() / 6 + 1)
            fail("more records than the list can hold");
    }
    free(name);
    fclose(list);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const int sizes[] = {1, 2, 3, 4, 5, 8, 16, 255, 256, LIST_BUF_SIZE};
    if (size == 0)
        return 0;
    int name_size = sizes[data[0] % (sizeof sizes / sizeof sizes[0])];
    /* fmemopen wants a buffer of at least one byte. */
    std::vector<char> text(data + 1, data + size);
    if (text.empty())
        text.push_back('\n');
    read_all(text, name_size, true);
    read_all(text, name_size, false);
    return 0;
}
