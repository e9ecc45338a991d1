#!/usr/bin/env python3
"""FLAC and Opus: cadenzo-rip with one encoder per core against the peer
pipeline users script (cd-paranoia -B, then one `flac -5` or `opusenc
--bitrate 160` per track, as many at once as cores), in the same run on the
same generated 17-minute album image (10 tracks of 60 to 120 s).

Usage: bench/rip/formats.py <build-dir> [rounds]   (default 1)
Build first: cmake --build <build-dir> --target cadenzo-rip cdrip_bench

cadenzo-rip runs with its default settings (FLAC level 5 with verify, Opus
160 kbit/s VBR, tags and ReplayGain: work the peers do not do, flac's verify
aside), so the ratio is not flattering it. The best wall time of each counts;
every round is printed with the load average. Targets: ratio <= 1.0 against
the peer, peak memory below 64 MB.
"""
import glob
import os
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

from parallel import ALBUM, clear, timed

# Our format and the peer's command per track; flac also with -V, the check
# cadenzo-rip always makes.
PEERS = {
    "flac": ("flac", lambda wav: ["flac", "-5", "-s", "-f", wav, "-o", wav[:-4] + ".flac"]),
    "flac -V": ("flac", lambda wav: ["flac", "-5", "-V", "-s", "-f", wav, "-o", wav[:-4] + ".flac"]),
    "opus": ("opus", lambda wav: ["opusenc", "--quiet", "--bitrate", "160", wav,
                                  wav[:-4] + ".opus"]),
}


def peer(cue, folder, jobs, encode):
    clear(folder)
    start = time.monotonic()
    _, cpu, rss = timed(["cd-paranoia", "-d", cue, "-B"], cwd=folder)
    wavs = sorted(glob.glob(os.path.join(folder, "track*.cdda.wav")))
    with ThreadPoolExecutor(jobs) as pool:
        results = list(pool.map(lambda wav: timed(encode(wav)), wavs))
    wall = time.monotonic() - start
    return wall, cpu + sum(r[1] for r in results), max([rss] + [r[2] for r in results])


def ours(rip, cue, folder, config, fmt):
    clear(folder)
    env = dict(os.environ, XDG_CONFIG_HOME=config, HOME=config)
    return timed([rip, "--image", cue, "--output-folder", folder, "--overwrite", "all",
                  "--jobs", "0", "--format", fmt], env=env)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    bin_dir = os.path.join(sys.argv[1], "bin")
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    cores = os.cpu_count() or 1
    rip = os.path.join(bin_dir, "cadenzo-rip")
    with tempfile.TemporaryDirectory() as folder:
        disc, out, config = (os.path.join(folder, name) for name in ("disc", "out", "config"))
        for path in (disc, out, config):
            os.mkdir(path)
        subprocess.run([os.path.join(bin_dir, "cdrip_bench"), "image", disc,
                        ",".join(map(str, ALBUM))], check=True)
        cue = os.path.join(disc, "bench.cue")
        print(f"{sum(ALBUM) / 60:.0f}-minute image, {len(ALBUM)} tracks, {cores} cores")
        for label, (fmt, encode) in PEERS.items():
            best = {}
            for round_number in range(1, rounds + 1):
                with open("/proc/loadavg") as load:
                    print(f"{label} round {round_number}, load average before: "
                          f"{load.read().split()[0]}")
                for name, run in (("cadenzo-rip", lambda: ours(rip, cue, out, config, fmt)),
                                  ("peer", lambda: peer(cue, out, cores, encode))):
                    wall, cpu, rss = run()
                    print(f"  {name}: {wall:.2f} s wall, {cpu:.2f} s cpu, peak {rss / 1024:.1f} MiB")
                    if name not in best or wall < best[name][0]:
                        best[name] = (wall, cpu, rss)
            print(f"{label}: cadenzo-rip / peer = {best['cadenzo-rip'][0] / best['peer'][0]:.3f}, "
                  f"peak {best['cadenzo-rip'][2] / 1024:.1f} MiB")


if __name__ == "__main__":
    main()
