#include "testkit/recording_window.h"

#include <algorithm>

namespace kestrune::testkit {

using Kind = RecordedEffect::Kind;

void RecordingWindow::SetControlText(int id, std::string_view text) {
  m_texts[id] = std::string(text);
  effects.push_back({Kind::SetText, id, std::string(text), 0});
}

std::string RecordingWindow::ControlText(int id) {
  return Text(id);
}

void RecordingWindow::EnableControl(int id, bool enabled) {
  m_enabled[id] = enabled;
  effects.push_back({Kind::Enable, id, {}, enabled ? 1 : 0});
}

void RecordingWindow::ShowControl(int id, bool shown) {
  m_shown[id] = shown;
  effects.push_back({Kind::Show, id, {}, shown ? 1 : 0});
}

void RecordingWindow::RepaintControl(int id) {
  effects.push_back({Kind::Repaint, id, {}, 0});
}

int RecordingWindow::ComboSelection(int id) {
  const auto it = comboSelection.find(id);
  return it == comboSelection.end() ? -1 : it->second;
}

void RecordingWindow::SetProgressRange(int id, std::uint16_t upper) {
  m_progressUpper = upper;
  effects.push_back({Kind::ProgressRange, id, {}, upper});
}

void RecordingWindow::SetProgressPosition(int id, int position) {
  m_progressPosition = position;
  effects.push_back({Kind::ProgressPosition, id, {}, position});
}

MessageResult RecordingWindow::ShowMessageBox(std::string_view caption, std::string_view text,
                                              MessageButtons buttons, MessageIcon icon) {
  RecordedMessageBox box{std::string(caption), std::string(text), buttons, icon};
  messageBoxes.push_back(box);
  effects.push_back({Kind::MessageBox, 0, box.text, 0});
  if (onMessageBox) onMessageBox(box);
  if (!answers.empty()) {
    MessageResult answer = answers.front();
    answers.pop_front();
    return answer;
  }
  switch (buttons) {
    case MessageButtons::Ok:
      return MessageResult::Ok;
    case MessageButtons::OkCancel:
      return MessageResult::Cancel;
    case MessageButtons::YesNo:
      return MessageResult::No;
  }
  return MessageResult::Cancel;
}

std::optional<std::string> RecordingWindow::ChooseFile(const FileDialogRequest& request) {
  fileRequests.push_back(request);
  effects.push_back({Kind::FileDialog, 0, request.initialFileName, 0});
  return chosenFile;
}

void RecordingWindow::StartTimer(int id, std::uint32_t periodMs) {
  effects.push_back({Kind::StartTimer, id, {}, static_cast<int>(periodMs)});
}

void RecordingWindow::PostCommand(int id) {
  if (onPostCommand) onPostCommand(id);
  {
    std::lock_guard lock(m_postedMutex);
    m_posted.push_back({true, id, DeviceEvent::Arrival, {}});
  }
  m_postedChanged.notify_all();
}

void RecordingWindow::PostDeviceChange(DeviceEvent event, const std::string& path) {
  {
    std::lock_guard lock(m_postedMutex);
    m_posted.push_back({false, 0, event, path});
  }
  m_postedChanged.notify_all();
}

void RecordingWindow::EndDialog(int result) {
  endResult = result;
  effects.push_back({Kind::EndDialog, 0, {}, result});
}

std::string RecordingWindow::Text(int id) const {
  auto it = m_texts.find(id);
  return it == m_texts.end() ? std::string() : it->second;
}

bool RecordingWindow::Enabled(int id) const {
  auto it = m_enabled.find(id);
  return it == m_enabled.end() || it->second;
}

bool RecordingWindow::Shown(int id) const {
  auto it = m_shown.find(id);
  return it == m_shown.end() || it->second;
}

int RecordingWindow::Repaints(int id) const {
  return static_cast<int>(std::count_if(effects.begin(), effects.end(), [id](const auto& e) {
    return e.kind == Kind::Repaint && e.id == id;
  }));
}

std::vector<std::string> RecordingWindow::TextHistory(int id) const {
  std::vector<std::string> texts;
  for (const RecordedEffect& e : effects) {
    if (e.kind == Kind::SetText && e.id == id) texts.push_back(e.text);
  }
  return texts;
}

void RecordingWindow::ClearRecord() {
  effects.clear();
  messageBoxes.clear();
  fileRequests.clear();
}

std::optional<PostedEvent> RecordingWindow::WaitPosted(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_postedMutex);
  if (!m_postedChanged.wait_for(lock, timeout, [this] { return !m_posted.empty(); })) {
    return std::nullopt;
  }
  PostedEvent posted = std::move(m_posted.front());
  m_posted.pop_front();
  return posted;
}

std::vector<PostedEvent> RecordingWindow::TakePosted() {
  std::lock_guard lock(m_postedMutex);
  std::vector<PostedEvent> all(m_posted.begin(), m_posted.end());
  m_posted.clear();
  return all;
}

}  // namespace kestrune::testkit
