#!/usr/bin/env python3
"""The road of an update on the real program, walked with the keyboard alone to
the next start of Windows: the updater read-only in a folder others can write,
system DLLs' names planted beside it and where it starts, an older database.
--package: a release's db.xdb; --swapped: another valid, newer package in its
place; --attack: a link to another folder put in the update folder's place while
the cleanup waits (as a junction would), or another program at the updater's
name between its start and its first instruction."""
import glob
import os
import shutil
import sys
import time

sys.dont_write_bytecode = True  # nothing compiled left in the source tree
from e2ebench import (CANCEL, CLEANUP, LABEL1, LABEL4, NEXT, OK, PICTURE2, TITLE, WAIT_TEXTS,
                      WIZARD, WIZARD_TEXTS, fresh_folder, main, read, stop, texts, until)

# What the updater and the system DLLs it uses load by name. Not planted:
# version.dll and msimg32.dll, which Wine's own DLLs (not Windows') load from
# the program's folder whatever it does (user32 imports version.dll before the
# program's first instruction; its delay-loads of msimg32.dll search there).
PLANTED = ["uxtheme", "rsaenh", "bcrypt", "crypt32", "dwmapi", "cryptbase", "cryptsp", "comctl32"]


def prepare(t, exe, package):
    """The folders of the road, as the fields of the object returned."""
    road = type("Road", (), {})()
    root = fresh_folder(os.path.join(t.drive, "road"))
    road.update, road.product, road.current = (fresh_folder(os.path.join(root, name))
                                               for name in ("update", "product", "current"))
    for left in ("Atualizador*.exe", "windows/wininit.*", "removedor-ran.txt"):
        for path in glob.glob(os.path.join(t.drive, left)):
            os.remove(path)
    road.exe, road.package = road.update + "/Atualizador.exe", road.update + "/db.xdb"
    road.installed, road.updater = road.product + "/db.xdb", read(exe)
    shutil.copyfile(exe, road.exe)
    t.keygen()
    if package:
        shutil.copyfile(package, road.package)
    else:
        t.pack(road.package, "XDB0002", 2, b"registros novos\r\n")
    t.pack(road.installed, "XDB0001", 1, b"registros antigos\r\n")
    t.register(road.installed)
    road.new, road.old = read(road.package), read(road.installed)
    shutil.copyfile(t.built("tests/e2e/standins/removedor.exe"), road.product + "/removedor.exe")
    # The remover is the control: a plain program among planted DLLs,
    # started by the updater, so with the updater's overrides.
    for folder in (road.update, road.current, road.product):
        for name in PLANTED:
            shutil.copyfile(t.built("tests/e2e/standins/planted.dll"), f"{folder}/{name}.dll")
    road.start = lambda: t.start(t.windows(road.exe), road.current, ",".join(PLANTED) + "=n,b")
    road.loaded = lambda folder: [n for n in PLANTED if os.path.exists(f"{folder}/{n}.dll.loaded")]
    # Beside the installed database, but for the remover and the planted DLLs.
    road.beside = lambda: sorted(n for n in os.listdir(road.product) if n.split(".")[0]
                                 not in PLANTED + ["removedor", "removedor-ran"])
    return road


def walk(t, road):
    os.chmod(road.exe, 0o444)  # as unpacked from a disc, or marked by a mail client
    wizard = road.start()
    try:
        # Alt+F4 asks as "Cancelar" does; No keeps the wizard, and the focus
        # comes back where it was.
        t.keys(TITLE, "alt+F4")
        t.check(t.msgbox()[0] == WIZARD_TEXTS["kConfirmTitle"], "Alt+F4 asked nothing")
        t.keys("Confirma", "Tab", "Return")
        t.ui("wait-gone", "class:#32770")
        t.check(wizard.poll() is None and t.ui("focus", WIZARD).strip() == PICTURE2[1:],
                "after the box the wizard is gone, or the focus did not come back")
        t.tab_to(NEXT)
        t.keys(None, "Return")
        t.wait_text(WIZARD, LABEL4, "Versão instalada: XDB0001")
        t.tab_to(NEXT)  # the check disabled it, and the focus moved on
        t.keys(TITLE, "Return")
        t.wait_text(WIZARD, LABEL1, WIZARD_TEXTS["kInstalled"], timeout=120)
        t.check(read(road.installed) == road.new and not os.path.exists(road.package)
                and road.beside() == ["db.xdb"],
                f"not the package checked installed, alone: {road.beside()}")

        # Another program holds the finished updater for a while, so that the
        # cleanup window is still waiting when Alt+F4 comes.
        t.tab_to(NEXT)
        hold = t.background("hold", t.windows(road.exe), "4000")
        t.keys(TITLE, "Return")  # Finalizar
        wizard.wait(timeout=60)
        t.keys(WAIT_TEXTS["kWaiting"][:10], "alt+F4")
        hold.wait(timeout=60)
        ended = time.monotonic()
        copy = os.path.join(t.drive, "Atualizador.exe")
        t.check(read(copy) == road.updater and os.stat(copy).st_mode & 0o027 == 0,
                "the copy at the drive root is not the updater, or was made without its own "
                f"security descriptor (mode {os.stat(copy).st_mode & 0o777:o})")
        t.check(until(lambda: t.ui("wait-window", CLEANUP).strip() == "0", 3, 0),
                "the cleanup window stays minimized")
        title, text = t.msgbox(timeout_ms=60000)
        took = time.monotonic() - ended
        t.check(title == WAIT_TEXTS["kRestartTitle"], f"not the restart box: {title}: {text}")
        t.check(took <= 5, f"the cleanup waited {took:.1f} s for the read-only updater")
        t.check(not os.path.exists(road.exe),
                "the read-only updater was not deleted (Alt+F4 on the cleanup window ended it)")
        t.check(read(os.path.join(road.product, "removedor-ran.txt")) ==
                b'"C:\\road\\product\\removedor.exe" /!', "the remover was not started so")

        # OK, with Enter: Wine ends the windowed programs and then carries out
        # wininit.ini.
        t.keys(WAIT_TEXTS["kRestartTitle"], "Return")
        t.ui("wait-gone", CLEANUP)
        t.check(until(lambda: not os.path.exists(copy), 60), "the restart kept the copy")
    finally:
        stop(wizard)
        if t.failures:  # no window left behind for the next test
            t.wine("wineboot", "--end-session", "--force", check=False)
        if os.path.exists(os.path.join(road.product, "removedor-ran.txt")):
            t.check(road.loaded(road.product), "the remover loaded no planted DLL: the bench "
                    "does not prefer them, and the planting checks prove nothing")
        for folder in (road.update, road.current):  # beside the updater, where it started
            t.check(not road.loaded(folder), f"{road.loaded(folder)} loaded from {folder}")


