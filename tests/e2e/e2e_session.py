#!/usr/bin/env python3
"""quell.exe and Quell.dll end to end, in throwaway Wine sessions on a virtual display.

  e2e_session.py list ARCH            the cases that run in a build tree of ARCH (x86, x64)
  e2e_session.py run CASE BIN WORK    one case, with quell.exe, Quell.dll and quell_witness.exe from BIN
  e2e_session.py nsis SCRIPT BIN WORK VERSION
                                      an NSIS installer made from SCRIPT with BIN's Quell.dll, run silently
  e2e_session.py template WORK        makes WORK/template/prefix now, or makes a half-made one again

Each runs in WORK/NAME/prefix, a copy of WORK/template/prefix (made once for
all), on an Xvfb display of its own. Whatever happens, it stops its prefix's
wineserver and its display; its directory stays only when it fails.

What is observed: the witness's record (its window's WM_QUERYENDSESSION and
WM_ENDSESSION, and a Run entry that Wine runs when it restarts the session,
never after a shutdown), the dialogs quell.exe shows, Wine's relay log of
the system functions quell.exe reaches, and those functions called directly.
"""
import contextlib
import dataclasses
import fcntl
import json
import os
import re
import secrets
import select
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path
from typing import Callable, Optional

WAIT_SECONDS = 20        # the bound on anything awaited; a case that reaches it has failed
POLL_SECONDS = 0.01
HELPER_NAME = "quell_lingerer.exe"  # the helper process's program, a copy of the witness
TEMPLATE_FORMAT = "1"    # change to make every build tree's template again

# System functions whose calls and results Wine's relay log shows for quell.exe.
RELAY_INCLUDE = ";".join([
    "shell32.59", "shell32.60", "advapi32.InitiateSystemShutdownW", "advapi32.AbortSystemShutdownA",
    "powrprof.SetSuspendState", "user32.LockWorkStation", "user32.ShutdownBlockReasonCreate",
    "user32.ShutdownBlockReasonDestroy", "user32.ShutdownBlockReasonQuery", "advapi32.InitiateShutdownW",
    "advapi32.AbortSystemShutdownW", "user32.DefWindowProcA"])

ZERO = r"0+"
NONZERO = r"[0-9a-f]*[1-9a-f][0-9a-f]*"


def dword(value):
    """A 32-bit argument as the relay log shows it: on x64 its 8-byte stack slot's
    upper half holds whatever was there before, which the callee never reads."""
    return r"[0-9a-f]*" + f"{value:08x}"
# BOOLEAN arguments: only the low byte counts.
FALSE_BYTE = r"[0-9a-f]*00"
TRUE_BYTE = r"[0-9a-f]*(?:[1-9a-f][0-9a-f]|0[1-9a-f])"


def debugstr(text):
    """A string as Wine's debug log quotes it."""
    escaped = {'"': '\\"', "\\": "\\\\", "\n": "\\n", "\r": "\\r", "\t": "\\t"}
    return 'L"' + "".join(escaped.get(c) or (c if 32 <= ord(c) < 127 else "\\%04x" % ord(c)) for c in text) + '"'


def relay_call(function, *arguments):
    """The relay log's line for a call of FUNCTION with argument patterns."""
    return r"Call %s\(%s\)" % (re.escape(function), ",".join(arguments))


@dataclasses.dataclass
class Run:
    """What one case saw; the case's expect function reads it."""
    quell_exit: Optional[int] = None
    output: str = ""
    relay: str = ""
    record: list = dataclasses.field(default_factory=list)
    answer: list = dataclasses.field(default_factory=list)
    direct: dict = dataclasses.field(default_factory=dict)  # name: the witness's fields, or lines
    block: list = dataclasses.field(default_factory=list)
    json_exit: Optional[int] = None     # the command again with --json
    json_output: str = ""
    meanwhile: list = dataclasses.field(default_factory=list)  # (exit status, output) of each command run meanwhile
    waited: Optional[float] = None      # seconds from quell.exe's first line to its first call watched
    helper_ended_first: Optional[bool] = None  # the helper had ended when that call came

    def returned(self, function):
        """The result the relay log shows for FUNCTION's first call, as a signed 32-bit number."""
        found = re.search(r"Ret  %s\(\) retval=([0-9a-f]+)" % re.escape(function), self.relay)
        if not found:
            return None
        value = int(found.group(1), 16) & 0xFFFFFFFF
        return value - (1 << 32) if value >= 1 << 31 else value


@dataclasses.dataclass
class Expect:
    exit: Optional[int] = None
    output: str = ""                    # a pattern quell.exe's output must match
    relay: tuple = ()                   # patterns the relay log must match
    no_relay: tuple = ()                # patterns it must not match
    same: tuple = ()                    # (what, seen, expected): seen must equal expected


@dataclasses.dataclass
class Case:
    name: str
    command: Optional[list]             # quell.exe's arguments before --yes; None: block reasons, by the witness
    session: str                        # "asked": it ends, the witness is asked; "forced": it ends unasked; "alive"
    expect: Callable[[Run], Expect]
    restarts: bool = False              # the session starts again (a reboot)
    dialog: Optional[tuple] = None      # (title, Wine's own prompt, button pressed)
    direct: tuple = ()                  # system functions the witness calls directly
    x64: bool = False                   # also in the x64 build tree
    reason: Optional[str] = None        # the block reason the witness's window holds
    confirm: bool = True                # False: a report, run without --yes, then again with --json
    waits: bool = False                 # quell.exe waits: started, watched while it waits and until it ends
    meanwhile: tuple = ()               # quell.exe's arguments of commands run while it waits
    helper_ms: int = 0                  # a helper process that ends after so long; "{helper}" is its id,
                                        # "{helper-name}" its program's name (HELPER_NAME)
    registry: tuple = ()                # `reg add` argument lists, run in the session before quell.exe


