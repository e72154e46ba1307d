#!/usr/bin/env python3
"""The installation killed at moments spread over its course.

The updater is started under Wine on a large package and walked to its third
step; a watcher on the Linux side sees each file operation as it happens and
kills the updater's process (SIGKILL) at one moment per run. After every kill
the installed database must be, byte for byte, the old one or the new one,
nothing half-written may be left beside it, and a fresh run must complete
the update (or, when the new database is already in place, find nothing left
to install).

    crash_test.py --build DIR --exe EXE --driver EXE --xdbtool EXE
"""
import argparse
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../../scripts"))
from winebench import Bench, Failure  # noqa: E402

MIB = 1 << 20
WIZARD = "class:AtualizadorWizard"
NEXT = "#112"      # Command2: "Prosseguir", later "Finalizar"
LABEL1 = "#118"    # the third step's text
LABEL4 = "#120"    # the version check's text
KEY = r"HKLM\SOFTWARE\Holmcrest\Varnel R40"
INSTALLED_TEXT = "O Banco de Dados foi atualizado com sucesso!"
SAME_VERSION_TEXT = "A versão do banco de dados encontrada em seu computador (XDB0002) é a mesma"


class Road:
    """An update folder with the updater and a large package, and a product
    folder with an older database."""

    def __init__(self, bench, exe, xdbtool, size_mib):
        self.bench = bench
        root = os.path.join(bench.drive, "crash")
        subprocess.run(["rm", "-rf", root], check=True, timeout=60)
        self.update = os.path.join(root, "update")
        self.product = os.path.join(root, "product")
        os.makedirs(self.update)
        os.makedirs(self.product)
        with open(os.path.join(self.update, "Atualizador.exe"), "wb") as out, open(exe, "rb") as src:
            out.write(src.read())
        body = os.path.join(root, "body.bin")
        with open(body, "wb") as out:
            out.write(os.urandom(size_mib * MIB))
        with open(os.path.join(root, "old.txt"), "wb") as out:
            out.write(b"the old records\r\n")
        bench.wine(xdbtool, "pack", "--version", "XDB0002", "--records", "2", "-o",
                   r"C:\crash\new.xdb", r"C:\crash\body.bin", timeout=300)
        bench.wine(xdbtool, "pack", "--version", "XDB0001", "--records", "1", "-o",
                   r"C:\crash\old.xdb", r"C:\crash\old.txt")
        os.remove(body)
        # The user's key container, whose first use the updater would
        # otherwise announce in a box, is made with a signature key.
        bench.wine(xdbtool, "keygen", "--bits", "1024", check=False)
        self.new = self._read(os.path.join(root, "new.xdb"))
        self.old = self._read(os.path.join(root, "old.xdb"))
        self.package = os.path.join(self.update, "db.xdb")
        self.installed = os.path.join(self.product, "db.xdb")
        bench.wine("reg", "add", KEY, "/v", "DB", "/t", "REG_SZ", "/d",
                   r"C:\crash\product\db.xdb", "/f")

    @staticmethod
    def _read(path):
        with open(path, "rb") as f:
            return f.read()

    def reset(self):
        """Old database installed, the package beside the updater."""
        for path, data in ((self.installed, self.old), (self.package, self.new)):
            with open(path, "wb") as out:
                out.write(data)

    def start(self):
        process = self.bench.start(r"C:\crash\update\Atualizador.exe", self.update)
        self.bench.ui("wait-window", WIZARD, timeout_ms=60000)
        return process

    def installed_state(self):
        """'old', 'new', or what else is there."""
        try:
            data = self._read(self.installed)
        except FileNotFoundError:
            return "missing"
        if data == self.old:
            return "old"
        if data == self.new:
            return "new"
        return f"neither old nor new ({len(data)} bytes)"

    def others_in_product(self, wait=10):
        """Files beside the installed database, once a killed process's
        files have had time to go."""
        deadline = time.monotonic() + wait
        while True:
            others = sorted(n for n in os.listdir(self.product) if n != "db.xdb")
            if not others or time.monotonic() > deadline:
                return others
            time.sleep(0.05)


