#!/usr/bin/env python3
"""The road of an update on the real program, walked once to prove as much
as it can, from the first step to the next start of Windows: an update
folder that others can write (the updater read-only in it, DLLs of system
names planted beside it and in the folder it starts in), an older installed
database with its registry value and the product's remover.

    road_test.py --build DIR --exe Atualizador.exe [--package db.xdb]
    road_test.py --build DIR --exe Atualizador.exe --package db.xdb --swapped same-size|other-size
    road_test.py --build DIR --exe Atualizador.exe --attack link|suspended

--package installs a given db.xdb (a release's) instead of a new one.
--swapped puts another valid, newer package in its place, of the same size or
not, and proves that a release installs nothing but its own package.
--attack plays whoever can write the update folder: "link" puts a link to
another folder in its place while the cleanup waits for the updater (as a
junction would on Windows); "suspended" puts another program at the
updater's name between its start and its first instruction.
"""
import argparse
import glob
import os
import re
import shutil
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing compiled left in the source tree
from e2ebench import (CANCEL, CLEANUP, COMMAND1, CORRUPTED_TITLE, LABEL1, LABEL4, NEXT, OK,
                      PICTURE2, TITLE, WAIT_LABEL, WAIT_TEXTS, WIZARD, WIZARD_TEXTS, E2E, Failure,
                      fresh_folder, read, stop)

# What the updater and the system DLLs it uses load by name. Not planted:
# version.dll and msimg32.dll, which Wine's own DLLs load from the program's
# folder whatever the program does (Wine's user32 imports version.dll before
# the program's first instruction; its delay-loads of msimg32.dll search the
# start-up path), and Windows' do not.
PLANTED = ["uxtheme", "rsaenh", "bcrypt", "crypt32", "dwmapi", "cryptbase", "cryptsp", "comctl32"]
OVERRIDES = ",".join(PLANTED) + "=n,b"


class Road:
    def __init__(self, t, exe, package):
        self.t = t
        root = fresh_folder(os.path.join(t.drive, "road"))
        self.update, self.product, self.current = (fresh_folder(os.path.join(root, name))
                                                   for name in ("update", "product", "current"))
        for left in glob.glob(os.path.join(t.drive, "Atualizador*.exe")) + glob.glob(
                os.path.join(t.drive, "windows", "wininit.*")) + glob.glob(
                    os.path.join(t.drive, "removedor-ran.txt")):
            os.remove(left)
        self.exe = os.path.join(self.update, "Atualizador.exe")
        shutil.copyfile(exe, self.exe)
        self.updater = read(self.exe)
        self.package = os.path.join(self.update, "db.xdb")
        self.installed = os.path.join(self.product, "db.xdb")
        t.keygen()
        if package:
            shutil.copyfile(package, self.package)
        else:
            t.pack(self.package, "XDB0002", 2, b"registros novos\r\n")
        t.pack(self.installed, "XDB0001", 1, b"registros antigos\r\n")
        t.register(self.installed)
        self.new, self.old = read(self.package), read(self.installed)
        shutil.copyfile(t.built("tests/e2e/standins/removedor.exe"),
                        os.path.join(self.product, "removedor.exe"))
        # The remover is the control: a plain program among planted DLLs,
        # started by the updater, so with the updater's overrides.
        for folder in (self.update, self.current, self.product):
            for name in PLANTED:
                shutil.copyfile(t.built("tests/e2e/standins/planted.dll"),
                                os.path.join(folder, name + ".dll"))

    def start(self):
        return self.t.start(self.t.windows(self.exe), self.current, OVERRIDES)

    def loaded(self, folder):
        return sorted(n for n in PLANTED if os.path.exists(os.path.join(folder, n + ".dll.loaded")))

    def beside(self):
        """What is beside the installed database, but for the remover and the planted DLLs."""
        return sorted(n for n in os.listdir(self.product)
                      if n.split(".")[0] not in PLANTED + ["removedor", "removedor-ran"])


