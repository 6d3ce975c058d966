/*
 * fuzz_decode_diff.cpp: fuzz target comparing the reader with an outside
 * decoder used as a black box, libdeflate-gunzip.  Whenever that program
 * decodes a gzip input without complaint, compress() in mode 1 must also
 * succeed and write the very same bytes.  The engine may accept more than
 * it does (incomplete codes, trailing bytes), so nothing is asked when
 * libdeflate-gunzip refuses.  Inputs that hold a gzip header with flag bit
 * 1 anywhere are passed over: that bit is a header CRC to libdeflate and
 * an unsupported multi-part member to the engine.
 */
#include "fuzz_engine.h"

#include "engine/engine.h"

#include <unistd.h>

static bool has_header_crc_flag(const uint8_t *data, size_t size)
{
    for (size_t i = 0; i + 3 < size; i++)
        if (data[i] == 0x1f && data[i + 1] == 0x8b && data[i + 2] == 8 && (data[i + 3] & 2))
            return true;
    return false;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 18 || data[0] != 0x1f || data[1] != 0x8b || has_header_crc_flag(data, size))
        return 0;
    static const std::string src = fuzz_path("diff.gz");
    static const std::string ours = fuzz_path("diff.ours");
    static const std::string theirs = fuzz_path("diff.theirs");
    fuzz_write(src, data, size);
    if (fuzz_reference_decode(src, theirs) != 0)
        return 0;
    unlink(ours.c_str());
    if (fuzz_compress(src.c_str(), ours.c_str(), 1) != OK)
        fuzz_fail("libdeflate-gunzip decodes this input, the engine does not");
    if (fuzz_read(ours) != fuzz_read(theirs))
        fuzz_fail("the engine's output differs from libdeflate-gunzip's");
    return 0;
}
