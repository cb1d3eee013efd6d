#!/usr/bin/env python3
"""Writes the seed corpus of every harness into fuzz/corpus/NAME/.

The files are committed; run this again only after changing a seed or the layout a
harness reads. Layout of the module's side (every harness but settings and cli): chunks of
[timing][length][bytes]; timing bit 7 holds the chunk until the host writes next, bits
0..6 delay it in half-seconds (after that write, or after the chunk before).
"""
import os
import shutil

HERE = os.path.dirname(os.path.abspath(__file__))


def chunk(data, after_write=True, delay=0):
    out = b""
    first = True
    while first or data:
        part, data = data[:255], data[255:]
        timing = (0x80 if after_write and first else 0) | (delay if first else 0)
        out += bytes([timing, len(part)]) + part
        first = False
    return out


def block(data, check=None, length=None):
    if check is None:
        check = (-sum(data)) & 0xFF
    if length is None:
        length = b"%02X" % len(data)
    return length + bytes(data) + bytes([check])


def ramp(n, start=0):
    return bytes((start + k) & 0xFF for k in range(n))


def text(s, max_len):
    s = s.encode("latin-1") if isinstance(s, str) else s
    assert len(s) <= max_len
    return bytes([len(s)]) + s


WIDTH_INDEX = {180: 0, 360: 1, 256: 4, 512: 5, 768: 6, 250: 7}


def picture(width=180, height=2, mode=3, colour=False, nibb2=False, expert=None,
            tall=False, raw_height=None):
    flags = WIDTH_INDEX[width]
    if raw_height is not None:
        flags |= 0x08
        h = raw_height & 0xFFFF
    elif tall:
        flags |= 0x10
        h = (height - 1) % 4096
    else:
        h = (height - 1) % 320
    if nibb2:
        flags |= 0x20
    if expert is not None:
        flags |= 0x40
    mode_byte = (mode + 1) | (0x08 if colour else 0)
    out = bytes([flags, h >> 8, h & 0xFF, mode_byte])
    if expert is not None:
        offset, size, count = expert
        out += text(offset, 6) + text(size, 3) + text(count, 5)
    return out


def transfer(blocks, ack=b"q,I,0#i,", tail=True):
    """The module's side of one fetch: the acceptance with the first block, then one block
    after each acknowledgement."""
    if not blocks:
        return chunk(ack)
    out = chunk(ack + blocks[0])
    for b in blocks[1:]:
        out += chunk(b)
    return out


