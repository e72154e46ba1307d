#!/usr/bin/env python3
"""How long the wizard's installation of a big package takes under Wine, from
the click on "Prosseguir" at the summary to the success text, against a bare
copy and flush of the same file (bench/copyflush.cpp) in the same run. The
installation writes the package beside the installed database, flushes it
and renames it into place while the window keeps answering: the goal is a
ratio of at most 1.25. A sealed program (a release's, which hashes the
package as it copies it) is held to the longer of the bare copy and a bare
SHA-256 of the file by the same system provider (bench/sha256file.cpp),
with the same goal; CNG's time for the same hash is shown beside it.

    bench/install_bench.py [--runs N] [--size-mib 512]
Build: build/windows (Atualizador.exe, uidriver.exe, copyflush.exe, xdbtool.exe).
"""
import argparse
import hashlib
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
    update, sealed, product = (fresh_folder(os.path.join(folder, name))
                               for name in ("update", "sealed", "product"))
    for program in (update, sealed):
        shutil.copyfile(t.built("Atualizador.exe"), os.path.join(program, "Atualizador.exe"))
    t.keygen()
    new, old = os.path.join(folder, "new.xdb"), os.path.join(folder, "old.xdb")
    t.pack(new, "XDB0002", 2, os.urandom(args.size_mib << 20))
    t.pack(old, "XDB0001", 1, b"the old records\r\n")
    with open(new, "rb") as package:
        seal = f"{os.path.getsize(new)} {hashlib.file_digest(package, 'sha256').hexdigest()}"
    t.wine(t.built("bench/sealcopy.exe"), t.windows(os.path.join(sealed, "Atualizador.exe")), seal)
    installed = os.path.join(product, "db.xdb")
    t.register(installed)

    def install(update):
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

    def hash(*provider):
        return int(t.wine(t.built("bench/sha256file.exe"), t.windows(new), *provider,
                          timeout=600)) / 1000

    install(update), install(sealed), bare()  # the page cache and the Wine server warmed
    runs = {name: [] for name in ("development", "sealed", "copy", "hash", "cng")}
    for _ in range(args.runs):
        for name, measure in (("development", lambda: install(update)),
                              ("sealed", lambda: install(sealed)), ("copy", bare),
                              ("hash", hash), ("cng", lambda: hash("cng"))):
            runs[name].append(measure())
        print("; ".join(f"{name} {value[0]:.3f} s ({value[1]})" if isinstance(value, tuple)
                        else f"{name} {value:.3f} s" for name, value in
                        ((name, values[-1]) for name, values in runs.items())), flush=True)
    median = {name: statistics.median(v[0] if isinstance(v, tuple) else v for v in values)
              for name, values in runs.items()}
    longer = max(median["copy"], median["hash"])
    print(f"{args.size_mib} MB, medians of {args.runs}: bare copy and flush {median['copy']:.3f} s, "
          f"bare SHA-256 {median['hash']:.3f} s (CNG {median['cng']:.3f} s); development "
          f"installation {median['development']:.3f} s, ratio to the copy "
          f"{median['development'] / median['copy']:.2f}; sealed {median['sealed']:.3f} s, ratio "
          f"to the longer {median['sealed'] / longer:.2f} (goal 1.25)")
    shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
