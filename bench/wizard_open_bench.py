#!/usr/bin/env python3
"""How long the wizard takes to appear under Wine with a large package,
against a 1 MB one measured in the same run: opening a package costs what
its header costs, so the ratio should stay near 1.

    bench/wizard_open_bench.py [--runs N] [--sizes 1,512]
Builds: build/windows (Atualizador.exe, uidriver.exe), build/native (xdbtool).
"""
import argparse
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../scripts"))
from winebench import ROOT, Bench  # noqa: E402

MIB = 1 << 20


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--sizes", default="1,512",
                        help="package sizes in MB; the first is the baseline")
    args = parser.parse_args()
    windows = os.path.join(ROOT, "build/windows")
    xdbtool = os.path.join(ROOT, "build/native/tools/xdbtool")
    bench = Bench(windows, os.path.join(windows, "tests/e2e/driver/uidriver.exe"))
    folder = os.path.join(bench.drive, "wizardbench")
    subprocess.run(["rm", "-rf", folder], check=True, timeout=60)
    os.makedirs(folder)
    with open(os.path.join(windows, "Atualizador.exe"), "rb") as src, \
            open(os.path.join(folder, "Atualizador.exe"), "wb") as out:
        out.write(src.read())
    # The user's key container exists before the first timed start.
    bench.wine(os.path.join(windows, "tools/xdbtool.exe"), "keygen", "--bits", "1024",
               check=False)

    def appear_seconds():
        start = time.monotonic()
        program = bench.start(r"C:\wizardbench\Atualizador.exe", folder)
        try:
            bench.ui("wait-window", "class:AtualizadorWizard", timeout_ms=120000)
            return time.monotonic() - start
        finally:
            program.kill()
            program.wait(timeout=30)

    sizes = [int(s) for s in args.sizes.split(",")]
    results = {}
    for size in sizes:
        body = os.path.join(folder, "body.bin")
        with open(body, "wb") as out:
            out.seek(size * MIB - 1)
            out.write(b"\0")
        subprocess.run([xdbtool, "pack", "--version", "XDB0042", "--records", "1", "-o",
                        os.path.join(folder, "db.xdb"), body], check=True, capture_output=True,
                       timeout=600)
        os.remove(body)
        appear_seconds()  # warms the page cache and the Wine server
        results[size] = statistics.median(appear_seconds() for _ in range(args.runs))
    base = results[sizes[0]]
    print(f"{'package':>10} {'wizard appears (median s)':>26} {'ratio':>7}")
    for size in sizes:
        print(f"{size:>7} MB {results[size]:>26.3f} {results[size] / base:>7.2f}")
    subprocess.run(["rm", "-rf", folder], timeout=60)


if __name__ == "__main__":
    main()
