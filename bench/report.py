#!/usr/bin/env python3
"""Writes docs/PERFORMANCE.md and its plot from one run of tinvoicer_bench, and the headline
figures into the README's Benchmark section. Called by scripts/bench, which passes the run's
JSON, the build folder (its CMake file-API reply tells the compiler and the flags each target
was built with) and what it recorded of the machine and the command."""

import argparse
import glob
import json
import os
import re
import subprocess
import sys
import textwrap

RATE_HZ = 44100.0
HEADLINE_BLOCK = 512
CALL_BLOCK = 64
WORST_CALL_BEFORE_NS = 2674.0  # worst call at block 64 before this round of kernels
FFTW_ROWS = (("FftwNative", "FFTW chain, best build"), ("FftwProject", "FFTW chain, project's flags"))
README_BEGIN = "<!-- scripts/bench: headline -->"
README_END = "<!-- scripts/bench: end of headline -->"


# ---------------------------------------------------------------------------- reading the run

class Run:
    def __init__(self, path):
        data = json.load(open(path))
        self.context = data["context"]
        self.entries = data["benchmarks"]
        self.kernels = [k for k in self.context.get("kernels", "").split(",") if k]

    def _rows(self, name):
        return [r for r in self.entries if r.get("run_name") == name]

    def median(self, name, field="cpu_time"):
        for r in self._rows(name):
            if r.get("aggregate_name") == "median" and field in r:
                return r[field]
        return None

    def worst(self, name, field):
        values = [r[field] for r in self._rows(name) if r.get("run_type") == "iteration" and field in r]
        return max(values) if values else None

    def skipped(self, name):
        return any(r.get("error_occurred") for r in self._rows(name))

    def label(self, name):
        for r in self._rows(name):
            if r.get("label"):
                return r["label"]
        return None

    def repetitions(self):
        counts = [r.get("repetitions") for r in self.entries if r.get("repetitions")]
        return max(counts) if counts else None


def effect_name(chain, block):
    return f"Effect/{chain}/{block}"


def call_name(chain):
    return f"CallTimes/{chain}/iterations:1"


# ---------------------------------------------------------------------------- the build's flags

class Build:
    """The compiler and per-target flags from CMake's file-API reply (any generator)."""

    def __init__(self, build_dir):
        self.reply = os.path.join(build_dir, ".cmake", "api", "v1", "reply")
        indexes = sorted(glob.glob(os.path.join(self.reply, "index-*.json")))
        if not indexes:
            sys.exit(f"report: no CMake file-API reply in {self.reply}")
        self.index = json.load(open(indexes[-1]))
        model = self._load(self.index["reply"]["codemodel-v2"]["jsonFile"])
        self.targets = {t["name"]: self._load(t["jsonFile"]) for t in model["configurations"][0]["targets"]}

    def _load(self, name):
        return json.load(open(os.path.join(self.reply, name)))

    def compiler(self):
        chains = self._load(self.index["reply"]["toolchains-v1"]["jsonFile"])["toolchains"]
        for chain in chains:
            if chain["language"] == "CXX":
                c = chain["compiler"]
                return f"{c.get('id', '?')} {c.get('version', '?')}"
        return "unknown"

    def flags_of_source(self, file_name):
        """The C++ flags of the target that compiles the source named `file_name`, wherever it is."""
        for target in self.targets.values():
            for group in target.get("compileGroups", []):
                names = [os.path.basename(target["sources"][i]["path"]) for i in group["sourceIndexes"]]
                if file_name in names:
                    return " ".join(f["fragment"] for f in group.get("compileCommandFragments", []))
        return None

    def flags_of_target(self, name):
        target = self.targets.get(name)
        if not target or not target.get("compileGroups"):
            return None
        return " ".join(f["fragment"] for f in target["compileGroups"][0].get("compileCommandFragments", []))


# ---------------------------------------------------------------------------- formatting

def fmt(value, digits=0):
    return "n/a" if value is None else f"{value:,.{digits}f}"


def ratio(a, b):
    return None if a is None or b is None or b == 0 else a / b


def fmt_ratio(r):
    return "n/a" if r is None else f"{r:.2f}x"


