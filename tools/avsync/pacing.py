#!/usr/bin/env python3
"""pacing.py SAMPLES FPS: durations of the pictures shown, from pacing.sh's
samples (ffmpeg's metadata printout: "pts:N" in microseconds of wall-clock
time, then "lavfi.signalstats.YAVG=V").

The clip's picture n has luma 16 + 28 * (n mod 8), so each run of samples at
one level is one shown picture, and the step between levels tells whether
pictures were skipped. The first second of playback (start-up) and the last
picture are left out.
"""
import math
import sys

from analyse import series

LEVELS = 8


def level_index(yavg):
    return int(round((yavg - 16) / 28.0)) % LEVELS


def shown_pictures(samples):
    """[(start time, level index)] for each run of samples at one level. A
    lone sample between two levels is a grab that caught the window half
    redrawn (tearing), not a picture: it is left out."""
    runs = []
    for t, v in samples:
        k = level_index(v)
        if runs and runs[-1][1] == k:
            runs[-1][2] += 1
        else:
            runs.append([t, k, 1])
    whole = []
    for i, (t, k, n) in enumerate(runs):
        if n == 1 and 0 < i < len(runs) - 1:
            continue
        if whole and whole[-1][1] == k:
            continue
        whole.append((t, k))
    return whole


def main():
    with open(sys.argv[1]) as f:
        samples = series(f.read().splitlines(), "YAVG", 1e-6)
    fps = float(eval(sys.argv[2]))  # "25" or "30000/1001"
    runs = shown_pictures(samples)
    # Playback starts where the levels begin to cycle (the window is blank
    # before); leave its first second out.
    start = next((t for (t, _), (_, k) in zip(runs, runs[1:]) if k != runs[0][1]), None)
    if start is None or len(runs) < 3:
        print("no pictures found (%d samples)" % len(samples))
        return 1
    # The last run is what the window shows after the end (the last picture
    # held, or the window cleared): its start ends the last picture.
    runs = [r for r in runs if r[0] >= start + 1.0]
    durations, skipped, repeated = [], 0, 0
    for (t0, k0), (t1, k1) in zip(runs[:-1], runs[1:-1]):
        step = (k1 - k0) % LEVELS
        if step == 1:
            durations.append((t1 - t0) * 1000.0)
        elif step == 0:
            repeated += 1
        else:
            skipped += step - 1
    if len(durations) < 2:
        print("too few pictures (%d)" % len(durations))
        return 1
    mean = sum(durations) / len(durations)
    sd = math.sqrt(sum((d - mean) ** 2 for d in durations) / (len(durations) - 1))
    print("pictures %d  duration mean %.1f ms (nominal %.1f)  sd %.1f ms  min %.0f  max %.0f"
          "  skipped %d  repeated %d" % (len(durations), mean, 1000.0 / fps, sd,
                                         min(durations), max(durations), skipped, repeated))
    return 0


if __name__ == "__main__":
    sys.exit(main())
