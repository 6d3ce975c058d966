/*
 * deflate.cpp: the match finder and the lazy (levels 4-9) and greedy
 * (levels 1-3) parsing loops.  Input is read into a sliding window of two
 * 32 KiB halves; repeated strings are found through hash chains kept in
 * prev, and every literal and match goes to ct_tally.
 */
#include "engine/deflate.h"

#include <cstring>

constexpr unsigned MIN_MATCH = 3;
constexpr unsigned MAX_MATCH = 258;
constexpr unsigned MIN_LOOKAHEAD = MAX_MATCH + MIN_MATCH + 1; /* 262 */
constexpr unsigned MAX_DIST = WSIZE - MIN_LOOKAHEAD;          /* 32506 */
constexpr unsigned WMASK = WSIZE - 1;
constexpr unsigned HASH_MASK = HASH_SIZE - 1;
constexpr unsigned H_SHIFT = 5;
constexpr unsigned TOO_FAR = 4096;

const config configuration_table[10] = {
    {0, 0, 0, 0},        {4, 4, 8, 4},        {4, 5, 16, 8},     {4, 6, 32, 32},
    {4, 4, 16, 16},      {8, 16, 32, 32},     {8, 16, 128, 128}, {8, 32, 128, 256},
    {32, 128, 258, 1024}, {32, 258, 258, 4096},
};

unsigned strstart;
unsigned lookahead;
long block_start;
unsigned match_start;
unsigned prev_length;
unsigned ins_h;
int eofile;

static int compr_level;
static unsigned good_match;
static unsigned max_lazy_match;
static int nice_match;
static unsigned max_chain_length;

static ush *const head = prev + WSIZE; /* hash head table */

static inline void update_hash(unsigned c)
{
    ins_h = ((ins_h << H_SHIFT) ^ c) & HASH_MASK;
}

/* Inserts position s into its hash chain; returns the previous head. */
static inline unsigned insert_string(unsigned s)
{
    update_hash(window[s + MIN_MATCH - 1]);
    unsigned match_head = head[ins_h];
    prev[s & WMASK] = (ush)match_head;
    head[ins_h] = (ush)s;
    return match_head;
}

void lm_init(int pack_level, ush *flags)
{
    if (pack_level < 1 || pack_level > 9)
        error("bad pack level");
    compr_level = pack_level;
    memset(head, 0, HASH_SIZE * sizeof(*head));

    good_match = configuration_table[pack_level].good_length;
    max_lazy_match = configuration_table[pack_level].max_lazy;
    nice_match = configuration_table[pack_level].nice_length;
    max_chain_length = configuration_table[pack_level].max_chain;
    if (pack_level == 1)
        *flags |= 4;
    else if (pack_level == 9)
        *flags |= 2;

    strstart = 0;
    block_start = 0;
    int n = read_buf((char *)window, 2 * WSIZE);
    if (n == 0 || n == -1) {
        eofile = 1;
        lookahead = 0;
        return;
    }
    lookahead = (unsigned)n;
    eofile = 0;
    while (lookahead < MIN_LOOKAHEAD && !eofile)
        fill_window();
    ins_h = ((unsigned)window[0] << H_SHIFT) ^ window[1];
}

static inline uint64_t load64(const uch *p)
{
    uint64_t v;
    memcpy(&v, p, 8);
    return v;
}

static inline uint32_t load32(const uch *p)
{
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

static inline uint16_t load16(const uch *p)
{
    uint16_t v;
    memcpy(&v, p, 2);
    return v;
}

/*
 * Length of the common prefix of a and b from offset 3 on, compared in
 * groups of eight bytes up to offset 258 (the last group ends there).
 */
static inline unsigned match_length_from3(const uch *a, const uch *b)
{
    for (unsigned off = 3; off < MAX_MATCH; off += 8) {
        uint64_t x = load64(a + off) ^ load64(b + off);
        if (x != 0) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
            return off + ((unsigned)__builtin_ctzll(x) >> 3);
#else
            unsigned k = 0;
            while (a[off + k] == b[off + k])
                k++;
            return off + k;
#endif
        }
    }
    return MAX_MATCH;
}

int longest_match(unsigned cur_match)
{
    unsigned chain_length = max_chain_length;
    const uch *scan = window + strstart;
    unsigned best_len = prev_length;
    const unsigned limit = strstart > MAX_DIST ? strstart - MAX_DIST : 0;

    if (prev_length >= good_match)
        chain_length >>= 2;

    /*
     * A candidate can beat best_len only if it equals the current string
     * at offsets 0, 1 and 3 to best_len.  Testing the four bytes that end
     * at best_len (two while best_len < 6) and the first two drops the
     * others before a full compare; the result is the same as testing the
     * single bytes at best_len and best_len - 1.
     */
    unsigned tail = best_len >= 6 ? best_len - 3 : best_len - 1;
    uint32_t scan_end = best_len >= 6 ? load32(scan + tail) : load16(scan + tail);
    const uint16_t scan_start = load16(scan);

    do {
        const uch *match = window + cur_match;
        uint32_t match_end = best_len >= 6 ? load32(match + tail) : load16(match + tail);
        if (match_end != scan_end || load16(match) != scan_start)
            continue;
        unsigned len = match_length_from3(scan, match);
        if (len > best_len) {
            match_start = cur_match;
            best_len = len;
            if (len >= (unsigned)nice_match)
                break;
            tail = best_len >= 6 ? best_len - 3 : best_len - 1;
            scan_end = best_len >= 6 ? load32(scan + tail) : load16(scan + tail);
        }
    } while ((cur_match = prev[cur_match & WMASK]) > limit && --chain_length != 0);

    return (int)best_len;
}

