"""Every error path of the structure file: the exception carries the
program's own report, and the library is ready for the next analysis."""
import os

import pytest

import fss
from conftest import EXAMPLES, fatal_report, run_program

with open(os.path.join(EXAMPLES, "square_holes.fss")) as f:
    BASE = f.read()


def edit(old, new, count=1):
    assert old in BASE
    return BASE.replace(old, new, count)


BLOCK4 = "-3 -3  3 -3\n 3 -3  3  3\n 3  3 -3  3\n-3  3 -3 -3\n"
FAULTS = {
    "value_not_number": edit("10.0 10.0", "10.0 ten"),
    "missing_label": edit("3) metal thickness [mm]\n", "metal thickness [mm]\n"),
    "decimal_comma": edit("3) metal thickness [mm]\n1.0", "3) metal thickness [mm]\n1,5"),
    "five_values": edit(" 3 -3  3  3\n", " 3 -3  3  3 4\n"),
    "word_in_boundary": edit(" 3 -3  3  3\n", " 3 -3  1O  3\n"),
    "open_line": edit(" 3  3 -3  3\n", ""),
    "bow_tie": edit(BLOCK4, "-3 -3 3 3\n3 3 3 -3\n3 -3 -3 3\n-3 3 -3 -3\n"),
    "larger_than_cell": edit(BLOCK4, "-6 -6 6 -6\n6 -6 6 6\n6 6 -6 6\n-6 6 -6 -6\n"),
    "port_line": edit(" 3 -3  3  3\n", " 3 -3  3  3 p\n"),
    "empty_aperture": edit("-3  3 -3 -3\n", "-3  3 -3 -3\n#\n"),
    "skew_range": edit("2) skew angle [deg]\n90.0", "2) skew angle [deg]\n5"),
    "theta_range": edit("5) incidence theta phi [deg]\n0 0", "5) incidence theta phi [deg]\n95 0"),
    "negative_step": edit("5 30 0.5", "5 30 -0.5"),
    "floquet_below_sweep": edit("8) largest frequency of the Floquet modes [GHz]\n300",
                                "8) largest frequency of the Floquet modes [GHz]\n20"),
    "too_many_floquet": edit("8) largest frequency of the Floquet modes [GHz]\n300",
                             "8) largest frequency of the Floquet modes [GHz]\n4000"),
    "too_many_aperture_modes": edit("7) largest frequency of the aperture modes [GHz]\n100",
                                    "7) largest frequency of the aperture modes [GHz]\n2000"),
    "long_line": edit("10.0 10.0", "10.0 10.0" + " " * 10 + "1" * 300),
    "two_screen_lines": BASE + "9) stack\nscreen\nscreen\n",
    "screens_differ": edit("-3  3 -3 -3\n", "-3  3 -3 -3\n$\n" + BLOCK4),
}


def contour_report(console):
    """The report of the contour coder: its lines after the mode computation
    began (its message, "Error in coding the input data: ier= n", and the
    line of the structure file)."""
    lines = console.split("... computing the basis functions")[1].splitlines()
    return [line.strip() for line in lines if line.strip()]


def program_and_module(path):
    status, console = run_program(path)
    assert status == 1
    with pytest.raises(fss.Error) as e:
        fss.analyse(path)
    expected = fatal_report(console)
    if expected is None:
        # the contour coder's report: its lines are the error's message and context
        report = contour_report(console)
        assert report and e.value.routine == "apb2dat"
        context = [line.strip() for line in e.value.context.splitlines()]
        assert context and context == report[-len(context):]
        assert all(line in e.value.message for line in report[:-len(context)])
        expected = (e.value.routine, e.value.message, e.value.context)
    return expected, e.value


@pytest.fixture(scope="module")
def reference(tmp_path_factory):
    """A small run, repeated after every error to show nothing stayed."""
    path = tmp_path_factory.mktemp("ref") / "ref.fss"
    path.write_text(edit("5 30 0.5", "20 30 5"))
    return str(path), fss.analyse(str(path)).out_text


@pytest.mark.parametrize("fault", sorted(FAULTS))
def test_error_as_the_program_reports_it(fault, tmp_path, private_tmp, reference):
    path = tmp_path / "s.fss"
    path.write_text(FAULTS[fault])
    (routine, message, context), error = program_and_module(str(path))
    assert (error.routine, error.message, error.context) == (routine, message, context)
    assert message in str(error)
    assert list(private_tmp.iterdir()) == []
    # errors of the file itself are found by reading it, too
    if routine == "read_input_fss":
        with pytest.raises(fss.Error) as e:
            fss.Structure.read(path)
        assert (e.value.message, e.value.context) == (message, context)
    assert fss.analyse(reference[0]).out_text == reference[1]


def test_missing_file_and_waveguide_simulator(tmp_path, reference):
    missing = str(tmp_path / "none.fss")
    (routine, message, context), error = program_and_module(missing)
    assert (error.routine, error.message) == (routine, message)
    path = tmp_path / "wgs.fss"
    path.write_text(BASE)
    status, console = run_program(str(path), "-wgs")
    routine, message, _ = fatal_report(console)
    with pytest.raises(fss.Error) as e:
        fss.analyse(str(path), wgs=True)
    assert (e.value.routine, e.value.message) == (routine, message)
    assert fss.analyse(reference[0]).out_text == reference[1]


def test_progress_hook_and_its_exception(reference):
    """The hook sees every point; an exception raised in it ends the
    analysis with that exception, and the next analysis runs whole."""
    seen = []
    fss.analyse(reference[0], progress=lambda done, total: seen.append((done, total)))
    assert seen == [(k, 3) for k in range(1, 4)]

    def stop(done, total):
        if done == 2:
            raise KeyboardInterrupt
    with pytest.raises(KeyboardInterrupt):
        fss.analyse(reference[0], progress=stop)
    assert fss.analyse(reference[0]).out_text == reference[1]
