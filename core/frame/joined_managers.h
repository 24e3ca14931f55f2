// What a federate builds when it joins and tears down when it resigns: the managers of the joined
// federation, built in the join order and torn down in the resign order, which is not the reverse
// of construction. The distribution manager owns one while joined; a manager reaches its peers
// through it.
#pragma once

#include <functional>
#include <memory>

namespace brindle {
class text_output_interceptor;
}  // namespace brindle

namespace varnel {

class FED;
class argument_checker;
class callback_queue;
class consistency_manager;
class ddb;
class local_distribution_manager;
class mom_agent;
class msgorder_manager;
class object_manager;
class ownership_manager;
class scope_manager;
class retraction_manager;
class syncpoint_manager;
class transport_change_manager;
class transport_manager;
class time_manager;
class vterm_manager;
class remterm_manager;
class ping;
class ping_console_reporter;
class subscription_agent;

class joined_managers {
public:
  // Runs after each manager is built, with the manager's name; an exception it throws fails the
  // join there, as a manager's own constructor would. Tests install one to fail a join partway.
  using construction_hook = std::function<void(const char* built)>;
  static void set_construction_hook(construction_hook hook);

  // When a manager cannot be built, what was built is torn down in the resign order and the
  // exception goes on to the caller.
  joined_managers(local_distribution_manager& ldm, const FED& fed);
  // Tears down in the resign order; pending callbacks are dropped undelivered.
  ~joined_managers();
  joined_managers(const joined_managers&) = delete;
  joined_managers& operator=(const joined_managers&) = delete;

  ddb& database() { return *ddb_; }
  subscription_agent& subscriptions() { return *subscription_agent_; }
  msgorder_manager& ordering() { return *msgorder_manager_; }
  object_manager& objects() { return *object_manager_; }
  transport_manager& transports() { return *transport_manager_; }
  consistency_manager& queries() { return *consistency_manager_; }
  retraction_manager& retractions() { return *retraction_manager_; }
  time_manager& times() { return *time_manager_; }
  syncpoint_manager& syncpoints() { return *syncpoint_manager_; }
  // Null while the managers are built and torn down around it.
  ownership_manager* ownership() { return ownership_manager_.get(); }
  // Null while the managers are built and torn down around it.
  scope_manager* scope() { return scope_manager_.get(); }
  transport_change_manager& transport_changes() { return *transport_change_manager_; }
  // Null while the managers are built and torn down around it.
  mom_agent* mom() { return mom_agent_.get(); }
  const argument_checker& checker() const { return *checker_; }
  callback_queue& callbacks() { return *callback_queue_; }
  brindle::text_output_interceptor& interceptor() { return *interceptor_; }
  vterm_manager& vterms() { return *vterm_manager_; }
  // Null while the managers are built and torn down around them.
  remterm_manager* remterms() { return remterm_manager_.get(); }
  ping* pinger() { return ping_.get(); }

private:
  void tear_down();

  std::unique_ptr<brindle::text_output_interceptor> interceptor_;
  std::unique_ptr<vterm_manager> vterm_manager_;
  std::unique_ptr<ddb> ddb_;
  std::unique_ptr<subscription_agent> subscription_agent_;
  std::unique_ptr<msgorder_manager> msgorder_manager_;
  std::unique_ptr<object_manager> object_manager_;
  std::unique_ptr<argument_checker> checker_;
  std::unique_ptr<ping> ping_;
  std::unique_ptr<ping_console_reporter> ping_reporter_;
  std::unique_ptr<transport_manager> transport_manager_;
  std::unique_ptr<consistency_manager> consistency_manager_;
  std::unique_ptr<scope_manager> scope_manager_;
  std::unique_ptr<time_manager> time_manager_;
  std::unique_ptr<retraction_manager> retraction_manager_;
  std::unique_ptr<ownership_manager> ownership_manager_;
  std::unique_ptr<mom_agent> mom_agent_;
  std::unique_ptr<syncpoint_manager> syncpoint_manager_;
  std::unique_ptr<transport_change_manager> transport_change_manager_;
  std::unique_ptr<remterm_manager> remterm_manager_;
  std::unique_ptr<callback_queue> callback_queue_;
};

}  // namespace varnel