def at_summary(road):
    process = road.start()
    road.bench.ui("click", WIZARD, NEXT)
    road.bench.wait_text(WIZARD, LABEL4, "Versão instalada")
    return process


def watch_and_kill(road, process, moment, timeout=120):
    """Clicks "Prosseguir" and kills the updater at `moment`; returns what
    was seen when it was killed."""
    old_inode = os.stat(road.installed).st_ino
    earlier = set(os.listdir(road.product))
    size = len(road.new)
    road.bench.ui("click", WIZARD, NEXT)
    deadline = time.monotonic() + timeout
    while True:
        staged = None
        for entry in os.scandir(road.product):
            if entry.name != "db.xdb" and entry.name not in earlier:
                try:
                    staged = entry.stat().st_size
                except FileNotFoundError:
                    pass
        try:
            replaced = os.stat(road.installed).st_ino != old_inode
        except FileNotFoundError:
            replaced = False
        seen = {"staged": staged, "replaced": replaced, "size": size,
                "package": os.path.exists(road.package)}
        if moment(seen):
            os.kill(process.pid, signal.SIGKILL)
            process.wait(timeout=30)
            return seen
        if process.poll() is not None:
            raise Failure("the updater ended by itself")
        if time.monotonic() > deadline:
            os.kill(process.pid, signal.SIGKILL)
            process.wait(timeout=30)
            raise Failure(f"the moment never came; last seen {seen}")


def fresh_run(road, state):
    """A new run after a kill: completes the update, or finds the new
    database already in place."""
    package_left = os.path.exists(road.package)
    if state == "new" and not package_left:
        return "nothing left to do"
    process = road.start()
    try:
        road.bench.ui("click", WIZARD, NEXT)
        if state == "new":
            road.bench.wait_text(WIZARD, LABEL4, SAME_VERSION_TEXT)
            return "same version found"
        road.bench.wait_text(WIZARD, LABEL4, "Versão instalada")
        road.bench.ui("click", WIZARD, NEXT)
        road.bench.wait_text(WIZARD, LABEL1, INSTALLED_TEXT)
        if road.installed_state() != "new" or os.path.exists(road.package):
            raise Failure("the fresh run did not complete the update")
        return "completed"
    finally:
        process.kill()
        process.wait(timeout=30)


MOMENTS = [
    ("as the step starts", lambda s: True),
    # The staged copy is made and marked for deletion on close in two system
    # calls; the first moment is its first bytes, once it is marked.
    ("the first bytes written", lambda s: (s["staged"] or 0) > 0),
    ("a quarter written", lambda s: (s["staged"] or 0) >= s["size"] // 4),
    ("half written", lambda s: (s["staged"] or 0) >= s["size"] // 2),
    ("three quarters written", lambda s: (s["staged"] or 0) >= 3 * s["size"] // 4),
    ("fully written, being flushed", lambda s: (s["staged"] or 0) >= s["size"]),
    ("just put in place", lambda s: s["replaced"]),
    ("the package removed", lambda s: not s["package"]),
]


def main():
    parser = argparse.ArgumentParser()
    for name in ("build", "exe", "driver", "xdbtool"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--size-mib", type=int, default=128)
    args = parser.parse_args()

    bench = Bench(args.build, args.driver)
    road = Road(bench, args.exe, args.xdbtool, args.size_mib)
    print(f"package: {len(road.new) / MIB:.0f} MiB, installed database: {len(road.old)} bytes")
    failures = []
    for name, moment in MOMENTS:
        road.reset()
        process = at_summary(road)
        seen = watch_and_kill(road, process, moment)
        state = road.installed_state()
        others = road.others_in_product()
        after = fresh_run(road, state) if state in ("old", "new") else "not tried"
        print(f"killed {name:32} installed: {state:5}  left beside it: {others or 'nothing'}  "
              f"fresh run: {after}  (staged {seen['staged']}, replaced {seen['replaced']})")
        if state not in ("old", "new"):
            failures.append(f"{name}: the installed database is {state}")
        if others:
            failures.append(f"{name}: left beside the database: {others}")
    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except Failure as e:
        print("FAILED:", e)
        sys.exit(1)
