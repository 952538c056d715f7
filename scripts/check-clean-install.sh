#!/usr/bin/env bash
# Installs the Rockvane package on a clean Debian 12 system and checks it the way a
# site's administrator and its engineers meet it. The system is made with debootstrap
# in a folder and entered with chroot (no container engine needed); apt fetches the
# package's dependencies from Debian's mirror.
#
#   sudo scripts/check-clean-install.sh <rockvane_x.y.z_amd64.deb> [<new folder>]
#
# Runs as root; needs debootstrap and the network. Takes a few minutes, mostly
# debootstrap and apt. The folder (default /var/tmp/rockvane-bookworm) is made fresh
# and left behind for inspection; remove it with rm -rf once its mounts are gone.
#
# What it does, in order:
#  1. debootstrap a minimal Debian 12 (bookworm) into the folder.
#  2. apt install an older-numbered copy of the package (same files, version
#     <version>~older), then two users, ana and ben, made with useradd; ben's
#     Documents folder is renamed to Dokumente in his user-dirs.dirs, ana has none.
#  3. Both start the launcher's command line (the desktop file's Exec, headless)
#     at the same time: each gets a data folder of their own, private to them, and
#     both copies run together. Ana adds a sensor to her database.
#  4. apt install the package over the older one while ben's copy runs; ana starts
#     again: her sensor is there, her database file is the same file.
#  5. apt remove, then dpkg --purge: the programs go, every data folder stays.
#  6. apt install again: ana's sensor is there.
#  7. A third user clicks the launcher twice at once on first use: one data folder,
#     complete, nothing half-written left behind.
set -euo pipefail

deb=$(readlink -f "${1:?usage: $0 <rockvane_x.y.z_amd64.deb> [<new folder>]}")
root=${2:-/var/tmp/rockvane-bookworm}
[ "$(id -u)" -eq 0 ] || { echo "Run as root." >&2; exit 2; }
[ ! -e "$root" ] || { echo "$root exists: give a new folder." >&2; exit 2; }
command -v debootstrap >/dev/null || { echo "apt-get install debootstrap first." >&2; exit 2; }