def receive_seeds():
    s = {}
    grey2 = [block(ramp(180, 0)), block(ramp(180, 100))]
    one = lambda *pics: bytes([0]) + pics[0]
    two = lambda a, b: bytes([1]) + a + b
    s["grey180"] = one(picture()) + transfer(grey2)
    s["grey360"] = one(picture(360, 1)) + transfer([block(ramp(180)), block(ramp(180, 7))])
    s["colour180"] = one(picture(180, 1, 4, True)) + transfer(
        [block(ramp(180, 3)), block(ramp(180, 90))])
    s["colour360"] = one(picture(360, 1, 4, True)) + transfer(
        [block(ramp(180, k * 40)) for k in range(4)])
    s["nibble1_180"] = one(picture(180, 2, 1)) + transfer([block(ramp(180, 0xA5))])
    s["nibble2_360"] = one(picture(360, 1, 2)) + transfer([block(ramp(180, 0x5A))])
    s["nibble2_then_1"] = two(picture(180, 2, 2), picture(180, 2, 1)) + transfer(
        [block(ramp(180, 0x30))]) + transfer([block(ramp(180, 0x03))])
    s["nibble12_preset"] = one(picture(180, 2, 1, nibb2=True)) + transfer([block(ramp(180))])
    s["wide256"] = one(picture(256, 1)) + transfer(
        [block(ramp(255))] + [block(b"")] * 200)
    s["wide512_tall"] = one(picture(512, 300, tall=True)) + transfer(
        [block(ramp(255)), block(ramp(255, 9))])
    s["wide768_colour"] = one(picture(768, 3, 3, True)) + transfer([block(ramp(255))])
    s["expert"] = one(picture(180, 1, 3, expert=("0", "B4", "1"))) + transfer(
        [block(ramp(180))])
    s["expert_long_block"] = one(picture(180, 1, 3, expert=("00000", "FF", "0001"))) + transfer(
        [block(ramp(255))])
    s["expert_bad_field"] = one(picture(180, 1, 3, expert=("00000", "G1", "0090")))
    s["expert_too_long"] = one(picture(180, 1, 3, expert=("000000", "B4", "0090")))
    s["width250"] = one(picture(250, 1))
    s["mode0"] = one(picture(180, 2, 0))
    s["mode5"] = one(picture(360, 2, 5))
    s["height0"] = one(picture(raw_height=0))
    s["height_negative"] = one(picture(raw_height=-144))
    s["grey_with_colour_setting"] = one(picture(180, 1, 3, True)) + transfer([block(ramp(180))])
    s["colour_mode_mono"] = one(picture(180, 1, 4, False)) + transfer(
        [block(ramp(180)), block(ramp(180))])
    s["colour_odd_block"] = one(picture(180, 1, 4, True)) + transfer(
        [block(ramp(255)), block(ramp(1))])
    s["silent"] = one(picture())
    s["wrong_ack"] = one(picture()) + transfer(grey2, ack=b"q,I,1#i,")
    s["wrong_letter"] = one(picture()) + transfer(grey2, ack=b"q,I,0#j,")
    s["bad_check"] = one(picture()) + transfer([grey2[0], block(ramp(180, 100), check=0)])
    s["hex_length_bad"] = one(picture()) + transfer([block(ramp(180), length=b"G4")])
    s["hex_length_0x"] = one(picture()) + transfer([block(b"", length=b"0x")])
    s["hex_length_lower"] = one(picture()) + transfer(
        [block(ramp(180), length=b"b4"), block(ramp(180))])
    s["short_block"] = one(picture()) + transfer([b"B4" + ramp(90)])
    s["garbage"] = one(picture()) + transfer(grey2, ack=b"\x00\xffxx#q,I,0#i,")
    s["late_block"] = one(picture()) + chunk(b"q,I,0#i," + grey2[0]) + chunk(grey2[1], delay=7)
    s["slow_block"] = one(picture()) + chunk(b"q,I,0#i," + grey2[0]) + chunk(
        grey2[1][:100], delay=2) + chunk(grey2[1][100:], after_write=False, delay=2)
    s["early_bytes"] = one(picture()) + chunk(b"q,I,0#", after_write=False) + chunk(
        b"i," + grey2[0]) + chunk(grey2[1])
    return s


def modem_answer(echo, result, delay=0):
    return chunk((echo if echo else b"") + b"\r\n" + result + b"\r\n", delay=delay)


def dial_seed(number="!22", flags=0, echo=True, x3=b"OK", dial=b"CONNECT 9600",
              dial_delay=4, after=b""):
    out = bytes([flags]) + text(number, 15)
    out += modem_answer(b"AT\r" if echo else None, b"OK")
    out += modem_answer(b"ATE0M1\r" if echo else None, b"OK")
    out += modem_answer(None, x3)
    if dial is not None:
        out += modem_answer(None, dial, dial_delay)
    return out + after


