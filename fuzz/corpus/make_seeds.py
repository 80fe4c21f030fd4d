#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets, one folder per target (fuzz/corpus/<target>/).

Run from anywhere: python3 fuzz/corpus/make_seeds.py. The seeds are small valid inputs: PNG files of
several sizes, colour types and bit depths; heart-rate notifications and Kelo history frames from the
example recordings; Ravo packets; record JSON taken from the test suites; keyed archives; strings
tables; date texts for each pattern and zone; server replies; credential items; OAuth token replies,
redirects and stored tokens; firmware packages; a firmware target's answers through whole transfers;
user-defaults and keychain files as found on disk; Fitbit sleep lists.
Inputs that once made a target fail are kept beside the seeds under names starting with "crash-" and
are never rewritten here.
"""
import io
import json
import re
import struct
import zipfile
import zlib
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
CORPUS = ROOT / "fuzz" / "corpus"


def write(target, name, data):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    if isinstance(data, str):
        data = data.encode()
    (folder / name).write_bytes(data)


def clear(target):
    folder = CORPUS / target
    if folder.is_dir():
        for f in folder.iterdir():
            if not f.name.startswith("crash-"):
                f.unlink()


# ---- PNG ----------------------------------------------------------------------------------------

def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def channels(colour):
    return {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour]


def sample(x, y, c, depth, colour):
    limit = 16 if colour == 3 else 1 << depth  # palette indices stay within the 16 colours
    return (x * 37 + y * 101 + c * 53) % min(limit, 1 << depth)


def pack_row(width, y, colour, depth):
    return pack_values([sample(x, y, c, depth, colour) for x in range(width) for c in range(channels(colour))], depth)


def filtered(rows, kind, bpp):
    """Rows with one filter byte each; kind cycles 0..4 when None."""
    out, previous = bytearray(), None
    for index, row in enumerate(rows):
        f = index % 5 if kind is None else kind
        prior = previous or bytes(len(row))
        line = bytearray()
        for i, v in enumerate(row):
            a = row[i - bpp] if i >= bpp else 0
            b = prior[i]
            c = prior[i - bpp] if i >= bpp else 0
            if f == 0:
                p = 0
            elif f == 1:
                p = a
            elif f == 2:
                p = b
            elif f == 3:
                p = (a + b) // 2
            else:
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                p = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
            line.append((v - p) & 0xFF)
        out.append(f)
        out += line
        previous = row
    return bytes(out)


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def png(width, height, colour, depth, interlace=False, filter_kind=None, extra=b""):
    bpp = max(1, channels(colour) * depth // 8)
    if not interlace:
        rows = [pack_row(width, y, colour, depth) for y in range(height)]
        data = filtered(rows, filter_kind, bpp)
    else:
        data = b""
        for x0, y0, dx, dy in ADAM7:
            xs = list(range(x0, width, dx))
            ys = list(range(y0, height, dy))
            if not xs or not ys:
                continue
            rows = []
            for y in ys:
                full = [sample(x, y, c, depth, colour) for x in xs for c in range(channels(colour))]
                rows.append(pack_values(full, depth))
            data += filtered(rows, filter_kind, bpp)
    ihdr = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, 1 if interlace else 0)
    body = chunk(b"IHDR", ihdr) + extra
    return b"\x89PNG\r\n\x1a\n" + body + chunk(b"IDAT", zlib.compress(data, 9)) + chunk(b"IEND", b"")


def pack_values(values, depth):
    if depth == 16:
        return b"".join(struct.pack(">H", v) for v in values)
    if depth == 8:
        return bytes(values)
    out, bits, acc = bytearray(), 0, 0
    for v in values:
        acc = (acc << depth) | v
        bits += depth
        if bits == 8:
            out.append(acc)
            bits, acc = 0, 0
    if bits:
        out.append(acc << (8 - bits))
    return bytes(out)


def png_seeds():
    clear("fuzz_png")
    palette = chunk(b"PLTE", bytes(v for i in range(16) for v in (i * 16, 255 - i * 16, (i * 40) % 256)))
    transparency = chunk(b"tRNS", bytes(range(0, 256, 32)))
    gray_key = chunk(b"tRNS", struct.pack(">H", 3))
    gamma = chunk(b"gAMA", struct.pack(">I", 45455))
    text = chunk(b"tEXt", b"Comment\x00TalvarenKit seed")
    seeds = {
        "rgba8_1x1.png": png(1, 1, 6, 8),
        "rgba8_16x16_filters.png": png(16, 16, 6, 8),
        "rgba16_5x3.png": png(5, 3, 6, 16, filter_kind=4),
        "rgb8_7x5_paeth.png": png(7, 5, 2, 8, filter_kind=4, extra=gamma),
        "rgb16_3x3.png": png(3, 3, 2, 16, filter_kind=1),
        "gray1_17x3.png": png(17, 3, 0, 1),
        "gray2_9x4.png": png(9, 4, 0, 2, extra=text),
        "gray4_6x6_key.png": png(6, 6, 0, 4, extra=gray_key),
        "gray8_32x2.png": png(32, 2, 0, 8, filter_kind=3),
        "gray16_4x4.png": png(4, 4, 0, 16, filter_kind=2),
        "grayalpha8_8x8.png": png(8, 8, 4, 8),
        "grayalpha16_2x5.png": png(2, 5, 4, 16),
        "palette4_10x10_trns.png": png(10, 10, 3, 4, extra=palette + transparency),
        "palette8_12x3.png": png(12, 3, 3, 8, extra=palette),
        "palette1_9x2.png": png(9, 2, 3, 1, extra=palette),
        "rgba8_9x9_interlaced.png": png(9, 9, 6, 8, interlace=True),
        "gray2_11x7_interlaced.png": png(11, 7, 0, 2, interlace=True),
        "palette8_5x6_interlaced.png": png(5, 6, 3, 8, interlace=True, extra=palette),
    }
    for name, data in seeds.items():
        write("fuzz_png", name, data)


# ---- strap frames -------------------------------------------------------------------------------

def hex_lines(path):
    lines = []
    for line in path.read_text().splitlines():
        line = line.strip()
        if line and not line.startswith("#"):
            lines.append(bytes.fromhex(line))
    return lines


def length_prefixed(frames):
    return b"".join(bytes([len(f)]) + f for f in frames)


def strap_seeds():
    clear("fuzz_heart_rate_measurement")
    for index, value in enumerate(hex_lines(ROOT / "examples" / "heart_rate_notifications.hex")):
        write("fuzz_heart_rate_measurement", f"notification{index}.bin", value)

    clear("fuzz_kelo_history")
    frames = hex_lines(ROOT / "examples" / "kelo_history.hex")
    write("fuzz_kelo_history", "download.bin", length_prefixed(frames))
    write("fuzz_kelo_history", "message1.bin", length_prefixed(frames[:3]))
    write("fuzz_kelo_history", "message2.bin", length_prefixed(frames[3:4]))
    write("fuzz_kelo_history", "message3.bin", length_prefixed(frames[4:]))

    clear("fuzz_ravo_history")
    start = bytes([0x38, 0x01, 0x65, 0x53, 0xF1, 0x00, 0x48, 0x4A, 0x4C, 0xC0])
    more = bytes([0x48, 0x02, 0x50, 0x52, 0xEC])
    closing = bytes([0x58, 0x05, 0x5D])
    clock = bytes([0x12, 0x65, 0x53, 0xF1, 0x00, 0xBB])
    user = bytes(i * 10 for i in range(18))
    write("fuzz_ravo_history", "history.bin", length_prefixed([start, more, bytes([0x48, 0x03, 0xAA]), closing]))
    write("fuzz_ravo_history", "clock_and_user.bin", length_prefixed([clock, user]))
    write("fuzz_ravo_history", "other_closings.bin",
          length_prefixed([start, bytes([0x58, 0x01, 0x40, 0x41, 0x5D]), bytes([0x58, 0x07, 0x40, 0x41, 0x5D])]))

    # The connector's packet handlers get every frame on each channel; the first byte holds the mode flags
    # (1 sync, 2 set time, 4 device time).
    clear("fuzz_strap_packets")
    write("fuzz_strap_packets", "kelo_download_synching.bin", b"\x01" + length_prefixed(frames))
    write("fuzz_strap_packets", "ravo_history_every_mode.bin",
          b"\x07" + length_prefixed([clock, start, more, closing, user]))
    write("fuzz_strap_packets", "battery_and_version.bin", b"\x00" + length_prefixed([b"\x5a", b"2.4.1", b"\x00", b"1.0"]))


# ---- records ------------------------------------------------------------------------------------

RAW = re.compile(r'R"\((.*?)\)"', re.S)

RECORD_JSON_TESTS = {"CaloriesSDKTest.cpp", "HeartrateSDKTest.cpp", "WorkoutSDKTest.cpp"}
ACCOUNT_TESTS = {"ActivitySDKTest.cpp", "DeviceTest.cpp", "HRRecoveryTest.cpp", "HRVScoreTest.cpp",
                 "PreferencesDataTest.cpp", "RecoverySDKTest.cpp", "SleepSDKTest.cpp", "TrackTest.cpp",
                 "UserTest.cpp"}


def record_seeds():
    clear("fuzz_record_json")
    clear("fuzz_account_and_day_records")
    for test in sorted((ROOT / "tests").glob("*/*Test.cpp")):
        target = ("fuzz_record_json" if test.name in RECORD_JSON_TESTS
                  else "fuzz_account_and_day_records" if test.name in ACCOUNT_TESTS else None)
        if target is None:
            continue
        for index, text in enumerate(RAW.findall(test.read_text())):
            try:
                value = json.loads(text)
            except ValueError:
                continue
            if isinstance(value, (dict, list)) and value:
                write(target, f"{test.stem}{index}.json", text)


# ---- keyed archives -----------------------------------------------------------------------------

def archive_value(v):
    if v is None:
        return b"\x00"
    if v is False:
        return b"\x01"
    if v is True:
        return b"\x02"
    if isinstance(v, int):
        return b"\x03" + struct.pack(">q", v)
    if isinstance(v, float):
        return b"\x04" + struct.pack(">d", v)
    if isinstance(v, str):
        b = v.encode()
        return b"\x05" + struct.pack(">I", len(b)) + b
    if isinstance(v, bytes):
        return b"\x06" + struct.pack(">I", len(v)) + v
    if isinstance(v, tuple) and v[0] == "date":
        return b"\x07" + struct.pack(">d", v[1])
    if isinstance(v, list):
        return b"\x08" + struct.pack(">I", len(v)) + b"".join(archive_value(e) for e in v)
    if isinstance(v, dict):
        out = b"\x09" + struct.pack(">I", len(v))
        for key, e in v.items():
            k = key.encode()
            out += struct.pack(">I", len(k)) + k + archive_value(e)
        return out
    raise TypeError(v)


def archive(root):
    return b"TKAR\x01" + archive_value(root)


def archive_seeds():
    clear("fuzz_keyed_archive")
    workout = {"uuid": "w1", "owner": 7, "duration": 3600, "date": "2020-01-01", "created": ("date", 1577836800.0),
               "avg_hr": 124, "hr_data": [{"timestamp": 1796580000, "value": 88, "workout": "w1"},
                                          {"timestamp": 1796580002, "value": 92, "workout": "w1"}],
               "calories": 512.5, "synced": True, "notes": None, "raw": bytes([0, 1, 2, 255])}
    write("fuzz_keyed_archive", "workout.tkar", archive(workout))
    write("fuzz_keyed_archive", "every_kind.tkar",
          archive({"null": None, "false": False, "true": True, "int": -9, "double": 0.5, "text": "Kelo \u00fc",
                   "data": b"", "date": ("date", -1.5), "list": [1, [2.0, ["x"]], {}], "object": {"a": {"b": {}}}}))
    write("fuzz_keyed_archive", "list_root.tkar", archive([1, "two", 3.0, ("date", 0.0)]))
    write("fuzz_keyed_archive", "empty_object.tkar", archive({}))


# ---- strings tables -----------------------------------------------------------------------------

def strings_seeds():
    clear("fuzz_strings_table")
    write("fuzz_strings_table", "localizable.strings",
          '/* Workout screen */\n"Search" = "Suchen";   // trailing comment\n'
          '"quote \\"in\\" key" = "line\\nbreak\\ttab \\\\ back";\nunquoted_key = "value";\n"lone";\n'
          '"unicode" = "\\U00e9\\u20AC\\UD83D\\UDE00";\n"octal" = "\\101\\0102";\n')
    write("fuzz_strings_table", "utf8_bom.strings", "\ufeff\"k\" = \"v\";\n\"Start\" = \"Beginnen\";\n")
    utf16 = '"Heart rate" = "Herzfrequenz \u00fc\U0001F600";\n"Stop" = "Stopp";\n'
    write("fuzz_strings_table", "utf16le.strings", b"\xff\xfe" + utf16.encode("utf-16-le"))
    write("fuzz_strings_table", "utf16be.strings", b"\xfe\xff" + utf16.encode("utf-16-be"))


# ---- dates --------------------------------------------------------------------------------------

def date_seeds():
    clear("fuzz_date_formatter")
    texts = ["2026-12-07T12:44:37.123456+0000", "2020-03-29T02:30:00+0100", "2026-03-29", "2024-02-29 23:59:59",
             "12-07-2026 9:05 PM", "20261207124437", "07.12.26"]
    for pattern, text in enumerate(texts):
        for zone in range(4):
            if zone and pattern % 2:
                continue  # a few zones for each pattern are enough
            write("fuzz_date_formatter", f"pattern{pattern}_zone{zone}.txt", bytes([pattern * 4 + zone]) + text.encode())
    write("fuzz_date_formatter", "full_en.txt", bytes([7 * 4 + 1]) + b"Monday, December 7, 2026")
    write("fuzz_date_formatter", "full_de.txt", bytes([0x80 | 7 * 4 + 1]) + "Montag, 7. Dezember 2026".encode())


# ---- server replies -----------------------------------------------------------------------------

def reply(road, status, headers, body):
    code = status - 100
    return bytes([road, code >> 8, code & 0xFF]) + ("\n".join(headers) + "\n\n" + body).encode()


def server_reply_seeds():
    clear("fuzz_server_reply")
    write("fuzz_server_reply", "login.bin",
          reply(2, 200, ["Content-Type: application/json", "Set-Cookie: csrftoken=abc123; Path=/; SameSite=Lax",
                         "Set-Cookie: sessionid=xyz789; HttpOnly; Path=/"],
                '{"token": "t0k3n", "user": {"id": 7, "email": "a@example.test"}}'))
    write("fuzz_server_reply", "heartrates.bin",
          reply(0, 200, ["Content-Type: application/json"],
                '[{"timestamp": 1796580000, "value": 88, "workout": "w1"}, {"timestamp": 1796580002, "value": 92}]'))
    write("fuzz_server_reply", "unauthorised.bin",
          reply(0, 401, ["Content-Type: application/json"], '{"detail": "Invalid token."}'))
    write("fuzz_server_reply", "server_error_text.bin", reply(0, 500, ["Content-Type: text/html"], "<h1>Server Error</h1>"))
    write("fuzz_server_reply", "transport_error.bin", reply(1, 200, [], ""))


def wire_reply(road, head_lines, body):
    return bytes([road]) + ("".join(line + "\r\n" for line in head_lines) + "\r\n" + body).encode()


def http_reply_seeds():
    clear("fuzz_http_reply")
    # Road bits: 1 validate, 2 "Accept: application/json", 4 fragments allowed, 8 the login endpoint.
    write("fuzz_http_reply", "heartrates.bin",
          wire_reply(3, ["HTTP/1.1 200 OK", "Content-Type: application/json", "Content-Length: 62",
                         "Set-Cookie: csrftoken=abc123; Path=/; SameSite=Lax"],
                     '{"results":[{"uuid":"3f2a","bmp":72,"timestamp":1700000000}]}'))
    write("fuzz_http_reply", "unauthorised.bin",
          wire_reply(3, ["HTTP/1.1 401 Unauthorized", "Content-Type: application/json", "WWW-Authenticate: Token"],
                     '{"detail":"Invalid token."}'))
    write("fuzz_http_reply", "login_forbidden.bin",
          wire_reply(11, ["HTTP/1.1 403 Forbidden", "Content-Type: application/json"],
                     '{"detail":"CSRF Failed: CSRF token missing."}'))
    write("fuzz_http_reply", "no_content.bin", wire_reply(7, ["HTTP/1.1 204 No Content", "Server: nginx"], ""))
    write("fuzz_http_reply", "html_page.bin",
          wire_reply(3, ["HTTP/1.1 200 OK", "Content-Type: text/html; charset=utf-8"],
                     "<html><body>Maintenance</body></html>"))
    write("fuzz_http_reply", "continue_folded.bin",
          wire_reply(5, ["HTTP/1.1 100 Continue", "", "HTTP/1.1 201 Created", "Content-Type: application/json;",
                         " charset=utf-8", "Location: /heartrate/7/"], '"created"'))
    write("fuzz_http_reply", "gateway_timeout.bin",
          wire_reply(1, ["HTTP/1.1 504 Gateway Time-out", "Content-Type: text/plain"], "upstream timed out"))
    write("fuzz_http_reply", "not_http.bin", bytes([1]) + b"SSH-2.0-Talvaren_1.0\r\nProtocol mismatch.\n")


# ---- credential items ---------------------------------------------------------------------------

def credential_seeds():
    clear("fuzz_credential_items")
    items = {
        "token.json": {"token": "9944b09199c62bcf9418ad846dd0e4bbdfc6ee4b"},
        "token_with_login_reply.json": {"token": "t0k3n", "user_id": 7, "email": ["a@example.test"],
                                        "password1": ["This password is too short."]},
        "api_key.json": {"X-API-Key": "k3y-0123456789", "X-API-PublicId": "pub-42"},
        "api_key_with_user.json": {"X-API-Key": "k", "X-API-PublicId": "p", "user_id": -1, "email": []},
        "token_and_key.json": {"token": "t \"quoted\" \u00e9\n", "X-API-Key": "k", "X-API-PublicId": "\u20ac"},
    }
    for name, item in items.items():
        write("fuzz_credential_items", name, json.dumps(item, separators=(",", ":")))
    # The layout a person or another tool might leave: spaces, newlines, escapes.
    write("fuzz_credential_items", "token_pretty.json", '{\n  "token" : "a\\/b\\u0041",\n  "user_id" : 12\n}\n')


# ---- OAuth --------------------------------------------------------------------------------------

def oauth_seeds():
    clear("fuzz_oauth_credential")
    write("fuzz_oauth_credential", "token_pair.json", '{"oauth_token":"nnch734d00sl2jdk","oauth_token_secret":"pfkkdhi9sl3r4s00"}')
    write("fuzz_oauth_credential", "escapes.json", '{ "oauth_token" : "t\\u00e9\\n", "oauth_token_secret" : "" , "x": [1, null] }')

    clear("fuzz_oauth_token_reply")
    write("fuzz_oauth_token_reply", "request_token.txt",
          "oauth_token=hh5s93j4hdidpola&oauth_token_secret=hdhd0244k9j7ao03&oauth_callback_confirmed=true")
    write("fuzz_oauth_token_reply", "access_token.txt", "oauth_token=nnch734d00sl2jdk&oauth_token_secret=pfkkdhi9sl3r4s00")
    write("fuzz_oauth_token_reply", "escaped.txt", "oauth_token=a%2Bb%20c&oauth_token_secret=&user_id=7&screen_name=R%C3%A9my+K")

    clear("fuzz_oauth_redirect")
    write("fuzz_oauth_redirect", "callback_query.txt",
          "talvaren://oauth-callback/provider?oauth_token=hh5s93j4hdidpola&oauth_verifier=hfdp7dh39dks9884")
    write("fuzz_oauth_redirect", "callback_fragment.txt",
          "https://app.example.test:8443/cb/?state=xyz#access_token=2YotnFZFEjr1zCsicMWpAA&token_type=bearer")
    write("fuzz_oauth_redirect", "denied.txt", "talvaren:/cb?denied=a%2Fb&error=access_denied&error_description=No+thanks")

    # The state the flow sent, a line break, then the split redirect's items.
    clear("fuzz_oauth2_redirect")
    write("fuzz_oauth2_redirect", "granted.txt",
          "xyz\naccess_token=2YotnFZFEjr1zCsicMWpAA&token_type=bearer&state=xyz&expires_in=3600")
    write("fuzz_oauth2_redirect", "fitbit_empty_state.txt",
          "\naccess_token=eyJhbGciOiJIUzI1NiJ9.eyJzdWIiOiIyMlQ0In0.c2ln&user_id=22T4&scope=activity+sleep"
          "&token_type=Bearer&expires_in=28800")
    write("fuzz_oauth2_redirect", "denied.txt",
          "xyz\nerror=access_denied&error_description=The+user+denied+the+request&state=xyz")
    write("fuzz_oauth2_redirect", "other_state.txt", "abc\naccess_token=2YotnFZFEjr1zCsicMWpAA&state=other")
    write("fuzz_oauth2_redirect", "oauth1_answer.txt", "\noauth_token=hh5s93j4hdidpola&oauth_verifier=hfdp7dh39dks9884")
    write("fuzz_oauth2_redirect", "malformed_token.txt", "\naccess_token=a%20b%0Ac&state=")


# ---- firmware packages --------------------------------------------------------------------------

def init_packet(kind, image):
    """The init packet the simulated bootloader checks: 01, image type, image size and CRC-32 (little end)."""
    return bytes([0x01, kind]) + struct.pack("<II", len(image), zlib.crc32(image) & 0xFFFFFFFF)


def firmware_zip(parts, compression=zipfile.ZIP_STORED, manifest_extra=None, names=None):
    """A package of (kind, init, image) parts as the kit's writer lays it out, or with other file names."""
    manifest = {}
    files = {}
    for kind, init, image in parts:
        bin_name, dat_name = (names or {}).get(kind, (kind + ".bin", kind + ".dat"))
        entry = {"bin_file": bin_name, "dat_file": dat_name}
        entry.update((manifest_extra or {}).get(kind, {}))
        manifest[kind] = entry
        files[bin_name], files[dat_name] = image, init
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", compression) as archive:
        for name, data in [("manifest.json", json.dumps({"manifest": manifest}, indent=2))] + list(files.items()):
            archive.writestr(zipfile.ZipInfo(name, date_time=(2026, 1, 1, 0, 0, 0)), data, compression)
    return out.getvalue()


