// The chords of a chord sheet: where they are, and the sheet transposed.
//
// A song is a chord sheet in one of two shapes, often mixed: chord lines
// standing above the lyric lines in a fixed-width font, and chords written
// into the words in brackets ("[G]Amazing [C]grace"). A chord is a root
// (A to G, with one '#' or 'b'), a quality and extensions (m, maj7, sus4,
// add9, 7b9, dim, aug, +, (b5), ...) and a bass note after '/' (or a
// number, as in 6/9).
//
// A chord line is a line whose every word (between spaces and tabs) is a
// chord, a chord in brackets or parentheses, or a mark of the chart: bar
// lines and dashes ("|", "||", "|:", "-", "/", "%"), "N.C." and repeat
// counts ("x2", "2x"). It holds at least one chord. On any other line, a
// lyric line, only chords in brackets are chords: its words stay words,
// "A" and "Am" among them.
//
// Only ASCII spaces and tabs separate words, and every character of a chord
// is ASCII, so a text read byte for byte as Latin-1 gives the same chords as
// the same text decoded properly (TransposeBytes relies on that).
#pragma once

#include <QString>
#include <QStringView>
#include <string>
#include <string_view>
#include <vector>

namespace songbook {

// Where a chord's text lies in a line (brackets and parentheses outside it).
struct ChordSpan {
  qsizetype start;
  qsizetype length;
};

// The chords of one line (no line break in it), in order.
std::vector<ChordSpan> ChordsInLine(QStringView line);

// How a transposed song spells its black keys.
enum class Accidentals { Sharps, Flats };

// The spelling the key of the song's first chord, moved by the semitones,
// asks for: the flat keys (F, Bb, Eb, Ab, Db and their relative minors)
// take flats, every other key sharps. Sharps when the text holds no chord.
Accidentals SpellingAfter(QStringView text, int semitones);

// The line with each of its chords moved by the semitones (roots and bass
// notes), spelled with the accidentals. On a chord line a chord that grows
// takes the spaces it needs from the run of spaces behind it (one always
// stays between two words), and one that shrinks gives them back, so the
// chords after it keep their columns; what a run could not give is taken
// from the next run. A run holding a tab is left as it is: the tab takes the
// text after it to its own stop. Every character that is not a chord, or a
// space of such a run, is kept.
QString TransposeLine(QStringView line, int semitones, Accidentals accidentals);

// The text transposed line by line, the spelling taken from SpellingAfter.
// Lines end at '\n' or '\r', which are kept as they are. A multiple of 12
// semitones gives the text back unchanged.
QString TransposeText(QStringView text, int semitones);

// A file's bytes transposed: read as Latin-1 (one character per byte), so
// every byte outside a chord comes back unchanged, whatever the encoding.
std::string TransposeBytes(std::string_view bytes, int semitones);

}  // namespace songbook
