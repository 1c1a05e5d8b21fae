#pragma once

#include <map>
#include <string>
#include <vector>

#include "engine/Panel.h"
#include "tests/support/RecordingMidiOut.h"

namespace testing_support {

// The window as plain fields, for driving engine::Panel without widgets.
class FakePanelView final : public engine::PanelView {
 public:
  std::map<int, bool> checked;  // switch index -> check state
  std::vector<std::string> lines = {"", "", ""};
  bool enabled = false;
  std::vector<std::string> messages;
  engine::Panel* panel = nullptr;  // when set, the bar reports back like the widget

  void setSwitchChecked(std::int16_t index, bool on) override { checked[index] = on; }
  void setDeviceEntry(int, const std::string&) override {}
  void setDeviceChecked(int, bool) override {}
  void setChannelChecked(int, bool) override {}
  void setVelocityBar(int value) override {
    if (panel) panel->vol_Change(value);
  }
  void showStatusLines(const input::StatusDisplay& display) override {
    lines = {display.line(1), display.line(2), display.line(3)};
  }
  std::string labelText(int box) const override { return "Label" + std::to_string(box); }
  bool labelsEnabled() const override { return enabled; }
  void setLabelsEnabled(bool on) override { enabled = on; }
  void showMessage(const std::string& text, const std::string&) override { messages.push_back(text); }
};

// A panel on a recording MIDI out and a fake window, not yet loaded.
struct FakePanel {
  explicit FakePanel(std::vector<std::string> names) { midi.ports = std::move(names), view.panel = &panel; }
  RecordingMidiOut midi;
  FakePanelView view;
  engine::Panel panel{midi, view};
};

}  // namespace testing_support
