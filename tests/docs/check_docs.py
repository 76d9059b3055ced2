#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks that the documents name only what exists: every relative link of README.md,
CONTRIBUTING.md and docs/ leads to a file (and heading), every path of the source tree they name
is there, every option they give sonvert-batch is one of its options, and the option table of
docs/sonvert-batch.md lists them all. The manual pages' references to the documents too.

    check_docs.py SOURCE_DIR SONVERT_BATCH
"""
import pathlib
import re
import subprocess
import sys

root = pathlib.Path(sys.argv[1]).resolve()
program = sys.argv[2]
documents = [root / "README.md", root / "CONTRIBUTING.md"] + sorted((root / "docs").glob("*.md"))
# The folders of the source tree; a path elsewhere (build/, /usr/, ~/) is made by a build or a
# user, not kept here.
tree = ("app/", "bench/", "debian/", "docs/", "encoders/", "engine/", "platform/", "resources/",
        "scripts/", "settings/", "standins/", "tests/", "ui/", ".ci/")
problems = []


def headings(path):
    """The anchors of a Markdown file's headings, as GitHub makes them."""
    anchors, seen, code = set(), {}, False
    for line in path.read_text().splitlines():
        if line.startswith("```"):
            code = not code
        elif not code and re.match(r"#{1,6} ", line):
            slug = re.sub(r"[^\w\- ]", "", line.lstrip("#").strip().lower()).replace(" ", "-")
            anchors.add(slug if slug not in seen else f"{slug}-{seen[slug]}")
            seen[slug] = seen.get(slug, 0) + 1
    return anchors


def prose(text):
    """The text without its code blocks, and the code blocks."""
    parts = re.split(r"^```.*$", text, flags=re.M)
    return "\n".join(parts[0::2]), "\n".join(parts[1::2])


def path_exists(name):
    name = name.split("<")[0].rstrip("*")  # tests/fuzz/corpus/<target>/: its folder
    path = root / name
    # engine/Waveinf stands for its unit, engine/Waveinf.h and .cpp.
    return path.exists() or any(path.parent.glob(path.name + ".*"))


help_text = subprocess.run([program, "--help"], capture_output=True, text=True, check=True).stdout
options = set(re.findall(r"(?<![\w-])(--?[a-z0-9][\w-]*)", help_text)) | {"--"}


def check_option(doc, option):
    option = option.split("=")[0]
    if option.endswith("..."):  # --no-mp3-...: a family whose members the table names
        option = option[:-3]
        if not any(o.startswith(option) for o in options):
            problems.append(f"{doc}: no option of sonvert-batch begins with '{option}'")
    elif option in options:
        pass
    elif option.startswith("--no-") and any(o.endswith("-") and option.startswith(o)
                                             for o in options):
        if "--" + option[5:] not in options:  # --no-mp3-crc clears --mp3-crc
            problems.append(f"{doc}: sonvert-batch has no option '{option}'")
    elif option not in options:
        problems.append(f"{doc}: sonvert-batch has no option '{option}'")


def sonvert_batch_options(line):
    """The options of each sonvert-batch command in a line of shell, up to a pipe or a comment."""
    for command in re.findall(r"sonvert-batch((?:\s+(?:\\\s*)?[^\s|;#&)`]+)*)", line):
        for word in command.split():
            if re.match(r"--?[a-zA-Z0-9]", word):
                yield word


for doc in documents:
    name = doc.relative_to(root)
    text = doc.read_text()
    outside_code, code = prose(text)
    # Relative links and pictures, with the heading they point to.
    for target in re.findall(r"\]\(([^)\s]+)\)", outside_code):
        if re.match(r"[a-z]+:", target):
            continue
        file_part, _, anchor = target.partition("#")
        linked = (doc.parent / file_part).resolve() if file_part else doc
        if not linked.exists():
            problems.append(f"{name}: broken link '{target}'")
        elif anchor and linked.suffix == ".md" and anchor not in headings(linked):
            problems.append(f"{name}: '{target}' names no heading of {linked.relative_to(root)}")
    # Paths of the source tree, in code spans and code blocks.
    spans = re.findall(r"`([^`\n]+)`", outside_code) + code.splitlines()
    for span in spans:
        for word in re.findall(r"(?:\./)?([\w.-]+/[\w./<>*-]*)", span):
            if word.startswith(tree) or word in ("CMakeLists.txt", "LICENSE"):
                if not path_exists(word):
                    problems.append(f"{name}: no file or folder '{word}'")
    # Options given to sonvert-batch on a command line, in code blocks or spans, and in the
    # command-line guide every code span that is an option alone.
    joined = re.sub(r"\\\n", " ", code)
    for line in joined.splitlines() + re.findall(r"`([^`\n]+)`", outside_code):
        for option in sonvert_batch_options(line):
            check_option(name, option)
    if doc.name == "sonvert-batch.md":
        table = [line for line in outside_code.splitlines() if line.startswith("| `-")]
        listed = set()
        for row in table:
            for option in re.findall(r"`(--?[\w.-]+)", row.split("|")[1]):
                check_option(name, option)
                listed.add(option)
        for option in sorted(options - listed):
            if option.startswith("--") and not option.endswith("-"):
                problems.append(f"{name}: the option table lacks '{option}'")

# The manual pages point to the documents.
for page in sorted((root / "resources/man").glob("*.1")):
    for word in re.findall(r"\b(docs/[\w.-]+\.md|README\.md|CONTRIBUTING\.md)", page.read_text()):
        if not (root / word).exists():
            problems.append(f"{page.relative_to(root)}: no document '{word}'")

for problem in problems:
    print(problem, file=sys.stderr)
print(f"check_docs: {len(documents)} documents, {len(problems)} problems")
sys.exit(1 if problems else 0)
