#!/usr/bin/env python3
"""Runs the ARM64 programs of a build tree under the emulated ARM64 Wine (Debian's
arm64 Wine under qemu-aarch64-static, fetched by tools/setup/setup-wine-arm64.sh) and
checks what they answer: arm64_probe.exe's checks of Quell.dll, the loader-lock
and planted-library scenarios, the clients linked with the import libraries, and
quell.exe's status (also started through a link, and beside another
architecture's Quell.dll), help and usage errors.
Each program run costs seconds: the cases share one Wine session.

Usage: run_emulated.py --wine DIR --tree BUILD_DIR --version X.Y.Z
       run_emulated.py --wine DIR --tree BUILD_DIR --run PROGRAM [ARGUMENT...]
Exits 1 when a case fails, and when the emulated runtime is missing: a test
that did not run must not pass. With --run, runs one program of the tree in the
same kind of session, its output passed through, and exits with its status.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # no cache files in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "tools"))
from architectures import MACHINE, TITLE, bundle as bundle_name  # noqa: E402
import pe  # noqa: E402

SETUP_HINT = "install it with: bash tools/setup.sh (or tools/setup/setup-wine-arm64.sh {wine})"
NOISE = ("Wine cannot find the FreeType font library", "use TrueType fonts please install",
         "or equal to 2.0.5", "http://www.freetype.org")
RUN_SECONDS = 180  # a run that takes this long has hung (the machine may be loaded)
DRIVE = "q:"       # the build tree as the programs see it


class Session:
    def __init__(self, wine, tree):
        self.root = os.path.join(wine, "root")
        self.loader = os.path.join(self.root, "usr/lib/wine/wine64")
        self.server = os.path.join(self.root, "usr/lib/wine/wineserver64")
        self.tree = tree
        self.env = dict(os.environ, WINEPREFIX=os.path.join(tree, "wineprefix"), WINEDEBUG="-all",
                        WINELOADERNOEXEC="1", WINEDLLOVERRIDES="mscoree,mshtml=")
        self.env.pop("WINESERVER", None)
        self.failures = []

    def command(self, program, *arguments):
        return ["qemu-aarch64-static", "-L", self.root, program, *arguments]

    def start(self):
        prefix = self.env["WINEPREFIX"]
        kernel32 = os.path.join(prefix, "drive_c/windows/system32/kernel32.dll")
        if os.path.isdir(prefix) and not os.path.exists(kernel32):
            shutil.rmtree(prefix)  # half made by a failed first start
        os.makedirs(prefix, exist_ok=True)
        # Background services inherit the first process's output: that one writes to /dev/null.
        subprocess.Popen(self.command(self.server, "-p"), env=self.env, stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        subprocess.run(self.command(self.loader, "cmd", "/c", "exit"), env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=RUN_SECONDS * 2)
        if not os.path.exists(kernel32):
            self.stop()
            raise RuntimeError(f"the emulated ARM64 Wine could not make its prefix {prefix}")
        drive = os.path.join(prefix, "dosdevices", DRIVE)
        if os.path.islink(drive):
            os.unlink(drive)
        os.symlink(self.tree, drive)

    def stop(self):
        subprocess.run(self.command(self.server, "-k"), env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)

    def windows_path(self, path):
        relative = os.path.relpath(path, self.tree)
        return DRIVE.upper() + "\\" + relative.replace("/", "\\")

    def run(self, program, arguments, directory, overrides=""):
        env = dict(self.env)
        if overrides:
            env["WINEDLLOVERRIDES"] += ";" + overrides
        started = time.monotonic()
        done = subprocess.run(self.command(self.loader, self.windows_path(program), *arguments), env=env,
                              cwd=directory, stdin=subprocess.DEVNULL, capture_output=True, timeout=RUN_SECONDS)
        clean = lambda text: "".join(line for line in text.decode("utf-8", "replace").replace("\r\n", "\n")
                                     .splitlines(keepends=True) if not line.startswith(NOISE))
        print(f"ran {os.path.basename(program)} {' '.join(arguments)}: exit {done.returncode}, "
              f"{time.monotonic() - started:.1f} s")
        return done.returncode, clean(done.stdout), clean(done.stderr)

    def expect(self, what, holds, detail=""):
        print(f"  {'ok  ' if holds else 'FAIL'} {what}")
        if not holds:
            print("       " + detail.replace("\n", "\n       "))
            self.failures.append(what)


def scratch(tree, name, files):
    directory = os.path.join(tree, "emulated", name)
    shutil.rmtree(directory, ignore_errors=True)
    os.makedirs(directory)
    for file in files:
        shutil.copy(file, directory)
    return directory


def read(path):
    try:
        with open(path, encoding="ascii", errors="replace") as f:
            return f.read().replace("\r\n", "\n")
    except FileNotFoundError:
        return ""


def remove_logs(directory):
    for log in ("powrprof.dll.log", "version.dll.log"):
        if os.path.exists(os.path.join(directory, log)):
            os.remove(os.path.join(directory, log))


def as_x64(path):
    """Makes the image's machine field say x64, as the other build's would."""
    with open(path, "r+b") as image:
        image.seek(pe.header_at(image.read(pe.HEADERS)) + 4)
        image.write(MACHINE["x64"].to_bytes(2, "little"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine", required=True)
    parser.add_argument("--tree", required=True)
    parser.add_argument("--version")
    parser.add_argument("--run", nargs=argparse.REMAINDER)
    arguments = parser.parse_args()
    if not arguments.run and not arguments.version:
        parser.error("--version or --run is required")
    tree = os.path.abspath(arguments.tree)
    bin_dir, loading = os.path.join(tree, "bin"), os.path.join(tree, "bin", "loading")
    session = Session(os.path.abspath(arguments.wine), tree)
    hint = SETUP_HINT.format(wine=arguments.wine)
    if not shutil.which("qemu-aarch64-static"):
        print(f"FAIL: qemu-aarch64-static is missing (Debian: qemu-user-static): the ARM64 programs did not run; {hint}")
        return 1
    if not os.path.exists(os.path.join(arguments.wine, "complete")) or not os.access(session.loader, os.X_OK):
        print(f"FAIL: the emulated ARM64 Wine is missing in {arguments.wine}: the ARM64 programs did not run; {hint}")
        return 1

    try:
        session.start()
    except (RuntimeError, subprocess.TimeoutExpired) as error:
        session.stop()
        print(f"FAIL: {error}")
        return 1
    if arguments.run:
        try:
            program = os.path.abspath(arguments.run[0])
            done = subprocess.run(session.command(session.loader, session.windows_path(program), *arguments.run[1:]),
                                  env=session.env, cwd=os.path.dirname(program), stdin=subprocess.DEVNULL,
                                  stderr=subprocess.PIPE)
            sys.stderr.write("".join(line for line in done.stderr.decode("utf-8", "replace").splitlines(keepends=True)
                                     if not line.startswith(NOISE)))
            return done.returncode
        finally:
            session.stop()

    quell_dll, quell_exe = os.path.join(bin_dir, "Quell.dll"), os.path.join(bin_dir, "quell.exe")
    probe = os.path.join(loading, "arm64_probe.exe")
    plants = [os.path.join(loading, "planted", name) for name in ("powrprof.dll", "version.dll")]
    try:
        # Every safe export, the file's tables and the loader lock, in one process.
        here = scratch(tree, "probe", [probe, quell_dll, os.path.join(loading, "loader_lock_helper.dll")])
        status, out, err = session.run(os.path.join(here, "arm64_probe.exe"), ["probe"], here)
        session.expect("arm64_probe probe: every check holds", status == 0 and "checks, 0 failed" in out,
                       f"exit {status}\n{out}{err}")
        system_answers = "".join(line[len("system."):] + "\n" for line in out.splitlines()
                                 if line.startswith("system."))
        session.expect("arm64_probe probe: the system's answers", system_answers.count("\n") == 5, out)

        # Stand-ins of powrprof.dll and version.dll beside the program, searched
        # there first: Quell.dll answers as the system does and calls neither.
        planted = scratch(tree, "planted", [probe, quell_dll, quell_exe] + plants)
        overrides = "powrprof,version=n,b"
        for program, args in (("arm64_probe.exe", ["queries"]), ("quell.exe", ["status"])):
            remove_logs(planted)
            status, out, err = session.run(os.path.join(planted, program), args, planted, overrides)
            name = f"{program} {args[0]} beside stand-ins"
            session.expect(f"{name}: exit 0", status == 0, f"exit {status}\n{out}{err}")
            if program == "arm64_probe.exe":
                session.expect(f"{name}: the system's answers", out == system_answers,
                               f"got:\n{out}expected:\n{system_answers}")
            log = read(os.path.join(planted, "powrprof.dll.log"))
            session.expect(f"{name}: the planted powrprof.dll never ran", log == "", log)
            # Wine's own user32.dll imports version.dll (Windows' does not), so
            # Wine attaches that stand-in itself; nothing may call it.
            calls = read(os.path.join(planted, "version.dll.log")).replace("attach\n", "")
            session.expect(f"{name}: the planted version.dll was never called", calls == "", calls)
        # The control: loaded by bare name, the same stand-ins do run.
        remove_logs(planted)
        status, out, err = session.run(os.path.join(planted, "arm64_probe.exe"), ["bare"], planted, overrides)
        session.expect("arm64_probe bare: the stand-ins answer",
                       status == 0 and out == "IsPwrSuspendAllowed=0\nGetFileVersionInfoSizeA=0\n",
                       f"exit {status}\n{out}{err}")
        for plant, call in (("powrprof.dll", "IsPwrSuspendAllowed"), ("version.dll", "GetFileVersionInfoSizeA")):
            log = read(os.path.join(planted, plant + ".log"))
            session.expect(f"arm64_probe bare: the planted {plant} ran", log == f"attach\n{call}\n", log)

        # Clients linked with the import libraries: Quell.lib and libQuell.dll.a.
        for client in ("msvc_client.exe", "mingw_client.exe"):
            status, out, err = session.run(os.path.join(bin_dir, client), [], bin_dir)
            session.expect(f"{client}: every import reaches its export", status == 0 and out.endswith("PASS\n"),
                           f"exit {status}\n{out}{err}")

        # quell.exe beside the shipped Quell.dll.
        status, out, err = session.run(quell_exe, ["status"], bin_dir)
        major_minor_patch = ".".join((arguments.version.split(".") + ["0", "0"])[:3])
        session.expect("quell.exe status: exit 0 and the library's answers",
                       status == 0 and out.startswith("Quell.dll\n") and
                       any(line.split()[:4] == ["version", "of", "Quell.dll", major_minor_patch]
                           for line in out.splitlines()) and
                       any(line.split()[:3] == ["NT-family", "system", "yes"] for line in out.splitlines()),
                       f"exit {status}\n{out}{err}")
        # Started through a symbolic link in another directory, as winget starts
        # it: the Quell.dll beside the file the link leads to. Beside a Quell.dll
        # of another architecture: it names its own and its bundle, no other.
        linked = scratch(tree, "link", [])
        os.symlink(os.path.relpath(quell_exe, linked), os.path.join(linked, "quell.exe"))
        other = scratch(tree, "other-architecture", [quell_exe, quell_dll])
        as_x64(os.path.join(other, "Quell.dll"))
        bundle = bundle_name("arm64", arguments.version) + ".zip"
        for what, directory, args, holds in (
                ("quell.exe --version through a link: the Quell.dll beside the file it leads to", linked,
                 ["--version"], lambda status, out, err: status == 0 and out.endswith("\\bin\\Quell.dll)\n")),
                (f"quell.exe status beside an x64 Quell.dll: exit 3, error 193, the DLL's {TITLE['x64']} and {bundle} named",
                 other, ["status"], lambda status, out, err: status == 3 and "193" in err and TITLE["x64"] in err
                 and bundle in err)):
            status, out, err = session.run(os.path.join(directory, "quell.exe"), args, directory)
            session.expect(what, holds(status, out, err), f"exit {status}\n{out}{err}")
        status, out, err = session.run(quell_exe, ["--help"], bin_dir)
        session.expect("quell.exe --help: exit 0 and the usage", status == 0 and out.startswith("Usage: quell "),
                       f"exit {status}\n{out}{err}")
        for args, names in (([], ""), (["frobnicate"], "frobnicate"), (["status", "extra"], "extra")):
            status, out, err = session.run(quell_exe, args, bin_dir)
            session.expect(f"quell.exe {' '.join(args) or '(no command)'}: usage error",
                           status == 2 and out == "" and names in err, f"exit {status}\n{out}{err}")
    except subprocess.TimeoutExpired as timeout:
        session.expect("a run ended", False, f"killed after {timeout.timeout} s: {timeout.cmd}")
    finally:
        session.stop()
    if session.failures:
        print(f"{len(session.failures)} emulated ARM64 checks failed")
        return 1
    print("every emulated ARM64 check holds")
    return 0


if __name__ == "__main__":
    sys.exit(main())
