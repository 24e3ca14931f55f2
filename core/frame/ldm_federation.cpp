// The federation management services: create, join, resign and destroy through the federation
// manager; synchronization points, save and restore.
#include "frame/local_distribution_manager.h"

#include "fed/fed.h"
#include "federation/federation_manager.h"
#include "federation/syncpoint_manager.h"
#include "frame/ldm_frame.h"
#include "objects/object_manager.h"
#include "objects/ownership_manager.h"
#include "time/time_manager.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

void local_distribution_manager::create_federation_execution(const char* federation, const char* fed_file) {
  if (intercepts_->vetoes([&](intercept& i) { i.create_federation_execution(federation, fed_file); })) return;
  service_frame frame(*this, rti_api_call::createFederationExecution, frame_kind::unjoined);
  check_string(federation);
  check_string(fed_file);
  federation_manager_->create(federation, fed_file);
}

void local_distribution_manager::destroy_federation_execution(const char* federation) {
  if (intercepts_->vetoes([&](intercept& i) { i.destroy_federation_execution(federation); })) return;
  service_frame frame(*this, rti_api_call::destroyFederationExecution, frame_kind::unjoined);
  check_string(federation);
  federation_manager_->destroy(federation);
}

unsigned local_distribution_manager::join_federation_execution(const char* federate, const char* federation) {
  if (intercepts_->vetoes([&](intercept& i) { i.join_federation_execution(federate, federation); }))
    return invalid_handle;
  service_frame frame(*this, rti_api_call::joinFederationExecution, frame_kind::guarded_unjoined);
  check_string(federate);
  check_string(federation);
  return federation_manager_->join(federate, federation);
}

void local_distribution_manager::resign_federation_execution(bool cancel_acquisitions, bool delete_objects,
                                                             bool release_attributes) {
  if (intercepts_->vetoes([&](intercept& i) {
        i.resign_federation_execution(cancel_acquisitions, delete_objects, release_attributes);
      }))
    return;
  service_frame frame(*this, rti_api_call::resignFederationExecution, frame_kind::guarded_joined);
  // The resign action comes first: deleting the objects whose privilege to delete is held here,
  // then cancelling pending acquisitions and releasing what is still owned, so that the others
  // can take it.
  if (delete_objects) objects().delete_local_objects();
  ownership().resign(release_attributes);
  federation_manager_->resign();
}

void local_distribution_manager::register_federation_synchronization_point(const char* label, const user_tag& tag) {
  if (intercepts_->vetoes([&](intercept& i) { i.register_federation_synchronization_point(label, tag); })) return;
  service_frame frame(*this, rti_api_call::registerFederationSynchronizationPoint);
  check_string(label);
  check_switch(service_group::syncpoints);
  syncpoints().register_point(label, tag, nullptr);
}

void local_distribution_manager::register_federation_synchronization_point(const char* label, const user_tag& tag,
                                                                           const federate_handle_set& federates) {
  if (intercepts_->vetoes([&](intercept& i) { i.register_federation_synchronization_point(label, tag, federates); }))
    return;
  service_frame frame(*this, rti_api_call::registerFederationSynchronizationPointWithFederates);
  check_string(label);
  check_switch(service_group::syncpoints);
  syncpoints().register_point(label, tag, &federates);
}

void local_distribution_manager::synchronization_point_achieved(const char* label) {
  if (intercepts_->vetoes([&](intercept& i) { i.synchronization_point_achieved(label); })) return;
  service_frame frame(*this, rti_api_call::synchronizationPointAchieved);
  check_string(label);
  check_switch(service_group::syncpoints);
  syncpoints().achieved(label);
}

namespace {

// Save and restore are refused by every federate; the binding reports the text.
[[noreturn]] void not_implemented(const char* method) {
  throw make_ldm_exception(ldm_error::InternalError, "Method %s is not implemented", method);
}

}  // namespace

void local_distribution_manager::request_federation_save(const char* label) {
  if (intercepts_->vetoes([&](intercept& i) { i.request_federation_save(label); })) return;
  service_frame frame(*this, rti_api_call::requestFederationSave);
  check_string(label);
  check_switch(service_group::saverestore);
  not_implemented("requestFederationSave");
}

void local_distribution_manager::request_federation_save(const char* label, const absolute_time& time) {
  if (intercepts_->vetoes([&](intercept& i) { i.request_federation_save(label, time); })) return;
  service_frame frame(*this, rti_api_call::requestFederationSaveWithTime);
  check_string(label);
  check_switch(service_group::saverestore);
  times().check_time(frame.name(), &time);
  not_implemented("requestFederationSave");
}

void local_distribution_manager::federate_save_begun() {
  if (intercepts_->vetoes([&](intercept& i) { i.federate_save_begun(); })) return;
  service_frame frame(*this, rti_api_call::federateSaveBegun);
  check_switch(service_group::saverestore);
  not_implemented(frame.name());
}

void local_distribution_manager::federate_save_complete() {
  if (intercepts_->vetoes([&](intercept& i) { i.federate_save_complete(); })) return;
  service_frame frame(*this, rti_api_call::federateSaveComplete);
  check_switch(service_group::saverestore);
  not_implemented(frame.name());
}

void local_distribution_manager::federate_save_not_complete() {
  if (intercepts_->vetoes([&](intercept& i) { i.federate_save_not_complete(); })) return;
  service_frame frame(*this, rti_api_call::federateSaveNotComplete);
  check_switch(service_group::saverestore);
  not_implemented(frame.name());
}

void local_distribution_manager::request_federation_restore(const char* label) {
  if (intercepts_->vetoes([&](intercept& i) { i.request_federation_restore(label); })) return;
  service_frame frame(*this, rti_api_call::requestFederationRestore);
  check_string(label);
  check_switch(service_group::saverestore);
  not_implemented(frame.name());
}

void local_distribution_manager::federate_restore_complete() {
  if (intercepts_->vetoes([&](intercept& i) { i.federate_restore_complete(); })) return;
  service_frame frame(*this, rti_api_call::federateRestoreComplete);
  check_switch(service_group::saverestore);
  not_implemented(frame.name());
}

void local_distribution_manager::federate_restore_not_complete() {
  if (intercepts_->vetoes([&](intercept& i) { i.federate_restore_not_complete(); })) return;
  service_frame frame(*this, rti_api_call::federateRestoreNotComplete);
  check_switch(service_group::saverestore);
  not_implemented(frame.name());
}

}  // namespace varnel
