#pragma once
// The transport buttons: previous, next, the 5-second skips, play/pause and open files.

void previousTrack();
void nextTrack();
void rewind5Seconds();
void forward5Seconds();
void togglePlay();
void openFiles();
