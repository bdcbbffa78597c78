"""The results as a text table and as a bar chart of the ratios."""
import math


class Ref:
    """One reference of a row: its time and the per-round ratios tarvex/ref."""

    def __init__(self, key, label, time, ratio, goal=None):
        self.key, self.label, self.time, self.ratio, self.goal = key, label, time, ratio, goal

    def goal_text(self):
        if self.goal is None:
            return ""
        r = self.ratio
        met = _median(r) <= self.goal
        # The goal inside the median's confidence interval: another run
        # could well say the opposite.
        unsure = hasattr(r, "median_interval") and r.median_interval()[0] <= self.goal <= r.median_interval()[1]
        return f"<={self.goal:.2f}x {'met' if met else 'NOT MET'}{' (?)' if unsure else ''}"


class Row:
    """A table row: tarvex's value and its references. `unit` is "ns" for
    timings (Summary objects) and "B" for memory (plain numbers)."""

    def __init__(self, group, label, ours, refs, unit="ns", note=""):
        self.group, self.label, self.ours, self.refs, self.unit = group, label, ours, refs, unit
        self.note = note


def fmt_value(value, unit):
    if value != value:  # NaN: not measured
        return "-"
    if unit == "B":
        return f"{value:.1f} B"
    if value >= 1e6:
        return f"{value / 1e6:.2f} ms"
    if value >= 1e4:
        return f"{value / 1e3:.1f} us"
    return f"{value:.1f} ns"


def _median(x):
    return x.median if hasattr(x, "median") else x


def fmt_rows(rows, ours_head="tarvex", ref_head="reference", ratio_head="ratio"):
    lc = max([40] + [len(r.label) + 2 for r in rows])
    lr = max([36] + [len(ref.label) for r in rows for ref in r.refs])
    head = (f"{'case':<{lc}} {ours_head:>9}  {ref_head:<{lr}} {'time':>9}  "
            f"{ratio_head:>7}  {'middle half':<11}  goal")
    lines = [head, "-" * len(head)]
    group = None
    for row in rows:
        if row.group != group:
            group = row.group
            lines.append(f"[{group}]")
        first = f"  {row.label:<{lc - 2}} {fmt_value(_median(row.ours), row.unit):>9}  "
        if not row.refs:
            lines.append((first + row.note).rstrip())
            continue
        for i, ref in enumerate(row.refs):
            lead = first if i == 0 else " " * len(first)
            ratio = ref.ratio
            if hasattr(ratio, "median"):
                spread = f"{ratio.q1:.2f}-{ratio.q3:.2f}"
                rv = ratio.median
            else:
                spread, rv = "", ratio
            lines.append(f"{lead}{ref.label:<{lr}} {fmt_value(_median(ref.time), row.unit):>9}  "
                         f"{rv:>6.2f}x  {spread:<11}  {ref.goal_text()}".rstrip())
    return lines


def chart(rows, path, title):
    """Horizontal bars of the median ratios with their middle half; green
    where tarvex is at or under the goal (or 1 without one)."""
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        return None
    labels, mids, lo, hi, colors, goals = [], [], [], [], [], []
    for row in rows:
        for ref in row.refs:
            r = ref.ratio
            m = _median(r)
            if not m or not math.isfinite(m):
                continue
            labels.append(f"{row.label}  vs  {ref.label}")
            mids.append(m)
            lo.append(m - getattr(r, "q1", m))
            hi.append(getattr(r, "q3", m) - m)
            limit = ref.goal if ref.goal is not None else 1.0
            colors.append("tab:green" if m <= limit else "tab:red")
            goals.append(ref.goal)
    fig, ax = plt.subplots(figsize=(12, max(4, 0.22 * len(labels))))
    pos = range(len(labels))
    ax.barh(pos, mids, color=colors, xerr=[lo, hi], error_kw={"elinewidth": 0.8, "capsize": 1.5})
    for i, g in enumerate(goals):
        if g is not None:
            ax.plot([g, g], [i - 0.45, i + 0.45], color="black", linewidth=1.6)
    ax.set_yticks(list(pos), labels, fontsize=6.5)
    ax.set_ylim(len(labels) - 0.5, -0.5)
    ax.set_xscale("log")
    ticks = [t for t in (0.01, 0.03, 0.1, 0.25, 0.5, 1, 2, 4, 8) if min(mids) / 3 <= t <= max(mids) * 1.5]
    ax.set_xticks(ticks, [f"{t:g}" for t in ticks])
    ax.axvline(1.0, color="black", linewidth=0.8)
    ax.set_xlabel("tarvex time (or bytes) / reference, below 1 is better: the median of the "
                  "per-round ratios,\nwhiskers their middle half, black ticks the goals")
    ax.set_title(title)
    fig.tight_layout()
    fig.savefig(path, dpi=100)
    plt.close(fig)
    return path