def per_sample(total_ns, block):
    return None if total_ns is None else total_ns / block


def x_realtime(ns_per_sample):
    return None if not ns_per_sample else 1e9 / RATE_HZ / ns_per_sample


def verdict(ok):
    return "n/a" if ok is None else ("met" if ok else "missed")


def difference(a, b):
    return None if a is None or b is None else a - b


# ---------------------------------------------------------------------------- the report

class Report:
    def __init__(self, run, build, machine):
        self.run = run
        self.build = build
        self.machine = machine
        self.lines = []

    def emit(self, line=""):
        self.lines.append(line)

    def table(self, header, rows):
        self.emit("| " + " | ".join(header) + " |")
        self.emit("|" + "---|" * len(header))
        for row in rows:
            self.emit("| " + " | ".join(row) + " |")
        self.emit()

    # -- what ran where

    def kernel_ran(self, kernel, name):
        return None if self.run.skipped(name) else self.run.label(name) or kernel

    def ran_cell(self, kernel, name):
        ran = self.kernel_ran(kernel, name)
        return "not run here" if ran is None else ran

    def ran_itself(self, kernel):
        """Whether the kernel's rows ran and ran that kernel, not a narrower one standing in."""
        name = f"FftPair/{kernel}"
        return self.run.median(name) is not None and self.kernel_ran(kernel, name) == kernel

    def widest_run_kernel(self):
        ran = [k for k in self.run.kernels if self.ran_itself(k)]
        return ran[-1] if ran else None

    def effect_ns(self, chain, block=HEADLINE_BLOCK):
        name = effect_name(chain, block)
        return None if self.run.skipped(name) else per_sample(self.run.median(name), block)

    def pair_ns(self, kernel):
        name = f"FftPair/{kernel}"
        return None if self.run.skipped(name) else self.run.median(name)

    def blocks(self):
        found = set()
        for r in self.run.entries:
            m = re.fullmatch(r"Effect/[^/]+/(\d+)", r.get("run_name", ""))
            if m:
                found.add(int(m.group(1)))
        return sorted(found)

    # -- sections

    def header(self):
        ctx = self.run.context
        m = self.machine
        self.emit("# Performance")
        self.emit()
        self.emit("Generated by `scripts/bench`: do not edit by hand. Medians over interleaved repetitions of CPU")
        self.emit("time, except the per-call times, which are wall-clock times of single calls. Every row of the")
        self.emit("product runs the real `ZeroPhaseEffect` (or its `ZeroPhaseProcessor`) on the kernel named in")
        self.emit("its row; a kernel this build or CPU lacks is reported as not run, never as a number.")
        self.emit()
        self.emit("## Machine and command")
        self.emit()
        self.emit(f"- CPU: {m['cpu']} ({ctx.get('num_cpus')} logical CPUs seen)")
        self.emit(f"- CPU vector flags: {m['cpu_flags'] or 'none reported'}")
        self.emit(f"- Kernels in this build, narrowest first: {', '.join(self.run.kernels)}; the product's default here: {ctx.get('fastest_kernel', '?')}")
        load = ctx.get("load_avg")
        start = ", ".join(f"{x:.2f}" for x in load) if load else "unknown"
        self.emit(f"- Load average (1, 5, 15 min) when the run started: {start}; when it ended: {m['load_end']}. "
                  "The machine's other work slows every row alike, since the rows are interleaved")
        self.emit(f"- Compiler: {self.build.compiler()}")
        self.emit(f"- Flags of the product's transforms: `{self.build.flags_of_source('real_fft.cpp') or 'unknown'}`")
        self.emit(f"- Flags of the best FFTW chain: `{self.build.flags_of_target('tinvoicer_bench_fftw_native') or 'unknown'}`")
        self.emit(f"- Flags of the project-flags FFTW chain: `{self.build.flags_of_target('tinvoicer_bench_fftw_project') or 'unknown'}`")
        self.emit(f"- Baseline: FFTW {ctx.get('fftw_version', '?')} single precision, `FFTW_MEASURE` plans, in the same binary")
        self.emit(f"- Google Benchmark library built as: {ctx.get('library_build_type', '?')} (it times the loops around it, not itself)")
        self.emit(f"- Repetitions: {self.run.repetitions()}, interleaved in random order; date: {ctx.get('date')}")
        self.emit(f"- Command: `{m['shown_command']}`, which ran `{m['run_command']}`")
        self.emit()

    def targets(self):
        widest = self.widest_run_kernel()
        best = self.effect_ns("FftwNative")
        ours = self.effect_ns(widest) if widest else None
        fftw_pair = self.pair_ns("Fftw")
        avx512 = self.pair_ns("Avx512") if "Avx512" in self.run.kernels else None
        sse2 = self.effect_ns("Sse2")
        share = self.rest_share(widest) if widest else None
        worst = self.run.median(call_name(widest), "worst_call_ns") if widest else None

        def row(target, measured, ok):
            return [target, measured, verdict(ok)]

        rows = [
            row(f"Whole effect at block {HEADLINE_BLOCK}, widest kernel ({widest or 'none'}): at most 0.75x the best FFTW chain",
                fmt_ratio(ratio(ours, best)), None if ratio(ours, best) is None else ratio(ours, best) <= 0.75),
        ]
        if "Avx512" not in self.run.kernels:
            rows.append(["AVX-512 kernel: FFT pair at N = 1024 at most 0.6x FFTW's", "no AVX-512 kernel in this build", "n/a"])
        elif avx512 is None:
            rows.append(["AVX-512 kernel: FFT pair at N = 1024 at most 0.6x FFTW's", "not run here", "n/a"])
        elif not self.ran_itself("Avx512"):
            ran = self.kernel_ran("Avx512", "FftPair/Avx512")
            rows.append(["AVX-512 kernel: FFT pair at N = 1024 at most 0.6x FFTW's", f"{ran} ran in its place", "n/a"])
        else:
            r = ratio(avx512, fftw_pair)
            rows.append(row("AVX-512 kernel: FFT pair at N = 1024 at most 0.6x FFTW's", fmt_ratio(r), None if r is None else r <= 0.6))
        rows.append(row(f"SSE2 kernel: at least 2,000x real time at 44.1 kHz at block {HEADLINE_BLOCK} (at most 11.3 ns per sample)",
                        f"{fmt(x_realtime(sse2))}x ({fmt(sse2, 2)} ns)", None if sse2 is None else x_realtime(sse2) >= 2000))
        rows.append(row(f"The frame's other passes ({widest or 'none'}): at most a quarter of the transform pair's time",
                        "n/a" if share is None else f"{share * 100:.0f}%", None if share is None else share <= 0.25))
        rows.append(row(f"Worst call at block {CALL_BLOCK} ({widest or 'none'}): no slower than {WORST_CALL_BEFORE_NS:,.0f} ns",
                        f"{fmt(worst)} ns", None if worst is None else worst <= WORST_CALL_BEFORE_NS))
        self.emit("## Targets")
        self.emit()
        self.table(["Target", "Measured", ""], rows)

    def fft_pairs(self):
        fftw = self.pair_ns("Fftw")
        rows = []
        for kernel in self.run.kernels:
            name = f"FftPair/{kernel}"
            if self.run.skipped(name):
                rows.append([kernel, "not run here", "not run here", fmt(fftw), "not run here"])
                continue
            ours = self.pair_ns(kernel)
            rows.append([kernel, self.ran_cell(kernel, name), fmt(ours), fmt(fftw), fmt_ratio(ratio(ours, fftw))])
        self.emit("## Real FFT, forward + inverse, N = 1024")
        self.emit()
        self.emit(f"FFTW's r2c and c2r ({self.run.label('FftPair/Fftw') or 'FFTW'}) are its library's own code: their time does not")
        self.emit("depend on how the benchmark is compiled.")
        self.emit()
        self.table(["Kernel", "Ran", "Ours (ns)", "FFTW (ns)", "Ratio"], rows)

    def chains(self):
        """(label, chain name, kernel that ran or None) for every row of the effect tables."""
        rows = []
        for kernel in self.run.kernels:
            rows.append((f"Product, {kernel} kernel", kernel, self.kernel_ran(kernel, effect_name(kernel, HEADLINE_BLOCK))))
        for chain, label in FFTW_ROWS:
            rows.append((label, chain, None if self.run.skipped(effect_name(chain, HEADLINE_BLOCK)) else "FFTW"))
        return rows

    def effect(self, plot_file):
        blocks = self.blocks()
        best = self.effect_ns("FftwNative")
        project = self.effect_ns("FftwProject")
        rows = []
        for label, chain, ran in self.chains():
            if not ran:
                rows.append([label] + ["not run here"] * (len(blocks) + 4))
                continue
            cells = [fmt(self.effect_ns(chain, b), 2) for b in blocks]
            here = self.effect_ns(chain)
            rows.append([label, ran] + cells +
                        [fmt(x_realtime(here)), fmt_ratio(ratio(here, best)), fmt_ratio(ratio(here, project))])
        self.emit("## Whole effect through processReplacing")
        self.emit()
        self.emit(f"ns per sample by block size; x real time at 44.1 kHz and the ratios at block {HEADLINE_BLOCK}. The FFTW")
        self.emit("chains are the same chain (ring, window, r2c, magnitudes in double, c2r, 1/N, window,")
        self.emit("overlap-add, gain, denormal guard) with FFTW's transforms; their output agrees with the")
        self.emit("product's to float rounding (checked before timing).")
        self.emit()
        header = ["Chain", "Ran"] + [f"Block {b}" for b in blocks] + \
                 [f"x real time ({HEADLINE_BLOCK})", "vs best FFTW chain", "vs project-flags FFTW chain"]
        self.table(header, rows)
        self.emit(f"![ns per sample by block size, one line per kernel and FFTW chain]({plot_file})")
        self.emit()

    PASSES = (("Window", "Window from the ring"), ("Unpack", "Unpack"), ("Pack", "Pack"),
              ("Magnitudes", "Magnitudes"), ("OverlapAdd", "Overlap-add"))

    def passes_ns(self, kernel):
        """The frame's passes besides the transforms, summed; None unless every one ran."""
        times = [self.run.median(f"Pass/{kernel}/{p}") for p, _ in self.PASSES]
        return None if any(t is None for t in times) else sum(times)

    def rest_share(self, kernel):
        return ratio(self.passes_ns(kernel), self.pair_ns(kernel))

    def frame_passes(self):
        rows = []
        for kernel in self.run.kernels:
            name = f"Frame/{kernel}"
            if self.run.skipped(name):
                rows.append([kernel] + ["not run here"] * (len(self.PASSES) + 6))
                continue
            passes = [self.run.median(f"Pass/{kernel}/{p}") for p, _ in self.PASSES]
            total = self.passes_ns(kernel)
            pair = self.pair_ns(kernel)
            frame = self.run.median(name)
            share = ratio(total, pair)
            rows.append([kernel, self.ran_cell(kernel, name)] + [fmt(t) for t in passes] +
                        [fmt(total), fmt(pair), "n/a" if share is None else f"{share * 100:.0f}%",
                         fmt(frame), fmt(difference(frame, pair))])
        self.emit("## The frame's other passes")
        self.emit()
        self.emit("Each pass runs alone from the kernel's own table, the code the frame processor calls, on one")
        self.emit("1024-point frame (ns per frame). The whole frame is one call of 256 samples on the product's")
        self.emit("frame processor, which carries exactly one frame; the frame minus the transform pair also holds")
        self.emit("the hop's copies and the calls between the passes, a check on the sum measured alone.")
        self.emit()
        self.table(["Kernel", "Ran"] + [label + " (ns)" for _, label in self.PASSES] +
                   ["Passes (ns)", "Transform pair (ns)", "Passes / pair", "Whole frame (ns)", "Frame minus pair (ns)"], rows)

    def call_times(self):
        rows = []
        chains = [(f"Product, {k} kernel", k) for k in self.run.kernels] + list((label, chain) for chain, label in FFTW_ROWS)
        for label, chain in chains:
            name = call_name(chain)
            if self.run.skipped(name):
                rows.append([label] + ["not run here"] * 7)
                continue
            worst = self.run.median(name, "worst_call_ns")
            ran = "FFTW" if chain.startswith("Fftw") else self.ran_cell(chain, name)
            rows.append([label, ran, fmt(self.run.median(name, "median_call_ns")), fmt(self.run.median(name, "frame_call_ns")),
                         fmt(worst), fmt_ratio(ratio(worst, WORST_CALL_BEFORE_NS)),
                         fmt(self.run.median(name, "raw_p999_call_ns")), fmt(self.run.worst(name, "raw_worst_call_ns"))])
        self.emit(f"## Call times at block {CALL_BLOCK}")
        self.emit()
        self.emit("4,096 calls from a reset, replayed 8 times per repetition; one call in four carries a frame.")
        self.emit("Per call the least of its 8 wall-clock times is the call's own work (other processes only add);")
        self.emit("the medians and the worst of those are medians over repetitions. The raw columns are single")
        self.emit("calls as a host's deadline sees them on this machine, preemption included (worst over all).")
        self.emit(f"The worst call before this round of kernels was {WORST_CALL_BEFORE_NS:,.0f} ns.")
        self.emit()
        self.table(["Chain", "Ran", "Median call (ns)", "Frame-carrying call, median (ns)", "Worst call (ns)",
                    f"Worst vs {WORST_CALL_BEFORE_NS:,.0f} ns", "Raw 99.9th percentile (ns)", "Raw worst (ns)"], rows)

    def denormals(self):
        rows = []
        for label, name in (("on (as processReplacing sets it)", "decay/IntoDenormalsFlushed"),
                            ("off (the host's default mode)", "decay/IntoDenormalsUnflushed")):
            rows.append([label, fmt(per_sample(self.run.median(name), 512), 2)])
        self.emit("## Denormals")
        self.emit()
        self.emit("Noise decaying from 1e-30 to 1e-44 through the product's frame processor on the "
                  f"{self.run.label('decay/IntoDenormalsFlushed') or 'default'} kernel at block 512, ns per sample.")
        self.emit()
        self.table(["Flush-to-zero and denormals-are-zero", "ns per sample"], rows)

    def construction(self):
        name = "ConstructEffect/manual_time"
        t = self.run.median(name, "real_time")
        self.emit("## Construction")
        self.emit()
        self.table(["Heap bytes per instance", "Heap blocks", "Construction time (us)"],
                   [[fmt(self.run.median(name, "heap_bytes")), fmt(self.run.median(name, "heap_blocks")),
                     fmt(None if t is None else t / 1000, 1)]])

    # -- the two headline sentences, shared with the README

    def headline(self):
        widest = self.widest_run_kernel()
        ours = self.effect_ns(widest) if widest else None
        best = self.effect_ns("FftwNative")
        project = self.effect_ns("FftwProject")
        sse2 = self.effect_ns("Sse2")
        pair = self.pair_ns(widest) if widest else None
        fftw_pair = self.pair_ns("Fftw")
        first = (f"On {self.machine['cpu']}, the whole effect on its widest kernel here ({widest or 'none'}) takes "
                 f"{fmt(ours, 2)} ns per sample at block {HEADLINE_BLOCK}, {fmt_ratio(ratio(ours, best))} the time of the "
                 f"same chain on FFTW built with `-O3 -march=native` ({fmt(best, 2)} ns) and "
                 f"{fmt_ratio(ratio(ours, project))} that of the chain built with the project's flags.")
        second = (f"On its SSE2 kernel it runs {fmt(x_realtime(sse2))}x real time at 44.1 kHz ({fmt(sse2, 2)} ns per sample), "
                  f"and its 1024-point transform pair takes {fmt(pair)} ns on {widest or 'none'} against FFTW's "
                  f"{fmt(fftw_pair)} ns ({fmt_ratio(ratio(pair, fftw_pair))}).")
        return textwrap.fill(first + " " + second, width=100, break_on_hyphens=False)

    def write(self, plot_file):
        self.header()
        self.emit("## Headline")
        self.emit()
        self.emit(self.headline())
        self.emit()
        self.targets()
        self.fft_pairs()
        self.effect(plot_file)
        self.frame_passes()
        self.call_times()
        self.denormals()
        self.construction()
        return "\n".join(self.lines).rstrip() + "\n"


