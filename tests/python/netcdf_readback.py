"""The NetCDF file of the bundled run read back with Debian's netCDF4 and
xarray: its values against the legacy .txc file, its header against the CF
conventions (through ncdump -h), the CSV files against the NetCDF file, and
the file a failed run leaves.

Usage: python3 netcdf_readback.py QZ5_EXECUTABLE EXAMPLES_ESTUARY_DIR
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

import numpy as np
import netCDF4
import xarray as xr

QZ5 = None
EXAMPLE = None
NAMES = ["salinity", "DOC", "DIN", "phyto", "consumers", "detritus"]
SPEC = ("salinity:psu,DOC:umol C/L,DIN:umol N/L,phyto:umol C/L,"
        "consumers:umol C/L,detritus:umol C/L")
STATIONS = [0.0, 5000.0, 12000.0, 23330.0]
NPTS = 81


SCRATCH = []


def run_in_copy(extra_args, tag):
    d = tempfile.mkdtemp(prefix="qz5_nc_" + tag + "_")
    SCRATCH.append(d)
    for f in os.listdir(EXAMPLE):
        shutil.copy(os.path.join(EXAMPLE, f), d)
    args = [QZ5] + extra_args + ["estuary.fn"]
    p = subprocess.run(args, cwd=d, capture_output=True, text=True)
    return d, p


def full_args(nc="estuary.nc"):
    return ["--netcdf", nc, "--stations", ",".join(str(s) for s in STATIONS),
            "--stations-csv", "stations.csv", "--budget", "budget.csv",
            "--constituents", SPEC, "--length-unit", "m"]


def read_txc(path):
    with open(path) as f:
        rows = [[float(v) for v in line.split()] for line in f]
    assert len(rows) % NPTS == 0
    return np.array(rows).reshape(len(rows) // NPTS, NPTS, 8)


def five_digits(values):
    """The .txc's G13.5 shows five significant digits of the single-precision
    value; the same rounding of the NetCDF value in single precision."""
    return np.array([float("%.4e" % float(v)) for v in np.asarray(values, np.float32).ravel()])


class BundledRun(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir, cls.proc = run_in_copy(full_args(), "bundled")
        cls.nc = os.path.join(cls.dir, "estuary.nc")

    def test_run_succeeded_and_legacy_console_ends_ready(self):
        self.assertEqual(self.proc.returncode, 0, self.proc.stdout + self.proc.stderr)
        self.assertTrue(self.proc.stdout.rstrip().endswith("Ready"))

    def test_values_equal_the_txc_in_single_precision(self):
        txc = read_txc(os.path.join(self.dir, "estuary.txc"))
        with netCDF4.Dataset(self.nc) as ds:
            self.assertEqual(ds.dimensions["time"].size, txc.shape[0])
            self.assertEqual(ds.dimensions["point"].size, NPTS)
            time = ds["time"][:]
            columns = [np.repeat(time[:, None], NPTS, axis=1), ds["x"][:]]
            columns += [ds[n][:] for n in NAMES]
            for col, data in enumerate(columns):
                with self.subTest(column=col):
                    self.assertEqual(data.dtype, np.float64)
                    np.testing.assert_array_equal(five_digits(data), txc[:, :, col].ravel())

    def test_cf_header_through_ncdump(self):
        header = subprocess.run(["ncdump", "-h", self.nc], capture_output=True,
                                text=True, check=True).stdout
        self.assertIn(':Conventions = "CF-1.8" ;', header)
        variables = re.findall(r"^\tdouble (\w+)\(", header, re.M)
        self.assertEqual(len(variables), 24)  # and the text labels term_name
        for v in variables:
            with self.subTest(variable=v):
                self.assertRegex(header, r"\t\t%s:units = \"[^\"]+\" ;" % v)
                self.assertRegex(header, r"\t\t%s:long_name = \"[^\"]+\" ;" % v)
        for t in ["time", "station_time", "interval"]:
            self.assertIn('\t\t%s:units = "days" ;' % t, header)
            self.assertIn('\t\t%s:axis = "T" ;' % t, header)
            self.assertIn('\t\t%s:standard_name = "time" ;' % t, header)
        self.assertIn('\t\tsalinity:standard_name = "sea_water_salinity" ;', header)
        self.assertNotIn("DOC:standard_name", header)
        self.assertIn('\t\tx:units = "m" ;', header)
        self.assertIn('\t\tinterval:bounds = "interval_bounds" ;', header)
        self.assertIn('\t\tbudget_salinity:units = "psu m3" ;', header)
        self.assertIn('\t\tbudget_DOC:units = "(umol C/L)*(m)^3" ;', header)
        self.assertIn('\tstring term_name(term) ;', header)
        self.assertIn('\t\tbudget_DOC:coordinates = "term_name" ;', header)
        for attr in ["NPTS = 81", "RTOL = 0.0001", "ATOL = 0.001", "TAU = 0.5",
                     "KAPPA = 2.", "ALPHA = 1.e-05", 'status = "complete"',
                     'message = "Ready"', "integrator_steps = 464"]:
            self.assertIn(":" + attr + " ;", header)
        digest = re.search(r':input_parameters_sha256 = "([0-9a-f]{64})"', header)
        self.assertIsNotNone(digest)
        import hashlib
        with open(os.path.join(EXAMPLE, "estuary.prm"), "rb") as f:
            self.assertEqual(digest.group(1), hashlib.sha256(f.read()).hexdigest())

    def test_xarray_sees_coordinates_and_dimensions(self):
        with xr.open_dataset(self.nc, decode_timedelta=False) as ds:
            self.assertEqual(ds["salinity"].dims, ("time", "point"))
            self.assertIn("x", ds["salinity"].coords)
            self.assertEqual(ds["station_DOC"].dims, ("station_time", "station"))
            self.assertIn("station_x", ds["station_DOC"].coords)
            np.testing.assert_array_equal(ds["station_x"].values, STATIONS)
            self.assertEqual(ds["budget_salinity"].dims, ("interval", "term"))
            self.assertIn("term_name", ds["budget_salinity"].coords)
            closing = ds["budget_salinity"].swap_dims(term="term_name").sel(
                term_name="closing_error")
            self.assertEqual(closing.dims, ("interval",))
            self.assertEqual(ds["interval_bounds"].shape, (30, 2))
            self.assertEqual(ds.attrs["title"], "Advection dispersion with QZ5")
            # Stations on the reach ends read the end points, here at the
            # output times where both are saved.
            st = ds["station_salinity"].sel(station_time=ds["time"].values)
            np.testing.assert_array_equal(st.values[:, 0], ds["salinity"].values[:, 0])
            np.testing.assert_array_equal(st.values[:, 3], ds["salinity"].values[:, -1])

    def test_station_csv_holds_the_netcdf_series(self):
        with open(os.path.join(self.dir, "stations.csv")) as f:
            header = f.readline().rstrip("\n")
            rows = np.array([[float(v) for v in line.split(",")] for line in f])
        self.assertEqual(header, "time,station," + ",".join(NAMES))
        with netCDF4.Dataset(self.nc) as ds:
            t = ds["station_time"][:]
            self.assertEqual(rows.shape, (len(t) * len(STATIONS), 2 + len(NAMES)))
            np.testing.assert_array_equal(rows[:, 0], np.repeat(t, len(STATIONS)))
            np.testing.assert_array_equal(rows[:, 1], np.tile(STATIONS, len(t)))
            for k, n in enumerate(NAMES):
                np.testing.assert_array_equal(rows[:, 2 + k], ds["station_" + n][:].ravel())

    def test_budget_csv_holds_the_netcdf_budget(self):
        terms = ["mass_start", "mass_end", "change", "in_left_advective",
                 "in_left_dispersive", "out_right_advective", "out_right_dispersive",
                 "lateral_load", "reaction", "closing_error", "moving_grid",
                 "lateral_load_specified"]
        with open(os.path.join(self.dir, "budget.csv")) as f:
            header = f.readline().rstrip("\n")
            rows = [line.rstrip("\n").split(",") for line in f]
        self.assertEqual(header, "t_start,t_end,constituent," + ",".join(terms))
        self.assertEqual(len(rows), 30 * len(NAMES))
        with netCDF4.Dataset(self.nc) as ds:
            self.assertEqual(list(ds["term_name"][:]), terms)
            bounds = ds["interval_bounds"][:]
            for r, row in enumerate(rows):
                i, k = divmod(r, len(NAMES))
                self.assertEqual(row[2], NAMES[k])
                self.assertEqual(float(row[0]), bounds[i, 0])
                self.assertEqual(float(row[1]), bounds[i, 1])
                np.testing.assert_array_equal([float(v) for v in row[3:]],
                                              ds["budget_" + NAMES[k]][i, :])
            # The balance holds term by term as the file states it.
            sal = ds["budget_salinity"][:]
            b = {t: sal[:, j] for j, t in enumerate(terms)}
            np.testing.assert_allclose(
                b["closing_error"],
                b["change"] - (b["in_left_advective"] + b["in_left_dispersive"]
                               - b["out_right_advective"] - b["out_right_dispersive"]
                               + b["lateral_load"] + b["reaction"]),
                rtol=0, atol=1e-6 * np.abs(b["mass_start"]).max())


class FailedRun(unittest.TestCase):
    def test_failed_run_leaves_a_valid_file_with_every_completed_time(self):
        d, p = run_in_copy(["--max-steps", "40", "--netcdf", "failed.nc"], "failed")
        self.assertEqual(p.returncode, 2, p.stdout)
        self.assertTrue(p.stdout.rstrip().endswith("DASSL error"))
        txc = read_txc(os.path.join(d, "estuary.txc"))
        with netCDF4.Dataset(os.path.join(d, "failed.nc")) as ds:
            self.assertEqual(ds.status, "failed")
            self.assertEqual(ds.exit_status, 2)
            self.assertIn("IDID = -1", ds.failure_message)
            n = ds.dimensions["time"].size
            self.assertEqual(n, ds.outputs_done + 2)  # start, completed, reached
            self.assertEqual(n, txc.shape[0])
            np.testing.assert_array_equal(five_digits(ds["c1"][:]), txc[:, :, 2].ravel())
            self.assertEqual(ds["time"][-1], ds.t_reached)


class Refusals(unittest.TestCase):
    def test_station_outside_the_reach_is_refused_naming_it(self):
        d, p = run_in_copy(["--stations", "100,23400", "--stations-csv", "s.csv"], "refused")
        self.assertEqual(p.returncode, 1)
        self.assertIn("station 2 at 23400.000000 lies outside the reach", p.stdout)
        self.assertFalse(os.path.exists(os.path.join(d, "s.csv")))


if __name__ == "__main__":
    QZ5 = os.path.abspath(sys.argv[1])
    EXAMPLE = os.path.abspath(sys.argv[2])
    result = unittest.main(argv=[sys.argv[0], "-v"], exit=False).result
    if result.wasSuccessful():
        for d in SCRATCH:
            shutil.rmtree(d, ignore_errors=True)
    sys.exit(0 if result.wasSuccessful() else 1)
