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
  ASSERT_NE(pin, nullptr);
  CBufferElem* a = element(1, 1);
  CBufferElem* b = element(1, 2);
  CBufferElem* c = element(1, 3);
  EXPECT_EQ(pin->put(a), kPinOk);
  EXPECT_EQ(a, nullptr);  // ownership passed
  EXPECT_EQ(pin->put(b), kPinOk);
  EXPECT_EQ(pin->put(c), kPinFull);
  EXPECT_NE(c, nullptr);  // still the caller's
  EXPECT_EQ(pin->count(), 2u);
  CBufferElem* back = nullptr;
  EXPECT_EQ(pin->takeBack(back), kPinOk);
  EXPECT_EQ(back->desc().time(), 2u);
  EXPECT_EQ(pin->put(c), kPinOk);
  CBufferElem* first = pin->next();
  EXPECT_EQ(first->desc().time(), 1u);
  EXPECT_FALSE(pin->atEndOfStream());
  pin->endOfStream();
  EXPECT_FALSE(pin->atEndOfStream());  // one element still queued
  CBufferElem* second = pin->next();
  EXPECT_TRUE(pin->atEndOfStream());
  pin->resetEndOfStream();
  EXPECT_FALSE(pin->atEndOfStream());
  CIOStrmPin::freeBufferElem(back);
  CIOStrmPin::freeBufferElem(first);
  CIOStrmPin::freeBufferElem(second);
  CInStrmPin::destroyInstance(pin);
  EXPECT_EQ(pin, nullptr);
}

TEST(StreamPin, OutputPinReusesReleasedElements) {
  COutStrmPin* pin = COutStrmPin::createInstance(4);
  CBufferElem* taken = nullptr;
  EXPECT_EQ(pin->take(taken), kPinEmpty);
  EXPECT_EQ(taken, nullptr);
  CBufferElem* e = pin->obtain(100);
  CBufferElem* raw = e;
  e->desc().setSize(7, 9);
  ASSERT_EQ(pin->deliver(e), kPinOk);
  ASSERT_EQ(pin->take(taken), kPinOk);
  EXPECT_EQ(taken, raw);
  EXPECT_EQ(taken->desc().width(), 7);
  EXPECT_EQ(pin->releaseElement(taken), kPinOk);
  EXPECT_EQ(taken, nullptr);
  // Same memory, fresh descriptor, size as asked.
  CBufferElem* again = pin->obtain(60);
  EXPECT_EQ(again, raw);
  EXPECT_EQ(again->size(), 60u);
  EXPECT_EQ(again->desc().width(), 0);
  CBufferElem* bigger = again;
  EXPECT_EQ(pin->releaseElement(bigger), kPinOk);
  bigger = pin->obtain(500);
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
      CBufferElem* e = element(4, i);
      while (pin->put(e) != kPinOk) std::this_thread::yield();
    }
  });
  for (uint64_t expected = 0; expected < kCount;) {
    CBufferElem* e = pin->next();
    if (!e) std::this_thread::yield();
    if (!e) continue;
    ASSERT_EQ(e->desc().time(), expected++);
    CIOStrmPin::freeBufferElem(e);
    ASSERT_LE(pin->count(), 1024u);
  }
  producer.join();
  CInStrmPin::destroyInstance(pin);
}

}  // namespace
}  // namespace strevana
