#include "engine/Panel.h"

#include <cstdio>

#include "input/KeyMap.h"

namespace engine {
namespace {

constexpr std::array<std::int16_t, 36> kSwitchIndices = {0,  2,  4,  5,  7,  9,  11, 12, 14, 17, 19, 21,
                                                         23, 24, 26, 28, 29, 31, 33, 35, 36, 38, 40, 41,
                                                         43, 45, 47, 48, 50, 52, 53, 55, 57, 59, 60, 62};

constexpr std::array<bool, Panel::kMaxIndex + 1> MakeSwitchMask() {
  std::array<bool, Panel::kMaxIndex + 1> mask{};
  for (auto index : kSwitchIndices) mask[static_cast<std::size_t>(index)] = true;
  return mask;
}
constexpr auto kHasSwitch = MakeSwitchMask();

// The device id of a chosen port that the last listing did not find.
constexpr std::int32_t kNotListed = -2;

bool HasSwitch(std::int16_t index) {
  // -1 and the two indices without a switch (15, 16) are ignored alike.
  return index >= 0 && index <= Panel::kMaxIndex && kHasSwitch[static_cast<std::size_t>(index)];
}

}  // namespace

const std::array<std::int16_t, 36>& SwitchIndices() { return kSwitchIndices; }

bool Panel::isOn(std::int16_t index) const {
  return HasSwitch(index) && onChannel_[static_cast<std::size_t>(index)] >= 0;
}

void Panel::Form_Load() {
  state_.headerWord = "Zelmora";
  view_.setDeviceEntry(0, "MIDI Mapper");
  state_.deviceCount = midi_.deviceCount();
  for (std::int32_t id = 0; id < state_.deviceCount; ++id) {
    view_.setDeviceEntry(id + 1, midi_.productName(id));
  }
  device_Click(0);
  state_.channel = 0;
  view_.setChannelChecked(state_.channel, true);
  state_.baseNote = 60;
  state_.velocity = 127;
  view_.setVelocityBar(state_.velocity);
  status_.setLine1("Initialized...");
  view_.showStatusLines(status_);
}

void Panel::Form_Unload() {
  // Every sounding switch gets its Note Off before the port goes: a note that
  // is never released hangs on the receiver.
  releaseAll();
  state_.lastResult = midi_.close(state_.portHandle);
}

void Panel::SwitchOn(std::int16_t index) {
  if (!HasSwitch(index) || isOn(index)) return;
  onChannel_[static_cast<std::size_t>(index)] = static_cast<std::int8_t>(state_.channel);
  view_.setSwitchChecked(index, true);
  state_.lastMessage =
      NoteOnMessage(static_cast<std::int16_t>(state_.baseNote + index), state_.channel, state_.velocity);
  midi_.send(state_.portHandle, static_cast<std::uint32_t>(state_.lastMessage));
}

void Panel::SwitchOff(std::int16_t index) {
  if (!HasSwitch(index)) return;
  auto& onChannel = onChannel_[static_cast<std::size_t>(index)];
  // The Note Off goes out on the channel its Note On used; a switch that is
  // already off is released on the current channel.
  const std::int16_t channel = onChannel >= 0 ? onChannel : state_.channel;
  onChannel = -1;
  view_.setSwitchChecked(index, false);
  sendNoteOff(index, channel);
}

void Panel::sendNoteOff(std::int16_t index, std::int16_t channel) {
  state_.lastMessage = NoteOffMessage(static_cast<std::int16_t>(state_.baseNote + index), channel);
  midi_.send(state_.portHandle, static_cast<std::uint32_t>(state_.lastMessage));
}

void Panel::silenceOpenPort() {
  for (auto index : kSwitchIndices) {
    if (isOn(index)) sendNoteOff(index, onChannel_[static_cast<std::size_t>(index)]);
  }
}

void Panel::key_MouseDown(std::int16_t index, int, int, float, float) { SwitchOn(index); }
void Panel::key_MouseUp(std::int16_t index, int, int, float, float) { SwitchOff(index); }

void Panel::device_Click(std::int16_t menuIndex) {
  view_.setDeviceChecked(state_.deviceId + 1, false);
  view_.setDeviceChecked(menuIndex, true);
  state_.deviceId = menuIndex - 1;
  deviceName_ = state_.deviceId >= 0 ? midi_.productName(state_.deviceId) : std::string();
  // Notes sounding on the old port are released there before it closes; their
  // switches stay on and release on the new port later.
  silenceOpenPort();
  state_.lastResult = midi_.close(state_.portHandle);
  state_.lastResult = midi_.open(state_.deviceId, state_.portHandle);
  if (state_.lastResult != midi::rc::kOk) {
    view_.showMessage("Couldn't open midi out, rc = " + std::to_string(state_.lastResult), midi_.lastError());
  }
}

void Panel::listDevices() {
  view_.setDeviceChecked(state_.deviceId + 1, false);
  state_.deviceCount = midi_.deviceCount();
  view_.setDeviceEntry(0, "MIDI Mapper");
  std::int32_t chosen = deviceName_.empty() ? midi::kDefaultDevice : kNotListed;
  for (std::int32_t id = 0; id < state_.deviceCount; ++id) {
    const std::string name = midi_.productName(id);
    if (!deviceName_.empty() && name == deviceName_) chosen = id;
    view_.setDeviceEntry(id + 1, name);
  }
  view_.hideDeviceEntriesFrom(state_.deviceCount + 1);
  state_.deviceId = chosen;
  view_.setDeviceChecked(state_.deviceId + 1, true);
}

void Panel::poll() {
  for (const std::string& news : midi_.poll()) {
    std::fprintf(stderr, "zelmora-switches: %s\n", news.c_str());
    ShowStatus(news);
  }
}

void Panel::chan_Click(std::int16_t menuIndex) {
  view_.setChannelChecked(state_.channel, false);
  state_.channel = menuIndex;
  view_.setChannelChecked(state_.channel, true);
}

void Panel::vol_Change(int value) { state_.velocity = static_cast<std::int16_t>(value); }

std::int16_t Panel::SwitchForKey(std::int16_t keyCode) {
  const input::KeyRow* row = input::FindKeyRow(keyCode);
  if (row == nullptr) return kNoSwitch;
  if (row->labelBox != 0) {
    ShowStatus(std::string(row->statusPrefix) + view_.labelText(row->labelBox) + ")");
  }
  return row->switchIndex;
}

void Panel::Form_KeyDown(std::int16_t keyCode, int) { SwitchOn(SwitchForKey(keyCode)); }

void Panel::Form_KeyUp(std::int16_t keyCode, int, bool autoRepeat) {
  if (autoRepeat) return;
  SwitchOff(SwitchForKey(keyCode));
}

void Panel::releaseAll() {
  for (auto index : kSwitchIndices) {
    if (isOn(index)) SwitchOff(index);
  }
}

void Panel::ShowStatus(const std::string& text) {
  state_.statusText = text;
  if (status_.show(state_.statusText)) view_.showStatusLines(status_);
}

void Panel::base_Click() {
  ShowStatus("Edit/Save switches label");
  const bool editing = !view_.labelsEnabled();
  view_.setLabelsEnabled(editing);
  keyPreview_ = !editing;
}

}  // namespace engine
