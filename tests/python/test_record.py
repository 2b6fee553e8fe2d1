"""Runs recorded from Python, as `ombrel record` records them: the same
journal, files and figures, blocking or in the background, marks, stop and
Ctrl+C."""
import json
import os
import signal
import socket
import subprocess
import sys
import time
import urllib.request

import pytest

import ombrel_sim as ombrel

SIM = os.environ["OMBREL_SIM"]


def sim(*args):
    return subprocess.run([SIM, *args], capture_output=True, check=True, timeout=60).stdout


@pytest.fixture
def meter(tmp_path, monkeypatch):
    for name, value in (("HOME", tmp_path), ("XDG_DATA_HOME", tmp_path / "data"),
                        ("XDG_CONFIG_HOME", tmp_path / "config")):
        monkeypatch.setenv(name, str(value))
    with ombrel.open() as m:
        yield m


def test_a_run_ends_by_its_condition_with_the_commands_figures(meter, tmp_path):
    lines = tmp_path / "run.jsonl"
    summary = meter.record(name="from python", until_duration=3, device="phone", jsonl=str(lines))
    run = summary.pop("run")
    assert summary.pop("end_reason") == "duration:3"
    assert summary == json.loads(sim("stats", str(run), "--json"))
    listed = json.loads(sim("runs", "--json"))[0]
    assert listed["id"] == run and listed["name"] == "from python" and listed["dut"] == "phone"
    assert listed["end_reason"] == "duration:3" and listed["records"] == summary["records"] >= 3
    # The file holds what the journal holds, record for record.
    assert lines.read_bytes() == sim("export", str(run), "--jsonl", "-")


def test_a_run_in_the_background_marked_and_stopped(meter):
    recording = meter.record(background=True, name="background")
    assert recording.running
    time.sleep(1.5)
    recording.mark("halfway")
    time.sleep(1.2)
    recording.stop()
    assert recording.wait(10) and not recording.running
    summary = recording.summary()
    assert summary["end_reason"] == "stopped" and summary["records"] >= 2
    with pytest.raises(ombrel.Error, match=f"^run {recording.id} has ended: it can no longer be marked$"):
        recording.mark("too late")
    run = ombrel.Journal().run(recording.id)
    assert [m["name"] for m in run.marks()] == ["halfway"]
    assert run.info["end_reason"] == "stopped"


def test_bad_options_are_said(meter):
    with pytest.raises(ombrel.Error, match="until_duration"):
        meter.record(until_duration=-1)
    with pytest.raises(ombrel.Error, match="until_current_below"):
        meter.record(until_current_below=(0.05,))
    with pytest.raises(TypeError, match="colour"):
        meter.record(colour="red")


def test_ctrl_c_stops_a_run_with_its_records(tmp_path):
    env = dict(os.environ, HOME=str(tmp_path), XDG_DATA_HOME=str(tmp_path / "data"),
               XDG_CONFIG_HOME=str(tmp_path / "config"))
    script = tmp_path / "record.py"
    script.write_text("import ombrel_sim as ombrel\n"
                      "with ombrel.open() as m:\n"
                      "    print('recording', flush=True)\n"
                      "    m.record(name='interrupted', until_duration=120)\n")
    p = subprocess.Popen([sys.executable, str(script)], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                         text=True)
    assert p.stdout.readline() == "recording\n"
    time.sleep(2.5)
    p.send_signal(signal.SIGINT)
    _, err = p.communicate(timeout=20)
    assert "KeyboardInterrupt" in err and p.returncode != 0
    listed = json.loads(subprocess.run([SIM, "runs", "--json"], env=env, capture_output=True, check=True).stdout)
    assert listed[0]["name"] == "interrupted"
    assert listed[0]["end_reason"] == "stopped" and listed[0]["records"] >= 1


