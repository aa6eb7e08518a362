#!/usr/bin/python3
"""The KSeF stand-in (ksefd.py), driven over real sockets on 127.0.0.1 by a client written
here with real RSA-OAEP and AES-256-CBC: the whole path from the challenge to the session
UPO, the main refusals, and the faults the tests can order through /_control."""
import base64
import hashlib
import http.client
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives import padding as sym_padding
from cryptography.hazmat.primitives.asymmetric import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import ksefd  # noqa: E402

UPO_XSD = os.path.join(ksefd.DEFAULT_SCHEMAS, "faktury", "upo", "schemy", "upo-v4-3.xsd")
NIP = "5265877635"
TOKEN = "20261115-EC-1A2B3C4D5E-6F7A8B9C0D-1E|nip-5265877635|" + "0123456789abcdef" * 4
OAEP = padding.OAEP(mgf=padding.MGF1(algorithm=hashes.SHA256()), algorithm=hashes.SHA256(), label=None)
KSEF_NUMBER = re.compile(r"(\d{10})-(\d{8})-([0-9A-F]{12})-([0-9A-F]{2})")

# A minimal domestic FA(3) invoice, byte for byte the worked example whose SHA-256 is known.
EX1 = """<?xml version="1.0" encoding="UTF-8"?>
<Faktura xmlns="http://crd.gov.pl/wzor/2025/06/25/13775/">
  <Naglowek>
    <KodFormularza kodSystemowy="FA (3)" wersjaSchemy="1-0E">FA</KodFormularza>
    <WariantFormularza>3</WariantFormularza>
    <DataWytworzeniaFa>2026-04-15T09:30:00Z</DataWytworzeniaFa>
    <SystemInfo>Bridge 1.0</SystemInfo>
  </Naglowek>
  <Podmiot1>
    <DaneIdentyfikacyjne>
      <NIP>5265877635</NIP>
      <Nazwa>Sprzedawca Sp. z o.o.</Nazwa>
    </DaneIdentyfikacyjne>
    <Adres>
      <KodKraju>PL</KodKraju>
      <AdresL1>ul. Kwiatowa 1</AdresL1>
      <AdresL2>00-001 Warszawa</AdresL2>
    </Adres>
  </Podmiot1>
  <Podmiot2>
    <DaneIdentyfikacyjne>
      <NIP>7762811692</NIP>
      <Nazwa>Nabywca S.A.</Nazwa>
    </DaneIdentyfikacyjne>
    <Adres>
      <KodKraju>PL</KodKraju>
      <AdresL1>ul. Polna 2</AdresL1>
      <AdresL2>30-001 Kraków</AdresL2>
    </Adres>
    <JST>2</JST>
    <GV>2</GV>
  </Podmiot2>
  <Fa>
    <KodWaluty>PLN</KodWaluty>
    <P_1>2026-04-15</P_1>
    <P_2>FV/2026/04/0001</P_2>
    <P_6>2026-04-14</P_6>
    <P_13_1>100.00</P_13_1>
    <P_14_1>23.00</P_14_1>
    <P_15>123.00</P_15>
    <Adnotacje>
      <P_16>2</P_16>
      <P_17>2</P_17>
      <P_18>2</P_18>
      <P_18A>2</P_18A>
      <Zwolnienie>
        <P_19N>1</P_19N>
      </Zwolnienie>
      <NoweSrodkiTransportu>
        <P_22N>1</P_22N>
      </NoweSrodkiTransportu>
      <P_23>2</P_23>
      <PMarzy>
        <P_PMarzyN>1</P_PMarzyN>
      </PMarzy>
    </Adnotacje>
    <RodzajFaktury>VAT</RodzajFaktury>
    <FaWiersz>
      <NrWierszaFa>1</NrWierszaFa>
      <P_7>Usługa serwisowa</P_7>
      <P_8A>szt.</P_8A>
      <P_8B>1</P_8B>
      <P_9A>100.00</P_9A>
      <P_11>100.00</P_11>
      <P_12>23</P_12>
    </FaWiersz>
  </Fa>
</Faktura>
""".encode("utf-8")
EX1_HASH = "2RvZUy5yMrX8ms/bpeciKLa0EO2b7LsyuP76OibjVZA="
EX1_ENCRYPTED_HASH = "fvFa6BcCy4UX0Qp0m4DITDSu7HSUi1Z/6UES0YFP+wY="


