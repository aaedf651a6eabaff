#!/usr/bin/env python3
"""Strivo's figures beside their yardsticks, measured in one run: `make bench`.

    scripts/bench.py BUILD_DIR

Every figure runs the real programs (strivo-cli against strivo-sim, each in a
process of its own) with a configuration and a store of its own, and is the
median of N rounds; a figure and its yardstick take turns round by round, so
both see the same machine. Time is wall time from start to exit; memory is the
peak resident set of the whole process, as the kernel reports it for a child
that ended (wait4's ru_maxrss). One table is printed at the end.

Environment:
    STRIVO_BENCH_ROUNDS  N, the rounds of each figure (default 5)
    STRIVO_BENCH_ONLY    a regular expression: only the figures whose names match
    STRIVO_BENCH_WORK    where configurations and stores go, removed at the end
                         (default BUILD_DIR/bench-work)

Adding a figure: a Job says what runs (its steps, and what happens before each
round, untimed); a Figure names a job's measure, its yardstick (another job's
measure, or none) and its goal. See JOBS and FIGURES at the end.
"""

import gzip
import os
import re
import shlex
import shutil
import socket
import sqlite3
import statistics
import struct
import subprocess
import sys
import tempfile
import time
import zipfile
from contextlib import closing
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable, Optional
from urllib.parse import quote

ROUNDS = int(os.environ.get("STRIVO_BENCH_ROUNDS", "5"))
ONLY = re.compile(os.environ.get("STRIVO_BENCH_ONLY", ""))

if len(sys.argv) != 2:
    sys.exit(__doc__)
BUILD = Path(sys.argv[1]).resolve()
WORK = Path(os.environ.get("STRIVO_BENCH_WORK", BUILD / "bench-work")).resolve()
CLI = BUILD / "src/app/strivo-cli"
SIM = BUILD / "sim/strivo-sim"
READ_RUN_LIST = BUILD / "bench/runservice/bench_read_run_list"
SYNC_PIPELINE = BUILD / "bench/app/bench_sync_pipeline"
WINDOW_STORE = BUILD / "bench/store/bench_window_store"
RUN_LOG = BUILD / "bench/ui/bench_run_log"

# The demo accounts strivo-sim serves (sim/README.md).
SERVICE_USER, SERVICE_PASSWORD = "demo.runner@strivo.example", "spring run&go"
SITE_USER, SITE_PASSWORD = "李昞赟", "run log&1"

MIB = 1 << 20


STARTED = time.monotonic()


def say(text):
    print(f"[{time.monotonic() - STARTED:4.0f} s] {text}", file=sys.stderr, flush=True)


# ---------------------------------------------------------------- one run


@dataclass
class Sample:
    seconds: float
    peak_kib: int
    status: int  # the exit status; 128 + N when signal N ended it
    stdout: str  # kept only when the command asks for it
    stderr_tail: str  # its last two lines


@dataclass
class Command:
    argv: list  # a list, or one string for bash
    keep_stdout: bool = False


def run(command: Command) -> Sample:
    """Runs `command` to its end; its output goes to files, not pipes, so
    neither side waits for the other."""
    argv = command.argv
    if not isinstance(argv, list):
        argv = ["bash", "-o", "pipefail", "-c", argv]
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        start = time.perf_counter()
        child = subprocess.Popen(
            [str(a) for a in argv],
            stdin=subprocess.DEVNULL,
            stdout=out if command.keep_stdout else subprocess.DEVNULL,
            stderr=err,
        )
        _, status, usage = os.wait4(child.pid, 0)
        seconds = time.perf_counter() - start
        child.returncode = os.waitstatus_to_exitcode(status)
        out.seek(0)
        err.seek(0)
        said = err.read()[-2000:].decode("utf-8", "replace").strip().splitlines()
        return Sample(
            seconds=seconds,
            peak_kib=usage.ru_maxrss,
            status=child.returncode if child.returncode >= 0 else 128 - child.returncode,
            stdout=out.read().decode("utf-8", "replace") if command.keep_stdout else "",
            stderr_tail=" / ".join(said[-2:]),
        )


