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
static int settle_runs; /* see settle_run */

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
#ifdef KOVRA_PLAIN_MATCH
    settle_runs = 0; /* the tests' reference build walks every entry */
#else
    settle_runs = pack_level >= 4;
#endif
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
 * Number of equal bytes at the start of the word x ^ y, where both words
 * were loaded from memory in address order.
 */
static inline unsigned equal_low_bytes(uint64_t x)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return (unsigned)__builtin_clzll(x) >> 3;
#else
    return (unsigned)__builtin_ctzll(x) >> 3;
#endif
}

/* The same, counted from the word's last byte in memory down. */
static inline unsigned equal_high_bytes(uint64_t x)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return (unsigned)__builtin_ctzll(x) >> 3;
#else
    return (unsigned)__builtin_clzll(x) >> 3;
#endif
}

/*
 * Length of the common prefix of a and b from offset 3 on, compared in
 * groups of eight bytes up to offset 258 (the last group ends there).
 */
static inline unsigned match_length_from3(const uch *a, const uch *b)
{
    for (unsigned off = 3; off < MAX_MATCH; off += 8) {
        uint64_t x = load64(a + off) ^ load64(b + off);
        if (x != 0)
            return off + equal_low_bytes(x);
    }
    return MAX_MATCH;
}

/*
 * Runs of one byte value.  When the string at strstart begins with a run
 * of a byte v (at least three), every chain entry that begins with v v
 * sits inside an earlier run of v, and the run positions below it follow
 * it in the chain one by one: each of them was inserted right after the
 * one before, with the same three bytes v v v.  The match length of such
 * an entry follows from the two run lengths alone, unless they are equal,
 * so a whole stretch of entries is settled at once.  The outcome is the
 * one of visiting the entries one at a time: the same entries count
 * against the chain limit, and the same entry is kept.  This needs every
 * position in the chains, which holds for the lazy levels only.
 */
static inline uint64_t repeat_byte(uch v)
{
    return 0x0101010101010101ull * v;
}

/*
 * Length of the run of pat's byte at p, whose first three bytes are known
 * to be in it, counted up to max (at most 258).  Reads no further than
 * p + 258.
 */
static inline unsigned run_length_from3(const uch *p, uint64_t pat, unsigned max)
{
    for (unsigned off = 3; off < max; off += 8) {
        uint64_t x = load64(p + off) ^ pat;
        if (x != 0) {
            unsigned n = off + equal_low_bytes(x);
            return n < max ? n : max;
        }
    }
    return max;
}

/* How many bytes just below p are pat's byte, counted up to max. */
static inline unsigned run_length_below(const uch *p, uint64_t pat, unsigned max)
{
    unsigned n = 0;
    while (n + 8 <= max) {
        uint64_t x = load64(p - n - 8) ^ pat;
        if (x != 0)
            return n + equal_high_bytes(x);
        n += 8;
    }
    while (n < max && p[-1 - (long)n] == (uch)pat)
        n++;
    return n;
}

/* What longest_match keeps while it walks a chain. */
struct match_state {
    const uch *scan;
    unsigned best_len;
    unsigned tail;     /* offset of the bytes that end the best match */
    uint32_t scan_end; /* the current string's bytes at tail */
};

/* Makes len the length to beat, with the bytes that end it. */
static inline void set_length(match_state &m, unsigned len)
{
    m.best_len = len;
    m.tail = len >= 6 ? len - 3 : len - 1;
    m.scan_end = len >= 6 ? load32(m.scan + m.tail) : load16(m.scan + m.tail);
}

static inline void set_best(match_state &m, unsigned pos, unsigned len)
{
    match_start = pos;
    set_length(m, len);
}

/*
 * Compares the chain entry at pos with the current string and keeps it if
 * it is longer than the best so far; returns 1 once it reaches nice_match.
 * A candidate can beat best_len only if it equals the current string at
 * offsets 0, 1 and 3 to best_len (offset 2 follows from the hash).
 * Testing the four bytes that end at best_len (two while best_len < 6) and
 * the first two drops the others before a full compare; the result is the
 * same as testing the single bytes at best_len and best_len - 1.
 */
