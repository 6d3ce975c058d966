/*
 * gzip.cpp: the file-level operation compress() and the reader of gzip
 * member headers (RFC 1952) and of the first zip local header.
 *
 * compress() opens the two files, reads each member's header with
 * get_method, runs the member routine through work (unzip when reading,
 * zip when writing) and closes the files.  Its result is exit_code:
 * 0 done, 2 done after replacing an existing destination, 1 failed with a
 * message printed.  Fatal errors inside the engine do not come back here.
 */
#include "engine/engine.h"

#include "platform/crt.h"

#include <cstring>

/* Magic numbers of the containers. */
static const uch GZIP_MAGIC[2] = {0x1f, 0x8b};
static const uch OLD_GZIP_MAGIC[2] = {0x1f, 0x9e};
static const uch PKZIP_MAGIC[4] = {0x50, 0x4b, 0x03, 0x04};

/* gzip header flags. */
constexpr int CONTINUATION = 0x02; /* part of a multi-part file */
constexpr int EXTRA_FIELD = 0x04;
constexpr int ORIG_NAME = 0x08;
constexpr int COMMENT = 0x10;
constexpr int ENCRYPTED = 0x20;
constexpr int RESERVED = 0xC0;

constexpr int DEFLATED = 8;

/* Skips a zero-terminated field of the header, its terminator included. */
static void skip_string()
{
    while (next_input_byte() != 0)
        continue;
}

/* Refuses a header: prints fmt with the source path, marks the call failed. */
static int refuse(const char *fmt, int value)
{
    fprintf(stderr, fmt, ifname, value);
    exit_code = ERROR;
    return -1;
}

int get_method(int in)
{
    uch magic[2];
    magic[0] = (uch)next_input_byte();
    magic[1] = (uch)next_input_byte();
    part_nb++;
    method = -1;
    last_member = 0;

    if (memcmp(magic, GZIP_MAGIC, 2) == 0 || memcmp(magic, OLD_GZIP_MAGIC, 2) == 0) {
        method = next_input_byte();
        if (method != DEFLATED)
            return refuse("%s: unknown method %d \n", method);
        work = unzip;

        const int flags = next_input_byte();
        if (flags & ENCRYPTED)
            return refuse("%s is encrypted\n", 0);
        if (flags & CONTINUATION)
            return refuse("%s is a a multi-part gzip file\n", 0);
        if (flags & RESERVED)
            return refuse("%s has flags 0x%x\n", flags);

        ulg stamp = (ulg)next_input_byte();
        stamp |= (ulg)next_input_byte() << 8;
        stamp |= (ulg)next_input_byte() << 16;
        stamp |= (ulg)next_input_byte() << 24;
        time_stamp = stamp;

        (void)next_input_byte(); /* extra flags */
        (void)next_input_byte(); /* operating system */

        if (flags & EXTRA_FIELD) {
            unsigned len = (unsigned)next_input_byte();
            len |= (unsigned)next_input_byte() << 8;
            while (len--)
                (void)next_input_byte();
        }
        if (flags & ORIG_NAME)
            skip_string();
        if (flags & COMMENT)
            skip_string();
        return method;
    }

    /*
     * A zip archive only at the very start of the source, whose local
     * header the first refill has loaded: a zip signature after a gzip
     * member is trailing garbage.
     */
    if (magic[0] == PKZIP_MAGIC[0] && magic[1] == PKZIP_MAGIC[1] && part_nb == 1 && inptr == 2
        && insize >= 4 && memcmp(inbuf, PKZIP_MAGIC, 4) == 0) {
        inptr = 0;
        work = unzip;
        if (check_zipfile(in) != OK)
            return -1;
        last_member = 1;
        return method;
    }

    if (part_nb == 1)
        return refuse("%s: not in gzip format\n", 0);
    fprintf(stderr, "warning %s: decompression OK, trailing garbage ignored\n", ifname);
    return -2;
}

/* Copies a path into one of the engine's name buffers, if it fits. */
static int set_name(char *to, const char *from)
{
    size_t len = strlen(from);
    if (len >= MAX_PATH_LEN) {
        fprintf(stderr, "%s: name too long\n", from);
        return ERROR;
    }
    memcpy(to, from, len + 1);
    return OK;
}

/*
 * Whether the input holds more after a member.  An input buffer used up
 * exactly may still be followed by more input; one more refill tells.
 */
static int more_input()
{
    if (inptr < insize)
        return 1;
    if (insize < INBUFSIZ || fill_inbuf(1) == -1)
        return 0;
    inptr = 0; /* the refill's first byte is not taken yet */
    return 1;
}

int compress(const char *src, const char *dst, int mode)
{
    exit_code = OK;
    decompress = mode;
    if (set_name(ifname, src) != OK || set_name(ofname, dst) != OK)
        return ERROR;

    ifd = os_open(ifname, O_RDONLY | O_BINARY, 0);
    if (ifd == -1) {
        perror(ifname);
        return ERROR;
    }
    clear_bufs();
    part_nb = 0;

    if (decompress) {
        method = get_method(ifd);
        if (method < 0) {
            os_close(ifd);
            return exit_code;
        }
    }

    if (os_access(ofname, OS_EXISTS) == 0) {
        fprintf(stderr, "warning: existing file %s is replaced\n", ofname);
        exit_code = WARNING;
    }
    ofd = os_open(ofname, O_WRONLY | O_CREAT | O_TRUNC | O_BINARY, OS_PERM_RW);
    if (ofd == -1) {
        perror(ofname);
        os_close(ifd);
        return ERROR;
    }

    if (!decompress) {
        save_orig_name = 1;
        work = zip;
    }

    for (;;) {
        if ((*work)(ifd, ofd) != OK)
            break;
        if (!decompress || last_member || !more_input())
            break;
        method = get_method(ifd);
        if (method < 0)
            break;
        bytes_out = 0;
    }

    os_close(ifd);
    os_close(ofd);
    return exit_code;
}
