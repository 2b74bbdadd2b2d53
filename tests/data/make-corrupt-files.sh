#!/bin/sh
# Makes damaged copies of audio files, the way disks, downloads and other
# programs damage them. Usage: make-corrupt-files.sh OUTDIR FILE...
# Each FILE's extension (mp3, flac, m4a) says how to read its layout. Every
# copy is named SOURCE~KIND~OFFSET.EXT, SOURCE being the file's own name, so a
# test knows what was done where:
#   empty    a zero-length file
#   cut      the first OFFSET bytes only
#   xor-NN   the byte at OFFSET XORed with 0xNN (headers and length fields)
#   add-NN   0xNN added to the byte at OFFSET (a length one more), modulo 256
#   sub-NN   0xNN taken from the byte at OFFSET (a length one less), modulo 256
#   set-HEX  the bytes at OFFSET overwritten with HEX (oversized lengths)
#   as-EXT   the whole file under another format's extension (OFFSET is 0)
# Needs a Debian /bin/sh (POSIX with "local"), od, dd and head.
set -eu

[ $# -ge 2 ] || { echo "usage: $0 OUTDIR FILE..." >&2; exit 2; }
out=$1
shift
mkdir -p "$out"

# --- reading and writing bytes -------------------------------------------------

byte() { # file offset -> decimal value, empty past the end
  od -An -tu1 -j "$2" -N1 "$1" | tr -d ' \n'
}

u32() { # file offset -> big-endian 32-bit value
  set -- $(od -An -tu1 -j "$2" -N4 "$1")
  [ $# -eq 4 ] || { echo 0; return; }
  echo $(( ($1 << 24) | ($2 << 16) | ($3 << 8) | $4 ))
}

u24() { # file offset -> big-endian 24-bit value
  set -- $(od -An -tu1 -j "$2" -N3 "$1")
  [ $# -eq 3 ] || { echo 0; return; }
  echo $(( ($1 << 16) | ($2 << 8) | $3 ))
}

synchsafe() { # file offset -> 28-bit value of four 7-bit bytes
  set -- $(od -An -tu1 -j "$2" -N4 "$1")
  [ $# -eq 4 ] || { echo 0; return; }
  echo $(( (($1 & 127) << 21) | (($2 & 127) << 14) | (($3 & 127) << 7) | ($4 & 127) ))
}

text4() { # file offset -> four bytes as text (for box and frame names)
  dd if="$1" bs=1 skip="$2" count=4 2>/dev/null | tr -c 'A-Za-z0-9 ' '_'
}

size_of() {
  wc -c <"$1" | tr -d ' '
}

name() { # source kind offset -> output path
  base=$(basename "$1")
  echo "$out/$base~$2~$3.${base##*.}"
}

poke() { # file offset hexbytes: overwrites in place
  f=$1; o=$2; hex=$3
  while [ -n "$hex" ]; do
    rest=${hex#??}
    pair=${hex%"$rest"}
    # shellcheck disable=SC2059
    printf "\\$(printf %03o "0x$pair")" | dd of="$f" bs=1 seek="$o" conv=notrunc 2>/dev/null
    hex=$rest
    o=$((o + 1))
  done
}

cut_at() { # source offset
  [ "$2" -gt 0 ] && [ "$2" -lt "$(size_of "$1")" ] || return 0
  target=$(name "$1" cut "$2")
  [ -e "$target" ] || head -c "$2" "$1" >"$target"
}

xor_at() { # source offset mask(hex)
  value=$(byte "$1" "$2")
  [ -n "$value" ] || return 0
  target=$(name "$1" "xor-$3" "$2")
  cp "$1" "$target"
  poke "$target" "$2" "$(printf %02x $((value ^ 0x$3)))"
}

add_at() { # source offset delta(signed decimal)
  value=$(byte "$1" "$2")
  [ -n "$value" ] || return 0
  if [ "$3" -lt 0 ]; then kind=sub-$(printf %02x $((-$3))); else kind=add-$(printf %02x "$3"); fi
  target=$(name "$1" "$kind" "$2")
  cp "$1" "$target"
  poke "$target" "$2" "$(printf %02x $(((value + $3) & 255)))"
}

set_at() { # source offset hexbytes
  [ "$2" -lt "$(size_of "$1")" ] || return 0
  target=$(name "$1" "set-$3" "$2")
  cp "$1" "$target"
  poke "$target" "$2" "$3"
}

# A length field: one off either way, garbage, and as large as it can be.
length_field() { # source offset width(bytes) maximum(hex)
  last=$(($2 + $3 - 1))
  add_at "$1" "$last" 1
  add_at "$1" "$last" -1
  xor_at "$1" "$2" 80
  xor_at "$1" "$2" ff
  set_at "$1" "$2" "$4"
}

# Truncations around each structure boundary and across the whole file.
cuts() { # source boundary...
  src=$1
  shift
  for b in "$@"; do
    for d in -1 0 1; do
      cut_at "$src" $((b + d))
    done
  done
  total=$(size_of "$src")
  for k in 1 2 3 5 8 11 13 15; do
    cut_at "$src" $((total * k / 16))
  done
  cut_at "$src" $((total - 1))
}

# --- per format --------------------------------------------------------------

mp3() {
  src=$1
  boundaries="10"
  audio=0
  if [ "$(text4 "$src" 0 | cut -c1-3)" = ID3 ]; then
    for i in 3 4 5; do xor_at "$src" $i ff; done
    length_field "$src" 6 4 7f7f7f7f
    audio=$((10 + $(synchsafe "$src" 6)))
    # Each frame: its size field and its name; then the frame data.
    at=10
    while [ $((at + 10)) -le "$audio" ] && [ "$(byte "$src" "$at")" != 0 ]; do
      xor_at "$src" "$at" 20
      length_field "$src" $((at + 4)) 4 7f7f7f7f
      size=$(synchsafe "$src" $((at + 4)))
      boundaries="$boundaries $at $((at + 10))"
      at=$((at + 10 + size))
    done
    boundaries="$boundaries $audio"
  fi
  # The first two MPEG frame headers: sync, version, layer, bit rate, rate.
  for i in 0 1 2 3; do xor_at "$src" $((audio + i)) ff; done
  xor_at "$src" $((audio + 2)) 10
  total=$(size_of "$src")
  if [ "$(text4 "$src" $((total - 128)) | cut -c1-3)" = TAG ]; then
    xor_at "$src" $((total - 128)) ff
    boundaries="$boundaries $((total - 128))"
  fi
  # shellcheck disable=SC2086
  cuts "$src" $boundaries $((audio + 4)) $((audio + 200))
}

flac() {
  src=$1
  xor_at "$src" 0 ff
  xor_at "$src" 3 01
  at=4
  boundaries="4"
  last=0
  while [ "$last" -eq 0 ]; do
    head=$(byte "$src" "$at")
    [ -n "$head" ] || break
    last=$((head >> 7))
    length=$(u24 "$src" $((at + 1)))
    xor_at "$src" "$at" 80  # the last-block flag
    xor_at "$src" "$at" 7f  # the block type
    length_field "$src" $((at + 1)) 3 ffffff
    at=$((at + 4 + length))
    boundaries="$boundaries $at"
  done
  # The first frame header after the metadata.
  for i in 0 1 2 3; do xor_at "$src" $((at + i)) ff; done
  # shellcheck disable=SC2086
  cuts "$src" $boundaries $((at + 2)) $((at + 16))
}

MP4_CONTAINERS=" moov trak mdia minf stbl udta meta ilst dinf edts stsd "

mp4_boxes() { # source start end (recursive, hence the locals)
  local src at size type skip
  src=$1
  at=$2
  while [ $((at + 8)) -le "$3" ]; do
    size=$(u32 "$src" "$at")
    type=$(text4 "$src" $((at + 4)))
    [ "$size" -ge 8 ] || break
    length_field "$src" "$at" 4 ffffffff
    set_at "$src" "$at" 00000000
    set_at "$src" "$at" 00000001
    xor_at "$src" $((at + 4)) 20
    boundaries="$boundaries $at"
    case $type in
      stco|co64)
        # The entry count: a table that claims more than the box holds.
        set_at "$src" $((at + 12)) 7fffffff
        ;;
    esac
    case $MP4_CONTAINERS in
      *" $type "*)
        skip=0
        [ "$type" = meta ] && skip=4
        [ "$type" = stsd ] && skip=8
        mp4_boxes "$src" $((at + 8 + skip)) $((at + size))
        ;;
    esac
    at=$((at + size))
  done
  boundaries="$boundaries $at"
}

m4a() {
  src=$1
  boundaries=""
  mp4_boxes "$src" 0 "$(size_of "$src")"
  # shellcheck disable=SC2086
  cuts "$src" $boundaries
}

for src in "$@"; do
  base=$(basename "$src")
  ext=${base##*.}
  : >"$(name "$src" empty 0)"
  for other in mp3 flac m4a ogg; do
    [ "$other" = "$ext" ] || cp "$src" "$out/$base~as-$other~0.$other"
  done
  case $ext in
    mp3) mp3 "$src" ;;
    flac) flac "$src" ;;
    m4a|mp4|m4p) m4a "$src" ;;
    *) echo "$0: no layout known for $src" >&2; exit 1 ;;
  esac
done
