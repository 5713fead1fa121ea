#!/usr/bin/env bash
# Builds the Debian package from an already-built tree into a scratch folder
# and checks what a user would get from it: the files, the package fields,
# the desktop entry, the software-centre data, that the packaged program
# runs, and lintian.
#
#   check-package.sh BUILD_DIR EXPECTED_VERSION
set -euo pipefail
build_dir=$1
expected_version=$2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

if ! cpack --config "$build_dir/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log" >&2
    echo "FAIL: cpack could not build the package" >&2
    exit 1
fi
deb="$scratch/out/kelvaset_${expected_version}_$(dpkg --print-architecture).deb"
if [ ! -f "$deb" ]; then
    ls "$scratch/out" >&2
    echo "FAIL: no $(basename "$deb")" >&2
    exit 1
fi

# Package fields.
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = kelvaset ] || fail "package name is '$(field Package)'"
[ "$(field Version)" = "$expected_version" ] || fail "package version is '$(field Version)', not $expected_version"
for key in Maintainer Section Priority Description; do
    [ -n "$(field "$key")" ] || fail "no $key field"
done
# The libraries the programs load must come in with the package, and
# adduser for the logger's account.
depends=$(field Depends)
for library in libqt5widgets5 libqt5gui5 libqt5core5a libqwt-qt5-6 libmodbus5 libudev1 libmosquitto1 libc6 adduser; do
    [[ ",$depends" == *", $library"* || ",$depends" == *",$library"* ]] \
        || fail "Depends lacks $library: $depends"
done

# File list.
dpkg-deb --contents "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' >"$scratch/files"
expected_files=(
    /usr/bin/kelvaset
    /usr/bin/kelvaset-logger
    /usr/bin/kelvane-sim
    /lib/systemd/system/kelvaset-logger@.service
    /usr/share/applications/example.orvanto.Kelvaset.desktop
    /usr/share/metainfo/example.orvanto.Kelvaset.metainfo.xml
    /usr/share/man/man1/kelvaset.1.gz
    /usr/share/man/man1/kelvane-sim.1.gz
    /usr/share/man/man1/kelvaset-logger.1.gz
    /usr/share/doc/kelvaset/copyright
    /usr/share/doc/kelvaset/changelog.gz
)
for size in 16 22 24 32 48 64 128 256; do
    expected_files+=("/usr/share/icons/hicolor/${size}x${size}/apps/kelvaset.png")
done
for path in "${expected_files[@]}"; do
    grep -qxF "$path" "$scratch/files" || fail "the package lacks $path"
done

root="$scratch/root"
dpkg-deb --extract "$deb" "$root"

# Each icon is a PNG of the size its folder says.
for size in 16 22 24 32 48 64 128 256; do
    icon="$root/usr/share/icons/hicolor/${size}x${size}/apps/kelvaset.png"
    [ -f "$icon" ] || continue
    [[ "$(file --brief "$icon")" == "PNG image data, $size x $size,"* ]] \
        || fail "$icon is $(file --brief "$icon")"
done

desktop="$root/usr/share/applications/example.orvanto.Kelvaset.desktop"
if [ -f "$desktop" ]; then
    desktop-file-validate "$desktop" || fail "the desktop entry does not validate"
    # What the menu starts and shows must be in the package.
    exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
    [ -x "$root/usr/bin/$exec_name" ] || fail "the desktop entry starts '$exec_name', which is not in /usr/bin"
    icon_name=$(sed -n 's/^Icon=//p' "$desktop")
    [ -f "$root/usr/share/icons/hicolor/48x48/apps/$icon_name.png" ] \
        || fail "the desktop entry's icon '$icon_name' is not in the package"
fi