def modem_seeds():
    s = {}
    s["connect_echo"] = dial_seed()
    s["connect_no_echo"] = dial_seed(echo=False)
    s["connect_long_number"] = dial_seed("004930123456,,9")
    s["x3_error"] = dial_seed(x3=b"ERROR", dial=None)
    s["busy"] = dial_seed(dial=b"BUSY")
    s["no_carrier"] = dial_seed(dial=b"NO CARRIER")
    s["never_answers"] = dial_seed(dial=None)
    s["connect_late"] = dial_seed(dial_delay=62)
    s["silent"] = bytes([0]) + text("!22", 15)
    s["bad_number"] = bytes([0]) + text("12x", 15)
    s["empty_number"] = dial_seed("")
    s["port_closed"] = bytes([1]) + text("!22", 15)
    s["ok_without_line_end"] = bytes([0]) + text("!22", 15) + chunk(b"OK")
    s["noise"] = bytes([0]) + text("!22", 15) + chunk(bytes(range(256))[::7] + b"K\n")
    image = chunk(b"q,I,0#i," + block(ramp(180))) + chunk(block(ramp(180, 1)))
    s["fetch_after_connect"] = dial_seed(flags=2, after=image)
    s["fetch_on_cable"] = bytes([2]) + text("!22", 15) + chunk(b"", delay=0)
    s["capture_tick"] = dial_seed(flags=4, after=chunk(b"q,P,0#") + chunk(b"q,G,0#") + chunk(
        b"q,I,0#i," + block(ramp(180))) + chunk(block(ramp(180, 1))) + chunk(b"q,E,0#"))
    s["capture_tick_silent"] = bytes([4]) + text("!22", 15)
    return s


def commands_seed(commands, answers, closed=False):
    head = (len(commands) - 1) | (4 if closed else 0)
    out = bytes([head])
    for c in commands:
        if isinstance(c, tuple):
            out += bytes([c[0]]) + text(c[1], 3)
        else:
            out += bytes([c])
    for a in answers:
        out += a
    return out


V, S, F, C, T0, T1, R, E, G, GD, P180, P360 = 0, 1, 2, 3, 4, 5, 6, 7, 8, 21, 10, 131


def commands_seeds():
    s = {}
    s["camera"] = commands_seed([V], [chunk(b"q,V,0#v,03#")])
    s["version"] = commands_seed([S], [chunk(b"q,S,0#s,02031#")])
    s["error_input"] = commands_seed([F, C], [chunk(b"q,F,0#f,00#"), chunk(b"q,C,0#c,17#")])
    s["timestamp_reset"] = commands_seed([T1], [chunk(b"q,T,0#t,04,00125#")])
    s["timestamp_late_seconds"] = commands_seed(
        [T0], [chunk(b"q,T,0#t,04,"), chunk(b"#", after_write=False, delay=7)])
    s["reset_end"] = commands_seed([R, E], [chunk(b"q,R,0#"), chunk(b"q,E,0#")])
    s["channel"] = commands_seed([(G, "5")], [chunk(b"q,G,0#")])
    s["channel_refused"] = commands_seed([(G, "9")], [chunk(b"q,G,1#")])
    s["channel_late_status"] = commands_seed(
        [GD], [chunk(b"q,G,"), chunk(b"0#", after_write=False, delay=7)])
    s["channel_odd_text"] = commands_seed([(G, "12\x00")], [chunk(b"q,G,0#")])
    s["channel_empty"] = commands_seed([(G, "")], [chunk(b"q,G,0#")])
    s["params"] = commands_seed([P180, P360], [chunk(b"q,P,0#"), chunk(b"q,P,0#")])
    s["params_refused"] = commands_seed([P180, 11], [chunk(b"q,P,1#")])
    s["wrong_ack"] = commands_seed([V], [chunk(b"q,V,1#")])
    s["wrong_letter"] = commands_seed([S], [chunk(b"q,S,0#x,02031#")])
    s["no_hash"] = commands_seed([C, V], [chunk(b"q,C,0#c,17q,V,0#v,03#")])
    s["leftover"] = commands_seed([V, S], [chunk(b"xxq,V,0#v,03#q,S,0#s,02031#")])
    s["silent"] = commands_seed([V, S, T1, R], [])
    s["port_closed"] = commands_seed([V, (G, "1"), P180, E], [], closed=True)
    s["garbage"] = commands_seed([T0, E, F, C], [chunk(bytes(range(0, 256, 5)))] * 4)
    return s


