#!/usr/bin/env python3
"""Runs the benchmark pairs of a build and writes their ratios.

Every pair is "<row>/project/<case>" and "<row>/baseline/<case>" in one
program (tests/support/benchmark_pairs.h). For each pair this measures

  * time per item: the median CPU time (the benchmark thread's) and the
    median wall-clock time of several repetitions, the two halves of each
    pair run alternately;
  * instructions per item, unless --no-instructions: each benchmark run under
    valgrind with BENCHMARK_ITERATIONS=1 and =2, the difference of the two
    counts divided by the iterations and items it adds, so that setup and
    start-up cancel out. Instruction counts repeat exactly; times on a shared
    machine do not.

and writes OUT/benchmarks.md (a table of ratios project/baseline, lower is
better, against the targets below), OUT/benchmarks.svg (the same ratios as a
chart) and OUT/benchmarks.json (every figure).
"""

import argparse
import json
import os
import re
import subprocess
import sys
from collections import OrderedDict

PROGRAMS = [
    "tests/tervane/tervane_benchmarks",
    "tests/kandrel/kandrel_benchmarks",
    "tests/kandrel/kandrel_directory_walk_benchmark",
]

# Highest acceptable ratio project/baseline per row (and case prefix), with
# the words the table shows.
TARGETS = [
    ("event_decoding", "", 1.15, "≤ 1.15× the walk"),
    ("ldap_parse_ds_event", "", 1.15, "≤ 1.15× the walk"),
    ("code_page_from_host", "mostly_ascii", 0.5, "≥ 2× iconv"),
    ("code_page_from_host", "no_ascii", 1.0, "≥ iconv"),
    ("host_from_utf8", "mostly_ascii", 0.5, "≥ 2× iconv"),
    ("host_from_utf8", "no_ascii", 1.0, "≥ iconv"),
    ("utf8_from_host", "mostly_ascii", 0.5, "≥ 2× iconv"),
    ("utf8_from_host", "no_ascii", 1.0, "≥ iconv"),
    ("registry_lookup_pair", "", 2.0, "flat: ≤ 2×"),
    ("dispatch", "", 2.0, "flat: ≤ 2×"),
]

DESCRIPTIONS = {
    "event_decoding": "Event notification decoded from its bytes and released, against a liblber walk copying the same fields",
    "ldap_parse_ds_event": "ldap_parse_ds_event + ldap_event_free, against ldap_parse_intermediate + the walk + frees",
    "code_page_from_host": "UTF-32 → Windows-1252 against glibc iconv",
    "host_from_utf8": "UTF-8 → UTF-32 against glibc iconv",
    "utf8_from_host": "UTF-32 → UTF-8 against glibc iconv",
    "registry_lookup_pair": "Two registry lookups of a random live object, against the same with 100 objects",
    "dispatch": "A trivial object message through LDAPWndProc, against the same with 1 object",
    "synchronous_export": "A synchronous export, against ldap_extended_operation_s written by hand (same loopback peer)",
    "lburp_operation_request": "An LBURP batch sent and answered, against bare ber_printf + ldap_extended_operation",
    "directory_walk": "Search and walk 10,000 slapd entries through LDAPWndProc, against libldap",
    "directory_walk_floor": "The same walk through a bare handler of the host messages (no reference table, registry, "
                            "holds or checks), against libldap: what the host protocol costs by itself",
}

PAIR = re.compile(r"^(?P<row>[^/]+)/(?P<side>project|baseline)(?:/(?P<case>.+))?$")
# What the library adds to a benchmark's name for its settings.
SETTINGS = re.compile(r"(/(iterations|min_time|repeats|threads):[0-9.]+)+$")


def plain(name):
    return SETTINGS.sub("", name)


def target_of(row, case):
    for target_row, prefix, limit, words in TARGETS:
        if target_row == row and case.startswith(prefix):
            return limit, words
    return None, "—"


def run(command, env=None):
    return subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, check=False)


def list_pairs(program, selection):
    listed = run([program, "--benchmark_list_tests=true", "--benchmark_filter=/(project|baseline)"])
    names = (plain(name) for name in listed.stdout.split())
    return [name for name in names if PAIR.match(name) and re.search(selection, name)]


def exactly(names):
    return "^(" + "|".join(re.escape(name) for name in names) + ")(/[a-z_]+:[0-9.]+)*$"


def run_once(program, names, out_file):
    """One run of the named benchmarks: {name: (cpu ns/item, wall ns/item)}."""
    result = run([program, "--benchmark_filter=" + exactly(names), "--benchmark_out=" + out_file,
                  "--benchmark_out_format=json"])
    if result.returncode != 0:
        sys.stderr.write(result.stdout + result.stderr)
        raise SystemExit("%s failed" % program)
    with open(out_file) as f:
        report = json.load(f)
    figures = {}
    for entry in report["benchmarks"]:
        if entry.get("run_type") == "aggregate" or entry.get("error_occurred"):
            continue
        name = plain(entry.get("run_name", entry["name"]))
        items = entry.get("items", 1.0) or 1.0
        scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[entry.get("time_unit", "ns")]
        figures[name] = (entry["cpu_time"] * scale / items, entry["real_time"] * scale / items)
    return figures, report.get("context", {})


