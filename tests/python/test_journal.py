"""The run journal from Python: the runs, records, statistics and marks the
commands give for the same run, value for value."""
import datetime
import json
import os
import subprocess

import numpy as np
import pytest

import ombrel_sim as ombrel

SIM = os.environ["OMBREL_SIM"]


def sim(*args):
    done = subprocess.run([SIM, *args], capture_output=True, check=True, timeout=60)
    return done.stdout


def millis(iso):
    return round(datetime.datetime.fromisoformat(iso).timestamp() * 1000)


@pytest.fixture(scope="module")
def recorded(tmp_path_factory):
    """A run of six records with a name, notes and two marks, in a journal of
    the test's own."""
    home = tmp_path_factory.mktemp("home")
    for name, value in (("HOME", home), ("XDG_DATA_HOME", home / "data"), ("XDG_CONFIG_HOME", home / "config")):
        os.environ[name] = str(value)
    sim("record", "--until-duration", "6", "--name", "bench 7", "--note", "first line\nsecond", "--device", "phone")
    sim("mark", "--run", "last", "--at", "2", "plugged in")
    sim("mark", "--run", "last", "--at", "4.5", "full")
    return ombrel.Journal().run("last")


def test_runs_and_marks_as_the_commands_list_them(recorded):
    listed = json.loads(sim("runs", "--json"))
    assert recorded.info == listed[0]
    assert recorded.info["name"] == "bench 7" and recorded.info["dut"] == "phone"
    assert recorded.info["records"] == len(recorded.records()) >= 6
    assert [r.id for r in ombrel.Journal().runs()] == [r["id"] for r in listed]
    assert recorded.marks() == json.loads(sim("marks", "last", "--json"))
    assert [m["name"] for m in recorded.marks()] == ["plugged in", "full"]


@pytest.mark.parametrize("frm,to,args", [
    (None, None, []),
    (1.5, 3, ["--from", "1.5", "--to", "3"]),
    (2, None, ["--from", "2"]),
])
def test_records_equal_the_export(recorded, frm, to, args):
    exported = [json.loads(line) for line in sim("export", "last", "--jsonl", "-", *args).splitlines()]
    rows = recorded.records(frm, to)
    assert len(rows) == len(exported) and len(rows) > 0
    assert rows.dtype.names == ("time", "t", "vbus", "ibus", "power", "cap", "ele", "pd", "pm", "cc1", "cc2",
                                "cpu_temp")
    for row, record in zip(rows, exported):
        assert row["time"].astype("int64") == millis(record["time"])
        for key in rows.dtype.names[2:]:
            assert row[key] == np.float32(record[key]), key
    whole = recorded.records()
    # Seconds from the run's first record, a second apart at the meter's pace.
    assert whole["t"][0] == 0.0
    assert np.all(np.abs(np.diff(whole["t"]) - 1.0) < 0.2)


def test_stats_equal_the_command(recorded):
    assert recorded.stats() == json.loads(sim("stats", "last", "--json"))
    assert recorded.stats(1, 4) == json.loads(sim("stats", "last", "--from", "1", "--to", "4", "--json"))
    # A wall-clock time, as a datetime and as the command's text.
    second = recorded.records()["time"][1].astype("int64") / 1000
    at = datetime.datetime.fromtimestamp(second)
    text = at.isoformat(timespec="milliseconds")
    assert recorded.stats(at) == json.loads(sim("stats", "last", "--from", text, "--json"))
    assert recorded.stats(text)["records"] == recorded.info["records"] - 1
    # Outside the run: no records, the times asked for.
    empty = recorded.stats(100, 200)
    assert empty["records"] == 0 and empty["vbus"] == {"min": None, "max": None, "mean": None}


def test_what_cannot_be_read_is_said(recorded, tmp_path):
    with pytest.raises(ombrel.Error, match="^bad time 'soon' for frm: "):
        recorded.stats("soon")
    with pytest.raises(ombrel.Error, match="no run 999 in the run journal"):
        ombrel.Journal().run(999)
    folder = tmp_path / "runs.sqlite"
    folder.mkdir()
    with pytest.raises(ombrel.Error, match="is a folder, not a database file"):
        ombrel.Journal(str(folder))
    assert ombrel.Journal(str(tmp_path / "none.sqlite")).runs() == []


def test_meters_as_list_gives_them():
    assert ombrel.meters() == json.loads(sim("list", "--json"))


def test_into_pandas_when_it_is_installed(recorded):
    try:
        import pandas  # noqa: F401
    except ImportError:
        with pytest.raises(ImportError):
            recorded.to_pandas()
        return
    frame = recorded.to_pandas(1, 3)
    rows = recorded.records(1, 3)
    assert list(frame.columns) == list(rows.dtype.names[1:])
    assert list(frame["ibus"]) == list(rows["ibus"]) and len(frame) == len(rows)
