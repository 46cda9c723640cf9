#!/usr/bin/env python3
"""The install and the packages, in scratch folders (the .deb unpacked with
dpkg-deb -x, never installed): files in place, stripped, lintian without
errors, the unpacked programs' frames and picture, the desktop entry, icons
and settings file; the zip holding the built Windows programs.

  package_test.py deb|zip --build DIR --cpack EXE [--frame-tool EXE | --program EXE --saver EXE]
"""
import argparse, re, shutil, struct, subprocess, sys, tempfile, zipfile
import xml.etree.ElementTree as ET
from pathlib import Path

from session import Failure, Session
from session.process import run_tool

SLOW_S = 300
SIZES = (16, 32, 48, 64, 128, 256)
FRAMES = ["--seed", "1", "--ms", "0", "--fps", "30", "--frames", "3", "--format", "ppm"]
HELD = ["--seed", "1", "--time", "999"]


def check(ok, what):
    if not ok:
        raise Failure(what)


def check_tree(root, man):
    files = ["bin/noise-animation", "bin/noise-frame", f"share/man/man1/{man}", "share/doc/noise-animation/copyright",
             "share/applications/noise-animation.desktop", "share/xscreensaver/config/noise-animation.xml"]
    missing = [f for f in files if not (root / f).is_file()]
    check(not missing, f"not under {root}: {missing}")
    for n in SIZES:
        head = (root / f"share/icons/hicolor/{n}x{n}/apps/noise-animation.png").read_bytes()[:24]
        check(head[:8] == b"\x89PNG\r\n\x1a\n" and struct.unpack(">II", head[16:]) == (n, n), f"the {n}x{n} icon")


def check_settings_file(path):
    known = {(e.tag, a) for own in Path("/usr/share/xscreensaver/config").glob("*.xml")
             for e in ET.parse(own).iter() for a in (None, *e.attrib)}
    root = ET.parse(path).getroot()
    used = {(e.tag, a) for e in root.iter() for a in (None, *e.attrib)}
    check(known and used <= known, f"{path.name} uses what the daemon's files do not: {sorted(used - known, key=str)}")
    delay = root.find("number[@id='delay'][@arg='--delay %']")
    check(delay is not None and round(1e6 / int(delay.get("default"))) == 60, "no --delay slider at 60 fps")
    check(root.find("boolean[@arg-set='--fps']") is not None, "no --fps box")


def check_held_picture(usr):
    ppm = run_tool([str(usr / "bin/noise-frame"), *HELD, "--format", "ppm"]).stdout
    raw = ppm[len(b"P6\n320 200\n255\n"):]
    reference = [tuple(raw[k:k + 3]) for k in range(0, len(raw), 3)]
    with Session(private_display=True) as s:
        shown = s.start_native([str(usr / "bin/noise-animation"), *HELD], stdout=subprocess.DEVNULL)
        window = s.wait_window(shown, "^Noise animation", 20)
        s.wait_for(lambda: s.screenshot(window).pixels == reference, 20, "noise-frame's picture in the window")
        s.close_window(window)
        shown.expect_exit(20, "after a close request")


def check_deb(a, scratch):
    run_tool(["cmake", "--install", str(a.build), "--prefix", str(scratch / "prefix")], seconds=SLOW_S)
    check_tree(scratch / "prefix", "noise-frame.1")
    for program in (scratch / "prefix/bin").iterdir():
        sections = run_tool(["readelf", "--section-headers", "--wide", str(program)]).stdout
        check(not re.search(rb"\.symtab|\.debug_", sections), f"{program} is not stripped")

    run_tool([str(a.cpack), "-G", "DEB", "--config", str(a.build / "CPackConfig.cmake"), "-B", str(scratch)], seconds=SLOW_S)
    deb = str(next(scratch.glob("*.deb")))
    fields = run_tool(["dpkg-deb", "-f", deb, "Depends", "Maintainer", "Description"]).stdout.decode()
    check(re.search(r"^Depends: .*libsdl2.*\nMaintainer: \S.* <\S+@\S+>\nDescription: .*\n \S", fields), fields)
    lint = run_tool(["lintian", "--display-level", ">=pedantic", deb], seconds=SLOW_S, check=False)
    print(f"{Path(deb).name}: {Path(deb).stat().st_size} bytes; lintian:\n{lint.stdout.decode()}", end="")
    check(lint.returncode == 0 and not re.search(rb"^E: ", lint.stdout, re.M), "lintian reports errors")

    run_tool(["dpkg-deb", "-x", deb, str(scratch / "root")])
    usr = scratch / "root/usr"
    check_tree(usr, "noise-frame.1.gz")
    built = run_tool([str(a.frame_tool), *FRAMES]).stdout
    check(built and run_tool([str(usr / "bin/noise-frame"), *FRAMES]).stdout == built, "noise-frame's frames differ")
    check(run_tool([str(usr / "bin/noise-animation"), "--help"]).stdout.startswith(b"usage: noise-animation"), "--help")
    check_held_picture(usr)
    run_tool(["desktop-file-validate", str(usr / "share/applications/noise-animation.desktop")])
    check_settings_file(usr / "share/xscreensaver/config/noise-animation.xml")


def check_zip(a, scratch):
    run_tool([str(a.cpack), "-G", "ZIP", "--config", str(a.build / "CPackConfig.cmake"), "-B", str(scratch)], seconds=SLOW_S)
    with zipfile.ZipFile(next(scratch.glob("*.zip"))) as archive:
        files = {Path(n).name: archive.read(n) for n in archive.namelist() if not n.endswith("/")}
    print(f"zip: {sorted(files)}")
    check(sorted(files) == ["README.txt", "noise-animation.exe", "noise-animation.scr"], "wrong files in the zip")
    for name, built in (("noise-animation.exe", a.program), ("noise-animation.scr", a.saver)):
        check(files[name] == built.read_bytes(), f"{name} in the zip is not the built one")
    check(b"noise-animation.scr\r\n" in files["README.txt"], "README.txt: no Windows line ends, or no .scr")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("check", choices=["deb", "zip"])
    for option in ("--build", "--cpack", "--frame-tool", "--program", "--saver"):
        parser.add_argument(option, type=Path)
    a = parser.parse_args()
    scratch = Path(tempfile.mkdtemp(prefix=f"noise-package-{a.check}-"))
    try:
        (check_deb if a.check == "deb" else check_zip)(a, scratch)
        print(f"ok {a.check}")
    except (Failure, StopIteration) as e:
        sys.exit(f"FAIL {a.check}: {e or 'cpack made no package'}")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
