#!/usr/bin/env python3
"""vellamy used as a person uses it: real key presses and clicks (xdotool) on the backdrop
in a Wine virtual desktop, with the stand-in GIMP's windows adopted. What each action did is
read back from the registry (wine reg) and from the windows themselves (vmyinspect.exe).

Arguments: the wine loader, the build's bin folder, a folder for screenshots.
Prints one line per test and "N passed, N failed" at the end; exits non-zero on a failure.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

WINE, BIN, SHOTS = sys.argv[1], sys.argv[2], sys.argv[3]
DESKTOP = "vmyui"
KEY = r"HKLM\SOFTWARE\GIMPVellamy"


def run(*args, check=False):
    return subprocess.run(args, capture_output=True, text=True, check=check,
                          stdin=subprocess.DEVNULL, timeout=60)


def wine(*args):
    return run(WINE, *args)


def inspect(*args):
    """Runs the inspector on the test's virtual desktop, where the backdrop is. Its output goes
    through a file: the desktop's own process may inherit a pipe and keep it open. A start that
    gets lost on a busy desktop is tried again."""
    for _ in range(3):
        text = inspect_once(*args)
        if text:
            return text
    return ""


def inspect_once(*args):
    fd, path = tempfile.mkstemp(suffix=".txt")
    os.close(fd)
    os.unlink(path)
    try:
        # Not waited for: when it finds no desktop of that name, it becomes the desktop.
        subprocess.Popen([WINE, "explorer", "/desktop=" + DESKTOP,
                          os.path.join(BIN, "vmyinspect.exe"), "--out",
                          "Z:" + os.path.abspath(path).replace("/", "\\"), *args],
                         stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
        end = time.time() + 20
        while time.time() < end:
            if os.path.exists(path):
                text = open(path, errors="replace").read()
                if text.endswith("end\n"):
                    return text
            time.sleep(0.1)
        return ""
    finally:
        if os.path.exists(path):
            os.unlink(path)


def children():
    """The backdrop's children, top of the Z order first: (title, left, top) each."""
    rows = []
    for line in inspect("children").splitlines():
        m = re.match(r"child hwnd=\w+ left=(-?\d+) top=(-?\d+) right=-?\d+ bottom=-?\d+ snap=\d title=(.*)",
                     line.strip())
        if m:
            rows.append((m.group(3), int(m.group(1)), int(m.group(2))))
    return rows


def window_exists(title):
    return "found=1" in inspect("find", title)


def reg_value(name):
    """A DWORD as an int or a string setting's text; None when missing."""
    out = wine("reg", "query", KEY + ("\\" + name if name in ("GimpApp", "GimpName") else ""),
               *(["/ve"] if name in ("GimpApp", "GimpName") else ["/v", name])).stdout
    for line in out.splitlines():
        parts = line.split(None, 2)
        if len(parts) >= 2 and parts[1] in ("REG_DWORD", "REG_SZ"):
            if parts[1] == "REG_DWORD":
                return int(parts[2], 16)
            return parts[2] if len(parts) > 2 else ""
    return None


def set_value(name, value):
    """Stores a setting as the program does: a DWORD as a value, a text as a subkey's default."""
    if isinstance(value, int):
        wine("reg", "add", KEY, "/v", name, "/t", "REG_DWORD", "/d", str(value), "/f")
    else:
        wine("reg", "add", KEY + "\\" + name, "/ve", "/d", value, "/f")


def fields(title):
    """The edit fields of the window with that title, by control id."""
    return {int(i): text for i, text in re.findall(r"field id=(\d+) text=(.*)", inspect("fields", title))}


def pixel(path, x, y):
    """The colour at (x, y) of a screenshot as "#RRGGBB"."""
    out = run("convert", path, "-crop", "1x1+%d+%d" % (x, y), "-depth", "8", "txt:-").stdout
    m = re.search(r"#[0-9A-Fa-f]{6}", out)
    return m.group(0).upper() if m else out


def key(*keys):
    run("xdotool", "key", "--delay", "80", *keys)
    time.sleep(0.6)


def wait_for(predicate, seconds=8.0):
    end = time.time() + seconds
    while time.time() < end:
        if predicate():
            return True
        time.sleep(0.3)
    return predicate()


