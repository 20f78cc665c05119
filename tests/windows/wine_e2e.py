#!/usr/bin/env python3
"""End-to-end cases of the Windows console program (trelvanec.exe) run under Wine, each one
also run by the Linux program on an identical copy of its input and compared with it.

Every case builds its faxes twice, in WORK/CASE/win and WORK/CASE/lin (same bytes, same file
times), runs trelvanec.exe on the first and the Linux trelvane on the second with the same
options, then checks the Windows results (the report's lines, the exit status, every fax still
as it was, every PDF where the report says it is, with the fax's page count) and compares the two
sides: exit status, report and standard error (CR LF, the case folder and the path separator
normalised), the log record (its date line normalised), and every file the runs left, byte for
byte, PDFs after blanking their dates and /ID.

  wine_e2e.py --exe build-win/trelvanec.exe --linux build/trelvane
              --mkwinfax build/tools/mkwinfax/mkwinfax --samples samples
              [--corpus bench/corpus/fax] --work /tmp/wine-e2e

WINEPREFIX comes from the environment (a prefix of one's own: the first run makes it). Exits 1
when a check failed, 2 when a tool is missing; a summary line ends the output.
"""

import argparse
import hashlib
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import time

# Every fax of a case gets this modification time (whole seconds, an hour ago): Windows keeps
# file times to 100 ns, so nanoseconds would differ between the sides in the /skip records, and
# a fax changed in the last 10 seconds would be left for the next run.
FAX_TIME = int(time.time()) - 3600
# A run under Wine that takes longer than this is a hang.
RUN_TIMEOUT = 600
WIN_MAX_PATH = 260

REPORT_LINE = re.compile(r"^(.*) --> (.*) : (Success !|Failed|Skipped|Left for the next run)(.*)$")


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = []
        self.case = ""

    def check(self, ok, what, expected=None, found=None):
        if ok:
            self.passed += 1
            return True
        text = f"[{self.case}] {what}"
        if expected is not None or found is not None:
            text += f"\n    expected: {expected!r}\n    found:    {found!r}"
        self.failed.append(text)
        print("FAIL " + text, flush=True)
        return False


# ---------------------------------------------------------------------------------------------
# Fax inputs


