/*
 * trees.cpp: Huffman trees and block emission.  Counts the literals and
 * matches of a block, builds length-limited canonical codes for it and
 * writes it as a stored, fixed or dynamic DEFLATE block, whichever the
 * size estimate prefers.
 */
#include "engine/trees.h"

constexpr int MAX_BITS = 15;
constexpr int MAX_BL_BITS = 7;
constexpr int END_BLOCK = 256;
constexpr int LITERALS = 256;
constexpr int LENGTH_CODES = 29;
constexpr int REP_3_6 = 16;
constexpr int REPZ_3_10 = 17;
constexpr int REPZ_11_138 = 18;

static constexpr int extra_lbits[LENGTH_CODES] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
static constexpr int extra_dbits[D_CODES] = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
static constexpr int extra_blbits[BL_CODES] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
static constexpr uch bl_order[BL_CODES] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

ct_data dyn_ltree[HEAP_SIZE];
ct_data dyn_dtree[2 * D_CODES + 1];
ct_data bl_tree[2 * BL_CODES + 1];
ct_data static_ltree[L_CODES + 2];
ct_data static_dtree[D_CODES];

struct tree_desc {
    ct_data *dyn_tree;
    const ct_data *static_tree;
    const int *extra_bits;
    int extra_base;
    int elems;
    int max_length;
    int max_code;
};

static tree_desc l_desc = {dyn_ltree, static_ltree, extra_lbits, LITERALS + 1, L_CODES, MAX_BITS, 0};
static tree_desc d_desc = {dyn_dtree, static_dtree, extra_dbits, 0, D_CODES, MAX_BITS, 0};
static tree_desc bl_desc = {bl_tree, nullptr, extra_blbits, 0, BL_CODES, MAX_BL_BITS, 0};

static ush bl_count[MAX_BITS + 1];
static int heap[HEAP_SIZE];
static int heap_len;
static int heap_max;
static uch depth[HEAP_SIZE];

static uch length_code[256];
static uch dist_code[512];
static int base_length[LENGTH_CODES];
static int base_dist[D_CODES];

/* The literal buffer is the start of inbuf, free while compressing. */
static uch *const l_buf = inbuf;
static_assert(LIT_BUFSIZE - 1 <= INBUFSIZ, "literal buffer fits in inbuf");
static uch flag_buf[LIT_BUFSIZE / 8];
unsigned last_lit;
unsigned last_dist;
static unsigned last_flags;
static uch flags;
static uch flag_bit;
static ulg opt_len;
static ulg static_len;

static inline unsigned d_code(unsigned dist)
{
    return dist < 256 ? dist_code[dist] : dist_code[256 + (dist >> 7)];
}

static inline void send_code(int c, const ct_data *tree)
{
    send_bits(tree[c].fc, tree[c].dl);
}

static void init_block()
{
    for (int n = 0; n < L_CODES; n++)
        dyn_ltree[n].fc = 0;
    for (int n = 0; n < D_CODES; n++)
        dyn_dtree[n].fc = 0;
    for (int n = 0; n < BL_CODES; n++)
        bl_tree[n].fc = 0;
    dyn_ltree[END_BLOCK].fc = 1;
    opt_len = static_len = 0;
    last_lit = last_dist = last_flags = 0;
    flags = 0;
    flag_bit = 1;
}

/* Canonical codes from the lengths in tree and the counts in bl_count. */
static void gen_codes(ct_data *tree, int max_code)
{
    ush next_code[MAX_BITS + 1];
    ush code = 0;
    for (int bits = 1; bits <= MAX_BITS; bits++)
        next_code[bits] = code = (ush)((code + bl_count[bits - 1]) << 1);
    for (int n = 0; n <= max_code; n++) {
        int len = tree[n].dl;
        if (len == 0)
            continue;
        tree[n].fc = (ush)bi_reverse(next_code[len]++, len);
    }
}

