#!/usr/bin/python3
"""The commands README.md and docs/*.md show are run, and their output is
compared with the text shown; every relative link resolves.

    doc-transcripts.py SOURCE_DIR BUILD_DIR

The markup (docs/writing.md says the same for writers):

- Every fenced block names its kind. ```console blocks are transcripts: a
  line beginning with "$ " is a command (a line ending in a backslash goes on
  on the next), the lines up to the next command are its output, standard
  error included. A command that exits with N other than 0 ends its output
  with the line "[exit status N]". An output line of "..." alone stands for
  any number of lines, that line never among them.
- ```sh blocks hold commands that are shown but cannot run here (they need
  a package manager, a service manager, a display, a day); each must be in
  NOT_RUN below, with the reason.
- ```text, ```json and ```ini blocks are samples and file contents, never
  commands; the options of grantwise-check and grantwise-acl in ```sh and
  ```ini blocks and in the prose are those their --help names. A command
  outside a fenced block fails the test; ~~~ fences are read as ``` ones.

Each document's transcripts run in order in a sandbox of their own: a fresh
folder T with an empty reports folder T/var/lib/grantwise, and the small
share T/srv/share that README.md's first transcript makes (run first for
every other document). Arguments that begin with /srv, /var/lib/grantwise or
/root are taken below T, and T is taken out of the output again, so the
documents show the paths an administrator would type; any other absolute
path fails the test instead of being run on this machine as root.
Times and the host's name are compared as such, not by value. A "|" between
words pipes one command into the next (no shell is started). Needs root to
give the share its owners; without root only the markup and the links are
checked (exit status 77).
"""

import base64
import difflib
import glob
import os
import re
import shlex
import socket
import subprocess
import sys
import tempfile

# Commands shown in ```sh blocks, each with why the test does not run it.
NOT_RUN = {
    "make run": "builds and opens the window",
    "make test": "is what runs this test",
    "make package": "builds the package; make test does",
    "sudo apt install ./build/grantwise_*.deb": "installs a package; tests/package-install.sh does it in make test",
    "sudo apt remove grantwise": "removes an installed package",
    "cmake --install build --prefix /usr/local": "installs into the system; tests/install-tree.sh checks an install tree",
    "grantwise-check --watch --inheritance --files /srv/share":
        "runs until it is stopped; tests/watch_test drives the watch",
    "grantwise-check --watch --json /srv/share": "runs until it is stopped; tests/watch_test drives the watch",
    "sudo systemctl enable --now grantwise-watch@$(systemd-escape --path /srv/share).service":
        "needs systemd and a shell",
    "journalctl -u 'grantwise-watch@*' GRANTWISE_STATUS=not_inherited": "needs the journal of a running service",
    "sudo systemctl daemon-reload": "needs systemd",
    "sudo systemctl enable --now grantwise-check.timer": "needs systemd",
    "systemctl list-timers grantwise-check.timer": "needs systemd",
    "sudo systemctl start grantwise-check.service": "needs systemd",
    "30 2 * * * root out=$(grantwise-check --quiet --reports /var/lib/grantwise /srv/share 2>&1) "
    "|| printf '\\%s\\n' \"$out\" | mail -s \"grantwise: /srv/share\" root": "a crontab line: cron runs it, with a mail transport",
    "30 2 * * * root out=$(grantwise-check --quiet --files --reports /var/lib/grantwise/reports "
    "--baseline /var/lib/grantwise/share.acl.gz /srv/share 2>&1) "
    "|| printf '\\%s\\n' \"$out\" | mail -s \"grantwise: /srv/share changed\" root":
        "a crontab line: cron runs it, with a mail transport",
    "samba-tool ntacl set --service=share 'O:...G:...D:AI(A;OICI;0x1f01ff;;;S-1-5-18)...' /srv/share/projects":
        "needs a Samba server's share; tests/samba-share.sh runs one",
    "smbcacls //server/share projects -U admin --sddl --set 'O:...'": "needs an SMB server and its password",
    "nfs4_setfacl -S /root/projects.nfs4 /mnt/nfs/share/projects": "needs an NFS 4 mount",
    "sudo bench/walk-vs-peers.sh build": "a benchmark of minutes, run by hand",
    "sudo bench/walk-vs-peers.sh --small --sweep \"1 2 4 8 16 32 64\" build": "a benchmark of minutes, run by hand",
    "cmake --build build --target grantwise-check floor_walker make_bench_tree": "builds; make test does",
}

KINDS = {"console", "sh", "text", "json", "ini"}
MAPPED = ("/srv", "/var/lib/grantwise", "/root")
PROGRAMS = ("grantwise", "setfacl", "getfacl", "sudo", "make", "systemctl", "cmake", "jq", "$ ")

failures = []


def fail(where, what):
    failures.append(f"{where}: {what}")


