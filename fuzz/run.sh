#!/usr/bin/env bash
# Builds the fuzz target of the picture loader (clang 14, libFuzzer, ASan, UBSan) and runs it
# for the given number of seconds, starting from small generated pictures (and from the
# files of the corpus folder VARNEL_CORPUS, when it is set).
#
#   fuzz/run.sh [SECONDS]            default 60; the build goes to build-fuzz, or $VARNEL_FUZZ_BUILD
#
# Exits non-zero when the fuzzer finds a crash, a leak, a timeout or an out-of-memory input;
# the input is left in the build folder's findings/ and can be replayed with
#   build-fuzz/fuzz_picture build-fuzz/findings/crash-...
set -euo pipefail
seconds="${1:-60}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VARNEL_FUZZ_BUILD:-$here/build-fuzz}"
cc="${CC:-clang-14}"
cxx="${CXX:-clang++-14}"

# Line tables only: enough for the file and line of a finding, and a quicker build.
cmake -S "$here/fuzz" -B "$build" -G Ninja -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
    >/dev/null
ninja -C "$build" fuzz_picture

seeds="$build/seeds"
corpus="$build/corpus"
findings="$build/findings"
mkdir -p "$corpus" "$findings"
rm -rf "$seeds"
VARNEL_FUZZ_SEEDS="$seeds" "$build/fuzz_picture"
# Seeds of the formats read through their own libraries, made by ImageMagick from a BMP seed.
if command -v convert >/dev/null; then
    bmp=$seeds/rgb24.bmp
    convert "$bmp" PNG24:"$seeds/rgb.png"
    convert "$bmp" PNG8:"$seeds/palette.png"
    convert "$bmp" -depth 16 -interlace PNG PNG64:"$seeds/interlaced.png"
    convert "$bmp" -compress zip "$seeds/strips.tiff"
    convert "$bmp" -define tiff:tile-geometry=16x16 -orient RightTop "$seeds/tiles.tiff"
    convert "$bmp" -colorspace CMYK "$seeds/cmyk.tiff"
    convert "$bmp" -quality 80 "$seeds/lossy.webp"
    convert "$bmp" -define webp:lossless=true "$seeds/lossless.webp"
fi
if [ -n "${VARNEL_CORPUS:-}" ] && [ -d "$VARNEL_CORPUS" ]; then
    # Every file, whatever its name: the loader tells the formats by their content.
    find "$VARNEL_CORPUS" -type f -size -256k -exec cp -t "$seeds" {} +
fi

# The markers and tags of the formats, for the mutations.
dict="$build/picture.dict"
cat >"$dict" <<'EOF'
"\xFF\xD8\xFF"
"\xFF\xC0"
"\xFF\xC1"
"\xFF\xC2"
"\xFF\xC4"
"\xFF\xCC"
"\xFF\xD9"
"\xFF\xDA"
"\xFF\xDB"
"\xFF\xDD"
"\xFF\xE0"
"\xFF\xE1"
"\xFF\xEE"
"\xFF\xD0"
"Exif\x00\x00"
"II*\x00"
"MM\x00*"
"\x12\x01"
"BM"
"\x28\x00\x00\x00"
"\x6C\x00\x00\x00"
"\x7C\x00\x00\x00"
"\x01\x00\x18\x00"
"\x01\x00\x20\x00"
"\x03\x00\x00\x00"
"GIF87a"
"GIF89a"
"!\xF9\x04"
"!\xFF\x0BNETSCAPE2.0"
"!\xFE"
","
";"
"\xFF\xFF"
"\x00\x00\x00\x80"
"ftyp"
"heic"
"avif"
"mif1"
"meta"
"pitm"
"iloc"
"iinf"
"infe"
"iref"
"dimg"
"thmb"
"ipco"
"ipma"
"ispe"
"irot"
"imir"
"hvcC"
"av1C"
"colr"
"idat"
"grid"
"\xFF\x0A"
"\x00\x00\x00\x0CJXL \x0D\x0A\x87\x0A"
"jxlc"
EOF

echo "fuzz: $seconds s, seeds in $seeds, corpus in $corpus, findings in $findings"
status=0
"$build/fuzz_picture" "$corpus" "$seeds" \
    -dict="$dict" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=3072 -max_len=262144 \
    -artifact_prefix="$findings/" -print_final_stats=1 || status=$?
found=$(find "$findings" -type f -newer "$dict" | wc -l)
if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
    echo "fuzz: FINDINGS ($found new) in $findings" >&2
    exit 1
fi
echo "fuzz: nothing found in $seconds s"
