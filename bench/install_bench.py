#!/usr/bin/env python3
"""How long the wizard's installation of a big package takes under Wine, from
the click on "Prosseguir" at the summary to the success text, against a bare
copy and flush of the same file (bench/copyflush.cpp) in the same run. The
installation writes the package beside the installed database, flushes it
and renames it into place while the window keeps answering: the goal is a
ratio of at most 1.25.

    bench/install_bench.py [--runs N] [--size-mib 512]
Build: build/windows (Atualizador.exe, uidriver.exe, copyflush.exe, xdbtool.exe).
"""
import argparse
import os
import re
import shutil
import statistics
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/e2e"))
from e2ebench import LABEL4, NEXT, ROOT, STATUS, WIZARD, E2E, fresh_folder, stop  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--size-mib", type=int, default=512)
    args = parser.parse_args()
    t = E2E(os.path.join(ROOT, "build/windows"))
    folder = fresh_folder(os.path.join(t.drive, "installbench"))
    update, product = (fresh_folder(os.path.join(folder, name)) for name in ("update", "product"))
    shutil.copyfile(t.built("Atualizador.exe"), os.path.join(update, "Atualizador.exe"))
    t.keygen()
    new, old = os.path.join(folder, "new.xdb"), os.path.join(folder, "old.xdb")
    t.pack(new, "XDB0002", 2, os.urandom(args.size_mib << 20))
    t.pack(old, "XDB0001", 1, b"the old records\r\n")
    installed = os.path.join(product, "db.xdb")
    t.register(installed)

    def install():
        shutil.copyfile(old, installed)
        shutil.copyfile(new, os.path.join(update, "db.xdb"))
        wizard = t.start(t.windows(os.path.join(update, "Atualizador.exe")), update)
        try:
            t.ui("click", WIZARD, NEXT)
            t.wait_text(WIZARD, LABEL4, "Versão instalada")
            probe = t.ui("probe", WIZARD, NEXT, STATUS, "Instalando", timeout_ms=600000)
            return int(re.search(r"took (\d+) ms", probe)[1]) / 1000, probe.strip()
        finally:
            stop(wizard)

    def bare():
        target = os.path.join(folder, "copy.xdb")
        if os.path.exists(target):
            os.remove(target)
        return int(t.wine(t.built("bench/copyflush.exe"), t.windows(new), t.windows(target),
                          timeout=600)) / 1000

    install(), bare()  # the page cache and the Wine server warmed
    installs, copies = [], []
    for _ in range(args.runs):
        seconds, probe = install()
        installs.append(seconds)
        copies.append(bare())
        print(f"install {seconds:.3f} s ({probe}); bare copy {copies[-1]:.3f} s", flush=True)
    ratio = statistics.median(installs) / statistics.median(copies)
    print(f"{args.size_mib} MB: installation {statistics.median(installs):.3f} s, bare copy and "
          f"flush {statistics.median(copies):.3f} s (medians of {args.runs}): ratio {ratio:.2f}")
    shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
