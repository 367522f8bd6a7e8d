// grantwise-acl: prints the POSIX permissions of folders, one listing each.

#include "platform/AclListing.h"
#include "platform/PrintablePath.h"

#include <cerrno>
#include <cstring>
#include <getopt.h>
#include <string>
#include <unistd.h>

namespace {

const char kUsage[] = "Usage: grantwise-acl [--physical] [--] DIR...  (grantwise-acl --help explains the output)\n";

const char kHelp[] = "Usage: grantwise-acl [--physical] [--] DIR...\n"
                     "       grantwise-acl --help | --version\n"
                     "Prints the permissions of each folder: its POSIX access ACL, its default\n"
                     "(inheritable) ACL, its special mode bits, its NFSv4 ACL and Samba's\n"
                     "Windows ACL.\n"
                     "\n"
                     "  -P, --physical  follow no symbolic link: a DIR whose path leads through\n"
                     "                  one, in any of its names, the last included, is not\n"
                     "                  listed but reported as an error\n"
                     "\n"
                     "Each listing starts with the folder's path in printable form (a backslash,\n"
                     "control and invisible characters, spaces other than the blank, bytes that\n"
                     "are not UTF-8, a blank ending a name and a \"(\" after \":\" are written as\n"
                     "\\ and three octal digits), a blank and the\n"
                     "first entry; every further entry stands on a line of its own, indented by\n"
                     "four blanks; an empty line ends the listing. Entries of the default ACL\n"
                     "carry \":(default)\". Folders with equal permissions give identical entries.\n"
                     "\n"
                     "User and group names are written in the same printable form, with every\n"
                     "blank written \\040 and the first digit of a name of digits only escaped,\n"
                     "so that a name never reads as an id without a name. A folder that may be\n"
                     "reached but not read is listed all the same.\n"
                     "\n"
                     "A folder with an NFSv4 ACL has one entry \"nfs4 TYPE:FLAGS:WHO:MASK\" for each\n"
                     "ACE, in the ACL's order, as nfs4_getfacl writes it. An NFSv4 ACL without\n"
                     "ACEs has the entry \"nfs4 (no ACEs)\". One with Samba's Windows ACL\n"
                     "(security.NTACL) has it in SDDL, each part an entry: \"ntacl O:SID\",\n"
                     "\"ntacl G:SID\", \"ntacl D:FLAGS\", then \"ntacl (TYPE;FLAGS;MASK;;;SID)\"\n"
                     "for each ACE in the DACL's order, and \"ntacl S:FLAGS\" and \"ntacl S(...)\"\n"
                     "for a SACL; masks in hexadecimal, SIDs as SID strings.\n"
                     "\n"
                     "A folder whose permissions cannot be read gives a message on standard\n"
                     "error and no listing; the exit status is then 1. So does a folder whose\n"
                     "ACL does not decode, or that carries an ACL this program does not read\n"
                     "(system.richacl, security.nfs4acl, system.nfs4_acl_xdr, the CIFS/SMB\n"
                     "client's system.cifs_* and system.smb3_*). \"--\" ends the options.\n";

// One write() for the whole listing, so that listings of programs appending
// to the same file never interleave.
bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // GNU options; "--" ends them, so that any folder name can follow.
    static const option longOptions[] = {
        {"help", no_argument, nullptr, 'h'},
        {"physical", no_argument, nullptr, 'P'},
        {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0; // the messages are ours
    gw::Links links = gw::Links::Follow;
    for (int c; (c = ::getopt_long(argc, argv, "hP", longOptions, nullptr)) != -1;) {
        switch (c) {
        case 'h': return writeAll(1, kHelp) ? 0 : 2;
        case 'P': links = gw::Links::Refuse; break;
        case 'V': return writeAll(1, "grantwise-acl " GRANTWISE_VERSION "\n") ? 0 : 2;
        default: {
            const std::string option = optopt != 0 ? std::string("-") + static_cast<char>(optopt) : argv[optind - 1];
            writeAll(2, "grantwise-acl: unknown option " + gw::printable(option) + "\n" + kUsage);
            return 2;
        }
        }
    }
    const int first = optind;
    if (first >= argc) {
        writeAll(2, kUsage);
        return 2;
    }
    gw::PrincipalNames names;
    int status = 0;
    std::string block;
    for (int i = first; i < argc; ++i) {
        block.clear();
        std::string why;
        const int rc = gw::appendAclListing(block, argv[i], names, links, &why);
        if (rc != 0) {
            // Under --physical a link on the path is what ELOOP means.
            if (rc == ELOOP && links == gw::Links::Refuse)
                why = "the path leads through a symbolic link, which --physical does not follow";
            else if (why.empty())
                why = std::strerror(rc);
            writeAll(2, "grantwise-acl: " + gw::printable(argv[i]) + ": " + why + "\n");
            status = 1;
            continue;
        }
        if (!writeAll(1, block)) {
            writeAll(2, std::string("grantwise-acl: cannot write the listing: ") + std::strerror(errno) + "\n");
            return 1;
        }
    }
    return status;
}