void ct_init()
{
    if (static_dtree[0].dl != 0)
        return; /* tables built by an earlier member; block already reset */

    int length = 0, code;
    for (code = 0; code < LENGTH_CODES - 1; code++) {
        base_length[code] = length;
        for (int n = 0; n < (1 << extra_lbits[code]); n++)
            length_code[length++] = (uch)code;
    }
    /* A match of 258 bytes uses the last length code, 285. */
    length_code[length - 1] = (uch)code;

    int dist = 0;
    for (code = 0; code < 16; code++) {
        base_dist[code] = dist;
        for (int n = 0; n < (1 << extra_dbits[code]); n++)
            dist_code[dist++] = (uch)code;
    }
    dist >>= 7;
    for (; code < D_CODES; code++) {
        base_dist[code] = dist << 7;
        for (int n = 0; n < (1 << (extra_dbits[code] - 7)); n++)
            dist_code[256 + dist++] = (uch)code;
    }

    for (int bits = 0; bits <= MAX_BITS; bits++)
        bl_count[bits] = 0;
    int n = 0;
    while (n <= 143) static_ltree[n++].dl = 8, bl_count[8]++;
    while (n <= 255) static_ltree[n++].dl = 9, bl_count[9]++;
    while (n <= 279) static_ltree[n++].dl = 7, bl_count[7]++;
    while (n <= 287) static_ltree[n++].dl = 8, bl_count[8]++;
    gen_codes(static_ltree, L_CODES + 1);

    for (n = 0; n < D_CODES; n++) {
        static_dtree[n].dl = 5;
        static_dtree[n].fc = (ush)bi_reverse((unsigned)n, 5);
    }
    init_block();
}

/* Node a sorts before b: smaller frequency, then smaller or equal depth. */
static inline bool smaller(const ct_data *tree, int a, int b)
{
    return tree[a].fc < tree[b].fc || (tree[a].fc == tree[b].fc && depth[a] <= depth[b]);
}

static void pqdownheap(const ct_data *tree, int k)
{
    int v = heap[k];
    int j = k << 1;
    while (j <= heap_len) {
        if (j < heap_len && smaller(tree, heap[j + 1], heap[j]))
            j++;
        if (smaller(tree, v, heap[j]))
            break;
        heap[k] = heap[j];
        k = j;
        j <<= 1;
    }
    heap[k] = v;
}

/* Code lengths from the finished tree, limited to max_length. */
static void gen_bitlen(tree_desc *desc)
{
    ct_data *tree = desc->dyn_tree;
    const ct_data *stree = desc->static_tree;
    const int max_code = desc->max_code;
    const int max_length = desc->max_length;
    int overflow = 0;
    int h;

    for (int bits = 0; bits <= MAX_BITS; bits++)
        bl_count[bits] = 0;
    tree[heap[heap_max]].dl = 0; /* the root */

    for (h = heap_max + 1; h < HEAP_SIZE; h++) {
        int n = heap[h];
        int bits = tree[tree[n].dl].dl + 1;
        if (bits > max_length)
            bits = max_length, overflow++;
        tree[n].dl = (ush)bits;
        if (n > max_code)
            continue; /* internal node */
        bl_count[bits]++;
        int xbits = n >= desc->extra_base ? desc->extra_bits[n - desc->extra_base] : 0;
        ulg f = tree[n].fc;
        opt_len += f * (ulg)(bits + xbits);
        if (stree)
            static_len += f * (ulg)(stree[n].dl + xbits);
    }
    if (overflow == 0)
        return;

    /* Move overflowing leaves up: a shorter leaf becomes the parent of two. */
    do {
        int bits = max_length - 1;
        while (bl_count[bits] == 0)
            bits--;
        bl_count[bits]--;
        bl_count[bits + 1] += 2;
        bl_count[max_length]--;
        overflow -= 2;
    } while (overflow > 0);

    /* Deal the lengths out again, longest first, in frequency order. */
    for (int bits = max_length; bits != 0; bits--) {
        int n = bl_count[bits];
        while (n != 0) {
            int m = heap[--h];
            if (m > max_code)
                continue;
            if (tree[m].dl != (unsigned)bits) {
                opt_len += (ulg)(((long)bits - (long)tree[m].dl) * (long)tree[m].fc);
                tree[m].dl = (ush)bits;
            }
            n--;
        }
    }
}

