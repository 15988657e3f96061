#!/usr/bin/env bash
# make_fixtures.sh OUT_DIR AMR_TONE_TOOL
# Writes the test media and the player's demo clip into OUT_DIR. Every clip is
# a few seconds long so that the build stays fast. Next to some clips it writes
# per-picture checksums of ffmpeg's own decode (NAME.PIXFMT.framemd5, time
# stamps in the track's time base) that the tests compare against.
set -euo pipefail
out=$1
amr_tone=$2
mkdir -p "$out"
cd "$out"

ff() { ffmpeg -hide_banner -nostdin -loglevel error -y "$@"; }
meta=(-metadata title="Fixture clip" -metadata date=2026-12-06
      -metadata copyright="Korvello test media" -metadata description="Test pattern with tone")

# MPEG-4 Simple profile QCIF, AAC-LC stereo 44.1 kHz, text metadata; track
# time scale 25 (one unit per picture).
ff -f lavfi -i testsrc=size=176x144:rate=25:duration=3 \
   -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=3" \
   -map 0:v -map 1:a -c:v mpeg4 -profile:v 0 -bf 0 -g 12 -q:v 4 -video_track_timescale 25 \
   -c:a aac -ac 2 -b:a 64k "${meta[@]}" mpeg4_aac.mp4

# MPEG-4 with B-frames (presentation order differs from decode order), 320x240,
# AAC mono.
ff -f lavfi -i testsrc2=size=320x240:rate=25:duration=3 \
   -f lavfi -i "sine=frequency=660:sample_rate=22050:duration=3" \
   -map 0:v -map 1:a -c:v mpeg4 -bf 2 -g 15 -q:v 4 -c:a aac -ac 1 -b:a 32k mpeg4_bframes.mp4

# AMR tones made with the AMR encoder libraries.
"$amr_tone" tone_nb.amr nb 3 500
"$amr_tone" tone_wb.amr wb 2 1000

# H.263 QCIF with AMR-NB in 3GP.
ff -f lavfi -i testsrc=size=176x144:rate=15:duration=3 -i tone_nb.amr \
   -map 0:v -map 1:a -c:v h263 -g 15 -q:v 5 -c:a copy -f 3gp h263_amrnb.3gp

# AMR-WB only, and AAC only.
ff -i tone_wb.amr -c:a copy -f 3gp amrwb_only.3gp
ff -f lavfi -i "sine=frequency=330:sample_rate=48000:duration=2" -c:a aac -ac 2 -b:a 64k \
   -metadata title="Only sound" aac_only.mp4

# Non-square pixels: 176x144 pictures meant to be shown at 16:9 (256x144).
ff -f lavfi -i testsrc=size=176x144:rate=25:duration=1 -c:v mpeg4 -bf 0 -q:v 5 -aspect 16:9 \
   anamorphic.mp4

# NTSC-style timing: time scale 30000 with pictures 1001 apart, and time scale
# 2997 with pictures 100 apart.
ff -f lavfi -i testsrc=size=176x144:rate=30000/1001:duration=2 -c:v mpeg4 -bf 0 -g 10 -q:v 5 \
   -video_track_timescale 30000 ntsc_30000.mp4
ff -f lavfi -i testsrc=size=176x144:rate=2997/100:duration=2 -c:v mpeg4 -bf 0 -g 10 -q:v 5 \
   -video_track_timescale 2997 ntsc_2997.mp4

# Several tracks: an unsupported video track (Motion JPEG), two MPEG-4 video
# tracks (the first is played), two AAC tracks (the last is played).
ff -f lavfi -i testsrc=size=96x64:rate=10:duration=1 -f lavfi -i testsrc=size=176x144:rate=25:duration=1 \
   -f lavfi -i testsrc=size=320x240:rate=25:duration=1 \
   -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=1" \
   -f lavfi -i "sine=frequency=880:sample_rate=22050:duration=1" \
   -map 0:v -map 1:v -map 2:v -map 3:a -map 4:a -c:v:0 mjpeg -c:v:1 mpeg4 -c:v:2 mpeg4 \
   -c:a:0 aac -ac:a:0 2 -c:a:1 aac -ac:a:1 1 many_tracks.mp4

# A file cut in the middle of its media data (index first, so it still opens).
ff -i mpeg4_aac.mp4 -c copy -movflags +faststart faststart.mp4
size=$(stat -c %s faststart.mp4)
head -c $((size * 6 / 10)) faststart.mp4 > truncated.mp4
rm -f faststart.mp4

