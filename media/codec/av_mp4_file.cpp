#include "media/codec/av_mp4_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "media/codec/ffmpeg_quiet.h"
#include "media/codec/mp4_composition_offsets.h"
#include "media/codec/mp4_sample_claims.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

namespace strevana {

namespace {

// Tags the player's information window shows, in its order and with its labels.
constexpr struct {
  const char* key;
  const char* label;
} kUserTextTags[] = {{"title", "Title: "},
                     {"date", "Date: "},
                     {"copyright", "(c): "},
                     {"description", "Description: "}};

uint64_t nonNegative(int64_t t) { return t > 0 ? static_cast<uint64_t>(t) : 0; }

}  // namespace

MP4Err CMp4File::createInstance(CMp4File*& file) {
  file = new (std::nothrow) AvMp4File();
  return file ? kMp4Ok : kMp4ErrNoData;
}

MP4Err CMp4File::destroyInstance(CMp4File*& file) {
  delete file;
  file = nullptr;
  return kMp4Ok;
}

// ---- track ----

const AvMp4Track::Sample* AvMp4Track::sample(uint32_t number) const {
  if (number < 1 || number > samples_.size()) return nullptr;
  return &samples_[number - 1];
}

void AvMp4Track::sortByTime() {
  byTime_.clear();
  byTime_.reserve(samples_.size());
  for (uint32_t i = 0; i < samples_.size(); ++i) {
    if (!samples_[i].hidden) byTime_.push_back(i);
  }
  std::stable_sort(byTime_.begin(), byTime_.end(),
                   [this](uint32_t a, uint32_t b) { return samples_[a].time < samples_[b].time; });
}

MP4Err AvMp4Track::getSampleCount(uint32_t& count) {
  count = static_cast<uint32_t>(samples_.size());
  return kMp4Ok;
}

MP4Err AvMp4Track::getType(int32_t& type) {
  if (!file_.context()) return kMp4ErrNotOpen;
  switch (file_.context()->streams[streamIndex_]->codecpar->codec_type) {
    case AVMEDIA_TYPE_VIDEO: type = kMp4TrackVideo; break;
    case AVMEDIA_TYPE_AUDIO: type = kMp4TrackAudio; break;
    default: type = 0; break;
  }
  return kMp4Ok;
}

MP4Err AvMp4Track::getCodec(int32_t& code) {
  if (!file_.context()) return kMp4ErrNotOpen;
  switch (file_.context()->streams[streamIndex_]->codecpar->codec_id) {
    case AV_CODEC_ID_MPEG4: code = 1; return kMp4Ok;
    case AV_CODEC_ID_H263: code = 4; return kMp4Ok;
    case AV_CODEC_ID_AAC: code = 2; return kMp4Ok;
    case AV_CODEC_ID_AMR_WB: code = 5; return kMp4Ok;
    case AV_CODEC_ID_AMR_NB: code = 6; return kMp4Ok;
    default: return kMp4ErrUnsupported;
  }
}

MP4Err AvMp4Track::getTimeScale(uint32_t& unitsPerSecond) {
  if (!file_.context()) return kMp4ErrNotOpen;
  const AVRational tb = file_.context()->streams[streamIndex_]->time_base;
  if (tb.num != 1 || tb.den <= 0) return kMp4ErrUnsupported;
  unitsPerSecond = static_cast<uint32_t>(tb.den);
  return kMp4Ok;
}

MP4Err AvMp4Track::getDuration(uint64_t& duration) {
  if (!file_.context()) return kMp4ErrNotOpen;
  const AVStream* st = file_.context()->streams[streamIndex_];
  if (st->duration == AV_NOPTS_VALUE || st->duration < 0) return kMp4ErrNoData;
  duration = static_cast<uint64_t>(
      av_rescale_q_rnd(st->duration, st->time_base,
                       AVRational{1, static_cast<int>(kMp4FileTimeScale)}, AV_ROUND_DOWN));
  return kMp4Ok;
}

MP4Err AvMp4Track::getDisplaySize(uint32_t& width, uint32_t& height) {
  if (!file_.context()) return kMp4ErrNotOpen;
  const AVStream* st = file_.context()->streams[streamIndex_];
  if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
    width = height = 0;
    return kMp4Ok;
  }
  AVRational sar = st->sample_aspect_ratio;
  if (sar.num <= 0 || sar.den <= 0) sar = st->codecpar->sample_aspect_ratio;
  const int w = std::max(0, st->codecpar->width);
  const int h = std::max(0, st->codecpar->height);
  width = static_cast<uint32_t>(w);
  height = static_cast<uint32_t>(h);
  if (sar.num > 0 && sar.den > 0 && sar.num != sar.den) {
    const int64_t stretched = av_rescale(w, sar.num, sar.den);
    if (stretched > 0 && stretched <= 65535) width = static_cast<uint32_t>(stretched);
  }
  return kMp4Ok;
}

