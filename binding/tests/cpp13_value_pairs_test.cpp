// The attribute and parameter value-pair adapters and what they share.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "cpp13_ahvps.h"
#include "cpp13_phvps.h"

using namespace brindle;
using namespace varnel;
using namespace halden13;

namespace {

template <typename F>
std::string reason_of(F f) {
  try {
    f();
  } catch (const rti13::Exception& e) {
    return std::string(e._name) + ": " + (e._reason ? e._reason : "nil");
  }
  return "no exception";
}

std::unique_ptr<rti13::AttributeHandleValuePairSet> attributes(int pairs) {
  std::unique_ptr<rti13::AttributeHandleValuePairSet> set(rti13::AttributeSetFactory::create(pairs));
  for (int i = 0; i < pairs; ++i) {
    const std::string value = "value" + std::to_string(i);
    set->add(10 + i, value.data(), value.size());
  }
  return set;
}

TEST(Cpp13Ahvps, ValuesByIndex) {
  auto set = attributes(3);
  EXPECT_EQ(set->size(), 3ul);
  EXPECT_EQ(set->getHandle(1), 11ul);
  EXPECT_EQ(set->getValueLength(2), 6ul);

  char buffer[16] = {};
  rti13::ULong length = 0;
  set->getValue(0, buffer, length);
  EXPECT_EQ(length, 6ul);
  EXPECT_EQ(std::string(buffer, length), "value0");

  rti13::ULong in_place_length = 0;
  const char* in_place = set->getValuePointer(1, in_place_length);
  EXPECT_EQ(std::string(in_place, in_place_length), "value1");

  rti13::ULong visited = 0;
  for (rti13::ULong i = set->start(); set->valid(i); i = set->next(i)) ++visited;
  EXPECT_EQ(visited, 3ul);
}

TEST(Cpp13Ahvps, IndexChecksNameTheAttribute) {
  auto set = attributes(2);
  const std::string beyond = "ArrayIndexOutOfBounds: Asked for attribute 2 but there are only 2 in the set";
  rti13::ULong length = 0;
  char buffer[8];
  EXPECT_EQ(reason_of([&] { set->getHandle(2); }), beyond);
  EXPECT_EQ(reason_of([&] { set->getValueLength(2); }), beyond);
  EXPECT_EQ(reason_of([&] { set->getValue(2, buffer, length); }), beyond);
  EXPECT_EQ(reason_of([&] { set->getValuePointer(2, length); }), beyond);
  EXPECT_EQ(reason_of([&] { set->getOrderType(2); }), beyond);
  EXPECT_EQ(reason_of([&] { set->getRegion(2); }), beyond);
  EXPECT_EQ(reason_of([&] { set->getValueLength(1ul << 32); }),
            "ArrayIndexOutOfBounds: Asked for attribute 4294967296 but there are only 2 in the set");
}

TEST(Cpp13Ahvps, EmptySetIsNeverIterated) {
  auto set = attributes(0);
  EXPECT_EQ(set->start(), 0xFFFFFFFFul);
  EXPECT_FALSE(set->valid(set->start()));
  set->add(1, "x", 1);
  set->empty();
  EXPECT_EQ(set->size(), 0ul);
  EXPECT_EQ(set->start(), 0xFFFFFFFFul);
}

TEST(Cpp13Ahvps, TransportAndOrderOfTheWholeSet) {
  auto set = attributes(2);
  handle_value_set& inner = const_cast<handle_value_set&>(static_cast<cpp13_ahvps&>(*set).get_handle_value_set());
  inner.set_transport_type(1);
  inner.set_order_type(0);
  EXPECT_EQ(set->getTransportType(0), 1ul);
  EXPECT_EQ(set->getTransportType(1), 1ul);
  EXPECT_EQ(set->getOrderType(1), 0ul);
  EXPECT_THROW(set->getRegion(0), rti13::InvalidHandleValuePairSetContext);
}

TEST(Cpp13Ahvps, RemoveAndMoveFrom) {
  auto target = attributes(1);
  auto source = attributes(3);
  rti13::ULong i = 1;
  target->moveFrom(*source, i);
  EXPECT_EQ(i, 1ul);  // read, not advanced
  EXPECT_EQ(target->size(), 2ul);
  EXPECT_EQ(target->getHandle(1), 11ul);
  EXPECT_EQ(source->size(), 2ul);

  i = 2;
  EXPECT_EQ(reason_of([&] { target->moveFrom(*source, i); }),
            "ArrayIndexOutOfBounds: Asked for attribute 2 but there are only 2 in the set");
  EXPECT_EQ(target->size(), 2ul);

  target->remove(10);
  target->remove(99);  // absent: nothing happens
  EXPECT_EQ(target->size(), 1ul);
  EXPECT_EQ(target->getHandle(0), 11ul);
}

// Another implementation of the interface cannot give up its pairs.
class foreign_set : public rti13::AttributeHandleValuePairSet {
public:
  rti13::ULong size() const override { return 1; }
  rti13::Handle getHandle(rti13::ULong) const override { return 1; }
  rti13::ULong getValueLength(rti13::ULong) const override { return 0; }
  void getValue(rti13::ULong, char*, rti13::ULong& length) const override { length = 0; }
  char* getValuePointer(rti13::ULong, rti13::ULong& length) const override { return length = 0, nullptr; }
  rti13::TransportType getTransportType(rti13::ULong) const override { return 0; }
  rti13::OrderType getOrderType(rti13::ULong) const override { return 0; }
  rti13::Region* getRegion(rti13::ULong) const override { return nullptr; }
  void add(rti13::Handle, const char*, rti13::ULong) override {}
  void remove(rti13::Handle) override {}
  void moveFrom(const rti13::AttributeHandleValuePairSet&, rti13::ULong&) override {}
  void empty() override {}
  rti13::ULong start() const override { return 0; }
  rti13::ULong valid(rti13::ULong i) const override { return i < 1; }
  rti13::ULong next(rti13::ULong i) const override { return i + 1; }
};

TEST(Cpp13Ahvps, MoveFromAForeignSetIsABadPointer) {
  auto target = attributes(0);
  foreign_set other;
  rti13::ULong i = 0;
  EXPECT_EQ(reason_of([&] { target->moveFrom(other, i); }), "ArrayIndexOutOfBounds: Bad pointer passed");
}

TEST(Cpp13Ahvps, RefusalsOfTheContainerBecomeInterfaceExceptions) {
  auto set = attributes(0);
  EXPECT_THROW(set->add(1, nullptr, 4), rti13::ValueLengthExceeded);
  EXPECT_THROW(set->add(1, "x", 1ul << 33), rti13::ValueLengthExceeded);
  EXPECT_EQ(set->size(), 0ul);
  set->add(1, nullptr, 0);  // an empty value needs no bytes
  EXPECT_EQ(set->getValueLength(0), 0ul);
}

TEST(Cpp13Ahvps, ShownSetIsReferencedNotCopied) {
  handle_value_set* delivered = new handle_value_set(2);
  delivered->add(5, 3, "abc");
  {
    const cpp13_ahvps shown(*delivered);
    EXPECT_EQ(delivered->get_refcount(), 2u);
    rti13::ULong length = 0;
    EXPECT_EQ(shown.getValuePointer(0, length), delivered->get_pair(0).get_data());
  }
  EXPECT_EQ(delivered->get_refcount(), 1u);
  delivered->down_refcount();
}

TEST(Cpp13Phvps, WholeSetQueriesTakeNoIndex) {
  std::unique_ptr<rti13::ParameterHandleValuePairSet> set(rti13::ParameterSetFactory::create(2));
  set->add(3, "ab", 2);
  handle_value_set& inner = const_cast<handle_value_set&>(static_cast<cpp13_phvps&>(*set).get_handle_value_set());
  inner.set_transport_type(2);
  inner.set_order_type(1);
  EXPECT_EQ(set->getTransportType(), 2ul);
  EXPECT_EQ(set->getOrderType(), 1ul);
  EXPECT_THROW(set->getRegion(), rti13::InvalidHandleValuePairSetContext);
  EXPECT_EQ(reason_of([&] { set->getHandle(1); }),
            "ArrayIndexOutOfBounds: Asked for parameter 1 but there are only 1 in the set");

  std::unique_ptr<rti13::ParameterHandleValuePairSet> other(rti13::ParameterSetFactory::create(0));
  rti13::ULong i = 0;
  other->moveFrom(*set, i);
  EXPECT_EQ(other->getHandle(0), 3ul);
  EXPECT_EQ(set->size(), 0ul);
}

}  // namespace
