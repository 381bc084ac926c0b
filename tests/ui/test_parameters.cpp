// Parameter addresses, clamping, callbacks, field forms, menus, bundles and OSC forms.

#include <gtest/gtest.h>

#include <future>
#include <stdexcept>

#include "protocol/osc_test_support.hpp"
#include "ui/vl_Parameter.hpp"
#include "ui/vl_ParameterBundle.hpp"

using namespace vl;
using namespace std::chrono_literals;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

TEST(ParameterAddress, PartsAreTrimmedOfOuterSlashesAndKeepInnerOnes) {
  EXPECT_EQ(Parameter("/foo/", "", 0, "").getFullAddress(), "/foo");
  EXPECT_EQ(Parameter("a.b", "g/", 0, "/p").getFullAddress(), "/p/g/a.b");
  EXPECT_EQ(Parameter("x", "//", 0, "/deep/er/").getFullAddress(), "/deep/er/x");
  EXPECT_EQ(ParameterInt(".name.", "-group-", 0, "").getFullAddress(), "/group/name");
  CaptureStdout();
  Parameter empty("", "g", 0, "");
  EXPECT_EQ(GetCapturedStdout(),
            "ParameterMeta ERROR: A valid name must be provided for the parameter\n");
  EXPECT_EQ(empty.getFullAddress(), "/g/_");
  CaptureStdout();
  Trigger slashes("///");
  EXPECT_NE(GetCapturedStdout().find("A valid name"), std::string::npos);
  EXPECT_EQ(slashes.getFullAddress(), "/_");
}