def walk(t, road):
    """The whole road, walked with the keyboard alone; raises Failure when a
    step never comes."""
    os.chmod(road.exe, 0o444)  # as unpacked from a disc, or marked by a mail client
    wizard = road.start()
    try:
        # "Cancelar" with Space, then Enter in the confirmation: it ends.
        t.window(WIZARD)
        t.keys(TITLE)
        t.tab_to(COMMAND1)
        t.keys(None, "space")
        t.keys("Confirma", "Return")
        wizard.wait(timeout=60)
        wizard = road.start()
        t.window(WIZARD)
        t.shot("1-inicio")
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
        t.check("Versão atualizada: " in t.ui("text", WIZARD, LABEL4), "no summary of the package")
        t.shot("2-verificacao")

        # Between the check and the install another program tries to write to
        # the package the updater holds, to rename it and to delete it. (Wine
        # renames nothing over a file that is open, so replacing it proves
        # nothing here.)
        package, before = t.windows(road.package), os.stat(road.package).st_ino
        for what, command in (("write to", f"echo other>> {package}"),
                              ("rename", f"ren {package} away.xdb"), ("delete", f"del {package}")):
            t.wine("cmd", "/c", command, check=False)
            t.check(os.path.exists(road.package) and os.stat(road.package).st_ino == before
                    and read(road.package) == road.new,
                    f"another program could {what} the held package before the install "
                    "(its sharing lets writers, renamers or deleters in)")
        t.tab_to(NEXT)  # the check disabled it, and the focus moved on
        t.keys(TITLE, "Return")
        t.wait_text(WIZARD, LABEL1, WIZARD_TEXTS["kInstalled"], timeout=120)
        t.shot("3-instalado")
        t.check(read(road.installed) == road.new, "the database installed is not the package checked")
        t.check(not os.path.exists(road.package), "the package was left behind")
        t.check(road.beside() == ["db.xdb"], f"left beside the database: {road.beside()}")

        # Another program holds the finished updater for a while, so that the
        # cleanup window is still waiting when Alt+F4 comes.
        t.tab_to(NEXT)
        hold = subprocess.Popen(["wine", t.driver, "hold", t.windows(road.exe), "4000"],
                                env=t.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
        hold.stdout.readline()
        t.keys(TITLE, "Return")  # Finalizar
        wizard.wait(timeout=60)
        t.keys(WAIT_TEXTS["kWaiting"][:10], "alt+F4")
        hold.wait(timeout=60)
        ended = time.monotonic()
        copy = os.path.join(t.drive, "Atualizador.exe")
        t.check(read(copy) == road.updater, "the copy at the drive root is not the updater")
        t.check(os.stat(copy).st_mode & 0o027 == 0,
                f"the copy at the drive root was made without its own security descriptor "
                f"(mode {os.stat(copy).st_mode & 0o777:o}: others or the group may change it)")
        with open(os.path.join(t.drive, "windows", "wininit.ini"), "rb") as ini:
            t.check(re.fullmatch(rb"\r\n\[Rename\]\r\nNUL=C:\\[^\\\r\n]+\r\n", ini.read()),
                    "wininit.ini does not hold the one order for the copy")

        pid, minimized, image = t.window(CLEANUP)
        t.check(image.lower() == "c:\\atualizador.exe", f"the cleanup runs from {image}")
        deadline = time.monotonic() + 3
        while minimized and time.monotonic() < deadline:
            pid, minimized, image = t.window(CLEANUP)
        t.check(not minimized, "the cleanup window stays minimized")
        title, buttons, text = t.msgbox(timeout_ms=60000)
        took = time.monotonic() - ended
        t.check((title, text, buttons) == (WAIT_TEXTS["kRestartTitle"], WAIT_TEXTS["kRestartText"],
                                           [OK, CANCEL]), f"not the restart box: {title}: {text}")
        print(f"the restart box came {took:.1f} s after the updater was let go")
        t.check(took <= 5, "the cleanup waited that long for the read-only updater")
        t.check(t.ui("text", CLEANUP, WAIT_LABEL).strip() == WAIT_TEXTS["kDone"], "no 'Pronto'")
        t.check(not os.path.exists(road.exe),
                "the read-only updater was not deleted (Alt+F4 on the cleanup window ended it)")
        remover = os.path.join(road.product, "removedor-ran.txt")
        t.check(os.path.exists(remover) and read(remover).decode() ==
                '"C:\\road\\product\\removedor.exe" /!', "the remover was not started as it should")
        t.shot("4-limpeza-pronto")

        # OK, with Enter: Wine ends the windowed programs and then carries out
        # wininit.ini.
        t.keys(WAIT_TEXTS["kRestartTitle"], "Return")
        t.ui("wait-gone", CLEANUP)
        deadline = time.monotonic() + 60
        while os.path.exists(copy) and time.monotonic() < deadline:
            time.sleep(0.2)
        t.check(not os.path.exists(copy), "the next start of Windows left the copy")
    finally:
        stop(wizard)
        if t.failures:  # no window left behind for the next test
            t.wine("wineboot", "--end-session", "--force", check=False)
        if os.path.exists(os.path.join(road.product, "removedor-ran.txt")):
            t.check(road.loaded(road.product), "the remover loaded no planted DLL: the bench "
                    "does not prefer them, and the planting checks prove nothing")
        for folder, where in ((road.update, "beside the updater"), (road.current, "where it started")):
            t.check(not road.loaded(folder),
                    f"the wizard or the cleanup loaded {road.loaded(folder)} {where}")


def swapped(t, road, size):
    """A release's package replaced by another valid, newer one."""
    body = road.package + ".txt"
    t.wine(t.built("tools/xdbtool.exe"), "unpack", t.windows(road.package), "-o", t.windows(body))
    version = "XDB0043" if size == "same-size" else "XDB43"
    t.pack(road.package, version, 3, read(body))
    os.remove(body)
    road.new = read(road.package)
    wizard = road.start()
    try:
        expected = (CORRUPTED_TITLE, None)  # at load: the size is not the release's
        if size == "same-size":  # at the installation: the hash is not the release's
            t.ui("click", WIZARD, NEXT)
            t.wait_text(WIZARD, LABEL4, "Versão instalada: XDB0001")
            t.ui("click", WIZARD, NEXT)
            expected = (WIZARD_TEXTS["kPackageMismatchTitle"], WIZARD_TEXTS["kPackageMismatchText"])
        try:
            title, _, text = t.msgbox()
            t.press(OK)
            wizard.wait(timeout=60)
        except Failure:
            title, text = "no box", ""
        t.check(title == expected[0] and expected[1] in (None, text),
                f"a release took a package of {size} not its own ({title}: {text})")
    finally:
        stop(wizard)
    t.check(read(road.installed) == road.old and read(road.package) == road.new
            and road.beside() == ["db.xdb"], f"a package of {size} changed the files")


def attacked(t, road, attack):
    """Nothing but the updater is deleted, copied or started as administrator."""
    other = fresh_folder(os.path.join(os.path.dirname(road.update), "other"))
    decoy = os.path.join(other, "Atualizador.exe")  # someone else's program
    shutil.copyfile(t.built("tests/e2e/standins/removedor.exe"), decoy)
    ran = os.path.join(t.drive, "removedor-ran.txt")
    pipe = dict(env=t.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE, cwd=road.current)
    if attack == "suspended":
        wizard = subprocess.Popen(["wine", t.driver, "start-suspended", t.windows(road.exe)], **pipe)
        wizard.stdout.readline()
        os.rename(road.exe, road.exe + ".old")
        shutil.copyfile(decoy, road.exe)
        wizard.stdin.close()
    else:
        wizard = road.start()
    holder = None
    try:
        t.window(WIZARD)
        t.ui("click", WIZARD, NEXT)
        t.wait_text(WIZARD, LABEL4, "Versão instalada: XDB0001")
        t.ui("click", WIZARD, NEXT)
        t.wait_text(WIZARD, LABEL1, WIZARD_TEXTS["kInstalled"], timeout=120)
        if attack == "link":
            holder = subprocess.Popen(["wine", t.driver, "hold", t.windows(road.exe)], **pipe)
            holder.stdout.readline()
        t.ui("click", WIZARD, NEXT)  # Finalizar
        if attack == "suspended":
            title, _, text = t.msgbox()
            t.check((title, text) == (WIZARD_TEXTS["kUpdaterChangedTitle"],
                                      WIZARD_TEXTS["kUpdaterChangedText"]),
                    f"another program at the updater's name was not refused: {title}: {text}")
            t.press(OK)
        else:
            t.window(CLEANUP)  # waiting, while another program holds the updater
            os.rename(road.update, road.update + ".old")
            os.symlink(other, road.update)
            title, _, text = t.msgbox()
            t.check(title == WAIT_TEXTS["kNotRemovedTitle"] and t.windows(road.exe) in text
                    and "não é o atualizador" in text, f"not the box for another file: {text}")
            t.press(OK)
            title, _, _ = t.msgbox()
            t.check(title == WAIT_TEXTS["kRestartTitle"], f"not the restart question: {title}")
            t.press(CANCEL)
            t.ui("wait-gone", CLEANUP)
        wizard.wait(timeout=60)
    finally:
        for process in filter(None, (holder, wizard)):
            stop(process)
    if attack == "link":
        t.check(read(decoy) is not None, "the cleanup deleted another folder's file through a link")
    else:
        t.check(not os.path.exists(ran) and not os.path.exists(os.path.join(t.drive, "Atualizador.exe")),
                "another program put at the updater's name was copied or run as administrator")
    t.check(read(road.installed) == road.new, "the installed database is not the new one")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--package")
    parser.add_argument("--swapped", choices=("same-size", "other-size"))
    parser.add_argument("--attack", choices=("link", "suspended"))
    args = parser.parse_args()
    t = E2E(args.build)
    try:
        road = Road(t, args.exe, args.package)
        if args.swapped:
            swapped(t, road, args.swapped)
        elif args.attack:
            attacked(t, road, args.attack)
        else:
            walk(t, road)
    except Exception as e:  # a step that never came, a file that is not there
        t.check(False, f"the road stopped: {e!r}")
    return t.end()


if __name__ == "__main__":
    sys.exit(main())
