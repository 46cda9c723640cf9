#!/usr/bin/env python3
"""The install and the packages as a user meets them, in scratch folders.

  package_test.py deb --build DIR --cpack EXE --frame-tool EXE
  package_test.py zip --build DIR --cpack EXE --program EXE --saver EXE

deb: cmake --install puts every file in its usual place under a scratch
     prefix, the programs stripped. cpack -G DEB makes a package with SDL2
     among its dependencies, a maintainer and a description, on which
     lintian reports no error. Unpacked with dpkg-deb -x (never installed):
     the same files under usr/, noise-frame writes the built tool's frames,
     noise-animation answers --help and shows noise-frame's picture on a
     private Xvfb, the desktop entry passes desktop-file-validate, the
     icons are PNGs of their folder's size, and the screen-saver settings
     file uses only what the daemon's own settings files use.
zip: cpack -G ZIP makes a zip holding the built noise-animation.exe and
     noise-animation.scr byte for byte, and a README.txt naming both.

Every wait is bounded; every process started here is ended by its id.
"""
import argparse
import glob
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zipfile
from pathlib import Path

from session import Failure, Session
from session.process import run_tool

PACKAGE_SECONDS = 300
ICON_SIZES = (16, 32, 48, 64, 128, 256)
HELD = ["--seed", "1", "--time", "999"]
PICTURE_WAIT_S = 20
DAEMON_CONFIG = Path("/usr/share/xscreensaver/config")


def check(ok, what):
    if not ok:
        raise Failure(what)


def expected_files(root, man_suffix):
    """The installed files, relative to the prefix ROOT."""
    files = ["bin/noise-animation", "bin/noise-frame", f"share/man/man1/noise-frame.1{man_suffix}",
             "share/applications/noise-animation.desktop", "share/xscreensaver/config/noise-animation.xml",
             "share/doc/noise-animation/copyright"]
    files += [f"share/icons/hicolor/{n}x{n}/apps/noise-animation.png" for n in ICON_SIZES]
    missing = [f for f in files if not (root / f).is_file()]
    check(not missing, f"not installed under {root}: {missing}")


def check_stripped(program):
    sections = run_tool(["readelf", "--section-headers", "--wide", str(program)]).stdout.decode()
    check(not re.search(r"\.symtab|\.debug_", sections), f"{program} is not stripped")


