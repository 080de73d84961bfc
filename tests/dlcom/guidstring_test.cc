#include "dlcom/guidstring.h"

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "dlcom/unknown.h"
#include "gtest/gtest.h"
#include "tests/support/ReferenceGuidScan.h"

namespace {

std::string Describe(const ZQGUID& g) {
  char text[80];
  std::snprintf(
      text, sizeof(text), "%lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
      g.ZQData1, g.ZQData2, g.ZQData3, g.ZQData4[0], g.ZQData4[1], g.ZQData4[2],
      g.ZQData4[3], g.ZQData4[4], g.ZQData4[5], g.ZQData4[6], g.ZQData4[7]);
  return text;
}

TEST(S2GUIDATest, ParsesTheRootInterfaceIdIntoItsGroups) {
  const ZQGUID g = S2GUIDA("{00000000-0000-0000-C000-000000000046}", true);
  EXPECT_EQ(0ul, g.ZQData1);
  EXPECT_EQ(0, g.ZQData2);
  EXPECT_EQ(0, g.ZQData3);
  const unsigned char data4[8] = {0xC0, 0, 0, 0, 0, 0, 0, 0x46};
  EXPECT_EQ(0, std::memcmp(data4, g.ZQData4, 8));
  EXPECT_TRUE(g == by::__uuid_s<by::IBaseUnknown>::iid);
}

TEST(S2GUIDATest, AcceptsEitherCase) {
  const ZQGUID lower = S2GUIDA("{e50226d4-ee3f-4a64-b53e-50114f0c99c7}", true);
  const ZQGUID upper = S2GUIDA("{E50226D4-EE3F-4A64-B53E-50114F0C99C7}", true);
  EXPECT_TRUE(lower == upper);
  EXPECT_NE(0, ZQIsEqualGUID(lower, IID_IZQEBundle));
  EXPECT_EQ(0xE50226D4ul, lower.ZQData1);
  EXPECT_EQ(0, ZQIsEqualGUID(lower, GUID_NULL));
}

TEST(S2GUIDATest, AnyOtherLengthGivesTheNullId) {
  EXPECT_TRUE(S2GUIDA("00000000-0000-0000-C000-000000000046", true) ==
              GUID_NULL);
  EXPECT_TRUE(S2GUIDA("{00000000-0000-0000-C000-000000000046}}", true) ==
              GUID_NULL);
  EXPECT_TRUE(S2GUIDA("{00000000-0000-0000-C000-00000000004}", true) ==
              GUID_NULL);
  EXPECT_TRUE(S2GUIDA("", true) == GUID_NULL);
  EXPECT_TRUE(S2GUIDA(nullptr, true) == GUID_NULL);
}

TEST(S2GUIDATest, UnbracedFormIsAcceptedOnlyWhenAskedFor) {
  EXPECT_TRUE(S2GUIDA("00000000-0000-0000-C000-000000000046", false) ==
              by::__uuid_s<by::IBaseUnknown>::iid);
  EXPECT_TRUE(S2GUIDA("{00000000-0000-0000-C000-000000000046}", false) ==
              GUID_NULL);
}

TEST(S2GUIDATest, StopsAtTheFirstMismatchKeepingEarlierGroups) {
  const ZQGUID g = S2GUIDA("{12345678-9ABC-XEF0-1234-56789ABCDEF0}", true);
  EXPECT_EQ(0x12345678ul, g.ZQData1);
  EXPECT_EQ(0x9ABC, g.ZQData2);
  EXPECT_EQ(0, g.ZQData3);
  for (unsigned char byte : g.ZQData4)
    EXPECT_EQ(0, byte);
}

TEST(S2GUIDATest, NonCanonicalTextsGetTheScansResult) {
  // Texts the scan reads differently from a plain digit run: prefixes, signs,
  // short groups, spaces, a missing closing brace.
  const char* const kTexts[] = {
      "{0x345678-9ABC-DEF0-1234-56789ABCDEF0}",
      "{-2345678-9ABC-DEF0-1234-56789ABCDEF0}",
      "{ 2345678-9ABC-DEF0-1234-56789ABCDEF0}",
      "{1234567--9ABC-DEF0-1234-56789ABCDEF0}",
      "{12345678-+ABC-DEF0-1234-56789ABCDEF0}",
      "{12345678-9ABC-DEF0-1234-56789ABCDEF0)",
      "[12345678-9ABC-DEF0-1234-56789ABCDEF0}",
      "{12345678-9ABC-DEF0-12 4-56789ABCDEF0}",
      "{12345678-9ABC-DEF0-1234-56789ABCDEFg}",
  };
  for (const char* text : kTexts) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Describe(zqextensionkit::test::ReferenceGuidScan(text)),
              Describe(S2GUIDA(text, true)));
  }
  EXPECT_EQ(0x345678ul, S2GUIDA(kTexts[0], true).ZQData1);
}

