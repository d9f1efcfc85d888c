#include "songbook/chords.h"

#include <array>
#include <optional>

namespace songbook {
namespace {

// A chord is short; a longer word is no chord, whatever it spells.
constexpr qsizetype kLongestChord = 16;

constexpr std::array<const char*, 12> kSharpNames = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
constexpr std::array<const char*, 12> kFlatNames = {"C", "Db", "D", "Eb", "E", "F", "Gb", "G", "Ab", "A", "Bb", "B"};

struct Note {
  int pitch;         // 0 (C) to 11 (B)
  qsizetype length;  // the letter and its accidental
};

// A note name at the start of text: a letter A to G and at most one '#' or
// 'b' (E#, B#, Cb and Fb included).
std::optional<Note> NoteAt(QStringView text) {
  if (text.isEmpty()) return std::nullopt;
  static constexpr int kLetterPitch[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
  const char16_t letter = text[0].unicode();
  if (letter < u'A' || letter > u'G') return std::nullopt;
  int pitch = kLetterPitch[letter - u'A'];
  qsizetype length = 1;
  if (text.size() > 1 && text[1] == u'#') {
    pitch += 1;
    length = 2;
  } else if (text.size() > 1 && text[1] == u'b') {
    pitch += 11;
    length = 2;
  }
  return Note{pitch % 12, length};
}

struct Chord {
  Note root;
  bool minor = false;
  qsizetype bassAt = -1;  // where the bass note starts; -1 when there is none
  Note bass{0, 0};
};

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }
bool StartsWith(QStringView text, qsizetype at, const char16_t* word) {
  return text.mid(at).startsWith(QStringView(word));
}

// The chord that token is, whole, or nothing.
std::optional<Chord> ParseChord(QStringView token) {
  if (token.size() > kLongestChord) return std::nullopt;
  const auto root = NoteAt(token);
  if (!root) return std::nullopt;
  Chord chord{*root};
  qsizetype at = root->length;
  chord.minor = (StartsWith(token, at, u"m") && !StartsWith(token, at, u"maj")) || StartsWith(token, at, u"min");
  int depth = 0;  // open parentheses of the extensions, as in C7(b9)
  while (at < token.size() && token[at] != u'/') {
    const QChar c = token[at];
    if (IsDigit(c)) {
      ++at;
    } else if (c == u'#' || c == u'b') {
      // An alteration of an extension: 7b9, #11.
      if (at + 1 >= token.size() || !IsDigit(token[at + 1])) return std::nullopt;
      at += 2;
    } else if (c == u'(') {
      ++depth;
      ++at;
    } else if (c == u')') {
      if (--depth < 0) return std::nullopt;
      ++at;
    } else if (c == u'+') {
      ++at;
    } else if (c == u'M') {
      // Major seventh as CM7; a lone M is a word.
      if (at + 1 >= token.size() || !IsDigit(token[at + 1])) return std::nullopt;
      ++at;
    } else {
      bool known = false;
      for (const char16_t* word : {u"maj", u"min", u"dim", u"aug", u"sus", u"add", u"alt", u"m"}) {
        if (StartsWith(token, at, word)) {
          at += QStringView(word).size();
          known = true;
          break;
        }
      }
      if (!known) return std::nullopt;
    }
  }
  if (depth != 0) return std::nullopt;
  if (at < token.size()) {  // a slash: a bass note, or a number (6/9)
    const QStringView after = token.mid(at + 1);
    if (const auto bass = NoteAt(after); bass && bass->length == after.size()) {
      chord.bassAt = at + 1;
      chord.bass = *bass;
    } else if (after.isEmpty() || after.size() > 2 || !IsDigit(after[0]) || !IsDigit(after.back())) {
      return std::nullopt;
    }
  }
  return chord;
}

// A mark of a chart that may stand among chords: bar lines, dashes,
// slashes for beats, repeat signs, "N.C." and repeat counts.
bool IsChartMark(QStringView word) {
  if (word.isEmpty()) return true;  // a parenthesis alone
  bool bars = true;
  for (const QChar c : word) bars = bars && QStringView(u"|:-/%.").contains(c);
  if (bars) return true;
  for (const char16_t* nc : {u"N.C.", u"N.C", u"NC"}) {
    if (word == QStringView(nc)) return true;
  }
  auto digits = [](QStringView text) {
    if (text.isEmpty() || text.size() > 2) return false;
    for (const QChar c : text) {
      if (!IsDigit(c)) return false;
    }
    return true;
  };
  const QChar first = word.front();
  const QChar last = word.back();
  return ((first == u'x' || first == u'X') && digits(word.mid(1))) ||
         ((last == u'x' || last == u'X') && digits(word.chopped(1)));
}

bool IsBlank(QChar c) { return c == u' ' || c == u'\t'; }

// The chord in one word of a possible chord line: the word whole, in
// brackets or in parentheses. Sets isWord to false for a word that is
// neither chord nor mark.
std::optional<ChordSpan> ChordOfWord(QStringView word, bool& isWord) {
  isWord = true;
  if (ParseChord(word)) return ChordSpan{0, word.size()};
  if (word.size() > 2 && word.front() == u'[' && word.back() == u']' && ParseChord(word.sliced(1, word.size() - 2))) {
    return ChordSpan{1, word.size() - 2};
  }
  qsizetype from = word.startsWith(u'(') ? 1 : 0;
  qsizetype to = word.size() - (word.size() > from && word.endsWith(u')') ? 1 : 0);
  const QStringView inner = word.sliced(from, to - from);
  if (!inner.isEmpty() && ParseChord(inner)) return ChordSpan{from, inner.size()};
  isWord = IsChartMark(inner);
  return std::nullopt;
}

// The chords of the line as a chord line; nothing when it is none.
std::optional<std::vector<ChordSpan>> ChordLine(QStringView line) {
  std::vector<ChordSpan> chords;
  qsizetype at = 0;
  while (at < line.size()) {
    if (IsBlank(line[at])) {
      ++at;
      continue;
    }
    qsizetype end = at;
    while (end < line.size() && !IsBlank(line[end])) ++end;
    bool isWord = false;
    if (const auto span = ChordOfWord(line.sliced(at, end - at), isWord)) {
      chords.push_back({at + span->start, span->length});
    } else if (!isWord) {
      return std::nullopt;
    }
    at = end;
  }
  if (chords.empty()) return std::nullopt;
  return chords;
}

// The chords in brackets anywhere in a line: "[Am7]", not "[Chorus]".
std::vector<ChordSpan> BracketedChords(QStringView line) {
  std::vector<ChordSpan> chords;
  qsizetype at = line.indexOf(u'[');
  while (at >= 0) {
    const qsizetype close = line.indexOf(u']', at + 1);
    if (close < 0) break;
    const qsizetype reopen = line.indexOf(u'[', at + 1);
    if (reopen >= 0 && reopen < close) {  // "[[G]": the inner bracket counts
      at = reopen;
      continue;
    }
    if (ParseChord(line.sliced(at + 1, close - at - 1))) chords.push_back({at + 1, close - at - 1});
    at = line.indexOf(u'[', close + 1);
  }
  return chords;
}

QString NoteName(int pitch, Accidentals accidentals) {
  const auto& names = accidentals == Accidentals::Flats ? kFlatNames : kSharpNames;
  return QString::fromLatin1(names[static_cast<size_t>(pitch)]);
}

int Moved(int pitch, int semitones) { return ((pitch + semitones) % 12 + 12) % 12; }

QString TransposeChord(QStringView text, int semitones, Accidentals accidentals) {
  const auto chord = ParseChord(text);
  if (!chord) return text.toString();  // never: spans are parsed chords
  QString out = NoteName(Moved(chord->root.pitch, semitones), accidentals);
  if (chord->bassAt < 0) return out.append(text.mid(chord->root.length));
  out.append(text.sliced(chord->root.length, chord->bassAt - chord->root.length));
  return out + NoteName(Moved(chord->bass.pitch, semitones), accidentals);
}

// Keys whose signatures hold flats, by the pitch of their tonic (major).
bool IsFlatKey(int majorTonic) {
  return majorTonic == 5 || majorTonic == 10 || majorTonic == 3 || majorTonic == 8 || majorTonic == 1;
}

// Calls lineFunction for each line of text (without its line break) and
// breakFunction for each line break, in order.
template <typename LineFunction, typename BreakFunction>
void ForEachLine(QStringView text, LineFunction lineFunction, BreakFunction breakFunction) {
  qsizetype start = 0;
  for (qsizetype at = 0; at <= text.size(); ++at) {
    if (at < text.size() && text[at] != u'\n' && text[at] != u'\r') continue;
    if (!lineFunction(text.sliced(start, at - start))) return;
    if (at < text.size()) breakFunction(text[at]);
    start = at + 1;
  }
}

}  // namespace

std::vector<ChordSpan> ChordsInLine(QStringView line) {
  if (auto chords = ChordLine(line)) return std::move(*chords);
  return BracketedChords(line);
}

Accidentals SpellingAfter(QStringView text, int semitones) {
  Accidentals accidentals = Accidentals::Sharps;
  ForEachLine(
      text,
      [&](QStringView line) {
        const auto chords = ChordsInLine(line);
        if (chords.empty()) return true;
        const auto chord = ParseChord(line.sliced(chords[0].start, chords[0].length));
        const int tonic = Moved(chord->root.pitch, semitones);
        accidentals = IsFlatKey(chord->minor ? Moved(tonic, 3) : tonic) ? Accidentals::Flats : Accidentals::Sharps;
        return false;
      },
      [](QChar) {});
  return accidentals;
}

QString TransposeLine(QStringView line, int semitones, Accidentals accidentals) {
  const auto chordLine = ChordLine(line);
  const std::vector<ChordSpan> chords = chordLine ? *chordLine : BracketedChords(line);
  if (chords.empty()) return line.toString();
  QString out;
  out.reserve(line.size() + 8);
  qsizetype grown = 0;  // characters the chords so far added (negative: removed)
  size_t next = 0;
  qsizetype at = 0;
  while (at < line.size()) {
    if (next < chords.size() && chords[next].start == at) {
      const QString moved = TransposeChord(line.sliced(at, chords[next].length), semitones, accidentals);
      grown += moved.size() - chords[next].length;
      out += moved;
      at += chords[next].length;
      ++next;
      continue;
    }
    if (!chordLine || !IsBlank(line[at])) {
      out += line[at++];
      continue;
    }
    qsizetype end = at;
    while (end < line.size() && IsBlank(line[end])) ++end;
    const QStringView run = line.sliced(at, end - at);
    if (run.contains(u'\t')) {
      grown = 0;  // the text after a tab starts at the tab's stop
      out += run;
    } else if (at == 0 || end == line.size()) {
      out += run;  // leading spaces come before any chord; trailing ones hold nothing up
    } else {
      // Keep one space between two words; the rest pays for what grew.
      const qsizetype taken = grown > 0 ? std::min(grown, run.size() - 1) : grown;
      out += QString(run.size() - taken, u' ');
      grown -= taken;
    }
    at = end;
  }
  return out;
}

QString TransposeText(QStringView text, int semitones) {
  if (semitones % 12 == 0) return text.toString();
  const Accidentals accidentals = SpellingAfter(text, semitones);
  QString out;
  out.reserve(text.size() + text.size() / 16);
  ForEachLine(
      text,
      [&](QStringView line) {
        out += TransposeLine(line, semitones, accidentals);
        return true;
      },
      [&](QChar lineBreak) { out += lineBreak; });
  return out;
}

std::string TransposeBytes(std::string_view bytes, int semitones) {
  const QString text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  const QByteArray out = TransposeText(text, semitones).toLatin1();
  return std::string(out.constData(), static_cast<size_t>(out.size()));
}

}  // namespace songbook
