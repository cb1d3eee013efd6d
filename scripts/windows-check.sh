#!/usr/bin/env bash
# Compiles every source file of src/ for Windows (the POSIX file of src/platform left out):
# the MinGW-w64 cross compiler, syntax only, our warnings as errors, against this system's Qt
# headers. A POSIX call or header outside src/platform's POSIX file, a branch on _WIN32
# outside src/platform, or a Windows file that does not compile, fails the run. Nothing is
# linked or run: whether the Windows programs link, start and work is not shown here.
# Installs the cross compiler when it is missing. The version header comes from the build
# folder (BUILD_DIR, default build/), which is configured when it has none.
set -euo pipefail
cd "$(dirname "$0")/.."
# The compiler with the thread model of the MinGW builds Qt is offered in (std::thread
# and std::mutex as on Windows' own compiler).
cxx=x86_64-w64-mingw32-g++-posix
command -v "$cxx" >/dev/null || scripts/setup.sh --deps-only g++-mingw-w64-x86-64
build="${BUILD_DIR:-build}"
if [ ! -f "$build/generated/PixlaneVersion.h" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${CMAKE_EXTRA:-} >/dev/null
fi
qt="$(qtpaths6 --query QT_INSTALL_HEADERS)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# MinGW-w64 brings POSIX headers of its own that Windows' own compiler does not have; here
# they fail as they would there. (pthread.h, sched.h and semaphore.h stay: the C++ library
# builds std::thread on them.)
mkdir -p "$work/posix-only/sys"
for h in unistd.h dirent.h getopt.h libgen.h strings.h sys/file.h sys/param.h sys/time.h utime.h; do
    echo "#error \"<$h> gibt es unter Windows nicht\"" >"$work/posix-only/$h"
done

flags=(-std=c++20 -fsyntax-only -Wall -Wextra -Werror
    # What Qt's CMake defines for every Windows target.
    -DUNICODE -D_UNICODE
    # src/ only: the simulator (sim/) exists only where pseudo-terminals do, and
    # PIXLANE_HAVE_DEMO is not defined, so src/ must not reach it.
    -I"$work/posix-only" -Isrc -I"$build/generated"
    # Qt's headers as system headers, as the build takes them: their warnings are not ours
    # (on Windows they would warn of their own dllimport declarations).
    -isystem "$qt" -isystem "$qt/QtCore" -isystem "$qt/QtGui" -isystem "$qt/QtWidgets"
    -isystem "$qt/QtSerialPort" -isystem "$qt/QtNetwork")

# First the check itself: a POSIX header or call outside its #ifdef must fail it.
printf '#include <unistd.h>\n' >"$work/probe-header.cpp"
printf '#include <cstdio>\nint Sync() { return ::fsync(1); }\n' >"$work/probe-call.cpp"
for probe in "$work"/probe-*.cpp; do
    if "$cxx" "${flags[@]}" "$probe" >/dev/null 2>&1; then
        echo "FEHLER: die Prüfung nimmt $(basename "$probe") an; sie fände keinen POSIX-Aufruf" >&2
        exit 1
    fi
done

# The system's own calls stand in src/platform, one file per system: the POSIX one is not
# for Windows, and no other file may branch on the system.
if grep -rlE '^\s*#\s*(if|ifdef|ifndef|elif).*_WIN32' src --include='*.cpp' --include='*.h' |
    grep -v '^src/platform/' >"$work/branching"; then
    echo "FEHLER: _WIN32 außerhalb von src/platform:" $(cat "$work/branching") >&2
    exit 1
fi
mapfile -t sources < <(find src -name '*.cpp' ! -name '*Posix.cpp' | sort)
check() {
    "$cxx" "${flags[@]}" "$1" >"$work/$(tr / _ <<<"$1").log" 2>&1 || echo "$1" >>"$work/failed"
}
running=0
for f in "${sources[@]}"; do
    check "$f" &
    running=$((running + 1))
    if [ "$running" -ge "$(nproc)" ]; then
        wait -n
        running=$((running - 1))
    fi
done
wait

if [ -s "$work/failed" ]; then
    while read -r f; do
        cat "$work/$(tr / _ <<<"$f").log" >&2
    done <"$work/failed"
    echo "FEHLER: $(wc -l <"$work/failed") von ${#sources[@]} Quelldateien aus src/ für Windows" \
        "nicht übersetzbar:" $(sort "$work/failed") >&2
    exit 1
fi
echo "${#sources[@]} Quelldateien aus src/ für Windows geprüft (nur die Syntax, nichts gelinkt)" \
    "in ${SECONDS} s"
