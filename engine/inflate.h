/*
 * inflate.h: the DEFLATE decoder's internal interface: table entries, the
 * table builder, the constant alphabets and the bit buffer.
 *
 * Only the units of the decoder (inflate_tables.cpp, inflate.cpp) and
 * their tests include this; the rest of the engine calls inflate() from
 * engine.h.
 */
#ifndef KOVRA_ENGINE_INFLATE_H
#define KOVRA_ENGINE_INFLATE_H

#include "engine/engine.h"

/*
 * One entry of a decoding table.  op says what the entry is:
 *   0..13   a length or distance base in value, op extra bits follow
 *   15      end of block (value 256)
 *   16      a plain symbol in value (literal byte or code-length symbol)
 *   17..32  a link: the code goes on in the sub-table link, op - 16 bits wide
 *   99      an invalid bit pattern; value and link mean nothing
 * bits is the number of input bits that the entry accounts for at its level.
 */
struct huft {
    uch op;
    uch bits;
    union {
        ush value;
        struct huft *link;
    };
};

constexpr uch HUFT_LITERAL = 16;
constexpr uch HUFT_END = 15;
constexpr uch HUFT_INVALID = 99;

/* Results of huft_build. */
constexpr int HUFT_COMPLETE = 0;   /* complete, empty, or a single 1-bit code */
constexpr int HUFT_INCOMPLETE = 1; /* built, with invalid entries for missing codes */
constexpr int HUFT_OVERSUB = 2;    /* more codes than bit patterns: nothing built */
constexpr int HUFT_NOMEM = 3;      /* out of memory: nothing left allocated */

/* Largest number of symbols of one code (the fixed literal/length code). */
constexpr unsigned HUFT_MAX_SYMBOLS = 288;

int huft_build(const unsigned *b, unsigned n, unsigned s, const ush *d, const ush *e,
               huft **t, int *m);
int huft_free(huft *t);

/* The constant tables of the DEFLATE alphabets. */
extern const ush cplens[31];   /* base lengths of symbols 257..287 */
extern const ush cplext[31];   /* their extra bits; 99 for 286, 287 */
extern const ush cpdist[30];   /* base distances of symbols 0..29 */
extern const ush cpdext[30];   /* their extra bits */
extern const uch border[19];   /* order of the code-length code's lengths */
extern const ush mask_bits[17]; /* mask_bits[n] = 2^n - 1 */

/* The bit buffer: bits not used yet, the next one in bit 0, and their count. */
extern ulg bb;
extern unsigned bk;

/* Requested first-level widths of a dynamic block's tables. */
extern int lbits;
extern int dbits;

int inflate_codes(huft *tl, huft *td, int bl, int bd);
int inflate_stored();
int inflate_fixed();
int inflate_dynamic();
int inflate_block(int *last);

#endif
