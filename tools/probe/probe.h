#pragma once
// strevana-probe modes, one file each.
int runFileProbe(const char* path);  // what the movie information window shows for a file
int runSdpProbe(const char* path);   // the decoded session description of an .sdp file
// A stream (rtsp:// URL or .sdp file) played for `seconds`, then what the
// information window shows.
int runStreamProbe(const char* location, int seconds);
