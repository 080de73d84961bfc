// The extension base and its context: what an extension instance answers
// once the kit has filled its context, in-process and across a plug-in
// library boundary.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZQExtensionKit/extension/ZQBaseExtension.h"
#include "ZQExtensionKit/extension/ZQExtensionContext.h"
#include "dlcom/comsentry.h"
#include "dlcom/loadcom.h"
#include "tests/plugins/TestPlugin.h"

namespace zqextensionkit {
namespace {

using Constraints = std::map<std::string, std::vector<std::string>>;

// One setter of the context: `set` stores `text` (an empty text stands for
// the setter's empty value) and returns the setter's result (true for those
// without one); `read` renders what the context holds now.
struct SetterCase {
  const char* name;
  bool refuses_empty;
  std::function<bool(ZQExtensionContext&, const std::string& text)> set;
  std::function<std::string(const ZQExtensionContext&)> read;
};

std::vector<SetterCase> SetterCases() {
  return {
      {"SetPayloads", true,
       [](ZQExtensionContext& c, const std::string& text) {
         return c.SetPayloads(
             text.empty() ? std::map<std::string, std::string>()
                          : std::map<std::string, std::string>{{"key", text}});
       },
       [](const ZQExtensionContext& c) {
         std::string value;
         return c.ValueForKey("key", value) ? value : "";
       }},
      {"SetConstraints", true,
       [](ZQExtensionContext& c, const std::string& text) {
         return c.SetConstraints(text.empty() ? Constraints()
                                              : Constraints{{"key", {text}}});
       },
       [](const ZQExtensionContext& c) {
         std::vector<std::string> values;
         return c.ConstraintForKey("key", values) ? values.at(0) : "";
       }},
      {"SetResourcesPath", true,
       [](ZQExtensionContext& c, const std::string& text) {
         return c.SetResourcesPath(text);
       },
       [](const ZQExtensionContext& c) { return c.GetResourcesPath(); }},
      {"SetBinDirPath", true,
       [](ZQExtensionContext& c, const std::string& text) {
         return c.SetBinDirPath(text);
       },
       [](const ZQExtensionContext& c) { return c.GetBinDirPath(); }},
      {"SetLaunchParams", false,
       [](ZQExtensionContext& c, const std::string& text) {
         c.SetLaunchParams(LaunchParams{text, text, text, text});
         return true;
       },
       [](const ZQExtensionContext& c) {
         // One text when all four fields hold it.
         LaunchParams p = c.GetLaunchParams();
         const bool same = p.modal_position_ == p.modal_size_ &&
                           p.modal_size_ == p.url_ && p.url_ == p.open_type_;
         return same ? p.url_ : "<fields differ>";
       }},
      {"SetExtensionId", false,
       [](ZQExtensionContext& c, const std::string& text) {
         c.SetExtensionId(text);
         return true;
       },
       [](const ZQExtensionContext& c) { return c.GetExtensionId(); }},
      {"SetUnifiedId", false,
       [](ZQExtensionContext& c, const std::string& text) {
         c.SetUnifiedId(text);
         return true;
       },
       [](const ZQExtensionContext& c) { return c.GetUnifiedId(); }},
  };
}

TEST(ZQExtensionContextTest, EverySetterFollowsItsEmptyValueRule) {
  for (const SetterCase& setter : SetterCases()) {
    SCOPED_TRACE(setter.name);
    ZQExtensionContext context;
    EXPECT_EQ("", setter.read(context)) << "a new context is empty";
    EXPECT_TRUE(setter.set(context, "first"));
    EXPECT_EQ("first", setter.read(context));
    // A second filling with an empty value: refused and the old value kept,
    // or stored.
    EXPECT_EQ(!setter.refuses_empty, setter.set(context, ""));
    EXPECT_EQ(setter.refuses_empty ? "first" : "", setter.read(context));
  }
}

// An extension class as plug-in authors write it: the point's interface
// first, the base second, both listed in one line.
class LocalGreeter : public IGreeting, public ZQBaseExtension {
 public:
  BY_INTERFACES(IGreeting, IZQBaseExtension)

  LocalGreeter() { ++alive; }
  ~LocalGreeter() override { --alive; }

  std::string Greet(const std::string& name) override {
    std::string salutation = "Hi";
    ValueForKey("salutation", salutation);
    return salutation + ", " + name + "!";
  }

