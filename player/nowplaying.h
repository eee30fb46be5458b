#pragma once
// The now-playing line: what the player plays, sent as a chat message.
#include <cstdint>
#include <string>
#include <string_view>

struct TrackInfoAnswers {
  std::int32_t sampleRate = 0;
  std::int32_t bitRate = 0;
  std::int32_t channels = 0;
};

// The caption suffix the player shows in the given state.
std::string_view captionSuffix(std::int32_t state);
std::string composeNowPlaying(std::string_view caption, std::int32_t state,
                              const TrackInfoAnswers &info);
// Sends the line to the contact, or to the open chat for contact 0; nothing without a player.
void sendNowPlaying(std::int32_t contact);
