#include "ldm_buf.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "buffer_pool.h"
#include "federate_identifier.h"

using namespace brindle;

namespace {

using bytes = std::vector<uint8_t>;

class LdmBuf : public testing::Test {
protected:
  ~LdmBuf() override {
    for (buffer_pool_manager* pool : held_) pool->destroy();
  }

  buffer_pool_manager* pool(uint32_t packet_size) {
    held_.push_back(factory_.get_pool(packet_size));
    return held_.back();
  }

  // The logical bytes [from, to) of a buffer, gathered from its packets.
  static bytes contents(const ldm_buf& buffer, uint32_t from, uint32_t to) {
    bytes out;
    for (uint32_t p = from; p < to; ++p)
      out.push_back(buffer.get_packet(p / buffer.payload_size())[24 + p % buffer.payload_size()]);
    return out;
  }

  // Sends buffer as the transport does and receives it into a fresh buffer of the same pool.
  static ldm_buf* transmit(ldm_buf& buffer) {
    buffer.set_optr(8);
    buffer << buffer.get_size();
    buffer.prepare_message();
    buffer.prepare_packets();
    ldm_buf* received = buffer.get_pool()->get_empty_buf();
    for (uint32_t i = 0; i < buffer.packet_count(); ++i)
      EXPECT_TRUE(received->add_packet(buffer.get_packet(i), buffer.get_packet_length(i)));
    EXPECT_EQ(received->accept_packets(), message_acceptance::accepted);
    EXPECT_EQ(received->accept_message(0), message_acceptance::accepted);
    return received;
  }

