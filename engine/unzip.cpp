/*
 * unzip.cpp: the member routine of the reader, and the check of the first
 * zip local header.
 *
 * unzip() decodes one gzip member or zip entry into the destination and
 * tests the CRC-32 and length that its container records.  Every failure
 * but a second zip entry ends the process through error().
 */
#include "engine/engine.h"

#include <cstring>

int pkzip = 0;      /* the input is a zip entry */
int ext_header = 0; /* that entry has a data descriptor after its data */
int decrypt = 0;    /* that entry's encryption bit */

/* Offsets in a zip local file header. */
constexpr unsigned LOCFLG = 6;  /* general-purpose flags */
constexpr unsigned LOCHOW = 8;  /* compression method */
constexpr unsigned LOCCRC = 14; /* CRC-32 */
constexpr unsigned LOCSIZ = 18; /* compressed size */
constexpr unsigned LOCLEN = 22; /* uncompressed size */
constexpr unsigned LOCFIL = 26; /* name length */
constexpr unsigned LOCEXT = 28; /* extra field length */
constexpr unsigned LOCHDR = 30; /* size of the fixed part */
constexpr ulg LOCSIG = 0x04034b50;

/* Offsets in a data descriptor. */
constexpr unsigned EXTCRC = 4;
constexpr unsigned EXTLEN = 12;
constexpr unsigned EXTHDR = 16;

constexpr int STORED = 0;
constexpr int DEFLATED = 8;

/* Little-endian numbers in place. */
static unsigned get_short(const uch *p)
{
    return (unsigned)p[0] | ((unsigned)p[1] << 8);
}

static ulg get_long(const uch *p)
{
    return (ulg)get_short(p) | ((ulg)get_short(p + 2) << 16);
}

int check_zipfile(int in)
{
    const uch *h = inbuf + inptr;
    ifd = in;
    inptr += LOCHDR + get_short(h + LOCFIL) + get_short(h + LOCEXT);

    if (inptr > insize || get_long(h) != LOCSIG) {
        fprintf(stderr, "\n%s: not a valid zip file\n", ifname);
        exit_code = ERROR;
        return 1;
    }
    method = h[LOCHOW];
    if (method != STORED && method != DEFLATED) {
        fprintf(stderr, "\n%s: first entry not deflated or stored -- use unzip\n", ifname);
        exit_code = ERROR;
        return 1;
    }
    decrypt = h[LOCFLG] & 1;
    if (decrypt) {
        fprintf(stderr, "\n%s: encrypted file -- use unzip\n", ifname);
        exit_code = ERROR;
        return 1;
    }
    ext_header = (h[LOCFLG] & 8) != 0;
    pkzip = 1;
    return 0;
}

int unzip(int in, int out)
{
    ulg orig_crc = 0;
    ulg orig_len = 0;
    uch buf[EXTHDR];

    ifd = in;
    ofd = out;
    updcrc(nullptr, 0);

    /* The local header is at the start of inbuf: read it before any refill. */
    if (pkzip && !ext_header) {
        orig_crc = get_long(inbuf + LOCCRC);
        orig_len = get_long(inbuf + LOCLEN);
    }

    if (method == DEFLATED) {
        int res = inflate();
        if (res == 3)
            error("out of memory");
        else if (res != 0)
            error("invalid compressed data--format violated");
    } else if (pkzip && method == STORED) {
        ulg n = get_long(inbuf + LOCLEN);
        if (n != get_long(inbuf + LOCSIZ)) {
            fprintf(stderr, "len %ld, siz %ld\n", (long)n, (long)get_long(inbuf + LOCSIZ));
            error("invalid compressed data--length mismatch");
        }
        while (n--)
            put_window_byte((unsigned)next_input_byte());
        flush_window();
    } else {
        error("internal error, invalid method");
    }

    if (!pkzip) {
        for (unsigned i = 0; i < 8; i++)
            buf[i] = (uch)next_input_byte();
        orig_crc = get_long(buf);
        orig_len = get_long(buf + 4);
    } else if (ext_header) {
        for (unsigned i = 0; i < EXTHDR; i++)
            buf[i] = (uch)next_input_byte();
        orig_crc = get_long(buf + EXTCRC);
        orig_len = get_long(buf + EXTLEN);
    }

    if (orig_crc != updcrc(outbuf, 0))
        error("invalid compressed data--crc error");
    if (orig_len != (ulg)bytes_out)
        error("invalid compressed data--length error");

    if (pkzip && inptr + 4 < insize && get_long(inbuf + inptr) == LOCSIG) {
        fprintf(stderr, "%s has more than one entry -- unchanged\n", ifname);
        exit_code = ERROR;
        pkzip = ext_header = 0;
        return 1;
    }
    pkzip = ext_header = 0;
    return 0;
}
