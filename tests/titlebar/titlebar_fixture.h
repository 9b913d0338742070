// A host session with the module started in-process and one title-bar element
// created through the registered custom GUI, laid out and initialised as a
// panel would do it. The pointer is simulated through the host's input state;
// messages the element sends to its own dialog are recorded.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/data_value.h"
#include "core/gui.h"
#include "core/host_session.h"

extern "C" int32_t plugin_main(int32_t action, void* p1, void* p2, void* p3);

namespace kurvo::test {

constexpr int32_t kGuiId = 1024107;
constexpr int32_t kAreaId = 1002;

// A message the element's dialog received, with what its handler answered
// and how many console lines there were at that moment.
struct DialogMessage {
  host::Container message;
  int32_t answer = 0;
  size_t consoleLines = 0;
};

class TitleBarTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Replaces the session; the module pretends to live beside `resDir`.
  // `beforeStart` may prepare the new session before the module starts.
  void StartSession(const std::filesystem::path& resDir,
                    const std::function<void(host::HostSession&)>& beforeStart = {});
  host::HostSession& session() { return *session_; }
  // Creates the element, sends "bINI" to it and its area, sizes the area to
  // `width` x 16 and places it at a screen origin of (100, 40).
  void OpenElement(int32_t width = 200);
  host::Dialog& dialog() { return *dialog_; }
  host::UserArea& area() { return *area_; }

  // The pointer at area position (x, y), without and with a "cinf" request.
  void PointerAt(int32_t x, int32_t y);
  void CursorInfo(int32_t x, int32_t y);
  // Draws the area afresh and answers whether the lit (lower) bitmap row was
  // drawn.
  bool DrawsLitRow();
  // The bitmap calls recorded since the last clear.
  std::vector<host::DrawCall> BitmapCalls() const;
  // A mouse event at area position (x, y).
  int32_t Click(int32_t x, int32_t y, int32_t channel);

  // Messages sent to the element's dialog (not its area) since OpenElement.
  static std::vector<DialogMessage>& DialogMessages();
  std::vector<std::string> Console() const { return session_->console().lines(); }

  const KhCustomGuiPlugin& Record() const;
  const KhCustomGuiLib& Library() const;

 private:
  std::unique_ptr<host::HostSession> session_;
  host::Dialog* dialog_ = nullptr;
  host::UserArea* area_ = nullptr;
};

}  // namespace kurvo::test