# ---- the cases ----------------------------------------------------------------------

def session_end(name, export, session, restarts=False, x64=False):
    """quell.exe exits 0 after the export answered true, with whatever last-error
    value the system left (Wine's 64-bit ExitWindowsEx leaves 1), and says what
    happens in words. A forced end
    may end quell.exe first: Wine's forced end terminates every process of the
    session with exit status 0, and quell.exe has then printed nothing."""
    answered = r"%s = -1, last error \d+ \(.*\)\nquell %s: [^\n]+\n" % (export, name)
    pattern = r"\A(%s)?\Z" % answered if session == "forced" else r"\A%s\Z" % answered
    return Case(name, [name], session, lambda run: Expect(0, pattern), restarts=restarts, x64=x64)


def forwarded_boolean(export, function, *arguments):
    """An export that answers -1 when FUNCTION, called with ARGUMENTS, answered non-zero."""
    def expect(run):
        result = run.returned(function)
        if result:
            return Expect(0, r"%s = -1, " % export, (relay_call(function, *arguments),))
        return Expect(1, r"%s = 0, " % export, (relay_call(function, *arguments),))
    return expect


def system_answered(function, error_code, *arguments):
    """A system function that quell.exe calls through the system's request or
    itself: it prints the answer unchanged and exits 0 when that means done (an
    error code of 0, else a BOOL other than 0)."""
    def expect(run):
        result = run.returned(function)
        done = result == 0 if error_code else bool(result)
        return Expect(0 if done else 1, r"%s = %s, " % (function.split(".")[1], result),
                      (relay_call(function, *arguments),))
    return expect


def dialog_answered(export, function, *arguments):
    """The restart dialog, answered No: quell.exe reports what the system's
    function returned, and fails (it succeeds only on Yes)."""
    def expect(run):
        return Expect(1, r"%s = %s, " % (export, run.returned(function)), (relay_call(function, *arguments),))
    return expect


def shutdown_dialog_shown(run):
    """The shell's shut-down dialog, answered No: it returns nothing, so quell.exe
    prints no result and exits 0 once it has been shown."""
    return Expect(0, r"\Aquell shutdown-dialog: about to show the shell's shut-down dialog\n"
                     r"quell shutdown-dialog: shown\n\Z", (relay_call("shell32.60", ZERO),))


def lock_as_the_system_answers(run):
    direct = run.direct["LockWorkStation"]
    errors = "last error %s " % direct["error"] if direct["error"] != "0" else ""
    return Expect(0 if direct["result"] != "0" else 1, r"LockWorkStation = %s, %s" % (direct["result"], errors),
                  (relay_call("user32.LockWorkStation"),))


def sleep_as_the_system_answers(export, hibernate):
    """Standby needs any one of S1 to S3, hibernation S4 or a hibernation file;
    where the system offers it, the export answers as SetSuspendState does
    directly (with wake events disabled, never forced), else 0 with last error 50."""
    def expect(run):
        offers = {key: value != "0" for key, value in run.direct["GetPwrCapabilities"].items()}
        call = relay_call("powrprof.SetSuspendState", TRUE_BYTE if hibernate else FALSE_BYTE, FALSE_BYTE, TRUE_BYTE)
        supported = (offers["S4"] or offers["HiberFilePresent"]) if hibernate else \
            (offers["S1"] or offers["S2"] or offers["S3"])
        if not supported:
            return Expect(1, r"%s = 0, last error 50 " % export, no_relay=(r"Call powrprof\.SetSuspendState\(",))
        done = run.direct["SetSuspendState-hibernate" if hibernate else "SetSuspendState-standby"]["result"] != "0"
        return Expect(0 if done else 1, r"%s = %d, " % (export, -1 if done else 0), (call,))
    return expect


def lock_after_its_delay(run):
    """lock --delay 2: LockWorkStation is called as the system answers, two seconds into the wait."""
    expect = lock_as_the_system_answers(run)
    expect.same = (("LockWorkStation called 2 s or more after the wait began", run.waited is not None and
                    run.waited >= 1.9, True),)
    return expect


def waits_in(run, index):
    """The waits that the command run meanwhile, pending --json, listed."""
    try:
        return json.loads(run.meanwhile[index][1])["waits"]
    except (IndexError, ValueError, KeyError, TypeError):
        return "not pending's JSON: %r" % (run.meanwhile[index:index + 1],)


def cancelled_by_abort(run):
    """standby --delay 60, then pending --json and abort --yes meanwhile: pending lists the
    wait with its moment, abort cancels it, and quell.exe ends with 4 having called nothing."""
    waits = waits_in(run, 0)
    listed = [(type(wait.get("processId")), wait.get("action"),
               bool(re.match(r"\A\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\Z", wait.get("due") or "")))
              for wait in waits] if isinstance(waits, list) else waits
    aborted = run.meanwhile[1] if len(run.meanwhile) > 1 else (None, "")
    return Expect(4, r"quell standby: cancelled; nothing done\n", no_relay=(r"Call powrprof\.SetSuspendState\(",),
                  same=(("pending --json during the wait", listed, [(int, "standby", True)]),
                        ("abort --yes", (aborted[0], "cancelled 1 waiting quell.exe" in aborted[1]), (0, True))))


