#!/usr/bin/env python3
"""A big package's installation (256 MB, made once per Wine bench).
kill: SIGKILL from the Linux side at each moment of it. Faults: a database
neither the old one nor the new one, a staged copy left beside it, an update
a fresh run cannot complete.
hang: WM_NULL every 50 ms and Alt+F4 during the copy. Faults: the copy on
the window's thread, no progress shown, a close request ending the copy.
    crash_test.py --build DIR --exe Atualizador.exe kill|hang
"""
import argparse
import contextlib
import os
import re
import shutil
import signal
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing compiled left in the source tree
from e2ebench import (LABEL1, LABEL4, NEXT, STATUS, TITLE, WIZARD, WIZARD_TEXTS, E2E, Failure,
                      fresh_folder, read, stop)


class Install:
    def __init__(self, t, exe):
        self.t = t
        big = os.path.join(t.drive, "big")
        if not os.path.exists(os.path.join(big, "made")):
            fresh_folder(big)
            t.keygen()
            t.pack(os.path.join(big, "new.xdb"), "XDB0002", 2, os.urandom(256 << 20))
            t.pack(os.path.join(big, "old.xdb"), "XDB0001", 1, b"the old records\r\n")
            open(os.path.join(big, "made"), "w").close()
        self.new, self.old = read(os.path.join(big, "new.xdb")), read(os.path.join(big, "old.xdb"))
        root = fresh_folder(os.path.join(t.drive, "crash"))
        self.update = fresh_folder(os.path.join(root, "update"))
        self.product = fresh_folder(os.path.join(root, "product"))
        shutil.copyfile(exe, os.path.join(self.update, "Atualizador.exe"))
        self.package = os.path.join(self.update, "db.xdb")
        self.installed = os.path.join(self.product, "db.xdb")
        t.register(self.installed)

    def reset(self):
        for path, data in ((self.installed, self.old), (self.package, self.new)):
            open(path, "wb").write(data)

    def start(self, summary="Versão instalada"):
        """The updater, walked to the version check's text."""
        process = self.t.start(self.t.windows(os.path.join(self.update, "Atualizador.exe")),
                               self.update)
        try:
            self.t.ui("click", WIZARD, NEXT)
            self.t.wait_text(WIZARD, LABEL4, summary)
            return process
        except Failure:
            stop(process)
            raise

    def state(self):
        data = read(self.installed)
        return {self.old: "old", self.new: "new"}.get(data, f"neither ({len(data or b'')} bytes)")

    def others(self, wait=10):
        """Files beside the database, once a killed process's have had time to go."""
        deadline = time.monotonic() + wait
        while (others := sorted(set(os.listdir(self.product)) - {"db.xdb"})) and \
                time.monotonic() < deadline:
            time.sleep(0.05)
        return others


def written(part):
    return lambda s: (s["staged"] or 0) > part * s["size"]


# The staged copy is made and marked for deletion on close in two system
# calls: its first bytes come once it is marked.
MOMENTS = [("as the step starts", lambda s: True), ("the first bytes written", written(0)),
           ("half written", written(1 / 2)), ("fully written, being flushed", written(1 - 1e-9)),
           ("just put in place", lambda s: s["replaced"]),
           ("the package removed", lambda s: not s["package"])]


def kill_at(install, process, moment, timeout=120):
    """Clicks "Prosseguir" and kills the updater at `moment`."""
    old_inode = os.stat(install.installed).st_ino
    install.t.ui("click", WIZARD, NEXT)
    deadline = time.monotonic() + timeout
    while True:
        seen = {"staged": None, "size": len(install.new), "replaced": False,
                "package": os.path.exists(install.package)}
        for entry in os.scandir(install.product):
            with contextlib.suppress(FileNotFoundError):
                if entry.name == "db.xdb":
                    seen["replaced"] = entry.stat().st_ino != old_inode
                else:
                    seen["staged"] = entry.stat().st_size
        if moment(seen) or process.poll() is not None or time.monotonic() > deadline:
            os.kill(process.pid, signal.SIGKILL)
            process.wait(timeout=30)
            if not moment(seen):
                raise Failure(f"the moment never came; last seen {seen}")
            return
        time.sleep(0.001)  # the updater's share of the two cores


def fresh_run(install, state):
    """A new run after a kill completes the update, or finds nothing to do."""
    if state == "new" and not os.path.exists(install.package):
        return True
    process = install.start("A versão do banco de dados encontrada" if state == "new" else
                            "Versão instalada")
    try:
        if state == "old":
            install.t.ui("click", WIZARD, NEXT)
            install.t.wait_text(WIZARD, LABEL1, WIZARD_TEXTS["kInstalled"], timeout=120)
        return install.state() == "new" and (state == "new" or not os.path.exists(install.package))
    finally:
        stop(process)


def kill(t, install):
    for name, moment in MOMENTS:
        install.reset()
        kill_at(install, install.start(), moment)
        state, others = install.state(), install.others()
        print(f"killed {name:30} installed: {state:5} left beside it: {others or 'nothing'}",
              flush=True)
        t.check(state in ("old", "new"), f"killed {name}: the installed database is {state}")
        t.check(not others, f"killed {name}: left beside the database: {others}")
        t.check(state not in ("old", "new") or fresh_run(install, state),
                f"killed {name}: a fresh run did not complete the update")


def hang(t, install):
    install.reset()
    process = install.start()
    try:
        t.keys(TITLE)
        probe = subprocess.Popen(["wine", t.driver, "probe", WIZARD, NEXT, STATUS,
                                  "Instalando o novo banco de dados:", "--timeout", "300000"],
                                 env=t.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
        deadline = time.monotonic() + 60
        while install.others(0) == [] and probe.poll() is None and time.monotonic() < deadline:
            time.sleep(0.001)
        t.keys(None, "alt+F4")
        print("Alt+F4 sent", "during the copy" if install.others(0) else "after it")
        answer = probe.communicate(timeout=330)[0].decode()
        print("probe:", answer.strip())
        t.check(probe.returncode == 0 and t.ui("text", WIZARD, NEXT).strip() == "Finalizar",
                "Alt+F4 during the copy ended the window, or the copy never reached Finalizar")
        worst = int(re.search(r"worst (\d+) ms", answer)[1])
        t.check(worst <= 500, f"the window did not answer for {worst} ms while the package was "
                "copied (the copy runs on the window's thread)")
        t.check("progress seen" in answer, "the status line never showed the copy's progress")
        t.check(install.state() == "new", "the big package was not installed")
    finally:
        stop(process)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("proof", choices=("kill", "hang"))
    args = parser.parse_args()
    t = E2E(args.build)
    try:
        (kill if args.proof == "kill" else hang)(t, Install(t, args.exe))
    except Exception as e:  # a step that never came, a file that is not there
        t.check(False, f"stopped: {e!r}")
    return t.end()


if __name__ == "__main__":
    sys.exit(main())