  buffer_manager_factory factory_{3, 1};
  std::vector<buffer_pool_manager*> held_;
};

TEST_F(LdmBuf, NarrowTypesWidenToBigEndianWords) {
  ldm_buf* buf = pool(1448)->get_buf();
  *buf << static_cast<char>(-1) << static_cast<unsigned char>(0xFE) << static_cast<short>(-2)
       << static_cast<unsigned short>(0xBEEF) << 0x01020304 << 0xA0B0C0D0u << -5L << 7UL << true << false;
  EXPECT_EQ(contents(*buf, 24, 64), (bytes{0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0xFE,
                                          0, 0, 0xBE, 0xEF, 1, 2, 3, 4, 0xA0, 0xB0, 0xC0, 0xD0,
                                          0xFF, 0xFF, 0xFF, 0xFB, 0, 0, 0, 7, 0, 0, 0, 1, 0, 0, 0, 0}));

  unsigned char uc;
  short s;
  unsigned short us;
  int i;
  unsigned u;
  long l;
  unsigned long ul;
  bool b1, b2;
  *buf >> uc;
  EXPECT_EQ(uc, 255);  // a char -1 read as unsigned char
  *buf >> uc >> s >> us >> i >> u >> l >> ul >> b1 >> b2;
  EXPECT_EQ(uc, 0xFE);
  EXPECT_EQ(s, -2);
  EXPECT_EQ(us, 0xBEEF);
  EXPECT_EQ(i, 0x01020304);
  EXPECT_EQ(u, 0xA0B0C0D0u);
  EXPECT_EQ(l, -5);
  EXPECT_EQ(ul, 7u);
  EXPECT_TRUE(b1);
  EXPECT_FALSE(b2);

  *buf << 7u;
  *buf >> b1;  // any non-zero word reads as true
  EXPECT_TRUE(b1);
  buf->release_buf();
}

TEST_F(LdmBuf, FloatsAndDoublesAreIeeeBitPatternsInWords) {
  ldm_buf* buf = pool(1448)->get_buf();
  *buf << 1.0 << 1 << -2.5 << 1.5f;
  // The second double is aligned to 4, not 8: it starts at 36.
  EXPECT_EQ(contents(*buf, 24, 48), (bytes{0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1,
                                          0xC0, 0x04, 0, 0, 0, 0, 0, 0, 0x3F, 0xC0, 0, 0}));
  double d1, d2;
  int i;
  float f;
  *buf >> d1 >> i >> d2 >> f;
  EXPECT_EQ(d1, 1.0);
  EXPECT_EQ(d2, -2.5);
  EXPECT_EQ(f, 1.5f);
  buf->release_buf();
}

TEST_F(LdmBuf, StringsAreUnalignedAndNulTerminated) {
  ldm_buf* buf = pool(1448)->get_buf();
  buf->write_string("ab");
  *buf << static_cast<const char*>(nullptr) << "c";
  EXPECT_EQ(buf->get_optr(), 24u + 3 + 1 + 2);
  EXPECT_EQ(contents(*buf, 24, 30), (bytes{'a', 'b', 0, 0, 'c', 0}));
  const char* a;
  const char* empty;
  *buf >> a >> empty;
  EXPECT_STREQ(a, "ab");
  EXPECT_STREQ(empty, "");
  EXPECT_STREQ(buf->read_string(), "c");
  buf->release_buf();
}

TEST_F(LdmBuf, RawBlocksAlignByTheirLength) {
  struct { uint32_t n; uint32_t start; } cases[] = {{1, 25}, {2, 26}, {3, 26}, {4, 28}, {7, 28}, {8, 32}, {100, 32}};
  for (auto [n, start] : cases) {
    ldm_buf* buf = pool(1448)->get_buf();
    buf->set_optr(25);
    const std::string block(n, 'x');
    buf->write_os(block.data(), n);
    EXPECT_EQ(buf->get_optr(), start + n) << n;
    buf->set_iptr(25);
    EXPECT_EQ(std::string(buf->read_is(n), n), block);
    EXPECT_EQ(buf->get_iptr(), start + n) << n;
    buf->release_buf();
  }

  ldm_buf* buf = pool(1448)->get_buf();
  buf->write_os("z", 1);
  *buf << 0x11223344;
  EXPECT_EQ(contents(*buf, 24, 32)[0], 'z');
  EXPECT_EQ(buf->get_size(), 32u);  // three padding bytes, then the word at 28
  buf->release_buf();
}

TEST_F(LdmBuf, FederateIdentifierIsHostThenProcessAndIndex) {
  federate_identifier id;
  id.set_components(0x0A000001, 0x1234, 0x0056);
  ldm_buf* buf = pool(1448)->get_buf();
  *buf << id;
  EXPECT_EQ(contents(*buf, 24, 32), (bytes{0x0A, 0, 0, 1, 0x12, 0x34, 0, 0x56}));
  federate_identifier back(federate_identifier_type::nocompare);
  *buf >> back;
  uint32_t host;
  uint16_t process, index;
  back.get_components(host, process, index);
  EXPECT_EQ(host, 0x0A000001u);
  EXPECT_EQ(process, 0x1234);
  EXPECT_EQ(index, 0x56);
  buf->release_buf();
}

TEST_F(LdmBuf, PacketsSplitThePayloadAndCarryTheirLengths) {
  ldm_buf* buf = pool(1448)->get_buf();
  EXPECT_EQ(buf->packet_count(), 1u);
  buf->set_optr(2996);
  *buf << 1;
  EXPECT_EQ(buf->get_size(), 3000u);
  ASSERT_EQ(buf->packet_count(), 3u);
  EXPECT_EQ(buf->get_total_bytes(), 3000u + 3 * 24);
  buf->prepare_packets();
  const uint32_t expected[] = {1424, 1424, 152};
  for (uint32_t i = 0; i < 3; ++i) {
    const uint8_t* packet = buf->get_packet(i);
    EXPECT_EQ(packet[0], 3);
    EXPECT_EQ(packet[1], 1);
    EXPECT_EQ(uint32_t{packet[2]} << 8 | packet[3], expected[i]);
    EXPECT_EQ(buf->get_packet_length(i), 24 + expected[i]);
  }
  EXPECT_EQ(buf->get_packet(3), nullptr);
  EXPECT_EQ(buf->get_fragment_header(2), buf->get_packet(2) + 8);
  EXPECT_EQ(buf->get_fragment_header(3), nullptr);

  buf->set_size(1500);  // keeps the packets up to position 1499
  EXPECT_EQ(buf->packet_count(), 2u);
  EXPECT_EQ(buf->get_iptr(), 24u);
  buf->set_size(24);
  EXPECT_EQ(buf->packet_count(), 1u);
  buf->release_buf();
}

TEST_F(LdmBuf, PoolsNormalisePacketSizes) {
  buffer_pool_manager* a = pool(1448);
  EXPECT_EQ(pool(1450), a);
  EXPECT_EQ(a->packet_size(), 1448u);
  EXPECT_NE(pool(1456), a);
  EXPECT_EQ(pool(10)->packet_size(), 48u);          // the first message header must fit
  EXPECT_EQ(pool(1000000)->packet_size(), 65552u);  // the payload length has 16 bits
}

TEST_F(LdmBuf, BuffersAreNumberedAndNamedBySourceAndNumber) {
  buffer_pool_manager* first = pool(1448);
  buffer_pool_manager* second = pool(600);
  ldm_buf* a = first->get_buf();
  ldm_buf* b = first->get_buf();
  ldm_buf* c = second->get_buf();
  message_identifier id;
  b->lookup_message_id(id);
  EXPECT_EQ(id.buffer, htonl(2));
  EXPECT_EQ(ntohl(id.source), ((0u << 8 ^ federate_identifier::local_process()) << 16) ^ federate_identifier::local_host());
  c->lookup_message_id(id);
  EXPECT_EQ(id.buffer, htonl(1));
  EXPECT_EQ(ntohl(id.source), ((1u << 8 ^ federate_identifier::local_process()) << 16) ^ federate_identifier::local_host());
  a->release_buf();
  b->release_buf();
  c->release_buf();
}

// Values of every kind, many of them straddling packet boundaries at small packet sizes.
TEST_F(LdmBuf, MessagesSurviveTransmissionAtAnyPacketSize) {
  const std::string long_text(300, 'q');
  const std::string block(77, '\x5A');
  for (uint32_t packet_size : {48u, 56u, 64u, 120u, 1448u}) {
    SCOPED_TRACE(packet_size);
    ldm_buf* buf = pool(packet_size)->get_buf();
    for (int round = 0; round < 5; ++round) {
      buf->write_string("object.name");
      *buf << round << 2.75 << static_cast<short>(-round) << long_text.c_str();
      buf->write_os(block.data(), static_cast<uint32_t>(block.size()));
      buf->write_os("xyz", 3);
      *buf << static_cast<unsigned char>(round);
    }
    ldm_buf* received = transmit(*buf);
    buf->release_buf();

    received->set_iptr(24);
    for (int round = 0; round < 5; ++round) {
      int n;
      double d;
      short s;
      const char* text;
      unsigned char c;
      EXPECT_STREQ(received->read_string(), "object.name");
      *received >> n >> d >> s >> text;
      EXPECT_EQ(n, round);
      EXPECT_EQ(d, 2.75);
      EXPECT_EQ(s, -round);
      EXPECT_EQ(text, long_text);
      EXPECT_EQ(std::string(received->read_is(77), 77), block);
      EXPECT_EQ(std::string(received->read_is(3), 3), "xyz");
      *received >> c;
      EXPECT_EQ(c, round);
    }
    EXPECT_THROW(received->read_4(), ldm_decode_error);
    received->release_buf();
  }
}

TEST_F(LdmBuf, ReadsPointIntoPacketsUnlessTheyStraddle) {
  ldm_buf* buf = pool(48)->get_buf();  // payload 24: positions 24-47 are the second packet
  buf->set_optr(26);
  buf->write_string("inside");    // 26-32
  buf->set_optr(44);
  buf->write_string("straddle");  // 44-52
  const uint8_t* second = buf->get_packet(1);
  buf->set_iptr(26);
  const char* inside = buf->read_string();
  EXPECT_STREQ(inside, "inside");
  EXPECT_TRUE(inside >= reinterpret_cast<const char*>(second) && inside < reinterpret_cast<const char*>(second) + 48);
  buf->set_iptr(44);
  const char* straddle = buf->read_string();
  EXPECT_STREQ(straddle, "straddle");
  for (uint32_t i = 0; i < buf->packet_count(); ++i) {
    const char* packet = reinterpret_cast<const char*>(buf->get_packet(i));
    EXPECT_FALSE(straddle >= packet && straddle < packet + 48);
  }
  buf->release_buf();
}

TEST_F(LdmBuf, PackedMessagesAreAcceptedAtTheirOwnHeaders) {
  ldm_buf* buf = pool(56)->get_buf();  // payload 32: the second header straddles two packets
  buf->write_string("first message!!!!");
  const uint32_t second = (buf->get_optr() + 7) & ~7u;
  buf->set_optr(second + 24);
  *buf << 42;
  const uint32_t end = buf->get_optr();
  buf->set_optr(8);
  *buf << second;
  buf->prepare_message(0);
  buf->set_optr(second + 8);
  *buf << end - second;
  buf->prepare_message(second);
  EXPECT_EQ(buf->accept_message(0), message_acceptance::accepted);
  EXPECT_EQ(second, 48u);
  EXPECT_EQ(buf->accept_message(second - 5), message_acceptance::accepted);  // rounded up to the header
  buf->release_buf();
}

class ReceivedPackets : public LdmBuf {
protected:
  // Two prepared packets of a 64-byte pool (payload 40) holding a 60-byte message.
  std::vector<bytes> packets() {
    ldm_buf* buf = pool(64)->get_buf();
    buf->write_string("a message of sixty bytes, more or less....");
    EXPECT_EQ(buf->get_size(), 67u);
    buf->set_optr(8);
    *buf << 67u;
    buf->prepare_message();
    buf->prepare_packets();
    std::vector<bytes> out;
    for (uint32_t i = 0; i < buf->packet_count(); ++i)
      out.emplace_back(buf->get_packet(i), buf->get_packet(i) + buf->get_packet_length(i));
    buf->release_buf();
    return out;
  }

