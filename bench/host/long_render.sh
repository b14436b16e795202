#!/usr/bin/env bash
# Memory and speed of `quorvanta render` against the length of the input:
# a one-minute and a one-hour FLAC (44.1 kHz stereo: a beeping tone over pink
# noise, pulsing twice a second, so the spectrum moves), each rendered to an
# MP4 at 640x360 and 30 fps. Prints the peak resident set and the frames per
# second of each: as the audio streams, the hour's memory stays close to the
# minute's.
#
# Usage: bench/host/long_render.sh BUILD_DIR [MINUTES]
#   BUILD_DIR  a build tree with the program (build/)
#   MINUTES    the long file's length, default 60
# Needs ffmpeg and GNU time. A full hour takes about ten minutes on two
# cores; the still (frame 30 of the long file) shows what a render holds
# before its first frame.
set -euo pipefail
program=$(cd "$1" && pwd)/bin/quorvanta
minutes=${2:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# FILE SECONDS
synthesize() {
  ffmpeg -nostdin -v error -y \
    -f lavfi -i "sine=frequency=220:beep_factor=4:sample_rate=44100:duration=$2" \
    -f lavfi -i "anoisesrc=color=pink:amplitude=0.3:sample_rate=44100:duration=$2" \
    -filter_complex "[0][1]amix=inputs=2,tremolo=f=2:d=0.7,aformat=channel_layouts=stereo" \
    -c:a flac "$1"
}

# LABEL FILE OUTPUT [render options]: one line of peak memory, time and,
# for a video, its frames per second.
measure() {
  local label=$1 file=$2 output=$3
  shift 3
  rm -f "$output"
  /usr/bin/time -v -o "$work/time" "$program" render "$file" -o "$output" --size 640x360 --fps 30 -q "$@" >/dev/null
  local rss wall frames=0
  rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time")
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time" |
    awk -F: '{s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s}')
  if [[ $output == *.mp4 ]]; then
    frames=$(ffprobe -v error -select_streams v -count_packets -show_entries stream=nb_read_packets \
      -of csv=p=0 "$output")
  fi
  awk -v l="$label" -v r="$rss" -v w="$wall" -v f="$frames" \
    'BEGIN { printf "%-30s peak RSS %7.1f MB  %8.1f s", l, r / 1024, w;
             if (f > 0) printf "  %6.1f frames/s", f / w; printf "\n" }'
}

synthesize "$work/minute.flac" 60
synthesize "$work/long.flac" $((minutes * 60))
measure "1 min, whole" "$work/minute.flac" "$work/out.mp4"
measure "$minutes min, still (frame 30)" "$work/long.flac" "$work/still.png" --frame 30
measure "$minutes min, whole" "$work/long.flac" "$work/out.mp4"
