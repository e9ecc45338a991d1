#!/usr/bin/env python3
"""Parallel extraction: cadenzo-rip with one encoder and with one per core,
beside the sequential peer pipeline (cd-paranoia -B, then the lame program
track by track) and the parallel one (the same lame runs, one per core at
once), all in the same run on the same generated 17-minute album image
(10 tracks of 60 to 120 s).

Usage: bench/rip/parallel.py <build-dir> [rounds]   (default 2)
Build first: cmake --build <build-dir> --target cadenzo-rip cdrip_bench

Settings: cadenzo-rip with its default settings (a fresh settings folder:
192 kbit/s CBR stereo, CRC, Normal quality, ID3 tag); the peers with the
same bit rate, mode, CRC and quality (-q 5) and --noreplaygain, so both do
the same work. Each round runs every variant once, in turn; the best wall
time of each counts (the machine may be shared), and every round is printed
so the load shows. Targets: all cores <= 0.55 of the sequential peer, no
slower than the parallel peer, peak memory below 64 MB.
"""
import glob
import os
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

LAME = ["lame", "--quiet", "-b", "192", "-m", "s", "-q", "5", "-p", "--noreplaygain"]
ALBUM = [60, 120, 95, 110, 85, 115, 100, 105, 110, 120]  # seconds, 17 minutes


def timed(command, cwd=None, env=None):
    """Wall seconds, CPU seconds and peak resident KiB of one command, by GNU time."""
    with tempfile.NamedTemporaryFile("r") as report:
        subprocess.run(["/usr/bin/time", "-f", "%e %U %S %M", "-o", report.name] + command,
                       cwd=cwd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=True)
        wall, user, system, rss = report.read().split()[-4:]
    return float(wall), float(user) + float(system), int(rss)


def clear(folder):
    for old in glob.glob(os.path.join(folder, "*")):
        os.remove(old)


def make_album(bin_dir, folder):
    """The generated album image in folder, with empty output and settings
    folders beside it: the cue sheet's path and those two folders."""
    disc, out, config = (os.path.join(folder, name) for name in ("disc", "out", "config"))
    for path in (disc, out, config):
        os.mkdir(path)
    subprocess.run([os.path.join(bin_dir, "cdrip_bench"), "image", disc,
                    ",".join(map(str, ALBUM))], check=True)
    return os.path.join(disc, "bench.cue"), out, config


def best_of(variants, rounds, label="round"):
    """Runs every variant (name: a call giving wall s, CPU s and peak KiB)
    once a round, in turn, printing each; the best wall time's figures of each."""
    best = {}
    for round_number in range(1, rounds + 1):
        with open("/proc/loadavg") as load:
            print(f"{label} {round_number}, load average before: {load.read().split()[0]}")
        for name, run in variants.items():
            wall, cpu, rss = run()
            print(f"  {name}: {wall:.2f} s wall, {cpu:.2f} s cpu, peak {rss / 1024:.1f} MiB")
            if name not in best or wall < best[name][0]:
                best[name] = (wall, cpu, rss)
    return best


def lame(wav):
    return LAME + [wav, wav[:-4] + ".mp3"]


def peer(cue, folder, jobs, encode=lame):
    """cd-paranoia rips every track to WAV, then encode's command runs on
    each, `jobs` at once."""
    clear(folder)
    start = time.monotonic()
    _, cpu, rss = timed(["cd-paranoia", "-d", cue, "-B"], cwd=folder)
    wavs = sorted(glob.glob(os.path.join(folder, "track*.cdda.wav")))
    with ThreadPoolExecutor(jobs) as pool:
        results = list(pool.map(lambda wav: timed(encode(wav)), wavs))
    wall = time.monotonic() - start
    return wall, cpu + sum(r[1] for r in results), max([rss] + [r[2] for r in results])


def ours(rip, cue, folder, jobs, config):
    clear(folder)
    env = dict(os.environ, XDG_CONFIG_HOME=config, HOME=config)
    return timed([rip, "--image", cue, "--output-folder", folder, "--overwrite", "all",
                  "--jobs", str(jobs)], env=env)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    bin_dir = os.path.join(sys.argv[1], "bin")
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 2
    cores = os.cpu_count() or 1
    rip = os.path.join(bin_dir, "cadenzo-rip")
    with tempfile.TemporaryDirectory() as folder:
        cue, out, config = make_album(bin_dir, folder)
        variants = {
            "cadenzo-rip --jobs 1": lambda: ours(rip, cue, out, 1, config),
            f"cadenzo-rip --jobs {cores}": lambda: ours(rip, cue, out, cores, config),
            "sequential peer": lambda: peer(cue, out, 1),
            f"parallel peer ({cores} lame at once)": lambda: peer(cue, out, cores),
        }
        print(f"{sum(ALBUM) / 60:.0f}-minute image, {len(ALBUM)} tracks, {cores} cores")
        best = best_of(variants, rounds)
        sequential = best["sequential peer"][0]
        print("best of the rounds, wall time as a share of the sequential peer:")
        for name, (wall, cpu, rss) in best.items():
            print(f"  {name}: {wall / sequential:.3f} ({wall:.2f} s, peak {rss / 1024:.1f} MiB)")
        parallel = best[f"parallel peer ({cores} lame at once)"][0]
        print(f"all cores / parallel peer: {best[f'cadenzo-rip --jobs {cores}'][0] / parallel:.3f}")


if __name__ == "__main__":
    main()
