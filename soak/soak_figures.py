"""Figures of a soak run: reading the probe's lines, xrestop's report and
/proc, and judging whether memory and object counts stay flat and the
frame-rate title keeps its two-second rhythm.

Everything here is pure (text in, figures out) apart from read_linux_status,
so that the judgement can be tested without running the program.
"""

import re
import statistics
from pathlib import Path

TITLE = re.compile(r"^Noise animation( [0-9]+\.[0-9]{2} fps)?$")
PROBE_NUMBERS = ("sample", "ms", "pid", "working_set", "private", "pagefile", "handles", "gdi", "user",
                 "iconic", "title_changes")
X_COUNTS = ("windows", "GCs", "fonts", "pixmaps", "pictures", "glyphsets", "colormaps", "passive grabs",
            "cursors", "unknowns")

MIB = 1024 * 1024
MEMORY_SLACK_BYTES = 4 * MIB   # growth always accepted after warm-up
MEMORY_SLACK_SHARE = 0.05      # or this share of the baseline, whichever is larger
COUNT_SLACK = 4                # objects, handles, threads, descriptors
COUNT_SLACK_SHARE = 0.10
TITLE_GAP_LOW_MS = 1800        # the title is due every 2 s plus one frame
TITLE_GAP_HIGH_MS = 3000
TITLE_GAP_MAX_MS = 7000        # two intervals showing the same rate text, plus slack


def parse_probe_line(line):
    """One probe line as a dict: a sample (numbers as ints, title_gaps as a
    list of ints, title as text), {'exited': code} or {'error': text}.
    None for a line that is none of these."""
    line = line.rstrip("\r\n")
    if line.startswith("exited="):
        return {"exited": int(line[len("exited="):])}
    if line.startswith("error="):
        return {"error": line[len("error="):]}
    if not line.startswith("sample="):
        return None
    fields = {}
    for part in line.split("\t"):
        key, sep, value = part.partition("=")
        if not sep:
            return None
        fields[key] = value
    try:
        for key in PROBE_NUMBERS:
            fields[key] = int(fields[key])
        gaps = fields.get("title_gaps", "")
        fields["title_gaps"] = [int(g) for g in gaps.split(",")] if gaps else []
    except (KeyError, ValueError):
        return None
    fields.setdefault("title", "")
    return fields


def parse_xrestop(text):
    """xrestop's batch report as a list of clients: {'pid': int or None,
    'name': str, 'counts': {resource: int}, 'pixmap_bytes': int}."""
    clients = []
    header = re.compile(r"^\d+ - (.*) \( PID:\s*(\S+)\s*\):$")
    for line in text.splitlines():
        match = header.match(line)
        if match:
            pid = match.group(2)
            clients.append({"pid": int(pid) if pid.isdigit() else None, "name": match.group(1),
                            "counts": {}, "pixmap_bytes": 0})
            continue
        if not clients or ":" not in line:
            continue
        key, _, value = line.strip().partition(":")
        key, value = key.strip(), value.strip()
        if key in X_COUNTS and value.isdigit():
            clients[-1]["counts"][key] = int(value)
        elif key == "pixmap bytes" and value.isdigit():
            clients[-1]["pixmap_bytes"] = int(value)
    return clients


def x_resources(clients, pid):
    """(resources held by process PID, resources held by every client on the
    display), counting windows, GCs, pixmaps and the other kinds alike."""
    mine = sum(sum(c["counts"].values()) for c in clients if c["pid"] == pid)
    everyone = sum(sum(c["counts"].values()) for c in clients)
    return mine, everyone


def read_linux_status(pid):
    """Resident memory (bytes), threads and open descriptors of Linux process
    PID, or None when it is gone."""
    try:
        status = Path(f"/proc/{pid}/status").read_text()
        fds = len(list(Path(f"/proc/{pid}/fd").iterdir()))
    except OSError:
        return None
    values = dict(line.split(":", 1) for line in status.splitlines() if ":" in line)
    return {"rss": int(values["VmRSS"].split()[0]) * 1024, "threads": int(values["Threads"]), "fds": fds}


def _thirds(values):
    third = max(1, len(values) // 3)
    return statistics.median(values[:third]), statistics.median(values[-third:])


def judge_flat(rows, metric, warmup_ms, memory):
    """Compares the median of the first third of the samples after warm-up
    with that of the last third. Returns (verdict, text) with verdict one of
    'flat', 'grew', 'unmeasured' (every value 0: the platform does not
    report it) or 'short' (fewer than three samples after warm-up)."""
    values = [row[metric] for row in rows if row["ms"] >= warmup_ms and row.get(metric) is not None]
    if all(row.get(metric, 0) == 0 for row in rows):
        return "unmeasured", f"{metric}: not measured (always 0)"
    if len(values) < 3:
        return "short", f"{metric}: only {len(values)} samples after warm-up"
    start, end = _thirds(values)
    if memory:
        limit = max(MEMORY_SLACK_BYTES, MEMORY_SLACK_SHARE * start)
        text = (f"{metric}: {start / MIB:.1f} MiB -> {end / MIB:.1f} MiB "
                f"(growth {(end - start) / MIB:+.2f} MiB, limit {limit / MIB:.1f} MiB, "
                f"peak {max(values) / MIB:.1f} MiB)")
    else:
        limit = max(COUNT_SLACK, COUNT_SLACK_SHARE * start)
        text = f"{metric}: {start:g} -> {end:g} (growth {end - start:+g}, limit {limit:g}, peak {max(values)})"
    return ("grew" if end - start > limit else "flat"), text


def judge_title(rows):
    """Checks every sampled title's form and the rhythm of the changes.
    Returns (ok, text)."""
    bad = [row["title"] for row in rows if not TITLE.match(row["title"])]
    if bad:
        return False, f"title: unexpected title {bad[0]!r}"
    gaps = [gap for row in rows for gap in row["title_gaps"]]
    if len(gaps) < 3:
        return False, f"title: only {len(gaps) + 1} rate updates seen"
    median = statistics.median(gaps)
    longest = max(gaps)
    text = (f"title: {len(gaps) + 1} rate updates, median interval {median / 1000:.2f} s, "
            f"longest {longest / 1000:.2f} s, last {rows[-1]['title']!r}")
    if not TITLE_GAP_LOW_MS <= median <= TITLE_GAP_HIGH_MS:
        return False, text + f" (median outside {TITLE_GAP_LOW_MS / 1000:.1f}-{TITLE_GAP_HIGH_MS / 1000:.1f} s)"
    if longest > TITLE_GAP_MAX_MS:
        return False, text + f" (longer than {TITLE_GAP_MAX_MS / 1000:.1f} s)"
    return True, text


COLUMNS = (("t s", "ms", lambda v: f"{v / 1000:.0f}"),
           ("rss MiB", "rss", lambda v: f"{v / MIB:.1f}"),
           ("ws MiB", "working_set", lambda v: f"{v / MIB:.1f}"),
           ("pagefile MiB", "pagefile", lambda v: f"{v / MIB:.1f}"),
           ("private", "private", str),
           ("handles", "handles", str),
           ("gdi", "gdi", str),
           ("user", "user", str),
           ("x res", "x_resources", str),
           ("x display", "x_display", str),
           ("fds", "fds", str),
           ("threads", "threads", str),
           ("titles", "title_changes", str),
           ("title", "title", str))


def table_header():
    return "\t".join(name for name, _, _ in COLUMNS)


def table_row(row):
    cells = []
    for _, key, show in COLUMNS:
        value = row.get(key)
        cells.append("-" if value is None else show(value))
    return "\t".join(cells)
