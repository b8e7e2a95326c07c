"""The files of the command line: number formatting as the executable's,
the geometry table, the constituent list."""
import numpy as np
import pytest

from qz5.files import FileError, constituent_spec, read_geometry, shortest


# Expected texts: what C++'s std::to_chars(first, last, v) writes with GCC 12
# (a program printing each value, run once on this machine).
@pytest.mark.parametrize("value,text", [
    (100.0, "100"), (1e-5, "1e-05"), (0.001, "0.001"), (1.5e16, "1.5e+16"),
    (123456.789, "123456.789"), (1e22, "1e+22"), (0.5, "0.5"), (-2.5e-7, "-2.5e-07"),
    (1e16, "1e+16"), (1234567890123456.0, "1234567890123456"), (5e-324, "5e-324"),
    (1.7976931348623157e308, "1.7976931348623157e+308"),
    (12345678901234567890.0, "12345678901234567168"), (0.0001, "1e-04"), (1e15, "1e+15"),
    (1e5, "1e+05"), (0.0, "0"), (-0.0, "-0"),
])
def test_shortest_writes_as_the_executable_does(value, text):
    assert shortest(value) == text
    assert float(text) == value


def test_geometry_rows_over_lines_with_comments_and_commas(tmp_path):
    f = tmp_path / "g.geo"
    f.write_text("Channel\n0.0, 40.0, 1.7e6   first row\n3000.0 45.0\n  1.8D6 rest skipped\n"
                 "\n6000 55 2.2e6 9 9\n")
    np.testing.assert_array_equal(read_geometry(f), [[0.0, 40.0, 1.7e6], [3000.0, 45.0, 1.8e6],
                                                     [6000.0, 55.0, 2.2e6]])
    # The messages and line numbers are the executable's for the same files.
    f.write_text("Channel\n0 40 1e6\n10 45\n")
    with pytest.raises(FileError, match="a row holds fewer than three values in file .*line 3$"):
        read_geometry(f)
    f.write_text("Channel\n0 40 1e6\nx 45 1e6\n")
    with pytest.raises(FileError, match=f'Error reading file "{f}", line 3: "x" is not a valid real'):
        read_geometry(f)


def test_constituents_as_text_or_file(tmp_path):
    assert constituent_spec("a:psu,b:mg/L") == "a:psu,b:mg/L"
    f = tmp_path / "c.txt"
    f.write_text("# names\nsalinity:psu\nDOC:umol/L, DIN:umol/L  # two on a line\n")
    assert constituent_spec(str(f)) == "salinity:psu,DOC:umol/L,DIN:umol/L"
