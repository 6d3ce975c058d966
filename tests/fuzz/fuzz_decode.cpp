/*
 * fuzz_decode.cpp: fuzz target of the reader: compress() in mode 1 on
 * arbitrary bytes, through the gzip and zip header readers, the DEFLATE
 * decoder and the trailer checks.  Any outcome the engine defines is
 * fine (done, refused, fatal error); the sanitizers catch the rest.
 */
#include "fuzz_engine.h"

#include "engine/engine.h"

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string src = fuzz_path("in.gz");
    static const std::string dst = fuzz_path("out");
    fuzz_write(src, data, size);
    unlink(dst.c_str());
    int status = fuzz_compress(src.c_str(), dst.c_str(), 1);
    if (status != OK && status != ERROR && status != WARNING && status != ENGINE_EXITED)
        fuzz_fail("compress returned an undefined status");
    return 0;
}