def lock_after_the_helper(run):
    """lock --after PID: pending shows the wait for a process; LockWorkStation comes after the helper ended."""
    expect = lock_as_the_system_answers(run)
    waits = waits_in(run, 0)
    listed = [(wait.get("action"), wait.get("due")) for wait in waits] if isinstance(waits, list) else waits
    expect.same = (("pending --json during the wait", listed, [("lock", None)]),
                   ("the helper had ended when LockWorkStation was called", run.helper_ended_first, True))
    return expect


BLOCK_REASON = "Sichern – läuft"
BLOCK_CALLS = {"Create": (r"[0-9a-f]+", r"[0-9a-f]+ " + re.escape(debugstr(BLOCK_REASON))),
               "Query": (r"[0-9a-f]+", r"[0-9a-f]+", r"[0-9a-f]+"),
               "Destroy": (r"[0-9a-f]+",)}


def block_reasons_as_the_system_answers(run):
    """Create, Query, Destroy, Query on a window: through Quell.dll each answers as
    user32.dll's own does where the system offers it, and the relay log shows
    the call (the reason included); where the system lacks it, 0 with last error 120."""
    expected, calls = [], []
    for line in run.direct["block"]:
        name = line.split("=")[0].split()[0]
        if line.endswith(" missing"):
            expected.append("%s=0 error=120%s" % (name, " text=" if name == "Query" else ""))
        else:
            expected.append(line)
            calls.append(relay_call("user32.ShutdownBlockReason" + name, *BLOCK_CALLS[name]))
    return Expect(relay=tuple(calls), same=(("block reasons through Quell.dll", run.block, expected),))


def blockers_as_the_system_answers(run):
    """quell blockers, while the witness's window holds a block reason: where the
    system offers ShutdownBlockReasonQuery, the window is listed with its reason
    (when the system took it); where it does not (Wine), Quell.dll answers 0
    with 120 and quell says that this system keeps no block reasons. The --json
    run says the same as one object that Python's JSON reader reads back."""
    witness = dict(field.split("=", 1) for line in run.record if line.startswith("reason ")
                   for field in line.split()[1:])
    try:
        document = json.loads(run.json_output)
    except ValueError as error:
        document = "not JSON (%s): %r" % (error, run.json_output)
    if witness.get("Query") != "offered":
        return Expect(1, r"\Aquell: this system keeps no shutdown block reasons: "
                         r"ShutdownBlockReasonQuery = 0, last error 120 \(.*\)\n\Z",
                      same=(("blockers --json", (run.json_exit, document), (1, {"available": False, "blockers": []})),))
    listed = [entry for entry in (document.get("blockers", []) if isinstance(document, dict) else [])
              if entry.get("title") == "Quell witness"]
    expected = [{"processId": int(witness["process"]), "program": listed[0]["program"] if listed else None,
                 "title": "Quell witness", "reason": BLOCK_REASON}] if witness.get("Create") != "0" else []
    line = r'  process %s \(.*\), window "Quell witness": %s\n' % (witness.get("process"), re.escape(BLOCK_REASON))
    return Expect(0, line if expected else r"\ANo program blocks the end of the session\.\n\Z",
                  same=(("blockers --json", (run.json_exit, listed), (0, expected)),))


def display_turned_off(run):
    """display-off hands SC_MONITORPOWER (lParam 2) to DefWindowProcA for a window
    of quell.exe's own: the relay log shows that call, and it exits 0 (Wine's
    DefWindowProc answers 0 and turns nothing off)."""
    return Expect(0, r"\Aquell display-off: the display is turned off\n\Z",
                  (relay_call("user32.DefWindowProcA", NONZERO, "0*112", "0*f170", "0*2"),))


