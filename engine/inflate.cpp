/*
 * inflate.cpp: the DEFLATE block decoder (RFC 1951).
 *
 * inflate() decodes one raw stream from inbuf (through next_input_byte)
 * into the first half of window, which is both the output buffer and the
 * 32 KiB history that distances reach into; flush_window writes it out,
 * with the CRC, each time it fills.  Each block builds its own decoding
 * tables and frees them before its routine returns.
 *
 * The block routines work on local copies of the bit buffer (bb, bk) and
 * of the write position (outcnt) and store them back when a block ends.
 */
#include "engine/inflate.h"

#include <cstring>

ulg bb = 0;
unsigned bk = 0;
int lbits = 9;
int dbits = 6;

/* Results of the block routines, besides 0 and the huft_build codes. */
constexpr int BAD_DATA = 1;
constexpr int BAD_BLOCK_TYPE = 2;

/* Bit buffer steps on the local copies b and k. */
#define NEEDBITS(n)                                     \
    do {                                                \
        while (k < (unsigned)(n)) {                     \
            b |= (ulg)next_input_byte() << k;           \
            k += 8;                                     \
        }                                               \
    } while (0)
#define DUMPBITS(n)        \
    do {                   \
        b >>= (n);         \
        k -= (n);          \
    } while (0)

/*
 * Follows links from entry t until a symbol entry, consuming the bits of
 * each link, and leaves its op in e.  An invalid bit pattern makes the
 * enclosing routine return BAD_DATA.
 */
#define RESOLVE(t, e)                                   \
    do {                                                \
        while ((e = (t)->op) > HUFT_LITERAL) {          \
            if (e == HUFT_INVALID)                      \
                return BAD_DATA;                        \
            DUMPBITS((t)->bits);                        \
            e -= 16;                                    \
            NEEDBITS(e);                                \
            t = (t)->link + (b & mask_bits[e]);         \
        }                                               \
    } while (0)

/*
 * Copies a match of n bytes from distance back into the window at w,
 * in segments that stop at the end of the window; flushes when it fills.
 * A segment whose source lies wholly behind its destination, or ahead of
 * it, is moved as a block; otherwise the bytes are copied one by one so
 * that a short distance repeats what was just written.
 */
static unsigned copy_match(unsigned w, unsigned d, unsigned n)
{
    do {
        d &= WSIZE - 1;
        unsigned seg = WSIZE - (d > w ? d : w);
        if (seg > n)
            seg = n;
        n -= seg;
        if (w - d >= seg) {
            memmove(window + w, window + d, seg);
            w += seg;
            d += seg;
        } else {
            uch *to = window + w;
            const uch *from = window + d;
            w += seg;
            d += seg;
            do {
                *to++ = *from++;
            } while (--seg);
        }
        if (w == WSIZE) {
            outcnt = w;
            flush_window();
            w = 0;
        }
    } while (n);
    return w;
}

int inflate_codes(huft *tl, huft *td, int bl, int bd)
{
    ulg b = bb;
    unsigned k = bk;
    unsigned w = outcnt;
    const unsigned ml = mask_bits[bl];
    const unsigned md = mask_bits[bd];

    for (;;) {
        NEEDBITS(bl);
        huft *t = tl + (b & ml);
        unsigned e;
        RESOLVE(t, e);
        DUMPBITS(t->bits);

        if (e == HUFT_LITERAL) {
            window[w++] = (uch)t->value;
            if (w == WSIZE) {
                outcnt = w;
                flush_window();
                w = 0;
            }
            continue;
        }
        if (e == HUFT_END)
            break;

        /* A length, then its distance. */
        NEEDBITS(e);
        unsigned n = t->value + ((unsigned)b & mask_bits[e]);
        DUMPBITS(e);

        /* A block whose distance code is empty may hold literals only. */
        if (td == nullptr)
            return BAD_DATA;
        NEEDBITS(bd);
        t = td + (b & md);
        RESOLVE(t, e);
        DUMPBITS(t->bits);
        NEEDBITS(e);
        unsigned d = w - t->value - ((unsigned)b & mask_bits[e]);
        DUMPBITS(e);

        w = copy_match(w, d, n);
    }

    outcnt = w;
    bb = b;
    bk = k;
    return 0;
}

int inflate_stored()
{
    ulg b = bb;
    unsigned k = bk;
    unsigned w = outcnt;

    /* Go to a byte boundary: the bits at hand come from whole bytes. */
    unsigned n = k & 7;
    DUMPBITS(n);

    NEEDBITS(16);
    n = (unsigned)b & 0xffff;
    DUMPBITS(16);
    NEEDBITS(16);
    if (n != ((~(unsigned)b) & 0xffff))
        return BAD_DATA;
    DUMPBITS(16);

    /*
     * The data: first the whole bytes still in the bit buffer, then
     * straight from inbuf in runs, refilling it when it runs out.
     */
    while (n) {
        unsigned run;
        if (k >= 8) {
            window[w] = (uch)b;
            DUMPBITS(8);
            run = 1;
        } else if (inptr < insize) {
            run = insize - inptr;
            if (run > n)
                run = n;
            if (run > WSIZE - w)
                run = WSIZE - w;
            memcpy(window + w, inbuf + inptr, run);
            inptr += run;
        } else {
            window[w] = (uch)fill_inbuf(0);
            run = 1;
        }
        w += run;
        n -= run;
        if (w == WSIZE) {
            outcnt = w;
            flush_window();
            w = 0;
        }
    }

    outcnt = w;
    bb = b;
    bk = k;
    return 0;
}

