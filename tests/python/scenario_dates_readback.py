"""A scenario file with a reference date, run by the executable: its NetCDF
time coordinates decode as dates through xarray, its CSV files carry the ISO
dates next to the days, and its times given as dates are the days the legacy
.txc file shows. The dates expected are computed here with Python's datetime.

Usage: python3 scenario_dates_readback.py QZ5_EXECUTABLE EXAMPLES_ESTUARY_DIR
"""
import csv
import datetime as dt
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import numpy as np
import xarray as xr

QZ5 = None
EXAMPLE = None
DAY0 = dt.datetime(2024, 2, 27, 6, 0, 0)  # a leap year; six in the morning


def iso(days):
    moment = DAY0 + dt.timedelta(seconds=round(days * 86400.0))
    if moment.time() == dt.time(0, 0, 0):
        return moment.date().isoformat()
    return moment.isoformat()


class DatesInTheOutputs(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="qz5_dates_")
        for f in os.listdir(EXAMPLE):
            shutil.copy(os.path.join(EXAMPLE, f), cls.dir)
        path = os.path.join(cls.dir, "estuary.toml")
        with open(path) as f:
            s = f.read()
        edits = [
            ("# reference_date = 2024-01-01", "reference_date = 2024-02-27T06:00:00"),
            ("start = 0.0 ", "start = 2024-02-27T06:00:00 "),
            ("outputs = { from = 4.0, to = 120.0, step = 4.0 }",
             'outputs = [2024-02-28T18:00:00, "2024-03-01", 3.5]'),
            ('# netcdf = "estuary.nc"', 'netcdf = "estuary.nc"'),
            ("# stations = [", "stations = ["),
            ('name = "outfall"', 'name = "outfall, north"'),  # a comma: quoted in the CSV
            ("# stations_csv", "stations_csv"),
            ("# budget =", "budget ="),
        ]
        for old, new in edits:
            assert old in s, old
            s = s.replace(old, new)
        with open(path, "w") as f:
            f.write(s)
        cls.proc = subprocess.run([QZ5, "estuary.toml"], cwd=cls.dir, capture_output=True,
                                 text=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def test_run_ends_ready(self):
        self.assertEqual(self.proc.returncode, 0, self.proc.stdout)

    def test_times_given_as_dates_are_days_from_the_reference(self):
        # 28 Feb 18:00 is 1.5 days after 27 Feb 06:00; 1 Mar 00:00 is 2.75
        # (29 Feb lies between); the third is given in days.
        with open(os.path.join(self.dir, "estuary.txc")) as f:
            days = sorted({float(line.split()[0]) for line in f})
        self.assertEqual(days, [0.0, 1.5, 2.75, 3.5])

    def test_netcdf_time_coordinates_decode_as_dates(self):
        with xr.open_dataset(os.path.join(self.dir, "estuary.nc")) as ds:
            self.assertTrue(np.issubdtype(ds["time"].dtype, np.datetime64))
            expected = [np.datetime64(DAY0 + dt.timedelta(days=d), "ns")
                        for d in (0.0, 1.5, 2.75, 3.5)]
            self.assertEqual(list(ds["time"].values), expected)
            self.assertTrue(np.issubdtype(ds["station_time"].dtype, np.datetime64))
            self.assertEqual(ds["station_time"].values[0], expected[0])
            self.assertEqual(ds["interval"].values[-1], expected[-1])
            self.assertEqual(ds["time"].encoding["calendar"], "proleptic_gregorian")
        with xr.open_dataset(os.path.join(self.dir, "estuary.nc"), decode_times=False) as raw:
            self.assertEqual(raw["time"].attrs["units"], "days since 2024-02-27 06:00:00")
            self.assertEqual(list(raw["time"].values), [0.0, 1.5, 2.75, 3.5])

    def test_station_names_reach_the_netcdf_and_csv_files(self):
        # The scenario file's [output] stations: head at 0, "outfall, north"
        # at 16000.
        named = {0.0: "head", 16000.0: "outfall, north"}
        with xr.open_dataset(os.path.join(self.dir, "estuary.nc"), decode_times=False) as ds:
            self.assertEqual(ds["station_name"].dims, ("station",))
            self.assertEqual([named[float(x)] for x in ds["station_x"].values],
                             [str(n) for n in ds["station_name"].values])
        with open(os.path.join(self.dir, "estuary-stations.csv")) as f:
            rows = list(csv.DictReader(f))
        self.assertEqual(list(rows[0])[:4], ["time", "date", "station", "station_name"])
        self.assertEqual({r["station_name"] for r in rows}, set(named.values()))
        for r in rows:
            self.assertEqual(r["station_name"], named[float(r["station"])])

    def test_csv_files_write_iso_dates_next_to_the_days(self):
        with open(os.path.join(self.dir, "estuary-stations.csv")) as f:
            rows = list(csv.DictReader(f))
        self.assertGreater(len(rows), 4)
        self.assertEqual(list(rows[0])[:3], ["time", "date", "station"])
        for r in rows:
            self.assertEqual(r["date"], iso(float(r["time"])))
        self.assertEqual(rows[0]["date"], "2024-02-27T06:00:00")
        with open(os.path.join(self.dir, "estuary-budget.csv")) as f:
            rows = list(csv.DictReader(f))
        self.assertEqual(list(rows[0])[:5], ["t_start", "date_start", "t_end", "date_end",
                                             "constituent"])
        for r in rows:
            self.assertEqual(r["date_start"], iso(float(r["t_start"])))
            self.assertEqual(r["date_end"], iso(float(r["t_end"])))
        self.assertEqual(rows[-1]["date_end"], "2024-03-01T18:00:00")  # 3.5 days on


if __name__ == "__main__":
    QZ5, EXAMPLE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    unittest.main(argv=sys.argv[:1])
