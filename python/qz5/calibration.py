"""Calibration: fitting parameters of a scenario to observations.

    obs = pd.DataFrame({"time": [...], "x": [...], "constituent": [...], "value": [...]})
    fit = qz5.calibrate(s, obs, {"rxpar[1]": (0.5, 2.0), "rxpar[4]": (0.01, 0.5)})
    fit.table        # start, fitted value, standard error, bounds
    fit.skill        # RMSE, bias, Nash-Sutcliffe per constituent

Observations are a table with columns ``time`` (days), ``x`` (or
``position``; file length units), ``constituent`` (its number 1..NCOMP, its
variable name c1..c6, or a name given with ``constituents=``) and
``value`` (file units); an optional column ``sigma`` gives each value's
standard uncertainty. Parameters are scenario parameter names (``rxpar[7]``
or ``rxpar_7``, ``tau``, ..., or the names of declared kinetics, ``kd``)
with (lower, upper) bounds; a declared parameter given by its name alone
takes its ``min`` and ``max`` as bounds. With declared kinetics the
constituents are also known by their declared names. The fit starts from
the scenario's own values.

The model is run with the observation times as its output times (so it is
compared at exactly those times) and interpolated linearly in position
between the grid points around each observation. The fit is
``scipy.optimize.least_squares`` (trust region reflective, within the
bounds) on the residuals (model - value) / sigma. The Jacobian is formed
by forward differences whose model runs go out together: to the workers of
a Dask client when one is given (a Client or a scheduler address), otherwise
to threads of this process (the engine releases the GIL).

Without a sigma column the noise of each constituent is estimated from the
fit itself (``noise="per_constituent"``, the default): a first fit weighs
each constituent by the spread of its values, so that constituents in
different units weigh alike; then each constituent's noise is estimated from
its residuals, sigma_k^2 = (sum of its squared residuals) / (its values less
its share of the parameters, the sum of its observations' leverages); the
fit is repeated with those weights (``max_reweight`` times, default once:
the first fit's residuals already estimate the noise consistently; more
rounds stop when the weights change by less than 1 %), and the noise is
estimated again at the last solution for the standard errors. ``fit.noise``
holds the estimates.
``noise="pooled"`` keeps the spread weights and estimates one variance
factor from all residuals, as earlier versions did; when the constituents'
noise is not in proportion to their spread, its standard errors are wrong,
too large for parameters that the relatively precise constituents decide
and too small for the others (twin experiments: up to 2.6 times).

What the standard errors mean: the square roots of the diagonal of the
linearised covariance of the weighted least-squares estimate at the
solution, (J^T J)^-1 with J the Jacobian of the weighted residuals - times
the residual variance s^2 = (sum of squares) / (observations - parameters)
when a sigma column is given without ``absolute_sigma=True``, times 1 when
the sigmas are taken as known or estimated per constituent. If the model is
right, the observations' errors independent and of the size the weights say
(or of one size per constituent), and the problem close to linear over the
errors, the true value lies within one standard error of the fitted one in
about 68 % of experiments and within two in about 95 %. Measured in twin
experiments (two kinetic rates, 105 observations of three constituents whose
noise is 1 %, 10 % and 3 % of their means; 100 fits): 67 % and 95.5 % with
the noise estimated per constituent, 52 % and 82.5 % with it pooled; with
noise of 0.5 %, 20 % and 2 %: 71 % and 93 %, against 43 % and 75.5 %; three
rates with every constituent's noise 3 % of its mean (30 fits): 65.6 % and
96.7 %, against 98.9 % and 100 % (errors 2.4 times too large). They do not include the
model's structural error, errors correlated in time or along the channel
(which make them too small), nor parameters held at a bound (where the
linearisation does not hold).
"""
from __future__ import annotations

import concurrent.futures
import dataclasses
import os
from typing import Any, Mapping, Optional, Sequence, Union

import numpy as np

from .errors import Qz5Error
from .results import run_args
from . import _core


