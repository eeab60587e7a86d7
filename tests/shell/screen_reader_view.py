"""What a screen reader finds of a program over AT-SPI: the program as one
application (one toolkit's bridge, not two) with one frame, its main window
(whose name holds TITLE), the buttons of that window's toolbar and the page
of its browser.

  screen_reader_view.py SECONDS PID TITLE BUTTON...

Looks until the window, every BUTTON and the page are found or SECONDS have
passed, then makes sure the process PID is that one application alone with
that one frame; prints the buttons found (one name a line) and exits 0, or
says what was wrong and exits 1. Runs on the session bus of the program
under test. The window-fit test uses its functions too.
"""

import sys
import time

import pyatspi


def applications(pid):
    found = []
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == pid:
            found.append(app)
    return found


def main_window(apps, title):
    for app in apps:
        for window in app:
            if window is not None and window.getRole() == pyatspi.ROLE_FRAME and title in window.name:
                return window
    return None


def find(window, role):
    """The first part of the window in the given role, breadth first and
    only as deep as the window's own parts sit: the browser's page is not
    read beyond its top."""
    level = [window]
    for _ in range(4):
        deeper = []
        for node in level:
            for child in node:
                if child is None:
                    continue
                if child.getRole() == role:
                    return child
                if child.getRole() in (pyatspi.ROLE_FILLER, pyatspi.ROLE_PANEL, pyatspi.ROLE_FRAME,
                                       pyatspi.ROLE_SPLIT_PANE):
                    deeper.append(child)
        level = deeper
    return None


def toolbar_buttons(window):
    """The buttons on the window's toolbar."""
    bar = find(window, pyatspi.ROLE_TOOL_BAR)
    return [b for b in bar if b is not None and b.getRole() == pyatspi.ROLE_PUSH_BUTTON] if bar else []


def frames(pid):
    return [w.name for app in applications(pid) for w in app if w is not None and w.getRole() == pyatspi.ROLE_FRAME]


def look(pid, title, wanted):
    """The toolbar's buttons when all is found, else what is missing."""
    apps = applications(pid)
    if not apps:
        return None, "the program is not on the accessibility bus"
    window = main_window(apps, title)
    if window is None:
        return None, "no window named '%s' on the accessibility bus" % title
    buttons = [b.name for b in toolbar_buttons(window)]
    missing = [name for name in wanted if name not in buttons]
    if missing:
        return None, "the window's toolbar lacks %s (has %s)" % (missing, buttons)
    # The browser's page, drawn by a Qt Quick widget: once it is there, so is
    # that widget's own offscreen window, which must not count as a frame.
    if find(window, pyatspi.ROLE_DOCUMENT_WEB) is None:
        return None, "the window's browser shows no page"
    return buttons, None


def main(argv):
    seconds, pid, title, wanted = float(argv[1]), int(argv[2]), argv[3], argv[4:]
    until = time.monotonic() + seconds
    buttons, problem = None, "nothing asked"
    while buttons is None and time.monotonic() < until:
        try:
            buttons, problem = look(pid, title, wanted)
        except Exception as error:  # an application that went away or does not answer
            problem = "AT-SPI failed: %s" % error
        if buttons is None:
            time.sleep(0.5)
    if buttons is None:
        print(problem)
        return 1
    # A second bridge in the process registers a second application under the
    # same name and process; a screen reader that takes it finds no window.
    toolkits = [app.toolkitName for app in applications(pid)]
    if len(toolkits) != 1:
        print("the program is %d applications on the accessibility bus: %s" % (len(toolkits), ", ".join(toolkits)))
        return 1
    if len(frames(pid)) != 1:
        print("the program has %d frames on the accessibility bus: %s" % (len(frames(pid)), frames(pid)))
        return 1
    print("\n".join(buttons))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
