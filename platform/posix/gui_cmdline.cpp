/*
 * gui_cmdline.cpp: GetCommandLineA of the POSIX emulation.
 *
 * A POSIX process gets its words already split; the launcher wants one
 * Windows-style line.  The words are joined with blanks, and a word that
 * is empty or holds white space is put between quotes, so that splitting
 * the line again gives the same words back.  (A word that holds a quote
 * cannot be written so that it survives: Windows lines have the same
 * limit.)
 */
#include "win_gui.h"

#include <cstdlib>
#include <cstring>
#include <string>

static std::string kv_command_line;

static bool needs_quotes(const char *word)
{
    if (*word == '\0')
        return true;
    for (const char *p = word; *p; p++)
        if (*p == ' ' || (*p >= '\t' && *p <= '\r'))
            return true;
    return false;
}

void kv_save_args(int argc, char **argv)
{
    kv_command_line.clear();
    for (int i = 0; i < argc; i++) {
        if (i > 0)
            kv_command_line += ' ';
        bool quote = needs_quotes(argv[i]);
        if (quote)
            kv_command_line += '"';
        kv_command_line += argv[i];
        if (quote)
            kv_command_line += '"';
    }
}

LPSTR GetCommandLineA(void)
{
    return &kv_command_line[0];
}
