#!/usr/bin/python3
"""Time from a click (or a command) to the first frame of a window drawn in a screen region.

    first_frame.py click X Y REGION      clicks at X,Y with the XTEST extension
    first_frame.py run REGION -- CMD...  starts CMD

REGION is X,Y,WIDTH,HEIGHT: a strip of the screen that the window covers once drawn. The strip
is read back from the X server about once a millisecond; the time printed (milliseconds) is the
first reading in which nine tenths of its pixels differ from what was there before. A window
mapped but not drawn yet shows what was under it, so this is the frame on screen, not the map.
With --colour, the colours then seen go to standard error, to check that it was the window.
"""
import ctypes
import subprocess
import sys
import time

x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
xtst = ctypes.cdll.LoadLibrary("libXtst.so.6")


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_ubyte)),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int), ("red_mask", ctypes.c_ulong),
                ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong),
                ("obdata", ctypes.c_void_p), ("create_image", ctypes.c_void_p),
                ("destroy_image", ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p))]


x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XGetImage.restype = ctypes.POINTER(XImage)
x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                          ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                      ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                      ctypes.c_ulong]

display = x11.XOpenDisplay(None)
if not display:
    sys.exit("no X display")
root = x11.XDefaultRootWindow(display)


def grab(region):
    x, y, w, h = region
    image = x11.XGetImage(display, root, x, y, w, h, 0xFFFFFFFF, 2)  # ZPixmap
    rows = [bytes(image.contents.data[r * image.contents.bytes_per_line:
                                      r * image.contents.bytes_per_line + w * 4])
            for r in range(h)]
    image.contents.destroy_image(ctypes.cast(image, ctypes.c_void_p))
    return [row[i:i + 3] for row in rows for i in range(0, len(row), 4)]


def main():
    mode = sys.argv[1]
    if mode == "click":
        px, py = int(sys.argv[2]), int(sys.argv[3])
        region = tuple(int(v) for v in sys.argv[4].split(","))
    else:
        region = tuple(int(v) for v in sys.argv[2].split(","))
        command = sys.argv[sys.argv.index("--") + 1:]
    before = grab(region)
    if mode == "click":
        xtst.XTestFakeMotionEvent(display, -1, px, py, 0)
        x11.XSync(display, 0)
        start = time.monotonic()
        xtst.XTestFakeButtonEvent(display, 1, 1, 0)
        xtst.XTestFakeButtonEvent(display, 1, 0, 0)
        x11.XSync(display, 0)
    else:
        start = time.monotonic()
        subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while time.monotonic() - start < 10:
        now = grab(region)
        changed = sum(1 for a, b in zip(before, now) if a != b)
        if changed * 10 >= len(now) * 9:
            print(round((time.monotonic() - start) * 1000))
            if "--colour" in sys.argv:
                print(sorted(set(now))[:5], file=sys.stderr)
            return
        time.sleep(0.0005)
    sys.exit("nothing was drawn in the region within 10 s")


main()
