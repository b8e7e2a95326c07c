"""Draws the BOD-DO test's steady oxygen deficit against the classic sag curve.

    QZ5_SAG_CSV=sag.csv build/test_kinetics --gtest_filter=*BodDo*
    /usr/bin/python3 examples/kinetics/plot_bod_do_sag.py sag.csv bod_do_sag.png
"""
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np

data = np.genfromtxt(sys.argv[1], delimiter=",", names=True)
km = data["x_m"] / 1000.0
fig, (top, bottom) = plt.subplots(2, 1, figsize=(7, 6.5), sharex=True,
                                  gridspec_kw={"height_ratios": [3, 1.3]})
top.plot(km, data["deficit_sag"], "-", color="0.3", lw=2, label="sag curve (plug flow)")
top.plot(km, data["deficit_exact"], "--", color="tab:blue", lw=1.2,
         label="exact steady state with dispersion")
top.plot(km, data["deficit"], "o", ms=3.5, color="tab:red", label="qz5, bod_do kinetics, 81 points")
top.set_ylabel("oxygen deficit (mg/L)")
top.set_title("BOD-DO: steady deficit, u = 0.2 m/s, D = 20 m$^2$/s (uL/D = 500),\n"
              "kd = 0.35/d, ka = 0.8/d, L0 = 20 mg/L, D0 = 2.02 mg/L")
top.legend(loc="lower right")
top.grid(alpha=0.3)
bottom.plot(km, data["deficit"] - data["deficit_sag"], "o-", ms=2.5, color="tab:red",
            label="qz5 - sag curve")
bottom.plot(km, data["deficit_exact"] - data["deficit_sag"], "--", color="tab:blue",
            label="dispersion's share")
bottom.set_xlabel("distance from the inflow end (km)")
bottom.set_ylabel("difference (mg/L)")
bottom.legend(loc="upper right", fontsize=8)
bottom.grid(alpha=0.3)
fig.tight_layout()
fig.savefig(sys.argv[2], dpi=110)
