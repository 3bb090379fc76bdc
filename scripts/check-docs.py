#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks that the documentation holds together with the tree and the program:

  (a) every relative link in README.md and docs/*.md names a file that exists (and, where it names
      a heading of a Markdown page, a heading that exists), and every path of the tree those pages
      quote as inline code (`src/layers.txt`) exists, and docs/architecture.md's copy of
      src/layers.txt is that file;
  (b) the options that `quillon-cli COMMAND --help` lists for each command (and `quillon-cli --help`
      for the program alone) are exactly those that docs/cli.md and packaging/quillon-cli.1 describe
      for it: in docs/cli.md the "### Options" list of the command's "## quillon-cli COMMAND" section,
      in the man page the ".SS COMMAND" part of OPTIONS and the command's SYNOPSIS line. The options
      of "## Every command" (".SS Every command") belong to every command and to the program alone.

Usage: check-docs.py SOURCE_DIR QUILLON_CLI
       check-docs.py --self-test SOURCE_DIR QUILLON_CLI   (breaks copies of the pages on purpose and
                                                           checks that each break is reported)
Exit status 0 when all holds, 1 with one line per mismatch, 2 on a usage error.
Python 3 with its standard library only; no network.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unicodedata

COMMANDS = ["validate", "complete", "generate", "import"]
EVERY = "Every command"
OPTION_NAME = re.compile(r"(?<![\w-])--?[A-Za-z][\w-]*")


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


# ---------------------------------------------------------------------------------------------
# (a) links


def without_code(text):
    """The Markdown text without fenced code blocks and inline code spans (links there are text)."""
    return "\n".join(re.sub(r"(`+)(?:(?!\1).)+?\1", "", line) for line in without_fences(text).split("\n"))


def slug(heading):
    """The anchor a Markdown renderer gives a heading: lower case, punctuation dropped, spaces as -."""
    text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", heading).strip().lower()
    kept = []
    for ch in text:
        if ch in " -_" or unicodedata.category(ch)[0] in "LN":
            kept.append("-" if ch == " " else ch)
    return "".join(kept)


def anchors(markdown):
    found, seen = set(), {}
    for line in without_code(markdown).split("\n"):
        m = re.match(r"^#{1,6}\s+(.*?)\s*#*\s*$", line)
        if not m:
            continue
        # Inline code in a heading counts with its text, without the backticks.
        base = slug(m.group(1).replace("`", ""))
        n = seen.get(base, 0)
        seen[base] = n + 1
        found.add(base if n == 0 else f"{base}-{n}")
    return found


def link_targets(markdown):
    text = without_code(markdown)
    for m in re.finditer(r"!?\[(?:[^\]\\]|\\.)*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)", text):
        yield m.group(1)
    for m in re.finditer(r"^\s{0,3}\[[^\]]+\]:\s*<?(\S+?)>?(?:\s+.*)?$", text, re.M):
        yield m.group(1)


def check_links(root):
    problems = []
    pages = ["README.md"]
    docs = os.path.join(root, "docs")
    if os.path.isdir(docs):
        pages += sorted("docs/" + name for name in os.listdir(docs) if name.endswith(".md"))
    for page in pages:
        path = os.path.join(root, page)
        if not os.path.isfile(path):
            problems.append(f"{page}: missing")
            continue
        text = read(path)
        for target in link_targets(text):
            if re.match(r"^[A-Za-z][A-Za-z0-9+.-]*:", target):
                continue  # a web address or mail link: not a file of the tree
            file_part, _, anchor = target.partition("#")
            file_part = file_part.split("?")[0]
            if file_part:
                resolved = os.path.normpath(os.path.join(os.path.dirname(path), file_part))
                if not os.path.exists(resolved):
                    problems.append(f"{page}: the link \"{target}\" names {file_part}, which does not exist")
                    continue
                if not resolved.startswith(root + os.sep):
                    problems.append(f"{page}: the link \"{target}\" leads outside the tree")
                    continue
            else:
                resolved = path
            if anchor and resolved.endswith(".md") and os.path.isfile(resolved):
                if anchor.lower() not in anchors(read(resolved)):
                    shown = os.path.relpath(resolved, root)
                    problems.append(f"{page}: the link \"{target}\" names the heading #{anchor}, "
                                    f"which {shown} does not have")
    return problems


# ---------------------------------------------------------------------------------------------
# (b) options


def help_options(cli, command):
    """The option groups (["-o", "--output"]) that `quillon-cli [COMMAND] --help` lists."""
    args = [cli] + ([command] if command else []) + ["--help"]
    shown = " ".join(["quillon-cli"] + args[1:])
    try:
        run = subprocess.run(args, capture_output=True, text=True, timeout=60,
                             env=dict(os.environ, LANG="C.UTF-8"))
    except OSError as error:
        raise SystemExit(f"check-docs.py: cannot run {cli}: {error}")
    if run.returncode != 0:
        raise SystemExit(f"check-docs.py: `{shown}` ended with status {run.returncode}: {run.stderr.strip()}")
    groups, inside = [], False
    for line in run.stdout.split("\n"):
        if re.match(r"^\S.*:\s*$", line):
            inside = line.strip().rstrip(":").strip().upper() in ("OPTIONS", "FLAGS")
            continue
        m = re.match(r"^ {1,6}(-\S+)", line) if inside else None
        if m:
            groups.append([name for name in m.group(1).split(",") if name.startswith("-")])
    if not groups:
        raise SystemExit(f"check-docs.py: `{shown}` lists no options; has its help changed its layout?")
    return shown, groups


def markdown_options(text):
    """{section: set of option names} from docs/cli.md: the leading `code` of each item of the
    "### Options" list in each "## quillon-cli [COMMAND]" and "## Every command" section."""
    sections, section, in_options = {}, None, False
    for line in without_fences(text).split("\n"):
        heading = re.match(r"^(#{1,6})\s+(.*?)\s*$", line)
        if heading:
            level, title = len(heading.group(1)), heading.group(2).replace("`", "").strip()
            if level <= 2:
                section, in_options = None, False
                m = re.fullmatch(r"quillon-cli(?: (\w+))?", title)
                if m and (m.group(1) is None or m.group(1) in COMMANDS):
                    section = m.group(1) or ""
                elif title == EVERY:
                    section = EVERY
                if section is not None:
                    sections.setdefault(section, set())
            elif level == 3:
                in_options = section is not None and title == "Options"
            else:
                in_options = in_options and level > 3
            continue
        if in_options:
            item = re.match(r"^[-*]\s+((?:`[^`]+`(?:\s*(?:,|or|/)\s*)?)+)", line)
            if item:
                sections[section].update(OPTION_NAME.findall(item.group(1)))
    return sections


def without_fences(text):
    lines, fenced = [], False
    for line in text.split("\n"):
        if re.match(r"^\s*(```|~~~)", line):
            fenced = not fenced
            lines.append("")
            continue
        lines.append("" if fenced else line)
    return "\n".join(lines)


def roff_text(line):
    """A roff line's words: font escapes dropped, \\- read as -."""
    line = re.sub(r"\\f(?:\[[^\]]*\]|\(..|.)", "", line)
    return line.replace("\\-", "-").replace("\\(em", " ").replace("\\ ", " ")


def man_options(text):
    """({section: set of names} of OPTIONS by .SS part, {command: set of names} of SYNOPSIS)."""
    lines = text.split("\n")
    options, synopsis = {}, {}
    where, part, tag_next, chunk = None, None, False, []

    def end_chunk():
        words = " ".join(roff_text(c) for c in chunk)
        m = re.match(r"^\.B\s+quillon-cli\s+(\w+)", chunk[0]) if chunk else None
        if m and m.group(1) in COMMANDS:
            synopsis.setdefault(m.group(1), set()).update(OPTION_NAME.findall(words.split(m.group(1), 1)[1]))

    for line in lines:
        if line.startswith(".SH"):
            if where == "SYNOPSIS":
                end_chunk()
            where = line[3:].strip().strip('"').upper()
            part, tag_next, chunk = None, False, []
            continue
        if where == "SYNOPSIS":
            if line.startswith(".br"):
                end_chunk()
                chunk = []
            elif not line.startswith('.\\"'):
                chunk.append(line)
        elif where == "OPTIONS":
            if line.startswith(".SS"):
                part = line[3:].strip().strip('"')
                options.setdefault(part, set())
                tag_next = False
            elif line.startswith(".TP"):
                tag_next = True
            elif tag_next:
                tag_next = False
                if part is not None:
                    options[part].update(OPTION_NAME.findall(roff_text(line)))
    return options, synopsis


def compare(shown, groups, described, source, section_name):
    """One message for each option listed by `shown` that `source` does not describe, and for each
    one described there that `shown` does not list."""
    problems = []
    listed = {name for group in groups for name in group}
    for group in groups:
        for name in group:
            if name not in described:
                problems.append(f"{source}: `{shown}` lists {name}, but {section_name} does not describe it")
    for name in sorted(described - listed):
        problems.append(f"{source}: {section_name} describes {name}, but `{shown}` does not list it")
    return problems


def check_options(root, cli):
    problems = []
    cli_md = os.path.join(root, "docs", "cli.md")
    man = os.path.join(root, "packaging", "quillon-cli.1")
    for path in (cli_md, man):
        if not os.path.isfile(path):
            return [f"{os.path.relpath(path, root)}: missing"]
    md = markdown_options(read(cli_md))
    man_parts, synopsis = man_options(read(man))
    for needed in [""] + COMMANDS:
        title = "## quillon-cli" + (" " + needed if needed else "")
        if needed not in md:
            problems.append(f"docs/cli.md: no section \"{title}\"")
        name = needed or "quillon-cli"
        if name not in man_parts:
            problems.append(f"packaging/quillon-cli.1: OPTIONS has no part \".SS {name}\"")
    every_md = md.get(EVERY, set())
    every_man = man_parts.get(EVERY, set())
    for command in [""] + COMMANDS:
        shown, groups = help_options(cli, command)
        label = "\"## quillon-cli" + (" " + command if command else "") + "\""
        if command in md:
            problems += compare(shown, groups, md[command] | every_md, "docs/cli.md",
                                f"the section {label} (with \"## {EVERY}\")")
        name = command or "quillon-cli"
        if name in man_parts:
            problems += compare(shown, groups, man_parts[name] | every_man, "packaging/quillon-cli.1",
                                f"OPTIONS \".SS {name}\" (with \".SS {EVERY}\")")
        if command:
            # The synopsis names each option once, by one of its names; --help has a line of its own.
            named = synopsis.get(command, set())
            for group in groups:
                if not set(group) & (named | {"-h", "--help"}):
                    problems.append(f"packaging/quillon-cli.1: `{shown}` lists {', '.join(group)}, "
                                    f"but the SYNOPSIS line of {command} does not name it")
            listed = {n for group in groups for n in group}
            for extra in sorted(named - listed):
                problems.append(f"packaging/quillon-cli.1: the SYNOPSIS line of {command} names {extra}, "
                                f"but `{shown}` does not list it")
    return problems


TREE_PATH = re.compile(r"^(?:src|tests|scripts|packaging|cmake|bench|fuzz|data|docs)/[\w.+/-]*$")


def check_paths(root):
    """Paths of the tree quoted as inline code (`src/system/include/system/Clock.h`) name files or
    folders that exist. Code blocks are commands and output, not checked."""
    problems = []
    pages = ["README.md"] + sorted("docs/" + n for n in os.listdir(os.path.join(root, "docs")) if n.endswith(".md"))
    for page in pages:
        path = os.path.join(root, page)
        if not os.path.isfile(path):
            continue
        for span in re.findall(r"`([^`\n]+)`", without_fences(read(path))):
            if TREE_PATH.match(span) and not os.path.exists(os.path.join(root, span.rstrip("/"))):
                problems.append(f"{page}: names the path {span}, which does not exist")
    return sorted(set(problems))


def check_layers_copy(root):
    """The code block of docs/architecture.md's "## Layers" is src/layers.txt without its comments."""
    page, layers = os.path.join(root, "docs", "architecture.md"), os.path.join(root, "src", "layers.txt")
    if not (os.path.isfile(page) and os.path.isfile(layers)):
        return []
    m = re.search(r"^## Layers\s*$.*?^```[^\n]*\n(.*?)^```", read(page), re.M | re.S)
    if not m:
        return ["docs/architecture.md: no code block under \"## Layers\" to hold src/layers.txt"]
    shown = [line.strip() for line in m.group(1).split("\n") if line.strip()]
    real = [line.strip() for line in read(layers).split("\n") if line.strip() and not line.startswith("#")]
    if shown != real:
        return ["docs/architecture.md: the layers under \"## Layers\" differ from src/layers.txt: "
                f"{sorted(set(shown) ^ set(real))}"]
    return []


def check(root, cli):
    return check_links(root) + check_paths(root) + check_layers_copy(root) + check_options(root, cli)


# ---------------------------------------------------------------------------------------------
# The check of the check: copies of the pages, each broken in one way, must give a new message.


def self_test(root, cli):
    base = set(check(root, cli))
    failures = 0

    def copy_tree(into):
        shutil.copy(os.path.join(root, "README.md"), into)
        shutil.copytree(os.path.join(root, "docs"), os.path.join(into, "docs"))
        os.makedirs(os.path.join(into, "packaging"))
        shutil.copy(os.path.join(root, "packaging", "quillon-cli.1"), os.path.join(into, "packaging"))
        # Links from the pages into the rest of the tree name files that exist there.
        for name in os.listdir(root):
            if name not in ("README.md", "docs", "packaging") and not name.startswith("."):
                os.symlink(os.path.join(root, name), os.path.join(into, name))
        for name in os.listdir(os.path.join(root, "packaging")):
            if name != "quillon-cli.1":
                os.symlink(os.path.join(root, "packaging", name), os.path.join(into, "packaging", name))

    def edit(into, page, old, new):
        path = os.path.join(into, page)
        text = read(path)
        if old not in text:
            raise SystemExit(f"check-docs.py --self-test: {page} no longer holds {old!r}; update the self-test")
        with open(path, "w", encoding="utf-8") as f:
            f.write(text.replace(old, new, 1))

    cases = [
        ("a link to a missing file", [("docs/cli.md", "\n## Every command", "\n[gone](no-such-page.md)\n\n## Every command")],
         r'docs/cli.md: the link "no-such-page.md" names no-such-page.md, which does not exist'),
        ("a link to a missing heading", [("README.md", "(docs/cli.md)", "(docs/cli.md#no-such-heading)")],
         r"README.md: the link \"docs/cli.md#no-such-heading\" names the heading #no-such-heading"),
        ("a path of the tree that does not exist",
         [("docs/architecture.md", "`src/layers.txt`", "`src/no-such-layers.txt`")],
         r"docs/architecture.md: names the path src/no-such-layers.txt, which does not exist"),
        ("a stale copy of src/layers.txt", [("docs/architecture.md", "\nupdate: identity system\n", "\nupdate: system\n")],
         r"docs/architecture.md: the layers under \"## Layers\" differ from src/layers.txt"),
        ("an option left out of docs/cli.md", [("docs/cli.md", "- `--seed N`", "- seed N")],
         r"docs/cli.md: `quillon-cli generate --help` lists --seed, but the section \"## quillon-cli generate\""),
        ("an option described in docs/cli.md that the program lacks",
         [("docs/cli.md", "- `--pad-codes`", "- `--no-such-option`: none.\n- `--pad-codes`")],
         r"docs/cli.md: the section \"## quillon-cli import\" \(with \"## Every command\"\) describes "
         r"--no-such-option, but `quillon-cli import --help` does not list it"),
        ("an option left out of the man page's OPTIONS",
         [("packaging/quillon-cli.1", ".TP\n.BI \\-\\-count \" N\"", ".TP\n.BI count \" N\"")],
         r"packaging/quillon-cli.1: `quillon-cli generate --help` lists --count, but OPTIONS \".SS generate\""),
        ("an option left out of the man page's SYNOPSIS",
         [("packaging/quillon-cli.1", ".RB [ \\-\\-long\\-rows ]\n", "")],
         r"packaging/quillon-cli.1: `quillon-cli import --help` lists --long-rows, but the SYNOPSIS line of import"),
    ]
    for what, edits, expected in cases:
        with tempfile.TemporaryDirectory() as into:
            copy_tree(into)
            for page, old, new in edits:
                edit(into, page, old, new)
            new_messages = set(check(into, cli)) - base
            if not any(re.search(expected, message) for message in new_messages):
                failures += 1
                print(f"FAIL: {what}: no message like {expected!r}; new messages: {sorted(new_messages)}")
            else:
                print(f"ok: {what} is reported")
    print(f"check-docs.py self-test: {len(cases) - failures} passed, {failures} failed")
    return 1 if failures else 0


def main(argv):
    args = argv[1:]
    test = bool(args) and args[0] == "--self-test"
    if test:
        args = args[1:]
    if len(args) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    root, cli = os.path.abspath(args[0]), os.path.abspath(args[1])
    if test:
        return self_test(root, cli)
    problems = check(root, cli)
    for problem in problems:
        print(problem)
    if problems:
        print(f"check-docs.py: {len(problems)} mismatches between the documentation, the tree and quillon-cli")
        return 1
    print("check-docs.py: links, and the options of quillon-cli and its commands, agree with the documentation")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
