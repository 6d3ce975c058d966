/*
 * crt.h: the runtime-library services that the engine and the installer
 * use, on native paths.
 *
 * A native path is the product's own form of a path: separators may be
 * '\' or '/', and it may start with a drive such as "C:".  On Windows the
 * routines pass straight through to the runtime library.  On POSIX hosts
 * every '\' becomes '/', and a drive prefix "X:" maps to the per-user
 * directory $HOME/.kovra/drive_x, created on demand (in the manner of
 * Wine's drive_c); other paths, absolute or relative, pass unchanged.
 */
#ifndef KOVRA_PLATFORM_CRT_H
#define KOVRA_PLATFORM_CRT_H

#include <cstddef>
#include <cstdio>
#include <fcntl.h>

#ifndef O_BINARY
#define O_BINARY 0 /* POSIX makes no text/binary difference */
#endif

/* Permission of files that the engine creates: owner may read and write. */
#ifdef _WIN32
#include <sys/stat.h>
constexpr int OS_PERM_RW = S_IREAD | S_IWRITE;
#else
constexpr int OS_PERM_RW = 0600;
#endif

/* Modes of os_access. */
constexpr int OS_EXISTS = 0;
constexpr int OS_WRITE = 2;
constexpr int OS_READ = 4;

int os_open(const char *path, int flags, int perm);
int os_read(int fd, void *buf, unsigned count);
int os_write(int fd, const void *buf, unsigned count);
int os_close(int fd);
/* 0 when the path exists and allows mode (OS_EXISTS, OS_WRITE, OS_READ), else -1. */
int os_access(const char *path, int mode);
/* Creates one directory; 0 on success, -1 (errno set) otherwise. */
int os_mkdir(const char *path);
/*
 * Sets the access mode.  POSIX applies the permission bits as given (755
 * makes a program executable); Windows keeps the runtime's meaning, where
 * only the owner-write bit (octal 200) counts and its absence makes the
 * file read-only.
 */
int os_chmod(const char *path, int mode);
FILE *os_fopen(const char *path, const char *mode);
/*
 * Runs a command of the command processor and returns its exit status,
 * or -1 when no command processor can be run.  The POSIX backend carries
 * out only "copy SRC DST" (two words, no quoting, as the Windows command
 * processor splits them): 0 when the file was copied, 1 otherwise.
 */
int os_system(const char *command);

#ifndef _WIN32
/*
 * The host path for a native path, written into out (size bytes).
 * Returns out, or nullptr (errno ENAMETOOLONG) if it does not fit.
 * create_drive makes the drive's directory exist first.
 */
char *os_host_path(const char *native, char *out, size_t size, bool create_drive);
#endif

#endif
