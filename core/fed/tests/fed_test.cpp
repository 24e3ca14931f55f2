#include "fed/fed.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "fed/tests/fed_description.h"
#include "rid.h"

using namespace brindle;
using namespace varnel;

namespace {

// A 1.3 model with a subclass (Vehicle.Car) listed before one of its parent's attributes.
const std::string demo_model = R"((FED (Federation Demo) (FEDversion v1.3)
  (spaces (space Geo (dimension X) (dimension Y)) (space Radio (dimension Channel)))
  (objects
    (class ObjectRoot (attribute privilegeToDelete reliable timestamp)
      (class RTIprivate)
      (class Vehicle (attribute position best_effort receive Geo)
        (class Car (attribute doors reliable timestamp))
        (attribute speed reliable receive)
        (class Truck))))
  (interactions
    (class InteractionRoot best_effort receive
      (class Fire reliable timestamp Geo (parameter target) (parameter weapon)
        (class Salvo reliable timestamp (parameter rounds)))))))";

std::string with_version(const std::string& version, const std::string& body) {
  return "(FED (Federation Demo) (FEDversion " + version + ")" + body + ")";
}

// Each test writes its models into a temp folder; the RID comes from a file there too (by
// default a missing one, so the built-in transport types apply).
class FedTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/fed_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    use_rid((folder_ / "absent.rid").string());
  }

  void TearDown() override {
    unsetenv("RTI_RID_FILE");
    std::filesystem::remove_all(folder_);
  }

  void use_rid(const std::string& path) {
    setenv("RTI_RID_FILE", path.c_str(), 1);
    testing::internal::CaptureStderr();
    rid_ = std::make_unique<RID>();
    testing::internal::GetCapturedStderr();
  }

  std::string write(const std::string& text, const std::string& name = "model.fed") {
    const std::string path = (folder_ / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  // Loads path; what FED printed is left in messages_.
  std::unique_ptr<FED> load_file(const std::string& path) {
    testing::internal::CaptureStderr();
    auto fed = std::make_unique<FED>(rid_.get(), path.c_str());
    messages_ = testing::internal::GetCapturedStderr();
    return fed;
  }

  std::unique_ptr<FED> load(const std::string& text, const std::string& name = "model.fed") {
    return load_file(write(text, name));
  }

  std::filesystem::path folder_;
  std::unique_ptr<RID> rid_;
  std::string messages_;
};

TEST_F(FedTest, HandlesFollowFileOrderAndSubclassesInheritWhatTheParentHadSoFar) {
  auto fed = load(demo_model);
  EXPECT_EQ(fed->get_status(), Document::ok);
  EXPECT_EQ(messages_, "");
  EXPECT_STREQ(fed->get_federation_name(), "Demo");

  ASSERT_EQ(fed->num_object_classes(), 5u);
  const char* names[] = {"objectRoot", "RTIprivate", "Vehicle", "Vehicle.Car", "Vehicle.Truck"};
  for (uint32_t handle = 0; handle < 5; ++handle)
    EXPECT_STREQ(fed->get_object_class_name(handle), names[handle]);

  // Car came before speed: it lacks speed, and its doors took speed's handle number.
  const uint32_t vehicle = 2, car = 3, truck = 4;
  EXPECT_EQ(fed->get_attribute_handle("speed", vehicle), 2u);
  EXPECT_EQ(fed->get_attribute_handle("doors", car), 2u);
  EXPECT_EQ(fed->get_attribute_handle("speed", car), invalid_handle);
  EXPECT_STREQ(fed->get_attribute_name(2, car), "doors");
  EXPECT_STREQ(fed->get_attribute_name(2, truck), "speed");
  EXPECT_STREQ(fed->get_attribute_name(1, car), "position");
  EXPECT_STREQ(fed->get_attribute_name(0, truck), "privilegeToDelete");
  EXPECT_EQ(fed->num_attributes(car), 3u);
  EXPECT_EQ(fed->num_attributes(1), 1u);
  EXPECT_EQ(fed->max_attributes(), 3u);
  EXPECT_FALSE(fed->is_attribute_valid(3, vehicle));
  EXPECT_EQ(fed->get_attribute_name(0, 5), nullptr);

  // Inherited attributes keep their declared types.
  EXPECT_EQ(fed->get_transport_type(1, car), fed->get_transport_id("best_effort"));
  EXPECT_EQ(fed->get_order_type(1, car), fed->get_order_id("receive"));
  EXPECT_EQ(fed->get_routing_space(1, car), fed->get_routing_space_handle("Geo"));
  EXPECT_EQ(fed->get_transport_type(2, car), fed->get_transport_id("reliable"));
  EXPECT_EQ(fed->get_order_type(2, car), fed->get_order_id("timestamp"));
  EXPECT_EQ(fed->get_routing_space(2, car), invalid_handle);
  EXPECT_EQ(fed->get_transport_type(7, car), invalid_handle);

  ASSERT_EQ(fed->num_interaction_classes(), 3u);
  EXPECT_STREQ(fed->get_interaction_class_name(0), "interactionRoot");
  EXPECT_STREQ(fed->get_interaction_class_name(2), "Fire.Salvo");
  EXPECT_STREQ(fed->get_parameter_name(1, 2), "weapon");
  EXPECT_EQ(fed->get_parameter_handle("rounds", 2), 2u);
  EXPECT_EQ(fed->get_parameter_handle("rounds", 1), invalid_handle);
  EXPECT_EQ(fed->num_parameters(2), 3u);
  EXPECT_EQ(fed->max_parameters(), 3u);
  EXPECT_EQ(fed->get_interaction_transport_type(1), 1u);
  EXPECT_EQ(fed->get_interaction_order_type(1), 1u);
  EXPECT_EQ(fed->get_interaction_routing_space(1), 0u);
  EXPECT_EQ(fed->get_interaction_routing_space(0), invalid_handle);

  ASSERT_EQ(fed->num_routing_spaces(), 2u);
  EXPECT_STREQ(fed->get_routing_space_name(1), "Radio");
  EXPECT_STREQ(fed->get_dimension_name(1, 0), "Y");
  EXPECT_EQ(fed->get_dimension_handle("Channel", 1), 0u);
  EXPECT_EQ(fed->num_dimensions(0), 2u);
  EXPECT_EQ(fed->max_dimensions(), 2u);
  EXPECT_FALSE(fed->is_dimension_valid(2, 0));
}

TEST_F(FedTest, HierarchyWalksParentsAndListsDirectSubclassesInFileOrder) {
  auto fed = load(demo_model);
  EXPECT_EQ(fed->get_object_superclass(3), 2u);
  EXPECT_EQ(fed->get_object_superclass(0), invalid_handle);
  EXPECT_EQ(fed->get_object_superclass(99), invalid_handle);
  EXPECT_EQ(fed->get_interaction_superclass(2), 1u);

  std::vector<uint32_t> out(fed->num_object_classes(), invalid_handle);
  ASSERT_EQ(fed->get_object_subclasses(2, out), 2u);
  EXPECT_EQ(out[0], 3u);
  EXPECT_EQ(out[1], 4u);
  // A short array gets what fits; the count is still the whole number.
  uint32_t one[1] = {invalid_handle};
  EXPECT_EQ(fed->get_object_subclasses(0, one), 2u);
  EXPECT_EQ(one[0], 1u);
  EXPECT_EQ(fed->get_object_subclasses(99, out), 0u);
  EXPECT_EQ(fed->get_interaction_subclasses(1, out), 1u);

  EXPECT_TRUE(fed->is_object_class_derived(0, 3));
  EXPECT_TRUE(fed->is_object_class_derived(3, 3));
  EXPECT_FALSE(fed->is_object_class_derived(3, 2));
  EXPECT_FALSE(fed->is_object_class_derived(1, 3));
  EXPECT_FALSE(fed->is_object_class_derived(0, 99));
  EXPECT_TRUE(fed->is_interaction_class_derived(1, 2));
  EXPECT_FALSE(fed->is_interaction_class_derived(99, 2));
}

TEST_F(FedTest, NamesIn13AreCaseInsensitiveAndMayBeQualifiedByTheRoot) {
  auto fed = load(demo_model);
  EXPECT_EQ(fed->get_object_class_handle("objectroot.vehicle"), 2u);
  EXPECT_EQ(fed->get_object_class_handle("ObjectRoot.Vehicle.Car"), 3u);
  EXPECT_EQ(fed->get_object_class_handle("HLAobjectRoot.Vehicle.Truck"), 4u);
  EXPECT_EQ(fed->get_object_class_handle("VEHICLE.car"), 3u);
  EXPECT_EQ(fed->get_object_class_handle("ObjectRoot"), 0u);
  EXPECT_EQ(fed->get_object_class_handle("Car"), invalid_handle);
  EXPECT_EQ(fed->get_object_class_handle(nullptr), invalid_handle);
  EXPECT_EQ(fed->get_interaction_class_handle("InteractionRoot.fire.salvo"), 2u);
  EXPECT_EQ(fed->get_interaction_class_handle("HLAinteractionRoot.Fire"), 1u);
  EXPECT_EQ(fed->get_interaction_class_handle("interactionRoot"), 0u);
  EXPECT_EQ(fed->get_attribute_handle("POSITION", 3), 1u);
  EXPECT_EQ(fed->get_routing_space_handle("geo"), 0u);
  EXPECT_EQ(fed->get_dimension_handle("y", 0), 1u);
  // The root's privilege attribute answers to its other spellings, in the root only.
  EXPECT_EQ(fed->get_attribute_handle("HLAprivilegeToDeleteObject", 0), 0u);
  EXPECT_EQ(fed->get_attribute_handle("privilegeToDeleteObject", 0), 0u);
  EXPECT_EQ(fed->get_attribute_handle("privilegeToDeleteObject", 2), invalid_handle);
  EXPECT_EQ(fed->get_transport_id("HLAreliable"), 1u);
  EXPECT_EQ(fed->get_transport_id("HLAbestEffort"), 0u);
  EXPECT_EQ(fed->get_order_id("TimeStamp"), 1u);
  EXPECT_EQ(fed->get_order_id("fifo"), invalid_handle);
}

TEST_F(FedTest, NamesIn1516CompareExactly) {
  const std::string body =
      R"((objects (class HLAobjectRoot (class Vehicle (attribute speed HLAreliable TimeStamp)))))";
  auto fed = load(with_version("1516", body));
  EXPECT_EQ(messages_,
            "FED: Warning: No interactions section in file " + (folder_ / "model.fed").string() + "\n");
  EXPECT_TRUE(fed->is_1516());
  EXPECT_EQ(fed->get_object_class_handle("objectRoot.Vehicle"), 1u);
  EXPECT_EQ(fed->get_object_class_handle("HLAobjectRoot.Vehicle"), 1u);
  EXPECT_EQ(fed->get_object_class_handle("objectroot.vehicle"), invalid_handle);
  EXPECT_EQ(fed->get_object_class_handle("vehicle"), invalid_handle);
  EXPECT_EQ(fed->get_attribute_handle("Speed", 1), invalid_handle);
  EXPECT_EQ(fed->get_transport_type(0, 1), fed->get_transport_id("reliable"));
  EXPECT_EQ(fed->get_order_type(0, 1), fed->get_order_id("timestamp"));
  EXPECT_STREQ(fed->get_object_class_name(0), "objectRoot");
}

TEST_F(FedTest, VersionFormsSelectTheNameRules) {
  struct form {
    const char* version;
    bool is_1516;
    const char* message;
  };
  const form forms[] = {
      {"1.3", false, ""},
      {"v1.3", false, ""},
      {"V1.3", false, ""},
      {"\"1.3\"", false, ""},
      {"1516", true, ""},
      {"1516.2", true, ""},
      {"P1516.2", true, ""},
      {"p1516.2", true, ""},
      {"2.0", false, "FED: Warning: FED has unknown version (got 2)\n"},
      {"1517", false, "FED: Warning: FED has unknown version (got 1517)\n"},
      {"v2", false, "FED: Warning: FED has unknown version (got v2)\n"},
  };
  for (const form& f : forms) {
    auto fed = load(with_version(f.version, "(objects) (interactions)"));
    EXPECT_EQ(fed->is_1516(), f.is_1516) << f.version;
    EXPECT_EQ(messages_, f.message) << f.version;
    EXPECT_EQ(fed->get_status(), Document::ok) << f.version;
  }
  const std::string path = write("(FED (objects) (interactions))");
  auto fed = load_file(path);
  EXPECT_EQ(messages_, "FED: Warning: No federation name in file " + path +
                           "\nFED: Warning: No FEDversion/DTDversion in file " + path + "\n");
  EXPECT_FALSE(fed->is_1516());
  EXPECT_EQ(fed->get_status(), Document::ok);
}

TEST_F(FedTest, XmlFormReadsAttributesAndMakesOneSpaceOfItsDimensions) {
  const std::string xml = R"(<?xml version="1.0"?>
<objectModel name="Demo" DTDversion="1516.2">
  <dimensions><dimension name="X"/><dimension name="Y"/></dimensions>
  <objects>
    <objectClass name="HLAobjectRoot">
      <attribute name="HLAprivilegeToDeleteObject" transportation="HLAreliable" order="TimeStamp"/>
      <objectClass name="Vehicle">
        <attribute name="position" transportation="HLAbestEffort" order="Receive"/>
      </objectClass>
    </objectClass>
  </objects>
  <interactions>
    <interactionClass name="HLAinteractionRoot" transportation="HLAreliable" order="Receive">
      <interactionClass name="Fire" transportation="HLAreliable" order="TimeStamp">
        <parameter name="target"/>
      </interactionClass>
    </interactionClass>
  </interactions>
</objectModel>)";
  const std::string reader = R"((FED (Federation Other) (FEDversion v1.3)
  (spaces (space HyperSpace (dimension X) (dimension Y)))
  (objects (class ObjectRoot (attribute privilegeToDelete reliable timestamp)
    (class Vehicle (attribute position best_effort receive))))
  (interactions (class InteractionRoot reliable receive
    (class Fire reliable timestamp (parameter target))))))";
  auto from_xml = load(xml, "model.xml");
  EXPECT_EQ(messages_, "");
  EXPECT_EQ(from_xml->get_status(), Document::ok);
  EXPECT_TRUE(from_xml->is_1516());
  EXPECT_STREQ(from_xml->get_federation_name(), "Demo");
  EXPECT_EQ(from_xml->get_routing_space_handle("HyperSpace"), 0u);
  EXPECT_EQ(from_xml->get_dimension_handle("Y", 0), 1u);
  EXPECT_STREQ(from_xml->get_attribute_name(0, 1), "privilegeToDelete");
  EXPECT_EQ(from_xml->get_parameter_handle("target", 1), 0u);

  // The same model in the reader form: equal checksum, whatever the federation name.
  auto from_reader = load(reader);
  EXPECT_EQ(from_reader->get_status(), Document::ok);
  EXPECT_EQ(from_xml->get_checksum(), from_reader->get_checksum());
}

