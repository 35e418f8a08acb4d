#!/usr/bin/env python3
"""Writes the version 1, 2 and 3 state streams the state tests read (the
default stream, state_default.bin, is a fresh plug-in's save). Written
by hand from the layout, not by the plug-in, so they pin the format."""
import struct

FLAT = {m: f"0.0000 {v:.4f} 0 0.000, 1.0000 {v:.4f} 0 0.000"
        for m, v in enumerate([1, 1, 1, 1, 1, 0.5, 0.5])}
DRAWN = "0.0000 0.2000 0 0.000, 0.5000 1.0000 2 0.500, 1.0000 0.2000 1 -0.250"


def stream(version, params, drawn, records, tail):
    out = b"NORV" + struct.pack("<II", version, len(params))
    for pid, value in params:
        out += struct.pack("<Id", pid, value)
    for i in range(records):
        text = (DRAWN if i in drawn else FLAT[i // 3]).encode()
        out += struct.pack("<I", len(text)) + text
    return out + tail


# v1: mix 0.25, an unknown id 200, vol_rate 99 (clamped); vol low and tim high
# drawn; module 9 and band -1 (clamped), snap off.
open("state_v1.bin", "wb").write(stream(1, [(0, 0.25), (200, 5.0), (10, 99.0)], {0, 11}, 12,
                                        bytes([9, 0xFF, 0])))
# v2: drv_on; pan high drawn; module 2, band 1, snap, edit one band, step mode.
open("state_v2.bin", "wb").write(stream(2, [(24, 1.0)], {17}, 21, bytes([2, 1, 1, 0, 1])))
# v3: mix 0.5; wid high drawn; module 3, band 2, snap, all bands; chain drv vol.
open("state_v3.bin", "wb").write(stream(3, [(0, 0.5)], {20}, 21,
                                        bytes([3, 2, 1, 1, 0]) + struct.pack("<I", 7) + b"drv vol"))
