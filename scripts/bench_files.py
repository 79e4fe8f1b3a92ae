#!/usr/bin/python3
"""Measures the whole-file benchmark and writes docs/benchmarks.md; scripts/bench_files.sh builds
the tools, makes the inputs and runs this.

Every command of a round runs once, in turn, on the same input, its output removed beforehand
outside the timing; the report gives medians over the rounds. The machine is shared, so the
comparisons use each command's processor time (user + system, from wait4); wall-clock medians are
shown beside them.
"""
import argparse
import datetime
import os
import platform
import shlex
import statistics
import subprocess
import time

EFFECTS = ["none", "antique", "echo", "reverb", "tremolo", "distort", "lowpass", "highpass",
           "bitcrush", "flanger", "chorus", "compress", "widen"]
FILTERS = ["lowpass", "highpass", "antique"]

# The nearest effects of SoX and FFmpeg for each wavfx effect: (label, SoX effect arguments or
# an FFmpeg -af filter).
PEERS = {
    "antique": [("sox lowpass -1 3000", "sox", "lowpass -1 3000"),
                ("ffmpeg lowpass", "ffmpeg", "lowpass=f=3000:p=1"),
                ("ffmpeg acrusher", "ffmpeg", "acrusher=bits=8")],
    "echo": [("sox echo", "sox", "echo 0.8 0.9 350 0.45"), ("ffmpeg aecho", "ffmpeg", "aecho")],
    "reverb": [("sox reverb", "sox", "reverb")],
    "tremolo": [("sox tremolo", "sox", "tremolo 5 70"), ("ffmpeg tremolo", "ffmpeg", "tremolo")],
    "distort": [("sox overdrive", "sox", "overdrive"), ("ffmpeg asoftclip", "ffmpeg", "asoftclip")],
    "lowpass": [("sox lowpass -1 3000", "sox", "lowpass -1 3000"),
                ("ffmpeg lowpass", "ffmpeg", "lowpass=f=3000:p=1")],
    "highpass": [("sox highpass -1 300", "sox", "highpass -1 300"),
                 ("ffmpeg highpass", "ffmpeg", "highpass=f=300:p=1")],
    "bitcrush": [("ffmpeg acrusher", "ffmpeg", "acrusher=bits=8")],
    "flanger": [("sox flanger", "sox", "flanger"), ("ffmpeg flanger", "ffmpeg", "flanger")],
    "chorus": [("sox chorus", "sox", "chorus 0.7 0.9 55 0.4 0.25 2 -t"),
               ("ffmpeg chorus", "ffmpeg", "chorus=0.7:0.9:55:0.4:0.25:2")],
    "compress": [("sox compand", "sox", "compand 0.01,0.1 -12,-12,0,-9"),
                 ("ffmpeg acompressor", "ffmpeg", "acompressor")],
    "widen": [("ffmpeg stereowiden", "ffmpeg", "stereowiden")],
}

# Parameterised forms, each compared with its effect's defaults.
SETTINGS = {
    "antique": "antique=cutoff=2500:noise=0.01:bits=4:level=0.8",
    "echo": "echo=delay=120:feedback=-0.6:wet=0.8:dry=0.4",
    "reverb": "reverb=wet=0.3:dry=0.9:size=0.5:decay=1.2",
    "tremolo": "tremolo=rate=11:depth=1",
    "distort": "distort=drive=9:level=0.5",
    "lowpass": "lowpass=cutoff=1200",
    "highpass": "highpass=cutoff=2000",
    "bitcrush": "bitcrush=bits=5",
    "flanger": "flanger=min=1:max=8:rate=1.5:wet=0.5:dry=0.5:feedback=-0.7",
    "chorus": "chorus=min=5:max=40:rate=0.8:wet=0.7:dry=0.6:feedback=0.4",
    "compress": "compress=ratio=2.5",
    "widen": "widen=width=0.4",
}
EXTRA_SETTINGS = [("compress", "compress=threshold=-24:ratio=2.5:attack=2:release=300")]

