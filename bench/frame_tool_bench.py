#!/usr/bin/env python3
"""Speed of the frame tool, measured side by side in one run.

  bench/frame_tool_bench.py [--build DIR] [--rounds N] [--wait-idle SECONDS]

Needs the native build (cmake --preset native && cmake --build --preset
native). Measures, each as the median of N rounds (default 3):
  - render only: one frame through the best path (frame_paths_bench, BM_FrameBest);
  - the encoders on one core (frame_encode_bench): raw, PPM, PNG through
    libdeflate and through stb_image_write, with bytes per frame;
  - noise-frame writing 2000 raw and 2000 PPM frames into a pipe read by this
    script, with the default jobs and with --jobs 1, and a 500-frame PNG
    sequence into a scratch folder the same two ways;
and prints a Markdown table with the ratios (docs/performance.md). On a
shared machine, --wait-idle S waits before each measurement, at most S
seconds, until the CPUs have been idle for a moment, and counts the waits
that ran out.
"""
import argparse
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


def tool_seconds(tool, args, scratch):
    """Wall and CPU (user + system) time of one run; standard output is read
    and dropped by this process."""
    shutil.rmtree(scratch, ignore_errors=True)
    scratch.mkdir()
    buf = bytearray(READ_CHUNK)
    start = time.perf_counter()
    proc = subprocess.Popen([str(tool), *args], stdout=subprocess.PIPE, cwd=scratch)
    total = 0
    while (n := proc.stdout.readinto(buf)) > 0:
        total += n
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit(f"noise-frame {' '.join(args)}: exit {proc.returncode}")
    return elapsed, usage.ru_utime + usage.ru_stime


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
    render = google_bench(a.build / "bench/frame_paths_bench", "BM_FrameBest", a.rounds)["BM_FrameBest"]
    wait_idle()
    enc = google_bench(a.build / "bench/frame_encode_bench", "BM_Encode", a.rounds)
    render_us = render["real_time"]

    stream = ["--seed", "1", "--ms", "0", "--fps", "30", "--frames", "2000"]
    png = ["--seed", "1", "--ms", "0", "--fps", "30", "--frames", "500", "-o", "f-%04d.png"]
    runs = {
        "raw": (stream + ["--format", "raw"], 2000),
        "ppm": (stream + ["--format", "ppm"], 2000),
        "png": (png, 500),
    }
    scratch = Path(tempfile.mkdtemp(prefix="noise-frame-bench-"))
    times, cpu_times = {}, {}
    try:
        for _ in range(a.rounds):
            for name, (args, frames) in runs.items():
                for jobs in ("default", "1"):
                    extra = [] if jobs == "default" else ["--jobs", "1"]
                    wait_idle()
                    wall, cpu = tool_seconds(tool, args + extra, scratch / "out")
                    times.setdefault((name, jobs), []).append(wall / frames * 1e6)
                    cpu_times.setdefault((name, jobs), []).append(cpu / frames * 1e6)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    med = {k: statistics.median(v) for k, v in times.items()}
    cpu = {k: statistics.median(v) for k, v in cpu_times.items()}

    load = os.getloadavg()
    print(f"CPUs usable: {len(os.sched_getaffinity(0))}; load average {load[0]:.2f} {load[1]:.2f} {load[2]:.2f}; "
          f"median of {a.rounds}; best render path: {render.get('label', '?')}"
          + (f"; waits for an idle machine that ran out: {wait_idle.missed}" if a.wait_idle > 0 else "") + "\n")
    print("| measure | wall per frame | CPU per frame | ratio (wall) |")
    print("| ------- | -------------- | ------------- | ------------ |")
    print(f"| render only, best path (frame_paths_bench) | {render_us:.1f} us | {render['cpu_time']:.1f} us | 1.00 |")
    for name in ("raw", "ppm"):
        for jobs in ("default", "1"):
            label = f"noise-frame, 2000 {name} frames into a pipe, " + ("default jobs" if jobs == "default" else "--jobs 1")
            print(f"| {label} | {med[(name, jobs)]:.1f} us | {cpu[(name, jobs)]:.1f} us "
                  f"| {med[(name, jobs)] / render_us:.2f} x render |")
    for jobs in ("1", "default"):
        label = "noise-frame, 500 png frames, " + ("default jobs" if jobs == "default" else "--jobs 1")
        print(f"| {label} | {med[('png', jobs)] / 1000:.2f} ms | {cpu[('png', jobs)] / 1000:.2f} ms | |")
    for short in ("raw", "ppm", "png_libdeflate", "png_stb"):
        b = enc[f"BM_Encode/{short}"]
        print(f"| encode {short}, one core, {b['bytes_per_frame'] / 1000:.1f} kB per frame | {b['real_time']:.1f} us "
              f"| {b['cpu_time']:.1f} us | |")
    print()
    print(f"- default jobs against --jobs 1, wall: 500 png frames {med[('png', '1')] / med[('png', 'default')]:.2f} x, "
          f"2000 ppm frames {med[('ppm', '1')] / med[('ppm', 'default')]:.2f} x faster")
    png_new, png_stb = enc["BM_Encode/png_libdeflate"], enc["BM_Encode/png_stb"]
    print(f"- PNG through libdeflate against stb_image_write: {png_stb['cpu_time'] / png_new['cpu_time']:.1f} x "
          f"faster (CPU), {png_new['bytes_per_frame'] / png_stb['bytes_per_frame']:.2f} x the size")

if __name__ == "__main__":
    main()
