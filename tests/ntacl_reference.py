#!/usr/bin/python3
# The reference for Windows ACLs in tests: Samba's own Python bindings
# (python3-samba) make security.NTACL values from SDDL, and decode them.
#
#   ntacl_reference.py check                 exit 0 when the bindings load
#   ntacl_reference.py random COUNT SEED     COUNT random descriptors, one a line:
#       <value of version 1, hex> TAB <value of version 4, hex> TAB
#       <the entries Samba's decoding gives, in grantwise-acl's form, "|" between> TAB
#       <Samba's own SDDL>
#   ntacl_reference.py pack VERSION SDDL...  the value (hex) of each descriptor, one a line
#   ntacl_reference.py sddl HEX              Samba's SDDL of a value
#
# The entries are written from the structure Samba decodes (ndr_unpack),
# never from what was asked for: masks in hexadecimal, SIDs as SID strings,
# flags in SDDL's order.
import random
import sys

try:
    from samba.dcerpc import security, xattr
    from samba.ndr import ndr_pack, ndr_unpack
except ImportError as e:
    print("python3-samba cannot be loaded: %s" % e, file=sys.stderr)
    sys.exit(3)

DOMAIN = security.dom_sid("S-1-5-21-1-2-3")
TYPES = {0: "A", 1: "D", 2: "AU", 3: "AL", 5: "OA", 6: "OD", 7: "OU", 8: "OL"}
ACE_FLAGS = [(0x01, "OI"), (0x02, "CI"), (0x04, "NP"), (0x08, "IO"), (0x10, "ID"), (0x40, "SA"), (0x80, "FA")]


def acl_flags(control, sacl):
    shift = 1 if sacl else 0
    return "".join(text for bit, text in [(0x1000, "P"), (0x0100, "AR"), (0x0400, "AI")] if control & (bit << shift))


def ace_entry(ace):
    flags = "".join(text for bit, text in ACE_FLAGS if ace.flags & bit)
    object_type = inherited = ""
    if ace.type in (5, 6, 7, 8):
        if ace.object.flags & 1:
            object_type = str(ace.object.type)
        if ace.object.flags & 2:
            inherited = str(ace.object.inherited_type)
    return "(%s;%s;0x%x;%s;%s;%s)" % (TYPES[ace.type], flags, ace.access_mask, object_type, inherited, ace.trustee)


def entries(sd):
    out = []
    if sd.owner_sid is not None:
        out.append("O:%s" % sd.owner_sid)
    if sd.group_sid is not None:
        out.append("G:%s" % sd.group_sid)
    for present, acl, head, sacl in [(0x4, sd.dacl, "D:", False), (0x10, sd.sacl, "S:", True)]:
        if not sd.type & present:
            if not sacl:
                out.append("D:not present")
            continue
        out.append(head + acl_flags(sd.type, sacl) + ("NO_ACCESS_CONTROL" if acl is None else ""))
        for ace in acl.aces if acl is not None else []:
            out.append(("S" if sacl else "") + ace_entry(ace))
    return out


def pack(sd, version):
    value = xattr.NTACL()
    value.version = version
    if version == 1:
        value.info = sd
    else:
        info = xattr.security_descriptor_hash_v4()
        info.sd = sd
        info.hash_type = 1
        info.hash = [random.randrange(256) for _ in range(64)]
        info.description = random.choice(["posix_acl", "", "a", "cascaded"])
        info.time = random.randrange(1 << 64)
        info.sys_acl_hash = [random.randrange(256) for _ in range(64)]
        value.info = info
    return ndr_pack(value)


def decoded(blob):
    value = ndr_unpack(xattr.NTACL, blob)
    return value.info if value.version == 1 else value.info.sd


def random_sid(rng):
    authority = rng.choice([5, 5, 5, 1, 3, 0, rng.randrange(1 << 48)])
    return "S-1-%d-%s" % (authority, "-".join(str(rng.randrange(1 << 32)) for _ in range(rng.randint(1, 15))))


def random_guid(rng):
    h = "%032x" % rng.randrange(1 << 128)
    return "%s-%s-%s-%s-%s" % (h[:8], h[8:12], h[12:16], h[16:20], h[20:])


def random_ace(rng, sacl):
    kind = rng.choice(["AU", "AL", "OU"] if sacl else ["A", "A", "D", "OA", "OD"])
    flags = "".join(text for bit, text in ACE_FLAGS[:5] if rng.random() < 0.3)
    if sacl:
        flags += "".join(text for bit, text in ACE_FLAGS[5:] if rng.random() < 0.5)
    guids = ";"
    if kind.startswith("O"):
        guids = "%s;%s" % (random_guid(rng) if rng.random() < 0.6 else "", random_guid(rng) if rng.random() < 0.6 else "")
    return "(%s;%s;0x%x;%s;%s)" % (kind, flags, rng.randrange(1, 1 << 32), guids, random_sid(rng))


def random_sddl(rng):
    text = ""
    if rng.random() < 0.9:
        text += "O:" + random_sid(rng)
    if rng.random() < 0.9:
        text += "G:" + random_sid(rng)
    text += "D:" + "".join(f for f in ["P", "AR", "AI"] if rng.random() < 0.4)
    aces = rng.randint(0, 10)
    text += "".join(random_ace(rng, False) for _ in range(aces))
    # Samba's SDDL parser takes the "S" of "D:PS:" for a flag of the DACL.
    if rng.random() < 0.2 and (aces > 0 or text.endswith("D:")):
        text += "S:" + "".join(f for f in ["P", "AR", "AI"] if rng.random() < 0.4)
        text += "".join(random_ace(rng, True) for _ in range(rng.randint(0, 3)))
    return text


def main(argv):
    if argv[1] == "check":
        return 0
    if argv[1] == "random":
        rng = random.Random(int(argv[3]))
        random.seed(int(argv[3]))
        for _ in range(int(argv[2])):
            sd = security.descriptor.from_sddl(random_sddl(rng), DOMAIN)
            v1, v4 = pack(sd, 1), pack(sd, 4)
            listed = entries(decoded(v1))
            if entries(decoded(v4)) != listed:
                print("versions 1 and 4 decode differently", file=sys.stderr)
                return 1
            print("%s\t%s\t%s\t%s" % (v1.hex(), v4.hex(), "|".join(listed), decoded(v1).as_sddl(DOMAIN)))
        return 0
    if argv[1] == "pack":
        for sddl in argv[3:]:
            print(pack(security.descriptor.from_sddl(sddl, DOMAIN), int(argv[2])).hex())
        return 0
    if argv[1] == "sddl":
        print(decoded(bytes.fromhex(argv[2])).as_sddl(DOMAIN))
        return 0
    print("unknown command %s" % argv[1], file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
