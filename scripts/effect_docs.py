#!/usr/bin/python3
"""Renders the effect tables of the README and the man page from `wavfx --list --json`.

Usage: effect_docs.py WAVFX --check | --write
The tables stand between `effects:begin` and `effects:end` marker lines; --check exits 1 when
either file disagrees with the registry."""
import json
import re
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent


def names(effect):
    aliases = ", ".join(f"`{a}`" for a in effect["aliases"])
    return f"`{effect['name']}`" + (f" ({aliases})" if aliases else "")


def number(value):
    return str(int(value)) if float(value).is_integer() else repr(value)


def alias_text(p):
    return f" (alias {', '.join(p['aliases'])})" if p.get("aliases") else ""


def parameter_text(p, unit_space=" "):
    unit = f"{unit_space}{p['unit']}" if p["unit"] else ""
    kind = p.get("kind", "number")
    name = p["name"] + alias_text(p)
    if kind == "choice":
        return f"{name} = {p['choices'][int(p['default'])]} ({', '.join(p['choices'])})"
    if kind == "text":
        return f"{name} = text"
    frames = ", or frames: Ns" if kind == "time" else ""
    return (f"{name} = {number(p['default'])}{unit} "
            f"({number(p['min'])} to {number(p['max'])}{frames})")


def markdown(registry):
    lines = ["| Effect (aliases) | What it does | Parameters: default (range) |", "|---|---|---|"]
    for e in registry:
        params = "<br>".join(parameter_text(p) for p in e["parameters"])
        lines.append(f"| {names(e)} | {e['description']} | {params} |")
    return "\n".join(lines)


def roff(registry):
    lines = []
    for e in registry:
        lines.append(".TP")
        if e["aliases"]:
            lines.append(f'.BR {e["name"]} " (" {", ".join(e["aliases"])} )')
        else:
            lines.append(f".B {e['name']}")
        lines.append(e["description"][0].upper() + e["description"][1:] + ".")
        for p in e["parameters"]:
            lines.append(".br")
            lines.append(f"\\fI{p['name']}\\fR{alias_text(p)}: {p['description']}; " +
                         parameter_text(p).split(" = ", 1)[1].replace("-", "\\-") + ".")
    return "\n".join(lines)


def replace(text, body, begin, end):
    pattern = re.compile(f"({re.escape(begin)}\n)(.*?)(^{re.escape(end)}$)", re.S | re.M)
    if not pattern.search(text):
        sys.exit(f"markers {begin!r} / {end!r} not found")
    return pattern.sub(lambda m: m.group(1) + body + "\n" + m.group(3), text)


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in ("--check", "--write"):
        sys.exit(__doc__)
    registry = json.loads(subprocess.run([sys.argv[1], "--list", "--json"], check=True,
                                         capture_output=True, text=True).stdout)
    targets = [
        (ROOT / "README.md", markdown(registry), "<!-- effects:begin -->", "<!-- effects:end -->"),
        (ROOT / "docs/wavfx.1", roff(registry), '.\\" effects:begin', '.\\" effects:end'),
    ]
    stale = []
    for path, body, begin, end in targets:
        text = path.read_text()
        wanted = replace(text, body, begin, end)
        if wanted != text:
            stale.append(path.name)
            if sys.argv[2] == "--write":
                path.write_text(wanted)
    if stale and sys.argv[2] == "--check":
        sys.exit(f"out of date with the registry: {', '.join(stale)} "
                 "(run scripts/effect_docs.py build/wavfx --write)")


if __name__ == "__main__":
    main()
