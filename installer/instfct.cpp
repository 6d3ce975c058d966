/*
 * instfct.cpp: the installer's utility unit.
 *
 * The install list readers, the path and directory routines and the file
 * routines that reach the compression engine.  Every routine that passes
 * a path on turns it into native form in place first, so the caller's
 * string reads with '\' separators afterwards.
 */
#include "instfct.h"

#include "engine/engine.h"
#include "platform/crt.h"
#include "platform/win.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

char buf[BUF_SIZE];

/* ---- Install list readers ------------------------------------------- */

/*
 * The list is read in text mode.  A line break is a CR or an LF, and a run
 * of them is one break: an empty line never hides the record after it.
 */
static bool is_break(int c)
{
    return c == '\r' || c == '\n';
}

/*
 * Reads on to the next line that starts with letter, just after the
 * letter.  A record must follow a line break, so the first line of the
 * list is never one.  false at the end of the list.
 */
static bool find_record(FILE *list, int letter)
{
    for (;;) {
        int c;
        do {
            if ((c = getc(list)) == EOF)
                return false;
        } while (!is_break(c));
        do {
            if ((c = getc(list)) == EOF)
                return false;
        } while (is_break(c));
        if (c == letter)
            return true;
    }
}

/* Reads past the next double-quote character; false at the end of the list. */
static bool skip_to_quote(FILE *list)
{
    for (;;) {
        int c = getc(list);
        if (c == EOF)
            return false;
        if (c == '"')
            return true;
    }
}

/*
 * Stores the name up to its closing quote, or size characters of it; the
 * last character stored (the quote, or the size-th character) becomes the
 * NUL.  A longer name is thus cut at size - 1 characters and its own
 * closing quote is left to be taken for the mode's opening quote.
 */
static bool read_name(FILE *list, char *name, int size)
{
    int n = 0;
    for (;;) {
        int c = getc(list);
        if (c == EOF)
            return false;
        name[n++] = (char)c;
        if (c == '"' || n == size)
            break;
    }
    name[n - 1] = '\0';
    return true;
}

/*
 * Reads the mode field into buf: up to its closing quote or four
 * characters, whichever comes first.  Returns the count read, 0 at the
 * end of the list.  buf[count] is made NUL, so a conversion never looks
 * at what an earlier call left in buf.
 */
static int read_mode_field(FILE *list)
{
    int n = 0;
    for (;;) {
        int c = getc(list);
        if (c == EOF)
            return 0;
        buf[n++] = (char)c;
        if (c == '"' || n == 4)
            break;
    }
    buf[n] = '\0';
    return n;
}

/*
 * Converts buf as an octal number: white space is skipped, then the octal
 * digits up to the first other character.  Without an octal digit *mode
 * stays as it was.  (sscanf's "%o" would also take a sign, and read "-7"
 * as a mode with every permission and special bit set.)  The field holds
 * at most four characters, so the value stays below 010000.
 */
static void convert_mode(int *mode)
{
    const char *p = buf;
    while (isspace((unsigned char)*p))
        p++;
    if (*p < '0' || *p > '7')
        return;
    int value = 0;
    for (; *p >= '0' && *p <= '7'; p++)
        value = value * 8 + (*p - '0');
    *mode = value;
}

/*
 * Reads the next record of the given letter.  cut_mode: the file reader
 * replaces the last character of the mode field by NUL before converting,
 * so "0755" reads as 075; the directory reader converts all four.
 */
static int get_next_record(FILE *list, int letter, char *name, int size, int *mode,
                           bool cut_mode)
{
    if (size < 1)
        return 0;
    if (!find_record(list, letter) || !skip_to_quote(list) || !read_name(list, name, size)
        || !skip_to_quote(list))
        return 0;
    int count = read_mode_field(list);
    if (count == 0)
        return 0;
    if (cut_mode)
        buf[count - 1] = '\0';
    convert_mode(mode);
    return 1;
}

int GetNextDir(FILE *list, char *name, int size, int *mode)
{
    return get_next_record(list, 'D', name, size, mode, false);
}

int GetNextFile(FILE *list, char *name, int size, int *mode)
{
    return get_next_record(list, 'F', name, size, mode, true);
}

int SafeListName(const char *name)
{
    if (name[0] == '/' || name[0] == '\\')
        return 0;
    if (name[0] != '\0' && name[1] == ':')
        return 0;
    /*
     * Windows drops trailing dots and blanks from a path component, so
     * ". ." or "..." may act as ".."; refuse every component made only of
     * dots and blanks that holds two dots or more.
     */
    int dots = 0;
    bool only_dots = true;
    for (const char *p = name;; p++) {
        if (*p == '/' || *p == '\\' || *p == '\0') {
            if (only_dots && dots >= 2)
                return 0;
            if (*p == '\0')
                return 1;
            dots = 0;
            only_dots = true;
        } else if (*p == '.') {
            dots++;
        } else if (*p != ' ') {
            only_dots = false;
        }
    }
}

/* ---- Paths and directories ------------------------------------------ */

char *FindExec()
{
    /*
     * At most 254 characters fit.  A longer path comes back cut, with the
     * full size as the count: such a path names no file, so it counts as
     * none.
     */
    DWORD n = GetModuleFileNameA(nullptr, buf, PATH_MAX_CHARS);
    if (n == 0 || n >= (DWORD)PATH_MAX_CHARS)
        return nullptr;
    size_t len = strlen(buf);
    char *copy = (char *)malloc(len + 1);
    if (copy)
        memcpy(copy, buf, len + 1);
    return copy;
}

void NativeName(char *path)
{
    for (; *path; path++)
        if (*path == '/')
            *path = '\\';
}

int TestDirWrite(char *path)
{
    NativeName(path);
    return os_access(path, OS_WRITE) == 0;
}

int MakeComposedDir(char *path)
{
    NativeName(path);
    char *p = path;
    if (p[0] != '\0' && p[1] == ':')
        p += 2;
    while (*p == '\\')
        p++;
    /* Create each prefix that ends at a separator, then the whole path;
     * prefixes that already exist simply fail to be created. */
    for (;; p++) {
        if (*p != '\\' && *p != '\0')
            continue;
        char keep = *p;
        *p = '\0';
        os_mkdir(path);
        *p = keep;
        if (keep == '\0')
            break;
    }
    return os_access(path, OS_WRITE) == 0;
}

int TestFileRead(char *path)
{
    NativeName(path);
    return os_access(path, OS_READ) == 0;
}

/* ---- Files through the engine and the command processor ------------- */

int FileUnCompress(char *src, char *dst)
{
    NativeName(src);
    NativeName(dst);
    int status = compress(src, dst, 1);
    if (status == 1)
        FatalError("uncompress");
    return status;
}

int FileCompress(char *src, char *dst)
{
    NativeName(src);
    NativeName(dst);
    int status = compress(src, dst, 0);
    if (status == 1)
        FatalError("compress");
    return status;
}

int FileCopy(char *src, char *dst)
{
    NativeName(src);
    NativeName(dst);
    int n = snprintf(buf, sizeof buf, "%s %s %s", "copy", src, dst);
    /* A command cut to fit buf would copy to the wrong place: refuse it
     * as a failed copy, without running anything. */
    if (n < 0 || n >= BUF_SIZE)
        return 1;
    int status = os_system(buf);
    if (status == -1)
        FatalError("can't copy a file");
    return status;
}

void FatalError(const char *msg)
{
    fflush(stdout);
    fprintf(stderr, "fatal error: %s\n", msg);
    fputs("sorry... (CR)", stderr);
    /* Let the user read the message before the console closes. */
    getchar();
    exit(1);
}
