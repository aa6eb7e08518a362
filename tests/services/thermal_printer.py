#!/usr/bin/python3
"""A fiscal printer that speaks the Thermal protocol, on a pseudo-terminal, for the tests.

thermal_printer.py PORTFILE ROLL [options]

Opens a pseudo-terminal pair and writes the path of its terminal side (the "serial port"
a driver opens) into PORTFILE. It reads frames (ESC P ... ESC \\), checks their check
bytes, executes them on its own state (error mode, transaction, lines, VAT groups, totals)
and answers ENQ, DLE, #n, #v and, in error modes 2 and 3, the "Pe#Zxx" status after every
command. What the paper roll would show goes to ROLL as UTF-8 lines.

  --frames FILE      everything received, one line each: a frame's raw bytes, or <ENQ>,
                     <DLE>, <CAN>, <BEL> for a control byte
  --state FILE       the printer's state as JSON, rewritten after every command
  --fail CMD:N:CODE  the Nth command CMD ($l, #r, ...; N may be *) is refused with CODE
  --silent-at CMD:N[:MS]  at the Nth command CMD it stops answering anything, DLE
                     included (for MS, then it answers again; the command is lost)
  --silent-after CMD:N  the Nth command CMD is executed, then it falls silent unanswered
  --unplug-at CMD:N  at the Nth command CMD the port vanishes (the pair is closed)
  --unplug-after CMD:N  the Nth command CMD is executed, then the port vanishes
  --paper-out-at CMD:N:MS  the paper runs out at the Nth command CMD: for MS DLE says so
                     and nothing is answered, then the command completes
  --slow MS          every command and ENQ takes MS before its answer
  --busy CMD:MS      command CMD takes MS (a report); DLE is answered meanwhile
  --paper-out        DLE says out of paper, and nothing is executed
  --date YYYY-MM-DD  the printer's clock (default: today)
"""
import datetime
import json
import os
import select
import sys
import time
import tty
from decimal import Decimal, ROUND_HALF_UP

ESC, ENQ, DLE, BEL, CAN = 0x1B, 0x05, 0x10, 0x07, 0x18

# Commands that need no check byte.
NO_CHECK_BYTE = {b"$d", b"#s", b"#c", b"#n", b"#v"}
# Queries: answered by their own reply, not by the "#Z" status.
QUERIES = {b"#n", b"#v", b"#s", b"#c"}

MAZOVIA = {0x8F: "Ą", 0x95: "Ć", 0x90: "Ę", 0x9C: "Ł", 0xA5: "Ń", 0xA3: "Ó", 0x98: "Ś", 0xA0: "Ź", 0xA1: "Ż",
           0x86: "ą", 0x8D: "ć", 0x91: "ę", 0x92: "ł", 0xA4: "ń", 0xA2: "ó", 0x9E: "ś", 0xA6: "ź", 0xA7: "ż"}

RATES = {"A": Decimal("23"), "B": Decimal("8"), "C": Decimal("5"), "D": Decimal("0"), "E": None, "F": None,
         "G": Decimal("100")}  # None: inactive; 100: exempt


def check_byte(body):
    value = 0xFF
    for b in body:
        value ^= b
    return b"%02X" % value


def printable(data):
    """Bytes the printer can print: ASCII from 32 and the Polish letters of Mazovia."""
    return all(32 <= b < 127 or b in MAZOVIA for b in data)


def mazovia_text(data):
    return "".join(MAZOVIA.get(b, chr(b) if 32 <= b < 127 else "\\x%02X" % b) for b in data)


