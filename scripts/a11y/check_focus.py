#!/usr/bin/python3
"""Inside on-bus.sh, the demo running: Ctrl+O, a path typed, Return, then Tab. Passes when AT-SPI
reports a focus change in the window after the Tab (the file dialog left no trap behind).
  check_focus.py APP_NAME FILE.bin
"""
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

app_name, image = sys.argv[1], sys.argv[2]
focused = []


def on_focus(event):
    if event.detail1 == 1 and event.host_application and event.host_application.name == app_name:
        focused.append((time.time(), event.source.getRoleName(), event.source.name))


def pump(seconds):
    end = time.time() + seconds
    while time.time() < end:
        GLib.MainContext.default().iteration(False)
        time.sleep(0.01)


def key(*args):
    subprocess.run(["xdotool", *args], check=True)
    pump(1.5)


pyatspi.Registry.registerEventListener(on_focus, "object:state-changed:focused")
pump(3)
key("key", "ctrl+o")
key("type", "--delay", "20", image)
key("key", "Return")
pump(1)
before_tab = time.time()
key("key", "Tab")
after = [f for f in focused if f[0] >= before_tab]
for f in focused:
    print("FOCUS", f[1], repr(f[2]))
print(("PASS" if after else "FAIL") + " a focus change when Tab is pressed after the file was chosen")
sys.exit(0 if after else 1)