SECTION = "[Pixlane]\n"


def ini(values, extra=""):
    lines = [SECTION] + ["BasicSettings\\%s=%s\n" % kv for kv in values]
    return ("".join(lines) + extra).encode("utf-8")


DEFAULTS = [("m_iCom", "1"), ("m_iBaudrate", "57600"), ("m_iMonochrom", "0"),
            ("m_iBildbreite", "180"), ("m_iBildhoehe", "144"), ("m_bkompri", "0"),
            ("m_bFrei", "0"), ("m_iLokal", "1"), ("m_sOffset", "00000"), ("m_sBgroesse", "FF"),
            ("m_sBanzahl", "90"), ("m_iModus", "3"), ("m_iKanal", "1"), ("lokal_control", "0"),
            ("lokal_control2", "0"), ("m_sTel_nr", "!22"), ("m_bExpert", "0"),
            ("b_Ein_dlg_ok", "0"), ("m_bZeilenweise", "1"), ("open", "0"), ("nibb2", "0"),
            ("Start", "1"), ("sHandshake", "2"), ("m_bHandshake", "1"), ("m_bTimer", "0"),
            ("m_STimerTime", "10")]


def with_values(**changes):
    return ini([(k, changes.get(k, v)) for k, v in DEFAULTS])


def settings_seeds():
    s = {}
    s["empty"] = b""
    s["defaults"] = ini(DEFAULTS)
    s["colour360"] = with_values(m_iBildbreite="360", m_iBildhoehe="288", m_iMonochrom="1",
                                 m_iModus="4")
    s["leading_zero"] = with_values(m_iKanal="010", m_iBildbreite="0180")
    s["comma_value"] = with_values(m_sTel_nr="12,34", m_iBaudrate="57,600")
    s["quoted_comma"] = with_values(m_sTel_nr='"0,,22"')
    s["huge_numbers"] = with_values(m_iBildhoehe="99999999999", m_iCom="-5",
                                    m_iBaudrate="4294967296", Start="2147483648")
    s["decimal"] = with_values(m_iBildhoehe="144.5", m_iBaudrate="1e3", m_iModus=" 3 ",
                               m_iBildbreite="0x168")
    s["expert"] = with_values(m_bExpert="1", m_sOffset="1F", m_sBgroesse="b4", m_sBanzahl="120")
    s["expert_bad"] = with_values(m_bExpert="1", m_sOffset="xyz", m_sBgroesse="FFF",
                                  m_sBanzahl="123456")
    s["handshake_258"] = with_values(sHandshake="258", m_bHandshake="7")
    s["open_stored"] = with_values(open="1")
    s["truth_words"] = (with_values(m_bTimer="true", m_bHandshake="FALSE", nibb2=" True ",
                                    m_bExpert="false", m_bFrei="wahr") +
                        b"AutoSave\\m_bAutoSave=true\nAutoSave\\m_sAutoSaveFolder=/tmp\n")
    s["timer"] = with_values(m_bTimer="1", m_STimerTime="15min")
    s["wide_tall_colour"] = with_values(m_iBildbreite="768", m_iBildhoehe="4096",
                                        m_iMonochrom="1")
    s["height_too_big"] = with_values(m_iBildhoehe="4097")
    s["wide512"] = with_values(m_iBildbreite="512", m_iBildhoehe="300", m_iModus="1")
    s["mode_bad"] = with_values(m_iModus="9", m_iBildbreite="360")
    s["port9_ports"] = with_values(m_iCom="9") + b"\n[Ports]\nCOM9=/dev/null\n"
    s["strings_odd"] = ini([("m_sTel_nr", '"  spaced  "'), ("m_sOffset", "@String(00010)"),
                            ("m_STimerTime", "\\x41\\0\\n"), ("m_sBanzahl", "\xe4\xf6\xfc")])
    s["variant"] = ini([("m_iBildbreite", "@Variant(\\0\\0\\0\\x2\\0\\0\\x1h)"),
                        ("m_sTel_nr", "@ByteArray(123)")])
    s["crlf_duplicates"] = (SECTION + "BasicSettings\\m_iBildbreite=360\r\n"
                            "BasicSettings\\m_iBildbreite=180\r\n"
                            "[pixlane]\r\nbasicsettings\\m_iModus=4\r\n").encode()
    s["general_section"] = b"[General]\nm_iCom=3\n[Pixlane/BasicSettings]\nm_iCom=2\n"
    s["binary"] = bytes(range(256))
    s["unterminated"] = b"[Pixlane\nBasicSettings\\m_iCom=\"1\n=\n\\\n"
    return s


