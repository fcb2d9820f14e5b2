#!/usr/bin/env python3
"""Quell.Net's checks; tests/dotnet/CMakeLists.txt registers them.

--arguments: QuellNetTest's argument checks on this machine (they need no Windows), and
the package Quell.Net: the same bytes from two packings, each target's assembly
and documentation in it, and the native package Quell of its version as its dependency.
Otherwise, in the Wine prefix of tools/wine-session.sh: QuellNetTest published
self-contained and trimmed (a trimming warning fails the publish) for the tree's architecture, with the recording stand-in beside
it as Quell.dll and quell.exe beside both; its table on the Windows 8+ route,
then on the Windows 7 route (copies of both programs that Wine's AppDefaults make
see Windows 7); docs/dotnet.md's and README.md's C# examples as written, against
the stand-in; then which Quell.dll each layout loads, or which exception."""
import argparse
import os
import re
import shutil
import subprocess
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
PROJECT = os.path.join(HERE, "QuellNetTest")
sys.dont_write_bytecode = True  # no cache files in the source tree
sys.path[:0] = [os.path.join(ROOT, "tools"), os.path.join(ROOT, "tools", "release"), os.path.join(ROOT, "tests", "clients")]
import architectures  # noqa: E402
from check_bindings import code_blocks  # noqa: E402
OTHER = {"x86": "x64", "x64": "x86"}
ROUTES = {"8": "win10", "7": "win7"}  # the table's routes: the Windows Wine shows
EXAMPLES = ("docs/dotnet.md", "README.md")  # the documents whose C# examples run as written


# Wine loads every IL-only image through mscoree, the runtime's own assemblies included:
# the programs run with it, unlike the prefix's making (tools/wine-session.sh).
WINE_ENV = dict(os.environ, WINEDLLOVERRIDES="mshtml=")


def run(command, cwd=None, env=WINE_ENV, seconds=600):
    done = subprocess.run(command, cwd=cwd, env=env, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                          timeout=seconds)
    return done.returncode, done.stdout + done.stderr


def windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def read(path, pattern):
    with open(os.path.join(ROOT, path), encoding="utf-8") as source:
        return re.search(pattern, source.read()).group(1)


def write_examples(path):
    """The C# examples of EXAMPLES as written, each the body of a method of the class Examples,
    which lists them as ("FILE N", method); the program's project compiles it in."""
    usings, methods, rows = {"using System;"}, [], []
    for document in EXAMPLES:
        with open(os.path.join(ROOT, document), encoding="utf-8") as source:
            blocks = code_blocks(source.read(), "csharp")
        for number, block in enumerate(blocks, 1):
            lines = block.splitlines()
            usings.update(line for line in lines if re.fullmatch(r"using [\w.]+;", line))
            body = "\n".join(line for line in lines if not re.fullmatch(r"using [\w.]+;", line))
            methods.append(f"    static void Example{len(rows)}()\n    {{\n{body}\n    }}\n")
            rows.append(f'("{document} {number}", Example{len(rows)})')
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as out:
        out.write("// Made by quell_net_test.py from " + " and ".join(EXAMPLES) + ".\n" + "\n".join(sorted(usings))
                  + "\n\nstatic class Examples\n{\n    public static readonly (string Source, Action Run)[] All = {\n        "
                  + ",\n        ".join(rows) + ",\n    };\n\n" + "\n".join(methods) + "}\n")
    return path


