#!/usr/bin/env bash
# Frames per second of the `quorvanta` GStreamer element turning an audio file
# into H.264 + AAC in MP4 at 1280x720, 60 fps, against `quorvanta render` of
# the same file with the same x264 settings (superfast, quality 23), run
# alternately in the same session. Prints each run and the ratio of the
# medians (element / program).
#
# Usage: bench/gst/element_vs_program.sh BUILD_DIR [AUDIO_FILE] [RUNS]
#   BUILD_DIR   a build tree with the program and the element (build/)
#   AUDIO_FILE  default: 20 s of two tones made with audiotestsrc
#   RUNS        runs of each, default 3
set -euo pipefail
build=$(cd "$1" && pwd)
runs=${3:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export GST_PLUGIN_PATH=$build/gst GST_REGISTRY=$work/registry.bin

audio=${2:-}
if [ -z "$audio" ]; then
  audio=$work/tones.wav
  gst-launch-1.0 -q audiotestsrc wave=sine freq=110 num-buffers=862 samplesperbuffer=1024 \
    ! audio/x-raw,rate=44100,channels=2 ! wavenc ! filesink location="$audio"
fi

program() { "$build/bin/quorvanta" render "$audio" -o "$work/program.mp4" -q --preset superfast --crf 23; }
element() {
  gst-launch-1.0 -q filesrc location="$audio" ! decodebin ! tee name=t \
    t. ! queue ! audioconvert ! audioresample ! quorvanta \
       ! video/x-raw,width=1280,height=720,framerate=60/1 ! videoconvert \
       ! x264enc speed-preset=superfast pass=qual quantizer=23 ! mp4mux name=mux ! filesink location="$work/element.mp4" \
    t. ! queue ! audioconvert ! avenc_aac ! mux.
}
frames() { ffprobe -v error -select_streams v -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$1"; }
seconds() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null; t1=$(date +%s.%N); echo "$t1 - $t0" | bc -l; }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

: >"$work/program.fps"
: >"$work/element.fps"
for run in $(seq "$runs"); do
  tp=$(seconds program); np=$(frames "$work/program.mp4")
  te=$(seconds element); ne=$(frames "$work/element.mp4")
  fp=$(echo "$np / $tp" | bc -l); fe=$(echo "$ne / $te" | bc -l)
  printf 'run %d: program %d frames %.1f fps, element %d frames %.1f fps\n' "$run" "$np" "$fp" "$ne" "$fe"
  echo "$fp" >>"$work/program.fps"
  echo "$fe" >>"$work/element.fps"
done
mp=$(median <"$work/program.fps"); me=$(median <"$work/element.fps")
printf 'median: program %.1f fps, element %.1f fps, element / program = %.2f\n' "$mp" "$me" "$(echo "$me / $mp" | bc -l)"
