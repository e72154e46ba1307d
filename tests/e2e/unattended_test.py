#!/usr/bin/env python3
"""The unattended mode on the real program: every exit code read on the
Windows side (the `wine` command keeps only its low 8 bits), no window of the
updater's process ever shown, the files as each outcome leaves them, and the
log's lines.

    unattended_test.py --build DIR --exe Atualizador.exe
"""
import argparse
import os
import re
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True  # nothing compiled left in the source tree
from e2ebench import KEY, WIZARD, E2E, Failure, fresh_folder, read, stop  # noqa: E402

LINE = re.compile(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d (.*)")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--exe", required=True)
    args = parser.parse_args()
    t = E2E(args.build)
    root = os.path.join(t.drive, "unattended")
    update, product = os.path.join(root, "update"), os.path.join(root, "product")
    exe, package, installed = (os.path.join(update, "Atualizador.exe"),
                               os.path.join(update, "db.xdb"), os.path.join(product, "db.xdb"))
    log = os.path.join(root, "log.txt")
    for folder in (root, update, product):
        fresh_folder(folder)
    t.pack(os.path.join(root, "new.xdb"), "XDB0002", 2, b"registros novos\r\n")
    t.pack(os.path.join(root, "old.xdb"), "XDB0001", 1, b"registros antigos\r\n")
    new, old = read(os.path.join(root, "new.xdb")), read(os.path.join(root, "old.xdb"))
    # The account's key container, made by the packing, goes: the first run
    # makes it again, which the wizard would say in a box.
    t.wine("reg", "delete", r"HKCU\Software\Wine\Crypto\RSA", "/f", check=False)

    def wizard():
        process = t.start(t.windows(exe), update)
        t.window(WIZARD)
        return process

    # (code, the fault it catches, set-up, what a log line says, the files left:
    # "new" installed and the package gone, or "same" both untouched)
    cases = [
        (0, "no installation, or a box for the new key container", None,
         "Create key container", "new"),
        (0, "the same version installed again", lambda: shutil.copyfile(package, installed),
         "é a mesma que deveria ser instalada", "same"),
        (2, "a missing package not told apart", lambda: os.remove(package),
         "não pôde encontrar o arquivo", "same"),
        (3, "a corrupted package installed", lambda: open(package, "wb").write(b"lixo"),
         "corrompido", "same"),
        (4, "no product taken for a reinstall",
         lambda: t.wine("reg", "delete", KEY, "/v", "DB", "/f"), "Nenhuma versão anterior", "same"),
        (5, "a corrupted installed database not told apart",
         lambda: open(installed, "wb").write(b"lixo"), "corrompido", "same"),
        (6, "a copy that cannot be made retried forever or called a success",
         lambda: t.register(os.path.join(root, "missing", "db.xdb")),
         "Não foi possível instalar o novo banco de dados", "same"),
        (1618, "an updater run while another one (a wizard) runs", wizard,
         "Outro atualizador está em execução", "same"),
    ]
    for code, fault, set_up, said, files in cases:
        shutil.copyfile(args.exe, exe)
        shutil.copyfile(os.path.join(root, "new.xdb"), package)
        shutil.copyfile(os.path.join(root, "old.xdb"), installed)
        t.register(installed)
        if os.path.exists(log):
            os.remove(log)
        before = (read(package), read(installed))
        running = set_up() if set_up else None
        running = running if isinstance(running, subprocess.Popen) else None
        before = (read(package), read(installed)) if files == "same" else before
        try:
            got, windows = map(int, t.ui("run", f'"{t.windows(exe)}" /S /LOG={t.windows(log)}',
                                         timeout_ms=120000).split())
        finally:
            if running:
                stop(running)
        t.check(got == code, f"{fault}: exit code {got}, not {code}")
        t.check(windows == 0, f"{fault}: {windows} window(s) of the unattended updater shown")
        left = (read(package), read(installed))
        t.check(left == ((None, new) if files == "new" else before),
                f"{fault}: the files are not as they should be")
        lines = [LINE.fullmatch(line) for line in (read(log) or b"").decode("utf-8").split("\r\n")[:-1]]
        t.check(all(lines) and lines[-1][1] == f"Código de saída: {code}"
                and any(said in line[1] for line in lines),
                f"{fault}: the log does not say {said!r} and then its code")

    # A log that cannot be written (a folder; a second name of another file)
    # changes nothing, and without /LOG nothing is written.
    shutil.copyfile(os.path.join(root, "new.xdb"), installed)
    other = os.path.join(root, "other.txt")
    open(other, "wb").write(b"outro")
    os.remove(log)
    os.link(other, log)
    for line in (f"/S /LOG={t.windows(root)}", f"/s /LOG=\"{t.windows(log)}\"", "/S"):
        listed = sorted(os.listdir(update)) + sorted(os.listdir(root))
        got, windows = map(int, t.ui("run", f'"{t.windows(exe)}" {line}').split())
        t.check((got, windows) == (0, 0), f"{line}: exit code {got}, {windows} window(s)")
        t.check(sorted(os.listdir(update)) + sorted(os.listdir(root)) == listed
                and read(other) == b"outro", f"{line}: a log written where none can be")
    return t.end()


if __name__ == "__main__":
    try:
        sys.exit(main())
    except Failure as e:
        print("FAILED:", e)
        sys.exit(1)
