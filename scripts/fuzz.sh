#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz, makes a seed corpus
# of small databases like the test fixtures, and runs every target for a share
# of the total time given in seconds (default 60). Fails on a crash, a leak or
# a hang. Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
total=${1:-60}
build=build-fuzz
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DVELMORA_FUZZ=ON -DVELMORA_BUILD_GUI=OFF \
  -DVELMORA_BUILD_BENCH=OFF "-DCMAKE_C_FLAGS=$flags" "-DCMAKE_CXX_FLAGS=$flags" >/dev/null
targets=()
for src in tests/fuzz/*_fuzz.cpp; do targets+=("$(basename "$src" .cpp)"); done
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets"; exit 0; }
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

# Seeds: the selector byte 0 (the call scanner) followed by a small database.
seeds="$build/fuzz-seeds"
rm -rf "$seeds"
mkdir -p "$seeds"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
call_table="CREATE TABLE call (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER,
  duration INTEGER, flags INTEGER, id INTEGER, name TEXT, country_code TEXT, network_code TEXT,
  read INTEGER, assisted INTEGER, face_time_data BLOB, originalAddress TEXT);"
make_seed() {  # name, sql
  local db="$work/$1.db"
  sqlite3 "$db" "PRAGMA page_size=512; PRAGMA secure_delete=OFF; PRAGMA journal_mode=DELETE; $2" >/dev/null
  { printf '\000'; cat "$db"; } >"$seeds/$1"
}
rows=""
for i in $(seq 1 12); do
  rows+="INSERT INTO call (address, date, duration, flags, id, name, country_code, network_code,
    read, assisted, face_time_data, originalAddress) VALUES ('1380013$i', $((1400000000 + i * 977)),
    $i, $((i % 4)), -1, $([ $((i % 3)) -eq 0 ] && echo NULL || echo "'name$i'"), 'cn', '00', 1, 0,
    $([ $((i % 5)) -eq 0 ] && echo "x'0102'" || echo NULL), '1380013$i');"
done
make_seed calls "$call_table $rows DELETE FROM call WHERE ROWID % 4 = 0;"
make_seed calls_empty "$call_table"
make_seed no_call "CREATE TABLE calls (a INTEGER, b TEXT); INSERT INTO calls VALUES (1, 'x');"
make_seed one_column "CREATE TABLE call (flags INTEGER); INSERT INTO call VALUES (1);"
make_seed no_flags "CREATE TABLE call (ROWID INTEGER PRIMARY KEY, address TEXT, date INTEGER, name TEXT);
  INSERT INTO call (address, date, name) VALUES ('10086', 1400000000, 'a');"
cp "$seeds/calls" "$seeds/calls_wal"
printf '\002\002' | dd of="$seeds/calls_wal" bs=1 seek=19 conv=notrunc status=none
printf '\000SQLite format 3\000' >"$seeds/header_only"

share=$(( total / ${#targets[@]} ))
[ "$share" -ge 1 ] || share=1
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for t in "${targets[@]}"; do
  corpus="$build/fuzz-corpus-$t"
  mkdir -p "$corpus"
  echo "fuzzing $t for ${share}s"
  "$build/tests/$t" -max_total_time="$share" -timeout=20 -rss_limit_mb=2048 -max_len=16384 \
    -print_final_stats=1 "$corpus" "$seeds" 2>"$build/$t.log" || {
      tail -50 "$build/$t.log"; echo "fuzz target $t failed"; exit 1; }
  grep -E "stat::number_of_executed_units|Done" "$build/$t.log" | tail -2 || true
done
echo "fuzz run passed"
