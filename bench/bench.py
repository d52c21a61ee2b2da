#!/usr/bin/env python3
"""What one whole run of glimmerquay costs, against the floor: a C program
that makes the same writes and reads. The run is answered with a key and
then 5, so no command is run; the PATH the programs see is empty anyway.

Reports instructions (callgrind: the same count whatever else the machine
is doing), the median wall-time ratio over paired runs, and the peak memory
of each."""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

GOAL = 1.25  # at most this many times the floor's instructions
PAIRS = 300


def instructions(program, env, stdin):
    with open(stdin, "rb") as i:
        err = subprocess.run(
            [shutil.which("valgrind"), "--tool=callgrind", "--callgrind-out-file=/dev/null",
             program],
            stdin=i, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
            env=env, check=True,
        ).stderr.decode()
    for line in err.splitlines():
        if "Collected :" in line:
            return int(line.split(":")[-1])
    raise RuntimeError(f"no count from callgrind for {program}:\n{err}")


def wall_seconds(program, env, stdin):
    with open(stdin, "rb") as i:
        start = time.perf_counter()
        subprocess.run([program], stdin=i, stdout=subprocess.DEVNULL,
                       env=env, check=True)
        return time.perf_counter() - start


def peak_kib(peak, program, env, stdin):
    with open(stdin, "rb") as i:
        err = subprocess.run([peak, program], stdin=i,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                             env=env, check=True).stderr
    return int(err)


def main():
    program, floor, peak = (os.path.abspath(p) for p in sys.argv[1:4])
    with tempfile.TemporaryDirectory() as tmp:
        empty = os.path.join(tmp, "bin")
        os.mkdir(empty)
        stdin = os.path.join(tmp, "stdin")
        with open(stdin, "wb") as f:
            f.write(b"k5\n")
        env = {"PATH": empty}
        ir = {p: instructions(p, env, stdin) for p in (program, floor)}
        ratios, times = [], {program: [], floor: []}
        for n in range(PAIRS):
            order = (program, floor) if n % 2 == 0 else (floor, program)
            pair = {p: wall_seconds(p, env, stdin) for p in order}
            for p in order:
                times[p].append(pair[p])
            ratios.append(pair[program] / pair[floor])
        mem = {p: max(peak_kib(peak, p, env, stdin) for _ in range(5))
               for p in (program, floor)}

    ir_ratio = ir[program] / ir[floor]
    print(f"{'':14}{'glimmerquay':>14}{'floor':>14}{'ratio':>10}")
    print(f"{'instructions':14}{ir[program]:>14,}{ir[floor]:>14,}"
          f"{ir_ratio:>10.3f}")
    print(f"{'median wall':14}"
          f"{statistics.median(times[program]) * 1e3:>11.3f} ms"
          f"{statistics.median(times[floor]) * 1e3:>11.3f} ms"
          f"{statistics.median(ratios):>10.3f}   ({PAIRS} paired runs)")
    print(f"{'peak memory':14}{mem[program]:>10} KiB{mem[floor]:>10} KiB"
          f"{mem[program] / mem[floor]:>10.3f}")
    met = ir_ratio <= GOAL
    print(f"goal: at most {GOAL} times the floor's instructions: "
          f"{'met' if met else 'NOT MET'}")
    return 0 if met else 1


if __name__ == "__main__":
    sys.exit(main())
