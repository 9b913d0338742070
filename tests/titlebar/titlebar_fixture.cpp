#include "titlebar_fixture.h"

#include <algorithm>

namespace kurvo::test {

namespace fs = std::filesystem;

namespace {

constexpr int32_t kOriginX = 100;
constexpr int32_t kOriginY = 40;

KhDialogCallback moduleCallback = nullptr;

std::vector<DialogMessage>& Recorded() {
  static std::vector<DialogMessage> messages;
  return messages;
}

host::HostSession* recordingSession = nullptr;

// Sits between the host and the module's callback and keeps every message
// addressed to the dialog itself.
int32_t KH_CALL RecordingCallback(KhDialog* dialog, KhUserArea* area, const KhContainerValue* message) {
  if (area) return moduleCallback(dialog, area, message);
  DialogMessage record;
  record.message = *host::containerOf(message);
  record.consoleLines = recordingSession ? recordingSession->console().lines().size() : 0;
  record.answer = moduleCallback(dialog, area, message);
  Recorded().push_back(record);
  return record.answer;
}

}  // namespace

std::vector<DialogMessage>& TitleBarTest::DialogMessages() { return Recorded(); }

void TitleBarTest::SetUp() { StartSession(fs::path(KURVO_SOURCE_DIR) / "res"); }

void TitleBarTest::TearDown() {
  recordingSession = nullptr;
  session_.reset();
}

void TitleBarTest::StartSession(const fs::path& resDir,
                                const std::function<void(host::HostSession&)>& beforeStart) {
  dialog_ = nullptr;
  area_ = nullptr;
  recordingSession = nullptr;
  session_.reset();
  host::HostSession::Options options;
  options.quiet = true;
  session_ = std::make_unique<host::HostSession>(options);
  if (beforeStart) beforeStart(*session_);
  std::string error;
  ASSERT_TRUE(session_->startModule(&plugin_main, resDir.parent_path() / "Kurvo2.so", error)) << error;
}

void TitleBarTest::OpenElement(int32_t width) {
  dialog_ = session_->createCustomGui(kGuiId);
  ASSERT_NE(dialog_, nullptr);
  moduleCallback = dialog_->callback;
  dialog_->callback = RecordingCallback;
  recordingSession = session_.get();
  ASSERT_TRUE(dialog_->send(host::kMsgInit));
  area_ = dialog_->areaById(kAreaId);
  ASSERT_NE(area_, nullptr);
  area_->originX = kOriginX;
  area_->originY = kOriginY;
  dialog_->send(host::kMsgInit, area_);
  area_->resize(width, 16);
  area_->calls.clear();
  DialogMessages().clear();
}

void TitleBarTest::PointerAt(int32_t x, int32_t y) {
  session_->state().input.mouseX = kOriginX + x;
  session_->state().input.mouseY = kOriginY + y;
}

void TitleBarTest::CursorInfo(int32_t x, int32_t y) {
  PointerAt(x, y);
  dialog_->send(host::kMsgCursorInfo, area_);
}

std::vector<host::DrawCall> TitleBarTest::BitmapCalls() const {
  std::vector<host::DrawCall> calls;
  std::copy_if(area_->calls.begin(), area_->calls.end(), std::back_inserter(calls),
               [](const host::DrawCall& c) { return c.kind == host::DrawCall::Kind::Bitmap; });
  return calls;
}

bool TitleBarTest::DrawsLitRow() {
  area_->calls.clear();
  area_->draw();
  const std::vector<host::DrawCall> calls = BitmapCalls();
  EXPECT_EQ(calls.size(), 1u);
  return !calls.empty() && calls.back().v[5] == 16;
}

int32_t TitleBarTest::Click(int32_t x, int32_t y, int32_t channel) {
  return area_->mouseEvent(kOriginX + x, kOriginY + y, channel);
}

const KhCustomGuiPlugin& TitleBarTest::Record() const {
  return *session_->registry().find(KH_PLUGINTYPE_CUSTOMGUI, kGuiId)->as<KhCustomGuiPlugin>();
}

const KhCustomGuiLib& TitleBarTest::Library() const {
  auto* entry = session_->registry().registryFind(kGuiId, KH_REGISTRYTYPE_LIBRARY);
  return *static_cast<const KhCustomGuiLib*>(entry->data);
}

}  // namespace kurvo::test
