#pragma once
// The stand-in player's state, shared by its window and the playlist it keeps in its own
// memory.
#include <windows.h>

#include <string>
#include <vector>

inline constexpr const char *playerClass = "Winamp v1.x";

enum State : LRESULT { stopped = 0, playing = 1, paused = 3 };

struct Player {
  State state = stopped;
  int number = 1;
  std::string track = "Stand-in Artist - Stand-in Song";
  int sampleRate = 44;
  int bitRate = 128;
  int channels = 2;
  int volume = -1;  // never set
  int position = 0; // seconds into the track
  int length = 215; // seconds; below 0 the player does not know it
  DWORD openDialogMs = 0;
  std::string windowClass = playerClass;
  HWND window = nullptr;
  // The playlist's titles, each NUL-terminated in memory of the player's own; the current
  // entry is the track's number less one.
  std::vector<std::string> playlist;
  std::vector<const char *> titles;
  UINT scrollMs = 0; // 0: the caption stands still
  // Other text placed where a reader that cuts a title's address to 32 bits would look.
  std::string decoy;
  // Imitates Winamp as foobar2000 does: no state in the caption (the rate in Hz and UTF-8
  // titles come with --rate and --playlist-hex).
  bool foobar = false;
  std::size_t scrolled = 0;
};

extern Player player;

// The playlist's titles copied into memory of the player's own, from the top of the address
// space down, so that a 64-bit player's addresses do not fit in 32 bits.
void placePlaylist();
// The decoy at each title's address cut to 32 bits: where it lies, or why not.
std::string placeDecoy();
std::string hexAddress(const void *address);
// The titles of a "TITLE|TITLE|..." list.
std::vector<std::string> splitTitles(const std::string &list);
// Titles given in hex; false for digits that are no bytes.
bool playlistFromHex(const std::string &list);
