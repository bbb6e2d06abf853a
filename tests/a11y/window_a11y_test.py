"""The window as a screen reader sees and drives it, through the desktop's accessibility bus.

Starts Vocatext with accessibility on and, as Orca does, reads its tree over AT-SPI and
follows its focus and name-change events; keys go in through AT-SPI's own synthesis.
Fails on any showing object without a name in words and on a shortcut without its key
binding; walks Tab and Shift+Tab; tries the option buttons' arrow keys and F1; then
converts one document with the keyboard alone: Ctrl+O, the path typed into the file
dialog, Return, Ctrl+Return, the progress text heard, and "Done." read from the alert;
converts three documents while Ctrl+Down moves the one being converted below the next,
and finds each converted once; last, closes the window while a long document's MP3 is
encoded and finds neither a partial file nor a child process left.

Usage: window_a11y_test.py PROGRAM DOCUMENT (HOME, TEMP and the XDG folders are private).
"""
import os
import re
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import GLib  # noqa: E402
import pyatspi  # noqa: E402

# Roles of the objects a user operates; the walk expects Tab to reach every one of these
# that is showing, enabled and not inside another control.
CONTROL_ROLES = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_SLIDER, pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_RADIO_BUTTON,
    pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_LIST,
    pyatspi.ROLE_TABLE, pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_SPIN_BUTTON,
}
# Containers whose items are reached with arrow keys, not with Tab.
COMPOSITE_ROLES = {pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_LIST, pyatspi.ROLE_TABLE,
                   pyatspi.ROLE_COMBO_BOX}

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message, flush=True)


class Events:
    """Focus and name changes as the bus reports them, in order."""

    def __init__(self):
        self.focused = None
        self.names = []  # (object, new name)
        pyatspi.Registry.registerEventListener(self._on_focus, "object:state-changed:focused")
        pyatspi.Registry.registerEventListener(self._on_name, "object:property-change:accessible-name")

    def _on_focus(self, event):
        if event.detail1:
            self.focused = event.source

    def _on_name(self, event):
        try:  # the event carries the object, not the name: read it as it arrives
            self.names.append((event.source, event.source.name))
        except GLib.GError:
            pass

    @staticmethod
    def pump(seconds=0.0):
        context = GLib.MainContext.default()
        end = time.monotonic() + seconds
        while True:
            while context.pending():
                context.iteration(False)
            if time.monotonic() >= end:
                return
            time.sleep(0.01)

    def wait(self, condition, what, timeout=20.0):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            self.pump(0.02)
            try:
                value = condition()
            except GLib.GError:  # an object that went away in the meantime
                value = None
            if value:
                return value
        raise SystemExit("timed out waiting for " + what)


def key(keysym, modifiers=0):
    """One key as the keyboard types it, with the modifier mask (4 Ctrl, 1 Shift) held."""
    if modifiers:
        pyatspi.Registry.generateKeyboardEvent(modifiers, None, pyatspi.KEY_LOCKMODIFIERS)
    pyatspi.Registry.generateKeyboardEvent(keysym, None, pyatspi.KEY_SYM)
    if modifiers:
        pyatspi.Registry.generateKeyboardEvent(modifiers, None, pyatspi.KEY_UNLOCKMODIFIERS)


TAB, RETURN, UP, DOWN, F1, KEY_O = 0xFF09, 0xFF0D, 0xFF52, 0xFF54, 0xFFBE, 0x6F
HOME, END, DELETE = 0xFF50, 0xFF57, 0xFFFF
CTRL, SHIFT = 4, 1


def showing(obj):
    return obj.getState().contains(pyatspi.STATE_SHOWING)


def walk(obj, inside_control=False):
    """Every showing object below obj, with whether it sits inside a composite control."""
    for child in obj:
        if child is None or not showing(child):
            continue
        yield child, inside_control
        yield from walk(child, inside_control or child.getRole() in COMPOSITE_ROLES)


def label(obj):
    try:
        return "%s %r" % (obj.getRoleName(), obj.name)
    except GLib.GError:
        return "an object that is gone"


def extents(obj):
    return obj.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)


def in_reading_order(a, b):
    """b stands below a, or on a's row and to its right."""
    ea, eb = extents(a), extents(b)
    if eb.y >= ea.y + ea.height:
        return True
    overlaps = eb.y < ea.y + ea.height and ea.y < eb.y + eb.height
    return overlaps and eb.x > ea.x