# ---------------------------------------------------------------- the stand-ins


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class StandIns:
    """strivo-sim with `args`, started when first needed. Stand-ins that share
    a `port` (the store keys runs by the run service's host and port) take
    turns: starting one stops the other."""

    running = {}  # port -> StandIns

    def __init__(self, name, args, port=None):
        self.name, self.args, self.fixed_port = name, args, port
        self.process = None
        self.folder = WORK / "sim" / name
        self.https_port = self.site_port = None

    def start(self):
        if self.process is not None:
            return self
        if self.fixed_port is not None:
            other = StandIns.running.get(self.fixed_port)
            if other is not None:
                other.stop()
        shutil.rmtree(self.folder, ignore_errors=True)
        self.folder.mkdir(parents=True)
        say(f"  starting strivo-sim {' '.join(self.args)}")
        ports = ["--https-port", str(self.fixed_port)] if self.fixed_port else []
        self.process = subprocess.Popen(
            [SIM, *self.args, *ports, "--ca-out", self.folder / "ca.pem"],
            stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT,
            encoding="utf-8",
            errors="replace",
        )
        section = None
        for line in self.process.stdout:
            line = line.strip()
            if line.startswith("["):
                section = line
            elif line.startswith("https_port="):
                self.https_port = int(line.split("=")[1])
            elif line.startswith("http_port=") and section == "[kelvora]":
                self.site_port = int(line.split("=")[1])
                break
        if self.site_port is None:
            raise RuntimeError(f"strivo-sim {self.args} did not start")
        # Its first run list, untimed: the rounds find it warmed up.
        warm = run(Command(self.curl_words()))
        if warm.status != 0:
            raise RuntimeError(f"strivo-sim {self.args} did not serve its run list")
        if self.fixed_port is not None:
            StandIns.running[self.fixed_port] = self
        return self

    def stop(self):
        if self.process is None:
            return
        self.process.terminate()
        self.process.wait()
        self.process = None
        if StandIns.running.get(self.fixed_port) is self:
            del StandIns.running[self.fixed_port]

    def config(self, folder: Path) -> Path:
        """A config.ini in `folder` (the store, strivo.db, lies beside it)
        pointing at these stand-ins, with both accounts' passwords."""
        self.start()
        folder.mkdir(parents=True, exist_ok=True)
        text = (
            f"[nike+]\r\nuser={SERVICE_USER}\r\npwd={SERVICE_PASSWORD}\r\nhost=127.0.0.1\r\n"
            f"https_port={self.https_port}\r\ncafile={self.folder / 'ca.pem'}\r\n"
            f"[kelvora]\r\nuser={SITE_USER}\r\npwd={SITE_PASSWORD}\r\nhost=127.0.0.1\r\n"
            f"http_port={self.site_port}\r\n"
        )
        path = folder / "config.ini"
        path.write_bytes(text.encode("cp936"))
        return path

    def curl(self, *, last_to_stdout=False):
        """curl making the requests of a download: the sign-in, the account
        data and the run list, over one connection; it prints the list's size,
        or sends the list to standard output."""
        self.start()
        return " ".join(shlex.quote(str(w)) for w in self.curl_words(last_to_stdout))

    def curl_words(self, last_to_stdout=False):
        base = f"https://127.0.0.1:{self.https_port}/nikeplus/v1/services"
        sign_in = (
            f"{base}/widget/generate_pin.jsp?login={quote(SERVICE_USER, safe='')}"
            f"&password={quote(SERVICE_PASSWORD, safe='')}"
        )
        words = ["curl", "-s", "--fail", "--cacert", self.folder / "ca.pem", "-b", ""]
        words += [sign_in, "-o", "/dev/null", f"{base}/app/get_user_data.jsp", "-o", "/dev/null"]
        words += [f"{base}/app/run_list.jsp"]
        if not last_to_stdout:
            words += ["-o", "/dev/null", "-w", "%{size_download}\\n"]
        return words


def stop_all_stand_ins():
    for stand_ins in STAND_INS.values():
        stand_ins.stop()


def reset(folder: Path):
    """The folder empty: a new store at the next run."""
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)


def new_store(job):
    reset(job.folder)


def stored_runs(folder: Path) -> int:
    with closing(sqlite3.connect(f"file:{folder / 'strivo.db'}?mode=ro", uri=True)) as db:
        return db.execute("SELECT count(*) FROM runs").fetchone()[0]


def cli_has(command: str) -> Optional[str]:
    """None when strivo-cli has `command`, else why the figure is skipped."""
    help_text = subprocess.run([CLI, "--help"], capture_output=True, text=True).stdout
    return None if re.search(rf"strivo-cli {command}\b", help_text) else "not built yet"


# ---------------------------------------------------------------- jobs and figures


