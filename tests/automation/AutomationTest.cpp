#include "automation/ComObj.h"
#include "automation/Dispatch.h"
#include "automation/InitOle.h"
#include "runtime/Exception.h"

#include <gtest/gtest.h>

using namespace Automation;

namespace {

class Counter : public DispatchTable {
public:
    Counter()
    {
        AddMember(QStringLiteral("Value"), [this](const Arguments&) { return Variant(FValue); });
        AddMember(QStringLiteral("Add"), [this](const Arguments& args) {
            FValue += IntArg(args, 0);
            return Variant(FValue);
        });
        AddMember(QStringLiteral("Text"), [](const Arguments&) { return Variant(QStringLiteral("12")); });
        AddMember(QStringLiteral("Self"), [this](const Arguments&) { return Variant(shared_from_this()); });
        AddMember(QStringLiteral("Boom"), [](const Arguments&) -> Variant {
            throw Exception(QStringLiteral("壊れました"));
        });
    }
    QString ClassName() const override { return QStringLiteral("Counter"); }

private:
    qint32 FValue = 0;
};

// The same members from one table shared by the class.
class SharedCounter : public ClassDispatch<SharedCounter> {
public:
    static void BuildMembers(ClassMembers<SharedCounter>& members)
    {
        ++Builds;
        members.Add(QStringLiteral("Value"), [](SharedCounter& self, const Arguments&) { return Variant(self.FValue); });
        members.Add(QStringLiteral("Add"), [](SharedCounter& self, const Arguments& args) {
            self.FValue += IntArg(args, 0);
            return Variant(self.FValue);
        });
    }
    QString ClassName() const override { return QStringLiteral("SharedCounter"); }
    static inline int Builds = 0;

private:
    qint32 FValue = 0;
};

} // namespace

TEST(AutomationTest, ClassMembersAreBuiltOnceAndActOnTheirOwnObject)
{
    OleRef first(std::make_shared<SharedCounter>());
    OleRef second(std::make_shared<SharedCounter>());
    EXPECT_EQ(first.Call(QStringLiteral("add"), {5}), Variant(5));
    EXPECT_EQ(second.Call(QStringLiteral("ADD"), {2}), Variant(2));
    EXPECT_EQ(first.GetInt(QStringLiteral("Value")), 5);
    EXPECT_EQ(SharedCounter::Builds, 1);
    try {
        second.Get(QStringLiteral("Missing"));
        ADD_FAILURE() << "an unknown member was accepted";
    } catch (const EOleException& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("SharedCounter.Missing"))) << e.Message().toStdString();
    }
}

TEST(AutomationTest, MembersMatchWithoutRegardToCase)
{
    OleRef counter(std::make_shared<Counter>());
    EXPECT_EQ(counter.Call(QStringLiteral("ADD"), {5}), Variant(5));
    EXPECT_EQ(counter.GetInt(QStringLiteral("value")), 5);
    EXPECT_EQ(counter.GetObject(QStringLiteral("sElF")), counter);
}

TEST(AutomationTest, FailuresNameTheObjectAndMember)
{
    OleRef counter(std::make_shared<Counter>());
    auto messageOf = [](auto&& f) {
        try {
            f();
        } catch (const EOleException& e) {
            return e.Message();
        }
        return QStringLiteral("no error");
    };
    const QString unknown = messageOf([&] { counter.Get(QStringLiteral("Missing")); });
    EXPECT_TRUE(unknown.contains(QStringLiteral("Counter.Missing"))) << unknown.toStdString();
    const QString raised = messageOf([&] { counter.Get(QStringLiteral("Boom")); });
    EXPECT_TRUE(raised.contains(QStringLiteral("Counter.Boom")) && raised.contains(QStringLiteral("壊れました")));
    const QString conversion = messageOf([&] { counter.GetObject(QStringLiteral("Value")); });
    EXPECT_TRUE(conversion.contains(QStringLiteral("Counter.Value"))) << conversion.toStdString();
    const QString badArgument = messageOf([&] { counter.Call(QStringLiteral("Add"), {QStringLiteral("x")}); });
    EXPECT_TRUE(badArgument.contains(QStringLiteral("Counter.Add")));
    const QString null = messageOf([&] { OleRef().Get(QStringLiteral("Name")); });
    EXPECT_TRUE(null.contains(QStringLiteral("Name")));
}

