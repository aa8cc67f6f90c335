"""Tests of the zqcrypt command-line tool against its reference tools.

Each table runs the tool and a reference on the same inputs and compares
them byte for byte: coreutils md5sum and base64, and the openssl command line
for keys and signatures. The same tables run the Windows build under Wine
(--wine), whose keys and signatures come from CryptoAPI; --peer-tool names
the Linux tool, whose signatures the Windows tool's must equal byte for byte.
A tool built for another processor runs under its emulator (--emulator, e.g.
qemu-aarch64-static).

Usage: cli_test.py --tool PATH [--wine | --emulator PROGRAM] [--peer-tool PATH]
                   [--lone-surrogate PATH] TABLE
  TABLE is md5, base64, keys, signatures, explain (verify --explain, a row per
  mistake), bad-input, output (-o targets and failing outputs), progress (the
  progress line on a pseudo-terminal) or large-file (a sparse file beyond
  4 GiB, opt-in).
"""
import argparse
import fcntl
import hashlib
import json
import math
import os
import random
import re
import resource
import select
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import time

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def run(command, stdin=b"", cwd=None, preexec_fn=None):
    # The output goes to files rather than pipes: a Wine run leaves service
    # processes behind that hold whatever it inherited open for as long as
    # the Wine server lives, and a pipe would not reach its end until then.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        done = subprocess.run(command, input=stdin, stdout=out, stderr=err, cwd=cwd, timeout=300,
                              preexec_fn=preexec_fn)
        out.seek(0)
        err.seek(0)
        # A coverage build's runtime says so when it cannot write its profile
        # (a file-size limit, another user): not the tool's words.
        stderr = re.sub(rb"(?m)^LLVM Profile Error: .*\n", b"", err.read())
        return done.returncode, out.read(), stderr


class Tool:
    def __init__(self, path, wine, peer=None, surrogate=None, emulator=None):
        self.prefix = ["wine", path] if wine else ([emulator, path] if emulator else [path])
        self.wine = wine
        self.emulator = emulator
        self.peer = peer  # the tool of the other platform, or None
        self.surrogate = surrogate  # lone_surrogate.exe, under Wine

    def __call__(self, *args, stdin=b"", cwd=None, preexec_fn=None):
        return run(self.prefix + list(args), stdin, cwd, preexec_fn)


def one_error_line(stderr):
    """The tool's errors are one line: zqcrypt: NAME: reason."""
    return re.fullmatch(rb"zqcrypt: [^\n]+: [^\n]+\n", stderr) is not None


# Sizes around Base64's 3-byte groups and 48-byte lines, the MD5 block, and
# the pieces the tool reads (48·4096 bytes to encode, 2^18 bytes to hash).
SIZES = [0, 1, 2, 3, 4, 47, 48, 49, 55, 56, 63, 64, 65, 95, 96, 97, 1000,
         196607, 196608, 196609, 262143, 262144, 262145, 1 << 20 | 7]


def write(path, data):
    with open(path, "wb") as file:
        file.write(data)


def make_files(folder, sizes):
    generator = random.Random(20261207)
    names = []
    for size in sizes:
        name = "f%d.bin" % size
        write(os.path.join(folder, name), generator.randbytes(size))
        names.append(name)
    return names


def library_layout(coreutils_text):
    """base64 -w 64 output in the library's layout: CR LF line ends, none
    after a last line shorter than 64 characters."""
    lines = coreutils_text.split(b"\n")[:-1]
    text = b"\r\n".join(lines)
    return text + b"\r\n" if lines and len(lines[-1]) == 64 else text


# ---- md5 -------------------------------------------------------------------

def md5_table(tool, folder):
    names = make_files(folder, SIZES)
    # Names beyond ASCII reach the tool, and its output, in UTF-8 on every build.
    odd = ["café.txt", "файл.txt"] + ([] if tool.wine else ["back\\slash", "new\nline", "carriage\rreturn"])
    for name in odd:
        write(os.path.join(folder, name), name.encode())
    for group in [[name] for name in names] + [names + odd]:
        expected = run(["md5sum"] + group, cwd=folder)
        check(tool("md5", *group, cwd=folder) == expected, "md5 %s" % group[:3])
    data = open(os.path.join(folder, names[-1]), "rb").read()
    for args in [[], ["-"]]:
        check(tool("md5", *args, stdin=data)[1] == run(["md5sum"], data)[1], "md5 stdin %s" % args)
    rc, out, _ = tool("md5", "-o", "list.md5", *names, cwd=folder)
    check(rc == 0 and out == b"", "md5 -o writes nothing to stdout")
    listed = open(os.path.join(folder, "list.md5"), "rb").read()
    check(listed == run(["md5sum"] + names, cwd=folder)[1], "md5 -o file")
    rc = tool("md5", "-o", "файл.md5", odd[0], cwd=folder)[0]
    check(rc == 0 and open(os.path.join(folder, "файл.md5"), "rb").read() == run(["md5sum", odd[0]], cwd=folder)[1],
          "md5 -o a name beyond ASCII")

    # Lists made by md5sum, with good, bad, missing and malformed entries.
    good = run(["md5sum"] + names[:4] + odd, cwd=folder)[1]
    wrong = run(["md5sum", names[5]], cwd=folder)[1].replace(b"f", b"0", 1)
    missing = b"0cc175b9c0f1b6a831c399e269772661  absent.bin\n"
    malformed = b"not a checksum line\n"
    tagged = run(["md5sum", "--tag", names[6]], cwd=folder)[1]
    lists = {
        "good": (b"# a comment\n\n" + good + tagged, 0),
        "crlf": (good.replace(b"\n", b"\r\n"), 0),
        "mismatch": (good + wrong, 1),
        "missing": (good + missing, 2),
        "malformed": (good + malformed, 0),
        "all-malformed": (malformed, 2),
        "only-missing": (missing, 2),
    }
    options = [[], ["--quiet"], ["--status"], ["--strict"], ["--ignore-missing"]]
    for list_name, (content, code) in lists.items():
        write(os.path.join(folder, list_name), content)
        for option in options:
            rc, out, err = tool("md5", "-c", *option, list_name, cwd=folder)
            ref_rc, ref_out, ref_err = run(["md5sum", "-c"] + option + [list_name], cwd=folder)
            expected_rc = code
            if "--strict" in option and list_name == "malformed":
                expected_rc = 2
            if "--ignore-missing" in option and list_name == "missing":
                expected_rc = 0
            what = "md5 -c %s %s" % (list_name, option)
            check(out == ref_out, what + ": stdout")
            check(err == ref_err.replace(b"md5sum: ", b"zqcrypt: "), what + ": stderr")
            check(rc == expected_rc and (rc == 0) == (ref_rc == 0), what + ": exit %d" % rc)
    rc, out, _ = tool("md5", "-c", stdin=good, cwd=folder)
    check(rc == 0 and out == run(["md5sum", "-c"], good, cwd=folder)[1], "md5 -c from stdin")


# ---- base64 ----------------------------------------------------------------