def swapped(t, road, size):
    body = road.package + ".body"  # where pack writes its body, and removes it
    t.wine(t.built("tools/xdbtool.exe"), "unpack", t.windows(road.package), "-o", t.windows(body))
    t.pack(road.package, "XDB0043" if size == "same-size" else "XDB43", 3, read(body))
    road.new = read(road.package)
    wizard = road.start()
    try:
        expected = texts("src/db/API_FILE.h")["kCorruptedTitle"]  # at load: not its size
        if size == "same-size":  # at the installation: the hash is not the release's
            t.next_step()
            t.ui("click", WIZARD, NEXT)
            expected = WIZARD_TEXTS["kPackageMismatchTitle"]
        title = t.msgbox(OK)[0]
        wizard.wait(timeout=60)
        t.check(title == expected, f"a release took a package of {size} not its own ({title})")
    finally:
        stop(wizard)
    t.check(read(road.installed) == road.old and read(road.package) == road.new
            and road.beside() == ["db.xdb"], f"a package of {size} changed the files")


def attacked(t, road, attack):
    """Nothing but the updater is deleted, copied or started as administrator."""
    other = fresh_folder(os.path.join(os.path.dirname(road.update), "other"))
    decoy = os.path.join(other, "Atualizador.exe")  # someone else's program
    shutil.copyfile(t.built("tests/e2e/standins/removedor.exe"), decoy)
    holder = None
    if attack == "suspended":
        wizard = t.background("start-suspended", t.windows(road.exe), cwd=road.current)
        os.rename(road.exe, road.exe + ".old")
        shutil.copyfile(decoy, road.exe)
        wizard.stdin.close()
    else:
        wizard = road.start()
    try:
        t.next_step()
        t.next_step(LABEL1, WIZARD_TEXTS["kInstalled"])
        if attack == "link":
            holder = t.background("hold", t.windows(road.exe), "600000")
        t.ui("click", WIZARD, NEXT)  # Finalizar
        if attack == "suspended":
            title = t.msgbox(OK)[0]
            t.check(title == WIZARD_TEXTS["kUpdaterChangedTitle"],
                    f"another program at the updater's name was not refused: {title}")
        else:
            t.ui("wait-window", CLEANUP)  # waiting, while another program holds the updater
            os.rename(road.update, road.update + ".old")
            os.symlink(other, road.update)
            title, text = t.msgbox(OK)
            t.check(title == WAIT_TEXTS["kNotRemovedTitle"], f"not the box for a link: {text}")
            t.check(t.msgbox(CANCEL)[0] == WAIT_TEXTS["kRestartTitle"], "no restart question")
            t.ui("wait-gone", CLEANUP)
        wizard.wait(timeout=60)
    finally:
        for process in filter(None, (holder, wizard)):
            stop(process)
    if attack == "link":
        t.check(read(decoy), "the cleanup deleted another folder's file through a link")
    else:
        t.check(not any(os.path.exists(os.path.join(t.drive, name))
                        for name in ("removedor-ran.txt", "Atualizador.exe")),
                "another program put at the updater's name was copied or run as administrator")
    t.check(read(road.installed) == road.new, "the installed database is not the new one")


def run(t, args):
    road = prepare(t, args.exe, args.package)
    if args.swapped:
        swapped(t, road, args.swapped)
    elif args.attack:
        attacked(t, road, args.attack)
    else:
        walk(t, road)


if __name__ == "__main__":
    sys.exit(main(run, **{"--package": {}, "--swapped": dict(choices=("same-size", "other-size")),
                          "--attack": dict(choices=("link", "suspended"))}))