@dataclass(eq=False)
class Job:
    """What is measured: its steps run one after another in each round, each a
    Command (or a function of the job's folder giving one). `prepare` runs
    once, `before` before each round, neither timed; `skip` may give a reason
    not to run it at all."""

    name: str
    steps: list
    prepare: Optional[Callable[["Job"], None]] = None
    before: Optional[Callable[["Job"], None]] = None
    after: Optional[Callable[["Job"], None]] = None
    skip: Optional[Callable[[], Optional[str]]] = None
    samples: list = field(default_factory=list)  # per round, a Sample per step
    skipped: Optional[str] = None
    broken: Optional[str] = None

    @property
    def folder(self) -> Path:
        return WORK / re.sub(r"[^A-Za-z0-9]+", "-", self.name).strip("-")

    def command(self, step) -> Command:
        made = self.steps[step]
        return made(self) if callable(made) else made

    def start(self) -> bool:
        if self.skipped is None and self.skip is not None:
            self.skipped = self.skip()
        if self.skipped is not None:
            return False
        if self.prepare is not None and not self.samples:
            say(f"  preparing {self.name}")
            self.prepare(self)
        return True

    def measure_round(self):
        if self.before is not None:
            self.before(self)
        say(f"  {self.name}, round {len(self.samples) + 1} of {ROUNDS}")
        self.samples.append([run(self.command(step)) for step in range(len(self.steps))])
        if self.after is not None:
            self.after(self)

    # What a figure takes of it.
    def seconds(self, step=0):
        return Measure(self, step, "s", lambda s: s.seconds)

    def peak(self, step=0):
        return Measure(self, step, "MiB", lambda s: s.peak_kib / 1024)

    def printed(self, label, unit, times=1, step=0):
        """What the step printed itself on its line beginning with `label`:
        its seconds, or its peak in MiB; `times` that."""
        pattern = r"([0-9.]+) s\b" if unit == "s" else r"peak ([0-9.]+) MiB"

        def of(sample):
            for line in sample.stdout.splitlines():
                if line.startswith(label):
                    return times * float(re.search(pattern, line).group(1))
            raise RuntimeError(f"{self.name}: no line beginning with {label!r}")

        return Measure(self, step, unit, of, f"({times} ×)" if times != 1 else "")

    def body(self, step=0):
        """The size of the last number it printed (curl's size_download)."""
        return Measure(self, step, "MiB", lambda s: int(s.stdout.split()[-1]) / MIB, "body")


@dataclass
class Measure:
    job: Job
    step: int
    unit: str
    of: Callable[[Sample], float]
    what: str = ""

    def value(self):
        """The median over the rounds, or why there is none."""
        rounds = [samples[self.step] for samples in self.job.samples]
        failed = [s for s in rounds if s.status != 0]
        if failed:
            said = failed[0].stderr_tail.replace("strivo-cli: ", "")
            return None, f"exit {failed[0].status}: {said}"
        return statistics.median(self.of(s) for s in rounds), None

    def shown(self, value):
        text = f"{value:.3f} s" if self.unit == "s" else f"{value:.1f} MiB"
        return f"{text} {self.what}".strip()


@dataclass
class Goal:
    limit: float
    ratio: bool  # the figure over its yardstick, or the figure itself

    def __str__(self):
        return f"≤ {self.limit:g}×" if self.ratio else f"≤ {self.limit:g}"


def ratio(limit):
    return Goal(limit, True)


def at_most(limit):
    return Goal(limit, False)


@dataclass
class Figure:
    name: str
    figure: Measure
    yardstick: Optional[Measure]
    goal: Optional[Goal]  # None: shown for information

    def jobs(self):
        return [self.figure.job] + ([self.yardstick.job] if self.yardstick else [])

    def row(self):
        """The table's cells, and why a figure failed (or None)."""
        for job in self.jobs():
            if job.skipped:
                return [self.name, "", "", "", self.goal_text(), f"skipped: {job.skipped}"], None
            if job.broken:
                return [self.name, "", "", "", self.goal_text(), "failed"], job.broken
        value, why = self.figure.value()
        yard, yard_why = self.yardstick.value() if self.yardstick else (None, None)
        figure_text = self.figure.shown(value) if why is None else ""
        yard_text = (
            "" if not self.yardstick else self.yardstick.shown(yard) if yard_why is None else ""
        )
        if why or yard_why:
            cells = [self.name, figure_text, yard_text, "", self.goal_text(), "failed"]
            return cells, why or yard_why
        quotient = value / yard if self.yardstick else None
        ratio_text = f"{quotient:.2f}×" if quotient is not None else ""
        if self.goal is None:
            met = "(information)"
        else:
            compared = quotient if self.goal.ratio else value
            met = "yes" if compared <= self.goal.limit else "NO"
        return [self.name, figure_text, yard_text, ratio_text, self.goal_text(), met], None

    def goal_text(self):
        if self.goal is None:
            return ""
        return str(self.goal) if self.goal.ratio else f"≤ {self.goal.limit:g} {self.figure.unit}"


def measure(figures):
    """Each job a figure needs is measured once, in ROUNDS rounds; the jobs of
    one figure take turns round by round. A job that breaks (its preparation
    fails, or what it checks after a round) is shown as failed, and the rest
    go on."""
    for figure in figures:
        pending = []
        for job in figure.jobs():
            if job in pending or job.samples or job.broken:
                continue
            try:
                if job.start():
                    pending.append(job)
            except (RuntimeError, OSError, subprocess.CalledProcessError) as error:
                job.broken = str(error)
        if pending:
            say(f"{figure.name}")
        for _ in range(ROUNDS):
            for job in [job for job in pending if not job.broken]:
                try:
                    job.measure_round()
                except (RuntimeError, OSError, sqlite3.Error) as error:
                    job.broken = str(error)


