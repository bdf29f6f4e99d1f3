"""ftir_reduce against the command line it wraps: the same spectrum bytes, record and refusal
texts, on interferograms made by the generator. ctest sets PYTHONPATH and the programs' paths."""
import copy
import io
import json
import math
import os
import pickle
import runpy
import subprocess
import threading

import numpy as np
import pytest

import ftir_reduce

FTIR_REDUCE = os.environ["FTIR_REDUCE_EXE"]
MAKE_INTERFEROGRAM = os.environ["MAKE_INTERFEROGRAM_EXE"]
LASER = 15800.823  # the generator's default


def undated(spc):
    """An SPC file's bytes without the date stamp (header bytes 18 to 23 of the old format)."""
    return spc[:18] + spc[24:]


@pytest.fixture(scope="module")
def files(tmp_path_factory):
    folder = tmp_path_factory.mktemp("interferograms")
    made = {}
    for name, args in {
        "single": ["--line", "1601:4:0.4", "--line", "2923:6:0.3", "--noise", "1e-4"],
        "double": ["--double", "--points", "8192", "--format", "old", "--bits", "16"],
        "seed3": ["--points", "65536", "--line", "1028:6:0.3", "--noise", "1e-3", "--seed", "3"],
        "seed4": ["--double", "--points", "32768", "--shape", "flat", "--envelope", "900:3100"],
    }.items():
        made[name] = folder / f"{name}.spc"
        subprocess.run([MAKE_INTERFEROGRAM, *args, "-o", made[name]], check=True,
                       capture_output=True)
    return made


def command_line(folder, path, *options):
    """The command line's spectrum bytes (None when skipped) and its summary row."""
    out, summary = folder / "cli", folder / "summary.json"
    subprocess.run([FTIR_REDUCE, str(path), "-o", out, "-q", "--summary", summary, *options],
                   capture_output=True)
    row = json.loads(summary.read_text())[0]
    spc = out / (path.stem + ".spc")
    return (spc.read_bytes() if row["status"] == "converted" else None), row


@pytest.mark.parametrize("name, kwargs, options", [
    ("single", {}, []),
    ("single", dict(window="blackman-harris", res=2.0, range=(500, 3500)),
     ["--window", "blackman-harris", "--res", "2", "--range", "500:3500"]),
    ("double", {}, []),
    ("double", dict(window="nb-strong", sides="double", points=16384),
     ["--window", "nb-strong", "--sides", "double", "--points", "16384"]),
])
def test_convert_writes_the_command_lines_bytes(files, tmp_path, name, kwargs, options):
    expected, row = command_line(tmp_path, files[name], "--laser", str(LASER), *options)
    spectrum = ftir_reduce.convert(ftir_reduce.read(files[name]), laser=LASER, **kwargs)
    spectrum.write_spc(tmp_path / "py.spc")
    assert undated((tmp_path / "py.spc").read_bytes()) == undated(expected)
    r = spectrum.record
    assert (r["npts"], r["jmax"], r["side"], r["window"], r["res"], r["points_written"]) == (
        row["points_read"], row["centerburst"], row["side"], row["window"], row["resolution"],
        row["points_written"])
    # The arrays are the values written: in the file 32-bit integers, high 16-bit word first,
    # times 2^(exponent - 32).
    exponent = int.from_bytes(expected[2:4], "little", signed=True)
    words = np.frombuffer(expected, "<u2", offset=256).reshape(-1, 2)
    stored = (words[:, 0].astype(np.int16) * 65536.0 + words[:, 1]) * 2.0 ** (exponent - 32)
    assert len(spectrum.y) == len(spectrum.x) == r["points_written"] == len(stored)
    assert np.abs(spectrum.y - stored).max() <= 2.0 ** (exponent - 32)
    assert (spectrum.x[0], spectrum.x[-1]) == (r["first_x"], r["last_x"])


