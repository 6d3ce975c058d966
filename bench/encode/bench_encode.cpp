/*
 * bench_encode.cpp: compresses a generated text file and a generated
 * binary file (16 MiB each, the same bytes every run) with compress() in
 * mode 0, and with libdeflate-gzip -9 and 7zz a -tgzip -mx9 as processes;
 * prints the best of three times, MB/s of input, output sizes and ratios.
 * Usage: bench_encode [work directory]
 */
#include "engine/engine.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

static const size_t INPUT_SIZE = 16u << 20;

/* A small deterministic generator (xorshift64*). */
static uint64_t rng_state = 0x9e3779b97f4a7c15ull;
static uint64_t next_rand()
{
    rng_state ^= rng_state >> 12;
    rng_state ^= rng_state << 25;
    rng_state ^= rng_state >> 27;
    return rng_state * 0x2545F4914F6CDD1Dull;
}

/* Word text with a skewed vocabulary, lines and punctuation. */
static std::vector<char> make_text()
{
    std::vector<std::string> vocab;
    for (int i = 0; i < 2000; i++) {
        std::string w;
        int len = 2 + (int)(next_rand() % 9);
        for (int k = 0; k < len; k++)
            w.push_back((char)('a' + next_rand() % 26));
        vocab.push_back(w);
    }
    std::vector<char> t;
    int col = 0;
    while (t.size() < INPUT_SIZE) {
        uint64_t r = next_rand();
        size_t idx = (size_t)((r % 2000) * (r % 2000) / 2000); /* skewed toward low indexes */
        for (char c : vocab[idx])
            t.push_back(c);
        col += (int)vocab[idx].size() + 1;
        if (next_rand() % 17 == 0)
            t.push_back(',');
        if (col > 70) {
            t.push_back('\n');
            col = 0;
        } else {
            t.push_back(' ');
        }
    }
    t.resize(INPUT_SIZE);
    return t;
}

/* Binary: records with counters, small fields, repeated blocks and noise. */
static std::vector<char> make_binary()
{
    std::vector<char> b;
    uint32_t counter = 0;
    while (b.size() < INPUT_SIZE) {
        uint64_t r = next_rand();
        switch (r % 4) {
        case 0: /* a 16-byte record */
            for (int k = 0; k < 4; k++)
                b.push_back((char)(counter >> (8 * k)));
            counter += 1 + (uint32_t)(r >> 60);
            for (int k = 0; k < 12; k++)
                b.push_back((char)((r >> (k * 4)) & 0x0f));
            break;
        case 1: /* noise */
            for (int k = 0; k < 8; k++)
                b.push_back((char)(next_rand() & 0xff));
            break;
        case 2: /* repeat of an earlier stretch */
            if (b.size() > 4096) {
                size_t from = b.size() - 1 - (size_t)((r >> 8) % 4000);
                size_t n = 8 + (size_t)((r >> 24) % 56);
                for (size_t k = 0; k < n; k++)
                    b.push_back(b[from + k]);
            }
            break;
        default: /* zeros */
            b.insert(b.end(), (size_t)(4 + (r >> 32) % 28), 0);
        }
    }
    b.resize(INPUT_SIZE);
    return b;
}

static void write_all(const std::string &path, const std::vector<char> &d)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f || fwrite(d.data(), 1, d.size(), f) != d.size()) {
        perror(path.c_str());
        exit(1);
    }
    fclose(f);
}

static long file_size(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (long)st.st_size : -1;
}

static double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct result {
    double seconds = 1e30;
    long size = -1;
};

static result run_ours(const std::string &src, const std::string &dst)
{
    result r;
    for (int i = 0; i < 3; i++) {
        remove(dst.c_str());
        double t0 = now();
        if (compress(src.c_str(), dst.c_str(), 0) != 0) {
            fprintf(stderr, "compress failed\n");
            exit(1);
        }
        double t = now() - t0;
        if (t < r.seconds)
            r.seconds = t;
    }
    r.size = file_size(dst);
    return r;
}

static result run_tool(const std::string &cmd, const std::string &dst)
{
    result r;
    for (int i = 0; i < 3; i++) {
        remove(dst.c_str());
        double t0 = now();
        if (system(cmd.c_str()) != 0) {
            fprintf(stderr, "failed: %s\n", cmd.c_str());
            return result{};
        }
        double t = now() - t0;
        if (t < r.seconds)
            r.seconds = t;
    }
    r.size = file_size(dst);
    return r;
}

static void report(const char *what, const result &r, const result &ours)
{
    double mbs = (double)INPUT_SIZE / 1e6 / r.seconds;
    printf("  %-22s %8.2f MB/s %10ld bytes", what, mbs, r.size);
    if (&r != &ours && r.size > 0)
        printf("   ours/this: speed %.2f, size %.4f", r.seconds / ours.seconds,
               (double)ours.size / (double)r.size);
    printf("\n");
}

int main(int argc, char **argv)
{
    std::string dir = argc > 1 ? argv[1] : "/tmp/kv_bench_encode";
    mkdir(dir.c_str(), 0700);
    struct input {
        const char *name;
        std::vector<char> data;
    } inputs[] = {{"text", make_text()}, {"binary", make_binary()}};

    for (auto &in : inputs) {
        std::string src = dir + "/" + in.name;
        write_all(src, in.data);
        result ours = run_ours(src, src + ".kv.gz");
        result ld = run_tool("libdeflate-gzip -9 -c '" + src + "' > '" + src + ".ld.gz'", src + ".ld.gz");
        result sz = run_tool("7zz a -tgzip -mx9 -bso0 -bsp0 '" + src + ".7z.gz' '" + src + "'", src + ".7z.gz");
        printf("%s (%zu bytes), best of 3:\n", in.name, in.data.size());
        report("kovra compress", ours, ours);
        report("libdeflate-gzip -9", ld, ours);
        report("7zz -tgzip -mx9", sz, ours);
    }
    return 0;
}
