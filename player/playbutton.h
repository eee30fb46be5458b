#pragma once
// The play button's two looks, which the play/pause and open-files presses switch between.

// The play triangle: a press starts or resumes the player.
void showPlayLook();
// The pause bars: a press pauses the player.
void showPauseLook();
