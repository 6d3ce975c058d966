/*
 * bench_decode.cpp: the engine's decoding throughput beside libdeflate's.
 *
 * Generates two deterministic inputs of 12 MiB each, one that reads like
 * prose mixed with source code and one that looks like an executable
 * (instruction-like bytes, tables, strings, padding, some packed data),
 * compresses each with "libdeflate-gzip -9", then decodes each file with
 * compress(src, dst, 1) in this process and with "libdeflate-gunzip -c"
 * as a process, output to a file in both cases.  Prints the best of three
 * runs as MB/s of output (10^6 bytes per second) and the engine's share.
 *
 * Usage: kv_bench_decode [--null] [work directory]   (default: /tmp)
 * With --null both decoders write to /dev/null instead of a file, which
 * leaves the file system out of the figures.
 */
#include "engine/engine.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

static const size_t INPUT_SIZE = 12u << 20;
static const int RUNS = 3;
static bool to_null = false;

/* Prose from a vocabulary with a skewed word choice, and C-like code lines. */
static std::string make_text()
{
    static const char *words[] = {
        "the",     "of",       "and",     "to",      "in",       "a",        "is",      "that",
        "for",     "it",       "as",      "with",    "was",      "on",       "be",      "by",
        "file",    "window",   "install", "product", "directory", "launcher", "script",  "engine",
        "member",  "block",    "reader",  "writer",  "buffer",   "length",   "distance", "table",
        "user",    "message",  "system",  "program", "compressed", "output", "input",   "header",
        "returns", "contains", "between", "without", "whenever", "although", "because", "through"};
    static const char *code[] = {
        "    if (n == 0)\n        return -1;\n",
        "    for (i = 0; i < count; i++)\n        total += table[i];\n",
        "static int read_block(struct state *s, unsigned len)\n{\n",
        "    memcpy(out + pos, in + start, len);\n",
        "    } else {\n        err = ERROR_BAD_LENGTH;\n    }\n",
        "#define MAX_PATH 260\n",
        "    return status;\n}\n\n",
        "    /* advance to the next entry of the list */\n",
    };
    std::mt19937 rng(42);
    std::string s;
    s.reserve(INPUT_SIZE + 256);
    while (s.size() < INPUT_SIZE) {
        if (rng() % 5 == 0) {
            for (int i = 0, n = 2 + rng() % 6; i < n; i++)
                s += code[rng() % 8];
            continue;
        }
        for (int sent = 0, n = 3 + rng() % 5; sent < n; sent++) {
            for (int w = 0, len = 5 + rng() % 14; w < len; w++) {
                unsigned r = rng() % 48;
                unsigned idx = (r * r) / 48; /* favours the common words */
                std::string word = words[idx];
                if (w == 0)
                    word[0] = (char)(word[0] - 'a' + 'A');
                s += word;
                if (rng() % 97 == 0)
                    s += " " + std::to_string(rng() % 10000);
                s += (w + 1 == len) ? "." : (rng() % 13 == 0 ? ", " : " ");
            }
            s += ' ';
        }
        s += "\n\n";
    }
    s.resize(INPUT_SIZE);
    return s;
}

/* Instruction-like code, relocation-like tables, strings, padding, packed data. */
static std::vector<unsigned char> make_binary()
{
    static const unsigned char ops[][3] = {{0x55, 0, 0},    {0x89, 0xe5, 0}, {0x8b, 0x45, 0},
                                           {0xe8, 0, 0},    {0xc3, 0, 0},    {0x83, 0xec, 0},
                                           {0x85, 0xc0, 0}, {0x74, 0, 0},    {0x0f, 0x84, 0}};
    static const int op_len[] = {1, 2, 2, 1, 1, 2, 2, 1, 2};
    std::mt19937 rng(7);
    std::vector<unsigned char> b;
    b.reserve(INPUT_SIZE + 4096);
    uint32_t addr = 0x401000;
    while (b.size() < INPUT_SIZE) {
        unsigned kind = rng() % 10;
        /* (one chunk in forty is packed data, which does not compress) */
        if (kind < 6) { /* a function's worth of instructions */
            for (int i = 0, n = 20 + rng() % 200; i < n; i++) {
                unsigned o = rng() % 9;
                b.insert(b.end(), ops[o], ops[o] + op_len[o]);
                if (o == 3 || o == 8) {
                    uint32_t rel = (rng() % 4096) * 16;
                    for (int k = 0; k < 4; k++)
                        b.push_back((unsigned char)(rel >> (8 * k)));
                } else if (o == 2 || o == 5 || o == 7) {
                    b.push_back((unsigned char)(rng() % 64 * 4));
                }
            }
        } else if (kind < 8) { /* a table of addresses */
            for (int i = 0, n = 16 + rng() % 128; i < n; i++) {
                addr += 4 * (1 + rng() % 64);
                for (int k = 0; k < 4; k++)
                    b.push_back((unsigned char)(addr >> (8 * k)));
            }
        } else if (kind == 8) { /* strings and padding */
            static const char *names[] = {"GetProcAddress", "LoadLibraryA", "kernel32.dll",
                                          "Tcl_CreateInterp", "MessageBoxA", ".text", ".rdata"};
            for (int i = 0, n = 4 + rng() % 16; i < n; i++) {
                const char *s = names[rng() % 7];
                while (*s)
                    b.push_back((unsigned char)*s++);
                b.push_back(0);
            }
            b.insert(b.end(), rng() % 512, 0);
        } else if (rng() % 4 == 0) { /* packed data */
            for (int i = 0, n = 256 + rng() % 1024; i < n; i++)
                b.push_back((unsigned char)rng());
        }
    }
    b.resize(INPUT_SIZE);
    return b;
}

