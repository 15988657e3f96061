#include "media/codec/stream_pin.h"

#include <gtest/gtest.h>

namespace strevana {
namespace {

CBufferElem* element(uint32_t size, uint64_t time) {
  CBufferElem* e = nullptr;
  EXPECT_EQ(CIOStrmPin::allocateBufferElem(e, size), kPinOk);
  e->desc().setTime(static_cast<uint32_t>(time), static_cast<uint32_t>(time >> 32));
  return e;
}

TEST(StreamPin, InputPinIsAFifoWithItsCapacityAndEnd) {
  CInStrmPin* pin = CInStrmPin::createInstance(2);
  CBufferElem *a = element(1, 1ull << 33), *b = element(1, 2), *c = element(1, 3);
  EXPECT_EQ(pin->put(a), kPinOk);
  EXPECT_EQ(a, nullptr);  // ownership passed
  EXPECT_EQ(pin->put(b), kPinOk);
  EXPECT_EQ(pin->put(c), kPinFull);
  ASSERT_NE(c, nullptr);  // still the caller's
  EXPECT_EQ(pin->count(), 2u);
  CBufferElem* got[3] = {pin->next()};
  EXPECT_EQ(pin->put(c), kPinOk);
  pin->endOfStream();
  got[1] = pin->next();
  EXPECT_FALSE(pin->atEndOfStream());  // one element still queued
  got[2] = pin->next();
  EXPECT_TRUE(pin->atEndOfStream());
  pin->resetEndOfStream();
  EXPECT_FALSE(pin->atEndOfStream());
  for (uint64_t i = 0; i < 3; ++i) {
    EXPECT_EQ(got[i]->desc().time(), i ? i + 1 : 1ull << 33) << i;
    CIOStrmPin::freeBufferElem(got[i]);
  }
  CInStrmPin::destroyInstance(pin);
  EXPECT_EQ(pin, nullptr);
}

}  // namespace
}  // namespace strevana
