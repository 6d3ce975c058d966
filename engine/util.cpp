/*
 * util.cpp: the engine's shared state, CRC-32, input refill, output
 * flushing, fatal-error routines and small name and report utilities.
 *
 * Every buffer and counter of the engine is defined here, statically, so
 * the refill and flush paths never allocate.  All file I/O goes through
 * the platform layer (platform/crt.h).
 */
#include "engine/engine.h"

#include "platform/crt.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

/* ---- State -------------------------------------------------------------- */

uch inbuf[INBUFSIZ + INBUF_EXTRA];
uch outbuf[OUTBUFSIZ + OUTBUF_EXTRA];
uch window[2 * WSIZE + WINDOW_SPARE];
ush d_buf[DIST_BUFSIZE];
ush prev[2 * WSIZE];
char ifname[MAX_PATH_LEN];
char ofname[MAX_PATH_LEN];
char shname[MAX_PATH_LEN];

uint32_t inptr = 0;
uint32_t insize = 0;
uint32_t outcnt = 0;
int32_t bytes_in = 0;
int32_t bytes_out = 0;
int ifd;
int ofd;
int method = 8;
int level = 9;
int (*work)(int infile, int outfile) = zip;
int (*read_buf)(char *buf, unsigned size);
int exit_code = OK;
int decompress = 0;
uint32_t window_size = 2 * WSIZE;
int part_nb = 0;
int last_member = 0;
int save_orig_name = 0;
uint32_t time_stamp = 0;

/* ---- CRC-32 ------------------------------------------------------------- */

/* The reflected CRC-32 table of polynomial 0xEDB88320, built at compile time. */
struct crc_table {
    ulg v[256];
};

static constexpr crc_table make_crc_table()
{
    crc_table t{};
    for (ulg n = 0; n < 256; n++) {
        ulg c = n;
        for (int k = 0; k < 8; k++)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t.v[n] = c;
    }
    return t;
}

static constexpr crc_table crc_table_value = make_crc_table();
static_assert(crc_table_value.v[1] == 0x77073096u, "CRC table entry 1");
static_assert(crc_table_value.v[255] == 0x2D02EF8Du, "CRC table entry 255");

/* Spelled out so that crc_32_tab has external linkage as engine.h declares. */
#define CRC_ROW(i)                                                              \
    crc_table_value.v[i], crc_table_value.v[i + 1], crc_table_value.v[i + 2],  \
        crc_table_value.v[i + 3], crc_table_value.v[i + 4],                     \
        crc_table_value.v[i + 5], crc_table_value.v[i + 6], crc_table_value.v[i + 7]
#define CRC_ROWS4(i) CRC_ROW(i), CRC_ROW(i + 8), CRC_ROW(i + 16), CRC_ROW(i + 24)
extern const ulg crc_32_tab[256] = {
    CRC_ROWS4(0),   CRC_ROWS4(32),  CRC_ROWS4(64),  CRC_ROWS4(96),
    CRC_ROWS4(128), CRC_ROWS4(160), CRC_ROWS4(192), CRC_ROWS4(224),
};
#undef CRC_ROWS4
#undef CRC_ROW

/* The running CRC register, shared by updcrc and flush_window. */
static ulg crc_register = 0xffffffffu;

ulg updcrc(const uch *s, unsigned n)
{
    if (s == nullptr) {
        crc_register = 0xffffffffu;
        return 0;
    }
    ulg c = crc_register;
    while (n--)
        c = crc_32_tab[(c ^ *s++) & 0xff] ^ (c >> 8);
    crc_register = c;
    return c ^ 0xffffffffu;
}

/* ---- Buffers ------------------------------------------------------------ */

void clear_bufs()
{
    outcnt = 0;
    inptr = insize = 0;
    bytes_in = bytes_out = 0;
}

/*
 * Loads inbuf from ifd, retrying short reads until the buffer is full or
 * the input ends, and returns its first byte.  A refill that finds nothing
 * returns -1 when eof_ok is set and ends the process otherwise.
 */
