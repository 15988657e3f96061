#include "media/codec/stream_pin.h"

#include <new>

namespace strevana {

namespace {
// Released elements kept per pin for reuse; enough for the picture in use and
// one in flight.
constexpr size_t kSpareLimit = 4;
}  // namespace

int32_t CIOStrmPin::allocateBufferElem(CBufferElem*& element, uint32_t size) {
  element = new (std::nothrow) CBufferElem(0);
  if (!element) return kPinNoMemory;
  try {
    element->resize(size);
  } catch (const std::bad_alloc&) {
    delete element;
    element = nullptr;
    return kPinNoMemory;
  }
  return kPinOk;
}

int32_t CIOStrmPin::getData(CBufferElem* element, uint8_t*& data, uint32_t& size) {
  if (!element) {
    data = nullptr;
    size = 0;
    return kPinBadArgument;
  }
  data = element->data();
  size = element->size();
  return kPinOk;
}

int32_t CIOStrmPin::getDesc(CBufferElem* element, CVidStreamPayloadDesc*& desc) {
  desc = element ? &element->desc() : nullptr;
  return element ? kPinOk : kPinBadArgument;
}

void CIOStrmPin::freeBufferElem(CBufferElem*& element) {
  delete element;
  element = nullptr;
}

CIOStrmPin::~CIOStrmPin() {
  for (CBufferElem* e : queue_) delete e;
  for (CBufferElem* e : spare_) delete e;
}

int32_t CIOStrmPin::releaseElement(CBufferElem*& element) {
  if (!element) return kPinBadArgument;
  element->hold(nullptr);  // the decoder's picture goes back now, not at reuse
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (spare_.size() < kSpareLimit) {
      spare_.push_back(element);
      element = nullptr;
      return kPinOk;
    }
  }
  freeBufferElem(element);
  return kPinOk;
}

uint32_t CIOStrmPin::count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<uint32_t>(queue_.size());
}

void CIOStrmPin::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (CBufferElem* e : queue_) delete e;
  queue_.clear();
}

int32_t CIOStrmPin::push(CBufferElem*& element) {
  if (!element) return kPinBadArgument;
  std::lock_guard<std::mutex> lock(mutex_);
  if (queue_.size() >= capacity_) return kPinFull;
  queue_.push_back(element);
  element = nullptr;
  return kPinOk;
}

CBufferElem* CIOStrmPin::pop() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (queue_.empty()) return nullptr;
  CBufferElem* e = queue_.front();
  queue_.pop_front();
  return e;
}

CBufferElem* CIOStrmPin::popBack() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (queue_.empty()) return nullptr;
  CBufferElem* e = queue_.back();
  queue_.pop_back();
  return e;
}

CInStrmPin* CInStrmPin::createInstance(uint32_t capacity) {
  return new (std::nothrow) CInStrmPin(capacity);
}

void CInStrmPin::destroyInstance(CInStrmPin*& pin) {
  delete pin;
  pin = nullptr;
}

void CInStrmPin::endOfStream() {
  std::lock_guard<std::mutex> lock(mutex_);
  endOfStream_ = true;
}

int32_t CInStrmPin::put(CBufferElem*& element) { return push(element); }

int32_t CInStrmPin::takeBack(CBufferElem*& element) {
  element = popBack();
  return element ? kPinOk : kPinEmpty;
}

bool CInStrmPin::atEndOfStream() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return endOfStream_ && queue_.empty();
}

void CInStrmPin::resetEndOfStream() {
  std::lock_guard<std::mutex> lock(mutex_);
  endOfStream_ = false;
}

COutStrmPin* COutStrmPin::createInstance(uint32_t capacity) {
  return new (std::nothrow) COutStrmPin(capacity);
}

void COutStrmPin::destroyInstance(COutStrmPin*& pin) {
  delete pin;
  pin = nullptr;
}

int32_t COutStrmPin::isFinished() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return finished_ ? 1 : 0;
}

int32_t COutStrmPin::take(CBufferElem*& element) {
  element = pop();
  return element ? kPinOk : kPinEmpty;
}

CBufferElem* COutStrmPin::obtain(uint32_t size) {
  CBufferElem* e = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!spare_.empty()) {
      e = spare_.back();
      spare_.pop_back();
    }
  }
  try {
    if (!e) e = new CBufferElem(size);
    if (e->capacity() < size) e->resize(size);
    e->setSize(size);
  } catch (const std::bad_alloc&) {
    delete e;
    return nullptr;
  }
  e->desc() = CVidStreamPayloadDesc();
  return e;
}

void COutStrmPin::setFinished(bool finished) {
  std::lock_guard<std::mutex> lock(mutex_);
  finished_ = finished;
}

}  // namespace strevana
