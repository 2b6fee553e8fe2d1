#!/usr/bin/python3
"""The main window under a real X server (Xvfb) and window manager (openbox),
driven by real pointer input (XTest): resizing from the right edge, double
clicks on the title bar, dragging the title bar, the custom axis window, and
closing the program while that window is open.

Usage: window_test.py OMBREL-SIM WIDGET-CENTRES
  OMBREL-SIM      the program with the simulated meter
  WIDGET-CENTRES  the helper that says where the window's buttons lie

Prints what it saw at each step; exits non-zero if any step failed.
"""
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from Xlib import X, display
from Xlib.error import XError
from Xlib.protocol import event

SCREEN = (1600, 1200)
TITLE_Y = 22      # the title bar is the band 5..39 px from the window's top
EDGE_DRAG = 60    # pixels the right edge is pulled outwards
MOVE = (60, 36)   # pixels the title bar is dragged

children = []
failures = []


def stop_children():
    for p in reversed(children):
        if p.poll() is None:
            p.kill()
            p.wait()


def on_signal(signum, _frame):
    stop_children()
    sys.exit(128 + signum)


def wait_for(condition, timeout):
    """Polls condition() until it returns something true; its last value."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() > end:
            return value
        time.sleep(0.05)


def check(step, ok, seen):
    print(('ok   ' if ok else 'FAIL ') + step + ': ' + seen, flush=True)
    if not ok:
        failures.append(step)


class Screen:
    """One connection to the X server: real input through XTest, windows as
    the window manager lists them, and round trips to the program."""

    def __init__(self, name):
        self.d = display.Display(name)
        self.root = self.d.screen().root
        self.atom = self.d.intern_atom
        self.d.xfixes_query_version()
        # The program answers pings by sending the ping back to the root.
        self.root.change_attributes(event_mask=X.StructureNotifyMask)
        self.pings = 0

    def wm_running(self):
        return self.root.get_full_property(self.atom('_NET_SUPPORTING_WM_CHECK'), X.AnyPropertyType)

    def windows(self, pid, title=None):
        """Mapped top-level windows of a process, optionally by title."""
        found = []
        clients = self.root.get_full_property(self.atom('_NET_CLIENT_LIST'), X.AnyPropertyType)
        for wid in clients.value if clients else []:
            w = self.d.create_resource_object('window', wid)
            try:
                owner = w.get_full_property(self.atom('_NET_WM_PID'), X.AnyPropertyType)
                name = w.get_full_property(self.atom('_NET_WM_NAME'), X.AnyPropertyType)
                if (owner and owner.value[0] == pid and w.get_attributes().map_state == X.IsViewable
                        and (title is None or (name and name.value.decode() == title))):
                    found.append(w)
            except XError:
                pass   # gone meanwhile
        return found

    def title(self, w):
        name = w.get_full_property(self.atom('_NET_WM_NAME'), X.AnyPropertyType)
        return name.value.decode() if name else '?'

    def geometry(self, w):
        """(x, y, width, height) of a window on the screen."""
        g = w.get_geometry()
        at = w.translate_coords(self.root, 0, 0)
        return (-at.x, -at.y, g.width, g.height)

    def settled(self, w):
        """The window's geometry once it has stopped changing for a second
        (a loaded machine may place and size a new window late)."""
        last = self.geometry(w)
        steady = 0
        end = time.monotonic() + 10
        while time.monotonic() < end and steady < 4:
            time.sleep(0.25)
            now = self.geometry(w)
            steady = steady + 1 if now == last else 0
            last = now
        return last

    def sync(self, w, timeout=10):
        """Waits until the program has handled all input sent so far. A ping
        is answered as soon as its X event is read; the input events read
        with it may still be waiting to reach the widgets, so ping twice."""
        for _ in range(2):
            self.pings += 1
            protocols = self.atom('WM_PROTOCOLS')
            ping = self.atom('_NET_WM_PING')
            w.send_event(event.ClientMessage(window=w, client_type=protocols,
                                             data=(32, [ping, self.pings, w.id, 0, 0])))
            self.d.flush()
            end = time.monotonic() + timeout
            while True:
                while self.d.pending_events():
                    e = self.d.next_event()
                    if (e.type == X.ClientMessage and e.client_type == protocols
                            and e.data[1][0] == ping and e.data[1][1] == self.pings):
                        break
                else:
                    left = end - time.monotonic()
                    if left <= 0:
                        return False
                    select.select([self.d.fileno()], [], [], left)
                    continue
                break
        return True

    def cursor(self):
        """The pointer's current image, as the X server shows it."""
        c = self.d.xfixes_get_cursor_image(self.root)
        return (c.width, c.height, c.xhot, c.yhot, tuple(c.cursor_image))

    def move_to(self, x, y):
        self.d.xtest_fake_input(X.MotionNotify, x=x, y=y)
        self.d.sync()

    def glide(self, x0, y0, x1, y1, steps=6):
        """Moves the pointer in steps, as a hand does."""
        for i in range(1, steps + 1):
            self.move_to(x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)
            time.sleep(0.03)

    def button(self, down):
        self.d.xtest_fake_input(X.ButtonPress if down else X.ButtonRelease, 1)
        self.d.sync()

    def click(self, times=1):
        for i in range(times):
            if i:
                time.sleep(0.1)
            self.button(True)
            self.button(False)

    def place(self, w, x, y, width, height):
        """Asks the window manager for a geometry, as a tool would."""
        w.configure(x=x, y=y, width=width, height=height)
        self.d.sync()
        want = (x, y, width, height)
        return wait_for(lambda: self.geometry(w) == want and want, 3) or self.settled(w)