int fill_inbuf(int eof_ok)
{
    insize = 0;
    errno = 0;
    do {
        int len = os_read(ifd, inbuf + insize, INBUFSIZ - insize);
        if (len == 0 || len == -1)
            break;
        insize += (uint32_t)len;
    } while (insize < INBUFSIZ);

    if (insize == 0) {
        if (eof_ok)
            return -1;
        read_error();
    }
    bytes_in += (int32_t)insize;
    inptr = 1;
    return inbuf[0];
}

void flush_outbuf()
{
    if (outcnt == 0)
        return;
    write_buf(ofd, outbuf, outcnt);
    bytes_out += (int32_t)outcnt;
    outcnt = 0;
}

/* Writes the decoded window out, advancing the CRC over it on the way. */
void flush_window()
{
    if (outcnt == 0)
        return;
    updcrc(window, outcnt);
    write_buf(ofd, window, outcnt);
    bytes_out += (int32_t)outcnt;
    outcnt = 0;
}

/*
 * Writes all cnt bytes, going on after short writes.  A write that makes
 * no progress at all counts as failed (a disk that is full may report it
 * that way), since retrying it would never end.
 */
void write_buf(int fd, const void *buf, unsigned cnt)
{
    const uch *p = static_cast<const uch *>(buf);
    while (cnt > 0) {
        int n = os_write(fd, p, cnt);
        if (n == -1)
            write_error();
        if (n == 0) {
            errno = ENOSPC;
            write_error();
        }
        cnt -= (unsigned)n;
        p += n;
    }
}

/* ---- Fatal errors and warnings ------------------------------------------ */

static void (*exit_hook)(int status) = nullptr;

void engine_set_exit_hook(void (*hook)(int status))
{
    exit_hook = hook;
}

void engine_exit(int status)
{
    if (exit_hook)
        exit_hook(status);
    exit(status);
}

void error(const char *msg)
{
    fprintf(stderr, "%s: %s\n", ifname, msg);
    engine_exit(-1);
}

void read_error()
{
    if (errno != 0)
        perror(ifname);
    else
        fprintf(stderr, "%s: unexpected end of file\n", ifname);
    engine_exit(-1);
}

void write_error()
{
    perror(ofname);
    engine_exit(-1);
}

void warn(const char *a, const char *b)
{
    fprintf(stderr, "%s: warning: %s%s\n", ifname, a, b);
    if (exit_code == OK)
        exit_code = WARNING;
}

/* ---- Pass-through and memory -------------------------------------------- */

/* Copies the input unchanged: first the loaded buffer, then the rest of in. */
int copy(int in, int out)
{
    errno = 0;
    while (insize != 0 && insize != (uint32_t)-1) {
        write_buf(out, inbuf, insize);
        bytes_out += (int32_t)insize;
        insize = (uint32_t)os_read(in, inbuf, INBUFSIZ);
    }
    if (insize == (uint32_t)-1 && errno != 0)
        read_error();
    bytes_in = bytes_out;
    return OK;
}

void *xmalloc(unsigned size)
{
    /* A zero size still gets a distinct block, so null always means failure. */
    void *p = malloc(size ? size : 1);
    if (p == nullptr)
        error("out of memory");
    return p;
}

/* ---- Reports ------------------------------------------------------------ */

/*
 * Prints num/den as a signed percentage with one decimal.  The ratio is
 * taken in 64 bits so that large numerators cannot overflow.
 */
void display_ratio(int32_t num, int32_t den, FILE *file)
{
    int64_t ratio;
    if (den == 0)
        ratio = 0;
    else if (den < 2147483)
        ratio = (int64_t)num * 1000 / den;
    else
        ratio = (int64_t)num / (den / 1000);
    if (ratio < 0) {
        putc('-', file);
        ratio = -ratio;
    } else {
        putc(' ', file);
    }
    fprintf(file, "%2ld.%1ld%%", (long)(ratio / 10), (long)(ratio % 10));
}