def dfu_package_seeds():
    clear("fuzz_dfu_package")
    app = bytes((i * 13 + 5) & 0xFF for i in range(96))
    loader = bytes((i * 7) & 0xFF for i in range(40))
    stack = bytes(range(64))
    application = ("application", init_packet(0x04, app), app)
    # The target reads a zip archive when its first byte is even.
    write("fuzz_dfu_package", "application.bin", b"\x00" + firmware_zip([application]))
    write("fuzz_dfu_package", "application_deflated.bin", b"\x02" + firmware_zip([application], zipfile.ZIP_DEFLATED))
    write("fuzz_dfu_package", "bootloader_and_application.bin",
          b"\x00" + firmware_zip([application, ("bootloader", init_packet(0x02, loader), loader)]))
    write("fuzz_dfu_package", "every_part.bin", b"\x04" + firmware_zip(
        [application, ("softdevice", b"\x01\x01", stack), ("bootloader", init_packet(0x02, loader), loader),
         ("softdevice_bootloader", b"\x01\x03", stack + loader)], zipfile.ZIP_DEFLATED))
    write("fuzz_dfu_package", "named_files_with_metadata.bin", b"\x00" + firmware_zip(
        [application], manifest_extra={"application": {"info_read_only_metadata": {"bl_size": 0, "sd_size": 0}}},
        names={"application": ("strap_app_v2.bin", "strap_app_v2.dat")}))
    # Odd first byte: a package the target writes itself of the bytes after the third, one archive byte
    # (chosen by the second and third) changed.
    write("fuzz_dfu_package", "damaged_at_start.bin", b"\x01\x00\x1e" + app[:32])
    write("fuzz_dfu_package", "damaged_in_directory.bin", b"\x03\x7f\xff" + app)