def invoice(number, *, no_jst=False, seller=None):
    xml = EX1.replace(b"<P_2>FV/2026/04/0001</P_2>", b"<P_2>" + number.encode() + b"</P_2>")
    if no_jst:
        xml = xml.replace(b"<JST>2</JST>", b"")
    if seller:
        xml = xml.replace(b"<NIP>" + NIP.encode() + b"</NIP>", b"<NIP>" + seller.encode() + b"</NIP>", 1)
    return xml


def encrypt(plain, key, iv):
    padder = sym_padding.PKCS7(128).padder()
    encryptor = Cipher(algorithms.AES(key), modes.CBC(iv)).encryptor()
    return encryptor.update(padder.update(plain) + padder.finalize()) + encryptor.finalize()


def b64(data):
    return base64.b64encode(data).decode("ascii")


def sha(data):
    return b64(hashlib.sha256(data).digest())


def ksef_number_ok(number):
    return len(number) == 35 and KSEF_NUMBER.fullmatch(number) is not None and \
        ksefd.crc8(number[:32].encode("ascii")) == int(number[-2:], 16)


def validates_as_upo(data):
    r = subprocess.run(["xmllint", "--noout", "--nonet", "--schema", UPO_XSD, "-"], input=data,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    return r.returncode == 0


class Client:
    def __init__(self, port):
        self.port = port
        self.keys = None

    def call(self, method, path, body=None, token=None, headers=None, timeout=10):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)
        h = dict(headers or {})
        data = None
        if body is not None:
            data = body if isinstance(body, bytes) else json.dumps(body).encode()
            h["Content-Type"] = "application/json"
        if token:
            h["Authorization"] = "Bearer " + token
        try:
            conn.request(method, path, body=data, headers=h)
            r = conn.getresponse()
            return r.status, r.headers, r.read()
        finally:
            conn.close()

    def json(self, method, path, body=None, token=None, headers=None):
        status, _, raw = self.call(method, path, body, token, headers)
        return status, (json.loads(raw) if raw else None)

    def control(self, *specs):
        status, _ = self.json("POST", "/_control", list(specs))
        assert status == 200

    def state(self):
        return self.json("GET", "/_state")[1]

    def public_keys(self):
        if self.keys is None:
            status, certs = self.json("GET", "/v2/security/public-key-certificates")
            assert status == 200
            self.keys = {}
            for c in certs:
                cert = x509.load_der_x509_certificate(base64.b64decode(c["certificate"]))
                self.keys[c["usage"][0]] = (cert.public_key(), c["publicKeyId"])
        return self.keys

    def start_auth(self, token=TOKEN, nip=NIP, stamp_shift=0):
        key, key_id = self.public_keys()["KsefTokenEncryption"]
        status, ch = self.json("POST", "/v2/auth/challenge")
        assert status == 200
        secret = ("%s|%d" % (token, ch["timestampMs"] + stamp_shift)).encode("utf-8")
        status, init = self.json("POST", "/v2/auth/ksef-token", {
            "challenge": ch["challenge"], "contextIdentifier": {"type": "Nip", "value": nip},
            "encryptedToken": b64(key.encrypt(secret, OAEP)), "publicKeyId": key_id})
        assert status == 202, init
        return init["referenceNumber"], init["authenticationToken"]["token"]

    def poll(self, path, token, seen=None):
        for _ in range(100):
            status, obj = self.json("GET", path, token=token)
            assert status == 200, obj
            if seen is not None:
                seen.append(obj["status"]["code"])
            if obj["status"]["code"] not in (100, 150, 170):
                return obj
            time.sleep(0.01)
        raise AssertionError("still in progress: " + path)

    def login(self):
        ref, auth = self.start_auth()
        assert self.poll("/v2/auth/" + ref, auth)["status"]["code"] == 200
        status, tokens = self.json("POST", "/v2/auth/token/redeem", token=auth)
        assert status == 200, tokens
        return tokens["accessToken"]["token"], tokens["refreshToken"]["token"]

    def open_session(self, access, key=None, iv=None):
        key = key or os.urandom(32)
        iv = iv or os.urandom(16)
        rsa_key, key_id = self.public_keys()["SymmetricKeyEncryption"]
        status, opened = self.json("POST", "/v2/sessions/online", {
            "formCode": {"systemCode": "FA (3)", "schemaVersion": "1-0E", "value": "FA"},
            "encryption": {"encryptedSymmetricKey": b64(rsa_key.encrypt(key, OAEP)),
                           "initializationVector": b64(iv), "publicKeyId": key_id}}, token=access)
        assert status == 201, opened
        return {"ref": opened["referenceNumber"], "key": key, "iv": iv}

    def send(self, access, session, plain, key=None, **overrides):
        encrypted = encrypt(plain, key or session["key"], session["iv"])
        body = {"invoiceHash": sha(plain), "invoiceSize": len(plain), "encryptedInvoiceHash": sha(encrypted),
                "encryptedInvoiceSize": len(encrypted), "encryptedInvoiceContent": b64(encrypted),
                "offlineMode": False}
        body.update(overrides)
        return self.json("POST", "/v2/sessions/online/%s/invoices" % session["ref"], body, token=access)

    def send_and_wait(self, access, session, plain, **kw):
        status, sent = self.send(access, session, plain, **kw)
        assert status == 202, sent
        return self.poll("/v2/sessions/%s/invoices/%s" % (session["ref"], sent["referenceNumber"]), access)


