#!/usr/bin/env bash
# The Debian package, checked without installing it: its files with their
# owners and modes, its conffiles and relations, lintian's verdict, its
# manual page, and the monitor unpacked into a temporary root, running
# headless under the packaged configuration, answering a status client
# with the simulator's bytes, and ended by the package's removal.
#   tests/package/PackageTest.sh build/statusmonitorq62m_<version>_<arch>.deb
set -euo pipefail
deb=$(realpath "${1:?usage: PackageTest.sh PACKAGE.deb}")
fail() { echo "package test: $*" >&2; exit 1; }
version=$(dpkg-deb -f "$deb" Version)

listing=$(dpkg-deb -c "$deb")
for entry in '-rwxr-xr-x root/root .* \./usr/lib/statusmonitorq62m/StatusMonitorQ62m$' \
    'lrwxrwxrwx root/root .* \./usr/lib/statusmonitorq62m/StatusMonitorQ62m\.ini -> /etc/statusmonitorq62m/StatusMonitorQ62m\.ini$' \
    'lrwxrwxrwx root/root .* \./usr/bin/StatusMonitorQ62m -> \.\./lib/statusmonitorq62m/StatusMonitorQ62m$' \
    '-rwxr-xr-x root/root .* \./usr/bin/q62m-printer-sim$' \
    '-rw-r--r-- root/root .* \./etc/statusmonitorq62m/StatusMonitorQ62m\.ini$' \
    '-rw-r--r-- root/root .* \./etc/xdg/autostart/statusmonitorq62m\.desktop$' \
    '-rw-r--r-- root/root .* \./usr/lib/systemd/user/statusmonitorq62m\.service$' \
    '-rw-r--r-- root/root .* \./usr/share/icons/hicolor/32x32/apps/statusmonitorq62m(-fault)?\.png$' \
    '-rw-r--r-- root/root .* \./usr/share/doc/statusmonitorq62m/(README\.md|copyright|changelog\.gz)$' \
    '-rw-r--r-- root/root .* \./usr/share/man/man1/StatusMonitorQ62m\.1\.gz$'; do
    grep -Eq -- "$entry" <<<"$listing" || fail "no file like $entry"
done
! grep -v ' root/root ' <<<"$listing" || fail "files not owned by root"
! grep -E '^.{5}w|^.{8}w|^d.{8}[^x]' <<<"$listing" | grep -v '^l' || fail "writable by others, or a closed directory"
[ "$(dpkg-deb -I "$deb" conffiles)" = "$(printf '%s\n' /etc/statusmonitorq62m/StatusMonitorQ62m.ini \
    /etc/xdg/autostart/statusmonitorq62m.desktop)" ] || fail "conffiles"
dpkg-deb -f "$deb" Recommends | grep -qx 'qt6-wayland' || fail "does not recommend qt6-wayland"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "dependencies not computed from the binaries"
lintian --fail-on error,warning "$deb" || fail "lintian found errors or warnings"

root=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; wait; rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
man -l "$root/usr/share/man/man1/StatusMonitorQ62m.1.gz" 2>/dev/null | grep -q "StatusMonitorQ62m $version" \
    || fail "the manual page does not render with the version $version"
# Installed, the link beside the executable reaches /etc; unpacked, it is
# pointed at the unpacked copy of the same file.
ln -sfn "$root/etc/statusmonitorq62m/StatusMonitorQ62m.ini" "$root/usr/lib/statusmonitorq62m/StatusMonitorQ62m.ini"

# The packaged configuration watches a network printer at 127.0.0.1:9100
# and serves its status on port 5000.
echo "paper empty" >"$root/faults"
"$root/usr/bin/q62m-printer-sim" --tcp 127.0.0.1:9100 --quiet --no-stdin --script "$root/faults" >"$root/sim.out" 2>&1 &
for _ in $(seq 50); do grep -q ready "$root/sim.out" && break; sleep 0.1; done
grep -q ready "$root/sim.out" || fail "the simulator did not start: $(cat "$root/sim.out")"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_RUNTIME_DIR="$root" \
    "$root/usr/bin/StatusMonitorQ62m" 2>"$root/monitor.err" &
monitor=$!
answer=""
for _ in $(seq 60); do
    answer=$( (exec 3<>/dev/tcp/127.0.0.1/5000 && printf '\x1d\x61\x01' >&3 && timeout 1 head -c4 <&3 | od -An -tx1 \
        | tr -d ' \n') 2>/dev/null || true)
    [ "$answer" = "040000f0" ] && break
    sleep 0.25
done
[ "$answer" = "040000f0" ] || fail "status client got '$answer', not 04 00 00 f0: $(cat "$root/monitor.err")"
# The package's prerm, pointed at the unpacked program: an upgrade leaves
# the monitor running, a removal ends it as SIGTERM does, with status 0.
dpkg-deb -e "$deb" "$root/control"
sed "s|/usr/lib/statusmonitorq62m/|$root/usr/lib/statusmonitorq62m/|" "$root/control/prerm" >"$root/prerm"
sh "$root/prerm" upgrade "$version"
sleep 0.5
kill -0 "$monitor" || fail "the prerm of an upgrade ended the monitor"
sh "$root/prerm" remove
for _ in $(seq 50); do kill -0 "$monitor" 2>/dev/null || break; sleep 0.2; done
! kill -0 "$monitor" 2>/dev/null || fail "the package's removal left the monitor running"
wait "$monitor" || fail "the monitor did not end with status 0 when the package was removed"
echo "package test: $deb passed"
