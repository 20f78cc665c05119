#!/usr/bin/env python3
"""The Windows window through the real trelvane.exe under Wine and Xvfb.

The window must appear with its caption, convert the folder its settings file names on Alt+G
(a whole, a damaged and a broken fax among the files), append the pass's record to the log,
close on Escape with the Cancel code, and leave in the settings file what was typed. Started
again with automatic conversion every minute, it must convert a fax added meanwhile on its
own and leave the PDFs already there as they are. A later start with two fax files (as
Explorer starts it, one name holding a space) must hand them to the running window, which
converts just those into its save folder.

    tests/windows/win32_window_test.py BUILD-WIN-FOLDER [--screenshots FOLDER]

With --screenshots, each tab is photographed after the pass (win32-convert.png,
win32-options.png). The test runs Wine in a prefix of its own below the build folder
(wine-window, made on the first run): Wine's desktop process, which holds the notification area,
belongs to the display of the first program a Wine server starts, so a server shared with other
tests (on another display) would keep the tray where this test cannot see it.
temporary folder (made on the first run, which takes a minute). Exits non-zero on failure.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SOURCE_DIR = Path(__file__).resolve().parents[2]
CAPTION = "Vuvod Trelvane"
TYPED_SOURCE = r"C:\Typed Faxes\in"
EXIT_THROUGH_CANCEL = 2
# Where the tabs are in the window at the system's 96 dots per inch (Xvfb's).
OPTIONS_TAB = (87, 16)
CONVERT_TAB = (40, 16)
LIST_AREA = (200, 220)
CANCEL_BUTTON = (399, 91)
# Wine's own notification area when no desktop's tray takes its icons: the icons sit in a row.
WINE_TRAY = "Wine System Tray"
FIRST_TRAY_ICON = (8, 10)


class Failure(Exception):
    pass


def windows_path(path):
    # Wine's drive Z: is the root of the file system.
    return "Z:" + str(path).replace("/", "\\")


def wait_for(what, predicate, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.25)
    raise Failure(f"timed out after {timeout} s waiting for {what}")


def free_display():
    for number in range(91, 200):
        if not Path(f"/tmp/.X11-unix/X{number}").exists() and not Path(
                f"/tmp/.X{number}-lock").exists():
            return number
    raise Failure("no free X display number")


def make_faxes(folder):
    folder.mkdir()
    shutil.copy(SOURCE_DIR / "samples/quote-request.fxd", folder / "good.fxd")
    # Cut short inside its first page: converted, with the missing lines named.
    whole = (SOURCE_DIR / "samples/delivery-notice.fxs").read_bytes()
    (folder / "damaged.fxs").write_bytes(whole[:9000])
    # A WinFax name with no WinFax file behind it.
    (folder / "broken.fxd").write_bytes(bytes(range(256)) * 12)


class Session:
    def __init__(self, work, prefix):
        self.work = work
        self.display = free_display()
        self.env = dict(os.environ)
        self.env["DISPLAY"] = f":{self.display}"
        self.env["WINEDEBUG"] = "-all"
        self.env["WINEPREFIX"] = str(prefix)
        # Wine's own prompts for its .NET and HTML engines would stop a fresh prefix.
        self.env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
        self.xvfb = subprocess.Popen(
            ["Xvfb", f":{self.display}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("Xvfb", lambda: Path(f"/tmp/.X11-unix/X{self.display}").exists(), 20)
        self.program = None

    def run(self, *args, check=True):
        result = subprocess.run(list(args), env=self.env, capture_output=True, text=True)
        if check and result.returncode != 0:
            raise Failure(f"{' '.join(args)}: {result.stderr.strip()}")
        return result.stdout.strip()

    def start(self, exe, *files):
        self.program = subprocess.Popen(["wine", str(exe), *files], env=self.env, cwd=self.work,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def window(self):
        # Shown, not only made: focus cannot go to a window that is not mapped yet.
        found = self.run("xdotool", "search", "--onlyvisible", "--name", f"^{CAPTION}$",
                         check=False)
        return found.split()[0] if found else None

    def click(self, window, at):
        self.run("xdotool", "mousemove", "--window", window, str(at[0]), str(at[1]), "click", "1")

    def keys(self, *keys):
        for key in keys:
            self.run("xdotool", "key", key)
            time.sleep(0.3)

    def screenshot(self, window, path):
        time.sleep(1)  # the last redraw
        self.run("import", "-window", window, str(path))

    def close(self):
        if self.program and self.program.poll() is None:
            self.program.kill()
            self.program.wait()
        # This prefix's server (and its desktop on this display) ends with the session.
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        self.xvfb.terminate()
        self.xvfb.wait()


RECORD_HEADER = "Vuvod Trelvane in GUI mode : convert folder"


def check_log_record(log, names=("good.fxd", "damaged.fxs", "broken.fxd"), records=1):
    text = log.read_text(errors="replace") if log.exists() else ""
    if text.count(RECORD_HEADER) < records:
        return None
    text = text.split(RECORD_HEADER)[records]
    lines = {}
    for name in names:
        found = [line for line in text.splitlines() if f"\\{name} -->" in line]
        if not found:
            return None
        lines[name] = found[-1]
    return lines


def check_cancel_and_tray(session, work, program_folder, settings, log):
    """Cancel in the middle of a pass of many small faxes: the files already converted keep
    whole PDFs, the rest are named as not converted, and none of them gets a PDF. Then the
    window goes to the tray when minimised and comes back from it on a click."""
    many = work / "many"
    many.mkdir()
    sample = (SOURCE_DIR / "samples/delivery-notice.fxs").read_bytes()
    for number in range(1500):
        (many / f"fax{number:04}.fxs").write_bytes(sample)
    many_pdfs = work / "many-pdfs"
    settings.write_text(f"[Main]\r\nFaxDir={windows_path(many)}\r\n"
                        f"SaveDir={windows_path(many_pdfs)}\r\n[Options]\r\nParallelJobs=1\r\n")
    session.start(program_folder / "trelvane.exe")
    window = wait_for(f'the window "{CAPTION}" a fourth time', session.window, 60)
    session.run("xdotool", "windowfocus", "--sync", window)
    session.click(window, LIST_AREA)
    session.keys("alt+g")
    wait_for("the pass's first PDFs", lambda: many_pdfs.exists()
             and len(list(many_pdfs.glob("*.pdf"))) >= 30, 60)
    session.click(window, CANCEL_BUTTON)
    text = wait_for("the cancelled pass's log record", lambda: (
        log.exists() and "Cancelled: " in log.read_text(errors="replace")
        and log.read_text(errors="replace")), 60)
    record = text.split(RECORD_HEADER)[-1]
    converted = record.count(": Success !")
    not_converted = record.count("Not converted: the pass was cancelled")
    pdfs = sorted(many_pdfs.glob("*.pdf"))
    if not 30 <= converted < 1500 or converted + not_converted != 1500:
        raise Failure(f"the cancelled pass converted {converted} and named {not_converted} "
                      "as not converted, of 1500")
    if len(pdfs) != converted:
        raise Failure(f"{len(pdfs)} PDFs for {converted} files converted")
    for pdf in pdfs:
        data = pdf.read_bytes()
        if not data.startswith(b"%PDF-") or b"%%EOF" not in data[-32:]:
            raise Failure(f"{pdf.name} is not a whole PDF")
    print(f"cancel: {converted} converted, {not_converted} named as not converted")

    # The system menu's Minimize (there is no desktop to take the window's own button).
    session.run("xdotool", "windowfocus", "--sync", window)
    session.keys("alt+space", "n")
    wait_for("the window to go to the tray", lambda: session.window() is None, 20)
    tray = session.run("xdotool", "search", "--name", f"^{WINE_TRAY}$").split()[0]
    session.click(tray, FIRST_TRAY_ICON)
    window = wait_for("the window back from the tray", session.window, 20)
    print("tray: minimised into the tray and restored by a click on its icon")
    session.run("xdotool", "windowfocus", "--sync", window)
    session.click(window, LIST_AREA)
    session.keys("Escape")
    wait_for("the program to end a fourth time", lambda: session.program.poll() is not None, 30)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", type=Path)
    parser.add_argument("--screenshots", type=Path)
    options = parser.parse_args()
    exe = options.build / "trelvane.exe"
    if not exe.exists():
        print(f"{exe} is missing: build the Windows programs first", file=sys.stderr)
        return 2

    with tempfile.TemporaryDirectory(prefix="trelvane-window-") as temp:
        work = Path(temp)
        program_folder = work / "program"
        program_folder.mkdir()
        shutil.copy(exe, program_folder)
        faxes = work / "faxes"
        make_faxes(faxes)
        pdfs = work / "pdfs"  # the pass makes it
        settings = program_folder / "trelvane.ini"
        settings.write_text(f"[Main]\r\nFaxDir={windows_path(faxes)}\r\n"
                            f"SaveDir={windows_path(pdfs)}\r\n")

        session = Session(work, options.build.resolve() / "wine-window")
        log = program_folder / "log" / "tvnlog.txt"
        try:
            session.start(program_folder / "trelvane.exe")
            window = wait_for(f'the window "{CAPTION}"', session.window, 180)
            session.run("xdotool", "windowfocus", "--sync", window)
            session.click(window, LIST_AREA)
            session.keys("alt+g")

            lines = wait_for("the pass's log record", lambda: check_log_record(log), 120)
            expected = {
                "good.fxd": ("good.fxd.pdf", ": Success !"),
                "damaged.fxs": ("damaged.fxs.pdf", "lines missing, file cut short)"),
                "broken.fxd": (None, ": Failed : "),
            }
            for name, (pdf, words) in expected.items():
                if words not in lines[name]:
                    raise Failure(f"{name}: the log says {lines[name]!r}, not {words!r}")
                if pdf is not None:
                    data = (pdfs / pdf).read_bytes() if (pdfs / pdf).exists() else b""
                    if not data.startswith(b"%PDF-"):
                        raise Failure(f"{pdf} was not written")
            if (pdfs / "broken.fxd.pdf").exists():
                raise Failure("a PDF appeared for the broken fax")
            print("pass: " + "; ".join(lines[n] for n in expected))

            if options.screenshots:
                options.screenshots.mkdir(parents=True, exist_ok=True)
                session.screenshot(window, options.screenshots / "win32-convert.png")
                session.click(window, OPTIONS_TAB)
                session.screenshot(window, options.screenshots / "win32-options.png")
                session.click(window, CONVERT_TAB)

            # The source edit: "File &filter" takes the focus to the filter, two tabs on
            # ("&Go" between) to the source, whose text is then selected.
            session.keys("alt+f", "Tab", "Tab")
            session.run("xdotool", "type", "--delay", "30", TYPED_SOURCE)
            session.keys("Escape")
            code = wait_for("the program to end", lambda: session.program.poll() is not None
                            and (session.program.returncode,), 30)[0]
            if code != EXIT_THROUGH_CANCEL:
                raise Failure(f"Escape ended the window with code {code}, not {EXIT_THROUGH_CANCEL}")
            saved = settings.read_text(errors="replace")
            if f"FaxDir={TYPED_SOURCE}" not in saved or f"SaveDir={windows_path(pdfs)}" not in saved:
                raise Failure(f"the settings file does not hold what was typed:\n{saved}")
            if "[Options]" not in saved or "ParallelJobs=" not in saved:
                raise Failure(f"the settings file lacks the options:\n{saved}")

            # Automatic conversion every minute, from the folder again.
            saved = saved.replace(f"FaxDir={TYPED_SOURCE}", f"FaxDir={windows_path(faxes)}")
            saved = saved.replace("Cyclely=0", "Cyclely=1").replace("CycleMinutes=60",
                                                                    "CycleMinutes=1")
            settings.write_text(saved)
            shutil.copy(SOURCE_DIR / "samples/meeting-minutes.fxm", faxes / "later.fxm")
            kept = (pdfs / "good.fxd.pdf").stat().st_mtime_ns
            session.start(program_folder / "trelvane.exe")
            window = wait_for(f'the window "{CAPTION}" again', session.window, 60)
            lines = wait_for("the automatic pass's log record", lambda: check_log_record(
                log, ("good.fxd", "later.fxm"), records=2), 120)
            if ": Success !" not in lines["later.fxm"]:
                raise Failure(f"the automatic pass says {lines['later.fxm']!r} of the new fax")
            if (pdfs / "good.fxd.pdf").stat().st_mtime_ns != kept:
                raise Failure("the automatic pass wrote a PDF that was already there")
            print("automatic pass: " + "; ".join(lines.values()))
            session.run("xdotool", "windowfocus", "--sync", window)
            session.click(window, LIST_AREA)
            session.keys("Escape")
            wait_for("the program to end again", lambda: session.program.poll() is not None, 30)

            # Files handed over on the command line, as Explorer does, to the window already
            # running: the later start hands them over and ends at once.
            shutil.copy(SOURCE_DIR / "samples/purchase-order.fxr", faxes / "order 7.fxr")
            session.start(program_folder / "trelvane.exe")
            window = wait_for(f'the window "{CAPTION}" a third time', session.window, 60)
            try:
                later = subprocess.run(
                    ["wine", str(program_folder / "trelvane.exe"),
                     windows_path(faxes / "order 7.fxr"), windows_path(faxes / "good.fxd")],
                    env=session.env, cwd=work, timeout=60, stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL)
            except subprocess.TimeoutExpired:
                raise Failure("the start handing over files did not end") from None
            if later.returncode != 0:
                raise Failure(f"the start handing over files ended with {later.returncode}, not 0")
            if len(session.run("xdotool", "search", "--onlyvisible", "--name",
                               f"^{CAPTION}$").split()) != 1:
                raise Failure("the start handing over files opened a window of its own")
            lines = wait_for("the log record of the files given", lambda: check_log_record(
                log, ("order 7.fxr", "good.fxd"), records=3), 60)
            if any(": Success !" not in line for line in lines.values()):
                raise Failure(f"the files given were not converted: {list(lines.values())}")
            record = log.read_text(errors="replace").split(RECORD_HEADER)[3]
            if "later.fxm" in record:
                raise Failure("a pass of files given converted the whole folder")
            print("files given: " + "; ".join(lines.values()))
            session.run("xdotool", "windowfocus", "--sync", window)
            session.click(window, LIST_AREA)
            session.keys("Escape")
            wait_for("the program to end a third time",
                     lambda: session.program.poll() is not None, 30)

            check_cancel_and_tray(session, work, program_folder, settings, log)
        except Failure as failure:
            print(f"FAIL: {failure}", file=sys.stderr)
            return 1
        finally:
            session.close()
    print("ok: the window converted, cancelled, went to the tray and back, closed on Escape "
          "and kept what was typed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