TEST_F(FedTest, UnknownTransportsOrdersAndSpacesAreReportedOnceAndDefaulted) {
  auto fed = load(with_version("1.3", R"((objects (class ObjectRoot
      (attribute a fast receive) (attribute b fast slow Nowhere) (attribute c fast slow Nowhere)
      (attribute d reliable timestamp 5))) (interactions (class InteractionRoot fast receive)))"));
  EXPECT_EQ(fed->get_status(), Document::ok);
  EXPECT_EQ(messages_,
            "FED: Warning: Unknown transport type fast in FED file.\n"
            "              Defaulting to best_effort.\n"
            "FED: Warning: Unknown order type slow in FED file.\n"
            "              Defaulting to receive.\n"
            "FED: Warning: Unknown routing space Nowhere in FED file.\n"
            "              Defaulting to have no space.\n"
            "FED: Warning: Unknown routing space 5 in FED file.\n"
            "              Defaulting to have no space.\n");
  for (uint32_t attribute = 0; attribute < 3; ++attribute) {
    EXPECT_EQ(fed->get_transport_type(attribute, 0), fed->get_transport_id("best_effort"));
    EXPECT_EQ(fed->get_order_type(attribute, 0), fed->get_order_id("receive"));
    EXPECT_EQ(fed->get_routing_space(attribute, 0), invalid_handle);
  }
  EXPECT_EQ(fed->get_interaction_transport_type(0), fed->get_transport_id("best_effort"));
}

