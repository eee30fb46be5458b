// The host callback: the plug-in's requests to add, update and remove toolbar buttons, to name
// the open chat's contact and to send a message, each noted in the transcript and answered.
#include "requests.h"

#include "chatwindow.h"
#include "state.h"
#include "transcript.h"

#include "tests/model/messenger.h"

namespace {

constexpr int toolbarIconSize = 16;

const void *answerWith(std::string framed) {
  messenger.answer = std::move(framed);
  // Zero bytes beyond the frame: a reader that goes past the announced length finds 0.
  messenger.answer.append(8, '\0');
  return messenger.answer.data();
}

HICON iconFrom(std::int32_t packed) {
  // Icon handles are 32-bit values, sign-extended in 64-bit processes.
  return reinterpret_cast<HICON>(static_cast<std::intptr_t>(packed));
}

std::string iconSize(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return "unknown";
  BITMAP bitmap{};
  GetObjectA(info.hbmMask, sizeof bitmap, &bitmap);
  const int height = info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2;
  if (info.hbmColor) DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return std::to_string(bitmap.bmWidth) + "x" + std::to_string(height);
}

// Copies the plug-in's icon, which it destroys as soon as the request returns, at the
// toolbar's size: from the icon's own resource when the system still knows it, else scaled.
IconPtr copyIcon(std::int32_t packed, std::string &description) {
  description = " icon=" + hex32(static_cast<std::uint32_t>(packed)) +
                " icon-nonzero=" + (packed ? "yes" : "no");
  if (!packed) return nullptr;
  const HICON icon = iconFrom(packed);
  description += " icon-size=" + iconSize(icon);
  IconPtr copy(static_cast<HICON>(
      CopyImage(icon, IMAGE_ICON, toolbarIconSize, toolbarIconSize, LR_COPYFROMRESOURCE)));
  if (!copy) {
    copy.reset(
        static_cast<HICON>(CopyImage(icon, IMAGE_ICON, toolbarIconSize, toolbarIconSize, 0)));
  }
  description += " icon-copy=" + (copy ? iconSize(copy.get()) : std::string("failed"));
  return copy;
}

const void *onAddButton(const model::Request &q) {
  std::string icon;
  IconPtr copy = copyIcon(static_cast<std::int32_t>(q.icon), icon);
  const std::int32_t id = messenger.nextButtonId++;
  messenger.buttons.push_back({id, q.handler});
  note("request addButton order=" + std::to_string(messenger.buttons.size()) + " handler=" +
       hex32(q.handler) + " handler-in-plugin=" + (insidePlugin(q.handler) ? "yes" : "no") + icon +
       " " + textField("hint", q.text) + trailing(q.trailing) + raw(q.framed));
  addToolbarButton(id, std::move(copy), q.text);
  const void *answer = answerWith(model::addButtonAnswer(id));
  note("answer addButton id=" + std::to_string(id) +
       raw(std::string_view(messenger.answer.data(), 8)));
  return answer;
}

const void *onUpdateButton(const model::Request &q) {
  std::string icon;
  IconPtr copy = copyIcon(static_cast<std::int32_t>(q.icon), icon);
  const bool known = updateToolbarButton(q.buttonId, std::move(copy), q.text);
  note("request updateButton id=" + std::to_string(q.buttonId) +
       " known=" + (known ? "yes" : "no") + icon + " " + textField("hint", q.text) +
       trailing(q.trailing) + raw(q.framed));
  return answerWith(model::emptyAnswer());
}

const void *onRemoveButton(const model::Request &q) {
  bool known = false;
  for (auto it = messenger.buttons.begin(); it != messenger.buttons.end(); ++it) {
    if (it->id == q.buttonId) {
      messenger.buttons.erase(it);
      known = true;
      break;
    }
  }
  removeToolbarButton(q.buttonId);
  note("request removeButton id=" + std::to_string(q.buttonId) +
       " known=" + (known ? "yes" : "no") + trailing(q.trailing) + raw(q.framed));
  return answerWith(model::emptyAnswer());
}

const void *onGetChatContact(const model::Request &q) {
  note("request getChatContact" + trailing(q.trailing) + raw(q.framed));
  const void *answer = answerWith(model::chatContactAnswer(messenger.contact));
  note("answer getChatContact contact=" + std::to_string(messenger.contact) +
       raw(std::string_view(messenger.answer.data(), 9)));
  return answer;
}

const void *onSendMessage(const model::Request &q) {
  note("request sendMessage contact=" + std::to_string(q.contact) +
       " field=" + std::to_string(q.field) + " " + textField("text", q.text) +
       trailing(q.trailing) + raw(q.framed));
  appendChatLine("me -> " + std::to_string(q.contact) + ": " + q.text);
  return answerWith(model::emptyAnswer());
}

} // namespace

const void *WINAPI hostCallback(const void *framedRequest) {
  const model::FramedView view = model::framedAt(framedRequest);
  if (!view.problem.empty()) {
    note("request malformed=\"" + view.problem + "\"" + raw(view.bytes));
    return answerWith(model::emptyAnswer());
  }
  const model::Request q = model::decodeRequest(view.bytes);
  if (q.kind == model::RequestKind::unknown && view.bytes.size() >= 6) {
    note("request unknown header=" + hexOf(view.bytes.substr(4, 2)) + raw(view.bytes));
    return answerWith(model::emptyAnswer());
  }
  if (!q.problem.empty()) {
    // A short request still gets an answer that reads as 0, as a messenger would give.
    note("request " + std::string(model::nameOf(q.kind)) + " malformed=\"" + q.problem + "\"" +
         raw(view.bytes));
    return answerWith(q.kind == model::RequestKind::addButton ? model::addButtonAnswer(0)
                                                              : model::emptyAnswer());
  }
  switch (q.kind) {
  case model::RequestKind::addButton:
    return onAddButton(q);
  case model::RequestKind::updateButton:
    return onUpdateButton(q);
  case model::RequestKind::removeButton:
    return onRemoveButton(q);
  case model::RequestKind::getChatContact:
    return onGetChatContact(q);
  default:
    return onSendMessage(q);
  }
}