def print_table(figures):
    header = ["figure", "value", "yardstick", "ratio", "goal", "met"]
    rows, notes = [header], []
    for figure in figures:
        row, why = figure.row()
        if why is not None:
            if why not in notes:
                notes.append(why)
            row[-1] += f" [{notes.index(why) + 1}]"
        rows.append(row)
    widths = [max(len(row[column]) for row in rows) for column in range(len(header))]
    line = lambda row: "| " + " | ".join(c.ljust(w) for c, w in zip(row, widths)) + " |"
    version = subprocess.run([CLI, "--version"], capture_output=True, text=True).stdout.strip()
    print(f"{version} ({BUILD}), {os.cpu_count()} cores: medians of {ROUNDS} rounds")
    print(line(header))
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for row in rows[1:]:
        print(line(row))
    for number, why in enumerate(notes, 1):
        print(f"[{number}] {why}")


# ---------------------------------------------------------------- files to import

# Files to import, made once and kept in the build folder: a run of an hour
# a file, a point a second, each on a day of its own, as GPX and as a FIT
# activity file (gpsbabel writes FIT courses, not activities).
IMPORT_FILES = BUILD / "bench-cache" / "import-files-v1"
FIT_EPOCH = 631065600  # 1989-12-31T00:00:00Z in Unix time
FIT_CRC = [0x0000, 0xCC01, 0xD801, 0x1400, 0xF001, 0x3C00, 0x2800, 0xE401,
           0xA001, 0x6C00, 0x7800, 0xB401, 0x5000, 0x9C01, 0x8801, 0x4400]


def fit_crc(data, crc=0):
    for byte in data:
        for nibble in (byte & 0xF, byte >> 4):
            crc = (crc >> 4) ^ FIT_CRC[crc & 0xF] ^ FIT_CRC[nibble]
    return crc


def fit_activity(start, points):
    """A FIT activity of one running session and one lap: `points` are
    (seconds from `start`, latitude, longitude, metres)."""
    # local number: (global number, [(field, base type, struct format)])
    kinds = {
        0: (0, [(0, 0x00, "B"), (1, 0x84, "H"), (2, 0x84, "H"), (4, 0x86, "I")]),  # file_id
        1: (20, [(253, 0x86, "I"), (0, 0x85, "i"), (1, 0x85, "i"), (5, 0x86, "I")]),  # record
        2: (19, [(253, 0x86, "I"), (2, 0x86, "I"), (7, 0x86, "I"), (8, 0x86, "I"),
                 (9, 0x86, "I"), (25, 0x00, "B")]),  # lap
        3: (18, [(253, 0x86, "I"), (2, 0x86, "I"), (7, 0x86, "I"), (8, 0x86, "I"),
                 (9, 0x86, "I"), (5, 0x00, "B"), (25, 0x84, "H"), (26, 0x84, "H")]),  # session
        4: (34, [(253, 0x86, "I"), (0, 0x86, "I"), (1, 0x84, "H"), (2, 0x00, "B"),
                 (3, 0x00, "B"), (4, 0x00, "B"), (5, 0x86, "I")]),  # activity
    }
    data = bytearray()
    for local, (number, fields) in kinds.items():
        data += struct.pack("<BBBHB", 0x40 | local, 0, 0, number, len(fields))
        for field_number, base, form in fields:
            data += struct.pack("<BBB", field_number, struct.calcsize(form), base)

    def message(local, *values):
        data.extend(struct.pack("<B" + "".join(f[2] for f in kinds[local][1]), local, *values))

    semicircles = lambda degrees: round(degrees * 2**31 / 180)
    begin = start - FIT_EPOCH
    end = begin + points[-1][0]
    metres = round(points[-1][3] * 100)
    milliseconds = points[-1][0] * 1000
    message(0, 4, 255, 0, begin)  # an activity, by a development manufacturer
    for seconds, lat, lon, distance in points:
        message(1, begin + seconds, semicircles(lat), semicircles(lon), round(distance * 100))
    message(2, end, begin, milliseconds, milliseconds, metres, 1)  # sport 1: running
    message(3, end, begin, milliseconds, milliseconds, metres, 1, 0, 1)
    message(4, end, milliseconds, 1, 0, 26, 1, end + 8 * 3600)  # activity stopped, +08:00
    header = struct.pack("<BBHI4s", 14, 0x10, 2093, len(data), b".FIT")
    header += struct.pack("<H", fit_crc(header))
    return header + data + struct.pack("<H", fit_crc(header + data))