def test_samples_are_the_files_and_outlive_the_storage(files):
    single = ftir_reduce.read(files["single"])
    samples = single.samples
    ftir_reduce.read(files["double"])  # overwrites this thread's storage
    again = ftir_reduce.read(files["single"])
    assert np.array_equal(samples, again.samples) and samples.dtype == np.float64
    assert not samples.flags.writeable
    assert (single.name, single.format, len(single)) == (str(files["single"]), "spc", 16384)
    # The same samples made into an Interferogram, or given as an array, convert alike.
    expected = ftir_reduce.convert(single, laser=LASER)
    for source in (ftir_reduce.Interferogram(list(samples), laser=LASER), samples.copy()):
        got = ftir_reduce.convert(source, laser=LASER)
        assert np.array_equal(got.y, expected.y) and np.array_equal(got.x, expected.x)


def test_laser_from_the_x_range(files, tmp_path):
    single = ftir_reduce.read(files["single"])
    assert single.header["declared_points"] == 16384
    assert (single.x_first, single.x_units) == (0.0, 1)
    assert single.laser == pytest.approx(LASER, rel=1e-9)
    expected, _ = command_line(tmp_path, files["single"])
    ftir_reduce.convert(single).write_spc(tmp_path / "py.spc")
    assert undated((tmp_path / "py.spc").read_bytes()) == undated(expected)


def test_refusals_carry_the_command_lines_text(files, tmp_path):
    good = files["single"].read_bytes()
    short, multi = tmp_path / "short.spc", tmp_path / "multi.spc"
    short.write_bytes(good[:100])
    multi.write_bytes(bytes([good[0] | 0x04]) + good[1:])
    for path in (short, multi, tmp_path / "missing.spc"):
        _, row = command_line(tmp_path, path, "--laser", str(LASER))
        assert row["status"] == "skipped" and row["reason"]
        with pytest.raises(ftir_reduce.RefusedError) as refused:
            ftir_reduce.read(path)
        assert str(refused.value) == row["reason"]
    _, row = command_line(tmp_path, files["single"], "--laser", str(LASER), "--range", "8000:9000")
    with pytest.raises(ftir_reduce.RefusedError) as refused:
        ftir_reduce.convert(ftir_reduce.read(files["single"]), laser=LASER, range=(8000, 9000))
    assert str(refused.value) == row["reason"]
    with pytest.raises(ftir_reduce.RefusedError, match="^a sample is not a finite number$"):
        ftir_reduce.Interferogram([1.0, math.nan, 2.0])
    with pytest.raises(ftir_reduce.RefusedError, match="^more points than the arrays hold$"):
        ftir_reduce.convert(np.zeros(270001), laser=LASER)
    assert issubclass(ftir_reduce.RefusedError, ValueError)


def test_threads_give_the_serial_results(files):
    names = ["single", "double", "seed3", "seed4"]
    serial = {n: ftir_reduce.convert(ftir_reduce.read(files[n]), laser=LASER).y for n in names}
    errors = []

    def work(name):
        try:
            for _ in range(10):
                y = ftir_reduce.convert(ftir_reduce.read(files[name]), laser=LASER).y
                assert np.array_equal(y, serial[name]), name
        except Exception as e:  # reported below, in the main thread
            errors.append(e)

    threads = [threading.Thread(target=work, args=(n,)) for n in names]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not errors


@pytest.mark.parametrize("kwargs, options", [
    (dict(res=0), ["--res", "0"]),
    (dict(sampr=math.nan), ["--sampr", "nan"]),
    (dict(range=(5, 1)), ["--range", "5:1"]),
    (dict(range=(-10.5, math.inf)), ["--range=-10.5:inf"]),
    (dict(laser=1e-320), ["--laser", "1e-320"]),
    (dict(points=3), ["--points", "3"]),
    (dict(points=2 ** 31), ["--points", "2147483648"]),
    (dict(sides="both"), ["--sides", "both"]),
    (dict(window="hann"), ["--window", "hann"]),
])
def test_keyword_checks_are_the_options(files, kwargs, options):
    run = subprocess.run([FTIR_REDUCE, str(files["single"]), *options], capture_output=True,
                         text=True)
    assert run.returncode == 1
    text = run.stderr.removeprefix("ftir-reduce: ").removesuffix(" (see ftir-reduce --help)\n")
    kwargs.setdefault("laser", LASER)
    with pytest.raises(ValueError) as refused:
        ftir_reduce.convert(ftir_reduce.read(files["single"]), **kwargs)
    assert str(refused.value) == text
    assert not isinstance(refused.value, ftir_reduce.RefusedError)


