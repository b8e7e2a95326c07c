"""qz5 for Python: run the estuary model, plot, run ensembles, calibrate.

    import qz5
    s = qz5.Scenario.from_names_file("examples/estuary/estuary.fn")
    s.set("rxpar[1]", 1.4)             # RXPAR(1): text names count from 1
    ds = qz5.run(s, stations={"mouth": 0.0, "town": 15000.0}, budget=True)
    ds.budget_c1.sel(term="reaction")
    qz5.plot.profiles(ds)

See the README and the documentation (make docs) for a whole session.
"""
from . import _core
from .errors import InputError, Interrupted, Qz5Error, RunError, ScenarioError, WriteError
from .kinetics import Kinetics
from .scenario import Scenario
from .results import budget_term, open_dataset, run
from .ensembles import ensemble
from .calibration import calibrate
from . import plot

__version__: str = _core.version

__all__ = ["Scenario", "Kinetics", "run", "open_dataset", "budget_term", "ensemble", "calibrate",
           "plot", "Qz5Error", "InputError", "ScenarioError", "RunError", "WriteError",
           "Interrupted"]
