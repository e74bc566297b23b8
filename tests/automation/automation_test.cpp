#include "automation/object.h"
#include "automation/registry.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace plumbrae::testing {
namespace {

using automation::AutomationError;
using automation::InvokeKind;
using automation::Variant;

/// A counter with a property, a method with arguments, and a method that fails.
class Counter : public automation::Object {
public:
    std::int32_t value = 0;
    std::string label;

    [[nodiscard]] std::string_view className() const override { return "Counter"; }

protected:
    Variant invoke(InvokeKind kind, std::string_view member,
                   std::span<const Variant> arguments) override {
        if (automation::sameMemberName(member, "Value") && kind != InvokeKind::Call) {
            if (kind == InvokeKind::Put) {
                value = arguments[0].toInteger();
                return {};
            }
            return value;
        }
        if (automation::sameMemberName(member, "Add")) {
            automation::expectArgumentCount(member, arguments, 2);
            value += arguments[0].toInteger();
            label = arguments[1].toText();
            return value;
        }
        if (automation::sameMemberName(member, "Explode")) {
            throw std::runtime_error("disk full");
        }
        throw unknownMember(member);
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
    EXPECT_EQ(counter.call("add", {3, "three"}), Variant(8));
    EXPECT_EQ(counter.label, "three");
    EXPECT_FALSE(automation::sameMemberName("a@", "a`"));
    EXPECT_FALSE(automation::sameMemberName("Item", "Items"));
    EXPECT_EQ(failureOf([&] { counter.get("Missing"); }), "Counter has no member \"Missing\"");
    EXPECT_EQ(failureOf([&] { counter.call("Explode"); }), "Counter.Explode: disk full");
    EXPECT_EQ(failureOf([&] { counter.call("Add", {1}); }),
              "Counter.Add: Add takes 2 argument(s), was given 1");
    EXPECT_EQ(failureOf([&] { counter.put("Value", Variant()); }),
              "Counter.Value: type mismatch: expected an integer, got nothing");
    EXPECT_EQ(counter.value, 8);
    EXPECT_THROW((void)Variant(2).toText(), AutomationError);
    EXPECT_THROW((void)Variant(automation::ObjectPtr{}).toObject(), AutomationError);
    EXPECT_EQ(Variant("a b").describe(), "\"a b\"");
}

TEST(AutomationRegistry, CreatesRegisteredClassesAndReportsFailuresWithTheProgId) {
    EXPECT_EQ(failureOf([] { automation::createObject("Test.Nothing"); }),
              "cannot create object \"Test.Nothing\": no class is registered under that name");
    automation::registerFactory("Test.Counter", [] { return std::make_shared<Counter>(); });
    auto first = automation::createObject("test.COUNTER");
    EXPECT_NE(first, automation::createObject("Test.Counter"));
    EXPECT_EQ(first->className(), "Counter");
    {
        const automation::ScopedRegistration replaced(
            "Test.Counter",
            []() -> automation::ObjectPtr { throw std::runtime_error("no profile"); });
        EXPECT_EQ(failureOf([] { automation::createObject("Test.Counter"); }),
                  "cannot create object \"Test.Counter\": no profile");
    }
    EXPECT_NO_THROW(automation::createObject("Test.Counter"));
    automation::unregisterFactory("Test.Counter");
    {
        const automation::ScopedRegistration empty("Test.Counter",
                                                   [] { return automation::ObjectPtr{}; });
        EXPECT_THROW(automation::createObject("Test.Counter"), AutomationError);
    }
    EXPECT_THROW(automation::createObject("Test.Counter"), AutomationError);
}

} // namespace
} // namespace plumbrae::testing