def test_a_plain_array_needs_the_laser():
    with pytest.raises(ValueError, match="laser="):
        ftir_reduce.convert(np.ones(64))


@pytest.mark.parametrize("fill", [1, 2, 4])
def test_exact_grid_and_zero_filling_against_numpy_fft(fill):
    # A double-sided record of 512 samples, the centerburst at index 256, two lines with a
    # phase turn so that the transform is complex; boxcar, magnitude. The path takes the
    # 256 samples around the centerburst (the resolution its shorter side allows), the
    # centerburst first and the points before it at the end, zeros between (F times 256).
    n, center, half = 512, 256, 128
    x = (np.arange(n) - center) / LASER
    y = np.exp(-(x / 0.002) ** 2) * (np.cos(2 * np.pi * 1500 * x) +
                                      0.5 * np.cos(2 * np.pi * 3300 * x + 0.3))
    s = ftir_reduce.convert(y, laser=LASER, sides="double", window="boxcar", phase="power",
                            grid="exact", zero_fill=fill, range=(0, 8000))
    y = y - y.mean()
    load = np.zeros(2 * half * fill)
    load[:half] = y[center:center + half]
    load[-half:] = y[center - half:center]
    reference = np.abs(np.fft.fft(load))[:half * fill + 1]
    k = np.arange(half * fill + 1)
    assert len(s.y) == len(k)
    np.testing.assert_allclose(s.x, k * LASER / (2 * half * fill), rtol=1e-12, atol=1e-9)
    # One scale for every point, and the same for every F: filling interpolates.
    strong = reference > 1e-3 * reference.max()
    ratio = s.y[strong] / reference[strong]
    np.testing.assert_allclose(ratio, ratio[0], rtol=1e-9)
    unfilled = np.abs(np.fft.fft(np.concatenate([y[center:center + half],
                                                 y[center - half:center]])))[:half + 1]
    np.testing.assert_allclose(s.y[::fill], unfilled * ratio[0], rtol=1e-9,
                               atol=1e-12 * unfilled.max() * ratio[0])


def test_controls_are_refused_with_the_command_lines_texts():
    ig = ftir_reduce.Interferogram(np.cos(np.arange(64) / 3.0), laser=LASER)
    for kwargs, text in [
        (dict(zero_fill=3), "--zero-fill: '3' is not 1, 2, 4, 8 or 16"),
        (dict(zpd="top"), "--zpd: 'top' is not max, min, abs or an index from 1 to 270000"),
        (dict(grid="fine"), "--grid: 'fine' is not classic or exact"),
        (dict(direction="up"), "--direction: 'up' is not forward, backward or both"),
        (dict(phase="stored"), "--phase: 'stored' is not mertz, mertz-signed, power, "
                               "magnitude, stored:FILE or stored with stored_phase="),
    ]:
        with pytest.raises(ValueError) as error:
            ftir_reduce.convert(ig, **kwargs)
        assert str(error.value) == text


def test_a_spectrums_phase_given_back_reproduces_it(files):
    ig = ftir_reduce.read(files["single"])
    own = ftir_reduce.convert(ig, laser=LASER)
    again = ftir_reduce.convert(ig, laser=LASER, phase="stored", stored_phase=own.phase)
    np.testing.assert_allclose(again.y, own.y, rtol=0, atol=1e-12 * np.abs(own.y).max())
    samples = np.asarray(ig.samples)
    two = ftir_reduce.Interferogram(np.concatenate([samples, samples[::-1]]), laser=LASER,
                                    scans=2)
    both = ftir_reduce.convert(two)
    np.testing.assert_allclose(both.y, own.y, rtol=0, atol=1e-12 * np.abs(own.y).max())
    assert both.record["scans"] == 2 and both.record["scan_difference"] == 0.0


