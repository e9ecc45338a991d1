#!/usr/bin/env python3
"""What jitter correction costs on a drive that misbehaves: the reader with
full paranoia (cdrip_bench read, no encoding) on the generated 30-minute image
(10 tracks) as a clean drive, and on the same image through the library's
simulated drive under ReadJitter=300 and a drive cache (DriveCache=1024
sectors, 2.4 MB), beside cd-paranoia -B on the clean image in the same run.

cd-paranoia cannot read through the simulated drive: it opens the image with
libcdio's own drivers, and the simulation lives in the CD-reading library.
So the peer only anchors the ratios; it never meets the jitter.

Each variant runs once per round, in turn; the best wall time counts (the
machine may be shared). Every simulated rip must still come out byte-exact
(its wrong count 0) and lose nothing.

Usage: bench/rip/simulated.py <build-dir> [rounds]   (default 3)
Build first: cmake --build <build-dir> --target cdrip_bench
"""
import os
import subprocess
import sys
import tempfile
import time

from parallel import clear

MINUTES = 30
SIMULATED = "ReadJitter=300;DriveCache=1024;Seed=1"


def timed(command, cwd=None):
    """Wall seconds and standard output of one command."""
    started = time.monotonic()
    done = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          check=True, text=True)
    return time.monotonic() - started, done.stdout.strip()


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    bench = os.path.abspath(os.path.join(sys.argv[1], "bin", "cdrip_bench"))
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    with tempfile.TemporaryDirectory() as folder:
        discs, out, peer = (os.path.join(folder, name) for name in ("discs", "out", "peer"))
        for path in (discs, out, peer):
            os.mkdir(path)
        subprocess.run([bench, "image", discs, str(MINUTES), "10"], check=True)
        cue = os.path.join(discs, "bench.cue")
        variants = {
            "clean drive": [bench, "read", cue, out, "Seed=1"],
            "ReadJitter=300, DriveCache=1024": [bench, "read", cue, out, SIMULATED],
            "cd-paranoia -B, clean image": ["cd-paranoia", "-q", "-d", cue, "-B"],
        }
        best, counts = {}, {}
        for _ in range(rounds):
            print(f"load average {os.getloadavg()[0]:.2f}")
            for name, command in variants.items():
                clear(peer)
                wall, printed = timed(command, cwd=peer)
                best[name] = min(best.get(name, wall), wall)
                counts[name] = printed
        seconds = MINUTES * 60
        peer_wall = best["cd-paranoia -B, clean image"]
        print(f"{MINUTES}-minute image, 10 tracks, best of {rounds}")
        for name, wall in best.items():
            line = (f"{name}: {wall:.2f} s wall, {seconds / wall:.0f}x realtime, "
                    f"ratio to cd-paranoia {wall / peer_wall:.2f}")
            if counts[name]:
                line += f" ({counts[name]})"
            print(line)
        clean = best["clean drive"]
        print(f"correction under jitter and a cache costs {best['ReadJitter=300, DriveCache=1024'] / clean:.2f}x "
              "the clean drive's time")


if __name__ == "__main__":
    main()
