#!/usr/bin/env python3
"""Renders the same sounds through two builds of the plug-in and compares them.

usage: compare-renders.py OLD.clap NEW.clap [--render norvale-render] [--quick]

Covers the ten built-in presets, every stage alone in each of its modes (with
curves drawn on all 21 shapes), MIDI and audio triggers, blocks of 1, 37, 512
and 4096 frames and 44.1, 48 and 96 kHz. Inputs and outputs are 32-bit float
WAV, so the comparison sees the plug-in's own floats. For every case it prints
the largest difference in dB below full scale and how many samples round to a
different 24-bit value; it exits non-zero when a case differs by more than one
24-bit step (-138 dB) and the case is not marked as an approximation.
"""
import argparse
import array
import math
import os
import random
import struct
import subprocess
import sys
import tempfile

STEP_24 = 2.0**-23


def write_wav(path, channels, rate):
    frames = len(channels[0])
    data = array.array("f", (channels[c][i] for i in range(frames) for c in range(len(channels))))
    if sys.byteorder != "little":
        data.byteswap()
    body = data.tobytes()
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + 8 + 16 + 8 + len(body)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<IHHIIHH", 16, 3, len(channels), rate,
                                      rate * 4 * len(channels), 4 * len(channels), 32))
        f.write(b"data" + struct.pack("<I", len(body)) + body)


def read_wav(path):
    """Interleaved float samples of a float or extensible-float WAV."""
    with open(path, "rb") as f:
        raw = f.read()
    pos, fmt, data = 12, None, None
    while pos + 8 <= len(raw):
        tag, size = raw[pos:pos + 4], struct.unpack("<I", raw[pos + 4:pos + 8])[0]
        chunk = raw[pos + 8:pos + 8 + size]
        if tag == b"fmt ":
            fmt = struct.unpack("<HHIIHH", chunk[:16])
        elif tag == b"data":
            data = chunk
        pos += 8 + size + (size & 1)
    if fmt is None or data is None or fmt[5] != 32:
        raise SystemExit(f"{path}: not a 32-bit float WAV")
    samples = array.array("f")
    samples.frombytes(data)
    if sys.byteorder != "little":
        samples.byteswap()
    return samples


def music(rate, seconds, seed):
    """Noise, a bass tone and decaying hits: something for every stage to do."""
    rng = random.Random(seed)
    n = int(rate * seconds)
    left, right = [0.0] * n, [0.0] * n
    hit = int(rate * 0.25)
    for i in range(n):
        t = i / rate
        env = math.exp(-(i % hit) / (0.03 * rate))
        tone = 0.35 * math.sin(2 * math.pi * 55 * t) + 0.2 * math.sin(2 * math.pi * 1320 * t)
        left[i] = tone + 0.6 * env * rng.uniform(-1, 1) + 0.05 * rng.uniform(-1, 1)
        right[i] = 0.8 * tone + 0.6 * env * rng.uniform(-1, 1) + 0.05 * rng.uniform(-1, 1)
    return [left, right]


def clicks(rate, seconds):
    n = int(rate * seconds)
    side = [0.0] * n
    for start in range(int(rate * 0.1), n, int(rate * 0.37)):
        for i in range(start, min(n, start + 200)):
            side[i] = 0.9 * math.exp(-(i - start) / 40.0)
    return [side, side]


# Drawn shapes for the stage-alone cases: a different shape per band, with
# soft and medium corners, bends, steps and a vertical jump.
SHAPES = [
    "0.0000 1.0000 0 0.000, 0.2500 0.9000 2 0.000, 0.5000 0.1000 1 0.600, 0.7500 0.8000 2 -0.500, 1.0000 1.0000 0 0.000",
    "0.0000 0.2000 0 0.000, 0.1250 0.2000 0 0.000, 0.1270 0.9000 0 0.000, 0.3750 0.9000 0 0.000, 0.3770 0.4000 0 0.000, 0.6250 0.4000 0 0.000, 0.6270 0.0000 0 0.000, 1.0000 0.7000 1 0.000",
    "0.0000 0.5000 1 0.900, 0.3000 0.0000 2 -0.900, 0.3000 1.0000 0 0.000, 0.7000 0.3000 1 0.300, 1.0000 0.5000 0 0.000",
]
MODULES = ["vol", "flt", "drv", "tim", "crs", "pan", "wid"]


def shapes_preset(path):
    lines = ["# Norvale preset", "format = 1", "name = Compare Shapes", ""]
    for m in MODULES:
        for b in range(3):
            lines.append(f"curve {m} {b} = {SHAPES[(b + MODULES.index(m)) % 3]}")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def only(module, *extra):
    sets = [f"{m}_on={'On' if m == module else 'Off'}" for m in MODULES]
    return sets + list(extra)


