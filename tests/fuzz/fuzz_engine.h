/*
 * fuzz_engine.h: what the engine's fuzz targets share: scratch files in a
 * per-process directory, and compress() run so that a fatal engine error
 * comes back to the target instead of ending the process.
 */
#ifndef KOVRA_TESTS_FUZZ_FUZZ_ENGINE_H
#define KOVRA_TESTS_FUZZ_FUZZ_ENGINE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/* compress() did not return: the engine took its fatal-error exit. */
constexpr int ENGINE_EXITED = -100;

/* A path in this process's scratch directory (made on first use). */
std::string fuzz_path(const char *name);
void fuzz_write(const std::string &path, const uint8_t *data, size_t size);
std::vector<uint8_t> fuzz_read(const std::string &path);

/*
 * Runs compress(src, dst, mode) on an engine reset to the state a fresh
 * process starts with.  A fatal error returns ENGINE_EXITED, with the
 * descriptors the call opened closed and the decoder's tables, which the
 * exit left behind, freed.
 */
int fuzz_compress(const char *src, const char *dst, int mode);

/*
 * Decodes the gzip file in into out with libdeflate-gunzip, the outside
 * decoder the tests use as a black box; returns its exit status.
 */
int fuzz_reference_decode(const std::string &in, const std::string &out);

/* Reports a broken expectation and aborts, which the fuzzer records. */
[[noreturn]] void fuzz_fail(const char *what);

#endif
