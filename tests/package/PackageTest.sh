#!/usr/bin/env bash
# The Debian package: its files, modes, conffiles, relations, lintian's verdict
# and manual pages; then, installed with apt as on a kiosk, a monitor on the
# edited configuration answers a status client and holds its lock, a second
# one of the printers' group ends at once and silently and one of another user
# with a line, an upgrade keeps the edit and the monitor running, the removal
# ends that monitor but no copy elsewhere and nothing in another mount
# namespace, and the autostart entry left behind names a program that is gone. Purged at the end. Run as root,
# where the package is not installed.
#   tests/package/PackageTest.sh build/statusmonitorq62m_<version>_<arch>.deb
set -euo pipefail
deb=$(realpath "${1:?usage: PackageTest.sh PACKAGE.deb}")
fail() { echo "package test: $*" >&2; exit 1; }
eventually() { for _ in $(seq 300); do "$@" && return; sleep 0.1; done; false; }
gone() { ! kill -0 "$1" 2>/dev/null; }
version=$(dpkg-deb -f "$deb" Version)
program=/usr/lib/statusmonitorq62m/StatusMonitorQ62m
ini=/etc/statusmonitorq62m/StatusMonitorQ62m.ini

listing=$(dpkg-deb -c "$deb")
for entry in '-rwxr-xr-x root/root .* \./usr/lib/statusmonitorq62m/StatusMonitorQ62m$' \
    'lrwxrwxrwx root/root .* \./usr/lib/statusmonitorq62m/StatusMonitorQ62m\.ini -> /etc/statusmonitorq62m/StatusMonitorQ62m\.ini$' \
    'lrwxrwxrwx root/root .* \./usr/bin/StatusMonitorQ62m -> \.\./lib/statusmonitorq62m/StatusMonitorQ62m$' \
    '-rwxr-xr-x root/root .* \./usr/bin/q62m-printer-sim$' \
    '-rw-r--r-- root/root .* \./etc/statusmonitorq62m/StatusMonitorQ62m\.ini$' \
    '-rw-r--r-- root/root .* \./etc/xdg/autostart/statusmonitorq62m\.desktop$' \
    '-rw-r--r-- root/root .* \./usr/share/applications/statusmonitorq62m\.desktop$' \
    '-rw-r--r-- root/root .* \./usr/lib/systemd/(user/statusmonitorq62m|system/statusmonitorq62m-headless)\.service$' \
    '-rw-r--r-- root/root .* \./usr/lib/tmpfiles\.d/statusmonitorq62m\.conf$' \
    '-rw-r--r-- root/root .* \./usr/share/doc/statusmonitorq62m/(README\.md|copyright|changelog\.gz)$' \
    '-rw-r--r-- root/root .* \./usr/share/man/man1/(StatusMonitorQ62m|q62m-printer-sim)\.1\.gz$'; do
    grep -Eq -- "$entry" <<<"$listing" || fail "no file like $entry"
done
icon='-rw-r--r-- root/root .* \./usr/share/icons/hicolor/(16|22|24|32|48|64|128|256)x\1/apps/statusmonitorq62m\.png$'
[ "$(grep -Ec -- "$icon" <<<"$listing")" = 8 ] || fail "not one icon in each of the eight sizes"
! grep -v ' root/root ' <<<"$listing" || fail "files not owned by root"
! grep -E '^.{5}w|^.{8}w|^d.{8}[^x]' <<<"$listing" | grep -v '^l' || fail "writable by others, or a closed directory"
[ "$(dpkg-deb -I "$deb" conffiles)" = "$(printf '%s\n' $ini /etc/xdg/autostart/statusmonitorq62m.desktop)" ] \
    || fail "conffiles"
dpkg-deb -f "$deb" Depends | grep -Eq '(^|, )qt6-wayland(,|$)' || fail "does not depend on qt6-wayland"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "dependencies not computed from the binaries"
lintian --fail-on error,warning "$deb" || fail "lintian found errors or warnings"

known() { [ "$(dpkg-query -W -f='${db:Status-Status}' statusmonitorq62m 2>/dev/null)" != not-installed ] \
    && dpkg-query -W statusmonitorq62m >/dev/null 2>&1; }