# The stages that reshape the stream, and the in-place gain, with non-trivial settings: (chain,
# whether the goal applies, the nearest SoX effect arguments, the nearest FFmpeg -af filter).
# resample and speed are there for information.
RESHAPING = [
    ("channels=count=1", True, "channels 1", "pan=mono|c0=0.5*c0+0.5*c1"),
    ("remix=map=0.5*1+0.5*2|2", True, "remix 1v0.5,2v0.5 2",
     "pan=stereo|c0=0.5*c0+0.5*c1|c1=c1"),
    ("gain=db=-3", True, "gain -3", "volume=-3dB"),
    ("trim=start=10:end=590", True, "trim 10 =590", "atrim=10:590"),
    ("pad=start=1:end=1", True, "pad 1 1", "adelay=1s:all=1,apad=pad_dur=1"),
    ("fade=in=5:out=5", True, "fade 5 0 5", "afade=t=in:d=5,afade=t=out:st={fade_out}:d=5"),
    ("resample=rate=48000", False, "rate 48000", "aresample=48000"),
    ("speed=factor=1.1", False, "speed 1.1", "asetrate=48510,aresample=44100"),
]
RESHAPING_HEADING = "## Reshaping stages"

NINE = "lowpass,highpass,compress,distort,tremolo,echo,chorus,flanger,reverb"
SOX_NINE = ("lowpass -1 3000 highpass -1 300 compand 0.01,0.1 -12,-12,0,-9 overdrive tremolo 5 70 "
            "echo 0.8 0.9 350 0.45 chorus 0.7 0.9 55 0.4 0.25 2 -t flanger reverb")


