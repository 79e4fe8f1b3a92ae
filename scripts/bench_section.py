"""Puts a benchmark section (text starting with its "## " heading) into docs/benchmarks.md,
replacing the section of that heading or appending it. Notes written under the section's last
table are kept. Usage: bench_section.py SECTION"""
import re
import sys

path = "docs/benchmarks.md"
section = sys.argv[1].rstrip() + "\n"
heading = section.splitlines()[0]
text = open(path).read()
pattern = re.compile("^" + re.escape(heading) + r"\n.*?(?=^## |\Z)", re.S | re.M)
found = pattern.search(text)
if found:
    old = found.group(0)
    notes = re.split(r"^\|.*\|\n(?!\|)", old, flags=re.M)[-1].strip() if "|" in old else ""
    if notes:
        section += "\n" + notes + "\n"
    text = text[: found.start()] + section + "\n" + text[found.end() :]
else:
    text = text.rstrip() + "\n\n" + section
open(path, "w").write(text)
