#!/usr/bin/env python3
"""Helpers of scripts/bench.sh: X event timing, window waits, test pictures and the report.

  trial   --bmp F --colour R,G,B --remote WxH --preview WxH [--timeout S]
          Puts F on the X clipboard with xclip and times, from the moment the clipboard's owner
          changes (XFixes selection event), the first top-level window of the remote's size to be
          mapped, and the first window of the preview's size to be mapped with the picture's
          colour on screen at its centre and four points around it. Prints one JSON line.
  gone    --size WxH [--size WxH ...] [--timeout S]   waits until no such window is viewable
  menu    X Y KEY...   right-clicks at X,Y, waits for the pop-up menu, types the keys
  bmp     FILE W H (--colour R,G,B | --noise)         writes a 24-bit bottom-up BMP
  report  RESULTS [--markdown]                         prints the table of figures

Xlib through ctypes (libX11 and libXfixes are on any machine that runs Wine), so nothing has to
be compiled for the host.
"""
import argparse
import ctypes
import json
import os
import select
import statistics
import struct
import subprocess
import sys
import time

# --- Xlib ------------------------------------------------------------------------------------
MAP_NOTIFY, UNMAP_NOTIFY, CONFIGURE_NOTIFY, DESTROY_NOTIFY = 19, 18, 22, 17
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
IS_VIEWABLE = 2
Z_PIXMAP = 2


class X:
    def __init__(self):
        self.lib = ctypes.CDLL('libX11.so.6')
        lib = self.lib
        lib.XOpenDisplay.restype = ctypes.c_void_p
        lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        lib.XDefaultRootWindow.restype = ctypes.c_ulong
        lib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        lib.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        lib.XInternAtom.restype = ctypes.c_ulong
        lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        lib.XPending.argtypes = [ctypes.c_void_p]
        lib.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        lib.XConnectionNumber.argtypes = [ctypes.c_void_p]
        lib.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        lib.XFlush.argtypes = [ctypes.c_void_p]
        lib.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p]
        lib.XGetImage.restype = ctypes.c_void_p
        lib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                  ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        lib.XGetPixel.restype = ctypes.c_ulong
        lib.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        lib.XDestroyImage.argtypes = [ctypes.c_void_p]
        lib.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p,
                                   ctypes.c_void_p, ctypes.c_void_p, ctypes.c_void_p]
        lib.XFree.argtypes = [ctypes.c_void_p]
        # Windows vanish between an event and our question about them: ignore the errors instead
        # of letting Xlib's default handler end the process.
        handler_type = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
        self._handler = handler_type(lambda d, e: 0)
        lib.XSetErrorHandler(self._handler)

        self.d = lib.XOpenDisplay(None)
        if not self.d:
            sys.exit('benchtool: cannot open the X display')
        self.root = lib.XDefaultRootWindow(self.d)
        self.fd = lib.XConnectionNumber(self.d)
        self.ev = ctypes.create_string_buffer(192)

    def attributes(self, window):
        """(x, y, w, h, viewable) or None when the window is gone."""
        buf = ctypes.create_string_buffer(136)
        if not self.lib.XGetWindowAttributes(self.d, window, buf):
            return None
        x, y, w, h = struct.unpack_from('iiii', buf, 0)
        (map_state,) = struct.unpack_from('i', buf, 92)
        return x, y, w, h, map_state == IS_VIEWABLE

    def toplevels(self):
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, n = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        if not self.lib.XQueryTree(self.d, self.root, ctypes.byref(root), ctypes.byref(parent),
                                   ctypes.byref(children), ctypes.byref(n)):
            return []
        ids = [children[i] for i in range(n.value)]
        if children:
            self.lib.XFree(children)
        return ids

    def viewable(self):
        out = {}
        for w in self.toplevels():
            a = self.attributes(w)
            if a and a[4]:
                out[w] = a[:4]
        return out

    def pixel(self, x, y):
        img = self.lib.XGetImage(self.d, self.root, x, y, 1, 1, 0xFFFFFFFF, Z_PIXMAP)
        if not img:
            return None
        p = self.lib.XGetPixel(img, 0, 0)
        self.lib.XDestroyImage(img)
        return (p >> 16) & 255, (p >> 8) & 255, p & 255

    def next_event(self, timeout):
        """The next event as raw bytes, or None when `timeout` seconds pass without one."""
        if not self.lib.XPending(self.d):
            r, _, _ = select.select([self.fd], [], [], max(0.0, timeout))
            if not r or not self.lib.XPending(self.d):
                return None
        self.lib.XNextEvent(self.d, self.ev)
        return self.ev.raw


