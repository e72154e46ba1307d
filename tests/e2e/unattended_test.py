#!/usr/bin/env python3
"""The unattended mode: each exit code and the files each outcome leaves; a
window shown would wait for a person, so a run that does not end on its own
fails."""
import os
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True  # nothing compiled left in the source tree
from e2ebench import WIZARD, fresh_folder, main, read, stop  # noqa: E402


def run(t, args):
    root = fresh_folder(os.path.join(t.drive, "unattended"))
    update, product = fresh_folder(root + "/update"), fresh_folder(root + "/product")
    exe, package, installed = update + "/Atualizador.exe", update + "/db.xdb", product + "/db.xdb"
    t.pack(root + "/new.xdb", "XDB0002", 2, b"registros novos\r\n")
    t.pack(root + "/old.xdb", "XDB0001", 1, b"registros antigos\r\n")
    # The key container the packing made goes: the wizard would announce it in a box.
    t.wine("reg", "delete", r"HKCU\Software\Wine\Crypto\RSA", "/f", check=False)
    # (code, the fault, set-up, whether it installs; else nothing changes). The
    # other outcomes, and the log, are the native tests' (Unattended).
    cases = [(0, "no install, or a box for a new key container", None, True),
             (5, "a corrupted installed database not told apart",
              lambda: open(installed, "wb").write(b"lixo"), False),
             (6, "a failed copy retried for ever or called a success",
              lambda: t.register(root + "/missing/db.xdb"), False),
             (1618, "the machine's lock not taken: an updater run beside a wizard",
              lambda: (t.start(t.windows(exe), update), t.ui("wait-window", WIZARD))[0], False)]
    for code, fault, set_up, installs in cases:
        for source, target in ((args.exe, exe), (root + "/new.xdb", package),
                               (root + "/old.xdb", installed)):
            shutil.copyfile(source, target)
        t.register(installed)
        running = set_up() if set_up else None
        before = (None, read(package)) if installs else (read(package), read(installed))
        try:
            # wine keeps the low 8 bits of the code: 1618 comes back as 82.
            got = subprocess.run(["wine", t.windows(exe), "/S"], env=t.env, capture_output=True,
                                 stdin=subprocess.DEVNULL, timeout=60).returncode
        finally:
            if hasattr(running, "poll"):
                stop(running)
        t.check(got == code & 0xFF, f"{fault}: exit code {got}")
        t.check((read(package), read(installed)) == before, f"{fault}: the files changed wrongly")


if __name__ == "__main__":
    sys.exit(main(run))
