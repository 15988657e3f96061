#!/usr/bin/python3
"""Plays a live stream for a long time from an RTSP server that drops idle sessions.

A scripted RTSP server on 127.0.0.1 answers with "Session: <id>;timeout=T" and
ends the session (stops sending, answers 454 Session Not Found afterwards)
as soon as T seconds pass without a request on it; RTCP receiver reports do
not count. On PLAY it starts ffmpeg sending CLIP in a loop, in real time,
MP4V-ES video and mpeg4-generic audio, to the client's ports from the
server ports it announced. strevana-probe plays rtsp://127.0.0.1:PORT/live
for SECONDS through the streaming source, and the run passes when the
session never expired, no packet was lost, the source never stalled for
good, the sound played lasted at least SECONDS less the start-up, and
keep-alive requests came at about half the time-out.

usage: keepalive_run.py PROBE CLIP [--seconds 180] [--timeout 10] [--enforce S]
  PROBE  the strevana-probe program, CLIP an MP4 with MPEG-4 visual and AAC
  --enforce  drop the session after S quiet seconds instead of the announced
             time-out; below half of it the run must FAIL (the server's own check)
Prints the probe's report and the server's log, then PASS or FAIL (exit 0/1).
"""
import argparse
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

SESSION_ID = "5e55107a"


def log(text):
    sys.stdout.write("[%8.3f] %s\n" % (time.monotonic() - START, text))
    sys.stdout.flush()


START = time.monotonic()


def describe_clip(clip, folder):
    """The SDP ffmpeg announces for the clip's two streams, with controls."""
    sdp = os.path.join(folder, "clip.sdp")
    subprocess.run(["timeout", "30", "ffmpeg", "-nostdin", "-v", "error", "-i", clip,
                    "-map", "0:v", "-c", "copy", "-f", "rtp", "rtp://127.0.0.1:9",
                    "-map", "0:a", "-c", "copy", "-f", "rtp", "rtp://127.0.0.1:11",
                    "-t", "0.1", "-y", "-sdp_file", sdp], check=True)
    text = open(sdp).read().replace("\r\n", "\n")
    out, track = [], 0
    for line in text.split("\n"):
        if not line:
            continue
        if line.startswith("m="):
            if track > 0:
                out.append("a=control:trackID=%d" % (track - 1))
            line = re.sub(r"^(m=\S+) \d+", r"\1 0", line)
            track += 1
        if line.startswith("a=control"):
            continue
        out.append(line)
    out.append("a=control:trackID=%d" % (track - 1))
    return "\r\n".join(out) + "\r\n"


class Server:
    """One RTSP session at a time; see the module notes."""

    def __init__(self, clip, description, timeout, enforce, seconds):
        self.clip, self.description, self.timeout, self.seconds = clip, description, timeout, seconds
        self.enforce = enforce
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(4)
        self.port = self.listener.getsockname()[1]
        self.client_ports = {}
        self.server_ports = {}
        self.sender = None
        self.last_request = None
        self.expired = False
        self.playing = False
        self.keep_alives = []  # (time, method)
        self.longest_quiet = 0.0
        self.lock = threading.Lock()
        self.done = threading.Event()

    def start(self):
        threading.Thread(target=self.accept, daemon=True).start()
        threading.Thread(target=self.watch, daemon=True).start()

    def stop(self):
        self.done.set()
        self.stop_sender()
        self.listener.close()

    def stop_sender(self):
        with self.lock:
            sender, self.sender = self.sender, None
        if sender and sender.poll() is None:
            os.killpg(sender.pid, signal.SIGTERM)
            try:
                sender.wait(5)
            except subprocess.TimeoutExpired:
                os.killpg(sender.pid, signal.SIGKILL)
                sender.wait()

    def watch(self):
        while not self.done.wait(0.1):
            with self.lock:
                if self.last_request is None or self.expired or not self.playing:
                    continue
                quiet = time.monotonic() - self.last_request
                self.longest_quiet = max(self.longest_quiet, quiet)
                if quiet <= self.enforce:
                    continue
                self.expired = True
                self.playing = False
            log("session expired: no request for %.1f s; sending stopped" % quiet)
            self.stop_sender()

    def accept(self):
        while not self.done.is_set():
            try:
                connection, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self.serve, args=(connection,), daemon=True).start()

    def serve(self, connection):
        data = b""
        with connection:
            while not self.done.is_set():
                while b"\r\n\r\n" not in data:
                    chunk = connection.recv(4096)
                    if not chunk:
                        return
                    data += chunk
                head, data = data.split(b"\r\n\r\n", 1)
                text = head.decode("latin-1")
                length = re.search(r"(?im)^content-length:\s*(\d+)", text)
                body_bytes = int(length.group(1)) if length else 0
                while len(data) < body_bytes:
                    chunk = connection.recv(4096)
                    if not chunk:
                        return
                    data += chunk
                data = data[body_bytes:]
                connection.sendall(self.answer(text).encode("latin-1"))

    def answer(self, text):
        method, url = text.split(" ")[0], text.split(" ")[1]
        cseq = re.search(r"(?im)^cseq:\s*(\d+)", text)
        session = re.search(r"(?im)^session:\s*([^;\r\n]+)", text)
        now = time.monotonic()
        with self.lock:
            if session and session.group(1).strip() == SESSION_ID:
                if self.expired:
                    return self.reply(cseq, "454 Session Not Found")
                if self.playing and method in ("GET_PARAMETER", "OPTIONS"):
                    self.keep_alives.append((now, method))
                self.last_request = now
        log("%s %s" % (method, url))
        base_headers = "Session: %s;timeout=%d\r\n" % (SESSION_ID, self.timeout)
        if method == "OPTIONS":
            return self.reply(cseq, "200 OK", "Public: OPTIONS, DESCRIBE, SETUP, PLAY, TEARDOWN, GET_PARAMETER\r\n")
        if method == "DESCRIBE":
            return self.reply(cseq, "200 OK", "Content-Base: %s/\r\nContent-Type: application/sdp\r\n" % url,
                              self.description)
        if method == "SETUP":
            track = int(re.search(r"trackID=(\d+)", url).group(1))
            ports = re.search(r"client_port=(\d+)-(\d+)", text)
            server = free_port_pair()
            with self.lock:
                self.client_ports[track] = int(ports.group(1))
                self.server_ports[track] = server
                self.last_request = now
            transport = "Transport: RTP/AVP;unicast;client_port=%s-%s;server_port=%d-%d\r\n" % (
                ports.group(1), ports.group(2), server, server + 1)
            return self.reply(cseq, "200 OK", base_headers + transport)
        if method == "PLAY":
            self.start_sender()
            return self.reply(cseq, "200 OK", base_headers + "Range: npt=now-\r\n")
        if method == "GET_PARAMETER":
            return self.reply(cseq, "200 OK", base_headers)
        if method == "TEARDOWN":
            with self.lock:
                self.playing = False
            self.stop_sender()
            return self.reply(cseq, "200 OK")
        return self.reply(cseq, "501 Not Implemented")

    @staticmethod
    def reply(cseq, status, headers="", body=""):
        text = "RTSP/1.0 %s\r\n" % status
        if cseq:
            text += "CSeq: %s\r\n" % cseq.group(1)
        text += headers
        if body:
            text += "Content-Length: %d\r\n" % len(body.encode("latin-1"))
        return text + "\r\n" + body

    def start_sender(self):
        outputs = []
        for track, stream in ((0, "0:v"), (1, "0:a")):
            outputs += ["-map", stream, "-c", "copy", "-f", "rtp",
                        "rtp://127.0.0.1:%d?localrtpport=%d&localrtcpport=%d" % (
                            self.client_ports[track], self.server_ports[track], self.server_ports[track] + 1)]
        argv = ["timeout", str(self.seconds + 60), "ffmpeg", "-nostdin", "-v", "error",
                "-re", "-stream_loop", "-1", "-i", self.clip] + outputs
        with self.lock:
            self.sender = subprocess.Popen(argv, start_new_session=True)
            self.playing = True
            self.last_request = time.monotonic()
        log("sending (ffmpeg pid %d)" % self.sender.pid)


