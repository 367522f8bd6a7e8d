#!/bin/sh
# Installs the build into a temporary prefix, as cmake --install does, and
# checks that every file lands where a Debian system looks for it, and that
# the desktop entry, the AppStream metadata and the icons validate and name
# each other correctly.
#
#   install-tree.sh BUILD-DIR VERSION
set -u

build=$1
version=$2
failures=0
fail()
{
    printf 'FAIL %s\n' "$*"
    failures=$((failures + 1))
}

for tool in desktop-file-validate appstreamcli; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is not installed (Debian packages desktop-file-utils and appstream)" >&2
        exit 1
    fi
done

tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/usr
if ! cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1; then
    cat "$tmp/install.log"
    echo "FAIL cmake --install"
    exit 1
fi

id=io.github.grantwise.Grantwise
desktop=$prefix/share/applications/$id.desktop
metainfo=$prefix/share/metainfo/$id.metainfo.xml

for file in bin/grantwise bin/grantwise-check bin/grantwise-acl; do
    [ -x "$prefix/$file" ] || fail "$file is not installed as a program"
done
for file in \
    share/man/man1/grantwise.1 share/man/man1/grantwise-check.1 share/man/man1/grantwise-acl.1 \
    share/bash-completion/completions/grantwise-check share/bash-completion/completions/grantwise-acl \
    share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
    share/doc/grantwise/copyright; do
    [ -f "$prefix/$file" ] || fail "$file is not installed"
done
[ "$failures" -eq 0 ] || exit 1

# The completion file registers the command it is installed for.
for name in grantwise-check grantwise-acl; do
    grep -q "complete -F [_a-z]* $name\$" "$prefix/share/bash-completion/completions/$name" \
        || fail "the completion installed as $name does not complete $name"
done

# The desktop entry: no error, no warning, not even a hint.
output=$(desktop-file-validate "$desktop" 2>&1)
if [ $? -ne 0 ] || [ -n "$output" ]; then
    fail "desktop-file-validate $desktop:"
    printf '%s\n' "$output" | sed 's/^/    /'
fi

# The metadata alone, then with the tree it describes (its desktop entry).
for command in "validate --no-net $metainfo" "validate-tree --no-net $prefix"; do
    # shellcheck disable=SC2086
    output=$(appstreamcli $command 2>&1)
    if [ $? -ne 0 ] || printf '%s\n' "$output" | grep -qE '^ *[EW]: '; then
        fail "appstreamcli $command:"
        printf '%s\n' "$output" | sed 's/^/    /'
    fi
done

# What the entry and the metadata name is installed.
entry()
{
    sed -n "s/^$1=//p" "$desktop" | head -n 1
}
exec_program=$(entry Exec | cut -d' ' -f1)
[ -x "$prefix/bin/$exec_program" ] || fail "Exec=$exec_program is not an installed program"
icon=$(entry Icon)
[ -n "$icon" ] || fail "the desktop entry names no icon"
[ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon.svg"
for size in 16 32 48 64 128 256; do
    png=$prefix/share/icons/hicolor/${size}x$size/apps/$icon.png
    if [ ! -f "$png" ]; then
        fail "no ${size}x$size icon $icon.png"
        continue
    fi
    # The PNG signature, then the IHDR chunk: width and height, 4 bytes each.
    set -- $(od -An -tu1 -N24 "$png")
    width=$(((${17} << 24) + (${18} << 16) + (${19} << 8) + ${20}))
    height=$(((${21} << 24) + (${22} << 16) + (${23} << 8) + ${24}))
    [ "$1 $2 $3 $4" = "137 80 78 71" ] || fail "$png is not a PNG"
    [ "$width" -eq "$size" ] && [ "$height" -eq "$size" ] \
        || fail "$png is ${width}x$height, in the folder for ${size}x$size"
done
grep -q "<id>$id</id>" "$metainfo" || fail "the metadata's id is not $id"
# Its newest release, the first one, is this version.
newest=$(sed -n 's|.*<release version="\([^"]*\)".*|\1|p' "$metainfo" | head -n 1)
[ "$newest" = "$version" ] || fail "the metadata's newest release is ${newest:-missing}, not $version"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" \
    || fail "the metadata does not launch $id.desktop"
for binary in $(sed -n 's|.*<binary>\(.*\)</binary>.*|\1|p' "$metainfo"); do
    [ -x "$prefix/bin/$binary" ] || fail "the metadata provides $binary, which is not installed"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures install checks failed"
    exit 1
fi
echo "install checks passed"