INSTRUMENT_FILES = os.path.join(os.path.dirname(__file__), "..", "..", "tests", "data")


def test_an_instrument_file_converts_as_the_command_line_converts_it(tmp_path):
    """test.0000 by its own parameters, its absorbance, and a window given over the file's:
    the same bytes as the command line's spectra."""
    path = os.path.join(INSTRUMENT_FILES, "opus", "test.0000")
    ig = ftir_reduce.read(path)
    for kwargs, options in [({}, []), ({"ratio": "absorbance"}, ["--absorbance"]),
                            ({"window": "happ-genzel"}, ["--window", "happ-genzel"])]:
        spectrum = ftir_reduce.convert(ig, **kwargs)
        used = spectrum.record["instrument"]
        assert used["format"] == "OPUS" and used["transform_points"] == 8192
        assert used["window"] == kwargs.get("window", "blackman-harris")
        assert used["output"] == ("absorbance" if "ratio" in kwargs else "single channel")
        assert used["sample"] == "MCT D317 1mm\u00b2 [8500 - 700 Cm-1]"
        assert used["measured"] == "2020-02-06 13:09:58 GMT+1"
        assert used["check"]["block"] == ("AB" if "ratio" in kwargs else "ScSm")
        out = tmp_path / "py.spc"
        spectrum.write_spc(out)
        folder = tmp_path / "cli"
        subprocess.run([FTIR_REDUCE, path, "-q", "-o", folder, *options], check=True)
        # The command line's name for it, as the module gives it.
        assert undated(out.read_bytes()) == undated((folder / spectrum.output_name).read_bytes())
    reference = ftir_reduce.convert(ftir_reduce.read(path, channel="reference"))
    assert reference.record["instrument"]["block"] == "IgRf"
    assert reference.output_name == "test.0000.reference.spc"
    with pytest.raises(ftir_reduce.RefusedError, match="exact grid"):
        ftir_reduce.convert(ig, grid="classic")



def test_write_spc_names_into_a_folder_and_keeps_an_interferogram(files, tmp_path):
    spectrum = ftir_reduce.convert(ftir_reduce.read(files["single"]))
    spectrum.write_spc(tmp_path)  # under the command line's name; a spectrum is replaced
    spectrum.write_spc(tmp_path)
    kept = tmp_path / "kept.spc"
    kept.write_bytes(files["single"].read_bytes())
    with pytest.raises(ftir_reduce.RefusedError, match="not a spectrum: it is left as it is"):
        spectrum.write_spc(kept)
    assert kept.read_bytes() == files["single"].read_bytes()
    assert (tmp_path / "single.spc").exists()


def instrument(*parts):
    return os.path.join(INSTRUMENT_FILES, *parts)


@pytest.mark.parametrize("parts, fmt, scans, folding, stated", [
    # LWN/HFL and the codes as the files' parameter blocks state them (spc-tool info lists them).
    (("opus", "test.0000"), "opus", 1, 3.0, dict(SSP=3, APF="B3", ZFF=2, AQM="SN", PKL=562)),
    (("opus", "example_opus.0"), "opus", 2, 1.0, dict(SSP=1, AQM="DD", RES=16.0, GFW=40.0)),
    (("omnic", "interfero.SPA"), "omnic", 1, 2.0, dict(SSP=2, transform_points=16384)),
])
def test_an_instrument_interferogram_states_its_facts_before_converting(parts, fmt, scans, folding,
                                                                       stated):
    ig = ftir_reduce.read(instrument(*parts))
    assert (ig.format, ig.scans, ig.folding) == (fmt, scans, pytest.approx(folding, rel=1e-12))
    params = ig.params
    assert {k: params[k] for k in stated} == stated and params["LWN"] == ig.laser
    record = ftir_reduce.convert(ig).record
    assert record["scans"] == scans
    assert record["jmax_forward"] == record["jmax"] if scans == 1 else record["jmax_forward"] > 0
    assert (record["jmax_backward"] is None, record["energy_backward"] is None) == (
        (scans == 1,) * 2)


