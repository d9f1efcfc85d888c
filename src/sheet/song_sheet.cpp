#include "sheet/song_sheet.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>
#include <cmath>
#include <vector>

#include "archive/display_name.h"
#include "platform/posix/program_version.h"
#include "songbook/chords.h"

namespace sheet {
namespace {

// Columns: a tab's stop, and the indent of the rest of a wrapped line.
constexpr int kTabStop = 8;
constexpr int kWrapIndent = 4;

// One line of the song as printed: its characters, tabs expanded, with the
// chords marked.
struct PrintedLine {
  QString text;
  std::vector<bool> chord;  // one per character
  bool indented = false;    // the rest of a wrapped line
};

PrintedLine Expanded(QStringView line) {
  std::vector<bool> inChord(static_cast<size_t>(line.size()), false);
  for (const auto& span : songbook::ChordsInLine(line)) {
    std::fill_n(inChord.begin() + span.start, span.length, true);
  }
  PrintedLine printed;
  for (qsizetype at = 0; at < line.size(); ++at) {
    if (line[at] == u'\t') {
      do {
        printed.text += u' ';
        printed.chord.push_back(false);
      } while (printed.text.size() % kTabStop != 0);
      continue;
    }
    printed.text += line[at];
    printed.chord.push_back(inChord[static_cast<size_t>(at)]);
  }
  return printed;
}

QFont Sized(QFont font, qreal points, bool bold) {
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

// The width of the line's characters from `from` (count of them), chords bold.
qreal Width(const PrintedLine& line, qsizetype from, qsizetype count, const QFontMetricsF& regular,
            const QFontMetricsF& bold) {
  qreal width = 0;
  qsizetype at = from;
  while (at < from + count) {
    const bool isChord = line.chord[static_cast<size_t>(at)];
    qsizetype end = at;
    while (end < from + count && line.chord[static_cast<size_t>(end)] == isChord) ++end;
    width += (isChord ? bold : regular).horizontalAdvance(line.text.mid(at, end - at));
    at = end;
  }
  return width;
}

// The line as rows no wider than width: the first as wide as it goes, the
// others indented; each breaks after a space when one is in its second half.
std::vector<PrintedLine> Wrapped(const PrintedLine& line, qreal width, const QFontMetricsF& regular,
                                 const QFontMetricsF& bold) {
  std::vector<PrintedLine> rows;
  const qreal indent = regular.horizontalAdvance(QString(kWrapIndent, u' '));
  qsizetype from = 0;
  do {
    const qreal room = rows.empty() ? width : width - indent;
    // The most characters that fit, at least one.
    qsizetype low = 1;
    qsizetype high = line.text.size() - from;
    while (low < high) {
      const qsizetype middle = (low + high + 1) / 2;
      if (Width(line, from, middle, regular, bold) <= room) {
        low = middle;
      } else {
        high = middle - 1;
      }
    }
    qsizetype count = low;
    if (from + count < line.text.size()) {
      const qsizetype space = line.text.lastIndexOf(u' ', from + count - 1);
      if (space > from + count / 2) count = space - from + 1;
    }
    PrintedLine row;
    row.text = line.text.mid(from, count);
    row.chord.assign(line.chord.begin() + from, line.chord.begin() + from + count);
    row.indented = !rows.empty();
    rows.push_back(std::move(row));
    from += count;
  } while (from < line.text.size());
  return rows;
}

struct Page {
  std::vector<PrintedLine> rows;
};

struct Laid {
  qreal pointSize;
  std::vector<Page> pages;
};

// The song's lines in rows at the size that fits, put on pages.
Laid LayOut(const SongSheet& song, QPaintDevice& device, qreal bodyHeight) {
  // The song's text: as large as its longest line allows, within these.
  constexpr qreal kLargestPoint = 14;
  constexpr qreal kSmallestPoint = 7;
  std::vector<PrintedLine> lines;
  for (const QStringView line : QStringView(song.text).split(u'\n')) lines.push_back(Expanded(line));
  const qreal width = device.width();

  // Widths are in proportion to the size: measured at 10 point, scaled,
  // then checked at the size chosen (hinting may round them up).
  const QFontMetricsF regular10(Sized(song.font, 10, false), &device);
  const QFontMetricsF bold10(Sized(song.font, 10, true), &device);
  qreal widest = 0;
  for (const auto& line : lines) widest = std::max(widest, Width(line, 0, line.text.size(), regular10, bold10));
  qreal points = widest > 0 ? std::clamp(10 * width / widest, kSmallestPoint, kLargestPoint) : kLargestPoint;
  points = std::floor(points * 4) / 4;
  for (;;) {
    const QFontMetricsF regular(Sized(song.font, points, false), &device);
    const QFontMetricsF bold(Sized(song.font, points, true), &device);
    bool fits = true;
    for (const auto& line : lines) fits = fits && Width(line, 0, line.text.size(), regular, bold) <= width;
    if (fits || points <= kSmallestPoint) break;
    points -= 0.25;
  }

  const QFontMetricsF regular(Sized(song.font, points, false), &device);
  const QFontMetricsF bold(Sized(song.font, points, true), &device);
  const int rowsPerPage = std::max(1, static_cast<int>(bodyHeight / regular.lineSpacing()));

  // Stanzas: runs of lines that are not blank, each as its rows.
  std::vector<std::vector<PrintedLine>> stanzas;
  bool inStanza = false;
  for (const auto& line : lines) {
    if (line.text.trimmed().isEmpty()) {
      inStanza = false;
      continue;
    }
    if (!inStanza) stanzas.emplace_back();
    inStanza = true;
    for (auto& row : Wrapped(line, width, regular, bold)) stanzas.back().push_back(std::move(row));
  }

  Laid laid{points, {Page{}}};
  for (const auto& stanza : stanzas) {
    auto* page = &laid.pages.back();
    // A blank row between stanzas, none at the top of a page.
    const int gap = page->rows.empty() ? 0 : 1;
    const int left = rowsPerPage - static_cast<int>(page->rows.size()) - gap;
    const bool fitsHere = static_cast<int>(stanza.size()) <= left;
    if (!fitsHere && !page->rows.empty() && static_cast<int>(stanza.size()) <= rowsPerPage) {
      laid.pages.emplace_back();
      page = &laid.pages.back();
    } else if (gap != 0 && left > 0) {
      page->rows.emplace_back();
    }
    for (const auto& row : stanza) {
      if (static_cast<int>(page->rows.size()) >= rowsPerPage) {
        laid.pages.emplace_back();
        page = &laid.pages.back();
      }
      page->rows.push_back(row);
    }
  }
  return laid;
}

void PaintRow(QPainter& painter, const PrintedLine& row, qreal x, qreal baseline, const QFont& regular,
              const QFont& bold) {
  const QFontMetricsF regularMetrics(regular, painter.device());
  const QFontMetricsF boldMetrics(bold, painter.device());
  if (row.indented) x += regularMetrics.horizontalAdvance(QString(kWrapIndent, u' '));
  qsizetype at = 0;
  while (at < row.text.size()) {
    const bool isChord = row.chord[static_cast<size_t>(at)];
    qsizetype end = at;
    while (end < row.text.size() && row.chord[static_cast<size_t>(end)] == isChord) ++end;
    const QString run = row.text.mid(at, end - at);
    painter.setFont(isChord ? bold : regular);
    painter.drawText(QPointF(x, baseline), run);
    x += (isChord ? boldMetrics : regularMetrics).horizontalAdvance(run);
    at = end;
  }
}

}  // namespace

QFont ViewerFont() {
  for (const char* family : {"Courier New", "Liberation Mono", "DejaVu Sans Mono"}) {
    if (QFontDatabase::hasFamily(QString::fromLatin1(family))) {
      QFont font(QString::fromLatin1(family));
      font.setPointSize(10);
      return font;
    }
  }
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  font.setPointSize(10);
  return font;
}

QString SheetHeader(const std::string& entryName, const std::string& artist) {
  QString title = QString::fromStdString(archive::DisplayName(entryName));
  title.replace(u'_', u' ');
  const qsizetype dot = title.lastIndexOf(u'.');
  if (dot > 0) title.truncate(dot);
  return title + QStringLiteral(" by ") + QString::fromStdString(archive::DisplayName(artist));
}

std::optional<SheetLayout> PaintSheet(QPagedPaintDevice& device, const SongSheet& song) {
  QPainter painter;
  if (!painter.begin(&device)) return std::nullopt;
  // The header line and the page number below it.
  constexpr qreal kHeaderPoint = 12;
  constexpr qreal kPageNumberPoint = 9;
  const QFont header = Sized(song.font, kHeaderPoint, true);
  const QFont pageNumber = Sized(song.font, kPageNumberPoint, false);
  const QFontMetricsF headerMetrics(header, &device);
  const QFontMetricsF pageNumberMetrics(pageNumber, &device);
  // The header, the page number and a blank line of the page number's size.
  const qreal top = headerMetrics.lineSpacing() + 2 * pageNumberMetrics.lineSpacing();
  const Laid laid = LayOut(song, device, device.height() - top);
  const QFont regular = Sized(song.font, laid.pointSize, false);
  const QFont bold = Sized(song.font, laid.pointSize, true);
  const QFontMetricsF metrics(regular, &device);
  const int count = static_cast<int>(laid.pages.size());
  for (int n = 0; n < count; ++n) {
    if (n > 0) device.newPage();
    painter.setFont(header);
    const QString headerText = headerMetrics.elidedText(song.header, Qt::ElideRight, device.width());
    painter.drawText(QPointF(0, headerMetrics.ascent()), headerText);
    painter.setFont(pageNumber);
    painter.drawText(QPointF(0, headerMetrics.lineSpacing() + pageNumberMetrics.ascent()),
                     QStringLiteral("Page %1 of %2").arg(n + 1).arg(count));
    qreal baseline = top + metrics.ascent();
    for (const auto& row : laid.pages[static_cast<size_t>(n)].rows) {
      PaintRow(painter, row, 0, baseline, regular, bold);
      baseline += metrics.lineSpacing();
    }
  }
  if (!painter.end()) return std::nullopt;
  return SheetLayout{laid.pointSize, count};
}

std::optional<SheetLayout> WriteSheetPdf(const QString& path, const SongSheet& song, QString& error) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    error = file.errorString();
    return std::nullopt;
  }
  std::optional<SheetLayout> layout;
  {
    QPdfWriter pdf(&file);
    pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 15, 15, 15),
                                  QPageLayout::Millimeter));
    pdf.setTitle(song.header);
    pdf.setCreator(QString::fromLatin1(platform::kProgramVersionText));
    layout = PaintSheet(pdf, song);
  }
  if (!layout) {
    file.cancelWriting();
    error = QStringLiteral("The PDF could not be drawn");
    return std::nullopt;
  }
  if (!file.commit()) {
    error = file.errorString();
    return std::nullopt;
  }
  return layout;
}

}  // namespace sheet
