#!/usr/bin/python3
"""Stand-in for KSeF (the Polish national e-invoicing service, API v2) for the tests, on
127.0.0.1 at a free port; it never contacts any other address.

ksefd.py PORTFILE STATEDIR [--token TOKEN] [--nip NIP] [--tls CERT KEY] [--schemas DIR]
         [--log FILE] [--access-ttl S] [--refresh-ttl S] [--pending-polls N]
         [--processing-delay S]

Writes its port to PORTFILE once it answers. The client's base address is
http://127.0.0.1:PORT/v2 (https with --tls CERT KEY). Every request goes to --log (default
STATEDIR/requests.log); every accepted invoice is written to STATEDIR/<KSeF number>.xml,
byte for byte as sent. State lives only as long as the process.

  --token TOKEN       the one KSeF token that authenticates (default: a token shaped like
                      the real ones, "<reference>|nip-<NIP>|<64 hex>"; see DEFAULT_TOKEN)
  --nip NIP           the one context (Nip) the token belongs to (default 5265877635);
                      invoices whose Podmiot1 NIP differs end as 410
  --schemas DIR       FA(3)/UPO schemas and catalog.xml (default: the repository's data/ksef)
  --access-ttl S      lifetime of access tokens (default 900)
  --refresh-ttl S     lifetime of refresh tokens (default 604800)
  --pending-polls N   how many status queries answer "in progress" (auth 100, invoice 150,
                      closed session 170) before the result shows (default 1)
  --processing-delay S  and how many seconds must pass as well (default 0)

Served under /v2: GET security/public-key-certificates; POST auth/challenge, auth/ksef-token,
auth/token/redeem, auth/token/refresh; GET auth/{ref}; POST sessions/online,
sessions/online/{ref}/invoices, sessions/online/{ref}/close; GET sessions/{ref},
sessions/{ref}/invoices, sessions/{ref}/invoices/failed, sessions/{ref}/invoices/{invRef},
sessions/{ref}/invoices/{invRef}/upo, sessions/{ref}/invoices/ksef/{ksefNumber}/upo,
sessions/{ref}/upo/{upoRef}. UPO download addresses (no token) are /storage/upo/KEY.xml.
400s come as ExceptionResponse JSON, or Problem Details with X-Error-Format: problem-details;
401 is always Problem Details.

Test-only endpoints (never faulted):
  POST /_control  a JSON object, or a list of them, applied in order:
    {"fault": 401|429|500|503|<any 400-599>|"hang"|"drop", "count": N (1),
     "path": REGEX (searched in the path, e.g. "/invoices$"; default any), "method": "POST",
     "retryAfter": S (429: default 1; other codes: sent only if given),
     "seconds": S (hang: hold this long, default 30, then close unanswered),
     "after": true (carry the request out first, then answer with the fault instead),
     "code": C, "details": [...] (fault 400: the exception code and details, default 21405)}
    {"invoiceOutcome": 450|440|430|435|410|500|550..., "count": N (1), "details": [...]}
        the next N invoices that pass the request checks end with that status (440 names the
        earlier accepted invoice with the same key, or an invented one)
    {"authOutcome": 450|415|480|500|550..., "count": N (1), "details": [...]}
    {"accessTtl": S} / {"refreshTtl": S} / {"pendingPolls": N} / {"processingDelay": S}
    {"expireAccessTokens": true}  every access token issued so far stops working
    {"expireSessions": true}      every open session passes its validUntil (closed by time)
    {"reset": true}               pending faults and outcomes are dropped
  GET /_state  JSON: {"nip", "token",
    "requests": [{"method", "path", "status" (int, "drop" or "hang"), "fault": bool}],
    "authentications": [{"referenceNumber", "status", "details", "redeemed", "refreshes"}],
    "sessions": [{"referenceNumber", "status", "closed", "invoices": [invoice refs]}],
    "invoices": [{"referenceNumber", "sessionReferenceNumber", "ordinalNumber", "status",
                  "details", "ksefNumber", "invoiceNumber", "sellerNip", "invoiceHash",
                  "duplicateOf", "forced", "offline", "file", "xml"}],
    "accepted": [KSeF numbers in order], "pendingFaults": [...]}
  ("status" there is the final result, whatever the client has been shown so far.)
"""
import argparse
import base64
import datetime
import hashlib
import http
import http.server
import json
import os
import re
import secrets
import socket
import ssl
import subprocess
import sys
import threading
import time
import traceback
import uuid
import xml.etree.ElementTree as ET
import xml.parsers.expat
from xml.sax.saxutils import escape

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives import padding as sym_padding
from cryptography.hazmat.primitives.asymmetric import padding, rsa
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
from cryptography.x509.oid import NameOID

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_SCHEMAS = os.path.normpath(os.path.join(HERE, "..", "..", "data", "ksef"))
FA3_XSD = os.path.join("faktury", "schemy", "FA", "schemat_FA(3)_v1-0E.xsd")
FA3_NS = "http://crd.gov.pl/wzor/2025/06/25/13775/"
UPO_NS = "http://upo.schematy.mf.gov.pl/KSeF/v4-3"
FORM_CODE = {"systemCode": "FA (3)", "schemaVersion": "1-0E", "value": "FA"}
DEFAULT_NIP = "5265877635"
# Real tokens carry their own reference and contain "|", which is why the server splits
# "token|timestampMs" at the last "|".
DEFAULT_TOKEN = ("20261201-EC-2B7F0C1000-4D1A9E3B52-7A|nip-5265877635|"
                 "5f0c9be1d8a24f3c9e7b61a0d2c4e8f7a1b3c5d7e9f0a2b4c6d8e0f1a3b5c7d9")
CHALLENGE_TTL = 600
AUTH_TOKEN_TTL = 2700
SESSION_TTL = 12 * 3600
UPO_URL_TTL = 3 * 24 * 3600
MAX_INVOICE_BYTES = 1000000
MAX_INVOICES_PER_SESSION = 10000
OAEP = padding.OAEP(mgf=padding.MGF1(algorithm=hashes.SHA256()), algorithm=hashes.SHA256(), label=None)
REF_RE = re.compile(r"\d{8}-[0-9A-Z]{2}-[0-9A-F]{10}-[0-9A-F]{10}-[0-9A-F]{2}")
NIP_RE = re.compile(r"[1-9]((\d[1-9])|([1-9]\d))\d{7}")
# Characters KSeF refuses in an invoice file (discouraged in XML 1.0).
DISCOURAGED_RE = re.compile("[\x7f-\x84\x86-\x9f\ufdd0-\ufdef\ufffe\uffff"
                            + "".join("\\U%08x\\U%08x" % (p * 0x10000 + 0xFFFE, p * 0x10000 + 0xFFFF)
                                      for p in range(1, 17)) + "]")