void fill_window()
{
    unsigned more = window_size - lookahead - strstart;

    if (strstart >= WSIZE + MAX_DIST) {
        memcpy(window, window + WSIZE, WSIZE);
        match_start -= WSIZE;
        strstart -= WSIZE;
        block_start -= (long)WSIZE;
        for (unsigned n = 0; n < HASH_SIZE; n++) {
            unsigned m = head[n];
            head[n] = (ush)(m >= WSIZE ? m - WSIZE : 0);
        }
        for (unsigned n = 0; n < WSIZE; n++) {
            unsigned m = prev[n];
            prev[n] = (ush)(m >= WSIZE ? m - WSIZE : 0);
        }
        more += WSIZE;
    }
    if (!eofile) {
        int n = read_buf((char *)window + strstart + lookahead, more);
        if (n == 0 || n == -1)
            eofile = 1;
        else
            lookahead += (unsigned)n;
    }
}

static inline void flush_current_block(int eof)
{
    flush_block(block_start >= 0L ? (const char *)&window[(unsigned)block_start] : nullptr,
                (ulg)((long)strstart - block_start), eof);
}

/* Levels 1 to 3: take every match at once. */
static void deflate_fast()
{
    unsigned match_length = 0;
    prev_length = MIN_MATCH - 1;
    while (lookahead != 0) {
        unsigned hash_head = insert_string(strstart);
        match_length = 0;
        if (hash_head != 0 && strstart - hash_head <= MAX_DIST) {
            match_length = (unsigned)longest_match(hash_head);
            if (match_length > lookahead)
                match_length = lookahead;
        }
        int flush;
        if (match_length >= MIN_MATCH) {
            flush = ct_tally((int)(strstart - match_start), (int)(match_length - MIN_MATCH));
            lookahead -= match_length;
            if (match_length <= max_lazy_match) {
                match_length--;
                do {
                    strstart++;
                    insert_string(strstart);
                } while (--match_length != 0);
                strstart++;
            } else {
                strstart += match_length;
                match_length = 0;
                ins_h = ((unsigned)window[strstart] << H_SHIFT) ^ window[strstart + 1];
            }
        } else {
            flush = ct_tally(0, window[strstart]);
            lookahead--;
            strstart++;
        }
        if (flush) {
            flush_current_block(0);
            block_start = (long)strstart;
        }
        while (lookahead < MIN_LOOKAHEAD && !eofile)
            fill_window();
    }
    flush_current_block(1);
}

/*
 * Levels 4 to 9: hold each match back one position and take it only if
 * the next position does not find a longer one.
 */
static void deflate_lazy()
{
    unsigned match_length = MIN_MATCH - 1;
    int match_available = 0;
    while (lookahead != 0) {
        unsigned hash_head = insert_string(strstart);
        prev_length = match_length;
        unsigned prev_match = match_start;
        match_length = MIN_MATCH - 1;

        if (hash_head != 0 && prev_length < max_lazy_match && strstart - hash_head <= MAX_DIST) {
            match_length = (unsigned)longest_match(hash_head);
            if (match_length > lookahead)
                match_length = lookahead;
            /* A 3-byte match far back costs more than its literals. */
            if (match_length == MIN_MATCH && strstart - match_start > TOO_FAR)
                match_length--;
        }

        if (prev_length >= MIN_MATCH && match_length <= prev_length) {
            int flush = ct_tally((int)(strstart - 1 - prev_match), (int)(prev_length - MIN_MATCH));
            lookahead -= prev_length - 1;
            prev_length -= 2;
            do {
                strstart++;
                insert_string(strstart);
            } while (--prev_length != 0);
            match_available = 0;
            match_length = MIN_MATCH - 1;
            strstart++;
            if (flush) {
                flush_current_block(0);
                block_start = (long)strstart;
            }
        } else if (match_available) {
            if (ct_tally(0, window[strstart - 1])) {
                flush_current_block(0);
                block_start = (long)strstart;
            }
            strstart++;
            lookahead--;
        } else {
            match_available = 1;
            strstart++;
            lookahead--;
        }
        while (lookahead < MIN_LOOKAHEAD && !eofile)
            fill_window();
    }
    if (match_available)
        ct_tally(0, window[strstart - 1]);
    flush_current_block(1);
}

void deflate()
{
    if (compr_level <= 3)
        deflate_fast();
    else
        deflate_lazy();
}