def cases(shapes, quick):
    """(name, preset, --set list, notes, sidechain, approximate)"""
    out = []
    for key in ["bended_duck", "crush_steps", "drive_pump", "filter_wobble", "gated_stabs",
                "half_speed_stop", "kick_duck", "live_stutter", "pan_steps", "sidechain_duck"]:
        out.append((key, key, [], None, True))
    alone = [("vol", []), ("vol", ["vol_trim=6 dB", "vol_smooth=0 %"]),
             ("pan", []), ("wid", []), ("wid", ["wid_smooth=100 %"])]
    for t in ["Lowpass", "Highpass", "Bandpass", "Notch"]:
        types = [f"flt_type_{b}={t}" for b in ["low", "mid", "high"]]
        alone += [("flt", types), ("flt", types + ["flt_drive=60 %", "flt_res=100 %"])]
    for style in ["Soft Clip", "Hard Clip", "Fold", "Rectify", "Sine Fold", "Crush"]:
        for tone in ["0 %", "60 %", "-60 %"]:
            alone.append(("drv", [f"drv_style={style}", f"drv_tone={tone}", "drv_input=12 dB",
                                  "drv_drive=90 %", "drv_mix=80 %"]))
    for bits, down in [("2 bit", "1 x"), ("6 bit", "8 x"), ("16 bit", "32 x")]:
        alone.append(("crs", [f"crs_bits={bits}", f"crs_down={down}", "crs_amount=100 %"]))
    for rng, smooth in [("20 ms", "0 %"), ("500 ms", "10 %"), ("2 s", "50 %")]:
        alone.append(("tim", [f"tim_range={rng}", f"tim_smooth={smooth}", "tim_step=5 %"]))
    for m, extra in alone:
        out.append((f"{m} " + " ".join(extra), shapes, only(m, *extra), None, False))
    # Clocks: MIDI notes, sidechain and input hits, looping and once.
    for m in MODULES:
        out.append((f"{m} midi once", shapes, only(m, f"{m}_trigger=MIDI", f"{m}_end=60 %"),
                    "0.5,1.25,2.01", False))
        out.append((f"{m} audio loop", shapes,
                    only(m, f"{m}_trigger=Audio", f"{m}_loop=On", f"{m}_rate=1/8"), None, True))
    out.append(("vol audio from input", shapes,
                only("vol", "vol_trigger=Audio", "trig_source=Input", "trig_filter=200 Hz"), None,
                False))
    every = [f"{m}_on=On" for m in MODULES]
    out.append(("everything", shapes, every + ["flt_drive=30 %", "drv_tone=40 %"], "1", True))
    out.append(("everything, mid band off", shapes, every + ["band_mid=Off", "mix=70 %",
                                                             "input=6 dB", "output=-3 dB"],
                None, False))
    out.append(("all off", shapes, [f"{m}_on=Off" for m in MODULES] + ["mix=70 %", "input=6 dB",
                                                                        "output=-3 dB"],
                None, False))
    if quick:
        out = out[:10] + out[10::6]
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("old")
    ap.add_argument("new")
    ap.add_argument("--render", default="build/default/bin/norvale-render")
    ap.add_argument("--quick", action="store_true", help="fewer cases, one rate, two blocks")
    ap.add_argument("--approximate", default="",
                    help="comma-separated words: cases whose name contains one may differ "
                         "down to -120 dB")
    ap.add_argument("--only", default="", help="only the cases whose name contains this")
    args = ap.parse_args()
    approx_words = [w for w in args.approximate.split(",") if w]

    rates = [48000] if args.quick else [44100, 48000, 96000]
    blocks = [37, 512] if args.quick else [1, 37, 512, 4096]
    failures = 0
    worst = -math.inf
    with tempfile.TemporaryDirectory() as tmp:
        shapes = os.path.join(tmp, "shapes.norvale")
        shapes_preset(shapes)
        for rate in rates:
            src, side = os.path.join(tmp, f"in{rate}.wav"), os.path.join(tmp, f"side{rate}.wav")
            write_wav(src, music(rate, 2.5, 1), rate)
            write_wav(side, clicks(rate, 2.5), rate)
            for name, preset, sets, notes, use_side in cases(shapes, args.quick):
                if args.only not in name:
                    continue
                for block in blocks:
                    # Block 1 is slow through a host; the presets and a few cases suffice.
                    if block == 1 and preset == shapes and "everything" not in name \
                            and "midi" not in name:
                        continue
                    renders = []
                    for which, plugin in (("old", args.old), ("new", args.new)):
                        out = os.path.join(tmp, f"{which}.wav")
                        cmd = [args.render, "--plugin", plugin, "--block", str(block),
                               "--preset", preset]
                        for s in sets:
                            cmd += ["--set", s]
                        if notes:
                            cmd += ["--notes", notes]
                        if use_side:
                            cmd += ["--sidechain", side]
                        subprocess.run(cmd + [src, out], check=True, stdout=subprocess.DEVNULL)
                        renders.append(read_wav(out))
                    old, new = renders
                    diff = max((abs(a - b) for a, b in zip(old, new)), default=0.0)
                    flips = sum(1 for a, b in zip(old, new)
                                if round(a / STEP_24) != round(b / STEP_24))
                    db = 20 * math.log10(diff) if diff > 0 else -math.inf
                    worst = max(worst, db)
                    limit = -120.0 if any(w in name for w in approx_words) else \
                        20 * math.log10(STEP_24)
                    bad = len(old) != len(new) or db > limit
                    failures += bad
                    print(f"{'FAIL' if bad else 'ok  '} {rate:6d} Hz block {block:4d}  "
                          f"max diff {db:7.1f} dB  24-bit flips {flips:5d}  {name}", flush=True)
    print(f"worst difference {worst:.1f} dB; {failures} case(s) over their limit")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
