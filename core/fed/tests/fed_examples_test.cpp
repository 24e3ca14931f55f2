// The object models shipped in examples/: each loads cleanly, the small one has the handles
// that the example federates and scenario tests count on, the larger one carries the
// management classes, and its parenthesised and XML forms load to the same model.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "fed/fed.h"
#include "fed/tests/fed_description.h"
#include "rid.h"

using namespace brindle;
using namespace varnel;

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// A model loaded the way a federate without an RTI.rid loads it, with what loading printed.
struct loaded_model {
  std::unique_ptr<RID> rid;
  std::unique_ptr<FED> fed;
  std::string printed;
};

loaded_model load_example(const char* file) {
  loaded_model model;
  // The RID reports the missing file and falls back to its built-in defaults; that report is
  // not the model's.
  setenv("RTI_RID_FILE", "/nonexistent/RTI.rid", 1);
  CaptureStderr();
  model.rid = std::make_unique<RID>();
  GetCapturedStderr();

  const std::string path = std::string(EXAMPLES_DIR) + "/" + file;
  CaptureStderr();
  model.fed = std::make_unique<FED>(model.rid.get(), path.c_str());
  model.printed = GetCapturedStderr();
  return model;
}

std::vector<std::string> attribute_names(const FED& fed, uint32_t object_class) {
  std::vector<std::string> names;
  for (uint32_t a = 0; a < fed.num_attributes(object_class); ++a)
    names.push_back(text(fed.get_attribute_name(a, object_class)));
  return names;
}

std::vector<std::string> parameter_names(const FED& fed, uint32_t interaction) {
  std::vector<std::string> names;
  for (uint32_t p = 0; p < fed.num_parameters(interaction); ++p)
    names.push_back(text(fed.get_parameter_name(p, interaction)));
  return names;
}

std::vector<std::string> object_class_names(const FED& fed) {
  std::vector<std::string> names;
  for (uint32_t c = 0; c < fed.num_object_classes(); ++c)
    names.push_back(text(fed.get_object_class_name(c)));
  return names;
}

std::vector<std::string> interaction_class_names(const FED& fed) {
  std::vector<std::string> names;
  for (uint32_t i = 0; i < fed.num_interaction_classes(); ++i)
    names.push_back(text(fed.get_interaction_class_name(i)));
  return names;
}

TEST(FedExamples, EveryExampleLoadsWithoutAMessage) {
  const std::pair<const char*, const char*> examples[] = {
      {"demo.fed", "Demo"}, {"training.fed", "Training"}, {"training.xml", "Training"}};
  for (const auto& [file, federation] : examples) {
    SCOPED_TRACE(file);
    const loaded_model model = load_example(file);
    EXPECT_EQ(model.fed->get_status(), Document::ok);
    EXPECT_EQ(model.printed, "");
    EXPECT_EQ(text(model.fed->get_federation_name()), federation);
    EXPECT_FALSE(model.fed->is_1516());
  }
}

