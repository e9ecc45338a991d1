#!/usr/bin/env python3
"""Ripping with on-the-fly MP3 encoding: TCDRIP (cdrip_bench) against the
sequential peer pipeline, cd-paranoia -B then the lame program track by track,
in the same run on the same generated 30-minute image (10 tracks). Then the
rip-then-encode path: one ripped track as WAV encoded by TLameCoder's batch
mode (lame_coder_bench) beside the lame program. Last, peak memory of one
3-minute track against one 30-minute track, to show it does not grow with
track length.

Usage: bench/rip/run.py <build-dir> [minutes]   (default 30)

Settings of both sides: full paranoia, stereo, 192 kbit/s CBR, CRC on,
quality 5 (NORMAL_QUALITY), no Xing frame, no ReplayGain. Each pair runs
twice, alternating; the best CPU time counts (the machine may be shared).
"""
import glob
import os
import subprocess
import sys
import tempfile

LAME = ["lame", "--quiet", "-b", "192", "-m", "s", "-q", "5", "-p", "-t", "--noreplaygain"]


def run(command, cwd=None):
    """Wall seconds, CPU seconds and peak resident KiB of one command, by GNU time."""
    with tempfile.NamedTemporaryFile("r") as report:
        subprocess.run(["/usr/bin/time", "-f", "%e %U %S %M", "-o", report.name] + command,
                       cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        wall, user, system, rss = report.read().split()[-4:]
    return float(wall), float(user) + float(system), int(rss)


def peer_pipeline(cue, folder):
    """cd-paranoia rips every track to WAV, then lame encodes them one by one."""
    for old in glob.glob(os.path.join(folder, "*")):
        os.remove(old)
    wall, cpu, rss = run(["cd-paranoia", "-d", cue, "-B"], cwd=folder)
    for wav in sorted(glob.glob(os.path.join(folder, "track*.cdda.wav"))):
        w, c, r = run(LAME + [wav, wav[:-4] + ".mp3"])
        wall, cpu, rss = wall + w, cpu + c, max(rss, r)
    return wall, cpu, rss


def best(results):
    return min(results, key=lambda result: result[1])


def line(name, ours, peer, seconds):
    (o_wall, o_cpu, o_rss), (p_wall, p_cpu, p_rss) = ours, peer
    print(f"{name}: ours {o_cpu:.2f} s cpu ({o_wall:.2f} s wall, {seconds / o_wall:.0f}x realtime), "
          f"peer {p_cpu:.2f} s cpu ({p_wall:.2f} s wall); "
          f"ratio ours/peer cpu {o_cpu / p_cpu:.3f}, wall {o_wall / p_wall:.3f}; "
          f"peak memory ours {o_rss / 1024:.1f} MiB, peer {p_rss / 1024:.1f} MiB")


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    bin_dir = os.path.join(sys.argv[1], "bin")
    minutes = int(sys.argv[2]) if len(sys.argv) > 2 else 30
    bench = os.path.join(bin_dir, "cdrip_bench")
    coder = os.path.join(bin_dir, "lame_coder_bench")
    with tempfile.TemporaryDirectory() as folder:
        discs, ours_out, peer_out = (os.path.join(folder, name) for name in ("discs", "ours", "peer"))
        for path in (discs, ours_out, peer_out):
            os.mkdir(path)
        subprocess.run([bench, "image", discs, str(minutes), "10"], check=True)
        cue = os.path.join(discs, "bench.cue")
        seconds = minutes * 60
        print(f"{minutes}-minute image, 10 tracks")

        ours, peer = [], []
        for _ in range(2):
            ours.append(run([bench, "rip", cue, ours_out]))
            peer.append(peer_pipeline(cue, peer_out))
        line("rip + encode", best(ours), best(peer), seconds)

        wav = sorted(glob.glob(os.path.join(peer_out, "track*.cdda.wav")))[0]
        track_seconds = (os.path.getsize(wav) - 44) / 176400
        ours, peer = [], []
        for _ in range(2):
            ours.append(run([coder, wav, os.path.join(folder, "coder.mp3"), "192"]))
            peer.append(run(LAME + [wav, os.path.join(folder, "lame.mp3")]))
        line("batch encode of one track", best(ours), best(peer), track_seconds)

        # The same audio as one track: a 30-minute rip against a 3-minute one.
        os.link(os.path.join(discs, "bench.bin"), os.path.join(discs, "whole.bin"))
        with open(os.path.join(discs, "whole.cue"), "w", newline="\r\n") as sheet:
            sheet.write('FILE "whole.bin" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n')
        short = run([bench, "rip", cue, ours_out, "1"])
        whole = run([bench, "rip", os.path.join(discs, "whole.cue"), ours_out, "1"])
        print(f"peak memory: one {minutes // 10}-minute track {short[2] / 1024:.1f} MiB, "
              f"one {minutes}-minute track {whole[2] / 1024:.1f} MiB "
              f"(ratio {whole[2] / short[2]:.3f})")


if __name__ == "__main__":
    main()
