#include "media/codec/stream_pin.h"

#include <gtest/gtest.h>

#include <thread>

namespace strevana {
namespace {

CBufferElem* element(uint32_t size, uint64_t time) {
  CBufferElem* e = nullptr;
  EXPECT_EQ(CIOStrmPin::allocateBufferElem(e, size), kPinOk);
  e->desc().setTime(static_cast<uint32_t>(time), static_cast<uint32_t>(time >> 32));
  return e;
}

TEST(StreamPin, InputPinIsAFifoWithItsCapacity) {
  CInStrmPin* pin = CInStrmPin::createInstance(2);
  CBufferElem *a = element(1, 1), *b = element(1, 2), *c = element(1, 3);
  EXPECT_EQ(pin->put(a), kPinOk);
  EXPECT_EQ(a, nullptr);  // ownership passed
  EXPECT_EQ(pin->put(b), kPinOk);
  EXPECT_EQ(pin->put(c), kPinFull);
  ASSERT_NE(c, nullptr);  // still the caller's
  EXPECT_EQ(pin->count(), 2u);
  CBufferElem* first = pin->next();
  EXPECT_EQ(first->desc().time(), 1u);
  EXPECT_EQ(pin->put(c), kPinOk);
  pin->endOfStream();
  CBufferElem* second = pin->next();
  EXPECT_EQ(second->desc().time(), 2u);
  EXPECT_FALSE(pin->atEndOfStream());  // one element still queued
  CBufferElem* back = pin->next();
  EXPECT_EQ(back->desc().time(), 3u);
  EXPECT_TRUE(pin->atEndOfStream());
  pin->resetEndOfStream();
  EXPECT_FALSE(pin->atEndOfStream());
  for (CBufferElem* e : {back, first, second}) CIOStrmPin::freeBufferElem(e);
  CInStrmPin::destroyInstance(pin);
  EXPECT_EQ(pin, nullptr);
}

TEST(StreamPin, OutputPinReusesReleasedElements) {
  COutStrmPin* pin = COutStrmPin::createInstance(4);
  CBufferElem* taken = nullptr;
  EXPECT_EQ(pin->take(taken), kPinEmpty);
  CBufferElem* e = pin->obtain(100);
  CBufferElem* raw = e;
  e->desc().setSize(7, 9);
  ASSERT_EQ(pin->deliver(e), kPinOk);
  ASSERT_EQ(pin->take(taken), kPinOk);
  EXPECT_EQ(taken, raw);
  EXPECT_EQ(taken->desc().width(), 7);
  EXPECT_EQ(pin->releaseElement(taken), kPinOk);
  EXPECT_EQ(taken, nullptr);
  CBufferElem* again = pin->obtain(60);  // same memory, fresh descriptor, size as asked
  EXPECT_EQ(again, raw);
  EXPECT_EQ(again->size() * 100 + again->desc().width(), 6000u);
  EXPECT_EQ(pin->releaseElement(again), kPinOk);
  CBufferElem* bigger = pin->obtain(500);
  EXPECT_GE(bigger->capacity(), 500u);
  EXPECT_EQ(bigger->size(), 500u);
  CIOStrmPin::freeBufferElem(bigger);
  EXPECT_EQ(pin->isFinished(), 0);
  pin->setFinished(true);
  EXPECT_NE(pin->isFinished(), 0);
  COutStrmPin::destroyInstance(pin);
}

TEST(StreamPin, ProducerAndConsumerOnTwoThreads) {
  CInStrmPin* pin = CInStrmPin::createInstance(1024);
  constexpr uint64_t kCount = 20000;
  std::thread producer([&] {
    for (uint64_t i = 0; i < kCount; ++i) {
      CBufferElem* e = element(4, i << 20);  // times past 32 bits
      while (pin->put(e) != kPinOk) std::this_thread::yield();
    }
  });
  for (uint64_t expected = 0; expected < kCount;) {
    CBufferElem* e = pin->next();
    if (!e) std::this_thread::yield();
    if (!e) continue;
    EXPECT_EQ(e->desc().time(), expected++ << 20);
    CIOStrmPin::freeBufferElem(e);
    EXPECT_LE(pin->count(), 1024u);
  }
  producer.join();
  CInStrmPin::destroyInstance(pin);
}

}  // namespace
}  // namespace strevana
