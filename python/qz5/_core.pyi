"""Type stub of qz5._core, the compiled engine (written by tools/make_core_stub.py;
do not edit by hand)."""
from typing import Any, Optional

import numpy as np
from numpy.typing import NDArray

version: str
HAVE_NETCDF: bool
FIELDS: tuple[str, ...]


class Scenario:
    """One run's inputs; use qz5.Scenario, which adds the methods by name."""
    def __init__(self) -> None: ...
    @property
    def ncomp(self) -> int:
        """NCOMP: constituents per grid point (6)"""
    @ncomp.setter
    def ncomp(self, value: Any) -> None: ...
    @property
    def npts(self) -> int:
        """NPTS: grid points"""
    @npts.setter
    def npts(self, value: Any) -> None: ...
    @property
    def m(self) -> int:
        """M: polar parameter of the grid (0: Cartesian slab)"""
    @m.setter
    def m(self, value: Any) -> None: ...
    @property
    def info10(self) -> int:
        """INFO10: 1 keeps the solution non-negative, 0 does not"""
    @info10.setter
    def info10(self, value: Any) -> None: ...
    @property
    def use_ut0(self) -> bool:
        """USE_UT0: initial profile from the file fn_ut0, else linear between the boundaries'
        start values"""
    @use_ut0.setter
    def use_ut0(self, value: Any) -> None: ...
    @property
    def li_from_bnd(self) -> bool:
        """LI_FROM_BND: lateral inputs carry the first boundary's concentrations"""
    @li_from_bnd.setter
    def li_from_bnd(self, value: Any) -> None: ...
    @property
    def tunit_model(self) -> float:
        """TUNIT_MODEL: the time-unit pair, model side"""
    @tunit_model.setter
    def tunit_model(self, value: Any) -> None: ...
    @property
    def tunit_day(self) -> float:
        """TUNIT_DAY: the time-unit pair, day side"""
    @tunit_day.setter
    def tunit_day(self, value: Any) -> None: ...
    @property
    def xconv(self) -> float:
        """XCONV: file position per model position"""
    @xconv.setter
    def xconv(self, value: Any) -> None: ...
    @property
    def cconv(self) -> NDArray[np.float64]:
        """CCONV(1..NCOMP): file concentration per model concentration"""
    @cconv.setter
    def cconv(self, value: Any) -> None: ...
    @property
    def tau(self) -> float:
        """TAU: time smoothing of the moving grid, model time units"""
    @tau.setter
    def tau(self, value: Any) -> None: ...
    @property
    def kappa(self) -> float:
        """KAPPA: spatial smoothing of the moving grid"""
    @kappa.setter
    def kappa(self, value: Any) -> None: ...
    @property
    def alpha(self) -> float:
        """ALPHA: floor of the grid monitor"""
    @alpha.setter
    def alpha(self, value: Any) -> None: ...
    @property
    def atol(self) -> float:
        """ATOL: absolute error tolerance"""
    @atol.setter
    def atol(self, value: Any) -> None: ...
    @property
    def rtol(self) -> float:
        """RTOL: relative error tolerance"""
    @rtol.setter
    def rtol(self, value: Any) -> None: ...
    @property
    def rxpar(self) -> NDArray[np.float64]:
        """RXPAR(1..19): the reaction parameters"""
    @rxpar.setter
    def rxpar(self, value: Any) -> None: ...
    @property
    def tstart(self) -> float:
        """TSTART: start time, model time units"""
    @tstart.setter
    def tstart(self, value: Any) -> None: ...
    @property
    def touts(self) -> NDArray[np.float64]:
        """TOUTS(1..NTIMES): output times, model time units"""
    @touts.setter
    def touts(self, value: Any) -> None: ...
    @property
    def ntimes(self) -> int:
        """NTIMES: number of output times (the length of touts)"""
    @property
    def xbnd(self) -> NDArray[np.float64]:
        """XBND(1..2): positions of the first and second boundary, file length units"""
    @xbnd.setter
    def xbnd(self, value: Any) -> None: ...
    @property
    def bnd_tab(self) -> NDArray[np.float64]:
        """bnd_tab: boundary series, one row per time point: time (days), the NCOMP
        concentrations of the first boundary, then those of the second (file units)"""
    @bnd_tab.setter
    def bnd_tab(self, value: Any) -> None: ...
    @property
    def nbnd_tpts(self) -> int:
        """nbnd_tpts: time points of the boundary series"""
    @property
    def cbnd0(self) -> NDArray[np.float64]:
        """CBND0(k, 1..2): concentrations of both boundaries at the start time (file units),
        NCOMP x 2; derived from bnd_tab"""
    @cbnd0.setter
    def cbnd0(self, value: Any) -> None: ...
    @property
    def ut0_tab(self) -> NDArray[np.float64]:
        """ut0_tab: the initial profile read from fn_ut0 (used when use_ut0), one row per grid
        point: an index, the position (file length units), the NCOMP concentrations (file
        units); empty: fn_ut0 is read when the run starts"""
    @ut0_tab.setter
    def ut0_tab(self, value: Any) -> None: ...
    @property
    def nlat(self) -> int:
        """nlat: number of lateral inputs (set with set_lateral_inputs)"""
    @property
    def x_lat(self) -> NDArray[np.float64]:
        """x_lat: positions of the lateral inputs, file length units"""
    @x_lat.setter
    def x_lat(self, value: Any) -> None: ...
    @property
    def q_lat(self) -> NDArray[np.float64]:
        """q_lat: flows of the lateral inputs, volume per day"""
    @q_lat.setter
    def q_lat(self, value: Any) -> None: ...
    @property
    def k_lat(self) -> float:
        """k_lat: steepness of the switch-on at each lateral input, per file length unit"""
    @k_lat.setter
    def k_lat(self, value: Any) -> None: ...
    @property
    def lat_tab(self) -> NDArray[np.float64]:
        """lat_tab: concentrations of the lateral inputs, one row per time point: time (days),
        then for constituent 1 the value of every input, then constituent 2, ... (file
        units): column 1 + l + nlat*(k-1) is input l, constituent k"""
    @lat_tab.setter
    def lat_tab(self, value: Any) -> None: ...
    @property
    def nlat_tpts(self) -> int:
        """nlat_tpts: time points of the lateral-input table"""
    @property
    def ndrv(self) -> int:
        """NDRV: variable-driver files (1)"""
    @property
    def t_drv(self) -> NDArray[np.float64]:
        """t_drv: times of variable driver 1, days (change its length with set_driver)"""
    @t_drv.setter
    def t_drv(self, value: Any) -> None: ...
    @property
    def v_drv(self) -> NDArray[np.float64]:
        """v_drv: values of variable driver 1, the factor on every lateral flow"""
    @v_drv.setter
    def v_drv(self, value: Any) -> None: ...
    @property
    def npts_drv(self) -> int:
        """npts_drv: points of variable driver 1"""
    @property
    def fn_prm(self) -> str:
        """FN_PRM: parameter file"""
    @fn_prm.setter
    def fn_prm(self, value: Any) -> None: ...
    @property
    def fn_li(self) -> str:
        """FN_LI: lateral-input file"""
    @fn_li.setter
    def fn_li(self, value: Any) -> None: ...
    @property
    def fn_bnd(self) -> str:
        """FN_BND: boundary file"""
    @fn_bnd.setter
    def fn_bnd(self, value: Any) -> None: ...
    @property
    def fn_t(self) -> str:
        """FN_T: output-times file"""
    @fn_t.setter
    def fn_t(self, value: Any) -> None: ...
    @property
    def fn_ut0(self) -> str:
        """FN_UT0: initial-profile file, read when the run starts if use_ut0"""
    @fn_ut0.setter
    def fn_ut0(self, value: Any) -> None: ...
    @property
    def fn_drv(self) -> str:
        """FN_DRV(1): variable-driver file"""
    @fn_drv.setter
    def fn_drv(self, value: Any) -> None: ...
    @property
    def fn_txc(self) -> str:
        """FN_TXC: concentration output file of the executable"""
    @fn_txc.setter
    def fn_txc(self, value: Any) -> None: ...
    @property
    def geometry(self) -> Optional[NDArray[np.float64]]:
        """geometry: None for the built-in area and dispersion laws, else a table of rows
        (position, area, dispersion per day), file units, linearly interpolated"""
    @geometry.setter
    def geometry(self, value: Any) -> None: ...
    @property
    def outflow(self) -> str:
        """outflow: 'fixed' (the second end holds the second boundary's concentrations) or
        'free' (the water leaves as it is)"""
    @outflow.setter
    def outflow(self, value: Any) -> None: ...
    @property
    def title(self) -> str:
        """title of the run"""
    @title.setter
    def title(self, value: Any) -> None: ...
    def _copy(self) -> Scenario:
        """_copy"""
    @property
    def _kinetics(self) -> Optional[Any]:
        """_kinetics"""
    def _provenance(self) -> tuple[Any, ...]:
        """_provenance"""
    def _restore(self, arg0: dict[str, Any]) -> None:
        """_restore"""
    def _set_provenance(self, console: str, names: str, changed: list[str], reference_date: str = '', constituent_names: str = '') -> None:
        """_set_provenance"""
    def _state(self) -> dict[str, Any]:
        """_state"""
    def _validate(self) -> None:
        """_validate"""
    @property
    def changed(self) -> tuple[str, ...]:
        """Fields set from Python since the scenario was read, sorted"""
    @property
    def constituent_names(self) -> str:
        """The constituents a scenario file names for the built-in kinetics
        ("salinity:psu,..."); a run's variables take these names unless it is given
        constituents=; "" otherwise"""
    @property
    def names_file(self) -> str:
        """The names file the scenario was read from ("" when built in code)"""
    @property
    def read_console(self) -> str:
        """What the reader wrote to the console while loading the names file"""
    @property
    def reference_date(self) -> str:
        """Day 0 as a date ("2024-01-01 00:00:00"), from a scenario file's reference_date: a
        run's times are then days since it (CF units); "" for plain days"""
    def set_driver(self, t_drv: Any, v_drv: Any) -> None:
        """Replaces variable driver 1: its times (days) and values; their number may change."""
    def set_lateral_inputs(self, x_lat: Any, q_lat: Any, lat_tab: Any, k_lat: Any = None) -> None:
        """Replaces the lateral inputs: positions, flows and the concentration table (and the
        switch-on steepness when given); their number may change. Checked as a whole; a
        refusal changes nothing."""


