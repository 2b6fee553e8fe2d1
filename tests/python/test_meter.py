"""The meter from Python, against the simulated meter: its readings at its
own pace, what is said when it cannot be opened or is pulled out, other
threads going on while a script waits for it, and Ctrl+C."""
import os
import signal
import subprocess
import sys
import threading
import time

import pytest

import ombrel_sim as ombrel

KEYS = {"time", "vbus", "ibus", "power", "cap", "ele", "pd", "pm", "cc1", "cc2", "cpu_temp"}


@pytest.fixture
def meter():
    with ombrel.open() as m:
        yield m
    sim = ombrel.simulated_meter()
    if not sim.plugged:
        sim.plug()


def test_readings_come_at_the_meters_pace(meter):
    assert meter.serial == "0012345678"
    first = meter.reading()
    assert set(first) == KEYS
    # The simulated charge: 5 V, then 9 V once negotiated.
    assert 4.5 < first["vbus"] < 9.5 and first["time"].tzinfo is not None
    taken = list(meter.readings(seconds=2.5))
    # About four a second, in the order they came.
    assert 6 <= len(taken) <= 14
    times = [r["time"] for r in taken]
    assert times == sorted(times)
    assert meter.dropped == 0


def test_what_cannot_be_opened_is_said():
    with pytest.raises(ombrel.Error, match="no meter with serial number 999 is attached"):
        ombrel.open(serial="999")


def test_a_meter_pulled_out_ends_the_readings(meter):
    meter.reading()
    threading.Timer(0.6, ombrel.simulated_meter().unplug).start()
    with pytest.raises(ombrel.Error, match=r"the meter \(serial number 0012345678\) was pulled out"):
        for _ in meter.readings(seconds=10):
            pass


def count_for(seconds, alive=lambda: True):
    n = 0
    end = time.monotonic() + seconds
    while time.monotonic() < end and alive():
        n += 1
    return n


def test_other_threads_go_on_while_a_script_waits(meter):
    alone = count_for(0.5) / 0.5
    got = []
    reader = threading.Thread(target=lambda: got.extend(meter.readings(seconds=2)))
    reader.start()
    beside = count_for(2, reader.is_alive) / 2
    reader.join()
    assert len(got) >= 4
    # Waiting for the meter holds no other thread back: a wait that kept the
    # GIL would leave this thread a few switch intervals a reading (under
    # 1 % of its pace alone); a busy machine may halve it either way.
    assert beside > 0.05 * alone


def test_readings_awaited_in_asyncio(meter):
    import asyncio

    async def three():
        readings = meter.readings(seconds=10)
        return [await asyncio.to_thread(next, readings) for _ in range(3)]

    taken = asyncio.run(three())
    assert len(taken) == 3 and taken[0]["time"] < taken[2]["time"]


def test_ctrl_c_interrupts_the_readings(tmp_path):
    script = tmp_path / "read.py"
    script.write_text("import ombrel_sim as ombrel\n"
                      "with ombrel.open() as m:\n"
                      "    m.reading()\n"
                      "    print('reading', flush=True)\n"
                      "    for r in m.readings():\n"
                      "        pass\n")
    p = subprocess.Popen([sys.executable, str(script)], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    assert p.stdout.readline() == "reading\n"
    p.send_signal(signal.SIGINT)
    _, err = p.communicate(timeout=10)
    assert "KeyboardInterrupt" in err
    assert p.returncode != 0


def test_settings_read_and_changed_as_get_and_set_do(meter):
    import json

    fresh = json.loads(subprocess.run([os.environ["OMBREL_SIM"], "get", "--json"], capture_output=True, check=True,
                                      timeout=60).stdout)
    assert meter.settings() == fresh
    meter.set(brightness=7, language="en", min_current=20)
    changed = meter.settings()
    assert (changed["brightness"], changed["language"], changed["min-current"]) == (7, "en", 20)
    assert {k: v for k, v in changed.items() if k not in ("brightness", "language", "min-current")} == \
        {k: v for k, v in fresh.items() if k not in ("brightness", "language", "min-current")}
    with pytest.raises(ombrel.Error, match="brightness"):
        meter.set(brightness=99)
    with pytest.raises(TypeError, match="colour"):
        meter.set(colour="red")
    meter.set(brightness=fresh["brightness"], language=fresh["language"], min_current=fresh["min-current"])


def test_an_upgrade_reports_its_progress_block_by_block(meter, tmp_path):
    image = tmp_path / "fw.bin"
    image.write_bytes(bytes(i % 251 for i in range(3000)))
    seen = []
    meter.upgrade(str(image), progress=lambda percent, sent, total: seen.append((round(percent, 1), sent, total)))
    # 3000 bytes go in 51 blocks of 58 bytes and one of 42.
    assert len(seen) == 52
    assert [s for _, s, _ in seen] == [min(3000, 58 * n) for n in range(1, 53)]
    assert seen[0] == (1.9, 58, 3000) and seen[-1] == (100.0, 3000, 3000)
    with pytest.raises(ombrel.Error, match="empty"):
        (tmp_path / "empty.bin").write_bytes(b"")
        meter.upgrade(str(tmp_path / "empty.bin"))
