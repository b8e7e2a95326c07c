"""Exceptions of the qz5 package.

Every failure of the system comes back as one of these, carrying the
system's own message; the Python process keeps running.
"""


class Qz5Error(Exception):
    """A failure reported by qz5.

    message: the system's message (its stop text and the console lines that
    explain it); status: the exit status the executable would have given
    (1 bad input or set-up, 2 integration failed); console: everything the
    system wrote to its console.
    """

    def __init__(self, message, status=1, console=""):
        super().__init__(message)
        self.message = message
        self.status = status
        self.console = console


class InputError(Qz5Error):
    """A names file or one of the files it names could not be read."""

    def __init__(self, message, status=1, console="", path=None):
        super().__init__(message, status, console)
        self.path = path


class ScenarioError(Qz5Error, ValueError):
    """A value refused for a field of a scenario, when set or when a run starts.

    field: the field's name (lower case, as on Scenario).
    """

    def __init__(self, message, field=None):
        super().__init__(message, 1, "")
        self.field = field


class RunError(Qz5Error):
    """A run that stopped (status 1) or whose integration failed (status 2).

    dataset: what the run produced up to the failure (an xarray.Dataset), or
    None when it stopped before the first profile.
    """

    def __init__(self, message, status, console="", dataset=None):
        super().__init__(message, status, console)
        self.dataset = dataset


class WriteError(Qz5Error, OSError):
    """The run's NetCDF file could not be written (a full disk, a folder
    that went away). The run itself went on: dataset holds everything it
    computed; the message says what became of the file (closed with what
    was written before, or removed).
    """

    def __init__(self, message, dataset=None):
        Qz5Error.__init__(self, message, 1, "")
        self.dataset = dataset

    def __str__(self):
        return self.message


class Interrupted(KeyboardInterrupt):
    """Ctrl-C (SIGINT) during a run: the run stopped after its last
    completed step. dataset holds what it computed up to there (the
    profiles of the output times reached, the station samples of every
    step), or None when it stopped before the first profile.
    """

    def __init__(self, message="Interrupted", dataset=None):
        super().__init__(message)
        self.message = message
        self.dataset = dataset
