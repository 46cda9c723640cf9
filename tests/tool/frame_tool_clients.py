#!/usr/bin/env python3
"""noise-frame as real clients meet it.

  frame_tool_clients.py recipes|size|png|progress|install --tool EXE [--source DIR] [--build DIR]

recipes:  every README block marked "<!-- recipe: NAME -->" runs verbatim
          with bash in a scratch folder (where build/native/tools/noise-frame
          is the tool under test) against Debian's ffmpeg and ffplay; then the
          MP4 and GIF are checked for length, size and orientation, the
          lossless round trip pixel for pixel with Pillow, the live view for
          having read the whole stream.
size:     the 1080p recipe of --help, cut to a few frames, runs with bash into
          ffmpeg: ffprobe finds 1920x1080 and every frame, and the first is
          the tool's own PNG of that moment, right side up.
png:      PNG frames pass pngcheck and decode with Pillow to the raw frames'
          pixels, top row first.
progress: on a terminal (a pty) a run of more than a second shows progress
          and erases it at the end; with --quiet or a pipe nothing appears.
install:  cmake --install puts bin/noise-frame and the manual page, which
          names every option that --help names, under a scratch prefix.

Every wait is bounded; every process started here is ended by its id.
"""
import argparse
import os
import pty
import re
import shutil
import signal
import subprocess
import sys
import tempfile
from pathlib import Path

from PIL import Image

W, H = 320, 200
STEP_TIMEOUT_S = 180


class Failure(Exception):
    pass


def check(ok, what):
    if not ok:
        raise Failure(what)


def run(args, timeout=STEP_TIMEOUT_S, **kwargs):
    """Runs a command in its own process group, killed as a group on timeout."""
    proc = subprocess.Popen(args, start_new_session=True, **kwargs)
    try:
        out, err = proc.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()
        raise Failure(f"{args[0]} did not finish in {timeout} s")
    return proc.returncode, out, err


def recipes_of(readme):
    found = dict(re.findall(r"<!-- recipe: (\w+) -->\n```sh\n(.*?)```", readme.read_text(), re.S))
    check(set(found) == {"mp4", "gif", "roundtrip", "live"}, f"README recipes: {sorted(found)}")
    return found


def png_rgb(path):
    with Image.open(path) as im:
        check(im.size == (W, H), f"{path}: size {im.size}")
        return im.convert("RGB").tobytes()


