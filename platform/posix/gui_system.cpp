/*
 * gui_system.cpp: process end, tick count and the OEM code page of the
 * POSIX emulation.
 */
#include "win_gui.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <time.h>

void ExitProcess(UINT code)
{
    fflush(nullptr);
    _Exit((int)code);
}

DWORD GetTickCount(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (DWORD)((uint64_t)ts.tv_sec * 1000u + (uint64_t)ts.tv_nsec / 1000000u);
}

/* The OEM code pages of Windows by language, and where the territory decides. */
struct kv_oem_entry {
    const char *prefix; /* language, or language_territory */
    UINT page;
};

static constexpr kv_oem_entry kv_oem_table[] = {
    {"en_US", 437}, {"en", 850},
    {"pt_BR", 850}, {"zh_TW", 950}, {"zh_HK", 950}, {"zh", 936},
    {"de", 850}, {"fr", 850}, {"es", 850}, {"it", 850}, {"nl", 850},
    {"pt", 850}, {"sv", 850}, {"da", 850}, {"nb", 850}, {"nn", 850},
    {"no", 850}, {"fi", 850}, {"is", 850}, {"ca", 850}, {"eu", 850},
    {"gl", 850}, {"ga", 850}, {"af", 850}, {"id", 850}, {"ms", 850},
    {"sw", 850}, {"fo", 850},
    {"pl", 852}, {"cs", 852}, {"sk", 852}, {"hu", 852}, {"hr", 852},
    {"sl", 852}, {"ro", 852}, {"sq", 852}, {"bs", 852}, {"sr", 855},
    {"ru", 866}, {"uk", 866}, {"be", 866}, {"bg", 866}, {"mk", 866},
    {"kk", 866}, {"ky", 866}, {"tt", 866},
    {"el", 737}, {"tr", 857}, {"az", 857}, {"he", 862}, {"ar", 720},
    {"fa", 720}, {"lt", 775}, {"lv", 775}, {"et", 775},
    {"ja", 932}, {"ko", 949}, {"th", 874}, {"vi", 1258},
};

UINT kv_oem_code_page(const char *name)
{
    size_t len = strlen(name);
    for (const kv_oem_entry &e : kv_oem_table) {
        size_t n = strlen(e.prefix);
        if (len >= n && memcmp(name, e.prefix, n) == 0 &&
            (name[n] == '\0' || name[n] == '_' || name[n] == '.' || name[n] == '@'))
            return e.page;
    }
    return 437;
}

/*
 * The code page that matches the user's locale as the C library knows it
 * (the program itself runs in the "C" locale, so it is looked up and the
 * program's locale put back); 437 when nothing better is known.
 */
UINT GetOEMCP(void)
{
    const char *current = setlocale(LC_CTYPE, nullptr);
    std::string saved = current ? current : "C";
    const char *user = setlocale(LC_CTYPE, "");
    std::string name = user ? user : "C";
    setlocale(LC_CTYPE, saved.c_str());
    return kv_oem_code_page(name.c_str());
}