static void write_all(const std::string &path, const void *data, size_t n)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f || fwrite(data, 1, n, f) != n) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        exit(1);
    }
    fclose(f);
}

static double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

/* Best wall time of the engine decoding src into dst. */
static double time_engine(const std::string &src, const std::string &dst)
{
    double best = 1e9;
    for (int i = 0; i < RUNS; i++) {
        unlink(dst.c_str());
        /* /dev/null exists, so the engine warns and reports 2: hide that. */
        FILE *saved = nullptr;
        if (to_null) {
            fflush(stderr);
            saved = fdopen(dup(2), "w");
            if (!freopen("/dev/null", "w", stderr))
                exit(1);
        }
        double t = now();
        int r = compress(src.c_str(), to_null ? "/dev/null" : dst.c_str(), 1);
        t = now() - t;
        if (to_null) {
            fflush(stderr);
            dup2(fileno(saved), 2);
            fclose(saved);
            if (r == WARNING)
                r = OK;
        }
        if (r != 0) {
            fprintf(stderr, "engine failed on %s\n", src.c_str());
            exit(1);
        }
        if (t < best)
            best = t;
    }
    return best;
}

/* Best wall time of "libdeflate-gunzip -c src > dst" as a process. */
static double time_libdeflate(const std::string &src, const std::string &dst)
{
    double best = 1e9;
    for (int i = 0; i < RUNS; i++) {
        unlink(dst.c_str());
        double t = now();
        fflush(stdout);
        pid_t pid = fork();
        if (pid == 0) {
            FILE *out = freopen(to_null ? "/dev/null" : dst.c_str(), "wb", stdout);
            if (!out)
                _exit(127);
            execlp("libdeflate-gunzip", "libdeflate-gunzip", "-c", src.c_str(), (char *)nullptr);
            _exit(127);
        }
        int st = 0;
        waitpid(pid, &st, 0);
        t = now() - t;
        if (!WIFEXITED(st) || WEXITSTATUS(st) != 0) {
            fprintf(stderr, "libdeflate-gunzip failed on %s\n", src.c_str());
            exit(1);
        }
        if (t < best)
            best = t;
    }
    return best;
}

int main(int argc, char **argv)
{
    int arg = 1;
    if (arg < argc && std::string(argv[arg]) == "--null") {
        to_null = true;
        arg++;
    }
    std::string dir = arg < argc ? argv[arg] : "/tmp";
    std::string base = dir + "/kv_bench_decode_" + std::to_string(getpid());

    std::string text = make_text();
    std::vector<unsigned char> bin = make_binary();
    struct Input {
        const char *name;
        const void *data;
        size_t size;
    } inputs[] = {{"text", text.data(), text.size()}, {"binary", bin.data(), bin.size()}};

    printf("output to %s, best of %d runs\n", to_null ? "/dev/null" : "a file", RUNS);
    printf("%-8s %10s %10s %12s %12s %8s\n", "input", "size", "gz size", "engine MB/s",
           "libdeflate", "ratio");
    int below = 0;
    for (const Input &in : inputs) {
        std::string plain = base + "_" + in.name;
        std::string gz = plain + ".gz";
        std::string out = plain + ".out";
        write_all(plain, in.data, in.size);
        if (system(("libdeflate-gzip -9 -c '" + plain + "' > '" + gz + "'").c_str()) != 0) {
            fprintf(stderr, "libdeflate-gzip failed\n");
            return 1;
        }
        FILE *f = fopen(gz.c_str(), "rb");
        fseek(f, 0, SEEK_END);
        long gz_size = ftell(f);
        fclose(f);

        double te = time_engine(gz, out);
        if (to_null)
            compress(gz.c_str(), out.c_str(), 1); /* one more run to check the bytes */
        if (system(("cmp -s '" + plain + "' '" + out + "'").c_str()) != 0) {
            fprintf(stderr, "engine output differs for %s\n", in.name);
            return 1;
        }
        double tl = time_libdeflate(gz, out);
        double mb = (double)in.size / 1e6;
        double ratio = (mb / te) / (mb / tl);
        printf("%-8s %10zu %10ld %12.1f %12.1f %7.1f%%\n", in.name, in.size, gz_size, mb / te,
               mb / tl, 100.0 * ratio);
        if (ratio < 0.40)
            below = 1;
        unlink(plain.c_str());
        unlink(gz.c_str());
        unlink(out.c_str());
    }
    if (below)
        printf("engine below 40%% of libdeflate's throughput\n");
    return 0;
}
