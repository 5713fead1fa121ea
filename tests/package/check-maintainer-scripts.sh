#!/usr/bin/env bash
# Runs the package's maintainer scripts through a package's life, in a
# scratch root that holds the few programs they use, with systemd and the
# account tools stubbed: install, upgrade with running instances, remove,
# purge with and without the administrator's files. Checks what they leave
# and which units they stop and restart. Needs root (chroot); skipped
# without it.
#
#   check-maintainer-scripts.sh CONTROL_DIR
set -euo pipefail
control=$1

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: the maintainer scripts are run in a chroot, as root only"
    exit 0
fi

scratch=$(mktemp -d)
trap 'rm -rf --one-file-system "$scratch"' EXIT
root="$scratch/root"
mkdir -p "$root/usr/bin" "$root/usr/lib" "$root/usr/lib64" "$root/dev" "$root/etc" "$root/run" "$root/var/lib" \
         "$root/tmp" "$root/scripts"
ln -s usr/bin "$root/bin"; ln -s usr/bin "$root/sbin"; ln -s usr/lib "$root/lib"; ln -s usr/lib64 "$root/lib64"
# What the scripts write away goes to a file.
: >"$root/dev/null"
# The programs the scripts run, with the libraries they load.
for tool in sh env awk sed tr ls rm rmdir mkdir chmod cat; do
    program=$(readlink -f "$(command -v "$tool")")
    cp "$program" "$root/usr/bin/$tool"
    for library in $(ldd "$program" | grep -o '/[^ ]*'); do
        mkdir -p "$root$(dirname "$library")"
        cp -L "$library" "$root$library"
    done
done
cp "$control/postinst" "$control/prerm" "$control/postrm" "$root/scripts/"

# Every stub writes its call to /calls; systemctl lists two loaded instances.
stub() {
    printf '#!/bin/sh\necho "%s $*" >>/calls\n%s\n' "$1" "${2:-exit 0}" >"$root/usr/bin/$1"
    chmod +x "$root/usr/bin/$1"
}
stub systemctl 'case "$*" in *list-units*) echo "kelvaset-logger@roof.service loaded active running Kelvaset logger of the sensor line roof"; echo "● kelvaset-logger@east.service loaded failed failed Kelvaset logger of the sensor line east";; esac'
stub deb-systemd-invoke
stub deb-systemd-helper
stub adduser
stub getent 'exit 2'
stub dpkg-statoverride 'exit 1'
stub chown

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
# Runs a script with its arguments in the scratch root; its calls are in $calls.
calls=""
run() {
    : >"$root/calls"
    chroot "$root" /usr/bin/env -i PATH=/usr/bin sh "/scripts/$1" "${@:2}" 2>"$scratch/stderr" \
        || fail "$* ended with $?: $(cat "$scratch/stderr")"
    calls=$(cat "$root/calls")
}
called() { grep -qxF -- "$1" <<<"$calls"; }

# A first install on a machine without systemd: the account, its home, the
# projects' folder; no unit is touched.
run postinst configure
called "adduser --quiet --system --group --no-create-home --home /var/lib/kelvaset kelvaset" || fail "no account: $calls"
called "adduser --quiet kelvaset dialout" || fail "the account is not put in dialout: $calls"
called "chown kelvaset:kelvaset /var/lib/kelvaset" || fail "/var/lib/kelvaset is not the account's: $calls"
[ "$(stat -c %a "$root/var/lib/kelvaset" 2>/dev/null)" = 750 ] || fail "/var/lib/kelvaset is not 0750"
[ -d "$root/etc/kelvaset" ] || fail "no /etc/kelvaset"
grep -q 'systemctl\|deb-systemd' <<<"$calls" && fail "without systemd the postinst called: $calls"

# With systemd: a first install starts nothing; an upgrade restarts the
# running instances; an upgrade's prerm stops nothing, a remove stops every
# instance.
mkdir -p "$root/run/systemd/system"
run postinst configure
grep -q 'deb-systemd-invoke' <<<"$calls" && fail "a first install started: $calls"
called "systemctl --system daemon-reload" || fail "a first install does not reload systemd: $calls"
run postinst configure 2.0.2
called "deb-systemd-invoke try-restart kelvaset-logger@roof.service kelvaset-logger@east.service" \
    || fail "an upgrade does not restart the instances: $calls"
run prerm upgrade 2.0.4
grep -q 'deb-systemd-invoke' <<<"$calls" && fail "the prerm of an upgrade called: $calls"
run prerm remove
called "deb-systemd-invoke stop kelvaset-logger@roof.service kelvaset-logger@east.service" \
    || fail "a remove does not stop the instances: $calls"
run postrm remove
called "systemctl --system daemon-reload" || fail "a remove does not reload systemd: $calls"
[ -d "$root/var/lib/kelvaset" ] && [ -d "$root/etc/kelvaset" ] || fail "a remove took the records or the projects"

# Purge: the enable links go, the records go, the projects stay with a note.
mkdir -p "$root/etc/systemd/system/multi-user.target.wants" "$root/var/lib/kelvaset/roof"
ln -s /lib/systemd/system/kelvaset-logger@.service "$root/etc/systemd/system/multi-user.target.wants/kelvaset-logger@roof.service"
ln -s /lib/systemd/system/other.service "$root/etc/systemd/system/multi-user.target.wants/other.service"
echo 'rows' >"$root/var/lib/kelvaset/roof/SN9001_20261207_records.csv"
echo '{}' >"$root/etc/kelvaset/roof.kelvaset"
run postrm purge
called "deb-systemd-helper purge kelvaset-logger@.service" || fail "a purge does not forget the unit: $calls"
called "systemctl --system reset-failed kelvaset-logger@*.service" || fail "a purge does not forget failed instances: $calls"
[ -L "$root/etc/systemd/system/multi-user.target.wants/kelvaset-logger@roof.service" ] && fail "a purge leaves the enable link"
[ -L "$root/etc/systemd/system/multi-user.target.wants/other.service" ] || fail "a purge took another unit's link"
[ -e "$root/var/lib/kelvaset" ] && fail "a purge leaves /var/lib/kelvaset"
[ -f "$root/etc/kelvaset/roof.kelvaset" ] || fail "a purge took the administrator's project"
grep -q '/etc/kelvaset is kept.*roof.kelvaset' "$scratch/stderr" || fail "a purge does not say why /etc/kelvaset stays: $(cat "$scratch/stderr")"
grep -q 'deluser\|userdel' <<<"$calls" && fail "a purge removes the account: $calls"
rm "$root/etc/kelvaset/roof.kelvaset"
run postrm purge
[ -e "$root/etc/kelvaset" ] && fail "a purge leaves an empty /etc/kelvaset"

if [ "$failures" -gt 0 ]; then
    exit 1
fi
echo "The maintainer scripts passed their checks"