TEST(FedExamples, DemoHandlesFollowTheFile) {
  const loaded_model model = load_example("demo.fed");
  const FED& fed = *model.fed;

  EXPECT_EQ(fed.get_transport_id("best_effort"), 0u);
  EXPECT_EQ(fed.get_transport_id("reliable"), 1u);
  EXPECT_EQ(fed.get_order_id("receive"), 0u);
  EXPECT_EQ(fed.get_order_id("timestamp"), 1u);
  EXPECT_EQ(fed.num_routing_spaces(), 0u);

  EXPECT_EQ(object_class_names(fed),
            (std::vector<std::string>{"objectRoot", "Vehicle", "Vehicle.Car", "Vehicle.Truck",
                                      "Station"}));
  EXPECT_EQ(attribute_names(fed, 0), std::vector<std::string>{"privilegeToDelete"});
  // Subclasses continue their parent's attribute numbering, so siblings share handle 4.
  EXPECT_EQ(attribute_names(fed, 2), (std::vector<std::string>{"privilegeToDelete", "Name",
                                                               "Position", "Velocity",
                                                               "Passengers"}));
  EXPECT_EQ(attribute_names(fed, 3), (std::vector<std::string>{"privilegeToDelete", "Name",
                                                               "Position", "Velocity", "Load"}));
  EXPECT_EQ(attribute_names(fed, 4),
            (std::vector<std::string>{"privilegeToDelete", "Name", "Position"}));
  EXPECT_EQ(fed.max_attributes(), 5u);
  EXPECT_EQ(fed.get_object_superclass(2), 1u);
  EXPECT_EQ(fed.get_object_superclass(4), 0u);
  EXPECT_EQ(fed.get_object_class_handle("objectRoot.vehicle.truck"), 3u);

  // Declared properties: inherited attributes keep theirs.
  EXPECT_EQ(fed.get_transport_type(2, 2), 0u);  // Vehicle.Car Position: best_effort receive
  EXPECT_EQ(fed.get_order_type(2, 2), 0u);
  EXPECT_EQ(fed.get_transport_type(4, 3), 1u);  // Vehicle.Truck Load: reliable timestamp
  EXPECT_EQ(fed.get_order_type(4, 3), 1u);
  EXPECT_EQ(fed.get_transport_type(0, 4), 1u);  // Station privilegeToDelete: reliable timestamp
  EXPECT_EQ(fed.get_order_type(0, 4), 1u);
  EXPECT_EQ(fed.get_routing_space(1, 1), invalid_handle);

  EXPECT_EQ(interaction_class_names(fed),
            (std::vector<std::string>{"interactionRoot", "Message", "Collision"}));
  EXPECT_EQ(parameter_names(fed, 1), (std::vector<std::string>{"Sender", "Text"}));
  EXPECT_EQ(parameter_names(fed, 2), (std::vector<std::string>{"First", "Second", "Position"}));
  EXPECT_EQ(fed.get_interaction_transport_type(0), 0u);
  EXPECT_EQ(fed.get_interaction_transport_type(1), 1u);
  EXPECT_EQ(fed.get_interaction_order_type(1), 0u);
  EXPECT_EQ(fed.get_interaction_order_type(2), 1u);
  EXPECT_EQ(fed.get_interaction_superclass(2), 0u);
}