metainfo="$root/usr/share/metainfo/example.orvanto.Kelvaset.metainfo.xml"
if [ -f "$metainfo" ]; then
    appstreamcli validate --no-net "$metainfo" >"$scratch/appstream.log" 2>&1 \
        || { cat "$scratch/appstream.log" >&2; fail "the metainfo does not validate"; }
    grep -q "<release version=\"$expected_version\"" "$metainfo" \
        || fail "the metainfo does not list release $expected_version"
fi

for page in kelvaset kelvaset-logger kelvane-sim; do
    manual="$root/usr/share/man/man1/$page.1.gz"
    [ -f "$manual" ] || continue
    # groff's complaints about the source, as lintian would see them.
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$manual" 2>&1 >/dev/null) \
        || fail "man cannot format $page.1"
    [ -z "$warnings" ] || fail "$page.1: $warnings"
done

for program in kelvaset kelvaset-logger kelvane-sim; do
    binary="$root/usr/bin/$program"
    manual="$root/usr/share/man/man1/$program.1.gz"
    [ -f "$binary" ] || continue
    [[ "$(file --brief "$binary")" == *", stripped"* ]] || fail "$program is not stripped"
    # Every option the program lists is described in its manual page.
    [ -f "$manual" ] || continue
    options=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$binary" --help 2>/dev/null \
        | sed -n 's/^ *\(-[a-zA-Z], \)\{0,1\}\(--[a-z0-9-]*\).*/\2/p')
    [ -n "$options" ] || fail "$program --help lists no options"
    page_source=$(zcat "$manual")
    for option in $options; do
        grep -qF -- "${option//-/\\-}" <<<"$page_source" || fail "$program.1 does not describe $option"
    done
done

# The packaged program answers --version and --help without a display; it
# would abort if it made its QApplication first.
if [ -x "$root/usr/bin/kelvaset" ]; then
    version_output=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/kelvaset" --version 2>&1) \
        || fail "kelvaset --version failed: $version_output"
    [ "$version_output" = "Kelvaset $expected_version" ] \
        || fail "kelvaset --version printed '$version_output'"
    help_output=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/kelvaset" --help 2>&1) \
        || fail "kelvaset --help failed: $help_output"
    grep -q -- '--version' <<<"$help_output" || fail "kelvaset --help printed: $help_output"
fi
if [ -x "$root/usr/bin/kelvaset-logger" ]; then
    version_output=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/kelvaset-logger" --version 2>&1) \
        || fail "kelvaset-logger --version failed: $version_output"
    [ "$version_output" = "kelvaset-logger $expected_version" ] \
        || fail "kelvaset-logger --version printed '$version_output'"
    # Refused arguments end with 2, which the service does not restart on.
    status=0
    "$root/usr/bin/kelvaset-logger" --period 5 >/dev/null 2>&1 || status=$?
    [ "$status" -eq 2 ] || fail "kelvaset-logger with bad arguments ended with $status, not 2"
fi

