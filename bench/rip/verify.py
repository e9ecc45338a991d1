#!/usr/bin/env python3
"""What proving a rip costs: cadenzo-rip on the generated 17-minute album image
(10 tracks of 60 to 120 s) with its verification (CRC-32 and AccurateRip
checksums of every track, the rip log) and with --no-verify, to WAV (where
reading is all the work, so the share is the largest) and to MP3 with one
encoder per core. The AccurateRip lookup is off (no server set), so no network
time counts. Each round runs every variant once, in turn; the best wall time
counts (the machine may be shared). Target: under 3 % added.

Usage: bench/rip/verify.py <build-dir> [rounds]   (default 3)
Build first: cmake --build <build-dir> --target cadenzo-rip cdrip_bench
"""
import os
import subprocess
import sys
import tempfile

from parallel import ALBUM, clear, timed

SETTINGS = ('Windows Registry Editor Version 5.00\r\n\r\n'
            '[HKEY_CURRENT_USER\\SOFTWARE\\Velmora Computing\\Cadenzo\\1.06]\r\n'
            '"AccurateRipServer"=""\r\n')


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    bin_dir = os.path.join(sys.argv[1], "bin")
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    rip = os.path.join(bin_dir, "cadenzo-rip")
    cores = os.cpu_count() or 1
    with tempfile.TemporaryDirectory() as folder:
        disc, out, config = (os.path.join(folder, name) for name in ("disc", "out", "config"))
        for path in (disc, out, os.path.join(config, "cadenzo")):
            os.makedirs(path)
        with open(os.path.join(config, "cadenzo", "registry.reg"), "w") as settings:
            settings.write(SETTINGS)
        subprocess.run([os.path.join(bin_dir, "cdrip_bench"), "image", disc,
                        ",".join(map(str, ALBUM))], check=True)
        cue = os.path.join(disc, "bench.cue")
        env = dict(os.environ, XDG_CONFIG_HOME=config, HOME=config)

        def run(extra):
            clear(out)
            return timed([rip, "--image", cue, "--output-folder", out, "--overwrite", "all",
                          "--jobs", str(cores)] + extra, env=env)

        variants = {}
        for fmt in ("wav", "mp3"):
            variants[f"{fmt}, verified"] = ["--format", fmt]
            variants[f"{fmt}, --no-verify"] = ["--format", fmt, "--no-verify"]
        # A read offset reads through a carry buffer; offset 0 reads straight.
        variants["wav, verified, --offset 667"] = ["--format", "wav", "--offset", "667"]
        print(f"{sum(ALBUM) / 60:.0f}-minute image, {len(ALBUM)} tracks, {cores} cores")
        best = {}
        for round_number in range(1, rounds + 1):
            with open("/proc/loadavg") as load:
                print(f"round {round_number}, load average before: {load.read().split()[0]}")
            for name, extra in variants.items():
                wall, cpu, rss = run(extra)
                print(f"  {name}: {wall:.2f} s wall, {cpu:.2f} s cpu, peak {rss / 1024:.1f} MiB")
                if name not in best or wall < best[name][0]:
                    best[name] = (wall, cpu, rss)
        print("best of the rounds, verified against --no-verify:")
        for fmt in ("wav", "mp3"):
            on, off = best[f"{fmt}, verified"], best[f"{fmt}, --no-verify"]
            print(f"  {fmt}: {on[0]:.2f} s against {off[0]:.2f} s wall "
                  f"({(on[0] / off[0] - 1) * 100:+.1f} %), cpu {on[1]:.2f} s against "
                  f"{off[1]:.2f} s ({(on[1] / off[1] - 1) * 100:+.1f} %)")
        moved, straight = best["wav, verified, --offset 667"], best["wav, verified"]
        print(f"  wav at offset +667: {moved[0]:.2f} s against {straight[0]:.2f} s wall at 0 "
              f"({(moved[0] / straight[0] - 1) * 100:+.1f} %)")


if __name__ == "__main__":
    main()
