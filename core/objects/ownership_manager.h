// Attribute ownership between federates that have no common registry. Each federate knows only
// which attributes it owns itself (the ddb's local sets); what the others offer, release and ask
// for it learns from ownership messages on stream 2. They travel on the reliable service
// "ownership": a lost take would leave two owners, a lost release none, a lost cancellation a
// stale offer. Ownership must never end with two owners or none:
// - a take of what another federate offers or let float names that federate, which grants it to
//   the first taker it hears and tells every taker what it got: of two takers in one round one
//   gains and the other is told the attributes are not available (or asks their new owner), so
//   nobody owns what a contest may still take away. Every receiver of a take forgets the taken
//   attributes as available. What this federate let float itself it takes back at once, and so
//   does what a federate that is gone let float: nobody is left to grant it, and of two such
//   takers in one round the lower identifier yields;
// - requests are kept per requester, and a release goes to one requester at a time;
// - a release that crosses a cancellation takes what is still requested and floats the rest;
// - releases to, and offers from, a federate that goes are dropped.
// Built at join after the retraction manager, torn down at resign after the order manager
// (joined_managers). Wire form: ownership_messages.h.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <utility>

#include "bit_vector.h"
#include "federate_identifier.h"
#include "federation/federate_join_client.h"
#include "messages/message_service.h"
#include "recent_set.h"
#include "timers.h"

namespace varnel {

class ddb;
class local_distribution_manager;
class message_reliable;
class user_tag;
struct object_entry;
struct ownership_message;
enum class ownership_type : uint32_t;

// Attribute sets per object and per federate: who offers, released or asked for what.
class ownership_table {
public:
  using sets = std::map<brindle::federate_identifier, brindle::bit_vector>;

  void add(uint32_t object, const brindle::federate_identifier& who, const brindle::bit_vector& attributes);
  // Removes the attributes from the federate's set (or every set) of the object; empty sets and
  // objects go.
  void remove(uint32_t object, const brindle::federate_identifier& who, const brindle::bit_vector& attributes);
  void remove(uint32_t object, const brindle::bit_vector& attributes);
  // The union of the object's sets, and one federate's set; vectors of length 0 when none.
  brindle::bit_vector all(uint32_t object) const;
  brindle::bit_vector of(uint32_t object, const brindle::federate_identifier& who) const;
  const sets* find(uint32_t object) const;
  void forget_object(uint32_t object) { objects_.erase(object); }
  const std::map<uint32_t, sets>& objects() const { return objects_; }

private:
  std::map<uint32_t, sets> objects_;
};

class ownership_manager : public message_service_client, public federate_join_client {
public:
  static constexpr int stream = 2;
  static constexpr unsigned char priority = 0x30;
  // Federates remembered as gone, whose floating attributes are taken without a grant.
  static constexpr size_t gone_memory = 4096;
  // How often unanswered ownership queries are looked at, in milliseconds.
  static constexpr uint64_t query_period_ms = 100;

  struct counters {
    uint64_t sent = 0;
    uint64_t received = 0;
    uint64_t unknown_object = 0;  // messages about objects this federate does not know
    uint64_t not_granted = 0;     // attributes of takes that another taker got first
    uint64_t yielded = 0;         // attributes of a gone federate given up to a concurrent taker
  };

  // Joins stream 2 and listens to the federation manager for as long as it lives. The query
  // timeout is the RID's ownership.query_timeout (milliseconds, 5000 by default).
  ownership_manager(local_distribution_manager& ldm, ddb& database);
  ~ownership_manager() override;
  ownership_manager(const ownership_manager&) = delete;
  ownership_manager& operator=(const ownership_manager&) = delete;

  // The services, after the argument checks. Each refuses with the service's own exception when
  // what it acts on is not pending here.
  void divest_immediately(uint32_t object, const brindle::bit_vector& attributes);
  void divest(uint32_t object, const brindle::bit_vector& attributes, const user_tag& tag);
  void cancel_divest(uint32_t object, const brindle::bit_vector& attributes);
  void acquire(uint32_t object, const brindle::bit_vector& attributes, const user_tag& tag);
  void acquire_if_available(uint32_t object, const brindle::bit_vector& attributes);
  void cancel_acquire(uint32_t object, const brindle::bit_vector& attributes);
  // The attributes released to the federates that asked for them; the caller owns the vector.
  brindle::bit_vector* release_response(uint32_t object, const brindle::bit_vector& attributes);
  void query(uint32_t object, uint32_t attribute);

