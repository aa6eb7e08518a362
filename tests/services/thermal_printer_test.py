#!/usr/bin/python3
"""The printer emulator's own parser and checks, against the check values worked out from
the protocol's rule (the first one is the printer maker's own example)."""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import thermal_printer as tp  # noqa: E402

WORKED = [
    (b"1#e", b"88"),
    (b"3#e", b"8A"),
    (b"0#e", b"89"),
    (b"0$h", b"83"),
    (b"0;1$h#FV/123\r", b"A8"),
    (b"1$lChleb\r1\rA/2.50/2.50/", b"99"),
    (b"2$lMleko\r2\rB/3.10/6.20/", b"9C"),
    (b"1;2;1$lTowar 1\r1\rA/80/80/15/", b"BF"),
    (b"0$e", b"8E"),
    (b"0;0;0$e1\rJan\r", b"FA"),
    (b"1;0$e001\r10/8.70/", b"A8"),
    (b"0;0;0;0;0;0;0;0;0;0;1;0$y1\rJan\r\r8.70/8.70/0/10/0/", b"CF"),
    (b"#r", b"AE"),
    (b"1;24;5;17#r", b"91"),
    (b"24;5;1;24;5;17;0#o", b"B4"),
    (b"16#o1/30/", b"86"),
    (b"23#k1\rJan Kowalski\r", b"CD"),
    (b"#j", b"B6"),
    (b"1$l\xa1\xa2\x92\x8d\r1\rA/1/1/", b"C5"),
]


def feed(parser, data):
    events = []
    for b in data:
        event = parser.feed(b)
        if event:
            events.append(event)
    return events


def frame(body, cc=b""):
    return b"\x1bP" + body + cc + b"\x1b\\"


class CheckBytes(unittest.TestCase):
    def test_worked_values(self):
        for body, cc in WORKED:
            with self.subTest(body=body):
                self.assertEqual(tp.check_byte(body), cc)
                events = feed(tp.FrameParser(), frame(body, cc))
                self.assertEqual(events, [("frame", body + cc)])
                params, ident, fields = tp.split_command(body + cc)
                self.assertEqual(ident, tp.identifier(body))

    def test_wrong_or_missing_check_byte_is_error_2(self):
        for body, cc in WORKED:
            wrong = b"%02X" % (int(cc, 16) ^ 0x01)
            with self.subTest(body=body):
                with self.assertRaises(tp.CommandError) as e:
                    tp.split_command(body + wrong)
                self.assertEqual(e.exception.code, 2)
        with self.assertRaises(tp.CommandError) as e:
            tp.split_command(b"0$h")
        self.assertEqual(e.exception.code, 2)

    def test_lower_case_hex_is_accepted(self):
        self.assertEqual(tp.split_command(b"2$lMleko\r2\rB/3.10/6.20/9c")[0], [2])

    def test_queries_and_display_need_no_check_byte(self):
        self.assertEqual(tp.split_command(b"#n"), ([], b"#n", b""))
        self.assertEqual(tp.split_command(b"2$d19.99"), ([2], b"$d", b"19.99"))


class Parser(unittest.TestCase):
    def test_control_bytes_outside_and_inside_frames(self):
        p = tp.FrameParser()
        self.assertEqual(feed(p, b"\x05\x07"), [("enq",), ("bel",)])
        # ENQ and BEL inside a frame are not interpreted; the frame goes on.
        self.assertEqual(feed(p, b"\x1bP0$\x05h83\x1b\\"), [("frame", b"0$h83")])
        # CAN aborts the frame under way.
        self.assertEqual(feed(p, b"\x1bP0$h\x18\x1bP#j"), [("can",)])
        self.assertEqual(feed(p, b"B6\x1b\\"), [("frame", b"#jB6")])

    def test_escape_inside_a_frame(self):
        p = tp.FrameParser()
        # ESC P restarts; any other ESC drops the rest up to ESC \.
        self.assertEqual(feed(p, b"\x1bP1$lCh\x1bP0$h83\x1b\\"), [("frame", b"0$h83")])
        self.assertEqual(feed(p, b"\x1bP1$lCh\x1bXleb\r1\x1b\\"), [])
        self.assertEqual(feed(p, b"\x1bP#jB6\x1b\\"), [("frame", b"#jB6")])

    def test_noise_outside_frames_is_ignored(self):
        self.assertEqual(feed(tp.FrameParser(), b"xyz\r\n\x1bQ\x1bP#jB6\x1b\\"), [("frame", b"#jB6")])