// demo_model as other RTIs write their models: capitalized keywords, entries this loader does
// not read (federates, security levels) at the top and inside classes, one of them holding a
// class of its own, and one keyword spelled in two ways.
const std::string capitalized_demo_model = R"((Fed (Federation Demo) (FedVersion v1.3)
  (Federate "alpha" "Public") (Federate "beta" "Public")
  (Spaces (Space Geo (Dimension X) (Dimension Y)) (Space Radio (Dimension Channel)))
  (Objects
    (Class ObjectRoot (Attribute privilegeToDelete reliable timestamp)
      (Class RTIprivate)
      (Class Vehicle (Attribute position best_effort receive Geo)
        (Security (Level "Secret") (Class Hidden (Attribute leak reliable receive)))
        (Class Car (Attribute doors reliable timestamp) (Sec_Level "Public"))
        (ATTRIBUTE speed reliable receive)
        (Class Truck))))
  (Interactions
    (Class InteractionRoot best_effort receive
      (Class Fire reliable timestamp Geo (Parameter target) (Parameter weapon)
        (SEC_LEVEL "Public")
        (Class Salvo reliable timestamp (Parameter rounds)))))
  (Sec_Level "Public")))";

TEST_F(FedTest, ModelsWrittenForOtherRtisLoadLikeOursAndReportWhatTheySkipOnce) {
  auto ours = load(demo_model);
  // Pinned: the checksum of a model that loaded before keywords ignored case stays put.
  EXPECT_EQ(ours->get_checksum(), 0x622B00CBu);

  auto theirs = load(capitalized_demo_model);
  EXPECT_EQ(theirs->get_status(), Document::ok);
  EXPECT_EQ(messages_,
            "FED: Warning: Unknown entry Federate in FED file.\n"
            "              Skipping every Federate entry.\n"
            "FED: Warning: Unknown entry Sec_Level in FED file.\n"
            "              Skipping every Sec_Level entry.\n"
            "FED: Warning: Unknown entry Security in FED file.\n"
            "              Skipping every Security entry.\n");
  EXPECT_EQ(describe(*theirs), describe(*ours));
  EXPECT_EQ(theirs->get_checksum(), ours->get_checksum());
  EXPECT_EQ(theirs->get_object_class_handle("Vehicle.Hidden"), invalid_handle);

  // Classes straight under Objects, without a root, still fail on the second one.
  auto rootless = load(R"((Fed (Federation Demo) (FedVersion v1.3)
    (Objects (Class Vehicle) (Class Station)) (Interactions (Class InteractionRoot reliable receive))))");
  EXPECT_EQ(rootless->get_status(), Document::parse_failed);
  EXPECT_EQ(messages_, "FED Error: duplicate name objectRoot in FED file.\n");

  // A 1516 model's keywords stay exact, and what it does not read is skipped silently.
  auto exact = load(with_version("1516", "(Objects (class HLAobjectRoot)) (Sec_Level x) (interactions)"));
  EXPECT_EQ(messages_, "FED: Warning: No objects section in file " + (folder_ / "model.fed").string() + "\n");
  EXPECT_EQ(exact->num_object_classes(), 0u);
}

