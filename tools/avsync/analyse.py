#!/usr/bin/env python3
"""analyse.py CAPTURE.mkv: audio-video offsets of a flash-and-beep capture.

The clip shows one white picture at the start of every second (the first
picture whose time is at or after it) and starts a 1 kHz beep at that
picture's own time stamp. The capture holds the screen region and the
sound server's monitor, recorded by one ffmpeg process with wall-clock time
stamps, so both share one clock. Prints one line per event and a summary:
offset = when the beep was heard - when the flash was seen; positive means the
sound trails the picture.
"""
import math
import re
import subprocess
import sys


def ffmpeg_lines(args):
    run = subprocess.run(["ffmpeg", "-hide_banner", "-nostdin", "-copyts"] + args,
                         capture_output=True, text=True)
    return (run.stdout + run.stderr).splitlines()


# Time stamps are wall-clock times since 1970: far too large for ffmpeg's
# printed seconds, so the integer stamps are read: pictures in Matroska's
# milliseconds, sound in samples at 48 kHz (after resampling).
VIDEO_TIME_BASE = 0.001
AUDIO_TIME_BASE = 1 / 48000


def onsets(values, threshold, quiet_before):
    """Times at which a series rises above threshold after quiet_before s below it."""
    found, last_loud = [], None
    for t, v in values:
        if v > threshold:
            if last_loud is None or t - last_loud > quiet_before:
                found.append(t)
            last_loud = t
    return found


def series(lines, key, time_base):
    """(time, value) pairs from ffmpeg's metadata printout: a "pts:N" line
    before each "KEY=VALUE" line."""
    values, t = [], None
    for line in lines:
        m = re.search(r"pts:(\d+)", line)
        if m:
            t = int(m.group(1)) * time_base
            continue
        m = re.search(re.escape(key) + r"=(-?[0-9.]+|-inf)", line)
        if m and t is not None:
            values.append((t, float(m.group(1)) if m.group(1) != "-inf" else -200.0))
    return values


def flash_onsets(capture):
    """Times at which the mean luma jumps from dark to bright."""
    lines = ffmpeg_lines(["-i", capture, "-map", "0:v", "-vf",
                          "signalstats,metadata=print:key=lavfi.signalstats.YAVG:file=-",
                          "-f", "null", "-"])
    return onsets(series(lines, "YAVG", VIDEO_TIME_BASE), 60, 0.2)


def beep_onsets(capture):
    """Starts of the beeps, to the millisecond (blocks of 1 ms at 48 kHz)."""
    lines = ffmpeg_lines(["-i", capture, "-map", "0:a", "-af",
                          "aresample=48000,asetnsamples=n=48:p=0,astats=metadata=1:reset=1,"
                          "ametadata=print:key=lavfi.astats.Overall.Peak_level:file=-",
                          "-f", "null", "-"])
    return onsets(series(lines, "Peak_level", AUDIO_TIME_BASE), -30, 0.2)


def main():
    capture = sys.argv[1]
    flashes, beeps = flash_onsets(capture), beep_onsets(capture)
    offsets = []
    for f in flashes:
        near = [b for b in beeps if abs(b - f) < 0.4]
        if not near:
            continue
        b = min(near, key=lambda x: abs(x - f))
        offsets.append((b - f) * 1000.0)
    if not offsets:
        print("no events found (flashes %d, beeps %d)" % (len(flashes), len(beeps)))
        return 1
    # The first event can fall into start-up; it is reported but not counted.
    counted = offsets[1:] if len(offsets) > 2 else offsets
    mean = sum(counted) / len(counted)
    spread = math.sqrt(sum((o - mean) ** 2 for o in counted) / len(counted))
    print("events", " ".join("%+.0f" % o for o in offsets))
    print("mean %+.1f ms  spread %.1f ms  worst %+.0f ms  (%d events)" %
          (mean, spread, max(counted, key=abs), len(counted)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
