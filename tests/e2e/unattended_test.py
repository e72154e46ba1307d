#!/usr/bin/env python3
"""The unattended mode: each exit code (read on the Windows side: `wine`
keeps only its low 8 bits), no window ever shown, the files each outcome
leaves, and the log's lines."""
import argparse
import os
import re
import shutil
import sys

sys.dont_write_bytecode = True  # nothing compiled left in the source tree
from e2ebench import KEY, WIZARD, E2E, fresh_folder, read, stop  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--exe", required=True)
    args = parser.parse_args()
    t = E2E(args.build)
    root = fresh_folder(os.path.join(t.drive, "unattended"))
    update, product = fresh_folder(root + "/update"), fresh_folder(root + "/product")
    exe, package, installed, log = update + "/Atualizador.exe", update + "/db.xdb", \
        product + "/db.xdb", root + "/log.txt"
    t.pack(root + "/new.xdb", "XDB0002", 2, b"registros novos\r\n")
    t.pack(root + "/old.xdb", "XDB0001", 1, b"registros antigos\r\n")
    # The key container the packing made goes: the wizard would announce it in a box.
    t.wine("reg", "delete", r"HKCU\Software\Wine\Crypto\RSA", "/f", check=False)
    run = lambda line: map(int, t.ui("run", f'"{t.windows(exe)}" {line}', timeout_ms=120000).split())
    write = lambda path: lambda: open(path, "wb").write(b"lixo")
    # (code, the fault, set-up, what the log says, whether it installs; else nothing changes)
    cases = [
        (0, "no install, or a box for a new key container", None, "Create key container", True),
        (0, "the same version installed again", lambda: shutil.copyfile(package, installed),
         "é a mesma", False),
        (2, "a missing package not told apart", lambda: os.remove(package), "não pôde encontrar",
         False),
        (3, "a corrupted package installed", write(package), "corrompido", False),
        (4, "no product taken for a reinstall",
         lambda: t.wine("reg", "delete", KEY, "/v", "DB", "/f"), "Nenhuma versão", False),
        (5, "a corrupted installed database not told apart", write(installed), "corrompido", False),
        (6, "a failed copy retried for ever or called a success",
         lambda: t.register(root + "/missing/db.xdb"), "Não foi possível instalar", False),
        (1618, "an updater run beside a wizard", lambda: (t.start(t.windows(exe), update),
                                                         t.window(WIZARD))[0],
         "Outro atualizador", False)]
    for code, fault, set_up, said, installs in cases:
        for source, target in ((args.exe, exe), (root + "/new.xdb", package),
                               (root + "/old.xdb", installed)):
            shutil.copyfile(source, target)
        t.register(installed)
        if os.path.exists(log):
            os.remove(log)
        running = set_up() if set_up else None
        before = (None, read(package)) if installs else (read(package), read(installed))
        try:
            got, windows = run(f"/S /LOG={t.windows(log)}")
        finally:
            if hasattr(running, "poll"):
                stop(running)
        t.check((got, windows) == (code, 0), f"{fault}: exit code {got}, {windows} window(s)")
        t.check((read(package), read(installed)) == before, f"{fault}: the files changed wrongly")
        lines = (read(log) or b"").decode("utf-8").split("\r\n")
        t.check(all(re.fullmatch(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d .+", x) for x in lines[:-1])
                and lines[-2].endswith(f" Código de saída: {code}") and said in "".join(lines),
                f"{fault}: the log does not say {said!r}, with the time, and then its code")

    # Faults: a log written into a folder, or through a second name of another file.
    os.remove(log)
    shutil.copyfile(package, installed)
    open(root + "/other.txt", "wb").write(b"outro")
    os.link(root + "/other.txt", log)
    for line in (f"/S /LOG={t.windows(root)}", f"/s /LOG=\"{t.windows(log)}\"", "/S"):
        listed = os.listdir(update) + os.listdir(root)
        got, windows = run(line)  # the same version: nothing to do
        t.check((got, windows) == (0, 0) and os.listdir(update) + os.listdir(root) == listed
                and read(log) == b"outro", f"{line}: code {got}, or a log written where none can be")
    return t.end()


if __name__ == "__main__":
    sys.exit(main())
