/*
 * instfct.h: the installer's utility unit.
 *
 * The readers of the install list, the small path, directory and file
 * routines of the installer, and the packaging routines that produce a
 * distribution's gzip files.  Paths are byte strings built with '/'; each
 * routine that hands a path to the system or to the engine first turns it
 * into native form ('\' separators) in place.
 */
#ifndef KOVRA_INSTALLER_INSTFCT_H
#define KOVRA_INSTALLER_INSTFCT_H

#include <cstdio>

/* Size of the shared scratch buffer and of the installer's path buffers. */
constexpr int BUF_SIZE = 256;
/* Longest path the installer composes: it must fit a 256-byte buffer. */
constexpr int PATH_MAX_CHARS = BUF_SIZE - 1;
/* Size of the list buffer, which holds names read from the list. */
constexpr int LIST_BUF_SIZE = 512;

/*
 * Scratch buffer shared by the routines of this unit: FindExec's program
 * path, the mode field of a list record, FileCopy's command.  Its content
 * is not kept from one call to the next.
 */
extern char buf[BUF_SIZE];

/*
 * Install list readers.  Each reads on to the next directory ('D') or file
 * ('F') record, stores its name (cut to size - 1 characters) and its mode,
 * and returns 1; 0 at the end of the list.  A mode field without an octal
 * digit leaves *mode as it was.
 */
int GetNextDir(FILE *list, char *name, int size, int *mode);
int GetNextFile(FILE *list, char *name, int size, int *mode);

/* Heap copy of the running program's full path, or null. */
char *FindExec();
/* Turns every '/' of path into '\'. */
void NativeName(char *path);
/* 1 if path exists and may be written (path made native first). */
int TestDirWrite(char *path);
/* Creates every missing directory along path; 1 if it is then writable. */
int MakeComposedDir(char *path);
/* Uncompresses the gzip file src into dst: 0, or 2 when dst was replaced. */
int FileUnCompress(char *src, char *dst);
/* Reports msg on the standard error stream, waits for a key, exits 1. */
[[noreturn]] void FatalError(const char *msg);

/* Compresses src into the gzip file dst: 0, or 2 when dst was replaced. */
int FileCompress(char *src, char *dst);
/* Copies src to dst with the command processor; its exit status. */
int FileCopy(char *src, char *dst);
/* 1 if path exists and may be read (path made native first). */
int TestFileRead(char *path);

/*
 * Checks a name read from the install list: 1 if it is a relative path
 * that stays inside the tree it is joined to (no leading separator, no
 * drive, no ".." component), else 0.
 */
int SafeListName(const char *name);

#endif