version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg-deb -f "$deb" Architecture)
failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}
step() { echo "== $* ($(date +%T))"; }
in_root() { chroot "$root" "$@"; }
declare -A uid=([ana]=2001 [ben]=2002 [cai]=2003)
# The process ids of a user's Rockvane programs running inside this system (and no
# other process of the machine).
rv_pids() { # user
    local pid
    for pid in $(pgrep -u "${uid[$1]}" -f 'libexec/rockvane/rockvane$' || true); do
        [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$root" ] && echo "$pid"
    done
    return 0
}
mounted=()
cleanup() {
    local user pids
    for user in ana ben cai; do
        pids=$(rv_pids "$user")
        [ -z "$pids" ] || kill -KILL $pids 2>/dev/null || true
    done
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount "${mounted[i]}" 2>/dev/null || true; done
}
trap cleanup EXIT

step "1. A minimal Debian 12 in $root"
nice debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >"$root.debootstrap.log" 2>&1 ||
    { tail -n 20 "$root.debootstrap.log" >&2; exit 1; }
mount -t proc proc "$root/proc" && mounted+=("$root/proc")
mount --bind /dev "$root/dev" && mounted+=("$root/dev")
mount --bind /dev/pts "$root/dev/pts" && mounted+=("$root/dev/pts")
cp /etc/resolv.conf "$root/etc/resolv.conf"
echo "Debian $(cat "$root/etc/debian_version"), $(in_root dpkg-query -W -f='${Package}\n' | wc -l) packages"

step "2. Install an older-numbered package, then make two users"
older="$root/root/rockvane_${version}~older_${arch}.deb"
unpacked=$(mktemp -d)
dpkg-deb -R "$deb" "$unpacked/pkg"
sed -i "s/^Version: .*/Version: ${version}~older/" "$unpacked/pkg/DEBIAN/control"
dpkg-deb --root-owner-group -b "$unpacked/pkg" "$older" >/dev/null
rm -rf "$unpacked"
cp "$deb" "$root/root/"
newer="/root/$(basename "$deb")"
in_root apt-get update -qq
before=$(in_root dpkg-query -W -f='${Package}\n' | wc -l)
in_root env DEBIAN_FRONTEND=noninteractive nice apt-get install -y -qq "/root/$(basename "$older")" \
    >"$root.install.log" 2>&1 || { tail -n 20 "$root.install.log" >&2; exit 1; }
after=$(in_root dpkg-query -W -f='${Package}\n' | wc -l)
echo "apt installed rockvane ${version}~older and $((after - before - 1)) packages it needs"
[ "$(in_root dpkg-query -W -f='${Version}' rockvane)" = "${version}~older" ] || fail "older version"
# Only to look into the databases from outside; installed after the package, so that it
# cannot stand in for a dependency the package forgot.
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq sqlite3 >/dev/null 2>&1
for user in ana ben cai; do in_root useradd -m -u "${uid[$user]}" -s /bin/sh "$user"; done
in_root runuser -u ben -- sh -c 'mkdir -p ~/Dokumente ~/.config &&
    echo "XDG_DOCUMENTS_DIR=\"\$HOME/Dokumente\"" > ~/.config/user-dirs.dirs'
exec_line=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/rockvane.desktop")
echo "The launcher's command line: $exec_line"

# Starts the launcher's command line as a user, headless, without a desktop session.
launch() { # user [extra environment]
    local user=$1
    shift
    in_root runuser -u "$user" -- env -i HOME="/home/$user" USER="$user" PATH=/usr/bin:/bin \
        LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen "$@" sh -c "$exec_line" \
        >>"$root/tmp/$user.out" 2>>"$root/tmp/$user.err" &
}
# Waits until the user's program runs on a prepared data folder.
await() { # user folder
    local user=$1 folder=$root$2 waited=0
    while { [ ! -f "$folder/RockvaneManual.pdf" ] || [ -z "$(rv_pids "$user")" ]; } &&
        [ $waited -lt 90 ]; do
        sleep 1
        waited=$((waited + 1))
    done
    sleep 3
    [ -n "$(rv_pids "$user")" ] || fail "$user's Rockvane is not running: $(cat "$root/tmp/$user.err")"
    [ -f "$folder/RockvaneLODIX.mdb" ] || fail "no database in $2"
    [ ! -e "$folder/LODIX_logfile.txt" ] || fail "$user's Rockvane logged: $(cat "$folder/LODIX_logfile.txt")"
}
stop() { # user
    local pids waited=0
    pids=$(rv_pids "$1")
    [ -z "$pids" ] || kill -TERM $pids
    while [ -n "$(rv_pids "$1")" ] && [ $waited -lt 20 ]; do
        sleep 1
        waited=$((waited + 1))
    done
}
sensors() { # database
    in_root sqlite3 "$1" "SELECT InstrumentID FROM Sensors ORDER BY InstrumentID" | tr '\n' ' '
}

step "3. Ana (no Documents folder) and Ben (renamed Documents) start Rockvane together"
ana_folder=/home/ana/Documents/Brackwell/Rockvane
ben_folder=/home/ben/Dokumente/Brackwell/Rockvane
launch ana
launch ben
await ana "$ana_folder"
await ben "$ben_folder"
echo "Running together: Ana's copy (process $(rv_pids ana)) and Ben's (process $(rv_pids ben))"
[ ! -e "$root/home/ben/Documents" ] || fail "a Documents folder was made beside Ben's renamed one"
ls -ld "$root$ana_folder" "$root$ben_folder" | sed 's/^/  /'
[ "$(stat -c %a "$root$ana_folder")" = 700 ] || fail "Ana's data folder is $(stat -c %a "$root$ana_folder")"
if in_root runuser -u ben -- cat "$ana_folder/RockvaneLODIX.mdb" >/dev/null 2>&1; then
    fail "Ben can read Ana's database"
else
    echo "Ben cannot read Ana's database; Ana cannot read Ben's: $(in_root runuser -u ana -- ls "$ben_folder" 2>&1 | head -n 1)"
fi
stop ana
in_root runuser -u ana -- sqlite3 "$ana_folder/RockvaneLODIX.mdb" \
    "INSERT INTO Sensors (InstrumentID, DateID, SensorType, TypeID, SensorNo) VALUES ('060125007', '0601', '25', '25', '007')"
[ "$(sensors "$ana_folder/RockvaneLODIX.mdb")" = "060125007 " ] || fail "Ana's sensor was not saved"
ana_inode=$(stat -c %i "$root$ana_folder/RockvaneLODIX.mdb")

step "4. Upgrade to $version while Ben's copy runs"
in_root env DEBIAN_FRONTEND=noninteractive nice apt-get install -y -qq "$newer" >>"$root.install.log" 2>&1 ||
    { tail -n 20 "$root.install.log" >&2; exit 1; }
[ "$(in_root dpkg-query -W -f='${Version}' rockvane)" = "$version" ] || fail "not upgraded"
[ -n "$(rv_pids ben)" ] || fail "Ben's copy ended during the upgrade"
launch ana
await ana "$ana_folder"
stop ana
stop ben
[ "$(sensors "$ana_folder/RockvaneLODIX.mdb")" = "060125007 " ] || fail "Ana's sensor is gone after the upgrade"
[ "$(stat -c %i "$root$ana_folder/RockvaneLODIX.mdb")" = "$ana_inode" ] || fail "Ana's database was replaced"

step "5. Remove, then purge"
in_root env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq rockvane >>"$root.install.log" 2>&1
for gone in /usr/bin/rockvane /usr/bin/rockvane-provision /usr/libexec/rockvane \
    /usr/share/applications/rockvane.desktop /usr/share/icons/hicolor/256x256/apps/rockvane.png; do
    [ ! -e "$root$gone" ] || fail "$gone is still there after apt remove"
done
# The package has no configuration files, so removing it leaves nothing to purge; the
# purge is still what an administrator may type.
in_root dpkg --purge rockvane >>"$root.install.log" 2>&1 || fail "dpkg --purge"
[ -z "$(in_root dpkg-query -W -f='${Status}' rockvane 2>/dev/null | grep installed)" ] || fail "still installed"
[ "$(sensors "$ana_folder/RockvaneLODIX.mdb")" = "060125007 " ] || fail "Ana's sensor is gone after the purge"
[ "$(stat -c %i "$root$ana_folder/RockvaneLODIX.mdb")" = "$ana_inode" ] || fail "Ana's database was replaced"
[ -f "$root$ben_folder/RockvaneLODIX.mdb" ] || fail "Ben's database is gone after the purge"
echo "Data folders after the purge:"
ls -l "$root$ana_folder" "$root$ben_folder" | sed 's/^/  /'

step "6. Install again"
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$newer" >>"$root.install.log" 2>&1
: >"$root/tmp/ana.out"
launch ana
await ana "$ana_folder"
stop ana
grep -q "Data folder ready: $ana_folder" "$root/tmp/ana.out" || fail "Ana's start said: $(cat "$root/tmp/ana.out")"
[ "$(sensors "$ana_folder/RockvaneLODIX.mdb")" = "060125007 " ] || fail "Ana's sensor is gone after reinstalling"

step "7. Cai clicks the launcher twice at once on first use"
mkdir -p "$root/run/user/2003"
chown 2003:2003 "$root/run/user/2003"
chmod 700 "$root/run/user/2003"
cai_folder=/home/cai/Documents/Brackwell/Rockvane
launch cai XDG_RUNTIME_DIR=/run/user/2003
launch cai XDG_RUNTIME_DIR=/run/user/2003
await cai "$cai_folder"
echo "Cai's programs: $(rv_pids cai | wc -l) (the second shows \"Rockvane is already running\")"
stop cai
ls -A "$root$cai_folder" | tr '\n' ' '
echo
[ "$(ls -A "$root$cai_folder" | tr '\n' ' ')" = "RockvaneLODIX.mdb RockvaneManual.pdf " ] ||
    fail "Cai's data folder holds: $(ls -A "$root$cai_folder")"
[ "$(sensors "$cai_folder/RockvaneLODIX.mdb")" = "" ] || fail "Cai's new database is not empty"
! grep -q "Could not" "$root/tmp/cai.err" || fail "a launch failed: $(cat "$root/tmp/cai.err")"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
step "Installed, started, upgraded, removed, purged and reinstalled on a clean Debian 12"
