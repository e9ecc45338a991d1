#!/usr/bin/env python3
"""Batch MP3 encoding: TLameCoder (lame_coder_bench) against the lame program
with the same settings, in the same run, on the same generated WAV.

Usage: bench/encode/run.py <build-dir> [seconds]   (default 180 s of audio)

Settings of both: stereo, 192 kbit/s CBR, CRC on, quality 5 (the coder's
NORMAL_QUALITY), no Xing frame, no ReplayGain (the lame program analyses it
unless told not to; the library does not). A second VBR pair uses -V 4 with
the Xing frame. Runs alternate, three of each; the best time counts.
Prints the CPU-time ratio coder/lame (CPU time, as the machine may be shared)
and each one's peak resident memory.
"""
import os
import subprocess
import sys
import tempfile


def run(command):
    """Returns wall seconds, CPU seconds and peak resident KiB, by GNU time
    (a forked Python child would report the parent's resident size)."""
    with tempfile.NamedTemporaryFile("r") as report:
        subprocess.run(["/usr/bin/time", "-f", "%e %U %S %M", "-o", report.name] + command,
                       stdout=subprocess.DEVNULL, check=True)
        wall, user, system, rss = report.read().split()[-4:]
    return float(wall), float(user) + float(system), int(rss)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = sys.argv[1]
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 180
    coder = os.path.join(build, "bin", "lame_coder_bench")
    with tempfile.TemporaryDirectory() as folder:
        wav = os.path.join(folder, "input.wav")
        # A chord with a slow tremolo over pink noise: real work for the psychoacoustics.
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth",
                        str(seconds), "pinknoise", "sine", "220", "sine", "330", "sine", "440",
                        "tremolo", "3", "40", "gain", "-6"], check=True)
        pairs = [
            ("CBR 192", [coder, wav, os.path.join(folder, "coder.mp3"), "192"],
             ["lame", "--quiet", "-b", "192", "-m", "s", "-q", "5", "-p", "-t",
              "--noreplaygain", wav, os.path.join(folder, "lame.mp3")]),
            ("VBR -V 4", [coder, wav, os.path.join(folder, "coder.mp3"), "128", "4"],
             ["lame", "--quiet", "-V", "4", "-b", "128", "-B", "320", "-m", "s", "-q", "5",
              "-p", "--noreplaygain", wav, os.path.join(folder, "lame.mp3")]),
        ]
        print(f"{seconds} s of 44.1 kHz stereo audio")
        for name, ours, peer in pairs:
            best = {"coder": None, "lame": None}
            for _ in range(3):
                for who, command in (("coder", ours), ("lame", peer)):
                    result = run(command)
                    if best[who] is None or result[1] < best[who][1]:
                        best[who] = result
            (c_wall, c_cpu, c_rss), (l_wall, l_cpu, l_rss) = best["coder"], best["lame"]
            print(f"{name}: coder {c_cpu:.2f} s cpu ({c_wall:.2f} s wall, {seconds / c_cpu:.0f}x realtime), "
                  f"lame {l_cpu:.2f} s cpu ({l_wall:.2f} s wall); "
                  f"time ratio coder/lame {c_cpu / l_cpu:.3f}; "
                  f"peak memory coder {c_rss / 1024:.1f} MiB, lame {l_rss / 1024:.1f} MiB")
        # For reference: the lame program as it runs by default, with ReplayGain.
        with_gain = [arg for arg in pairs[0][2] if arg != "--noreplaygain"]
        g_cpu = min(run(with_gain)[1] for _ in range(3))
        print(f"lame CBR 192 with its default ReplayGain analysis: {g_cpu:.2f} s cpu")


if __name__ == "__main__":
    main()