def import_files(job):
    if (IMPORT_FILES / "done").exists():
        return
    say("  writing 1,000 GPX and 1,000 FIT files")
    reset(IMPORT_FILES)
    for kind in ("gpx", "fit"):
        (IMPORT_FILES / kind).mkdir()
    for number in range(1000):
        start = 1270072800 + number * 86400  # 06:00 in +08:00, from 2010-04-01 on
        points = [
            (second, 31.2 + second * 0.000025, 121.4 + (number % 50) * 0.001, second * 2.78)
            for second in range(3600)
        ]
        track = "\n".join(
            f'<trkpt lat="{lat:.6f}" lon="{lon:.6f}"><ele>{10 + second % 7}</ele>'
            f"<time>{time.strftime('%Y-%m-%dT%H:%M:%SZ', time.gmtime(start + second))}</time>"
            "</trkpt>"
            for second, lat, lon, _ in points
        )
        (IMPORT_FILES / "gpx" / f"run-{number:04}.gpx").write_text(
            '<?xml version="1.0" encoding="UTF-8"?>\n<gpx version="1.1" creator="strivo-bench" '
            'xmlns="http://www.topografix.com/GPX/1/1">\n<trk><name>Morning run</name>'
            f"<type>running</type><trkseg>\n{track}\n</trkseg></trk>\n</gpx>\n"
        )
        (IMPORT_FILES / "fit" / f"run-{number:04}.fit").write_bytes(fit_activity(start, points))
    (IMPORT_FILES / "done").touch()


# The same FIT files as a service's export hands them out: gzipped, in an
# archive's activities/ folder (deflated again, as zip tools do), and the
# gzipped files in a folder to set beside it.
IMPORT_ARCHIVE = BUILD / "bench-cache" / "import-archive-v1"


def import_archive(job):
    import_files(job)
    if (IMPORT_ARCHIVE / "done").exists():
        return
    say("  writing 1,000 FIT files gzipped, and as a zip archive")
    reset(IMPORT_ARCHIVE)
    (IMPORT_ARCHIVE / "fitgz").mkdir()
    with zipfile.ZipFile(IMPORT_ARCHIVE / "export.zip", "w", zipfile.ZIP_DEFLATED) as archive:
        for fit in sorted((IMPORT_FILES / "fit").glob("*.fit")):
            packed = gzip.compress(fit.read_bytes(), mtime=0)
            (IMPORT_ARCHIVE / "fitgz" / f"{fit.name}.gz").write_bytes(packed)
            archive.writestr(f"activities/{fit.name}.gz", packed)
        archive.writestr("activities.csv", "Activity ID,Activity Date,Activity Name\n")
    (IMPORT_ARCHIVE / "done").touch()



# ---------------------------------------------------------------- what is measured

# The million runs: one list of them, and the same runs as four lists of
# 250,000 served in turn, so four downloads store a million distinct runs.
# Both on one port, since the store keys runs by the service's host and port;
# a hundred runs a day keeps their dates within 2010 to 2037.
MILLION_PORT = free_port()
MILLION = ["--runs", "1000000", "--runs-per-day", "100", "--compact"]
STAND_INS = {
    "100k": StandIns("100k", ["--runs", "100000"]),
    "quarters": StandIns("quarters", MILLION + ["--lists", "4"], port=MILLION_PORT),
    "million": StandIns("million", MILLION, port=MILLION_PORT),
    "1000": StandIns("1000", ["--runs", "1000"]),
    # The million runs, each its id and distance alone: a list within the
    # 64 MiB a response body may have.
    "bare": StandIns("bare", ["--runs", "1000000", "--runs-per-day", "100", "--bare"]),
}


def cli(*args, stand_ins, folder_of=lambda job: job.folder):
    """strivo-cli ARGS with a config.ini (and a store) in the job's folder."""
    return lambda job: Command(
        [CLI, *args, "--config", STAND_INS[stand_ins].config(folder_of(job))]
    )


def shell(text_of):
    return lambda job: Command(text_of(job), keep_stdout=True)


def fill_store(job):
    reset(job.folder)
    sample = run(job.command(0))
    if sample.status != 0:
        raise RuntimeError(f"{job.name}: the first download failed: {sample.stderr_tail}")


def check_million_stored(job):
    stored = stored_runs(job.folder)
    if stored != 1000000:
        raise RuntimeError(f"{job.name}: {stored} runs stored, not a million")


# A million runs stored, for the figures that read them: the store the four
# downloads left, or (when they did not run) one made the same way.
MILLION_STORE = WORK / "million-store"


