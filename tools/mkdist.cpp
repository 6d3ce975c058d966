/*
 * mkdist.cpp: builds a distribution from a product tree.
 *
 *   mkdist [--verify] [--installer PATH] PRODUCT_DIR DIST_DIR
 *
 * Reads PRODUCT_DIR/install.lst with the installer's own list readers, so
 * the distribution holds exactly what the installer will look for.  The
 * whole list is checked before anything is written.  Then DIST_DIR and its
 * directories are made, install.lst.gz and every listed file's .gz are
 * written through FileCompress in list order, and the installer program is
 * copied beside them.  --verify uncompresses every written file again and
 * compares it with its source.
 */
#include "installer/instfct.h"

#include "engine/engine.h"
#include "platform/crt.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
static const char INSTALLER_NAME[] = "install.exe";
#else
static const char INSTALLER_NAME[] = "install";
#endif

/* Longest path handed to the engine (its path buffers hold 260 bytes). */
constexpr size_t ENGINE_PATH_MAX = MAX_PATH_LEN - 1;

struct Record {
    std::string name;
    int mode;
};

[[noreturn]] static void refuse(const std::string &msg)
{
    fflush(stdout);
    fprintf(stderr, "mkdist: %s\n", msg.c_str());
    exit(1);
}

/* A writable copy of a path, for the routines that make it native in place. */
static std::vector<char> scratch(const std::string &path)
{
    return std::vector<char>(path.c_str(), path.c_str() + path.size() + 1);
}

/* Size of a file in bytes, -1 when it cannot be read as a regular file. */
static long long file_size(const std::string &path)
{
    FILE *f = os_fopen(path.c_str(), "rb");
    if (!f)
        return -1;
    long long size = 0;
    char chunk[16384];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        size += (long long)n;
    /* A directory opens on some systems but cannot be read. */
    if (ferror(f))
        size = -1;
    fclose(f);
    return size;
}

/* 1 when both files hold the same bytes. */
static bool same_content(const std::string &a, const std::string &b)
{
    FILE *fa = os_fopen(a.c_str(), "rb");
    FILE *fb = os_fopen(b.c_str(), "rb");
    bool same = fa && fb;
    while (same) {
        char ca[16384], cb[16384];
        size_t na = fread(ca, 1, sizeof ca, fa);
        size_t nb = fread(cb, 1, sizeof cb, fb);
        if (na != nb || memcmp(ca, cb, na) != 0)
            same = false;
        if (na == 0)
            break;
    }
    if (fa)
        fclose(fa);
    if (fb)
        fclose(fb);
    return same;
}

static void remove_file(const std::string &native)
{
#ifdef _WIN32
    remove(native.c_str());
#else
    char host[4096];
    if (os_host_path(native.c_str(), host, sizeof host, false))
        remove(host);
#endif
}

/* Reads every record of one letter with the installer's reader. */
static std::vector<Record> read_records(const std::string &list_path, bool dirs)
{
    FILE *list = os_fopen(list_path.c_str(), "r");
    if (!list)
        refuse("can't open " + list_path);
    std::vector<Record> records;
    char name[LIST_BUF_SIZE];
    int mode = dirs ? 0755 : 0644;
    while (dirs ? GetNextDir(list, name, LIST_BUF_SIZE, &mode)
                : GetNextFile(list, name, LIST_BUF_SIZE, &mode))
        records.push_back({name, mode});
    fclose(list);
    return records;
}

/* Whether the directory records make the directory that holds name. */
static bool parent_listed(const std::string &name, const std::vector<Record> &dirs)
{
    size_t slash = name.find_last_of("/\\");
    if (slash == std::string::npos)
        return true;
    std::string parent = name.substr(0, slash);
    for (const Record &d : dirs)
        if (d.name == parent || d.name.compare(0, parent.size() + 1, parent + "/") == 0)
            return true;
    return false;
}