def setUpModule():
    global SERVER, CLIENT, TMP
    TMP = tempfile.TemporaryDirectory()
    portfile = os.path.join(TMP.name, "port")
    SERVER = subprocess.Popen([sys.executable, os.path.join(HERE, "ksefd.py"), portfile,
                               os.path.join(TMP.name, "state"), "--token", TOKEN, "--nip", NIP])
    for _ in range(200):
        if os.path.exists(portfile):
            break
        if SERVER.poll() is not None:
            raise RuntimeError("ksefd.py exited with %s" % SERVER.returncode)
        time.sleep(0.05)
    with open(portfile) as f:
        CLIENT = Client(int(f.read()))


def tearDownModule():
    SERVER.terminate()
    SERVER.wait(10)
    TMP.cleanup()


def error_code(obj):
    return obj["exception"]["exceptionDetailList"][0]["exceptionCode"]


class WorkedValues(unittest.TestCase):
    def test_check_digits_and_the_client_cipher_match_the_worked_values(self):
        # The stand-in's CRC and this client's encryption against values computed elsewhere,
        # so that the two cannot agree with each other on a wrong scheme.
        self.assertEqual(ksefd.crc8(b"5265877635-20250826-0100001AF629"), 0xAF)
        self.assertEqual(ksefd.crc8(b"5265877635-20260415-0100001AF629"), 0x39)
        self.assertEqual((len(EX1), sha(EX1)), (1777, EX1_HASH))
        encrypted = encrypt(EX1, bytes(range(32)), bytes(range(16)))
        self.assertEqual((len(encrypted), sha(encrypted)), (1792, EX1_ENCRYPTED_HASH))


