#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer and AddressSanitizer, and
# runs each for a bounded time over its seed corpus.
#
#   fuzz/run-fuzzers.sh [SECONDS_PER_TARGET]     default 30
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
out=build-fuzz
mkdir -p "$out/include/kalvo" "$out/corpus"
# The targets compile a few library sources directly, without the rest of
# the library; they need the export macro only.
cat > "$out/include/kalvo/kalvo_export.h" <<'HEADER'
#pragma once
#define KALVO_EXPORT
#define KALVO_NO_EXPORT
HEADER

cxx=clang++-14
flags=(-std=c++20 -DQT_NO_KEYWORDS -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -fPIC
       -Iinclude -I"$out/include" -Isrc $(pkg-config --cflags Qt6Core Qt6Gui Qt6Widgets cairo))
libs=($(pkg-config --libs Qt6Core Qt6Gui Qt6Widgets cairo))

build() {
  local name=$1; shift
  if [ ! -x "$out/$name" ] || [ -n "$(find "$@" -newer "$out/$name" 2>/dev/null)" ]; then
    echo "fuzz: building $name"
    "$cxx" "${flags[@]}" "$@" -o "$out/$name" "${libs[@]}"
  fi
}

build color_parsers_fuzz fuzz/color_parsers_fuzz.cpp src/theme/color_parsers.cpp
build property_list_fuzz fuzz/property_list_fuzz.cpp src/platform/property_list.cpp
build svg_fuzz fuzz/svg_fuzz.cpp src/kit/svg/engine/*.cpp src/theme/color_parsers.cpp
build html_snippet_fuzz fuzz/html_snippet_fuzz.cpp src/kit/html/html_snippet.cpp src/kit/html/html_snippet_tokenizer.cpp src/kit/html/html_snippet_runs.cpp src/kit/html/html_snippet_strings.cpp src/kit/html/styledtext.cpp

run() {
  local name=$1 log="$out/$1.log"; shift
  mkdir -p "$out/corpus/$name" "$out/findings"
  echo "fuzz: $name for ${seconds}s"
  if ! "$out/$name" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=1024 \
      -print_final_stats=1 -artifact_prefix="$out/findings/" "$out/corpus/$name" "$@" > "$log" 2>&1; then
    cat "$log"
    echo "fuzz: $name found a problem; the input is in $out/findings/"
    return 1
  fi
  grep -E '^stat::number_of_executed_units' "$log" || true
}

run color_parsers_fuzz fuzz/corpus/color
run property_list_fuzz fuzz/corpus/plist
run svg_fuzz fuzz/corpus/svg resources/icons
run html_snippet_fuzz fuzz/corpus/html