TEST(AutomationTest, Conversions)
{
    const QString ctx = QStringLiteral("X.Y");
    EXPECT_EQ(VarToText(Variant(), ctx), QString());
    EXPECT_EQ(VarToText(Variant(42), ctx), QStringLiteral("42"));
    EXPECT_EQ(VarToText(Variant(true), ctx), QStringLiteral("True"));
    EXPECT_EQ(VarToInt(Variant(QStringLiteral(" 17 ")), ctx), 17);
    EXPECT_EQ(VarToInt(Variant(true), ctx), -1);
    EXPECT_DOUBLE_EQ(VarToDateTime(Variant::FromDate(41644.5), ctx), 41644.5);
    EXPECT_EQ(VarToObject(Variant(), ctx), nullptr);
    EXPECT_THROW(VarToInt(Variant(QStringLiteral("abc")), ctx), EOleException);
    EXPECT_THROW(VarToInt(Variant(), ctx), EOleException);
    EXPECT_THROW(VarToDateTime(Variant(QStringLiteral("2014")), ctx), EOleException);
    EXPECT_THROW(VarToText(Variant(DispatchPtr(std::make_shared<Counter>())), ctx), EOleException);
    EXPECT_THROW(VarToObject(Variant(1), ctx), EOleException);
}

TEST(AutomationTest, RegistryCreatesByProgramIdentifier)
{
    RegisterClass(QStringLiteral("Test.Counter"), [] { return std::make_shared<Counter>(); });
    const DispatchPtr a = CreateOleObject(QStringLiteral("test.counter"));
    const DispatchPtr b = CreateOleObject(QStringLiteral("Test.Counter"));
    EXPECT_NE(a, nullptr);
    EXPECT_NE(a, b);
    UnregisterClass(QStringLiteral("Test.Counter"));
    try {
        CreateOleObject(QStringLiteral("Test.Counter"));
        FAIL() << "created an unregistered class";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.ErrorCode(), REGDB_E_CLASSNOTREG);
    }
    RegisterClass(QStringLiteral("Test.Broken"), []() -> DispatchPtr { throw Exception(QStringLiteral("起動できません")); });
    EXPECT_THROW(CreateOleObject(QStringLiteral("Test.Broken")), EOleSysError);
    UnregisterClass(QStringLiteral("Test.Broken"));
}

TEST(AutomationTest, RunningObjectTable)
{
    try {
        GetActiveOleObject(QStringLiteral("Test.Running"));
        FAIL() << "found an object that was never registered";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.ErrorCode(), MK_E_UNAVAILABLE);
    }
    auto object = std::make_shared<Counter>();
    RegisterActiveObject(QStringLiteral("Test.Running"), object);
    EXPECT_EQ(GetActiveOleObject(QStringLiteral("TEST.RUNNING")), object);
    // Revoking another object leaves the registration alone.
    auto other = std::make_shared<Counter>();
    RevokeActiveObject(QStringLiteral("Test.Running"), other.get());
    EXPECT_EQ(GetActiveOleObject(QStringLiteral("Test.Running")), object);
    RevokeActiveObject(QStringLiteral("Test.Running"), object.get());
    EXPECT_THROW(GetActiveOleObject(QStringLiteral("Test.Running")), EOleSysError);
}

TEST(AutomationTest, InitialisationIsCounted)
{
    const int base = CoInitializeCount(); // the test program holds one
    ASSERT_GE(base, 1);
    EXPECT_EQ(CoInitialize(), S_FALSE); // already initialised counts as success
    EXPECT_EQ(CoInitializeCount(), base + 1);
    CoUninitialize();
    {
        TInitOle init;
        EXPECT_TRUE(init.Initialized());
        EXPECT_EQ(CoInitializeCount(), base + 1);
    }
    EXPECT_EQ(CoInitializeCount(), base);

    SetCoInitializeFailure(E_FAIL);
    {
        TInitOle failed;
        EXPECT_FALSE(failed.Initialized());
    }
    SetCoInitializeFailure(S_OK);
    EXPECT_EQ(CoInitializeCount(), base); // a failed initialisation is not undone
}

TEST(AutomationTest, UninitialisedThreadCannotUseTheServices)
{
    const int base = CoInitializeCount();
    for (int i = 0; i < base; ++i)
        CoUninitialize();
    EXPECT_THROW(GetActiveOleObject(QStringLiteral("Any")), EOleSysError);
    EXPECT_THROW(CreateOleObject(QStringLiteral("Any")), EOleSysError);
    for (int i = 0; i < base; ++i)
        CoInitialize();
}