# ---------------------------------------------------------------------------- the plot

def gnuplot_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def plot(report, data_path, png_path):
    blocks = report.blocks()
    chains = report.chains()
    with open(data_path, "w") as data:
        data.write("# block " + " ".join(chain for _, chain, _ in chains) + "\n")
        for b in blocks:
            cells = []
            for _, chain, ran in chains:
                value = report.effect_ns(chain, b) if ran else None
                cells.append("?" if value is None else f"{value:.4f}")
            data.write(f"{b} " + " ".join(cells) + "\n")
    fftw_styles = {"FftwNative": "dt 2 lw 2 lc rgb 'black'", "FftwProject": "dt 3 lw 2 lc rgb 'gray50'"}
    curves = []
    for column, (label, chain, ran) in enumerate(chains, start=2):
        if not ran:
            continue
        style = fftw_styles.get(chain, "lw 2")
        curves.append(f"'{data_path}' using 1:{column} with linespoints {style} pt 7 title {gnuplot_string(label)}")
    script = "\n".join([
        "set terminal pngcairo size 900,600 font 'sans,11'",
        f"set output {gnuplot_string(png_path)}",
        "set datafile missing '?'",
        "set logscale x 2",
        "set xtics (" + ", ".join(f'"{b}" {b}' for b in blocks) + ")",
        "set xlabel 'Block size (samples per call)'",
        "set ylabel 'ns per sample (median CPU time)'",
        "set yrange [0:*]",
        "set grid ytics",
        "set key below maxrows 3",
        "set title 'Whole effect: the product on each kernel, the FFTW chains in black and grey'",
        "plot " + ", \\\n     ".join(curves),
    ]) + "\n"
    result = subprocess.run(["gnuplot"], input=script, text=True, capture_output=True)
    if result.returncode != 0:
        sys.exit(f"report: gnuplot failed: {result.stderr.strip()}")


