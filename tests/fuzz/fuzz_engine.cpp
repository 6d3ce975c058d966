/*
 * fuzz_engine.cpp: scratch files and the engine runner of fuzz_engine.h.
 *
 * The engine ends the process on a fatal error through engine_exit, which
 * calls the exit hook first; here the hook jumps back into fuzz_compress.
 * The jump skips the frames of the decoder, so the tables they held would
 * leak.  While compress() runs, every block it allocates is noted through
 * the sanitizer's allocation hooks, and after a jump the blocks still
 * live are freed.  Without a sanitizer there are no hooks and nothing to
 * report, so the blocks are simply left.
 */
#include "fuzz_engine.h"

#include "engine/engine.h"
#include "engine/inflate.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*malloc_hook)(const volatile void *, size_t),
    void (*free_hook)(const volatile void *)) __attribute__((weak));

/* ---- Scratch files ---------------------------------------------------- */

static std::string scratch_dir;

static void remove_scratch()
{
    std::string cmd = "rm -rf '" + scratch_dir + "'";
    if (system(cmd.c_str()) != 0)
        fprintf(stderr, "could not remove %s\n", scratch_dir.c_str());
}

std::string fuzz_path(const char *name)
{
    if (scratch_dir.empty()) {
        const char *base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string tmpl = std::string(base) + "/kv-fuzz-XXXXXX";
        std::vector<char> t(tmpl.begin(), tmpl.end());
        t.push_back('\0');
        if (!mkdtemp(t.data()))
            fuzz_fail("mkdtemp");
        scratch_dir = t.data();
        atexit(remove_scratch);
    }
    return scratch_dir + "/" + name;
}

void fuzz_write(const std::string &path, const uint8_t *data, size_t size)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        fuzz_fail("open scratch file");
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n <= 0)
            fuzz_fail("write scratch file");
        data += n;
        size -= (size_t)n;
    }
    close(fd);
}

std::vector<uint8_t> fuzz_read(const std::string &path)
{
    std::vector<uint8_t> out;
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return out;
    uint8_t chunk[65536];
    ssize_t n;
    while ((n = read(fd, chunk, sizeof chunk)) > 0)
        out.insert(out.end(), chunk, chunk + n);
    close(fd);
    return out;
}

int fuzz_reference_decode(const std::string &in, const std::string &out)
{
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    char name[] = "libdeflate-gunzip", opt[] = "-c";
    char *argv[] = {name, opt, nullptr};
    pid_t pid;
    int rc = posix_spawnp(&pid, name, &fa, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0)
        fuzz_fail("libdeflate-gunzip (package libdeflate-tools) cannot be run");
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        continue;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void fuzz_fail(const char *what)
{
    fprintf(stderr, "fuzz target: %s\n", what);
    fflush(stderr);
    abort();
}

/* ---- Blocks allocated during one compress() call ---------------------- */

constexpr int MAX_TRACKED = 16384;
static void *tracked[MAX_TRACKED];
static int tracked_count;
static volatile bool tracking;

static void on_malloc(const volatile void *p, size_t)
{
    if (!tracking)
        return;
    if (tracked_count == MAX_TRACKED)
        fuzz_fail("too many live blocks");
    tracked[tracked_count++] = const_cast<void *>(p);
}

static void on_free(const volatile void *p)
{
    if (!tracking)
        return;
    for (int i = tracked_count; i-- > 0;) {
        if (tracked[i] == p) {
            tracked[i] = tracked[--tracked_count];
            return;
        }
    }
}

/* ---- The runner ------------------------------------------------------- */

static jmp_buf *exit_target;

static void exit_to_harness(int)
{
    longjmp(*exit_target, 1);
}

/*
 * The state a fresh process starts with: zeroed buffers (the decoder may
 * read window bytes it has not written, and the result must not depend on
 * earlier inputs) and the initial values of the globals that compress()
 * itself does not set, some of which a jump out of the decoder leaves
 * changed.
 */
static void reset_engine()
{
    memset(inbuf, 0, sizeof inbuf);
    memset(outbuf, 0, sizeof outbuf);
    memset(window, 0, sizeof window);
    memset(d_buf, 0, sizeof d_buf);
    memset(prev, 0, sizeof prev);
    inptr = insize = outcnt = 0;
    bytes_in = bytes_out = 0;
    ifd = ofd = -1;
    method = 8;
    work = zip;
    exit_code = OK;
    part_nb = 0;
    last_member = 0;
    save_orig_name = 0;
    time_stamp = 0;
    pkzip = ext_header = decrypt = 0;
    bb = 0;
    bk = 0;
    updcrc(nullptr, 0);
}

int fuzz_compress(const char *src, const char *dst, int mode)
{
    static bool hooked = false;
    if (!hooked) {
        engine_set_exit_hook(exit_to_harness);
        if (__sanitizer_install_malloc_and_free_hooks)
            __sanitizer_install_malloc_and_free_hooks(on_malloc, on_free);
        hooked = true;
    }
    reset_engine();
    jmp_buf env;
    volatile int status;
    tracked_count = 0;
    tracking = true;
    if (setjmp(env) == 0) {
        exit_target = &env;
        status = compress(src, dst, mode);
        tracking = false;
    } else {
        tracking = false;
        status = ENGINE_EXITED;
        while (tracked_count > 0)
            free(tracked[--tracked_count]);
        if (ifd >= 0)
            close(ifd);
        if (ofd >= 0)
            close(ofd);
    }
    exit_target = nullptr;
    return status;
}