def million_store(job):
    if (MILLION_STORE / "strivo.db").exists():
        return
    four = JOBS["four downloads"]
    if not four.samples or not (four.folder / "strivo.db").exists():
        say("  four downloads of 250,000 runs, for a store of a million")
        reset(four.folder)
        for step in range(len(four.steps)):
            if run(four.command(step)).status != 0:
                raise RuntimeError("a download of 250,000 runs failed")
        check_million_stored(four)
    reset(MILLION_STORE)
    for name in ("strivo.db", "strivo.db-wal"):
        if (four.folder / name).exists():
            shutil.copy2(four.folder / name, MILLION_STORE / name)


def million(*args):
    return cli(*args, stand_ins="million", folder_of=lambda job: MILLION_STORE)


def window_store(folder_of, stand_ins):
    """bench_window_store: what the window does with the runs stored."""
    return lambda job: Command(
        [WINDOW_STORE, STAND_INS[stand_ins].config(folder_of(job))], keep_stdout=True
    )


def download(title, stand_ins, **when):
    """A job of one strivo-cli download from `stand_ins`; `when` as for Job."""
    return Job(title, [cli("download", stand_ins=stand_ins)], **when)


def unusable_store(job):
    """strivo.db a folder: the download reads and shows the list but keeps nothing."""
    reset(job.folder)
    (job.folder / "strivo.db").mkdir()


def downloaded_100k(job):
    reset(job.folder)
    sample = run(cli("download", stand_ins="100k")(job))
    if sample.status != 0:
        raise RuntimeError(f"{job.name}: the download failed: {sample.stderr_tail}")


PYTHON_ELEMENT_TREE = (
    "import sys, xml.etree.ElementTree as ET\n"
    "runs = [(r.get('id'), r.findtext('startTime'), r.findtext('distance'),"
    " r.findtext('duration'), r.findtext('calories'), r.findtext('syncTime'))"
    " for r in ET.parse(sys.stdin.buffer).getroot().iter('run')]\n"
    "print(len(runs))\n"
)


def sync_pipeline(job):
    reset(job.folder)
    config = STAND_INS["1000"].config(job.folder)
    script = subprocess.run(
        [SYNC_PIPELINE, config, job.folder], capture_output=True, text=True, check=True
    ).stdout.strip()
    posted = f"bash {shlex.quote(script)} | grep -c '^200$'"
    job.steps = [Command(f'[ "$({posted})" = 1000 ] || {{ echo "not 1,000 posts" >&2; exit 1; }}')]


def shm_folder(name):
    """Memory-backed where the machine has it: curl keeps no record of its posts."""
    shm = Path("/dev/shm")
    return shm / f"strivo-bench-{os.getuid()}-{name}" if shm.is_dir() else WORK / name


SYNC_FOLDER = shm_folder("sync")


def importing(kind):
    """strivo-cli import of a folder of 1,000 files into a new store."""
    return Job(
        f"import 1,000 {kind.upper()} files",
        [cli("import", IMPORT_FILES / kind, stand_ins="1000")],
        prepare=import_files,
        before=new_store,
        skip=lambda: cli_has("import"),
    )


def importing_archive(what, path):
    """strivo-cli import of the gzipped FIT files, in an archive or a folder."""
    return Job(
        f"import 1,000 FIT files gzipped, {what}",
        [cli("import", IMPORT_ARCHIVE / path, stand_ins="1000")],
        prepare=import_archive,
        before=new_store,
        skip=lambda: cli_has("import"),
    )


def gpsbabel_reading(kind, reader):
    """gpsbabel reading the files an import figure reads, writing nothing."""
    return Job(
        f"gpsbabel reading the same {kind.upper()} files",
        [
            lambda job: Command(
                ["gpsbabel", "-i", reader]
                + [a for f in sorted((IMPORT_FILES / kind).glob(f"*.{kind}")) for a in ("-f", f)]
                + ["-o", "unicsv", "-F", "/dev/null"]
            )
        ],
        prepare=import_files,
        skip=lambda: cli_has("import"),
    )