@dataclasses.dataclass
class CalibrationResult:
    names: list
    start: np.ndarray
    values: np.ndarray
    stderr: np.ndarray
    lower: np.ndarray
    upper: np.ndarray
    covariance: np.ndarray
    skill: "object"         # pandas DataFrame, per constituent
    skill_start: "object"
    comparison: "object"    # the observations with the model's values at the start and fitted
    scenario: "object"      # a copy of the scenario with the fitted values set
    cost: float
    nfev: int
    njev: int
    success: bool
    message: str
    noise: "object" = None  # pandas Series: the noise estimated per constituent, if it was

    @property
    def table(self):
        """Start, fitted value, standard error and bounds of each parameter."""
        import pandas as pd

        return pd.DataFrame({"start": self.start, "value": self.values, "stderr": self.stderr,
                             "lower": self.lower, "upper": self.upper},
                            index=pd.Index(self.names, name="parameter"))

    @property
    def correlation(self):
        d = np.sqrt(np.diag(self.covariance))
        with np.errstate(invalid="ignore", divide="ignore"):
            return self.covariance / np.outer(d, d)

    def as_dict(self):
        """{name: fitted value}, ready for Scenario.update."""
        return dict(zip(self.names, self.values.tolist()))


def _parameter_list(parameters, scenario):
    """Names and bounds; a name given alone (or with None) takes the bounds
    its declared kinetics give it (min .. max)."""
    if isinstance(parameters, dict):
        items = [(n, b) for n, b in parameters.items()]
    else:
        items = [(p, None) if isinstance(p, str) else (p[0], p[1:] if len(p) == 3 else p[1])
                 for p in parameters]
    items = [(n, scenario.parameters.bounds(n) if b is None else b) for n, b in items]
    for n, b in items:
        if not (np.isfinite(float(b[0])) and np.isfinite(float(b[1]))):
            raise ValueError(f"{n}: no bounds given, and the scenario declares none")
    names = [n for n, _ in items]
    lower = np.array([float(b[0]) for _, b in items])
    upper = np.array([float(b[1]) for _, b in items])
    if not np.all(lower < upper):
        raise ValueError("every parameter needs bounds (lower, upper) with lower < upper")
    return names, lower, upper


def _observation_table(observations, constituents, ncomp):
    import pandas as pd

    obs = pd.DataFrame(observations).copy()
    if "x" not in obs and "position" in obs:
        obs = obs.rename(columns={"position": "x"})
    missing = [c for c in ("time", "x", "constituent", "value") if c not in obs]
    if missing:
        raise ValueError(f"observations need the columns time, x (or position), constituent, "
                         f"value; missing: {', '.join(missing)}")
    names = {}
    for k, spec in enumerate(constituents or [], start=1):
        names[str(spec).split(":")[0].strip()] = k
    for k in range(1, ncomp + 1):
        names.setdefault(f"c{k}", k)

    def number(c):
        if isinstance(c, (int, np.integer)) and 1 <= int(c) <= ncomp:
            return int(c)
        if isinstance(c, str) and c.strip() in names:
            return names[c.strip()]
        raise ValueError(f"observations: unknown constituent {c!r}")

    obs["k"] = [number(c) for c in obs["constituent"]]
    obs = obs.astype({"time": float, "x": float, "value": float})
    if not np.isfinite(obs[["time", "x", "value"]].to_numpy()).all():
        raise ValueError("observations: time, x and value must be finite numbers")
    return obs.reset_index(drop=True)


class _Model:
    """The scenario run at the observation times and sampled at the
    observations: parameter values in, model values out."""

    def __init__(self, scenario, names, obs, options):
        self.names = names
        s = scenario.copy()
        days = s.tunit_day / s.tunit_model
        t0 = s.tstart * days
        times = np.unique(obs["time"].to_numpy())
        if times[0] < t0:
            raise ValueError(f"observations: time {times[0]:g} lies before the start {t0:g} days")
        later = times[times > t0]
        if len(later) == 0:
            raise ValueError("observations: none lies after the start time")
        s.touts = later / days
        self.scenario = s
        self.times = np.concatenate([[t0], later])
        self.time_index = np.searchsorted(self.times, obs["time"].to_numpy())
        self.x = obs["x"].to_numpy()
        self.k = obs["k"].to_numpy()
        self.args = dict(options)

    def sample(self, values):
        return predict(self.scenario, dict(zip(self.names, values)), self.times, self.time_index,
                       self.x, self.k, self.args)


