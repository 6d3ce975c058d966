/*
 * gui_icon.cpp: icons and frame windows of the POSIX emulation.
 *
 * The executable embeds its .ico files and registers them by resource name
 * (kv_register_icon, from generated code run before main).  LoadIconA
 * decodes the first image of a group (32 x 32, 4 bits per pixel with its
 * 16-colour palette and AND mask) into ARGB pixels; the HICON is the
 * image's number plus one.  GetParent finds the frame that Tk puts around
 * a toplevel (its wrapper window); SetClassLongA with GCL_HICON writes the
 * icon into the frame's _NET_WM_ICON and WM_HINTS, where window managers
 * and task bars read it.  These use one X connection of their own, opened
 * on first use and kept, so that the icon pixmap stays valid.
 */
#include "win_gui.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

struct kv_icon_res {
    std::string name;
    const unsigned char *ico;
    size_t size;
};

struct kv_icon {
    std::string name;
    int width, height;
    std::vector<uint32_t> argb; /* rows from the top */
};

static std::vector<kv_icon_res> &icon_resources()
{
    static std::vector<kv_icon_res> resources;
    return resources;
}
static std::vector<kv_icon> kv_icons;
static std::mutex kv_gui_lock;
static Display *kv_display;

void kv_register_icon(const char *name, const unsigned char *ico, size_t size)
{
    icon_resources().push_back({name, ico, size});
}

HMODULE GetModuleHandleA(LPCSTR name)
{
    /* Any non-null value names the executable; there are no other modules. */
    static char self;
    return name ? nullptr : reinterpret_cast<HMODULE>(&self);
}