def run(argv, stdout_path=None):
    """Runs argv; returns (wall seconds, processor seconds)."""
    out = open(stdout_path, "wb") if stdout_path else subprocess.DEVNULL
    start = time.perf_counter()
    process = subprocess.Popen(argv, stdout=out, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    if stdout_path:
        out.close()
    if status != 0:
        raise SystemExit("failed: " + shlex.join(argv))
    return wall, usage.ru_utime + usage.ru_stime


def commands_for(args, source, inputs24, inputs_float, hooks):
    """(name, argv, stdout path or None) of every command of one input's rounds."""
    out = os.path.join(args.work, "out.wav")
    w = args.wavfx
    ffmpeg = ["ffmpeg", "-nostdin", "-v", "error", "-y", "-filter_threads", "1", "-threads", "1",
              "-i", source, "-af"]
    commands = [("cat", ["cat", source], out),
                ("dd", ["dd", "if=" + source, "of=" + out, "bs=128K", "status=none"], None),
                ("cat 24-bit", ["cat", inputs24], out), ("cat float", ["cat", inputs_float], out)]
    for effect in EFFECTS:
        commands.append(("wavfx " + effect, [w, source, out, effect], None))
        commands.append(("24-bit " + effect, [w, inputs24, out, effect], None))
        commands.append(("float " + effect, [w, inputs_float, out, effect], None))
    for effect, text in list(SETTINGS.items()) + EXTRA_SETTINGS:
        commands.append(("wavfx " + text, [w, source, out, text], None))
    commands.append(("wavfx " + NINE, [w, source, out, NINE], None))
    commands.append(("sox nine", ["sox", "-D", source, out] + SOX_NINE.split(), None))
    seen = set()
    for peers in PEERS.values():
        for label, tool, text in peers:
            if label in seen:
                continue
            seen.add(label)
            if tool == "sox":
                commands.append((label, ["sox", "-D", source, out] + text.split(), None))
            else:
                commands.append((label, ffmpeg + [text, out], None))
    for label, _, template in hooks:
        argv = [part.replace("{in}", source).replace("{out}", out)
                for part in shlex.split(template)]
        commands.append((label, argv, None))
    return commands, out


def time_commands(args, commands, out):
    """Runs every command once a round; returns the medians of wall and processor seconds."""
    walls = {name: [] for name, _, _ in commands}
    cpus = {name: [] for name, _, _ in commands}
    for round_ in range(args.rounds):
        print(f"  round {round_ + 1} of {args.rounds}", flush=True)
        for name, argv, stdout_path in commands:
            if os.path.exists(out):
                os.remove(out)
            wall, cpu = run(argv, stdout_path)
            walls[name].append(wall)
            cpus[name].append(cpu)
    if os.path.exists(out):
        os.remove(out)
    wall = {name: statistics.median(v) for name, v in walls.items()}
    cpu = {name: statistics.median(v) for name, v in cpus.items()}
    return wall, cpu


def in_memory(args, source, jobs):
    """The median in-memory seconds of each chain, from wavfx_bench_memory."""
    result = subprocess.run([args.memory_tool, source, str(max(args.rounds, 5))] + jobs,
                            check=True, capture_output=True, text=True).stdout
    memory = {}
    for line in result.splitlines():
        label, seconds = line.rsplit("\t", 1)
        memory[label] = float(seconds)
    return memory


def measure(args, source, hooks):
    base = os.path.splitext(source)[0]
    inputs24, inputs_float = base + "-24.wav", base + "-float.wav"
    subprocess.run(["sox", source, "-b", "24", inputs24], check=True)
    subprocess.run(["sox", source, "-e", "floating-point", "-b", "32", inputs_float], check=True)
    commands, out = commands_for(args, source, inputs24, inputs_float, hooks)
    wall, cpu = time_commands(args, commands, out)
    os.remove(inputs24)
    os.remove(inputs_float)
    # In memory: the same chains over the data held in memory, and the recurrence.
    jobs = ["recurrence"] + [e for e in EFFECTS if e != "none"]
    jobs += [text for _, text in list(SETTINGS.items()) + EXTRA_SETTINGS] + [NINE]
    return wall, cpu, in_memory(args, source, jobs)


def input_seconds(source):
    """The length of a 44100 Hz stereo 16-bit file with a 44-byte header."""
    return (os.path.getsize(source) - 44) / 4 / 44100


def measure_reshaping(args, source):
    """File, in-memory, dd and peer times of the reshaping stages on one input."""
    out = os.path.join(args.work, "out.wav")
    ffmpeg = ["ffmpeg", "-nostdin", "-v", "error", "-y", "-filter_threads", "1", "-threads", "1",
              "-i", source, "-af"]
    commands = [("cat", ["cat", source], out),
                ("dd", ["dd", "if=" + source, "of=" + out, "bs=128K", "status=none"], None)]
    fade_out = f"{input_seconds(source) - 5:.6f}"
    for chain, _, sox, filters in RESHAPING:
        commands.append(("wavfx " + chain, [args.wavfx, source, out, chain], None))
        commands.append(("sox " + chain, ["sox", "-D", source, out] + sox.split(), None))
        commands.append(("ffmpeg " + chain, ffmpeg + [filters.format(fade_out=fade_out), out],
                         None))
    wall, cpu = time_commands(args, commands, out)
    return wall, cpu, in_memory(args, source, [chain for chain, _, _, _ in RESHAPING])


def yes(condition):
    return "yes" if condition else "**no**"


def report_input(label, source, wall, cpu, memory, hooks):
    frames = (os.path.getsize(source) - 44) // 4
    cat = cpu["cat"]
    lines = [f"### {label}", "",
             f"{frames} stereo frames ({os.path.getsize(source)} bytes). cat {cat:.3f} s "
             f"(wall {wall['cat']:.3f}), dd with 128 KiB blocks (read and write through user "
             f"space, the least any streaming that processes the data can copy) {cpu['dd']:.3f} s "
             f"= {cpu['dd'] / cat:.2f} x cat.", "",
             "| effect | in memory s | file s (wall) | file - in memory | goal: <= 1.1 x cat "
             f"= {1.1 * cat:.3f} | (file - in memory) / dd | fastest peer s | peer / wavfx | "
             "goal: >= 2.5 |",
             "|---|---:|---:|---:|---|---:|---|---:|---|"]
    for effect in EFFECTS:
        mine = cpu["wavfx " + effect]
        if effect == "none":
            lines.append(f"| none | - | {mine:.3f} ({wall['wavfx none']:.3f}) | - | "
                         f"{mine / cat:.2f} x cat: {yes(mine <= 1.1 * cat)} | - | - | - | - |")
            continue
        inside = memory[effect]
        extra = mine - inside
        peers = PEERS[effect]
        best_label, best = min(((p[0], cpu[p[0]]) for p in peers), key=lambda item: item[1])
        ratio = best / mine
        # The fastest wavfx can be: its in-memory time plus a copy through its own memory.
        bound = inside + cpu["dd"]
        peer_goal = yes(ratio >= 2.5)
        if ratio < 2.5 and best / bound < 2.5:
            peer_goal = f"**no**: the bound {bound:.3f} s allows {best / bound:.2f}"
        lines.append(f"| {effect} | {inside:.3f} | {mine:.3f} ({wall['wavfx ' + effect]:.3f}) | "
                     f"{extra:.3f} | {extra / cat:.2f} x cat: {yes(extra <= 1.1 * cat)} | "
                     f"{extra / cpu['dd']:.2f} | {best_label} {best:.3f} | {ratio:.2f} | "
                     f"{peer_goal} |")
    lines += ["", "The one-pole filters in memory against their bare recurrence (both channels' "
              "multiply and add per frame, nothing else):", "",
              f"| effect | in memory s | recurrence s | ratio | goal: <= 1.25 |",
              "|---|---:|---:|---:|---|"]
    for effect in FILTERS:
        ratio = memory[effect] / memory["recurrence"]
        lines.append(f"| {effect} | {memory[effect]:.3f} | {memory['recurrence']:.3f} | "
                     f"{ratio:.2f} | {yes(ratio <= 1.25)} |")
    lines += ["", "Other paths per sample against the 16-bit path of the same effect (processor "
              "time; every file holds the same frames). The 24-bit and float files are 1.5 and 2 "
              f"times as large: cat takes {cpu['cat 24-bit']:.3f} s and {cpu['cat float']:.3f} s "
              "on them, and the last column compares the times less each file's cat.", "",
              "| path | s | 16-bit path s | ratio | goal: <= 1.10 | less cat |",
              "|---|---:|---:|---:|---|---:|"]
    for effect, text in list(SETTINGS.items()) + EXTRA_SETTINGS:
        mine, base = cpu["wavfx " + text], cpu["wavfx " + effect]
        lines.append(f"| `{text}`, file | {mine:.3f} | {base:.3f} | {mine / base:.2f} | "
                     f"{yes(mine <= 1.1 * base)} | - |")
    for effect, text in [("compress", "compress=ratio=2.5"), EXTRA_SETTINGS[0]]:
        mine, base = memory[text], memory[effect]
        lines.append(f"| `{text}`, in memory | {mine:.3f} | {base:.3f} | {mine / base:.2f} | "
                     f"{yes(mine <= 1.1 * base)} | - |")
    stages = sum(memory[stage] for stage in NINE.split(","))
    lines.append(f"| nine-stage chain in memory, against the sum of its stages | {memory[NINE]:.3f} "
                 f"| {stages:.3f} | {memory[NINE] / stages:.2f} | "
                 f"{yes(memory[NINE] <= 1.1 * stages)} | - |")
    for form in ["24-bit", "float"]:
        for effect in EFFECTS:
            mine, base = cpu[f"{form} {effect}"], cpu["wavfx " + effect]
            less = "-" if effect == "none" else \
                f"{(mine - cpu['cat ' + form]) / (base - cat):.2f}"
            lines.append(f"| {form} {effect}, file | {mine:.3f} | {base:.3f} | "
                         f"{mine / base:.2f} | {yes(mine <= 1.1 * base)} | {less} |")
    for hook, effect, _ in hooks:
        mine, base = cpu[hook], cpu["wavfx " + effect]
        lines.append(f"| {hook} | {mine:.3f} | {base:.3f} | {mine / base:.2f} | "
                     f"{yes(mine <= 1.1 * base)} | - |")
    nine, sox_nine = cpu["wavfx " + NINE], cpu["sox nine"]
    lines += ["", f"Nine-stage chain `{NINE}`: wavfx {nine:.3f} s, SoX -D with the same nine "
              f"effects {sox_nine:.3f} s: {sox_nine / nine:.1f} x faster.", ""]
    return lines


def report_reshaping(label, wall, cpu, memory):
    dd = cpu["dd"]
    lines = [f"### {label}", "",
             f"cat {cpu['cat']:.3f} s, dd with 128 KiB blocks {dd:.3f} s.", "",
             "| stage | in memory s | file s (wall) | in memory + dd s | goal: file <= in memory "
             "+ dd | (file - in memory) / dd | sox -D s | ffmpeg s |",
             "|---|---:|---:|---:|---|---:|---:|---:|"]
    for chain, goal, _, _ in RESHAPING:
        inside, mine = memory[chain], cpu["wavfx " + chain]
        bound = inside + dd
        verdict = (f"{mine / bound:.2f} x: {yes(mine <= bound)}" if goal
                   else f"({mine / bound:.2f} x, for information)")
        cell = chain.replace("|", "\\|")  # a bar inside a table cell
        lines.append(f"| `{cell}` | {inside:.3f} | {mine:.3f} ({wall['wavfx ' + chain]:.3f}) | "
                     f"{bound:.3f} | {verdict} | {(mine - inside) / dd:.2f} | "
                     f"{cpu['sox ' + chain]:.3f} | {cpu['ffmpeg ' + chain]:.3f} |")
    return lines + [""]


def reshaping_section(args, machine, sections):
    peers = "; ".join(f"`{chain}`: sox `{sox}`, ffmpeg `{filters.format(fade_out='END-5')}`"
                      for chain, _, sox, filters in RESHAPING)
    return [RESHAPING_HEADING, "",
            f"Written by `scripts/bench_files.sh {args.rounds}"
            f"{' --only-reshaping' if args.only_reshaping else ''}` on "
            f"{datetime.date.today().isoformat()}. {machine}", "",
            "The stages that change the stream's rate, channels or length, and the in-place "
            "`gain`, file to file: 16-bit WAV in and out, in tmpfs, processor time (user + "
            f"system), with wall-clock in parentheses, medians of {args.rounds} rounds in one run, every command in turn. The "
            "reshaping chains take the general path (libsndfile, floats through FlowChain); `gain` "
            "takes the 16-bit path in place. In memory: `wavfx_bench_memory` over the file's "
            "16-bit samples, the reshaping chains through FlowChainSamples and DrainChainSamples "
            "in blocks of 32768 samples on either side (the general path's), `gain` in place; "
            "the thread's processor time, median of at least 5 rounds. The goal: the file costs "
            "at most its in-memory time plus dd. `resample` and `speed` are there for "
            f"information. Peers: {peers} (END: the input's length in seconds).",
            ""] + sections


def splice_section(path, lines):
    """Writes `lines` as the reshaping section of the report at `path`, in place of the one it
    holds (up to its hand-written "#### Notes" or the next section), or at its end."""
    text = open(path).read() if os.path.exists(path) else ""
    fresh = "\n".join(lines).rstrip("\n") + "\n"
    start = text.find("\n" + RESHAPING_HEADING + "\n")
    if start < 0:
        text = text.rstrip("\n") + "\n\n" + fresh
    else:
        start += 1
        ends = [i for i in (text.find("\n#### Notes", start), text.find("\n## ", start + 1))
                if i >= 0]
        end = min(ends) + 1 if ends else len(text)
        text = text[:start] + fresh + ("\n" if end < len(text) else "") + text[end:]
    with open(path, "w") as report:
        report.write(text)


def peak_memory(args):
    one, sixty = os.path.join(args.work, "one.wav"), os.path.join(args.work, "sixty.wav")
    subprocess.run([args.make_wav, one, "1"], check=True)
    subprocess.run([args.make_wav, sixty, "60"], check=True)
    out = os.path.join(args.work, "out.wav")
    lines = ["| wavfx effect | peak memory, 1 minute (KiB) | peak memory, 60 minutes (KiB) |",
             "|---|---:|---:|"]

    def peak(source, effect):
        if os.path.exists(out):
            os.remove(out)
        # GNU time: the rusage of a child forked from Python would count Python's pages too.
        result = subprocess.run(["/usr/bin/time", "-f", "%M", args.wavfx, source, out, effect],
                                check=True, capture_output=True, text=True)
        return int(result.stderr.split()[-1])

    for effect in EFFECTS + [NINE]:
        lines.append(f"| {effect} | {peak(one, effect)} | {peak(sixty, effect)} |")
    for path in [one, sixty, out]:
        if os.path.exists(path):
            os.remove(path)
    return lines


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--work", required=True)
    parser.add_argument("--wavfx", required=True)
    parser.add_argument("--memory-tool", required=True)
    parser.add_argument("--make-wav", required=True)
    parser.add_argument("--input", action="append", required=True, help="LABEL=PATH")
    parser.add_argument("--output", required=True)
    parser.add_argument("--only-reshaping", action="store_true",
                        help="measure only the reshaping stages and replace their section")
    args = parser.parse_args()
    hooks = []
    if os.environ.get("WAVFX_BENCH_HOOKS"):
        with open(os.environ["WAVFX_BENCH_HOOKS"]) as listing:
            hooks = [tuple(line.rstrip("\n").split("|", 2)) for line in listing if "|" in line]

    sections, reshaping = [], []
    for entry in args.input:
        label, source = entry.split("=", 1)
        print(label, flush=True)
        if not args.only_reshaping:
            wall, cpu, memory = measure(args, source, hooks)
            sections += report_input(label, source, wall, cpu, memory, hooks)
        print(label + ": reshaping stages", flush=True)
        reshaping += report_reshaping(label, *measure_reshaping(args, source))

    cpu_model = next((line.split(":", 1)[1].strip() for line in
                      subprocess.run(["lscpu"], capture_output=True, text=True).stdout.splitlines()
                      if line.startswith("Model name")), platform.processor())
    compiler = subprocess.run(["c++", "--version"], capture_output=True,
                              text=True).stdout.splitlines()[0]
    sox = subprocess.run(["sox", "--version"], capture_output=True, text=True).stdout.split()[-1]
    ffmpeg = subprocess.run(["ffmpeg", "-version"], capture_output=True,
                            text=True).stdout.split()[2]
    with open("/proc/cpuinfo") as info:
        flags = next((line for line in info if line.startswith("flags")), "")
    path = "AVX-512" if " avx512bw" in flags else ("AVX2" if " avx2" in flags else "scalar")
    machine = (f"Machine: {cpu_model}, {os.cpu_count()} cores shared with other work; vector path "
               f"{path}; SoX {sox}, FFmpeg {ffmpeg}.")
    reshaping = reshaping_section(args, machine, reshaping)
    if args.only_reshaping:
        splice_section(args.output, reshaping)
        print("\n".join(reshaping))
        return
    memory_lines = peak_memory(args)
    text = ["# Benchmarks", "",
            f"Written by `scripts/bench_files.sh {args.rounds}` on "
            f"{datetime.date.today().isoformat()}.", "",
            f"Machine: {cpu_model}, {os.cpu_count()} cores shared with other work, Linux "
            f"{platform.release()}; vector path {path}; wavfx built by {compiler} in Release "
            f"mode; SoX {sox} with -D (no dither), FFmpeg {ffmpeg} with -filter_threads 1 "
            "-threads 1.", "",
            "Each input is read from tmpfs and written to a new file there by every command in "
            f"turn, {args.rounds} rounds; times are medians of processor time (user + system), "
            "since the machine is shared, with wall-clock medians in parentheses. In memory: "
            "`wavfx_bench_memory` runs the same chain over the file's samples held in memory, in "
            "the blocks that streaming uses, and reports the median of the thread's processor "
            "time. \"file - in memory\" is what streaming adds; cat copies within the kernel "
            "(copy_file_range), while a program that processes the data must read it into its "
            "own memory and write it back, which dd measures: dd is the bound of that column, "
            "and in-memory time plus dd the bound of each effect's file time.", ""]
    text += sections
    text += ["### Peak memory", "", "Peak resident memory does not grow with the length of the "
             "file (synthetic input):", ""] + memory_lines
    # A hand-written "## Notes" section at the end of the report is kept.
    if os.path.exists(args.output):
        with open(args.output) as previous:
            old = previous.read()
        if "\n## Notes" in old:
            text += [""] + old[old.index("\n## Notes") + 1:].rstrip("\n").split("\n")
    with open(args.output, "w") as report:
        report.write("\n".join(text) + "\n")
    splice_section(args.output, reshaping)
    print("\n".join(text + [""] + reshaping))


if __name__ == "__main__":
    main()
