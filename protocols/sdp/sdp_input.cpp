#include "protocols/sdp/sdp_input.h"

namespace strevana {

std::unique_ptr<SdpInput> makeSdpMemoryInput(std::string_view text) {
  auto input = std::make_unique<SdpInput>();
  input->inMemory = true;
  input->text.assign(text.substr(0, text.find('\0')));
  return input;
}

std::unique_ptr<SdpInput> makeSdpFileInput(const std::string& fileName) {
  std::FILE* file = std::fopen(fileName.c_str(), "rb");
  if (file == nullptr) return nullptr;
  auto input = std::make_unique<SdpInput>();
  input->file.reset(file);
  input->fileName = fileName;
  return input;
}

}  // namespace strevana
