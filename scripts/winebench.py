"""The Wine test bench from Python: its environment, Wine commands with a
timeout, and the UI driver's commands (see scripts/wine-bench.sh and
tests/e2e/driver/uidriver_main.cpp)."""
import os
import shlex
import subprocess
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


class Failure(Exception):
    pass


def environment(build):
    """The environment of the bench of a build folder, brought up if needed."""
    out = subprocess.run([os.path.join(ROOT, "scripts/wine-bench.sh"), "--build", build, "env"],
                         check=True, capture_output=True, text=True, timeout=300).stdout
    env = dict(os.environ)
    for line in out.splitlines():
        if line.startswith("export "):
            name, _, value = line[len("export "):].partition("=")
            env[name] = shlex.split(value)[0] if value else ""
    return env


class Bench:
    def __init__(self, build, driver):
        self.env = environment(build)
        self.driver = driver
        self.drive = os.path.join(self.env["WINEPREFIX"], "drive_c")

    def wine(self, *argv, timeout=120, check=True):
        """Runs a Windows program to its end; its standard output, as text."""
        result = subprocess.run(["wine", *argv], env=self.env, stdin=subprocess.DEVNULL,
                                capture_output=True, timeout=timeout)
        if check and result.returncode != 0:
            raise Failure(f"wine {' '.join(argv)}: exit {result.returncode}: "
                          f"{result.stderr.decode(errors='replace')[-400:]}")
        return result.stdout.decode("utf-8", errors="replace").replace("\r", "")

    def start(self, program, cwd):
        """Starts a Windows program without waiting; the Popen is its process."""
        return subprocess.Popen(["wine", program], env=self.env, cwd=cwd,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def ui(self, *argv, timeout_ms=30000):
        """One command of the UI driver."""
        return self.wine(self.driver, *argv, "--timeout", str(timeout_ms),
                         timeout=timeout_ms / 1000 + 30)

    def wait_text(self, window, control, prefix, timeout=60):
        deadline = time.monotonic() + timeout
        while True:
            text = self.ui("text", window, control).rstrip("\n")
            if text.startswith(prefix):
                return
            if time.monotonic() > deadline:
                raise Failure(f"control {control} never showed {prefix!r}; it shows {text!r}")
            time.sleep(0.1)
