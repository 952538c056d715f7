#!/usr/bin/env bash
# Builds the Debian package from a Release build of its own and checks what an
# administrator and an engineer will meet: the package's name and version, its files
# with their owners and modes, the launcher, the icons, the manual, the dependency list
# against the libraries the installed programs really need, the first start from the
# launcher's command for a new user (with a missing and with a renamed Documents
# folder), a start that cannot prepare the data folder, and an install to a prefix
# without a package.
#
#   check-package.sh --source <dir> --build <dir> --version <x.y.z>
#                    [--compiler <c++>] [--launcher <ccache>] [--test-build <dir>]
#
# The Release build is the slow part: minutes the first time, seconds afterwards.
set -euo pipefail

source_dir="" build_dir="" version="" compiler="" launcher="" test_build=""
while [ $# -gt 0 ]; do
    case "$1" in
        --source) source_dir=$2 ;;
        --build) build_dir=$2 ;;
        --version) version=$2 ;;
        --compiler) compiler=$2 ;;
        --launcher) launcher=$2 ;;
        --test-build) test_build=$2 ;;
        *) echo "Unknown argument: $1" >&2; exit 2 ;;
    esac
    shift 2
done
[ -n "$source_dir" ] && [ -n "$build_dir" ] && [ -n "$version" ] || {
    echo "Usage: $0 --source <dir> --build <dir> --version <x.y.z> [...]" >&2
    exit 2
}

failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}
step() { echo "== $* ($(date +%T))"; }

work=$(mktemp -d)
started=""
started_err=""
cleanup() {
    if [ -n "$started" ] && kill -0 "$started" 2>/dev/null; then
        kill "$started" 2>/dev/null || true
        wait "$started" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

step "Release build and package in $build_dir"
configure=(-S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DROCKVANE_TESTS=OFF
    -DROCKVANE_SANITIZE=OFF)
[ -n "$compiler" ] && configure+=(-DCMAKE_CXX_COMPILER="$compiler")
[ -n "$launcher" ] && configure+=(-DCMAKE_CXX_COMPILER_LAUNCHER="$launcher")
if ! cmake "${configure[@]}" >"$work/configure.log" 2>&1; then
    cat "$work/configure.log" >&2
    exit 1
fi
jobs=$(nproc 2>/dev/null || echo 2)
if ! cmake --build "$build_dir" -j"$jobs" --target package >"$work/build.log" 2>&1; then
    tail -n 60 "$work/build.log" >&2
    exit 1
fi

arch=$(dpkg --print-architecture)
deb="$build_dir/rockvane_${version}_${arch}.deb"
if [ ! -f "$deb" ]; then
    echo "FAILED: no package $deb; the build made: $(ls "$build_dir"/*.deb 2>/dev/null)" >&2
    exit 1
fi
echo "Package: $deb ($(du -k "$deb" | cut -f1) KiB)"

step "Control fields"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = rockvane ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', the project's is $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
echo "Depends: $depends"
# The package names of Depends, one a line (versions and alternatives split off).
depends_names=$(echo "$depends" | tr ',|' '\n\n' | sed -e 's/^ *//' -e 's/[ (].*//' -e '/^$/d')
depends_on() { echo "$depends_names" | grep -qx -- "$1"; }

step "Files, owners and modes"
# Every file and link of the package: mode, owner and path.
dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }' >"$work/contents"
programs=(./usr/bin/rockvane ./usr/bin/rockvane-provision ./usr/libexec/rockvane/rockvane)
files=(./usr/share/applications/rockvane.desktop
    ./usr/share/icons/hicolor/scalable/apps/rockvane.svg
    ./usr/share/icons/hicolor/48x48/apps/rockvane.png
    ./usr/share/icons/hicolor/64x64/apps/rockvane.png
    ./usr/share/icons/hicolor/128x128/apps/rockvane.png
    ./usr/share/icons/hicolor/256x256/apps/rockvane.png
    ./usr/share/doc/rockvane/RockvaneManual.pdf
    ./usr/share/man/man1/rockvane.1.gz
    ./usr/share/man/man1/rockvane-provision.1.gz)
expect_entry() { # path mode
    local line
    line=$(awk -v p="$1" '$3 == p' "$work/contents")
    if [ -z "$line" ]; then
        fail "the package lacks $1"
    elif [ "$line" != "$2 root/root $1" ]; then
        fail "$1 is '$line', expected mode $2 owned by root/root"
    fi
}
for p in "${programs[@]}"; do expect_entry "$p" -rwxr-xr-x; done
for p in "${files[@]}"; do expect_entry "$p" -rw-r--r--; done
# Nothing outside /usr: no configuration, nothing in a home folder.
outside=$(awk '$3 !~ /^\.\/(usr\/.*)?$/' "$work/contents")
[ -z "$outside" ] || fail "files outside /usr: $outside"