class HappyPath(unittest.TestCase):
    def test_from_challenge_to_session_upo(self):
        c = CLIENT
        status, certs = c.json("GET", "/v2/security/public-key-certificates")
        self.assertEqual(status, 200)
        self.assertEqual(sorted(u for cert in certs for u in cert["usage"]),
                         ["KsefTokenEncryption", "SymmetricKeyEncryption"])
        for cert in certs:
            parsed = x509.load_der_x509_certificate(base64.b64decode(cert["certificate"]))
            spki = parsed.public_key().public_bytes(serialization.Encoding.DER,
                                                    serialization.PublicFormat.SubjectPublicKeyInfo)
            self.assertEqual(cert["publicKeyId"], sha(spki))
            self.assertEqual(parsed.public_key().key_size, 2048)
            self.assertTrue(cert["validFrom"] < cert["validTo"])

        status, ch = c.json("POST", "/v2/auth/challenge")
        self.assertRegex(ch["challenge"], r"^\d{8}-CR-[0-9A-F]{10}-[0-9A-F]{10}-[0-9A-F]{2}$")
        self.assertIsInstance(ch["timestampMs"], int)

        ref, auth = c.start_auth()
        seen = []
        c.poll("/v2/auth/" + ref, auth, seen)
        self.assertEqual(seen, [100, 200])
        status, tokens = c.json("POST", "/v2/auth/token/redeem", token=auth)
        self.assertEqual(status, 200)
        status, again = c.json("POST", "/v2/auth/token/redeem", token=auth)
        self.assertEqual((status, error_code(again)), (400, 21301))
        access = tokens["accessToken"]["token"]

        session = c.open_session(access)
        plain = invoice("FV/HAPPY/1")
        status, sent = c.send(access, session, plain)
        self.assertEqual(status, 202)
        self.assertRegex(sent["referenceNumber"], r"^\d{8}-EE-")
        seen = []
        result = c.poll("/v2/sessions/%s/invoices/%s" % (session["ref"], sent["referenceNumber"]), access, seen)
        self.assertEqual(seen, [150, 200])
        number = result["ksefNumber"]
        self.assertTrue(ksef_number_ok(number), number)
        self.assertEqual(number[:20], "%s-%s-" % (NIP, time.strftime("%Y%m%d", time.gmtime())))
        self.assertEqual((result["invoiceNumber"], result["invoiceHash"]), ("FV/HAPPY/1", sha(plain)))
        # Issued in April, sent later: marked offline on its own.
        self.assertEqual(result["invoicingMode"], "Offline")

        status, headers, upo = c.call("GET", "/v2/sessions/%s/invoices/%s/upo"
                                      % (session["ref"], sent["referenceNumber"]), token=access)
        self.assertEqual(status, 200)
        self.assertEqual(headers["x-ms-meta-hash"], sha(upo))
        self.assertTrue(validates_as_upo(upo))
        self.assertIn(number.encode(), upo)
        self.assertIn(sha(plain).encode(), upo)
        url = urllib.parse.urlsplit(result["upoDownloadUrl"])
        self.assertEqual(url.netloc, "127.0.0.1:%d" % c.port)
        self.assertEqual(c.call("GET", url.path)[2], upo)

        state = c.state()
        mine = [i for i in state["invoices"] if i["referenceNumber"] == sent["referenceNumber"]][0]
        self.assertEqual(mine["xml"], plain.decode())
        with open(mine["file"], "rb") as f:
            self.assertEqual(f.read(), plain)
        self.assertEqual(os.path.basename(mine["file"]), number + ".xml")

        status, _ = c.json("POST", "/v2/sessions/online/%s/close" % session["ref"], token=access)
        self.assertEqual(status, 204)
        seen = []
        closed = c.poll("/v2/sessions/" + session["ref"], access, seen)
        self.assertEqual(seen, [170, 200])
        self.assertEqual((closed["invoiceCount"], closed["successfulInvoiceCount"], closed["failedInvoiceCount"]),
                         (1, 1, 0))
        page = closed["upo"]["pages"][0]
        status, headers, session_upo = c.call("GET", "/v2/sessions/%s/upo/%s" % (session["ref"],
                                                                                page["referenceNumber"]), token=access)
        self.assertEqual(status, 200)
        self.assertTrue(validates_as_upo(session_upo))
        self.assertIn(number.encode(), session_upo)
        self.assertEqual(c.call("GET", urllib.parse.urlsplit(page["downloadUrl"]).path)[2], session_upo)

        status, refused = c.send(access, session, invoice("FV/HAPPY/2"))
        self.assertEqual((status, error_code(refused)), (400, 21180))
        status, refreshed = c.json("POST", "/v2/auth/token/refresh", token=tokens["refreshToken"]["token"])
        self.assertEqual(status, 200)
        self.assertEqual(c.json("GET", "/v2/sessions/" + session["ref"],
                                token=refreshed["accessToken"]["token"])[0], 200)