def predict(scenario: Any, values: Mapping[str, float], times: np.ndarray,
            time_index: np.ndarray, x: np.ndarray, k: np.ndarray,
            args: Mapping[str, Any]) -> np.ndarray:
    """The model at the observations (NaN where the run did not get);
    runs wherever it is called (threads, Dask workers)."""
    s = scenario.copy()
    s.update(values)
    raw = _core.run(s, run_args(**args))
    rec = raw["record"]
    var = {name: data for name, _, _, data in rec["variables"]}
    out = np.full(len(x), np.nan)
    if "x" not in var or len(var["time"]) == 0:
        return out
    saved = np.asarray(var["time"])
    profiles = [n for n, dims, _, _ in rec["variables"]
                if tuple(dims) == ("time", "point") and n != "x"]
    for i, t in enumerate(times):
        rows = np.nonzero(time_index == i)[0]
        # The run saves t_model * (days per model unit): equal to the day
        # asked for up to rounding.
        j = int(np.argmin(np.abs(saved - t)))
        if len(rows) == 0 or not abs(saved[j] - t) <= 1e-9 * max(1.0, abs(t)):
            continue
        grid = var["x"][j]
        for kk in np.unique(k[rows]):
            sel = rows[k[rows] == kk]
            out[sel] = np.interp(x[sel], grid, var[profiles[kk - 1]][j])
    return out


class _Runner:
    """Runs several parameter vectors together: on a Dask client, or on
    threads of this process."""

    def __init__(self, model, client):
        self.model = model
        self.client = client
        self.close = lambda: None
        self.pool = None
        if client is not None:
            from .ensembles import connect

            self.client, self.close = connect(client)
            self.remote = self.client.scatter(model.scenario, broadcast=True)
        else:
            self.pool = concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 1)

    def map(self, vectors):
        m = self.model
        if self.pool is not None:
            return list(self.pool.map(m.sample, vectors))
        futures = [self.client.submit(predict, self.remote, dict(zip(m.names, v)), m.times,
                                      m.time_index, m.x, m.k, m.args, pure=False)
                   for v in vectors]
        return self.client.gather(futures)

    def shutdown(self):
        if self.pool is not None:
            self.pool.shutdown()
        self.close()


def skill(obs: "pd.DataFrame", model: np.ndarray) -> "pd.DataFrame":
    """RMSE, bias (mean of model - observed), Nash-Sutcliffe efficiency and
    the number of values, per constituent.

    Parameters
    ----------
    obs : pandas.DataFrame
        Observations with the columns ``constituent`` and ``value``.
    model : numpy.ndarray
        The model's value at each observation.

    Returns
    -------
    pandas.DataFrame
        Indexed by constituent: ``rmse`` and ``bias`` (in the values' units),
        ``nse`` (1 a perfect fit, 0 no better than the observations' mean),
        ``n``.
    """
    import pandas as pd

    rows = []
    for c, g in obs.assign(model=model).groupby("constituent", sort=False):
        err = g["model"] - g["value"]
        spread = ((g["value"] - g["value"].mean()) ** 2).sum()
        rows.append({"constituent": c, "rmse": float(np.sqrt((err ** 2).mean())),
                     "bias": float(err.mean()),
                     "nse": float(1.0 - (err ** 2).sum() / spread) if spread > 0 else np.nan,
                     "n": len(g)})
    return pd.DataFrame(rows).set_index("constituent")


def noise_per_constituent(residuals: np.ndarray, J: np.ndarray,
                          groups: np.ndarray) -> dict:
    """Each group's noise from its residuals (model - value, unweighted) at
    a least-squares solution: sigma_k^2 = RSS_k / (n_k - sum of the group's
    leverages), J the Jacobian of the weighted residuals there. The
    leverages (the diagonal of the hat matrix J (J^T J)^-1 J^T) share the
    parameters' degrees of freedom out among the observations, so that the
    groups' denominators add up to observations - parameters. Values the
    model did not reach (NaN) are left out; a group with none left gets NaN."""
    q, _ = np.linalg.qr(J)
    rank = np.linalg.matrix_rank(J)
    leverage = np.sum(q[:, :rank] ** 2, axis=1)
    out = {}
    for g in np.unique(groups):
        sel = (groups == g) & np.isfinite(residuals)
        dof = max(float(np.sum(sel) - np.sum(leverage[sel])), 0.5)
        out[g] = float(np.sqrt(np.sum(residuals[sel] ** 2) / dof)) if sel.any() else np.nan
    return out


