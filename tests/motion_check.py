#!/usr/bin/python3
# An independent computation, with numpy, of the tables of how the locations
# move: reads JOB.ORP by its columns, fits, places and measures the years as
# seqord-export documents it, and compares JOB.pairs.csv, JOB.consensus.csv
# and JOB.trajectory.csv with the result.  Usage: motion_check.py DIR JOB K.
# Prints what differs and exits 1; prints a summary and exits 0 when all agree.
import csv
import math
import os
import sys

import numpy as np

TOL = 1e-9


def read_orp(path, k):
    years = []  # [index, name, {location: (short name, coords)}]
    with open(path, newline="", encoding="latin-1") as f:
        for line in f.read().split("\r\n"):
            if not line or line.startswith(" ev as % of SS"):
                continue
            if len(line) <= 13:
                years.append([int(line[0:4]), line[5:].rstrip(), {}])
            elif len(line) == 55:
                fields = [line[23 + 8 * a: 31 + 8 * a] for a in range(k)]
                if any("*" in x for x in fields):
                    continue
                years[-1][2][int(line[9:13])] = (line[14:22].rstrip(), np.array([float(x) for x in fields]))
    return years


def procrustes(x, y):
    """Fit y onto x: centred sums of squares before and after, the
    correlation, the rotation and the centres."""
    xm, ym = x.mean(axis=0), y.mean(axis=0)
    xc, yc = x - xm, y - ym
    u, s, vt = np.linalg.svd(yc.T @ xc)
    r = u @ vt
    before = float(((xc - yc) ** 2).sum())
    after = float(((xc - yc @ r) ** 2).sum())
    nx, ny = float((xc ** 2).sum()), float((yc ** 2).sum())
    corr = float(s.sum() / math.sqrt(nx * ny)) if nx > 0 and ny > 0 else None
    return before, after, corr, r, xm, ym


def compute(years, k):
    pairs = []
    for a, b in zip(years, years[1:]):
        common = sorted(set(a[2]) & set(b[2]))
        if len(common) < 3:
            pairs.append((a[0], b[0], len(common), None, None, None))
            continue
        x = np.array([a[2][l][1] for l in common])
        y = np.array([b[2][l][1] for l in common])
        before, after, corr, *_ = procrustes(x, y)
        pairs.append((a[0], b[0], len(common), before, after, corr))

    placed = []  # (year index, year name, {location: coords})
    sums = {}
    for index, name, pts in years:
        if not pts:
            continue
        if not placed:
            if len(pts) < 3:
                continue
            where = {l: p[1].copy() for l, p in pts.items()}
        else:
            shared = sorted(l for l in pts if l in sums)
            if len(shared) < 3:
                continue
            target = np.array([sums[l][0] / sums[l][1] for l in shared])
            own = np.array([pts[l][1] for l in shared])
            _, _, _, r, xm, ym = procrustes(target, own)
            where = {l: (p[1] - ym) @ r + xm for l, p in pts.items()}
        for l, v in where.items():
            s = sums.setdefault(l, [np.zeros(k), 0])
            s[0] = s[0] + v
            s[1] += 1
        placed.append((index, name, where))

    ids = sorted(sums)
    cons = np.array([sums[l][0] / sums[l][1] for l in ids])
    centre = cons.mean(axis=0)
    values, vectors = np.linalg.eigh((cons - centre).T @ (cons - centre))
    axes = vectors[:, np.argsort(-values, kind="stable")]
    c = (cons - centre) @ axes
    for d in range(k):
        i = int(np.argmax(np.abs(c[:, d])))  # the first of equal magnitudes
        if c[i, d] < 0:
            axes[:, d] = -axes[:, d]
    final = lambda v: (v - centre) @ axes

    trajectory = []
    paths = {l: [] for l in ids}
    for index, name, where in placed:
        for l in sorted(where):
            v = final(where[l])
            trajectory.append((index, l, v))
            paths[l].append(v)
    consensus = []
    for i, l in enumerate(ids):
        cv = final(cons[i])
        ps = paths[l]
        spread = math.sqrt(sum(float(((p - cv) ** 2).sum()) for p in ps) / len(ps))
        steps = [float(np.linalg.norm(q - p)) for p, q in zip(ps, ps[1:])]
        consensus.append((l, len(ps), cv, spread, sum(steps) / len(steps) if steps else None))
    return pairs, consensus, trajectory


def main():
    folder, job, k = sys.argv[1], sys.argv[2], int(sys.argv[3])
    years = read_orp(os.path.join(folder, job + ".ORP"), k)
    pairs, consensus, trajectory = compute(years, k)
    problems = []

    def rows(table):
        with open(os.path.join(folder, job + "." + table + ".csv"), newline="", encoding="utf-8") as f:
            return list(csv.reader(f, strict=True))

    def same(what, got, want):
        if want is None:
            if got != "":
                problems.append(f"{what}: {got!r}, want an empty field")
            return
        value = float(got) if got != "" else float("nan")
        if not (abs(value - want) <= TOL * max(1.0, abs(want))):
            problems.append(f"{what}: {got}, numpy gives {want!r}")

    got = rows("pairs")
    if got[0] != ["year_index", "next_year_index", "common_locations", "ss_seqord", "ss_fit", "procrustes_r"]:
        problems.append(f"pairs header {got[0]}")
    if len(got) - 1 != len(pairs):
        problems.append(f"pairs: {len(got) - 1} rows, want {len(pairs)}")
    for row, p in zip(got[1:], pairs):
        if [int(row[0]), int(row[1]), int(row[2])] != list(p[:3]):
            problems.append(f"pairs row {row[:3]}, want {p[:3]}")
        for name, g, w in zip(("ss_seqord", "ss_fit", "procrustes_r"), row[3:], p[3:]):
            same(f"pairs {p[0]}-{p[1]} {name}", g, w)

    got = rows("consensus")
    dims = [f"dim{d + 1}" for d in range(k)]
    if got[0] != ["location_index", "location", "location_name", "years"] + dims + ["spread", "mean_step"]:
        problems.append(f"consensus header {got[0]}")
    if len(got) - 1 != len(consensus):
        problems.append(f"consensus: {len(got) - 1} rows, want {len(consensus)}")
    for row, (l, n, cv, spread, step) in zip(got[1:], consensus):
        if int(row[0]) != l or int(row[3]) != n:
            problems.append(f"consensus row {row[:4]}, want location {l} in {n} years")
        for d in range(k):
            same(f"consensus {l} dim{d + 1}", row[4 + d], float(cv[d]))
        same(f"consensus {l} spread", row[4 + k], spread)
        same(f"consensus {l} mean_step", row[5 + k], step)

    got = rows("trajectory")
    if got[0] != ["year_index", "year", "location_index", "location", "location_name"] + dims:
        problems.append(f"trajectory header {got[0]}")
    if len(got) - 1 != len(trajectory):
        problems.append(f"trajectory: {len(got) - 1} rows, want {len(trajectory)}")
    for row, (index, l, v) in zip(got[1:], trajectory):
        if int(row[0]) != index or int(row[2]) != l:
            problems.append(f"trajectory row {row[:4]}, want year {index} location {l}")
        for d in range(k):
            same(f"trajectory {index}/{l} dim{d + 1}", row[5 + d], float(v[d]))

    if problems:
        print("\n".join(problems[:40]))
        sys.exit(1)
    print(f"{len(pairs)} pairs, {len(consensus)} locations, {len(trajectory)} placed points agree")


main()
