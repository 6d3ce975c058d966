/*
 * trees.h: internal interfaces of the compressor's back end, shared by
 * bits.cpp, trees.cpp and the engine's own tests.
 */
#ifndef KOVRA_ENGINE_TREES_H
#define KOVRA_ENGINE_TREES_H

#include "engine/engine.h"

/* Bit writer state (bits.cpp). */
extern ush bi_buf;   /* accumulator, oldest bit in bit 0 */
extern int bi_valid; /* valid bits in bi_buf, 0 to 16 */

/*
 * One tree element: fc is the frequency while counting, the bit-reversed
 * code after build_tree; dl is the parent while building, the code length
 * afterwards.
 */
struct ct_data {
    ush fc;
    ush dl;
};

constexpr int L_CODES = 286;
constexpr int D_CODES = 30;
constexpr int BL_CODES = 19;
constexpr int HEAP_SIZE = 2 * L_CODES + 1;
constexpr unsigned LIT_BUFSIZE = 0x8000;

extern ct_data dyn_ltree[HEAP_SIZE];
extern ct_data dyn_dtree[2 * D_CODES + 1];
extern ct_data bl_tree[2 * BL_CODES + 1];
extern ct_data static_ltree[L_CODES + 2];
extern ct_data static_dtree[D_CODES];
extern unsigned last_lit, last_dist;

void scan_tree(ct_data *tree, int max_code);
void send_tree(ct_data *tree, int max_code);

#endif
