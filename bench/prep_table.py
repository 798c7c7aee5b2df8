#!/usr/bin/python3
"""Writes a long table of plot records for seqord-prep: one row per year,
location, replicate and genotype (in that order, as field books list plots),
six columns: year,location,genotype,rep,plot,yield.

  bench/prep_table.py OUT [--years 40] [--locations 240] [--genotypes 210]
                          [--reps 5] [--seed 1] [--messy]

The defaults give 10,080,000 rows (about 350 MB).  Yields are in t/ha with
two decimals; --messy also writes some as long decimals, with exponents,
negative, as missing values and with blanks, for the tests that compare
whole jobs byte for byte.
"""
import argparse
import random


def main():
    p = argparse.ArgumentParser()
    p.add_argument("out")
    p.add_argument("--years", type=int, default=40)
    p.add_argument("--locations", type=int, default=240)
    p.add_argument("--genotypes", type=int, default=210)
    p.add_argument("--reps", type=int, default=5)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--messy", action="store_true")
    a = p.parse_args()
    rng = random.Random(a.seed)
    g_eff = [rng.gauss(0, 0.5) for _ in range(a.genotypes)]
    l_eff = [rng.gauss(0, 1.2) for _ in range(a.locations)]
    locs = ["LOC%03d" % (k + 1) for k in range(a.locations)]
    gens = ["G%04d" % (k + 1) for k in range(a.genotypes)]
    plot = 0
    with open(a.out, "w", newline="") as f:
        f.write("year,location,genotype,rep,plot,yield\n")
        for y in range(a.years):
            year = str(1981 + y)
            y_eff = rng.gauss(0, 0.6)
            gl = [[rng.gauss(0, 0.35) for _ in range(a.genotypes)] for _ in range(a.locations)] if a.messy else None
            for li, loc in enumerate(locs):
                base = 6.0 + y_eff + l_eff[li]
                prefix = year + "," + loc + ","
                for r in range(a.reps):
                    rep = "," + str(r + 1) + ","
                    lines = []
                    for gi, gen in enumerate(gens):
                        plot += 1
                        v = base + g_eff[gi] + rng.random() - 0.5
                        if gl is not None:
                            v += gl[li][gi]
                            k = rng.random()
                            if k < 0.1:
                                text = repr(v * 1.0000001)   # up to 17 significant digits
                            elif k < 0.15:
                                text = "%.6e" % v
                            elif k < 0.17:
                                text = "NA"
                            elif k < 0.2:
                                text = " %.3f " % v
                            elif k < 0.22:
                                text = "%.2f" % -v
                            else:
                                text = "%.2f" % v
                        else:
                            text = "%.2f" % v
                        lines.append(prefix + gen + rep + str(plot) + "," + text + "\n")
                    f.write("".join(lines))


if __name__ == "__main__":
    main()