def test_an_spc_interferogram_states_no_parameters(files):
    ig = ftir_reduce.read(files["single"])
    assert (ig.format, ig.scans, ig.folding, ig.params) == ("spc", 1, None, {})


@pytest.mark.parametrize("parts", [("opus", "test.0000"), ("omnic", "interfero.SPA")])
def test_samples_made_with_the_folding_convert_onto_the_files_wavenumbers(parts):
    ig = ftir_reduce.read(instrument(*parts))
    own = ftir_reduce.convert(ig, window="blackman-harris")
    band = own.x[np.argmax(own.y)]
    # Without it the samples are taken as the SPC default's, two a fringe (OMNIC's own).
    for folding, agrees in [(ig.folding, True), (None, ig.folding == 2.0)]:
        made = ftir_reduce.Interferogram(ig.samples, laser=ig.laser, folding=folding)
        s = ftir_reduce.convert(made, window="blackman-harris", grid="exact", range=(0, 8000))
        step = max(s.x[1] - s.x[0], own.x[1] - own.x[0])
        assert (abs(s.x[np.argmax(s.y)] - band) <= step) == agrees


def test_titles_y_units_and_the_version(tmp_path):
    ig = ftir_reduce.read(instrument("opus", "test.0000"))
    for kwargs, units in [({}, 0), ({"ratio": "absorbance"}, 2), ({"ratio": "transmittance"}, 128)]:
        s = ftir_reduce.convert(ig, **kwargs)
        s.write_spc(tmp_path / "s.spc")
        assert s.y_units == units == (tmp_path / "s.spc").read_bytes()[17]
        contents = {0: "sample channel", 2: "absorbance", 128: "transmittance"}[units]
        assert s.title == f"MCT D317 1mm\u00b2 [8500 - 700 Cm-1]: {contents}, 2020-02-06 13:09:58 GMT+1"
    cmake = open(os.path.join(os.path.dirname(__file__), "..", "..", "CMakeLists.txt")).read()
    assert f"project(ftir-reduce VERSION {ftir_reduce.__version__} " in cmake


def test_read_takes_bytes_and_binary_files(files, tmp_path):
    path = instrument("opus", "test.0000")
    data = open(path, "rb").read()
    by_path = ftir_reduce.read(path)
    for source in (data, bytearray(data), memoryview(data), io.BytesIO(data), open(path, "rb")):
        ig = ftir_reduce.read(source)
        assert np.array_equal(ig.samples, by_path.samples) and ig.params == by_path.params
        # The ratio reads the reference channel from the same bytes.
        assert np.array_equal(ftir_reduce.convert(ig, ratio="absorbance").y,
                              ftir_reduce.convert(by_path, ratio="absorbance").y)
    short = files["single"].read_bytes()[:100]
    (tmp_path / "short.spc").write_bytes(short)
    with pytest.raises(ftir_reduce.RefusedError) as from_path:
        ftir_reduce.read(tmp_path / "short.spc")
    with pytest.raises(ftir_reduce.RefusedError) as from_file:
        ftir_reduce.read(open(tmp_path / "short.spc", "rb"))
    assert str(from_file.value) == str(from_path.value)


