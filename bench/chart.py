"""An SVG bar chart of the comparison: MB/s per job for cat, glyphmill at
each instruction-set level, and the fastest peer with the same output.
Plain SVG written by hand, so that it needs nothing but Python."""

from xml.sax.saxutils import escape

COLOURS = {"cat": "#999999", "peer": "#d95f02"}
LEVEL_COLOURS = ["#c6dbef", "#6baed6", "#2171b5", "#08306b"]


def job_bars(option, size, rows, medians, levels):
    """(option, [(label, MB/s, colour)]) for one job."""
    bars = [("cat", size / medians["cat"] / 1e6, COLOURS["cat"])]
    for index, level in enumerate(levels):
        tool = "glyphmill " + level
        if tool in medians:
            bars.append((tool, size / medians[tool] / 1e6, LEVEL_COLOURS[index % len(LEVEL_COLOURS)]))
    peers = [(tool, medians[tool]) for tool, _, _, verdict in rows
             if verdict == "same" and not tool.startswith("glyphmill") and tool in medians]
    if peers:
        tool, seconds = min(peers, key=lambda peer: peer[1])
        bars.append(("best peer: " + tool, size / seconds / 1e6, COLOURS["peer"]))
    return option, bars


def svg(jobs, levels):
    bar_height, gap, left, width = 12, 14, 70, 560
    top = max(bar for _, bars in jobs for _, bar, _ in bars)
    scale = width / top
    rows = sum(len(bars) for _, bars in jobs)
    height = 40 + rows * bar_height + len(jobs) * gap + 60
    out = ['<svg xmlns="http://www.w3.org/2000/svg" width="{}" height="{}" font-family="sans-serif" '
           'font-size="10">'.format(left + width + 200, height),
           '<text x="10" y="18" font-size="13">Throughput per job, MB/s (100 MB in the page cache, '
           'output to /dev/null)</text>']
    y = 34
    for option, bars in jobs:
        out.append('<text x="10" y="{}" font-size="12">{}</text>'.format(y + bar_height, escape(option)))
        for label, rate, colour in bars:
            length = max(1, rate * scale)
            out.append('<rect x="{}" y="{}" width="{:.1f}" height="{}" fill="{}"/>'.format(
                left, y, length, bar_height - 2, colour))
            out.append('<text x="{:.1f}" y="{}">{} {:.0f}</text>'.format(
                left + length + 4, y + bar_height - 3, escape(label), rate))
            y += bar_height
        y += gap
    legend = [("cat", COLOURS["cat"])] + [("glyphmill " + level, LEVEL_COLOURS[i % len(LEVEL_COLOURS)])
                                         for i, level in enumerate(levels)] + [("best peer", COLOURS["peer"])]
    x = 10
    for label, colour in legend:
        out.append('<rect x="{}" y="{}" width="10" height="10" fill="{}"/>'.format(x, y + 10, colour))
        out.append('<text x="{}" y="{}">{}</text>'.format(x + 14, y + 19, escape(label)))
        x += 20 + 6 * len(label)
    out.append("</svg>")
    return "\n".join(out) + "\n"
