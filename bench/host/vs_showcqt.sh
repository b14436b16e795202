#!/usr/bin/env bash
# `quorvanta render` against FFmpeg's own music visualization: the same audio
# file rendered at 1280x720 and 60 fps with the program's default settings,
# and by `ffmpeg -filter_complex showcqt` at the same size and rate with the
# same x264 preset and quality and the same AAC bit rate, one after the other
# in one run. Prints each one's wall and CPU time and file size, and the
# ratio of the wall times (the program's over ffmpeg's).
#
# Usage: bench/host/vs_showcqt.sh BUILD_DIR [FILE] [-- RENDER_OPTIONS...]
#   BUILD_DIR  a build tree with the program (build-rel/ for figures)
#   FILE       the music; default: a 3:15 piece synthesized here (120 bpm:
#              kick, snare, hats, a saw bass on the chord roots A F C G, a
#              pad and a lead, in sections from intro to fade-out, 44.1 kHz
#              stereo FLAC; about a minute of CPU to make)
#   RENDER_OPTIONS  more options for `quorvanta render` (e.g. --smooth 4)
# With PERF=1, the render runs under `perf record` too (a third run), and
# the CPU it took is shared out by where it ran: x264, the software GL and
# everything else, which is what the program adds beyond the encoder.
# Needs ffmpeg, GNU time and (for PERF=1) perf.
set -euo pipefail
program=$(cd "$1" && pwd)/bin/quorvanta
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
song=""
if [[ $# -gt 0 && $1 != -- ]]; then
  song=$1
  shift
fi
[[ $# -gt 0 && $1 == -- ]] && shift
preset=superfast crf=23 # the program's defaults (host/video/mp4_writer.h)

# FILE SECONDS: the synthesized piece.
synthesize() {
  local s=$2
  local root='(if(eq(mod(floor(t/2),4),0),55,if(eq(mod(floor(t/2),4),1),43.65,if(eq(mod(floor(t/2),4),2),65.41,49))))'
  local b='mod(t,0.5)' # time within the beat
  local kick="0.9*sin(2*PI*(45*t+110/28*(1-exp(-28*$b))))*exp(-7*$b)"
  local snare="if(eq(mod(floor(t/0.5),2),1),0.5*random(1)*exp(-18*$b)+0.4*sin(2*PI*185*t)*exp(-30*$b),0)"
  local hat="0.15*(random(2)-0.5)*exp(-60*mod(t,0.25))"
  local bass="0.35*(2*mod($root*2*t,1)-1)*exp(-6*mod(t,0.25))"
  local pad="0.08*(sin(2*PI*$root*4*t)+sin(2*PI*$root*4*1.2599*t+0.3)+sin(2*PI*$root*4*1.4983*t+0.7)+sin(2*PI*$root*8.02*t))"
  local lead="0.12*sin(2*PI*$root*16*(1+0.5*eq(mod(floor(t/0.25),3),1)+0.25*eq(mod(floor(t/0.25),5),2))*t)*exp(-5*mod(t,0.25))"
  # intro 0-16 s pad and hats; verses 16-64 and 112-144; choruses with the
  # lead 64-96 and 144-180; a break of pad and bass 96-112; fade from s-15.
  local drums="(between(t,16,96)+between(t,112,180))" lead_on="(between(t,64,96)+between(t,144,180))"
  local mix="($kick+$snare)*$drums+$hat*(between(t,0,96)+between(t,112,$s))+$bass*between(t,16,180)+$pad+$lead*$lead_on"
  local fade="if(lt(t,$((s - 15))),1,($s-t)/15)"
  ffmpeg -nostdin -v error -y -f lavfi -i "aevalsrc=exprs='0.6*($mix)*$fade|0.6*($mix)*$fade':s=44100:d=$s" \
    -af alimiter=limit=0.9 -c:a flac "$1"
}

# LABEL OUTPUT COMMAND...: runs it under GNU time; prints one line and sets
# `wall` to its wall time in seconds.
measure() {
  local label=$1 output=$2
  shift 2
  rm -f "$output"
  /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
  read -r wall user sys <"$work/time"
  awk -v l="$label" -v w="$wall" -v c="$(echo "$user + $sys" | bc)" -v b="$(stat -c %s "$output")" \
    'BEGIN { printf "%-22s wall %7.1f s  CPU %7.1f s  %6.1f MB\n", l, w, c, b / 1e6 }'
}

if [[ -z $song ]]; then
  song=$work/song.flac
  synthesize "$song" 195
fi
echo "$(nproc) cores: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'); load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "$("$program" --version | tail -1); x264 $preset, crf $crf, 1280x720 at 60 fps, $(basename "$song")" \
  "($(ffprobe -v error -show_entries format=duration -of csv=p=0 "$song" | cut -d. -f1) s)"
measure "quorvanta render" "$work/q.mp4" "$program" render "$song" -o "$work/q.mp4" -q "$@"
ours=$wall
measure "ffmpeg showcqt" "$work/f.mp4" ffmpeg -nostdin -v error -y -i "$song" \
  -filter_complex "[0:a]showcqt=s=1280x720:r=60[v]" -map "[v]" -map 0:a \
  -c:v libx264 -preset $preset -crf $crf -pix_fmt yuv420p -c:a aac -b:a 192k "$work/f.mp4"
awk -v a="$ours" -v b="$wall" 'BEGIN { printf "wall-time ratio, quorvanta / showcqt: %.2f\n", a / b }'

if [[ ${PERF:-0} == 1 ]]; then
  perf record -q -F 499 -o "$work/perf.data" -- "$program" render "$song" -o "$work/q.mp4" -q "$@" >/dev/null 2>&1
  # Samples per shared object: x264's, the software GL's (Mesa's driver and
  # the code it compiles at run time, which perf cannot name), the rest.
  perf report -i "$work/perf.data" --sort dso --stdio 2>/dev/null | awk '
    /^ +[0-9.]+%/ { p = $1 + 0; d = $2
      if (d ~ /x264/) enc += p; else if (d ~ /swrast|llvmpipe|gallium|LLVM|unknown|JIT|perf-/) gl += p; else rest += p
      if (p >= 1) printf "  %6.2f%%  %s\n", p, d }
    END { printf "CPU: x264 %.0f%%, software GL %.0f%%, everything else %.0f%%; outside the encoder %.0f%%\n",
          enc, gl, rest, gl + rest }'
fi
