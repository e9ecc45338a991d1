#!/usr/bin/env python3
"""Level normalisation: normalize_bench (peak scan and scaling pass, 19200-byte
chunks) against sox --norm, in the same run, on copies of the same generated
WAV.

Usage: bench/normalize/run.py <build-dir> [seconds]   (default 300 s of audio)

Build first: cmake --build <build-dir> --target normalize_bench.
Both normalise to 98 % of full scale (sox: --norm=-0.175 dB) and write a new
file. Runs alternate, three of each; the best time counts. Prints the wall and
CPU times, their ratios normalize_bench/sox (below 1 is faster) and the peak
each output reaches, as sox measures it.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile


def run(command):
    """Wall seconds and CPU seconds, by GNU time."""
    with tempfile.NamedTemporaryFile("r") as report:
        subprocess.run(["/usr/bin/time", "-f", "%e %U %S", "-o", report.name] + command,
                       stdout=subprocess.DEVNULL, check=True)
        wall, user, system = report.read().split()[-3:]
    return float(wall), float(user) + float(system)


def peak(wav):
    stat = subprocess.run(["sox", wav, "-n", "stat"], capture_output=True, text=True).stderr
    return float(re.search(r"Maximum amplitude:\s+([0-9.]+)", stat).group(1))


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    bench = os.path.join(sys.argv[1], "bin", "normalize_bench")
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 300
    with tempfile.TemporaryDirectory() as folder:
        source = os.path.join(folder, "source.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", source, "synth",
                        str(seconds), "pinknoise", "sine", "220", "sine", "440",
                        "tremolo", "3", "40", "gain", "-9"], check=True)
        ours_wav = os.path.join(folder, "ours.wav")
        sox_wav = os.path.join(folder, "sox.wav")
        ours, theirs = [], []
        for _ in range(3):
            shutil.copyfile(source, ours_wav)
            ours.append(run([bench, ours_wav, "98"]))
            theirs.append(run(["sox", "--norm=-0.175", source, sox_wav]))
        ours_wall, ours_cpu = min(w for w, _ in ours), min(c for _, c in ours)
        sox_wall, sox_cpu = min(w for w, _ in theirs), min(c for _, c in theirs)
        print(f"{seconds} s of 44.1 kHz stereo audio ({os.path.getsize(source) / 1e6:.1f} MB)")
        print(f"normalize_bench: wall {ours_wall:.3f} s, cpu {ours_cpu:.3f} s, "
              f"peak {peak(ours_wav):.6f}")
        print(f"sox --norm:      wall {sox_wall:.3f} s, cpu {sox_cpu:.3f} s, "
              f"peak {peak(sox_wav):.6f}")
        print(f"ratio normalize_bench/sox: wall {ours_wall / sox_wall:.2f}, "
              f"cpu {ours_cpu / sox_cpu:.2f}")


if __name__ == "__main__":
    main()
