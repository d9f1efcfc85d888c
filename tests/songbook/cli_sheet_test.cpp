// fretfile-cli transpose and pdf, run as a user runs them; the PDFs are read
// back with pdfinfo and pdftotext (poppler-utils).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/cli_runner.h"
#include "support/pdf_reader.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

using testing_support::BuiltCliPath;
using testing_support::PdfInfo;
using testing_support::PdfPages;
using testing_support::PdfText;
using testing_support::ReadFile;
using testing_support::RunCli;
using testing_support::TempDir;
using testing_support::WriteFile;
using testing_support::ZipBuilder;

namespace {

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

std::string PageText(const std::string& pdf, int page, const TempDir& scratch) {
  const std::string n = std::to_string(page);
  return PdfText(pdf, "-layout -f " + n + " -l " + n, scratch);
}

TEST(CliTranspose, WritesTheSheetWithOnlyItsChordsChanged) {
  TempDir dir;
  WriteFile(dir.File("song.txt"), "G        D/F#\r\nCaf\xe9 Am I [Em7]\r\n");
  auto up = RunCli(BuiltCliPath(), "transpose " + Quoted(dir.File("song.txt")) + " +1", dir);
  EXPECT_EQ(up.exitCode, 0) << up.err;
  EXPECT_EQ(up.out, "Ab       Eb/G\r\nCaf\xe9 Am I [Fm7]\r\n");
  auto down = RunCli(BuiltCliPath(), "transpose " + Quoted(dir.File("song.txt")) + " -14", dir);
  EXPECT_EQ(down.out, "F        C/E\r\nCaf\xe9 Am I [Dm7]\r\n");

  EXPECT_EQ(RunCli(BuiltCliPath(), "transpose " + Quoted(dir.File("song.txt")) + " two", dir).exitCode, 2);
  EXPECT_EQ(RunCli(BuiltCliPath(), "transpose " + Quoted(dir.File("song.txt")), dir).exitCode, 2);
  auto missing = RunCli(BuiltCliPath(), "transpose " + Quoted(dir.File("none.txt")) + " 1", dir);
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_TRUE(missing.out.empty());
}

TEST(CliPdf, PagesBreakBetweenStanzasWithHeaderAndPageNumbers) {
  TempDir dir;
  // Eight stanzas of a chord line and seven lyric lines: more than a page.
  std::string song;
  for (int stanza = 1; stanza <= 8; ++stanza) {
    if (stanza > 1) song += "\r\n";
    song += "G                 C            D/F#\r\n";
    for (int line = 1; line <= 7; ++line) {
      song += "stanza " + std::to_string(stanza) + " line " + std::to_string(line) +
              " of a song that is long enough\r\n";
    }
  }
  ZipBuilder().Add("Long_Song.txt", song).WriteTo(dir.File("Some_Band.zip"));
  const std::string pdf = dir.File("out.pdf");
  auto run = RunCli(BuiltCliPath(), "pdf " + Quoted(dir.File("Some_Band.zip")) + " Long_Song.txt " + Quoted(pdf) +
                                        " --transpose 2", dir);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "2 pages, text at 14 point\n");  // short lines: the largest size
  ASSERT_EQ(PdfPages(pdf, dir), 2);
  EXPECT_NE(PdfInfo(pdf, dir).find("Long Song by Some Band"), std::string::npos);

  std::vector<std::string> pages = {PageText(pdf, 1, dir), PageText(pdf, 2, dir)};
  for (int n = 1; n <= 2; ++n) {
    const std::string& text = pages[static_cast<size_t>(n - 1)];
    EXPECT_EQ(text.find("Long Song by Some Band\nPage " + std::to_string(n) + " of 2\n"), 0u) << text;
    EXPECT_NE(text.find("A                 D            E/G#"), std::string::npos) << text;
    EXPECT_EQ(text.find("G                 C"), std::string::npos) << text;
  }
  // Every stanza whole on one page, in order.
  int lastPage = 1;
  for (int stanza = 1; stanza <= 8; ++stanza) {
    const std::string first = "stanza " + std::to_string(stanza) + " line 1 ";
    const std::string last = "stanza " + std::to_string(stanza) + " line 7 ";
    const int page = pages[0].find(first) != std::string::npos ? 1 : 2;
    EXPECT_NE(pages[static_cast<size_t>(page - 1)].find(first), std::string::npos) << stanza;
    EXPECT_NE(pages[static_cast<size_t>(page - 1)].find(last), std::string::npos) << stanza;
    EXPECT_GE(page, lastPage);
    lastPage = page;
  }
  EXPECT_EQ(lastPage, 2);
}

TEST(CliPdf, ALineTooWideAtTheSmallestSizeWrapsAndNothingIsLost) {
  TempDir dir;
  std::string wide;
  for (int word = 1; word <= 60; ++word) wide += "w" + std::to_string(1000 + word) + " ";
  ZipBuilder().Add("Wide.txt", "Am\n" + wide + "\nend\n").WriteTo(dir.File("An_Artist.zip"));
  const std::string pdf = dir.File("wide.pdf");
  auto run = RunCli(BuiltCliPath(), "pdf " + Quoted(dir.File("An_Artist.zip")) + " Wide.txt " + Quoted(pdf), dir);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "1 pages, text at 7 point\n");
  const std::string text = PdfText(pdf, "-raw", dir);
  size_t at = 0;
  for (int word = 1; word <= 60; ++word) {
    at = text.find("w" + std::to_string(1000 + word), at);
    ASSERT_NE(at, std::string::npos) << word << "\n" << text;
  }
  EXPECT_NE(text.find("end"), std::string::npos);

  // The entry must be in the archive; the output must be writable.
  EXPECT_EQ(RunCli(BuiltCliPath(), "pdf " + Quoted(dir.File("An_Artist.zip")) + " None.txt x.pdf", dir).exitCode, 2);
  EXPECT_EQ(RunCli(BuiltCliPath(), "pdf " + Quoted(dir.File("An_Artist.zip")) + " Wide.txt " +
                                       Quoted(dir.File("no/such/folder.pdf")), dir).exitCode,
            1);
  EXPECT_EQ(RunCli(BuiltCliPath(), "pdf " + Quoted(dir.File("An_Artist.zip")) + " Wide.txt", dir).exitCode, 2);
}

}  // namespace
