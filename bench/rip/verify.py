#!/usr/bin/env python3
"""What proving a rip costs: cadenzo-rip on the generated 17-minute album image
(10 tracks of 60 to 120 s) with its verification (CRC-32 and AccurateRip
checksums of every track, the lookups, the rip log and the CUE sheet), with
AccurateRip's alone (no CTDB server) and with --no-verify, to WAV (where
reading is all the work, so the share is the largest) and to MP3 with one
encoder per core. The servers are one this script runs on 127.0.0.1: it
answers every dBAR request with a pressing of the disc's track count and
every CTDB lookup with an entry of the disc whose CRC and syndromes match
nothing and whose recovery file is not there (checksums that match
nothing), so the lookups, the parsing, the CTDB's offset search, its
comparison and the copies an encoded rip keeps for a repair all run, and no
network time counts. Each round runs every variant once, in turn; the best
wall time counts (the machine may be shared). Targets: under 3 % added, the
CTDB's part under 3 % of the rip.

Usage: bench/rip/verify.py <build-dir> [rounds]   (default 3)
Build first: cmake --build <build-dir> --target cadenzo-rip cdrip_bench
"""
import http.server
import os
import re
import struct
import sys
import tempfile
import threading
import urllib.parse

from parallel import ALBUM, best_of, clear, make_album, timed

SETTINGS = ('Windows Registry Editor Version 5.00\r\n\r\n'
            '[HKEY_CURRENT_USER\\SOFTWARE\\Velmora Computing\\Cadenzo\\1.06]\r\n'
            '"AccurateRipServer"="http://127.0.0.1:{port}"\r\n'
            '"CtdbServer"="{ctdb}"\r\n')
CTDB_ENTRY = ('<?xml version="1.0" encoding="UTF-8"?>\n'
              '<ctdb xmlns="http://db.cuetools.net/ns/mmd-1.0#"><entry id="1" crc32="12345678" '
              'confidence="3" npar="8" stride="5880" hasparity="/parity/1" '
              'syndrome="AQACAAMABAAFAAYABwAIAA==" toc="{toc}"/></ctdb>\n')


class DbarServer(http.server.BaseHTTPRequestHandler):
    """One pressing of the requested disc: its IDs, six rips a track, no match."""

    def do_GET(self):
        if "/lookup2.php?" in self.path:
            toc = urllib.parse.parse_qs(urllib.parse.urlparse(self.path).query)["toc"][0]
            body = CTDB_ENTRY.format(toc=toc).encode()
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        name = re.search(r"dBAR-(\d{3})-([0-9a-f]{8})-([0-9a-f]{8})-([0-9a-f]{8})\.bin", self.path)
        if not name:
            self.send_error(404)
            return
        tracks = int(name.group(1))
        body = struct.pack("<BIII", tracks, *(int(name.group(i), 16) for i in (2, 3, 4)))
        body += b"".join(struct.pack("<BII", 6, 0x1234567 + t, 0) for t in range(tracks))
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    bin_dir = os.path.join(sys.argv[1], "bin")
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    rip = os.path.join(bin_dir, "cadenzo-rip")
    cores = os.cpu_count() or 1
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), DbarServer)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    with tempfile.TemporaryDirectory() as folder:
        cue, out, config = make_album(bin_dir, folder)
        port = server.server_address[1]
        envs = {}
        for name, ctdb in (("both", f"http://127.0.0.1:{port}"), ("ar", "")):
            home = os.path.join(config, name)
            os.makedirs(os.path.join(home, "cadenzo"))
            with open(os.path.join(home, "cadenzo", "registry.reg"), "w") as settings:
                settings.write(SETTINGS.format(port=port, ctdb=ctdb))
            envs[name] = dict(os.environ, XDG_CONFIG_HOME=home, HOME=home)

        def run(extra, env="both"):
            clear(out)
            return timed([rip, "--image", cue, "--output-folder", out, "--overwrite", "all",
                          "--jobs", str(cores)] + extra, env=envs[env])

        variants = {}
        for fmt in ("wav", "mp3"):
            variants[f"{fmt}, verified"] = (["--format", fmt], "both")
            variants[f"{fmt}, AccurateRip only"] = (["--format", fmt], "ar")
            variants[f"{fmt}, --no-verify"] = (["--format", fmt, "--no-verify"], "both")
        # A read offset reads through a carry buffer; offset 0 reads straight.
        variants["wav, verified, --offset 667"] = (["--format", "wav", "--offset", "667"], "both")
        print(f"{sum(ALBUM) / 60:.0f}-minute image, {len(ALBUM)} tracks, {cores} cores")
        best = best_of({name: (lambda v=v: run(*v)) for name, v in variants.items()}, rounds)
        print("best of the rounds, verified against --no-verify, the CTDB's part apart:")
        for fmt in ("wav", "mp3"):
            on, off = best[f"{fmt}, verified"], best[f"{fmt}, --no-verify"]
            ar = best[f"{fmt}, AccurateRip only"]
            print(f"  {fmt}: {on[0]:.2f} s against {off[0]:.2f} s wall "
                  f"({(on[0] / off[0] - 1) * 100:+.1f} %), cpu {on[1]:.2f} s against "
                  f"{off[1]:.2f} s ({(on[1] / off[1] - 1) * 100:+.1f} %); CTDB "
                  f"{(on[0] - ar[0]) / off[0] * 100:+.1f} % wall, "
                  f"{(on[1] - ar[1]) / off[1] * 100:+.1f} % cpu")
        moved, straight = best["wav, verified, --offset 667"], best["wav, verified"]
        print(f"  wav at offset +667: {moved[0]:.2f} s against {straight[0]:.2f} s wall at 0 "
              f"({(moved[0] / straight[0] - 1) * 100:+.1f} %)")


if __name__ == "__main__":
    main()