def blocks(path):
    """The fenced blocks of a document as (line, kind, lines); commands
    outside them are failures."""
    found, kind, start, body, indent, marker = [], None, 0, [], 0, ""
    for number, line in enumerate(open(path, encoding="utf-8").read().split("\n"), 1):
        if kind is None:
            fence = re.match(r"^( {0,3})(```|~~~)\s*(\S*)", line)
            if fence:
                indent, marker, kind, start, body = len(fence.group(1)), fence.group(2), fence.group(3), number, []
            elif line.lstrip().startswith("$ ") or (
                    re.match(r"^ {4,}", line) and line.strip().startswith(PROGRAMS) and not line.strip().startswith("-")):
                fail(f"{path}:{number}", "a command outside a fenced block: " + line.strip())
        elif re.match(r"^ {0,3}" + marker + r"\s*$", line):
            found.append((start, kind, body))
            kind = None
        else:
            body.append(line[indent:] if line[:indent].isspace() else line)
    if kind is not None:
        fail(f"{path}:{start}", "a fenced block that is never closed")
    for start, kind, _ in found:
        if kind not in KINDS:
            fail(f"{path}:{start}", f"a fenced block of kind '{kind}' (one of {sorted(KINDS)} is wanted)")
    return found


def joined(lines, commands_only=False):
    """Lines with backslash continuations joined, as (index, text); with
    commands_only, only those of lines that begin with "$ "."""
    out, i = [], 0
    while i < len(lines):
        start, text = i, lines[i]
        joins = not commands_only or text.startswith("$ ")
        while joins and text.endswith("\\") and i + 1 < len(lines):
            i += 1
            text = text[:-1].rstrip() + " " + lines[i].strip()
        out.append((start, text))
        i += 1
    return out


def slug(heading):
    text = re.sub(r"[^\w\- ]", "", heading.strip().lower())
    return text.replace(" ", "-")


def anchors(path):
    text = open(path, encoding="utf-8").read()
    text = re.sub(r"```.*?```", "", text, flags=re.S)
    return {slug(h) for h in re.findall(r"^#+ (.*)$", text, flags=re.M)}


def check_links(path):
    text = re.sub(r"```.*?```", "", open(path, encoding="utf-8").read(), flags=re.S)
    for target in re.findall(r"\]\(([^)\s]+)\)", text):
        if re.match(r"^[a-z]+:", target):
            continue
        file, _, anchor = target.partition("#")
        resolved = os.path.normpath(os.path.join(os.path.dirname(path), file)) if file else path
        if not os.path.exists(resolved):
            fail(path, f"the link {target} leads to no file")
        elif anchor and resolved.endswith(".md") and anchor not in anchors(resolved):
            fail(path, f"the link {target} leads to no heading")


def check_inline_options(path, build, found):
    """Commands in prose (`grantwise-check --who anyone /srv/share`), in sh
    blocks and in unit files are not run, but they name only options their
    program's --help names."""
    text = re.sub(r"```.*?```", "", open(path, encoding="utf-8").read(), flags=re.S)
    shown = [line for _, kind, body in found if kind in ("sh", "ini") for _, line in joined(body)]
    for program in ("grantwise-check", "grantwise-acl"):
        help_text = subprocess.run([os.path.join(build, program), "--help"], capture_output=True, text=True).stdout
        known = set(re.findall(r"--[a-z][a-z-]*", help_text))
        spans = re.findall(r"`(" + program + r" [^`]*)`", text)
        spans += [m for line in shown for m in re.findall(r"\b(" + program + r" [^|;&)]*)", line)]
        for span in spans:
            for option in set(re.findall(r"(?<![\w-])--[a-z][a-z-]*", span)) - known:
                fail(path, f"`{span}` names {option}, which {program} --help does not name")


def make_sandbox(sandbox, build, share):
    """The sandbox's empty folders; with share, the commands of README.md's
    first transcript run in it, which make the small share."""
    os.chmod(sandbox, 0o755)
    os.umask(0o022)
    for folder in ("srv", "var", "var/lib", "root", "tmp"):
        os.mkdir(os.path.join(sandbox, folder), 0o755)
    os.mkdir(os.path.join(sandbox, "var/lib/grantwise"), 0o700)
    os.chmod(os.path.join(sandbox, "tmp"), 0o700)
    for command in share:
        output = run(command, sandbox, build)
        if output:
            fail("README.md", f"making the share, $ {command} printed: {output.strip()}")


