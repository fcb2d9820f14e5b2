#!/usr/bin/env python3
"""Writes a release bundle: the install tree of one build, zipped under a folder
of the bundle's name. The same tree gives the same bytes: entries in name order,
each dated with the given time (in UTC; zip dates start in 1980), with fixed
permissions and no owner, host-specific or extra fields.

Usage: make_bundle.py --cmake CMAKE --build-dir DIR --name NAME --mtime EPOCH OUTPUT_DIR
Writes OUTPUT_DIR/NAME.zip.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time
import zipfile

ZIP_EPOCH = 315532800  # 1980-01-01 00:00:00 UTC, the earliest zip date
UNIX = 3               # "made by" system: permissions in the high bits of the attributes
FILE_MODE = 0o100644
DIRECTORY_MODE = 0o040755
MSDOS_DIRECTORY = 0x10

# Built only where llvm-dlltool was found; a bundle always carries it.
REQUIRED = ["lib/Quell.lib"]


class StageError(Exception):
    pass


def stage(build_dir, folder, cmake="cmake"):
    """Installs the build tree into folder, as its bundle lays it out (make dist
    and tools/release/release.py alike)."""
    install = subprocess.run([cmake, "--install", build_dir, "--prefix", folder],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if install.returncode != 0:
        raise StageError(f"{install.stdout}cmake --install {build_dir} failed")
    missing = [path for path in REQUIRED if not os.path.isfile(os.path.join(folder, path))]
    if missing:
        raise StageError(f"the install tree of {build_dir} lacks {', '.join(missing)} "
                         "(Quell.lib needs llvm-dlltool: Debian's llvm-14; configure again once it is installed)")


def entry(name, mtime, mode):
    info = zipfile.ZipInfo(name, date_time=time.gmtime(max(mtime, ZIP_EPOCH))[:6])
    info.create_system = UNIX
    info.external_attr = mode << 16
    return info


def write_bundle(tree, name, mtime, output):
    paths = []
    for folder, folders, files in os.walk(tree):
        relative = os.path.relpath(folder, tree)
        for child in folders:
            paths.append((os.path.normpath(os.path.join(relative, child)), True))
        for child in files:
            paths.append((os.path.normpath(os.path.join(relative, child)), False))
    paths.sort()
    partial = output + ".part"
    with zipfile.ZipFile(partial, "w") as bundle:
        bundle.writestr(entry(name + "/", mtime, DIRECTORY_MODE), b"")
        for path, is_directory in paths:
            arcname = name + "/" + path.replace(os.sep, "/")
            if is_directory:
                info = entry(arcname + "/", mtime, DIRECTORY_MODE)
                info.external_attr |= MSDOS_DIRECTORY
                bundle.writestr(info, b"")
            else:
                with open(os.path.join(tree, path), "rb") as source:
                    data = source.read()
                bundle.writestr(entry(arcname, mtime, FILE_MODE), data,
                                compress_type=zipfile.ZIP_DEFLATED, compresslevel=9)
    os.replace(partial, output)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cmake", required=True)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--name", required=True)
    parser.add_argument("--mtime", required=True, type=int)
    parser.add_argument("output_dir")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as staged:
        tree = os.path.join(staged, args.name)
        try:
            stage(args.build_dir, tree, args.cmake)
        except StageError as error:
            sys.exit(f"make_bundle: {error}")
        os.makedirs(args.output_dir, exist_ok=True)
        output = os.path.join(args.output_dir, args.name + ".zip")
        write_bundle(tree, args.name, args.mtime, output)
    print(f"make_bundle: wrote {output}")


if __name__ == "__main__":
    main()
