#!/usr/bin/env python3
"""The installed program: `cmake --install` to a fresh prefix puts every file in
its place, the desktop entry and the metainfo pass their validators, the udev
rule gives the seat's user the meter, and the program answers --help and
--version on a machine without a display, refuses to start there without a
platform, and starts with -platform offscreen.

Usage: check_install.py <build-dir> <version> <ombrel-sim>
"""
import os
import pathlib
import re
import subprocess
import sys
import tempfile
import time

FAILURES = []


def check(condition, what):
    if not condition:
        FAILURES.append(what)
        print(f"FAIL: {what}", file=sys.stderr)


def main():
    build, version, demo = pathlib.Path(sys.argv[1]), sys.argv[2], sys.argv[3]
    no_display = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    with tempfile.TemporaryDirectory() as tmp:
        prefix = pathlib.Path(tmp)
        subprocess.run(["cmake", "--install", str(build), "--prefix", tmp], check=True, stdout=subprocess.DEVNULL)
        desktop = prefix / "share/applications/org.ombrel.Ombrel.desktop"
        metainfo = prefix / "share/metainfo/org.ombrel.Ombrel.metainfo.xml"
        rule = prefix / "lib/udev/rules.d/70-ombrel-meter.rules"
        for f in ["bin/ombrel", "share/icons/hicolor/scalable/apps/org.ombrel.Ombrel.svg",
                  "share/icons/hicolor/128x128/apps/org.ombrel.Ombrel.png", "share/doc/ombrel/copyright",
                  "share/man/man1/ombrel.1.gz"]:
            check((prefix / f).is_file(), f"installed {f}")
        # The Python module, where Debian's python3 looks, with its stub.
        modules = prefix / "lib/python3/dist-packages"
        check((modules / "ombrel.pyi").is_file() and len(list(modules.glob("ombrel.cpython-*.so"))) == 1,
              "installed the Python module ombrel")
        for f in (desktop, metainfo, rule):
            check(f.is_file(), f"installed {f}")
        check(os.access(prefix / "bin/ombrel", os.X_OK), "bin/ombrel is executable")
        png = (prefix / "share/icons/hicolor/128x128/apps/org.ombrel.Ombrel.png").read_bytes()
        check(png[:8] == b"\x89PNG\r\n\x1a\n" and int.from_bytes(png[16:20], "big") == 128, "the PNG icon is 128 px")

        # The desktop entry and the metainfo, validated and naming each other.
        for tool in (["desktop-file-validate", str(desktop)], ["appstreamcli", "validate", "--no-net", str(metainfo)]):
            result = subprocess.run(tool, capture_output=True, text=True)
            check(result.returncode == 0, f"{tool[0]}: {result.stdout}{result.stderr}")
        entry = desktop.read_text()
        check("Icon=org.ombrel.Ombrel\n" in entry and "Terminal=false\n" in entry and "Exec=ombrel\n" in entry,
              "desktop entry: icon, no terminal, the program")
        check(re.search(r"^Categories=.*Development;.*Electronics;", entry, re.M) is not None, "desktop categories")
        info = metainfo.read_text()
        check("<launchable type=\"desktop-id\">org.ombrel.Ombrel.desktop</launchable>" in info, "metainfo launchable")
        check("<screenshot" in info and f"<release version=\"{version}\"" in info, "metainfo screenshot and release")

        # The rule applies "uaccess" before 73-seat-late.rules, for the hidraw
        # node and the USB device, with ids as udev compares them.
        check(rule.name < "73-seat-late.rules", "the rule sorts before 73-seat-late.rules")
        rules = [l for l in rule.read_text().splitlines() if l and not l.startswith("#")]
        check(any('SUBSYSTEM=="hidraw"' in l and 'ATTRS{idVendor}=="0483"' in l and 'ATTRS{idProduct}=="5750"' in l
                  and 'TAG+="uaccess"' in l for l in rules), "hidraw rule")
        check(any('SUBSYSTEM=="usb"' in l and 'ATTR{idVendor}=="0483"' in l and 'ATTR{idProduct}=="5750"' in l
                  and 'TAG+="uaccess"' in l for l in rules), "usb rule")

        # The command line, without a display.
        program = str(prefix / "bin/ombrel")
        out = subprocess.run([program, "--version"], env=no_display, capture_output=True, text=True, timeout=60)
        check(out.returncode == 0 and out.stdout.strip() == f"ombrel {version}", f"--version: {out.stdout!r}")
        out = subprocess.run([program, "--help"], env=no_display, capture_output=True, text=True, timeout=60)
        check(out.returncode == 0 and "--platform <name>" in out.stdout and "--version" in out.stdout,
              f"--help: {out.stdout!r}")
        out = subprocess.run([program], env=no_display, capture_output=True, text=True, timeout=60, cwd=tmp)
        check(out.returncode == 1 and "graphical display" in out.stderr, f"no display: {out.stderr!r}")

    # A platform on the command line gets through: the window runs.
    with tempfile.TemporaryDirectory() as tmp:
        window = subprocess.Popen([demo, "-platform", "offscreen"], env=no_display, cwd=tmp,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        time.sleep(3)
        still_running = window.poll() is None
        window.terminate()
        _, err = window.communicate(timeout=30)
        check(still_running, f"-platform offscreen: ended early: {err.decode(errors='replace')}")

    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
