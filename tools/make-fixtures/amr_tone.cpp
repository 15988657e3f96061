// strevana-amr-tone OUT.amr nb|wb SECONDS FREQUENCY
// Writes a sine tone as an AMR storage-format file (RFC 4867 section 5), so
// that the fixture script can mux AMR-NB and AMR-WB tracks with ffmpeg even
// where ffmpeg itself was built without the AMR encoders.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" {
#include <opencore-amrnb/interf_enc.h>
#include <vo-amrwbenc/enc_if.h>
}

int main(int argc, char** argv) {
  if (argc != 5 || (std::strcmp(argv[2], "nb") != 0 && std::strcmp(argv[2], "wb") != 0)) {
    std::fprintf(stderr, "usage: strevana-amr-tone OUT.amr nb|wb SECONDS FREQUENCY\n");
    return 2;
  }
  const bool wide = std::strcmp(argv[2], "wb") == 0;
  const double seconds = std::atof(argv[3]);
  const double frequency = std::atof(argv[4]);
  const int rate = wide ? 16000 : 8000;
  const int frameSamples = wide ? 320 : 160;
  const int frames = static_cast<int>(seconds * rate / frameSamples);

  FILE* out = std::fopen(argv[1], "wb");
  if (!out) {
    std::perror(argv[1]);
    return 1;
  }
  const char* magic = wide ? "#!AMR-WB\n" : "#!AMR\n";
  std::fwrite(magic, 1, std::strlen(magic), out);

  void* nb = wide ? nullptr : Encoder_Interface_init(0);
  void* wb = wide ? E_IF_init() : nullptr;
  std::vector<short> pcm(static_cast<size_t>(frameSamples));
  unsigned char packet[128];
  long n = 0;
  for (int f = 0; f < frames; ++f) {
    for (auto& s : pcm) {
      s = static_cast<short>(8000.0 *
                             std::sin(2.0 * M_PI * frequency * static_cast<double>(n++) / rate));
    }
    const int bytes = wide ? E_IF_encode(wb, 8, pcm.data(), packet, 0)
                           : Encoder_Interface_Encode(nb, MR122, pcm.data(), packet, 0);
    if (bytes > 0) std::fwrite(packet, 1, static_cast<size_t>(bytes), out);
  }
  if (nb) Encoder_Interface_exit(nb);
  if (wb) E_IF_exit(wb);
  return std::fclose(out) == 0 ? 0 : 1;
}
