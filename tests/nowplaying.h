#pragma once
// A player that answers the report's queries, for the tests of the line it sends: its caption,
// track data, times and playlist entry, and the queries it heard.
#include "harness.h"

#include <string>
#include <tuple>
#include <vector>

// Windows-1251: "Listening to: "
inline const std::string listening = "\xD1\xEB\xF3\xF8\xE0\xFE: ";

using Query = std::tuple<UINT, WPARAM, LPARAM>;

class NowPlaying : public PluginTest {
protected:
  LRESULT answers[4] = {1, 44, 128, 2}; // state, sample rate, bit rate, channels
  LRESULT times[2] = {83500, 215};      // position in ms, length in seconds
  LRESULT playlistIndex = 11;           // the current entry, counted from 0
  LRESULT titleAddress = 0;             // where the current entry's title lies in its memory
  std::vector<std::size_t> requestsAtQuery;
  HWND window = nullptr;
  void startPlayer(const std::string &caption) {
    window = sim::addWindow("Winamp v1.x", caption, [this](UINT m, WPARAM w, LPARAM l) {
      requestsAtQuery.push_back(messenger().requests.size());
      if (m != WM_USER) return LRESULT{0};
      if (l == 105 && w <= 1) return times[w];
      if (l == 125) return playlistIndex;
      if (l == 212) return w == static_cast<WPARAM>(playlistIndex) ? titleAddress : LRESULT{0};
      return l == 104 ? answers[0] : l == 126 && w <= 2 ? answers[1 + w] : LRESULT{0};
    });
  }
  std::vector<Query> queries() {
    std::vector<Query> out;
    for (const sim::SentMessage &m : sim::sentMessages()) {
      EXPECT_EQ(m.window, window);
      out.emplace_back(m.message, m.wParam, m.lParam);
    }
    return out;
  }
  // A press of the send button: the player hears these queries, each bounded, before the
  // messenger is asked for the chat and then sent the line.
  void expectAskedBeforeTheChat(const std::vector<Query> &expected) {
    EXPECT_EQ(queries(), expected);
    for (const sim::SentMessage &m : sim::sentMessages())
      EXPECT_TRUE(m.bounded && m.timeout == 5000) << "an unbounded query, lParam " << m.lParam;
    EXPECT_EQ(requestsAtQuery, std::vector<std::size_t>(expected.size(), 1));
    ASSERT_EQ(requestKinds(),
              (std::vector<std::string>{"addButton", "getChatContact", "sendMessage"}));
  }
};

inline const std::vector<Query> trackQueries{
    {WM_USER, 0, 104}, {WM_USER, 0, 126}, {WM_USER, 1, 126}, {WM_USER, 2, 126}};