def alert_of(obj):
    """The alert that holds obj; None when it is in none."""
    while obj is not None and obj.getRole() != pyatspi.ROLE_APPLICATION:
        if obj.getRole() == pyatspi.ROLE_ALERT:
            return obj
        obj = obj.parent
    return None


def focus_window(events, window_id):
    """What a window manager does for a window that is new or whose dialog closed (Xvfb has
    none, and Qt leaves that to it); returns the control that has the focus then."""
    subprocess.run(["xdotool", "windowfocus", "--sync", window_id], check=True, timeout=30)
    return events.wait(lambda: events.focused if showing(events.focused) and alert_of(events.focused) is None
                       else None, "the window to take the focus")


def find_window(timeout=30.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == "Vocatext":
                for window in app:
                    if window is not None and window.getRole() == pyatspi.ROLE_FRAME and showing(window):
                        return window
        time.sleep(0.1)
    raise SystemExit("the window never showed up on the accessibility bus")


def check_names(window):
    """Every showing object is named in words; a key binding on each shortcut's button."""
    count = 0
    for obj, _ in walk(window):
        count += 1
        if not re.search(r"\w", obj.name or ""):
            fail("no name in words: %s in %s" % (label(obj), label(obj.parent)))
    print("%d showing objects, each with a name" % count)
    bindings = {}
    for obj, _ in walk(window):
        if obj.getRole() == pyatspi.ROLE_PUSH_BUTTON:
            action = obj.queryAction()
            bindings[obj.name] = action.getKeyBinding(0) if action.nActions else ""
    for name, binding in [("Add ODT Files", "Ctrl+O"), ("Add All ODT Files In Folder", "Ctrl+Shift+O"),
                          ("Start Converting To MP3", "Ctrl+Return"),
                          ("Why to leave the computer alone during a conversion", "F1")]:
        if bindings.get(name) != binding:
            fail("key binding of %r: %r, not %r" % (name, bindings.get(name), binding))


def tab_stops(window):
    """The controls that Tab must reach, in the order they stand on the window."""
    stops = []
    for obj, inside in walk(window):
        state = obj.getState()
        if inside or obj.getRole() not in CONTROL_ROLES or not state.contains(pyatspi.STATE_ENABLED):
            continue
        if obj.getRole() == pyatspi.ROLE_RADIO_BUTTON and not state.contains(pyatspi.STATE_CHECKED):
            continue  # a group is entered at its selected button
        stops.append(obj)
    return stops


def press_and_follow(events, keysym, modifiers=0):
    before = events.focused
    key(keysym, modifiers)
    return events.wait(lambda: events.focused if events.focused != before else None,
                       "the focus to move on from %s" % (label(before) if before else "nothing"), timeout=5)


def check_tab_order(events, window, list_view):
    expected = tab_stops(window)
    if not expected or expected[0] != list_view:
        fail("the list is not the first control: %s" % [label(o) for o in expected[:1]])
    forward = [events.focused]
    for _ in expected:
        forward.append(press_and_follow(events, TAB))
    if forward != expected + [list_view]:
        fail("Tab reaches %s, not %s" % ([label(o) for o in forward], [label(o) for o in expected]))
    for a, b in zip(forward, forward[1:-1]):
        if not in_reading_order(a, b):
            fail("Tab goes from %s back to %s" % (label(a), label(b)))
    backward = [events.focused]
    for _ in expected:
        backward.append(press_and_follow(events, TAB, SHIFT))
    if backward != [list_view] + expected[::-1]:
        fail("Shift+Tab reaches %s" % [label(o) for o in backward])
    print("Tab and Shift+Tab: %d controls in the order they stand" % len(expected))


def check_option_group(events, window):
    """Tab stops at the selected option button; Down and Up move the selection in the group."""
    radios = [obj for obj, _ in walk(window) if obj.getRole() == pyatspi.ROLE_RADIO_BUTTON]
    for _ in range(30):
        if events.focused == radios[0]:
            break
        press_and_follow(events, TAB)
    for keysym, to in [(DOWN, radios[1]), (UP, radios[0])]:
        focused = press_and_follow(events, keysym)
        events.pump(0.2)
        if focused != to or not to.getState().contains(pyatspi.STATE_CHECKED):
            fail("an arrow key in the option group went to %s" % label(focused))
    print("option buttons: the arrow keys move the selection")


def read_alert(events, opened_by):
    """The texts of the alert that a key opens, then Return closes it."""
    alert = events.wait(lambda: alert_of(events.focused), "an alert after %s" % opened_by, timeout=120)
    texts = [obj.name for obj, _ in walk(alert) if obj.getRole() == pyatspi.ROLE_LABEL]
    key(RETURN)
    events.wait(lambda: not showing(alert), "the alert to close")
    return texts


def check_help_key(events, window_id):
    key(F1)
    texts = read_alert(events, "F1")
    if not any("multitask" in text for text in texts):
        fail("F1 opened %r" % texts)
    focus_window(events, window_id)
    print("F1: the \"?\" text as an alert")


def list_name(count):
    return "Documents to convert: %d document%s" % (count, "" if count == 1 else "s")


def add_by_keyboard(events, list_view, document, count):
    """Ctrl+O, the path typed into the file dialog, Return: the list then holds count documents."""
    key(KEY_O, CTRL)
    field = events.wait(lambda: events.focused if events.focused and events.focused.getRole() in (
        pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY) else None, "the file dialog's name field")
    pyatspi.Registry.generateKeyboardEvent(0, document, pyatspi.KEY_STRING)
    events.wait(lambda: document in (field.queryText().getText(0, -1)), "the typed path")
    key(RETURN)
    events.wait(lambda: list_view.name == list_name(count), "the list to hold %d documents" % count)


def mp3_of(desktop, document):
    return os.path.join(desktop, os.path.splitext(os.path.basename(document))[0] + ".mp3")


def convert_by_keyboard(events, window_id, list_view, progress, document, output):
    for _ in range(30):
        if events.focused == list_view:
            break
        press_and_follow(events, TAB)
    add_by_keyboard(events, list_view, document, 1)
    if focus_window(events, window_id) != list_view:
        fail("after the file dialog the focus is on %s, not on the list" % label(events.focused))
    first = len(events.names)
    started = time.monotonic()
    key(RETURN, CTRL)
    texts = read_alert(events, "Ctrl+Return")
    print("after %.1f s the alert says %r" % (time.monotonic() - started, texts))
    if "Done." not in texts:
        fail("the run ended with %r, not \"Done.\"" % texts)
    spoken = [name for source, name in events.names[first:] if source == progress]
    print("the progress bar's name changed %d times: %r" % (len(spoken), spoken))
    if "Processing: " + os.path.basename(document) not in spoken or spoken[-1:] != ["Progress Bar"]:
        fail("the progress text was not announced: %r" % spoken)
    if len(spoken) > 20:
        fail("the progress text was announced %d times" % len(spoken))
    if not os.path.isfile(output) or os.path.getsize(output) == 0:
        fail("no MP3 at " + output)


def write_long_document(path, paragraphs=300):
    """An .odt long enough that its encoder runs for seconds."""
    import zipfile
    body = "".join("<text:p>Paragraph %d tells of the long road north, of the rivers and the hills "
                   "the travellers crossed before the winter came.</text:p>" % i for i in range(paragraphs))
    xml = ('<?xml version="1.0" encoding="UTF-8"?><office:document-content '
           'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
           'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2">'
           '<office:body><office:text>%s</office:text></office:body></office:document-content>' % body)
    with zipfile.ZipFile(path, "w") as package:
        package.writestr("mimetype", "application/vnd.oasis.opendocument.text")
        package.writestr("content.xml", xml)


def entries(list_view):
    """The list's documents as the screen reader reads them, in order."""
    return [obj.name for obj, _ in walk(list_view) if obj.name.endswith(".odt")]


def move_during_run(events, window_id, list_view, progress, desktop, document):
    """Ctrl+Down moves the document being converted below the next one: each of the three is
    converted once, the rest in the list's new order. The list then holds document again."""
    slow, quick = (os.path.join(os.environ["HOME"], name) for name in ("slow.odt", "quick.odt"))
    write_long_document(slow, paragraphs=20)
    write_long_document(quick, paragraphs=1)
    for count, path in enumerate((slow, quick), 2):
        focus_window(events, window_id)
        add_by_keyboard(events, list_view, path, count)
    outputs = [mp3_of(desktop, path) for path in (document, slow, quick)]
    for output in outputs:
        if os.path.exists(output):
            os.remove(output)
    focus_window(events, window_id)
    first = len(events.names)

    def announced():
        return [name for source, name in events.names[first:]
                if source == progress and name.startswith("Processing: ")]

    started = time.monotonic()
    key(RETURN, CTRL)
    events.wait(lambda: "Processing: slow.odt" in announced(), "slow.odt to be converted", timeout=120)
    for keysym, modifiers in [(HOME, 0), (DOWN, 0), (DOWN, CTRL)]:
        key(keysym, modifiers)
    moved = [document, quick, slow]
    events.wait(lambda: entries(list_view) == moved, "slow.odt to move below quick.odt")
    moved_after = time.monotonic() - started
    if "Processing: quick.odt" in announced():
        fail("the move came only after slow.odt was converted: make slow.odt longer")
    texts = read_alert(events, "Ctrl+Return")
    if "Done." not in texts:
        fail("the run with a move ended with %r, not \"Done.\"" % texts)
    expected = ["Processing: " + os.path.basename(path) for path in (document, slow, quick)]
    if announced() != expected:
        fail("with a move during the run the progress said %r, not %r" % (announced(), expected))
    missing = [output for output in outputs if not os.path.isfile(output)]
    if missing:
        fail("with a move during the run no MP3 at %r" % missing)
    print("Ctrl+Down %.1f s into a run that ended after %.1f s" % (moved_after, time.monotonic() - started))
    focus_window(events, window_id)
    for count in (2, 1):
        key(END)
        key(DELETE)
        events.wait(lambda: list_view.name == list_name(count), "the list to hold %d documents" % count)


def encoders_running(temp):
    """The encoders and joins started from the working folder that still run."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                words = f.read().split(b"\0")
        except OSError:
            continue
        if any(temp.encode() in word for word in words[:1]) or b"vocatext-cmd" in words[0]:
            found.append(pid)
    return found


def close_mid_run(events, window_id, window_process, list_view, desktop, document):
    """Closing the window while an MP3 is being encoded leaves no partial file and no child."""
    focus_window(events, window_id)
    add_by_keyboard(events, list_view, document, 2)
    focus_window(events, window_id)
    key(RETURN, CTRL)
    events.wait(lambda: any(name.startswith(".") for name in os.listdir(desktop)),
                "the long document's MP3 being encoded", timeout=180)
    window_process.terminate()  # the session ends: the window closes as its close button does
    code = window_process.wait(timeout=30)
    if code != 0:
        fail("the window closed mid-run with exit code %d" % code)
    left = [name for name in os.listdir(desktop) if name.startswith(".")]
    if left:
        fail("closing mid-run left %r in the output folder" % left)
    running = encoders_running(os.environ["TEMP"])
    if running:
        fail("closing mid-run left children running: %r" % running)
    print("closed mid-run: nothing half written, no child left")


def main():
    program, document = sys.argv[1], os.path.abspath(sys.argv[2])
    desktop = os.path.join(os.environ["HOME"], "Desktop")
    os.makedirs(desktop, exist_ok=True)
    output = mp3_of(desktop, document)

    events = Events()
    pyatspi.Registry.getDesktop(0)  # starts the accessibility bus before the program looks for it
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    started = time.monotonic()
    window_process = subprocess.Popen([program], env=env)
    try:
        window = find_window()
        list_view = next(obj for obj, _ in walk(window) if obj.getRole() in (pyatspi.ROLE_TREE, pyatspi.ROLE_LIST))
        progress = next(obj for obj, _ in walk(window) if obj.getRole() == pyatspi.ROLE_PROGRESS_BAR)
        print("the window is up after %.1f s" % (time.monotonic() - started))
        check_names(window)
        window_id = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^Vocatext$"],
                                   check=True, timeout=30, capture_output=True, text=True).stdout.split()[0]
        if focus_window(events, window_id) != list_view:
            fail("the window opens with the focus on %s, not on the list" % label(events.focused))
        check_tab_order(events, window, list_view)
        check_option_group(events, window)
        check_help_key(events, window_id)
        convert_by_keyboard(events, window_id, list_view, progress, document, output)
        move_during_run(events, window_id, list_view, progress, desktop, document)
        long_document = os.path.join(os.environ["HOME"], "long.odt")
        write_long_document(long_document)
        close_mid_run(events, window_id, window_process, list_view, desktop, long_document)
    finally:
        window_process.terminate()
        code = window_process.wait(timeout=30)
    if code != 0:
        fail("the window ended with exit code %d" % code)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
