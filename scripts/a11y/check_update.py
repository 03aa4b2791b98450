#!/usr/bin/python3
"""Drives the demo window over AT-SPI as a screen reader reads it, through one update.

Run inside scripts/a11y/on-bus.sh with the demo already started on FILE.bin. Prints what it finds
and every event carrying a text; exits 1 when a check fails.
  check_update.py APP_NAME EXPECTED_OUTCOME_TEXT
"""
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

app_name, expected = sys.argv[1], sys.argv[2]
events = []
failures = []


def on_event(event):
    text = ""
    try:
        text = event.any_data if isinstance(event.any_data, str) else ""
        name = event.source.name if event.source else ""
        role = event.source.getRoleName() if event.source else ""
    except Exception:
        name, role = "", ""
    events.append((event.type, role, name, text, event.detail1))


def pump(seconds):
    end = time.time() + seconds
    context = GLib.MainContext.default()
    while time.time() < end:
        context.iteration(False)
        time.sleep(0.01)


def find_app():
    for _ in range(300):
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app and app.name == app_name:
                return app
        pump(0.1)
    return None


def walk(node, depth=0):
    yield node, depth
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child:
            yield from walk(child, depth + 1)


def check(what, ok):
    print(("PASS " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


for kind in ("object:property-change:accessible-name", "object:state-changed:focused",
             "object:text-changed:insert", "object:state-changed:showing", "focus:",
             "object:property-change:accessible-description"):
    pyatspi.Registry.registerEventListener(on_event, kind)

app = find_app()
check("the window is on the accessibility bus", app is not None)
if app is None:
    sys.exit(1)
pump(3)  # the simulated accessory is plugged in a second after start
nodes = list(walk(app))
for node, depth in nodes:
    if node.getRoleName() not in ("filler", "panel") or node.name:
        print("  " * depth + f"{node.getRoleName()} \"{node.name}\" {node.description!r}")

labels = [n for n, _ in nodes if n.getRoleName() == "label" and "DEMO-V20" in (n.name or "")]
check("the accessory's identity outside the log", bool(labels))
update = next(n for n, _ in nodes if n.getRoleName() == "push button" and n.name == "Update")
bar = next(n for n, _ in nodes if n.getRoleName() == "progress bar")

update.queryAction().doAction(0)
disabled_while_updating = False
for _ in range(600):
    pump(0.1)
    value = bar.queryValue().currentValue
    state = update.getState()
    if 0 < value < 100 and not state.contains(pyatspi.STATE_ENABLED) \
            and not state.contains(pyatspi.STATE_SENSITIVE):
        disabled_while_updating = True
    if value >= 100 or any(expected in (e[2] or "") for e in events):
        break
check("Update exposed as disabled while updating", disabled_while_updating)
pump(2)
value = bar.queryValue()
print(f"progress bar: \"{bar.name}\" {value.currentValue}/{value.maximumValue}")
if expected == "Device updated":
    check("progress bar at 100/100 after the update",
          value.currentValue == 100 and value.maximumValue == 100)
carrying = [e for e in events if expected in (e[2] or "") or expected in (e[3] or "")]
check(f"an event carrying \"{expected}\"", bool(carrying))
for e in events:
    if e[2] or e[3]:
        print("EVENT", e)
sys.exit(1 if failures else 0)