/* The directory part of the running program's path, or "." */
static std::string own_dir()
{
    char *self = FindExec();
    if (!self)
        return ".";
    std::string path = self;
    free(self);
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

static std::string base_name(const std::string &path)
{
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

/* Every check on the list, before anything is written. */
static void check_list(const std::string &product, const std::string &dist,
                       const std::vector<Record> &dirs, const std::vector<Record> &files)
{
    if (files.empty())
        refuse(product + "/install.lst names no file");
    for (const Record &d : dirs)
        if (!SafeListName(d.name.c_str()))
            refuse("install.lst names a directory outside the product tree: " + d.name);
    for (const Record &f : files) {
        if (!SafeListName(f.name.c_str()))
            refuse("install.lst names a file outside the product tree: " + f.name);
        /* The installer composes its paths in 256-byte buffers. */
        if (f.name.size() + strlen("X:/.gz") > (size_t)PATH_MAX_CHARS)
            refuse("name too long for the installer: " + f.name);
        std::string src = product + "/" + f.name;
        std::string dst = dist + "/" + f.name + ".gz";
        if (src.size() > ENGINE_PATH_MAX || dst.size() > ENGINE_PATH_MAX)
            refuse("path longer than " + std::to_string(ENGINE_PATH_MAX) + " characters: "
                   + (src.size() > dst.size() ? src : dst));
        if (file_size(src) < 0)
            refuse("missing or unreadable file: " + src);
        if (!parent_listed(f.name, dirs))
            refuse("no directory record makes the directory of " + f.name);
    }
}

static void usage()
{
    fprintf(stderr, "usage: mkdist [--verify] [--installer PATH] PRODUCT_DIR DIST_DIR\n");
    exit(1);
}

/* Uncompresses gz into a temporary file and compares it with src. */
static void verify(const std::string &gz, const std::string &src, const std::string &tmp)
{
    remove_file(tmp);
    std::vector<char> in = scratch(gz), out = scratch(tmp);
    if (compress(in.data(), out.data(), 1) == 1)
        refuse("can't uncompress " + gz);
    bool same = same_content(out.data(), src);
    remove_file(out.data());
    if (!same)
        refuse(gz + " does not uncompress to " + src);
}

int main(int argc, char **argv)
{
    bool check = false;
    std::string installer;
    std::vector<std::string> dirs_args;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--verify") == 0)
            check = true;
        else if (strcmp(argv[i], "--installer") == 0 && i + 1 < argc)
            installer = argv[++i];
        else if (argv[i][0] == '-' && argv[i][1] == '-')
            usage();
        else
            dirs_args.push_back(argv[i]);
    }
    if (dirs_args.size() != 2)
        usage();
    const std::string product = dirs_args[0], dist = dirs_args[1];
    if (installer.empty())
        installer = own_dir() + "/" + INSTALLER_NAME;

    const std::string list_path = product + "/install.lst";
    const std::vector<Record> dirs = read_records(list_path, true);
    const std::vector<Record> files = read_records(list_path, false);
    check_list(product, dist, dirs, files);
    if (file_size(installer) < 0)
        refuse("missing installer program: " + installer);
    std::string installer_dst = dist + "/" + base_name(installer);
    if (strlen("copy  ") + installer.size() + installer_dst.size() > (size_t)PATH_MAX_CHARS
        || installer.find(' ') != std::string::npos
        || installer_dst.find(' ') != std::string::npos)
        refuse("can't copy the installer with these paths (too long, or with blanks): "
               + installer);

    std::vector<char> path = scratch(dist);
    if (!MakeComposedDir(path.data()))
        refuse("can't create directory " + dist);
    for (const Record &d : dirs) {
        path = scratch(dist + "/" + d.name);
        if (!MakeComposedDir(path.data()))
            refuse("can't create directory " + dist + "/" + d.name);
    }

    /* The list first, then every file in list order. */
    std::vector<std::string> names;
    names.push_back("install.lst");
    for (const Record &f : files)
        names.push_back(f.name);
    long long total_in = 0, total_out = 0;
    for (const std::string &name : names) {
        std::string src = product + "/" + name, dst = dist + "/" + name + ".gz";
        std::vector<char> s = scratch(src), d = scratch(dst);
        FileCompress(s.data(), d.data());
        long long in = file_size(src), out = file_size(dst);
        total_in += in;
        total_out += out;
        printf("  %s: %lld -> %lld bytes, ratio", name.c_str(), in, out);
        display_ratio((int32_t)(in - out), (int32_t)in, stdout);
        printf("\n");
        fflush(stdout);
    }

    std::vector<char> from = scratch(installer), to = scratch(installer_dst);
    if (FileCopy(from.data(), to.data()) != 0)
        refuse("can't copy " + installer + " to " + installer_dst);

    if (check) {
        const std::string tmp = dist + "/.mkdist-verify.tmp";
        for (const std::string &name : names)
            verify(dist + "/" + name + ".gz", product + "/" + name, tmp);
        if (!same_content(installer, installer_dst))
            refuse(installer_dst + " differs from " + installer);
        printf("verified %zu files and the installer\n", names.size());
    }

    printf("%zu files, %lld bytes in, %lld bytes out, ratio", names.size(), total_in, total_out);
    display_ratio((int32_t)(total_in - total_out), (int32_t)total_in, stdout);
    printf("; installer %s\n", base_name(installer).c_str());
    return 0;
}