// The management agent finds its classes by these names and fills these attributes.
TEST(FedExamples, TrainingCarriesTheManagementModel) {
  const std::vector<std::string> federation_attributes = {
      "FederationName", "FederatesInFederation", "RTIversion",   "FEDid",
      "LastSaveName",   "LastSaveTime",          "NextSaveName", "NextSaveTime"};
  const std::vector<std::string> federate_attributes = {
      "FederateHandle",      "FederateType",      "FederateHost",        "RTIversion",
      "FEDid",               "TimeConstrained",   "TimeRegulating",      "AsynchronousDelivery",
      "FederateState",       "TimeManagerState",  "FederateTime",        "Lookahead",
      "LBTS",                "MinNextEventTime",  "ROlength",            "TSOlength",
      "ReflectionsReceived", "UpdatesSent",       "InteractionsReceived", "InteractionsSent",
      "ObjectsOwned",        "ObjectsUpdated",    "ObjectsReflected",    "ConnectedTo",
      "IncomingPacketCount", "IncomingByteCount", "OutgoingPacketCount", "OutgoingByteCount",
      "IncomingPacketRate",  "IncomingByteRate",  "OutgoingPacketRate",  "OutgoingByteRate",
      "LocalSubCount",       "RemoteSubCount",    "RoundtripPingTime",   "PacketLossRate"};
  const std::pair<const char*, std::vector<std::string>> interactions[] = {
      {"Manager.Federate.Adjust.SetTiming", {"Federate", "ReportPeriod"}},
      {"Manager.Federate.Request.RequestSubscriptions", {"Federate"}},
      {"Manager.Federate.Report.ReportInteractionsSent",
       {"Federate", "TransportationType", "InteractionCounts"}},
      {"Manager.Federate.Report.Alert",
       {"Federate", "AlertSeverity", "AlertDescription", "AlertID"}},
      {"Manager.Federate.Service.ResignFederationExecution", {"Federate", "ResignAction"}},
      {"Manager.Federate.Service.TimeAdvanceRequest", {"Federate", "FederationTime"}}};

  for (const char* file : {"training.fed", "training.xml"}) {
    SCOPED_TRACE(file);
    const loaded_model model = load_example(file);
    const FED& fed = *model.fed;

    const uint32_t manager = fed.get_object_class_handle("Manager");
    const uint32_t federation = fed.get_object_class_handle("Manager.Federation");
    const uint32_t federate = fed.get_object_class_handle("Manager.Federate");
    ASSERT_NE(manager, invalid_handle);
    EXPECT_EQ(fed.get_object_superclass(manager), 0u);
    EXPECT_EQ(fed.get_object_superclass(federation), manager);
    EXPECT_EQ(fed.get_object_superclass(federate), manager);
    std::vector<std::string> expected = {"privilegeToDelete"};
    expected.insert(expected.end(), federation_attributes.begin(), federation_attributes.end());
    EXPECT_EQ(attribute_names(fed, federation), expected);
    expected.resize(1);
    expected.insert(expected.end(), federate_attributes.begin(), federate_attributes.end());
    EXPECT_EQ(attribute_names(fed, federate), expected);
    // Management values are reflected reliably in receive order.
    for (uint32_t a = 1; a < fed.num_attributes(federate); ++a) {
      EXPECT_EQ(fed.get_transport_type(a, federate), fed.get_transport_id("reliable"));
      EXPECT_EQ(fed.get_order_type(a, federate), fed.get_order_id("receive"));
    }

    const uint32_t federate_interaction = fed.get_interaction_class_handle("Manager.Federate");
    ASSERT_NE(federate_interaction, invalid_handle);
    for (const auto& [name, parameters] : interactions) {
      const uint32_t interaction = fed.get_interaction_class_handle(name);
      ASSERT_NE(interaction, invalid_handle) << name;
      EXPECT_TRUE(fed.is_interaction_class_derived(federate_interaction, interaction)) << name;
      EXPECT_EQ(parameter_names(fed, interaction), parameters) << name;
    }
  }
}

// What the larger example is meant to show: a deep tree, both transports and both orders,
// and a routing space with dimensions.
TEST(FedExamples, TrainingCoversTheModelFeatures) {
  const loaded_model model = load_example("training.fed");
  const FED& fed = *model.fed;

  const uint32_t tank = fed.get_object_class_handle("Platform.GroundVehicle.Armored.Tank");
  EXPECT_TRUE(fed.is_object_class_derived(fed.get_object_class_handle("Platform"), tank));

  std::set<std::pair<uint32_t, uint32_t>> kinds;
  for (uint32_t c = 0; c < fed.num_object_classes(); ++c)
    for (uint32_t a = 0; a < fed.num_attributes(c); ++a)
      kinds.insert({fed.get_transport_type(a, c), fed.get_order_type(a, c)});
  EXPECT_EQ(kinds.size(), 4u);  // every pairing of best_effort and reliable, receive and timestamp

  const uint32_t space = fed.get_routing_space_handle("HyperSpace");
  ASSERT_EQ(space, 0u);
  EXPECT_EQ(fed.num_dimensions(space), 3u);
  EXPECT_EQ(fed.get_dimension_handle("Altitude", space), 2u);
}

TEST(FedExamples, TrainingFormsLoadTheSameModel) {
  const loaded_model reader = load_example("training.fed");
  const loaded_model xml = load_example("training.xml");

  const std::vector<std::string> from_reader = describe(*reader.fed);
  const std::vector<std::string> from_xml = describe(*xml.fed);
  ASSERT_GT(from_reader.size(), 200u);
  for (size_t line = 0; line < std::min(from_reader.size(), from_xml.size()); ++line)
    ASSERT_EQ(from_reader[line], from_xml[line]) << "first difference at line " << line;
  EXPECT_EQ(from_reader.size(), from_xml.size());
  EXPECT_EQ(reader.fed->get_checksum(), xml.fed->get_checksum());
}

}  // namespace
