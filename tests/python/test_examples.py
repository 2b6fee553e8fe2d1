"""The examples of docs/examples run as a user runs them, against the
simulated meter and a run of the test's own journal."""
import os
import pathlib
import subprocess
import sys

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "docs" / "examples"


def test_power_budget_passes():
    done = subprocess.run([sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider",
                           str(EXAMPLES / "power_budget_test.py")], capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stdout + done.stderr
    assert "1 passed" in done.stdout


def test_a_capacity_test_stops_itself(tmp_path):
    env = dict(os.environ, HOME=str(tmp_path), XDG_DATA_HOME=str(tmp_path / "data"),
               XDG_CONFIG_HOME=str(tmp_path / "config"), CAPACITY_LIMIT_S="3")
    done = subprocess.run([sys.executable, str(EXAMPLES / "capacity_test.py")], env=env, capture_output=True,
                          text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    assert "ended (duration:3) after " in done.stdout and " Ah, " in done.stdout


def test_a_run_into_pandas(tmp_path):
    env = dict(os.environ, HOME=str(tmp_path), XDG_DATA_HOME=str(tmp_path / "data"),
               XDG_CONFIG_HOME=str(tmp_path / "config"))
    subprocess.run([os.environ["OMBREL_SIM"], "record", "--until-duration", "3", "--name", "example"], env=env,
                   check=True, capture_output=True, timeout=60)
    done = subprocess.run([sys.executable, str(EXAMPLES / "run_into_pandas.py")], env=env, cwd=tmp_path,
                          capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    assert "'example': " in done.stdout and "mean current" in done.stdout


def test_the_stub_names_what_the_module_has():
    import ast

    import ombrel_sim

    stub = ast.parse((EXAMPLES.parents[1] / "python" / "ombrel.pyi").read_text())
    declared = {n.name: n for n in stub.body if isinstance(n, (ast.ClassDef, ast.FunctionDef))}
    public = {n for n in dir(ombrel_sim) if not n.startswith("_")} - {"SimulatedMeter", "simulated_meter"}
    assert set(declared) == public
    for name, node in declared.items():
        if isinstance(node, ast.ClassDef):
            members = {m.name for m in node.body if isinstance(m, ast.FunctionDef)}
            members |= {m.target.id for m in node.body if isinstance(m, ast.AnnAssign)}
            missing = members - set(dir(getattr(ombrel_sim, name)))
            assert not missing, f"{name}: {missing}"
