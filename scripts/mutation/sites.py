"""The fault sites of the product code: every line of frontend/, board/,
eeprom/ and signal/ where a comparison, a constant, a message, a returned
value or a whole statement can be changed."""

import os
import re
from mutation.paths import ROOT, FOLDERS

# Words that start a declaration: dropping such a line does not build.
DECLARATION = re.compile(
    r"^(return|break|continue|case|default|const|static|unsigned|int|char|void|bool|uint\d+_t|"
    r"typedef|enum|struct|extern|inline|switch|if|else|for|while|do|goto)\b")


def product_files():
    files = []
    for folder in FOLDERS:
        for name in sorted(os.listdir(os.path.join(ROOT, folder))):
            if name.endswith((".cpp", ".h")):
                files.append(os.path.join(folder, name))
    return files


def masked(line):
    """The line with string and character literals and the comment blanked,
    so operators inside them are not taken for code."""
    out = []
    i = 0
    while i < len(line):
        c = line[i]
        if line.startswith("//", i):
            out.append(" " * (len(line) - i))
            break
        if c in "\"'":
            j = i + 1
            while j < len(line) and line[j] != c:
                j += 2 if line[j] == "\\" else 1
            out.append(c + " " * (min(j, len(line)) - i - 1) + (c if j < len(line) else ""))
            i = j + 1
            continue
        out.append(c)
        i += 1
    return "".join(out)


COMPARISON = re.compile(r"(?<![<>=!&|+\-*/%^])(==|!=|<=|>=|<|>)(?![<>=])")
FLIPPED = {"==": "!=", "!=": "==", "<": ">=", ">=": "<", ">": "<=", "<=": ">"}
NUMBER = re.compile(r"(?<![\w.])(0[xX][0-9a-fA-F]+|\d+)([uUlL]*)(?![\w.])")
STRING = re.compile(r'"((?:[^"\\]|\\.)+)"')
TABLE_ROW = re.compile(r"^\s*((0[xX][0-9a-fA-F]+|\d+)[uU]?\s*,\s*)+((0[xX][0-9a-fA-F]+|\d+)[uU]?)?\s*$")
RETURN = re.compile(r"^(\s*return\s+)(.+);\s*(//.*)?$")


def code_lines(lines):
    """The lines that are code, as (line number, line, stripped line): no
    comment, blank line or preprocessor line but a #define."""
    in_comment = False
    for n, line in enumerate(lines, 1):
        stripped = line.strip()
        if in_comment:
            in_comment = "*/" not in stripped
            continue
        if stripped.startswith("/*"):
            in_comment = "*/" not in stripped
            continue
        if not stripped or stripped.startswith("//"):
            continue
        if stripped.startswith("#") and not stripped.startswith("#define"):
            continue
        yield n, line, stripped


def comparison_faults(line, m):
    """Comparisons flipped: not the angle brackets of a cast, an #include or a shift."""
    for c in COMPARISON.finditer(m):
        op = c.group(1)
        before = m[:c.start()]
        if op in "<>" and re.search(r"_cast\s*$", before):
            continue
        if op == ">" and re.search(r"_cast\s*<[^>]*$", before):
            continue
        if op == ">" and before.endswith("-"):
            continue
        yield "comparison", line[:c.start()] + FLIPPED[op] + line[c.end():]


def constant_faults(line, m, stripped):
    """Constants: one more than written (zero becomes one). A row of a data
    table (numbers alone) is left out: the CRC tests check each entry."""
    for c in NUMBER.finditer(m) if not TABLE_ROW.match(m) else ():
        if re.search(r"\[\s*$", m[:c.start()]) and stripped.startswith(("static", "unsigned", "char")):
            continue  # an array's size: more room changes nothing
        text = c.group(1)
        value = int(text, 16) if text[:2] in ("0x", "0X") else int(text)
        if text[:2] in ("0x", "0X"):
            new = text[:2] + ("%0*X" if text[2:].isupper() or text[2:].isdigit() else "%0*x") % (len(text) - 2, value + 1)
        else:
            new = str(value + 1)
        yield "constant", line[:c.start(1)] + new + line[c.end(1):]


def message_faults(line, stripped):
    """Messages: emptied (not a format with arguments after it)."""
    if not stripped.startswith("#"):
        for c in STRING.finditer(line):
            if masked(line[:c.start()]).count('"') % 2 == 0 and "%" not in c.group(1):
                yield "message", line[:c.start()] + '""' + line[c.end():]


def return_faults(line):
    """Returns: -1 for 0, 0 for any other value; what computes it still
    runs, so the fault is the value alone (and its arguments stay used)."""
    r = RETURN.match(line)
    if r and not re.search(r'"|nullptr|\bNULL\b', r.group(2)):
        value = r.group(2).strip()
        if re.match(r"^-?\w+$", value):
            yield "return", r.group(1) + ("-1" if value == "0" else "0") + ";"
        else:
            yield "return", r.group(1) + "((void)(" + value + "), 0);"


def statement_faults(line, stripped, previous):
    """Statements: a whole one-line expression statement dropped; `previous`
    is the line before it (None for the first)."""
    if (stripped.endswith(";") and not DECLARATION.match(stripped) and "{" not in stripped
            and "}" not in stripped and not stripped.startswith("#")
            and re.match(r"^[\w*(+\-]", stripped) and (previous is None or not previous.rstrip().endswith((",", "(")))
            and not re.match(r"^\w[\w:<>]*\s+\**\w+(\s*\[.*\])?\s*(=|;)", stripped)):
        indent = line[:len(line) - len(line.lstrip())]
        yield "statement", indent + "{}"  # not ";": an if's empty body does not build


def sites_in(path):
    """Every fault that fits the file: (path, line number, kind, old line, new line)."""
    sites = []
    lines = open(os.path.join(ROOT, path)).read().split("\n")
    for n, line, stripped in code_lines(lines):
        m = masked(line)
        faults = (list(comparison_faults(line, m)) + list(constant_faults(line, m, stripped))
                  + list(message_faults(line, stripped)) + list(return_faults(line))
                  + list(statement_faults(line, stripped, lines[n - 2] if n >= 2 else None)))
        sites += [(path, n, kind, line, new) for kind, new in faults if new != line]
    return sites