MP4Err AvMp4Track::getPictureSize(int16_t& width, int16_t& height) {
  if (!file_.context()) return kMp4ErrNotOpen;
  const AVCodecParameters* par = file_.context()->streams[streamIndex_]->codecpar;
  if (par->codec_type != AVMEDIA_TYPE_VIDEO || par->width <= 0 || par->height <= 0 ||
      par->width > INT16_MAX || par->height > INT16_MAX) {
    return kMp4ErrNoData;
  }
  width = static_cast<int16_t>(par->width);
  height = static_cast<int16_t>(par->height);
  return kMp4Ok;
}

MP4Err AvMp4Track::getChannels(int16_t& count) {
  if (!file_.context()) return kMp4ErrNotOpen;
  const AVCodecParameters* par = file_.context()->streams[streamIndex_]->codecpar;
  if (par->codec_type != AVMEDIA_TYPE_AUDIO || par->ch_layout.nb_channels <= 0 ||
      par->ch_layout.nb_channels > INT16_MAX) {
    return kMp4ErrNoData;
  }
  count = static_cast<int16_t>(par->ch_layout.nb_channels);
  return kMp4Ok;
}

MP4Err AvMp4Track::getSampleRate(uint32_t& rate) {
  if (!file_.context()) return kMp4ErrNotOpen;
  const AVCodecParameters* par = file_.context()->streams[streamIndex_]->codecpar;
  if (par->codec_type != AVMEDIA_TYPE_AUDIO || par->sample_rate <= 0) return kMp4ErrNoData;
  rate = static_cast<uint32_t>(par->sample_rate);
  return kMp4Ok;
}

MP4Err AvMp4Track::getConfig(uint32_t description, uint32_t bufferSize, uint32_t& length,
                             uint8_t* buffer) {
  length = 0;
  if (!file_.context()) return kMp4ErrNotOpen;
  if (description != 1) return kMp4ErrBadArgument;
  const AVCodecParameters* par = file_.context()->streams[streamIndex_]->codecpar;
  const uint32_t size = par->extradata_size > 0 ? static_cast<uint32_t>(par->extradata_size) : 0;
  if (size == 0) return kMp4Ok;
  if (!buffer) return kMp4ErrBadArgument;
  if (size > bufferSize) return kMp4ErrBufferTooSmall;
  std::memcpy(buffer, par->extradata, size);
  length = size;
  return kMp4Ok;
}

MP4Err AvMp4Track::getConfigSize(uint32_t description, uint32_t& size) {
  if (!file_.context()) return kMp4ErrNotOpen;
  if (description != 1) return kMp4ErrBadArgument;
  const AVCodecParameters* par = file_.context()->streams[streamIndex_]->codecpar;
  size = par->extradata_size > 0 ? static_cast<uint32_t>(par->extradata_size) : 0;
  return kMp4Ok;
}

MP4Err AvMp4Track::readSample(uint32_t number, uint32_t bufferSize, uint32_t& length,
                              uint8_t* buffer) {
  length = 0;
  const Sample* s = sample(number);
  if (!s || !s->readable) return kMp4ErrNoSuchSample;
  if (s->size > bufferSize) return kMp4ErrBufferTooSmall;
  if (s->size == 0) return kMp4Ok;
  if (!buffer) return kMp4ErrBadArgument;
  return file_.readAt(s->offset, s->size, buffer, length);
}

MP4Err AvMp4Track::getSampleSize(uint32_t number, uint32_t& size) {
  const Sample* s = sample(number);
  if (!s || !s->readable) return kMp4ErrNoSuchSample;
  size = s->size;
  return kMp4Ok;
}

MP4Err AvMp4Track::getSampleTime(uint32_t number, uint64_t& time) {
  const Sample* s = sample(number);
  if (!s) return kMp4ErrNoSuchSample;
  time = s->time;
  return kMp4Ok;
}

MP4Err AvMp4Track::findSample(uint64_t time, uint32_t& number) {
  if (byTime_.empty()) return kMp4ErrNoSuchSample;
  // Last in presentation order whose time is not after `time`; of several
  // with the same time the first.
  auto it = std::upper_bound(byTime_.begin(), byTime_.end(), time,
                             [this](uint64_t t, uint32_t i) { return t < samples_[i].time; });
  if (it == byTime_.begin()) {
    number = byTime_.front() + 1;
    return kMp4Ok;
  }
  const uint64_t found = samples_[*(it - 1)].time;
  auto first = std::lower_bound(byTime_.begin(), it, found,
                                [this](uint32_t i, uint64_t t) { return samples_[i].time < t; });
  number = *first + 1;
  return kMp4Ok;
}