TEST(S2GUIDATest, AgreesWithTheFormattedScanOnMutatedTexts) {
  std::mt19937 random(20240611u);
  const std::string base = "{E9678781-A3CB-46FB-9121-3ED22C24CFAD}";
  const char kAlphabet[] = "0123456789abcdefABCDEFxX{}- +-\t\n\x80g";
  for (int round = 0; round < 20000; ++round) {
    std::string text = base;
    const int mutations = 1 + static_cast<int>(random() % 3);
    for (int m = 0; m < mutations; ++m) {
      text[random() % text.size()] =
          kAlphabet[random() % (sizeof(kAlphabet) - 1)];
    }
    SCOPED_TRACE(text);
    ASSERT_EQ(Describe(zqextensionkit::test::ReferenceGuidScan(text.c_str())),
              Describe(S2GUIDA(text.c_str(), true)));
  }
}

TEST(GuidFromLiteralTest, TableConstantsMatchTheirTexts) {
  struct Row {
    const ZQGUID& id;
    const char* text;
  } const kRows[] = {
      {by::__uuid_s<by::IClassFactory__>::iid,
       "{00000001-0000-0000-C000-000000000046}"},
      {by::__uuid_s<by::IComObjectFrameworkClassFactory>::iid,
       "{6966E385-DBFA-4131-A29E-D0E9464F3F53}"},
      {by::__uuid_s<by::IObjectLoaderEx>::iid,
       "{F2527941-9539-44F9-AABE-A2A325274C92}"},
      {by::__uuid_s<by::IPluginRun>::iid,
       "{24AE3325-4FE1-4C03-8765-6C3C967D9D44}"},
      {IID_IZQNotificationService, "{B2F1A919-D15D-4C72-A8C3-2143E2176131}"},
      {IID_IZQBaseExtension, "{E16D76C1-4200-CF27-9703-2480B97FC9E3}"},
      {IID_IZQOpenNetService, "{435BC68E-6CAD-4C14-B534-7D2B8DE3940B}"},
      {CLSID_ZQNotificationService, "{45ED99D7-00C2-4082-98D8-5507D2AA3A0F}"},
      {CLSID_ZQEBaseBundle, "{DEF82172-C3E6-43D5-A844-A45512EC1998}"},
      {CLSID_ZQBaseExtension, "{DA7FC01D-A242-CDAA-9EF6-0AD3ADF785DA}"},
      {CLSID_CProperty2_thread, "{0AEF80FB-9BAF-4E66-96B3-784ED0FCECF1}"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(Describe(S2GUIDA(row.text, true)), Describe(row.id));
  }
}

// Ids are constants: usable where only constant expressions are allowed, so
// no static initialiser anywhere can see them unfilled.
static_assert(by::__uuid_s<by::IPlugin>::iid.ZQData1 == 0x74252668,
              "ids are compile-time constants");

}  // namespace
