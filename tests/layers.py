#!/usr/bin/env python3
"""The folders' layers, checked from their includes.

base/, device/, recording/, meterbench/, outputs/, cli/ and python/ run without a display: they include no
header of Qt's widget, chart, print or GUI modules, however it is spelled
(<QWidget>, <QtWidgets/QWidget>, <QtWidgets>), and no header of a folder
above them. Above them, charts/, report/ and ui/ never include app/ or cli/;
report/ paints a run onto pages for PDF and HTML.

Usage: layers.py SOURCE_DIR QT_INCLUDE_DIR
"""
import os
import re
import sys
import tempfile

# Each folder and the project folders its files may include.
ALLOWED = {
    "base": {"base"},
    "device": {"base", "device"},
    "recording": {"base", "device", "recording"},
    "meterbench": {"base", "device", "recording", "meterbench"},
    "outputs": {"base", "device", "recording", "meterbench", "outputs"},
    "cli": {"base", "device", "recording", "meterbench", "outputs", "cli"},
    "charts": {"base", "device", "recording", "meterbench", "charts"},
    "report": {"base", "device", "recording", "meterbench", "charts", "report"},
    "ui": {"base", "device", "recording", "meterbench", "outputs", "charts", "report", "ui"},
    "python": {"base", "device", "recording", "meterbench", "outputs", "python"},
}
DISPLAY_FREE = {"base", "device", "recording", "meterbench", "outputs", "cli", "python"}
DISPLAY_MODULES = ("QtWidgets", "QtCharts", "QtGui", "QtPrintSupport")

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def display_headers(qt_include):
    names = set(DISPLAY_MODULES)
    for module in DISPLAY_MODULES:
        folder = os.path.join(qt_include, module)
        if os.path.isdir(folder):
            names.update(os.listdir(folder))
    # A name that QtCore has too (none today) is not a display header.
    core = os.path.join(qt_include, "QtCore")
    if os.path.isdir(core):
        names.difference_update(os.listdir(core))
    return names


def violations(root, qt_include):
    display = display_headers(qt_include)
    found = []
    for folder, allowed in ALLOWED.items():
        top = os.path.join(root, folder)
        for dirpath, _, files in os.walk(top):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(dirpath, name)
                rel = os.path.relpath(path, root)
                with open(path, encoding="utf-8", errors="replace") as f:
                    text = f.read()
                for bracket, header in INCLUDE.findall(text):
                    first = header.split("/")[0]
                    if folder in DISPLAY_FREE and (first in DISPLAY_MODULES or header in display
                                                   or header.startswith("ui_")):
                        found.append(f"{rel}: {header} needs a display")
                    if bracket == '"' and "/" in header and first in ALLOWED.keys() | {"app", "cli", "sim"} \
                            and first not in allowed:
                        found.append(f"{rel}: {header} is a layer above {folder}/")
    return found


def self_check(qt_include):
    """The check finds what it is meant to find."""
    with tempfile.TemporaryDirectory() as root:
        planted = {
            "recording/a.cpp": '#include <QtWidgets/QWidget>\n#include "recording/b.h"\n',
            "cli/b.h": '#include "ui/maindialog.h"\n#include <QString>\n',
            "device/c.cpp": "#  include <QPainter>\n",
            "charts/d.cpp": '#include "app/startup.h"\n#include "device/channels.h"\n',
        }
        for rel, text in planted.items():
            os.makedirs(os.path.join(root, os.path.dirname(rel)), exist_ok=True)
            with open(os.path.join(root, rel), "w") as f:
                f.write(text)
        got = sorted(violations(root, qt_include))
        want = sorted([
            "recording/a.cpp: QtWidgets/QWidget needs a display",
            "cli/b.h: ui/maindialog.h is a layer above cli/",
            "device/c.cpp: QPainter needs a display",
            "charts/d.cpp: app/startup.h is a layer above charts/",
        ])
        if got != want:
            print("the layer check itself is broken:", got, file=sys.stderr)
            return False
    return True


def main():
    root, qt_include = sys.argv[1], sys.argv[2]
    if not os.path.isdir(os.path.join(qt_include, "QtWidgets")):
        print(f"no QtWidgets headers under {qt_include}", file=sys.stderr)
        return 1
    if not self_check(qt_include):
        return 1
    found = violations(root, qt_include)
    for v in found:
        print(v, file=sys.stderr)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
