#pragma once
// strevana-probe modes, one file each.
int runFileProbe(const char* path);  // what the movie information window shows for a file
int runSdpProbe(const char* path);   // the decoded session description of an .sdp file
