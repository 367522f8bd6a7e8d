#!/bin/bash
# Installs the .deb that `make package` made with apt-get, checks a small
# folder tree with the installed grantwise-check, and removes the package
# again, whatever fails on the way.
#
#   package-install.sh BUILD-DIR
#
# Needs root, or sudo. Refuses to run while a grantwise package is installed,
# so that it never replaces or removes one it did not install itself.
set -u

build=${1:-build}
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive

failures=0
fail()
{
    printf 'FAIL %s\n' "$*"
    failures=$((failures + 1))
}

shopt -s nullglob
debs=("$build"/grantwise_*.deb)
if [ ${#debs[@]} -ne 1 ]; then
    echo "FAIL expected one grantwise_*.deb in $build (make package), found ${#debs[@]}"
    exit 1
fi
deb=$(realpath "${debs[0]}")
version=$(dpkg-deb --field "$deb" Version) || exit 1

installed()
{
    dpkg-query --show --showformat='${Status}' grantwise 2>/dev/null | grep -q 'ok installed'
}
if installed; then
    echo "FAIL grantwise is installed on this machine already; this test installs and removes" \
        "the package, so remove it first: apt-get remove grantwise"
    exit 1
fi

tmp=$(mktemp -d) || exit 1
ours=0
cleanup()
{
    if [ "$ours" -eq 1 ]; then
        echo "removing the package after a failure"
        $sudo apt-get remove -y -q grantwise >"$tmp/remove.log" 2>&1 || cat "$tmp/remove.log"
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# What the package holds besides the programs.
contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}')
for file in \
    ./usr/share/man/man1/grantwise.1.gz ./usr/share/man/man1/grantwise-check.1.gz \
    ./usr/share/man/man1/grantwise-acl.1.gz \
    ./usr/share/bash-completion/completions/grantwise-check \
    ./usr/share/bash-completion/completions/grantwise-acl \
    ./usr/share/applications/io.github.grantwise.Grantwise.desktop \
    ./usr/share/metainfo/io.github.grantwise.Grantwise.metainfo.xml \
    ./usr/share/icons/hicolor/scalable/apps/io.github.grantwise.Grantwise.svg \
    ./usr/share/doc/grantwise/copyright ./usr/share/doc/grantwise/changelog.gz; do
    grep -qxF -- "$file" <<<"$contents" || fail "the package lacks $file"
done
changelog=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/grantwise/changelog.gz | gzip -dc | head -n 1)
[[ $changelog == "grantwise ($version) "* ]] || fail "the changelog begins with '$changelog', not version $version"

# Install it as an administrator would.
ours=1
if ! $sudo apt-get install -y -q "$deb" >"$tmp/install.log" 2>&1; then
    cat "$tmp/install.log"
    fail "apt-get install $deb"
    exit 1
fi
installed || fail "grantwise is not installed after apt-get install"

out=$(/usr/bin/grantwise-check --version)
[ "$out" = "grantwise-check $version" ] || fail "grantwise-check --version says '$out', not 'grantwise-check $version'"
[ -x /usr/bin/grantwise ] || fail "/usr/bin/grantwise is not installed"

# A real check of a small tree from the installed programs: first every
# folder the same, then one that differs.
tree=$tmp/tree
mkdir -p "$tree/a/b" "$tree/c"
chmod 0755 "$tree" "$tree/a" "$tree/a/b" "$tree/c"
/usr/bin/grantwise-acl "$tree" "$tree/a/b" >"$tmp/listing" || fail "grantwise-acl exits with $?"
grep -q "^$tree " "$tmp/listing" || fail "grantwise-acl does not list $tree"

/usr/bin/grantwise-check --quiet --reports "$tmp/reports" "$tree" >"$tmp/out" 2>&1
status=$?
[ "$status" -eq 0 ] || { cat "$tmp/out"; fail "checking an even tree exits with $status, not 0"; }
for report in acl.txt acl_def.txt acl_diff.txt; do
    [ -s "$tmp/reports/$report" ] || fail "no $report after a check"
done

chmod 0700 "$tree/a/b"
/usr/bin/grantwise-check --quiet --reports "$tmp/reports" "$tree" >"$tmp/out" 2>&1
status=$?
[ "$status" -eq 1 ] || { cat "$tmp/out"; fail "checking a tree with a differing folder exits with $status, not 1"; }
grep -q "^$tree/a/b" "$tmp/reports/acl_diff.txt" || fail "the differences report does not name $tree/a/b"

/usr/bin/grantwise-check "$tmp/no such folder" >"$tmp/out" 2>&1
status=$?
[ "$status" -eq 2 ] || fail "checking a missing folder exits with $status, not 2"

# And remove it again.
if $sudo apt-get remove -y -q grantwise >"$tmp/remove.log" 2>&1; then
    ours=0
else
    cat "$tmp/remove.log"
    fail "apt-get remove grantwise"
fi
installed && fail "grantwise is still installed after apt-get remove"
[ -e /usr/bin/grantwise-check ] && fail "/usr/bin/grantwise-check is left after apt-get remove"

if [ "$failures" -ne 0 ]; then
    echo "package install test: $failures checks failed"
    exit 1
fi
echo "package install test passed: $(basename "$deb") installed, checked a tree and removed"