# ---- firmware update answers --------------------------------------------------------------------

DFU_INIT = bytes([1, 4, 44, 1, 0, 0, 1, 2, 3, 4])  # the fuzz target's own part
DFU_IMAGE = bytes((i * 7) & 0xFF for i in range(300))


def dfu_ok(op, payload=b""):
    return bytes([0x60, op, 0x01]) + payload


def dfu_select(max_size, offset, crc):
    return dfu_ok(0x06, struct.pack("<III", max_size, offset, crc))


def dfu_checksum(offset, data):
    return dfu_ok(0x03, struct.pack("<II", offset, zlib.crc32(data[:offset]) & 0xFFFFFFFF))


def dfu_answers(prn, packet_size, max_command=256, max_data=4096, init_on_target=False, force=False,
                resume_offset=0, bad_object=None):
    """What a sound target answers to the whole transfer of the fuzz target's part, one notification each."""
    packet_size = packet_size or 20
    answers = [dfu_ok(0x02)]
    if init_on_target:
        answers.append(dfu_select(max_command, len(DFU_INIT), zlib.crc32(DFU_INIT) & 0xFFFFFFFF))
    else:
        answers.append(dfu_select(max_command, 0, 0))
    if force or not init_on_target:
        answers += [dfu_ok(0x01), dfu_checksum(len(DFU_INIT), DFU_INIT)]
    answers.append(dfu_ok(0x04))
    answers.append(dfu_select(max_data, resume_offset, zlib.crc32(DFU_IMAGE[:resume_offset]) & 0xFFFFFFFF))
    start = resume_offset // max_data * max_data
    if resume_offset and start == resume_offset:
        answers.append(dfu_ok(0x04))  # the whole object the target holds is executed first
    index = 0
    while start < len(DFU_IMAGE):
        end = min(len(DFU_IMAGE), start + max_data)
        answers.append(dfu_ok(0x01))
        sent, packets = start, 0
        while sent < end:
            sent = min(end, sent + packet_size)
            packets += 1
            if prn and packets % prn == 0 and sent < end:
                answers.append(dfu_checksum(sent, DFU_IMAGE))
        if index == bad_object:
            answers.append(dfu_ok(0x03, struct.pack("<II", end, 0xDEADBEEF)))  # then the object comes again
            bad_object = None
            continue
        answers += [dfu_checksum(end, DFU_IMAGE), dfu_ok(0x04)]
        start, index = end, index + 1
    return answers


