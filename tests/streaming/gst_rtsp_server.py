#!/usr/bin/python3
"""A GStreamer RTSP server on 127.0.0.1 for the streaming tests.

Serves one MP4 file (MPEG-4 visual and AAC) on two mounts:
  /generic  video as MP4V-ES, audio as mpeg4-generic (RFC 3640)
  /latm     video as MP4V-ES, audio as MP4A-LATM (RFC 3016)

usage: gst_rtsp_server.py PORT FILE [SECONDS] [--tcp-only] [--digest USER:PASSWORD]
                          [--udp-blocked]
Prints "ready" once it listens; quits by itself after SECONDS (default 60).
  --tcp-only  media only inside the RTSP connection (RFC 2326 10.12): a SETUP
              asking for UDP gets 461 Unsupported Transport
  --digest    every mount asks for a Digest login (RFC 2617) as USER:PASSWORD
  --udp-blocked  as behind a firewall that lets no UDP through: PORT is a
              relay to the server that rewrites every SETUP's client_port to
              a pair nobody reads (printing "rewrote a SETUP"), so the media
              sent over UDP reach nobody; media inside the connection pass
"""
import re
import socket
import sys
import threading

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstRtsp", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtsp, GstRtspServer  # noqa: E402


def launch(path, audio_payloader):
    return (
        "( filesrc location=\"{0}\" ! qtdemux name=d "
        "d.video_0 ! queue ! rtpmp4vpay name=pay0 pt=96 "
        "d.audio_0 ! queue ! aacparse ! {1} name=pay1 pt=97 )"
    ).format(path, audio_payloader)


def digest_auth(user, password):
    auth = GstRtspServer.RTSPAuth()
    auth.set_supported_methods(GstRtsp.RTSPAuthMethod.DIGEST)
    token = GstRtspServer.RTSPToken()
    token.set_string(GstRtspServer.RTSP_TOKEN_MEDIA_FACTORY_ROLE, "viewer")
    auth.add_digest(user, password, token)
    return auth


def pipe(source, target):
    try:
        while data := source.recv(65536):
            target.sendall(data)
    except OSError:
        pass


def block_udp(listen_port, server_port):
    while True:  # the sink: an even pair, bound so nothing bounces, never read
        sink = [socket.socket(socket.AF_INET, socket.SOCK_DGRAM) for _ in range(2)]
        sink[0].bind(("127.0.0.1", 0))
        base = sink[0].getsockname()[1]
        try:
            if base % 2 == 0:
                sink[1].bind(("127.0.0.1", base + 1))
                break
        except OSError:
            pass
    ports = b"client_port=%d-%d" % (base, base + 1)
    listener = socket.create_server(("127.0.0.1", listen_port))

    def serve():
        while True:
            client, _ = listener.accept()
            server = socket.create_connection(("127.0.0.1", server_port))
            threading.Thread(target=pipe, args=(server, client), daemon=True).start()
            pending = b""
            try:
                while data := client.recv(65536):
                    pending += data
                    while b"\r\n\r\n" in pending:
                        head, pending = pending.split(b"\r\n\r\n", 1)
                        head, n = re.subn(rb"client_port=\d+-\d+", ports, head)
                        if n:
                            print("rewrote a SETUP", flush=True)
                        server.sendall(head + b"\r\n\r\n")
            except OSError:
                pass
            server.close()
            client.close()

    threading.Thread(target=serve, daemon=True).start()
    return sink


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    tcp_only = "--tcp-only" in sys.argv
    digest = None
    if "--digest" in sys.argv:
        digest = sys.argv[sys.argv.index("--digest") + 1]
        args.remove(digest)
    port, path = args[0], args[1]
    seconds = int(args[2]) if len(args) > 2 else 60
    Gst.init(None)
    server = GstRtspServer.RTSPServer()
    server.set_address("127.0.0.1")
    blocked = "--udp-blocked" in sys.argv
    server.set_service("0" if blocked else port)
    if digest:
        user, password = digest.split(":", 1)
        server.set_auth(digest_auth(user, password))
    mounts = server.get_mount_points()
    for mount, payloader in (("/generic", "rtpmp4gpay"), ("/latm", "rtpmp4apay")):
        factory = GstRtspServer.RTSPMediaFactory()
        factory.set_launch(launch(path, payloader))
        if tcp_only:
            factory.set_protocols(GstRtsp.RTSPLowerTrans.TCP)
        if digest:
            permissions = GstRtspServer.RTSPPermissions()
            for permission in (GstRtspServer.RTSP_PERM_MEDIA_FACTORY_ACCESS,
                               GstRtspServer.RTSP_PERM_MEDIA_FACTORY_CONSTRUCT):
                permissions.add_permission_for_role("viewer", permission, True)
            factory.set_permissions(permissions)
        mounts.add_factory(mount, factory)
    if server.attach(None) == 0:
        print("cannot listen", flush=True)
        return 1
    sink = blocked and block_udp(int(port), server.get_bound_port())  # noqa: F841 (kept open)
    loop = GLib.MainLoop()
    GLib.timeout_add_seconds(seconds, loop.quit)
    print("ready", flush=True)
    loop.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