  static int alive;
};
int LocalGreeter::alive = 0;

// Refuses its own creation.
class RefusingExtension : public ZQBaseExtension {
 public:
  RefusingExtension() { ++alive; }
  ~RefusingExtension() override { --alive; }
  HRESULT init_class(by::IBaseUnknown* /*prot*/,
                     by::IBaseUnknown* /*punkOuter*/) {
    return E_FAIL;
  }
  static int alive;
};
int RefusingExtension::alive = 0;

constexpr ZQIID kUnknownIid =
    by::GuidFromLiteral("{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}");

TEST(ZQBaseExtensionTest, BaseAloneAnswersItsInterfacesAndStartsEmpty) {
  by::CComObjectScopedPtr<ZQBaseExtension> object;
  ASSERT_EQ(S_OK, by::CComObject<ZQBaseExtension>::CreateInstance(object.pp()));

  by::com_ptr<by::IBaseUnknown> unknown(object.ptr());
  by::com_ptr<IZQBaseExtension> extension(object.ptr());
  ASSERT_TRUE(unknown.ptr());
  ASSERT_TRUE(extension.ptr());
  void* other = &other;
  EXPECT_EQ(E_NOINTERFACE, extension->QueryInterface(kUnknownIid, &other));
  EXPECT_EQ(&other, other);

  EXPECT_EQ(S_OK, extension->Initialization());
  EXPECT_EQ("", extension->GetResourcesPath());
  EXPECT_EQ("", extension->GetBinDirPath());
  EXPECT_EQ("", extension->GetLaunchParams().url_);
  ASSERT_NE(nullptr, extension->GetContext());
  EXPECT_EQ(extension->GetContext(), extension->GetContext());
}

TEST(ZQBaseExtensionTest, AnswersFromTheContextTheKitFilled) {
  by::CComObjectScopedPtr<ZQBaseExtension> object;
  ASSERT_EQ(S_OK, by::CComObject<ZQBaseExtension>::CreateInstance(object.pp()));
  by::com_ptr<IZQBaseExtension> extension(object.ptr());
  ZQExtensionContext* context = extension->GetContext();
  // A second filling replaces each map whole: keys of the first are gone.
  context->SetPayloads({{"subtitle", "old"}, {"title", "old"}});
  context->SetConstraints({{"lang", {"en"}}});
  context->SetPayloads({{"title", "Send"}});
  context->SetConstraints({{"platform", {"linux", "mac"}}});
  context->SetResourcesPath("/pkg/resources");
  context->SetBinDirPath("/pkg/bin");
  context->SetLaunchParams({"center", "400x300", "https://a.example/x", "tab"});

  std::string title = "untouched";
  EXPECT_FALSE(extension->ValueForKey("subtitle", title));
  EXPECT_EQ("untouched", title);
  EXPECT_TRUE(extension->ValueForKey("title", title));
  EXPECT_EQ("Send", title);
  EXPECT_FALSE(extension->ValueForKey("Title", title)) << "case-sensitive";
  std::vector<std::string> platforms = {"stale"};
  EXPECT_FALSE(extension->ConstraintForKey("lang", platforms));
  EXPECT_EQ(std::vector<std::string>{"stale"}, platforms);
  EXPECT_TRUE(extension->ConstraintForKey("platform", platforms));
  EXPECT_EQ((std::vector<std::string>{"linux", "mac"}), platforms)
      << "the caller's list is replaced, not appended to";
  EXPECT_EQ("/pkg/resources", extension->GetResourcesPath());
  EXPECT_EQ("/pkg/bin", extension->GetBinDirPath());
  const LaunchParams launch = extension->GetLaunchParams();
  EXPECT_EQ("center", launch.modal_position_);
  EXPECT_EQ("400x300", launch.modal_size_);
  EXPECT_EQ("https://a.example/x", launch.url_);
  EXPECT_EQ("tab", launch.open_type_);
}

TEST(ZQBaseExtensionTest, DerivedClassAddsThePointInterfaceWithOneLine) {
  {
    by::CComObjectScopedPtr<LocalGreeter> object;
    ASSERT_EQ(S_OK, by::CComObject<LocalGreeter>::CreateInstance(object.pp()));
    EXPECT_EQ(1, LocalGreeter::alive);

    // As the kit does it: the base interface first, then the point's.
    by::com_ptr<IZQBaseExtension> base(object.ptr());
    ASSERT_TRUE(base.ptr());
    base->GetContext()->SetPayloads({{"salutation", "Howdy"}});
    by::com_ptr<IGreeting> greeting(base);
    ASSERT_TRUE(greeting.ptr());
    EXPECT_EQ("Howdy, Ann!", greeting->Greet("Ann"));

    // One identity whichever interface is asked.
    by::com_ptr<by::IBaseUnknown> from_base(base);
    by::com_ptr<by::IBaseUnknown> from_greeting(greeting);
    EXPECT_EQ(from_base.ptr(), from_greeting.ptr());
  }
  EXPECT_EQ(0, LocalGreeter::alive) << "the last Release destroys it";
}

TEST(ZQBaseExtensionTest, DerivedInitClassRefusesCreation) {
  by::CComObject<RefusingExtension>* object = nullptr;
  EXPECT_EQ(E_FAIL, by::CComObject<RefusingExtension>::CreateInstance(&object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(0, RefusingExtension::alive);
}

TEST(ZQBaseExtensionTest, PluginExtensionIsFilledAcrossTheLibraryBoundary) {
  CComLoader loader;
  ASSERT_TRUE(loader.LoadCom(
      (std::string(ZQ_TEST_PLUGIN_DIR) + "/" + kGreetingPluginFile).c_str()));
  {
    by::com_ptr<IZQBaseExtension> base;
    ASSERT_EQ(S_OK, loader.CreateInstance(CLSID_Greeter, nullptr, nullptr,
                                          by::__uuid_s<IZQBaseExtension>::iid,
                                          base.vpp()));
    by::com_ptr<IGreeting> greeting(base);
    ASSERT_TRUE(greeting.ptr());
    EXPECT_EQ("Hi, Ann!", greeting->Greet("Ann"))
        << "the library's default while no bundle has run";

    // The kit's copy of the context code fills the library's context.
    EXPECT_TRUE(base->GetContext()->SetPayloads({{"salutation", "Howdy"}}));
    EXPECT_EQ(S_OK, base->Initialization());
    EXPECT_EQ("Howdy, Ann!", greeting->Greet("Ann"));
  }  // released before the loader closes the library
}

}  // namespace
}  // namespace zqextensionkit
