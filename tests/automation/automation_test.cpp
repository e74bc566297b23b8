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

/// A counter: the property Value, the method Add(n), and Explode, which fails.
class Counter : public automation::Object {
public:
    std::int32_t value = 0;

    [[nodiscard]] std::string_view className() const override { return "Counter"; }

protected:
    Variant invoke(automation::InvokeKind kind, std::string_view member,
                   std::span<const Variant> arguments) override {
        if (automation::sameMemberName(member, "Add")) {
            automation::expectArgumentCount(member, arguments, 1);
            value += arguments[0].toInteger();
        } else if (automation::sameMemberName(member, "Explode")) {
            throw std::runtime_error("disk full");
        } else if (!automation::sameMemberName(member, "Value") ||
                   kind == automation::InvokeKind::Call) {
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

// Members answer by name in any case; a failure names the object, the member and the cause once.
TEST(AutomationObject, MembersAnswerByNameInAnyCaseAndFailuresNameTheMemberAndCause) {
    Counter counter;
    EXPECT_EQ(counter.call("aDD", {5}), Variant(5));
    EXPECT_EQ(counter.get("VALUE"), Variant(5));
    EXPECT_FALSE(automation::sameMemberName("a@", "a`"));
    EXPECT_FALSE(automation::sameMemberName("Item", "Items"));
    EXPECT_EQ(failureOf([&] { counter.get("Missing"); }), "Counter has no member \"Missing\"");
    EXPECT_EQ(failureOf([&] { counter.call("Explode"); }), "Counter.Explode: disk full");
    EXPECT_EQ(failureOf([&] {
                  counter.call("Add", {1, 2});
              }),
              "Counter.Add: Add takes 1 argument(s), was given 2");
    EXPECT_EQ(failureOf([&] { counter.call("Add", {Variant()}); }),
              "Counter.Add: type mismatch: expected an integer, got nothing");
    EXPECT_EQ(counter.value, 5);
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