# ---------------------------------------------------------------------------- README

def replace_file(path, write):
    """Writes `path` through a temporary file beside it, so a failure leaves the old one whole."""
    temporary = path + ".tmp"
    try:
        write(temporary)
        os.replace(temporary, path)
    except BaseException:
        if os.path.exists(temporary):
            os.remove(temporary)
        raise


def write_text(text):
    def write(path):
        with open(path, "w") as f:
            f.write(text)
    return write


def update_readme(readme_path, sentences):
    text = open(readme_path).read()
    begin = text.find(README_BEGIN)
    end = text.find(README_END)
    if begin < 0 or end < begin:
        sys.exit(f"report: {readme_path} has no '{README_BEGIN}' ... '{README_END}' pair around the headline")
    updated = text[:begin + len(README_BEGIN)] + "\n" + sentences + "\n" + text[end:]
    if updated != text:
        replace_file(readme_path, write_text(updated))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--results", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--docs", required=True, help="folder of PERFORMANCE.md and the plot")
    parser.add_argument("--readme", required=True)
    parser.add_argument("--cpu", required=True)
    parser.add_argument("--cpu-flags", default="")
    parser.add_argument("--load-end", default="unknown")
    parser.add_argument("--shown-command", required=True)
    parser.add_argument("--run-command", required=True)
    args = parser.parse_args()

    machine = {"cpu": args.cpu, "cpu_flags": args.cpu_flags, "load_end": args.load_end,
               "shown_command": args.shown_command, "run_command": args.run_command}
    report = Report(Run(args.results), Build(args.build), machine)
    plot_file = "performance.png"
    markdown = report.write(plot_file)
    data = os.path.join(args.build, "bench-effect.dat")
    replace_file(os.path.join(args.docs, plot_file), lambda path: plot(report, data, path))
    replace_file(os.path.join(args.docs, "PERFORMANCE.md"), write_text(markdown))
    update_readme(args.readme, report.headline())


if __name__ == "__main__":
    main()
