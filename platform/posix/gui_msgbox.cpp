/*
 * gui_msgbox.cpp: MessageBoxA and MessageBeep of the POSIX emulation.
 *
 * The text always goes to standard error first ("caption: text"), so that
 * it is seen when no display can be opened and so that tests can read it.
 * With a display, a small modal box shows the caption as its title, the
 * text line by line and an OK button; a click on the button, Return,
 * Escape, space or the window manager's close ends it.  The box reads no
 * setting of its own: a test closes it by sending Return to it.
 */
#include "win_gui.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/Xatom.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

BOOL MessageBeep(UINT)
{
    Display *d = XOpenDisplay(nullptr);
    if (!d)
        return FALSE;
    XBell(d, 0);
    XCloseDisplay(d);
    return TRUE;
}

static std::vector<std::string> split_lines(const char *text)
{
    std::vector<std::string> lines(1);
    for (const char *p = text; *p; p++) {
        if (*p == '\n')
            lines.emplace_back();
        else if (*p != '\r')
            lines.back() += *p;
    }
    return lines;
}

struct kv_box {
    Display *d;
    Window w;
    GC gc;
    XFontStruct *font;
    std::vector<std::string> lines;
    int width, height, line_h;
    int bx, by, bw, bh; /* the OK button */
};

static void draw_box(kv_box &b)
{
    XClearWindow(b.d, b.w);
    int y = 16 + b.font->ascent;
    for (const std::string &line : b.lines) {
        XDrawString(b.d, b.w, b.gc, 16, y, line.c_str(), (int)line.size());
        y += b.line_h;
    }
    XDrawRectangle(b.d, b.w, b.gc, b.bx, b.by, (unsigned)b.bw, (unsigned)b.bh);
    int tw = XTextWidth(b.font, "OK", 2);
    XDrawString(b.d, b.w, b.gc, b.bx + (b.bw - tw) / 2,
                b.by + (b.bh + b.font->ascent - b.font->descent) / 2, "OK", 2);
    XFlush(b.d);
}

/* Shows the box and waits until it is closed. */
static void run_box(Display *d, const char *text, const char *caption)
{
    kv_box b{};
    b.d = d;
    b.font = XLoadQueryFont(d, "fixed");
    if (!b.font)
        return;
    b.lines = split_lines(text);
    b.line_h = b.font->ascent + b.font->descent + 2;
    int text_w = 0;
    for (const std::string &line : b.lines)
        text_w = std::max(text_w, XTextWidth(b.font, line.c_str(), (int)line.size()));
    b.bw = 80;
    b.bh = b.line_h + 10;
    b.width = std::max(text_w + 32, 200);
    b.height = 16 + (int)b.lines.size() * b.line_h + 16 + b.bh + 12;
    b.bx = (b.width - b.bw) / 2;
    b.by = b.height - b.bh - 12;

    int screen = DefaultScreen(d);
    b.w = XCreateSimpleWindow(d, RootWindow(d, screen), 100, 100, (unsigned)b.width,
                              (unsigned)b.height, 1, BlackPixel(d, screen),
                              WhitePixel(d, screen));
    XStoreName(d, b.w, caption);
    XClassHint hint = {const_cast<char *>("kvmsgbox"), const_cast<char *>("KvMsgBox")};
    XSetClassHint(d, b.w, &hint);
    Atom wm_delete = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, b.w, &wm_delete, 1);
    Atom type = XInternAtom(d, "_NET_WM_WINDOW_TYPE", False);
    Atom dialog = XInternAtom(d, "_NET_WM_WINDOW_TYPE_DIALOG", False);
    XChangeProperty(d, b.w, type, XA_ATOM, 32, PropModeReplace,
                    (unsigned char *)&dialog, 1);
    XSelectInput(d, b.w, ExposureMask | KeyPressMask | ButtonPressMask | StructureNotifyMask);
    b.gc = XCreateGC(d, b.w, 0, nullptr);
    XSetFont(d, b.gc, b.font->fid);
    XSetForeground(d, b.gc, BlackPixel(d, screen));
    XMapRaised(d, b.w);

    for (bool open = true; open;) {
        XEvent ev;
        XNextEvent(d, &ev);
        switch (ev.type) {
        case MapNotify:
            /* Takes the keyboard, so that Return reaches the box. */
            XSetInputFocus(d, b.w, RevertToParent, CurrentTime);
            break;
        case Expose:
            if (ev.xexpose.count == 0)
                draw_box(b);
            break;
        case KeyPress: {
            KeySym key = XLookupKeysym(&ev.xkey, 0);
            if (key == XK_Return || key == XK_KP_Enter || key == XK_Escape || key == XK_space)
                open = false;
            break;
        }
        case ButtonPress:
            if (ev.xbutton.x >= b.bx && ev.xbutton.x < b.bx + b.bw &&
                ev.xbutton.y >= b.by && ev.xbutton.y < b.by + b.bh)
                open = false;
            break;
        case ClientMessage:
            if ((Atom)ev.xclient.data.l[0] == wm_delete)
                open = false;
            break;
        default:
            break;
        }
    }
    XFreeGC(d, b.gc);
    XDestroyWindow(d, b.w);
    XFreeFont(d, b.font);
    XSync(d, False);
}

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT)
{
    if (!text)
        text = "";
    if (!caption)
        caption = "Error";
    fprintf(stderr, "%s: %s\n", caption, text);
    fflush(stderr);
    Display *d = XOpenDisplay(nullptr);
    if (d) {
        run_box(d, text, caption);
        XCloseDisplay(d);
    }
    return IDOK;
}