/* ---- Arguments ---------------------------------------------------------- */

static const char SEPARATOR[] = " \t";

/*
 * Inserts the words of the environment variable env after the program
 * name.  Returns the copy of the value that the new vector points into
 * (the caller keeps it as long as the vector), or null without words.
 */
char *add_envopt(int *argcp, char ***argvp, const char *env)
{
    int oldargc = *argcp;
    char **oargv = *argvp;
    const char *value = getenv(env);
    if (value == nullptr)
        return nullptr;

    size_t len = strlen(value);
    char *copy_of_env = static_cast<char *>(malloc(len + 1));
    if (copy_of_env == nullptr)
        error("out of memory");
    memcpy(copy_of_env, value, len + 1);

    int nargc = 0;
    for (char *p = copy_of_env; *p; nargc++) {
        p += strspn(p, SEPARATOR);
        if (*p == '\0')
            break;
        p += strcspn(p, SEPARATOR);
        if (*p)
            *p++ = '\0';
    }
    if (nargc == 0) {
        free(copy_of_env);
        return nullptr;
    }
    *argcp += nargc;
    char **nargv = static_cast<char **>(calloc((size_t)*argcp + 1, sizeof(char *)));
    if (nargv == nullptr)
        error("out of memory");
    *argvp = nargv;

    /* Without a program name there is no slot for the words to follow. */
    if (oldargc <= 0)
        error("argc<=0");

    *nargv++ = *oargv++;
    oldargc--;
    char *p = copy_of_env;
    for (int i = 0; i < nargc; i++) {
        p += strspn(p, SEPARATOR);
        *nargv++ = p;
        p += strlen(p) + 1;
    }
    while (oldargc-- > 0)
        *nargv++ = *oargv++;
    *nargv = nullptr;
    return copy_of_env;
}

/* ---- Names -------------------------------------------------------------- */

#ifndef _WIN32
char *strlwr(char *s)
{
    for (char *t = s; *t; t++)
        if (*t >= 'A' && *t <= 'Z')
            *t = (char)(*t - 'A' + 'a');
    return s;
}
#endif

/* The part of path after its last '/', then '\', then ':'. */
char *xbasename(char *path)
{
    char *p;
    if ((p = strrchr(path, '/')) != nullptr)
        path = p + 1;
    if ((p = strrchr(path, '\\')) != nullptr)
        path = p + 1;
    if ((p = strrchr(path, ':')) != nullptr)
        path = p + 1;
    return path;
}

/* Keeps only the last '.' of name; a lone leading '.' becomes '_' too. */
void make_simple_name(char *name)
{
    char *p = strrchr(name, '.');
    if (p == nullptr)
        return;
    if (p == name)
        p++;
    do {
        if (*--p == '.')
            *p = '_';
    } while (p != name);
}

/*
 * The 8.3 form of the file's base name: at most 8 characters of stem and
 * 3 of extension.  The stem ends at the first '.' that is not the leading
 * one; the extension follows the last '.'.
 */
char *shortname(char *name)
{
    strncpy(shname, name, MAX_PATH_LEN - 1);
    shname[MAX_PATH_LEN - 1] = '\0';
    char *base = xbasename(shname);
    char result[8 + 1 + 3 + 1];

    char *last = strrchr(base, '.');
    if (last == nullptr) {
        snprintf(result, sizeof result, "%.8s", base);
    } else {
        char *stem_end = strchr(base + 1, '.');
        if (stem_end == nullptr)
            stem_end = last; /* the only '.' leads: the stem is empty */
        int stem_len = (int)(stem_end - base);
        if (stem_len > 8)
            stem_len = 8;
        snprintf(result, sizeof result, "%.*s.%.3s", stem_len, base, last + 1);
    }
    /* The result is never longer than the base name it replaces. */
    strcpy(base, result);
    return base;
}