def args(*a):
    return b"\0".join(x.encode("utf-8") for x in a)


def cli_seeds():
    s = {}
    s["status"] = args("status", "camera")
    s["device_baud"] = args("--device", "/dev/ttyUSB0", "--baud", "57600", "status", "version")
    s["fetch_png"] = args("fetch", "-o", "x.png", "--width", "360", "--colour")
    s["fetch_expert"] = args("fetch", "--expert", "00000,B4,0090", "--mode", "3", "--modem")
    s["fetch_height"] = args("fetch", "--height=4096", "--mono", "--output=a.bmp")
    s["com_channel"] = args("--com=3", "--quiet", "channel", "5")
    s["dial"] = args("--handshake", "off", "dial", "--number", "!22")
    s["help"] = args("--help")
    s["fetch_help"] = args("fetch", "--help")
    s["timestamp"] = args("timestamp", "--reset")
    s["params"] = args("--demo", "params", "--width=180")
    s["hangup_reset"] = args("hangup", "reset")
    s["empty"] = b""
    s["demo_device"] = args("--demo", "--device", "x", "status", "camera")
    s["channel_bad"] = args("channel", "010")
    s["mono_colour"] = args("fetch", "--mono", "--colour")
    s["mode_colour"] = args("fetch", "--colour", "--mode", "3")
    s["baud_bad"] = args("--baud", "abc", "status", "input")
    s["flag_value"] = args("--quiet=1", "status", "error")
    s["missing_value"] = args("fetch", "--expert")
    s["expert_bad"] = args("fetch", "--expert", "0,,1,2")
    s["unknown"] = args("--frobnicate", "snapshot", "-x")
    s["dash"] = args("-", "--", "--=", "status")
    s["capture"] = args("capture", "--channels", "1,3", "-o",
                        "bilder/%Y-%m-%d/kamera{channel}-%H%M%S.bmp", "--journal",
                        "bilder/journal.jsonl")
    s["capture_every"] = args("--demo-modem", "capture", "--channels=all", "--every", "10s",
                              "--count", "2", "--latest", "aktuell.png", "--number", "0815")
    s["capture_bad"] = args("capture", "--every", "9s", "--channels", "0,9,", "--count=0",
                            "-o", "bild%", "--modem", "--local")
    s["capture_long"] = args("capture", "--every", "43201m", "--exec", "true", "-o", "-")
    s["ports_assign"] = args("ports", "--assign", "3", "/dev/serial/by-id/usb-1")
    s["ports_bad"] = args("ports", "--assign=10", "--json", "--clear", "x\ty")
    return s