AUTH_STATUS = {
    100: "Uwierzytelnianie w toku",
    200: "Uwierzytelnianie zakończone sukcesem",
    415: "Uwierzytelnianie zakończone niepowodzeniem",
    425: "Uwierzytelnienie unieważnione",
    450: "Uwierzytelnianie zakończone niepowodzeniem z powodu błędnego tokenu",
    460: "Uwierzytelnianie zakończone niepowodzeniem z powodu błędu certyfikatu",
    470: "Uwierzytelnianie zakończone niepowodzeniem",
    480: "Uwierzytelnienie zablokowane",
    500: "Nieznany błąd",
    550: "Operacja została anulowana przez system",
}
INVOICE_STATUS = {
    100: "Faktura przyjęta do dalszego przetwarzania",
    150: "Trwa przetwarzanie",
    200: "Sukces",
    405: "Przetwarzanie anulowane z powodu błędu sesji",
    410: "Nieprawidłowy zakres uprawnień",
    415: "Brak możliwości wysyłania faktury z załącznikiem",
    430: "Błąd weryfikacji pliku faktury",
    435: "Błąd odszyfrowania pliku",
    440: "Duplikat faktury",
    450: "Błąd weryfikacji semantyki dokumentu faktury",
    500: "Nieznany błąd (500)",
    550: "Operacja została anulowana przez system",
}
SESSION_STATUS = {
    100: "Sesja interaktywna otwarta",
    170: "Sesja interaktywna zamknięta",
    200: "Sesja interaktywna przetworzona pomyślnie",
    415: "Błąd odszyfrowania dostarczonego klucza",
    440: "Sesja anulowana",
    445: "Błąd weryfikacji, brak poprawnych faktur",
}
EXCEPTIONS = {
    21111: "Nieprawidłowe wyzwanie autoryzacyjne.",
    21155: "Przekroczono dozwoloną liczbę faktur w sesji.",
    21173: "Brak sesji o wskazanym numerze referencyjnym.",
    21178: "Nie znaleziono UPO dla podanych kryteriów.",
    21180: "Status sesji nie pozwala na wykonanie operacji.",
    21184: "Sesja tymczasowo niedostępna.",
    21301: "Brak autoryzacji.",
    21304: "Brak uwierzytelnienia.",
    21402: "Nieprawidłowy rozmiar pliku.",
    21403: "Nieprawidłowy skrót pliku.",
    21405: "Błąd walidacji danych wejściowych.",
    21470: "Przesłany identyfikator klucza jest nieznany lub wskazuje na wycofany klucz.",
}


# ----------------------------------------------------------------------------- formats

def iso(t):
    """Seven fractional digits and an offset, as the real service writes its dates."""
    dt = datetime.datetime.fromtimestamp(t, datetime.timezone.utc)
    return dt.strftime("%Y-%m-%dT%H:%M:%S.") + "%06d0+00:00" % dt.microsecond


def iso_ms(t):
    return datetime.datetime.fromtimestamp(t, datetime.timezone.utc).isoformat(timespec="milliseconds")


def day(t):
    return time.strftime("%Y%m%d", time.gmtime(t))


