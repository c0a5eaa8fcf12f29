#!/usr/bin/env python3
"""Writes the cue sounds shipped in resources/share, byte by byte.

  Dictalo Chime.wav  0.3 s two-tone chime, 16-bit mono PCM at 22050 Hz
  Dictalo Tune.mid   a four-note arpeggio, Standard MIDI File format 0, one track

Usage: make_cue_sounds.py [output folder]   (default: resources/share beside this
folder). The output is deterministic, so running it again gives the same files.
"""

import math
import struct
import sys
from pathlib import Path

RATE = 22050


def chime_samples():
    # Two bell-like tones, the second a fifth above the first, each with a short
    # attack and an exponential fade; the whole sound ends at 0.3 s.
    tones = [(0.000, 1046.50), (0.120, 1567.98)]  # (start in seconds, frequency)
    length = int(0.3 * RATE)
    samples = []
    for i in range(length):
        t = i / RATE
        value = 0.0
        for start, freq in tones:
            if t < start:
                continue
            age = t - start
            envelope = min(1.0, age / 0.004) * math.exp(-age * 14.0)
            value += 0.45 * envelope * (math.sin(2 * math.pi * freq * age) +
                                        0.25 * math.sin(4 * math.pi * freq * age))
        # Fade the last 10 ms so that the sound does not end in a click.
        tail = (length - i) / (0.010 * RATE)
        value *= min(1.0, tail)
        samples.append(max(-32768, min(32767, int(round(value * 32767)))))
    return samples


def wav_bytes(samples):
    data = struct.pack("<%dh" % len(samples), *samples)
    fmt = struct.pack("<HHIIHH", 1, 1, RATE, RATE * 2, 2, 16)
    return (b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(data)) + b"WAVE" +
            b"fmt " + struct.pack("<I", len(fmt)) + fmt +
            b"data" + struct.pack("<I", len(data)) + data)


def midi_bytes():
    division = 96  # ticks per quarter note
    track = bytearray()

    def event(delta, *data):
        assert delta < 128
        track.append(delta)
        track.extend(data)

    event(0, 0xFF, 0x03, 12, *b"Dictalo Tune")      # track name
    event(0, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20)    # tempo: 500000 us per quarter
    event(0, 0xC0, 8)                               # program: celesta
    event(0, 0xB0, 7, 100)                          # channel volume
    event(0, 0x90, 72, 90)                          # C5 on
    event(24, 76, 90)                               # E5 on (running data)
    event(24, 79, 90)                               # G5 on
    event(24, 84, 100)                              # C6 on
    event(72, 72, 0)                                # all four off (velocity 0)
    event(0, 76, 0)
    event(0, 79, 0)
    event(0, 84, 0)
    event(0, 0xFF, 0x2F, 0x00)                      # end of track
    header = b"MThd" + struct.pack(">IHHH", 6, 0, 1, division)
    return header + b"MTrk" + struct.pack(">I", len(track)) + bytes(track)


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "share"
    out.mkdir(parents=True, exist_ok=True)
    (out / "Dictalo Chime.wav").write_bytes(wav_bytes(chime_samples()))
    (out / "Dictalo Tune.mid").write_bytes(midi_bytes())


if __name__ == "__main__":
    main()
