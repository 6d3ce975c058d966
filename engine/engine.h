/*
 * engine.h: the compression engine's shared state and routines.
 *
 * The engine turns one file into another: a gzip file (or the first entry
 * of a zip archive) into the data it holds, or any file into a gzip file.
 * All of its state lives in the fixed global buffers and counters below,
 * shared by every unit of the engine (util, gzip, unzip, inflate, bits,
 * deflate, trees, zip).  One file-level call at a time per process; the
 * engine is not reentrant.
 */
#ifndef KOVRA_ENGINE_ENGINE_H
#define KOVRA_ENGINE_ENGINE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

typedef uint8_t uch;
typedef uint16_t ush;
typedef uint32_t ulg;

/* ---- Sizes ------------------------------------------------------------ */

constexpr unsigned INBUFSIZ = 0x8000;     /* data part of inbuf */
constexpr unsigned INBUF_EXTRA = 64;      /* spare bytes after it */
constexpr unsigned OUTBUFSIZ = 16384;     /* outbuf is flushed at this fill */
constexpr unsigned OUTBUF_EXTRA = 2048;
constexpr unsigned WSIZE = 0x8000;        /* half of the window */
constexpr unsigned DIST_BUFSIZE = 0x8000; /* entries of d_buf */
constexpr unsigned HASH_SIZE = 0x8000;    /* hash codes of the match finder */
constexpr unsigned MAX_PATH_LEN = 260;    /* bytes of ifname, ofname, shname */
/*
 * The match finder compares and hashes up to 258 bytes past the last
 * window position.  Those reads land in these spare bytes, which nothing
 * ever writes: they stay zero, so the output never depends on memory that
 * the engine does not own.
 */
constexpr unsigned WINDOW_SPARE = 258;

/* ---- Buffers ---------------------------------------------------------- */

extern uch inbuf[INBUFSIZ + INBUF_EXTRA];
extern uch outbuf[OUTBUFSIZ + OUTBUF_EXTRA];
extern uch window[2 * WSIZE + WINDOW_SPARE];
extern ush d_buf[DIST_BUFSIZE];
extern ush prev[2 * WSIZE];     /* chain links, then the hash head table */
extern char ifname[MAX_PATH_LEN];
extern char ofname[MAX_PATH_LEN];
extern char shname[MAX_PATH_LEN];

/* ---- Scalars ---------------------------------------------------------- */

extern uint32_t inptr;      /* next unread byte of inbuf */
extern uint32_t insize;     /* valid bytes in inbuf */
extern uint32_t outcnt;     /* bytes waiting in outbuf (writing) or window (reading) */
extern int32_t bytes_in;    /* input bytes counted (see util.cpp) */
extern int32_t bytes_out;   /* output bytes written */
extern int ifd;             /* source descriptor */
extern int ofd;             /* destination descriptor */
extern int method;          /* 8 deflate, 0 stored, -1 none recognised */
extern int level;           /* compression level, always 9 */
extern int (*work)(int infile, int outfile);   /* member routine */
extern int (*read_buf)(char *buf, unsigned size); /* compressor input */
extern int exit_code;       /* 0 ok, 1 error, 2 warning */
extern int decompress;      /* mode of the current compress() call */
extern uint32_t window_size;
extern int part_nb;         /* ordinal of the member being read */
extern int last_member;     /* the member just recognised is the last */
extern int save_orig_name;  /* store the source's base name in the header */
extern uint32_t time_stamp; /* MTIME of the last gzip header read */

/* Container state of the reader (gzip.cpp / unzip.cpp). */
extern int pkzip;           /* the input is a zip entry */
extern int ext_header;      /* that entry has a data descriptor */
extern int decrypt;         /* that entry's encryption bit */

/* Exit statuses. */
constexpr int OK = 0;
constexpr int ERROR = 1;
constexpr int WARNING = 2;

/* ---- util: CRC, refill, flush, errors, small utilities ---------------- */

extern const ulg crc_32_tab[256];

ulg updcrc(const uch *s, unsigned n);
void clear_bufs();
int fill_inbuf(int eof_ok);
void flush_outbuf();
void flush_window();
void write_buf(int fd, const void *buf, unsigned cnt);
[[noreturn]] void error(const char *msg);
[[noreturn]] void read_error();
[[noreturn]] void write_error();
void warn(const char *a, const char *b);
int copy(int in, int out);
void *xmalloc(unsigned size);
void display_ratio(int32_t num, int32_t den, FILE *file);
char *add_envopt(int *argcp, char ***argvp, const char *env);
#ifndef _WIN32 /* the Windows runtime has its own strlwr */
char *strlwr(char *s);
#endif
char *xbasename(char *path);
void make_simple_name(char *name);
char *shortname(char *name);

/*
 * Ends the process with the given status after a fatal engine error.
 * Every fatal path goes through here, so a fuzzing build can return to
 * its harness instead (see engine_set_exit_hook).
 */
[[noreturn]] void engine_exit(int status);
/* A hook called by engine_exit instead of exit(); it must not return. */
void engine_set_exit_hook(void (*hook)(int status));

inline int next_input_byte()
{
    return inptr < insize ? inbuf[inptr++] : fill_inbuf(0);
}

inline void put_out_byte(unsigned c)
{
    outbuf[outcnt++] = (uch)c;
    if (outcnt == OUTBUFSIZ)
        flush_outbuf();
}

inline void put_out_short(unsigned w)
{
    if (outcnt < OUTBUFSIZ - 2) {
        outbuf[outcnt++] = (uch)(w & 0xff);
        outbuf[outcnt++] = (uch)((w >> 8) & 0xff);
    } else {
        put_out_byte(w & 0xff);
        put_out_byte((w >> 8) & 0xff);
    }
}

inline void put_out_long(ulg n)
{
    put_out_short(n & 0xffff);
    put_out_short(n >> 16);
}

inline void put_window_byte(unsigned c)
{
    window[outcnt++] = (uch)c;
    if (outcnt == WSIZE)
        flush_window();
}

/* ---- gzip: the file-level driver and the header reader ---------------- */

int compress(const char *src, const char *dst, int mode);
int get_method(int in);

/* ---- unzip: the member routine of the reader -------------------------- */

int check_zipfile(int in);
int unzip(int in, int out);

/* ---- inflate: the DEFLATE decoder (tables in inflate.h) --------------- */

int inflate();

/* ---- bits: the bit writer --------------------------------------------- */

void bi_init(int handle);
void send_bits(int value, int length);
unsigned bi_reverse(unsigned value, int length);
void bi_windup();
void copy_block(const char *buf, unsigned len, int header);

/* ---- deflate: the match finder and the lazy loop ---------------------- */

extern unsigned strstart;
extern unsigned lookahead;
extern long block_start;   /* may become negative when the window slides */
extern unsigned match_start;
extern unsigned prev_length;

void lm_init(int pack_level, ush *flags);
void deflate();

/* ---- trees: Huffman trees and block emission -------------------------- */

void ct_init();
int ct_tally(int dist, int lc);
void flush_block(const char *buf, ulg stored_len, int eof);

/* ---- zip: the member writer ------------------------------------------- */

int zip(int in, int out);
int file_read(char *buf, unsigned size);

#endif
