"""The Wine bench (scripts/winebench.py) with the UI driver, real keys through xdotool, the
product's texts from its headers, packages by the Windows xdbtool, checks named by fault."""
import argparse
import ast
import os
import pathlib
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "../../scripts"))
from winebench import ROOT, Bench, Failure  # noqa: E402,F401

KEY = r"HKLM\SOFTWARE\Holmcrest\Varnel R40"
WIZARD, CLEANUP = "class:AtualizadorWizard", "class:AtualizadorWait"
# Control ids (src/app/win32/AtualizadorWindow.h, WaitWindow.h).
STATUS, PICTURE2, NEXT, LABEL1, LABEL4 = "#109", "#110", "#112", "#118", "#120"
TITLE = "Varnel 2001 - Release 40"  # the beginning of the wizard's window text
OK, CANCEL = 1, 2


def texts(header):
    """A header's string constants by name, without CR (as the driver prints)."""
    source = open(os.path.join(ROOT, header), encoding="utf-8").read()
    found = re.findall(r'constexpr std::string_view (k\w+) =\s*((?:"(?:[^"\\]|\\.)*"\s*)+);', source)
    return {name: "".join(ast.literal_eval(s) for s in re.findall(r'"(?:[^"\\]|\\.)*"', literals))
            .replace("\r", "") for name, literals in found}


WIZARD_TEXTS, WAIT_TEXTS = texts("src/app/AtualizadorTexts.h"), texts("src/app/WaitTexts.h")


class E2E(Bench):
    def __init__(self, build):
        self.build = os.path.abspath(build)
        super().__init__(self.build, self.built("tests/e2e/driver/uidriver.exe"))
        self.failures = []

    def built(self, path):
        return os.path.join(self.build, path)

    def windows(self, path):
        """The Windows path of a file on the prefix's drive."""
        return "C:\\" + os.path.relpath(os.path.abspath(path), self.drive).replace("/", "\\")

    def start(self, program, cwd, overrides=""):
        """A Windows program, not waited for, with WINEDLLOVERRIDES `overrides`."""
        env = {**self.env, "WINEDLLOVERRIDES": ";".join(
            filter(None, (self.env["WINEDLLOVERRIDES"], overrides)))}
        return subprocess.Popen(["wine", program], env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def background(self, *argv, cwd=None, line=True):
        """The UI driver left running, its input and output pipes; with `line`, once it said so."""
        process = subprocess.Popen(["wine", self.driver, *argv], env=self.env, cwd=cwd,
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        if line:
            process.stdout.readline()
        return process

    def msgbox(self, press=None, timeout_ms=30000):
        """[title, text] of the message box shown, then `press`ed."""
        return self.ui("msgbox", *([str(press)] if press else []),
                       timeout_ms=timeout_ms).split("\n", 1)

    def keys(self, name, *keys):
        """Real key events into the shown window whose text begins with `name`
        (waited for), focused first; with no name, into whatever has the focus."""
        xdotool = lambda *argv: subprocess.run(["xdotool", *argv], env=self.env, timeout=30,
                                               check=True, capture_output=True)
        if name:  # focused last, the top one of its windows
            xdotool("search", "--sync", "--onlyvisible", "--name", "^" + name,
                    "windowfocus", "--sync", "%@")
        if keys:  # not chained: keys to a found window go as synthetic events
            xdotool("key", "--delay", "50", *keys)

    def tab_to(self, control, tabs=12):
        """Tab until the wizard's `control` has the focus."""
        for _ in range(tabs):
            if self.ui("focus", WIZARD).strip() == control[1:]:
                return
            self.keys(None, "Tab")
        raise Failure(f"Tab never reached {control}")

    def next_step(self, control=LABEL4, prefix="Versão instalada"):
        """Clicks on until the wizard's `control` shows `prefix`."""
        self.ui("click", WIZARD, NEXT)
        self.wait_text(WIZARD, control, prefix, timeout=120)

    def pack(self, path, version, records, body):
        """A package made with the system's cipher by the Windows xdbtool."""
        open(path + ".body", "wb").write(body)
        self.wine(self.built("tools/xdbtool.exe"), "pack", "--version", version, "--records",
                  str(records), "-o", self.windows(path), self.windows(path + ".body"), timeout=600)
        os.remove(path + ".body")

    def keygen(self):
        """The user's key container, with a signature key (else announced in a box)."""
        self.wine(self.built("tools/xdbtool.exe"), "keygen", "--bits", "1024", check=False)

    def register(self, database):
        self.wine("reg", "add", KEY, "/v", "DB", "/d", self.windows(database), "/f")

    def check(self, ok, fault):
        if not ok:
            print("FAILED:", fault, flush=True)
            self.failures.append(fault)


def main(run, **arguments):
    """--build DIR --exe Atualizador.exe, and `arguments` (name: options), to run(t, args)."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--exe", required=True)
    for name, options in arguments.items():
        parser.add_argument(name, **options)
    args = parser.parse_args()
    t = E2E(args.build)
    try:
        run(t, args)
    except Exception as e:  # a step that never came, a file that is not there
        t.check(False, f"stopped: {e!r}")
    print(f"{len(t.failures)} check(s) failed" if t.failures else "passed")
    return 1 if t.failures else 0


def read(path):
    return pathlib.Path(path).read_bytes() if os.path.exists(path) else None


def until(done, seconds, pause=0.2):
    """Asks done() until it says yes or `seconds` have passed; its last answer."""
    deadline = time.monotonic() + seconds
    while not (answer := done()) and time.monotonic() < deadline:
        time.sleep(pause)
    return answer


def stop(process):
    if process.poll() is None:
        process.kill()
        process.wait(timeout=30)


def fresh_folder(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path
