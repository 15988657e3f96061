#pragma once
// strevana-bench modes, one file each. Each prints one line per figure.
int runColourBench(int argc, char** argv);   // strevana-bench colour
int runDecodeBench(int argc, char** argv);   // strevana-bench decode FILE [--format 5|10|11]
int runPresentBench(int argc, char** argv);  // strevana-bench present
int runSeekBench(int argc, char** argv);     // strevana-bench seek FILE
int runOpenBench(int argc, char** argv);     // strevana-bench open FILE
int runRtpBench(int argc, char** argv);      // strevana-bench rtp [--seconds S] ...
