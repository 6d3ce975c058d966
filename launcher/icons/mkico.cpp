/*
 * mkico.cpp: build-time tool that turns a readable icon source into an
 * .ico file and a C++ source that embeds it.
 *
 *   mkico SOURCE.txt OUT.ico OUT.cpp RESOURCE-NAME
 *
 * The source holds up to 16 palette lines "colour C RRGGBB" (C is the
 * character that stands for the colour in the grid; the first line is
 * colour 0), an optional "transparent C" line, then "grid" and 32 rows of
 * 32 characters.  Lines starting with '#' are comments.  The .ico has one
 * 32 x 32 image of 4 bits per pixel: a 40-byte BITMAPINFOHEADER, the
 * 64-byte palette, 512 bytes of colour indexes and the 128-byte AND mask,
 * 744 bytes in all.  The C++ source registers the bytes under the name
 * given, as the launchers' icon resource on POSIX hosts.
 */
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

static void fail(const std::string &why)
{
    fprintf(stderr, "mkico: %s\n", why.c_str());
    exit(1);
}

static void put16(std::vector<unsigned char> &o, unsigned v)
{
    o.push_back((unsigned char)(v & 255));
    o.push_back((unsigned char)(v >> 8 & 255));
}
static void put32(std::vector<unsigned char> &o, unsigned long v)
{
    put16(o, (unsigned)(v & 0xFFFF));
    put16(o, (unsigned)(v >> 16 & 0xFFFF));
}

int main(int argc, char **argv)
{
    if (argc != 5)
        fail("usage: mkico SOURCE.txt OUT.ico OUT.cpp RESOURCE-NAME");
    std::ifstream in(argv[1]);
    if (!in)
        fail(std::string("cannot read ") + argv[1]);
    std::string keys;              /* grid character of each colour */
    std::vector<unsigned long> rgb; /* 0xRRGGBB */
    char clear = '\0';
    std::vector<std::string> grid;
    bool in_grid = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (in_grid) {
            if (grid.size() < 32)
                grid.push_back(line);
            continue;
        }
        if (line.empty() || line[0] == '#')
            continue;
        char key;
        char hex[16];
        if (sscanf(line.c_str(), "colour %c %6s", &key, hex) == 2) {
            if (keys.size() == 16)
                fail("more than 16 colours");
            keys += key;
            rgb.push_back(strtoul(hex, nullptr, 16));
        } else if (sscanf(line.c_str(), "transparent %c", &key) == 1) {
            clear = key;
        } else if (line == "grid") {
            in_grid = true;
        } else {
            fail("bad line: " + line);
        }
    }
    if (grid.size() != 32)
        fail("the grid needs 32 rows");
    for (const std::string &row : grid)
        if (row.size() != 32)
            fail("grid row of other than 32 characters: " + row);

    std::vector<unsigned char> image;
    put32(image, 40);      /* header size */
    put32(image, 32);      /* width */
    put32(image, 64);      /* height of colour and mask bitmaps together */
    put16(image, 1);       /* planes */
    put16(image, 4);       /* bits per pixel */
    put32(image, 0);       /* no compression */
    put32(image, 512 + 128);
    put32(image, 0);
    put32(image, 0);
    put32(image, 16);      /* colours used */
    put32(image, 0);
    for (size_t i = 0; i < 16; i++) {
        unsigned long c = i < rgb.size() ? rgb[i] : 0;
        image.push_back((unsigned char)(c & 255));
        image.push_back((unsigned char)(c >> 8 & 255));
        image.push_back((unsigned char)(c >> 16 & 255));
        image.push_back(0);
    }
    std::vector<unsigned char> mask;
    for (int y = 31; y >= 0; y--) { /* bottom row first */
        unsigned char bits = 0;
        for (int x = 0; x < 32; x++) {
            char ch = grid[(size_t)y][(size_t)x];
            bool transparent = clear && ch == clear;
            size_t idx = 0;
            if (!transparent) {
                idx = keys.find(ch);
                if (idx == std::string::npos)
                    fail(std::string("colour not in the palette: ") + ch);
            }
            if (x % 2 == 0)
                image.push_back((unsigned char)(idx << 4));
            else
                image.back() |= (unsigned char)idx;
            bits = (unsigned char)(bits << 1 | (transparent ? 1 : 0));
            if (x % 8 == 7) {
                mask.push_back(bits);
                bits = 0;
            }
        }
    }
    image.insert(image.end(), mask.begin(), mask.end());
    if (image.size() != 744)
        fail("internal: image is not 744 bytes");

    std::vector<unsigned char> ico;
    put16(ico, 0);
    put16(ico, 1); /* icon */
    put16(ico, 1); /* one image */
    ico.push_back(32);
    ico.push_back(32);
    ico.push_back(16);
    ico.push_back(0);
    put16(ico, 1);
    put16(ico, 4);
    put32(ico, (unsigned long)image.size());
    put32(ico, 22);
    ico.insert(ico.end(), image.begin(), image.end());

    FILE *f = fopen(argv[2], "wb");
    if (!f || fwrite(ico.data(), 1, ico.size(), f) != ico.size() || fclose(f) != 0)
        fail(std::string("cannot write ") + argv[2]);
    f = fopen(argv[3], "w");
    if (!f)
        fail(std::string("cannot write ") + argv[3]);
    fprintf(f, "/* Generated by mkico from %s: the icon group %s. */\n", argv[1], argv[4]);
    fprintf(f, "#include \"platform/win.h\"\n\nstatic const unsigned char kv_ico[%zu] = {", ico.size());
    for (size_t i = 0; i < ico.size(); i++)
        fprintf(f, "%s%u,", i % 16 ? "" : "\n   ", ico[i]);
    fprintf(f, "\n};\n\n[[maybe_unused]] static const bool kv_ico_registered =\n"
               "    (kv_register_icon(\"%s\", kv_ico, sizeof kv_ico), true);\n", argv[4]);
    if (fclose(f) != 0)
        fail(std::string("cannot write ") + argv[3]);
    return 0;
}