def dfu_response_seeds():
    clear("fuzz_dfu_responses")
    # First byte: receipts every (byte % 4) packets, 0x10 resume from the target's offset, 0x20 force the
    # init packet; second byte: packet size (% 64, 0 for 20). Then the notifications, length first.
    sessions = {
        "one_object.bin": (0x00, 20, dfu_answers(0, 20)),
        "objects_with_receipts.bin": (0x02, 32, dfu_answers(2, 32, max_data=128)),
        "init_already_on_target.bin": (0x01, 63, dfu_answers(1, 63, init_on_target=True)),
        "init_forced.bin": (0x20, 0, dfu_answers(0, 0, init_on_target=True, force=True)),
        "resume_at_object_end.bin": (0x13, 16, dfu_answers(3, 16, max_data=128, resume_offset=128)),
        "resume_inside_object.bin": (0x10, 40, dfu_answers(0, 40, max_data=100, resume_offset=150)),
        "object_crc_mismatch.bin": (0x00, 50, dfu_answers(0, 50, max_data=128, bad_object=1)),
    }
    answers = dfu_answers(0, 20, max_data=128)
    sessions["extended_error.bin"] = (0x00, 20, answers[:7] + [bytes([0x60, 0x01, 0x0B, 0x08])])
    sessions["insufficient_resources.bin"] = (0x00, 20, answers[:2] + [bytes([0x60, 0x01, 0x04])])
    sessions["receipt_crossing_request.bin"] = (0x00, 20, answers[:6] + [dfu_checksum(20, DFU_IMAGE)] + answers[6:])
    for name, (flags, packet_size, notes) in sessions.items():
        write("fuzz_dfu_responses", name, bytes([flags, packet_size]) + length_prefixed(notes))


