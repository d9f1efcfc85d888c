// fretfile-cli list / extract, run as the child process a user would start.
#include <gtest/gtest.h>

#include "support/cli_runner.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;
using testing_support::ZipBuilder;
using testing_support::ZipEntrySpec;

namespace {

class CliArchive : public ::testing::Test {
 protected:
  using Outcome = testing_support::CliOutcome;

  Outcome Run(const std::string& arguments) { return testing_support::RunCli(cli_, arguments, scratch_); }

  void SetUp() override {
    if (!FileExists(cli_)) FAIL() << "fretfile-cli not built at " << cli_;
  }

  const std::string cli_ = testing_support::BuiltCliPath();
  TempDir scratch_;
};

}  // namespace

TEST_F(CliArchive, ListPrintsOneLinePerEntry) {
  TempDir dir;
  ZipBuilder builder;
  builder.Add("a.txt", "alpha");
  ZipEntrySpec folder;
  folder.name = "dir/";
  folder.externalAttributes = 0x10;
  folder.flags = 0x02;
  builder.Add(folder);
  builder.WriteTo(dir.File("x.zip"));
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08x", testing_support::Crc32Of("alpha"));
  const Outcome listed = Run("list '" + dir.File("x.zip") + "'");
  EXPECT_EQ(listed.exitCode, 0);
  EXPECT_EQ(listed.out, "a.txt\t0\t5\t5\t" + std::string(crc) + "\t0\t20\t0\n" + "dir/\t0\t0\t0\t00000000\t" +
                            std::to_string(builder.HeaderOffsets()[1]) + "\t10\t2\n");
  WriteFile(dir.File("junk.zip"), "not an archive");
  const Outcome junk = Run("list '" + dir.File("junk.zip") + "'");
  EXPECT_EQ(junk.exitCode, 2);
  EXPECT_EQ(junk.out, "-1\n");
}

TEST_F(CliArchive, ExtractRefusesNamesLeavingTheFolder) {
  TempDir dir;
  ZipBuilder builder;
  builder.Add("../evil.txt", "evil").Add("/abs.txt", "abs").Add("ok/good.txt", "good");
  builder.WriteTo(dir.File("x.zip"));
  const std::string out = dir.File("out");
  const Outcome all = Run("extract '" + dir.File("x.zip") + "' --all '" + out + "'");
  EXPECT_EQ(all.exitCode, 1);
  EXPECT_EQ(all.out, "../evil.txt\t2\n/abs.txt\t2\nok/good.txt\t0\n");
  EXPECT_EQ(ReadFile(out + "/ok/good.txt"), "good");
  EXPECT_FALSE(FileExists(dir.File("evil.txt")));

  const Outcome one = Run("extract '" + dir.File("x.zip") + "' ok/good.txt '" + dir.File("one") + "'");
  EXPECT_EQ(one.exitCode, 0);
  EXPECT_EQ(one.out, "ok/good.txt\t0\n");
  EXPECT_EQ(Run("extract '" + dir.File("x.zip") + "' missing.txt '" + out + "'").exitCode, 2);
  EXPECT_EQ(Run("extract '" + dir.File("nothing.zip") + "' --all '" + out + "'").exitCode, 2);
}

// Names reach the user by one rule (CP437 here, the format's default), while
// the files keep the archive's bytes; every command answers --help.
TEST_F(CliArchive, NamesShowInTheirOwnLettersAndEveryCommandAnswersHelp) {
  TempDir dir;
  ZipEntrySpec piped;
  piped.name = "Bj\x94rk.txt";
  piped.data = "streamed";
  piped.dataDescriptor = true;
  piped.descriptorSignature = false;
  ZipBuilder().Add(piped).WriteTo(dir.File("x.zip"));
  const std::string shown = "Bj\xC3\xB6rk.txt";
  EXPECT_EQ(Run("list '" + dir.File("x.zip") + "'").out.substr(0, shown.size() + 1), shown + "\t");
  const Outcome walked = Run("walk '" + dir.File("x.zip") + "'");
  EXPECT_EQ(walked.out.substr(walked.out.size() - shown.size() - 1), shown + "\n");
  const Outcome extracted = Run("extract '" + dir.File("x.zip") + "' '" + shown + "' '" + dir.File("out") + "'");
  EXPECT_EQ(extracted.exitCode, 0);
  EXPECT_EQ(extracted.out, shown + "\t0\n");
  EXPECT_EQ(ReadFile(dir.File("out/Bj\x94rk.txt")), "streamed");

  for (const std::string command : {"add", "dir", "extract", "list", "rebuild", "search", "walk"}) {
    const Outcome help = Run(command + " --help");
    EXPECT_EQ(help.exitCode, 0) << command;
    EXPECT_EQ(help.out.rfind("usage: fretfile-cli " + command + " ", 0), 0u) << help.out;
  }
}
