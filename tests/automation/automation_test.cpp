#include "automation/object.h"
#include "automation/registry.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

namespace plumbrae::testing {
namespace {

using automation::AutomationError;
using automation::createObject;
using automation::Variant;

/// A counter with a property, a method with arguments, and a method that fails.
class Counter : public automation::Object {
public:
    std::int32_t value = 0;

    [[nodiscard]] std::string_view className() const override { return "Counter"; }

protected:
    Variant invoke(automation::InvokeKind kind, std::string_view member,
                   std::span<const Variant> arguments) override {
        if (automation::sameMemberName(member, "Value") && kind == automation::InvokeKind::Put) {
            value = arguments[0].toInteger();
        } else if (automation::sameMemberName(member, "Add")) {
            automation::expectArgumentCount(member, arguments, 2);
            value += arguments[0].toInteger() * static_cast<int>(arguments[1].toText().size());
        } else if (automation::sameMemberName(member, "Explode")) {
            throw std::runtime_error("disk full");
        } else if (!automation::sameMemberName(member, "Value")) {
            throw unknownMember(member);
        }
        return value;
    }
};

std::string failureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const AutomationError& error) {
        return error.what();
    }
    return "no failure";
}

TEST(AutomationObject, MembersAnswerByNameInAnyCaseAndFailuresNameTheMemberAndCause) {
    Counter counter;
    counter.put("value", 5);
    EXPECT_EQ(counter.get("VALUE"), Variant(5));
    EXPECT_EQ(counter.call("add", {3, "xy"}), Variant(11));
    EXPECT_FALSE(automation::sameMemberName("a@", "a`"));
    EXPECT_FALSE(automation::sameMemberName("Item", "Items"));
    EXPECT_EQ(failureOf([&] { counter.get("Missing"); }), "Counter has no member \"Missing\"");
    EXPECT_EQ(failureOf([&] { counter.call("Explode"); }), "Counter.Explode: disk full");
    EXPECT_EQ(failureOf([&] { counter.call("Add", {1}); }),
              "Counter.Add: Add takes 2 argument(s), was given 1");
    EXPECT_EQ(failureOf([&] { counter.put("Value", Variant()); }),
              "Counter.Value: type mismatch: expected an integer, got nothing");
    EXPECT_EQ(counter.value, 11);
    EXPECT_THROW((void)Variant(2).toText(), AutomationError);
    EXPECT_THROW((void)Variant(automation::ObjectPtr{}).toObject(), AutomationError);
    EXPECT_EQ(Variant("a b").describe(), "\"a b\"");
}

TEST(AutomationRegistry, CreatesRegisteredClassesAndReportsFailuresWithTheProgId) {
    EXPECT_EQ(failureOf([] { createObject("Test.Nothing"); }),
              "cannot create object \"Test.Nothing\": no class is registered under that name");
    automation::registerFactory("Test.Counter", [] { return std::make_shared<Counter>(); });
    auto first = createObject("test.COUNTER");
    EXPECT_NE(first, createObject("Test.Counter"));
    EXPECT_EQ(first->className(), "Counter");
    {
        const automation::ScopedRegistration replaced(
            "Test.Counter",
            []() -> automation::ObjectPtr { throw std::runtime_error("no profile"); });
        EXPECT_EQ(failureOf([] { createObject("Test.Counter"); }),
                  "cannot create object \"Test.Counter\": no profile");
    }
    EXPECT_NO_THROW(createObject("Test.Counter"));
    automation::unregisterFactory("Test.Counter");
    {
        const automation::ScopedRegistration empty("Test.Counter",
                                                   [] { return automation::ObjectPtr{}; });
        EXPECT_THROW(createObject("Test.Counter"), AutomationError);
    }
    EXPECT_THROW(createObject("Test.Counter"), AutomationError);
}

} // namespace
} // namespace plumbrae::testing
