// The viewer's menu "Song", after "Save" and "Close": transposing, the
// text's size, scrolling by itself, printing and PDF. The chords of the
// text are drawn bold and in colour from the moment the menu is added.
#pragma once

#include <QMenuBar>

namespace fretfile {

class TViewerMemo;
class TViewerWindow;

// Adds the menu to the viewer's menu bar, with its highlighter, its zoom
// (the remembered size applies at once) and its auto-scroll.
void AddSongMenu(TViewerWindow& viewer, QMenuBar& menu);

// Moves every chord of the box's text by the semitones as one edit, which a
// single undo takes back. Nothing while the text is still coming in.
void TransposeViewer(TViewerMemo& memo, int semitones);

// Asks for a file name and writes the viewer's song there as a PDF; says so
// when it cannot be written.
void ExportViewerPdf(TViewerWindow& viewer);

}  // namespace fretfile
