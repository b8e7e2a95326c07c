"""qz5 for Python: run the estuary model, plot, run ensembles, calibrate.

    import qz5
    s = qz5.Scenario.from_names_file("examples/estuary/estuary.fn")
    s.set("rxpar[1]", 1.4)
    ds = qz5.run(s, stations=[5000.0, 15000.0])

See the README for a whole session.
"""
from . import _core
from .errors import InputError, Interrupted, Qz5Error, RunError, ScenarioError, WriteError
from .scenario import Scenario
from .results import budget_term, run
from .ensembles import ensemble
from .calibration import calibrate

__version__ = _core.version

__all__ = ["Scenario", "run", "ensemble", "calibrate", "Qz5Error", "InputError",
           "ScenarioError", "RunError", "WriteError", "Interrupted"]
