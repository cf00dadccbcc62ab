// The query layer: records of null, array and embedded properties, type and error names,
// failure messages and the query text the service receives.
#include <gtest/gtest.h>

#include <set>

#include "profile/wmi_query.h"
#include "support/fake_management.h"

namespace kivota {
namespace {

using test::FakeManagementService;
using test::FakeObject;

TEST(CimTypeName, PrefixAndBaseName) {
    EXPECT_EQ(szCimTypeName(0x2008), "Array - String");
    EXPECT_EQ(szCimTypeName(0x4066), "Reference - Reference");
    EXPECT_EQ(szCimTypeName(7), "0x7");
    EXPECT_EQ(szCimTypeName(0x2007), "Array - 0x2007");
    EXPECT_EQ(szCimTypeName(0), "Empty (null)");
    EXPECT_EQ(szCimTypeName(21), "Uint64");
    EXPECT_EQ(szCimTypeName(4095), "Illegal");
}

TEST(WbemErrorName, TheEnumerationIsNamedAndOtherCodesGetTheSystemText) {
    EXPECT_EQ(szWbemErrorName(wbemStatus(0x80041010)), "WBEM_E_INVALID_CLASS");
    EXPECT_EQ(szWbemErrorName(wbemStatus(0x80041001)), "WBEM_E_FAILED");
    EXPECT_EQ(szWbemErrorName(wbemStatus(0x80041049)), "WBEM_E_CANNOT_CHANGE_KEY_INHERITANCE");
    EXPECT_EQ(szWbemErrorName(wbemStatus(0x80041050)), "WBEM_E_CANNOT_CHANGE_INDEX_INHERITANCE");
    EXPECT_EQ(szWbemErrorName(wbemStatus(0x80041056)), "WBEM_E_METHOD_DISABLED");
    EXPECT_EQ(szWbemErrorName(wbemStatus(0x80042002)), "WBEMESS_E_REGISTRATION_TOO_PRECISE");

    std::set<std::string> names;
    for (std::uint32_t c = 0x80041000; c <= 0x80041060; ++c) {
        const std::string name = szWbemErrorName(wbemStatus(c));
        if (name.rfind("WBEM_E_", 0) == 0) names.insert(name);
    }
    for (std::uint32_t c : {0x80042001u, 0x80042002u}) names.insert(szWbemErrorName(wbemStatus(c)));
    EXPECT_EQ(names.size(), 82u);

    // Outside the enumeration (the gap after 0x80041049, and a system code): the system text.
    EXPECT_EQ(szWbemErrorName(wbemStatus(0x8004104A)), szSystemErrorText(wbemStatus(0x8004104A)));
    EXPECT_EQ(szWbemErrorName(wbemStatus(0x80070002)), "The system cannot find the file specified.");
}

TEST(SystemErrorText, OnlyAFinalLineBreakIsRemoved) {
    EXPECT_EQ(szTrimSystemMessage("The system cannot find the file specified.\r\n"),
              "The system cannot find the file specified.");
    EXPECT_EQ(szTrimSystemMessage("First line.\r\nSecond line.\r\n"), "First line.\r\nSecond line.\r\n");
    EXPECT_EQ(szTrimSystemMessage("No break"), "No break");
}

// Windows numbers and the results built from them have the system's texts, never errno's
// (5 is "Input/output error" as an errno).
TEST(SystemErrorText, WindowsCodesHaveTheirOwnTexts) {
    EXPECT_EQ(szSystemErrorText(wbemStatus(0x80070005)), "Access is denied.");
    EXPECT_EQ(szSystemErrorText(5), "Access is denied.");
    EXPECT_EQ(szSystemErrorText(wbemStatus(0x800706BA)), "The RPC server is unavailable.");
    EXPECT_EQ(szSystemErrorText(wbemStatus(0x80004005)), "Unspecified error");
    EXPECT_EQ(szSystemErrorText(wbemStatus(0x8000FFFF)), "Catastrophic failure");
    EXPECT_EQ(szSystemErrorText(wbemStatus(0x8004104A)), "Unknown error 0x8004104A");
    EXPECT_EQ(szSystemErrorText(wbemStatus(0x80075678)), "Unknown error 0x80075678");
}

class WmiLayer : public testing::Test {
protected:
    FakeManagementService wmi;
    WmiPropertyList list;
};

TEST_F(WmiLayer, NullArrayAndEmbeddedPropertiesBecomeFlatRecords) {
    FakeObject inner;
    inner.text("InnerName", "inside");
    FakeObject outer;
    outer.null("CSDVersion")
        .textArray("Name", {"a", "b", "c"})
        .embedded("Detail", inner)
        .integer("Count", 4)
        .text("Caption", "Linux", "CIM_ManagedSystemElement");
    ManagementProperty system;
    system.name = "__CLASS";
    system.value = CimValue::scalar(std::string("Fake"));
    system.systemProperty = true;
    outer.add(system);
    wmi.addObject(kCimv2Namespace, "Fake_Class", outer);

    ASSERT_TRUE(bWmiQuery(wmi, kCimv2Namespace, "Select * from Fake_Class", list));
    ASSERT_EQ(list.count(), 8u);
    EXPECT_EQ(list[0].name, "CSDVersion");
    EXPECT_EQ(list[0].value, "(Null)");
    EXPECT_EQ(list[0].cimTypeName, "String");
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(list[1 + i].name, "Name[" + std::to_string(i) + "]");
        EXPECT_EQ(list[1 + i].cimTypeName, "Array - String");
    }
    EXPECT_EQ(list[3].value, "c");
    EXPECT_EQ(list[4].name, "Detail");
    EXPECT_EQ(list[4].value, "Object -- 如下 --");
    EXPECT_EQ(list[5].name, "InnerName");
    EXPECT_EQ(list[5].value, "inside");
    EXPECT_EQ(list[6].value, "4");
    EXPECT_EQ(list[6].cimTypeName, "Uint32");
    EXPECT_EQ(list[7].originClass, "CIM_ManagedSystemElement");
    EXPECT_THROW(list[8], std::out_of_range);
}

TEST_F(WmiLayer, APropertyThatCannotBeReadIsRecordedAsNull) {
    FakeObject object;
    ManagementProperty broken;
    broken.name = "FreeSpace";
    broken.cimType = CimUint64;
    broken.value = CimValue::scalar(std::string("123"));
    broken.readStatus = wbemStatus(0x80041003);
    object.add(broken);
    wmi.addObject(kCimv2Namespace, "Fake_Class", object);
    ASSERT_TRUE(bWmiQuery(wmi, kCimv2Namespace, "Select * from Fake_Class", list));
    ASSERT_EQ(list.count(), 1u);
    EXPECT_EQ(list[0].value, "(Null)");
    EXPECT_EQ(list[0].cimTypeName, "Uint64");
}

TEST_F(WmiLayer, AnEmptyResultIsSuccessAndEachQueryClearsTheList) {
    wmi.addObject(kCimv2Namespace, "Full", FakeObject().text("A", "1"));
    wmi.addClass(kCimv2Namespace, "Empty");
    ASSERT_TRUE(bWmiQuery(wmi, kCimv2Namespace, "Select * from Full", list));
    EXPECT_EQ(list.count(), 1u);
    EXPECT_TRUE(bWmiQuery(wmi, kCimv2Namespace, "Select * from Empty", list));
    EXPECT_EQ(list.count(), 0u);
}

TEST_F(WmiLayer, BackslashesAreDoubledOnTheWayToTheService) {
    wmi.addClass(kCimv2Namespace, "Win32_Directory");
    ASSERT_TRUE(bWmiQuery(wmi, kCimv2Namespace, "Select * from Win32_Directory where Name='C:\\Temp'", list));
    ASSERT_EQ(wmi.received().size(), 1u);
    EXPECT_EQ(wmi.received()[0].query, "Select * from Win32_Directory where Name='C:\\\\Temp'");
}

TEST_F(WmiLayer, FailuresAnswerFalseAndCarryTheirMessage) {
    wmi.setStatusText(kWbemInvalidNamespace, "Invalid namespace");
    EXPECT_FALSE(bWmiQuery(wmi, "root\\Missing", "Select * from X", list));
    std::shared_ptr<IManagementNamespace> services;
    try {
        hrWmiConnect(wmi, "root\\Missing", services);
        FAIL() << "no error raised";
    } catch (const WmiError& e) {
        EXPECT_STREQ(e.what(),
                     "IWbemLocator::ConnectServer(): 0x8004100E (WBEM_E_INVALID_NAMESPACE) - Invalid namespace");
    }

    wmi.addClass(kCimv2Namespace, "Known");
    EXPECT_FALSE(bWmiQuery(wmi, kCimv2Namespace, "Select * from Unknown", list));
    EXPECT_EQ(szWmiFailureMessage(wmi, WmiStep::ExecQuery, kWbemInvalidClass),
              "IWbemServices::ExecQuery(): 0x80041010 (WBEM_E_INVALID_CLASS) - 無法取得 Error Code Text!!!");
    wmi.statusTextsAvailable = false;
    EXPECT_EQ(szWmiFailureMessage(wmi, WmiStep::Next, kWbemInvalidClass),
              "IEnumWbemClassObject::Next(): 0x80041010 (WBEM_E_INVALID_CLASS) - ");
    EXPECT_EQ(szWmiFailureMessage(wmi, WmiStep::CoInitializeEx, wbemStatus(0x80041001)),
              "CoInitializeEx(): Failed to initialize COM library - 0x80041001\nWBEM_E_FAILED");
}

TEST_F(WmiLayer, FailingEnumerationOrNameListingFailsTheQuery) {
    wmi.addObject(kCimv2Namespace, "Broken", FakeObject().text("A", "1"));
    wmi.failNext(kCimv2Namespace, "Broken", wbemStatus(0x80041032));
    EXPECT_FALSE(bWmiQuery(wmi, kCimv2Namespace, "Select * from Broken", list));

    FakeObject unnamed;
    unnamed.raw().namesStatus = wbemStatus(0x80041001);
    wmi.addObject(kCimv2Namespace, "Unnamed", unnamed);
    EXPECT_FALSE(bWmiQuery(wmi, kCimv2Namespace, "Select * from Unnamed", list));

    wmi.failConnect("root\\Locked", wbemStatus(0x80041003), ConnectStep::ProxyBlanket);
    std::shared_ptr<IManagementNamespace> services;
    try {
        hrWmiConnect(wmi, "root\\Locked", services);
        FAIL() << "no error raised";
    } catch (const WmiError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("CoSetProxyBlanket(): 0x80041003 (WBEM_E_ACCESS_DENIED) - ", 0), 0u);
    }
}

TEST_F(WmiLayer, InitializationFailureIsRaised) {
    wmi.initializeStatus = wbemStatus(0x80010106);
    EXPECT_THROW(bWmiInitialize(wmi), WmiError);
    wmi.initializeStatus = 0;
    EXPECT_TRUE(bWmiInitialize(wmi));
}

}  // namespace
}  // namespace kivota