class FrameParser:
    """The printer's input loop: control bytes outside frames, frames up to ESC \\."""
    IDLE, ESCAPE, FRAME, FRAME_ESCAPE, DISCARD, DISCARD_ESCAPE = range(6)

    def __init__(self):
        self.state = self.IDLE
        self.body = bytearray()

    def feed(self, b):
        """One byte; returns ("enq"|"bel"|"can",) or ("frame", body) when one completes."""
        s = self.state
        if s == self.IDLE:
            if b == ESC:
                self.state = self.ESCAPE
            elif b == ENQ:
                return ("enq",)
            elif b == BEL:
                return ("bel",)
            elif b == CAN:
                return ("can",)
            return None
        if b == CAN:  # CAN aborts whatever frame is under way
            self.state = self.IDLE
            return ("can",)
        if s == self.ESCAPE:
            if b == ord("P"):
                self.body = bytearray()
                self.state = self.FRAME
            elif b != ESC:
                self.state = self.IDLE
            return None
        if s == self.FRAME:
            if b == ESC:
                self.state = self.FRAME_ESCAPE
            elif b not in (ENQ, BEL):  # not interpreted inside a frame
                self.body.append(b)
            return None
        if s == self.FRAME_ESCAPE:
            if b == ord("\\"):
                self.state = self.IDLE
                return ("frame", bytes(self.body))
            if b == ord("P"):  # ESC P restarts the frame
                self.body = bytearray()
                self.state = self.FRAME
            else:  # any other ESC: the rest of the frame is ignored
                self.state = self.DISCARD
            return None
        if s == self.DISCARD:
            if b == ESC:
                self.state = self.DISCARD_ESCAPE
            return None
        if s == self.DISCARD_ESCAPE:
            if b == ord("\\"):
                self.state = self.IDLE
            elif b == ord("P"):
                self.body = bytearray()
                self.state = self.FRAME
            elif b != ESC:
                self.state = self.DISCARD
            return None
        return None


class CommandError(Exception):
    def __init__(self, code):
        super().__init__(code)
        self.code = code


def identifier(body):
    """The two characters after the numeric parameters."""
    k = 0
    while k < len(body) and (body[k:k + 1].isdigit() or body[k] in b"; "):
        k += 1
    return body[k:k + 2]


def split_command(body):
    """(parameters, identifier, fields without the check byte); CommandError 2 for a bad
    check byte, 255 for no identifier."""
    k = 0
    while k < len(body) and (body[k:k + 1].isdigit() or body[k] in b"; "):
        k += 1
    if k + 2 > len(body) or body[k] not in b"$#":
        raise CommandError(255)
    prefix = body[:k].replace(b" ", b"")
    ident = body[k:k + 2]
    rest = body[k + 2:]
    params = [int(p) for p in prefix.split(b";")] if prefix else []
    if any(p > 500 for p in params):
        raise CommandError(4)
    if ident not in NO_CHECK_BYTE:
        if len(rest) < 2 or rest[-2:].upper() != check_byte(body[:-2]):
            raise CommandError(2)
        rest = rest[:-2]
    return params, ident, rest


def parse_amount(text, code):
    """An amount: digits, '.' or ',', at most 2 decimals; CommandError(code) otherwise."""
    t = text.replace(b",", b".")
    whole, _, frac = t.partition(b".")
    if not (whole or frac) or (whole and not whole.isdigit()) or (frac and not frac.isdigit()) or len(frac) > 2:
        raise CommandError(code)
    if len(whole.lstrip(b"0")) > 8:
        raise CommandError(code)
    return Decimal(t.decode() if whole else "0" + t.decode())


def parse_quantity(text):
    """string[16]: a number of at most 10 digits, '.' as its point, an optional unit."""
    if not text or len(text) > 16:
        raise CommandError(17)
    number, _, unit = text.strip(b" ").partition(b" ")
    whole, _, frac = number.partition(b".")
    if not (whole or frac) or (whole and not whole.isdigit()) or (frac and not frac.isdigit()):
        raise CommandError(17)
    if len(whole) + len(frac) > 10 or len(unit) > 4:
        raise CommandError(17)
    value = Decimal((whole or b"0").decode() + ("." + frac.decode() if frac else ""))
    if value == 0:
        raise CommandError(17)
    return value


def money(value):
    return "%.2f" % value


