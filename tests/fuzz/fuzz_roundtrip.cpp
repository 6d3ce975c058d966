/*
 * fuzz_roundtrip.cpp: fuzz target of the writer: arbitrary bytes are
 * compressed (mode 0) and the gzip file decompressed again (mode 1); both
 * calls must succeed and give the bytes back exactly.  The gzip file must
 * also decode to the same bytes with libdeflate-gunzip, an outside decoder
 * used as a black box, which, unlike the engine's own reader, refuses
 * incomplete codes and other streams that RFC 1951 does not allow.
 *
 * Inputs whose first byte is 0xFF are expanded before compressing: the
 * rest is repeated (second byte mod 64, plus one, times), each copy
 * followed by its number, so that small inputs also reach long matches,
 * full blocks and the sliding of the window.
 */
#include "fuzz_engine.h"

#include "engine/engine.h"

#include <unistd.h>

static std::vector<uint8_t> plain_of(const uint8_t *data, size_t size)
{
    if (size < 2 || data[0] != 0xFF)
        return std::vector<uint8_t>(data, data + size);
    unsigned copies = data[1] % 64u + 1;
    std::vector<uint8_t> out;
    for (unsigned i = 0; i < copies; i++) {
        out.insert(out.end(), data + 2, data + size);
        out.push_back((uint8_t)i);
    }
    return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string plain_path = fuzz_path("plain");
    static const std::string gz = fuzz_path("plain.gz");
    static const std::string back = fuzz_path("back");
    static const std::string theirs = fuzz_path("back.theirs");
    std::vector<uint8_t> plain = plain_of(data, size);
    fuzz_write(plain_path, plain.data(), plain.size());
    unlink(gz.c_str());
    unlink(back.c_str());
    if (fuzz_compress(plain_path.c_str(), gz.c_str(), 0) != OK)
        fuzz_fail("compressing failed");
    if (fuzz_compress(gz.c_str(), back.c_str(), 1) != OK)
        fuzz_fail("decompressing our own gzip file failed");
    if (fuzz_read(back) != plain)
        fuzz_fail("the round trip changed the bytes");
    if (fuzz_reference_decode(gz, theirs) != 0)
        fuzz_fail("libdeflate-gunzip refuses the gzip file");
    if (fuzz_read(theirs) != plain)
        fuzz_fail("libdeflate-gunzip reads other bytes from the gzip file");
    return 0;
}
