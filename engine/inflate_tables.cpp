/*
 * inflate_tables.cpp: the decoder's table builder and the constant tables
 * of the DEFLATE alphabets (RFC 1951).
 *
 * huft_build turns a list of code lengths into lookup tables indexed by
 * the next input bits, least significant bit first.  Codes longer than
 * the first table's width continue in sub-tables.  Every table is one
 * block with a header entry in front, whose link chains the blocks of a
 * build in the order they were made, so one walk frees them all.
 */
#include "engine/inflate.h"

#include <cstdlib>

const ush cplens[31] = {
    3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27, 31,
    35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};
const ush cplext[31] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
    3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
const ush cpdist[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const ush cpdext[30] = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const uch border[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
const ush mask_bits[17] = {
    0x0000, 0x0001, 0x0003, 0x0007, 0x000f, 0x001f, 0x003f, 0x007f, 0x00ff,
    0x01ff, 0x03ff, 0x07ff, 0x0fff, 0x1fff, 0x3fff, 0x7fff, 0xffff};

constexpr int BMAX = 16; /* longest code length, and deepest nesting */

/*
 * Allocates a table of 2^j entries behind a header entry.  Every entry
 * starts out invalid, so that no index of any table can ever hold an
 * unset entry, whatever lengths it was built from.
 */
static huft *new_table_block(unsigned entries)
{
    huft *q = static_cast<huft *>(malloc((entries + 1) * sizeof(huft)));
    if (q == nullptr)
        return nullptr;
    for (unsigned i = 0; i <= entries; i++) {
        q[i].op = HUFT_INVALID;
        q[i].bits = 0;
        q[i].link = nullptr;
    }
    return q;
}

int huft_build(const unsigned *b, unsigned n, unsigned s, const ush *d, const ush *e,
               huft **t, int *m)
{
    unsigned c[BMAX + 1] = {0}; /* number of codes of each length */
    unsigned x[BMAX + 1];       /* offsets, then saved index prefixes */
    unsigned v[HUFT_MAX_SYMBOLS]; /* symbols sorted by length */
    huft *u[BMAX];              /* table made last at each level */

    for (unsigned i = 0; i < n; i++)
        c[b[i]]++;
    if (c[0] == n) {
        *t = nullptr;
        *m = 0;
        return HUFT_COMPLETE;
    }

    /* Shortest and longest code, and the first-level width between them. */
    int k = 1;
    while (c[k] == 0)
        k++;
    int g = BMAX;
    while (c[g] == 0)
        g--;
    int l = *m;
    if (l < k)
        l = k;
    if (l > g)
        l = g;
    *m = l;

    /* Refuse over-subscribed lengths; count the patterns left over. */
    int y = 1 << k;
    for (int len = k; len < g; len++) {
        y -= (int)c[len];
        if (y < 0)
            return HUFT_OVERSUB;
        y <<= 1;
    }
    y -= (int)c[g];
    if (y < 0)
        return HUFT_OVERSUB;
    c[g] += (unsigned)y; /* missing codes: length g, no symbol */

    /* Sort the symbols by length, and by symbol within one length. */
    x[1] = 0;
    for (int len = 1; len < g; len++)
        x[len + 1] = x[len] + c[len];
    for (unsigned sym = 0; sym < n; sym++)
        if (b[sym] != 0)
            v[x[b[sym]]++] = sym;
    const unsigned nsym = x[g]; /* symbols that have a code */

    unsigned i = 0;   /* current code, bit-reversed */
    int h = -1;       /* level of the current table */
    int w = -l;       /* bits resolved by the tables above it */
    unsigned z = 0;   /* entries of the current table */
    unsigned vi = 0;  /* next symbol of v */
    huft *q = nullptr;
    huft **slot = t;  /* where the next block gets chained */
    x[0] = 0;

    for (int len = k; len <= g; len++) {
        unsigned a = c[len];
        while (a--) {
            /* Make tables down to the level that holds this code. */
            while (len > w + l) {
                h++;
                w += l;
                int zmax = g - w < l ? g - w : l;
                int j = len - w;
                unsigned f = 1u << j;
                if (f > a + 1 && j < zmax) {
                    /* Too few codes of this length to fill a j-bit table. */
                    f -= a + 1;
                    while (++j < zmax) {
                        f <<= 1;
                        if (f <= c[w + j])
                            break;
                        f -= c[w + j];
                    }
                }
                z = 1u << j;
                q = new_table_block(z);
                if (q == nullptr) {
                    if (h > 0)
                        huft_free(*t);
                    return HUFT_NOMEM;
                }
                *slot = q + 1;
                slot = &q->link;
                q->link = nullptr;
                q++;
                u[h] = q;
                if (h > 0) {
                    x[h] = i;
                    huft r;
                    r.op = (uch)(16 + j);
                    r.bits = (uch)l;
                    r.link = q;
                    u[h - 1][i >> (w - l)] = r;
                }
            }

            /* The entry of the current code. */
            huft r;
            r.bits = (uch)(len - w);
            r.link = nullptr;
            if (vi >= nsym) {
                r.op = HUFT_INVALID;
            } else {
                unsigned sym = v[vi++];
                if (sym < s) {
                    r.op = sym < 256 ? HUFT_LITERAL : HUFT_END;
                    r.value = (ush)sym;
                } else {
                    r.op = (uch)(e[sym - s] & 0xff);
                    r.value = d[sym - s];
                }
            }

            /* Fill every index whose low bits are this code. */
            for (unsigned f = 1u << (len - w), idx = i >> w; idx < z; idx += f)
                q[idx] = r;

            /* Next code in bit-reversed order. */
            unsigned bit = 1u << (len - 1);
            while (i & bit) {
                i ^= bit;
                bit >>= 1;
            }
            i ^= bit;

            /* Leave the tables whose prefix the next code no longer shares. */
            while ((i & ((1u << w) - 1)) != x[h]) {
                h--;
                w -= l;
            }
        }
    }
    return (y != 0 && g != 1) ? HUFT_INCOMPLETE : HUFT_COMPLETE;
}

int huft_free(huft *t)
{
    huft *p = t;
    while (p != nullptr) {
        huft *block = p - 1;
        p = block->link;
        free(block);
    }
    return 0;
}
