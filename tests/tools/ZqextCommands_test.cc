// zqext's command line as users meet it: help, usage errors, keys, `config`
// (interchangeable with openssl enc in both directions) and `md5`.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "ZQExtensionKit/ZQExtensionKitVersion.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/tools/ZqextTestSupport.h"

namespace zqextensionkit {
namespace test {
namespace {

constexpr char kKey[] = "0123456789abcdef0123456789ABCDEF";
// The key's bytes in hex, as `openssl enc -K` takes them.
constexpr char kKeyHex[] =
    "3031323334353637383961626364656630313233343536373839414243444546";
// Longer than one 48-byte Base64 line of cipher text, so wrapping shows.
constexpr char kConfig[] =
    "{\"artifacts\": [\"com.example.chat\", \"com.example.report\"],\n"
    " \"modules\": [{\"id\": \"talk\"}]}\n";

size_t Lines(const std::string& text) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(ZqextCommandsTest, HelpAndUsageErrors) {
  ScopedTempDir dir;
  const std::string short_key = dir.WriteFile("short.key", "0123456789");
  const std::string long_key =
      dir.WriteFile("long.key", std::string(5000, 'k'));
  const std::string fifo_key = (dir.path() / "fifo.key").string();
  ASSERT_EQ(0, mkfifo(fifo_key.c_str(), 0600));
  const std::string config = dir.WriteFile("config.json", kConfig);
  const std::string out = (dir.path() / "out").string();
  // An installation's extensions/ folder, given instead of the installation.
  const std::filesystem::path installation = dir.path() / "client";
  std::filesystem::create_directories(installation / "extensions");
  std::ofstream(installation / "extensions/config.json") << "{}";
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> env;
    int status;
    std::string text;  // In stdout for status 0, else in stderr.
  } cases[] = {
      {{"--help"}, {}, 0, "usage: zqext <command>"},
      {{"doctor", "--help"}, {}, 0, "usage: zqext doctor"},
      {{"config", "--help"}, {}, 0, "usage: zqext config encrypt"},
      {{"md5", "--help"}, {}, 0, "usage: zqext md5"},
      {{"new-plugin", "--help"}, {}, 0, "usage: zqext new-plugin"},
      {{"guid", "--help"}, {}, 0, "usage: zqext guid"},
      {{"graph", "--help"}, {}, 0, "usage: zqext graph"},
      {{"graph", "--svg"}, {}, 2, "graph: --svg needs a value"},
      {{"graph", (dir.path() / "none").string()},
       {},
       2,
       "graph: " + (dir.path() / "none").string() + ": does not exist"},
      {{"--version"}, {}, 0, "zqext " ZQEXTENSIONKIT_VERSION_STRING "\n"},
      {{}, {}, 2, "no command"},
      {{"frobnicate"}, {}, 2, "unknown command frobnicate (see zqext --help)"},
      // Slips of the keyboard get the closest name.
      {{"doctr"}, {}, 2, "unknown command doctr; did you mean doctor?"},
      {{"new_plugin", "x", "y"}, {}, 2, "did you mean new-plugin?"},
      {{"gudi"}, {}, 2, "did you mean guid?"},
      {{"--verison"}, {}, 2, "did you mean --version?"},
      {{"doctor", "--jsno", "x"},
       {},
       2,
       "unknown option --jsno; did you mean --json? (see zqext doctor"},
      {{"doctor", "--bogus", "x"}, {}, 2, "unknown option --bogus (see"},
      {{"guid", "x"}, {}, 2, "guid: takes no arguments"},
      {{"doctor"}, {}, 2, "give exactly one installation directory"},
      {{"doctor", "--json", "--bogus", "x"}, {}, 2, "unknown option --bogus"},
      {{"doctor", "--key", kKey, "x"},
       {},
       2,
       "not taken from the command line"},
      {{"doctor", "--version", "three", "x"}, {}, 2, "is not a version"},
      {{"doctor", "--timeout", "0", "x"}, {}, 2, "not a number of seconds"},
      {{"doctor", (dir.path() / "none").string()},
       {},
       2,
       "none: does not exist"},
      {{"doctor", config}, {}, 2, "config.json: not a directory (give the "},
      {{"doctor", (installation / "extensions/").string()},
       {},
       2,
       "is the extensions/ folder of an installation; give the installation, "
       "its parent: zqext doctor " +
           std::filesystem::canonical(installation).string() + "\n"},
      {{"config", "encrypt", config, out}, {}, 2, "no key"},
      {{"config", "encrypt", "--key-file", short_key, config, out},
       {},
       2,
       "short.key: the key is 10 bytes long; it must be exactly 32"},
      {{"config", "encrypt", "--key-file", long_key, config, out},
       {},
       2,
       "long.key: larger than 4096 bytes"},
      {{"config", "encrypt", "--key-file", dir.path().string(), config, out},
       {},
       2,
       ": not a regular file"},
      // Refused at once, not waited on for a writer.
      {{"config", "encrypt", "--key-file", fifo_key, config, out},
       {},
       2,
       "fifo.key: not a regular file"},
      {{"config", "decrypt", config, out},
       {"ZQEXT_KEY=tooshort"},
       2,
       "ZQEXT_KEY: the key is 8 bytes long"},
      {{"config", "rot13", config, out}, {}, 2, "say encrypt or decrypt"},
      {{"config", "encrypt", config},
       {"ZQEXT_KEY=" + std::string(kKey)},
       2,
       "give IN and OUT"},
      {{"md5"}, {}, 2, "give at least one file"},
      {{"new-plugin", "9lives", out}, {}, 2, "must be a letter"},
  };
  for (const auto& c : cases) {
    std::string command;
    for (const std::string& arg : c.args)
      command += " " + arg;
    SCOPED_TRACE("zqext" + command);
    const ProgramRun run = RunZqext(c.args, c.env);
    EXPECT_EQ(c.status, run.status) << run.err;
    if (c.status == 0) {
      EXPECT_EQ(0u, run.out.find(c.text)) << run.out;
      EXPECT_EQ("", run.err);
    } else {
      EXPECT_NE(std::string::npos, run.err.find(c.text)) << run.err;
      EXPECT_EQ(1u, Lines(run.err)) << "one line of error: " << run.err;
      EXPECT_EQ("", run.out);
    }
  }
}

TEST(ZqextCommandsTest, GuidPrintsAFreshIdForManifestsAndForCpp) {
  const std::regex form(
      "(\\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}"
      "\\})\n"
      "inline constexpr ZQGUID kId = by::GuidFromLiteral\\(\"(.*)\"\\);\n");
  std::vector<std::string> ids;
  for (int i = 0; i < 2; ++i) {
    const ProgramRun run = RunZqext({"guid"});
    ASSERT_EQ(0, run.status) << run.err;
    std::smatch match;
    ASSERT_TRUE(std::regex_match(run.out, match, form)) << run.out;
    EXPECT_EQ(match[1].str(), match[2].str());
    ids.push_back(match[1].str());
  }
  EXPECT_NE(ids[0], ids[1]);
}

TEST(ZqextCommandsTest, ConfigIsInterchangeableWithOpensslInBothDirections) {
  ScopedTempDir dir;
  const std::string plain = dir.WriteFile("config.json", kConfig);
  // A key file as editors write it, with a final line break, named by a
  // path that climbs.
  dir.WriteFile("demo.key", kKey + std::string("\n"));
  std::filesystem::create_directory(dir.path() / "sub");
  const std::string key_file = (dir.path() / "sub/../demo.key").string();
  const std::string ours = (dir.path() / "ours.enc").string();
  const std::string theirs = (dir.path() / "theirs.enc").string();

  ProgramRun run =
      RunZqext({"config", "encrypt", "--key-file", key_file, plain, ours});
  ASSERT_EQ(0, run.status) << run.err;
  run = RunProgram("openssl", {"enc", "-aes-256-ecb", "-nosalt", "-base64",
                               "-K", kKeyHex, "-in", plain, "-out", theirs});
  ASSERT_EQ(0, run.status) << run.err;
  std::string ours_text;
  std::string theirs_text;
  {
    std::ifstream a(ours, std::ios::binary);
    std::ifstream b(theirs, std::ios::binary);
    ours_text.assign(std::istreambuf_iterator<char>(a), {});
    theirs_text.assign(std::istreambuf_iterator<char>(b), {});
  }
  // Byte for byte: 64-column lines, each ending with a line break.
  EXPECT_EQ(theirs_text, ours_text);
  EXPECT_GT(Lines(ours_text), 1u);

  // openssl reads what zqext wrote, and zqext (the key now from the
  // environment) reads what openssl wrote.
  run = RunProgram("openssl", {"enc", "-d", "-aes-256-ecb", "-nosalt",
                               "-base64", "-K", kKeyHex, "-in", ours});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ(kConfig, run.out);
  const std::string decrypted = (dir.path() / "decrypted.json").string();
  run = RunZqext({"config", "decrypt", theirs, decrypted},
                 {"ZQEXT_KEY=" + std::string(kKey)});
  ASSERT_EQ(0, run.status) << run.err;
  std::ifstream in(decrypted, std::ios::binary);
  EXPECT_EQ(kConfig, std::string(std::istreambuf_iterator<char>(in), {}));
  // The decrypted text holds access keys: only its owner may read it.
  EXPECT_EQ(
      std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
      std::filesystem::status(decrypted).permissions());
}

TEST(ZqextCommandsTest, ConfigRefusesWhatTheKitCouldNotRead) {
  ScopedTempDir dir;
  const std::string key = "ZQEXT_KEY=" + std::string(kKey);
  const std::string wrong_key = "ZQEXT_KEY=" + std::string(32, 'w');
  const std::string broken = dir.WriteFile("broken.json", "{\"artifacts\": [}");
  const std::string plain = dir.WriteFile("plain.json", kConfig);
  const std::string encrypted = (dir.path() / "config.enc").string();
  const std::string out = (dir.path() / "out").string();
  ASSERT_EQ(0, RunZqext({"config", "encrypt", plain, encrypted}, {key}).status);

  const struct {
    std::vector<std::string> args;
    std::string env;
    const char* text;
  } cases[] = {
      {{"config", "encrypt", broken, out},
       key,
       "broken.json: not valid JSON (Line: 1, column: 16"},
      {{"config", "decrypt", plain, out},
       key,
       "plain.json: does not decrypt with this key (configuration manager impl "
       "- decrypt configurations failed, becuase of base64 decode"},
      {{"config", "decrypt", encrypted, out}, wrong_key, "config.enc: "},
      {{"config", "encrypt", (dir.path() / "missing").string(), out},
       key,
       "missing: No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args[2]);
    const ProgramRun run = RunZqext(c.args, {c.env});
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.err.find(c.text)) << run.err;
    EXPECT_EQ(1u, Lines(run.err)) << run.err;
  }
}

TEST(ZqextCommandsTest, Md5PrintsTheDigestManifestsHold) {
  ScopedTempDir dir;
  const std::string abc = dir.WriteFile("abc.so", "abc");
  const std::string empty = dir.WriteFile("empty.so", "");
  const std::string missing = (dir.path() / "missing.so").string();

  ProgramRun run = RunZqext({"md5", abc, empty});
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72  " + abc + "\n" +
                "d41d8cd98f00b204e9800998ecf8427e  " + empty + "\n",
            run.out);

  // A file that cannot be read fails the run; the others are still printed.
  run = RunZqext({"md5", missing, abc});
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72  " + abc + "\n", run.out);
  EXPECT_NE(std::string::npos, run.err.find(missing));
  run = RunZqext({"md5", dir.path().string()});
  EXPECT_EQ(1, run.status);
  EXPECT_NE(std::string::npos,
            run.err.find("cannot be read as a regular file"));
}

}  // namespace
}  // namespace test
}  // namespace zqextensionkit