TEST_F(FedTest, DuplicatesAreDroppedAndLeaveTheirHandleEmpty) {
  auto fed = load(with_version("v1.3", R"((objects
    (class ObjectRoot
      (attribute a reliable receive) (attribute A reliable receive) (attribute b reliable receive)
      (class Vehicle (attribute x reliable receive))
      (class vehicle (attribute y reliable receive) (class Sub))
      (class Ship))
    (class Other (attribute z reliable receive)))
    (interactions (class InteractionRoot reliable receive (parameter p) (parameter P))))"));
  EXPECT_EQ(fed->get_status(), Document::parse_failed);
  EXPECT_EQ(messages_,
            "FED Error: duplicate name A in FED file.\n"
            "FED Error: duplicate name vehicle in FED file.\n"
            "FED Error: duplicate name objectRoot in FED file.\n"
            "FED Error: duplicate name P in FED file.\n");
  // The second vehicle took handle 2 and its subclass went with it; Ship follows.
  ASSERT_EQ(fed->num_object_classes(), 5u);
  EXPECT_FALSE(fed->is_object_class_valid(2));
  EXPECT_EQ(fed->get_object_class_name(2), nullptr);
  EXPECT_EQ(fed->get_object_class_handle("Ship"), 3u);
  EXPECT_EQ(fed->get_object_class_handle("Vehicle.Sub"), invalid_handle);
  EXPECT_FALSE(fed->is_object_class_valid(4));
  EXPECT_EQ(fed->get_object_class_handle("objectRoot"), 0u);
  uint32_t subclasses[5];
  EXPECT_EQ(fed->get_object_subclasses(0, subclasses), 2u);
  EXPECT_EQ(subclasses[1], 3u);
  // The empty attribute slot is inherited as an empty slot.
  EXPECT_EQ(fed->num_attributes(0), 3u);
  EXPECT_FALSE(fed->is_attribute_valid(1, 0));
  EXPECT_FALSE(fed->is_attribute_valid(1, 1));
  EXPECT_EQ(fed->get_attribute_handle("b", 1), 2u);
  EXPECT_EQ(fed->get_attribute_handle("x", 1), 3u);
  EXPECT_EQ(fed->get_attribute_handle("A", 0), 0u);
  EXPECT_EQ(fed->num_parameters(0), 2u);
  EXPECT_FALSE(fed->is_parameter_valid(1, 0));
}