def bilevel_tiff(width, rows, seed, yres):
    """An uncompressed one-bit TIFF page (white is zero) with text-like bars that differ by
    seed, so that every page of the run codes differently."""
    row_bytes = (width + 7) // 8
    data = bytearray(row_bytes * rows)
    for y in range(rows):
        band = (y // 14 + seed) % 6
        if band == 5 or y % 14 > 9:
            continue
        off = y * row_bytes
        for x in range(8 + seed % 5, row_bytes - 8, 3 + (y // 14 + seed) % 4):
            data[off + x] = 0xF0 if (x + seed) % 7 else 0x3C
    entries = [
        (256, 3, 1, width),  # ImageWidth
        (257, 3, 1, rows),  # ImageLength
        (258, 3, 1, 1),  # BitsPerSample
        (259, 3, 1, 1),  # Compression: none
        (262, 3, 1, 0),  # WhiteIsZero
        (273, 4, 1, 0),  # StripOffsets, patched below
        (277, 3, 1, 1),  # SamplesPerPixel
        (278, 4, 1, rows),  # RowsPerStrip
        (279, 4, 1, len(data)),  # StripByteCounts
        (282, 5, 1, 0),  # XResolution, patched below
        (283, 5, 1, 0),  # YResolution
        (296, 3, 1, 2),  # ResolutionUnit: inch
    ]
    ifd_size = 2 + 12 * len(entries) + 4
    rationals = 8 + ifd_size
    pixels = rationals + 16
    out = bytearray(b"II*\x00" + struct.pack("<I", 8))
    out += struct.pack("<H", len(entries))
    for tag, kind, count, value in entries:
        if tag == 273:
            value = pixels
        elif tag == 282:
            value = rationals
        elif tag == 283:
            value = rationals + 8
        if kind == 3:
            out += struct.pack("<HHIHH", tag, kind, count, value, 0)
        else:
            out += struct.pack("<HHII", tag, kind, count, value)
    out += struct.pack("<I", 0)
    out += struct.pack("<IIII", 204, 1, yres, 1)
    out += data
    return bytes(out)


class FaxMaker:
    """Faxes made by mkwinfax from Group 4 pages that tiffcp codes from our bilevel pages."""

    def __init__(self, mkwinfax, scratch):
        self.mkwinfax = mkwinfax
        self.scratch = scratch
        self.pages = {}
        os.makedirs(scratch, exist_ok=True)

    def page(self, seed):
        if seed not in self.pages:
            raw = os.path.join(self.scratch, f"raw-{seed}.tif")
            coded = os.path.join(self.scratch, f"g4-{seed}.tif")
            rows = 1100 if seed % 2 else 2200
            with open(raw, "wb") as f:
                f.write(bilevel_tiff(1728, rows, seed, 98 if seed % 2 else 196))
            subprocess.run(["tiffcp", "-c", "g4", "-r", "100000", raw, coded], check=True)
            self.pages[seed] = coded
        return self.pages[seed]

    def make(self, path, pages, seed=1, title=None):
        """A fax of `pages` pages at path; returns its page count."""
        os.makedirs(os.path.dirname(path), exist_ok=True)
        inputs = [self.page(seed + i) for i in range(pages)]
        command = [self.mkwinfax, "-o", path]
        if title:
            command += ["-t", title]
        subprocess.run(command + inputs, check=True)
        return pages


def set_times(root):
    for folder, _, files in os.walk(root):
        for name in files:
            os.utime(os.path.join(folder, name), (FAX_TIME, FAX_TIME))


def tree_files(root):
    """Every file below root, by its path relative to root (with /)."""
    found = {}
    for folder, _, files in os.walk(root):
        for name in files:
            full = os.path.join(folder, name)
            found[os.path.relpath(full, root).replace(os.sep, "/")] = full
    return found


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


# ---------------------------------------------------------------------------------------------
# The programs' imports

# Libraries that every 64-bit Windows 10 or 11 has in its system folder. Wine brings many more of
# its own (zlib1.dll among them), so a program that runs under Wine may still not start on
# Windows: "zlib1.dll was not found".
WINDOWS_DLLS = {
    "advapi32.dll", "bcrypt.dll", "comctl32.dll", "comdlg32.dll", "crypt32.dll", "dwmapi.dll",
    "gdi32.dll", "imm32.dll", "kernel32.dll", "msvcrt.dll", "netapi32.dll", "ntdll.dll",
    "ole32.dll", "oleaut32.dll", "secur32.dll", "setupapi.dll", "shell32.dll", "shlwapi.dll",
    "ucrtbase.dll", "user32.dll", "userenv.dll", "uxtheme.dll", "version.dll", "winmm.dll",
    "ws2_32.dll", "d3d11.dll", "d3d9.dll", "dxgi.dll", "opengl32.dll", "mpr.dll", "wtsapi32.dll",
}


def pe_imports(path):
    """The DLL names a 64-bit Windows program imports, read from its import table."""
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError(f"{path} is not a Windows program")
    sections, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    import_rva = struct.unpack_from("<I", data, directories + 8)[0]
    table = []
    for i in range(sections):
        at = optional + optional_size + 40 * i
        vsize, vaddr, rsize, raw = struct.unpack_from("<IIII", data, at + 8)
        table.append((vaddr, max(vsize, rsize), raw))

    def offset(rva):
        for vaddr, size, raw in table:
            if vaddr <= rva < vaddr + size:
                return raw + rva - vaddr
        raise ValueError(f"{path}: address {rva:#x} outside every section")

    names = []
    at = offset(import_rva) if import_rva else None
    while at is not None:
        entry = struct.unpack_from("<IIIII", data, at)
        if not any(entry):
            break
        start = offset(entry[3])
        names.append(data[start:data.index(b"\0", start)].decode("ascii"))
        at += 20
    return names


# ---------------------------------------------------------------------------------------------
# Runs and their comparison

PDF_DATE = re.compile(rb"\(D:[0-9]{4}[0-9Z+\-']*\)")
XMP_DATE = re.compile(rb"(<xmp:(?:CreateDate|ModifyDate|MetadataDate)>)[^<]*(</xmp:)")
PDF_ID = re.compile(rb"/ID\s*\[\s*<[0-9A-Fa-f]*>\s*<[0-9A-Fa-f]*>\s*\]")
LOG_DATE = re.compile(r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d(?=\r?$)", re.M)
BARE_LF = re.compile(r"(?<!\r)\n")
# Lines that Wine itself writes to a program's standard error (its own processes, started by the
# first program of a session, write to that program's): "wine: ...", "0084:err:...".
WINE_OWN_LINE = re.compile(r"^(wine: .*|[0-9a-f]{4}:(err|fixme|warn|trace):.*)\r?\n?", re.M)


def blank_pdf(data):
    """A PDF's bytes with its dates and identifier replaced by blanks of the same length, so
    that the cross-reference offsets still compare."""
    data = PDF_DATE.sub(lambda m: b"(" + b"D" * (len(m.group(0)) - 2) + b")", data)
    data = XMP_DATE.sub(lambda m: m.group(1) + b"D" * (len(m.group(0)) - len(m.group(1)) - len(m.group(2))) + m.group(2), data)
    return PDF_ID.sub(lambda m: b"I" * len(m.group(0)), data)


class Side:
    def __init__(self, name, root, command, to_arg):
        self.name = name
        self.root = root
        self.command = command
        self.to_arg = to_arg


class Driver:
    def __init__(self, args, checks):
        self.args = args
        self.c = checks
        self.work = os.path.abspath(args.work)
        self.faxes = FaxMaker(args.mkwinfax, os.path.join(self.work, "pages"))
        self.env = dict(os.environ, WINEDEBUG="-all", TZ="UTC")
        self.wine_seconds = 0.0
        self.wine_lines = []

    # Paths as each program is given them: the Linux path, or the same on Wine's Z: drive.
    @staticmethod
    def win_path(path):
        return "Z:" + path.replace("/", "\\")

    def sides(self, case):
        base = os.path.join(self.work, case)
        return (
            Side("windows", os.path.join(base, "win"), ["wine", self.args.exe], self.win_path),
            Side("linux", os.path.join(base, "lin"), [self.args.linux], lambda p: p),
        )

    def normalise(self, side, text, line_ends=True):
        """The case folder as <CASE>, / for \\ on Windows, the log's date line as <DATE>; with
        line_ends, CR LF as LF (what each system prints; the log files are written alike)."""
        if line_ends:
            text = text.replace("\r\n", "\n")
        text = text.replace(side.to_arg(side.root), "<CASE>")
        if side.name == "windows":
            text = text.replace("\\", "/")
        return LOG_DATE.sub("<DATE>", text)

    def run(self, side, options, cwd=None):
        """Runs one side with options in which {R} stands for the case's root on that side.
        Returns (exit status, normalised report, normalised standard error, raw report)."""
        argv = side.command + [o.replace("{R}", side.to_arg(side.root)) for o in options]
        start = time.monotonic()
        try:
            done = subprocess.run(argv, capture_output=True, env=self.env, cwd=cwd or side.root,
                                  timeout=RUN_TIMEOUT)
        except subprocess.TimeoutExpired:
            self.c.check(False, f"{side.name} run {' '.join(options)} ended within {RUN_TIMEOUT} s")
            return None, "", "", ""
        out = done.stdout.decode("utf-8", "replace")
        err = done.stderr.decode("utf-8", "replace")
        if side.name == "windows":
            # A crash of the program itself shows in its exit status, report and files.
            self.wine_lines += [m.group(1) for m in WINE_OWN_LINE.finditer(err)]
            err = WINE_OWN_LINE.sub("", err)
        if side.name == "windows":
            self.wine_seconds += time.monotonic() - start
            for name, text in [("report", out), ("standard error", err)]:
                self.c.check(not BARE_LF.search(text), f"the Windows {name} ends its lines with CR LF",
                             "no bare LF", text[:200])
        return done.returncode, self.normalise(side, out), self.normalise(side, err), out

    def build(self, case, maker):
        """Makes the case's input on both sides from one build; returns the sides and the
        digests of the inputs (faxes and anything else the case put there)."""
        win, lin = self.sides(case)
        shutil.rmtree(os.path.dirname(win.root), ignore_errors=True)
        os.makedirs(win.root)
        maker(win.root)
        set_times(win.root)
        shutil.copytree(win.root, lin.root, copy_function=shutil.copy2)
        inputs = {rel: digest(path) for rel, path in tree_files(win.root).items()}
        return win, lin, inputs

    def pair(self, win, lin, options, expect_status=None, compare=True):
        """Runs both sides with the same options; checks the Windows exit status and compares
        the two sides' report, standard error and log record. Returns the Windows report lines
        (normalised) and its exit status."""
        # Beside the case's folder, outside the files compared.
        log = "/log={R}.log-%d.txt" % self.pair_count(win)
        options = options + ([log] if compare else [])
        w_status, w_out, w_err, _ = self.run(win, options)
        what = " ".join(options)
        if expect_status is not None:
            self.c.check(w_status == expect_status, f"exit status of {what}", expect_status, w_status)
        if compare:
            l_status, l_out, l_err, _ = self.run(lin, options)
            self.c.check(w_status == l_status, f"same exit status as Linux: {what}", l_status, w_status)
            self.compare_text(w_out, l_out, f"report of {what}")
            self.compare_text(w_err, l_err, f"standard error of {what}")
            n = self.counter[win.root]
            w_log = self.read_log(win, n)
            l_log = self.read_log(lin, n)
            if w_status != 2:
                self.c.check(w_log is not None and w_log.strip(), f"a log record from {what}", "a record", w_log)
            self.compare_text(w_log or "", l_log or "", f"log record of {what}")
        return w_out.splitlines(), w_status, w_err

    counter = {}

    def pair_count(self, side):
        self.counter[side.root] = self.counter.get(side.root, 0) + 1
        return self.counter[side.root]

    def read_log(self, side, n):
        path = f"{side.root}.log-{n}.txt"
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return self.normalise(side, f.read().decode("utf-8", "replace"), line_ends=False)

    def compare_text(self, win_text, lin_text, what):
        if win_text == lin_text:
            self.c.check(True, what)
            return
        w, l = win_text.splitlines(), lin_text.splitlines()
        for i in range(max(len(w), len(l))):
            a = w[i] if i < len(w) else "<none>"
            b = l[i] if i < len(l) else "<none>"
            if a != b:
                self.c.check(False, f"{what}: Windows equals Linux (first difference, line {i + 1})", b, a)
                return
        self.c.check(False, f"{what}: Windows equals Linux", lin_text, win_text)

    def compare_trees(self, win, lin):
        """Every file the two sides hold after their runs: the same names, the same bytes (PDFs
        after blanking dates and /ID)."""
        w, l = tree_files(win.root), tree_files(lin.root)
        self.c.check(sorted(w) == sorted(l), "the same files on both sides",
                     sorted(set(l) - set(w)), sorted(set(w) - set(l)))
        for rel in sorted(set(w) & set(l)):
            with open(w[rel], "rb") as f:
                a = f.read()
            with open(l[rel], "rb") as f:
                b = f.read()
            if rel.lower().endswith(".pdf"):
                a, b = blank_pdf(a), blank_pdf(b)
            if a != b:
                at = next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))
                self.c.check(False, f"{rel} byte for byte as on Linux (first difference at byte {at})",
                             b[max(0, at - 40):at + 40], a[max(0, at - 40):at + 40])
            else:
                self.c.check(True, rel)

    def inputs_kept(self, side, inputs):
        now = tree_files(side.root)
        for rel, want in inputs.items():
            self.c.check(rel in now and digest(now[rel]) == want, f"{rel} unchanged by the run",
                         want, digest(now[rel]) if rel in now else "missing")

    def pdf_pages(self, path):
        if not shutil.which("qpdf"):
            return None
        done = subprocess.run(["qpdf", "--show-npages", path], capture_output=True, text=True)
        return int(done.stdout) if done.returncode == 0 else -1

    def report_entries(self, lines):
        """(fax, pdf, outcome, rest) of each report line."""
        return [m.groups() for m in map(REPORT_LINE.match, lines) if m]

    def local(self, side, shown):
        """The file a normalised report path names on this side."""
        return shown.replace("<CASE>", side.root)

    def expect_converted(self, win, lines, pages_of):
        """Every fax of pages_of (relative to the root) has one Success line whose PDF exists,
        with the fax's page count; no two faxes share a PDF."""
        entries = {e[0].replace("<CASE>/", ""): e for e in self.report_entries(lines)}
        seen = {}
        for fax, pages in pages_of.items():
            e = entries.get(fax)
            if not self.c.check(e is not None, f"a report line for {fax}", fax, lines):
                continue
            self.c.check(e[2] == "Success !", f"{fax} converted", "Success !", e[2] + e[3])
            pdf = self.local(win, e[1])
            self.c.check(pdf.lower() not in seen, f"{fax} has a PDF of its own", None, seen.get(pdf.lower()))
            seen[pdf.lower()] = fax
            if self.c.check(os.path.isfile(pdf), f"the PDF of {fax} exists", pdf, "missing"):
                n = self.pdf_pages(pdf)
                if n is not None:
                    self.c.check(n == pages, f"the PDF of {fax} has its pages", pages, n)
        return entries

    # -----------------------------------------------------------------------------------------
    # Cases

    def case(self, name):
        self.c.case = name
        print(f"case: {name}", flush=True)

    def samples(self):
        self.case("samples")
        src = self.args.samples

        def make(root):
            os.makedirs(os.path.join(root, "in"))
            for name in sorted(os.listdir(src)):
                if re.search(r"\.fx[dmrs]$", name, re.I):
                    shutil.copy2(os.path.join(src, name), os.path.join(root, "in", name))

        win, lin, inputs = self.build("samples", make)
        lines, status, _ = self.pair(win, lin, ["/d={R}/in", "/sd={R}/out"], expect_status=0)
        names = sorted(inputs)
        self.c.check(len(names) >= 1, "samples to convert", ">= 1", len(names))
        ok = [e for e in self.report_entries(lines) if e[2] == "Success !"]
        self.c.check(len(ok) == len(names), "every sample converted", len(names), len(ok))
        for e in ok:
            n = self.pdf_pages(self.local(win, e[1]))
            self.c.check(n is None or n >= 1, f"{e[1]} is a PDF with pages", ">= 1", n)
        # /l: each PDF takes its fax's times (SetFileTime on Windows).
        self.pair(win, lin, ["/d={R}/in", "/sd={R}/timed", "/l"], expect_status=0)
        for side in (win, lin):
            times = sorted({int(os.stat(p).st_mtime) for p in tree_files(os.path.join(side.root, "timed")).values()})
            self.c.check(times == [FAX_TIME], f"{side.name} /l: every PDF has its fax's modification time",
                         [FAX_TIME], times)
        # One sample alone, by /f= and /sf=.
        first = names[0]
        self.pair(win, lin, [f"/f={{R}}/{first}", "/sf={R}/one/single.pdf"], expect_status=0)
        self.inputs_kept(win, inputs)
        self.compare_trees(win, lin)

    def tree(self):
        self.case("tree /i /kh /skip /jobs=2")
        pages_of = {}

        def make(root):
            layout = ["a.fxs", "B.fxm", "2024/jan/c.fxr", "2024/jan/d.fxd", "2024/feb/e.fxs",
                      "2025/f.fxs", "2025/deep/er/g.fxm", "z.fxd"]
            for i, rel in enumerate(layout):
                pages_of["src/" + rel] = self.faxes.make(os.path.join(root, "src", rel), 1 + i % 3, seed=i)
            os.makedirs(os.path.join(root, "src", "empty"))

        win, lin, inputs = self.build("tree", make)
        options = ["/d={R}/src", "/sd={R}/pdf", "/i", "/kh", "/skip", "/jobs=2"]
        lines, _, _ = self.pair(win, lin, options, expect_status=0)
        self.expect_converted(win, lines, pages_of)
        for fax in pages_of:
            pdf = os.path.join(win.root, "pdf", os.path.splitext(fax[4:])[0] + ".pdf")
            self.c.check(os.path.isfile(pdf), f"{fax}'s PDF mirrors it at {pdf[len(win.root):]}", True, False)
        lines, _, _ = self.pair(win, lin, options, expect_status=0)
        outcomes = [e[2] for e in self.report_entries(lines)]
        self.c.check(outcomes == ["Skipped"] * len(pages_of), "the second run skips every fax",
                     ["Skipped"] * len(pages_of), outcomes)
        self.inputs_kept(win, inputs)
        self.compare_trees(win, lin)
        # A tree converted on one system is up to date for the other (a share used from both):
        # each side's /skip run over a copy of the other side's tree skips every fax.
        for side, other in [(win, lin), (lin, win)]:
            swapped = Side(side.name, side.root + "-other", side.command, side.to_arg)
            shutil.copytree(other.root, swapped.root, copy_function=shutil.copy2)
            status, out, _, _ = self.run(swapped, options)
            outcomes = [e[2] for e in self.report_entries(out.splitlines())]
            self.c.check(status == 0 and outcomes == ["Skipped"] * len(pages_of),
                         f"{side.name} /skip over the PDFs {other.name} made skips every fax",
                         ["Skipped"] * len(pages_of), outcomes)

    def clashes(self):
        self.case("name clashes")
        pages_of = {}

        def make(root):
            for i, rel in enumerate(["a.fxs", "a.fxm", "one/Memo.fxs", "two/memo.fxs", "two/MEMO.fxd"]):
                pages_of["src/" + rel] = self.faxes.make(os.path.join(root, "src", rel), 1 + i % 2, seed=10 + i)

        win, lin, inputs = self.build("clashes", make)
        lines, _, _ = self.pair(win, lin, ["/d={R}/src", "/sd={R}/pdf", "/i"], expect_status=0)
        entries = self.expect_converted(win, lines, pages_of)
        pdfs = [f for f in os.listdir(os.path.join(win.root, "pdf")) if f.endswith(".pdf")]
        self.c.check(len(pdfs) == len(pages_of), "one PDF per fax, none lost", len(pages_of), sorted(pdfs))
        moved = [e for e in entries.values() if "is the PDF of an earlier fax" in e[3]]
        self.c.check(len(moved) == 3, "the report names each PDF that took another name", 3,
                     [e[3] for e in entries.values()])
        self.inputs_kept(win, inputs)
        self.compare_trees(win, lin)

    def damaged(self):
        self.case("damaged and non-fax files")

        def make(root):
            src = os.path.join(root, "src")
            self.faxes.make(os.path.join(src, "good.fxs"), 1, seed=20)
            cut = os.path.join(src, "cut.fxm")
            self.faxes.make(cut, 2, seed=21)
            with open(cut, "r+b") as f:
                size = f.seek(0, 2)
                f.truncate(size * 3 // 4)  # the middle of the second page
            flipped = os.path.join(src, "flipped.fxr")
            self.faxes.make(flipped, 1, seed=22)
            with open(flipped, "r+b") as f:
                data = bytearray(f.read())
                for i in range(len(data) // 2, len(data) // 2 + 64):
                    data[i] ^= 0xFF
                f.seek(0)
                f.write(data)
            with open(os.path.join(src, "x.fxs"), "w") as f:
                f.write("not a fax at all, just a line of text\n")
            open(os.path.join(src, "empty.fxd"), "wb").close()

        win, lin, inputs = self.build("damaged", make)
        lines, status, err = self.pair(win, lin, ["/d={R}/src", "/sd={R}/pdf"], expect_status=1)
        entries = {e[0].rsplit("/", 1)[-1]: e for e in self.report_entries(lines)}
        for name, outcome in [("good.fxs", "Success !"), ("cut.fxm", "Success !"), ("flipped.fxr", "Success !"),
                              ("x.fxs", "Failed"), ("empty.fxd", "Failed")]:
            e = entries.get(name)
            if self.c.check(e is not None, f"a report line for {name}", name, lines):
                self.c.check(e[2] == outcome, f"{name}: {outcome}", outcome, e[2] + e[3])
        cut = entries.get("cut.fxm")
        if cut:
            self.c.check("page 2" in cut[3], "the cut fax's line names its damaged page", "page 2 ...", cut[3])
        self.c.check(err.strip() != "", "standard error says that files failed", "a message", err)
        self.inputs_kept(win, inputs)
        self.compare_trees(win, lin)

    def statuses(self):
        self.case("exit statuses")

        def make(root):
            self.faxes.make(os.path.join(root, "src", "a.fxs"), 1, seed=30)

        win, lin, inputs = self.build("statuses", make)
        self.pair(win, lin, ["/d={R}/src", "/sd={R}/pdf"], expect_status=0)
        self.pair(win, lin, ["/d={R}/no-such-folder", "/sd={R}/pdf2"], expect_status=2)
        self.pair(win, lin, ["/f={R}/src/missing.fxs", "/sf={R}/pdf3/m.pdf"], expect_status=1)
        self.pair(win, lin, ["/d={R}/src", "/sd="], expect_status=2)
        # What this build refuses: proof by reading back, and text recognition.
        for option in ["/verify", "/ocr"]:
            _, status, err = self.pair(win, lin, ["/d={R}/src", "/sd={R}/pdf4", option], expect_status=2,
                                       compare=False)
            self.c.check(err.strip() != "", f"{option}: standard error says why", "a message", err)
        self.c.check(not os.path.exists(os.path.join(win.root, "pdf4")), "a refused run writes no PDF", False, True)
        self.inputs_kept(win, inputs)

    def unicode_names(self):
        self.case("Unicode names")
        pages_of = {}

        def make(root):
            pages_of["src/传真.fxs"] = self.faxes.make(os.path.join(root, "src", "传真.fxs"), 2, seed=40)
            pages_of["src/Ελλάδα/fax.fxm"] = self.faxes.make(os.path.join(root, "src", "Ελλάδα", "fax.fxm"), 1,
                                                             seed=41, title="Ελλάδα 传真")

        win, lin, inputs = self.build("unicode", make)
        lines, _, _ = self.pair(win, lin, ["/d={R}/src", "/sd={R}/pdf", "/i", "/kh"], expect_status=0)
        self.expect_converted(win, lines, pages_of)
        for rel in ["pdf/传真.pdf", "pdf/Ελλάδα/fax.pdf"]:
            self.c.check(os.path.isfile(os.path.join(win.root, rel)), f"{rel} carries the fax's name", True, False)
        self.pair(win, lin, ["/f={R}/src/Ελλάδα/fax.fxm", "/sf={R}/one/Ελλάδα.pdf"], expect_status=0)
        self.c.check(os.path.isfile(os.path.join(win.root, "one", "Ελλάδα.pdf")), "/sf= with a Greek name", True, False)
        self.inputs_kept(win, inputs)
        self.compare_trees(win, lin)

    def long_path(self):
        self.case("path over 260 characters")
        pages_of = {}
        deep = "/".join(f"folder-{i}-" + "x" * 50 for i in range(5))

        def make(root):
            pages_of["src/" + deep + "/fax.fxs"] = self.faxes.make(os.path.join(root, "src", deep, "fax.fxs"), 2,
                                                                    seed=50)

        win, lin, inputs = self.build("long", make)
        fax = os.path.join(win.root, "src", deep, "fax.fxs")
        self.c.check(len(self.win_path(fax)) > WIN_MAX_PATH, "the fax's path is over 260 characters",
                     f"> {WIN_MAX_PATH}", len(self.win_path(fax)))
        lines, _, _ = self.pair(win, lin, ["/d={R}/src", "/sd={R}/pdf", "/i", "/kh"], expect_status=0)
        self.expect_converted(win, lines, pages_of)
        pdf = os.path.join(win.root, "pdf", deep, "fax.pdf")
        self.c.check(os.path.isfile(pdf) and len(self.win_path(pdf)) > WIN_MAX_PATH,
                     "its PDF at a path over 260 characters", pdf, os.path.isfile(pdf))
        self.pair(win, lin, [f"/f={{R}}/src/{deep}/fax.fxs", f"/sf={{R}}/one/{deep}/single.pdf"], expect_status=0)
        self.c.check(os.path.isfile(os.path.join(win.root, "one", deep, "single.pdf")), "/f= /sf= with long paths",
                     True, False)
        self.inputs_kept(win, inputs)
        self.compare_trees(win, lin)

    def own_fax(self):
        self.case("a PDF over its own fax")

        def make(root):
            d = os.path.join(root, "d")
            self.faxes.make(os.path.join(d, "x.fxs"), 1, seed=60)
            self.faxes.make(os.path.join(d, "y.fxm"), 1, seed=61)
            # Faxes by their content, named as the PDFs of the two above would be.
            self.faxes.make(os.path.join(d, "x.pdf"), 1, seed=62)
            self.faxes.make(os.path.join(d, "y.fxm.pdf"), 1, seed=63)

        win, lin, inputs = self.build("ownfax", make)
        lines, _, _ = self.pair(win, lin, ["/f={R}/d/x.fxs", "/sf={R}/d/x.fxs"], expect_status=1)
        self.c.check(any(" : Failed" in l for l in lines), "/sf= naming the fax itself is refused", "Failed", lines)
        self.pair(win, lin, ["/f={R}/d/x.fxs", "/sf={R}/d/y.fxm"], expect_status=1)
        # Windows names are one file in any case (Wine's drives too); Linux ones are not, so this
        # one is the Windows program's alone.
        lines, _, _ = self.pair(win, lin, ["/f={R}/d/x.fxs", "/sf={R}/D/X.FXS"], expect_status=1, compare=False)
        self.c.check(any(" : Failed" in l for l in lines), "/sf= naming the fax in another case is refused",
                     "Failed", lines)
        lines, _, _ = self.pair(win, lin, ["/d={R}/d", "/sd={R}/d"], expect_status=1)
        entries = {e[0].rsplit("/", 1)[-1]: e for e in self.report_entries(lines)}
        self.c.check(entries.get("x.fxs", ("",) * 4)[2] == "Failed", "x.fxs refused: its PDF name is a fax",
                     "Failed", entries.get("x.fxs"))
        lines, _, _ = self.pair(win, lin, ["/d={R}/d", "/sd={R}/d", "/ke"], expect_status=1)
        entries = {e[0].rsplit("/", 1)[-1]: e for e in self.report_entries(lines)}
        self.c.check(entries.get("y.fxm", ("",) * 4)[2] == "Failed", "y.fxm refused with /ke: y.fxm.pdf is a fax",
                     "Failed", entries.get("y.fxm"))
        self.c.check(entries.get("x.fxs", ("",) * 4)[2] == "Success !", "x.fxs converted with /ke",
                     "Success !", entries.get("x.fxs"))
        self.inputs_kept(win, inputs)
        self.compare_trees(win, lin)

    def default_log(self):
        self.case("the log's default place")

        def make(root):
            os.makedirs(os.path.join(root, "in"))
            self.faxes.make(os.path.join(root, "in", "a.fxs"), 1, seed=70)

        win, lin, inputs = self.build("portable", make)
        # A portable copy: the log beside the program, as the Linux program keeps it.
        base = os.path.dirname(win.root)
        wexe = os.path.join(base, "win-program", "trelvanec.exe")
        lexe = os.path.join(base, "lin-program", "trelvane")
        for program, copy in [(self.args.exe, wexe), (self.args.linux, lexe)]:
            os.makedirs(os.path.dirname(copy))
            shutil.copy2(program, copy)
        portable_win = Side("windows", win.root, ["wine", wexe], self.win_path)
        portable_lin = Side("linux", lin.root, [lexe], lambda p: p)
        options = ["/d={R}/in", "/sd={R}/out"]
        w_status, w_out, _, _ = self.run(portable_win, options)
        l_status, l_out, _, _ = self.run(portable_lin, options)
        self.c.check(w_status == 0 and l_status == 0, "both runs convert", (0, 0), (w_status, l_status))
        self.compare_text(w_out, l_out, "report of a portable copy's run")
        logs = []
        for side, exe in [(portable_win, wexe), (portable_lin, lexe)]:
            path = os.path.join(os.path.dirname(exe), "log", "tvnlog.txt")
            if self.c.check(os.path.isfile(path), f"{side.name}: the log beside the program", path, "missing"):
                with open(path, "rb") as f:
                    logs.append(self.normalise(side, f.read().decode("utf-8", "replace"), line_ends=False))
        if len(logs) == 2:
            self.compare_text(logs[0], logs[1], "log record beside the program")
        # An installed copy (below Program Files) keeps its log in the user's local application
        # data, never in the installation folder.
        prefix = os.environ.get("WINEPREFIX") or os.path.expanduser("~/.wine")
        installed = os.path.join(prefix, "drive_c", "Program Files", "Trelvane-e2e")
        shutil.rmtree(installed, ignore_errors=True)
        os.makedirs(installed)
        shutil.copy2(self.args.exe, os.path.join(installed, "trelvanec.exe"))
        local_logs = os.path.join(prefix, "drive_c", "users")
        marker = "/sd={R}/installed-" + str(os.getpid())
        try:
            side = Side("windows", win.root,
                        ["wine", "C:\\Program Files\\Trelvane-e2e\\trelvanec.exe"], self.win_path)
            status, _, _, _ = self.run(side, ["/d={R}/in", marker])
            self.c.check(status == 0, "an installed copy converts", 0, status)
            found = []
            for user in os.listdir(local_logs) if os.path.isdir(local_logs) else []:
                path = os.path.join(local_logs, user, "AppData", "Local", "Trelvane", "log", "tvnlog.txt")
                if os.path.isfile(path):
                    with open(path, "rb") as f:
                        if marker.split("}/")[1].encode() in f.read():
                            found.append(path)
            self.c.check(len(found) == 1, "an installed copy's log in %LOCALAPPDATA%\\Trelvane\\log",
                         "one tvnlog.txt naming this run", found)
            self.c.check(not os.path.exists(os.path.join(installed, "log")),
                         "no log in the installation folder", False, True)
        finally:
            shutil.rmtree(installed, ignore_errors=True)
        self.inputs_kept(win, inputs)

    def interrupt(self):
        self.case("interrupted by Ctrl+C")
        count = 40

        def make(root):
            for i in range(count):
                self.faxes.make(os.path.join(root, "in", f"f{i:02d}.fxs"), 4, seed=80 + i % 5)

        win, _, inputs = self.build("interrupt", make)
        prefix = os.environ.get("WINEPREFIX") or os.path.expanduser("~/.wine")
        temp = [os.path.join(prefix, "drive_c", "users", u, "Temp") for u in os.listdir(
            os.path.join(prefix, "drive_c", "users"))] if os.path.isdir(os.path.join(prefix, "drive_c", "users")) else []
        listing = lambda: sorted(n for t in temp if os.path.isdir(t) for n in os.listdir(t))
        temp_before = listing()
        out = os.path.join(win.root, "out")
        argv = ["wine", self.args.exe, f"/d={self.win_path(win.root)}\\in", f"/sd={self.win_path(out)}", "/jobs=1",
                f"/log={self.win_path(win.root)}.log"]
        # Wine turns SIGINT into the console's Ctrl+C event, as a console window's Ctrl+C.
        proc = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=self.env)
        deadline = time.monotonic() + RUN_TIMEOUT
        while proc.poll() is None and time.monotonic() < deadline:
            if os.path.isdir(out) and any(n.endswith(".pdf") for n in os.listdir(out)):
                break
            time.sleep(0.005)
        proc.send_signal(signal.SIGINT)
        try:
            stdout, stderr = proc.communicate(timeout=RUN_TIMEOUT)
        except subprocess.TimeoutExpired:
            proc.kill()
            self.c.check(False, "the interrupted run ends")
            return
        report = self.normalise(win, stdout.decode("utf-8", "replace"))
        if proc.returncode == 0:
            print("case inconclusive: the run ended before Ctrl+C reached it", flush=True)
            return
        self.c.check(proc.returncode == 130, "exit status after Ctrl+C", 130, proc.returncode)
        last = report.strip().splitlines()[-1] if report.strip() else ""
        m = re.match(r"Interrupted by SIGINT: (\d+) of (\d+) files not converted$", last)
        if self.c.check(m is not None, "the report ends with the interruption", "Interrupted by SIGINT: N of M ...", last):
            left, total = int(m.group(1)), int(m.group(2))
            self.c.check(total == count and 0 < left < count, "some files done, some left", f"0 < N < {count}", left)
            converted = [e for e in self.report_entries(report.splitlines()) if e[2] == "Success !"]
            made = sorted(os.listdir(out))
            self.c.check(made == sorted(os.path.basename(e[1]) for e in converted),
                         "the folder holds exactly the PDFs the report names, no partial file",
                         [os.path.basename(e[1]) for e in converted], made)
            self.c.check(len(made) == count - left, "finished PDFs and the files left add up", count - left, len(made))
            for name in made:
                n = self.pdf_pages(os.path.join(out, name))
                self.c.check(n is None or n == 4, f"{name} is whole", 4, n)
        with open(win.root + ".log", "rb") as f:
            record = f.read().decode("utf-8", "replace")
        self.c.check("Interrupted by SIGINT" in record, "the log record names the interruption", "Interrupted ...",
                     record[-200:])
        self.c.check(listing() == temp_before, "no work file left in %TEMP%", temp_before, listing())
        self.inputs_kept(win, inputs)

    def imports(self):
        self.case("the programs' libraries")
        folder = os.path.dirname(self.args.exe)
        for name in ["trelvanec.exe", "trelvane.exe"]:
            path = os.path.join(folder, name)
            if not os.path.isfile(path):
                continue
            beside = {f.lower() for f in os.listdir(folder)}
            dlls = pe_imports(path)
            self.c.check(any(d.lower() == "kernel32.dll" for d in dlls), f"{name}: its import table read",
                         "KERNEL32.dll among them", dlls)
            missing = [d for d in dlls if d.lower() not in WINDOWS_DLLS and not d.lower().startswith("api-ms-win-")
                       and d.lower() not in beside]
            self.c.check(not missing, f"{name} needs no library that Windows lacks and the program does not bring",
                         "system libraries only", missing)

    def corpus(self):
        self.case("bench corpus")
        if not self.args.corpus:
            print("case skipped: no --corpus given (the bench corpus is made by make bench)", flush=True)
            return
        src = os.path.abspath(self.args.corpus)
        pages_of = {}

        def make(root):
            shutil.copytree(src, os.path.join(root, "src"), copy_function=shutil.copy2)

        win, lin, inputs = self.build("corpus", make)
        lines, _, _ = self.pair(win, lin, ["/d={R}/src", "/sd={R}/pdf", "/i", "/kh", "/jobs=2"], expect_status=0)
        ok = [e for e in self.report_entries(lines) if e[2] == "Success !"]
        self.c.check(len(ok) == len(inputs), "every corpus fax converted", len(inputs), len(ok))
        self.inputs_kept(win, inputs)
        self.compare_trees(win, lin)


def start_wine_session(exe):
    """Keeps one Wine server for the whole run, its helper processes (services, devices) started
    by a first run whose output goes nowhere, so that what they print cannot land in a case's
    standard error. Returns the server process, or None when another one was kept running."""
    env = dict(os.environ, WINEDEBUG="-all")
    subprocess.run(["wine", exe, "--version"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        subprocess.run(["wineserver", "-w"], env=env, timeout=20)
    except subprocess.TimeoutExpired:
        return None  # a server kept by its owner: its helpers are running already
    server = subprocess.Popen(["wineserver", "-f", "-p"], env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    subprocess.run(["wine", exe, "--version"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return server


def stop_wine_session(server):
    if server is not None:
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEDEBUG="-all"))
        server.wait(timeout=30)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--exe", required=True, help="trelvanec.exe")
    parser.add_argument("--linux", required=True, help="the Linux trelvane")
    parser.add_argument("--mkwinfax", required=True)
    parser.add_argument("--samples", required=True, help="the folder of sample faxes")
    parser.add_argument("--corpus", help="the bench corpus's fax folder (bench/corpus/fax)")
    parser.add_argument("--work", required=True, help="a scratch folder, emptied first")
    parser.add_argument("--only", help="run only the cases whose name holds this text")
    args = parser.parse_args()
    for tool in ["wine", "tiffcp"]:
        if not shutil.which(tool):
            print(f"wine_e2e: the tool '{tool}' is missing", file=sys.stderr)
            return 2
    for path in [args.exe, args.linux, args.mkwinfax]:
        if not os.path.isfile(path):
            print(f"wine_e2e: {path} does not exist; build it first", file=sys.stderr)
            return 2
    args.exe, args.linux, args.mkwinfax = map(os.path.abspath, (args.exe, args.linux, args.mkwinfax))
    if "WINEPREFIX" not in os.environ:
        print("wine_e2e: WINEPREFIX is not set; the runs use ~/.wine", file=sys.stderr)
    shutil.rmtree(args.work, ignore_errors=True)
    session = start_wine_session(args.exe)
    os.makedirs(args.work)
    checks = Checks()
    driver = Driver(args, checks)
    start = time.monotonic()
    cases = [driver.imports, driver.samples, driver.tree, driver.clashes, driver.damaged, driver.statuses,
             driver.unicode_names, driver.long_path, driver.own_fax, driver.default_log, driver.interrupt,
             driver.corpus]
    for case in cases:
        if args.only and args.only not in case.__name__:
            continue
        try:
            case()
        except Exception as e:  # a case that breaks is a failure, the others still run
            checks.check(False, f"the case ran to its end ({type(e).__name__}: {e})")
    took = time.monotonic() - start
    stop_wine_session(session)
    if driver.wine_lines:
        print(f"note: Wine wrote {len(driver.wine_lines)} lines of its own to standard error, left out "
              f"of the comparison; the first: {driver.wine_lines[0]}")
    print(f"wine_e2e: {checks.passed} checks passed, {len(checks.failed)} failed, in {took:.0f} s "
          f"({driver.wine_seconds:.0f} s in Windows runs)")
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main())