class Ui:
    def __init__(self, gimp_args):
        wine("reg", "delete", KEY, "/f")
        self.root = tempfile.mkdtemp(prefix="vmyui")
        prefix = os.path.join(self.root, "gimp")
        plugins = os.path.join(prefix, "lib", "gimp", "2.0", "plug-ins")
        os.makedirs(os.path.join(prefix, "bin"))
        os.makedirs(plugins)
        for name in ("gimp-2.0.exe", "libgimp-2.0-0.dll", "libgdk-win32-2.0-0.dll"):
            shutil.copy(os.path.join(BIN, name), os.path.join(prefix, "bin"))
        for name in ("vellamy.exe", "vellamyhook.dll"):
            shutil.copy(os.path.join(BIN, name), plugins)
        self.gimp = subprocess.Popen(
            [WINE, "explorer", "/desktop=%s,1280x1024" % DESKTOP,
             os.path.join(prefix, "bin", "gimp-2.0.exe")] + gimp_args,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        found = lambda: run("xdotool", "search", "--name", DESKTOP + " - Wine desktop").stdout.split()
        # The inspector must not start first: it would make the desktop, at its default size.
        if not wait_for(found, 30):
            raise RuntimeError("no Wine desktop came up")
        if not wait_for(lambda: len(children()) >= 4 + len(gimp_args), 40):
            raise RuntimeError("the backdrop did not adopt the stand-in GIMP's windows")
        # Looked up again once the windows are in: while explorer still sets the desktop up, one
        # search can find its window and the next one not.
        desktops = []
        if not wait_for(lambda: desktops.extend(found()) or desktops, 10):
            raise RuntimeError("the Wine desktop went away")
        self.desktop = desktops[0]
        run("xdotool", "windowfocus", "--sync", self.desktop)
        self.click_background()

    def click_background(self):
        # A click on the backdrop's own grey area makes it the active window: clear of GIMP's
        # windows, which would take the focus (the docks stand along the right edge).
        run("xdotool", "mousemove", "--window", self.desktop, "700", "800", "click", "1")
        time.sleep(0.5)

    def shot(self, name):
        os.makedirs(SHOTS, exist_ok=True)
        path = os.path.join(SHOTS, name)
        run("import", "-window", self.desktop, path)
        return path

    def close(self):
        key("alt+f", "x")  # File > Exit: GIMP is asked to close, the backdrop follows
        # Both carry the title "The GIMP": the backdrop, and GIMP's toolbox once given back.
        gone = wait_for(lambda: "no backdrop" in inspect("backdrop") and not window_exists("The GIMP"), 20)
        check("File > Exit closes GIMP, and the backdrop follows", gone, inspect("backdrop"))
        try:
            self.gimp.wait(20)
        except subprocess.TimeoutExpired:
            self.gimp.kill()
        shutil.rmtree(self.root, ignore_errors=True)


RESULTS = []


def check(name, ok, detail=""):
    RESULTS.append(ok)
    print("%s %s%s" % ("PASS" if ok else "FAIL", name, "" if ok else ": " + detail), flush=True)


def marked(path, row_y):
    """Whether the Edit menu's check column shows a mark in the row centred at row_y."""
    out = run("convert", path, "-crop", "14x10+36+%d" % (row_y - 5), "-threshold", "50%",
              "txt:-").stdout
    return out.count("#000000") >= 8


# The Edit menu's rows on this platform's menu font: "Snap Gimp Windows" and "Move Windows with
# Background" (the menu is read from screenshots: another process's menu cannot be read).
SNAP_ROW, MOVE_ROW = 66, 84


def test_edit_menu_toggles(ui):
    key("alt+e")
    off = ui.shot("menu-edit.png")
    key("s")  # "&Snap Gimp Windows"
    check("Alt+E, S stores Snap 1", wait_for(lambda: reg_value("Snap") == 1), str(reg_value("Snap")))
    key("alt+e")
    snap = ui.shot("menu-edit-snap.png")
    key("s")
    check("Alt+E, S again stores Snap 0", wait_for(lambda: reg_value("Snap") == 0),
          str(reg_value("Snap")))
    key("alt+e", "m")  # "&Move Windows with Background"
    check("Alt+E, M stores MoveWindows 1", wait_for(lambda: reg_value("MoveWindows") == 1),
          str(reg_value("MoveWindows")))
    key("alt+e")
    move = ui.shot("menu-edit-checked.png")
    key("Escape", "Escape")
    marks = [(marked(p, SNAP_ROW), marked(p, MOVE_ROW)) for p in (off, snap, move)]
    check("the Edit menu's check marks follow the stored toggles",
          marks == [(False, False), (True, False), (False, True)], str(marks))


def test_about_box(ui):
    for chord, close in (("alt+question", "Return"), ("alt+slash", "Escape")):
        key(chord)
        shown = wait_for(lambda: window_exists("About"))
        if chord == "alt+question":
            ui.shot("about.png")
        key(close)
        gone = wait_for(lambda: not window_exists("About"))
        check("%s opens About, %s closes it" % (chord, close), shown and gone,
              "shown=%s gone=%s" % (shown, gone))
    key("alt+h", "a")
    shown = wait_for(lambda: window_exists("About"))
    key("Escape")
    check("Help > About opens it too", shown and wait_for(lambda: not window_exists("About")))


def open_setup(ui):
    key("alt+e", "u")  # "Set&up"
    return wait_for(lambda: window_exists("GIMP Vellamy Settings"))


def replace_field(mnemonic, text):
    key(mnemonic, "End", "shift+Home", "BackSpace")
    if text:
        run("xdotool", "type", "--delay", "40", text)
        time.sleep(0.4)


def test_setup_dialog(ui):
    set_value("GimpApp", "stored-app.exe")
    set_value("GimpName", "Stored Title")
    ok = open_setup(ui)
    shown = fields("GIMP Vellamy Settings")
    check("Setup shows each stored value in its own field",
          ok and shown == {1000: "stored-app.exe", 1001: "Stored Title"}, repr(shown))
    ui.shot("setup.png")
    replace_field("alt+a", "gimp-2.10.exe")
    replace_field("alt+w", "GNU Image Manipulation Program")
    key("Return")  # OK is the default button
    stored = wait_for(lambda: reg_value("GimpName") == "GNU Image Manipulation Program")
    check("Setup: both fields edited, Enter stores both", ok and stored
          and reg_value("GimpApp") == "gimp-2.10.exe",
          "GimpApp=%r GimpName=%r" % (reg_value("GimpApp"), reg_value("GimpName")))

    for cancel in ("Escape", "alt+c"):  # Escape, and the Cancel button by its... Tab order
        opened = open_setup(ui)
        replace_field("alt+a", "changed.exe")
        if cancel == "Escape":
            key("Escape")
        else:
            key("Tab", "Tab", "Tab", "space")  # from the first field: field 2, OK, Cancel
        closed = wait_for(lambda: not window_exists("GIMP Vellamy Settings"))
        check("Setup: %s writes nothing" % ("Escape" if cancel == "Escape" else "Cancel"),
              opened and closed and reg_value("GimpApp") == "gimp-2.10.exe",
              "GimpApp=%r closed=%s" % (reg_value("GimpApp"), closed))

    open_setup(ui)
    replace_field("alt+w", "")
    key("Return")
    check("Setup: a cleared field stores an empty text, the other field its own",
          wait_for(lambda: reg_value("GimpName") == "") and reg_value("GimpApp") == "gimp-2.10.exe",
          "GimpName=%r GimpApp=%r" % (reg_value("GimpName"), reg_value("GimpApp")))
    # Put a title back that the close at the end finds.
    open_setup(ui)
    replace_field("alt+w", "The GIMP")
    key("Return")


def test_colour_chooser(ui):
    set_value("BgColor", 0x204060)  # a COLORREF: red 0x60, green 0x40, blue 0x20
    key("alt+e", "c")  # "Background &Color"
    shown = wait_for(lambda: window_exists("Color"))
    key("Escape")
    check("Colour chooser: Cancel keeps the stored colour",
          shown and wait_for(lambda: not window_exists("Color"))
          and reg_value("BgColor") == 0x204060,
          "shown=%s BgColor=%r" % (shown, reg_value("BgColor")))
    key("alt+e", "c")
    shown = wait_for(lambda: window_exists("Color"))
    key("alt+d")  # "&Define Custom Colors >>": the red, green and blue fields
    replace_field("alt+r", "16")
    replace_field("Tab", "160")  # green; "&Blue" shares its letter with "&Basic Colors"
    replace_field("Tab", "96")
    key("Return")
    stored = wait_for(lambda: reg_value("BgColor") == 0x60A010)
    # The backdrop also repaints whole when it is activated again as the chooser closes, so this
    # catches a backdrop that paints the new colour nowhere, not one that leaves it to that.
    time.sleep(0.5)
    colour = pixel(ui.shot("colour.png"), 700, 800)  # clear of GIMP's windows
    check("Colour chooser: OK stores the new colour and the backdrop repaints in it",
          shown and stored and colour == "#10A060",
          "BgColor=%r pixel=%s" % (reg_value("BgColor"), colour))


# The Window menu's commands above its list of windows: Cascade, Tile and GIMP layout.
ARRANGE_ITEMS = 3


def test_window_menu_raises(ui):
    titles = sorted(t for t, _, _ in children())  # byte order, as the menu lists them
    for target in ("Layers, Channels, Paths, Undo", "The GIMP", "Untitled-1.0 (RGB, 1 layer) 520x390"):
        position = titles.index(target)
        ui.click_background()
        key("alt+w")
        key(*(["Down"] * (ARRANGE_ITEMS + position)))  # the separator takes no key
        if target == "The GIMP":
            ui.shot("menu-window.png")
        key("Return")
        top = wait_for(lambda: children()[0][0] == target)
        check("Window menu item %d raises %r" % (position, target), top,
              "top is %r" % (children()[0][0],))


def test_scroll_bars_move_windows(ui):
    b = dict(re.findall(r"(\w+)=(-?\w+)", inspect("backdrop")))
    bar = int(b["bar"])
    right_x = int(b["clientx"]) + int(b["clientw"]) - bar // 2
    bottom_y = int(b["clienty"]) + int(b["clienth"]) - bar // 2
    # The horizontal bar runs along the client area's bottom, its right arrow at its end.
    hbar_y = int(b["clienty"]) + int(b["clienth"]) + bar // 2
    vbar_x = int(b["clientx"]) + int(b["clientw"]) + bar // 2
    before = {t: (x, y) for t, x, y in children()}
    if len(before) < 4:
        raise RuntimeError("the inspector found %d windows" % len(before))
    run("xdotool", "mousemove", "--window", ui.desktop, str(right_x), str(hbar_y), "click", "1")
    time.sleep(0.8)
    after = {t: (x, y) for t, x, y in children()}
    moved = after.keys() == before.keys() and all(
        after[t] == (x - 10, y) for t, (x, y) in before.items())
    check("a click on the horizontal bar's right arrow moves every window 10 left", moved,
          "before %s after %s" % (before, after))
    ui.shot("scrolled.png")
    run("xdotool", "mousemove", "--window", ui.desktop, str(vbar_x), str(bottom_y - bar),
        "click", "1")
    time.sleep(0.8)
    down = {t: (x, y) for t, x, y in children()}
    check("a click on the vertical bar's down arrow moves every window 10 up",
          down.keys() == after.keys() and all(down[t] == (x, y - 10) for t, (x, y) in after.items()),
          "before %s after %s" % (after, down))


def main():
    ui = Ui(["--images=2", "--far"])
    try:
        for test in (test_edit_menu_toggles, test_about_box, test_setup_dialog,
                     test_colour_chooser, test_window_menu_raises,
                     test_scroll_bars_move_windows):
            try:
                test(ui)
            except Exception as error:  # a broken step fails its test, not the run
                check(test.__name__, False, repr(error))
            ui.click_background()
    finally:
        ui.close()
    passed = sum(RESULTS)
    print("%d passed, %d failed" % (passed, len(RESULTS) - passed))
    return 0 if RESULTS and all(RESULTS) else 1


if __name__ == "__main__":
    sys.exit(main())