def start_x(workdir, env):
    """Xvfb on a free display number, then openbox."""
    read, write = os.pipe()
    children.append(subprocess.Popen(
        ['Xvfb', '-displayfd', str(write), '-screen', '0', '%dx%dx24' % SCREEN, '-dpi', '96',
         '-nolisten', 'tcp'], pass_fds=[write], stdout=subprocess.DEVNULL,
        stderr=open(os.path.join(workdir, 'xvfb.log'), 'w')))
    os.close(write)
    with os.fdopen(read) as f:
        number = f.readline().strip()
    if not number:
        sys.exit('FAIL Xvfb did not start')
    env['DISPLAY'] = ':' + number
    screen = Screen(env['DISPLAY'])
    children.append(subprocess.Popen(['openbox', '--sm-disable'], env=env, stdout=subprocess.DEVNULL,
                                     stderr=open(os.path.join(workdir, 'openbox.log'), 'w')))
    if not wait_for(screen.wm_running, 10):
        sys.exit('FAIL openbox did not start')
    return screen


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    program, centres = map(os.path.abspath, sys.argv[1:])
    for tool in ('Xvfb', 'openbox'):
        if not shutil.which(tool):
            sys.exit('%s is missing (scripts/setup installs it)' % tool)
    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)

    # The program writes its settings file into its working directory.
    workdir = tempfile.mkdtemp(prefix='ombrel-x11-')
    # ... and keeps its run journal in a data folder of its own, never the
    # user's run history.
    env = dict(os.environ, QT_QPA_PLATFORM='xcb', ASAN_OPTIONS='detect_leaks=0', HOME=workdir,
               XDG_DATA_HOME=os.path.join(workdir, 'data'), XDG_CONFIG_HOME=os.path.join(workdir, 'config'))
    s = start_x(workdir, env)
    log = open(os.path.join(workdir, 'ombrel.log'), 'w')
    app = subprocess.Popen([program], cwd=workdir, env=env, stdout=log, stderr=subprocess.STDOUT)
    children.append(app)

    found = wait_for(lambda: s.windows(app.pid), 30)
    if not found:
        sys.exit('FAIL the main window did not appear within 30 s')
    win = found[0]
    if not s.sync(win, 30):
        sys.exit('FAIL the program does not answer')
    x, y, w, h = s.settled(win)
    print('main window "%s" at %d,%d size %dx%d' % (s.title(win), x, y, w, h), flush=True)

    # The pointer on each edge and corner of the window shows the resize
    # cursor of that direction: the images the X server shows, against those
    # of Qt's own cursors on a strip of squares.
    strip = subprocess.Popen([centres, '--cursors'], cwd=workdir, env=env, stdout=subprocess.PIPE, text=True)
    children.append(strip)
    strip_win = s.d.create_resource_object('window', int(strip.stdout.readline()))
    shapes = {}
    for i, shape in enumerate(('arrow', 'left-right', 'up-down', 'top-left to bottom-right',
                               'top-right to bottom-left')):
        s.move_to(100 * i + 50, 50)
        s.sync(strip_win)
        shapes[shape] = s.cursor()
    strip.kill()
    strip.wait()
    s.sync(win)
    check('the five cursors differ', len(set(shapes.values())) == 5,
          ', '.join('%s %dx%d hot spot %d,%d' % ((name,) + c[:4]) for name, c in shapes.items()))
    # Where the window is now that the strip has come and gone.
    x, y, w, h = s.settled(win)
    right, bottom = x + w - 1, y + h - 1
    for name, px, py, shape in (('right edge', right, y + h // 2, 'left-right'),
                                ('left edge', x, y + h // 2, 'left-right'),
                                ('top edge', x + w // 3, y, 'up-down'),
                                ('bottom edge', x + w // 2, bottom, 'up-down'),
                                ('top left corner', x, y, 'top-left to bottom-right'),
                                ('bottom right corner', right, bottom, 'top-left to bottom-right'),
                                ('top right corner', right, y, 'top-right to bottom-left'),
                                ('bottom left corner', x, bottom, 'top-right to bottom-left')):
        s.move_to(px, py)
        s.sync(win)
        seen = s.cursor()
        named = [n for n, c in shapes.items() if c == seen]
        check('the %s shows the %s cursor' % (name, shape), named == [shape],
              'seen %s' % (named[0] if named else '%dx%d hot spot %d,%d' % seen[:4]))
    # Further in (20 px from the right edge), whatever the widget there
    # shows, it is no resize cursor.
    s.move_to(right - 20, y + h // 2)
    s.sync(win)
    seen = s.cursor()
    named = [n for n, c in shapes.items() if c == seen]
    check('further in no resize cursor', named in ([], ['arrow']),
          'seen %s' % (named[0] if named else '%dx%d hot spot %d,%d' % seen[:4]))

    # Resize from the right edge: pressing on its outermost pixel column and
    # pulling outwards widens the window, its left edge stays.
    edge = (x + w - 1, y + h // 2)
    s.move_to(*edge)
    s.sync(win)
    s.button(True)
    s.sync(win)
    s.glide(*edge, edge[0] + EDGE_DRAG, edge[1])
    s.button(False)
    want = (x, y, w + EDGE_DRAG, h)
    got = wait_for(lambda: s.geometry(win) == want and want, 3) or s.settled(win)
    check('drag the right edge by %d px' % EDGE_DRAG, got == want, 'geometry %s, expected %s' % (got, want))

    # A known geometry for the next steps, whatever the last one did.
    x, y, w, h = start = s.place(win, 100, 80, w + 40, h)
    s.sync(win)

    # A double click on the title bar fills the screen, a second one restores.
    full = (0, 0) + SCREEN
    title = (x + w // 2, y + TITLE_Y)   # between the title labels and the buttons
    s.move_to(*title)
    s.sync(win)
    s.click(2)
    got = wait_for(lambda: s.geometry(win) == full and full, 3) or s.settled(win)
    check('double click on the title bar maximises', got == full, 'geometry %s, expected %s' % (got, full))
    if got == full:
        s.sync(win)
        s.move_to(w // 2, TITLE_Y)
        s.sync(win)
        s.click(2)
        got = wait_for(lambda: s.geometry(win) == start and start, 3) or s.settled(win)
        check('a second double click restores', got == start, 'geometry %s, expected %s' % (got, start))
        x, y, w, h = s.place(win, *start)
        s.sync(win)

    # Drag by the title bar: the window follows the pointer, its size stays.
    s.move_to(*title)
    s.sync(win)
    s.button(True)
    s.sync(win)
    s.glide(*title, title[0] + MOVE[0], title[1] + MOVE[1])
    s.button(False)
    want = (x + MOVE[0], y + MOVE[1], w, h)
    got = wait_for(lambda: s.geometry(win) == want and want, 3) or s.settled(win)
    check('drag the title bar by %s' % (MOVE,), got == want, 'geometry %s, expected %s' % (got, want))
    s.sync(win)
    x, y, w, h = s.settled(win)

    # Where the buttons lie at this size.
    out = subprocess.run([centres, str(w), str(h), 'disp_btn_RangCustom', 'btnMenu_Close'], cwd=workdir,
                         env=dict(env, QT_QPA_PLATFORM='offscreen'), capture_output=True, text=True,
                         timeout=60)
    if out.returncode != 0:
        sys.exit('FAIL %s: %s' % (centres, out.stderr.strip()))
    at = {name: (x + int(cx), y + int(cy)) for name, cx, cy in (l.split() for l in out.stdout.splitlines())}

    def click(name):
        s.move_to(*at[name])
        s.sync(win)
        s.click()
        s.sync(win)

    def shown():
        return [s.title(v) for v in s.windows(app.pid)]

    # The custom axis button opens its window, a second click hides it, a
    # third opens it again.
    custom = lambda: s.windows(app.pid, 'Custom Axis')
    click('disp_btn_RangCustom')
    opened = wait_for(custom, 3)
    check('the custom axis button opens its window', bool(opened), 'windows %s' % shown())
    if opened:
        click('disp_btn_RangCustom')
        check('a second click hides it', wait_for(lambda: not custom(), 3), 'windows %s' % shown())
        click('disp_btn_RangCustom')
        check('a third click shows it again', bool(wait_for(custom, 3)), 'windows %s' % shown())

    # Closing the main window ends the program, custom axis window or not.
    s.move_to(*at['btnMenu_Close'])
    s.sync(win)
    s.click()
    try:
        status = app.wait(timeout=8)
        check('the close button ends the program', status == 0, 'exit status %d' % status)
    except subprocess.TimeoutExpired:
        check('the close button ends the program', False,
              'still running 8 s after the click, windows %s' % shown())

    # The run went into this test's own data folder, never the user's.
    own = [os.path.join(d, f) for d, _, files in os.walk(env['XDG_DATA_HOME']) for f in files if f == 'runs.sqlite']
    check('the run is kept in the data folder of the test', bool(own), 'no runs.sqlite under %s' % env['XDG_DATA_HOME'])

    stop_children()
    if failures:
        print('window test: %d step(s) failed; program output in %s' % (len(failures), workdir))
        return 1
    shutil.rmtree(workdir, ignore_errors=True)
    print('window test: all steps passed')
    return 0


if __name__ == '__main__':
    try:
        sys.exit(main())
    finally:
        stop_children()