TEST(ParameterSet, ClampsBeforeCallbacksAndMinimumWinsOverMaximum) {
  Parameter p("p", "", 0.5f, "", 0.0f, 1.0f);
  std::vector<float> seen;
  p.registerChangeCallback([&](float v) { seen.push_back(v); });
  p.set(2.0f);
  EXPECT_EQ(p.get(), 1.0f);
  p.set(-1.0f);
  EXPECT_EQ(p.get(), 0.0f);
  p.setQuiet(7.0f);
  EXPECT_EQ(p.get(), 1.0f);
  EXPECT_EQ(seen, (std::vector<float>{1.0f, 0.0f}));

  Parameter crossed("c", "", 0, "", 5.0f, 1.0f);
  crossed.set(3.0f);
  EXPECT_EQ(crossed.get(), 5.0f);

  ParameterInt i("i", "", 0, "", -2, 3);
  i.set(10);
  EXPECT_EQ(i.get(), 3);
  i.setFromFloat(-2.9f);
  EXPECT_EQ(i.get(), -2);
  i.setFromFloat(std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(i.get(), 0);
  EXPECT_EQ(i.asFloat(), 0.0f);
  i.set(2);
  i.reset();
  EXPECT_EQ(i.get(), 0);
}

TEST(ParameterSet, CallbacksRunInOrderBeforeTheValueIsStored) {
  Parameter p("p", "", 0.0f, "", 0.0f, 10.0f);
  std::vector<std::string> calls;
  ValueSource src{"10.0.0.1", 9000};
  p.registerChangeCallback([&](float v, ValueSource* s) {
    calls.push_back("second " + std::to_string(int(v)) + (s ? " " + s->ipAddr : " local"));
  });
  p.registerChangeCallback([&](float v) {
    // The value is not stored yet: readers still see the previous one.
    calls.push_back("first " + std::to_string(int(v)) + " old " + std::to_string(int(p.get())));
  });
  p.registerChangeCallback([&](float) { calls.push_back("first again"); });
  p.set(3.0f, &src);
  EXPECT_EQ(calls, (std::vector<std::string>{"first 3 old 0", "first again", "second 3 10.0.0.1"}));
  EXPECT_EQ(p.get(), 3.0f);

  // An empty entry in the first list ends the run; the value is still stored.
  calls.clear();
  p.registerChangeCallback(ParameterWrapper<float>::Callback());
  p.registerChangeCallback([&](float) { calls.push_back("after empty"); });
  EXPECT_FALSE(p.emptyCallbackMet());
  p.set(4.0f);
  EXPECT_EQ(calls, (std::vector<std::string>{"first 4 old 3", "first again"}));
  EXPECT_TRUE(p.emptyCallbackMet());
  EXPECT_EQ(p.get(), 4.0f);
}

TEST(ParameterSet, BothCallbackListsLearnTheSourceOfAChange) {
  Parameter p("p");
  ParameterInt follower("follower");
  ValueSource remote{"10.0.0.2", 9001};
  std::vector<ValueSource*> first, second, followerSeen;
  p.registerChangeCallback([&](float v) {
    first.push_back(p.changeSource());
    follower.set(int32_t(v));  // a local change made from inside the callback
  });
  p.registerChangeCallback([&](float, ValueSource* s) { second.push_back(s); });
  follower.registerChangeCallback(
      [&](int32_t) { followerSeen.push_back(follower.changeSource()); });
  p.set(1.0f, &remote);
  p.set(2.0f);
  EXPECT_EQ(first, (std::vector<ValueSource*>{&remote, nullptr}));
  EXPECT_EQ(second, first);
  EXPECT_EQ(followerSeen, (std::vector<ValueSource*>{nullptr, nullptr}));
}

TEST(ParameterSet, SetQuietRunsCallbacksOnlyForAReceiver) {
  int receiver = 0;
  // Float and integer kinds: both lists with a receiver, the second with no source.
  Parameter p("p", "", 0);
  ParameterInt i("i", "", 0);
  std::vector<std::string> calls;
  p.registerChangeCallback([&](float) { calls.push_back("p1"); });
  p.registerChangeCallback([&](float, ValueSource* s) { calls.push_back(s ? "p2 src" : "p2"); });
  i.registerChangeCallback([&](int32_t) { calls.push_back("i1"); });
  i.registerChangeCallback([&](int32_t, ValueSource* s) { calls.push_back(s ? "i2 src" : "i2"); });
  p.setQuiet(1.0f);
  i.setQuiet(1);
  EXPECT_TRUE(calls.empty());
  p.setQuiet(2.0f, &receiver);
  i.setQuiet(2, &receiver);
  EXPECT_EQ(calls, (std::vector<std::string>{"p1", "p2", "i1", "i2"}));
  EXPECT_EQ(p.get(), 2.0f);
  EXPECT_EQ(i.get(), 2);

  // Other kinds: only the first list, and only with a receiver.
  ParameterString s("s", "", "a");
  calls.clear();
  s.registerChangeCallback([&](std::string v) { calls.push_back("s1 " + v); });
  s.registerChangeCallback([&](std::string, ValueSource*) { calls.push_back("s2"); });
  s.setQuiet("b");
  s.setQuiet("c", &receiver);
  EXPECT_EQ(calls, (std::vector<std::string>{"s1 c"}));
  EXPECT_EQ(s.get(), "c");
}

TEST(ParameterSet, CallbackMayRegisterAnotherDuringTheRun) {
  Parameter p("p");
  int later = 0;
  bool added = false;
  p.registerChangeCallback([&](float) {
    if (!added) {
      added = true;
      p.registerChangeCallback([&](float) { ++later; });
    }
  });
  p.set(1.0f);
  p.set(2.0f);
  EXPECT_EQ(later, 2);
}

TEST(ParameterFields, FieldFormsAndWrongCounts) {
  Parameter p("amp", "g", 0.25f, "", 0.0f, 1.0f);
  std::vector<ParameterField> f;
  p.get(f);
  ASSERT_EQ(f.size(), 1u);
  EXPECT_EQ(f[0].type(), ParameterField::FLOAT);
  EXPECT_EQ(f[0].get<float>(), 0.25f);

  CaptureStdout();
  p.set(std::vector<ParameterField>{0.5f, 0.75f});
  EXPECT_EQ(GetCapturedStdout(), "Wrong number of parameters for /g/amp\n");
  EXPECT_EQ(p.get(), 0.25f);
  p.set(std::vector<ParameterField>{0.5f});
  EXPECT_EQ(p.get(), 0.5f);

  ParameterBool b("on");
  f.clear();
  b.set(1.0f);
  b.get(f);
  b.set(0.5f);
  b.get(f);
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[0].type(), ParameterField::INT32);
  EXPECT_EQ(f[0].get<int32_t>(), 1);
  EXPECT_EQ(f[1].get<int32_t>(), 0);
  b.set(std::vector<ParameterField>{int32_t(1)});
  EXPECT_EQ(b.get(), 1.0f);
  b.set(std::vector<ParameterField>{int32_t(2)});
  EXPECT_EQ(b.get(), 0.0f);
  b.set(std::vector<ParameterField>{0.5f});
  EXPECT_EQ(b.get(), 0.5f);
  b.set(std::vector<ParameterField>{"1"});  // a text is ignored
  EXPECT_EQ(b.get(), 0.5f);
  EXPECT_EQ(b.asFloat(), 0.5f);

  ParameterPose pose("pose");
  const Pose value({1.0, -2.0, 3.0}, Quatd(0.5, 0.5, -0.5, 0.5));
  pose.set(value);
  f.clear();
  pose.get(f);
  ASSERT_EQ(f.size(), 7u);
  const float expected[7] = {1, -2, 3, 0.5f, 0.5f, -0.5f, 0.5f};
  for (int k = 0; k < 7; ++k) EXPECT_EQ(f[k].get<float>(), expected[k]) << k;
  pose.set(Pose());
  pose.set(f);
  EXPECT_EQ(pose.get(), value);
  CaptureStdout();
  pose.set(std::vector<ParameterField>(6, ParameterField(0.0f)));
  EXPECT_EQ(GetCapturedStdout(), "Wrong number of parameters for /pose\n");
  EXPECT_EQ(pose.get(), value);

  ParameterVec3 v("v", "", Vec3f(1.f, 2.f, 3.f));
  f.clear();
  v.get(f);
  v.set(Vec3f());
  v.set(f);
  EXPECT_EQ(v.get(), Vec3f(1.f, 2.f, 3.f));

  ParameterString s("s", "", "", "");
  s.set(std::vector<ParameterField>{"word"});
  EXPECT_EQ(s.get(), "word");
  ParameterInt i("i");
  i.set(std::vector<ParameterField>{int32_t(-9)});
  EXPECT_EQ(i.get(), -9);
}

