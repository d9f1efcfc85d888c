// PDFs read back by poppler-utils (pdfinfo, pdftotext), an independent
// reader of what the program writes.
#pragma once

#include <string>

#include "support/temp_dir.h"

namespace testing_support {

// The number of pages pdfinfo counts; -1 when it cannot read the file.
int PdfPages(const std::string& pdf, const TempDir& scratch);
// The PDF's metadata as pdfinfo prints it.
std::string PdfInfo(const std::string& pdf, const TempDir& scratch);
// The text pdftotext reads, with its options ("-layout -f 2 -l 2").
std::string PdfText(const std::string& pdf, const std::string& options, const TempDir& scratch);

}  // namespace testing_support
