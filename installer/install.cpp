/*
 * install.cpp: the console installer of Kovra.
 *
 * Asks for the destination directory, creates it on request, uncompresses
 * the install list from the directory the program lies in, creates every
 * directory the list names, then uncompresses every file it names and
 * gives each its mode.  All directories are made before the first file,
 * whatever the order of the records.  Every message goes to the standard
 * output stream and is flushed at once.
 */
#include "instfct.h"

#include "platform/crt.h"

#include <cstdlib>
#include <cstring>

char *InputDir;  /* directory of the installer program */
char *OutputDir; /* destination directory */

static const char DEFAULT_DIR[] = "C:\\Kovra4.3";

/* Longest answer to the directory question: one character, then fgets. */
constexpr int ANSWER_SIZE = 127;

/* Modes of records that give none before an earlier record sets one. */
constexpr int DEFAULT_DIR_MODE = 0755;
constexpr int DEFAULT_FILE_MODE = 0644;

static void say(const char *text)
{
    fputs(text, stdout);
    fflush(stdout);
}

static char *copy_string(const char *s)
{
    size_t len = strlen(s);
    char *copy = (char *)malloc(len + 1);
    if (!copy)
        FatalError("out of memory");
    memcpy(copy, s, len + 1);
    return copy;
}

/* Reads and drops the rest of the current input line. */
static void discard_line()
{
    int c;
    do
        c = getchar();
    while (c != '\n' && c != EOF);
}

/*
 * Composes a path into out (BUF_SIZE bytes) from a directory, a name and a
 * suffix.  A path that would not fit is refused before anything is done
 * with it, instead of being cut into some other path.
 */
static void compose(char *out, const char *dir, const char *name, const char *suffix)
{
    int n = snprintf(out, BUF_SIZE, "%s/%s%s", dir, name, suffix);
    if (n < 0 || n >= BUF_SIZE) {
        static char msg[3 * LIST_BUF_SIZE];
        snprintf(msg, sizeof msg, "path longer than %d characters: %s/%s%s", PATH_MAX_CHARS,
                 dir, name, suffix);
        FatalError(msg);
    }
}

/* Refuses a list name that would lead out of the destination. */
static void check_name(const char *name)
{
    if (!SafeListName(name)) {
        static char msg[LIST_BUF_SIZE + 64];
        snprintf(msg, sizeof msg, "install.lst names a path outside the destination: %s", name);
        FatalError(msg);
    }
}

static bool is_ascii(const char *s)
{
    for (; *s; s++)
        if ((unsigned char)*s >= 0x80)
            return false;
    return true;
}

/*
 * The destination dialogue: leaves the chosen directory in OutputDir.
 * Enter alone keeps the default; an answer with a byte of 0x80 or above is
 * refused and the question comes again with the default.  The end of the
 * input before an answer ends the run: nothing is installed anywhere the
 * user did not choose.
 */
static void ask_directory(char *list)
{
    for (;;) {
        say("In which directory do you wan't to install Kovra?\n");
        printf("Type CR for default value: %s\n", OutputDir);
        fflush(stdout);
        say("else give the complet name (ASCII): ");
        int c = getchar();
        if (c == EOF)
            FatalError("no directory given: the input has ended");
        if (c != '\n') {
            list[0] = (char)c;
            list[1] = '\0';
            /* The answer ends at its line feed; a longer line loses the rest. */
            if (fgets(list + 1, ANSWER_SIZE, stdin) && !strchr(list + 1, '\n'))
                discard_line();
            free(OutputDir);
            OutputDir = copy_string(list);
        }
        for (char *p = OutputDir; *p; p++)
            if (*p == '\n')
                *p = '\0';
        if (is_ascii(OutputDir))
            return;
        say("You must use ASCII characters in the directory name :-<\n");
        say("Kovra does not like other ones, and me neither...\n");
        free(OutputDir);
        OutputDir = copy_string(DEFAULT_DIR);
    }
}

/* Makes sure the destination exists, creating it when the user agrees. */
static void prepare_directory()
{
    if (TestDirWrite(OutputDir))
        return;
    printf("The directory %s doesn't yet exist\n", OutputDir);
    fflush(stdout);
    say("Do you want to create it? (y/n) ");
    int c = getchar();
    if (c != 'y' && c != 'Y')
        FatalError("You must provide a directory!");
    discard_line();
    if (!MakeComposedDir(OutputDir))
        FatalError("can't create directory");
    os_chmod(OutputDir, 0755);
}

int main()
{
    char src[BUF_SIZE];
    char dst[BUF_SIZE];
    char list[LIST_BUF_SIZE];

    say("\n\nKovra 4 Installation Program\n");
    say("(c) Kovra Software Foundation\n\n");

    InputDir = FindExec();
    if (!InputDir)
        FatalError("can't find directory of installation program");
    for (char *p = InputDir + strlen(InputDir) - 1; p > InputDir; p--) {
        if (*p == '/' || *p == '\\') {
            *p = '\0';
            break;
        }
    }

    OutputDir = copy_string(DEFAULT_DIR);
    ask_directory(list);
    prepare_directory();

    say("-uncompress install.lst\n");
    compose(src, InputDir, "install.lst", ".gz");
    compose(dst, OutputDir, "install.lst", "");
    FileUnCompress(src, dst);
    os_chmod(dst, 0644);

    say("-open install.lst\n");
    snprintf(list, sizeof list, "%s/install.lst", OutputDir);
    NativeName(list);
    FILE *lst = os_fopen(list, "r");
    if (!lst)
        FatalError("can't find install.lst");
    rewind(lst);

    int mode = DEFAULT_DIR_MODE;
    while (GetNextDir(lst, list, LIST_BUF_SIZE, &mode)) {
        check_name(list);
        compose(dst, OutputDir, list, "");
        printf("-create directory: %s\n", list);
        fflush(stdout);
        MakeComposedDir(dst);
        os_chmod(dst, mode);
    }

    rewind(lst);
    mode = DEFAULT_FILE_MODE;
    while (GetNextFile(lst, list, LIST_BUF_SIZE, &mode)) {
        check_name(list);
        compose(src, InputDir, list, ".gz");
        compose(dst, OutputDir, list, "");
        printf("-uncompress file: %s\n", list);
        fflush(stdout);
        FileUnCompress(src, dst);
        os_chmod(dst, mode);
    }
    fclose(lst);

    say("\n\nInstallation ended with success :-) !\n");
    printf("To go on: start the program \"%s%cbin%ckohelp\"\n", OutputDir, '\\', '\\');
    fflush(stdout);
    say("and read the chapter \"Introduction to Kovra\"\n");
    say("Ok? (CR)\n");
    say("... and don't worry if windows will prompt : this program might not have installed correctly\n");
    say("It is!!!\n");
    getchar();
    return 0;
}