# ---- stored files -------------------------------------------------------------------------------

def b64(data):
    import base64
    return base64.b64encode(data if isinstance(data, bytes) else data.encode()).decode()


def user_defaults_seeds():
    target = "fuzz_user_defaults_file"
    clear(target)
    write(target, "settings.json", json.dumps({
        "APIBaseURL": "https://api.example.test/v1/", "CSRFToken": "c3f1a9", "LCLCurrentLanguageKey": "de",
        "LastWorkoutDevice": "KELO-1", "owner": 42, "BatteryLevel25": False, "dfu_force_dfu": True,
        "ratio": 0.75}, indent=2))
    write(target, "tagged.json", json.dumps({
        "GarminAuthCredentials": {"$bytes": b64(b"\x00\x01\xfe\xff")},
        "strapName": {"$text": b64(b"KELO-\xc3")},
        "limits": [{"$double": "nan"}, {"$double": "inf"}, {"$double": "-inf"}, 1e308, -0.0],
        "wrapped": {"$dict": {"$bytes": "not a tag"}},
        "nested": {"list": [1, "two", [3, {"four": None}]], "empty": {}},
    }, indent=2))
    write(target, "cut_short.json", '{"LastWorkoutDevice":"KELO-1","APIBaseURL":"x","b":')
    write(target, "bad_tag.json", '{"a": {"$bytes": "!!!"}, "b": {"$double": "huge"}, "c": {"$dict": 3}}')
    write(target, "deep.json", '{"deep": ' + "[" * 130 + "1" + "]" * 130 + "}")
    write(target, "empty.json", "")
    write(target, "array.json", "[1, 2]")