  ldm_buf* receive(const std::vector<bytes>& datagrams) {
    ldm_buf* buf = held_.front()->get_empty_buf();
    for (const bytes& d : datagrams) EXPECT_TRUE(buf->add_packet(d.data(), d.size()));
    return buf;
  }
};

TEST_F(ReceivedPackets, DatagramsMustMatchTheirLengthField) {
  std::vector<bytes> good = packets();
  ldm_buf* buf = held_.front()->get_empty_buf();
  EXPECT_FALSE(buf->add_packet(good[0].data(), 23));
  EXPECT_FALSE(buf->add_packet(good[0].data(), good[0].size() - 1));
  bytes longer = good[1];
  longer.push_back(0);
  EXPECT_FALSE(buf->add_packet(longer.data(), longer.size()));
  bytes oversized(65, 0);
  oversized[3] = 41;
  EXPECT_FALSE(buf->add_packet(oversized.data(), oversized.size()));
  EXPECT_EQ(buf->packet_count(), 0u);
  EXPECT_TRUE(buf->add_packet(good[0].data(), good[0].size()));
  buf->release_buf();
}

TEST_F(ReceivedPackets, DamagedPacketsAreRefusedAndLeaveNothingToRead) {
  std::vector<bytes> good = packets();
  ldm_buf* buf = receive(good);
  EXPECT_EQ(buf->accept_packets(), message_acceptance::accepted);
  EXPECT_EQ(buf->get_size(), 67u);
  EXPECT_EQ(buf->version_check(), version_acceptance::same_version);
  buf->release_buf();

  for (size_t at : {size_t{0}, size_t{1}, size_t{5}, size_t{12}, size_t{30}}) {
    std::vector<bytes> damaged = good;
    damaged[1][at] ^= 0x40;
    buf = receive(damaged);
    EXPECT_NE(buf->accept_packets(), message_acceptance::accepted) << at;
    EXPECT_EQ(buf->get_size(), 0u);
    buf->set_iptr(24);
    EXPECT_THROW(buf->read_string(), ldm_decode_error);
    buf->release_buf();
  }

  std::vector<bytes> other_minor = good;
  other_minor[0][1] = 2;
  buf = receive(other_minor);
  EXPECT_EQ(buf->accept_packets(), message_acceptance::version_mismatch);
  EXPECT_EQ(buf->version_check(), version_acceptance::minor_mismatch);
  buf->release_buf();
  other_minor[0][0] = 4;
  buf = receive(other_minor);
  EXPECT_EQ(buf->version_check(), version_acceptance::major_mismatch);
  buf->release_buf();

  // A short packet before the last would shift every later position.
  std::vector<bytes> reordered = {good[1], good[0]};
  buf = receive(reordered);
  EXPECT_EQ(buf->accept_packets(), message_acceptance::corrupt);
  buf->release_buf();

  buf = held_.front()->get_empty_buf();
  EXPECT_EQ(buf->accept_packets(), message_acceptance::accepted);  // nothing to refuse
  EXPECT_EQ(buf->accept_message(0), message_acceptance::corrupt);
  buf->release_buf();
}

TEST_F(LdmBuf, MessagesNeedMarkerLengthAndCrc) {
  constexpr uint32_t unchanged = 0xFFFFFFFF;
  // Sends a 67-byte message with the byte at position changed after its CRC was taken; the
  // packets' own checksums are right, so only the message header decides.
  auto verdict = [&](uint32_t position, uint8_t value) {
    ldm_buf* buf = pool(64)->get_buf();
    buf->write_string("a message of sixty bytes, more or less....");
    buf->set_optr(8);
    *buf << 67u;
    buf->prepare_message();
    if (position != unchanged) {
      buf->set_optr(position);
      buf->write_os(&value, 1);
    }
    buf->prepare_packets();
    ldm_buf* received = buf->get_pool()->get_empty_buf();
    for (uint32_t i = 0; i < buf->packet_count(); ++i)
      received->add_packet(buf->get_packet(i), buf->get_packet_length(i));
    buf->release_buf();
    EXPECT_EQ(received->accept_packets(), message_acceptance::accepted);
    const message_acceptance result = received->accept_message(0);
    received->release_buf();
    return result;
  };
  EXPECT_EQ(verdict(unchanged, 0), message_acceptance::accepted);
  EXPECT_EQ(verdict(0, 0x23), message_acceptance::corrupt);   // marker
  EXPECT_EQ(verdict(1, 0x77), message_acceptance::corrupt);   // the transport's header bytes are covered too
  EXPECT_EQ(verdict(11, 68), message_acceptance::corrupt);    // length past the data
  EXPECT_EQ(verdict(11, 20), message_acceptance::corrupt);    // length shorter than the header
  EXPECT_EQ(verdict(11, 66), message_acceptance::corrupt);    // CRC over other bytes
  EXPECT_EQ(verdict(19, 0), message_acceptance::corrupt);     // the CRC itself
  EXPECT_EQ(verdict(60, 'X'), message_acceptance::corrupt);   // payload in the second packet
}

TEST_F(LdmBuf, ReadingPastTheEndThrowsForReceivedDataAndAbortsOtherwise) {
  ldm_buf* buf = pool(1448)->get_buf();
  buf->write_os("abc", 3);  // no NUL: not a string
  EXPECT_DEATH(buf->read_4(), "ldm_buf::read_4: reading beyond end of data");
  EXPECT_DEATH(buf->read_string(), "ldm_buf::read_string: reading beyond end of data");
  EXPECT_DEATH(buf->read_is(4), "ldm_buf::read_is: reading beyond end of data");

  buf->set_received();
  EXPECT_THROW(buf->read_4(), ldm_decode_error);
  EXPECT_THROW(buf->read_string(), ldm_decode_error);
  EXPECT_THROW(buf->read_is(0xFFFFFFF0u), ldm_decode_error);  // a hostile count allocates nothing
  buf->set_iptr(0xFFFFFFFFu);                                  // and positions cannot wrap
  EXPECT_THROW(buf->read_4(), ldm_decode_error);
  EXPECT_THROW(buf->read_is(8), ldm_decode_error);
  buf->set_iptr(24);
  EXPECT_EQ(std::string(buf->read_is(3), 3), "abc");
  buf->release_buf();
}

TEST_F(LdmBuf, SharedBuffersRefuseWrites) {
  ldm_buf* buf = pool(1448)->get_buf();
  *buf << 1;
  buf->duplicate_buf();
  EXPECT_EQ(buf->get_refcount(), 2u);
  EXPECT_DEATH(*buf << 2, "ldm_buf::write_4: writing to a shared buffer");
  EXPECT_DEATH(buf->write_string("x"), "ldm_buf::write_string: writing to a shared buffer");
  EXPECT_DEATH(buf->write_os("x", 1), "ldm_buf::write_os: writing to a shared buffer");
  EXPECT_DEATH(buf->set_size(100), "ldm_buf::set_size: setting size of a shared buffer");
  ldm_buf* other = buf->get_pool()->get_buf();
  EXPECT_DEATH(*buf = *other, "ldm_buf::operator=: assigning to a shared buffer");
  other->release_buf();
  buf->release_buf();
  *buf << 2;  // its own again
  buf->release_buf();
}

TEST_F(LdmBuf, LastReleaseReturnsBufferAndPackets) {
  buffer_pool_manager* p = pool(1448);
  const size_t before = pools::bytes_in_use();
  ldm_buf* buf = p->get_buf();
  buf->set_optr(3000);
  *buf << 1;
  buf->duplicate_buf();
  buf->release_buf();
  EXPECT_EQ(buf->get_refcount(), 1u);
  EXPECT_GT(pools::bytes_in_use(), before);
  p->release_buf(buf);
  EXPECT_EQ(pools::bytes_in_use(), before);
}

TEST_F(LdmBuf, ViewsAndCopiesShareThePacketsOfTheirSource) {
  ldm_buf* buf = pool(48)->get_buf();
  buf->set_optr(32);
  buf->write_os("0123456789abcdefghijklmnopqrstuvwxyz", 36);  // 32-67: packets 1 and 2
  ldm_buf* view = new ldm_buf(buf, 2);
  EXPECT_EQ(buf->get_refcount(), 2u);
  EXPECT_EQ(view->get_packet(0), buf->get_packet(2));
  EXPECT_EQ(view->get_size(), 20u);  // the last packet's share: 68 - 48
  view->set_iptr(0);
  EXPECT_EQ(std::string(view->read_is(20), 20), "ghijklmnopqrstuvwxyz");
  EXPECT_DEATH(view->write_4(1), "writing to a shared buffer");
  buf->release_buf();  // the view keeps it alive
  EXPECT_EQ(view->get_packet(0)[24 + 16], 'w');

  {
    ldm_buf copy(*view);
    EXPECT_EQ(view->get_refcount(), 2u);
    copy.set_iptr(16);
    EXPECT_EQ(std::string(copy.read_is(4), 4), "wxyz");

    ldm_buf* other = view->get_pool()->get_buf();
    other->write_string("other");
    copy = *other;  // lets go of the view, holds other
    EXPECT_EQ(view->get_refcount(), 1u);
    EXPECT_EQ(other->get_refcount(), 2u);
    copy.set_iptr(24);
    EXPECT_STREQ(copy.read_string(), "other");
    other->release_buf();
  }
  EXPECT_EQ(view->get_refcount(), 1u);
  const size_t before = pools::bytes_in_use();
  view->release_buf();  // releases the source, its packets and itself
  EXPECT_LT(pools::bytes_in_use(), before);
}

TEST_F(LdmBuf, BuffersKeepTheirPoolAlive) {
  buffer_pool_manager* p = factory_.get_pool(200);
  ldm_buf* buf = p->get_buf();
  p->destroy();
  *buf << 5;  // the pool and its packets are still there
  EXPECT_EQ(factory_.get_pool(200), p);  // still the factory's pool of that size
  p->destroy();
  buf->release_buf();
  ldm_buf* fresh = (held_.emplace_back(factory_.get_pool(200)), held_.back()->get_buf());
  message_identifier id;
  fresh->lookup_message_id(id);
  EXPECT_EQ(id.buffer, htonl(1));  // a new pool counts from 1 again
  fresh->release_buf();
}

TEST_F(LdmBuf, WithoutPoolingPaddingIsZero) {
  setenv("DISABLE_POOLING", "1", 1);
  buffer_manager_factory factory(1, 0);
  buffer_pool_manager* p = factory.get_pool(1448);
  unsetenv("DISABLE_POOLING");
  EXPECT_TRUE(p->no_pooling());
  ldm_buf* buf = p->get_buf();
  buf->write_os("z", 1);
  *buf << 1;
  EXPECT_EQ(contents(*buf, 24, 32), (bytes{'z', 0, 0, 0, 0, 0, 0, 1}));
  buf->release_buf();
  p->destroy();
}

}  // namespace