static inline int consider(match_state &m, unsigned pos)
{
    const uch *match = window + pos;
    uint32_t match_end = m.best_len >= 6 ? load32(match + m.tail) : load16(match + m.tail);
    if (match_end != m.scan_end || load16(match) != load16(m.scan))
        return 0;
    unsigned len = match_length_from3(m.scan, match);
    if (len <= m.best_len)
        return 0;
    set_best(m, pos, len);
    return len >= (unsigned)nice_match;
}

/*
 * Settles the entry at pos, inside an earlier run of the byte in pat, and
 * the n - 1 run entries below it; the current string begins with a run of
 * scan_run bytes (258 standing for 258 or more).  Returns 1 once a match
 * reaches nice_match.
 */
static int settle_run(match_state &m, unsigned pos, unsigned n, uint64_t pat, unsigned scan_run)
{
    unsigned run = run_length_from3(window + pos, pat, scan_run < MAX_MATCH ? scan_run + 1 : MAX_MATCH);
    if (run > scan_run) {
        /* Every entry here matches exactly scan_run bytes. */
        if (scan_run <= m.best_len)
            return 0;
        set_best(m, pos, scan_run);
        return scan_run >= (unsigned)nice_match;
    }
    if (run == scan_run) /* the first entry needs the full compare, the rest match scan_run bytes */
        return consider(m, pos);

    /*
     * Entry k (from 0) matches run + k bytes until k reaches scan_run -
     * run, where the runs are equal and the bytes after them decide; the
     * entries after that match scan_run bytes.  Along the ramp each entry
     * past best_len becomes the best, so the first one that reaches
     * nice_match ends the search, and otherwise the last one is kept.
     */
    const unsigned to_equal = scan_run - run;
    const unsigned ramp = to_equal < n ? to_equal : n;
    const unsigned to_nice = (unsigned)nice_match > run ? (unsigned)nice_match - run : 0;
    if (to_nice < ramp && run + to_nice > m.best_len) {
        set_best(m, pos - to_nice, run + to_nice);
        return 1;
    }
    if (run + ramp - 1 > m.best_len)
        set_best(m, pos - (ramp - 1), run + ramp - 1);
    return to_equal < n ? consider(m, pos - to_equal) : 0;
}

/*
 * Finds the longest match for the string at strstart along the chain that
 * starts at cur_match, visiting at most max_chain_length entries (a
 * quarter of them once prev_length reaches good_match) and none further
 * back than MAX_DIST.  The first of several equally long matches, the
 * nearest, is kept in match_start; returns its length, or prev_length if
 * nothing longer was found.
 */
int longest_match(unsigned cur_match)
{
    unsigned chain_length = max_chain_length;
    const unsigned limit = strstart > MAX_DIST ? strstart - MAX_DIST : 0;
    match_state m;
    m.scan = window + strstart;
    set_length(m, prev_length);

    if (prev_length >= good_match)
        chain_length >>= 2;

    const uch *scan = m.scan;
    const uint16_t scan_start = load16(scan);
    unsigned scan_run = 0;
    uint64_t pat = 0;
    if (settle_runs && scan[0] == scan[1] && scan[1] == scan[2]) {
        pat = repeat_byte(scan[0]);
        scan_run = run_length_from3(scan, pat, MAX_MATCH);
    }

    for (;;) {
        if (scan_run != 0 && load16(window + cur_match) == scan_start) {
            /* Entries this stretch may take: the chain limit and MAX_DIST. */
            unsigned avail = cur_match > limit ? cur_match - limit : 1;
            if (avail > chain_length)
                avail = chain_length;
            const unsigned n = 1 + run_length_below(window + cur_match, pat, avail - 1);
            if (settle_run(m, cur_match, n, pat, scan_run))
                break;
            cur_match -= n - 1;
            chain_length -= n - 1;
        } else if (consider(m, cur_match)) {
            break;
        }
        cur_match = prev[cur_match & WMASK];
        if (cur_match <= limit || --chain_length == 0)
            break;
    }
    return (int)m.best_len;
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
