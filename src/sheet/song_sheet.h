// A song laid out on pages, for the printer and for PDF files.
//
// Each page starts with a header line, "<title> by <artist>", and "Page n
// of m" below it. The song follows in the viewer's fixed-width font, at the
// size at which its longest line fits the page's width (at most 14 point,
// so that a song of short lines is still a page of text, and at least 7;
// a line longer than the width at 7 point wraps, its rest indented). Chords
// are bold. A stanza (lines between blank lines) that does not fit on what
// is left of a page starts the next one, when it fits on a page of its own.
#pragma once

#include <QFont>
#include <QPagedPaintDevice>
#include <QString>
#include <optional>
#include <string>

namespace sheet {

// The viewer's font: Courier New 10 point, or a font of its metrics, or the
// system's fixed-width font.
QFont ViewerFont();

// "<title> by <artist>" for an archive entry: its name as shown, with '_'
// as a space and without its extension, and the artist as shown.
QString SheetHeader(const std::string& entryName, const std::string& artist);

struct SongSheet {
  QString header;
  QString text;  // lines separated by '\n'
  QFont font = ViewerFont();
};

// What the layout chose.
struct SheetLayout {
  qreal pointSize = 0;  // of the song's text
  int pages = 0;
};

// Paints the sheet on the device, a page after the other. The device's page
// layout decides the size of a page. Returns nothing when painting on it
// could not begin.
std::optional<SheetLayout> PaintSheet(QPagedPaintDevice& device, const SongSheet& song);

// Writes the sheet as a PDF file of A4 pages. The file is written whole or
// not at all: a failure leaves what was there. Returns the layout, or
// nothing with the reason in error.
std::optional<SheetLayout> WriteSheetPdf(const QString& path, const SongSheet& song, QString& error);

}  // namespace sheet