JOBS = {
    # A runner's first download, and the least that fetches the same list:
    # curl making the same three requests over one connection.
    "download 100k": download(
        "download of 100,000 runs into a new store", "100k", before=new_store
    ),
    "curl 100k": Job(
        "curl fetching the same list", [shell(lambda job: STAND_INS["100k"].curl())]
    ),
    "curl ET 100k": Job(
        "curl and a Python ElementTree parse",
        [
            shell(
                lambda job: f"{STAND_INS['100k'].curl(last_to_stdout=True)} | "
                f"{shlex.quote(sys.executable)} -c {shlex.quote(PYTHON_ELEMENT_TREE)}"
            )
        ],
    ),
    # A download of the list the store already holds, against the same requests
    # by curl piped into the reader a download feeds (bench_read_run_list): a
    # download that neither prints nor stores. What is left between the two is
    # the store's check that nothing changed, and the table.
    "download again 100k": download(
        "download of the 100,000 runs the store holds", "100k", prepare=fill_store
    ),
    # The same download with a store that cannot be used (it warns and keeps
    # nothing): what reading and showing the list cost without the store.
    "download no store 100k": download(
        "download of 100,000 runs, keeping none", "100k", prepare=unusable_store
    ),
    "curl read 100k": Job(
        "curl and the run-list reader",
        [shell(lambda job: f"{STAND_INS['100k'].curl(last_to_stdout=True)} | {READ_RUN_LIST}")],
    ),
    # Four lists of 250,000 runs each new to the store; the rounds start from
    # an empty store and check it holds a million after the fourth.
    "four downloads": Job(
        "four downloads of 250,000 new runs into one store",
        [cli("download", stand_ins="quarters")] * 4,
        before=new_store,
        after=check_million_stored,
    ),
    # The million runs as one list, downloaded into the store that holds them:
    # 214 MiB even compact, past the 64 MiB a response body may have today.
    "download 1M": Job(
        "download of the million runs the store holds",
        [million("download")],
        prepare=million_store,
    ),
    # The million-run list that fits, first into a new store, then again into
    # the store that holds it.
    "download bare 1M": download(
        "download of a million bare runs into a new store", "bare", before=new_store
    ),
    "download bare 1M again": download(
        "download of the million bare runs the store holds", "bare", prepare=fill_store
    ),
    "curl bare 1M": Job(
        "curl fetching the bare million-run list",
        [shell(lambda job: STAND_INS["bare"].curl())],
    ),
    "curl 1M": Job(
        "curl fetching the million-run list", [shell(lambda job: STAND_INS["million"].curl())]
    ),
    "runs 1M": Job("runs, a million stored", [million("runs")], prepare=million_store),
    **{
        f"stats {by}": Job(
            f"stats --by={by}, a million stored",
            [million("stats", f"--by={by}")],
            prepare=million_store,
        )
        for by in ("week", "month", "year")
    },
    # The window without a display (bench_window_store): 显示本机保存的跑步记录,
    # the statistics dialog and the last rows painted, a million runs stored;
    # and its memory with 100,000.
    "window 1M": Job(
        "the window's table and statistics, a million stored",
        [window_store(lambda job: MILLION_STORE, "million")],
        prepare=million_store,
    ),
    "window 100k": Job(
        "the window's table and statistics, 100,000 stored",
        [window_store(lambda job: job.folder, "100k")],
        prepare=downloaded_100k,
    ),
    # The run log without a display (bench_run_log): its opening, its slowest
    # sort and filter, 100,000 runs stored.
    "run log 100k": Job(
        "the run log, 100,000 stored",
        [lambda job: Command([RUN_LOG, STAND_INS["100k"].config(job.folder)], keep_stdout=True)],
        prepare=downloaded_100k,
    ),
    # sync --all against the curl pipeline of bench_sync_pipeline (the same
    # sign-ins and run list, then 1,000 posts of the same bodies over one
    # connection), the store in memory-backed /dev/shm: curl keeps no record of
    # its posts. The same sync with the store on disk, for information.
    "sync": Job(
        "sync --all of 1,000 runs",
        [cli("sync", "--all", stand_ins="1000", folder_of=lambda job: SYNC_FOLDER)],
        prepare=lambda job: reset(SYNC_FOLDER),
    ),
    "sync on disk": Job(
        "sync --all of 1,000 runs, the store on disk",
        [cli("sync", "--all", stand_ins="1000")],
        prepare=new_store,
    ),
    "curl sync": Job("curl pipeline of the same sync", [], prepare=sync_pipeline),
    "import fit": importing("fit"),
    "import gpx": importing("gpx"),
    "gpsbabel fit": gpsbabel_reading("fit", "garmin_fit"),
    "gpsbabel gpx": gpsbabel_reading("gpx", "gpx"),
    "import fit.gz zip": importing_archive("in a zip archive", "export.zip"),
    "import fit.gz folder": importing_archive("in a folder", "fitgz"),
}