# Picture sizes that are not multiples of 16: 8 mod 16, very small, odd;
# and 64x48, whose rows are whole 64-byte blocks in every packed format.
# Ten pictures each, a key picture every five.
for size in 40x24 120x72 360x200 2x2 8x6 14x10 41x31 33x17 64x48; do
  ff -f lavfi -i "testsrc=size=$size:rate=25:duration=0.4" -c:v mpeg4 -bf 0 -g 5 -q:v 6 \
     -video_track_timescale 25 "size_$size.mp4"
  pixfmts="bgr24 bgra"
  w=${size%x*}; h=${size#*x}
  # Odd sizes: our planar and packed YUV drop the half chroma sample that
  # ffmpeg's rounding keeps, so only RGB compares byte for byte.
  if [ $((w % 2)) -eq 0 ] && [ $((h % 2)) -eq 0 ]; then pixfmts="yuv420p yuyv422 $pixfmts"; fi
  for pix in $pixfmts; do
    ff -threads 1 -i "size_$size.mp4" -map 0:v -fps_mode passthrough -enc_time_base:v -1 -pix_fmt "$pix" \
       -f framemd5 "size_$size.mp4.$pix.framemd5"
  done
done

# An edit list that starts inside a group of pictures (a stream copy cut
# at 0.5 s keeps the key picture at 0.48 s and tells players to start at
# 0.5 s), with the AAC encoder delay left out as usual.
ff -ss 0.5 -i mpeg4_aac.mp4 -c copy edit_midgop.mp4
# ffmpeg's decode of the sound, honouring the edit lists.
for clip in aac_only.mp4 edit_midgop.mp4; do
  ff -i "$clip" -map 0:a -f s16le "$clip.s16le"
done

# Reference decodes: one checksum per picture in presentation order.
for clip in mpeg4_aac.mp4 mpeg4_bframes.mp4 h263_amrnb.3gp ntsc_30000.mp4 edit_midgop.mp4; do
  for pix in yuv420p yuyv422 bgr24 bgra; do
    ff -threads 1 -i "$clip" -map 0:v -fps_mode passthrough -enc_time_base:v -1 -pix_fmt "$pix" \
       -f framemd5 "$clip.$pix.framemd5"
  done
done

# Seeds for the MP4 source's fuzz target (fuzz-seeds/mp4/): tiny files of
# each kind, each behind one byte that chooses output format and post-filter.
mkdir -p fuzz-seeds/mp4
tiny() { ff "$@" -fflags +bitexact -map_metadata -1; }
tiny -f lavfi -i testsrc=size=16x16:rate=5:duration=0.6 -c:v mpeg4 -g 2 -q:v 10 seed_mpeg4.mp4
tiny -f lavfi -i testsrc=size=16x16:rate=5:duration=0.8 -c:v mpeg4 -bf 1 -g 3 -q:v 10 seed_bframes.mp4
tiny -f lavfi -i "sine=frequency=440:sample_rate=8000:duration=0.2" -c:a aac -ac 1 -b:a 8k seed_aac.mp4
tiny -f lavfi -i testsrc=size=128x96:rate=5:duration=0.2 -c:v h263 -q:v 31 seed_h263.3gp
tiny -f lavfi -i testsrc=size=16x16:rate=5:duration=0.4 -f lavfi -i "sine=sample_rate=8000:duration=0.4" \
     -c:v mpeg4 -q:v 20 -c:a aac -b:a 8k -ac 1 seed_both.mp4
control=0
for clip in seed_mpeg4.mp4 seed_bframes.mp4 seed_aac.mp4 seed_h263.3gp seed_both.mp4; do
  { printf "\\$(printf %03o $((control * 5 % 16)))"; cat "$clip"; } > "fuzz-seeds/mp4/$clip"
  control=$((control + 1))
  rm -f "$clip"
done

# The player's demo clip: test pattern, a tone, and metadata whose description
# ends in the encoder's mark.
ff -f lavfi -i testsrc=size=320x240:rate=25:duration=10 \
   -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=10" \
   -map 0:v -map 1:a -c:v mpeg4 -bf 0 -g 25 -q:v 4 -c:a aac -ac 2 -b:a 96k \
   -metadata title="strevana demo" -metadata date=2026 -metadata copyright="Korvello" \
   -metadata description="Test pattern and a 440 Hz tone; strevana encoded" demo.mp4
rm -f tone_nb.amr tone_wb.amr
