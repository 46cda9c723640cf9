#!/usr/bin/env python3
"""The install and the packages, in scratch folders (the .deb unpacked with
dpkg-deb -x, never installed): files in place, stripped, both manual pages
read by lexgrog and man without a warning, the MIT licence in the
machine-readable copyright file, lintian without errors or warnings, the
unpacked programs' frames and picture, the desktop entry, icons and
settings file; the zip holding the built Windows programs and the licence.

  package_test.py deb|zip --build DIR --cpack EXE [--frame-tool EXE | --program EXE --saver EXE]
"""
import argparse, os, re, shutil, struct, subprocess, sys, tempfile, zipfile
import xml.etree.ElementTree as ET
from pathlib import Path

from session import Failure, Session
from session.process import run_tool

SLOW_S = 300
SIZES = (16, 32, 48, 64, 128, 256)
FRAMES = ["--seed", "1", "--ms", "0", "--fps", "30", "--frames", "3", "--format", "ppm"]
HELD = ["--seed", "1", "--time", "999"]
LICENSE = Path(__file__).resolve().parents[2] / "LICENSE"
PAGES = ("noise-animation.1", "noise-frame.1")


def check(ok, what):
    if not ok:
        raise Failure(what)


def check_tree(root, suffix):
    pages = [f"share/man/man1/{page}{suffix}" for page in PAGES]
    files = ["bin/noise-animation", "bin/noise-frame", *pages, "share/doc/noise-animation/copyright",
             "share/applications/noise-animation.desktop", "share/xscreensaver/config/noise-animation.xml"]
    missing = [f for f in files if not (root / f).is_file()]
    check(not missing, f"not under {root}: {missing}")
    for page in pages:
        check_man_page(root / page)
    for n in SIZES:
        head = (root / f"share/icons/hicolor/{n}x{n}/apps/noise-animation.png").read_bytes()[:24]
        check(head[:8] == b"\x89PNG\r\n\x1a\n" and struct.unpack(">II", head[16:]) == (n, n), f"the {n}x{n} icon")


def check_man_page(page):
    """lexgrog finds its NAME line, and man formats it without a warning,
    with every section the programs' pages hold beyond their --help text."""
    run_tool(["lexgrog", str(page)])
    env = dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8")
    shown = subprocess.run(["man", "--warnings", "-l", str(page)], env=env, capture_output=True, timeout=60)
    check(shown.returncode == 0 and not shown.stderr, f"man --warnings -l {page.name}: {shown.stderr.decode()}")
    text = shown.stdout.decode()
    for section in ("SYNOPSIS", "DESCRIPTION", "EXIT STATUS", "SIGNALS", "FILES", "SEE ALSO"):
        check(re.search(rf"^{section}$", text, re.M), f"{page.name} has no {section} section")
    check(not re.search(r"^DESCRIPTION\n\s*usage:", text, re.M), f"{page.name} repeats its usage lines as prose")
    if page.name.startswith("noise-animation."):
        for section in ("KEYS", "X SCREEN SAVER"):
            check(re.search(rf"^{section}$", text, re.M), f"{page.name} has no {section} section")


def license_text(lines):
    """The licence's words from its permission notice on, joined by single
    spaces, whatever the line breaks, indentation and paragraph dots."""
    words = " ".join(line.strip() for line in lines if line.strip() not in ("", "."))
    return words[words.index("Permission is hereby granted"):]


def check_copyright(path):
    """A machine-readable copyright file: the Expat licence for every file,
    its text the one in LICENSE, and the licence's copyright line."""
    text = path.read_text()
    stanzas = [dict(re.findall(r"^([A-Za-z-]+):[ \t]*(.*)$", stanza, re.M)) for stanza in text.split("\n\n")]
    check(stanzas[0].get("Format", "").startswith("https://www.debian.org/doc/packaging-manuals/copyright-format/1.0"),
          "the copyright file is not in the machine-readable format")
    files = [s for s in stanzas if s.get("Files") == "*"]
    check(files and files[0].get("License") == "Expat", "the copyright file does not give every file the Expat licence")
    license = LICENSE.read_text()
    holder = re.search(r"^Copyright \(c\) (.+)$", license, re.M).group(1)
    check(files[0].get("Copyright") == holder, f"the copyright file does not say '{holder}'")
    body = text.split("\nLicense: Expat\n", 1)
    check(len(body) == 2 and license_text(body[1].splitlines()) == license_text(license.splitlines()),
          "the copyright file's licence text is not LICENSE's")


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
    check_tree(scratch / "prefix", "")
    for program in (scratch / "prefix/bin").iterdir():
        sections = run_tool(["readelf", "--section-headers", "--wide", str(program)]).stdout
        check(not re.search(rb"\.symtab|\.debug_", sections), f"{program} is not stripped")

    run_tool([str(a.cpack), "-G", "DEB", "--config", str(a.build / "CPackConfig.cmake"), "-B", str(scratch)], seconds=SLOW_S)
    deb = str(next(scratch.glob("*.deb")))
    fields = run_tool(["dpkg-deb", "-f", deb, "Depends", "Maintainer", "Description"]).stdout.decode()
    check(re.search(r"^Depends: .*libsdl2.*\nMaintainer: \S.* <\S+@\S+>\nDescription: .*\n \S", fields), fields)
    lint = run_tool(["lintian", "--display-level", ">=pedantic", deb], seconds=SLOW_S, check=False)
    print(f"{Path(deb).name}: {Path(deb).stat().st_size} bytes; lintian:\n{lint.stdout.decode()}", end="")
    check(lint.returncode == 0 and not re.search(rb"^[EW]: ", lint.stdout, re.M), "lintian reports errors or warnings")

    run_tool(["dpkg-deb", "-x", deb, str(scratch / "root")])
    usr = scratch / "root/usr"
    check_tree(usr, ".gz")
    check_copyright(usr / "share/doc/noise-animation/copyright")
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
    check(sorted(files) == ["LICENSE.txt", "README.txt", "noise-animation.exe", "noise-animation.scr"],
          "wrong files in the zip")
    for name, built in (("noise-animation.exe", a.program), ("noise-animation.scr", a.saver)):
        check(files[name] == built.read_bytes(), f"{name} in the zip is not the built one")
    check(b"noise-animation.scr\r\n" in files["README.txt"], "README.txt: no Windows line ends, or no .scr")
    check(files["LICENSE.txt"] == LICENSE.read_bytes().replace(b"\n", b"\r\n"),
          "LICENSE.txt is not LICENSE with Windows line ends")


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
