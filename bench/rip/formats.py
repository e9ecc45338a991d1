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
import os
import sys
import tempfile

from parallel import ALBUM, best_of, clear, make_album, peer, timed

# Our format and the peer's command per track; flac also with -V, the check
# cadenzo-rip always makes.
PEERS = {
    "flac": ("flac", lambda wav: ["flac", "-5", "-s", "-f", wav, "-o", wav[:-4] + ".flac"]),
    "flac -V": ("flac", lambda wav: ["flac", "-5", "-V", "-s", "-f", wav, "-o", wav[:-4] + ".flac"]),
    "opus": ("opus", lambda wav: ["opusenc", "--quiet", "--bitrate", "160", wav,
                                  wav[:-4] + ".opus"]),
}


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
        cue, out, config = make_album(bin_dir, folder)
        print(f"{sum(ALBUM) / 60:.0f}-minute image, {len(ALBUM)} tracks, {cores} cores")
        for label, (fmt, encode) in PEERS.items():
            best = best_of({"cadenzo-rip": lambda: ours(rip, cue, out, config, fmt),
                            "peer": lambda: peer(cue, out, cores, encode)},
                           rounds, f"{label} round")
            print(f"{label}: cadenzo-rip / peer = {best['cadenzo-rip'][0] / best['peer'][0]:.3f}, "
                  f"peak {best['cadenzo-rip'][2] / 1024:.1f} MiB")


if __name__ == "__main__":
    main()
