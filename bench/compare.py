#!/usr/bin/env python3
"""Times glyphmill against cat and the peer tools on the corpus of corpus.py.

Usage: compare.py GLYPHMILL CORPUSDIR [CHART.svg]

For every job the peers are first run once under /usr/bin/time -v: their
output is compared with glyphmill's (a peer that differs is listed, not
timed) and their peak memory recorded. Then glyphmill at each instruction-set
level (GLYPHMILL_SIMD), cat and the peers with the same output run in one
hyperfine invocation (--warmup 2 --runs 10, output to /dev/null). Prints one
Markdown table and the targets met or missed, and draws the MB/s of cat,
glyphmill per level and the best peer as an SVG bar chart when asked.
"""

import json

import chart
import os
import re
import shlex
import subprocess
import sys

MIB = 1024 * 1024

PY = "python3 -c "


def py(code):
    return PY + shlex.quote("import sys\n" + code)


def php(code):
    return "php -r " + shlex.quote(code)


def perl(code, module=""):
    return "perl " + module + " -pe " + shlex.quote(code)


PHP_LINES = "while (($l = fgets(STDIN)) !== false) echo {};"
PY_IO = "d = sys.stdin.buffer.read()\nsys.stdout.buffer.write({})"
XML_ENC = [("&", "&amp;"), ("<", "&lt;"), (">", "&gt;"), ('"', "&quot;"), ("'", "&apos;")]


def py_replace(pairs):
    chain = "d" + "".join(".replace({!r}, {!r})".format(a.encode(), b.encode()) for a, b in pairs)
    return py(PY_IO.format(chain))


# The code pages of -a follow the locale: the runs are in the C locale, 437 and
# 1252, and one job names another pair through GLYPHMILL_CODEPAGES.
os.environ["LC_ALL"] = "C"
RUSSIAN = "GLYPHMILL_CODEPAGES=866:1251 "
DOS_UTF8 = "GLYPHMILL_CODEPAGES=437:utf-8 "
# A variable glyphmill ignores, so that the table names the corpus.
DENSE = "CORPUS=dense "


def glyphmill_command(glyphmill, option):
    """`option` may start with variables for the run: "NAME=VALUE -a"."""
    *variables, switch = option.split(" ")
    return " ".join(variables + [glyphmill, "-q", switch])


def table_peers(table):
    """tr and Python with the byte table glyphmill uses for a code page."""
    source = "".join("\\%03o" % b for b in range(0x80, 0x100))
    target = "".join("\\%03o" % b for b in table[0x80:])
    return [
        ("tr (table)", "tr " + shlex.quote(source) + " " + shlex.quote(target)),
        ("python3 translate", py(PY_IO.format("d.translate(bytes.fromhex({!r}))".format(table.hex())))),
    ]


