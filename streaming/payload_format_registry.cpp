#include "streaming/payload_format_registry.h"

#include <strings.h>

#include "streaming/mp4a_latm_format.h"
#include "streaming/mp4v_es_format.h"
#include "streaming/mpeg4_generic_format.h"

namespace strevana {
namespace {

struct Registration {
  std::string_view name;
  std::unique_ptr<PayloadFormat> (*make)(const PayloadFormatParameters& parameters);
};

constexpr Registration kFormats[] = {
    {Mp4vEsFormat::kName,
     [](const PayloadFormatParameters& p) -> std::unique_ptr<PayloadFormat> {
       return std::make_unique<Mp4vEsFormat>(p);
     }},
    {Mp4aLatmFormat::kName,
     [](const PayloadFormatParameters&) -> std::unique_ptr<PayloadFormat> {
       return std::make_unique<Mp4aLatmFormat>();
     }},
    {Mpeg4GenericFormat::kName,
     [](const PayloadFormatParameters& p) -> std::unique_ptr<PayloadFormat> {
       return std::make_unique<Mpeg4GenericFormat>(p);
     }},
};

}  // namespace

std::unique_ptr<PayloadFormat> createPayloadFormat(std::string_view encodingName,
                                                   const PayloadFormatParameters& parameters) {
  for (const Registration& r : kFormats) {
    if (r.name.size() == encodingName.size() &&
        ::strncasecmp(r.name.data(), encodingName.data(), encodingName.size()) == 0) {
      return r.make(parameters);
    }
  }
  return nullptr;
}

}  // namespace strevana
