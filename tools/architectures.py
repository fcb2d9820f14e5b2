"""The architectures Quell is built for and every name each goes by, read from
cmake/QuellArchitectures.cmake, their one source (see its comment).

NAMES: the build's own names, in release order (winget's too); and for each name
TITLE, BUNDLE_SUFFIX, RUNTIME (runtime identifier), MACHINE (PE machine type),
SCOOP; bundle(name, version) is the release bundle's name without .zip."""
import os
import re

SOURCE = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "cmake", "QuellArchitectures.cmake")
VERSION_VARIABLE = "${PROJECT_VERSION}"


def _read(path):
    with open(path, encoding="utf-8") as text:
        lines = text.read()
    names = re.search(r"^set\(QUELL_ARCHITECTURES ([^)]*)\)", lines, re.M)[1].split()
    values = {(kind, name): quoted or bare for kind, name, quoted, bare in
              re.findall(r'^set\(QUELL_([A-Z]+)_([a-z0-9]+) (?:"([^"]*)"|([^)"]*))\)', lines, re.M)}

    def field(kind):
        missing = [name for name in names if (kind, name) not in values]
        if missing:
            raise ValueError(f"{path}: no QUELL_{kind}_ for {', '.join(missing)}")
        return {name: values[(kind, name)] for name in names}

    bundles = field("BUNDLE")
    prefix = f"quell-{VERSION_VARIABLE}-"
    if not all(bundle.startswith(prefix) for bundle in bundles.values()):
        raise ValueError(f"{path}: a bundle's name is not {prefix}<suffix>")
    return (tuple(names), field("TITLE"), {name: bundle[len(prefix):] for name, bundle in bundles.items()},
            field("RUNTIME"), {name: int(value, 16) for name, value in field("MACHINE").items()}, field("SCOOP"))


NAMES, TITLE, BUNDLE_SUFFIX, RUNTIME, MACHINE, SCOOP = _read(SOURCE)


def bundle(name, version):
    return f"quell-{version}-{BUNDLE_SUFFIX[name]}"


def of_runtime(runtime):
    """The architecture of a runtime identifier."""
    return {value: name for name, value in RUNTIME.items()}[runtime]


def of_machine(machine):
    """The architecture of a PE machine type, or None."""
    return {value: name for name, value in MACHINE.items()}.get(machine)
