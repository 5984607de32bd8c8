#!/usr/bin/env python3
"""check-messages.py SOURCE-DIR: a message with % specifiers must be filled by Format before it is
shown. Format checks its arguments when the call is compiled; this finds the other way to get it
wrong, a message shown or thrown as it stands ("Cannot open %s"). Prints file:line for each."""
import os
import re
import sys

TABLES = ["lib/resources/QEMConst.h", "lib/platform/QEMHostConsts.h"]
FOLDERS = ["lib", "app", "gui", "plugins"]
LITERAL = r'u"(?:[^"\\]|\\.)*"'
DEFINITION = re.compile(
    r"constexpr\s+std::u16string_view\s+(\w+)\s*=\s*((?:" + LITERAL + r"\s*)+);")
SPECIFIER = re.compile(r"%(?:\d*:)?-?(?:\d+|\*)?(?:\.(?:\d+|\*))?[A-Za-z]")
# Where a message is used as it stands: made into a string, shown, thrown, joined to text.
SHOWN = [
    r"std::u16string\(\s*{m}\s*\)",
    r"\b(?:ShowError|ShowNotice|QEMAssert|MessageBox|MessageDlg|Log|Report)\(\s*{m}\s*[,)]",
    r"\b[ET]\w*(?:Error|Exception)\(\s*{m}\s*\)",
    r"\+\s*{m}\b",
    r"\b{m}\s*\+",
    r"=\s*{m}\s*;",
    r"return\s+{m}\s*;",
]


def messages(root):
    """Name -> number of specifiers, for every message that has any."""
    found = {}
    for table in TABLES:
        path = os.path.join(root, table)
        if not os.path.exists(path):
            continue
        for m in DEFINITION.finditer(open(path, encoding="utf-8").read()):
            text = "".join(re.findall(r'u"((?:[^"\\]|\\.)*)"', m.group(2))).replace("%%", "")
            count = len(SPECIFIER.findall(text))
            if count:
                found[m.group(1)] = count
    return found


def strip_comments(text):
    """Comments out, line breaks kept so that line numbers stay right."""
    pattern = re.compile(r"//[^\n]*|/\*.*?\*/|" + LITERAL + r'|"(?:[^"\\]|\\.)*"', re.S)

    def blank(m):
        s = m.group(0)
        return s if s.startswith(('u"', '"')) else re.sub(r"[^\n]", " ", s)

    return pattern.sub(blank, text)


def main(root):
    table = messages(root)
    if len(table) < 10:
        sys.exit(f"only {len(table)} messages with specifiers in {TABLES}: is the path right?")
    names = "|".join(sorted(table, key=len, reverse=True))
    shown = re.compile("|".join(p.format(m=f"(?P<m{i}>{names})") for i, p in enumerate(SHOWN)))
    faults = []
    for folder in FOLDERS:
        for dirpath, _, files in os.walk(os.path.join(root, folder)):
            for name in sorted(files):
                path = os.path.join(dirpath, name)
                if not name.endswith((".h", ".cpp")) or path.endswith(tuple(TABLES)):
                    continue
                text = strip_comments(open(path, encoding="utf-8").read())
                for m in shown.finditer(text):
                    message = next(v for v in m.groupdict().values() if v)
                    line = text.count("\n", 0, m.start()) + 1
                    rel = os.path.relpath(path, root)
                    faults.append(f"{rel}:{line}: {message} has {table[message]} % specifier(s) "
                                  f"but is used without Format: {m.group(0).strip()}")
    print("\n".join(faults) or f"{len(table)} messages with specifiers, none used unfilled")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
