#pragma once
// The stream-pin library: buffer elements (an owned byte payload with a
// picture descriptor) and the pins through which sources feed decoders and
// take their output.
//
// A pin is a thread-safe FIFO of owned elements with the capacity it was
// created with; producer and consumer may sit on different threads. Elements
// put into a pin belong to it; an element taken from a pin belongs to the
// taker until it is put elsewhere, given back with releaseElement, or freed.
// Results: 0 for success, a negative kPin* code for failure.
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace strevana {

constexpr int32_t kPinOk = 0;
constexpr int32_t kPinFull = -1;   // the pin holds its capacity already
constexpr int32_t kPinEmpty = -2;  // nothing to take
constexpr int32_t kPinBadArgument = -3;
constexpr int32_t kPinNoMemory = -4;

// Time stamp and picture size attached to an element. The time stamp is
// whatever the feeder put there (track units for the file source, RTP clock
// units for streams); decoders copy it to the pictures they make.
class CVidStreamPayloadDesc {
 public:
  virtual ~CVidStreamPayloadDesc() = default;
  virtual int32_t width() const { return width_; }             // slot 4
  virtual int32_t height() const { return height_; }           // slot 5
  virtual int32_t needsBlanking() const { return blanking_; }  // slot 8
  // Marks a picture as shown again (a step back on a stream); nothing reads it.
  virtual void markRepeated() { repeated_ = 1; }       // slot 16
  virtual uint64_t time() const { return time_; }      // slot 18
  virtual void setTime(uint32_t low, uint32_t high) {  // slot 19
    time_ = (static_cast<uint64_t>(high) << 32) | low;
  }

  // Library side.
  void setSize(int32_t w, int32_t h) {
    width_ = w;
    height_ = h;
  }
  void setNeedsBlanking(int32_t flag) { blanking_ = flag; }
  void setTime64(uint64_t t) { time_ = t; }
  int32_t repeated() const { return repeated_; }

 private:
  uint64_t time_ = 0;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t blanking_ = 0;
  int32_t repeated_ = 0;
};

// A picture a decoder keeps in its own form and writes out only when it is
// copied to where it is shown: one conversion instead of a conversion and a
// copy. An output element may carry one; its bytes are then not filled.
// Threads: whoever holds the element. Ownership: the element's.
class HeldPicture {
 public:
  virtual ~HeldPicture() = default;
  // Writes the picture, in the decoder's output format, into dst as rows
  // dstStride bytes apart (planar YUV 4:2:0 as contiguous planes, dstStride
  // unused). Nothing is written past the picture's rows. False on failure.
  virtual bool writeTo(uint8_t* dst, int32_t dstStride) = 0;
};

// A byte payload of fixed capacity; `size` is how much of it is used (all of
// it for fed samples, the bytes produced for decoder output).
class CBufferElem {
 public:
  explicit CBufferElem(uint32_t capacity) : bytes_(capacity), size_(capacity) {}
  CBufferElem(const CBufferElem&) = delete;
  CBufferElem& operator=(const CBufferElem&) = delete;

  uint8_t* data() { return bytes_.data(); }
  const uint8_t* data() const { return bytes_.data(); }
  uint32_t capacity() const { return static_cast<uint32_t>(bytes_.size()); }
  uint32_t size() const { return size_; }
  // Never beyond the capacity.
  void setSize(uint32_t n) { size_ = n < capacity() ? n : capacity(); }
  // Grows or shrinks the payload (contents not kept).
  void resize(uint32_t n) {
    bytes_.resize(n);
    size_ = n;
  }
  CVidStreamPayloadDesc& desc() { return desc_; }
  const CVidStreamPayloadDesc& desc() const { return desc_; }
  // The held picture, if any (null once released or given back to a pin).
  HeldPicture* heldPicture() const { return held_.get(); }
  void hold(std::unique_ptr<HeldPicture> picture) { held_ = std::move(picture); }

 private:
  std::vector<uint8_t> bytes_;
  std::unique_ptr<HeldPicture> held_;
  uint32_t size_;
  CVidStreamPayloadDesc desc_;
};

// Shared part of input and output pins.
class CIOStrmPin {
 public:
  // A new element with a payload of size bytes (size 0 allowed).
  static int32_t allocateBufferElem(CBufferElem*& element, uint32_t size);
  static int32_t getData(CBufferElem* element, uint8_t*& data, uint32_t& size);
  static int32_t getDesc(CBufferElem* element, CVidStreamPayloadDesc*& desc);
  // Frees the element and clears the reference.
  static void freeBufferElem(CBufferElem*& element);

  explicit CIOStrmPin(uint32_t capacity) : capacity_(capacity) {}
  CIOStrmPin(const CIOStrmPin&) = delete;
  CIOStrmPin& operator=(const CIOStrmPin&) = delete;
  virtual ~CIOStrmPin();

  // Slot 1: gives back an element taken from this pin. The pin keeps a few for
  // reuse by its producer, so pictures do not cost an allocation each.
  virtual int32_t releaseElement(CBufferElem*& element);
  // Slot 2: elements queued.
  virtual uint32_t count() const;

  uint32_t capacity() const { return capacity_; }
  // Drops every queued element (used when a decoder seeks).
  void clear();

 protected:
  // Appends when there is room; ownership passes only on success.
  int32_t push(CBufferElem*& element);
  CBufferElem* pop();
  CBufferElem* popBack();

  mutable std::mutex mutex_;
  std::deque<CBufferElem*> queue_;
  std::vector<CBufferElem*> spare_;  // released elements kept for reuse
  const uint32_t capacity_;
};

// Where a source puts coded samples for a decoder.
class CInStrmPin : public CIOStrmPin {
 public:
  static CInStrmPin* createInstance(uint32_t capacity);
  static void destroyInstance(CInStrmPin*& pin);

  using CIOStrmPin::CIOStrmPin;
  // Slot 5: no more input will come (until the decoder seeks).
  virtual void endOfStream();
  // Slot 8: ownership passes to the pin and the reference is cleared; on
  // failure (pin full, null element) the caller keeps the element.
  virtual int32_t put(CBufferElem*& element);
  // Slot 9: takes back the element put last (null when empty).
  virtual int32_t takeBack(CBufferElem*& element);

  // Decoder side.
  CBufferElem* next() { return pop(); }
  bool atEndOfStream() const;
  void resetEndOfStream();

 private:
  bool endOfStream_ = false;
};

// Where a decoder delivers its output.
class COutStrmPin : public CIOStrmPin {
 public:
  static COutStrmPin* createInstance(uint32_t capacity);
  static void destroyInstance(COutStrmPin*& pin);

  using CIOStrmPin::CIOStrmPin;
  // Slot 6: non-zero once the producer has ended.
  virtual int32_t isFinished() const;
  // Slot 8: the oldest element, or null (result kPinEmpty) when empty.
  virtual int32_t take(CBufferElem*& element);

  // Decoder side: an element of at least size bytes, reused when possible.
  CBufferElem* obtain(uint32_t size);
  int32_t deliver(CBufferElem*& element) { return push(element); }
  void setFinished(bool finished);

 private:
  bool finished_ = false;
};

}  // namespace strevana
