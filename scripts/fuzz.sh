#!/usr/bin/env bash
# Builds the fuzz harnesses with clang (installed when missing) into build-fuzz/ and runs
# each for SECONDS (default 60), one after the other. Prints each harness's executions per
# second and coverage; inputs that crash, leak, hang or break a check are saved under
# fuzz-out/crashes/. New inputs the fuzzer finds go to fuzz-out/corpus/NAME (the seeds in
# fuzz/corpus/NAME are only read).
#   scripts/fuzz.sh [SECONDS] [NAME...]     e.g. scripts/fuzz.sh 600, scripts/fuzz.sh 30 modem
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
case "$seconds" in '' | *[!0-9]*) echo "Aufruf: scripts/fuzz.sh [SEKUNDEN] [NAME...]" >&2; exit 2 ;; esac

# clang and its fuzzer runtime come with the Debian packages clang and libclang-rt-*-dev.
scripts/setup.sh --deps-only clang
fuzzer_lib="$(clang++ -print-file-name=libclang_rt.fuzzer-x86_64.a 2>/dev/null || true)"
if [ ! -f "$fuzzer_lib" ]; then
    major="$(clang++ -dumpversion | cut -d. -f1)"
    scripts/setup.sh --deps-only "libclang-rt-${major}-dev"
fi

build="${FUZZ_BUILD_DIR:-build-fuzz}"
out="${FUZZ_OUT_DIR:-fuzz-out}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DPIXLANE_FUZZ=ON -DPIXLANE_BUILD_TESTS=OFF -DPIXLANE_BUILD_BENCH=OFF ${CMAKE_EXTRA:-} >/dev/null
cmake --build "$build" -j"$(nproc)"

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
    for f in fuzz/*_fuzz.cpp; do n="$(basename "$f" _fuzz.cpp)"; names+=("$n"); done
fi
mkdir -p "$out/crashes"
summary=()
failed=0
for name in "${names[@]}"; do
    bin="$build/fuzz/fuzz_$name"
    [ -x "$bin" ] || { echo "Kein Fuzzer $name ($bin fehlt)" >&2; exit 2; }
    mkdir -p "$out/corpus/$name"
    log="$out/$name.log"
    echo "== $name: $seconds s"
    set +e
    "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$out/crashes/$name-" "$out/corpus/$name" "fuzz/corpus/$name" \
        >"$log" 2>&1
    rc=$?
    set -e
    execs="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)"
    cov="$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)"
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
    if [ "$rc" -eq 0 ]; then
        result="sauber"
    else
        result="FEHLER (Eingabe: $(ls -t "$out/crashes/$name-"* 2>/dev/null | head -1), Protokoll: $log)"
        failed=1
    fi
    line="$(printf '%-10s %8s exec/s  cov: %-6s %10s Läufe  %s' "$name" "${execs:-?}" "${cov:-?}" "${runs:-?}" "$result")"
    echo "$line"
    summary+=("$line")
done
echo
echo "Ergebnis nach je $seconds s (Absturzeingaben unter $out/crashes/):"
printf '%s\n' "${summary[@]}"
exit "$failed"
