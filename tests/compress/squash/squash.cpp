/*
 * squash.cpp: compresses each named file to DIR/<n>.gz at the given level,
 * all in one process, so that the window carries from file to file as it
 * does in mkdist.  Built twice: against the engine and against its
 * reference build that walks every hash chain entry one at a time.
 * Usage: squash LEVEL DIR FILE...
 */
#include "engine/engine.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char **argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: squash LEVEL DIR FILE...\n");
        return 2;
    }
    level = atoi(argv[1]);
    for (int i = 3; i < argc; i++) {
        std::string out = std::string(argv[2]) + "/" + std::to_string(i - 3) + ".gz";
        remove(out.c_str());
        if (compress(argv[i], out.c_str(), 0) != 0)
            return 1;
    }
    return 0;
}
