#!/usr/bin/env python3
"""Doxygen input filter: our headers document with plain "//" comments.

A header's opening comment becomes the file's documentation, and a comment
block written directly above a declaration at namespace or class level
(indented 0 or 2 spaces) becomes that declaration's documentation. Comments
inside function bodies, section comments followed by a blank line and trailing
comments stay plain. Characters Doxygen would read as commands or markup are
escaped outside `code` spans.
"""
import re
import sys

COMMENT = re.compile(r"^( {0,2})// ?(.*)$")
SPECIAL = re.compile(r"([\\@<>&$#%])")
NOT_A_DECLARATION = re.compile(r"^\s*($|#|}|//|(public|protected|private)\s*:)")


def escape(text):
    parts = text.split("`")
    for i in range(0, len(parts), 2):  # outside code spans
        parts[i] = SPECIAL.sub(r"\\\1", parts[i])
    return "`".join(parts)


def documented(lines):
    out = list(lines)
    i = 0
    seen_code = False
    while i < len(lines):
        match = COMMENT.match(lines[i])
        if not match:
            if lines[i].strip() and not lines[i].startswith("#pragma"):
                seen_code = True
            i += 1
            continue
        start = i
        while i < len(lines) and COMMENT.match(lines[i]) and COMMENT.match(lines[i]).group(1) == match.group(1):
            i += 1
        block = [COMMENT.match(line) for line in lines[start:i]]
        opening = not seen_code
        follows = lines[i] if i < len(lines) else ""
        if opening or not NOT_A_DECLARATION.match(follows):
            for k, m in enumerate(block):
                out[start + k] = m.group(1) + "/// " + escape(m.group(2))
            if opening:  # at the end of a line, so that it names no file
                out[i - 1] += " \\file"
        seen_code = seen_code or opening
    return out


if __name__ == "__main__":
    with open(sys.argv[1], encoding="utf-8") as source:
        text = source.read().split("\n")
    sys.stdout.write("\n".join(documented(text)))
