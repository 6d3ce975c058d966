/*
 * crt_posix.cpp: the runtime-library services of crt.h on a POSIX host.
 *
 * Each routine maps its native path to a host path (os_host_path) and
 * calls the POSIX function of the same meaning.
 */
#include "../crt.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

/* The user's home: $HOME, else the password database's entry. */
static const char *home_dir()
{
    const char *home = getenv("HOME");
    if (home && *home)
        return home;
    const struct passwd *pw = getpwuid(getuid());
    return pw && pw->pw_dir ? pw->pw_dir : "/tmp";
}

/* Creates dir and its parents; existing ones are passed over. */
static void make_dirs(char *dir)
{
    for (char *p = dir + 1; *p; p++) {
        if (*p != '/')
            continue;
        *p = '\0';
        mkdir(dir, 0755);
        *p = '/';
    }
    mkdir(dir, 0755);
}

char *os_host_path(const char *native, char *out, size_t size, bool create_drive)
{
    size_t n = 0;
    const char *rest = native;
    bool drive = ((native[0] >= 'A' && native[0] <= 'Z') || (native[0] >= 'a' && native[0] <= 'z'))
                 && native[1] == ':';
    if (drive) {
        char letter = (char)(native[0] | 0x20);
        int len = snprintf(out, size, "%s/.kovra/drive_%c", home_dir(), letter);
        if (len < 0 || (size_t)len >= size) {
            errno = ENAMETOOLONG;
            return nullptr;
        }
        if (create_drive)
            make_dirs(out);
        n = (size_t)len;
        rest = native + 2;
        /* "C:" and "C:x" both name places under the drive's root. */
        if (*rest != '\\' && *rest != '/') {
            if (n + 1 >= size) {
                errno = ENAMETOOLONG;
                return nullptr;
            }
            out[n++] = '/';
        }
    }
    for (; *rest; rest++) {
        if (n + 1 >= size) {
            errno = ENAMETOOLONG;
            return nullptr;
        }
        out[n++] = *rest == '\\' ? '/' : *rest;
    }
    out[n] = '\0';
    return out;
}

/* Host paths may be longer than native ones by the drive's directory. */
enum { HOST_PATH_MAX = 4096 };

#define HOST_PATH(var, native, create)                                   \
    char var[HOST_PATH_MAX];                                             \
    if (!os_host_path((native), var, sizeof var, (create)))              \
        return -1

int os_open(const char *path, int flags, int perm)
{
    HOST_PATH(host, path, (flags & O_CREAT) != 0);
    return open(host, flags, perm);
}

int os_read(int fd, void *buf, unsigned count)
{
    return (int)read(fd, buf, count);
}

int os_write(int fd, const void *buf, unsigned count)
{
    return (int)write(fd, buf, count);
}

int os_close(int fd)
{
    return close(fd);
}

int os_access(const char *path, int mode)
{
    HOST_PATH(host, path, false);
    int how = F_OK;
    if (mode & OS_WRITE)
        how |= W_OK;
    if (mode & OS_READ)
        how |= R_OK;
    return access(host, how);
}

int os_mkdir(const char *path)
{
    HOST_PATH(host, path, true);
    return mkdir(host, 0777);
}

int os_chmod(const char *path, int mode)
{
    HOST_PATH(host, path, false);
    return chmod(host, (mode_t)(mode & 07777));
}

FILE *os_fopen(const char *path, const char *mode)
{
    char host[HOST_PATH_MAX];
    if (!os_host_path(path, host, sizeof host, strchr(mode, 'w') || strchr(mode, 'a')))
        return nullptr;
    return fopen(host, mode);
}

/* Copies src to dst (both native); 0 on success, 1 on failure. */
static int copy_file(const char *src, const char *dst)
{
    int in = os_open(src, O_RDONLY, 0);
    if (in < 0) {
        perror(src);
        return 1;
    }
    struct stat st;
    int perm = fstat(in, &st) == 0 ? (int)(st.st_mode & 0777) : 0644;
    int out = os_open(dst, O_WRONLY | O_CREAT | O_TRUNC, perm);
    if (out < 0) {
        perror(dst);
        close(in);
        return 1;
    }
    char chunk[65536];
    int status = 0;
    for (;;) {
        ssize_t n = read(in, chunk, sizeof chunk);
        if (n == 0)
            break;
        if (n < 0) {
            perror(src);
            status = 1;
            break;
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(out, chunk + done, (size_t)(n - done));
            if (w < 0) {
                perror(dst);
                status = 1;
                break;
            }
            done += w;
        }
        if (status)
            break;
    }
    close(in);
    if (close(out) != 0 && status == 0) {
        perror(dst);
        status = 1;
    }
    return status;
}

int os_system(const char *command)
{
    if (!command)
        return 1; /* a command processor is available */
    /* Split into words at blanks, as the command processor does. */
    char line[1024];
    if (strlen(command) >= sizeof line) {
        fprintf(stderr, "The command line is too long.\n");
        return 1;
    }
    strcpy(line, command);
    char *words[4];
    int count = 0;
    for (char *p = strtok(line, " \t"); p; p = strtok(nullptr, " \t")) {
        if (count == 4)
            break;
        words[count++] = p;
    }
    if (count == 0)
        return 0;
    if (strcmp(words[0], "copy") != 0) {
        fprintf(stderr, "'%s' is not recognized as a command.\n", words[0]);
        return 1;
    }
    if (count != 3) {
        fprintf(stderr, "The syntax of the command is incorrect.\n");
        return 1;
    }
    return copy_file(words[1], words[2]);
}