def flipped(rgb, w=W):
    rows = [rgb[y * w * 3:(y + 1) * w * 3] for y in range(len(rgb) // (w * 3))]
    return b"".join(reversed(rows))


def mean_error(a, b):
    return sum(abs(x - y) for x, y in zip(a, b)) / len(a)


def check_upright(name, rgb, reference, w=W):
    """A lossy frame is close to the reference and far from it upside down."""
    upright, upside_down = mean_error(rgb, reference), mean_error(rgb, flipped(reference, w))
    check(upright < 6 and upside_down > 3 * upright,
          f"{name}: mean error {upright:.2f} right side up, {upside_down:.2f} upside down")


def cmd_recipes(tool, source):
    blocks = recipes_of(source / "README.md")
    scratch = Path(tempfile.mkdtemp(prefix="noise-frame-recipes-"))
    try:
        (scratch / "build/native/tools").mkdir(parents=True)
        (scratch / "build/native/tools/noise-frame").symlink_to(tool)
        env = dict(os.environ, SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="dummy")
        outputs = {}
        for name, block in blocks.items():
            code, out, err = run(["bash", "-euo", "pipefail", "-c", block], cwd=scratch, env=env,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL)
            check(code == 0, f"recipe {name}: exit {code}: {err.decode(errors='replace')[-500:]}")
            outputs[name] = out.decode()
        # Frame 0 of every recipe is the moment 0 of seed 1.
        run([str(tool), "--seed", "1", "--ms", "0", "-o", str(scratch / "ref.png")], stdout=subprocess.DEVNULL)
        reference = png_rgb(scratch / "ref.png")

        code, out, _ = run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-count_frames", "-show_entries",
                            "stream=width,height,nb_read_frames,r_frame_rate", "-of", "default=nw=1",
                            str(scratch / "out/clip.mp4")], stdout=subprocess.PIPE)
        probe = out.decode().split()
        for entry in ("width=320", "height=200", "nb_read_frames=300", "r_frame_rate=30/1"):
            check(entry in probe, f"clip.mp4: {entry} not in {probe}")
        _, first, _ = run(["ffmpeg", "-loglevel", "error", "-i", str(scratch / "out/clip.mp4"), "-frames:v", "1",
                           "-f", "rawvideo", "-pix_fmt", "rgb24", "-"], stdout=subprocess.PIPE)
        check_upright("clip.mp4", first, reference)

        with Image.open(scratch / "out/clip.gif") as gif:
            check((gif.n_frames, gif.size, gif.info.get("duration")) == (75, (W, H), 40),
                  f"clip.gif: {gif.n_frames} frames of {gif.size}, {gif.info.get('duration')} ms")
            check_upright("clip.gif", gif.convert("RGB").tobytes(), reference)

        check(outputs["roundtrip"].strip() == "identical", f"round trip said {outputs['roundtrip']!r}")
        decoded = (scratch / "out/check/clip.rgb").read_bytes()
        frames = sorted((scratch / "out/check").glob("frame-*.png"))
        check(len(frames) == 30 and len(decoded) == 30 * W * H * 3, f"{len(frames)} frames, {len(decoded)} bytes")
        for k, path in enumerate(frames):
            check(decoded[k * W * H * 3:(k + 1) * W * H * 3] == png_rgb(path), f"round trip differs at {path.name}")
        # The live view read the whole stream: with pipefail a reader that
        # quit early would have left noise-frame killed by SIGPIPE.
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def cmd_size(tool):
    _, usage, _ = run([str(tool), "--help"], stdout=subprocess.PIPE)
    found = re.search(r"\n  (noise-frame [^\n]*--size 1920x1080(?:[^\n]*\\\n)+[^\n]*\n)", usage.decode())
    check(found, "no 1080p recipe in --help")
    frames = 6
    recipe = found.group(1).replace("--frames 300", f"--frames {frames}")
    check(f"--frames {frames}" in recipe, f"the recipe names no --frames 300: {recipe!r}")
    scratch = Path(tempfile.mkdtemp(prefix="noise-frame-size-"))
    try:
        (scratch / "bin").mkdir()
        (scratch / "bin/noise-frame").symlink_to(tool)
        env = dict(os.environ, PATH=f"{scratch / 'bin'}:{os.environ['PATH']}")
        code, _, err = run(["bash", "-euo", "pipefail", "-c", recipe], cwd=scratch, env=env,
                           stdin=subprocess.DEVNULL, stderr=subprocess.PIPE)
        check(code == 0, f"1080p recipe: exit {code}: {err.decode(errors='replace')[-500:]}")
        code, out, _ = run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-count_frames", "-show_entries",
                            "stream=width,height,nb_read_frames", "-of", "default=nw=1", str(scratch / "clip.mp4")],
                           stdout=subprocess.PIPE)
        probe = out.decode().split()
        for entry in ("width=1920", "height=1080", f"nb_read_frames={frames}"):
            check(entry in probe, f"clip.mp4: {entry} not in {probe}")
        run([str(tool), "--seed", "1", "--ms", "0", "--size", "1920x1080", "-o", str(scratch / "ref.png")])
        with Image.open(scratch / "ref.png") as im:
            check(im.size == (1920, 1080), f"ref.png: size {im.size}")
            reference = im.convert("RGB").tobytes()
        _, first, _ = run(["ffmpeg", "-loglevel", "error", "-i", str(scratch / "clip.mp4"), "-frames:v", "1",
                           "-f", "rawvideo", "-pix_fmt", "rgb24", "-"], stdout=subprocess.PIPE)
        check_upright("clip.mp4", first, reference, 1920)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def cmd_png(tool):
    scratch = Path(tempfile.mkdtemp(prefix="noise-frame-png-"))
    try:
        common = ["--seed", "5", "--ms", "1000", "--fps", "24", "--frames", "6"]
        run([str(tool), *common, "-o", str(scratch / "f-%d.png")])
        _, raw, _ = run([str(tool), *common, "--format", "raw"], stdout=subprocess.PIPE)
        frames = [scratch / f"f-{k}.png" for k in range(6)]
        code, out, _ = run(["pngcheck", *map(str, frames)], stdout=subprocess.PIPE)
        check(code == 0, f"pngcheck: {out.decode()}")
        for k, path in enumerate(frames):
            pixels = raw[k * W * H * 4:(k + 1) * W * H * 4]
            # Raw is 0x00RRGGBB little-endian, row 0 (the bottom) first.
            rgb = b"".join(bytes((pixels[i + 2], pixels[i + 1], pixels[i])) for i in range(0, len(pixels), 4))
            with Image.open(path) as im:
                check(im.mode == "RGB", f"{path.name}: mode {im.mode}")
            check(png_rgb(path) == flipped(rgb), f"{path.name}: pixels differ from the raw frame")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def cmd_progress(tool):
    scratch = Path(tempfile.mkdtemp(prefix="noise-frame-progress-"))
    # About 1.5 ms a frame on one core: the run lasts well over a second.
    args = [str(tool), "--seed", "1", "--ms", "0", "--frames", "1200", "--jobs", "1", "-o", str(scratch / "%d.png")]

    def on_pty(extra):
        master, slave = pty.openpty()
        proc = subprocess.Popen(args + extra, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=slave,
                                start_new_session=True)
        os.close(slave)
        seen = b""
        try:
            while True:
                try:
                    chunk = os.read(master, 4096)
                except OSError:  # EIO: the child closed the terminal
                    break
                if not chunk:
                    break
                seen += chunk
            proc.wait(timeout=STEP_TIMEOUT_S)
        finally:
            if proc.poll() is None:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait()
            os.close(master)
        check(proc.returncode == 0, f"exit {proc.returncode}: {seen!r}")
        return seen.decode(errors="replace")

    try:
        shown = on_pty([])
        check(re.search(r"noise-frame: \d+/1200 frames, [0-9.]+ frames/s, \d+ s left", shown),
              f"no progress on the terminal: {shown!r}")
        check(shown.endswith("\r\x1b[K"), f"progress not erased at the end: {shown[-80:]!r}")
        check(on_pty(["--quiet"]) == "", "--quiet still shows something")
        code, _, err = run(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        check(code == 0 and err == b"", f"progress on a pipe: exit {code}, {err!r}")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def cmd_install(tool, build):
    scratch = Path(tempfile.mkdtemp(prefix="noise-frame-install-"))
    try:
        code, out, err = run(["cmake", "--install", str(build), "--prefix", str(scratch)],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        check(code == 0, f"cmake --install: {err.decode()}")
        installed = scratch / "bin/noise-frame"
        _, version, _ = run([str(installed), "--version"], stdout=subprocess.PIPE)
        _, own_version, _ = run([str(tool), "--version"], stdout=subprocess.PIPE)
        check(re.fullmatch(rb"noise-frame \d+\.\d+\.\d+\n", version) and version == own_version,
              f"installed --version: {version!r}")
        page = (scratch / "share/man/man1/noise-frame.1").read_text()
        text = re.sub(r"\\f[BIR]", "", page).replace("\\-", "-")
        _, usage, _ = run([str(installed), "--help"], stdout=subprocess.PIPE)
        options = set(re.findall(r"(?<![\w-])(--[a-z]+|-[a-zA-Z])\b", usage.decode()))
        check(len(options) >= 20, f"only {sorted(options)} in --help")
        missing = [o for o in sorted(options) if not re.search(r"(?<![\w-])" + re.escape(o) + r"\b", text)]
        check(not missing, f"manual page lacks {missing}")
        if shutil.which("man"):
            code, shown, err = run(["man", "-l", str(scratch / "share/man/man1/noise-frame.1")],
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=dict(os.environ, MANPAGER="cat"))
            check(code == 0 and b"--fps" in shown and not err, f"man -l: exit {code}, {err.decode()}")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("check", choices=["recipes", "size", "png", "progress", "install"])
    parser.add_argument("--tool", type=Path, required=True)
    parser.add_argument("--source", type=Path)
    parser.add_argument("--build", type=Path)
    a = parser.parse_args()
    tool = a.tool.resolve()
    try:
        if a.check == "recipes":
            cmd_recipes(tool, a.source)
        elif a.check == "size":
            cmd_size(tool)
        elif a.check == "png":
            cmd_png(tool)
        elif a.check == "progress":
            cmd_progress(tool)
        else:
            cmd_install(tool, a.build)
    except Failure as e:
        print(f"FAIL {a.check}: {e}", file=sys.stderr)
        return 1
    print(f"ok {a.check}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