class Refusals(unittest.TestCase):
    def test_authentication_fails_for_a_wrong_token_time_or_context(self):
        c = CLIENT
        for kwargs, detail in (({"token": TOKEN + "x"}, "Nieprawidłowy token"),
                               ({"token": TOKEN.rsplit("|", 1)[0]}, "Nieprawidłowy token"),
                               ({"nip": "7762811692"}, "Nieprawidłowy token"),
                               ({"stamp_shift": 1}, "Nieprawidłowy czas tokena")):
            with self.subTest(**kwargs):
                ref, auth = c.start_auth(**kwargs)
                result = c.poll("/v2/auth/" + ref, auth)
                self.assertEqual((result["status"]["code"], result["status"]["details"]), (450, [detail]))
                status, refused = c.json("POST", "/v2/auth/token/redeem", token=auth)
                self.assertEqual((status, error_code(refused)), (400, 21301))

        key, key_id = c.public_keys()["KsefTokenEncryption"]
        _, ch = c.json("POST", "/v2/auth/challenge")
        request = {"challenge": ch["challenge"], "contextIdentifier": {"type": "Nip", "value": NIP},
                   "encryptedToken": b64(key.encrypt(("%s|%d" % (TOKEN, ch["timestampMs"])).encode(), OAEP))}
        self.assertEqual(c.json("POST", "/v2/auth/ksef-token", request)[0], 202)
        status, reused = c.json("POST", "/v2/auth/ksef-token", request)
        self.assertEqual((status, error_code(reused)), (400, 21111))
        status, wrong_key = c.json("POST", "/v2/auth/ksef-token", dict(
            request, publicKeyId=c.public_keys()["SymmetricKeyEncryption"][1]))
        self.assertEqual((status, error_code(wrong_key)), (400, 21470))

    def test_bearer_tokens_are_checked_and_an_expired_one_refreshed(self):
        c = CLIENT
        access, refresh = c.login()
        session = c.open_session(access)
        path = "/v2/sessions/" + session["ref"]
        for token in (None, "nonsense", refresh):
            with self.subTest(token=token):
                status, headers, raw = c.call("GET", path, token=token)
                self.assertEqual(status, 401)
                self.assertTrue(headers["Content-Type"].startswith("application/problem+json"))
                self.assertEqual(json.loads(raw)["status"], 401)
        c.control({"expireAccessTokens": True})
        self.assertEqual(c.call("GET", path, token=access)[0], 401)
        status, refreshed = c.json("POST", "/v2/auth/token/refresh", token=refresh)
        self.assertEqual(status, 200)
        self.assertEqual(c.call("GET", path, token=refreshed["accessToken"]["token"])[0], 200)

    def test_opening_a_session_checks_form_key_and_vector(self):
        c = CLIENT
        access, _ = c.login()
        rsa_key, key_id = c.public_keys()["SymmetricKeyEncryption"]
        good = {"formCode": {"systemCode": "FA (3)", "schemaVersion": "1-0E", "value": "FA"},
                "encryption": {"encryptedSymmetricKey": b64(rsa_key.encrypt(os.urandom(32), OAEP)),
                               "initializationVector": b64(os.urandom(16)), "publicKeyId": key_id}}
        for change, code in (({"formCode": {"systemCode": "FA(3)", "schemaVersion": "1-0E", "value": "FA"}}, 21405),
                             ({"encryption": dict(good["encryption"], publicKeyId=sha(b"other"))}, 21470),
                             ({"encryption": dict(good["encryption"],
                                                  publicKeyId=c.public_keys()["KsefTokenEncryption"][1])}, 21470),
                             ({"encryption": dict(good["encryption"],
                                                  initializationVector=b64(os.urandom(8)))}, 21405)):
            with self.subTest(change=change):
                status, refused = c.json("POST", "/v2/sessions/online", dict(good, **change), token=access)
                self.assertEqual((status, error_code(refused)), (400, code))
        # A key wrapped with the wrong padding is found out later: 415, and no sending.
        bad = dict(good, encryption=dict(good["encryption"], encryptedSymmetricKey=b64(
            rsa_key.encrypt(os.urandom(32), padding.PKCS1v15()))))
        status, opened = c.json("POST", "/v2/sessions/online", bad, token=access)
        self.assertEqual(status, 201)
        ref = opened["referenceNumber"]
        self.assertEqual(c.json("GET", "/v2/sessions/" + ref, token=access)[1]["status"]["code"], 415)
        status, refused = c.send(access, {"ref": ref, "key": os.urandom(32), "iv": os.urandom(16)}, invoice("X"))
        self.assertEqual((status, error_code(refused)), (400, 21180))

    def test_sizes_and_hashes_of_plain_and_encrypted_files(self):
        c = CLIENT
        access, _ = c.login()
        session = c.open_session(access)
        plain = invoice("FV/HASH/1")
        before = len(c.state()["invoices"])
        for change, code in (({"invoiceHash": sha(b"other")}, 21403),
                             ({"encryptedInvoiceHash": sha(b"other")}, 21403),
                             ({"invoiceSize": len(plain) + 1}, 21402),
                             ({"encryptedInvoiceSize": 16}, 21402),
                             ({"encryptedInvoiceContent": "not base64!"}, 21405),
                             ({"invoiceSize": "1777"}, 21405)):
            with self.subTest(change=change):
                status, refused = c.send(access, session, plain, **change)
                self.assertEqual((status, error_code(refused)), (400, code))
        self.assertEqual(len(c.state()["invoices"]), before)
        status, _, raw = c.call("POST", "/v2/sessions/online/%s/invoices" % session["ref"],
                                {"invoiceHash": sha(b"x")}, token=access, headers={"X-Error-Format": "problem-details"})
        self.assertEqual((status, json.loads(raw)["errors"][0]["code"]), (400, 21405))

    def test_schema_key_seller_and_duplicate_refusals(self):
        c = CLIENT
        access, _ = c.login()
        first = c.open_session(access)
        result = c.send_and_wait(access, first, invoice("FV/REF/1", no_jst=True))
        self.assertEqual(result["status"]["code"], 450)
        self.assertTrue(any("GV" in d for d in result["status"]["details"]), result)
        result = c.send_and_wait(access, first, invoice("FV/REF/2"), key=os.urandom(32))
        self.assertEqual(result["status"]["code"], 435)
        result = c.send_and_wait(access, first, invoice("FV/REF/3", seller="7762811692"))
        self.assertEqual(result["status"]["code"], 410)
        original = c.send_and_wait(access, first, invoice("FV/REF/4"))
        self.assertEqual(original["status"]["code"], 200)

        second = c.open_session(access)
        dup = c.send_and_wait(access, second, invoice("FV/REF/4"))
        self.assertEqual(dup["status"]["code"], 440)
        self.assertEqual(dup["status"]["extensions"], {"originalKsefNumber": original["ksefNumber"],
                                                       "originalSessionReferenceNumber": first["ref"]})
        self.assertIn(original["ksefNumber"], dup["status"]["details"][0])
        self.assertNotIn("ksefNumber", dup)
        # A session whose invoices all failed ends as 445.
        c.json("POST", "/v2/sessions/online/%s/close" % second["ref"], token=access)
        self.assertEqual(c.poll("/v2/sessions/" + second["ref"], access)["status"]["code"], 445)


