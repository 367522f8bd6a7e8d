#!/bin/sh
# The benchmark's floor walker reads the folders grantwise-check walks by
# default, no more and no fewer, with any number of threads: find, told to
# leave out names beginning with ".", is the oracle. A folder it cannot read
# makes it fail; on a file system that does not record entry types (ext4
# without filetype, loop-mounted, as root) it looks at each entry instead.
#
#   floor-walker.sh FLOOR_WALKER
set -u

walker=$1
failures=0
fail()
{
    printf 'FAIL %s\n' "$*"
    failures=$((failures + 1))
}

tmp=$(mktemp -d) || exit 1
mounted=
cleanup()
{
    [ -n "$mounted" ] && umount "$mounted"
    chmod -R u+rwx "$tmp" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
chmod 755 "$tmp"

# A mixed tree: fan-out, a deep chain, hidden folders with folders in them, a
# symbolic link to a folder, files, folders with ACLs, names of every kind.
make_tree()
{
    top=$1
    mkdir -p "$top/a/b/c" "$top/a/.hidden/inside/deeper" "$top/.top-hidden/x" "$top/with space" \
        "$top/new
line" "$top/$(printf 'bad\377byte')" "$top/-dash" "$top/..dots" "$top/a/.b/c" || return 1
    i=0
    while [ $i -lt 40 ]; do
        mkdir "$top/a/b/sibling $i" && touch "$top/a/b/sibling $i/file" || return 1
        i=$((i + 1))
    done
    (cd "$top" && i=0 && while [ $i -lt 300 ]; do mkdir d && cd d || exit 1; i=$((i + 1)); done) || return 1
    # A wide folder, whose subfolders the threads split between them.
    (cd "$top" && mkdir wide && cd wide && i=0 && while [ $i -lt 400 ]; do mkdir -p "w$i/x" || exit 1; i=$((i + 1)); done) || return 1
    ln -s "$top/a" "$top/link-to-a"
    touch "$top/a/file" "$top/.hidden-file"
    mkfifo "$top/a/fifo"
    setfacl -m u:12345:rwx "$top/a/b" && setfacl -d -m g:100:r-x "$top/a" || return 1
}

expected()
{
    find "$1" -mindepth 1 -name '.*' -prune -o -type d -printf x | wc -c
}

check_counts()
{
    top=$1
    want=$(($(expected "$top") + 1)) # the folder given is counted too
    for jobs in 1 2 7 64; do
        got=$("$walker" --jobs "$jobs" "$top")
        status=$?
        [ "$status" = 0 ] || fail "--jobs $jobs $top: exit status $status"
        [ "$got" = "$want folders" ] || fail "--jobs $jobs $top: '$got', expected '$want folders'"
    done
}

make_tree "$tmp/tree" || { echo "cannot make the tree" >&2; exit 1; }
check_counts "$tmp/tree"
[ "$(expected "$tmp/tree")" -gt 1140 ] || fail "the tree is not what the test means it to be"

# Bad arguments.
for args in "" "--jobs 0 $tmp/tree" "--jobs x $tmp/tree" "--frob $tmp/tree" "$tmp/tree $tmp/tree"; do
    # shellcheck disable=SC2086
    "$walker" $args >/dev/null 2>&1
    status=$?
    [ "$status" = 2 ] || fail "arguments '$args': exit status $status, expected 2"
done

# A folder that cannot be read is a failure, not a smaller count.
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
    chmod 700 "$tmp/tree/a/b/c"
    chown -R 65534:65534 "$tmp/tree"
    chown 0:0 "$tmp/tree/a/b/c"
    for jobs in 1 4; do
        out=$(setpriv --reuid=65534 --regid=65534 --clear-groups "$walker" --jobs $jobs "$tmp/tree" 2>"$tmp/err")
        status=$?
        [ "$status" = 1 ] || fail "unreadable folder, --jobs $jobs: exit status $status, expected 1"
        grep -q "cannot open c: Permission denied" "$tmp/err" || fail "unreadable folder, --jobs $jobs: $(cat "$tmp/err")"
        [ "$out" = "$(($(expected "$tmp/tree") + 1 - 1)) folders" ] || fail "unreadable folder, --jobs $jobs: '$out'"
    done
    chown -R 0:0 "$tmp/tree"
else
    echo "skipped: an unreadable folder (needs root and setpriv)"
fi

# No entry types recorded: ext4 made without the filetype feature.
if [ "$(id -u)" = 0 ] && command -v mkfs.ext4 >/dev/null; then
    truncate -s 64M "$tmp/image" && mkfs.ext4 -q -O ^filetype "$tmp/image" && mkdir "$tmp/mnt" \
        && mount -o loop "$tmp/image" "$tmp/mnt" && mounted=$tmp/mnt
    if [ -n "$mounted" ]; then
        make_tree "$tmp/mnt/tree" || fail "cannot make the tree on ext4 without filetype"
        # Without d_type, find would look at every entry as well: the oracle holds.
        check_counts "$tmp/mnt/tree"
    else
        echo "skipped: ext4 without filetype (the loop mount failed)"
    fi
else
    echo "skipped: ext4 without filetype (needs root and mkfs.ext4)"
fi

[ "$failures" = 0 ] && echo "all passed"
[ "$failures" = 0 ]
