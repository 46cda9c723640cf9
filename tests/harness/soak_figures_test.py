"""Tests of the soak run's figures: parsing the probe and xrestop, and the
flatness and title-rhythm judgements, on made-up series."""

import os
import unittest

import soak_figures as sf

MIB = 1024 * 1024

XRESTOP = """\
0 - <unknown> ( PID:  ?   ):
\tres_base      : 0x400000
\twindows       : 1
\tGCs           : 7
\tpixmaps       : 3
\tpixmap bytes  : 4096
\ttotal bytes   : ~5432
3 - Default IME ( PID:10462 ):
\twindows       : 7
\tGCs           : 1
\tpixmaps       : 0
4 - Default IME ( PID:10446 ):
\twindows       : 2
\tGCs           : 1
\tcursors       : 2
\tpixmap bytes  : 128
5 - second connection ( PID:10446 ):
\twindows       : 1
"""


def sample(ms, **values):
    row = {"ms": ms, "title": "Noise animation 41.37 fps", "title_gaps": [], "title_changes": 0}
    row.update(values)
    return row


class ProbeLines(unittest.TestCase):
    def test_sample_line(self):
        line = ("sample=3\tms=15002\tpid=32\tworking_set=24006656\tprivate=0\tpagefile=7430144\thandles=0"
                "\tgdi=0\tuser=0\ticonic=1\ttitle_changes=2\ttitle_gaps=2013,2008\t"
                "title=Noise animation 41.37 fps\r\n")
        row = sf.parse_probe_line(line)
        self.assertEqual(row["sample"], 3)
        self.assertEqual(row["working_set"], 24006656)
        self.assertEqual(row["pagefile"], 7430144)
        self.assertEqual(row["iconic"], 1)
        self.assertEqual(row["title_gaps"], [2013, 2008])
        self.assertEqual(row["title"], "Noise animation 41.37 fps")

    def test_no_gaps_and_plain_title(self):
        line = ("sample=0\tms=0\tpid=1\tworking_set=1\tprivate=2\tpagefile=3\thandles=4\tgdi=5\tuser=6"
                "\ticonic=0\ttitle_changes=0\ttitle_gaps=\ttitle=Noise animation")
        row = sf.parse_probe_line(line)
        self.assertEqual(row["title_gaps"], [])
        self.assertEqual((row["handles"], row["gdi"], row["user"]), (4, 5, 6))

    def test_end_and_error_lines(self):
        self.assertEqual(sf.parse_probe_line("exited=0\n"), {"exited": 0})
        self.assertEqual(sf.parse_probe_line("exited=3"), {"exited": 3})
        self.assertEqual(sf.parse_probe_line("error=no window")["error"], "no window")

    def test_malformed_lines_are_ignored(self):
        self.assertIsNone(sf.parse_probe_line("wine: something"))
        self.assertIsNone(sf.parse_probe_line("sample=1\tms=x\ttitle=t"))
        self.assertIsNone(sf.parse_probe_line("sample=1\tms=5"))  # fields missing


class XResources(unittest.TestCase):
    def test_clients_and_counts(self):
        clients = sf.parse_xrestop(XRESTOP)
        self.assertEqual(len(clients), 4)
        self.assertIsNone(clients[0]["pid"])
        self.assertEqual(clients[0]["counts"], {"windows": 1, "GCs": 7, "pixmaps": 3})
        self.assertEqual(clients[0]["pixmap_bytes"], 4096)
        self.assertEqual(clients[2]["pid"], 10446)
        self.assertEqual(clients[2]["name"], "Default IME")

    def test_sums_every_connection_of_the_process(self):
        mine, everyone = sf.x_resources(sf.parse_xrestop(XRESTOP), 10446)
        self.assertEqual(mine, 2 + 1 + 2 + 1)
        self.assertEqual(everyone, 11 + 8 + 5 + 1)
        self.assertEqual(sf.x_resources(sf.parse_xrestop(XRESTOP), 1)[0], 0)


