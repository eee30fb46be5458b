#pragma once
// Winamp, and every player that answers its window messages: the plug-in finds its main window
// by the class "Winamp v1.x" and sends it WM_COMMAND commands and WM_USER requests.
//
// The transport buttons: previous, next, the 5-second skips, play/pause and open files.

void previousTrack();
void nextTrack();
void rewind5Seconds();
void forward5Seconds();
void togglePlay();
void openFiles();