def calibrate(scenario: Any, observations: Any,
              parameters: Union[Mapping[str, tuple[float, float]],
                                Sequence[tuple[str, float, float]]],
              client: Any = None, *, constituents: Union[None, str, Sequence[str]] = None,
              absolute_sigma: bool = False, noise: str = "per_constituent",
              max_reweight: int = 1, rel_step: float = 1e-3, max_nfev: int = 50,
              ftol: float = 1e-8, xtol: float = 1e-8, engine_rtol: float = 1e-6,
              engine_atol: Optional[float] = None, verbose: int = 0,
              **run_options: Any) -> CalibrationResult:
    """Fits parameters of a scenario to observations.

    Parameters
    ----------
    scenario : qz5.Scenario
        The scenario to start from (left unchanged).
    observations : pandas.DataFrame
        A table as the module describes: ``time`` (days), ``x`` (file
        length units), ``constituent``, ``value`` (file units), optionally
        ``sigma``.
    parameters : dict or list
        ``{name: (lower, upper)}`` or a list of ``(name, lower, upper)``;
        names as :meth:`qz5.Scenario.set` takes them, counting from 1
        (``"rxpar[7]"`` is RXPAR(7), the array's ``s.rxpar[6]``).
    client : optional
        None (threads of this process), a dask.distributed Client or a
        scheduler address.
    constituents : str or sequence of str, optional
        The names used in the observations for constituents 1, 2, ...
        (texts, or ``"name:unit"``).
    absolute_sigma : bool, default False
        Take the sigmas as known (s^2 = 1 in the covariance).
    noise : {"per_constituent", "pooled"}
        Without a sigma column: "per_constituent" estimates each
        constituent's noise from its residuals and reweights the fit with
        it (up to ``max_reweight`` times); "pooled" takes one variance
        factor for all, the constituents weighed by their spread.
    max_reweight : int, default 1
        Reweighted fits at most, with ``noise="per_constituent"``.
    rel_step : float, default 1e-3
        Relative step of the forward differences.
    max_nfev, ftol, xtol, verbose
        Passed on to ``scipy.optimize.least_squares``: they control the
        fit.
    engine_rtol : float, default 1e-6
        The engine's relative tolerance for the fitting runs, tighter than
        a scenario's usual one, so that the differences see the parameters
        and not the integrator's error control.
    engine_atol : float, optional
        The engine's absolute tolerance (default: the scenario's own).
    **run_options
        Further engine options as for :func:`qz5.run`; ``rtol`` and
        ``atol`` given here are the engine's too, as in :func:`qz5.run`.

    Returns
    -------
    CalibrationResult
        Fitted values, standard errors, skill before and after, the
        comparison table and the fitted scenario.
    """
    from scipy.optimize import least_squares

    names, lower, upper = _parameter_list(parameters, scenario)
    for n in names:
        scenario.get(n)  # an unknown name fails here, not in the fit
    start = np.array([float(scenario.get(n)) for n in names])
    start = np.clip(start, lower, upper)
    if isinstance(constituents, str):
        constituents = constituents.split(",")
    if constituents is None and scenario.kinetics is not None:
        constituents = scenario.kinetics.names
    obs = _observation_table(observations, constituents, scenario.ncomp)
    if noise not in ("per_constituent", "pooled"):
        raise ValueError('noise must be "per_constituent" or "pooled"')
    estimate_noise = "sigma" not in obs and noise == "per_constituent"
    if "sigma" in obs:
        sigma = obs["sigma"].to_numpy(dtype=float)
        if not (sigma > 0).all():
            raise ValueError("observations: every sigma must be positive")
    else:
        spread = obs.groupby("k")["value"].transform("std").fillna(0.0).to_numpy()
        sigma = np.where(spread > 0, spread, 1.0)
    groups = obs["k"].to_numpy()
    values = obs["value"].to_numpy()
    options = dict(run_options)
    options.setdefault("rtol", engine_rtol)
    if engine_atol is not None:
        options.setdefault("atol", engine_atol)
    model = _Model(scenario, names, obs, options)
    # Work in parameters scaled by their start values (or bound widths).
    scale = np.where(start != 0, np.abs(start), upper - lower)
    penalty = 1e3

    def residuals(pred):
        r = (pred - values) / sigma
        return np.where(np.isfinite(r), r, penalty)

    cache = {}

    def evaluate_many(us):
        todo = [u for u in us if tuple(u) not in cache]
        if todo:
            for u, pred in zip(todo, runner.map([u * scale for u in todo])):
                cache[tuple(u)] = pred
        return [cache[tuple(u)] for u in us]

    def fun(u):
        return residuals(evaluate_many([u])[0])

    def jac(u, f0=None):
        h = rel_step * np.maximum(np.abs(u), 1e-8)
        lo, hi = lower / scale, upper / scale
        steps = []
        for i in range(len(u)):
            # Step inside the bounds: backwards at an upper bound.
            hi_room = hi[i] - u[i]
            h[i] = h[i] if hi_room >= h[i] else -h[i]
            v = u.copy()
            v[i] = u[i] + h[i]
            if v[i] < lo[i]:
                v[i] = lo[i]
                h[i] = v[i] - u[i]
            steps.append(v)
        base_f = fun(u)
        cols = evaluate_many(steps)
        J = np.empty((len(values), len(u)))
        for i, pred in enumerate(cols):
            J[:, i] = (residuals(pred) - base_f) / h[i]
        return J

    def solve(u):
        return least_squares(fun, u, jac=jac, bounds=(lower / scale, upper / scale),
                             method="trf", x_scale=1.0, max_nfev=max_nfev, ftol=ftol, xtol=xtol,
                             verbose=verbose)

    runner = _Runner(model, client)
    nfev = njev = 0
    try:
        first = evaluate_many([start / scale])[0]
        if not np.isfinite(first).all():
            raise Qz5Error("the model run at the start values does not reach every observation")
        fit = solve(start / scale)
        nfev, njev = int(fit.nfev), int(fit.njev or 0)
        J = jac(fit.x)
        final = evaluate_many([fit.x])[0]
        noise_found = None
        if estimate_noise:
            for round_ in range(max_reweight + 1):
                found = noise_per_constituent(final - values, J, groups)
                # A constituent fitted exactly keeps a weight it can be divided
                # by; one the model did not reach keeps its weight.
                new = np.array([max(found[g], 1e-12 * s0) if np.isfinite(found[g]) else s0
                                for g, s0 in zip(groups, sigma)])
                change = np.max(np.abs(new / sigma - 1.0))
                # The covariance below is taken with the noise found at the
                # last solution: rescale its Jacobian's rows to it.
                J = J * (sigma / new)[:, None]
                sigma = new
                noise_found = found
                if change < 0.01 or round_ == max_reweight:
                    break
                fit = solve(fit.x)
                nfev, njev = nfev + int(fit.nfev), njev + int(fit.njev or 0)
                J = jac(fit.x)
                final = evaluate_many([fit.x])[0]
    finally:
        runner.shutdown()
    m, n = J.shape
    Jp = J / scale  # d residual / d parameter
    known = absolute_sigma or estimate_noise
    s2 = 1.0 if known else float(np.sum(fun(fit.x) ** 2) / max(m - n, 1))
    cov = s2 * np.linalg.pinv(Jp.T @ Jp)
    fitted = fit.x * scale
    best = scenario.copy()
    best.update(dict(zip(names, fitted.tolist())))
    comparison = obs.drop(columns=["k"]).assign(model_start=first, model=final)
    return CalibrationResult(
        names=names, start=start, values=fitted, stderr=np.sqrt(np.diag(cov)), lower=lower,
        upper=upper, covariance=cov, skill=skill(obs, final), skill_start=skill(obs, first),
        comparison=comparison, scenario=best, cost=float(fit.cost), nfev=nfev, njev=njev,
        success=bool(fit.success), message=str(fit.message),
        noise=None if noise_found is None else _noise_series(noise_found, obs))


def _noise_series(found, obs):
    import pandas as pd

    label = obs.groupby("k")["constituent"].first()
    return pd.Series({label[k]: v for k, v in found.items()}, name="noise")
