// Transposing chord sheets: which words are chords, how they are spelled
// after the move, and the columns of a chord line.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "songbook/chords.h"

namespace {

std::string Transposed(const std::string& text, int semitones) {
  return songbook::TransposeText(QString::fromStdString(text), semitones).toStdString();
}

TEST(Transpose, ChordSheetOfEveryShape) {
  const std::string sheet =
      "[Intro]\n"
      "G    D/F#   Em   C\n"
      "| G  .  .  | N.C. | (x2)\n"
      "\n"
      "     G            D/F#\n"
      "Amazing grace, how sweet the sound\n"
      "   Em        C        G\n"
      "That saved a wretch like me\n"
      "A man, Am I a man? A woman, Am I?\n"
      "[G]I once was [D/F#]lost but [Em7]now am [Cadd9]found, [Chorus]\n"
      "G\tC\tD7sus4\n"
      "Cmaj7 C7(b9) Csus4 Cadd9 C6/9 Cm7b5 Cdim C+ CM7 Caug (C) [C]\n"
      "Cinema Dance Amen Bad Ebony G\n";
  // Up two from G is A, a key of sharps.
  EXPECT_EQ(Transposed(sheet, 2),
            "[Intro]\n"
            "A    E/G#   F#m  D\n"
            "| A  .  .  | N.C. | (x2)\n"
            "\n"
            "     A            E/G#\n"
            "Amazing grace, how sweet the sound\n"
            "   F#m       D        A\n"
            "That saved a wretch like me\n"
            "A man, Am I a man? A woman, Am I?\n"
            "[A]I once was [E/G#]lost but [F#m7]now am [Dadd9]found, [Chorus]\n"
            "A\tD\tE7sus4\n"
            "Dmaj7 D7(b9) Dsus4 Dadd9 D6/9 Dm7b5 Ddim D+ DM7 Daug (D) [D]\n"
            "Cinema Dance Amen Bad Ebony G\n");
  // Down two from G is F, a key of flats; twelve is the sheet itself.
  EXPECT_EQ(Transposed("G  D/F#  [Em]\n", -2), "F  C/E   [Dm]\n");
  EXPECT_EQ(Transposed("D/F#\n", 1), "Eb/G\n");
  EXPECT_EQ(Transposed("[Am7/G] words\n", 3), "[Cm7/Bb] words\n");
  EXPECT_EQ(Transposed(sheet, 12), sheet);
  EXPECT_EQ(Transposed(sheet, -24), sheet);
}

TEST(Transpose, EveryRootAndAccidentalSpelledAsTheNewKeyAsks) {
  const std::vector<std::pair<std::string, std::string>> upOne = {
      {"C", "Db"},  {"C#", "D"}, {"Db", "D"},  {"D", "Eb"},  {"D#", "E"}, {"Eb", "E"},  {"E", "F"},
      {"E#", "F#"}, {"Fb", "F"}, {"F", "F#"},  {"F#", "G"},  {"Gb", "G"}, {"G", "Ab"}, {"G#", "A"},
      {"Ab", "A"},  {"A", "Bb"}, {"A#", "B"},  {"Bb", "B"},  {"B", "C"},  {"B#", "Db"}, {"Cb", "C"}};
  for (const auto& [from, to] : upOne) EXPECT_EQ(Transposed(from, 1), to) << from;
  // Minor keys follow their relative major: Bbm (Db major) has flats, D#m
  // (F# major) sharps.
  const std::vector<std::string> aMinorUp = {"Bbm", "Bm", "Cm", "C#m", "Dm", "D#m", "Em", "Fm", "F#m", "Gm", "G#m"};
  for (int semitones = 1; semitones <= 11; ++semitones) {
    EXPECT_EQ(Transposed("Am", semitones), aMinorUp[static_cast<size_t>(semitones - 1)]) << semitones;
    EXPECT_EQ(Transposed("Am", semitones - 12), aMinorUp[static_cast<size_t>(semitones - 1)]) << semitones;
  }
  // The first chord sets the key for the whole song.
  EXPECT_EQ(Transposed("F Bb C7\nG  A#\n", 2), "G C  D7\nA  C\n");
  EXPECT_EQ(Transposed("Eb Bb\nG D/F#\n", 2), "F  C\nA E/Ab\n");
}

TEST(Transpose, ChordsKeepTheirColumnsOverTheLyrics) {
  // A grows into the spaces behind it, F#m shrinks and gives one back, the
  // last chord grows the line.
  EXPECT_EQ(Transposed("A      E/G#    F#m   D\nlyric\n", -1), "Ab     Eb/G    Fm    Db\nlyric\n");
  // A run of one space cannot give: the next run pays, and E stands where it stood.
  EXPECT_EQ(Transposed("C D    E", 1), "Db Eb  F");
  EXPECT_EQ(Transposed("C D E", 1), "Db Eb F");
  // A tab takes what follows it to its stop: the debt ends there.
  EXPECT_EQ(Transposed("G\tEm  C\n", 1), "Ab\tFm  Db\n");
  // Leading and trailing spaces stay; inline chords move the words along.
  EXPECT_EQ(Transposed("  G  C  \n", 1), "  Ab Db  \n");
  EXPECT_EQ(Transposed("[G]one [C]two\n", 1), "[Ab]one [Db]two\n");
  // Line breaks of any kind stay as they are.
  EXPECT_EQ(Transposed("G\r\nC\rD\n", 2), "A\r\nD\rE\n");
}

TEST(Transpose, BytesOutsideChordsStayWhateverTheEncoding) {
  // Windows-1252 lyrics, invalid UTF-8 and UTF-8 side by side.
  const std::string bytes = "G   C\r\nCaf\xe9 \xff\xfe [C]na\xc3\xafve\r\n";
  EXPECT_EQ(songbook::TransposeBytes(bytes, 2), "A   D\r\nCaf\xe9 \xff\xfe [D]na\xc3\xafve\r\n");
}

}  // namespace
