"""A power budget in pytest: the device's mean current over five seconds
stays below its limit. Run: python3 -m pytest power_budget_test.py"""
import pytest

import ombrel_sim as ombrel   # import ombrel for the meter on the bench

LIMIT_A = 3.0


@pytest.fixture
def meter():
    with ombrel.open() as m:
        yield m


def test_mean_current_within_budget(meter):
    currents = [r["ibus"] for r in meter.readings(seconds=5)]
    assert currents, "the meter sent no reading"
    mean = sum(currents) / len(currents)
    assert mean < LIMIT_A, f"mean current {mean:.3f} A over 5 s is above {LIMIT_A} A"