MP4Err AvMp4Track::getSampleLeadIn(uint32_t number, uint64_t& units) {
  const Sample* s = sample(number);
  if (!s) return kMp4ErrNoSuchSample;
  units = s->leadIn;
  return kMp4Ok;
}

MP4Err AvMp4Track::findSyncSample(uint64_t time, uint32_t& number) {
  for (size_t i = samples_.size(); i-- > 0;) {
    if (samples_[i].sync && samples_[i].time <= time) {
      number = static_cast<uint32_t>(i + 1);
      return kMp4Ok;
    }
  }
  return kMp4ErrNoSuchSample;
}

// ---- file ----

AvMp4File::AvMp4File() { silenceFfmpegLog(); }

AvMp4File::~AvMp4File() { close(); }

MP4Err AvMp4File::open(const char* path, int32_t, int32_t) {
  if (!path) return kMp4ErrBadArgument;
  close();
  // Sample counts no file of this size can hold are refused before
  // libavformat makes an index entry for each of them.
  if (std::FILE* f = std::fopen(path, "rb")) {
    const Mp4SampleClaims claims = scanMp4SampleClaims(f);
    std::fclose(f);
    if (claimsImpossibleSampleCount(claims)) return kMp4ErrOpenFailed;
  }
  // Only the MP4 family: a renamed file of another kind is not this library's.
  const AVInputFormat* mov = av_find_input_format("mov");
  if (avformat_open_input(&context_, path, mov, nullptr) < 0) {
    context_ = nullptr;
    return kMp4ErrOpenFailed;
  }
  // The sample descriptions alone leave some picture sizes unset; a short look
  // at the first samples fills them in.
  context_->max_analyze_duration = AV_TIME_BASE / 2;
  if (avformat_find_stream_info(context_, nullptr) < 0) {
    avformat_close_input(&context_);
    context_ = nullptr;
    return kMp4ErrOpenFailed;
  }
  const int64_t fileSize = context_->pb ? avio_size(context_->pb) : -1;
  try {
    for (unsigned i = 0; i < context_->nb_streams; ++i) {
      AVStream* st = context_->streams[i];
      auto track = std::make_unique<AvMp4Track>(*this, static_cast<int>(i));
      int n = avformat_index_get_entries_count(st);
      // Never more samples than bytes (see mp4_sample_claims.h).
      if (fileSize >= 0 && n > fileSize) n = static_cast<int>(fileSize);
      auto& samples = track->samples();
      samples.reserve(static_cast<size_t>(std::max(0, n)));
      for (int k = 0; k < n; ++k) {
        const AVIndexEntry* e = avformat_index_get_entry(st, k);
        if (!e) break;
        AvMp4Track::Sample s;
        s.offset = e->pos;
        s.size = e->size > 0 ? static_cast<uint32_t>(e->size) : 0;
        s.time = nonNegative(e->timestamp);
        s.leadIn = nonNegative(-e->timestamp);
        // libavformat marks the samples an edit list leaves out entirely.
        s.hidden = (e->flags & AVINDEX_DISCARD_FRAME) != 0;
        s.sync = (e->flags & AVINDEX_KEYFRAME) != 0;
        // Bytes beyond the end of the file (a cut file, a damaged table) are
        // never read.
        s.readable =
            e->pos >= 0 && (fileSize < 0 || e->pos + static_cast<int64_t>(s.size) <= fileSize);
        samples.push_back(s);
      }
      tracks_.push_back(std::move(track));
    }
    learnPresentationTimes(path);
    for (auto& t : tracks_) t->sortByTime();

    std::string text;
    for (const auto& tag : kUserTextTags) {
      const AVDictionaryEntry* e = av_dict_get(context_->metadata, tag.key, nullptr, 0);
      if (!e || !e->value || !*e->value) continue;
      if (!text.empty()) text += ';';
      text += tag.label;
      text += e->value;
    }
    userText_ = std::move(text);
  } catch (const std::bad_alloc&) {
    close();
    return kMp4ErrNoData;
  }
  return kMp4Ok;
}

bool AvMp4File::applyCompositionOffsets(std::FILE* file, unsigned track) {
  const Mp4CompositionOffsets offsets = readMp4CompositionOffsets(file, static_cast<int>(track));
  if (!offsets.usable) return false;
  if (!offsets.present) return true;  // stored in display order: the index times stand
  auto& samples = tracks_[track]->samples();
  std::vector<std::pair<uint64_t, uint64_t>> learnt(samples.size());
  for (size_t n = 0; n < samples.size(); ++n) {
    const AVIndexEntry* e = avformat_index_get_entry(context_->streams[track], static_cast<int>(n));
    const auto found = offsets.byPosition.find(samples[n].offset);
    if (!e || found == offsets.byPosition.end()) return false;
    // As libavformat stamps the packets: the (edited) decode time plus the
    // sample's composition offset.
    const int64_t pts = e->timestamp + found->second;
    learnt[n] = {nonNegative(pts), nonNegative(-pts)};
  }
  for (size_t n = 0; n < samples.size(); ++n) {
    samples[n].time = learnt[n].first;
    samples[n].leadIn = learnt[n].second;
  }
  return true;
}