def check_icons(root):
    for n in ICON_SIZES:
        data = (root / f"share/icons/hicolor/{n}x{n}/apps/noise-animation.png").read_bytes()
        check(data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR", f"the {n}x{n} icon is no PNG")
        check(struct.unpack(">II", data[16:24]) == (n, n), f"the {n}x{n} icon is {struct.unpack('>II', data[16:24])}")


def check_settings_file(path):
    """Every element and attribute of PATH appears, on the same element, in
    the daemon's own settings files; the delay slider and the --fps box are
    the ones the program takes."""
    known = set()
    for own in DAEMON_CONFIG.glob("*.xml"):
        for element in ET.parse(own).iter():
            known.add((element.tag, None))
            known.update((element.tag, name) for name in element.attrib)
    check(known, f"no settings files of the X screen-saver daemon in {DAEMON_CONFIG}: run scripts/bootstrap")
    root = ET.parse(path).getroot()
    used = {(e.tag, None) for e in root.iter()} | {(e.tag, a) for e in root.iter() for a in e.attrib}
    check(used <= known, f"{path.name} uses what no settings file of the daemon does: {sorted(used - known, key=str)}")
    check(root.tag == "screensaver" and root.get("name") == "noise-animation", f"{path.name}: wrong root")
    delay = root.find("number[@id='delay']")
    check(delay is not None and delay.get("arg") == "--delay %", f"{path.name}: no --delay slider")
    low, high, default = (int(delay.get(k)) for k in ("low", "high", "default"))
    check(low <= default <= high and round(1_000_000 / default) == 60, f"{path.name}: delay default {default} us")
    check(root.find("boolean[@arg-set='--fps']") is not None, f"{path.name}: no --fps box")


def check_held_picture(program, frame_tool):
    """PROGRAM --seed 1 --time 999 shows FRAME_TOOL's picture for the same moment."""
    data = run_tool([str(frame_tool), *HELD, "--format", "ppm"]).stdout
    header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
    check(header, "noise-frame did not write a PPM")
    size = (int(header.group(1)), int(header.group(2)))
    raw = data[header.end():]
    reference = [tuple(raw[k:k + 3]) for k in range(0, len(raw), 3)]
    with Session(private_display=True) as session:
        shown = session.start_native([str(program), *HELD], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        window = session.wait_window(shown, "^Noise animation", PICTURE_WAIT_S)

        def same_picture():
            shot = session.screenshot(window)
            return (shot.width, shot.height) == size and shot.pixels == reference
        session.wait_for(same_picture, PICTURE_WAIT_S, "the unpacked program to show noise-frame's picture")
        session.close_window(window)
        shown.expect_exit(PICTURE_WAIT_S, "after a close request")


def check_deb(a, scratch):
    prefix = scratch / "prefix"
    run_tool(["cmake", "--install", str(a.build), "--prefix", str(prefix)], seconds=PACKAGE_SECONDS)
    expected_files(prefix, "")
    for program in ("noise-animation", "noise-frame"):
        check_stripped(prefix / "bin" / program)

    run_tool([str(a.cpack), "-G", "DEB", "--config", str(a.build / "CPackConfig.cmake"), "-B", str(scratch / "pkg")],
             seconds=PACKAGE_SECONDS)
    debs = glob.glob(str(scratch / "pkg/*.deb"))
    check(len(debs) == 1, f"cpack made {debs}")
    deb = debs[0]
    fields = run_tool(["dpkg-deb", "-f", deb, "Depends", "Maintainer", "Description"]).stdout.decode()
    check(re.search(r"^Depends: .*libsdl2", fields, re.M), f"no SDL2 among the dependencies:\n{fields}")
    check(re.search(r"^Maintainer: \S.* <\S+@\S+>$", fields, re.M), f"no maintainer:\n{fields}")
    check(len(re.findall(r"^ \S", fields, re.M)) >= 3, f"no extended description:\n{fields}")
    lint = run_tool(["lintian", "--display-level", ">=pedantic", deb], seconds=PACKAGE_SECONDS, check=False)
    report = lint.stdout.decode()
    print(f"lintian (exit {lint.returncode}):\n{report}", end="")
    check(lint.returncode == 0 and not re.search(r"^E: ", report, re.M), "lintian reports errors")

    root = scratch / "unpacked"
    run_tool(["dpkg-deb", "-x", deb, str(root)])
    usr = root / "usr"
    expected_files(usr, ".gz")
    built = run_tool([str(a.frame_tool), "--seed", "1", "--ms", "0", "--fps", "30", "--frames", "3", "--format", "ppm"])
    unpacked = run_tool([str(usr / "bin/noise-frame"), "--seed", "1", "--ms", "0", "--fps", "30", "--frames", "3",
                         "--format", "ppm"])
    check(built.stdout and unpacked.stdout == built.stdout, "the unpacked noise-frame's frames differ from the built tool's")
    usage = run_tool([str(usr / "bin/noise-animation"), "--help"]).stdout.decode()
    check(usage.startswith("usage: noise-animation"), f"noise-animation --help printed {usage[:60]!r}")
    check_held_picture(usr / "bin/noise-animation", usr / "bin/noise-frame")
    validate = run_tool(["desktop-file-validate", str(usr / "share/applications/noise-animation.desktop")], check=False)
    check(validate.returncode == 0 and not validate.stdout.strip(),
          f"desktop-file-validate: {validate.stdout.decode()}{validate.stderr.decode()}")
    check_icons(usr)
    check_settings_file(usr / "share/xscreensaver/config/noise-animation.xml")
    copyright_lines = (usr / "share/doc/noise-animation/copyright").read_text().splitlines()
    check(copyright_lines[0].startswith("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0"),
          "the copyright file is not in the machine-readable format")
    print(f"{Path(deb).name}: {Path(deb).stat().st_size} bytes")


def check_zip(a, scratch):
    run_tool([str(a.cpack), "-G", "ZIP", "--config", str(a.build / "CPackConfig.cmake"), "-B", str(scratch)],
             seconds=PACKAGE_SECONDS)
    zips = glob.glob(str(scratch / "*.zip"))
    check(len(zips) == 1, f"cpack made {zips}")
    with zipfile.ZipFile(zips[0]) as archive:
        files = {Path(n).name: n for n in archive.namelist() if not n.endswith("/")}
        check(sorted(files) == ["README.txt", "noise-animation.exe", "noise-animation.scr"],
              f"the zip holds {sorted(archive.namelist())}")
        check(len({Path(n).parent for n in files.values()}) == 1, "the zip's files are in different folders")
        for name, built in (("noise-animation.exe", a.program), ("noise-animation.scr", a.saver)):
            check(archive.read(files[name]) == built.read_bytes(), f"{name} in the zip is not the built one")
        readme = archive.read(files["README.txt"]).decode("ascii")
        check("noise-animation.exe" in readme and "noise-animation.scr" in readme, "README.txt names neither program")
        check("\r\n" in readme and "\n" not in readme.replace("\r\n", ""), "README.txt has no Windows line ends")
    print(f"{Path(zips[0]).name}: {Path(zips[0]).stat().st_size} bytes: {sorted(files)}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("check", choices=["deb", "zip"])
    parser.add_argument("--build", type=Path, required=True)
    parser.add_argument("--cpack", type=Path, required=True)
    parser.add_argument("--frame-tool", type=Path)
    parser.add_argument("--program", type=Path)
    parser.add_argument("--saver", type=Path)
    a = parser.parse_args()
    scratch = Path(tempfile.mkdtemp(prefix=f"noise-package-{a.check}-"))
    try:
        if a.check == "deb":
            check_deb(a, scratch)
        else:
            check_zip(a, scratch)
    except Failure as e:
        print(f"FAIL {a.check}: {e}", file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print(f"ok {a.check}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