def normalized(text, sandbox=None):
    if sandbox:
        def rebase(match):
            raw = base64.b64decode(match.group(1))
            raw = raw[len(sandbox):] if raw.startswith(os.fsencode(sandbox)) else raw
            return '"path_base64":"' + base64.b64encode(raw).decode() + '"'
        text = re.sub(r'"path_base64":"([A-Za-z0-9+/=]*)"', rebase, text)
        text = text.replace(sandbox, "")
        host = socket.gethostname()
        text = re.sub(r"\bon " + re.escape(host) + r"\b", "on fileserver", text)
    text = text.replace("\r\n", "\n")
    text = re.sub(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?Z", "<time>", text)
    text = re.sub(r"\b\d\d:\d\d:\d\d\b", "<time>", text)
    text = re.sub(r"\b\d\d/\d\d/\d\d\b", "<date>", text)
    text = re.sub(r'"seconds":[0-9.]+', '"seconds":<s>', text)
    return text


def matches(expected, actual):
    # "..." stands for lines, but never for the line of a failed command's status.
    pattern = "".join(r"(?:(?!\[exit status )[^\n]*\n)*?" if line.strip() == "..." else re.escape(line) + "\n"
                      for line in expected)
    return re.fullmatch(pattern, actual) is not None


def run(command, sandbox, build):
    words = []
    for word in shlex.split(command):
        key, eq, value = word.partition("=") if word.startswith("--") else ("", "", word)
        if value.startswith("/"):
            if not any(value == p or value.startswith(p + "/") for p in MAPPED):
                return f"[not run: {value} is outside the sandbox]\n"
            value = sandbox + value
        words.append(key + eq + value)
    stages = [[]]
    for word in words:
        stages.append([]) if word == "|" else stages[-1].append(word)
    env = {"PATH": build + ":/usr/sbin:/usr/bin:/sbin:/bin", "LC_ALL": "C.UTF-8", "HOME": sandbox + "/root",
           "TMPDIR": sandbox + "/tmp", "GRANTWISE_ACL": build + "/grantwise-acl"}
    previous, processes = None, []
    for stage in stages:
        last = stage is stages[-1]
        try:
            p = subprocess.Popen(stage, cwd=sandbox, env=env, stdin=previous or subprocess.DEVNULL,
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT if last else None)
        except OSError as error:
            for started in processes:
                started.kill()
                started.wait()
            return f"[not run: {error}]\n"
        if previous:
            previous.close()
        previous = p.stdout
        processes.append(p)
    output = processes[-1].communicate(timeout=120)[0].decode("utf-8", "replace")
    status = 0
    for p in processes:
        status = p.wait() or status
    if output and not output.endswith("\n"):
        output += "\n"
    if status:
        output += f"[exit status {status}]\n"
    return output


def transcripts(path, found, build, share):
    sandbox = tempfile.mkdtemp(prefix="doc-")
    try:
        make_sandbox(sandbox, build, share)
        for start, _, body in (b for b in found if b[1] == "console"):
            lines = joined(body, commands_only=True)
            if not lines or not lines[0][1].startswith("$ "):
                fail(f"{path}:{start}", "a console block must begin with a '$ ' command")
                continue
            runs = []
            for i, text in lines:
                if text.startswith("$ "):
                    runs.append((i, text[2:], []))
                else:
                    runs[-1][2].append(text)
            for i, command, shown in runs:
                expected = normalized("".join(t + "\n" for t in shown)).split("\n")[:-1]
                actual = normalized(run(command, sandbox, build), sandbox)
                if not matches(expected, actual):
                    diff = difflib.unified_diff(expected, actual.split("\n")[:-1], "shown", "printed", lineterm="")
                    fail(f"{path}:{start + 1 + i}", f"$ {command}\n    " + "\n    ".join(diff))
    finally:
        subprocess.run(["rm", "-rf", "--one-file-system", sandbox], check=False)


def main():
    source, build = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    documents = [os.path.join(source, "README.md")] + sorted(glob.glob(os.path.join(source, "docs/*.md")))
    parsed, used = {}, set()
    for path in documents:
        parsed[path] = blocks(path)
        check_links(path)
        check_inline_options(path, build, parsed[path])
        for start, kind, body in parsed[path]:
            if kind == "sh":
                for i, command in joined(body):
                    if command.strip() and not command.startswith("#"):
                        if command in NOT_RUN:
                            used.add(command)
                        else:
                            fail(f"{path}:{start + 1 + i}", "a command not run, and not in NOT_RUN: " + command)
    for command in sorted(set(NOT_RUN) - used):
        fail("doc-transcripts.py", "NOT_RUN names a command no document shows: " + command)
    if os.geteuid() != 0:
        if failures:
            print("\n".join("FAIL " + f for f in failures))
            return 1
        print("the transcripts need root (they give the share its owners): not run")
        return 77
    readme = [body for _, kind, body in parsed[documents[0]] if kind == "console"]
    share = [text[2:] for _, text in joined(readme[0], commands_only=True) if text.startswith("$ ")] if readme else []
    count = 0
    for path in documents:
        if any(kind == "console" for _, kind, _ in parsed[path]):
            transcripts(path, parsed[path], build, [] if path == documents[0] else share)
            count += sum(1 for _, kind, b in parsed[path] if kind == "console")
    print("\n".join("FAIL " + f for f in failures))
    print(f"{count} transcripts in {len(documents)} documents; {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
