"""Puts a benchmark section (text starting with its "## " heading) into docs/benchmarks.md,
replacing the section of that heading or appending it. Usage: bench_section.py SECTION"""
import re
import sys

path = "docs/benchmarks.md"
section = sys.argv[1].rstrip() + "\n"
heading = section.splitlines()[0]
text = open(path).read()
pattern = re.compile("^" + re.escape(heading) + r"\n.*?(?=^## |\Z)", re.S | re.M)
if pattern.search(text):
    text = pattern.sub(lambda m: section + "\n", text)
else:
    text = text.rstrip() + "\n\n" + section
open(path, "w").write(text)