def size_arg(text):
    w, h = text.lower().split('x')
    return int(w), int(h)


def colour_arg(text):
    return tuple(int(v) for v in text.split(','))


def near(a, b, tolerance=40):
    return a is not None and all(abs(p - q) <= tolerance for p, q in zip(a, b))


# --- trial ---------------------------------------------------------------------------------------
def trial(args):
    x = X()
    lib = x.lib
    xfixes = ctypes.CDLL('libXfixes.so.3')
    xfixes.XFixesQueryExtension.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_void_p]
    xfixes.XFixesSelectSelectionInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                                  ctypes.c_ulong, ctypes.c_ulong]
    event_base, error_base = ctypes.c_int(), ctypes.c_int()
    have_xfixes = bool(xfixes.XFixesQueryExtension(x.d, ctypes.byref(event_base),
                                                   ctypes.byref(error_base)))
    clipboard = lib.XInternAtom(x.d, b'CLIPBOARD', 0)
    lib.XSelectInput(x.d, x.root, SUBSTRUCTURE_NOTIFY_MASK)
    if have_xfixes:
        xfixes.XFixesSelectSelectionInput(x.d, x.root, clipboard, 1)  # SetSelectionOwner
    lib.XSync(x.d, 0)

    remote, preview = args.remote, args.preview
    t_launch = time.monotonic()
    xclip = subprocess.Popen(['xclip', '-quiet', '-selection', 'clipboard', '-t', 'image/bmp',
                              '-i', args.bmp], stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                             start_new_session=True)
    t_sel = None if have_xfixes else t_launch
    t_remote = t_mapped = t_preview = None
    geometry = {}  # mapped top-level windows: id -> [x, y, w, h]
    target = None  # the preview window
    deadline = t_launch + args.timeout
    probes = [(0, 0), (-100, -60), (100, -60), (-100, 60), (100, 60)]

    def consider(window, now):
        nonlocal t_remote, t_mapped, target
        if t_sel is None:
            return
        w, h = geometry[window][2:]
        if (w, h) == remote and t_remote is None:
            t_remote = now
        if (w, h) == preview and target is None:
            target, t_mapped = window, now

    while time.monotonic() < deadline and (t_remote is None or t_preview is None):
        polling = target is not None and t_preview is None
        raw = x.next_event(0.001 if polling else deadline - time.monotonic())
        now = time.monotonic()
        if raw is not None:
            (etype,) = struct.unpack_from('i', raw, 0)
            etype &= 0x7F
            if have_xfixes and etype == event_base.value:
                (selection,) = struct.unpack_from('L', raw, 56)
                if selection == clipboard and t_sel is None:
                    t_sel = now
            elif etype == MAP_NOTIFY:
                (window,) = struct.unpack_from('L', raw, 40)
                a = x.attributes(window)
                if a:
                    geometry[window] = list(a[:4])
                    consider(window, now)
            elif etype == CONFIGURE_NOTIFY:
                (window,) = struct.unpack_from('L', raw, 40)
                if window in geometry:
                    geometry[window] = list(struct.unpack_from('iiii', raw, 48))
                    consider(window, now)
            elif etype in (UNMAP_NOTIFY, DESTROY_NOTIFY):
                (window,) = struct.unpack_from('L', raw, 40)
                geometry.pop(window, None)
                if window == target:
                    target = None
        if target is not None and t_preview is None and target in geometry:
            gx, gy, gw, gh = geometry[target]
            cx, cy = gx + gw // 2, gy + gh // 2
            if all(near(x.pixel(cx + dx, cy + dy), args.colour) for dx, dy in probes):
                t_preview = time.monotonic()

    def ms(t):
        return None if t is None or t_sel is None else round((t - t_sel) * 1000, 1)

    print(json.dumps({'xclip_pid': xclip.pid,
                      'xfixes': have_xfixes,
                      'selection_ms': None if t_sel is None else round((t_sel - t_launch) * 1000, 1),
                      'remote_ms': ms(t_remote), 'preview_mapped_ms': ms(t_mapped),
                      'preview_ms': ms(t_preview)}))
    return 0 if t_remote is not None and t_preview is not None else 1


# --- gone, menu -----------------------------------------------------------------------------------
def gone(args):
    x = X()
    sizes = set(args.size)
    deadline = time.monotonic() + args.timeout
    while time.monotonic() < deadline:
        if not any((g[2], g[3]) in sizes for g in x.viewable().values()):
            return 0
        time.sleep(0.02)
    return 1