static uint32_t le32(const unsigned char *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
static uint16_t le16(const unsigned char *p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

/* Decodes the first image of an .ico file; false if it is not 4-bit. */
static bool decode_ico(const unsigned char *ico, size_t size, kv_icon &out)
{
    if (size < 22 || le16(ico) != 0 || le16(ico + 2) != 1 || le16(ico + 4) < 1)
        return false;
    uint32_t bytes = le32(ico + 14), offset = le32(ico + 18);
    if (offset > size || bytes > size - offset || bytes < 40)
        return false;
    const unsigned char *bmp = ico + offset;
    int32_t w = (int32_t)le32(bmp + 4), h2 = (int32_t)le32(bmp + 8);
    uint16_t bits = le16(bmp + 14);
    uint32_t header = le32(bmp);
    if (bits != 4 || w <= 0 || w > 256 || h2 <= 0 || h2 % 2 || h2 / 2 > 256 || header < 40)
        return false;
    int h = h2 / 2;
    size_t xor_row = (size_t)((w * 4 + 31) / 32 * 4), and_row = (size_t)((w + 31) / 32 * 4);
    size_t need = header + 64 + xor_row * (size_t)h + and_row * (size_t)h;
    if (need > bytes)
        return false;
    const unsigned char *pal = bmp + header, *xr = pal + 64, *ar = xr + xor_row * (size_t)h;
    out.width = w;
    out.height = h;
    out.argb.assign((size_t)(w * h), 0);
    for (int y = 0; y < h; y++) {
        int row = h - 1 - y; /* bitmaps are stored bottom-up */
        for (int x = 0; x < w; x++) {
            unsigned char byte = xr[xor_row * (size_t)row + (size_t)(x / 2)];
            unsigned idx = x % 2 ? byte & 15u : byte >> 4;
            bool clear = ar[and_row * (size_t)row + (size_t)(x / 8)] >> (7 - x % 8) & 1;
            const unsigned char *c = pal + idx * 4; /* blue, green, red, 0 */
            out.argb[(size_t)(y * w + x)] =
                clear ? 0u : 0xFF000000u | (uint32_t)c[2] << 16 | (uint32_t)c[1] << 8 | c[0];
        }
    }
    return true;
}

HICON LoadIconA(HINSTANCE module, LPCSTR name)
{
    if (!module || !name)
        return nullptr;
    std::lock_guard<std::mutex> hold(kv_gui_lock);
    /* Like the system's, a loaded icon is shared: the same name, the same handle. */
    for (size_t i = 0; i < kv_icons.size(); i++)
        if (kv_icons[i].name == name)
            return reinterpret_cast<HICON>((uintptr_t)(i + 1));
    for (const kv_icon_res &res : icon_resources()) {
        if (res.name != name)
            continue;
        kv_icon icon;
        if (!decode_ico(res.ico, res.size, icon))
            return nullptr;
        icon.name = name;
        kv_icons.push_back(icon);
        return reinterpret_cast<HICON>((uintptr_t)kv_icons.size());
    }
    return nullptr;
}

/* The connection of this unit; null when no display can be opened. */
static Display *gui_display()
{
    if (!kv_display)
        kv_display = XOpenDisplay(nullptr);
    return kv_display;
}

HWND GetParent(HWND window)
{
    std::lock_guard<std::mutex> hold(kv_gui_lock);
    Display *d = gui_display();
    if (!d || !window)
        return nullptr;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    /* A window id that is not (or no longer) valid must not end the process. */
    XErrorHandler old = XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
    Status ok = XQueryTree(d, (Window)(uintptr_t)window, &root, &parent, &children, &count);
    XSync(d, False);
    XSetErrorHandler(old);
    if (children)
        XFree(children);
    /* Until Tk has made the wrapper, the toplevel hangs from the root. */
    if (!ok || parent == 0 || parent == root)
        return nullptr;
    return reinterpret_cast<HWND>((uintptr_t)parent);
}

static void set_wm_icon(Display *d, Window frame, const kv_icon &icon)
{
    std::vector<unsigned long> data;
    data.push_back((unsigned long)icon.width);
    data.push_back((unsigned long)icon.height);
    for (uint32_t px : icon.argb)
        data.push_back(px);
    Atom net_icon = XInternAtom(d, "_NET_WM_ICON", False);
    XChangeProperty(d, frame, net_icon, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char *>(data.data()), (int)data.size());

    /* WM_HINTS: an icon pixmap and its mask, beside what Tk put there. */
    int screen = DefaultScreen(d);
    int depth = DefaultDepth(d, screen);
    Pixmap pix = XCreatePixmap(d, frame, (unsigned)icon.width, (unsigned)icon.height, (unsigned)depth);
    Pixmap mask = XCreatePixmap(d, frame, (unsigned)icon.width, (unsigned)icon.height, 1);
    GC gc = XCreateGC(d, pix, 0, nullptr);
    GC mgc = XCreateGC(d, mask, 0, nullptr);
    Visual *visual = DefaultVisual(d, screen);
    for (int y = 0; y < icon.height; y++) {
        for (int x = 0; x < icon.width; x++) {
            uint32_t px = icon.argb[(size_t)(y * icon.width + x)];
            XColor c{};
            c.red = (unsigned short)((px >> 16 & 255) * 257);
            c.green = (unsigned short)((px >> 8 & 255) * 257);
            c.blue = (unsigned short)((px & 255) * 257);
            if (visual->c_class == TrueColor)
                c.pixel = (((unsigned long)c.red >> 8) << 16) | (((unsigned long)c.green >> 8) << 8) |
                          ((unsigned long)c.blue >> 8);
            else if (!XAllocColor(d, DefaultColormap(d, screen), &c))
                c.pixel = BlackPixel(d, screen);
            XSetForeground(d, gc, c.pixel);
            XDrawPoint(d, pix, gc, x, y);
            XSetForeground(d, mgc, px >> 24 ? 1 : 0);
            XDrawPoint(d, mask, mgc, x, y);
        }
    }
    XFreeGC(d, gc);
    XFreeGC(d, mgc);
    XWMHints *hints = XGetWMHints(d, frame);
    XWMHints fresh{};
    XWMHints *h = hints ? hints : &fresh;
    h->flags |= IconPixmapHint | IconMaskHint;
    h->icon_pixmap = pix;
    h->icon_mask = mask;
    XSetWMHints(d, frame, h);
    if (hints)
        XFree(hints);
}

DWORD SetClassLongA(HWND window, int index, LONG value)
{
    if (index != GCL_HICON || !window)
        return 0;
    std::lock_guard<std::mutex> hold(kv_gui_lock);
    Display *d = gui_display();
    size_t number = (size_t)(ULONG_PTR)value;
    if (!d || number == 0 || number > kv_icons.size())
        return 0;
    XErrorHandler old = XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
    set_wm_icon(d, (Window)(uintptr_t)window, kv_icons[number - 1]);
    XSync(d, False);
    XSetErrorHandler(old);
    return 0;
}