def keychain_seeds():
    target = "fuzz_keychain_file"
    clear(target)
    service = "SarvikDesign.TalvarenIOS"

    def keychain(items, owner=service):
        return json.dumps({"service": owner, "items": items}, indent=2)

    token = json.dumps({"token": "9944b09199c62bcf9418ad846dd0e4bbdfc6ee4b"}, separators=(",", ":"))
    api_key = json.dumps({"X-API-Key": "kqz", "X-API-PublicId": "4f1c9a27-6b3e-4d58-9e02-7a3b5c8d1e64"},
                         separators=(",", ":"))
    logged_in = {"ConnectorToken": b64(token), "ConnectorAPI": b64(api_key), "UserLogin": b64("user@example.test"),
                 "UserPassword": b64("p\u00e4ss \"w\" 0")}
    write(target, "logged_in.keychain", keychain(logged_in))
    write(target, "bytes_and_empty.keychain", keychain({"Archive": b64(b"\x00\xff\x10\x80"), "Empty": ""}))
    write(target, "one_damaged_item.keychain",
          keychain({"UserLogin": b64("one"), "ConnectorToken": "@@@@", "UserPassword": 5}))
    write(target, "other_service.keychain", keychain({"UserLogin": b64("one")}, "SarvikDesign.Tests"))
    write(target, "no_items.keychain", json.dumps({"service": service}))
    write(target, "cut_short.keychain", keychain(logged_in)[:90])
    write(target, "empty.keychain", "")