# What `reg add` sets in the 64-bit view, where Windows keeps these keys (an
# x86 quell.exe reads it there through KEY_WOW64_64KEY).
REGISTRY = (
    (r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Component Based Servicing\RebootPending", "/f", "/reg:64"),
    (r"HKLM\SYSTEM\CurrentControlSet\Control\Session Manager", "/v", "PendingFileRenameOperations", "/t",
     "REG_MULTI_SZ", "/d", r"\??\C:\quell-e2e-absent.tmp\0", "/f", "/reg:64"),
    (r"HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Power", "/v", "HiberbootEnabled", "/t", "REG_DWORD",
     "/d", "1", "/f", "/reg:64"),
)


def registry_read(run):
    """status, and status --json as Python's JSON reader reads it back, name the
    sources that `reg add` set, and fast startup on."""
    try:
        document = json.loads(run.json_output)
    except ValueError as error:
        document = "not JSON (%s): %r" % (error, run.json_output)
    seen = (document.get("rebootPending"), document.get("fastStartup")) if isinstance(document, dict) else document
    sources = ["ComponentBasedServicing", "PendingFileRenameOperations"]
    return Expect(0, r"\n  reboot pending +yes +%s\n  fast startup +on +HiberbootEnabled 1" % ", ".join(sources),
                  same=(("status --json", (run.json_exit, seen), (0, ({"pending": True, "sources": sources}, True))),))


TIMED_MESSAGE = "Gleich – bitte speichern"
PROMPT = "Neustart für das Update – bitte speichern"

# The x64 build tree runs the rows marked x64: the same sources give both images,
# and these rows take each shape of call that the x64 image makes differently (a
# session end asked and one forced, under the privilege; a prompt, a message
# and BOOLEAN arguments passed on; an answer of the system passed back; block
# reasons on a window of a 64-bit process). The others differ from them only by
# a constant of the shared source, which the x86 rows and the fake-platform
# tests of both builds check.
CASES = [
    # Every session-end export: Wine's wineboot ends the session. Not forced, it
    # asks each top-level window first and sends WM_ENDSESSION; forced, it
    # sends neither and terminates the processes. Only a reboot starts it again.
    session_end("logoff", "WindowsLogOnOff", "asked", x64=True),
    session_end("force-logoff", "WindowsForceLogOnOff", "forced"),
    session_end("shutdown", "WindowsShutdown", "asked"),
    session_end("force-shutdown", "WindowsForceShutdown", "forced"),
    session_end("reboot", "WindowsReboot", "asked", restarts=True),
    session_end("force-reboot", "WindowsForceReboot", "forced", restarts=True, x64=True),
    session_end("restart-apps", "WindowsRestartApps", "asked"),
    session_end("hybrid", "WindowsHybridShutdown", "asked"),
    # The shell's dialogs, answered No. Wine's restart dialog shows its own
    # question, not the caller's prompt: the relay log shows the prompt arrive.
    Case("restart-dialog", ["restart-dialog", PROMPT], "alive",
         dialog_answered("RestartDialog", "shell32.RestartDialog", ZERO, r"[0-9a-f]+ " + re.escape(debugstr(PROMPT)),
                         "0*2"),  # EWX_REBOOT
         dialog=("Restart", "Do you want to simulate a Windows reboot?", "no"), x64=True),
    Case("shutdown-dialog", ["shutdown-dialog"], "alive",
         shutdown_dialog_shown,
         dialog=("Shutdown", "Do you want to shutdown your Wine session?", "no")),
    # The timed commands make the system's request, on Wine (a system from Vista
    # on) InitiateShutdownW, a stub that answers 120; Wine's AbortSystemShutdownA
    # is a stub that answers TRUE: what arrives is checked, no shutdown asserted.
    Case("timed-shutdown", ["timed-shutdown", "30", TIMED_MESSAGE], "alive",
         system_answered("advapi32.InitiateShutdownW", True, ZERO, r"[0-9a-f]+ " + re.escape(debugstr(TIMED_MESSAGE)),
                         dword(30), dword(8), dword(0))),  # SHUTDOWN_POWEROFF
    Case("timed-reboot", ["timed-reboot", "0", TIMED_MESSAGE, "--force"], "alive",
         system_answered("advapi32.InitiateShutdownW", True, ZERO, r"[0-9a-f]+ " + re.escape(debugstr(TIMED_MESSAGE)),
                         dword(0), dword(7), dword(0)), x64=True),  # SHUTDOWN_RESTART | SHUTDOWN_FORCE_SELF | SHUTDOWN_FORCE_OTHERS
    Case("abort", ["abort"], "alive",
         forwarded_boolean("LocalAbortSystemShutdown", "advapi32.AbortSystemShutdownA", ZERO)),
    # A timed reboot with a planned reason, through InitiateShutdownW (Wine reports
    # a system from Vista on): no machine, the message, 600 seconds,
    # SHUTDOWN_RESTART, reason 0x80040001. Wine's is a stub that answers 120.
    Case("reboot-request", ["reboot", "--delay", "600", "--reason", "p:4:1", "--message", TIMED_MESSAGE], "alive",
         system_answered("advapi32.InitiateShutdownW", True, ZERO, r"[0-9a-f]+ " + re.escape(debugstr(TIMED_MESSAGE)),
                          dword(600), dword(4), dword(0x80040001))),
    # Another machine's timed shutdown aborted through advapi32's own entry (Wine's is a stub
    # answering TRUE, whose relay line shows the name's address only).
    Case("abort-machine", ["abort", "--machine", r"\\lab01"], "alive",
         system_answered("advapi32.AbortSystemShutdownW", False, NONZERO)),
    # Wine's LockWorkStation answers 0 with last error 120, the same as Quell's
    # "not available": the relay log shows that the system's was called.
    Case("lock", ["lock"], "alive", lock_as_the_system_answers, direct=("LockWorkStation",), x64=True),
    # Wine's ShutdownBlockReasonCreate and Destroy are stubs that answer 0 with
    # last error 120, as Quell.dll does where the system lacks an entry: the
    # relay log shows them called. Wine has no ShutdownBlockReasonQuery.
    Case("block-reasons", None, "alive", block_reasons_as_the_system_answers, x64=True),
    # Wine has no ShutdownBlockReasonQuery: quell blockers says that the system
    # keeps no block reasons, while the witness's window tries to hold one.
    Case("blockers", ["blockers"], "alive", blockers_as_the_system_answers, x64=True, reason=BLOCK_REASON,
         confirm=False),
    # Wine's power capabilities and SetSuspendState are stubs; SetSuspendState
    # answers TRUE and suspends nothing.
    Case("standby", ["standby"], "alive", sleep_as_the_system_answers("WindowsStandby", hibernate=False),
         direct=("GetPwrCapabilities", "SetSuspendState-standby")),
    Case("hibernate", ["hibernate"], "alive", sleep_as_the_system_answers("WindowsHibernate", hibernate=True),
         direct=("GetPwrCapabilities", "SetSuspendState-hibernate"), x64=True),
    # quell.exe's own waits: the call only when it is due; cancelled by abort, calling nothing.
    Case("lock-delay", ["lock", "--delay", "2"], "alive", lock_after_its_delay, direct=("LockWorkStation",),
         waits=True),
    Case("standby-abort", ["standby", "--delay", "60"], "alive", cancelled_by_abort, waits=True,
         meanwhile=(["pending", "--json"], ["abort", "--yes"]), x64=True),
    Case("lock-after", ["lock", "--after", "{helper}"], "alive", lock_after_the_helper, direct=("LockWorkStation",),
         waits=True, meanwhile=(["pending", "--json"],), helper_ms=3000),
    Case("lock-after-name", ["lock", "--after", "{helper-name}"], "alive", lock_after_the_helper,
         direct=("LockWorkStation",), waits=True, meanwhile=(["pending", "--json"],), helper_ms=3000),
    # The display turned off through a window of quell.exe's own, on the session's virtual display.
    Case("display-off", ["display-off"], "alive", display_turned_off, x64=True),
    # The registry's pending reboot and fast startup, as `reg add` set them in a throwaway prefix.
    Case("registry", ["status"], "alive", registry_read, x64=True, confirm=False, registry=REGISTRY),
]


# ---- the Wine session -----------------------------------------------------------------

def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def session_environment(prefix, home):
    """Nothing of the caller's Wine session, display or home: the case's own."""
    env = {key: value for key, value in os.environ.items()
           if not key.startswith(("WINE", "XDG_", "WAYLAND_")) and key not in ("DISPLAY", "XAUTHORITY")}
    env.update(WINEPREFIX=str(prefix), HOME=str(home), WINEDEBUG="-all", LC_ALL="C.UTF-8",
               WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")  # no installer prompts, no desktop entries
    return env


def quiet(command, env, timeout=WAIT_SECONDS):
    """Runs a command with no pipes: the services that Wine's first process starts
    inherit its handles, and would hold a pipe open for as long as they live."""
    return subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=timeout).returncode


def stop_wineserver(env):
    quiet(["wineserver", "-k"], env)
    quiet(["wineserver", "-w"], env)  # returns when it has saved the registry and ended


# Wine's program files, which a session does not write, are shared by hard links;
# everything else (the registry above all) is copied.
SHARED_SUFFIXES = (".dll", ".exe", ".drv", ".sys")


def copy_prefix(template, prefix):
    for root, directories, files in os.walk(template):
        target = prefix / Path(root).relative_to(template)
        target.mkdir(parents=True, exist_ok=True)
        for name in directories + files:
            source = Path(root) / name
            if source.is_symlink():
                os.symlink(os.readlink(source), target / name)
            elif name in files and name.lower().endswith(SHARED_SUFFIXES):
                os.link(source, target / name)
            elif name in files:
                shutil.copy2(source, target / name)


def half_made(prefix):
    """The sign of a first start that failed half-way (seen on loaded machines):
    no kernel32.dll, and every later start fails with status c0000135."""
    return not (prefix / "drive_c" / "windows" / "system32" / "kernel32.dll").exists()


def make_template(work):
    """WORK/template/prefix, made once for the Wine installed (about 10 s), under a
    lock that cases running side by side share. A half-made one is made again,
    once, with a line that says so."""
    template = work / "template"
    prefix = template / "prefix"
    stamp = template / "made"
    version = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    wanted = "%s %s %s\n" % (TEMPLATE_FORMAT, version, RELAY_INCLUDE)
    work.mkdir(parents=True, exist_ok=True)
    with open(work / "template.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        stamped = stamp.exists() and stamp.read_text() == wanted
        if stamped and not half_made(prefix):
            return prefix
        remade = stamped  # a template made before that has lost its kernel32.dll
        while True:
            if remade:
                print("the template prefix %s was half-made (no drive_c/windows/system32/kernel32.dll): "
                      "making it again" % prefix, file=sys.stderr, flush=True)
            shutil.rmtree(template, ignore_errors=True)
            (template / "home").mkdir(parents=True)
            env = session_environment(prefix, template / "home")
            try:
                quiet(["wineserver", "-p"], env)
                started = quiet(["wine", "cmd", "/c", "exit"], env, timeout=300) == 0
                made = started and not half_made(prefix) and quiet(
                    ["wine", "reg", "add", r"HKCU\Software\Wine\Debug", "/v", "RelayInclude", "/d", RELAY_INCLUDE,
                     "/f"], env) == 0
            finally:
                stop_wineserver(env)
            if made:
                stamp.write_text(wanted)
                return prefix
            if remade or not half_made(prefix):
                raise RuntimeError("cannot make the template prefix %s%s" % (
                    prefix, " (no drive_c/windows/system32/kernel32.dll after its first start)"
                    if half_made(prefix) else ""))
            remade = True


class Display:
    """Xvfb on a display number it picks itself, with a cookie of its own."""

    def __init__(self, directory):
        self.directory = directory
        self.process = None

    def __enter__(self):
        cookie = secrets.token_hex(16)
        server_auth = self.directory / "xvfb-server.auth"
        self.client_auth = self.directory / "xvfb-client.auth"
        # The server takes every cookie in its file, whatever display it names.
        server_auth.touch()
        self.client_auth.touch()
        subprocess.run(["xauth", "-q", "-f", str(server_auth), "add", ":0", ".", cookie], check=True)
        read_end, write_end = os.pipe()
        with open(self.directory / "xvfb.log", "w") as log:
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-auth", str(server_auth), "-nolisten", "tcp",
                 "-screen", "0", "800x600x24"],
                pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + WAIT_SECONDS
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            if select.select([read_end], [], [], deadline - time.monotonic())[0]:
                chunk = os.read(read_end, 16)
                if not chunk:
                    break
                number += chunk
        os.close(read_end)
        if not number.strip().isdigit():
            self.__exit__(None, None, None)
            raise RuntimeError("Xvfb did not start: %s" % (self.directory / "xvfb.log").read_text())
        self.name = ":" + number.strip().decode()
        subprocess.run(["xauth", "-q", "-f", str(self.client_auth), "add", self.name, ".", cookie], check=True)
        return self

    def __exit__(self, *exception):
        self.process.terminate()
        try:
            self.process.wait(5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class WineSession:
    """The case's wineserver, started and warmed, and ended with every process of
    the prefix whatever happens."""

    def __init__(self, env, directory):
        self.env = env
        self.directory = directory
        self.started = []

    def __enter__(self):
        quiet(["wineserver", "-p"], self.env)
        quiet(["wine", "cmd", "/c", "exit"], self.env, timeout=60)
        return self

    def __exit__(self, *exception):
        stop_wineserver(self.env)
        for process in self.started:
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()

    def start(self, log, *command, env=None):
        """Starts a program of the session, its output in LOG.out and LOG.err."""
        with open(self.directory / (log + ".out"), "wb") as out, open(self.directory / (log + ".err"), "wb") as err:
            process = subprocess.Popen(["wine", *map(str, command)], env=env or self.env, stdin=subprocess.DEVNULL,
                                       stdout=out, stderr=err)
        self.started.append(process)
        return process

    def run(self, log, *command, env=None):
        """Runs a program of the session: its exit status, or None when it had to be killed."""
        process = self.start(log, *command, env=env)
        try:
            return process.wait(WAIT_SECONDS)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            return None

    def traced(self, log, *command):
        """Runs a program with Wine's relay log on: its exit status, its output, and the log."""
        exit = self.run(log, *command, env=dict(self.env, WINEDEBUG="+relay"))
        stderr = read_lines(self.directory / (log + ".err"))
        output = (self.directory / (log + ".out")).read_text(encoding="utf-8", errors="replace")
        output += "".join(line + "\n" for line in stderr if not WINE_DEBUG_LINE.match(line))
        return exit, output, "".join(line + "\n" for line in stderr if WINE_DEBUG_LINE.match(line))


def read_lines(path):
    try:
        return path.read_text(encoding="utf-8", errors="replace").splitlines()
    except FileNotFoundError:
        return []


def wait_until(condition):
    deadline = time.monotonic() + WAIT_SECONDS
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(POLL_SECONDS)
    return True


RELAY_CALL_LINE = re.compile(r"^[0-9a-f]{4}:(?:Call|Ret) +\w+\.\w+\(")
WINE_DEBUG_LINE = re.compile(r"^[0-9a-f]{4}:(?:Call |Ret |Starting |trace:|fixme:|err:|warn:)")


def fields(line):
    """The witness's and the installer's "NAME=result key=value ..." as NAME and a dict."""
    name, _, rest = line.partition("=")
    return name, dict(field.split("=", 1) for field in ("result=" + rest).split())


# ---- one case -----------------------------------------------------------------------

def observe(case, bin_dir, session, failures):
    run = Run()
    directory = session.directory
    witness = bin_dir / "quell_witness.exe"
    record = directory / "record.txt"
    window = session.start("witness", witness, "window", windows_path(record), *[case.reason] if case.reason else [])
    if not wait_until(lambda: "ready" in read_lines(record)):
        failures.append("the witness never showed its window: %s" % read_lines(record))
        return run
    if case.direct:
        session.run("direct", witness, "call", windows_path(directory / "direct.txt"), *case.direct)
        run.direct = dict(fields(line) for line in read_lines(directory / "direct.txt"))
    answerer = None
    if case.dialog:
        answerer = session.start("answer", witness, "answer", windows_path(directory / "answer.txt"),
                                 "quell.exe", case.dialog[2])
    for number, arguments in enumerate(case.registry):
        if session.run("reg-%d" % number, "reg", "add", *arguments) != 0:
            failures.append("reg add %s failed" % " ".join(arguments))
    if case.command is None:
        session.run("direct-block", witness, "block", windows_path(directory / "direct-block.txt"), BLOCK_REASON)
        run.direct["block"] = read_lines(directory / "direct-block.txt")
        run.relay = session.traced("block", witness, "block", windows_path(directory / "block.txt"), BLOCK_REASON,
                                   windows_path(bin_dir / "Quell.dll"))[2]
        run.block = read_lines(directory / "block.txt")
    elif case.waits:
        watch_wait(case, bin_dir, session, run, failures)
    else:
        confirm = ["--yes"] if case.confirm else []
        run.quell_exit, run.output, run.relay = session.traced("quell", bin_dir / "quell.exe", *case.command, *confirm)
        if not case.confirm:
            run.json_exit = session.run("quell-json", bin_dir / "quell.exe", *case.command, "--json")
            run.json_output = (directory / "quell-json.out").read_text(encoding="utf-8", errors="replace")
    if answerer:
        if not wait_until(lambda: answerer.poll() is not None):
            failures.append("the dialog was never answered")
        run.answer = read_lines(directory / "answer.txt")
    if case.session != "alive" and not wait_until(lambda: window.poll() is not None):
        failures.append("the witness still runs after the session end")
    # Any session end that Wine started has run its course once wineboot.exe is
    # gone, and with it what the restart started. The window's witness may remain.
    others = 1 if case.session == "alive" else 0
    # A witness started while a forced end is still ending the session's
    # processes is ended with them before it records anything: start it again.
    for attempt in range(3):
        settled = session.run("settle", witness, "settle", windows_path(directory / "settle.txt"), others) == 0
        if settled or read_lines(directory / "settle.txt"):
            break
    if not settled:
        failures.append("Wine's session end did not finish: %s" % read_lines(directory / "settle.txt"))
    if case.session == "alive" and window.poll() is not None:
        failures.append("the witness has ended")
    run.record = read_lines(record)
    return run


def watch_wait(case, bin_dir, session, run, failures):
    """quell.exe started with --yes and the relay log on; once it has said what it waits
    for, the commands meanwhile run; until it ends, the moment of its first watched
    call is noted, and whether the helper had ended by then."""
    directory = session.directory
    helper, command = None, list(case.command)
    if case.helper_ms:
        helper_record = directory / "helper.txt"
        # A name of its own, so that --after by name waits for the helper alone, not the witness.
        helper_program = directory / HELPER_NAME
        shutil.copyfile(bin_dir / "quell_witness.exe", helper_program)
        helper = session.start("helper", helper_program, "linger", windows_path(helper_record), case.helper_ms)
        if not wait_until(lambda: read_lines(helper_record)[:1] and read_lines(helper_record)[0].startswith("process ")):
            failures.append("the helper never started")
            return
        helper_id = read_lines(helper_record)[0].split()[1]
        command = [helper_id if part == "{helper}" else HELPER_NAME if part == "{helper-name}" else part
                   for part in command]
    out, err = directory / "quell.out", directory / "quell.err"
    quell = session.start("quell", bin_dir / "quell.exe", *command, "--yes", env=dict(session.env, WINEDEBUG="+relay"))
    if not wait_until(lambda: out.exists() and out.stat().st_size > 0):
        failures.append("quell.exe never said what it waits for")
    began = time.monotonic()
    for index, arguments in enumerate(case.meanwhile):
        exit = session.run("meanwhile%d" % index, bin_dir / "quell.exe", *arguments)
        output = (directory / ("meanwhile%d.out" % index)).read_text(encoding="utf-8", errors="replace")
        run.meanwhile.append((exit, output))
    called = helper_ended = None
    deadline = time.monotonic() + WAIT_SECONDS + case.helper_ms / 1000
    while time.monotonic() < deadline:
        ended = quell.poll() is not None
        # Its last line comes before its end, which Wine's process of it may outlast.
        if helper and helper_ended is None and (helper.poll() is not None or "ending" in read_lines(helper_record)):
            helper_ended = time.monotonic()
        if called is None and any(RELAY_CALL_LINE.match(line) for line in read_lines(err)):
            called = time.monotonic()
        if ended:
            break
        time.sleep(POLL_SECONDS)
    if quell.poll() is None:
        quell.kill()
        failures.append("quell.exe still waited after %d s" % WAIT_SECONDS)
    run.quell_exit = quell.wait()
    run.waited = called - began if called is not None else None
    if helper:
        run.helper_ended_first = called is not None and helper_ended is not None and helper_ended <= called
    lines = read_lines(err)
    run.output = out.read_text(encoding="utf-8", errors="replace")
    run.output += "".join(line + "\n" for line in lines if not WINE_DEBUG_LINE.match(line))
    run.relay = "".join(line + "\n" for line in lines if WINE_DEBUG_LINE.match(line))


def check(case, run, failures):
    expect = case.expect(run)
    if expect.exit is not None and run.quell_exit != expect.exit:
        failures.append("quell.exe exit status %s, expected %s" % (run.quell_exit, expect.exit))
    if expect.output and not re.search(expect.output, run.output):
        failures.append("quell.exe's output does not match %r" % expect.output)
    for pattern in expect.relay:
        if not re.search(pattern, run.relay):
            failures.append("no call in Wine's relay log matches %r" % pattern)
    for pattern in expect.no_relay:
        if re.search(pattern, run.relay):
            failures.append("Wine's relay log shows %r" % pattern)
    for what, seen, expected in expect.same:
        if seen != expected:
            failures.append("%s: %s, expected %s" % (what, seen, expected))

    events = [line.split()[0] for line in run.record[1:]]
    restarted = "restarted" in events
    events = [event for event in events if event not in ("restarted", "reason")]
    if case.session == "asked":
        if events != ["query", "end"] or "answer=1" not in run.record[1] or "wParam=1" not in run.record[2]:
            failures.append("the witness was not asked and then told the session ends: %s" % run.record)
    elif case.session == "forced":
        if "query" in events:
            failures.append("the witness was asked: %s" % run.record)
    elif events:
        failures.append("the session did not stay alive: %s" % run.record)
    if restarted != case.restarts:
        failures.append("the session %s again" % ("did not start" if case.restarts else "started"))

    if case.dialog:
        title, prompt, _ = case.dialog
        if not run.answer[:1] == ["dialog title=" + title] or not any(
                line.endswith("text=" + prompt) for line in run.answer) or not run.answer[-1].startswith("pressed"):
            failures.append("the dialog %r asking %r was not found and answered: %s" % (title, prompt, run.answer))


def report(case, run, seconds):
    def lines(title, text_lines, empty=None):
        if text_lines or empty:
            print("  %s:" % title)
            print("".join("    %s\n" % (line,) for line in text_lines or [empty]), end="")

    print("case %s (%s), %.1f s" % (case.name, " ".join(case.command or ["block reasons"]), seconds))
    if case.command is not None:
        ended = "(none: the session end ended quell.exe first)" if case.session == "forced" else "(none)"
        lines("quell.exe exit status %s, output" % run.quell_exit, run.output.splitlines(), ended)
        if not case.confirm:
            lines("with --json, exit status %s, output" % run.json_exit, run.json_output.splitlines(), "(none)")
        for arguments, (exit, output) in zip(case.meanwhile, run.meanwhile):
            lines("meanwhile quell %s, exit status %s" % (" ".join(arguments), exit), output.splitlines(), "(none)")
        if run.waited is not None:
            print("  first call watched %.2f s after quell.exe's first line" % run.waited)
    calls = [line for line in run.relay.splitlines() if RELAY_CALL_LINE.match(line)]
    lines("Wine's relay log", calls, "(no call of the system functions watched)")
    lines("witness", run.record)
    lines("dialog", run.answer)
    lines("block reasons through Quell.dll", run.block)
    for name, answer in run.direct.items():
        if isinstance(answer, dict):
            answer = [" ".join("%s=%s" % item for item in answer.items())]
        lines("%s called directly" % name, answer)


@contextlib.contextmanager
def throwaway_session(work, name):
    """A Wine session in WORK/NAME of its own: a copy of the template prefix, a
    home, an Xvfb display, a wineserver; ended whatever happens."""
    template = make_template(work)
    directory = work / name
    if (directory / "prefix").exists():  # left by a run that was killed: its server may still run
        stop_wineserver(session_environment(directory / "prefix", directory / "home"))
    shutil.rmtree(directory, ignore_errors=True)
    (directory / "home").mkdir(parents=True)
    copy_prefix(template, directory / "prefix")
    with Display(directory) as display:
        env = session_environment(directory / "prefix", directory / "home")
        env.update(DISPLAY=display.name, XAUTHORITY=str(display.client_auth))
        with WineSession(env, directory) as session:
            yield session


def finish(directory, failures):
    for failure in failures:
        print("FAILED: " + failure)
    if not failures:
        shutil.rmtree(directory)
    return 1 if failures else 0


def run_case(case, bin_dir, work):
    started = time.monotonic()
    failures = []
    with throwaway_session(work, case.name) as session:
        run = observe(case, bin_dir, session, failures)
    if not failures:
        check(case, run, failures)
    report(case, run, time.monotonic() - started)
    return finish(work / case.name, failures)


# ---- the NSIS client ------------------------------------------------------------------

def run_nsis(script, bin_dir, work, version):
    """An installer made by makensis, carrying Quell.dll and calling harmless exports
    through the System plug-in, run silently: each answer is the one quell.exe
    status gives in the same session, and the version is the project's."""
    started = time.monotonic()
    failures = []
    with throwaway_session(work, "nsis-client") as session:
        directory = session.directory
        installer = directory / "quell_nsis_client.exe"
        made = subprocess.run(["makensis", "-V2", "-DQUELL_DLL=%s" % (bin_dir / "Quell.dll"),
                               "-DOUTFILE=%s" % installer, str(script)], capture_output=True, text=True)
        if made.returncode:
            failures.append("makensis failed: %s%s" % (made.stdout, made.stderr))
            return finish(directory, failures)
        status_exit = session.run("status", bin_dir / "quell.exe", "status")
        installer_exit = session.run("installer", installer, "/S")
    status = (directory / "status.out").read_text(encoding="utf-8", errors="replace")
    lines = read_lines(directory / "answers.txt")
    print("NSIS client (%.1f s), installer exit status %s, answers:" % (time.monotonic() - started, installer_exit))
    print("".join("  %s\n" % line for line in lines), end="")
    print("quell.exe status, exit status %s:\n%s" % (status_exit, status))
    answers = dict(fields(line) for line in lines)
    if installer_exit != 0 or status_exit != 0:
        failures.append("the installer or quell.exe status failed")
    for name in ("CheckWindowsNT", "CheckUserName", "IsPwrHibernateAllowed"):
        found = re.search(r" %s = (-?\d+), " % name, status)
        if name not in answers or not found or answers[name]["result"] != found.group(1):
            failures.append("%s: the installer's answer %s, quell.exe status's %s"
                            % (name, answers.get(name), found and found.group(1)))
    found = re.search(r"version of Quell.dll +(\S+) +DllGetVersion = (0x[0-9A-F]{8}) \(platform (\d+)\)", status)
    got = answers.get("DllGetVersion", {})
    expected = found and {"result": found.group(2), "version": found.group(1), "platform": found.group(3)}
    if not found or found.group(1) != version or {key: got.get(key) for key in expected} != expected:
        failures.append("DllGetVersion: the installer's answer %s, quell.exe status's %s, the project's version %s"
                        % (got, found and found.groups(), version))
    # Where the system lacks ShutdownBlockReasonQuery, Quell.dll answers 0 with last error 120.
    offered = re.search(r"user32\.dll +ShutdownBlockReasonQuery +(offered|missing)", status)
    got = answers.get("ShutdownBlockReasonQuery", {})
    expected_error = "120" if offered and offered.group(1) == "missing" else None
    if got.get("result") != "0" or got.get("size") != "256" or (
            expected_error and got.get("error") != expected_error) or got.get("error") == "0":
        failures.append("ShutdownBlockReasonQuery: the installer's answer %s" % got)
    return finish(directory, failures)


def main(argv):
    if len(argv) == 3 and argv[1] == "list":
        print(";".join(case.name for case in CASES if argv[2] == "x86" or case.x64), end="")
        return 0
    if len(argv) == 5 and argv[1] == "run":
        cases = [case for case in CASES if case.name == argv[2]]
        if cases:
            return run_case(cases[0], Path(argv[3]).resolve(), Path(argv[4]).resolve())
    if len(argv) == 6 and argv[1] == "nsis":
        return run_nsis(Path(argv[2]).resolve(), Path(argv[3]).resolve(), Path(argv[4]).resolve(), argv[5])
    if len(argv) == 3 and argv[1] == "template":
        make_template(Path(argv[2]).resolve())
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    # Stopped by SIGTERM, it still ends its session and display.
    signal.signal(signal.SIGTERM, lambda number, frame: sys.exit(1))
    try:
        sys.exit(main(sys.argv))
    except RuntimeError as error:  # no Wine session to be had: one line says why
        print("FAILED: %s" % error, file=sys.stderr)
        sys.exit(1)