! known || fail "statusmonitorq62m is on this machine already (or its configuration); this test installs and purges it"
root=$(mktemp -d)
cleanup() {
    kill $(jobs -p) 2>/dev/null || true
    wait || true
    ! known || dpkg --purge statusmonitorq62m >/dev/null
    rm -rf "$root"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
apt_install() { DEBIAN_FRONTEND=noninteractive apt-get install -qq -y --no-install-recommends "$1" >/dev/null; }
apt_install "$deb"

# The manual pages from the package itself, as a machine may keep none.
dpkg-deb -x "$deb" "$root/unpacked"
man1=$root/unpacked/usr/share/man/man1
for page in StatusMonitorQ62m q62m-printer-sim; do
    zcat "$man1/$page.1.gz" | sed -n 1p | grep -Eq "^\.TH [^ ]+ 1 \"[0-9]{4}-[0-9]{2}-[0-9]{2}\" \"StatusMonitorQ62m $version\"" \
        || fail "the manual page $page has no date or not the version $version"
done
simulator_page=$(LC_ALL=C man -l "$man1/q62m-printer-sim.1.gz" 2>/dev/null)
for option in $(q62m-printer-sim --help | grep -oE '^  --[a-z-]+'); do
    grep -q -- "$option" <<<"$simulator_page" || fail "the simulator's manual page lacks $option"
done
for key in 'ConditionEnvironment=|DISPLAY' 'ConditionEnvironment=|WAYLAND_DISPLAY' 'RestartPreventExitStatus=1 2' \
    'SystemCallFilter=@system-service' 'NoNewPrivileges=yes'; do
    grep -qxF "$key" /usr/lib/systemd/user/statusmonitorq62m.service || fail "the user unit lacks $key"
done
! command -v systemd-analyze >/dev/null || { XDG_RUNTIME_DIR=$root systemd-analyze verify --man=no --user \
    /usr/lib/systemd/user/statusmonitorq62m.service && systemd-analyze verify --man=no \
    /usr/lib/systemd/system/statusmonitorq62m-headless.service; } || fail "systemd-analyze finds fault with a unit"
[ "$(stat -c '%a %U %G' /run/statusmonitorq62m)" = "2770 root dialout" ] || fail "no lock directory for dialout alone"

# The packaged configuration watches a network printer and serves its
# status; both are moved to free ports, as an administrator edits the file.
echo "paper empty" >"$root/faults"
q62m-printer-sim --tcp 127.0.0.1:0 --quiet --no-stdin --script "$root/faults" >"$root/sim.out" 2>&1 &
eventually grep -qs ready "$root/sim.out" || true
printer_port=$(sed -n 's/^printer1 tcp 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$root/sim.out")
[ -n "$printer_port" ] || fail "the simulator did not start: $(cat "$root/sim.out")"
status_port=$(python3 -c 'import socket; s = socket.create_server(("127.0.0.1", 0)); print(s.getsockname()[1])')
sed -i "s/^Socket=9100$/Socket=$printer_port/; s/^StatusServerSocket=5000$/StatusServerSocket=$status_port/" $ini
grep -qx "StatusServerSocket=$status_port" $ini || fail "the packaged configuration serves no status on 5000"

headless=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_RUNTIME_DIR="$root")
"${headless[@]}" StatusMonitorQ62m 2>"$root/monitor.err" &
monitor=$!
answer() { (exec 3<>"/dev/tcp/127.0.0.1/$status_port" && printf '\x1d\x61\x01' >&3 \
    && timeout 1 head -c4 <&3 | od -An -tx1 | tr -d ' \n') 2>/dev/null; }
paper_empty() { [ "$(answer)" = 040000f0 ]; }
eventually paper_empty || fail "status client got '$(answer)', not 04 00 00 f0: $(cat "$root/monitor.err")"

grep -q " FLOCK .* $monitor .*:$(stat -c %i /run/statusmonitorq62m/*.lock) " /proc/locks || fail "the monitor holds no lock"
second=$("${headless[@]}" timeout 15 setpriv --reuid=nobody --regid=nogroup --groups=dialout StatusMonitorQ62m 2>&1) \
    && [ -z "$second" ] || fail "a second monitor of a member of dialout did not end quietly with status 0: $second"
second=$("${headless[@]}" timeout 15 setpriv --reuid=nobody --regid=nogroup --clear-groups StatusMonitorQ62m 2>&1) \
    && grep -q 'only root and members of group dialout' <<<"$second" || fail "a user outside dialout was told: $second"

# A copy of the monitor elsewhere, its file deleted, as an upgraded program's is.
mkdir "$root/copy"
cp $program "$root/copy/"
printf '[Printer1]\nPort=-1\n' >"$root/copy/StatusMonitorQ62m.ini"
"${headless[@]}" "$root/copy/StatusMonitorQ62m" 2>"$root/copy.err" &
copy=$!
# Its first poll, on the USB printer without a library, tells that it has
# read its configuration, which it finds through its program's name.
eventually grep -qs libZorvadev "$root/copy.err" || true
rm "$root/copy/StatusMonitorQ62m"
# Another program at the package's path in a mount namespace of its own, as in a container.
unshare -m sh -c "mount --bind $(command -v sleep) $program && exec $program 600" & contained=$!
eventually eval '[ "$(readlink /proc/$contained/exe)" = $program ]' || fail "nothing runs at $program in another namespace"

dpkg-deb -R "$deb" "$root/upgrade"
sed -i "s/^Version: .*/Version: $version+1/" "$root/upgrade/DEBIAN/control"
dpkg-deb --root-owner-group -b "$root/upgrade" "$root/upgrade.deb" >/dev/null
apt_install "$root/upgrade.deb"
[ "$(dpkg-query -W -f='${Version}' statusmonitorq62m)" = "$version+1" ] || fail "the upgrade was not installed"
grep -qx "StatusServerSocket=$status_port" $ini || fail "the upgrade lost the edited configuration"
[ "$(readlink /proc/$monitor/exe)" = "$program (deleted)" ] || fail "the monitor was not left on the replaced program"

DEBIAN_FRONTEND=noninteractive apt-get remove -qq -y statusmonitorq62m >/dev/null
eventually gone "$monitor" || fail "the package's removal left the upgraded monitor running"
wait "$monitor" || fail "the monitor did not end with status 0 when the package was removed"
kill -0 "$copy" || fail "the package's removal ended a copy of the monitor elsewhere"
kill -0 "$contained" || fail "the package's removal ended a program in another mount namespace"
[ ! -e /run/statusmonitorq62m ] || fail "the removal left the lock directory"
grep -qx 'TryExec=StatusMonitorQ62m' /etc/xdg/autostart/statusmonitorq62m.desktop && ! command -v StatusMonitorQ62m \
    || fail "the autostart entry left by the removal would start a program that is gone"
echo "package test: $deb passed"
