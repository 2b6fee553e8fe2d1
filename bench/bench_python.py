"""The Python module on the 7-day run bench_journal leaves in XDG_DATA_HOME:
importing it, the run into NumPy (and pandas when installed), and readings()
at 1000 reports a second while the script sleeps 50 ms every 100 of them.
Targets: import <= 0.2 s; NumPy <= 0.5 s; pandas <= 1 s; no reading dropped.
Usage: python3 bench_python.py SECONDS   (PYTHONPATH: the build's python/)"""
import statistics
import subprocess
import sys
import time

seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 10

imports = []
for _ in range(5):
    done = subprocess.run([sys.executable, "-c", "import time; t = time.perf_counter(); import ombrel_sim; "
                           "print(time.perf_counter() - t)"], capture_output=True, text=True, check=True)
    imports.append(float(done.stdout))
print("import ombrel_sim: median %.3f s of 5 (target <= 0.2)" % statistics.median(imports))

import ombrel_sim as ombrel  # noqa: E402

run = ombrel.Journal().run("last")
t = time.perf_counter()
rows = run.records()
print("7-day run into NumPy: %.3f s (target <= 0.5), %d records" % (time.perf_counter() - t, len(rows)))
try:
    import pandas  # noqa: F401
    t = time.perf_counter()
    frame = run.to_pandas()
    print("7-day run into pandas: %.3f s (target <= 1), %d rows" % (time.perf_counter() - t, len(frame)))
except ImportError:
    print("7-day run into pandas: pandas is not installed")

ombrel.simulated_meter().set_rate(1000)
with ombrel.open() as meter:
    taken = 0
    t = time.monotonic()
    for _ in meter.readings(seconds=seconds):
        taken += 1
        if taken % 100 == 0:
            time.sleep(0.05)
    spent = time.monotonic() - t
    print("readings() at 1000 reports/s for %.0f s, sleeping 50 ms every 100: %d taken (%.0f a second), %d dropped "
          "(target 0)" % (spent, taken, taken / spent, meter.dropped))
