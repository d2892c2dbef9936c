"""Helpers shared by the end-to-end tests.

CTest runs every tests/e2e/test_*.py with /usr/bin/python3 and sets TESSOLD_BUILD_DIR and
TESSOLD_SOURCE_DIR; run by hand, the source tree holding this file and its build/ folder apply.
"""

import contextlib
import os
import shutil
import sys
import tempfile

DEFAULT_SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DEFAULT_BUILD_DIR = os.path.join(DEFAULT_SOURCE_DIR, "build")
CONVERT_TIMEOUT = 120

TRANSLATION_XML = (
    '<?xml version="1.0"?>\n'
    '<translation><stash><submodel id="1"><section id="16">'
    '<item id="203" out_name="temp" units="K" standard_name="air_temperature"/>'
    '</section></submodel></stash></translation>\n')
PACKING_XML = '<?xml version="1.0"?>\n<packing/>\n'
GLOBAL_ATTS = "source string 1 tests\n"


def build_dir():
    """The build tree (TESSOLD_BUILD_DIR, default build/ of the source tree)."""
    return os.environ.get("TESSOLD_BUILD_DIR") or DEFAULT_BUILD_DIR


def source_dir():
    """The source tree (TESSOLD_SOURCE_DIR, default the tree holding this file)."""
    return os.environ.get("TESSOLD_SOURCE_DIR") or DEFAULT_SOURCE_DIR


def host_program():
    """Path of the host program that calls the library's entry point."""
    return os.path.join(build_dir(), "tessold")


def umgen():
    """The UM file generator module (tools/umgen.py)."""
    path = os.path.join(source_dir(), "tools")
    if path not in sys.path:
        sys.path.insert(0, path)
    import umgen as module
    return module


@contextlib.contextmanager
def temp_dir(prefix="tessold_e2e_"):
    """A fresh temporary folder, removed with its contents on exit."""
    path = tempfile.mkdtemp(prefix=prefix)
    try:
        yield path
    finally:
        shutil.rmtree(path, ignore_errors=True)


def write_text(path, text):
    with open(path, "w") as f:
        f.write(text)
    return path


def write_um(path, desc, **options):
    """Writes a UM file from a description (format in tools/README.md); returns the layout."""
    return umgen().write(path, desc, **options)


def default_configs(directory):
    """Writes configuration files that load cleanly into directory and returns
    (translation, packing, global attributes) paths: one translation entry
    (16203 -> temp, K, air_temperature), an empty packing rule set and one global
    attribute record."""
    trans = write_text(os.path.join(directory, "translation.xml"), TRANSLATION_XML)
    pack = write_text(os.path.join(directory, "packing.xml"), PACKING_XML)
    gatts = write_text(os.path.join(directory, "global_attributes.txt"), GLOBAL_ATTS)
    return trans, pack, gatts


def output_path(um_path):
    """The name the conversion gives its output: the input name plus ".nc"."""
    return um_path + ".nc"


def fail_calls_env(**variables):
    """The environment of a host run with tests/support/fail_calls.cpp preloaded, the variables
    saying which calls fail. The preloaded library comes before the sanitizers' runtime, so
    their check that it comes first is off."""
    return dict(os.environ, LD_PRELOAD=os.path.join(build_dir(), "tests", "libtessold_fail_calls.so"),
                ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0", **variables)