  // Resigning: pending acquisitions are cancelled, attributes of transports with fail-over are
  // given away, and with release every other owned attribute is divested at once, so that the
  // others can take it.
  void resign(bool release_attributes);
  // The update path moved ownership of these attributes here, or away from here.
  void implicit_gain(uint32_t object, const brindle::bit_vector& attributes);
  void implicit_loss(uint32_t object, const brindle::bit_vector& attributes);
  // The ddb removed the object: nothing about it stays pending.
  void object_removed(uint32_t object);

  void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) override;
  void federate_joined(federate_record*) override {}
  void federate_gone(federate_record* federate) override;

  const counters& get_counters() const { return counters_; }
  const ownership_table& floating() const { return floating_; }
  const ownership_table& available() const { return available_; }
  const ownership_table& requests() const { return requests_; }
  const ownership_table& asked() const { return asked_; }
  size_t pending_queries() const { return queries_.size(); }

private:
  class query_timer : public brindle::periodic_realtime_timer {
  public:
    explicit query_timer(ownership_manager& owner) : owner_(owner) {}

  protected:
    void on_timer() override { owner_.expire_queries(); }

  private:
    ownership_manager& owner_;
  };

  void apply(const ownership_message& message, const object_entry& object);
  void floated_or_offered(const ownership_message& message, const object_entry& object, bool floating);
  void taken(const ownership_message& message, const object_entry& object);
  void asked_to_release(const ownership_message& message, const object_entry& object);
  void released_to_me(const ownership_message& message, const object_entry& object);
  void answer_who_owns(const ownership_message& message, const object_entry& object);
  void answered(const ownership_message& message, const object_entry& object);

  // The object a service acts on; for an unknown one, the line of the message it would have sent
  // on the error stream, and null.
  const object_entry* entry(uint32_t object, ownership_type sending) const;
  brindle::bit_vector owned(const object_entry& object, const brindle::bit_vector& attributes) const;
  void send(ownership_message message, const object_entry& object);
  // Makes the attributes local and tells the federate; they are no longer available anywhere.
  void take(const object_entry& object, const brindle::bit_vector& attributes);
  // Takes what is available of the set: what this federate let float at once, the rest by asking
  // each federate that offers or let it float for it. Returns what was taken or asked for.
  brindle::bit_vector take_available(const object_entry& object, const brindle::bit_vector& attributes,
                                     bool if_available);
  // Ends this federate's takes from one federate: the granted attributes are taken; those another
  // taker got become a request (acquire) or are reported not available (acquire if available).
  void settle_takes(const object_entry& object, const brindle::federate_identifier& from,
                    const brindle::bit_vector& granted);
  // Takes what a federate that is gone let float, which a concurrent taker may contest.
  void take_orphans(const object_entry& object, const brindle::federate_identifier& from,
                    const brindle::bit_vector& attributes);
  bool is_gone(const brindle::federate_identifier& federate) const { return gone_.contains(federate); }
  // A take from the federate is unanswered. A federate has at most one take from another
  // unanswered per object, so that each answer settles the take it answers.
  bool awaits_answer(uint32_t object, const brindle::federate_identifier& from) const;
  void release(const object_entry& object, const brindle::bit_vector& attributes, bool notify);
  void set_floating(const object_entry& object, const brindle::bit_vector& attributes);
  brindle::bit_vector release_to_requesters(const object_entry& object, const brindle::bit_vector& attributes);
  void expire_queries();
  void trace_set(const char* what, const object_entry& object, const brindle::bit_vector& attributes);

  local_distribution_manager& ldm_;
  ddb& ddb_;
  const brindle::federate_identifier self_;
  dstream& trace_;
  std::unique_ptr<message_reliable> service_;
  uint64_t query_timeout_ms_;
  ownership_table floating_;   // attributes nobody owns, by who released them
  ownership_table available_;  // floating and offered attributes, by who released or offers them
  ownership_table offers_;     // this federate's negotiated divestitures in progress
  ownership_table requests_;   // this federate's acquisitions in progress
  ownership_table asked_;      // other federates' requests of attributes owned here, by requester
  ownership_table taking_;     // takes awaiting their grant, by the federate asked; then a request
  ownership_table taking_if_available_;  // the same, from acquire if available
  ownership_table orphans_;    // owned attributes taken at once from a federate that is gone, by it
  brindle::recent_set<brindle::federate_identifier> gone_{gone_memory};  // the last federates that went
  std::map<std::pair<uint32_t, uint32_t>, uint64_t> queries_;  // (object, attribute) -> deadline
  counters counters_;
  query_timer timer_{*this};
};

}  // namespace varnel
