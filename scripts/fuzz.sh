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

# Seeds of the messages (selector 1), WeChat (2) and contacts (3) scanners.
make_kind_seed() {  # selector byte (octal), name, sql
  local db="$work/$2.db"
  sqlite3 "$db" "PRAGMA page_size=512; PRAGMA secure_delete=OFF; PRAGMA journal_mode=DELETE; $3" >/dev/null
  { printf "\\$1"; cat "$db"; } >"$seeds/$2"
}
sms="CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL,
  text TEXT, handle_id INTEGER DEFAULT 0, attributedBody BLOB, type INTEGER DEFAULT 0, service TEXT,
  date INTEGER, is_from_me INTEGER DEFAULT 0);
  CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT, chat_identifier TEXT);
  CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER, PRIMARY KEY (chat_id, message_id));
  INSERT INTO chat (guid, chat_identifier) VALUES ('g1', '+8613800138000'), ('g2', 'a@b.cn');"
rows=""
for i in $(seq 1 10); do
  rows+="INSERT INTO message (guid, text, attributedBody, type, service, date) VALUES ('m$i',
    'text $i', x'040b73747265616d', $((i % 4)), 'SMS', $((400000000 + i)));
    INSERT INTO chat_message_join VALUES ($((i % 2 + 1)), last_insert_rowid());"
done
make_kind_seed 001 messages "$sms $rows DELETE FROM message WHERE ROWID % 3 = 0;"
make_kind_seed 001 messages_no_chat "CREATE TABLE message (ROWID INTEGER PRIMARY KEY, guid TEXT,
  type INTEGER, date INTEGER, text TEXT); INSERT INTO message (guid, type, date, text) VALUES ('g', 1, 5, 'x');"
wx="CREATE TABLE Friend (UsrName text, NickName text);
  CREATE TABLE Chat_0b4e7a0e5fe84ad35fb5f95b9ceeac79(TableVer integer default 1 ,MesLocalID integer
  primary key autoincrement ,MesSvrID integer default 0 ,CreateTime integer default 0 ,Message text
  ,Status integer default 0 ,ImgStatus integer default 0 ,Type integer ,Des integer);"
rows=""
for i in $(seq 1 10); do
  rows+="INSERT INTO Chat_0b4e7a0e5fe84ad35fb5f95b9ceeac79 (MesSvrID, CreateTime, Message, Status,
    Type, Des) VALUES ($i, $((1500000000 + i)), '<msg><voicemsg voicelength=\"$((i * 700))\" /></msg>',
    $((i % 2 * 2 + 2)), 34, 0);"
done
make_kind_seed 002 wechat "$wx $rows DELETE FROM Chat_0b4e7a0e5fe84ad35fb5f95b9ceeac79 WHERE MesLocalID % 3 = 0;"
ab="CREATE VIRTUAL TABLE ABPersonFullTextSearch USING fts4(First, Last, Middle, FirstPhonetic,
  MiddlePhonetic, LastPhonetic, Organization, Department, Note, Birthday, JobTitle, Nickname, Prefix,
  Suffix, DisplayName, Phone, Email, Address, SocialProfile, URL, RelatedNames, IM, Date);"
rows=""
for i in $(seq 1 8); do
  rows+="INSERT INTO ABPersonFullTextSearch (First, Last, Phone) VALUES ('F$i',
    $([ $((i % 3)) -eq 0 ] && echo NULL || echo "'L$i'"),
    '1380013800$i +86138001380$i 0086138001380$i 011861380013800$i');"
done
make_kind_seed 003 contacts "$ab $rows DELETE FROM ABPersonFullTextSearch WHERE docid % 3 = 0;"

# Seeds of the Android call log (selector 4), SMS (5), contacts (6) scanners and
# the fixed-layout SMS carver (7).
calls="CREATE TABLE calls (_id INTEGER PRIMARY KEY AUTOINCREMENT,number TEXT,
  presentation INTEGER NOT NULL DEFAULT 1,date INTEGER,duration INTEGER,type INTEGER,new INTEGER,
  name TEXT,photo_id INTEGER NOT NULL DEFAULT 0,formatted_number TEXT);"
rows=""
for i in $(seq 1 10); do
  rows+="INSERT INTO calls (number, date, duration, type, new, name) VALUES ('1380013$i',
    $((1400000000000 + i * 977000)), $((i * 60)), $((i % 4)), 0, $([ $((i % 3)) -eq 0 ] && echo NULL || echo "'name$i'"));"
done
make_kind_seed 004 android_calls "$calls $rows DELETE FROM calls WHERE _id % 3 = 0;"
asms="CREATE TABLE sms (_id INTEGER PRIMARY KEY,thread_id INTEGER,address TEXT,person INTEGER,
  date INTEGER,date_sent INTEGER DEFAULT 0,read INTEGER DEFAULT 0,status INTEGER DEFAULT -1,
  type INTEGER,body TEXT,locked INTEGER DEFAULT 0,seen INTEGER DEFAULT 0);"
rows=""
for i in $(seq 1 10); do
  rows+="INSERT INTO sms (thread_id, address, date, type, body) VALUES ($((i % 3)), '1380013$i',
    $((1400000000000 + i * 977000)), $((i % 4)), 'message $i');"
done
make_kind_seed 005 android_sms "$asms $rows DELETE FROM sms WHERE _id % 3 = 0;"
make_kind_seed 007 android_sms_fixed "$asms $rows DELETE FROM sms WHERE _id % 4 = 0;"
adata="CREATE TABLE mimetypes (_id INTEGER PRIMARY KEY AUTOINCREMENT,mimetype TEXT NOT NULL);
  INSERT INTO mimetypes (mimetype) VALUES ('vnd.android.cursor.item/phone_v2'),
  ('vnd.android.cursor.item/name');
  CREATE TABLE data (_id INTEGER PRIMARY KEY AUTOINCREMENT,package_id INTEGER,
  mimetype_id INTEGER NOT NULL,raw_contact_id INTEGER NOT NULL,is_primary INTEGER NOT NULL DEFAULT 0,
  data1 TEXT,data2 TEXT,data3 TEXT );"
rows=""
for i in $(seq 1 8); do
  rows+="INSERT INTO data (mimetype_id, raw_contact_id, data1, data2) VALUES (2, $i, 'name$i', 'n$i'),
    (1, $i, '1380013800$i', '2');"
done
make_kind_seed 006 android_contacts "$adata $rows DELETE FROM data WHERE _id % 3 = 0;"

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
