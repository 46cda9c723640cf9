#!/usr/bin/env python3
"""Speed of the frame tool, measured side by side in one run.

  bench/frame_tool_bench.py [--build DIR] [--rounds N] [--wait-idle SECONDS]

Needs the native build (cmake --preset native && cmake --build --preset
native). Measures, each as the median of N rounds (default 3):
  - render only: one frame through the best path (frame_paths_bench,
    BM_FrameBest), once in every round, between the runs of the tool;
  - the encoders on one core (frame_encode_bench): raw, PPM, PNG through
    libdeflate and through stb_image_write, with bytes per frame;
  - noise-frame writing 2000 raw and 2000 PPM frames into a pipe read by this
    script, 2000 PPM frames into /dev/null, and a 500-frame PNG sequence into
    a scratch folder, each with the default jobs and with --jobs 1;
  - the pipe alone: dd writing as many bytes of zeros, as raw and as PPM
    frames, into the same reader;
and prints a Markdown table with the ratios (docs/performance.md). On a
shared machine, --wait-idle S waits before each measurement, at most S
seconds, until the CPUs have been idle for a moment, and counts the waits
that ran out.
"""
import argparse
import fcntl
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

READ_CHUNK = 1 << 20
PIPE_BYTES = 1 << 20
RAW_FRAME_BYTES = 320 * 200 * 4
PPM_FRAME_BYTES = len(b"P6\n320 200\n255\n") + 320 * 200 * 3
IDLE_SHARE = 0.93  # share of CPU time spent idle that counts as an idle machine
IDLE_SAMPLE_S = 2.0


class IdleWait:
    """Waits, at most `limit` seconds each time, for an idle machine."""

    def __init__(self, limit):
        self.limit = limit
        self.missed = 0

    @staticmethod
    def _ticks():
        with open("/proc/stat") as f:
            values = [int(v) for v in f.readline().split()[1:]]
        return sum(values), values[3] + values[4]  # all, idle + iowait

    def __call__(self):
        if self.limit <= 0:
            return
        deadline = time.monotonic() + self.limit
        while time.monotonic() < deadline:
            total0, idle0 = self._ticks()
            time.sleep(IDLE_SAMPLE_S)
            total1, idle1 = self._ticks()
            if total1 > total0 and (idle1 - idle0) / (total1 - total0) >= IDLE_SHARE:
                return
        self.missed += 1


def google_bench(exe, flt, rounds):
    """Median real and CPU time in microseconds, and counters, per benchmark."""
    out = subprocess.run([str(exe), f"--benchmark_filter={flt}", f"--benchmark_repetitions={rounds}",
                          "--benchmark_format=json"], check=True, capture_output=True, text=True).stdout
    runs = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type") == "iteration":
            runs.setdefault(b["run_name"], []).append(b)
    result = {}
    for name, reps in runs.items():
        result[name] = dict(reps[0])
        for key in ("real_time", "cpu_time", "bytes_per_frame"):
            if key in reps[0]:
                result[name][key] = statistics.median(r[key] for r in reps)
    return result


