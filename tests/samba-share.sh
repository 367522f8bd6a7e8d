#!/bin/sh
# A share as a real Samba server writes it: smbd on a loopback address of
# its own, a share with "vfs objects = acl_xattr", ACLs set over the wire
# with smbcacls, folders and files made with smbclient. The inheritance check
# finds that every item smbd made carries what its folder gives it, but for
# the one folder whose ACL was set by hand; grantwise-acl lists as many ACEs
# as smbcacls shows.
#
#   samba-share.sh BUILDDIR
#
# Exits 77 (skipped, with a message) where smbd cannot run here.
set -u
build=$1
skip()
{
    echo "SKIP: $*"
    exit 77
}
fail()
{
    echo "FAIL: $*"
    exit 1
}
for p in smbd smbclient smbcacls smbpasswd; do
    command -v $p > /dev/null 2>&1 || skip "$p is not installed (packages samba, smbclient)"
done
[ "$(id -u)" = 0 ] || skip "smbd needs root here"

work=$(mktemp -d /tmp/gw-samba.XXXXXX) || fail "no temporary folder"
cleanup()
{
    for f in "$work"/pid/*.pid; do
        [ -f "$f" ] || continue
        p=$(cat "$f")
        kill "$p" 2> /dev/null
        for _ in 1 2 3 4 5 6 7 8 9 10; do kill -0 "$p" 2> /dev/null || break; sleep 0.5; done
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# A loopback address of its own, so that no other server's port is in the way.
set -- $(od -An -N3 -tu1 /dev/urandom)
addr=127.$(($1 % 200 + 20)).$2.$(($3 % 250 + 2))
for d in private lock state cache pid log share; do mkdir "$work/$d"; done
conf=$work/smb.conf
cat > "$conf" << END
[global]
  server role = standalone server
  map to guest = never
  interfaces = $addr/8
  bind interfaces only = yes
  smb ports = 445
  disable netbios = yes
  private dir = $work/private
  lock directory = $work/lock
  state directory = $work/state
  cache directory = $work/cache
  pid directory = $work/pid
  log file = $work/log/log.%m
  passdb backend = tdbsam:$work/private/passdb.tdb
  load printers = no
  printcap name = /dev/null
  disable spoolss = yes
[share]
  path = $work/share
  read only = no
  vfs objects = acl_xattr
END
printf 'pw\npw\n' | smbpasswd -c "$conf" -s -a root > /dev/null || skip "smbpasswd cannot add a user here"
smbd -D -s "$conf" || skip "smbd does not start here"
up=
for _ in $(seq 1 40); do
    if smbclient -L "//$addr" -U root%pw -s "$conf" > /dev/null 2>&1; then up=1; break; fi
    sleep 0.25
done
[ -n "$up" ] || skip "smbd does not answer on $addr: $(cat "$work"/log/log.* 2> /dev/null | tail -3)"
client()
{
    smbclient "//$addr/share" -U root%pw -s "$conf" -c "$1" > /dev/null 2>&1 || fail "smbclient: $1"
}
cacls()
{
    smbcacls -U root%pw -s "$conf" --sddl "//$addr/share" "$@" 2> /dev/null
}

client 'mkdir top'
cacls top --set 'O:BAG:BUD:P(A;OICI;0x1f01ff;;;SY)(A;OICIIO;GA;;;CO)(A;CI;0x1200a9;;;AU)(A;OINP;0x1200a9;;;BU)(A;CINP;0x1200a9;;;BG)' \
    > /dev/null || fail "smbcacls cannot set the ACL of top"
client 'mkdir top\sub; mkdir top\sub\deeper; put /etc/hostname top\sub\file; put /etc/hostname top\file; mkdir top\changed'
# A folder whose ACL is set by hand, without what top gives it.
cacls top/changed --set 'O:BAG:BUD:(A;OICI;0x1f01ff;;;SY)' > /dev/null || fail "smbcacls cannot set the ACL of changed"

reports=$work/reports
mkdir -m 0700 "$reports"
out=$("$build/grantwise-check" --inheritance --files --reports "$reports" "$work/share/top" 2>&1)
[ $? = 1 ] || fail "the inheritance check did not exit 1: $out"
report=$(cat "$reports/acl_inherit.txt")
echo "$report" | grep -q "^1 folder and 0 files do not carry what their folder gives them" \
    || fail "not exactly one folder found not inherited: $report"
echo "$report" | grep -q "^folder $work/share/top/changed$" || fail "the folder changed is not the one: $report"
echo "$report" | grep -q "ntacl_not_inherited" || fail "no ntacl_not_inherited: $report"
echo "$report" | grep -q "^file " && fail "a file found not inherited: $report"

# Each folder's entries beside what smbcacls shows.
for f in top top/sub top/sub/deeper top/changed; do
    sddl=$(cacls "$f")
    listing=$("$build/grantwise-acl" "$work/share/$f" 2>&1)
    printf '%s\n  smbcacls: %s\n%s\n' "$f" "$sddl" "$listing" | sed "s|$work/share/||"
    aces=$(printf '%s\n' "$listing" | grep -c 'ntacl (')
    want=$(printf '%s' "$sddl" | tr -cd '(' | wc -c)
    [ "$aces" = "$want" ] || fail "$f lists $aces ACEs, smbcacls shows $want"
done
echo "PASS"