TEST_F(FedTest, EntriesWithoutNamesOrTypesAreReportedAndTheRestIsKept) {
  auto fed = load(with_version("v1.3", R"(
    (spaces (space) (space S (dimension) (dimension d)))
    (objects (class)
      (class ObjectRoot (attribute) (attribute a) (attribute b reliable) (attribute 5 reliable receive)
        (attribute ok reliable receive) (class) (class 7 (class Lost)) (class Good)))
    (interactions (class InteractionRoot reliable receive
      (class) (class NoTransport) (class NoOrder reliable)
      (class Good reliable receive (parameter) (parameter p)))))"));
  EXPECT_EQ(fed->get_status(), Document::parse_failed);
  EXPECT_EQ(messages_,
            "FED: Error: missing space name\n"
            "FED: Error: missing dimension name in space S\n"
            "FED: Error: missing object class name at top level\n"
            "FED: Error: missing attribute name in class objectRoot\n"
            "FED: Error: missing transport type for class objectRoot attribute a\n"
            "FED: Error: missing order type for class objectRoot attribute b\n"
            "FED: Error: missing attribute name in class objectRoot\n"
            "FED: Error: missing object class name in subclass of objectRoot\n"
            "FED: Error: missing object class name in subclass of objectRoot\n"
            "FED: Error: missing interaction name in subclass of interactionRoot\n"
            "FED: Error: missing transport type for interaction NoTransport\n"
            "FED: Error: missing order type for interaction NoOrder\n"
            "FED: Error: missing parameter name in class Good\n");
  EXPECT_EQ(fed->get_object_class_handle("Good"), 1u);
  EXPECT_EQ(fed->get_attribute_handle("ok", 1), 0u);
  EXPECT_EQ(fed->num_object_classes(), 2u);
  EXPECT_EQ(fed->get_interaction_class_handle("Good"), 1u);
  EXPECT_EQ(fed->get_parameter_handle("p", 1), 0u);
  EXPECT_EQ(fed->get_dimension_handle("d", fed->get_routing_space_handle("S")), 0u);
}

TEST_F(FedTest, ModelPathFallsBackToItsFileNameInTheWorkingDirectory) {
  write(demo_model, "demo.fed");
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder_);
  auto fed = load_file("models/demo.fed");
  std::filesystem::current_path(previous);
  EXPECT_EQ(fed->get_status(), Document::ok);
  EXPECT_STREQ(fed->get_fed_filename(), "models/demo.fed");
  EXPECT_EQ(fed->num_object_classes(), 5u);
}

