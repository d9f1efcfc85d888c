// The names of the collection as the user sees and types them, and the
// stored names they stand for.
//
// An archive is one artist, named with "_" for every space ("Bob_Dylan.zip"),
// and an entry is one song, named the same way ("Blowin_in_the_Wind.txt");
// the grid shows both with the "_" as spaces. The user types UTF-8; stored
// names are bytes, shown by archive::DisplayName's rule.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace fretfile {

// A name as the grid shows it: "_" as a space, in UTF-8.
std::string ShownName(const std::string& storedName);

// One artist of the collection: an archive in the collection folder.
struct CollectionArtist {
  std::string shown;        // as the grid shows it
  std::string archivePath;  // appDir + its file name
};
// Every "*.zip" of appDir, by its shown name, ignoring case.
std::vector<CollectionArtist> CollectionArtists(const std::string& appDir);
// The artist an archive is, as the grid shows it ("Bob_Dylan.zip" gives
// "Bob Dylan").
std::string ArtistOfArchive(const std::string& archivePath);

// The archive of an artist named as the user typed it: the collection's
// archive shown so, else a new one, appDir + the name with "_" for each
// space + ".zip". Nothing when the name cannot name a file of the folder
// (empty, only spaces, a "/", a leading ".", a zero byte, too long).
std::optional<std::string> ArchiveOfArtist(const std::string& appDir, const std::string& typed);

// The entry name a song gets when the user gives it this title: "_" for
// each space, inside the folder of `entryName` (the song's old name; empty
// for a new song). Nothing when the title cannot be an entry name's last
// part (empty, a "/" or "\", "." or "..", a zero byte, too long).
std::optional<std::string> EntryNameForTitle(const std::string& title, const std::string& entryName = {});

// A file to be added as a song: where it is, the entry it becomes, and the
// title the grid will show.
struct SongFile {
  std::string path;
  std::string entryName;
  std::string title;
};
// The files the paths name, as songs: a folder gives the files below it
// (hidden ones aside), in name order. Paths that are neither a regular file
// nor a folder are left out, and so is a second file of the same entry name
// (the first one given is kept).
std::vector<SongFile> SongFilesOf(const std::vector<std::string>& paths);

}  // namespace fretfile
