"""The newest run of the journal into pandas, its current resampled to one
minute and drawn into run.png (matplotlib, when installed); without pandas,
the same figures from the NumPy array."""
import ombrel_sim as ombrel   # import ombrel to read the program's journal the same way

run = ombrel.Journal().run("last")
rows = run.records()
print(f"run {run.id} '{run.info['name']}': {len(rows)} records, {run.stats()['charge_ah']:.6f} Ah")
try:
    frame = run.to_pandas()
except ImportError:
    print(f"mean current {rows['ibus'].mean():.4f} A (pandas is not installed)")
else:
    minutes = frame["ibus"].resample("1min").mean()
    print(f"mean current {frame['ibus'].mean():.4f} A, {len(minutes)} minute(s)")
    try:
        import matplotlib
        matplotlib.use("Agg")
        axes = minutes.plot(title=f"run {run.id}: current, one-minute means")
        axes.set_ylabel("A")
        axes.figure.savefig("run.png")
        print("drawn into run.png")
    except ImportError:
        print("matplotlib is not installed: no picture")