class Faults(unittest.TestCase):
    def test_answers_replaced_by_ordered_faults(self):
        c = CLIENT
        access, _ = c.login()
        session = c.open_session(access)
        c.control({"fault": 429, "path": "/invoices$", "retryAfter": 7},
                  {"fault": 503, "method": "GET", "path": "^/v2/sessions/", "count": 2},
                  {"fault": 401, "path": "/close$"})
        status, headers, raw = c.call("POST", "/v2/sessions/online/%s/invoices" % session["ref"], {}, token=access)
        self.assertEqual((status, headers["Retry-After"], json.loads(raw)["status"]["code"]), (429, "7", 429))
        path = "/v2/sessions/" + session["ref"]
        self.assertEqual([c.call("GET", path, token=access)[0] for _ in range(3)], [503, 503, 200])
        self.assertEqual(c.call("POST", "/v2/sessions/online/%s/close" % session["ref"], token=access)[0], 401)
        self.assertEqual(c.call("POST", "/v2/sessions/online/%s/close" % session["ref"], token=access)[0], 204)
        self.assertEqual(c.state()["pendingFaults"], [])

    def test_an_answer_lost_after_acceptance_makes_the_resend_a_duplicate(self):
        c = CLIENT
        access, _ = c.login()
        session = c.open_session(access)
        plain = invoice("FV/LOST/1")
        c.control({"fault": "drop", "after": True, "path": "/invoices$"})
        with self.assertRaises((http.client.HTTPException, ConnectionError)):
            c.send(access, session, plain)
        accepted = [i for i in c.state()["invoices"] if i["invoiceNumber"] == "FV/LOST/1"]
        self.assertEqual([i["status"] for i in accepted], [200])
        result = c.send_and_wait(access, session, plain)
        self.assertEqual(result["status"]["code"], 440)
        self.assertEqual(result["status"]["extensions"]["originalKsefNumber"], accepted[0]["ksefNumber"])
        state = c.state()
        self.assertEqual([i["ksefNumber"] for i in state["invoices"]
                          if i["invoiceNumber"] == "FV/LOST/1" and i["status"] == 200], [accepted[0]["ksefNumber"]])

    def test_hang_holds_the_connection_unanswered(self):
        c = CLIENT
        c.control({"fault": "hang", "seconds": 1, "path": "public-key-certificates"})
        with self.assertRaises(socket.timeout):
            c.call("GET", "/v2/security/public-key-certificates", timeout=0.3)
        self.assertEqual(c.call("GET", "/v2/security/public-key-certificates")[0], 200)

    def test_forced_invoice_outcomes(self):
        c = CLIENT
        access, _ = c.login()
        session = c.open_session(access)
        c.control({"invoiceOutcome": 450, "details": ["Błąd testowy."]}, {"invoiceOutcome": 440})
        forced = c.send_and_wait(access, session, invoice("FV/FORCED/1"))
        self.assertEqual((forced["status"]["code"], forced["status"]["details"]), (450, ["Błąd testowy."]))
        dup = c.send_and_wait(access, session, invoice("FV/FORCED/2"))
        self.assertEqual(dup["status"]["code"], 440)
        self.assertTrue(ksef_number_ok(dup["status"]["extensions"]["originalKsefNumber"]))
        self.assertEqual(c.send_and_wait(access, session, invoice("FV/FORCED/3"))["status"]["code"], 200)


if __name__ == "__main__":
    unittest.main()
