#!/usr/bin/python3
"""gainbook-cli afr against scipy.signal.freqs_zpk on the same 400,000-point grid.

    bench/afr_vs_scipy.py [--runs N] [--points N] [--cli PATH]

Both sides compute the amplitude listing of the 11-pole response of IU.ANMO.10.BH1
(velocity, counts*sec/nm: one origin zero left out) on the linear grid 0.001 .. 20 Hz and
write it to a file: gainbook-cli as it is run from a script, scipy with the same grid,
freqs_zpk and Python's "%10.7f   %10.7e   0.0" formatting. Each side is timed end to end
as a process (start, computation, formatting, writing), in wall time and in CPU time (user
and system, which other work on a shared machine disturbs less), the median of --runs
runs; the scipy side also reports its own compute-and-format time without the interpreter
start. The listings are compared value by value.

Not a test: run it by hand on a quiet machine. It needs Debian's python3-scipy (installed
through apt-get when missing, with sudo when not run as root) and a built gainbook-cli
(scripts/build.sh).
"""

import argparse
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(TOP, "gainbook", "formats", "tests", "data", "obspy_IU_ANMO_BH.sacpz")
LOW, HIGH = 0.001, 20.0


def ensure_scipy():
    try:
        import numpy  # noqa: F401
        import scipy.signal  # noqa: F401
        return
    except ImportError:
        pass
    print("python3-scipy is missing: installing it with apt-get", file=sys.stderr)
    sudo = [] if os.geteuid() == 0 else ["sudo"]
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    subprocess.run(sudo + ["apt-get", "update", "-qq"], check=True, env=env)
    subprocess.run(sudo + ["apt-get", "install", "-y", "-qq", "--no-install-recommends",
                           "python3-scipy", "python3-numpy"], check=True, env=env)
    os.execv(sys.executable, [sys.executable] + sys.argv)


def eleven_pole_block():
    """The pole-zero block of the file with 11 poles, as a text of its own."""
    blocks, current = [], []
    with open(DATA) as f:
        for line in f:
            if line.startswith("*"):
                continue
            if line.startswith("ZEROS") and current:
                blocks.append(current)
                current = []
            if line.strip():
                current.append(line)
    blocks.append(current)
    for block in blocks:
        if any(l.split()[:2] == ["POLES", "11"] for l in block):
            return "".join(block)
    raise SystemExit("no 11-pole response in " + DATA)


def read_pole_zero(path):
    zeros, poles, constant, target = [], [], 0.0, None
    with open(path) as f:
        for line in f:
            words = line.split()
            if not words:
                continue
            if words[0] in ("ZEROS", "POLES"):
                target = zeros if words[0] == "ZEROS" else poles
                count = int(words[1])
                if words[0] == "ZEROS":
                    zero_count = count
            elif words[0] == "CONSTANT":
                constant = float(words[1])
            else:
                target.append(complex(float(words[0]), float(words[1])))
    zeros += [0j] * (zero_count - len(zeros))
    return zeros, poles, constant


def scipy_side(path, points, out_path):
    """Runs in its own process: the computation and the listing with scipy and Python."""
    start = time.perf_counter()
    import numpy as np
    from scipy.signal import freqs_zpk
    imported = time.perf_counter()
    zeros, poles, k = read_pole_zero(path)
    zeros.remove(0j)  # velocity: one zero at the origin less
    step = (HIGH - LOW) / (points - 1)
    f = np.minimum(HIGH, LOW + step * np.arange(points))
    f[-1] = HIGH
    _, h = freqs_zpk(zeros, poles, k, worN=2 * np.pi * f)
    a = np.abs(h) * 1e-9
    text = "".join("%10.7f   %10.7e   0.0\n" % fa for fa in zip(f.tolist(), a.tolist()))
    with open(out_path, "w") as out:
        out.write(text)
    done = time.perf_counter()
    print("%.6f %.6f" % (imported - start, done - imported))


def timed(command, stdout_path=None):
    """Wall time and CPU time (user + system) of a command, and what it printed."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    with open(stdout_path or os.devnull, "w") as out:
        result = subprocess.run(command, stdout=out if stdout_path else subprocess.PIPE,
                                check=True, text=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu, result.stdout


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--points", type=int, default=400000)
    parser.add_argument("--cli", default=os.path.join(TOP, "build", "bin", "gainbook-cli"))
    parser.add_argument("--scipy-side", nargs=3, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.scipy_side:
        scipy_side(args.scipy_side[0], int(args.scipy_side[1]), args.scipy_side[2])
        return
    ensure_scipy()
    import numpy as np
    if not os.access(args.cli, os.X_OK):
        raise SystemExit(args.cli + " is not built: run scripts/build.sh")

    with tempfile.TemporaryDirectory() as tmp:
        response = os.path.join(tmp, "anmo-10-bh1.pz")
        with open(response, "w") as f:
            f.write(eleven_pole_block())
        cli_out, scipy_out = os.path.join(tmp, "cli.txt"), os.path.join(tmp, "scipy.txt")
        cli_cmd = [args.cli, "afr", response, "--linear", "--low", str(LOW), "--high",
                   str(HIGH), "--points", str(args.points)]
        scipy_cmd = [sys.executable, os.path.abspath(__file__), "--scipy-side", response,
                     str(args.points), scipy_out]
        cli_times, scipy_times, scipy_inner, imports = [], [], [], []
        cli_cpu, scipy_cpu = [], []
        for _ in range(args.runs):
            wall, cpu, _ = timed(cli_cmd, cli_out)
            cli_times.append(wall)
            cli_cpu.append(cpu)
            wall, cpu, said = timed(scipy_cmd)
            scipy_times.append(wall)
            scipy_cpu.append(cpu)
            imported, inner = map(float, said.split())
            imports.append(imported)
            scipy_inner.append(inner)

        cli = np.array(open(cli_out).read().split(), dtype=float).reshape(-1, 3)
        ref = np.array(open(scipy_out).read().split(), dtype=float).reshape(-1, 3)
        assert cli.shape == ref.shape == (args.points, 3), (cli.shape, ref.shape)
        freq_diff = np.max(np.abs(cli[:, 0] - ref[:, 0]))
        rel = np.max(np.abs(cli[:, 1] - ref[:, 1]) / np.abs(ref[:, 1]))

    med = statistics.median
    cli_t, scipy_t, inner_t = med(cli_times), med(scipy_times), med(scipy_inner)
    print("grid: %d points, %g .. %g Hz, 11 poles, %d runs (medians)"
          % (args.points, LOW, HIGH, args.runs))
    print("                                              wall       CPU")
    print("gainbook-cli afr, whole process:           %7.3f s %7.3f s" % (cli_t, med(cli_cpu)))
    print("scipy freqs_zpk + formatting, whole process: %5.3f s %7.3f s"
          % (scipy_t, med(scipy_cpu)))
    print("  of which imports %.3f s, compute and format %.3f s (wall)"
          % (med(imports), inner_t))
    print("listings agree: frequencies within %.1e, amplitudes within %.1e relative"
          % (freq_diff, rel))
    print("ratio, end to end, wall time:          %6.1fx faster" % (scipy_t / cli_t))
    print("ratio, end to end, CPU time:           %6.1fx faster"
          % (med(scipy_cpu) / med(cli_cpu)))
    print("ratio, against scipy's compute+format: %6.1fx faster (wall)" % (inner_t / cli_t))

if __name__ == "__main__":
    main()