TEST_F(FedTest, UnreadableFilesGiveTheirStatusAndMessage) {
  const std::string missing = (folder_ / "nowhere" / "none.fed").string();
  auto absent = load_file(missing);
  EXPECT_EQ(absent->get_status(), Document::load_failed);
  EXPECT_NE(messages_.find("FED: Error: FED file " + missing + " not found\n"), std::string::npos);
  EXPECT_EQ(absent->num_object_classes(), 0u);
  EXPECT_EQ(absent->get_object_class_name(0), nullptr);
  EXPECT_EQ(load_file("")->get_status(), Document::load_failed);
  testing::internal::CaptureStderr();
  EXPECT_EQ(FED(rid_.get(), nullptr).get_status(), Document::load_failed);
  testing::internal::GetCapturedStderr();

  const std::string other = write("Name,Kind\nVehicle,class\n", "model.csv");
  EXPECT_EQ(load_file(other)->get_status(), Document::parse_failed);
  EXPECT_NE(messages_.find("FED: Error: Error reading FED file " + other + "\n"), std::string::npos);

  // Every truncation of a good model is refused as a whole rather than read in part.
  for (size_t length = 0; length < demo_model.size(); ++length) {
    auto fed = load(demo_model.substr(0, length));
    ASSERT_EQ(fed->get_status(), Document::parse_failed) << length;
    ASSERT_NE(messages_.find("FED: Error: Error reading FED file "), std::string::npos) << length;
  }

  // Nesting beyond the reader's limit is a parse failure, not a deep recursion.
  std::string deep = "(FED (objects ";
  for (int level = 0; level < 200; ++level) deep += "(class C" + std::to_string(level) + " ";
  deep += std::string(200, ')') + "))";
  EXPECT_EQ(load(deep)->get_status(), Document::parse_failed);
}