def free_port_pair():
    while True:
        a = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        a.bind(("127.0.0.1", 0))
        port = a.getsockname()[1]
        a.close()
        if port % 2:
            continue
        try:
            for p in (port, port + 1):
                s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
                s.bind(("127.0.0.1", p))
                s.close()
            return port
        except OSError:
            continue


def field(report, name):
    match = re.search(r"(?im)^%s\s*:?\s*(.*)$" % re.escape(name), report)
    return match.group(1).strip() if match else ""


def number(text):
    match = re.match(r"-?\d+", text)
    return int(match.group(0)) if match else -1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("probe")
    parser.add_argument("clip")
    parser.add_argument("--seconds", type=int, default=180)
    parser.add_argument("--timeout", type=int, default=10)
    parser.add_argument("--enforce", type=float)
    args = parser.parse_args()
    enforce = args.enforce if args.enforce is not None else args.timeout
    with tempfile.TemporaryDirectory(prefix="strevana-keepalive-") as folder:
        server = Server(args.clip, describe_clip(args.clip, folder), args.timeout, enforce, args.seconds)
        server.start()
        url = "rtsp://127.0.0.1:%d/live" % server.port
        log("serving %s with Session timeout=%d; playing %d s" % (url, args.timeout, args.seconds))
        try:
            probe = subprocess.run(["timeout", str(args.seconds + 60), args.probe, url,
                                    "--seconds", str(args.seconds)],
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        finally:
            server.stop()
    report = probe.stdout
    print(report)
    failures = []
    if probe.returncode != 0:
        failures.append("strevana-probe exited with %d" % probe.returncode)
    if server.expired:
        failures.append("the server dropped the session")
    for name in ("lost video", "lost audio"):
        if number(field(report, name)) != 0:
            failures.append("%s: %s" % (name, field(report, name)))
    if field(report, "ended") != "no":
        failures.append("ended: %s" % field(report, "ended"))
    startup = number(field(report, "first picture")) / 1000.0
    played = number(field(report, "sound played")) / 1000.0
    if played < args.seconds - startup - 1.0:
        failures.append("sound played %.1f s of %.1f s" % (played, args.seconds - startup))
    pictures = number(field(report, "pictures shown"))
    expected_keep_alives = int(args.seconds / (args.timeout / 2.0)) - 2
    if len(server.keep_alives) < expected_keep_alives:
        failures.append("%d keep-alive requests, expected at least %d" % (len(server.keep_alives),
                                                                          expected_keep_alives))
    gaps = [b[0] - a[0] for a, b in zip(server.keep_alives, server.keep_alives[1:])]
    print("keep-alive requests: %d (%s), largest gap %.2f s, longest quiet time %.2f s of %g s allowed" % (
        len(server.keep_alives), ", ".join(sorted(set(m for _, m in server.keep_alives))) or "none",
        max(gaps) if gaps else 0.0, server.longest_quiet, enforce))
    print("pictures shown %d, sound played %.1f s, first picture after %.1f s" % (pictures, played, startup))
    if failures:
        print("FAIL: " + "; ".join(failures))
        return 1
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
