#!/usr/bin/python3
"""A stand-in screen reader for the benchmarks: registers on the AT-SPI bus
for the events a screen reader listens to, so that Qt's bridge sends them,
and counts what arrives.

    a11y_listener.py COUNTS_FILE READY_FILE [--ask]

READY_FILE is written once the listeners are registered. On SIGTERM or
SIGINT the counts by event type go to COUNTS_FILE, one "count type" a line.
--ask also asks each event's source for its name and role, the least a
screen reader asks before it speaks.
"""

import collections
import signal
import sys

import pyatspi
from gi.repository import GLib

EVENTS = [
    "object:property-change:accessible-name",
    "object:children-changed",
    "object:state-changed",
    "object:active-descendant-changed",
    "focus:",
]


def main():
    counts_file, ready_file = sys.argv[1], sys.argv[2]
    ask = "--ask" in sys.argv[3:]
    counts = collections.Counter()

    def on_event(event):
        # "object:children-changed:add" and the like; the detail past the
        # third part (a state's name, a property's) stays in the type.
        counts[event.type] += 1
        if ask:
            try:
                event.source.name
                event.source.getRole()
            except Exception:  # the object may be gone by now
                counts["(source gone)"] += 1

    def stop():
        with open(counts_file, "w") as out:
            for kind, n in sorted(counts.items()):
                out.write(f"{n} {kind}\n")
            out.write(f"{sum(v for k, v in counts.items() if not k.startswith('('))} all\n")
        pyatspi.Registry.stop()
        return GLib.SOURCE_REMOVE

    pyatspi.Registry.registerEventListener(on_event, *EVENTS)
    for number in (signal.SIGTERM, signal.SIGINT):
        GLib.unix_signal_add(GLib.PRIORITY_HIGH, number, stop)
    with open(ready_file, "w") as ready:
        ready.write("ready\n")
    pyatspi.Registry.start()


if __name__ == "__main__":
    main()