# ---- Fitbit sleep lists -------------------------------------------------------------------------

def fitbit_sleep_seeds():
    target = "fuzz_fitbit_sleep_import"
    clear(target)
    write(target, "two_nights.json", json.dumps({"sleep": [
        {"dateOfSleep": "2023-11-14", "duration": 27720000, "minutesAsleep": 420, "type": "stages",
         "logId": 26315914306, "isMainSleep": True, "startTime": "2023-11-13T23:10:30.000"},
        {"dateOfSleep": "2023-11-15", "duration": 3600000, "minutesAsleep": 55, "type": "classic", "logId": 26315914307},
    ], "summary": {"totalMinutesAsleep": 475, "totalSleepRecords": 2, "totalTimeInBed": 520}}))
    write(target, "no_sleep.json", json.dumps({"sleep": [], "summary": {"totalMinutesAsleep": 0}}))
    write(target, "partial_logs.json", json.dumps({"sleep": [
        {"dateOfSleep": "2019-03-05", "logId": 1}, {"dateOfSleep": "2019-03-05", "type": "classic"},
        {"minutesAsleep": -15}, {}]}))
    write(target, "edges.json", json.dumps({"sleep": [
        {"dateOfSleep": "2023-11-14", "minutesAsleep": 9223372036854775807, "logId": 9},
        {"dateOfSleep": "2023-11-14", "minutesAsleep": -9223372036854775808},
        {"dateOfSleep": 20231114, "minutesAsleep": 420.0, "logId": "7"}]}))
    write(target, "not_a_list.json", json.dumps({"sleep": {"dateOfSleep": "2023-11-14"}}))


if __name__ == "__main__":
    png_seeds()
    strap_seeds()
    record_seeds()
    archive_seeds()
    strings_seeds()
    date_seeds()
    server_reply_seeds()
    http_reply_seeds()
    credential_seeds()
    oauth_seeds()
    dfu_package_seeds()
    dfu_response_seeds()
    user_defaults_seeds()
    keychain_seeds()
    fitbit_sleep_seeds()
