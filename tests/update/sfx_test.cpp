// Self-extracting archives: what the component writes in front of a new
// ".exe" archive, the icon of a PE stub, the existing target, and the stub
// program SFXSTUB.BIN run as the child process a user would start, with its
// questions answered on standard input.
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

#include "support/cli_runner.h"
#include "support/zip_builder.h"
#include "update/component/updater_messages.h"
#include "update/recording_library.h"
#include "update/updater_fixture.h"

using fretfile::TZipUpdater;
using testing_support::BuiltCliPath;
using testing_support::CliOutcome;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::RecordingLibrary;
using testing_support::RunCli;
using testing_support::TempDir;
using testing_support::UpdaterTest;
using testing_support::WriteFile;
using testing_support::ZipBuilder;
namespace msg = fretfile::msg;

namespace {

const std::string kStub = FRETFILE_SFXSTUB;

void Put16(std::string& bytes, size_t at, uint32_t value) {
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>(value >> 8 & 0xFF);
}
void Put32(std::string& bytes, size_t at, uint32_t value) {
  Put16(bytes, at, value & 0xFFFF);
  Put16(bytes, at + 2, value >> 16);
}

// The self-extractor's header, written here on its own: caption, default
// folder, command line, message.
std::string HeaderBytes(uint8_t flags, const std::string& caption, const std::string& folder,
                        const std::string& command) {
  std::string header = "MPV";
  header += {static_cast<char>(flags), 0, 1, 0, 0};
  for (const std::string* text : {&caption, &folder, &command}) header += static_cast<char>(text->size()) + *text;
  header += '\0';  // no message
  header.resize((header.size() + 3) / 4 * 4, '\0');
  Put16(header, 6, static_cast<uint32_t>(header.size()));
  return header;
}

// A 32-bit PE program with two sections, whose resources hold a named
// entry and a group before the icons, and under icon 1 a 296-byte image
// before the 744-byte one; returns where that one lies.
size_t MakePe(std::string& pe) {
  pe.assign(0x9E8, '\0');
  pe[0] = 'M', pe[1] = 'Z';
  Put32(pe, 60, 0x80);
  pe.replace(0x80, 4, std::string("PE\0\0", 4));
  Put16(pe, 0x84, 0x14C);
  Put16(pe, 0x86, 2);
  Put16(pe, 0x94, 224);
  const auto section = [&](size_t at, const char* name, uint32_t address, uint32_t raw, uint32_t size) {
    pe.replace(at, std::strlen(name), name);
    Put32(pe, at + 12, address);
    Put32(pe, at + 16, size);
    Put32(pe, at + 20, raw);
  };
  section(0x178, ".text", 0x1000, 0x200, 0x200);
  section(0x1A0, ".rsrc", 0x2000, 0x400, 0x600);
  const size_t r = 0x400;
  const auto directory = [&](size_t at, uint16_t named, std::initializer_list<std::pair<uint32_t, uint32_t>> entries) {
    Put16(pe, r + at + 12, named);
    Put16(pe, r + at + 14, static_cast<uint16_t>(entries.size() - named));
    size_t next = r + at + 16;
    for (const auto& [name, data] : entries) {
      Put32(pe, next, name);
      Put32(pe, next + 4, data);
      next += 8;
    }
  };
  directory(0x00, 1, {{0x80000100, 0x80000040}, {14, 0x80000040}, {3, 0x80000060}});
  directory(0x40, 0, {});
  directory(0x60, 0, {{2, 0x80000040}, {1, 0x80000080}});
  directory(0x80, 0, {{0x409, 0xA0}, {0x407, 0xB0}});
  Put32(pe, r + 0xA0, 0x2100);
  Put32(pe, r + 0xA4, 296);
  Put32(pe, r + 0xB0, 0x2300);
  Put32(pe, r + 0xB4, 744);
  pe.replace(r + 0x100, 296, std::string(296, 'd'));
  pe.replace(r + 0x300, 744, std::string(744, 'o'));
  return r + 0x300;
}

std::string IconFile(size_t size) {
  std::string icon(size, '\0');
  for (size_t i = 22; i < size; ++i) icon[i] = static_cast<char>('A' + i % 26);
  return icon;
}

class SfxTest : public UpdaterTest {
 protected:
  void SetUp() override {
    updater.Unattended = true;
    updater.SetDLLDirectory(library.Folder());
    updater.SFXPath = kStub;
  }
  RecordingLibrary library;
};

TEST_F(SfxTest, ATextTooLongOrNoStubLeavesNoFileAndEndsTheAdd) {
  updater.SetZipFileName(dir.File("Songs.EXE"));
  updater.SFXCaption = std::string(256, 'c');
  updater.FSpecArgs = {dir.File("song.txt")};
  updater.Add();
  ASSERT_EQ(MessageNumbers(), (std::vector<int32_t>{msg::kSfxTextTooLong, msg::kSfxCreateFailed}));
  EXPECT_EQ(messages[0].text, TextOf(msg::kSfxTextTooLong) +
                                  "\r\nSFXCaption + SFXDefaultDir + SFXCommandLine + SFXMessage = 269");
  EXPECT_NE(messages[1].text.find("-9"), std::string::npos) << messages[1].text;
  EXPECT_FALSE(FileExists(dir.File("Songs.EXE")));
  EXPECT_TRUE(library.Calls().empty());

  // Made, but the library added nothing to it: the new file goes again.
  updater.SFXCaption = "Songs";
  library.SetResult(0);
  updater.FSpecArgs = {dir.File("song.txt")};
  updater.Add();
  EXPECT_EQ(library.Calls().size(), 1u);
  EXPECT_FALSE(FileExists(dir.File("Songs.EXE")));

  if (FileExists(FRETFILE_PRIVATE_DIR "SFXSTUB.BIN")) GTEST_SKIP() << "a stub is installed system-wide";
  messages.clear();
  updater.SFXPath = dir.File("none.bin");
  updater.FSpecArgs = {dir.File("song.txt")};
  updater.Add();
  EXPECT_EQ(MessageNumbers(), (std::vector<int32_t>{msg::kSfxStubMissing, msg::kSfxCreateFailed}));
  EXPECT_EQ(updater.SFXPath, library.Folder() + "/SFXSTUB.BIN");  // the last name tried
  EXPECT_FALSE(FileExists(dir.File("Songs.EXE")));
  EXPECT_EQ(library.Calls().size(), 1u);
}

TEST_F(SfxTest, TheHeaderAndEndRecordFollowTheStubWithItsIconReplaced) {
  std::string pe;
  const size_t iconAt = MakePe(pe);
  WriteFile(dir.File("pe.bin"), pe);
  updater.SFXPath = dir.File("pe.bin");
  updater.SetZipFileName(dir.File("Songs.exe"));
  updater.SFXCaption = "Songs";
  updater.SFXDefaultDir = "/tmp/x";
  updater.SFXCommandLine = "ls";
  updater.SFXOptions = {fretfile::SFXAskFiles, fretfile::SFXAutoRun};
  updater.SFXOverWriteMode = fretfile::OvrNever;
  const std::string icon = IconFile(766);
  updater.SetSFXIcon(icon);
  ASSERT_EQ(updater.CreateSfxStub(), 0);

  std::string expected = pe;
  expected.replace(iconAt, 744, icon.substr(22));
  // flags: ask files 2, never 16, no size check 32, run 64
  const std::string header = "MPV" + std::string{114, 0, 1, 28, 0, 5} + "Songs\x06/tmp/x\x02ls" + std::string(4, '\0');
  expected += header;
  std::string end(22, '\0');
  Put32(end, 0, 0x06054B50);
  Put32(end, 16, static_cast<uint32_t>(pe.size() + header.size()));
  EXPECT_EQ(ReadFile(dir.File("Songs.exe")), expected + end);
  struct stat st {};
  ASSERT_EQ(::stat(dir.File("Songs.exe").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0111, 0111 & (st.st_mode & 0444) >> 2);
  EXPECT_NE(st.st_mode & S_IXUSR, 0u);

  // An icon that is no 766-byte icon file, or a stub without icons: no archive.
  updater.SetSFXIcon(IconFile(765));
  updater.SetZipFileName(dir.File("Bad.EXE"));
  updater.FSpecArgs = {dir.File("song.txt")};
  updater.Add();
  EXPECT_EQ(updater.LastErrCode(), msg::kSfxCreateFailed);
  EXPECT_NE(updater.LastMessage().find("-12"), std::string::npos) << updater.LastMessage();
  EXPECT_FALSE(FileExists(dir.File("Bad.EXE")));
  updater.SFXPath = kStub;
  EXPECT_EQ(updater.CreateSfxStub(), -10);
  EXPECT_FALSE(FileExists(dir.File("Bad.EXE")));
  EXPECT_TRUE(library.Calls().empty());
}

TEST_F(SfxTest, AnExistingTargetGoesToTheTrashOrIsDeleted) {
  const std::string data = dir.File("data");  // not made yet: a new user's data folder
  ::setenv("XDG_DATA_HOME", data.c_str(), 1);
  const std::string target = dir.File("Songs.EXE");
  updater.SetZipFileName(target);
  WriteFile(target, "the old songs");
  int64_t copied = 0;
  updater.ProgressOn = true;  // the stub is copied in blocks of 8192 bytes, the last one shorter
  updater.OnProgress = [&](TZipUpdater&, TZipUpdater::ProgressType type, const std::string&, int32_t size) {
    EXPECT_EQ(type, 1);
    EXPECT_EQ(copied % 8192, 0) << "a short block before the last one";
    copied += size;
  };
  ASSERT_EQ(updater.CreateSfxStub(), 0);
  EXPECT_EQ(copied, static_cast<int64_t>(std::filesystem::file_size(kStub)));
  EXPECT_EQ(ReadFile(data + "/Trash/files/Songs.EXE"), "the old songs");
  EXPECT_EQ(ReadFile(target).substr(0, 4), "\x7f" "ELF");
  updater.ProgressOn = false;

  updater.HowToDelete = fretfile::htdFinal;
  WriteFile(target, "newer songs");
  ASSERT_EQ(updater.CreateSfxStub(), 0);
  size_t trashed = 0;
  for ([[maybe_unused]] const auto& file : std::filesystem::directory_iterator(data + "/Trash/files")) ++trashed;
  EXPECT_EQ(trashed, 1u);
  EXPECT_EQ(updater.DeleteWithShell(dir.File("none"), fretfile::htdFinal), -1);
  ::unsetenv("XDG_DATA_HOME");
}

// The stub program, run as a user would run the archive.
class SfxRun : public ::testing::Test {
 protected:
  CliOutcome Run(const std::string& program, const std::string& answers) {
    WriteFile(scratch_.File("answers"), answers);
    return RunCli(program, "<'" + scratch_.File("answers") + "'", scratch_);
  }
  CliOutcome Cli(const std::string& arguments) { return RunCli(BuiltCliPath(), arguments, scratch_); }
  std::string Quoted(const std::string& name) const { return "'" + dir_.File(name) + "'"; }

  TempDir scratch_;
  TempDir dir_;
};

TEST_F(SfxRun, TheCliMakesAnArchiveThatExtractsItsSongs) {
  const std::map<std::string, std::string> songs = {
      {"First_Song.txt", "la la la\n"},
      {"Second_Song.txt", std::string(50000, 'x') + "chorus"},  // deflated
      {"cover.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(300, '\x01')},  // stored
      {"Fourth_Song.txt", "added later\n"}};
  for (const auto& [name, data] : songs) WriteFile(dir_.File(name), data);
  const CliOutcome made = Cli("add " + Quoted("Songs.EXE") + " " + Quoted("First_Song.txt") + " " +
                              Quoted("Second_Song.txt") + " " + Quoted("cover.png"));
  ASSERT_EQ(made.exitCode, 0) << made.err;
  EXPECT_EQ(made.out, "processed 3\n");
  const CliOutcome more = Cli("add " + Quoted("Songs.EXE") + " " + Quoted("Fourth_Song.txt"));
  ASSERT_EQ(more.exitCode, 0) << more.err;
  const auto stubSize = std::filesystem::file_size(std::filesystem::path(BuiltCliPath()).parent_path() / "SFXSTUB.BIN");
  const CliOutcome listed = Cli("dir " + Quoted("Songs.EXE"));
  EXPECT_NE(listed.out.find("StubOffset\t" + std::to_string(stubSize + 36) + "\n"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("OffsetMismatch\t0\n"), std::string::npos) << listed.out;

  // The folder, then the overwrite mode (confirm, the default).
  const CliOutcome first = Run(dir_.File("Songs.EXE"), dir_.File("out") + "\n\n");
  ASSERT_EQ(first.exitCode, 0) << first.out << first.err;
  EXPECT_NE(first.out.find("Self-extracting Archive"), std::string::npos) << first.out;
  for (const auto& [name, data] : songs) EXPECT_EQ(ReadFile(dir_.File("out/" + name)), data) << name;

  // Again over the same files, from inside that folder: the default folder
  // is the current one; the first existing file is replaced, the others kept.
  for (const auto& [name, data] : songs) WriteFile(dir_.File("out/" + name), "edited");
  WriteFile(scratch_.File("answers"), "\n\ny\ns\n");
  const std::string command = "cd " + Quoted("out") + " && " + Quoted("Songs.EXE") + " <'" +
                              scratch_.File("answers") + "' >'" + scratch_.File("out") + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << ReadFile(scratch_.File("out"));
  EXPECT_EQ(ReadFile(dir_.File("out/First_Song.txt")), songs.at("First_Song.txt"));
  for (const char* kept : {"Fourth_Song.txt", "Second_Song.txt", "cover.png"}) {
    EXPECT_EQ(ReadFile(dir_.File(std::string("out/") + kept)), "edited") << kept;
  }
}

TEST_F(SfxRun, TheStubAsksForFilesRefusesEscapingNamesAndRunsTheCommand) {
  // Files chosen by number, overwrite without asking, the command after.
  const uint8_t flags = 2 | 4 | 8 | 64;
  const std::string program = dir_.File("Pick.EXE");
  ZipBuilder()
      .Add("good.txt", "good")
      .Add("../evil.txt", "evil")
      .Add("sub/deep.txt", std::string(3000, 'd'), 8)
      .Prefix(ReadFile(kStub) + HeaderBytes(flags, "Pick", dir_.File("picked"), "ls > listing"))
      .WriteTo(program);
  std::filesystem::permissions(program, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);

  const CliOutcome chosen = Run(program, "\n1 3\n");
  EXPECT_EQ(chosen.exitCode, 0) << chosen.out << chosen.err;
  EXPECT_EQ(ReadFile(dir_.File("picked/good.txt")), "good");
  EXPECT_EQ(ReadFile(dir_.File("picked/sub/deep.txt")), std::string(3000, 'd'));
  EXPECT_EQ(ReadFile(dir_.File("picked/listing")), "good.txt\nlisting\nsub\n");

  std::filesystem::remove(dir_.File("picked/listing"));
  const CliOutcome all = Run(program, "\n\n");
  EXPECT_EQ(all.exitCode, 1) << all.out << all.err;
  EXPECT_NE(all.err.find("../evil.txt: refused"), std::string::npos) << all.err;
  EXPECT_FALSE(FileExists(dir_.File("evil.txt")));
  EXPECT_FALSE(FileExists(dir_.File("picked/listing")));  // no command after a failure

  const std::string shared = testing_support::SharedTestData();
  if (shared.empty()) GTEST_SKIP() << "no shared test data";
  // The older methods, from archives simply put behind the stub and header.
  const std::string expected = ReadFile(shared + "/legacy/folder/first.txt");
  for (const char* method : {"shrink", "reduce", "implode"}) {
    const std::string folder = dir_.File(method);
    WriteFile(program, ReadFile(kStub) + HeaderBytes(4 | 128, "", folder, "") +
                           ReadFile(shared + "/legacy/" + method + ".zip"));
    const CliOutcome legacy = Run(program, "");
    EXPECT_EQ(legacy.exitCode, 0) << method << legacy.err;
    const std::string name = std::string(method) == "shrink" ? "/FIRST.TXT" : "/first.txt";
    EXPECT_EQ(ReadFile(folder + name), expected) << method;
  }
}

}  // namespace
