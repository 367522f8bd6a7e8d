#!/usr/bin/python3
"""A small read-only FUSE file system of folders with NFSv4 ACLs, for the tests.

    nfs4_acl_fs.py MOUNTPOINT

It serves, like an NFS 4 mount, no POSIX ACLs (EOPNOTSUPP) but the extended
attribute system.nfs4_acl in the kernel's XDR form. Every folder has mode
0755 and belongs to root. The top folder's ACL is TOP; each folder below has
TOP, or TOP changed in one thing, or no ACEs, or a value that does not
decode, or a value that changes size on every read, or beside TOP an
attribute of another ACL model (a richacl, Samba's security.nfs4acl,
OpenZFS's system.nfs4_acl_xdr, the CIFS and SMB clients' Windows ACLs).
It stays in the foreground until it is unmounted, and unmounts itself when
the process that started it goes away.

    nfs4_acl_fs.py MOUNTPOINT --tree FILE

serves instead the folders FILE describes, one a line:

    /path MODE UID GID [ACE ...]

MODE in octal, each ACE as nfs4_getfacl prints it ("A:fd:EVERYONE@:rtncy",
"D::OWNER@:w"); a folder without ACEs has an ACL of none. FILE is read again
on every request, so a test changes an ACL by rewriting it.
"""

import ctypes
import errno
import os
import stat
import struct
import subprocess
import sys
import threading
import time

from fusepy import FUSE, FuseOSError, Operations

# ACE types, flags and access mask bits (RFC 7530, 6.2.1).
ALLOW, DENY = 0, 1
FILE_INHERIT, DIRECTORY_INHERIT, INHERIT_ONLY, IDENTIFIER_GROUP, INHERITED = 0x1, 0x2, 0x8, 0x40, 0x80
MASK = dict(r=0x1, w=0x2, a=0x4, n=0x8, N=0x10, x=0x20, D=0x40, t=0x80, T=0x100,
            d=0x10000, c=0x20000, C=0x40000, o=0x80000, y=0x100000)


def mask(letters):
    return sum(MASK[c] for c in letters)


def xdr_string(data):
    return struct.pack('>I', len(data)) + data + b'\0' * (-len(data) % 4)


def ace(kind, flags, letters, who):
    return struct.pack('>III', kind, flags, mask(letters)) + xdr_string(who)


def acl(aces):
    return struct.pack('>I', len(aces)) + b''.join(aces)


INHERIT = FILE_INHERIT | DIRECTORY_INHERIT
OWNER = ace(ALLOW, INHERIT, 'rwaDxtTnNcCy', b'OWNER@')
STAFF = ace(ALLOW, INHERIT | IDENTIFIER_GROUP, 'rwaDxtTnNcy', b'staff@example.com')
GROUP = ace(ALLOW, INHERIT, 'rxtncy', b'GROUP@')
EVERYONE = ace(ALLOW, INHERIT, 'rxtncy', b'EVERYONE@')
TOP = acl([OWNER, STAFF, GROUP, EVERYONE])

# The value of a folder whose system.nfs4_acl changes size on every read:
# short when its size is asked, long when it is read, so that it never fits
# the buffer made for it.
RESIZING = object()

# Other ACL models, each served beside TOP by one folder "model-<name>".
OTHER_MODELS = ['security.nfs4acl', 'system.nfs4_acl_xdr', 'system.cifs_acl', 'system.cifs_ntsd',
                'system.cifs_ntsd_full', 'system.smb3_ntsd', 'system.smb3_ntsd_full']

# Folder -> (system.nfs4_acl, whether listxattr names it, {other attribute: value}).
FOLDERS = {
    '/': (TOP, True, None),
    '/same-a': (TOP, True, None),
    '/same-a/below': (TOP, True, None),
    # An NFS client does not name system.nfs4_acl in listxattr.
    '/same-b': (TOP, False, None),
    '/type': (acl([OWNER, ace(DENY, INHERIT | IDENTIFIER_GROUP, 'rwaDxtTnNcy', b'staff@example.com'),
                   GROUP, EVERYONE]), True, None),
    '/flag': (acl([OWNER, STAFF, ace(ALLOW, INHERIT | INHERIT_ONLY, 'rxtncy', b'GROUP@'), EVERYONE]),
              True, None),
    '/mask': (acl([OWNER, STAFF, GROUP, ace(ALLOW, INHERIT, 'rwxtncy', b'EVERYONE@')]), True, None),
    '/mask/below': (acl([OWNER, STAFF, GROUP, ace(ALLOW, INHERIT, 'rwxtncy', b'EVERYONE@')]), False, None),
    '/who': (acl([OWNER, ace(ALLOW, INHERIT | IDENTIFIER_GROUP, 'rwaDxtTnNcy', b'devs@example.com'),
                  GROUP, EVERYONE]), True, None),
    '/order': (acl([OWNER, GROUP, STAFF, EVERYONE]), True, None),
    # INHERITED, a flag nfs4_getfacl 0.3.7 does not show.
    '/inherited': (acl([ace(ALLOW, INHERIT | INHERITED, 'rwaDxtTnNcCy', b'OWNER@'), STAFF, GROUP, EVERYONE]),
                   True, None),
    '/garbage': (b'\x00\x00\x00\x03not an ACL at all', True, None),
    '/truncated': (TOP[:-5], True, None),
    '/trailing': (TOP + b'\0\0\0\0', True, None),
    '/huge-who': (acl([OWNER])[:16] + struct.pack('>I', 0xFFFFFFF0) + b'OWNER@\0\0', True, None),
    '/richacl': (TOP, True, {'system.richacl': b'\x02\x00\x00\x00\x00\x00\x00\x00'}),
    '/no-aces': (acl([]), True, None),
    '/resizing': (RESIZING, True, None),
}
FOLDERS.update({'/model-' + name: (TOP, True, {name: b'\x01\x00\x04\x80'}) for name in OTHER_MODELS})


