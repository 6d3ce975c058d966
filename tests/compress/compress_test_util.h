/* compress_test_util.h: helpers shared by the compressor's tests. */
#ifndef KOVRA_TESTS_COMPRESS_UTIL_H
#define KOVRA_TESTS_COMPRESS_UTIL_H

#include <cstdint>
#include <string>
#include <vector>

typedef std::vector<uint8_t> bytes;

/*
 * Packs a hand-derived DEFLATE bit sequence: Huffman codes are given as
 * written in RFC 1951 (most significant bit first), plain fields as
 * numbers (least significant bit first).
 */
struct bit_packer {
    bytes out;
    unsigned nbits = 0;
    void bit(unsigned b)
    {
        if (nbits % 8 == 0)
            out.push_back(0);
        out.back() |= (uint8_t)((b & 1) << (nbits % 8));
        nbits++;
    }
    void field(unsigned v, int n) { for (int i = 0; i < n; i++) bit(v >> i); }
    void code(unsigned v, int n) { for (int i = n - 1; i >= 0; i--) bit(v >> i); }
};

std::string temp_path(const std::string &name);
void write_file(const std::string &path, const bytes &data);
bytes read_file(const std::string &path);
/* Compresses data (stored under name) in this process; returns the member. */
bytes compress_bytes(const bytes &data, const std::string &name = "in.bin");
/* Offset of the DEFLATE stream in a member written for name. */
inline size_t deflate_offset(const std::string &name) { return 10 + name.size() + 1; }

#endif
