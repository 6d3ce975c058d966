/*
 * deflate.h: internal interfaces of the match finder, shared by
 * deflate.cpp and the engine's own tests.
 */
#ifndef KOVRA_ENGINE_DEFLATE_H
#define KOVRA_ENGINE_DEFLATE_H

#include "engine/engine.h"

struct config {
    ush good_length; /* shorten the search above this match length */
    ush max_lazy;    /* no lazy search above this (greedy: insertion limit) */
    ush nice_length; /* stop the search at this length */
    ush max_chain;   /* most chain entries examined */
};

extern const config configuration_table[10];
extern int eofile;
extern unsigned ins_h;

int longest_match(unsigned cur_match);
void fill_window();

#endif