def test_interferograms_and_spectra_pickle_and_copy(files, tmp_path):
    for ig in (ftir_reduce.read(instrument("opus", "example_opus.0")),
               ftir_reduce.read(files["single"])):
        s = ftir_reduce.convert(ig, laser=None if ig.format == "opus" else LASER)
        for again in (pickle.loads(pickle.dumps(ig)), copy.deepcopy(ig), copy.copy(ig)):
            t = ftir_reduce.convert(again, laser=None if ig.format == "opus" else LASER)
            assert np.array_equal(t.y, s.y) and t.record == s.record
        for t in (pickle.loads(pickle.dumps(s)), copy.deepcopy(s)):
            assert np.array_equal(t.x, s.x) and np.array_equal(t.y, s.y) and t.record == s.record
            assert (t.title, t.y_units, t.wref) == (s.title, s.y_units, s.wref)
            s.write_spc(tmp_path / "a.spc")
            t.write_spc(tmp_path / "b.spc")
            assert undated((tmp_path / "a.spc").read_bytes()) == undated(
                (tmp_path / "b.spc").read_bytes())


def test_argument_errors_name_the_argument(files):
    ig = ftir_reduce.read(files["single"])
    for call, error, text in [
        (lambda: ftir_reduce.convert(ig, res="4"), TypeError,
         "convert() argument 'res' must be a number, not str"),
        (lambda: ftir_reduce.convert(ig, points=4096.0), TypeError,
         "convert() argument 'points' must be an integer, not float"),
        (lambda: ftir_reduce.convert(ig, zpd=1.5), TypeError,
         "convert() argument 'zpd' must be 'max', 'min', 'abs' or a 1-based index, not float"),
        (lambda: ftir_reduce.convert(ig, range="400:4000"), TypeError,
         "convert() argument 'range' must be (low, high), not str"),
        (lambda: ftir_reduce.convert(ig, no_res="yes"), TypeError,
         "convert() argument 'no_res' must be True or False, not str"),
        (lambda: ftir_reduce.convert(ig, resolution=4), TypeError,
         "convert() got an unexpected keyword argument 'resolution'"),
        (lambda: ftir_reduce.convert(str(files["single"])), TypeError,
         "convert() takes an Interferogram or an array of samples, not a path: read(path) first"),
        (lambda: ftir_reduce.convert(ig, laser=LASER, stored_phase=(400.0, 4.0, [0.0])), ValueError,
         "convert() argument 'stored_phase' is taken only with phase=\"stored\""),
        (lambda: ftir_reduce.convert(ig, phase="stored", stored_phase="a.phz"), TypeError,
         "convert() argument 'stored_phase' must be (first, step, angles), as Spectrum.phase "
         "gives it, not str"),
        (lambda: ftir_reduce.Interferogram([1.0, 2.0], laser="15800"), TypeError,
         "Interferogram() argument 'laser' must be a number, not str"),
        (lambda: ftir_reduce.read(open(files["single"])), TypeError,
         "read() argument 'source' must be a file opened for binary reading ('rb'), "
         "not TextIOWrapper"),
        (lambda: ftir_reduce.read(42), TypeError,
         "read() argument 'source' must be a path, bytes or a binary file, not int"),
    ]:
        with pytest.raises(error) as raised:
            call()
        assert (type(raised.value), str(raised.value)) == (error, text)


def test_options_that_cannot_apply_raise_refused_error():
    ig = ftir_reduce.read(instrument("omnic", "interfero.SPA"))
    for call in (lambda: ftir_reduce.convert(ig, ratio="absorbance"),
                 lambda: ftir_reduce.convert(ig, ratio="transmittance"),
                 lambda: ftir_reduce.read(instrument("omnic", "interfero.SPA"), channel="reference")):
        with pytest.raises(ftir_reduce.RefusedError):
            call()


def test_pip_builds_the_module_from_the_sources_cmake_links():
    """setup.py (pip install .) compiles the engine's sources as CMake lists them."""
    root = os.path.join(os.path.dirname(__file__), "..", "..")
    setup = runpy.run_path(os.path.join(root, "setup.py"), run_name="reading setup.py")
    linked = {os.path.relpath(s, root) if os.path.isabs(s) else s
              for s in os.environ["FTIR_CORE_SOURCES"].split(":")}
    assert sorted(setup["engine_sources"]()) == sorted(linked)
    assert setup["version"]() == ftir_reduce.__version__
