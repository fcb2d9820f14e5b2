#!/usr/bin/env python3
"""Every relative link of the project's Markdown files resolves: the file it
names exists in the source tree, and an anchor (#heading) is a heading of that
file as GitHub names it. Links inside code blocks and to other sites are left
alone. Exits 1 with one line a broken link.

usage: check_links.py ROOT
"""
import os
import re
import sys

LINK = re.compile(r"\[[^\]]*\]\(([^)\s]+)\)")


def prose(path):
    """The lines of a Markdown file outside its fenced code blocks, with their numbers."""
    fenced = False
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        if line.lstrip().startswith("```"):
            fenced = not fenced
        elif not fenced:
            yield number, line


def anchors(path):
    """The anchors GitHub gives the file's headings: lower case, punctuation
    dropped, blanks as hyphens, a repeated one numbered."""
    seen, names = {}, set()
    for _, line in prose(path):
        heading = re.match(r"#+\s+(.*?)\s*$", line)
        if heading:
            name = re.sub(r"[^\w\- ]", "", heading.group(1).replace("`", "").lower()).replace(" ", "-")
            count = seen.get(name, 0)
            seen[name] = count + 1
            names.add(name if count == 0 else f"{name}-{count}")
    return names


def broken(root, path):
    for number, line in prose(path):
        for target in LINK.findall(line):
            if re.match(r"[a-z]+:", target):
                continue
            file, _, anchor = target.partition("#")
            resolved = os.path.normpath(os.path.join(os.path.dirname(path), file)) if file else path
            where = f"{os.path.relpath(path, root)}:{number}: {target}"
            if not resolved.startswith(root + os.sep) or not os.path.exists(resolved):
                yield f"{where}: no such file"
            elif anchor and (not resolved.endswith(".md") or anchor not in anchors(resolved)):
                yield f"{where}: no such heading"


def main(root):
    root = os.path.abspath(root)
    documents = [os.path.join(root, name) for name in ("README.md", "CHANGELOG.md")]
    documents += sorted(os.path.join(folder, name) for folder, _, names in os.walk(os.path.join(root, "docs"))
                        for name in names if name.endswith(".md"))
    faults = [fault for path in documents for fault in broken(root, path)]
    print("\n".join(faults) if faults else f"{len(documents)} documents, every link resolves")
    return 1 if faults else 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1]))