def hexs(n):
    return secrets.token_hex((n + 1) // 2).upper()[:n]


def reference(kind, t=None):
    """A 36-character reference number: date, kind (AU, SO, EE, EU, CR...), random parts."""
    return "%s-%s-%s-%s-%s" % (day(time.time() if t is None else t), kind, hexs(10), hexs(10), hexs(2))


def crc8(data):
    """CRC-8, polynomial 0x07, initial value 0, no reflection: the KSeF number's check."""
    crc = 0
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = ((crc << 1) ^ 0x07) & 0xFF if crc & 0x80 else (crc << 1) & 0xFF
    return crc


def ksef_number(nip, t):
    head = "%s-%s-%s" % (nip, day(t), hexs(12))
    return "%s-%02X" % (head, crc8(head.encode("ascii")))


def b64(data):
    return base64.b64encode(data).decode("ascii")


def sha256_b64(data):
    return b64(hashlib.sha256(data).digest())


# ----------------------------------------------------------------------------- errors

class ApiError(Exception):
    """A 400 with an exception code."""

    def __init__(self, code, *details):
        super().__init__(code)
        self.code = code
        self.details = list(details)


class Unauthorized(Exception):
    pass


class Reply:
    def __init__(self, status, body=b"", ctype="application/json", headers=()):
        self.status = status
        self.body = body
        self.ctype = ctype
        self.headers = list(headers)


def json_reply(status, obj, ctype="application/json", headers=()):
    return Reply(status, json.dumps(obj, ensure_ascii=False).encode("utf-8"), ctype, headers)


def problem(status, instance, detail, **extra):
    body = {"title": http.HTTPStatus(status).phrase, "status": status, "detail": detail,
            "instance": instance, "traceId": secrets.token_hex(16), "timestamp": iso(time.time())}
    body.update(extra)
    return json_reply(status, body, "application/problem+json")


def exception_reply(code, details, instance, problem_details):
    description = EXCEPTIONS.get(code, "Błąd.")
    if problem_details:
        return problem(400, instance, "Żądanie jest nieprawidłowe.",
                       errors=[{"code": code, "description": description, "details": details}])
    t = time.time()
    return json_reply(400, {"exception": {
        "exceptionDetailList": [{"exceptionCode": code, "exceptionDescription": description, "details": details}],
        "referenceNumber": str(uuid.uuid4()),
        "serviceCode": "00-%s-%s-00" % (secrets.token_hex(16), secrets.token_hex(8)),
        "serviceCtx": "srvKSEFD", "serviceName": "ksefd", "timestamp": iso(t)[:-6]}})


def too_many(instance, retry_after, problem_details):
    detail = "Przekroczono limit żądań. Spróbuj ponownie po %d sekundach." % retry_after
    headers = [("Retry-After", str(retry_after))]
    if problem_details:
        r = problem(429, instance, detail)
        r.headers = headers
        return r
    return json_reply(429, {"status": {"code": 429, "description": "Too Many Requests", "details": [detail]}},
                      headers=headers)


# ----------------------------------------------------------------------------- request checks

def json_object(body):
    try:
        obj = json.loads(body.decode("utf-8"))
    except (UnicodeDecodeError, ValueError):
        raise ApiError(21405, "Treść żądania nie jest poprawnym dokumentem JSON.")
    if not isinstance(obj, dict):
        raise ApiError(21405, "Treść żądania musi być obiektem JSON.")
    return obj


def req_str(obj, name, where=""):
    v = obj.get(name)
    if not isinstance(v, str) or not v:
        raise ApiError(21405, "Pole %s%s jest wymagane i musi być tekstem." % (where, name))
    return v


def req_int(obj, name):
    v = obj.get(name)
    if isinstance(v, bool) or not isinstance(v, int) or v < 1:
        raise ApiError(21405, "Pole %s musi być liczbą całkowitą nie mniejszą niż 1." % name)
    return v


def req_obj(obj, name):
    v = obj.get(name)
    if not isinstance(v, dict):
        raise ApiError(21405, "Pole %s jest wymagane i musi być obiektem." % name)
    return v


def unbase64(text, name):
    try:
        return base64.b64decode(text.encode("ascii"), validate=True)
    except (ValueError, UnicodeEncodeError):
        raise ApiError(21405, "Pole %s nie jest poprawnym ciągiem Base64." % name)


def req_hash(obj, name):
    v = req_str(obj, name)
    if len(v) != 44 or len(unbase64(v, name)) != 32:
        raise ApiError(21405, "Pole %s musi być skrótem SHA-256 w Base64 (44 znaki)." % name)
    return unbase64(v, name)


def optional_key_id(obj):
    v = obj.get("publicKeyId")
    if v is None:
        return None
    if not isinstance(v, str) or len(v) != 44:
        raise ApiError(21405, "Pole publicKeyId musi mieć 44 znaki.")
    return v


# ----------------------------------------------------------------------------- state

class Gate:
    """An asynchronous result: hidden until enough status queries and time have passed."""

    def __init__(self):
        self.started = time.time()
        self.polls = 0
        self.open = False

    def ready(self, ks):
        if not self.open and self.polls >= ks.pending_polls and time.time() - self.started >= ks.processing_delay:
            self.open = True
        return self.open

    def poll(self, ks):
        """One status query: True once the result may be shown."""
        if self.ready(ks):
            return True
        self.polls += 1
        return False


class Keypair:
    def __init__(self, usage):
        self.usage = usage
        self.key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
        now = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
        self.valid_from = now - datetime.timedelta(days=1)
        self.valid_to = now + datetime.timedelta(days=730)
        name = x509.Name([x509.NameAttribute(NameOID.COUNTRY_NAME, "PL"),
                          x509.NameAttribute(NameOID.ORGANIZATION_NAME, "Ministerstwo Finansów"),
                          x509.NameAttribute(NameOID.ORGANIZATIONAL_UNIT_NAME, usage),
                          x509.NameAttribute(NameOID.COMMON_NAME, "Ministerstwo Finansów")])
        cert = (x509.CertificateBuilder().subject_name(name).issuer_name(name)
                .public_key(self.key.public_key()).serial_number(x509.random_serial_number())
                .not_valid_before(self.valid_from).not_valid_after(self.valid_to)
                .add_extension(x509.BasicConstraints(ca=False, path_length=None), critical=True)
                .add_extension(x509.KeyUsage(digital_signature=False, content_commitment=False,
                                             key_encipherment=True, data_encipherment=True, key_agreement=False,
                                             key_cert_sign=False, crl_sign=False, encipher_only=False,
                                             decipher_only=False), critical=True)
                .sign(self.key, hashes.SHA256()))
        self.der = cert.public_bytes(serialization.Encoding.DER)
        spki = self.key.public_key().public_bytes(serialization.Encoding.DER,
                                                  serialization.PublicFormat.SubjectPublicKeyInfo)
        self.key_id = sha256_b64(spki)
        self.cert_id = sha256_b64(self.der)

    def describe(self):
        return {"certificate": b64(self.der), "certificateId": self.cert_id, "publicKeyId": self.key_id,
                "validFrom": iso(self.valid_from.timestamp()), "validTo": iso(self.valid_to.timestamp()),
                "usage": [self.usage]}


class Fault:
    def __init__(self, command):
        kind = command["fault"]
        if kind not in ("hang", "drop") and not (isinstance(kind, int) and 400 <= kind <= 599):
            raise ValueError("fault must be hang, drop or an HTTP status 400-599")
        self.kind = kind
        self.count = int(command.get("count", 1))
        self.path_text = command.get("path")
        self.path = re.compile(self.path_text) if self.path_text else None
        self.method = command.get("method")
        self.retry_after = command.get("retryAfter")
        self.seconds = float(command.get("seconds", 30))
        self.after = bool(command.get("after", False))
        self.code = int(command.get("code", 21405))
        self.details = list(command.get("details", ["Błąd wywołany przez test."]))

    def matches(self, method, path):
        return (self.method is None or self.method.upper() == method) and \
            (self.path is None or self.path.search(path) is not None)

    def describe(self):
        return {"fault": self.kind, "count": self.count, "path": self.path_text, "method": self.method,
                "after": self.after}


class Ksef:
    def __init__(self, args):
        self.lock = threading.RLock()
        self.nip = args.nip
        self.token = args.token
        prefix = self.token.split("|", 1)[0]
        # The UPO names the KSeF token by its reference number, the token's first part.
        self.token_ref = prefix if REF_RE.fullmatch(prefix) else reference("EC")
        self.state_dir = args.statedir
        self.schemas = args.schemas
        self.access_ttl = args.access_ttl
        self.refresh_ttl = args.refresh_ttl
        self.pending_polls = args.pending_polls
        self.processing_delay = args.processing_delay
        self.token_key = Keypair("KsefTokenEncryption")
        self.sym_key = Keypair("SymmetricKeyEncryption")
        self.challenges = {}
        self.auth_ops = {}
        self.tokens = {}
        self.sessions = {}
        self.invoices = []
        self.accepted = {}      # (seller NIP, RodzajFaktury, P_2) -> invoice
        self.by_ksef = {}
        self.storage = {}       # download key -> (UPO bytes, expiry)
        self.faults = []
        self.invoice_outcomes = []
        self.auth_outcomes = []
        self.requests = []
        self.stopping = False

    # --- tokens
    def issue(self, kind, ttl, auth_ref):
        token = secrets.token_urlsafe(48)
        until = time.time() + ttl
        self.tokens[token] = {"kind": kind, "until": until, "ref": auth_ref}
        return {"token": token, "validUntil": iso(until)}

    def bearer(self, headers, kind):
        value = headers.get("Authorization", "")
        if not value.startswith("Bearer ") or not value[7:].strip():
            raise Unauthorized("Wymagane jest uwierzytelnienie.")
        rec = self.tokens.get(value[7:].strip())
        if rec is None or rec["kind"] != kind:
            raise Unauthorized("Nieprawidłowy token.")
        if time.time() >= rec["until"]:
            raise Unauthorized("Token wygasł.")
        return rec

    # --- faults
    def take_fault(self, method, path):
        with self.lock:
            for f in self.faults:
                if f.matches(method, path):
                    f.count -= 1
                    if f.count <= 0:
                        self.faults.remove(f)
                    return f
        return None

    def control(self, command):
        if not isinstance(command, dict):
            raise ValueError("each command must be a JSON object")
        with self.lock:
            if command.get("reset"):
                self.faults.clear()
                self.invoice_outcomes.clear()
                self.auth_outcomes.clear()
            if "fault" in command:
                self.faults.append(Fault(command))
            for key, queue in (("invoiceOutcome", self.invoice_outcomes), ("authOutcome", self.auth_outcomes)):
                if key in command:
                    code = int(command[key])
                    details = command.get("details")
                    queue.extend([(code, details)] * int(command.get("count", 1)))
            if "accessTtl" in command:
                self.access_ttl = float(command["accessTtl"])
            if "refreshTtl" in command:
                self.refresh_ttl = float(command["refreshTtl"])
            if "pendingPolls" in command:
                self.pending_polls = int(command["pendingPolls"])
            if "processingDelay" in command:
                self.processing_delay = float(command["processingDelay"])
            if command.get("expireAccessTokens"):
                now = time.time()
                for rec in self.tokens.values():
                    if rec["kind"] == "access":
                        rec["until"] = min(rec["until"], now)
            if command.get("expireSessions"):
                now = time.time()
                for s in self.sessions.values():
                    if s["closed"] is None:
                        s["valid_until"] = min(s["valid_until"], now)

    def snapshot(self):
        with self.lock:
            return {
                "nip": self.nip, "token": self.token, "requests": list(self.requests),
                "authentications": [{"referenceNumber": op["ref"], "status": op["code"], "details": op["details"],
                                     "redeemed": op["redeemed"], "refreshes": op["refreshes"]}
                                    for op in self.auth_ops.values()],
                "sessions": [{"referenceNumber": s["ref"], "status": self.session_code(s, poll=False),
                              "closed": s["closed"] is not None, "invoices": [i["ref"] for i in s["invoices"]]}
                             for s in self.sessions.values()],
                "invoices": [{"referenceNumber": i["ref"], "sessionReferenceNumber": i["session"],
                              "ordinalNumber": i["ordinal"], "status": i["code"], "details": i["details"],
                              "ksefNumber": i["ksef"], "invoiceNumber": i["p2"], "sellerNip": i["seller"],
                              "invoiceHash": i["hash"], "duplicateOf": i["duplicate_of"], "forced": i["forced"],
                              "offline": i["offline"], "file": i["file"],
                              "xml": None if i["plain"] is None else i["plain"].decode("utf-8", "replace")}
                             for i in self.invoices],
                "accepted": [i["ksef"] for i in self.invoices if i["code"] == 200],
                "pendingFaults": [f.describe() for f in self.faults],
            }

    # --- sessions
    def session_code(self, s, poll=True):
        """The status a client is shown now; a query after closing counts as a poll."""
        if s["key"] is None:
            return 415
        if s["closed"] is None and time.time() >= s["valid_until"]:
            s["closed"] = s["valid_until"]
            s["gate"] = Gate()
        if s["closed"] is None:
            return 100
        if s["final"] is None:
            if not (s["gate"].poll(self) if poll else s["gate"].ready(self)):
                return 170
            self.finish_session(s)
        return s["final"]

    def finish_session(self, s):
        for inv in s["invoices"]:
            inv["gate"].open = True
        good = [inv for inv in s["invoices"] if inv["code"] == 200]
        s["updated"] = time.time()
        if not s["invoices"]:
            s["final"], s["final_details"] = 440, ["Nie przesłano faktur"]
        elif not good:
            s["final"], s["final_details"] = 445, None
        else:
            s["final"], s["final_details"] = 200, None
            upo = upo_xml(self, s, good, page=(1, 1))
            s["upo"] = {"ref": reference("EU"), "xml": upo, "key": self.store(upo)}

    def store(self, data):
        key = secrets.token_urlsafe(24)
        self.storage[key] = (data, time.time() + UPO_URL_TTL)
        return key


# ----------------------------------------------------------------------------- invoices

def upo_xml(ks, s, invoices, page=None):
    """A UPO in the v4-3 namespace, shaped like the published examples (unsigned)."""
    out = ['<?xml version="1.0" encoding="utf-8"?>',
           '<Potwierdzenie xmlns="%s">' % UPO_NS,
           # The schema fixes this name; the production value is the one that validates.
           "\t<NazwaPodmiotuPrzyjmujacego>Ministerstwo Finansów</NazwaPodmiotuPrzyjmujacego>",
           "\t<NumerReferencyjnySesji>%s</NumerReferencyjnySesji>" % s["ref"],
           "\t<Uwierzytelnienie>",
           "\t\t<IdKontekstu>",
           "\t\t\t<Nip>%s</Nip>" % ks.nip,
           "\t\t</IdKontekstu>",
           "\t\t<NumerReferencyjnyTokenaKSeF>%s</NumerReferencyjnyTokenaKSeF>" % ks.token_ref,
           "\t</Uwierzytelnienie>"]
    if page:
        out += ["\t<OpisPotwierdzenia>",
                "\t\t<Strona>%d</Strona>" % page[0],
                "\t\t<LiczbaStron>%d</LiczbaStron>" % page[1],
                "\t\t<ZakresDokumentowOd>1</ZakresDokumentowOd>",
                "\t\t<ZakresDokumentowDo>%d</ZakresDokumentowDo>" % len(invoices),
                "\t\t<CalkowitaLiczbaDokumentow>%d</CalkowitaLiczbaDokumentow>" % len(invoices),
                "\t</OpisPotwierdzenia>"]
    out += ["\t<NazwaStrukturyLogicznej>Schemat_FA(3)_v1-0E.xsd</NazwaStrukturyLogicznej>",
            "\t<KodFormularza>FA (3)</KodFormularza>"]
    for inv in invoices:
        out += ["\t<Dokument>",
                "\t\t<NipSprzedawcy>%s</NipSprzedawcy>" % inv["seller"],
                "\t\t<NumerKSeFDokumentu>%s</NumerKSeFDokumentu>" % inv["ksef"],
                "\t\t<NumerFaktury>%s</NumerFaktury>" % escape(inv["p2"]),
                "\t\t<DataWystawieniaFaktury>%s</DataWystawieniaFaktury>" % inv["p1"],
                "\t\t<DataPrzeslaniaDokumentu>%s</DataPrzeslaniaDokumentu>" % iso_ms(inv["invoicing"]),
                "\t\t<DataNadaniaNumeruKSeF>%s</DataNadaniaNumeruKSeF>" % iso_ms(inv["acquisition"]),
                "\t\t<SkrotDokumentu>%s</SkrotDokumentu>" % inv["hash"],
                "\t\t<TrybWysylki>%s</TrybWysylki>" % ("Offline" if inv["offline"] else "Online"),
                "\t</Dokument>"]
    out.append("</Potwierdzenie>")
    return ("\n".join(out) + "\n").encode("utf-8")


def file_problem(plain):
    """Why KSeF would refuse the file before looking at its content (status 430), or None."""
    if len(plain) > MAX_INVOICE_BYTES:
        return "Rozmiar pliku faktury przekracza %d bajtów." % MAX_INVOICE_BYTES
    if plain.startswith(b"\xef\xbb\xbf"):
        return "Plik faktury nie może zaczynać się znacznikiem BOM."
    try:
        text = plain.decode("utf-8")
    except UnicodeDecodeError:
        return "Plik faktury nie jest zapisany w UTF-8."
    if DISCOURAGED_RE.search(text):
        return "Plik faktury zawiera niedozwolone znaki Unicode."
    found = []
    parser = xml.parsers.expat.ParserCreate("UTF-8")

    def declaration(version, encoding, standalone):
        if encoding and encoding.upper() != "UTF-8":
            found.append("Deklaracja XML wskazuje kodowanie inne niż UTF-8.")

    parser.XmlDeclHandler = declaration
    parser.ProcessingInstructionHandler = lambda target, data: found.append(
        "Plik faktury nie może zawierać instrukcji przetwarzania.")
    parser.StartDoctypeDeclHandler = lambda *a: found.append("Plik faktury nie może zawierać deklaracji DOCTYPE.")
    try:
        parser.Parse(plain, True)
    except xml.parsers.expat.ExpatError as e:
        return "Plik faktury nie jest poprawnym dokumentem XML: %s" % e
    return found[0] if found else None


def schema_problems(ks, plain):
    env = dict(os.environ, XML_CATALOG_FILES=os.path.join(ks.schemas, "catalog.xml"))
    r = subprocess.run(["xmllint", "--noout", "--nonet", "--schema", os.path.join(ks.schemas, FA3_XSD), "-"],
                       input=plain, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=60)
    if r.returncode == 0:
        return None
    if r.returncode == 5:
        raise RuntimeError("the FA(3) schema did not compile: " + r.stderr.decode("utf-8", "replace"))
    lines = [line for line in r.stderr.decode("utf-8", "replace").splitlines()
             if line.strip() and line.strip() != "- fails to validate"]
    return lines[:20] or ["Faktura jest niezgodna ze schematem FA(3)."]


def invoice_fields(plain):
    ns = {"f": FA3_NS}
    root = ET.fromstring(plain)
    return {"seller": root.findtext("f:Podmiot1/f:DaneIdentyfikacyjne/f:NIP", namespaces=ns),
            "p2": root.findtext("f:Fa/f:P_2", namespaces=ns),
            "p1": root.findtext("f:Fa/f:P_1", namespaces=ns),
            "kind": root.findtext("f:Fa/f:RodzajFaktury", namespaces=ns)}


def duplicate_result(ks, inv, original):
    if original is None:
        # Forced duplicate with nothing earlier: name an invoice this server never saw.
        orig_ksef, orig_session = ksef_number(inv["seller"] or ks.nip, time.time() - 86400), reference("SO")
    else:
        orig_ksef, orig_session = original["ksef"], original["session"]
    inv["code"] = 440
    inv["duplicate_of"] = orig_ksef
    inv["details"] = ["Duplikat faktury. Faktura o numerze KSeF: %s została już prawidłowo przesłana do systemu "
                      "w sesji: %s" % (orig_ksef, orig_session)]
    inv["extensions"] = {"originalSessionReferenceNumber": orig_session, "originalKsefNumber": orig_ksef}


def process_invoice(ks, s, inv, plain, forced, offline_mode):
    """Decides the invoice's fate now; clients see it once its gate opens."""
    fields = None
    problem_430 = problem_450 = None
    if plain is not None and forced is None:
        problem_430 = file_problem(plain)
        if problem_430 is None:
            problem_450 = schema_problems(ks, plain)
    if plain is not None and problem_430 is None:
        try:
            fields = invoice_fields(plain)
        except ET.ParseError:
            fields = None
    now = time.time()
    with ks.lock:
        if fields:
            inv["seller"], inv["p2"], inv["p1"] = fields["seller"], fields["p2"], fields["p1"]
        today = time.strftime("%Y-%m-%d", time.gmtime(now))
        key = fields and (fields["seller"], fields["kind"], fields["p2"])
        if forced is not None:
            code, details = forced
            inv["forced"] = True
            if code == 440:
                duplicate_result(ks, inv, ks.accepted.get(key) if key else None)
            else:
                inv["code"] = code
                inv["details"] = details or ["Wynik wymuszony przez test."]
        elif plain is None:
            inv["code"], inv["details"] = 435, ["Nie udało się odszyfrować pliku faktury kluczem sesji."]
        elif problem_430:
            inv["code"], inv["details"] = 430, [problem_430]
        elif problem_450:
            inv["code"], inv["details"] = 450, problem_450
        elif fields["seller"] != ks.nip:
            inv["code"], inv["details"] = 410, [
                "Brak uprawnień do wystawiania faktur w imieniu podmiotu %s w kontekście %s."
                % (fields["seller"], ks.nip)]
        elif fields["p1"] > today:
            inv["code"], inv["details"] = 450, [
                "Data wystawienia faktury (P_1) %s jest późniejsza niż data przyjęcia faktury." % fields["p1"]]
        elif key in ks.accepted:
            duplicate_result(ks, inv, ks.accepted[key])
        else:
            inv["code"] = 200
            inv["acquisition"] = now
            inv["ksef"] = ksef_number(fields["seller"], now)
            # Automatic offline marking: issued on an earlier day than it was sent.
            inv["offline"] = bool(offline_mode) or fields["p1"] < time.strftime(
                "%Y-%m-%d", time.gmtime(inv["invoicing"]))
            ks.accepted[key] = inv
            ks.by_ksef[inv["ksef"]] = inv
            path = os.path.join(ks.state_dir, inv["ksef"] + ".xml")
            with open(path + ".tmp", "wb") as f:
                f.write(plain)
            os.rename(path + ".tmp", path)
            inv["file"] = path
            upo = upo_xml(ks, s, [inv])
            inv["upo"] = {"xml": upo, "key": ks.store(upo)}


# ----------------------------------------------------------------------------- HTTP

ROUTES = [
    ("GET", r"/v2/security/public-key-certificates", "public_keys"),
    ("POST", r"/v2/auth/challenge", "challenge"),
    ("POST", r"/v2/auth/ksef-token", "ksef_token"),
    ("POST", r"/v2/auth/token/redeem", "redeem"),
    ("POST", r"/v2/auth/token/refresh", "refresh"),
    ("GET", r"/v2/auth/(?P<ref>[^/]+)", "auth_status"),
    ("POST", r"/v2/sessions/online", "open_session"),
    ("POST", r"/v2/sessions/online/(?P<ref>[^/]+)/invoices", "send_invoice"),
    ("POST", r"/v2/sessions/online/(?P<ref>[^/]+)/close", "close_session"),
    ("GET", r"/v2/sessions/(?P<ref>[^/]+)", "session_status"),
    ("GET", r"/v2/sessions/(?P<ref>[^/]+)/invoices", "session_invoices"),
    ("GET", r"/v2/sessions/(?P<ref>[^/]+)/invoices/failed", "session_failed_invoices"),
    ("GET", r"/v2/sessions/(?P<ref>[^/]+)/invoices/ksef/(?P<ksef>[^/]+)/upo", "invoice_upo_by_ksef"),
    ("GET", r"/v2/sessions/(?P<ref>[^/]+)/invoices/(?P<inv>[^/]+)", "invoice_status"),
    ("GET", r"/v2/sessions/(?P<ref>[^/]+)/invoices/(?P<inv>[^/]+)/upo", "invoice_upo"),
    ("GET", r"/v2/sessions/(?P<ref>[^/]+)/upo/(?P<upo>[^/]+)", "session_upo"),
    ("GET", r"/storage/upo/(?P<key>[A-Za-z0-9_-]+)\.xml", "storage"),
]
ROUTES = [(m, re.compile(p), name) for m, p, name in ROUTES]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "ksefd"
    sys_version = ""
    timeout = 300

    def setup(self):
        if isinstance(self.request, ssl.SSLSocket):
            # The handshake happens here, in this connection's thread, so a silent client
            # cannot stall the accept loop.
            self.request.settimeout(30)
            self.request.do_handshake()
        super().setup()

    def do_GET(self):
        self.dispatch("GET")

    def do_POST(self):
        self.dispatch("POST")

    def do_PUT(self):
        self.dispatch("PUT")

    def do_DELETE(self):
        self.dispatch("DELETE")

    def log_message(self, *args):
        pass

    @property
    def ks(self):
        return self.server.ksef

    def read_body(self):
        if self.headers.get("Transfer-Encoding", "").lower() == "chunked":
            parts = []
            while True:
                size = int(self.rfile.readline().split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline() not in (b"\r\n", b"\n", b""):
                        pass
                    return b"".join(parts)
                parts.append(self.rfile.read(size))
                self.rfile.readline()
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length else b""

    def log(self, text):
        with self.ks.lock, open(self.server.log_file, "a", encoding="utf-8") as log:
            log.write(text)

    def dispatch(self, method):
        path = self.path.split("?", 1)[0]
        body = self.read_body()
        shown = body[:2000].decode("utf-8", "replace") + ("…" if len(body) > 2000 else "")
        self.log("%s %s\n%s%s\n" % (time.strftime("%H:%M:%S"), self.requestline, self.headers, shown))
        if path in ("/_control", "/_state"):
            self.send(self.test_endpoint(method, path, body))
            return
        fault = self.ks.take_fault(method, path)
        if fault is not None and not fault.after:
            self.answer_fault(fault, method, path)
            return
        try:
            reply = self.route(method, path, body)
        except ApiError as e:
            reply = exception_reply(e.code, e.details, path, self.problem_details())
        except Unauthorized as e:
            reply = problem(401, path, str(e))
        except Exception:
            traceback.print_exc()
            reply = problem(500, path, "Nieznany błąd.")
        if fault is not None:
            self.answer_fault(fault, method, path)
        else:
            # Recorded before it is answered: a client that asks /_state right after the
            # answer must find the request there.
            self.record(method, path, reply.status, False)
            self.send(reply)

    def problem_details(self):
        return self.headers.get("X-Error-Format", "").lower() == "problem-details"

    def record(self, method, path, status, fault):
        with self.ks.lock:
            self.ks.requests.append({"method": method, "path": path, "status": status, "fault": fault})
        self.log("  -> %s%s\n" % (status, " (fault)" if fault else ""))

    def send(self, reply):
        self.send_response(reply.status)
        for name, value in reply.headers:
            self.send_header(name, value)
        if reply.status != 204:
            self.send_header("Content-Type", reply.ctype + ("; charset=utf-8" if "json" in reply.ctype else ""))
            self.send_header("Content-Length", str(len(reply.body)))
        self.end_headers()
        if reply.status != 204:
            self.wfile.write(reply.body)

    def drop(self):
        self.close_connection = True
        try:
            self.wfile.flush()
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    def answer_fault(self, fault, method, path):
        if fault.kind == "drop":
            self.record(method, path, "drop", True)
            self.drop()
            return
        if fault.kind == "hang":
            self.record(method, path, "hang", True)
            end = time.time() + fault.seconds
            while time.time() < end and not self.ks.stopping:
                time.sleep(min(0.05, max(0.0, end - time.time())))
            self.drop()
            return
        status = fault.kind
        if status == 401:
            reply = problem(401, path, "Wymagane jest uwierzytelnienie.")
        elif status == 429:
            reply = too_many(path, int(fault.retry_after if fault.retry_after is not None else 1),
                             self.problem_details())
        elif status == 400:
            reply = exception_reply(fault.code, fault.details, path, self.problem_details())
        else:
            reply = problem(status, path, "Błąd wywołany przez test.")
            if fault.retry_after is not None:
                reply.headers.append(("Retry-After", str(int(fault.retry_after))))
        self.record(method, path, status, True)
        self.send(reply)

    def test_endpoint(self, method, path, body):
        if path == "/_state" and method == "GET":
            return json_reply(200, self.ks.snapshot())
        if path == "/_control" and method == "POST":
            try:
                commands = json.loads(body.decode("utf-8") or "{}")
                for command in commands if isinstance(commands, list) else [commands]:
                    self.ks.control(command)
            except (ValueError, KeyError, TypeError, re.error) as e:
                return json_reply(400, {"error": str(e)})
            return json_reply(200, {"ok": True, "pendingFaults": self.ks.snapshot()["pendingFaults"]})
        return problem(405, path, "Metoda niedozwolona.")

    def route(self, method, path, body):
        allowed = False
        for m, pattern, name in ROUTES:
            match = pattern.fullmatch(path)
            if match:
                if m == method:
                    return getattr(self, "h_" + name)(body, **match.groupdict())
                allowed = True
        if allowed:
            return problem(405, path, "Metoda niedozwolona.")
        return problem(404, path, "Nie znaleziono zasobu.")

    def base_url(self):
        host = self.headers.get("Host") or "127.0.0.1:%d" % self.server.server_address[1]
        return "%s://%s" % ("https" if self.server.tls else "http", host)

    def storage_url(self, key):
        return "%s/storage/upo/%s.xml" % (self.base_url(), key)

    def xml_reply(self, data):
        return Reply(200, data, "application/xml", [("x-ms-meta-hash", sha256_b64(data))])

    # --- public keys and authentication
    def h_public_keys(self, body):
        return json_reply(200, [self.ks.token_key.describe(), self.ks.sym_key.describe()])

    def h_challenge(self, body):
        t = time.time()
        ms = int(t * 1000)
        challenge = reference("CR", t)
        with self.ks.lock:
            self.ks.challenges[challenge] = {"ms": ms, "t": t, "used": False}
        return json_reply(200, {"challenge": challenge, "timestamp": iso(ms / 1000.0), "timestampMs": ms,
                                "clientIp": self.client_address[0]})

    def h_ksef_token(self, body):
        ks = self.ks
        req = json_object(body)
        challenge = req_str(req, "challenge")
        if len(challenge) != 36:
            raise ApiError(21405, "Pole challenge musi mieć 36 znaków.")
        ctx = req_obj(req, "contextIdentifier")
        ctx_type = req_str(ctx, "type", "contextIdentifier.")
        ctx_value = req_str(ctx, "value", "contextIdentifier.")
        if ctx_type not in ("Nip", "InternalId", "NipVatUe", "PeppolId"):
            raise ApiError(21405, "Nieznany typ identyfikatora kontekstu: %s." % ctx_type)
        if ctx_type == "Nip" and not NIP_RE.fullmatch(ctx_value):
            raise ApiError(21405, "Nieprawidłowy NIP kontekstu: %s." % ctx_value)
        encrypted = unbase64(req_str(req, "encryptedToken"), "encryptedToken")
        key_id = optional_key_id(req)
        if key_id is not None and key_id != ks.token_key.key_id:
            raise ApiError(21470, "Klucz o identyfikatorze %s nie jest wspierany." % key_id)
        policy = req.get("authorizationPolicy")
        if policy is not None and not isinstance(policy, dict):
            raise ApiError(21405, "Pole authorizationPolicy musi być obiektem.")
        with ks.lock:
            ch = ks.challenges.get(challenge)
            if ch is None or ch["used"] or time.time() - ch["t"] > CHALLENGE_TTL:
                raise ApiError(21111)
            ch["used"] = True
            failure = None
            try:
                text = ks.token_key.key.decrypt(encrypted, OAEP).decode("utf-8")
            except (ValueError, UnicodeDecodeError):
                failure = "Nieprawidłowy token"
            else:
                token, sep, stamp = text.rpartition("|")
                if not sep:
                    failure = "Nieprawidłowy token"
                elif not stamp.isdigit() or int(stamp) != ch["ms"]:
                    failure = "Nieprawidłowy czas tokena"
                elif token != ks.token or ctx_type != "Nip" or ctx_value != ks.nip:
                    failure = "Nieprawidłowy token"
            code, details = (450, [failure]) if failure else (200, None)
            if ks.auth_outcomes:
                code, forced_details = ks.auth_outcomes.pop(0)
                details = forced_details or (None if code == 200 else ["Wynik wymuszony przez test."])
            ref = reference("AU")
            auth_token = ks.issue("auth", AUTH_TOKEN_TTL, ref)
            ks.auth_ops[ref] = {"ref": ref, "started": time.time(), "code": code, "details": details,
                                "gate": Gate(), "redeemed": False, "refreshes": 0}
        return json_reply(202, {"referenceNumber": ref, "authenticationToken": auth_token})

    def auth_code(self, op, poll):
        ready = op["gate"].poll(self.ks) if poll else op["gate"].ready(self.ks)
        return op["code"] if ready else 100

    def h_auth_status(self, body, ref):
        ks = self.ks
        with ks.lock:
            tok = ks.bearer(self.headers, "auth")
            op = ks.auth_ops.get(ref)
            if op is None:
                raise ApiError(21304, "Operacja uwierzytelniania o numerze referencyjnym %s nie została znaleziona."
                               % ref)
            if tok["ref"] != ref:
                raise Unauthorized("Token nie dotyczy tej operacji uwierzytelniania.")
            code = self.auth_code(op, True)
            status = {"code": code, "description": AUTH_STATUS.get(code, "Nieznany błąd")}
            if code not in (100, 200) and op["details"]:
                status["details"] = op["details"]
            return json_reply(200, {
                "startDate": iso(op["started"]), "authenticationMethod": "Token",
                "authenticationMethodInfo": {"category": "Token", "code": "token.ksef", "displayName": "Token KSeF"},
                "status": status, "isTokenRedeemed": op["redeemed"]})

    def h_redeem(self, body):
        ks = self.ks
        with ks.lock:
            tok = ks.bearer(self.headers, "auth")
            op = ks.auth_ops[tok["ref"]]
            code = self.auth_code(op, False)
            if code != 200:
                raise ApiError(21301, "Status uwierzytelniania (%d) nie pozwala na pobranie tokenów." % code)
            if op["redeemed"]:
                raise ApiError(21301, "Tokeny dla operacji uwierzytelniania %s zostały już pobrane." % op["ref"])
            op["redeemed"] = True
            return json_reply(200, {"accessToken": ks.issue("access", ks.access_ttl, op["ref"]),
                                    "refreshToken": ks.issue("refresh", ks.refresh_ttl, op["ref"])})

    def h_refresh(self, body):
        ks = self.ks
        with ks.lock:
            tok = ks.bearer(self.headers, "refresh")
            op = ks.auth_ops[tok["ref"]]
            op["refreshes"] += 1
            return json_reply(200, {"accessToken": ks.issue("access", ks.access_ttl, op["ref"])})

    # --- sessions
    def session(self, ref):
        s = self.ks.sessions.get(ref)
        if s is None:
            raise ApiError(21173, "Sesja o numerze referencyjnym %s nie została odnaleziona." % ref)
        return s

    def h_open_session(self, body):
        ks = self.ks
        with ks.lock:
            ks.bearer(self.headers, "access")
        req = json_object(body)
        form = req_obj(req, "formCode")
        for name in FORM_CODE:
            req_str(form, name, "formCode.")
        if {name: form[name] for name in FORM_CODE} != FORM_CODE:
            raise ApiError(21405, "Wskazany kod formularza nie jest wspierany.")
        enc = req_obj(req, "encryption")
        wrapped = unbase64(req_str(enc, "encryptedSymmetricKey", "encryption."), "encryptedSymmetricKey")
        iv = unbase64(req_str(enc, "initializationVector", "encryption."), "initializationVector")
        if len(iv) != 16:
            raise ApiError(21405, "Wektor inicjalizujący musi mieć 16 bajtów.")
        key_id = optional_key_id(enc)
        if key_id is not None and key_id != ks.sym_key.key_id:
            raise ApiError(21470, "Klucz o identyfikatorze %s nie jest wspierany." % key_id)
        try:
            key = ks.sym_key.key.decrypt(wrapped, OAEP)
        except ValueError:
            key = None
        if key is not None and len(key) != 32:
            key = None
        now = time.time()
        ref = reference("SO", now)
        with ks.lock:
            ks.sessions[ref] = {"ref": ref, "created": now, "updated": now, "valid_until": now + SESSION_TTL,
                                "key": key, "iv": iv, "closed": None, "gate": None, "final": None,
                                "final_details": None, "invoices": [], "upo": None}
        return json_reply(201, {"referenceNumber": ref, "validUntil": iso(now + SESSION_TTL)})

    def open_session(self, ref, doing):
        """The caller's open session `ref` (under the lock); 21180 when its state forbids `doing`."""
        self.ks.bearer(self.headers, "access")
        s = self.session(ref)
        code = self.ks.session_code(s, poll=False)
        if code != 100:
            raise ApiError(21180, "Status sesji %d uniemożliwia %s." % (code, doing))
        return s

    def h_send_invoice(self, body, ref):
        ks = self.ks
        with ks.lock:
            s = self.open_session(ref, "wysyłkę faktur")
        req = json_object(body)
        plain_hash = req_hash(req, "invoiceHash")
        plain_size = req_int(req, "invoiceSize")
        enc_hash = req_hash(req, "encryptedInvoiceHash")
        enc_size = req_int(req, "encryptedInvoiceSize")
        content = unbase64(req_str(req, "encryptedInvoiceContent"), "encryptedInvoiceContent")
        offline_mode = req.get("offlineMode", False)
        if offline_mode is None:
            offline_mode = False
        if not isinstance(offline_mode, bool):
            raise ApiError(21405, "Pole offlineMode musi być wartością logiczną.")
        if req.get("hashOfCorrectedInvoice") is not None:
            req_hash(req, "hashOfCorrectedInvoice")
        if len(content) != enc_size:
            raise ApiError(21402, "Długość treści nie zgadza się z rozmiarem pliku.")
        if hashlib.sha256(content).digest() != enc_hash:
            raise ApiError(21403, "Skrót treści nie zgadza się ze skrótem pliku.")
        plain = None
        if len(content) % 16 == 0:
            try:
                decryptor = Cipher(algorithms.AES(s["key"]), modes.CBC(s["iv"])).decryptor()
                unpadder = sym_padding.PKCS7(128).unpadder()
                plain = unpadder.update(decryptor.update(content) + decryptor.finalize()) + unpadder.finalize()
            except ValueError:
                plain = None
        if plain is not None:
            if len(plain) != plain_size:
                raise ApiError(21402, "Długość treści nie zgadza się z rozmiarem pliku.")
            if hashlib.sha256(plain).digest() != plain_hash:
                raise ApiError(21403, "Skrót treści nie zgadza się ze skrótem pliku.")
        now = time.time()
        with ks.lock:
            if len(s["invoices"]) >= MAX_INVOICES_PER_SESSION:
                raise ApiError(21155, "Sesja o numerze referencyjnym %s osiągnęła dozwolony limit liczby faktur %d."
                               % (ref, MAX_INVOICES_PER_SESSION))
            inv = {"ref": reference("EE", now), "session": ref, "ordinal": len(s["invoices"]) + 1,
                   "invoicing": now, "hash": b64(plain_hash), "code": None, "details": None, "extensions": None,
                   "ksef": None, "acquisition": None, "p2": None, "p1": None, "seller": None, "plain": plain,
                   "duplicate_of": None, "forced": False, "offline": False, "file": None, "upo": None,
                   "gate": Gate()}
            s["invoices"].append(inv)
            s["updated"] = now
            ks.invoices.append(inv)
            forced = ks.invoice_outcomes.pop(0) if ks.invoice_outcomes else None
        try:
            process_invoice(ks, s, inv, plain, forced, offline_mode)
        except Exception:
            traceback.print_exc()
            with ks.lock:
                inv["code"], inv["details"] = 500, ["Nieznany błąd przetwarzania."]
        return json_reply(202, {"referenceNumber": inv["ref"]})

    def h_close_session(self, body, ref):
        ks = self.ks
        with ks.lock:
            s = self.open_session(ref, "jej zamknięcie")
            s["closed"] = s["updated"] = time.time()
            s["gate"] = Gate()
        return Reply(204)

    def h_session_status(self, body, ref):
        ks = self.ks
        with ks.lock:
            ks.bearer(self.headers, "access")
            s = self.session(ref)
            code = ks.session_code(s)
            status = {"code": code, "description": SESSION_STATUS[code]}
            if code == s["final"] and s["final_details"]:
                status["details"] = s["final_details"]
            done = [i for i in s["invoices"] if i["gate"].ready(ks)]
            out = {"status": status, "dateCreated": iso(s["created"]), "dateUpdated": iso(s["updated"]),
                   "validUntil": iso(s["valid_until"]), "invoiceCount": len(s["invoices"]),
                   "successfulInvoiceCount": sum(1 for i in done if i["code"] == 200),
                   "failedInvoiceCount": sum(1 for i in done if i["code"] != 200)}
            if code == 200 and s["upo"]:
                out["upo"] = {"pages": [{"referenceNumber": s["upo"]["ref"],
                                         "downloadUrl": self.storage_url(s["upo"]["key"]),
                                         "downloadUrlExpirationDate": iso(ks.storage[s["upo"]["key"]][1])}]}
            return json_reply(200, out)

    def invoice_view(self, inv, poll):
        ks = self.ks
        ready = inv["gate"].poll(ks) if poll else inv["gate"].ready(ks)
        out = {"ordinalNumber": inv["ordinal"], "referenceNumber": inv["ref"], "invoiceHash": inv["hash"],
               "invoicingDate": iso(inv["invoicing"])}
        if not ready:
            out["status"] = {"code": 150, "description": INVOICE_STATUS[150]}
            return out
        code = inv["code"]
        status = {"code": code, "description": INVOICE_STATUS.get(code, "Nieznany błąd (%d)" % code)}
        if code != 200:
            if inv["details"]:
                status["details"] = inv["details"]
            if inv["extensions"]:
                status["extensions"] = inv["extensions"]
        if inv["p2"] is not None:
            out["invoiceNumber"] = inv["p2"]
        if code == 200:
            key = inv["upo"]["key"]
            out.update({"ksefNumber": inv["ksef"], "acquisitionDate": iso(inv["acquisition"]),
                        "permanentStorageDate": iso(inv["acquisition"] + 1),
                        "upoDownloadUrl": self.storage_url(key),
                        "upoDownloadUrlExpirationDate": iso(ks.storage[key][1]),
                        "invoicingMode": "Offline" if inv["offline"] else "Online"})
        out["status"] = status
        return out

    def find_invoice(self, s, inv_ref):
        for inv in s["invoices"]:
            if inv["ref"] == inv_ref:
                return inv
        raise ApiError(21405, "Faktura o numerze referencyjnym %s nie została odnaleziona w sesji %s."
                       % (inv_ref, s["ref"]))

    def h_invoice_status(self, body, ref, inv):
        ks = self.ks
        with ks.lock:
            ks.bearer(self.headers, "access")
            return json_reply(200, self.invoice_view(self.find_invoice(self.session(ref), inv), True))

    def invoice_list(self, ref, failed_only):
        ks = self.ks
        with ks.lock:
            ks.bearer(self.headers, "access")
            s = self.session(ref)
            views = [self.invoice_view(i, False) for i in s["invoices"]]
            if failed_only:
                views = [v for v in views if v["status"]["code"] >= 400]
            return json_reply(200, {"continuationToken": None, "invoices": views})

    def h_session_invoices(self, body, ref):
        return self.invoice_list(ref, False)

    def h_session_failed_invoices(self, body, ref):
        return self.invoice_list(ref, True)

    def invoice_upo_reply(self, inv):
        if inv is None or inv["code"] != 200 or not inv["gate"].ready(self.ks):
            raise ApiError(21178, "UPO dla wskazanej faktury nie zostało znalezione.")
        return self.xml_reply(inv["upo"]["xml"])

    def h_invoice_upo(self, body, ref, inv):
        ks = self.ks
        with ks.lock:
            ks.bearer(self.headers, "access")
            return self.invoice_upo_reply(self.find_invoice(self.session(ref), inv))

    def h_invoice_upo_by_ksef(self, body, ref, ksef):
        ks = self.ks
        with ks.lock:
            ks.bearer(self.headers, "access")
            s = self.session(ref)
            inv = ks.by_ksef.get(ksef)
            return self.invoice_upo_reply(inv if inv is not None and inv["session"] == s["ref"] else None)

    def h_session_upo(self, body, ref, upo):
        ks = self.ks
        with ks.lock:
            ks.bearer(self.headers, "access")
            s = self.session(ref)
            if not s["upo"] or s["upo"]["ref"] != upo:
                raise ApiError(21178, "UPO o numerze referencyjnym %s dla sesji %s nie zostało znalezione."
                               % (upo, ref))
            return self.xml_reply(s["upo"]["xml"])

    def h_storage(self, body, key):
        with self.ks.lock:
            item = self.ks.storage.get(key)
        if item is None or time.time() > item[1]:
            return Reply(404, b"BlobNotFound", "text/plain")
        return self.xml_reply(item[0])


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # A client that vanishes mid-request is normal here (timeouts, dropped connections).
        with open(self.log_file, "a", encoding="utf-8") as log:
            log.write("connection error: %s\n" % sys.exc_info()[1])


def main():
    parser = argparse.ArgumentParser(description="KSeF API v2 stand-in for the tests")
    parser.add_argument("portfile")
    parser.add_argument("statedir")
    parser.add_argument("--token", default=DEFAULT_TOKEN)
    parser.add_argument("--nip", default=DEFAULT_NIP)
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--schemas", default=DEFAULT_SCHEMAS)
    parser.add_argument("--log")
    parser.add_argument("--access-ttl", type=float, default=900)
    parser.add_argument("--refresh-ttl", type=float, default=7 * 24 * 3600)
    parser.add_argument("--pending-polls", type=int, default=1)
    parser.add_argument("--processing-delay", type=float, default=0.0)
    args = parser.parse_args()
    if not NIP_RE.fullmatch(args.nip):
        parser.error("--nip is not a NIP: %s" % args.nip)
    for needed in (os.path.join(args.schemas, FA3_XSD), os.path.join(args.schemas, "catalog.xml")):
        if not os.path.isfile(needed):
            parser.error("missing %s" % needed)
    os.makedirs(args.statedir, exist_ok=True)
    ks = Ksef(args)
    server = Server(("127.0.0.1", 0), Handler)
    server.ksef = ks
    server.log_file = args.log or os.path.join(args.statedir, "requests.log")
    server.tls = bool(args.tls)
    if args.tls:
        tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        tls.load_cert_chain(args.tls[0], args.tls[1])
        server.socket = tls.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    with open(args.portfile + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(args.portfile + ".tmp", args.portfile)
    try:
        server.serve_forever()
    finally:
        ks.stopping = True


if __name__ == "__main__":
    main()