def test_a_run_left_going_ends_with_the_script(tmp_path):
    env = dict(os.environ, HOME=str(tmp_path), XDG_DATA_HOME=str(tmp_path / "data"),
               XDG_CONFIG_HOME=str(tmp_path / "config"))
    subprocess.run([sys.executable, "-c", "import time, ombrel_sim as ombrel\n"
                    "m = ombrel.open()\n"
                    "m.record(background=True, name='left going')\n"
                    "time.sleep(2.5)\n"], env=env, check=True, timeout=60)
    listed = json.loads(subprocess.run([SIM, "runs", "--json"], env=env, capture_output=True, check=True).stdout)
    assert listed[0]["name"] == "left going"
    assert listed[0]["end_reason"] == "stopped" and listed[0]["records"] >= 2


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@pytest.fixture
def broker(tmp_path):
    """A mosquitto broker of the test's own on a free loopback port."""
    port = free_port()
    conf = tmp_path / "mosquitto.conf"
    conf.write_text(f"listener {port} 127.0.0.1\nallow_anonymous true\n")
    p = subprocess.Popen(["/usr/sbin/mosquitto", "-c", str(conf)], stderr=subprocess.DEVNULL)
    for _ in range(100):
        with socket.socket() as s:
            if s.connect_ex(("127.0.0.1", port)) == 0:
                break
        time.sleep(0.05)
    yield port
    p.terminate()
    p.wait(10)


def test_a_run_goes_to_the_live_outputs_as_records_do(meter, tmp_path, broker):
    sub = subprocess.Popen(["mosquitto_sub", "-p", str(broker), "-h", "127.0.0.1", "-t", "bench/t1/#", "-t",
                            "homeassistant/#", "-v"], stdout=subprocess.PIPE, text=True)
    time.sleep(0.5)
    influx = tmp_path / "run.influx"
    metrics = free_port()
    recording = meter.record(background=True, name="outputs", until_duration=3, mqtt=f"mqtt://127.0.0.1:{broker}",
                             mqtt_topic="bench/t1", mqtt_discovery=False, metrics_listen=str(metrics),
                             influx=str(influx))
    time.sleep(1.5)
    with urllib.request.urlopen(f"http://127.0.0.1:{metrics}/metrics", timeout=5) as answer:
        assert b"ombrel_vbus_volts" in answer.read()
    summary = recording.summary()
    assert f"metrics at http://127.0.0.1:{metrics}/metrics" in recording.said
    time.sleep(0.5)
    sub.terminate()
    out, _ = sub.communicate(timeout=10)
    states = [line.split(" ", 1)[1] for line in out.splitlines() if line.startswith("bench/t1/state ")]
    # Each record reached the broker as the journal holds it.
    exported = sim("export", str(summary["run"]), "--jsonl", "-").decode().splitlines()
    assert states == exported and len(states) == summary["records"]
    assert "bench/t1/availability offline" in out
    # mqtt_discovery=False: no discovery configs, as --no-mqtt-discovery.
    assert not [line for line in out.splitlines() if line.startswith("homeassistant/")]
    assert len(influx.read_text().splitlines()) == summary["records"]


def test_output_keywords_are_checked_as_the_commands_options(meter, tmp_path):
    with pytest.raises(ombrel.Error, match="^mqtt_topic needs mqtt$"):
        meter.record(mqtt_topic="lab")
    with pytest.raises(ombrel.Error, match="^mqtt_topic: .*lab/#"):
        meter.record(mqtt="mqtt://127.0.0.1:1", mqtt_topic="lab/#")
    with pytest.raises(ombrel.Error, match="^jsonl: a run recorded from Python writes files"):
        meter.record(jsonl="-")
    with pytest.raises(ombrel.Error, match="^cannot read mqtt_password_file .*nothing"):
        meter.record(mqtt="mqtt://127.0.0.1:1", mqtt_user="u", mqtt_password_file=str(tmp_path / "nothing"))
    with pytest.raises(TypeError, match="no_mqtt_discovery"):
        meter.record(no_mqtt_discovery=True)
