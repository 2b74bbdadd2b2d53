#!/bin/sh
# Regenerates the audio fixtures: five seconds of a two-note tone (so fpcalc has
# something to fingerprint), encoded small and with no tags. The FLAC copy is
# quiet and at 8 kHz because lossless audio of a louder tone is ten times larger.
# Needs ffmpeg with libmp3lame, the native aac encoder, flac and libvorbis.
set -eu
cd "$(dirname "$0")"
tone() { # amplitude, sample rate
  echo "aevalsrc=$1*sin(2*PI*(440+220*gte(t\,2.5))*t)+$1*0.5*sin(2*PI*660*t)*gte(mod(t\,1)\,0.5):s=$2:d=5"
}
enc() { # source, output options...
  src=$1; shift
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "$src" -ac 1 -map_metadata -1 -fflags +bitexact "$@"
}
enc "$(tone 0.4 11025)" -c:a libmp3lame -b:a 32k -id3v2_version 0 -write_xing 0 tone.mp3
enc "$(tone 0.4 11025)" -c:a aac -b:a 24k -movflags +faststart tone.m4a
enc "$(tone 0.02 8000)" -c:a flac -compression_level 8 tone.flac
enc "$(tone 0.4 11025)" -c:a libvorbis -q:a 0 tone.ogg
enc "$(tone 0.4 8000)" -c:a pcm_u8 tone.wav
ls -l tone.*
