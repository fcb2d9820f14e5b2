#!/usr/bin/env python3
"""Packs Quell.Net: dotnet pack of bindings/dotnet/Quell.Net (its nuspec names
the native package Quell of the same version), then the package written again
as make_bundle.py writes zips (NuGet dates each entry with the packing time):
the same sources give the same bytes.

Usage: quell_net_package.py --mtime EPOCH OUTPUT_DIR
(make dist calls pack() through tools/release/release.py)
Writes OUTPUT_DIR/Quell.Net.<version>.nupkg and prints its path.
"""
import argparse
import glob
import os
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
import make_bundle  # noqa: E402

PROJECT = os.path.join(ROOT, "bindings", "dotnet", "Quell.Net", "Quell.Net.csproj")


def pack(mtime, output):
    with tempfile.TemporaryDirectory() as packed:
        subprocess.run(["dotnet", "pack", PROJECT, "-c", "Release", "-o", packed, "-nologo", "-v:minimal"],
                       check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
        (made,) = glob.glob(os.path.join(packed, "Quell.Net.*.nupkg"))
        os.makedirs(output, exist_ok=True)
        path = os.path.join(output, os.path.basename(made))
        with zipfile.ZipFile(made) as source, zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as package:
            for name in source.namelist():
                package.writestr(make_bundle.entry(name, mtime, make_bundle.FILE_MODE), source.read(name),
                                 compress_type=zipfile.ZIP_DEFLATED, compresslevel=9)
    return path


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--mtime", required=True, type=int)
    parser.add_argument("output")
    args = parser.parse_args()
    print(pack(args.mtime, args.output))


if __name__ == "__main__":
    main()