TEST(ParameterFields, FieldsCopyTheirKindAndConvertOnMismatchedReads) {
  ParameterField text("12.5abc");
  ParameterField copy = text;
  ParameterField moved = std::move(copy);
  EXPECT_EQ(moved.type(), ParameterField::STRING);
  EXPECT_EQ(moved.get<std::string>(), "12.5abc");
  EXPECT_EQ(moved.get<float>(), 12.5f);
  EXPECT_EQ(moved.get<int32_t>(), 12);
  EXPECT_EQ(ParameterField("none").get<float>(), 0.0f);
  EXPECT_EQ(ParameterField(int32_t(7)).get<float>(), 7.0f);
  EXPECT_EQ(ParameterField(3.9f).get<int32_t>(), 3);
  EXPECT_EQ(ParameterField(1e20f).get<int32_t>(), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(ParameterField(int32_t(-4)).get<std::string>(), "-4");
  // A text field given to a numeric parameter converts instead of reading garbage.
  Parameter p("p");
  p.set(std::vector<ParameterField>{"0.5"});
  EXPECT_EQ(p.get(), 0.5f);
}

TEST(ParameterKinds, MenuStringTriggerAndUnimplementedForms) {
  ParameterMenu menu("menu", "", 0, "");
  EXPECT_EQ(menu.currentElement(), "");
  menu.setElements({"a", "b", "c"});
  EXPECT_EQ(menu.currentElement(), "a");
  int calls = 0;
  menu.registerChangeCallback([&](int32_t) { ++calls; });
  menu.set(5);
  EXPECT_EQ(menu.currentElement(), "");
  menu.set(-1);
  EXPECT_EQ(menu.currentElement(), "");
  menu.selectElement("c");
  EXPECT_EQ(menu.get(), 2);
  menu.selectElement("b", true);
  EXPECT_EQ(menu.get(), 1);
  EXPECT_EQ(calls, 3);
  CaptureStderr();
  menu.selectElement("zz");
  EXPECT_EQ(GetCapturedStderr(), "ERROR: Could not find element: zz\n");
  EXPECT_EQ(menu.get(), 1);
  std::vector<ParameterField> f;
  menu.get(f);
  ASSERT_EQ(f.size(), 1u);
  EXPECT_EQ(f[0].type(), ParameterField::STRING);
  EXPECT_EQ(f[0].get<std::string>(), "b");
  menu.set(std::vector<ParameterField>{"a"});
  EXPECT_EQ(menu.get(), 0);
  menu.setFromFloat(2.7f);
  EXPECT_EQ(menu.get(), 2);
  EXPECT_EQ(menu.asFloat(), 0.0f);

  ParameterString s("s", "", "2.5");
  EXPECT_EQ(s.asFloat(), 2.5f);
  s.setFromFloat(0.125f);
  EXPECT_EQ(s.get(), "0.125000");
  s.set("abc");
  EXPECT_THROW(s.asFloat(), std::invalid_argument);
  s.set("1e99");
  EXPECT_THROW(s.asFloat(), std::out_of_range);

  Trigger t("go");
  EXPECT_EQ(t.asFloat(), 0.0f);
  t.setFromFloat(0.5f);
  EXPECT_TRUE(t.get());
  EXPECT_EQ(t.asFloat(), 1.0f);

  CaptureStdout();
  f.clear();
  t.get(f);
  ParameterPose("pose").sendMeta(*std::make_unique<vl::osc::Send>());
  std::string out = GetCapturedStdout();
  EXPECT_NE(
      out.find("get(std::vector<ParameteterField> &fields) not implemented for vl::Trigger\n"),
      std::string::npos)
      << out;
  EXPECT_NE(out.find("sendMeta function not implemented for vl::ParameterPose\n"),
            std::string::npos)
      << out;
  EXPECT_TRUE(f.empty());
}

TEST(ParameterRead, GetReturnsAtOnceWhileAnotherThreadHoldsTheLock) {
  Parameter p("p", "", 1.0f);
  ParameterString s("s", "", "held");
  ParameterPose pose("pose", "", Pose({1.0, 2.0, 3.0}));
  p.lock();
  s.lock();
  pose.lock();
  auto reads = std::async(std::launch::async, [&] {
    return p.get() == 1.0f && s.get() == "held" && pose.get().position == Vec3d(1.0, 2.0, 3.0);
  });
  // A writer, in contrast, waits for the lock.
  auto write = std::async(std::launch::async, [&] { p.set(2.0f); });
  ASSERT_EQ(reads.wait_for(2s), std::future_status::ready);
  EXPECT_TRUE(reads.get());
  EXPECT_EQ(write.wait_for(50ms), std::future_status::timeout);
  EXPECT_EQ(p.get(), 1.0f);
  p.unlock();
  s.unlock();
  pose.unlock();
  ASSERT_EQ(write.wait_for(2s), std::future_status::ready);
  EXPECT_EQ(p.get(), 2.0f);
}

TEST(ParameterBundleTest, IndexNamePrefixAndForwarding) {
  ParameterBundle first("voiceIndexTest");
  ParameterBundle second("voiceIndexTest");
  EXPECT_EQ(first.bundleIndex(), 0);
  EXPECT_EQ(second.bundleIndex(), 1);
  EXPECT_EQ(first.bundleAddress(), "/voiceIndexTest/0");
  second.setBundleId("left");
  second.setBundlePrefix("/scene");
  EXPECT_EQ(second.bundleAddress(), "/scene/voiceIndexTest/left");
  EXPECT_EQ(ParameterBundle("").name(), "bundle");

  CaptureStdout();
  ParameterBundle spaced("has space");
  ParameterBundle spacedAgain("has space");
  EXPECT_EQ(GetCapturedStdout(), "WARNING: Remove spaces from bundle name.\n");
  EXPECT_EQ(spacedAgain.name(), "has space");

  Parameter freq("freq", "", 440.0f, "", 20.0f, 2000.0f);
  ParameterPose pose("pose");
  Trigger hit("hit");
  first << freq << pose << hit;
  std::vector<std::string> seen;
  first.registerChangeCallback([&](ParameterMeta& p, const std::string& address,
                                   const std::vector<ParameterField>& value, ValueSource* src) {
    std::string line = p.getName() + " " + address + " " + std::to_string(value.size());
    if (!value.empty()) line += " " + value[0].get<std::string>();
    if (src) line += " from " + src->ipAddr;
    seen.push_back(line);
  });
  ValueSource src{"1.2.3.4", 1};
  freq.set(5000.0f, &src);
  pose.set(Pose({0.5, 0, 0}));
  hit.set(true);
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "freq /voiceIndexTest/0/freq 1 2000.000000 from 1.2.3.4",
                      "pose /voiceIndexTest/0/pose 7 0.500000", "hit /voiceIndexTest/0/hit 0"}));
  EXPECT_EQ(first.parameters().size(), 3u);

  std::vector<std::string> added;
  first.registerBundlesCallback([&](std::vector<ParameterBundle*>& list, std::string name) {
    added.push_back(name + std::to_string(list.size()));
  });
  first.addBundle(second);
  EXPECT_EQ(added, std::vector<std::string>{"voiceIndexTest1"});
  EXPECT_EQ(first.bundles().at("voiceIndexTest").front(), &second);

  struct Custom : ParameterWrapper<double> {
    Custom() : ParameterWrapper<double>("custom", "", 0.0) {}
  } custom;
  CaptureStdout();
  first.addParameter(custom);
  EXPECT_EQ(GetCapturedStdout(), "Unsupported Parameter type for bundle OSC dsitribution\n");
}