def run_seconds(command, scratch, to_pipe=True):
    """Wall time, CPU time (user + system) of the command, and CPU time of
    this process reading its standard output from a pipe and dropping it
    (0 when the output goes to /dev/null)."""
    shutil.rmtree(scratch, ignore_errors=True)
    scratch.mkdir()
    buf = bytearray(READ_CHUNK)
    before = os.times()
    start = time.perf_counter()
    proc = subprocess.Popen([str(c) for c in command], cwd=scratch,
                            stdout=subprocess.PIPE if to_pipe else subprocess.DEVNULL)
    if to_pipe:
        fcntl.fcntl(proc.stdout, fcntl.F_SETPIPE_SZ, PIPE_BYTES)  # as noise-frame sets it
        while proc.stdout.readinto(buf) > 0:
            pass
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    after = os.times()
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        sys.exit(f"{' '.join(map(str, command))}: exit {code}")
    reader = (after.user - before.user + after.system - before.system) if to_pipe else 0.0
    return elapsed, usage.ru_utime + usage.ru_stime, reader


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", type=Path, default=Path("build/native"))
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--wait-idle", type=float, default=0)
    a = parser.parse_args()
    wait_idle = IdleWait(a.wait_idle)
    tool = a.build / "tools/noise-frame"
    tool = tool.resolve()

    wait_idle()
    enc = google_bench(a.build / "bench/frame_encode_bench", "BM_Encode", a.rounds)

    stream = ["--seed", "1", "--ms", "0", "--fps", "30", "--frames", "2000"]
    png = ["--seed", "1", "--ms", "0", "--fps", "30", "--frames", "500", "-o", "f-%04d.png"]
    # name: (command, frames, into a pipe)
    runs = {
        "raw": ([tool, *stream, "--format", "raw"], 2000, True),
        "ppm": ([tool, *stream, "--format", "ppm"], 2000, True),
        "ppm-null": ([tool, *stream, "--format", "ppm"], 2000, False),
        "png": ([tool, *png], 500, False),
    }
    pipe_only = {
        "raw": ["dd", "if=/dev/zero", f"bs={RAW_FRAME_BYTES}", "count=2000", "status=none"],
        "ppm": ["dd", "if=/dev/zero", f"bs={PPM_FRAME_BYTES}", "count=2000", "status=none"],
    }
    scratch = Path(tempfile.mkdtemp(prefix="noise-frame-bench-"))
    renders = []  # BM_FrameBest, once a round
    samples = {}  # (name, jobs) -> [(wall, tool CPU, reader CPU) per frame, in us]
    try:
        for _ in range(a.rounds):
            # Render alone in every round, so that it and the runs it is
            # compared with see the machine at the same moments.
            wait_idle()
            renders.append(google_bench(a.build / "bench/frame_paths_bench", "BM_FrameBest", 1)["BM_FrameBest"])
            for name, (command, frames, to_pipe) in runs.items():
                for jobs in ("default", "1"):
                    extra = [] if jobs == "default" else ["--jobs", "1"]
                    wait_idle()
                    times = run_seconds(command + extra, scratch / "out", to_pipe)
                    samples.setdefault((name, jobs), []).append([t / frames * 1e6 for t in times])
            for name, command in pipe_only.items():
                wait_idle()
                times = run_seconds(command, scratch / "out")
                samples.setdefault((name, "pipe"), []).append([t / 2000 * 1e6 for t in times])
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    med = {k: [statistics.median(s[i] for s in v) for i in range(3)] for k, v in samples.items()}
    render = {"label": renders[0].get("label", "?"),
              "cpu_time": statistics.median(r["cpu_time"] for r in renders)}
    render_us = statistics.median(r["real_time"] for r in renders)

    load = os.getloadavg()
    print(f"CPUs usable: {len(os.sched_getaffinity(0))}; load average {load[0]:.2f} {load[1]:.2f} {load[2]:.2f}; "
          f"median of {a.rounds}; best render path: {render.get('label', '?')}"
          + (f"; waits for an idle machine that ran out: {wait_idle.missed}" if a.wait_idle > 0 else "") + "\n")
    print("| measure | wall per frame | CPU per frame: tool | reader | ratio (wall) |")
    print("| ------- | -------------- | ------------------- | ------ | ------------ |")
    print(f"| render only, best path (frame_paths_bench) | {render_us:.1f} us | {render['cpu_time']:.1f} us "
          f"| | 1.00 |")
    for name, where in (("raw", "into a pipe"), ("ppm", "into a pipe"), ("ppm-null", "into /dev/null")):
        for jobs in ("default", "1"):
            wall, tool_cpu, reader = med[(name, jobs)]
            label = f"noise-frame, 2000 {name[:3]} frames {where}, " + ("default jobs" if jobs == "default" else "--jobs 1")
            print(f"| {label} | {wall:.1f} us | {tool_cpu:.1f} us | {f'{reader:.1f} us' if reader else ''} "
                  f"| {wall / render_us:.2f} x render |")
    for name in ("raw", "ppm"):
        wall, writer, reader = med[(name, "pipe")]
        print(f"| the pipe alone: dd writing {name} frames' bytes of zeros | {wall:.1f} us | {writer:.1f} us "
              f"| {reader:.1f} us | {wall / render_us:.2f} x render |")
    for jobs in ("1", "default"):
        label = "noise-frame, 500 png frames, " + ("default jobs" if jobs == "default" else "--jobs 1")
        print(f"| {label} | {med[('png', jobs)][0] / 1000:.2f} ms | {med[('png', jobs)][1] / 1000:.2f} ms | | |")
    for short in ("raw", "ppm", "png_libdeflate", "png_stb"):
        b = enc[f"BM_Encode/{short}"]
        print(f"| encode {short}, one core, {b['bytes_per_frame'] / 1000:.1f} kB per frame | {b['real_time']:.1f} us "
              f"| {b['cpu_time']:.1f} us | | |")
    print()
    speedup = {name: med[(name, "1")][0] / med[(name, "default")][0] for name in ("png", "ppm-null", "ppm", "raw")}
    print(f"- default jobs against --jobs 1, wall: 500 png frames {speedup['png']:.2f} x, 2000 ppm frames into "
          f"/dev/null {speedup['ppm-null']:.2f} x, into a pipe {speedup['ppm']:.2f} x faster")
    cpus = len(os.sched_getaffinity(0))
    for name in ("raw", "ppm"):
        wall, tool_cpu, reader = med[(name, "default")]
        busy = (tool_cpu + reader) / cpus
        print(f"- {name} into a pipe, default jobs: with every CPU busy the tool's and the reader's CPU time "
              f"would take {busy:.1f} us = {busy / render_us:.2f} x render per frame; the CPUs were busy "
              f"{busy / wall * 100:.0f} % of the time")
    png_new, png_stb = enc["BM_Encode/png_libdeflate"], enc["BM_Encode/png_stb"]
    print(f"- PNG through libdeflate against stb_image_write: {png_stb['cpu_time'] / png_new['cpu_time']:.1f} x "
          f"faster (CPU), {png_new['bytes_per_frame'] / png_stb['bytes_per_frame']:.2f} x the size")

if __name__ == "__main__":
    main()