def jobs(tables):
    """(option, input file, cat-ratio target or None, peer-ratio target, peers)."""
    return [
        ("-u", "prose_crlf.txt", 1.4, 4, [
            ("tr -d '\\r'", "tr -d '\\r'"),
            ("dos2unix", "dos2unix"),
            ("python3 replace", py_replace([("\r\n", "\n")])),
        ]),
        ("-w", "prose_lf.txt", 1.8, 4, [
            ("unix2dos", "unix2dos"),
            ("python3 replace", py_replace([("\n", "\r\n")])),
            ("sed", "sed 's/$/\\r/'"),
        ]),
        ("-m", "prose_lf.txt", 1.4, 3, [
            ("tr '\\n' '\\r'", "tr '\\n' '\\r'"),
            ("python3 replace", py_replace([("\n", "\r")])),
        ]),
        ("-a", "cp437.txt", 1.4, 3, table_peers(tables["-a"]) + [
            ("iconv", "iconv -f CP437 -t CP1252"),
        ]),
        ("-a-", "latin1.txt", 1.4, 3, table_peers(tables["-a-"]) + [
            ("iconv", "iconv -f CP1252 -t CP437"),
        ]),
        (RUSSIAN + "-a", "cp437.txt", 1.4, 3, table_peers(tables[RUSSIAN + "-a"]) + [
            ("iconv", "iconv -f CP866 -t CP1251"),
        ]),
        # DOS text to UTF-8 and back; iconv's 437 gives Windows' bytes on this
        # text (letters and box drawing, all in the page).
        (DOS_UTF8 + "-a", "cp437.txt", 2, 4, [
            ("iconv", "iconv -f CP437 -t UTF-8"),
        ]),
        (DOS_UTF8 + "-a-", "cp437.utf8", None, 4, [
            ("iconv //TRANSLIT", "iconv -f UTF-8 -t CP437//TRANSLIT"),
        ]),
        ("-h", "latin1.txt", 2, 4, [
            ("php htmlentities", php(PHP_LINES.format('htmlentities($l, ENT_COMPAT | ENT_HTML401, "ISO-8859-1")'))),
            ("perl HTML::Entities", perl('encode_entities($_, "<>&\\"\\x{A1}-\\x{FF}")', "-MHTML::Entities")),
        ]),
        ("-h-", "latin1.html", 2.5, 4, [
            ("php html_entity_decode",
             php(PHP_LINES.format('html_entity_decode($l, ENT_COMPAT | ENT_HTML401, "ISO-8859-1")'))),
            ("perl HTML::Entities", perl("decode_entities($_)", "-MHTML::Entities")),
            ("python3 html.unescape",
             "python3 -c " + shlex.quote("import html, sys\nsys.stdout.buffer.write(html.unescape("
                                         "sys.stdin.buffer.read().decode('latin-1')).encode('latin-1'))")),
            ("recode", "recode html..latin1"),
        ]),
        ("-x", "latin1.txt", 1.8, 4, [
            ("xmlstarlet esc", "xmlstarlet esc"),
            ("php htmlspecialchars", php(PHP_LINES.format('htmlspecialchars($l, ENT_QUOTES | ENT_XML1, "ISO-8859-1")'))),
            ("python3 replace", py_replace(XML_ENC)),
        ]),
        ("-x-", "latin1.xml", 1.8, 4, [
            ("xmlstarlet unesc", "xmlstarlet unesc"),
            ("php htmlspecialchars_decode",
             php(PHP_LINES.format("htmlspecialchars_decode($l, ENT_QUOTES | ENT_XML1)"))),
            ("python3 replace", py_replace([(b, a) for a, b in XML_ENC[1:]] + [("&amp;", "&")])),
        ]),
        ("-i", "latin1.txt", 2, 4, [
            ("perl sprintf", perl("s/([^A-Za-z0-9\\-_.!~*'()\\r\\n])/sprintf('%%%02x', ord($1))/ge")),
            ("php rawurlencode", php(PHP_LINES.format('rawurlencode(rtrim($l, "\\n")) . (substr($l, -1) == "\\n" ? "\\n" : "")'))),
        ]),
        ("-i-", "latin1.uri", 1.8, 4, [
            ("php rawurldecode", php(PHP_LINES.format("rawurldecode($l)"))),
            ("perl hex", perl("s/%([0-9A-Fa-f]{2})/chr(hex($1))/ge")),
        ]),
    ] + [
        # The entity-dense corpus (an entity in about every 20 bytes, a % in
        # every 7), against cat alone: the peers' speed does not depend on it.
        (DENSE + option, name, target, 4, []) for option, name, target in (
            ("-h", "dense.txt", 2), ("-h-", "dense.html", 2.5), ("-x", "dense.txt", 1.8),
            ("-x-", "dense.xml", 1.8), ("-i", "dense.txt", 2), ("-i-", "dense.uri", 1.8))
    ]


def run_measured(command, stdin_path, stdout_path):
    """Runs a shell command once; returns (exit status, peak RSS in KiB)."""
    timed = "/usr/bin/time -v -o {} sh -c {}".format(shlex.quote(stdout_path + ".time"), shlex.quote(command))
    with open(stdin_path, "rb") as src, open(stdout_path, "wb") as dst:
        status = subprocess.call(timed, shell=True, stdin=src, stdout=dst, stderr=subprocess.DEVNULL)
    with open(stdout_path + ".time") as report:
        match = re.search(r"Maximum resident set size \(kbytes\): (\d+)", report.read())
    return status, int(match.group(1)) if match else 0


def rss_of(glyphmill, option, stdin_command):
    """Peak RSS of glyphmill alone, fed by a pipe from a generator."""
    report = "/tmp/glyphmill-rss.time"
    command = "{} | /usr/bin/time -v -o {} {} > /dev/null".format(stdin_command, report,
                                                                  glyphmill_command(glyphmill, option))
    subprocess.check_call(command, shell=True)
    with open(report) as text:
        return int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", text.read()).group(1))


def same_file(a, b):
    return subprocess.call(["cmp", "-s", a, b]) == 0


def code_page_table(glyphmill, option, workdir):
    """What glyphmill makes of every byte from 0x80 up (the lower half stays)."""
    path = os.path.join(workdir, "highbytes.bin")
    with open(path, "wb") as out:
        out.write(bytes(range(0x80, 0x100)))
    with open(path, "rb") as src:
        mapped = subprocess.run(glyphmill_command(glyphmill, option), shell=True, stdin=src, stdout=subprocess.PIPE,
                                check=True).stdout
    return bytes(range(0x80)) + mapped


def hyperfine(commands, json_path):
    args = ["hyperfine", "--warmup", "2", "--runs", "10", "--style", "none", "--export-json", json_path]
    for name, command in commands:
        args += ["-n", name, command]
    subprocess.check_call(args, stdout=subprocess.DEVNULL)
    with open(json_path) as text:
        return {r["command"]: r["median"] for r in json.load(text)["results"]}


LEVELS = ("portable", "sse2", "avx2", "avx512")