J = JOBS
FIGURES = [
    Figure("download 100k runs into a new store, time vs curl", J["download 100k"].seconds(),
           J["curl 100k"].seconds(), ratio(2.5)),
    Figure("download 100k runs, peak RSS vs the list", J["download 100k"].peak(),
           J["curl 100k"].body(), ratio(1.0)),
    Figure("download 100k runs, time vs curl + Python ElementTree", J["download 100k"].seconds(),
           J["curl ET 100k"].seconds(), None),
    Figure("download of the stored 100k list, time vs curl + run-list reader",
           J["download again 100k"].seconds(), J["curl read 100k"].seconds(), None),
    Figure("download 100k runs, keeping none (no store), time vs curl",
           J["download no store 100k"].seconds(), J["curl 100k"].seconds(), None),
    Figure("download of the stored 100k list, time vs the same keeping none",
           J["download again 100k"].seconds(), J["download no store 100k"].seconds(), ratio(1.3)),
    Figure("4th download of 250k new runs vs 1st, time", J["four downloads"].seconds(3),
           J["four downloads"].seconds(0), ratio(1.2)),
    Figure("4th download of 250k new runs vs 1st, peak RSS", J["four downloads"].peak(3),
           J["four downloads"].peak(0), ratio(1.2)),
    Figure("download 1M runs, 1M stored, time", J["download 1M"].seconds(), None, at_most(2.5)),
    Figure("download 1M runs, 1M stored, peak RSS vs the list", J["download 1M"].peak(),
           J["curl 1M"].body(), ratio(1.0)),
    Figure("download 1M bare runs (56 MB list), new store, time",
           J["download bare 1M"].seconds(), None, at_most(2.5)),
    Figure("download 1M bare runs, new store, peak RSS vs the list",
           J["download bare 1M"].peak(), J["curl bare 1M"].body(), ratio(1.0)),
    Figure("download 1M bare runs, 1M stored, time", J["download bare 1M again"].seconds(),
           None, at_most(2.5)),
    Figure("download 1M bare runs, 1M stored, peak RSS vs the list",
           J["download bare 1M again"].peak(), J["curl bare 1M"].body(), ratio(1.0)),
    Figure("runs, 1M stored, time", J["runs 1M"].seconds(), None, at_most(1.5)),
    Figure("runs, 1M stored, peak RSS", J["runs 1M"].peak(), None, at_most(64)),
    *[
        entry
        for by in ("week", "month", "year")
        for entry in (
            Figure(f"stats --by={by}, 1M stored, time", J[f"stats {by}"].seconds(), None,
                   at_most(0.5)),
            Figure(f"stats --by={by}, 1M stored, peak RSS", J[f"stats {by}"].peak(), None,
                   at_most(64)),
        )
    ],
    Figure("window: stored runs shown, 1M stored, time",
           J["window 1M"].printed("stored runs shown", "s"), None, at_most(3)),
    Figure("window: statistics dialog, 1M stored, time",
           J["window 1M"].printed("statistics", "s"), None, at_most(1)),
    Figure("window: the last rows painted, 1M stored, time",
           J["window 1M"].printed("the last 40 rows", "s"), None, at_most(0.1)),
    Figure("window: peak RSS, 1M stored vs 10 × 100k stored",
           J["window 1M"].printed("statistics", "MiB"),
           J["window 100k"].printed("statistics", "MiB", times=10), ratio(2.0)),
    Figure("run log: opening, 100k stored, time",
           J["run log 100k"].printed("run log opened", "s"), None, at_most(1)),
    Figure("run log: the slowest sort by a column, 100k stored, time",
           J["run log 100k"].printed("the slowest sort", "s"), None, at_most(0.3)),
    Figure("run log: the slowest filter, 100k stored, time",
           J["run log 100k"].printed("the slowest filter", "s"), None, at_most(0.3)),
    Figure("sync --all 1,000 runs (store in /dev/shm), time vs curl", J["sync"].seconds(),
           J["curl sync"].seconds(), ratio(1.2)),
    Figure("sync --all 1,000 runs, store on disk, time vs curl", J["sync on disk"].seconds(),
           J["curl sync"].seconds(), None),
    Figure("import 1,000 FIT files, time", J["import fit"].seconds(), None, at_most(1.5)),
    Figure("import 1,000 FIT files, time vs gpsbabel reading them", J["import fit"].seconds(),
           J["gpsbabel fit"].seconds(), ratio(0.25)),
    Figure("import 1,000 FIT files, peak RSS", J["import fit"].peak(), None, at_most(64)),
    Figure("import 1,000 GPX files of 3,600 points, time", J["import gpx"].seconds(), None,
           at_most(3)),
    Figure("import 1,000 GPX files, time vs gpsbabel reading them", J["import gpx"].seconds(),
           J["gpsbabel gpx"].seconds(), ratio(0.25)),
    Figure("import 1,000 GPX files of 3,600 points, peak RSS", J["import gpx"].peak(), None,
           at_most(64)),
    Figure("import a zip of 1,000 .fit.gz files, time vs them in a folder",
           J["import fit.gz zip"].seconds(), J["import fit.gz folder"].seconds(), ratio(1.3)),
    Figure("import a zip of 1,000 .fit.gz files, peak RSS", J["import fit.gz zip"].peak(), None,
           at_most(64)),
]


def main():
    chosen = [figure for figure in FIGURES if ONLY.search(figure.name)]
    reset(WORK)
    try:
        measure(chosen)
    finally:
        stop_all_stand_ins()
        shutil.rmtree(WORK, ignore_errors=True)
        shutil.rmtree(SYNC_FOLDER, ignore_errors=True)
    say("measured")
    print_table(chosen)


if __name__ == "__main__":
    main()