def base64_table(tool, folder):
    names = make_files(folder, SIZES)
    for name in names:
        path = os.path.join(folder, name)
        data = open(path, "rb").read()
        lines = run(["base64", "-w", "64", path])[1]
        expected = library_layout(lines)
        rc, text, _ = tool("base64", path)
        check(rc == 0 and text == expected, "base64 %s" % name)
        unbroken = run(["base64", "-w", "0", path])[1]
        # The library's text, the same with LF line ends, unbroken, and with
        # the zero bytes that end the library's blob.
        for form, encoded in [("crlf", expected), ("lf", lines), ("unbroken", unbroken),
                              ("zero tail", expected + b"\0" * 4)]:
            rc, out, _ = tool("base64", "-d", stdin=encoded)
            check(rc == 0 and out == data, "base64 -d %s %s" % (form, name))
    data = open(os.path.join(folder, names[-1]), "rb").read()
    rc, out, _ = tool("base64", "-", stdin=data)
    check(rc == 0 and out == library_layout(run(["base64", "-w", "64"], data)[1]), "base64 stdin")
    rc, out, _ = tool("base64", "-o", "out.txt", names[-1], cwd=folder)
    written = open(os.path.join(folder, "out.txt"), "rb").read()
    check(rc == 0 and out == b"" and written == tool("base64", names[-1], cwd=folder)[1], "base64 -o")


# ---- keys (libcrypto builds only) ------------------------------------------

def openssl(*args, stdin=b""):
    rc, out, err = run(["openssl"] + list(args), stdin)
    if rc != 0:
        raise RuntimeError("openssl %s: %s" % (" ".join(args), err.decode()))
    return out


def rsa_text(path):
    text = openssl("pkey", "-in", path, "-text", "-noout").decode()
    bits = int(re.search(r"Private-Key: \((\d+) bit", text).group(1))
    exponent = int(re.search(r"publicExponent: (\d+)", text).group(1))
    return bits, exponent


def reversed_signature(key, name):
    """OpenSSL's PKCS #1 v1.5 MD5 signature in the library's byte order."""
    return openssl("dgst", "-md5", "-sign", key, name)[::-1]


