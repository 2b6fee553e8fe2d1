"""Ombrel's meters, runs and run journal (type stub for editors)."""
import datetime
from typing import Any, Callable, Iterator, Optional, Union

import numpy

Moment = Union[float, int, str, datetime.datetime, None]


class Error(RuntimeError):
    """What Ombrel could not do, in the words the command line uses."""


def meters() -> list[dict[str, Any]]:
    """The meters attached, as `ombrel list --json` gives them."""


class Readings(Iterator[dict[str, Any]]):
    def __next__(self) -> dict[str, Any]: ...


class Meter:
    serial: str
    product: str
    dropped: int

    def reading(self, timeout: float = 5.0) -> dict[str, Any]:
        """The latest reading: time, vbus, ibus, power, cap, ele, pd, pm, cc1, cc2, cpu_temp."""

    def readings(self, seconds: Optional[float] = None) -> Readings:
        """Each reading as the meter sends it, for `seconds` or for ever."""

    def record(self, background: bool = False, **options: Any) -> Any:
        """Records a run as `ombrel record` does: name, notes, device, source, cable, ambient, until_duration,
        until_current_below=(A, s), until_voltage_below, until_charge, until_energy, csv, jsonl, all_reports, and
        the live outputs: mqtt, mqtt_user, mqtt_password_file, mqtt_ca, mqtt_topic, mqtt_discovery (bool),
        metrics_listen, influx, influx_url, influx_db, influx_user, influx_password_file, influx_token_file.
        Blocking: its summary (as `ombrel stats --json`, with run and end_reason); background: a Recording."""

    def settings(self) -> dict[str, Any]:
        """As `ombrel get --json`."""

    def set(self, **values: Any) -> None:
        """As `ombrel set`: brightness=7, language="en", zero=True, ..."""

    def upgrade(self, file: str, progress: Optional[Callable[[float, int, int], None]] = None) -> None:
        """As `ombrel upgrade FILE`: progress(percent, sent_bytes, total_bytes) after each block."""

    def close(self) -> None: ...
    def __enter__(self) -> "Meter": ...
    def __exit__(self, *args: Any) -> None: ...


class Recording:
    id: int
    running: bool
    said: list[str]

    def wait(self, timeout: Optional[float] = None) -> bool: ...
    def stop(self) -> None: ...
    def mark(self, text: str) -> None: ...
    def summary(self) -> dict[str, Any]: ...


def open(serial: Optional[str] = None) -> Meter:
    """Opens the meter with this serial number (the first one when not given)."""


class Run:
    id: int
    info: dict[str, Any]

    def records(self, frm: Moment = None, to: Moment = None) -> numpy.ndarray:
        """time (datetime64[ms]), t (s from the first record), vbus, ibus, power, cap, ele, pd, pm, cc1, cc2,
        cpu_temp."""

    def stats(self, frm: Moment = None, to: Moment = None) -> dict[str, Any]:
        """As `ombrel stats --json`."""

    def marks(self) -> list[dict[str, Any]]:
        """As `ombrel marks --json`."""

    def to_pandas(self, frm: Moment = None, to: Moment = None) -> Any:
        """records() as a pandas DataFrame indexed by time (ImportError without pandas)."""


class Journal:
    path: str

    def __init__(self, path: Optional[str] = None) -> None: ...
    def runs(self) -> list[Run]: ...
    def run(self, which: Union[int, str]) -> Run: ...
