"""The Python module ftir_reduce built by setuptools from the sources, for
`pip install --no-build-isolation .` with Debian's python3-pip, python3-setuptools and
pybind11-dev (nothing is fetched). The engine's sources are those CMake builds ftir_core
from, read from the same lists; the version is the project's."""
import re
from pathlib import Path

from setuptools import Extension, setup

ROOT = Path(__file__).resolve().parent


def version():
    cmake = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(ftir-reduce VERSION ([0-9.]+)", cmake).group(1)


def engine_sources():
    """The sources of ftir_core: the variables add_library(ftir_core ...) names, as the
    modules' files.cmake set and append them."""
    cmake = (ROOT / "CMakeLists.txt").read_text()
    lists = {}
    for included in re.findall(r"include\((src/[\w/]+\.cmake)\)", cmake):
        text = (ROOT / included).read_text()
        for name, body in re.findall(r"(?:set\(|list\(APPEND\s+)(\w+)([^)]*)\)", text):
            lists.setdefault(name, []).extend(re.findall(r"src/[\w/]+\.cpp", body))
    core = re.search(r"add_library\(ftir_core STATIC([^)]*)\)", cmake).group(1)
    sources = []
    for name in re.findall(r"\$\{(\w+)\}", core):
        sources += [s for s in lists.get(name, []) if s not in sources]
    return sources


if __name__ == "__main__":
    setup(
        name="ftir_reduce",
        version=version(),
        description="FTIR interferograms to spectra with the ftir-reduce engine",
        license="see LICENSE",
        ext_modules=[
            Extension(
                "ftir_reduce",
                sources=["python/ftir_reduce.cpp"] + engine_sources(),
                include_dirs=["src"],
                define_macros=[("FTIR_VERSION", f'"{version()}"')],
                # The flags the CMake build gives the engine: output bytes must not depend on
                # the road the module was built by.
                extra_compile_args=["-std=c++20", "-O2", "-ffp-contract=off",
                                    "-fvisibility=hidden"],
                language="c++",
            )
        ],
        options={"build": {"build_base": "build-python"}},
        zip_safe=False,
    )