def menu(args):
    x = X()
    before = set(x.viewable())
    subprocess.run(['xdotool', 'mousemove', str(args.x), str(args.y), 'click', '3'], check=True)
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline:
        if set(x.viewable()) - before:
            time.sleep(0.3)  # the menu takes keys once its loop runs
            if args.keys:
                subprocess.run(['xdotool', 'key', '--delay', '150'] + args.keys, check=True)
            return 0
        time.sleep(0.02)
    return 1


# --- bmp ----------------------------------------------------------------------------------------
def bmp(args):
    w, h = args.width, args.height
    stride = (w * 3 + 3) & ~3
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, stride * h, 2835, 2835, 0, 0)
    head = struct.pack('<2sIHHI', b'BM', 14 + len(info) + stride * h, 0, 0, 14 + len(info))
    with open(args.file, 'wb') as f:
        f.write(head + info)
        if args.noise:
            # Photo-like for the printer: no two rows alike, nothing a run-length coder can fold.
            block = 64
            for y in range(0, h, block):
                rows = min(block, h - y)
                f.write(os.urandom(stride * rows))
        else:
            r, g, b = args.colour
            row = bytes((b, g, r)) * w + b'\0' * (stride - w * 3)
            chunk = row * 64
            for y in range(0, h, 64):
                f.write(chunk if h - y >= 64 else row * (h - y))
    return 0