class Flatness(unittest.TestCase):
    def series(self, values, step_ms=5000):
        return [sample(i * step_ms, working_set=v, handles=v) for i, v in enumerate(values)]

    def test_flat_memory_passes(self):
        rows = self.series([20 * MIB + (i % 3) * 4096 for i in range(30)])
        verdict, text = sf.judge_flat(rows, "working_set", 30000, memory=True)
        self.assertEqual(verdict, "flat", text)

    def test_steady_leak_is_caught(self):
        rows = self.series([20 * MIB + i * 512 * 1024 for i in range(30)])
        verdict, text = sf.judge_flat(rows, "working_set", 30000, memory=True)
        self.assertEqual(verdict, "grew", text)
        self.assertIn("growth +", text)

    def test_growth_during_warm_up_is_ignored(self):
        values = [i * 5 * MIB for i in range(1, 8)] + [40 * MIB] * 16
        rows = self.series(values)
        self.assertEqual(sf.judge_flat(rows, "working_set", 35000, memory=True)[0], "flat")
        self.assertEqual(sf.judge_flat(rows, "working_set", 0, memory=True)[0], "grew")

    def test_a_lone_spike_is_not_a_leak(self):
        values = [30 * MIB] * 20
        values[10] = 90 * MIB
        self.assertEqual(sf.judge_flat(self.series(values), "working_set", 0, memory=True)[0], "flat")

    def test_counts_may_not_creep(self):
        self.assertEqual(sf.judge_flat(self.series([50] * 20), "handles", 0, memory=False)[0], "flat")
        creeping = self.series([50 + i for i in range(20)])
        self.assertEqual(sf.judge_flat(creeping, "handles", 0, memory=False)[0], "grew")

    def test_zero_everywhere_is_reported_unmeasured(self):
        rows = [sample(i * 5000, gdi=0) for i in range(10)]
        self.assertEqual(sf.judge_flat(rows, "gdi", 0, memory=False)[0], "unmeasured")

    def test_too_few_samples_after_warm_up(self):
        rows = self.series([1, 2, 3, 4])
        self.assertEqual(sf.judge_flat(rows, "handles", 12000, memory=False)[0], "short")


class TitleRhythm(unittest.TestCase):
    def rows(self, gaps, title="Noise animation 41.37 fps"):
        return [sample(i * 5000, title_gaps=gaps[i:i + 2], title=title) for i in range(0, len(gaps), 2)]

    def test_two_second_rhythm_passes(self):
        ok, text = sf.judge_title(self.rows([2010, 2004, 2031, 2008, 2012, 2001]))
        self.assertTrue(ok, text)
        self.assertIn("7 rate updates", text)

    def test_one_repeated_rate_text_is_tolerated(self):
        ok, text = sf.judge_title(self.rows([2010, 2004, 4031, 2008, 2012, 2001]))
        self.assertTrue(ok, text)

    def test_slow_rhythm_fails(self):
        self.assertFalse(sf.judge_title(self.rows([5000] * 6))[0])
        self.assertFalse(sf.judge_title(self.rows([1000] * 6))[0])

    def test_a_long_stall_fails(self):
        ok, text = sf.judge_title(self.rows([2000, 2000, 9000, 2000, 2000, 2000]))
        self.assertFalse(ok)
        self.assertIn("longer than", text)

    def test_too_few_updates_fail(self):
        self.assertFalse(sf.judge_title(self.rows([2000, 2000]))[0])

    def test_title_form(self):
        gaps = [2000] * 6
        self.assertTrue(sf.judge_title(self.rows(gaps, "Noise animation 1005.50 fps"))[0])
        self.assertTrue(sf.judge_title(self.rows(gaps, "Noise animation 0.43 fps"))[0])
        # A minimised window renders without presenting: past 10,000 frames a second.
        self.assertTrue(sf.judge_title(self.rows(gaps, "Noise animation 12345.00 fps"))[0])
        for bad in ("Noise animation 41.3 fps", "Noise animation 41.37fps", "Noise animation -1.00 fps",
                    "Noise animation 12345 fps", "noise animation 41.37 fps", ""):
            ok, text = sf.judge_title(self.rows(gaps, bad))
            self.assertFalse(ok, bad)
            self.assertIn("unexpected title", text)


class LinuxStatus(unittest.TestCase):
    def test_own_process(self):
        status = sf.read_linux_status(os.getpid())
        self.assertGreater(status["rss"], 1024 * 1024)
        self.assertGreaterEqual(status["threads"], 1)
        self.assertGreaterEqual(status["fds"], 3)

    def test_gone_process(self):
        self.assertIsNone(sf.read_linux_status(2 ** 22 + 12345))


class Table(unittest.TestCase):
    def test_missing_figures_show_as_dash(self):
        row = sample(15000, rss=30 * MIB, working_set=29 * MIB, x_resources=None)
        cells = sf.table_row(row).split("\t")
        self.assertEqual(len(cells), len(sf.table_header().split("\t")))
        self.assertEqual(cells[0], "15")
        self.assertEqual(cells[1], "30.0")
        self.assertEqual(cells[8], "-")
        self.assertEqual(cells[-1], "Noise animation 41.37 fps")


if __name__ == "__main__":
    unittest.main()