def der_element(tag, body):
    size = len(body)
    length = bytes([size]) if size < 0x80 else bytes([0x80 | (size.bit_length() + 7) // 8]) + \
        size.to_bytes((size.bit_length() + 7) // 8, "big")
    return bytes([tag]) + length + body


def pkcs1_private_der(n, e, d, p, q, dp, dq, qinv):
    """RSAPrivateKey (version 0) of these values, damaged or not."""
    values = [0, n, e, d, p, q, dp, dq, qinv]
    return der_element(0x30, b"".join(der_element(2, v.to_bytes(v.bit_length() // 8 + 1, "big")) for v in values))


def damaged_keys(pem):
    """The key in `pem` with one value off, in PKCS #1 DER, and a key whose
    values agree with each other but whose first prime is the product of two:
    what it signs does not verify."""
    text = run(["openssl", "asn1parse", "-inform", "DER"],
               openssl("rsa", "-in", pem, "-traditional", "-outform", "DER"))[1].decode()
    n, e, d, p, q, dp, dq, qinv = [int(h, 16) for h in re.findall(r"INTEGER\s+:([0-9A-F]+)", text)][1:]
    while True:
        composite = int(openssl("prime", "-generate", "-bits", "512")) * \
            int(openssl("prime", "-generate", "-bits", "512"))
        prime = int(openssl("prime", "-generate", "-bits", "1024"))
        order = (composite - 1) * (prime - 1) // math.gcd(composite - 1, prime - 1)
        if (composite * prime).bit_length() == 2048 and math.gcd(65537, order) == 1:
            break
    inverse = pow(65537, -1, order)
    return {
        "iqmp": (pkcs1_private_der(n, e, d, p, q, dp, dq, qinv + 1), b"CRT coefficient"),
        "dq": (pkcs1_private_der(n, e, d, p, q, dp, dq + 1, qinv), b"CRT exponent"),
        "n": (pkcs1_private_der(n + 2, e, d, p, q, dp, dq, qinv), b"product is not its modulus"),
        "composite": (pkcs1_private_der(composite * prime, 65537, inverse, composite, prime,
                                        inverse % (composite - 1), inverse % (prime - 1),
                                        pow(prime, -1, composite)), b"does not verify"),
        # Consistent values, but its "signature" would be the padded block.
        "e1": (pkcs1_private_der(n, 1, 1, p, q, 1, 1, qinv), b"exponent of 1"),
    }


def reheaded_private_blob(blob, bits):
    """A 2048-bit PRIVATEKEYBLOB under a header of `bits`, each field padded
    (or cut) to the size that bit length gives it."""
    fields, offset, out = [256, 128, 128, 128, 128, 128, 256], 20, b""
    for size in fields:
        wanted = (bits + 7) // 8 if size == 256 else (bits + 15) // 16
        out += blob[offset:offset + size][:wanted].ljust(wanted, b"\0")
        offset += size
    return blob[:12] + bits.to_bytes(4, "little") + blob[16:20] + out


def keys_table(tool, folder):
    """Key files in every format, read and written by the tool's own code,
    and keys and signatures made through libcrypto (Linux) or CryptoAPI
    (Wine). With a peer (the Linux tool, for the Windows one), every
    signature is also compared with the peer's, byte for byte."""
    os.chdir(folder)
    openssl("genrsa", "-out", "ref.pem", "2048")
    write("doc.txt", b"a document to sign\n" * 100)
    signature = reversed_signature("ref.pem", "doc.txt")
    msblob = openssl("rsa", "-in", "ref.pem", "-pubout", "-outform", "MSBLOB")
    pkcs8 = openssl("pkey", "-in", "ref.pem")
    private_blob = openssl("rsa", "-in", "ref.pem", "-outform", "MSBLOB")
    spki = openssl("rsa", "-in", "ref.pem", "-pubout")
    forms = {
        "pkcs8 pem": pkcs8,
        "pkcs1 pem": openssl("rsa", "-in", "ref.pem", "-traditional"),
        "pkcs8 der": openssl("pkcs8", "-topk8", "-nocrypt", "-in", "ref.pem", "-outform", "DER"),
        "pkcs1 der": openssl("rsa", "-in", "ref.pem", "-traditional", "-outform", "DER"),
        "private blob": private_blob,
        "spki pem": spki,
        "spki der": openssl("rsa", "-in", "ref.pem", "-pubout", "-outform", "DER"),
        "pkcs1 public pem": openssl("rsa", "-in", "ref.pem", "-RSAPublicKey_out"),
        "public blob": msblob,
    }
    for form, content in forms.items():
        write("key", content)
        check(tool("pubkey", "-", stdin=content) == (0, msblob, b""), "pubkey from %s" % form)
        check(tool("pubkey", "--format", "pem", "key")[1] == spki, "pubkey --format pem from %s" % form)
        check(tool("pubkey", "--format", "pkcs1", "key")[1] == forms["pkcs1 public pem"],
              "pubkey --format pkcs1 from %s" % form)
        if "public" in form or "spki" in form:
            continue
        # Our PEM is OpenSSL's, and the blob too, from every private form.
        check(tool("keygen", "--from", "key")[1] == pkcs8, "keygen --from %s: OpenSSL's PEM" % form)
        check(tool("keygen", "--from", "key", "--format", "blob")[1] == private_blob,
              "keygen --from %s: OpenSSL's PRIVATEKEYBLOB" % form)
        check(tool("keygen", "--from", "key", "--format", "pkcs1")[1] == forms["pkcs1 pem"],
              "keygen --from %s: OpenSSL's PKCS #1 PEM" % form)
        rc, made, _ = tool("sign", "--key", "key", "doc.txt")
        check(rc == 0 and made == signature, "sign with %s: OpenSSL's signature, reversed" % form)
        if tool.peer:
            check(made == tool.peer("sign", "--key", "key", "doc.txt")[1], "sign with %s: the peer's signature" % form)
    check(tool("pubkey", "--pem", "ref.pem")[1] == spki, "pubkey --pem")

    # keygen -> pubkey -> sign -> verify in both formats; keys made here sign
    # on the peer, or with OpenSSL, to the same bytes.
    for form in ["pem", "blob"]:
        made, public = "made." + form, "made.public." + form
        rc, _, _ = tool("keygen", "--bits", "1024", "--insecure", "--format", form, "-o", made)
        check(rc == 0 and tool("pubkey", "--format", form, made, "-o", public)[0] == 0, "keygen, pubkey: %s" % form)
        rc, made_signature, _ = tool("sign", "--key", made, "doc.txt")
        write("made.sig", made_signature)
        check(tool("verify", "--key", public, "--sig", "made.sig", "doc.txt") == (0, b"Verified OK\n", b""),
              "keygen, pubkey, sign, verify: %s" % form)
        write("made.pem", openssl("rsa", "-inform", "PEM" if form == "pem" else "MSBLOB", "-in", made))
        reference = tool.peer("sign", "--key", made, "doc.txt")[1] if tool.peer else \
            reversed_signature("made.pem", "doc.txt")
        check(rc == 0 and made_signature == reference, "a %s key made here signs as on the peer" % form)
        if form == "pem":
            check(open(made, "rb").read() == openssl("pkey", "-in", made), "keygen writes OpenSSL's PEM")
        # Wine shows the Windows tool's owner-only DACL as Unix mode bits:
        # nothing for others (the group's bits are its own mapping).
        mode = os.stat(made).st_mode & 0o777
        check(mode & 0o007 == 0 if tool.wine else mode == 0o600, "keygen: owner-only file, mode %o" % mode)

    if tool.wine:
        generated = [(["--bits", "2048"], 2048, 65537)]
        refused = [["-e", "65539"], ["--bits", "2052"], ["-e", "3", "--insecure", "--bits", "1024"]]
    else:
        generated = [([], 3072, 65537), (["--bits", "2048", "-e", "65539"], 2048, 65539),
                     (["--bits", "1024", "-e", "3", "--insecure"], 1024, 3)]
        refused = []
    refused += [["-e", "3"], ["--bits", "1024"], ["-e", "65536"], ["--bits", "32768"], ["--from", "key", "--bits", "2048"]]
    for args, bits, exponent in generated:
        rc, _, _ = tool("keygen", *args, "-o", "made.pem")
        check(rc == 0 and rsa_text("made.pem") == (bits, exponent), "keygen %s" % args)
    for args in refused:
        rc, out, err = tool("keygen", *args, "-o", "refused.pem")
        check(rc == 2 and one_error_line(err) and not os.path.exists("refused.pem"), "keygen refuses %s" % args)

    # Malformed keys: one line naming the file and what is wrong, exit 2.
    der = forms["pkcs8 der"]
    public_der = openssl("rsa", "-in", "ref.pem", "-RSAPublicKey_out", "-outform", "DER")
    # RFC 5958's version 1 holds the public key ([1]); blanks may follow the
    # armour lines (RFC 7468's lax form, as OpenSSL reads it).
    public_key = der_element(0x81, b"\0" + public_der)
    v1 = der_element(0x30, b"\2\1\1" + der[7:] + public_key)
    for name, content in [("v1-public.der", v1), ("blanks.pem", pkcs8.replace(b"KEY-----\n", b"KEY----- \t\n"))]:
        write(name, content)
        check(tool("pubkey", name) == (0, msblob, b""), "pubkey %s" % name)
    relabel = lambda pem, old, new: pem.replace(b"N " + old, b"N " + new).replace(b"D " + old, b"D " + new)
    bad = {
        "v5.der": (der[:6] + b"\5" + der[7:], b"version other than 0 or 1"),
        "v255.der": (b"\x30\x82" + (len(der) - 3).to_bytes(2, "big") + b"\2\2\0\xff" + der[7:], b"version"),
        "spki-as-pkcs1.pem": (relabel(spki, b"PUBLIC", b"RSA PUBLIC"), b"holding a 'PUBLIC KEY'"),
        "pkcs1-as-spki.pem": (relabel(forms["pkcs1 public pem"], b"RSA PUBLIC", b"PUBLIC"), b"holding a 'RSA"),
        "pkcs8-as-pkcs1.pem": (relabel(pkcs8, b"PRIVATE", b"RSA PRIVATE"), b"holding a 'PRIVATE KEY'"),
        "even-e.blob": (msblob[:16] + (65538).to_bytes(4, "little") + msblob[20:], b"even public exponent"),
        "cut.der": (der[:-1], b"cut short"),
        "tag.der": (der[:22] + b"\x03" + der[23:], b"tag 0x03 where 0x04 belongs"),
        "long.der": (b"\x30\x84\xff\xff\xff\xff" + der[4:], b"cut short"),
        "indefinite.der": (b"\x30\x80" + der[4:], b"indefinite length"),
        "armour.pem": (pkcs8.replace(b"END PRIVATE", b"END PUBLIC"), b"ends with"),
        "unended.pem": (pkcs8[:-26], b"without its END line"),
        "base64.pem": (pkcs8[:100] + b"*" + pkcs8[101:], b"not Base64"),
        "cut.blob": (private_blob[:-1], b"cut short"),
        "encrypted.pem": (openssl("pkey", "-in", "ref.pem", "-aes128", "-passout", "pass:x"), b"encrypted"),
        "v0-public.der": (der_element(0x30, der[4:] + public_key), b"version 0 holding"),
        "v3.blob": (private_blob[:1] + b"\3" + private_blob[2:], b"version 3"),
        "16384.blob": (reheaded_private_blob(private_blob, 16384), b"16384 bits around a 2048-bit"),
        "2047.blob": (reheaded_private_blob(private_blob, 2047), b"2047 bits around a 2048-bit"),
    }
    for name, (content, reason) in bad.items():
        write(name, content)
        rc, out, err = tool("pubkey", name)
        check(rc == 2 and out == b"" and one_error_line(err) and name.encode() in err and reason in err,
              "pubkey %s: exit %d, stderr %r" % (name, rc, err))

    # A damaged private key signs nothing: a CRT signature from it would give
    # a prime away (gcd(s^e - m, n)), so its values are checked when it is
    # read and every signature before it is written.
    for name, (content, reason) in damaged_keys("ref.pem").items():
        write(name + ".der", content)
        write(name + ".blob", openssl("rsa", "-inform", "DER", "-in", name + ".der", "-outform", "MSBLOB"))
        for key in [name + ".der", name + ".blob"]:
            rc, out, err = tool("sign", "--key", key, "-o", "damaged.sig", "doc.txt")
            check(rc == 2 and one_error_line(err) and reason in err and not os.path.exists("damaged.sig"),
                  "sign --key %s: exit %d, stderr %r" % (key, rc, err))


# ---- signatures ------------------------------------------------------------

def forged_e3_signature(key_bytes):
    """A message and a signature s with s^3 < n whose low 128 bits are the
    message's MD5 digest: what the library accepts from anyone for an e = 3
    key. Cubing is a bijection on odd residues modulo 2^128, so an odd
    digest has a cube root there."""
    for counter in range(1000):
        message = b"forged %d" % counter
        digest = int.from_bytes(hashlib.md5(message).digest(), "big")
        if digest & 1:
            root = pow(digest, pow(3, -1, 1 << 126), 1 << 128)
            assert pow(root, 3, 1 << 128) == digest
            return message, root.to_bytes(key_bytes, "little")
    raise RuntimeError("no odd digest")


def signature_table(tool, folder):
    os.chdir(folder)
    for bits, exponent in [(2048, []), (3072, [])]:
        openssl("genrsa", "-out", "k%d.pem" % bits, *exponent, str(bits))
    openssl("genrsa", "-out", "e3.pem", "-3", "2048")
    for name in ["k2048", "k3072", "e3"]:
        write(name + ".blob", openssl("rsa", "-in", name + ".pem", "-pubout", "-outform", "MSBLOB"))
        # The private-key blob, whose public part the library reads alike.
        write(name + ".private.blob", openssl("rsa", "-in", name + ".pem", "-outform", "MSBLOB"))
    write("doc.txt", b"a document to sign\n" * 100)
    write("tampered.txt", b"a document to sign\n" * 99 + b"a document to sigN\n")
    digest = hashlib.md5(open("doc.txt", "rb").read()).hexdigest()

    for key in ["k2048", "k3072"]:
        big = openssl("dgst", "-md5", "-sign", key + ".pem", "doc.txt")
        for name, content in [("sig.big", big), ("sig.little", big[::-1])]:
            write(name, content)
        key_files = [key + ".blob", key + ".private.blob", key + ".pem"]
        for key_file in key_files:
            cases = [(["--sig", "sig.big", "--byte-order", "big", "doc.txt"], 0),
                     (["--sig", "sig.little", "doc.txt"], 0),
                     (["--sig", "sig.little", "--byte-order", "little", "-"], 0),
                     (["--sig", "sig.little", "--digest", digest], 0),
                     (["--sig", "sig.little", "--digest", digest.upper()], 0),
                     (["--sig", "sig.little", "tampered.txt"], 1),
                     (["--sig", "sig.big", "doc.txt"], 1),
                     (["--sig", "sig.little", "--strict", "doc.txt"], 0)]
            for args, code in cases:
                rc, out, _ = tool("verify", "--key", key_file, *args, stdin=open("doc.txt", "rb").read())
                expected = b"Verified OK\n" if code == 0 else b"Verification failure\n"
                check(rc == code and out == expected, "verify %s %s" % (key_file, args))
        # zqcrypt sign: PKCS #1 v1.5 is deterministic, so OpenSSL's
        # signature is the one to get, in either byte order.
        rc, big_made, _ = tool("sign", "--key", key + ".pem", "--byte-order", "big", "doc.txt")
        check(rc == 0 and big_made == big, "sign --byte-order big %s" % key)
        rc, _, _ = tool("sign", "--key", key + ".pem", "-o", "made.sig", "doc.txt")
        write("made.sig.big", open("made.sig", "rb").read()[::-1])
        openssl("rsa", "-in", key + ".pem", "-pubout", "-out", "pub.pem")
        verified = openssl("dgst", "-md5", "-verify", "pub.pem", "-signature", "made.sig.big", "doc.txt")
        check(rc == 0 and verified == b"Verified OK\n", "openssl verifies zqcrypt sign %s" % key)

    # A forgery for e = 3: the library accepts it, --strict does not.
    message, forged = forged_e3_signature(256)
    write("forged.txt", message)
    write("forged.sig", forged)
    rc, out, _ = tool("verify", "--key", "e3.blob", "--sig", "forged.sig", "forged.txt")
    check(rc == 0 and out == b"Verified OK\n", "the library accepts the e = 3 forgery")
    rc, out, _ = tool("verify", "--key", "e3.blob", "--sig", "forged.sig", "--strict", "forged.txt")
    check(rc == 1 and out == b"Accepted by the library, but not a valid PKCS #1 v1.5 signature\n",
          "--strict reports the e = 3 forgery")


# ---- explain ---------------------------------------------------------------

def json_object(text):
    """The JSON object in `text`, or {} when it is none."""
    try:
        parsed = json.loads(text)
    except ValueError:
        return {}
    return parsed if isinstance(parsed, dict) else {}


def explain_table(tool, folder):
    """verify --explain and --json: one row per mistake, each made on
    purpose, with the findings (JSON codes) it must produce and a phrase of
    the text, and plain verify's exit status, which all three give. Keys
    are made by openssl, so the table runs under Wine too."""
    os.chdir(folder)
    openssl("genrsa", "-out", "k.pem", "2048")
    openssl("genrsa", "-out", "e3.pem", "-3", "2048")
    blob = openssl("rsa", "-in", "k.pem", "-pubout", "-outform", "MSBLOB")
    n = int.from_bytes(blob[20:], "little")
    write("doc.txt", b"a document to sign\n" * 100)
    write("other.txt", b"another document\n")
    md5 = hashlib.md5(open("doc.txt", "rb").read()).hexdigest()

    def signature(hash_name, name="doc.txt"):
        return openssl("dgst", "-" + hash_name, "-sign", "k.pem", name)[::-1]

    s = signature("md5")
    message, forged = forged_e3_signature(256)
    write("forged.txt", message)
    odd_modulus = (1 << 255 | 1).to_bytes(32, "little")
    private_blob = openssl("rsa", "-in", "k.pem", "-outform", "MSBLOB")
    even_blob = blob[:20] + bytes([blob[20] & 0xfe]) + blob[21:]
    e0_blob = blob[:16] + bytes(4) + blob[20:]
    files = {
        "k.blob": blob,
        "private.blob": private_blob,
        "e3.blob": openssl("rsa", "-in", "e3.pem", "-pubout", "-outform", "MSBLOB"),
        "e1.blob": blob[:16] + (1).to_bytes(4, "little") + blob[20:],
        "2047.blob": blob[:12] + (2047).to_bytes(4, "little") + blob[16:],
        "short.blob": blob[:-32],
        "even.blob": even_blob, "even.pem": openssl("rsa", "-pubin", "-inform", "MSBLOB", "-pubout", stdin=even_blob),
        "tiny.blob": blob[:12] + (256).to_bytes(4, "little") + blob[16:20] + odd_modulus,
        "huge.blob": blob[:12] + (16416).to_bytes(4, "little") + blob[16:20] + b"\1" + bytes(2050) + b"\1",
        "e0.blob": e0_blob, "e0.pem": openssl("rsa", "-pubin", "-inform", "MSBLOB", "-pubout", stdin=e0_blob),
        "n0.der": der_element(0x30, der_element(2, b"\0") + der_element(2, (65537).to_bytes(3, "big"))),
        # A modulus field a word wider than the modulus, as makeKeyBlob
        # writes for odd sizes: a signature may fill it.
        "wide.blob": blob[:12] + (2080).to_bytes(4, "little") + blob[16:] + bytes(4),
        "private-2047.blob": private_blob[:12] + (2047).to_bytes(4, "little") + private_blob[16:],
        "s": s, "s.big": s[::-1], "other": signature("md5", "other.txt"), "forged": forged,
        "e1": int(md5, 16).to_bytes(256, "little"),
        "sha1": signature("sha1", "other.txt"), "sha256": signature("sha256"), "sha384": signature("sha384"),
        "sha512": signature("sha512"), "random": random.Random(22).randbytes(255) + b"\0",
        "longer": s + bytes(4), "plus-2n": (int.from_bytes(s, "little") + 2 * n).to_bytes(257, "little"),
        "plus-n": (int.from_bytes(s, "little") + n).to_bytes(260, "little"), "cut": s[:100],
        "s.tiny": bytes(32),
    }
    for name, content in files.items():
        write(name, content)
    rows = [  # key, signature, file or --digest, exit (plain verify's too), codes, phrase
        ("k.blob", "s", ["doc.txt"], 0, ["valid"], "valid PKCS #1 v1.5 signature of this file's MD5"),
        ("private.blob", "s", ["doc.txt"], 0, ["private_blob", "valid"], "its public part"),
        ("e3.blob", "forged", ["forged.txt"], 0, ["small_exponent", "not_pkcs1"], "it is forged"),
        ("e1.blob", "e1", ["doc.txt"], 0, ["small_exponent", "not_pkcs1"], "exponent is 1"),
        ("k.blob", "other", ["doc.txt"], 1, ["other_message"],
         hashlib.md5(b"another document\n").hexdigest() + ", this file's digest is " + md5),
        ("k.blob", "sha1", ["doc.txt"], 1, ["other_hash"], "with SHA-1, not MD5; it signs another message"),
        ("k.blob", "sha256", ["doc.txt"], 1, ["other_hash"], "it signs this file's SHA-256 digest"),
        ("k.blob", "sha384", ["doc.txt"], 1, ["other_hash"], "it signs this file's SHA-384 digest"),
        ("k.blob", "sha512", ["--digest", md5], 1, ["other_hash"], "SHA-512, not MD5; whether it signs the file "
         "cannot be told"),
        ("k.blob", "s.big", ["doc.txt"], 1, ["byte_order", "valid"], "Give --byte-order big"),
        ("k.blob", "s", ["--byte-order", "big", "doc.txt"], 1, ["byte_order", "valid"], "Drop --byte-order big"),
        ("k.blob", "random", ["doc.txt"], 1, ["no_structure"], "another key, or it is damaged"),
        ("2047.blob", "s", ["doc.txt"], 2,
         ["bitlen_partial_word", "signature_longer", "signature_not_below", "no_structure"], "drops the partial word"),
        ("short.blob", "s", ["doc.txt"], 2, ["blob_short", "signature_wide", "signature_not_below", "no_structure"],
         "it holds 224"),
        ("private-2047.blob", "s", ["doc.txt"], 2,
         ["private_blob", "bitlen_partial_word", "signature_longer", "signature_not_below", "no_structure"], "public"),
        ("even.blob", "s", ["doc.txt"], 2, ["key_not_rsa"], "is even"),
        ("even.pem", "s", ["doc.txt"], 2, ["key_not_rsa"], "is even"),
        ("other.txt", "s", ["doc.txt"], 2, ["key_malformed"], "not a key file"),
        ("e0.blob", "s", ["doc.txt"], 2, ["key_not_rsa"], "exponent is 0"),
        ("e0.pem", "s", ["doc.txt"], 2, ["key_not_rsa"], "exponent is 0"),
        ("n0.der", "s", ["doc.txt"], 2, ["key_not_rsa", "signature_longer"], "is zero"),
        ("tiny.blob", "s", ["doc.txt"], 2, ["key_too_small", "signature_longer"], "has 256 bits"),
        ("tiny.blob", "s.tiny", ["doc.txt"], 1, ["key_too_small"], "verify checks it"),
        ("huge.blob", "s", ["doc.txt"], 2, ["key_too_large", "signature_shorter"], "16409 bits"),
        ("k.blob", "cut", ["doc.txt"], 2, ["signature_shorter", "no_structure"], "100 bytes, the modulus 256"),
        ("k.blob", "longer", ["doc.txt"], 2, ["signature_longer", "valid"], "the extra bytes are zero"),
        ("k.blob", "plus-2n", ["doc.txt"], 2, ["signature_longer", "signature_not_below", "valid_modulo_n"],
         "modulo n"),
        ("wide.blob", "plus-n", ["doc.txt"], 0, ["signature_wide", "signature_not_below", "valid_modulo_n"],
         "RFC 8017 refuses"),
        ("wide.blob", "plus-n", ["--strict", "doc.txt"], 1,
         ["signature_wide", "signature_not_below", "valid_modulo_n"], "RFC 8017 refuses"),
        ("e3.blob", "forged", ["--strict", "forged.txt"], 1, ["small_exponent", "not_pkcs1"], "it is forged"),
    ]
    verdicts = {0: "Verified OK", 1: "Verification failure", 2: "Not checked"}
    strict_mismatch = "Accepted by the library, but not a valid PKCS #1 v1.5 signature"
    answers = {0: "ok", 1: "failure", 2: "refused"}
    for key, sig, rest, code, codes, phrase in rows:
        args = ["verify", "--key", key, "--sig", sig] + rest
        what = "explain %s %s %s" % (key, sig, rest)
        rc, out, err = tool(*args, "--json")
        parsed = json_object(out)
        findings = [(finding["code"], finding["message"]) for finding in parsed.get("findings", [])]
        check(rc == code and [found for found, _ in findings] == codes, "%s: exit %d, %s %r" % (what, rc, out, err))
        # The JSON says what verify answers (and verify --strict, when asked),
        # and names the refusal among the findings.
        answer = {"verify": answers[code]}
        if "--strict" in rest:
            answer = {"verify": answers[tool(*[arg for arg in args if arg != "--strict"])[0]], "strict": answers[code]}
        refused = (parsed.get("refusal") or {}).get("code")
        check({name: parsed[name] for name in ["verify", "strict"] if name in parsed} == answer and
              (refused in codes if code == 2 else "refusal" not in parsed), what + ": verify's answer in JSON %r" % out)
        rc, text, _ = tool(*args, "--explain")
        lines = text.decode().splitlines()
        print("\n".join(["$ zqcrypt " + " ".join(args) + " --explain"] + lines))
        verdict = strict_mismatch if code == 1 and "--strict" in rest else verdicts[code]
        check(rc == code and lines[:1] and lines[0].startswith(verdict), what + ": the verdict")
        check(lines[1:] == [message for _, message in findings] and phrase in text.decode(), what + ": the text")
        check("fine" not in text.decode() or codes == ["private_blob", "valid"], what + ": a flagged key is no fine one")
        check(tool(*args)[0] == code, what + ": plain verify's exit status")
    if not tool.wine and not sanitized(tool):
        # A blob whose bit length calls for half a gigabyte it does not hold:
        # the JSON comes in an address space of 256 MiB.
        write("vast.blob", blob[:12] + (0xFFFFFFE0).to_bytes(4, "little") + blob[16:])
        rc, out, err = tool("verify", "--key", "vast.blob", "--sig", "s", "--json", "doc.txt",
                            preexec_fn=limited(resource.RLIMIT_AS, 256 << 20))
        check(rc == 2 and (json_object(out).get("refusal") or {}).get("code") == "key_too_large",
              "explain --json: a vast key blob in 256 MiB: exit %d, %r %r" % (rc, out, err))
    if not tool.wine:
        # File names that JSON must escape, and names that are no UTF-8
        # (Latin-1, a broken sequence, a surrogate, a code point above
        # U+10FFFF): the output is UTF-8, with U+FFFD as Python decodes them.
        for odd in ['a "b" \\c\n\x01\x7f.txt', "café ☃.txt", b"caf\xe9.txt", b"\xff\xfe.txt",
                    b"\xe2\x82(\xed\xa0\x80\xf4\x90\x80\x80\xc0\xaf.txt"]:
            write(odd, open("doc.txt", "rb").read())
            name = odd.decode("utf-8", "replace") if isinstance(odd, bytes) else odd
            rc, out, _ = tool("verify", "--key", "k.blob", "--sig", "s", "--json", odd)
            try:
                parsed = json.loads(out.decode("utf-8"))
            except ValueError:
                parsed = {}
            check(rc == 0 and parsed.get("file") == name, "explain --json: the file name %r as UTF-8: %r" % (odd, out))


# ---- bad input -------------------------------------------------------------

def bad_input_table(tool, folder):
    os.chdir(folder)
    openssl("genrsa", "-out", "k.pem", "2048")
    blob = openssl("rsa", "-in", "k.pem", "-pubout", "-outform", "MSBLOB")
    private_blob = openssl("rsa", "-in", "k.pem", "-outform", "MSBLOB")
    pem = open("k.pem", "rb").read()
    files = {
        "doc.txt": b"text\n", "empty": b"", "k.blob": blob, "cut.blob": blob[:-1],
        "private.blob": private_blob,
        "odd.blob": blob[:12] + (2047).to_bytes(4, "little") + blob[16:],
        "sig": b"\1" * 256, "short.sig": b"\1" * 255, "long.sig": b"\1" * 257,
        "corrupt.pem": pem[:200] + b"*" + pem[201:], "bad.b64": b"YWJj\r\nYW*j\r\n",
    }
    for name, content in files.items():
        write(name, content)
    os.mkdir("folder")
    verify = ["verify", "--key", "k.blob", "--sig", "sig"]
    cases = [
        ["md5", "absent"], ["md5", "folder"], ["md5", "-c", "absent"], ["md5", "--quiet", "doc.txt"],
        ["md5", "-c", "-o", "x", "doc.txt"], ["base64", "absent"], ["base64", "folder"],
        ["base64", "a", "b"], ["base64", "-d", "bad.b64"], ["base64", "-d", "-o", "out", "bad.b64"],
        ["base64", "-o", "absent/out", "doc.txt"], ["base64", "-o", "doc.txt/out", "doc.txt"],
        verify + ["absent"], verify + ["folder"], verify[:4] + ["empty", "doc.txt"],
        verify[:4] + ["short.sig", "doc.txt"], verify[:4] + ["long.sig", "doc.txt"],
        ["verify", "--key", "private.blob", "--sig", "long.sig", "doc.txt"],
        ["verify", "--key", "empty", "--sig", "sig", "doc.txt"],
        ["verify", "--key", "cut.blob", "--sig", "sig", "doc.txt"],
        ["verify", "--key", "odd.blob", "--sig", "sig", "doc.txt"],
        ["verify", "--key", "corrupt.pem", "--sig", "sig", "doc.txt"],
        verify + ["--digest", "00", "doc.txt"], verify + ["--digest", "xyz"], verify,
        verify + ["--byte-order", "middle", "doc.txt"], ["verify", "--sig", "sig", "doc.txt"],
        [], ["frobnicate"], ["md5", "--frobnicate"], ["base64", "-o"],
        ["keygen", "-o", "absent/key.pem"], ["pubkey", "corrupt.pem"], ["pubkey", "doc.txt"],
        ["sign", "--key", "k.blob", "doc.txt"], ["sign", "--key", "k.pem", "absent"],
        ["sign", "--key", "k.pem", "-o", "absent/sig", "doc.txt"],
    ]
    openssl("genpkey", "-algorithm", "ed25519", "-out", "ed.pem")
    cases += [["pubkey", "ed.pem"], ["sign", "--key", "ed.pem", "doc.txt"],
              ["verify", "--key", "ed.pem", "--sig", "sig", "doc.txt"]]
    if os.geteuid() != 0:
        os.mkdir("locked", 0o555)
        cases += [["base64", "-o", "locked/out", "doc.txt"], ["md5", "-o", "locked/out", "doc.txt"]]
    for name in ["md5", "base64", "keygen", "pubkey", "sign", "verify"]:
        rc, out, _ = tool(name, "--help")
        check(rc == 0 and out.startswith(b"Usage: zqcrypt " + name.encode() + b" "), "%s --help" % name)
    before = sorted(os.listdir("."))
    for args in cases:
        rc, out, err = tool(*args)
        # "md5 absent" and "md5 -c absent" also print what md5sum prints.
        check(rc == 2 and one_error_line(err), "%s: exit %d, stderr %r" % (args, rc, err))
        check(sorted(os.listdir(".")) == before, "%s leaves nothing behind" % args)
    # Standard input is one input only: the second reader would find it empty.
    # On POSIX its names (/dev/stdin, /dev/fd/0) are standard input too.
    stdin_cases = [(["--key", "k.blob", "--sig", "-", "-"], files["sig"]), (["--key", "-", "--sig", "sig", "-"], blob)]
    if not tool.wine:
        stdin_cases += [(["--key", "k.blob", "--sig", "/dev/stdin", "-"], files["sig"]),
                        (["--key", "/dev/fd/0", "--sig", "sig", "-"], blob)]
    for args, stdin in stdin_cases:
        rc, out, err = tool("verify", *args, stdin=stdin)
        check(rc == 2 and out == b"" and one_error_line(err), "verify %s: exit %d, stderr %r" % (args, rc, err))
    if tool.surrogate and not os.path.exists(tool.surrogate):
        print("skipped: a lone surrogate in a name (%s not built)" % tool.surrogate)
    elif tool.surrogate:
        # A lone surrogate is no character: its name is refused, not taken
        # for another (U+FFFD in its place).
        windows_tool = "Z:" + tool.prefix[-1].replace("/", "\\")
        rc, _, err = run(["wine", tool.surrogate, windows_tool, "md5", "-o", "x{D800}.txt", "doc.txt"])
        check(rc == 2 and one_error_line(err) and b"not valid UTF-16" in err and sorted(os.listdir(".")) == before,
              "a lone surrogate in a name: exit %d, stderr %r" % (rc, err))
    if not tool.wine:
        # A run that a signal ends leaves neither its target nor its
        # temporary file.
        child = subprocess.Popen(tool.prefix + ["base64", "-o", "signalled"], stdin=subprocess.PIPE)
        child.stdin.write(b"x" * 1000)
        child.stdin.flush()
        for _ in range(500):
            if sorted(os.listdir(".")) != before:
                break
            time.sleep(0.01)
        started = sorted(os.listdir(".")) != before
        child.terminate()
        child.wait()
        check(started and child.returncode == -signal.SIGTERM and sorted(os.listdir(".")) == before,
              "a signal leaves nothing behind")


# ---- output: -o targets, and outputs that fail ------------------------------

def limited(kind, size):
    """A preexec_fn that sets the resource limit `kind` to `size`."""
    return lambda: resource.setrlimit(kind, (size, size))


def sanitized(tool):
    """A sanitizer's build, whose shadow memory needs an address space that
    no limit leaves."""
    return any(name in open(tool.prefix[-1], "rb").read() for name in [b"__asan_init", b"__tsan_init"])


def key_blob(modulus):
    """A PUBLICKEYBLOB (e = 65537) of the little-endian `modulus` bytes."""
    header = bytes([6, 2, 0, 0, 0, 0xA4, 0, 0]) + b"RSA1"
    return header + (8 * len(modulus)).to_bytes(4, "little") + (65537).to_bytes(4, "little") + modulus


def as_nobody(tool):
    """The command prefix that runs the tool as nobody, or None."""
    for prefix in [["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"],
                   ["runuser", "-u", "nobody", "--"]]:
        try:
            if run(prefix + tool.prefix + ["--version"])[0] == 0:
                return prefix
        except OSError:
            pass
    return None


def output_table(tool, folder):
    os.chdir(folder)
    os.chmod(folder, 0o711)  # nobody reaches open/ below
    write("doc.txt", b"text\n")
    line = run(["md5sum", "doc.txt"])[1]
    with open("list", "wb") as file:
        file.write(line * 2000)  # 24 KB of "doc.txt: OK" lines
    write("mismatch", b"0" * 32 + b"  doc.txt\n")
    for name, modulus in [("zero.blob", bytes(256)), ("even.blob", bytes(255) + b"\xc1"),
                          ("odd.blob", b"\1" + bytes(254) + b"\xc1")]:
        write(name, key_blob(modulus))
    write("sig", b"\1" * 256)

    def fails_once(result, what):
        check(result[0] == 2 and one_error_line(result[2]), "%s: exit %d, stderr %r" % (what, result[0], result[2]))

    # Checked before any work: 'absent' is never read.
    fails_once(tool("md5", "-o", "", "doc.txt"), "-o ''")
    os.mkdir("dir")
    result = tool("md5", "-o", "dir", "absent")
    fails_once(result, "-o a directory")
    check(result[2].startswith(b"zqcrypt: dir: "), "-o a directory fails before any work")
    for blob in ["zero.blob", "even.blob"]:
        fails_once(tool("verify", "--key", blob, "--sig", "sig", "--digest", "0" * 32), "verify --key " + blob)
    rc, out, _ = tool("verify", "--key", "odd.blob", "--sig", "sig", "--digest", "0" * 32)
    check(rc == 1 and out == b"Verification failure\n", "verify with an odd modulus")
    fails_once(tool("md5", "-c", "list", preexec_fn=lambda: os.close(1)), "closed stdout")
    # A replaced file keeps its permissions. Wine shows a Windows file's DACL
    # as mode bits in its own mapping (the owner's bits given to the group,
    # read with execute), whose read and write bits for others stand alone.
    shown = 0o006 if tool.wine else 0o777
    for mode in [0o600, 0o604]:
        write("kept", b"old\n")
        os.chmod("kept", mode)
        rc = tool("md5", "-o", "kept", "doc.txt")[0]
        got = os.stat("kept").st_mode & shown
        check(rc == 0 and got == mode & shown, "-o a %o file keeps its mode: %o" % (mode, got))
    # The longest name a folder takes: the temporary name beside it is cut to fit.
    longest = "é" * 127 + "n"
    rc = tool("md5", "-o", longest, "doc.txt")[0]
    check(rc == 0 and open(longest, "rb").read() == line and
          [name for name in os.listdir(".") if name.startswith("éé")] == [longest], "-o a 255-byte name")
    if tool.wine:
        return

    # Targets that are not regular files are written directly; a link is
    # written through; a replaced file keeps its mode (and owner, for root).
    os.mkfifo("fifo")
    reader = os.open("fifo", os.O_RDONLY | os.O_NONBLOCK)
    rc = tool("md5", "-o", "fifo", "doc.txt")[0]
    try:
        got = os.read(reader, 4096)
    except BlockingIOError:
        got = b""
    os.close(reader)
    check(rc == 0 and got == line and stat.S_ISFIFO(os.lstat("fifo").st_mode), "-o a FIFO")
    try:
        os.mknod("null", stat.S_IFCHR | 0o666, os.stat(os.devnull).st_rdev)
        rc = tool("md5", "-o", "null", "doc.txt")[0]
        check(rc == 0 and stat.S_ISCHR(os.lstat("null").st_mode), "-o a character device")
    except PermissionError:
        print("skipped: -o a character device (mknod not permitted)")
    write("real", b"old\n")
    os.symlink("real", "link")
    before = os.stat("real").st_ino
    rc = tool("md5", "-o", "link", "doc.txt")[0]
    check(rc == 0 and os.path.islink("link") and open("real", "rb").read() == line, "-o a symbolic link")
    check(os.stat("real").st_ino != before, "-o a symbolic link: its target renamed into place when complete")
    # The tool's own standard output by another name is written through the
    # shell's descriptor: appended to, and followed by what the shell writes.
    write("appended", b"before\n")
    script = '{ "$@" md5 -o /dev/stdout doc.txt && echo after; } >> appended'
    rc = run(["sh", "-c", script, "sh"] + tool.prefix)[0]
    check(rc == 0 and open("appended", "rb").read() == b"before\n" + line + b"after\n", "-o /dev/stdout")
    write("private", b"old\n")
    os.chmod("private", 0o600)
    owner = (65534, 65534) if os.geteuid() == 0 else (os.getuid(), os.getgid())
    os.chown("private", *owner)
    rc = tool("md5", "-o", "private", "doc.txt")[0]
    status = os.stat("private")
    check(rc == 0 and status.st_mode & 0o777 == 0o600 and (status.st_uid, status.st_gid) == owner,
          "-o a 0600 file keeps its mode and owner")

    # A read-only file of the user's own is refused, though its folder is
    # writable.
    prefix = [] if os.geteuid() != 0 else as_nobody(tool)
    if prefix is None:
        print("skipped: -o a read-only file (no way to run as nobody)")
    else:
        os.mkdir("open", 0o777)
        os.chmod("open", 0o777)
        write("open/ro", b"old\n")
        os.chmod("open/ro", 0o444)
        os.chown("open/ro", *owner)
        fails_once(run(prefix + tool.prefix + ["md5", "-o", "open/ro", "doc.txt"]), "-o a read-only file")
        check(open("open/ro", "rb").read() == b"old\n", "a read-only file is left alone")

    # Limits and lost output end with exit 2, one line, no temporary file.
    write("data", bytes(20000))
    fails_once(tool("base64", "-o", "big.txt", "data", preexec_fn=limited(resource.RLIMIT_FSIZE, 8192)),
               "a file-size limit")
    check(not [name for name in os.listdir(".") if name.startswith("big.txt")], "a file-size limit leaves nothing")
    with open("/dev/full", "wb") as full:
        done = subprocess.run(tool.prefix + ["md5", "-c", "mismatch"], stdout=full, stderr=subprocess.PIPE)
    check(done.returncode == 2 and done.stderr.endswith(b"zqcrypt: standard output: No space left on device\n"),
          "/dev/full as stdout: exit %d, stderr %r" % (done.returncode, done.stderr))
    reader, writer = os.pipe()
    fcntl.fcntl(writer, fcntl.F_SETPIPE_SZ, 4096)
    fcntl.fcntl(writer, fcntl.F_SETFL, fcntl.fcntl(writer, fcntl.F_GETFL) | os.O_NONBLOCK)
    done = subprocess.run(tool.prefix + ["md5", "-c", "list"], stdout=writer, stderr=subprocess.PIPE)
    os.close(writer)
    os.close(reader)
    fails_once((done.returncode, b"", done.stderr), "non-blocking stdout nobody reads")
    if sanitized(tool):
        print("skipped: an exhausted heap (a sanitizer's shadow memory needs no address-space limit)")
    elif tool.emulator:
        print("skipped: an exhausted heap (an address-space limit bounds the emulator, whose own "
              "memory fails first)")
    else:
        fails_once(tool("md5", "-c", "-", stdin=b"a" * (40 << 20), preexec_fn=limited(resource.RLIMIT_AS, 48 << 20)),
                   "an exhausted heap")
        # Just above the least address space the program loads in (below it
        # the loader fails, 127), every allocation may fail, even the
        # exception's: each run still ends with 2 and one line.
        low, high = 1 << 20, 256 << 20
        while high - low > 4096:
            middle = (low + high) // 2
            loads = tool("--version", preexec_fn=limited(resource.RLIMIT_AS, middle))[0] != 127
            low, high = (low, middle) if loads else (middle, high)
        for limit in range(high, high + (256 << 10), 16 << 10):
            result = tool("keygen", "--bits", "2048", "-o", "starved.pem", preexec_fn=limited(resource.RLIMIT_AS, limit))
            check(result[0] == 0 or (result[0] == 2 and one_error_line(result[2])),
                  "keygen in %d bytes: exit %d, stderr %r" % (limit, result[0], result[2]))


# ---- a file beyond 4 GiB (opt-in: hashing it takes a while) ---------------

def peak_memory(command, folder):
    """The exit status, output and largest resident size (KiB) of one run."""
    with open(os.path.join(folder, "out"), "w+b") as out:
        child = subprocess.Popen(command, stdout=out)
        _, status, usage = os.wait4(child.pid, 0)
        out.seek(0)
        return os.waitstatus_to_exitcode(status), out.read(), usage.ru_maxrss


def large_file_table(tool, folder):
    """A sparse file of 4 GiB and a bit, with data at both ends, hashed in
    the memory that hashing a small file takes (the libraries loaded), give
    or take a megabyte."""
    path = os.path.join(folder, "large.bin")
    with open(path, "wb") as file:
        file.write(b"head" * 1000)
        file.seek((1 << 32) + 12345)
        file.write(b"tail" * 1000)
    rc, out, peak = peak_memory(tool.prefix + ["md5", path], folder)
    check(rc == 0 and out == run(["md5sum", path])[1], "md5 of a file beyond 4 GiB")
    _, _, small_peak = peak_memory(tool.prefix + ["md5", os.devnull], folder)
    print("largest resident size: %d KiB beyond 4 GiB, %d KiB for an empty file" % (peak, small_peak))
    if not tool.wine:
        check(peak < small_peak + 1024, "md5 of a file beyond 4 GiB in %d KiB (%d KiB for an empty one)"
              % (peak, small_peak))


# ---- progress: the line on a terminal ----------------------------------------

def screen(stderr):
    """The lines a terminal shows after `stderr`, trailing blanks dropped.
    Wine's console adds escape sequences: cursor shown and hidden, erase to
    the end of the line (ESC [K), cursor right (ESC [nC)."""
    lines, column = [[]], 0
    for match in re.finditer(rb"\x1b\[\?25[lh]|\x1b\[K|\x1b\[(\d*)C|[\s\S]", stderr):
        token, line = match.group(0), lines[-1]
        if token == b"\r":
            column = 0
        elif token == b"\n":
            lines.append([])
            column = 0
        elif token == b"\x1b[K":
            del line[column:]
        elif token.endswith(b"C"):
            column += int(match.group(1) or 1)
        elif not token.startswith(b"\x1b"):
            line.extend([b" "] * (column + 1 - len(line)))
            line[column] = token
            column += 1
    return [b"".join(line).rstrip() for line in lines]


def slow_run(tool, args, pieces, terminal, cwd):
    """Runs the tool with `pieces` fed to its stdin a fifth of a second
    apart, and stderr on a pseudo-terminal (`terminal`) or a file."""
    master, slave = os.openpty() if terminal else (None, None)
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        child = subprocess.Popen(tool.prefix + args, stdin=subprocess.PIPE, stdout=out,
                                 stderr=slave if terminal else err, cwd=cwd)

        def feed():
            try:
                for number, piece in enumerate(pieces):
                    time.sleep(0.2 if number else 0)
                    child.stdin.write(piece)
                    child.stdin.flush()
                child.stdin.close()
            except BrokenPipeError:
                pass
        feeder = threading.Thread(target=feed)
        feeder.start()
        shown = b""
        if terminal:
            os.close(slave)
            # Read until every holder of the slave has closed it, or for a
            # second more after the tool's end.
            while True:
                if not select.select([master], [], [], 1)[0]:
                    if child.poll() is not None:
                        break
                    continue
                try:
                    chunk = os.read(master, 65536)
                except OSError:
                    break
                if not chunk:
                    break
                shown += chunk
            os.close(master)
        child.wait(timeout=300)
        feeder.join()
        out.seek(0)
        err.seek(0)
        return child.returncode, out.read(), shown if terminal else err.read()


def progress_table(tool, folder):
    """md5, md5 -c and base64 over an input fed for two seconds: the line
    shows on a terminal, erased at the end, and the output is exact; never
    on a file, nor with --no-progress, nor for an input read at once;
    --progress shows it anywhere. Wine's console follows a Unix terminal on
    stderr, so the same rows run there."""
    os.chdir(folder)
    pieces = [random.Random(piece).randbytes(48 * 4096) for piece in range(10)]
    data = b"".join(pieces)
    digest = run(["md5sum"], data)[1]
    text = library_layout(run(["base64", "-w", "64"], data)[1])
    write("list", digest)  # names "-": standard input
    line = rb"'standard input': [\d.]+ (B|KiB|MiB), [\d.]+ (B|KiB|MiB)/s"
    slow, at_once = pieces, [data]
    rows = [(["md5"], slow, True, digest, True), (["md5", "-c", "list"], slow, True, b"-: OK\n", True),
            (["base64"], slow, True, text, True), (["md5", "--no-progress"], slow, True, digest, False),
            (["md5"], at_once, True, digest, False), (["md5"], slow, False, digest, False),
            (["base64", "--progress"], slow, False, text, True)]
    for args, fed, terminal, expected, shown in rows:
        what = "%s, %s, stderr on a %s" % (args, "slow" if fed is slow else "at once",
                                          "terminal" if terminal else "file")
        rc, out, err = slow_run(tool, args, fed, terminal, folder)
        check(rc == 0 and out == expected, what + ": exit %d, output exact" % rc)
        plain = re.sub(rb"\x1b\[[?\d]*[A-Za-z]", b"", err)
        if shown:
            check(re.search(line, plain) is not None and screen(err) == [b""],
                  what + ": a line, erased at the end: %r" % err[:200])
        else:
            check(err == b"", what + ": no line: %r" % err[:200])

    # A known size, from the start; an error erases the line before it is
    # reported.
    write("data", data)
    rc, out, err = tool("md5", "--progress", "data")
    shown = re.search(rb"\rdata: [\d.]+ KiB of 1\.9 MiB \(\d+%\)", err) is not None
    check(rc == 0 and out == digest.replace(b"-", b"data") and shown and screen(err) == [b""],
          "md5 --progress of a file: %r" % err[:200])
    write("bad.b64", text[:-100] + b"*" + text[-100:])
    rc, out, err = tool("base64", "-d", "--progress", "bad.b64")
    check(rc == 2 and b"\r" in err and one_error_line(b"\n".join(screen(err))),
          "an error on a clean line: %r" % err[-200:])


TABLES = {"md5": md5_table, "base64": base64_table, "keys": keys_table,
          "signatures": signature_table, "explain": explain_table, "bad-input": bad_input_table,
          "output": output_table, "progress": progress_table, "large-file": large_file_table}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--wine", action="store_true")
    parser.add_argument("--emulator", help="the program that runs a tool built for another processor")
    parser.add_argument("--peer-tool", help="the other platform's tool, whose signatures must be the same "
                        "(when it exists)")
    parser.add_argument("--lone-surrogate", help="the Windows program that hands the tool a lone surrogate")
    parser.add_argument("table", choices=sorted(TABLES))
    options = parser.parse_args()
    if options.wine:
        os.environ.update(WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        # A Wine server that outlives each run by 30 seconds makes a run of
        # the tool take a tenth of the time; it then ends by itself.
        # Its output goes nowhere: a server it starts keeps whatever it inherits
        # open for its whole life.
        subprocess.run(["wineserver", "-p30"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    peer = None
    if options.peer_tool and os.path.exists(options.peer_tool):
        peer = Tool(os.path.abspath(options.peer_tool), False)
    elif options.peer_tool:
        print("no peer tool at %s: signatures are compared with OpenSSL's only" % options.peer_tool)
    surrogate = os.path.abspath(options.lone_surrogate) if options.lone_surrogate else None
    tool = Tool(os.path.abspath(options.tool), options.wine, peer, surrogate, options.emulator)
    with tempfile.TemporaryDirectory() as folder:
        TABLES[options.table](tool, folder)
        os.chdir("/")
    print("%s: %d failure(s)" % (options.table, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