def supported_levels():
    """The levels this processor runs, as glyphmill detects them: a higher one
    would only repeat the highest."""
    with open("/proc/cpuinfo") as info:
        flags = set(re.search(r"^flags\s*:(.*)$", info.read(), re.M).group(1).split())
    if {"avx512bw", "avx512vbmi", "avx512_vbmi2", "bmi2"} <= flags:
        return list(LEVELS)
    if {"avx2", "bmi2"} <= flags:
        return list(LEVELS[:3])
    return list(LEVELS[:2]) if "sse2" in flags else list(LEVELS[:1])


def measure_job(glyphmill, workdir, job, levels):
    option, name, _, _, peers = job
    source = os.path.join(workdir, name)
    reference = os.path.join(workdir, "out.glyphmill")
    gm_command = "{} < {}".format(glyphmill_command(glyphmill, option), source)
    _, gm_rss = run_measured(glyphmill_command(glyphmill, option), source, reference)
    _, cat_rss = run_measured("cat", source, os.path.join(workdir, "out.cat"))
    rows = [("glyphmill", gm_command, gm_rss, "reference"), ("cat", "cat < " + source, cat_rss, "-")]
    for level in levels:
        rows.append(("glyphmill " + level, "GLYPHMILL_SIMD={} {}".format(level, gm_command), gm_rss, "same"))
    for peer, command in peers:
        output = os.path.join(workdir, "out.peer")
        status, rss = run_measured(command, source, output)
        same = status == 0 and same_file(output, reference)
        rows.append((peer, command + " < " + source, rss, "same" if same else "differs"))
        os.remove(output)
    timed = [(tool, command) for tool, command, _, verdict in rows if verdict != "differs"]
    medians = hyperfine(timed, os.path.join(workdir, "hyperfine{}.json".format(option.replace(" ", "_"))))
    return os.path.getsize(source), rows, medians


def table_rows(option, size, rows, medians):
    gm, cat = medians["glyphmill"], medians["cat"]
    for tool, _, rss, verdict in rows:
        if tool in medians:
            seconds = medians[tool]
            yield "| {} | {} | {:.0f} | {:.2f} | {:.2f} | {:.1f} MiB | {} |".format(
                option, tool, size / seconds / 1e6, seconds / cat, seconds / gm, rss / 1024, verdict)
        else:
            yield "| {} | {} | - | - | - | {:.1f} MiB | differs |".format(option, tool, rss / 1024)


def verdicts(job, rows, medians):
    option, _, cat_target, peer_target, _ = job
    gm = medians["glyphmill"]
    cat_ratio = gm / medians["cat"]
    # A job without a target against cat (None) is measured against its peers alone.
    line = "{}: {:.2f}x cat (target {})".format(option, cat_ratio, "none" if cat_target is None else
                                                 "<= {}x".format(cat_target))
    met = cat_target is None or cat_ratio <= cat_target
    peers = [medians[tool] for tool, _, _, verdict in rows if verdict == "same" and not tool.startswith("glyphmill")]
    if peers:
        speedup = min(peers) / gm
        line += ", {:.1f}x the fastest same-output peer (target >= {}x)".format(speedup, peer_target)
        met = met and speedup >= peer_target
    else:
        line += ", no peer gives the same output"
    rss = rows[0][2]
    line += ", {:.1f} MiB".format(rss / 1024)
    met = met and rss <= 4 * 1024
    return line + (" - met" if met else " - MISSED")


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    glyphmill, workdir = os.path.abspath(sys.argv[1]), sys.argv[2]
    levels = supported_levels()
    bars = []
    tables = {option: code_page_table(glyphmill, option, workdir) for option in ("-a", "-a-", RUSSIAN + "-a")}
    print("| job | tool | MB/s | time / cat | time / glyphmill | peak RSS | output |")
    print("|---|---|---:|---:|---:|---:|---|")
    summary = []
    for job in jobs(tables):
        size, rows, medians = measure_job(glyphmill, workdir, job, levels)
        for line in table_rows(job[0], size, rows, medians):
            print(line, flush=True)
        summary.append(verdicts(job, rows, medians))
        label = job[0].replace("GLYPHMILL_CODEPAGES=", "").replace("CORPUS=", "")
        bars.append(chart.job_bars(label, size, rows, medians, levels))
    nolf = os.path.join(workdir, "nolf.txt")
    gigabyte = 1024 * MIB
    for option, label, generator in (
            ("-h", "100 MB without a line feed (file)", "cat " + nolf),
            ("-w", "1 GiB of lines (pipe)", "yes 'A line of text & <markup> for the pipe' | head -c {}".format(gigabyte)),
            ("-h", "1 GiB without a line feed (pipe)", "head -c {} /dev/zero | tr '\\0' 'a'".format(gigabyte))):
        rss = rss_of(glyphmill, option, generator)
        summary.append("{} on {}: {:.1f} MiB{}".format(option, label, rss / 1024, "" if rss <= 4096 else " - MISSED"))
    print()
    print("Targets (time ratios of medians; peak RSS of glyphmill):")
    for line in summary:
        print("- " + line)
    if len(sys.argv) == 4:
        with open(sys.argv[3], "w") as svg:
            svg.write(chart.svg(bars, levels))


if __name__ == "__main__":
    main()