class Transactions(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.roll = os.path.join(self.dir.name, "roll.txt")
        options = {"fail": [], "silent_at": None, "unplug_at": None, "busy": {}, "slow": 0, "paper_out": False,
                   "date": None}
        self.p = tp.Printer(options, self.roll, None)
        self.p.mode = 3

    def tearDown(self):
        self.dir.cleanup()

    def run_frame(self, body):
        replies, _ = self.p.execute(body + tp.check_byte(body))
        self.assertEqual(replies[-1][:2], b"\x1bP")
        status = replies[-1][2:-2]
        return int(status[:status.index(b"#Z")])

    def test_receipt_of_the_worked_example(self):
        self.assertEqual(self.run_frame(b"0$h"), 0)
        self.assertEqual(self.run_frame(b"1$lChleb\r1\rA/2.50/2.50/"), 0)
        self.assertEqual(self.run_frame(b"2$lMleko\r2\rB/3.10/6.20/"), 0)
        self.assertEqual(self.run_frame(b"0;0;0;0;0;0;0;0;0;0;1;0$y1\rJan\r\r8.70/8.70/0/10/0/"), 0)
        self.assertFalse(self.p.par)
        self.assertTrue(self.p.trf)
        with open(self.roll, encoding="utf-8") as f:
            roll = f.read().splitlines()
        self.assertIn("SUMA PLN 8.70", roll)
        self.assertIn("GOTÓWKA 10.00", roll)

    def test_refusals(self):
        self.assertEqual(self.run_frame(b"1$lChleb\r1\rA/2.50/2.50/"), 21)  # no transaction
        self.assertEqual(self.run_frame(b"0$h"), 0)
        self.assertEqual(self.run_frame(b"0$h"), 95)
        self.assertEqual(self.run_frame(b"1$lChleb\r3\rA/2.50/7.49/"), 20)  # 3 x 2.50 is not 7.49
        self.assertEqual(self.run_frame(b"1$lChleb\r1\rE/2.50/2.50/"), 18)  # inactive rate
        self.assertEqual(self.run_frame(b"1$l\r1\rA/2.50/2.50/"), 16)  # no name
        self.assertEqual(self.run_frame(b"1$l" + b"X" * 41 + b"\r1\rA/2.50/2.50/"), 16)
        self.assertEqual(self.run_frame(b"1$lChleb\r12345678901\rA/1/12345678901/"), 17)
        self.assertEqual(self.run_frame(b"2$lChleb\r1\rA/2.50/2.50/"), 4)  # not the next line number
        self.assertEqual(self.run_frame(b"1$lChleb\r1.333\rA/3/4.00/"), 0)  # 3.999 rounded half up
        self.assertEqual(self.run_frame(b"0;0;0;0;0;0;0;0;0;0;1;0$y1\rJan\r\r5/5/0/5/0/"), 27)  # not the sum
        self.assertEqual(self.run_frame(b"0$e"), 0)
        self.assertFalse(self.p.par)
        self.assertFalse(self.p.trf)
        self.assertEqual(self.run_frame(b"0$e"), 29)

    def test_a_bad_check_byte_is_answered_for_its_command(self):
        replies, _ = self.p.execute(b"0$h00")
        self.assertEqual(replies, [b"\x1bP2#Z$h\x1b\\"])
        self.assertFalse(self.p.par)


if __name__ == "__main__":
    unittest.main()
