#!/usr/bin/env python3
"""Writes the runnable examples of a Markdown document or of the manual page
as a cram test: every example, with what it prints, in the order it appears.

An example is an indented block of Markdown (or an .nf/.fi block of the
manual page) whose first line starts with "$ ". Lines starting with "> "
continue a command; the lines after a command are what it prints (standard
output and standard error together), and a blank line in the middle of them
is a blank line of output (".sp" or "\\&" alone in the manual page). Every
other block and all the prose are left alone: they are not run.

What changes from run to run is matched by cram's patterns: a line ending in
" (re)" is a regular expression, one ending in " (glob)" a glob. The pointer
of the "IMMR mapped to" line is matched whatever it is, so the documents can
show a real one.

Usage: doc_examples.py DOCUMENT > DOCUMENT.t
"""
import re
import sys

IMMR = re.compile(r"^IMMR mapped to 0x[0-9a-f]+$")


def output_line(text):
    if IMMR.match(text):
        return r"IMMR mapped to 0x[0-9a-f]+ (re)"
    return text


def markdown_blocks(lines):
    """(line number, [text]) of every indented block that starts with "$ "."""
    i = 0
    while i < len(lines):
        line = lines[i]
        stripped = line.lstrip(" ")
        indent = len(line) - len(stripped)
        previous_blank = i == 0 or lines[i - 1].strip() == ""
        if indent >= 4 and stripped.startswith("$ ") and previous_blank:
            start, block = i + 1, []
            while i < len(lines):
                line = lines[i]
                if line.strip() == "":
                    # Blank: output, unless the block ends or a command follows.
                    j = i
                    while j < len(lines) and lines[j].strip() == "":
                        j += 1
                    if j == len(lines) or not lines[j].startswith(" " * indent):
                        break
                    if not lines[j][indent:].startswith("$ "):
                        block.extend([""] * (j - i))
                    i = j
                    continue
                if not line.startswith(" " * indent):
                    break
                block.append(line[indent:])
                i += 1
            yield start, block
        else:
            i += 1


def roff_text(line):
    line = line.replace(r"\-", "-").replace(r"\(dq", '"').replace(r"\e", "\\")
    return "" if line in (r"\&", ".sp") else line.replace(r"\&", "")


def man_blocks(lines):
    i = 0
    while i < len(lines):
        if lines[i].strip() == ".nf" and i + 1 < len(lines):
            body, j = [], i + 1
            while j < len(lines) and lines[j].strip() != ".fi":
                if not lines[j].startswith(".ft"):
                    body.append(roff_text(lines[j]))
                j += 1
            if body and body[0].startswith("$ "):
                yield i + 2, body
            i = j
        i += 1


def main():
    path = sys.argv[1]
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    blocks = man_blocks(lines) if re.search(r"\.[1-9]$", path) else markdown_blocks(lines)
    for start, block in blocks:
        print(f"{path.split('/')[-1]}, line {start}:")
        for text in block:
            if text.startswith("$ ") or text.startswith("> "):
                print("  " + text)
            else:
                print("  " + output_line(text))
        print()


if __name__ == "__main__":
    main()