def main():
    options = argparse.ArgumentParser()
    for name in ("--arch", "--standin", "--other-standin", "--quell", "--work"):
        options.add_argument(name)
    options.add_argument("--arguments", action="store_true")
    args = options.parse_args()
    for name in ("standin", "other_standin", "quell", "work"):
        if getattr(args, name):
            setattr(args, name, os.path.abspath(getattr(args, name)))
    artifacts = os.path.join(args.work, "artifacts")
    shutil.rmtree(args.work, ignore_errors=True)
    examples = "-p:QuellExamples=" + write_examples(os.path.join(args.work, "examples", "Examples.cs"))
    if args.arguments:
        status, output = run(["dotnet", "run", "--project", PROJECT, "-c", "Release", "--artifacts-path", artifacts,
                              examples, "--", "arguments"], seconds=900)
        print(output)
        import quell_net_package as pack
        version = read("CMakeLists.txt", r"project\(Quell VERSION ([0-9.]+)")
        first, second = (pack.pack(1700000000, os.path.join(args.work, name)) for name in ("pack1", "pack2"))
        with open(first, "rb") as one, open(second, "rb") as two:
            same = one.read() == two.read()
        with zipfile.ZipFile(first) as package:
            names, nuspec = set(package.namelist()), package.read("Quell.Net.nuspec").decode("utf-8-sig")
        wanted = {f"lib/{target}/Quell.Net.{kind}" for target in ("netstandard2.0", "net8.0") for kind in ("dll", "xml")}
        dependencies = re.findall(r'<dependency id="Quell" version="\[([^\]]*)\]" />', nuspec)
        ok = same and wanted <= names and "LICENSE" in names and dependencies == [version, version]
        print(f"{'ok  ' if ok else 'FAIL'} {os.path.basename(first)}: reproducible {same}, {sorted(names)}, Quell {dependencies}")
        return status or not ok

    version = read("CMakeLists.txt", r"project\(Quell VERSION ([0-9.]+)")
    bundle = architectures.bundle(args.arch, version)
    program = os.path.join(args.work, "program")
    status, output = run(["dotnet", "publish", PROJECT, "-c", "Release", "-r", architectures.RUNTIME[args.arch], "--self-contained",
                          "-o", program, "--artifacts-path", artifacts, examples], seconds=900)
    if status:
        print(output)
        return 1
    shutil.copy(args.standin, os.path.join(program, "Quell.dll"))
    # Each route's copies of both programs, which Wine's AppDefaults show that Windows.
    for route, system in ROUTES.items():
        for name, source in ((f"quell{route}.exe", args.quell), (f"QuellNetTest{route}.exe", "QuellNetTest.exe")):
            shutil.copy(os.path.join(program, source), os.path.join(program, name))
            run(["wine", "reg", "add", f"HKCU\\Software\\Wine\\AppDefaults\\{name}", "/v", "Version", "/d", system, "/f"])
    logs = os.path.join(args.work, "logs")
    os.makedirs(logs)

    failed = 0
    for route in ROUTES:
        status, output = run(["wine", os.path.join(program, f"QuellNetTest{route}.exe"), "calls", route,
                              windows(os.path.join(program, f"quell{route}.exe")), windows(logs)], seconds=600)
        print(f"{args.arch}, Windows {route} route: {output.strip()}")
        failed += status != 0
    status, output = run(["wine", os.path.join(program, "QuellNetTest8.exe"), "examples", windows(os.path.join(program, "quell8.exe")),
                          windows(logs)], seconds=600)
    print(f"{args.arch}, the documents' C# examples: {output.strip()}")
    failed += status != 0

    # Which Quell.dll each layout loads: the files placed, what the program must say.
    own, other = args.standin, args.other_standin
    elsewhere = os.path.join(args.work, "elsewhere")  # the current directory and PATH: never searched
    os.makedirs(elsewhere)
    shutil.copy(own, os.path.join(elsewhere, "Quell.dll"))
    cases = [
        ("beside", {"Quell.dll": own}, f"loaded {version}"),
        ("runtimes", {f"runtimes/{architectures.RUNTIME[args.arch]}/native/Quell.dll": own,
                      f"runtimes/{architectures.RUNTIME[OTHER[args.arch]]}/native/Quell.dll": other, "Quell.dll": other}, f"loaded {version}"),
        ("wrong architecture", {"Quell.dll": other}, f"BadImageFormatException: .*{bundle}\\.zip"),
        ("none", {}, "DllNotFoundException: "),
    ]
    env = dict(WINE_ENV, WINEPATH=windows(elsewhere))
    for number, (name, files, expected) in enumerate(cases):
        folder = os.path.join(args.work, f"load-{number}")
        subprocess.run(["cp", "-al", program, folder], check=True)
        os.remove(os.path.join(folder, "Quell.dll"))
        for place, source in files.items():
            os.makedirs(os.path.dirname(os.path.join(folder, place)), exist_ok=True)
            shutil.copy(source, os.path.join(folder, place))
        status, output = run(["wine", os.path.abspath(os.path.join(folder, "QuellNetTest.exe")), "load"], cwd=elsewhere, env=env)
        ok = re.search(expected, output) is not None
        failed += not ok
        print(f"{'ok  ' if ok else 'FAIL'} {args.arch} load, {name}: {output.strip()}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
