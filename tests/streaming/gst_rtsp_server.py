#!/usr/bin/python3
"""A GStreamer RTSP server on 127.0.0.1 for the streaming tests.

Serves one MP4 file (MPEG-4 visual and AAC) on two mounts:
  /generic  video as MP4V-ES, audio as mpeg4-generic (RFC 3640)
  /latm     video as MP4V-ES, audio as MP4A-LATM (RFC 3016)

usage: gst_rtsp_server.py PORT FILE [SECONDS] [--tcp-only] [--digest USER:PASSWORD]
Prints "ready" once it listens; quits by itself after SECONDS (default 60).
  --tcp-only  media only inside the RTSP connection (RFC 2326 10.12): a SETUP
              asking for UDP gets 461 Unsupported Transport
  --digest    every mount asks for a Digest login (RFC 2617) as USER:PASSWORD
"""
import sys

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
    server.set_service(port)
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
    loop = GLib.MainLoop()
    GLib.timeout_add_seconds(seconds, loop.quit)
    print("ready", flush=True)
    loop.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
