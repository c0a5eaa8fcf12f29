#!/bin/bash
# Makes voice-note.wav, the short spoken sample the README's first run records
# through the file sound input: synthetic speech (espeak-ng), then sox to
# 11025 Hz, 16-bit, mono PCM with a little silence around it.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
espeak-ng -s 150 -w "$tmp/speech.wav" \
  "This is a voice note from Dictalo. Please call me back on Friday."
sox "$tmp/speech.wav" -r 11025 -b 16 -c 1 -e signed-integer voice-note.wav pad 0.3 0.3
soxi voice-note.wav