# --- report -------------------------------------------------------------------------------------
def report(args):
    """RESULTS holds one JSON object a line: {"figure", "subject" ("tessary"|"floor"), "value"},
    or {"figure", "note"} for lines printed as they are."""
    values, notes, order = {}, {}, []
    with open(args.results) as f:
        for line in f:
            line = line.strip()
            if not line:
                continue
            r = json.loads(line)
            fig = r['figure']
            if fig not in order:
                order.append(fig)
            if 'note' in r:
                notes.setdefault(fig, []).append(r['note'])
            elif r.get('value') is not None:
                values.setdefault(fig, {}).setdefault(r['subject'], []).append(float(r['value']))

    figures = {
        'remote': ('clipboard change -> ClipRemort mapped', 'ms', 'near20'),
        'preview': ('clipboard change -> preview shows picture', 'ms', 'near20'),
        'print12': ('12 MP print, command -> end of document, floor from the clipboard', 'ms', 'print'),
        'print12_file': ('12 MP print, command -> end of document, floor from the file', 'ms', 'info'),
        'print12_cpu': ('12 MP print, CPU time of the process, floor from the clipboard', 'ms', 'info'),
        'print12_peak': ('12 MP print, peak memory of the process', 'MiB', 'info'),
        'idle_cpu': ('idle CPU time per 60 s', 'ms', 'cpu'),
        'idle_wakeups': ('idle context switches per 60 s', '', 'info'),
        'idle_rss': ('idle resident memory (VmRSS)', 'MiB', 'memory'),
        'big_remote': ('8000 x 8000: clipboard change -> ClipRemort mapped', 'ms', 'latency'),
        'big_first_preview': ('8000 x 8000: first preview after a fresh start', 'ms', 'first'),
        'big_preview': ('8000 x 8000: clipboard change -> preview shows picture', 'ms', 'share'),
        'big_clip_held': ('8000 x 8000: clipboard held while the preview opens', 'ms', 'near'),
        'resample': ('8000 x 8000: resample alone, now (floor column: before)', 'ms', 'info'),
        'dpi_remote': ('WM_DPICHANGED -> remote control repainted (144, 192, 96 DPI)', 'ms', 'dpi'),
        'dpi_preview65': ('WM_DPICHANGED -> 65-inch preview repainted, artwork alone', 'ms', 'dpi'),
        'dpi_preview65_picture': ('WM_DPICHANGED -> 65-inch preview repainted, 1920 x 1080 picture', 'ms', 'info'),
        'resample_copy': ('8000 x 8000: copy of the block out of the clipboard', 'ms', 'info'),
        'big_preview_peak': ('8000 x 8000: peak memory of the preview', 'MiB', 'near'),
        'big_print_peak': ('8000 x 8000: peak memory of the print', 'MiB', 'near'),
    }
    # Met when Tessary's median <= factor x the floor's + slack.
    targets = {
        'latency': (1.3, 50, '<= 1.3 x floor + 50 ms (%.0f)'),
        'near20': (1, 20, '<= floor + 20 ms (%.0f)'),
        'first': (1.1, 0, '<= 1.1 x floor (%.0f)'),
        # Tessary's own share on top of the floor viewer's transfer.
        'share': (1, 100, '<= floor + 100 ms (%.0f)'),
        'near': (1.1, 0, '<= floor + 10 %% (%.0f)'),
        'print': (1.05, 0, '<= 1.05 x floor (%.0f)'),
        # Indistinguishable: within 3 clock ticks (30 ms, 0.05 % of a CPU) of the floor.
        'cpu': (1, 30, '<= floor + 30 ms (%.0f)'),
        'memory': (1.15, 0, '<= 1.15 x floor (%.1f)'),
    }

    def summary(v):
        if not v:
            return None
        v = sorted(v)
        return statistics.median(v), v[0], v[-1], len(v)

    def fmt(s, unit):
        if s is None:
            return 'n/a'
        med, lo, hi, n = s
        digits = 2 if unit == 'MiB' else (0 if max(abs(lo), abs(hi)) >= 100 else 1)
        f = '%%.%df' % digits
        return (f % med) + ' [' + (f % lo) + '-' + (f % hi) + '] n=%d' % n

    rows = []
    failed = 0
    for fig in order:
        if fig not in figures:
            continue
        title, unit, kind = figures[fig]
        t = summary(values.get(fig, {}).get('tessary'))
        fl = summary(values.get(fig, {}).get('floor'))
        ratio, diff, target, verdict = '', '', '', ''
        if t and fl and fl[0] > 0:
            ratio = '%.2f' % (t[0] / fl[0])
        if t and fl:
            diff = ('%+.0f' if unit == 'ms' else '%+.1f') % (t[0] - fl[0])
        if t and fl and kind in targets:
            factor, slack, text = targets[kind]
            limit = factor * fl[0] + slack
            target = text % limit
            verdict = 'met' if t[0] <= limit else 'MISSED'
            failed += t[0] > limit
        if t and kind == 'dpi':
            # No floor program has windows to re-lay out: an absolute goal.
            target = '< 50 ms'
            verdict = 'met' if t[0] < 50 else 'MISSED'
            failed += t[0] >= 50
        name = title + (' (%s)' % unit if unit else '')
        rows.append((name, fmt(t, unit), fmt(fl, unit), ratio, diff, target, verdict))

    head = ('figure', 'Tessary median [min-max]', 'floor median [min-max]', 'ratio',
            'Tessary - floor', 'target', 'result')
    if args.markdown:
        for r in [head, ('---',) * len(head)] + rows:
            print('| ' + ' | '.join(r) + ' |')
        for fig in order:
            for note in notes.get(fig, []):
                print('- ' + note)
        return 1 if failed else 0
    widths = [max(len(r[i]) for r in rows + [head]) for i in range(len(head))]
    line = '  '.join('-' * w for w in widths)
    print(line)
    print('  '.join(h.ljust(w) for h, w in zip(head, widths)))
    print(line)
    for r in rows:
        print('  '.join(c.ljust(w) for c, w in zip(r, widths)))
    print(line)
    for fig in order:
        for note in notes.get(fig, []):
            print(note)
    return 1 if failed else 0


def main():
    p = argparse.ArgumentParser()
    sub = p.add_subparsers(dest='cmd', required=True)
    t = sub.add_parser('trial')
    t.add_argument('--bmp', required=True)
    t.add_argument('--colour', type=colour_arg, required=True)
    t.add_argument('--remote', type=size_arg, required=True)
    t.add_argument('--preview', type=size_arg, required=True)
    t.add_argument('--timeout', type=float, default=30)
    g = sub.add_parser('gone')
    g.add_argument('--size', type=size_arg, action='append', required=True)
    g.add_argument('--timeout', type=float, default=10)
    m = sub.add_parser('menu')
    m.add_argument('x', type=int)
    m.add_argument('y', type=int)
    m.add_argument('keys', nargs='*')
    b = sub.add_parser('bmp')
    b.add_argument('file')
    b.add_argument('width', type=int)
    b.add_argument('height', type=int)
    b.add_argument('--colour', type=colour_arg, default=(128, 128, 128))
    b.add_argument('--noise', action='store_true')
    r = sub.add_parser('report')
    r.add_argument('results')
    r.add_argument('--markdown', action='store_true', help='the table in Markdown')
    args = p.parse_args()
    return {'trial': trial, 'gone': gone, 'menu': menu, 'bmp': bmp, 'report': report}[args.cmd](args)


if __name__ == '__main__':
    sys.exit(main())
