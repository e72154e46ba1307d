#!/usr/bin/env python3
"""A big package's installation (256 MB, made once per Wine bench).
kill: SIGKILL at each moment of it. Faults: a database neither old nor new,
a staged copy left beside it, an update a fresh run cannot complete.
hang: WM_NULL every 50 ms and Alt+F4 during the copy. Faults: the copy on
the window's thread, no progress shown, a close request ending the copy.
"""
import contextlib
import os
import re
import shutil
import sys
import time

sys.dont_write_bytecode = True  # nothing compiled left in the source tree
from e2ebench import (LABEL1, LABEL4, NEXT, STATUS, TITLE, WIZARD, WIZARD_TEXTS, fresh_folder,
                      main, read, stop, until)

# The staged copy is made and marked for deletion on close in two system
# calls: its first bytes come once it is marked.
MOMENTS = [("as the step starts", lambda s: True),
           ("the first bytes written", lambda s: (s["staged"] or 0) > 0),
           ("half written", lambda s: (s["staged"] or 0) > s["size"] / 2),
           ("fully written, being flushed", lambda s: (s["staged"] or 0) >= s["size"]),
           ("just put in place", lambda s: s["replaced"]),
           ("the package removed", lambda s: not s["package"])]


def run(t, args):
    big = t.drive + "/big/"
    if not os.path.exists(big + "made"):
        fresh_folder(big)
        t.keygen()
        t.pack(big + "new.xdb", "XDB0002", 2, os.urandom(256 << 20))
        t.pack(big + "old.xdb", "XDB0001", 1, b"the old records\r\n")
        open(big + "made", "w").close()
    new, old = read(big + "new.xdb"), read(big + "old.xdb")
    crash = t.drive + "/crash/"
    update, product = fresh_folder(crash + "update"), fresh_folder(crash + "product")
    exe, package, installed = update + "/Atualizador.exe", update + "/db.xdb", product + "/db.xdb"
    shutil.copyfile(args.exe, exe)
    t.register(installed)
    state = lambda: {old: "old", new: "new"}.get(read(installed), "neither")

    def walked(then, summary="Versão instalada"):
        """The updater walked to its version check, then(process); killed after."""
        process = t.start(t.windows(exe), update)
        try:
            t.next_step(LABEL4, summary)
            return then(process)
        finally:
            stop(process)

    def others(wait=10):
        """Files beside the database, once a killed process's have had time to go."""
        left = lambda: sorted(set(os.listdir(product)) - {"db.xdb"})
        until(lambda: not left(), wait, 0.05)
        return left()

    def watch(moment, process):
        inode, deadline = os.stat(installed).st_ino, time.monotonic() + 120
        t.ui("click", WIZARD, NEXT)
        while True:
            seen = {"staged": None, "size": len(new), "replaced": False,
                    "package": os.path.exists(package)}
            for entry in os.scandir(product):
                with contextlib.suppress(FileNotFoundError):
                    if entry.name == "db.xdb":
                        seen["replaced"] = entry.stat().st_ino != inode
                    else:
                        seen["staged"] = entry.stat().st_size
            if moment(seen) or process.poll() is not None or time.monotonic() > deadline:
                return seen
            time.sleep(0.001)  # the updater's share of the two cores

    def hang(process):
        t.keys(TITLE)
        probe = t.background("probe", WIZARD, NEXT, STATUS, "Instalando o novo banco de dados:",
                             "--timeout", "300000", line=False)
        until(lambda: others(0) or probe.poll() is not None, 60, 0.001)
        t.keys(None, "alt+F4")
        print("Alt+F4 sent", "during the copy" if others(0) else "after it")
        answer = probe.communicate(timeout=330)[0].decode()
        print("probe:", answer.strip())
        t.check(probe.returncode == 0 and t.ui("text", WIZARD, NEXT).strip() == "Finalizar",
                "Alt+F4 during the copy ended the window, or the copy never reached Finalizar")
        worst = int(re.search(r"worst (\d+) ms", answer)[1])
        t.check(worst <= 500, f"the window did not answer for {worst} ms while the package "
                "was copied (the copy runs on the window's thread)")
        t.check("progress seen" in answer, "the status line never showed the copy's progress")
        t.check(state() == "new", "the big package was not installed")

    for name, moment in MOMENTS if args.proof == "kill" else [("", None)]:
        open(installed, "wb").write(old)
        open(package, "wb").write(new)
        if not moment:
            walked(hang)
            break
        seen = walked(lambda process: watch(moment, process))
        killed, left = state(), others()
        t.check(moment(seen) and killed in ("old", "new") and not left,
                f"killed {name}: the installed database is {killed}, beside it: {left} "
                f"(last seen {seen})")
        # A fresh run completes the update, or finds nothing to do.
        if killed == "old" or os.path.exists(package):
            walked(lambda _: killed == "old" and t.next_step(LABEL1, WIZARD_TEXTS["kInstalled"]),
                   "A versão do banco de dados encontrada" if killed == "new" else
                   "Versão instalada")
        t.check(state() == "new" and (killed == "new" or not os.path.exists(package)),
                f"killed {name}: a fresh run did not complete the update")


if __name__ == "__main__":
    sys.exit(main(run, proof=dict(choices=("kill", "hang"))))
