"""A Python session with declared kinetics: load a kinetics file, change a
parameter by name, run, run a small ensemble, fit one parameter by name.

    PYTHONPATH=build/python /usr/bin/python3 examples/kinetics/session.py

(from the repository root, after make python)."""
import numpy as np, qz5
def main():
    k = qz5.Kinetics.from_file("examples/kinetics/bod_do.toml")
    print(k)
    print(k.parameter_info["kd"])
    s = qz5.Scenario.from_names_file("examples/kinetics/bod_do/bod_do.fn", kinetics=k)
    rows = [l.split() for l in open("examples/kinetics/bod_do/bod_do.geo").read().splitlines()[1:] if l.split()]
    s.geometry = np.array(rows, dtype=float)
    s.outflow = "free"
    print(s, dict(s.parameters))
    ds = qz5.run(s)
    print("DO min at day 10:", float(ds["DO"].isel(time=-1).min()), ds["DO"].attrs["units"], ds["DO"].attrs["transported"])
    s.parameters["ka"] = 1.2
    print("ka now", s.parameters["ka"], "kinetics file untouched:", k.parameters["ka"])
    print("DO min with ka = 1.2:", float(qz5.run(s)["DO"].isel(time=-1).min()))
    ens = qz5.ensemble(s, [{"kd": v} for v in (0.2, 0.35, 0.5)])
    print(ens["status"].values, ens["DO"].isel(time=-1).min("point").values)
    truth = s.copy(); truth.parameters["kd"] = 0.5
    t = qz5.run(truth)
    obs = [{"time": float(t["time"][i]), "x": float(t["x"][i, j]), "constituent": "DO", "value": float(t["DO"][i, j])}
           for i in range(1, len(t["time"])) for j in (20, 40, 60)]
    fit = qz5.calibrate(s, obs, ["kd"])
    print(fit.table)
    print(fit.skill)

if __name__ == "__main__":
    main()
