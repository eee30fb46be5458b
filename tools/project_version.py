"""The plug-in's name and version: read from their one record, CMakeLists.txt, or from the
header a build generated of it (host/version.h under the build's generated/ folder)."""

import re
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent


class Version:
    def __init__(self, name, text, numbers):
        self.name = name          # "XQ Winamp Control"
        self.text = text          # "0.96a"
        self.numbers = numbers    # (0, 96, 0, 0), as in the version resource

    @property
    def display_name(self):
        """The name the initialise answer gives the messenger."""
        return f"{self.name}, v{self.text}"


def numbers_of(text):
    """The text's numbers, padded with zeros to four, as the build makes them."""
    return tuple((list(map(int, re.findall(r"\d+", text))) + [0, 0, 0, 0])[:4])


def from_cmake(path=ROOT / "CMakeLists.txt"):
    source = Path(path).read_text()

    def setting(name):
        m = re.search(rf'^set\({name} "([^"]*)"\)', source, re.M)
        if not m:
            raise ValueError(f"{path} sets no {name}")
        return m.group(1)

    text = setting("QUIB_VERSION")
    return Version(setting("QUIB_PRODUCT_NAME"), text, numbers_of(text))


def from_build(build_dir):
    """The version a build was made with."""
    path = Path(build_dir) / "generated" / "host" / "version.h"
    header = path.read_text()

    def define(name):
        m = re.search(rf"^#define {name} (.*)$", header, re.M)
        if not m:
            raise ValueError(f"{path} defines no {name}")
        return m.group(1).strip()

    numbers = tuple(int(n) for n in define("QUIB_VERSION_NUMBERS").split(","))
    return Version(define("QUIB_PRODUCT_NAME").strip('"'), define("QUIB_VERSION").strip('"'),
                   numbers)