static void build_tree(tree_desc *desc)
{
    ct_data *tree = desc->dyn_tree;
    const ct_data *stree = desc->static_tree;
    const int elems = desc->elems;
    int max_code = -1;
    int node = elems;

    heap_len = 0;
    heap_max = HEAP_SIZE;
    for (int n = 0; n < elems; n++) {
        if (tree[n].fc != 0) {
            heap[++heap_len] = max_code = n;
            depth[n] = 0;
        } else {
            tree[n].dl = 0;
        }
    }
    /* Every tree gets at least two codes; the forced ones cost nothing. */
    while (heap_len < 2) {
        int nw = heap[++heap_len] = (max_code < 2 ? ++max_code : 0);
        tree[nw].fc = 1;
        depth[nw] = 0;
        opt_len--;
        if (stree)
            static_len -= stree[nw].dl;
    }
    desc->max_code = max_code;

    for (int n = heap_len / 2; n >= 1; n--)
        pqdownheap(tree, n);

    do {
        int n = heap[1];
        heap[1] = heap[heap_len--];
        pqdownheap(tree, 1);
        int m = heap[1];
        heap[--heap_max] = n;
        heap[--heap_max] = m;
        tree[node].fc = (ush)(tree[n].fc + tree[m].fc);
        depth[node] = (uch)((depth[n] >= depth[m] ? depth[n] : depth[m]) + 1);
        tree[n].dl = tree[m].dl = (ush)node;
        heap[1] = node++;
        pqdownheap(tree, 1);
    } while (heap_len >= 2);
    heap[--heap_max] = heap[1];

    gen_bitlen(desc);
    gen_codes(tree, max_code);
}

/* Counts in bl_tree the code length codes that send_tree will send. */
void scan_tree(ct_data *tree, int max_code)
{
    int prevlen = -1;
    int nextlen = tree[0].dl;
    int count = 0;
    int max_count = 7, min_count = 4;
    if (nextlen == 0)
        max_count = 138, min_count = 3;
    tree[max_code + 1].dl = 0xffff; /* guard */

    for (int n = 0; n <= max_code; n++) {
        int curlen = nextlen;
        nextlen = tree[n + 1].dl;
        if (++count < max_count && curlen == nextlen)
            continue;
        if (count < min_count)
            bl_tree[curlen].fc = (ush)(bl_tree[curlen].fc + count);
        else if (curlen != 0) {
            if (curlen != prevlen)
                bl_tree[curlen].fc++;
            bl_tree[REP_3_6].fc++;
        } else if (count <= 10)
            bl_tree[REPZ_3_10].fc++;
        else
            bl_tree[REPZ_11_138].fc++;
        count = 0;
        prevlen = curlen;
        if (nextlen == 0)
            max_count = 138, min_count = 3;
        else if (curlen == nextlen)
            max_count = 6, min_count = 3;
        else
            max_count = 7, min_count = 4;
    }
}

/* Sends the lengths of tree in run-length form; scan_tree set the guard. */
void send_tree(ct_data *tree, int max_code)
{
    int prevlen = -1;
    int nextlen = tree[0].dl;
    int count = 0;
    int max_count = 7, min_count = 4;
    if (nextlen == 0)
        max_count = 138, min_count = 3;

    for (int n = 0; n <= max_code; n++) {
        int curlen = nextlen;
        nextlen = tree[n + 1].dl;
        if (++count < max_count && curlen == nextlen)
            continue;
        if (count < min_count) {
            do
                send_code(curlen, bl_tree);
            while (--count != 0);
        } else if (curlen != 0) {
            if (curlen != prevlen) {
                send_code(curlen, bl_tree);
                count--;
            }
            send_code(REP_3_6, bl_tree);
            send_bits(count - 3, 2);
        } else if (count <= 10) {
            send_code(REPZ_3_10, bl_tree);
            send_bits(count - 3, 3);
        } else {
            send_code(REPZ_11_138, bl_tree);
            send_bits(count - 11, 7);
        }
        count = 0;
        prevlen = curlen;
        if (nextlen == 0)
            max_count = 138, min_count = 3;
        else if (curlen == nextlen)
            max_count = 6, min_count = 3;
        else
            max_count = 7, min_count = 4;
    }
}