TEST_F(FedTest, WrongTopElementIsAnErrorButTheModelIsStillRead) {
  const std::string path =
      write("(Model (FEDversion v1.3) (objects (class ObjectRoot (class A))) (interactions))");
  auto fed = load_file(path);
  EXPECT_EQ(fed->get_status(), Document::parse_failed);
  EXPECT_EQ(messages_, "FED: Error: No initial FED tag in file " + path +
                           "\nFED: Warning: No federation name in file " + path + "\n");
  EXPECT_EQ(fed->get_object_class_handle("A"), 1u);

  fed = load_file(write("(FED (Federation Empty) (FEDversion v1.3))"));
  EXPECT_EQ(fed->get_status(), Document::ok);
  EXPECT_NE(messages_.find("FED: Warning: No objects section in file "), std::string::npos);
  EXPECT_NE(messages_.find("FED: Warning: No interactions section in file "), std::string::npos);
  EXPECT_EQ(fed->num_transport_types(), 2u);
  EXPECT_EQ(fed->num_order_types(), 2u);
}

TEST_F(FedTest, DeepXmlNestingLoadsEveryLevel) {
  std::string xml = "<?xml version=\"1.0\"?><objectModel name=\"Deep\" DTDversion=\"1516.2\"><objects>";
  const int levels = 990;  // within the XML reader's nesting limit of 1000
  for (int level = 0; level < levels; ++level) xml += "<objectClass name=\"C\">";
  for (int level = 0; level < levels; ++level) xml += "</objectClass>";
  xml += "</objects><interactions/></objectModel>";
  auto fed = load(xml, "deep.xml");
  EXPECT_EQ(fed->get_status(), Document::ok);
  ASSERT_EQ(fed->num_object_classes(), static_cast<uint32_t>(levels));
  EXPECT_TRUE(fed->is_object_class_derived(0, levels - 1));
  EXPECT_EQ(fed->get_object_superclass(levels - 1), static_cast<uint32_t>(levels - 2));
}

TEST_F(FedTest, LongNamesNestedDeepStopAtTheNameBudget) {
  // Every level repeats its ancestors' names: 98 levels of 20,000-byte names would need about
  // 97 MB of qualified names from a 2 MB file.
  std::string text = "(FED (Federation Long) (FEDversion v1.3) (objects (class ObjectRoot ";
  const int levels = 97;
  for (int level = 0; level < levels; ++level) text += "(class " + std::string(20000, 'a' + level % 26) + " ";
  text += std::string(levels, ')') + ")) (interactions))";
  auto fed = load(text);
  EXPECT_EQ(fed->get_status(), Document::parse_failed);
  EXPECT_EQ(messages_, "FED: Error: class names exceed 67108864 bytes in FED file " +
                           (folder_ / "model.fed").string() + "\n");
  EXPECT_GT(fed->num_object_classes(), 50u);
  EXPECT_LT(fed->num_object_classes(), static_cast<uint32_t>(levels));
}

