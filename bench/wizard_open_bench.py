#!/usr/bin/env python3
"""How long the wizard takes to appear under Wine with a large package,
against a 1 MB one measured in the same run: opening a package costs what
its header costs, so the ratio should stay near 1.

    bench/wizard_open_bench.py [--runs N] [--sizes 1,512]
Builds: build/windows (Atualizador.exe, uidriver.exe), build/native (xdbtool).
"""
import argparse
import os
import shlex
import statistics
import subprocess
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MIB = 1 << 20


def bench_env(build):
    out = subprocess.run([os.path.join(ROOT, "scripts/wine-bench.sh"), "--build", build, "env"],
                         check=True, capture_output=True, text=True, timeout=300).stdout
    env = dict(os.environ)
    for line in out.splitlines():
        if line.startswith("export "):
            name, _, value = line[len("export "):].partition("=")
            env[name] = shlex.split(value)[0] if value else ""
    return env


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--sizes", default="1,512", help="package sizes in MB; the first is the baseline")
    args = parser.parse_args()
    windows = os.path.join(ROOT, "build/windows")
    xdbtool = os.path.join(ROOT, "build/native/tools/xdbtool")
    driver = os.path.join(windows, "tests/e2e/driver/uidriver.exe")
    env = bench_env(windows)
    env["ATUALIZADOR_KEYS_DIR"] = os.path.join(windows, "wine-bench/keys")
    folder = os.path.join(env["WINEPREFIX"], "drive_c/wizardbench")
    subprocess.run(["rm", "-rf", folder], check=True, timeout=60)
    os.makedirs(folder)
    with open(os.path.join(windows, "Atualizador.exe"), "rb") as src, \
            open(os.path.join(folder, "Atualizador.exe"), "wb") as out:
        out.write(src.read())
    # The Windows user's key container exists before the first timed start.
    subprocess.run(["wine", os.path.join(windows, "tools/xdbtool.exe"), "keygen"], env=env,
                   capture_output=True, timeout=300)

    def appear_seconds(size_mb):
        start = time.monotonic()
        program = subprocess.Popen(["wine", r"C:\wizardbench\Atualizador.exe"], env=env,
                                   cwd=folder, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            subprocess.run(["wine", driver, "wait-window", "class:AtualizadorWizard",
                            "--timeout", "120000"], env=env, check=True, capture_output=True,
                           timeout=180)
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
                        os.path.join(folder, "db.xdb"), body], env=env, check=True,
                       capture_output=True, timeout=600)
        os.remove(body)
        appear_seconds(size)  # warm the page cache and the Wine server
        results[size] = statistics.median(appear_seconds(size) for _ in range(args.runs))
    base = results[sizes[0]]
    print(f"{'package':>10} {'wizard appears (median s)':>26} {'ratio':>7}")
    for size in sizes:
        print(f"{size:>7} MB {results[size]:>26.3f} {results[size] / base:>7.2f}")
    subprocess.run(["rm", "-rf", folder], timeout=60)


if __name__ == "__main__":
    main()
