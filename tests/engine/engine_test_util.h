/*
 * engine_test_util.h: helpers of the engine's tests: scratch directories,
 * whole-file reads and writes, outside tools run as processes, a child
 * process for paths that end the process, and a DEFLATE bit writer for
 * crafted streams.
 */
#ifndef KOVRA_TESTS_ENGINE_TEST_UTIL_H
#define KOVRA_TESTS_ENGINE_TEST_UTIL_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

typedef std::vector<uint8_t> Bytes;

/* A fresh scratch directory, removed with its files at destruction. */
struct ScratchDir {
    std::string path;
    ScratchDir();
    ~ScratchDir();
    std::string file(const std::string &name) const { return path + "/" + name; }
};

Bytes read_file(const std::string &path);
void write_file(const std::string &path, const Bytes &data);
bool file_exists(const std::string &path);
Bytes to_bytes(const std::string &s);

/* Runs a shell command; returns its exit status (-1 if it did not exit). */
int run_command(const std::string &command);
/* Whether a program is on the PATH. */
bool have_program(const char *name);

/* What a child process left: its wait status decoded, and its stderr. */
struct ChildResult {
    bool exited = false;
    int status = -1;         /* exit status 0..255 when exited */
    std::string err;         /* everything written to fd 2 */
};
/* Runs body in a forked child; its return value becomes the exit status. */
ChildResult run_in_child(const std::function<int()> &body);

/* Writes bits least significant first, as DEFLATE packs them. */
struct BitWriter {
    Bytes out;
    uint32_t acc = 0;
    unsigned n = 0;
    void bits(uint32_t value, unsigned count);
    /* A Huffman code of len bits, sent first bit first (bit-reversed). */
    void code(uint32_t code, unsigned len);
    void align();
    Bytes finish();
};

/* Fixed-code symbols (RFC 1951 3.2.6). */
void fixed_literal(BitWriter &w, unsigned sym);
void fixed_distance(BitWriter &w, unsigned sym);
/* A match through the fixed code: the length and distance with their extra bits. */
void fixed_match(BitWriter &w, unsigned length, unsigned distance);

/* gzip member around a raw DEFLATE stream, with the given trailer values. */
Bytes gzip_member(const Bytes &deflate, uint32_t crc, uint32_t len, uint8_t flags = 0,
                  const Bytes &fields = Bytes());
uint32_t crc32_of(const Bytes &data);

#endif