def capture_seed(pattern, raw=False, zone=1, when=(3, 5, 7, 9, 2, 124, 6, 68, 0, 3600),
                 fields=(3, 360, 288, 12), n=1):
    """A time (sec, min, hour, mday, mon, year, wday, yday, isdst, gmtoff), the picture's
    fields (channel, width, height, seq), a number for the numbered name, the pattern."""
    lows = (0, 0, 0, 1, 0, None, 0, 0, -1, -26 * 3600)
    out = bytes([(1 if raw else 0) | zone << 1])
    for value, low in zip(when, lows):
        if not raw and low is not None:
            value = (value - low) ^ -0x80000000
        out += (value & 0xFFFFFFFF).to_bytes(4, "big")
    for value in fields:
        out += (value & 0xFFFFFFFF).to_bytes(4, "big")
    out += (n & 0xFFFF).to_bytes(2, "big")
    return out + (pattern.encode("utf-8") if isinstance(pattern, str) else pattern)


def capture_seeds():
    s = {}
    s["default"] = capture_seed("pixlane-%Y%m%d-%H%M%S-k{channel}.bmp")
    s["folders_by_day"] = capture_seed("bilder/%Y-%m-%d/kamera{channel}-%H%M%S.bmp")
    s["png"] = capture_seed("bilder/k{channel}-%H%M%S.png", n=9999)
    s["site"] = capture_seed("%Y/%m/%d/k{channel}-%H%M%S.bmp", zone=3)
    s["all_fields"] = capture_seed("/var/lib/pixlane/{width}x{height}-{seq}-100%%.png")
    s["every_conversion"] = capture_seed("%a%A%b%B%c%C%d%D%e%F%g%G%h%H%I%j%m%M%n%p%r%R%S%t"
                                         "%T%u%U%V%w%W%x%X%y%Y%z%Z%%%Ec%EC%Ex%EX%Ey%EY%Od%Oe"
                                         "%OH%OI%Om%OM%OS%Ou%OU%OV%Ow%OW%Oy.bmp")
    s["raw_time"] = capture_seed("%c-%x-%G-%s-%j.bmp", raw=True,
                                 when=(-1, 2**31 - 1, -2**31, 0, 12, 2**31 - 1, -7, 400, 5,
                                       -2**31),
                                 fields=(-2**31, 2**31 - 1, -1, 0), n=-1)
    s["percent_field"] = capture_seed("%%{seq}%%.bmp")
    s["hidden"] = capture_seed(".{channel}", n=2)
    s["dot_folder"] = capture_seed("a.d/bild", n=3)
    s["dots"] = capture_seed("..", n=1)
    s["longest"] = capture_seed("%c" * 2048)
    s["too_long"] = capture_seed("%c" * 2048 + "x")
    for name, pattern in [("empty", ""), ("percent_end", "bild%"), ("e_end", "bild-%E"),
                          ("e_wrong", "%Ez.bmp"), ("o_end", "%O"), ("unknown", "%Q.bmp"),
                          ("flag", "%-d.bmp"), ("brace_open", "k{channel.bmp"),
                          ("brace_field", "%{channel}"), ("field_unknown", "k{kanal}.bmp"),
                          ("nested", "{{seq}}"), ("folder_only", "bilder/"),
                          ("nul", b"bild\0%Y.bmp"), ("nul_field", b"%\0")]:
        s[name] = capture_seed(pattern)
    return s


def main():
    sets = {"receive": receive_seeds(), "modem": modem_seeds(), "commands": commands_seeds(),
            "settings": settings_seeds(), "cli": cli_seeds(),
            "capture": capture_seeds()}
    for name, seeds in sets.items():
        folder = os.path.join(HERE, "corpus", name)
        if os.path.isdir(folder):
            # Inputs the fuzzer found (crash-*) stay; only the seeds are rewritten.
            for f in os.listdir(folder):
                if not f.startswith("crash-"):
                    os.remove(os.path.join(folder, f))
        os.makedirs(folder, exist_ok=True)
        for seed, data in seeds.items():
            with open(os.path.join(folder, seed), "wb") as out:
                out.write(data)
        print("%s: %d seeds" % (name, len(seeds)))


if __name__ == "__main__":
    main()
