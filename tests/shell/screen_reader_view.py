"""What a screen reader finds of a program over AT-SPI: the program as one
application (one toolkit's bridge, not two), its main window (a frame whose
name holds TITLE) and the buttons of that window's toolbar.

  screen_reader_view.py SECONDS PID TITLE BUTTON...

Looks until the window and every BUTTON are found or SECONDS have passed,
then makes sure the process PID is that one application alone; prints the
buttons found (one name a line) and exits 0, or says what was wrong and
exits 1. Runs on the session bus of the program under test.
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


def toolbar_buttons(window):
    """The names of the buttons on the window's toolbars, breadth first and
    only as deep as a toolbar sits: the browser's page below is not read."""
    names = []
    level = [window]
    for _ in range(4):
        deeper = []
        for node in level:
            for child in node:
                if child is None:
                    continue
                if child.getRole() == pyatspi.ROLE_TOOL_BAR:
                    names += [b.name for b in child if b is not None and b.getRole() == pyatspi.ROLE_PUSH_BUTTON]
                elif child.getRole() in (pyatspi.ROLE_FILLER, pyatspi.ROLE_PANEL, pyatspi.ROLE_FRAME):
                    deeper.append(child)
        level = deeper
    return names


def look(pid, title, wanted):
    """The toolbar's buttons when all is found, else what is missing."""
    apps = applications(pid)
    if not apps:
        return None, "the program is not on the accessibility bus"
    window = main_window(apps, title)
    if window is None:
        return None, "no window named '%s' on the accessibility bus" % title
    buttons = toolbar_buttons(window)
    missing = [name for name in wanted if name not in buttons]
    if missing:
        return None, "the window's toolbar lacks %s (has %s)" % (missing, buttons)
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
    print("\n".join(buttons))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
