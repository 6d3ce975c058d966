/* help.cpp: the entry unit of kohelp, the help viewer's launcher. */
#define KV_SCRIPT_TAIL "../src/help/help.tcl"
#include "launcher/entry.inc"
