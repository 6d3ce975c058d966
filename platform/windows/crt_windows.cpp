/* crt_windows.cpp: the services of crt.h, passed straight to the Windows runtime. */
#include "../crt.h"

#include <direct.h>
#include <io.h>
#include <process.h>
#include <stdlib.h>
#include <sys/stat.h>

int os_open(const char *path, int flags, int perm) { return _open(path, flags, perm); }
int os_read(int fd, void *buf, unsigned count) { return _read(fd, buf, count); }
int os_write(int fd, const void *buf, unsigned count) { return _write(fd, buf, count); }
int os_close(int fd) { return _close(fd); }
int os_access(const char *path, int mode) { return _access(path, mode); }
int os_mkdir(const char *path) { return _mkdir(path); }
int os_chmod(const char *path, int mode) { return _chmod(path, mode); }
FILE *os_fopen(const char *path, const char *mode) { return fopen(path, mode); }
int os_system(const char *command) { return system(command); }
