#include "protocols/sdp/sdp_printer.h"

#include <charconv>

namespace strevana {
namespace {

std::string fixed3(double value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
  if (result.ec != std::errc()) return "?";
  return std::string(buffer, result.ptr);
}

class Printer {
 public:
  std::string take() { return std::move(out_); }

  void session(const SdpSession& s, int index) {
    out_ += "session " + std::to_string(index) + "\n";
    const std::string in = "  ";
    line(in, "version", std::to_string(s.version));
    line(in, "origin",
         s.originUser.value_or("-") + " " + std::to_string(s.sessionId) + " " +
             std::to_string(s.sessionVersion) + " IN " + s.originAddressType + " " +
             s.originAddress);
    optional(in, "name", s.name);
    optional(in, "information", s.information);
    optional(in, "uri", s.uri);
    for (const auto& e : s.emails) line(in, "email", e);
    for (const auto& p : s.phones) line(in, "phone", p);
    connection(in, s.connection);
    bandwidths(in, s.bandwidths);
    for (const SdpTime& t : s.times) {
      line(in, "time", std::to_string(t.start) + " " + std::to_string(t.stop));
      for (const SdpRepeat& r : t.repeats) {
        std::string text = "interval " + std::to_string(r.interval) + " duration " +
                           std::to_string(r.activeDuration) + " offsets";
        for (uint32_t o : r.offsets) text += " " + std::to_string(o);
        line(in + "  ", "repeat", text);
      }
    }
    for (const SdpZoneAdjustment& z : s.zoneAdjustments) {
      line(in, "zone", std::to_string(z.time) + " " + std::to_string(z.offset));
    }
    key(in, s.key);
    optional(in, "keywds", s.keywds);
    optional(in, "tool", s.tool);
    optional(in, "charset", s.charset);
    optional(in, "sdplang", s.sdplang);
    optional(in, "lang", s.lang);
    optional(in, "control", s.control);
    optional(in, "etag", s.etag);
    if (s.conferenceType != 0) {
      line(in, "type",
           std::to_string(s.conferenceType) +
               (s.conferenceTypeText ? " " + *s.conferenceTypeText : ""));
    }
    direction(in, s.direction);
    range(in, s.range);
    if (s.categories) {
      std::string text;
      for (uint32_t c : *s.categories) text += (text.empty() ? "" : " ") + std::to_string(c);
      line(in, "categories", text);
    }
    for (const auto& a : s.attributes) line(in, "attribute", a);
    int mediaIndex = 1;
    for (const SdpMedia* m = s.media.get(); m != nullptr; m = m->next.get())
      media(*m, mediaIndex++);
  }

 private:
  void line(const std::string& indent, const char* name, const std::string& value) {
    out_ += indent;
    out_ += name;
    out_ += ": ";
    out_ += value;
    out_ += '\n';
  }

  void optional(const std::string& indent, const char* name,
                const std::optional<std::string>& value) {
    if (value) line(indent, name, *value);
  }

  void connection(const std::string& indent, const SdpConnection& c) {
    if (!c.used) return;
    std::string text = "IN " + c.networkType + " " + c.address;
    if (c.ttl != 0 || c.addressCount != 0) text += " ttl " + std::to_string(c.ttl);
    if (c.addressCount != 0) text += " count " + std::to_string(c.addressCount);
    line(indent, "connection", text);
  }

  void bandwidths(const std::string& indent, const std::vector<SdpBandwidth>& list) {
    for (const SdpBandwidth& b : list) {
      const char* kind = b.kind == SdpBandwidthKind::kConferenceTotal       ? "CT"
                         : b.kind == SdpBandwidthKind::kApplicationSpecific ? "AS"
                                                                            : nullptr;
      line(indent, "bandwidth",
           (kind != nullptr ? std::string(kind) : "other " + b.name) + " " +
               std::to_string(b.value));
    }
  }

  void key(const std::string& indent, const std::optional<SdpKey>& k) {
    if (!k) return;
    static const char* const kMethods[] = {"", "prompt", "clear", "base64", "uri"};
    const int method = static_cast<int>(k->method);
    std::string text = (method >= 1 && method <= 4) ? kMethods[method] : "?";
    if (k->method != SdpKeyMethod::kPrompt) text += " " + k->key;
    line(indent, "key", text);
  }

  void direction(const std::string& indent, const SdpDirection& d) {
    std::string text;
    if (d.recvOnly) text += " recvonly";
    if (d.sendRecv) text += " sendrecv";
    if (d.sendOnly) text += " sendonly";
    if (!text.empty()) line(indent, "direction", text.substr(1));
  }

  void range(const std::string& indent, const SdpRange& r) {
    if (!r.valid) return;
    std::string text = r.npt ? "npt " : "smpte " + fixed3(r.smpteFrameRate) + " ";
    text += (r.startNow ? std::string("now") : fixed3(r.start)) + "-";
    if (!r.openEnd) text += fixed3(r.end);
    line(indent, "range", text);
  }

  void media(const SdpMedia& m, int index) {
    std::string text = m.mediaType + " port " + std::to_string(m.port);
    if (m.portCount != 0) text += "/" + std::to_string(m.portCount);
    text += " protocol " + m.protocol + " formats";
    for (const SdpFormat* f = m.formats.get(); f != nullptr; f = f->next.get())
      text += " " + f->format;
    out_ += "  media " + std::to_string(index) + ": " + text + "\n";
    const std::string in = "    ";
    optional(in, "information", m.information);
    connection(in, m.connection);
    bandwidths(in, m.bandwidths);
    for (const SdpFormat* f = m.formats.get(); f != nullptr; f = f->next.get()) {
      if (f->rtpMap) {
        line(in, ("rtpmap " + f->format).c_str(),
             f->rtpMap->encodingName + " clock " + std::to_string(f->rtpMap->clockRate) +
                 " parameter " + std::to_string(f->rtpMap->encodingParameter));
      }
      if (f->formatParameters) line(in, ("fmtp " + f->format).c_str(), *f->formatParameters);
    }
    optional(in, "sdplang", m.sdplang);
    optional(in, "lang", m.lang);
    optional(in, "control", m.control);
    if (m.orientation != 0) {
      line(in, "orient",
           std::to_string(m.orientation) + (m.orientationText ? " " + *m.orientationText : ""));
    }
    direction(in, m.direction);
    if (m.ptimePresent) line(in, "ptime", std::to_string(m.ptime));
    if (m.qualityPresent) line(in, "quality", std::to_string(m.quality));
    if (m.frameRatePresent) line(in, "framerate", fixed3(m.frameRate));
    range(in, m.range);
    key(in, m.key);
    for (const auto& a : m.attributes) line(in, "attribute", a);
  }

  std::string out_;
};

}  // namespace

std::string printSdpSessions(const SdpSession* first) {
  Printer printer;
  int index = 1;
  for (const SdpSession* s = first; s != nullptr; s = s->next.get()) printer.session(*s, index++);
  return printer.take();
}

}  // namespace strevana