FLAG_LETTERS = dict(f=0x1, d=0x2, n=0x4, i=0x8, S=0x10, F=0x20, g=0x40, O=0x80)
TYPE_LETTERS = dict(A=0, D=1, U=2, L=3)


def ace_from_text(text):
    kind, flags, who, letters = text.split(':', 3)
    return struct.pack('>III', TYPE_LETTERS[kind], sum(FLAG_LETTERS[c] for c in flags),
                       mask(letters)) + xdr_string(who.encode())


class TreeFile:
    """The folders of a --tree FILE, read again on every request."""

    def __init__(self, path):
        self.path = path

    def folders(self):
        folders = {}
        with open(self.path) as f:
            for line in f:
                fields = line.split()
                if fields:
                    folders[fields[0]] = (int(fields[1], 8), int(fields[2]), int(fields[3]),
                                          acl([ace_from_text(t) for t in fields[4:]]))
        return folders


class Nfs4TreeFs(Operations):
    def __init__(self, tree):
        self.tree = tree

    def entry(self, path):
        folder = self.tree.folders().get(path)
        if folder is None:
            raise FuseOSError(errno.ENOENT)
        return folder

    def getattr(self, path, fh=None):
        mode, uid, gid, _ = self.entry(path)
        return dict(st_mode=stat.S_IFDIR | mode, st_nlink=2, st_uid=uid, st_gid=gid, st_size=0,
                    st_atime=0, st_mtime=0, st_ctime=0)

    def readdir(self, path, fh):
        prefix = path.rstrip('/') + '/'
        folders = self.tree.folders()
        return ['.', '..'] + [p[len(prefix):] for p in folders
                              if p != path and p.startswith(prefix) and '/' not in p[len(prefix):]]

    def getxattr(self, path, name, position=0):
        _, _, _, value = self.entry(path)
        if name == 'system.nfs4_acl':
            return value
        if name.startswith('system.posix_acl_'):
            raise FuseOSError(errno.EOPNOTSUPP)
        raise FuseOSError(errno.ENODATA)

    def listxattr(self, path):
        self.entry(path)
        return ['system.nfs4_acl']


class Nfs4AclFs(Operations):
    def getattr(self, path, fh=None):
        if path not in FOLDERS:
            raise FuseOSError(errno.ENOENT)
        return dict(st_mode=stat.S_IFDIR | 0o755, st_nlink=2, st_uid=0, st_gid=0, st_size=0,
                    st_atime=0, st_mtime=0, st_ctime=0)

    def readdir(self, path, fh):
        prefix = path.rstrip('/') + '/'
        children = [p[len(prefix):] for p in FOLDERS
                    if p != path and p.startswith(prefix) and '/' not in p[len(prefix):]]
        return ['.', '..'] + children

    def getxattr(self, path, name, position=0):
        if path not in FOLDERS:
            raise FuseOSError(errno.ENOENT)
        nfs4, _, others = FOLDERS[path]
        if name.startswith('system.posix_acl_'):
            raise FuseOSError(errno.EOPNOTSUPP)
        if name == 'system.nfs4_acl':
            return nfs4
        if others and name in others:
            return others[name]
        raise FuseOSError(errno.ENODATA)

    def listxattr(self, path):
        if path not in FOLDERS:
            raise FuseOSError(errno.ENOENT)
        _, listed, others = FOLDERS[path]
        return (['system.nfs4_acl'] if listed else []) + list(others or {})


class ResizingFuse(FUSE):
    """Serves the RESIZING value by the size the reader asks with."""

    def getxattr(self, path, name, value, size, *args):
        if FOLDERS.get(path.decode(), (None,))[0] is RESIZING and name.decode() == 'system.nfs4_acl':
            data = acl([OWNER] * (2000 if value else 1))
            if not value:
                return len(data)
            if len(data) > size:
                return -errno.ERANGE
            ctypes.memmove(value, data, len(data))
            return len(data)
        return super().getxattr(path, name, value, size, *args)


def unmount_when_orphaned(mountpoint, parent):
    while os.getppid() == parent:
        time.sleep(0.5)
    subprocess.run(['umount', '-l', mountpoint], check=False)


if __name__ == '__main__':
    mountpoint = sys.argv[1]
    threading.Thread(target=unmount_when_orphaned, args=(mountpoint, os.getppid()), daemon=True).start()
    if len(sys.argv) == 4 and sys.argv[2] == '--tree':
        FUSE(Nfs4TreeFs(TreeFile(sys.argv[3])), mountpoint, foreground=True, nothreads=True, ro=True,
             fsname='nfs4aclfs', attr_timeout=0, entry_timeout=0)
    else:
        ResizingFuse(Nfs4AclFs(), mountpoint, foreground=True, nothreads=True, ro=True, fsname='nfs4aclfs')
