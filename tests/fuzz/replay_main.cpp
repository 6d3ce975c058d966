/*
 * replay_main.cpp: runs a fuzz target's LLVMFuzzerTestOneInput on every
 * file of the directories (or on the files) named on the command line, as
 * libFuzzer would run them, so that the seed and regression corpora are
 * replayed by ordinary builds under CTest.  Exit status 0 when all ran;
 * a broken expectation aborts inside the target.
 */
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>
#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static bool read_whole(const std::string &path, std::vector<uint8_t> &out)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    out.clear();
    uint8_t chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        out.insert(out.end(), chunk, chunk + n);
    fclose(f);
    return true;
}

static void collect(const std::string &path, std::vector<std::string> &files)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return;
    if (!S_ISDIR(st.st_mode)) {
        files.push_back(path);
        return;
    }
    DIR *d = opendir(path.c_str());
    if (!d)
        return;
    std::vector<std::string> names;
    while (dirent *e = readdir(d))
        if (e->d_name[0] != '.')
            names.push_back(path + "/" + e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string &n : names)
        collect(n, files);
}

int main(int argc, char **argv)
{
    std::vector<std::string> files;
    for (int i = 1; i < argc; i++)
        collect(argv[i], files);
    if (files.empty()) {
        fprintf(stderr, "replay: no input files\n");
        return 2;
    }
    std::vector<uint8_t> data;
    for (const std::string &f : files) {
        if (!read_whole(f, data)) {
            fprintf(stderr, "replay: cannot read %s\n", f.c_str());
            return 2;
        }
        fprintf(stderr, "replay: %s\n", f.c_str());
        LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    fprintf(stderr, "replay: %zu inputs\n", files.size());
    return 0;
}
