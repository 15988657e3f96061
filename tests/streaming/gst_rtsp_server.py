#!/usr/bin/python3
"""A GStreamer RTSP server on 127.0.0.1 for the streaming tests.

Serves one MP4 file (MPEG-4 visual and AAC) on two mounts:
  /generic  video as MP4V-ES, audio as mpeg4-generic (RFC 3640)
  /latm     video as MP4V-ES, audio as MP4A-LATM (RFC 3016)

usage: gst_rtsp_server.py PORT FILE [SECONDS]
Prints "ready" once it listens; quits by itself after SECONDS (default 60).
"""
import sys

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtspServer  # noqa: E402


def launch(path, audio_payloader):
    return (
        "( filesrc location=\"{0}\" ! qtdemux name=d "
        "d.video_0 ! queue ! rtpmp4vpay name=pay0 pt=96 "
        "d.audio_0 ! queue ! aacparse ! {1} name=pay1 pt=97 )"
    ).format(path, audio_payloader)


def main():
    port, path = sys.argv[1], sys.argv[2]
    seconds = int(sys.argv[3]) if len(sys.argv) > 3 else 60
    Gst.init(None)
    server = GstRtspServer.RTSPServer()
    server.set_address("127.0.0.1")
    server.set_service(port)
    mounts = server.get_mount_points()
    for mount, payloader in (("/generic", "rtpmp4gpay"), ("/latm", "rtpmp4apay")):
        factory = GstRtspServer.RTSPMediaFactory()
        factory.set_launch(launch(path, payloader))
        mounts.add_factory(mount, factory)
    if server.attach(None) == 0:
        print("cannot listen", flush=True)
        return 1
    loop = GLib.MainLoop()
    GLib.timeout_add_seconds(seconds, loop.quit)
    print("ready", flush=True)
    loop.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
