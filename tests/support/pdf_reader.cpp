#include "support/pdf_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace testing_support {
namespace {

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

std::string Run(const std::string& tool, const std::string& arguments, const std::string& pdf, const std::string& to,
                const TempDir& scratch) {
  const std::string out = scratch.File(tool + ".out");
  const std::string command = tool + " " + arguments + " " + Quoted(pdf) + to + " >" + Quoted(out) + " 2>/dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0) << command << " (poppler-utils: scripts/setup.sh)";
  return ReadFile(out);
}

}  // namespace

std::string PdfInfo(const std::string& pdf, const TempDir& scratch) { return Run("pdfinfo", "", pdf, "", scratch); }

int PdfPages(const std::string& pdf, const TempDir& scratch) {
  const std::string info = PdfInfo(pdf, scratch);
  const size_t at = info.find("Pages:");
  return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
}

std::string PdfText(const std::string& pdf, const std::string& options, const TempDir& scratch) {
  return Run("pdftotext", options, pdf, " -", scratch);
}

}  // namespace testing_support
