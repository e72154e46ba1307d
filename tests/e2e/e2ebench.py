"""The Wine bench (scripts/winebench.py) with the UI driver's commands, the
product's texts read from its headers, packages made by the Windows xdbtool,
screenshots, and checks named by the fault they catch."""
import ast
import os
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
STATUS, NEXT, LABEL1, LABEL4, WAIT_LABEL = "#109", "#112", "#118", "#120", "#204"
PICTURE2, COMMAND1 = "#110", "#111"
TITLE = "Varnel 2001 - Release 40"  # the beginning of the wizard's window text
OK, CANCEL = 1, 2


def texts(header):
    """The string constants of one of the product's headers, by name."""
    with open(os.path.join(ROOT, header), encoding="utf-8") as f:
        source = f.read()
    found = re.findall(r'constexpr std::string_view (k\w+) =\s*((?:"(?:[^"\\]|\\.)*"\s*)+);', source)
    return {name: "".join(ast.literal_eval(s) for s in re.findall(r'"(?:[^"\\]|\\.)*"', literals))
            for name, literals in found}


WIZARD_TEXTS = texts("src/app/AtualizadorTexts.h")
WAIT_TEXTS = texts("src/app/WaitTexts.h")
CORRUPTED_TITLE = texts("src/db/API_FILE.h")["kCorruptedTitle"]


class E2E(Bench):
    def __init__(self, build):
        self.build = os.path.abspath(build)
        super().__init__(self.build, self.built("tests/e2e/driver/uidriver.exe"))
        self.failures = []

    def built(self, path):
        return os.path.join(self.build, path)

    def windows(self, path):
        path = os.path.abspath(path)
        if path.startswith(self.drive + "/"):
            return "C:\\" + path[len(self.drive) + 1:].replace("/", "\\")
        return "Z:" + path.replace("/", "\\")

    def ui(self, *argv, timeout_ms=30000):
        """One driver command; its output as the driver wrote it (CR LF kept)."""
        result = subprocess.run(["wine", self.driver, *argv, "--timeout", str(timeout_ms)],
                                env=self.env, stdin=subprocess.DEVNULL, capture_output=True,
                                timeout=timeout_ms / 1000 + 30)
        if result.returncode != 0:
            raise Failure(f"uidriver {' '.join(argv)}: {result.stderr.decode(errors='replace')}")
        return result.stdout.decode("utf-8")

    def start(self, program, cwd, overrides=""):
        """A Windows program, not waited for; `overrides` go to the
        WINEDLLOVERRIDES its children inherit."""
        env = dict(self.env)
        if overrides:
            env["WINEDLLOVERRIDES"] += ";" + overrides
        return subprocess.Popen(["wine", program], env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def window(self, name, timeout_ms=30000):
        """(pid, minimized, image path) of a shown window."""
        pid, iconic, image = self.ui("wait-window", name, timeout_ms=timeout_ms).split(" ", 2)
        return int(pid), iconic == "1", image.rstrip("\n")

    def msgbox(self, timeout_ms=30000):
        """(title, button ids, text) of the message box shown."""
        title, buttons, text = self.ui("msgbox", timeout_ms=timeout_ms).split("\n", 2)
        return title, [int(b) for b in buttons.split()], text

    def press(self, button):
        self.ui("press", str(button))

    def keys(self, name, *keys):
        """Real key events (xdotool) into the shown window whose text begins
        with `name`, focused first; with no name, into whatever has the focus."""
        xdotool = lambda *argv: subprocess.run(["xdotool", *argv], env=self.env, timeout=30,
                                               capture_output=True, text=True).stdout.split()
        deadline = time.monotonic() + 30
        while name and not (found := xdotool("search", "--onlyvisible", "--name", "^" + name)):
            if time.monotonic() > deadline:
                raise Failure(f"no window whose text begins with {name!r} (its text is not set)")
            time.sleep(0.2)
        if name:
            xdotool("windowfocus", "--sync", found[-1])
        if keys:
            xdotool("key", "--delay", "50", *keys)

    def tab_to(self, control, tabs=12):
        """Tab until the wizard's `control` has the focus."""
        for _ in range(tabs):
            if self.ui("focus", WIZARD).strip() == control[1:]:
                return
            self.keys(None, "Tab")
        raise Failure(f"Tab never reached {control}: the focus is on "
                      f"#{self.ui('focus', WIZARD).strip()} (0: on no control)")

    def shot(self, name):
        """The desktop cut down to its windows, into ATUALIZADOR_SCREENSHOTS."""
        folder = os.environ.get("ATUALIZADOR_SCREENSHOTS")
        if not folder:
            return
        time.sleep(0.3)  # the last paint
        png = os.path.join(folder, name + ".png")
        run = lambda *argv: subprocess.run(argv, env=self.env, check=True, timeout=60,
                                           capture_output=True, text=True).stdout
        run("import", "-window", "root", png)
        desktop = run("convert", png, "-format", "%[pixel:p{w-1,h-1}]", "info:")
        run("convert", png, "-bordercolor", desktop, "-border", "1", "-fuzz", "3%", "-trim",
            "+repage", png)

    def pack(self, path, version, records, body):
        """A package made with the system's cipher by the Windows xdbtool."""
        body_path = path + ".body"
        open(body_path, "wb").write(body)
        self.wine(self.built("tools/xdbtool.exe"), "pack", "--version", version, "--records",
                  str(records), "-o", self.windows(path), self.windows(body_path), timeout=600)
        os.remove(body_path)

    def keygen(self):
        """The user's key container, with a signature key (else announced in a box)."""
        self.wine(self.built("tools/xdbtool.exe"), "keygen", "--bits", "1024", check=False)

    def register(self, database):
        self.wine("reg", "add", KEY, "/v", "DB", "/t", "REG_SZ", "/d", self.windows(database),
                  "/f")

    def check(self, ok, fault):
        if not ok:
            print("FAILED:", fault, flush=True)
            self.failures.append(fault)
        return ok

    def end(self):
        print(f"{len(self.failures)} check(s) failed" if self.failures else "passed")
        return 1 if self.failures else 0


def read(path):
    """The file's bytes; None when there is none."""
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def stop(process):
    if process.poll() is None:
        process.kill()
        process.wait(timeout=30)


def fresh_folder(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path