TEST_F(FedTest, TransportTypesComeFromTheRidInItsOrder) {
  auto builtin = load(demo_model);
  EXPECT_EQ(builtin->get_transport_id("best_effort"), 0u);
  EXPECT_EQ(builtin->get_transport_id("reliable"), 1u);
  EXPECT_STREQ(builtin->get_transport_implementation(0), "simple");
  EXPECT_STREQ(builtin->get_order_name(1), "timestamp");
  EXPECT_EQ(builtin->get_transport_name(2), nullptr);

  write(R"((rti (version D22)
    (federation_parameters
      (transport_types (fast (type "lowlat")) (reliable (type "simple")) (bare (suppress_dups false))))
    (federate_parameters)))",
        "test.rid");
  use_rid((folder_ / "test.rid").string());
  auto fed = load(demo_model);
  ASSERT_EQ(fed->num_transport_types(), 4u);
  EXPECT_STREQ(fed->get_transport_name(0), "fast");
  EXPECT_STREQ(fed->get_transport_implementation(0), "lowlat");
  EXPECT_EQ(fed->get_transport_id("reliable"), 1u);
  // A type the RID gives no implementation has none.
  EXPECT_STREQ(fed->get_transport_name(2), "bare");
  EXPECT_EQ(fed->get_transport_implementation(2), nullptr);
  EXPECT_EQ(fed->get_transport_id("best_effort"), 3u);
  EXPECT_EQ(fed->get_transport_type(1, 2), 3u);

  auto without_rid = FED(nullptr, (folder_ / "model.fed").c_str()).num_transport_types();
  EXPECT_EQ(without_rid, 2u);
}

TEST_F(FedTest, ChecksumFollowsTheModelNotItsText) {
  const uint32_t demo = load(demo_model)->get_checksum();
  // Other federation name, layout and comments, same model.
  std::string restyled = demo_model;
  restyled.replace(restyled.find("Demo"), 4, "Other");
  restyled.insert(restyled.find("(objects"), "; the classes\n   ");
  EXPECT_EQ(load(restyled)->get_checksum(), demo);

  std::string changed = demo_model;
  changed.replace(changed.find("doors reliable"), 14, "doors best_effort");
  EXPECT_NE(load(changed)->get_checksum(), demo);
  std::string renamed = demo_model;
  renamed.replace(renamed.find("Channel"), 7, "Band");
  EXPECT_NE(load(renamed)->get_checksum(), demo);

  // Every federate computes the same value from the same model, so the fold is pinned.
  auto tiny = load(R"((FED (FEDversion v1.3) (spaces (space S (dimension d)))
    (objects (class ObjectRoot (attribute a reliable timestamp S)))
    (interactions (class InteractionRoot best_effort receive (parameter p)))))");
  auto h = [](const char* text) { return SymbolTable::hash(text, std::strlen(text)); };
  const uint32_t space = h("S") + h("d");
  const uint32_t interaction = (((h("interactionRoot") + h("p")) * 33 + 0) * 33 + 0) * 33 + invalid_handle;
  const uint32_t object = h("objectRoot") + ((h("a") * 33 + 1) * 33 + 1) * 33 + 0;
  EXPECT_EQ(tiny->get_checksum(), space + interaction + object);
}

TEST_F(FedTest, LookupsOfUnknownNamesDoNotGrowTheModel) {
  auto fed = load(demo_model);
  const size_t symbols = fed->size();
  for (int i = 0; i < 1000; ++i) {
    const std::string name = "Unknown" + std::to_string(i);
    EXPECT_EQ(fed->get_object_class_handle(name.c_str()), invalid_handle);
    EXPECT_EQ(fed->get_attribute_handle(name.c_str(), 2), invalid_handle);
  }
  EXPECT_EQ(fed->size(), symbols);
}

}  // namespace