# The service runs the packaged logger on the instance's project, as the
# account the postinst makes, and writes where systemd gives it a folder.
unit="$root/lib/systemd/system/kelvaset-logger@.service"
if [ -f "$unit" ]; then
    for line in 'User=kelvaset' 'Group=kelvaset' 'SupplementaryGroups=dialout' 'Restart=on-failure' \
                'StateDirectory=kelvaset/%i' 'WantedBy=multi-user.target'; do
        grep -qxF "$line" "$unit" || fail "the unit lacks $line"
    done
    exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
    [[ "$exec_start" == "/usr/bin/kelvaset-logger /etc/kelvaset/%i.kelvaset --out /var/lib/kelvaset/%i"* ]] \
        || fail "the unit starts '$exec_start'"
    [ -x "$root${exec_start%% *}" ] || fail "the unit starts ${exec_start%% *}, which is not in the package"
    if command -v systemd-analyze >/dev/null; then
        cp "$unit" "$scratch/kelvaset-logger@check.service"
        verify=$(systemd-analyze verify --man=no "$scratch/kelvaset-logger@check.service" 2>&1 \
            | grep -F 'kelvaset-logger@check.service' | grep -v 'Command /usr/bin/kelvaset-logger is not executable' || true)
        [ -z "$verify" ] || fail "systemd-analyze: $verify"
        # The sandbox: an exposure below 4.0 (offline, for any systemd that has it).
        if security=$(systemd-analyze security --offline=yes --no-pager "$scratch/kelvaset-logger@check.service" 2>&1); then
            exposure=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p' <<<"$security")
            if [ -z "$exposure" ] || ! awk -v e="$exposure" 'BEGIN { exit !(e < 4.0) }'; then
                fail "systemd-analyze security rates the unit '${exposure:-?}': $(grep -F '✗' <<<"$security" | head -n 20)"
            fi
        fi
    fi
    # Directives the sandbox must keep, so that it is never widened by
    # accident, and those that keep the serial lines, udev and MQTT working.
    for line in 'UMask=0027' 'NoNewPrivileges=yes' 'CapabilityBoundingSet=' 'DevicePolicy=closed' \
                'DeviceAllow=char-tty* rw' 'DeviceAllow=char-pts rw' \
                'RestrictAddressFamilies=AF_UNIX AF_NETLINK AF_INET AF_INET6' 'ProtectKernelTunables=yes' \
                'ProtectKernelModules=yes' 'ProtectControlGroups=yes' 'ProtectClock=yes' 'ProtectHostname=yes' \
                'SystemCallArchitectures=native' 'SystemCallFilter=@system-service'; do
        grep -qxF "$line" "$unit" || fail "the unit lacks $line"
    done
    # Neither refused arguments nor a port the account may not use mend by
    # restarting; the logger's help names both codes.
    prevented=$(sed -n 's/^RestartPreventExitStatus=//p' "$unit")
    for code in 2 4; do
        [[ " $prevented " == *" $code "* ]] || fail "the unit restarts on exit status $code (RestartPreventExitStatus=$prevented)"
    done
    if [ -x "$root/usr/bin/kelvaset-logger" ]; then
        logger_help=$("$root/usr/bin/kelvaset-logger" --help 2>&1)
        grep -q '^  4  this account may not use' <<<"$logger_help" || fail "kelvaset-logger --help does not tell exit code 4"
    fi
fi

# The maintainer scripts: the postinst makes the account, its home and the
# projects' folder; with systemd's snippets they stop, restart and forget
# the instances of the template unit.
dpkg-deb --control "$deb" "$scratch/control"
for script in postinst prerm postrm; do
    if [ -f "$scratch/control/$script" ]; then
        sh -n "$scratch/control/$script" || fail "the $script is no valid shell script"
    else
        fail "the package has no $script"
    fi
done
if [ -f "$scratch/control/postinst" ]; then
    for word in 'adduser --quiet --system --group' 'adduser --quiet kelvaset dialout' 'mkdir -p /etc/kelvaset'; do
        grep -qF -- "$word" "$scratch/control/postinst" || fail "the postinst lacks '$word'"
    done
fi
if [ -f "$scratch/control/postinst" ] && [ -f "$scratch/control/prerm" ] && [ -f "$scratch/control/postrm" ]; then
    "$(dirname "$0")/check-maintainer-scripts.sh" "$scratch/control" || fail "the maintainer scripts misbehave"
fi

if [ -x "$root/usr/bin/kelvane-sim" ]; then
    "$root/usr/bin/kelvane-sim" --help >"$scratch/sim-help" 2>&1 || fail "kelvane-sim --help failed"
fi

# Errors only: warnings and information are for a person to weigh.
if ! lintian --fail-on error --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1; then
    cat "$scratch/lintian.log" >&2
    fail "lintian found errors"
fi

if [ "$failures" -gt 0 ]; then
    echo "$failures package checks failed" >&2
    exit 1
fi
echo "The package $(basename "$deb") passed its checks"