class Printer:
    def __init__(self, options, roll, state_file):
        self.o = options
        self.roll_path = roll
        self.state_file = state_file
        self.mode = 0  # power-on: stop on errors
        self.pe = 0
        self.cmd = True
        self.par = False
        self.trf = True
        self.next_line = 1
        self.lines = []
        self.paper_until = 0.0
        self.groups = {}
        self.receipts = 0
        self.display = ""
        self.drawer = 0
        self.counts = {}
        self.history = []
        self.printed_header = False

    # The paper roll.
    def roll(self, *lines):
        with open(self.roll_path, "a", encoding="utf-8") as f:
            for line in lines:
                f.write(line + "\n")

    def save_state(self):
        if not self.state_file:
            return
        state = {"mode": self.mode, "par": self.par, "trf": self.trf, "pe": self.pe, "cmd": self.cmd,
                 "lines": self.lines, "receipts": self.receipts, "display": self.display, "drawer": self.drawer,
                 "history": self.history}
        tmp = self.state_file + ".tmp"
        with open(tmp, "w", encoding="utf-8") as f:
            json.dump(state, f, ensure_ascii=False)
        os.replace(tmp, self.state_file)

    def enq_status(self):
        return 0x60 | 0x08 | (0x04 if self.cmd else 0) | (0x02 if self.par else 0) | (0x01 if self.trf else 0)

    def dle_status(self):
        if self.o["paper_out"] or time.monotonic() < self.paper_until:
            return 0x70 | 0x02  # off-line, paper out
        return 0x70 | 0x04  # on-line

    def count(self, ident):
        n = self.counts.get(ident, 0) + 1
        self.counts[ident] = n
        return n

    @staticmethod
    def matches(rule, ident, n):
        return rule is not None and rule[0] == ident and (rule[1] == "*" or rule[1] == n)

    def execute(self, body):
        """Executes a frame: (replies, event), event None, "silent" or "unplug"."""
        try:
            params, ident, fields = split_command(body)
        except CommandError as e:
            # Unknown command or bad check byte: nothing is executed.
            self.pe, self.cmd = e.code, False
            ident = identifier(body)
            self.history.append([ident.decode("latin-1"), e.code])
            self.save_state()
            return ([b"\x1bP%d#Z%s\x1b\\" % (e.code, ident)] if self.mode >= 2 else []), None
        n = self.count(ident)
        if self.matches(self.o["silent_at"], ident, n):
            return [], "silent"
        if self.matches(self.o["unplug_at"], ident, n):
            return [], "unplug"
        after = "silent" if self.matches(self.o.get("silent_after"), ident, n) else \
            "unplug" if self.matches(self.o.get("unplug_after"), ident, n) else None
        replies = []
        failure = next((code for (c, k, code) in self.o["fail"] if c == ident and (k == "*" or k == n)), None)
        if ident == b"#e" and failure is None and params and params[0] <= 3:
            self.mode = params[0]  # the new mode already holds for this command's status
        try:
            if failure is not None:
                raise CommandError(failure)
            replies += self.run(params, ident, fields)
            self.pe, self.cmd = 0, True
        except CommandError as e:
            self.pe, self.cmd = e.code, False
        self.history.append([ident.decode("latin-1"), self.pe])
        if self.mode >= 2 and ident not in QUERIES:
            replies.append(b"\x1bP%d#Z%s\x1b\\" % (self.pe, ident))
        self.save_state()
        if after:
            return [], after  # done, and its answer lost on the way
        return replies, None

    def run(self, params, ident, fields):
        handler = {b"#e": self.lbserm, b"$h": self.header, b"$l": self.line, b"$e": self.exit, b"$y": self.end,
                   b"#r": self.daily, b"#o": self.periodic, b"#j": self.texts, b"$d": self.show, b"#n": self.error_number,
                   b"#v": self.ident}.get(ident)
        if handler is None:
            raise CommandError(255)
        return handler(params, fields) or []

    def lbserm(self, params, fields):
        if len(params) != 1:
            raise CommandError(3)
        if params[0] > 3:
            raise CommandError(4)

    def error_number(self, params, fields):
        return [b"\x1bP1#E%d\x1b\\" % self.pe]

    def ident(self, params, fields):
        return [b"\x1bP1#RPOSNET Thermal/2.02\x1b\\"]

    def header(self, params, fields):
        if self.par:
            raise CommandError(95)
        if not params or params[0] > 80:
            raise CommandError(4)
        self.par, self.trf = True, False
        self.next_line = 1
        self.lines, self.groups = [], {}
        self.printed_header = False

    def line(self, params, fields):
        if not self.par:
            raise CommandError(21)
        if not params:
            raise CommandError(3)
        parts = fields.split(b"\r", 2)
        if len(parts) != 3:
            raise CommandError(3)
        name, qty_text, amounts = parts
        if not 1 <= len(name) <= 40 or not printable(name):
            raise CommandError(16)
        quantity = parse_quantity(qty_text)
        values = amounts.split(b"/")
        if len(values) < 4 or values[-1] != b"":
            raise CommandError(3)
        group = values[0].decode("latin-1")
        group = "G" if group == "Z" else group
        if group not in RATES or RATES[group] is None:
            raise CommandError(18)
        price = parse_amount(values[1], 19)
        gross = parse_amount(values[2], 20)
        if (price * quantity).quantize(Decimal("0.01"), rounding=ROUND_HALF_UP) != gross:
            raise CommandError(20)
        number = params[0]
        storno = number == 0
        if not storno and number != self.next_line:
            raise CommandError(4)
        if storno:
            same = [l for l in self.lines if l["name"] == mazovia_text(name) and l["gross"] == money(gross)
                    and not l["storno"]]
            if not same:
                raise CommandError(22)
            self.groups[group] = self.groups.get(group, Decimal(0)) - gross
        else:
            self.groups[group] = self.groups.get(group, Decimal(0)) + gross
        self.next_line += 1
        entry = {"number": number, "name": mazovia_text(name), "quantity": qty_text.decode("latin-1"),
                 "group": group, "price": money(price), "gross": money(gross), "storno": storno}
        self.lines.append(entry)
        if not self.printed_header:
            self.roll("PARAGON FISKALNY")
            self.printed_header = True
        self.roll(("STORNO " if storno else "") + "%s %s x %s = %s %s" % (entry["name"], entry["quantity"],
                                                                        entry["price"], entry["gross"], group))

    def total(self):
        return sum(self.groups.values(), Decimal(0))

    def finish(self, total_text, forms, system_number, footers):
        if not any(not l["storno"] for l in self.lines):
            raise CommandError(23)
        total = parse_amount(total_text, 27)
        if total != self.total():
            raise CommandError(27)
        lines = []
        for group in sorted(self.groups):
            lines.append("SP.OP. %s %s" % (group, money(self.groups[group])))
        lines.append("SUMA PLN %s" % money(total))
        lines += ["%s %s" % (name, money(amount)) for name, amount in forms]
        if system_number:
            lines.append("Nr sys. " + system_number)
        lines += footers
        lines.append("#%d" % (self.receipts + 1))
        self.roll(*lines)
        self.receipts += 1
        self.par, self.trf = False, True

    def exit(self, params, fields):
        if not params:
            raise CommandError(3)
        if params[0] == 0:  # cancel
            if not self.par:
                raise CommandError(29)
            if self.lines:
                self.roll("ANULOWANY")
            self.par, self.trf = False, False
            self.lines, self.groups = [], {}
            return
        if not self.par:
            raise CommandError(29)
        code, _, amounts = fields.partition(b"\r")
        values = amounts.split(b"/")
        if len(values) < 3:
            raise CommandError(3)
        paid = parse_amount(values[0], 26)
        self.finish(values[1], [("GOTÓWKA", paid if paid else self.total())], "", [])

    def end(self, params, fields):
        if len(params) < 12:
            raise CommandError(3)
        pn, pc, py, pdsp, px, pkb, pkz, pns, pfn, pr, pg = params[:11]
        if len(params) != 12 + pfn or pn > 3 or pfn > 20:
            raise CommandError(4 if len(params) > 12 + pfn else 3)
        types = params[11:11 + pfn]
        psx = params[11 + pfn]
        if not self.par:
            raise CommandError(29)
        texts = fields.split(b"\r")
        amounts = texts.pop().split(b"/")
        want_texts = 3 + pn + pfn + 2 * pkb + 2 * pkz + (1 if psx else 0)
        if len(texts) != want_texts:
            raise CommandError(4)
        till, cashier, sysno = texts[0:3]
        if len(till) > 8 or len(cashier) > 17 or len(sysno) > 30:
            raise CommandError(25)
        if sum(1 for b in sysno if chr(b).isalpha() or b in MAZOVIA) > 10:
            raise CommandError(25)
        footers = texts[3:3 + pn]
        if any(len(f) > 40 or not printable(f) for f in footers):
            raise CommandError(25)
        names = texts[3 + pn:3 + pn + pfn]
        # TOTAL / DSP / DISC / CASH / PAY1..n / CHANGE / deposits /
        want_amounts = 4 + pfn + 1 + pkb + pkz
        if amounts[-1] != b"" or len(amounts) - 1 != want_amounts:
            raise CommandError(4)
        cash = parse_amount(amounts[3], 26)
        pays = [parse_amount(a, 26) for a in amounts[4:4 + pfn]]
        for amount in amounts[1:3] + amounts[4 + pfn:-1]:
            parse_amount(amount, 26)
        if any(t not in range(0, 9) for t in types):
            raise CommandError(4)
        forms = ([("GOTÓWKA", cash)] if pg else []) + [(mazovia_text(n).upper(), p) for n, p in zip(names, pays)]
        self.finish(amounts[0], forms, mazovia_text(sysno) if pns else "", [mazovia_text(f) for f in footers])

    def today(self):
        return self.o["date"] or datetime.date.today()

    def daily(self, params, fields):
        if params and params[0] == 1:
            if len(params) != 4:
                raise CommandError(3)
            y, m, d = params[1:4]
            today = self.today()
            if (y, m, d) != (today.year % 100, today.month, today.day):
                raise CommandError(7)
        elif params and params[0] != 0:
            raise CommandError(4)
        if self.par:
            raise CommandError(82)
        self.roll("RAPORT DOBOWY %s" % self.today().isoformat(), "PARAGONY %d" % self.receipts)

    def periodic(self, params, fields):
        if len(params) == 7:
            y1, m1, d1, y2, m2, d2, pt = params
            try:
                start = datetime.date(2000 + y1, m1, d1)
                end = datetime.date(2000 + y2, m2, d2)
            except ValueError:
                raise CommandError(4)
            if end < start or pt not in (0, 1, 6, 7):
                raise CommandError(4)
            kind = "RAPORT OKRESOWY" if pt in (0, 6) else "PODSUMOWANIE SPRZEDAŻY"
            self.roll("%s %s %s" % (kind, start.isoformat(), end.isoformat()))
            return
        if len(params) == 1 and params[0] in (16, 17):
            numbers = fields.split(b"/")
            if len(numbers) < 3 or not numbers[0].isdigit() or not numbers[1].isdigit():
                raise CommandError(4)
            self.roll("RAPORT OKRESOWY NR %s-%s" % (numbers[0].decode(), numbers[1].decode()))
            return
        raise CommandError(3)

    def texts(self, params, fields):
        self.roll("RAPORT NAPISÓW STAŁYCH")

    def show(self, params, fields):
        if len(params) != 1:
            raise CommandError(3)
        mode = params[0]
        if mode == 1:
            self.drawer += 1
        elif mode == 2:
            if len(fields) > 20 or not printable(fields):
                raise CommandError(4)
            self.display = mazovia_text(fields)
        elif mode in (3, 4, 8, 9, 12, 13):
            self.display = "<%d>" % mode
        else:
            raise CommandError(4)


