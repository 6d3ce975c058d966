/* edit.cpp: the entry unit of koedit, the file editor's launcher. */
#define KV_SCRIPT_TAIL "../src/edit/edit.tcl"
#include "launcher/entry.inc"