def median(values):
    values = sorted(values)
    if not values:
        return None
    middle = len(values) // 2
    return values[middle] if len(values) % 2 else (values[middle - 1] + values[middle]) / 2


def measure_times(program, names, repetitions, out_file):
    """Median CPU and wall-clock time per item of each benchmark. The two
    halves of the pairs run alternately, one run each per repetition, the
    half that starts swapping every time, so that a machine that grows busier
    or quieter weighs on both alike."""
    halves = [[n for n in names if PAIR.match(n).group("side") == side] for side in ("project", "baseline")]
    samples = {}
    context = {}
    for repetition in range(repetitions):
        order = halves if repetition % 2 == 0 else halves[::-1]
        for half in order:
            if not half:
                continue
            figures, context = run_once(program, half, out_file)
            for name, pair in figures.items():
                samples.setdefault(name, []).append(pair)
    times = {name: (median([cpu for cpu, _ in pairs]), median([wall for _, wall in pairs]))
             for name, pairs in samples.items()}
    return times, context


def count_instructions(program, name):
    """Instructions per item: the difference of runs with 2 and 1 iteration
    units; None (with a warning) when a run fails."""
    counts = []
    items = 1.0
    iterations = []
    for units in (1, 2):
        env = dict(os.environ, BENCHMARK_ITERATIONS=str(units))
        result = run(["valgrind", "--tool=cachegrind", "--cache-sim=no", "--cachegrind-out-file=/dev/null",
                      program, "--benchmark_filter=" + exactly([name]), "--benchmark_format=json"], env)
        match = re.search(r"I\s+refs:\s+([\d,]+)", result.stderr)
        start = result.stdout.find("{")
        try:
            entry = json.loads(result.stdout[start:])["benchmarks"][0] if start >= 0 else None
        except (ValueError, IndexError, KeyError):
            entry = None
        if result.returncode != 0 or match is None or entry is None or entry.get("error_occurred"):
            sys.stderr.write("warning: no instruction count for %s\n%s\n" % (name, result.stdout[:500]))
            return None
        counts.append(int(match.group(1).replace(",", "")))
        items = entry.get("items", 1.0) or 1.0
        iterations.append(entry["iterations"])
    return (counts[1] - counts[0]) / ((iterations[1] - iterations[0]) * items)


def collect(programs, selection, repetitions, instructions, out):
    rows = OrderedDict()
    context = {}
    for program in programs:
        if not os.path.exists(program):
            raise SystemExit("%s is not built" % program)
        names = list_pairs(program, selection)
        if not names:
            continue
        base = os.path.basename(program)
        print("%s: %d benchmarks" % (base, len(names)), flush=True)
        times, context = measure_times(program, names, repetitions, os.path.join(out, base + ".json"))
        for name in names:
            match = PAIR.match(name)
            key = (match.group("row"), match.group("case") or "")
            side = match.group("side")
            figures = rows.setdefault(key, {})
            cpu, wall = times.get(name, (None, None))
            figures[side + "_cpu_ns"] = cpu
            figures[side + "_wall_ns"] = wall
            if instructions:
                figures[side + "_instructions"] = count_instructions(program, name)
                print("  %-60s %12s instructions/item" % (name, number(figures[side + "_instructions"])), flush=True)
    return rows, context


def ratio(figures, metric):
    project, baseline = figures.get("project_" + metric), figures.get("baseline_" + metric)
    if project is None or baseline is None or baseline == 0:
        return None
    return project / baseline


def number(value):
    if value is None:
        return "—"
    if value >= 100:
        return "{:,.0f}".format(value)
    return "{:.1f}".format(value)