static void compress_block(const ct_data *ltree, const ct_data *dtree)
{
    unsigned lx = 0, dx = 0, fx = 0;
    uch flag = 0;
    while (lx < last_lit) {
        if ((lx & 7) == 0)
            flag = flag_buf[fx++];
        int lc = l_buf[lx++];
        if ((flag & 1) == 0) {
            send_code(lc, ltree);
        } else {
            unsigned code = length_code[lc];
            send_code((int)code + LITERALS + 1, ltree);
            if (extra_lbits[code] != 0)
                send_bits(lc - base_length[code], extra_lbits[code]);
            unsigned dist = d_buf[dx++];
            code = d_code(dist);
            send_code((int)code, dtree);
            if (extra_dbits[code] != 0)
                send_bits((int)(dist - (unsigned)base_dist[code]), extra_dbits[code]);
        }
        flag >>= 1;
    }
    send_code(END_BLOCK, ltree);
}

int ct_tally(int dist, int lc)
{
    l_buf[last_lit++] = (uch)lc;
    if (dist == 0) {
        dyn_ltree[lc].fc++;
    } else {
        dist--;
        dyn_ltree[length_code[lc] + LITERALS + 1].fc++;
        dyn_dtree[d_code((unsigned)dist)].fc++;
        d_buf[last_dist++] = (ush)dist;
        flags |= flag_bit;
    }
    flag_bit = (uch)(flag_bit << 1);
    if ((last_lit & 7) == 0) {
        flag_buf[last_flags++] = flags;
        flags = 0;
        flag_bit = 1;
    }
    /* Every 4096 tallies: end the block early if it already packs well. */
    if (level > 2 && (last_lit & 0xfff) == 0) {
        ulg out_length = (ulg)last_lit * 8;
        ulg in_length = (ulg)((long)strstart - block_start);
        for (int dcode = 0; dcode < D_CODES; dcode++)
            out_length += (ulg)dyn_dtree[dcode].fc * (ulg)(5 + extra_dbits[dcode]);
        out_length >>= 3;
        if (last_dist < last_lit / 2 && out_length < in_length / 2)
            return 1;
    }
    return last_lit == LIT_BUFSIZE - 1 || last_dist == DIST_BUFSIZE;
}

static void send_all_trees(int lcodes, int dcodes, int blcodes)
{
    send_bits(lcodes - 257, 5);
    send_bits(dcodes - 1, 5);
    send_bits(blcodes - 4, 4);
    for (int rank = 0; rank < blcodes; rank++)
        send_bits(bl_tree[bl_order[rank]].dl, 3);
    send_tree(dyn_ltree, lcodes - 1);
    send_tree(dyn_dtree, dcodes - 1);
}

void flush_block(const char *buf, ulg stored_len, int eof)
{
    flag_buf[last_flags] = flags; /* save the partial flag byte */

    build_tree(&l_desc);
    build_tree(&d_desc);

    scan_tree(dyn_ltree, l_desc.max_code);
    scan_tree(dyn_dtree, d_desc.max_code);
    build_tree(&bl_desc);
    int max_blindex;
    for (max_blindex = BL_CODES - 1; max_blindex >= 3; max_blindex--)
        if (bl_tree[bl_order[max_blindex]].dl != 0)
            break;
    opt_len += 3 * ((ulg)max_blindex + 1) + 5 + 5 + 4;

    ulg opt_lenb = (opt_len + 3 + 7) >> 3;
    ulg static_lenb = (static_len + 3 + 7) >> 3;
    if (static_lenb <= opt_lenb)
        opt_lenb = static_lenb;

    if (stored_len + 4 <= opt_lenb && buf != nullptr) {
        send_bits(eof, 3);
        copy_block(buf, (unsigned)stored_len, 1);
    } else if (static_lenb == opt_lenb) {
        send_bits(2 + eof, 3);
        compress_block(static_ltree, static_dtree);
    } else {
        send_bits(4 + eof, 3);
        send_all_trees(l_desc.max_code + 1, d_desc.max_code + 1, max_blindex + 1);
        compress_block(dyn_ltree, dyn_dtree);
    }
    init_block();
    if (eof)
        bi_windup();
}