class Kinetics:
    """Declared kinetics as read; use qz5.Kinetics, which adds the names."""
    @staticmethod
    def _read_file(path: str) -> Kinetics:
        """Reads and checks a kinetics file; forcing files are found beside it"""
    @staticmethod
    def _read_text(text: str, source: str, folder: str) -> Kinetics:
        """Reads and checks kinetics from text; `source` names it in messages, forcing files
        are found in `folder`"""
    @property
    def constituents(self) -> list[dict[str, Any]]:
        """Name, unit and transported flag of constituent 1, 2, ..."""
    @property
    def definitions(self) -> list[str]:
        """The definitions as "name = expression", in the order they are evaluated"""
    @property
    def folder(self) -> str:
        """The folder its forcing files are found in"""
    @property
    def forcings(self) -> dict[str, str]:
        """The file of each forcing series, by the forcing's name"""
    @property
    def ncomp(self) -> int:
        """The number of constituents (NCOMP of a run with them)"""
    @property
    def parameter_info(self) -> dict[str, dict[str, Any]]:
        """Every parameter's value, unit, min, max, description (and table)"""
    @property
    def parameters(self) -> dict[str, Optional[float]]:
        """Parameter values by name (None for one that varies along the channel)"""
    @property
    def rates(self) -> dict[str, str]:
        """The rate expression of each constituent that has one, by its name"""
    @property
    def source(self) -> str:
        """The file it was read from (or the name given to the text)"""
    @property
    def text(self) -> str:
        """The text it was read from"""
    @property
    def title(self) -> str:
        """The title the file gives ("" when none)"""
    def with_parameter(self, name: str, value: float) -> Kinetics:
        """A copy with the parameter set; refused (ScenarioError) for an unknown name, a
        parameter that varies along the channel or a value outside its min .. max"""
    def with_table(self, name: str, x: list[float], v: list[float]) -> Kinetics:
        """A copy with the parameter linear in x between the positions x (increasing) with the
        values v; refused (ScenarioError) for an unknown name, no rows, a number that is not
        finite, positions that do not increase or a value outside its min .. max"""


class RunArgs:
    """The engine's options and what a run records."""
    def __init__(self) -> None: ...
    alpha: Optional[float]
    atol: Optional[float]
    budget: bool
    channel: str
    constituents: str
    jacobian: str
    kappa: Optional[float]
    legacy_capacities: bool
    length_unit: str
    max_steps_per_interval: int
    nonnegative: str
    observe_steps: bool
    path: str
    position_atol: Optional[float]
    position_error_test: bool
    position_increments: str
    position_rtol: Optional[float]
    profiles: bool
    rtol: Optional[float]
    sources: str
    stations: list[float]
    tau: Optional[float]


def is_scenario_file(path: str) -> bool: ...
def read_names_file(scenario: Scenario, path: str, kinetics: Optional[Kinetics] = None, strict: str = 'off', base_folder: str = '') -> str: ...
def read_scenario_file(scenario: Scenario, path: str) -> str: ...
def run(scenario: Scenario, args: RunArgs) -> dict[str, Any]: ...
def time_engine(scenario: Scenario, args: RunArgs, repeat: int) -> list[float]: ...
def write_scenario_file(scenario: Scenario, path: str, constituents: str = '') -> list[str]: ...