TEST(ParameterOsc, ValuesAndRegistrationsReachAReceiver) {
  vl::osc::Recv r;
  osctest::Recorder rec;
  r.handler(rec);
  uint16_t port = osctest::openOnFreePort(r);
  ASSERT_NE(port, 0);
  ASSERT_TRUE(r.start());
  vl::osc::Send s(port, "127.0.0.1");

  Parameter amp("amp", "synth", 0.5f, "", 0.0f, 2.0f);
  ParameterInt count("count", "", 3, "/pre", 1, 8);
  ParameterString label("label", "", "hi");
  ParameterPose pose("pose", "", Pose({1.0, 2.0, 3.0}, Quatd(0.0, 1.0, 0.0, 0.0)));
  Trigger go("go");
  ParameterMenu menu("menu", "", 2);
  amp.sendValue(s, "/remote");
  count.sendValue(s);
  label.sendValue(s);
  pose.sendValue(s);
  go.sendValue(s);
  menu.sendValue(s);
  amp.sendMeta(s);
  count.sendMeta(s, "voice", "1");
  label.sendMeta(s);
  ASSERT_TRUE(rec.waitFor(9));
  auto m = rec.messages();
  EXPECT_EQ(m[0].address, "/remote/synth/amp");
  EXPECT_EQ(m[0].floats, std::vector<float>{0.5f});
  EXPECT_EQ(m[1].address, "/pre/count");
  EXPECT_EQ(m[1].ints, std::vector<int32_t>{3});
  EXPECT_EQ(m[2].strings, std::vector<std::string>{"hi"});
  EXPECT_EQ(m[3].typeTags, "fffffff");
  EXPECT_EQ(m[3].floats, (std::vector<float>{1, 2, 3, 0, 1, 0, 0}));
  EXPECT_EQ(m[4].address, "/go");
  EXPECT_EQ(m[4].typeTags, "");
  EXPECT_EQ(m[5].typeTags, "i");
  EXPECT_EQ(m[5].ints, std::vector<int32_t>{2});
  EXPECT_EQ(m[6].address, "/registerParameter");
  EXPECT_EQ(m[6].typeTags, "ssfsff");
  EXPECT_EQ(m[6].strings, (std::vector<std::string>{"amp", "synth", ""}));
  EXPECT_EQ(m[6].floats, (std::vector<float>{0.5f, 0.0f, 2.0f}));
  EXPECT_EQ(m[7].address, "/registerBundleParameter");
  EXPECT_EQ(m[7].typeTags, "ssssisii");
  EXPECT_EQ(m[7].strings, (std::vector<std::string>{"voice", "1", "count", "", "/pre"}));
  EXPECT_EQ(m[7].ints, (std::vector<int32_t>{3, 1, 8}));
  EXPECT_EQ(m[8].typeTags, "ssssss");
  EXPECT_EQ(m[8].strings, (std::vector<std::string>{"label", "", "hi", "", "hi", "hi"}));
}

TEST(ParameterOsc, SendValueLeavesAMessageInProgressOnTheSharedSenderAlone) {
  vl::osc::Recv r;
  osctest::Recorder rec;
  r.handler(rec);
  uint16_t port = osctest::openOnFreePort(r);
  ASSERT_NE(port, 0);
  ASSERT_TRUE(r.start());
  vl::osc::Send s(port, "127.0.0.1");
  // Another thread is half way through a message on the shared sender when a change is sent.
  s.beginMessage("/other").add(int32_t(1));
  Parameter amp("amp", "", 0.25f);
  CaptureStderr();
  amp.sendValue(s);
  amp.sendMeta(s);
  EXPECT_EQ(GetCapturedStderr(), "");
  s.add(int32_t(2)).endMessage();
  EXPECT_GT(s.send(), 0u);
  ASSERT_TRUE(rec.waitFor(3));
  auto m = rec.messages();
  EXPECT_EQ(m[0].address, "/amp");
  EXPECT_EQ(m[0].floats, std::vector<float>{0.25f});
  EXPECT_EQ(m[1].address, "/registerParameter");
  EXPECT_EQ(m[2].address, "/other");
  EXPECT_EQ(m[2].ints, (std::vector<int32_t>{1, 2}));
}
