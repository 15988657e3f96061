#pragma once
// strevana-bench modes, one file each. Each prints one line per figure.
int runColourBench(int argc, char** argv);  // strevana-bench colour
int runDecodeBench(int argc, char** argv);  // strevana-bench decode FILE [--format 5|10|11]