def parse_rule(text, with_value):
    parts = text.split(":")
    ident = parts[0].encode("latin-1")
    n = "*" if parts[1] == "*" else int(parts[1])
    return (ident, n, int(parts[2])) if with_value else (ident, n)


def main():
    args = sys.argv[1:]
    port_file, roll = args[0], args[1]
    o = {"frames": None, "state": None, "fail": [], "silent_at": None, "unplug_at": None, "slow": 0, "busy": {},
         "paper_out": False, "date": None, "silent_after": None, "unplug_after": None, "silent_ms": None,
         "paper_out_at": None}
    i = 2
    while i < len(args):
        a = args[i]
        if a == "--frames":
            o["frames"] = args[i + 1]
        elif a == "--state":
            o["state"] = args[i + 1]
        elif a == "--fail":
            o["fail"].append(parse_rule(args[i + 1], True))
        elif a == "--silent-at":
            parts = args[i + 1].split(":")
            o["silent_at"] = parse_rule(":".join(parts[:2]), False)
            if len(parts) > 2:
                o["silent_ms"] = int(parts[2]) / 1000.0
        elif a == "--silent-after":
            o["silent_after"] = parse_rule(args[i + 1], False)
        elif a == "--unplug-after":
            o["unplug_after"] = parse_rule(args[i + 1], False)
        elif a == "--paper-out-at":
            o["paper_out_at"] = parse_rule(args[i + 1], True)
        elif a == "--unplug-at":
            o["unplug_at"] = parse_rule(args[i + 1], False)
        elif a == "--slow":
            o["slow"] = int(args[i + 1]) / 1000.0
        elif a == "--busy":
            ident, ms = args[i + 1].rsplit(":", 1)
            o["busy"][ident.encode("latin-1")] = int(ms) / 1000.0
        elif a == "--paper-out":
            o["paper_out"] = True
            i += 1
            continue
        elif a == "--date":
            o["date"] = datetime.date.fromisoformat(args[i + 1])
        else:
            raise SystemExit("unknown argument " + a)
        i += 2

    master, slave = os.openpty()
    tty.setraw(slave)  # no echo, no line editing: the driver sets its own mode anyway
    path = os.ttyname(slave)
    open(roll, "a").close()
    printer = Printer(o, roll, o["state"])
    printer.save_state()
    with open(port_file + ".tmp", "w") as f:
        f.write(path + "\n")
    os.replace(port_file + ".tmp", port_file)

    frames = open(o["frames"], "ab", buffering=0) if o["frames"] else None
    parser = FrameParser()
    wire = FrameParser()  # for the log of what arrived, in the order it arrived
    pending = bytearray()  # received, not yet processed (the printer's input buffer)
    working = None  # (when it is done, the frame or None for an ENQ): what the printer is busy with
    silent = False
    silent_until = None
    frame_counts = {}

    def log(data):
        if frames:
            frames.write(data + b"\n")

    while True:
        now = time.monotonic()
        if silent and silent_until is not None and now >= silent_until:
            silent, silent_until = False, None
            parser = FrameParser()
        if working and now >= working[0] and not silent:
            # Done: the command takes effect (roll, state) and is answered.
            body = working[1]
            working = None
            if body is None:
                os.write(master, bytes([printer.enq_status()]))
            else:
                replies, what = printer.execute(body)
                if what == "silent":
                    silent = True
                    if o["silent_ms"] is not None and printer.matches(o["silent_at"], identifier(body),
                                                                     printer.counts.get(identifier(body), 0)):
                        silent_until = now + o["silent_ms"]
                elif what == "unplug":
                    os.close(master)
                    os.close(slave)
                    return
                for r in replies:
                    os.write(master, r)
        # The input buffer is processed in order once the printer is free.
        # Out of paper, it waits off-line with what it was sent.
        while pending and not working and not silent and not o["paper_out"]:
            event = parser.feed(pending.pop(0))
            if event is None:
                continue
            if event[0] == "frame":
                ident = identifier(event[1])
                frame_counts[ident] = frame_counts.get(ident, 0) + 1
                delay = o["busy"].get(ident, o["slow"])
                rule = o["paper_out_at"]
                if rule and rule[0] == ident and (rule[1] == "*" or rule[1] == frame_counts[ident]):
                    delay = max(delay, rule[2] / 1000.0)
                    printer.paper_until = now + rule[2] / 1000.0
                working = (now + delay, event[1])
            elif event[0] == "enq":
                working = (now + o["slow"], None)
        if working and working[0] <= now and not silent:
            continue
        timeout = 0.5
        if working:
            timeout = min(timeout, max(0.0, working[0] - now))
        ready, _, _ = select.select([master], [], [], timeout)
        if not ready:
            continue
        try:
            data = os.read(master, 4096)
        except OSError:
            time.sleep(0.05)
            continue
        for b in data:
            if silent:
                continue
            if b == DLE:  # answered at once, busy or not, inside a frame or not
                log(b"<DLE>")
                os.write(master, bytes([printer.dle_status()]))
                continue
            pending.append(b)
            seen = wire.feed(b)
            if seen and seen[0] == "frame":
                log(b"\x1bP" + seen[1] + b"\x1b\\")
            elif seen:
                log(b"<" + seen[0].upper().encode() + b">")


if __name__ == "__main__":
    main()
