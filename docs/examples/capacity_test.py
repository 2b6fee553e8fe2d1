"""A capacity test that stops itself: a charge recorded until the current
has stayed below 50 mA for 30 s (or after four hours), then its charge and
energy. Run: python3 capacity_test.py"""
import os

import ombrel_sim as ombrel   # import ombrel for the meter on the bench

LIMIT_S = float(os.environ.get("CAPACITY_LIMIT_S", 4 * 3600))

with ombrel.open() as meter:
    summary = meter.record(name="capacity", until_current_below=(0.05, 30), until_duration=LIMIT_S)
print(f"run {summary['run']} ended ({summary['end_reason']}) after {summary['duration_s']:.0f} s: "
      f"{summary['charge_ah']:.6f} Ah, {summary['energy_wh']:.6f} Wh")