root="$work/root"
dpkg-deb -x "$deb" "$root"

step "Launcher, wrapper, icons and manual"
desktop="$root/usr/share/applications/rockvane.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the launcher"
grep -qx 'Exec=/usr/bin/rockvane' "$desktop" || fail "the launcher does not run /usr/bin/rockvane"
grep -qx 'Icon=rockvane' "$desktop" || fail "the launcher does not name the icon rockvane"
[ "$(head -n 1 "$root/usr/bin/rockvane")" = "#!/bin/sh" ] || fail "the wrapper is not a shell script"
sh -n "$root/usr/bin/rockvane" || fail "the wrapper's syntax"
for size in 48 64 128 256; do
    png="$root/usr/share/icons/hicolor/${size}x${size}/apps/rockvane.png"
    file -b "$png" | grep -q "^PNG image data, $size x $size," ||
        fail "$png is not a $size x $size PNG: $(file -b "$png")"
done
grep -q '<svg xmlns="http://www.w3.org/2000/svg"' \
    "$root/usr/share/icons/hicolor/scalable/apps/rockvane.svg" || fail "the SVG icon"
[ "$(head -c 4 "$root/usr/share/doc/rockvane/RockvaneManual.pdf")" = "%PDF" ] || fail "the manual"

step "Dependencies against the libraries the programs need"
# The package that owns a library, whichever of /lib and /usr/lib dpkg knows it by.
owner() {
    local path=$1 other
    case "$path" in
        /usr/*) other=${path#/usr} ;;
        *) other=/usr$path ;;
    esac
    { dpkg -S "$path" 2>/dev/null || dpkg -S "$other" 2>/dev/null; } | head -n 1 | cut -d: -f1
}
all_needed=""
for program in usr/bin/rockvane-provision usr/libexec/rockvane/rockvane; do
    needed=$(objdump -p "$root/$program" | awk '$1 == "NEEDED" { print $2 }')
    [ -n "$needed" ] || fail "$program needs no library: not a dynamic program?"
    all_needed="$all_needed $needed"
    for lib in $needed; do
        path=$(ldd "$root/$program" | awk -v l="$lib" '$1 == l { print $3 }')
        if [ -z "$path" ] || [ ! -e "$path" ]; then
            fail "$program needs $lib, which this machine does not have"
            continue
        fi
        pkg=$(owner "$path")
        if [ -z "$pkg" ]; then
            fail "$program needs $lib ($path), which no package owns"
        elif ! depends_on "$pkg"; then
            fail "$program needs $lib from $pkg, which Depends does not name"
        else
            echo "  $program: $lib from $pkg"
        fi
    done
done
# The libraries the program is built on, by name: the programs need them and Depends
# lists them.
for lib_pkg in libQt6Core.so.6:libqt6core6 libQt6Gui.so.6:libqt6gui6 \
    libQt6Widgets.so.6:libqt6widgets6 libsqlite3.so.0:libsqlite3-0; do
    lib=${lib_pkg%%:*} pkg=${lib_pkg##*:}
    echo "$all_needed" | tr ' ' '\n' | grep -qx "$lib" || fail "no program needs $lib"
    depends_on "$pkg" || fail "Depends does not name $pkg"
done
depends_on fonts-dejavu-core || fail "Depends does not name fonts-dejavu-core (the manual's font)"
if echo "$all_needed" | tr ' ' '\n' | grep -Eq '^lib(a|ub|t|l)san'; then
    fail "the programs need a sanitizer library: not a Release build"
fi

# Starts the launcher's command as a new user with the home folder given and waits until
# the data folder is prepared and the program runs; leaves its process id in $started.
start_as() { # home wrapper
    local home=$1 wrapper=$2
    mkdir -p "$home" "$home.run" "$home.tmp"
    chmod 700 "$home.run"
    env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$home.run" TMPDIR="$home.tmp" \
        LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen "$wrapper" >"$home.out" 2>"$home.err" &
    started=$!
    started_err="$home.err"
}
# Checks that the program started by start_as runs on a prepared data folder, then ends it.
expect_running_on() { # data-folder program
    local folder=$1 program=$2 waited=0
    while [ ! -f "$folder/RockvaneManual.pdf" ] && kill -0 "$started" 2>/dev/null &&
        [ $waited -lt 120 ]; do
        sleep 1
        waited=$((waited + 1))
    done
    sleep 3 # time for the program to open the database and show its window
    if ! kill -0 "$started" 2>/dev/null; then
        wait "$started" && code=0 || code=$?
        fail "the program is not running (exit code $code): $(cat "$started_err")"
    else
        local exe
        exe=$(readlink "/proc/$started/exe" || true)
        [ "$exe" = "$program" ] || fail "the running program is '$exe', not $program"
        kill "$started"
        wait "$started" 2>/dev/null || true
    fi
    started=""
    [ -f "$folder/RockvaneLODIX.mdb" ] || fail "no database in $folder"
    [ "$(head -c 15 "$folder/RockvaneLODIX.mdb" 2>/dev/null)" = "SQLite format 3" ] ||
        fail "the database in $folder is not a database"
    [ -f "$folder/RockvaneManual.pdf" ] || fail "no manual in $folder"
    [ ! -e "$folder/LODIX_logfile.txt" ] ||
        fail "the program logged an error: $(cat "$folder/LODIX_logfile.txt")"
}

step "First start from the launcher: a new user without a Documents folder"
home="$work/users/ana"
start_as "$home" "$root/usr/bin/rockvane"
expect_running_on "$home/Documents/Brackwell/Rockvane" "$root/usr/libexec/rockvane/rockvane"
database="$home/Documents/Brackwell/Rockvane/RockvaneLODIX.mdb"
before=$(stat -c '%i %s %Y' "$database" 2>/dev/null || true)
step "Second start: the same database file, kept as it was"
start_as "$home" "$root/usr/bin/rockvane"
expect_running_on "$home/Documents/Brackwell/Rockvane" "$root/usr/libexec/rockvane/rockvane"
[ "$(stat -c '%i %s %Y' "$database" 2>/dev/null || true)" = "$before" ] ||
    fail "the second start replaced or changed the database"

step "First start of a user whose Documents folder is renamed"
home="$work/users/ben"
mkdir -p "$home/.config" "$home/Dokumente"
echo 'XDG_DOCUMENTS_DIR="$HOME/Dokumente"' >"$home/.config/user-dirs.dirs"
start_as "$home" "$root/usr/bin/rockvane"
expect_running_on "$home/Dokumente/Brackwell/Rockvane" "$root/usr/libexec/rockvane/rockvane"
[ ! -e "$home/Documents" ] || fail "a Documents folder was made beside the renamed one"
[ ! -e "$work/users/ana/Dokumente" ] || fail "one user's start touched another's home"

step "A start that cannot prepare the data folder does not start the program"
home="$work/users/cai"
mkdir -p "$home/Documents/Brackwell"
echo "a file in the way" >"$home/Documents/Brackwell/Rockvane"
start_as "$home" "$root/usr/bin/rockvane"
waited=0
while kill -0 "$started" 2>/dev/null && [ $waited -lt 60 ]; do
    sleep 1
    waited=$((waited + 1))
done
if kill -0 "$started" 2>/dev/null; then
    fail "the launcher's command still runs after the data folder could not be prepared"
else
    wait "$started" && code=0 || code=$?
    [ "$code" = 1 ] || fail "the launcher's command ended with $code, expected 1"
    grep -q "Could not prepare the data folder" "$home.err" ||
        fail "no reason on the error stream: $(cat "$home.err")"
fi
started=""
[ "$(cat "$home/Documents/Brackwell/Rockvane")" = "a file in the way" ] ||
    fail "the file in the way was changed"

step "Install to a prefix without a package"
prefix="$work/opt/rock vane"
cmake --install "$build_dir" --prefix "$prefix" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "cmake --install"; }
for p in "${programs[@]}" "${files[@]}"; do
    p=${p#./usr/}
    [ -f "$prefix/$p" ] || fail "the install to a prefix lacks $p"
done
desktop="$prefix/share/applications/rockvane.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the prefix's launcher"
grep -qxF "Exec=\"$prefix/bin/rockvane\"" "$desktop" ||
    fail "the prefix's launcher runs $(grep '^Exec=' "$desktop")"
grep -qxF "Icon=$prefix/share/icons/hicolor/256x256/apps/rockvane.png" "$desktop" ||
    fail "the prefix's launcher shows $(grep '^Icon=' "$desktop")"
home="$work/users/dan"
start_as "$home" "$prefix/bin/rockvane"
expect_running_on "$home/Documents/Brackwell/Rockvane" "$prefix/libexec/rockvane/rockvane"

if [ -n "$test_build" ] && [ -f "$test_build/CPackConfig.cmake" ] &&
    [ -x "$test_build/app/rockvane" ] && [ -f "$test_build/packaging/RockvaneManual.pdf" ]; then
    step "No package from the test build"
    if (cd "$work" && cpack --config "$test_build/CPackConfig.cmake" -B "$work/cpack-test") \
        >"$work/cpack-test.log" 2>&1; then
        fail "a package was made from the test build"
    else
        grep -q "made from a Release build" "$work/cpack-test.log" ||
            fail "the test build was refused for another reason: $(tail -n 5 "$work/cpack-test.log")"
    fi
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
step "The package passed every check"