void AvMp4File::learnPresentationTimes(const char* path) {
  // libavformat keeps the composition offsets to itself. They are read from
  // the file's own sample tables; only where that fails do the packets tell
  // (a look at the first pictures says whether a track is reordered at all,
  // and only then is the whole file read through).
  constexpr size_t kProbePictures = 64;
  std::vector<bool> video(context_->nb_streams, false);
  bool any = false;
  std::FILE* file = std::fopen(path, "rb");
  for (unsigned i = 0; i < context_->nb_streams; ++i) {
    if (context_->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
        !tracks_[i]->samples().empty() && !(file && applyCompositionOffsets(file, i))) {
      video[i] = true;
      any = true;
    }
  }
  if (file) std::fclose(file);
  if (!any) return;
  std::vector<size_t> next(context_->nb_streams, 0);
  std::vector<std::pair<size_t, uint64_t>> learnt;
  bool reordered = false;
  AVPacket* packet = av_packet_alloc();
  if (!packet) return;
  while (av_read_frame(context_, packet) >= 0) {
    const auto i = static_cast<unsigned>(packet->stream_index);
    if (i < video.size() && video[i]) {
      auto& samples = tracks_[i]->samples();
      const size_t n = next[i]++;
      // Packets of a track come in sample order; the offset confirms the match.
      if (n < samples.size() && samples[n].offset == packet->pos && packet->pts != AV_NOPTS_VALUE) {
        const AVIndexEntry* e = avformat_index_get_entry(context_->streams[i], static_cast<int>(n));
        if (e && e->timestamp != packet->pts) reordered = true;
        samples[n].time = nonNegative(packet->pts);
        samples[n].leadIn = nonNegative(-packet->pts);
      }
      if (!reordered && n + 1 >= kProbePictures) {
        bool done = true;
        for (unsigned j = 0; j < video.size(); ++j) {
          if (video[j] && next[j] < std::min(kProbePictures, tracks_[j]->samples().size()))
            done = false;
        }
        if (done) {
          av_packet_unref(packet);
          break;
        }
      }
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
}

MP4Err AvMp4File::close() {
  tracks_.clear();
  userText_.clear();
  if (context_) avformat_close_input(&context_);
  context_ = nullptr;
  return kMp4Ok;
}

MP4Err AvMp4File::getTrackCount(uint32_t& count) {
  if (!context_) return kMp4ErrNotOpen;
  count = static_cast<uint32_t>(tracks_.size());
  return kMp4Ok;
}

MP4Err AvMp4File::getTimeScale(uint32_t& unitsPerSecond) {
  if (!context_) return kMp4ErrNotOpen;
  unitsPerSecond = kMp4FileTimeScale;
  return kMp4Ok;
}

MP4Err AvMp4File::getUserText(const char* language, char* buffer, uint32_t& length, int32_t) {
  if (!context_) return kMp4ErrNotOpen;
  if (!language || std::strcmp(language, "eng") != 0) return kMp4ErrNoData;
  if (userText_.empty()) {
    length = 0;
    return kMp4ErrNoData;
  }
  const auto size = static_cast<uint32_t>(std::min<size_t>(userText_.size(), UINT32_MAX));
  if (!buffer) {
    length = size;
    return kMp4Ok;
  }
  if (length < size) return kMp4ErrBufferTooSmall;
  std::memcpy(buffer, userText_.data(), size);
  length = size;
  return kMp4Ok;
}

MP4Err AvMp4File::getTrack(uint32_t index, CMp4Track*& track) {
  if (!context_) return kMp4ErrNotOpen;
  if (index < 1 || index > tracks_.size()) return kMp4ErrNoSuchTrack;
  track = tracks_[index - 1].get();
  return kMp4Ok;
}

MP4Err AvMp4File::releaseTrack(CMp4Track* track) {
  for (const auto& t : tracks_) {
    if (t.get() == track) return kMp4Ok;
  }
  return kMp4ErrNoSuchTrack;
}

MP4Err AvMp4File::readAt(int64_t offset, uint32_t size, uint8_t* buffer, uint32_t& length) {
  length = 0;
  if (!context_ || !context_->pb) return kMp4ErrNotOpen;
  if (avio_seek(context_->pb, offset, SEEK_SET) < 0) return kMp4ErrIo;
  const int got = avio_read(context_->pb, buffer, static_cast<int>(size));
  if (got < 0) return kMp4ErrIo;
  length = static_cast<uint32_t>(got);
  return length == size ? kMp4Ok : kMp4ErrIo;
}

}  // namespace strevana