int inflate_fixed()
{
    unsigned l[HUFT_MAX_SYMBOLS];
    unsigned i = 0;
    for (; i < 144; i++)
        l[i] = 8;
    for (; i < 256; i++)
        l[i] = 9;
    for (; i < 280; i++)
        l[i] = 7;
    for (; i < 288; i++)
        l[i] = 8;
    huft *tl;
    int bl = 7;
    int r = huft_build(l, 288, 257, cplens, cplext, &tl, &bl);
    if (r != 0)
        return r;

    for (i = 0; i < 30; i++)
        l[i] = 5;
    huft *td;
    int bd = 5;
    r = huft_build(l, 30, 0, cpdist, cpdext, &td, &bd);
    if (r > HUFT_INCOMPLETE) {
        huft_free(tl);
        return r;
    }

    r = inflate_codes(tl, td, bl, bd);
    huft_free(tl);
    huft_free(td);
    return r != 0 ? BAD_DATA : 0;
}

int inflate_dynamic()
{
    unsigned ll[286 + 30]; /* literal/length and distance code lengths */
    ulg b = bb;
    unsigned k = bk;

    NEEDBITS(5);
    const unsigned nl = 257 + ((unsigned)b & 0x1f);
    DUMPBITS(5);
    NEEDBITS(5);
    const unsigned nd = 1 + ((unsigned)b & 0x1f);
    DUMPBITS(5);
    NEEDBITS(4);
    const unsigned nb = 4 + ((unsigned)b & 0xf);
    DUMPBITS(4);
    if (nl > 286 || nd > 30)
        return BAD_DATA;

    /* The code-length code. */
    unsigned j = 0;
    for (; j < nb; j++) {
        NEEDBITS(3);
        ll[border[j]] = (unsigned)b & 7;
        DUMPBITS(3);
    }
    for (; j < 19; j++)
        ll[border[j]] = 0;
    huft *tl;
    int bl = 7;
    int r = huft_build(ll, 19, 19, nullptr, nullptr, &tl, &bl);
    if (r == HUFT_INCOMPLETE) {
        huft_free(tl);
        return BAD_DATA;
    }
    if (r != 0)
        return r;
    /* All 19 lengths zero: there is no code to read the lengths with. */
    if (tl == nullptr)
        return BAD_DATA;

    /*
     * The literal/length and distance lengths, as one sequence, so that a
     * repeat may run from the one into the other.
     */
    const unsigned total = nl + nd;
    const unsigned m = mask_bits[bl];
    unsigned i = 0;
    unsigned last_len = 0;
    while (i < total) {
        NEEDBITS(bl);
        const huft *t = tl + (b & m);
        /* The unused pattern of a one-code code-length code is no symbol. */
        if (t->op == HUFT_INVALID) {
            huft_free(tl);
            return BAD_DATA;
        }
        DUMPBITS(t->bits);
        const unsigned sym = t->value;
        if (sym < 16) {
            ll[i++] = last_len = sym;
            continue;
        }
        unsigned count, len;
        if (sym == 16) {
            NEEDBITS(2);
            count = 3 + ((unsigned)b & 3);
            DUMPBITS(2);
            len = last_len;
        } else if (sym == 17) {
            NEEDBITS(3);
            count = 3 + ((unsigned)b & 7);
            DUMPBITS(3);
            len = last_len = 0;
        } else {
            NEEDBITS(7);
            count = 11 + ((unsigned)b & 0x7f);
            DUMPBITS(7);
            len = last_len = 0;
        }
        if (i + count > total) {
            huft_free(tl);
            return BAD_DATA;
        }
        while (count--)
            ll[i++] = len;
    }
    huft_free(tl);
    bb = b;
    bk = k;

    bl = lbits;
    r = huft_build(ll, nl, 257, cplens, cplext, &tl, &bl);
    if (r != 0) {
        if (r == HUFT_INCOMPLETE) {
            fprintf(stderr, " incomplete literal tree\n");
            huft_free(tl);
            return BAD_DATA;
        }
        return r;
    }
    /* No literal/length code at all: not even the end of the block. */
    if (tl == nullptr)
        return BAD_DATA;

    huft *td;
    int bd = dbits;
    r = huft_build(ll + nl, nd, 0, cpdist, cpdext, &td, &bd);
    if (r != 0) {
        if (r == HUFT_INCOMPLETE) {
            fprintf(stderr, " incomplete distance tree\n");
            huft_free(td);
        }
        huft_free(tl);
        return r == HUFT_INCOMPLETE ? BAD_DATA : r;
    }

    r = inflate_codes(tl, td, bl, bd);
    huft_free(tl);
    huft_free(td);
    return r != 0 ? BAD_DATA : 0;
}

int inflate_block(int *last)
{
    ulg b = bb;
    unsigned k = bk;

    NEEDBITS(1);
    *last = (int)(b & 1);
    DUMPBITS(1);
    NEEDBITS(2);
    const unsigned type = (unsigned)b & 3;
    DUMPBITS(2);
    bb = b;
    bk = k;

    switch (type) {
    case 0:
        return inflate_stored();
    case 1:
        return inflate_fixed();
    case 2:
        return inflate_dynamic();
    default:
        return BAD_BLOCK_TYPE;
    }
}

int inflate()
{
    outcnt = 0;
    bk = 0;
    bb = 0;

    int last;
    do {
        int r = inflate_block(&last);
        if (r != 0)
            return r;
    } while (!last);

    /*
     * Give back the whole bytes of look-ahead.  At most 15 bits remain, so
     * at most the byte just taken goes back, and it is always inbuf[inptr-1].
     */
    while (bk >= 8) {
        bk -= 8;
        inptr--;
    }
    flush_window();
    return 0;
}