def write_table(rows, context, instructions, path):
    lines = []
    if context:
        lines.append("Measured on %s: %s CPUs at %s MHz, load average %s when the last program started." % (
            context.get("host_name", "?"), context.get("num_cpus", "?"), context.get("mhz_per_cpu", "?"),
            ", ".join("%.2f" % x for x in context.get("load_avg", []))))
        lines.append("")
    header = "| What | Case | Target |"
    rule = "|---|---|---|"
    if instructions:
        header += " Instructions/item, project | baseline | Ratio |"
        rule += "---:|---:|---:|"
    header += " CPU time/item (ns), project | baseline | Ratio | Wall time/item (ns), project | baseline | Ratio |"
    rule += "---:|---:|---:|---:|---:|---:|"
    lines += [header, rule]
    for (row, case), figures in rows.items():
        limit, words = target_of(row, case)

        def verdict(value):
            if value is None:
                return "—"
            mark = "" if limit is None else (" ✓" if value <= limit else " ✗")
            return "%.2f×%s" % (value, mark)

        line = "| %s | %s | %s |" % (row, case, words)
        if instructions:
            line += " %s | %s | %s |" % (number(figures.get("project_instructions")),
                                         number(figures.get("baseline_instructions")),
                                         verdict(ratio(figures, "instructions")))
        for clock in ("cpu_ns", "wall_ns"):
            line += " %s | %s | %s |" % (number(figures.get("project_" + clock)),
                                         number(figures.get("baseline_" + clock)), verdict(ratio(figures, clock)))
        lines.append(line)
    lines.append("")
    lines.append("Ratios are project / baseline per item: below 1 the project is cheaper. CPU time is the "
                 "benchmark thread's (the library's own clock), wall time the elapsed time; both are medians of "
                 "runs that alternate the two halves.")
    lines.append("")
    for row in OrderedDict.fromkeys(row for row, _ in rows):
        if row in DESCRIPTIONS:
            lines.append("- `%s`: %s." % (row, DESCRIPTIONS[row]))
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def write_chart(rows, instructions, path):
    """Horizontal bars of the ratios, one line per pair, with its target."""
    line_height, left, width, top = 22, 330, 420, 40
    scale_max = 2.5
    entries = list(rows.items())
    height = top + line_height * len(entries) + 40

    def x(value):
        return left + width * min(value, scale_max) / scale_max

    out = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" font-family="sans-serif" '
           'font-size="11">' % (left + width + 60, height),
           '<rect width="100%" height="100%" fill="white"/>',
           '<text x="10" y="16" font-size="13">Cost of the project relative to its baseline '
           '(project / baseline; lower is better)</text>']
    legend_y = 30
    if instructions:
        out.append('<rect x="%d" y="%d" width="10" height="8" fill="#3b6fb6"/><text x="%d" y="%d">instructions</text>'
                   % (left, legend_y - 8, left + 14, legend_y))
    out.append('<rect x="%d" y="%d" width="10" height="8" fill="#e08a2c"/><text x="%d" y="%d">wall time</text>'
               % (left + 100, legend_y - 8, left + 114, legend_y))
    out.append('<line x1="%d" y1="%d" x2="%d" y2="%d" stroke="#b0b0b0"/>' % (left + 200, legend_y - 4, left + 215,
                                                                              legend_y - 4))
    out.append('<text x="%d" y="%d">target</text>' % (left + 219, legend_y))
    for tick in (0, 0.5, 1, 1.5, 2, 2.5):
        out.append('<line x1="%.1f" y1="%d" x2="%.1f" y2="%d" stroke="%s"/>' % (
            x(tick), top, x(tick), height - 30, "#404040" if tick == 1 else "#e4e4e4"))
        out.append('<text x="%.1f" y="%d" text-anchor="middle">%g×</text>' % (x(tick), height - 16, tick))
    for index, ((row, case), figures) in enumerate(entries):
        y = top + index * line_height
        label = row + (" / " + case if case else "")
        out.append('<text x="%d" y="%d" text-anchor="end">%s</text>' % (left - 6, y + 14, label))
        bars = []
        if instructions:
            bars.append((ratio(figures, "instructions"), "#3b6fb6", 3))
        bars.append((ratio(figures, "wall_ns"), "#e08a2c", 11))
        for value, colour, offset in bars:
            if value is None:
                continue
            out.append('<rect x="%d" y="%d" width="%.1f" height="7" fill="%s"/>' % (left, y + offset,
                                                                                   x(value) - left, colour))
            if value > scale_max:
                out.append('<text x="%.1f" y="%d">%.1f×</text>' % (x(scale_max) + 3, y + offset + 7, value))
        limit, _ = target_of(row, case)
        if limit is not None:
            out.append('<line x1="%.1f" y1="%d" x2="%.1f" y2="%d" stroke="#b0b0b0" stroke-width="2"/>' % (
                x(limit), y + 1, x(limit), y + 20))
    out.append("</svg>")
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build", help="build folder with the benchmark programs")
    parser.add_argument("out", help="folder for the table, the chart and the figures")
    parser.add_argument("--filter", default=".", help="regular expression over benchmark names")
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--no-instructions", dest="instructions", action="store_false",
                        help="time only, without valgrind")
    parser.add_argument("--program", action="append",
                        help="run this benchmark program instead of the build's (repeatable)")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    programs = args.program or [os.path.join(args.build, relative) for relative in PROGRAMS]
    rows, context = collect(programs, args.filter, args.repetitions, args.instructions, args.out)
    with open(os.path.join(args.out, "benchmarks.json"), "w") as f:
        json.dump([{"row": row, "case": case, **figures} for (row, case), figures in rows.items()], f, indent=1)
    write_table(rows, context, args.instructions, os.path.join(args.out, "benchmarks.md"))
    write_chart(rows, args.instructions, os.path.join(args.out, "benchmarks.svg"))
    print("wrote %s" % os.path.join(args.out, "benchmarks.md"))


if __name__ == "__main__":
    main()
